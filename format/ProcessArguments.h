#pragma once

#include <optional>
#include <span>
#include <string>

// What the macOS kernel tells of how a process was started, read as bytes.
namespace talvo {

// The program file a process runs, from what the kernel tells of how it was started, in the
// layout of the macOS process table's argument answer (KERN_PROCARGS2): the argument count as a
// native int, the path the program was executed by with its NUL, NUL padding, then the arguments
// and the environment. Read apart from the system call, so that it can be checked with any bytes.
// Nothing when the buffer is too short for the count, the count is negative, the path runs to the
// end of the buffer without its NUL, or the path is not absolute (a relative one would be read
// against our own working folder, not the process's).
std::optional<std::string> programFileOfProcessArguments(std::span<const char> buffer);

} // namespace talvo
