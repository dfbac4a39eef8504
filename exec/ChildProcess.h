#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Starting a program, collecting what it prints and waiting for it, apart from how the operating
// system does each step. Exit statuses are in shell terms: the program's own status, or 128 plus
// the number of the signal that ended it (1 when the system could not tell how it ended).
namespace talvo {

enum class ErrorStream {
    Captured,  // stderr goes into the same pipe as stdout, interleaved as written
    Inherited, // stderr stays the caller's
};

struct CollectedOutput {
    std::string bytes;
    int exitStatus = 0;
};

// Starts program with arguments as its whole argument vector (arguments.front() is argv[0]),
// with the caller's environment, working directory and stdin. The pipe is read while the program
// runs and on to its end, so the call returns only after the program and everything it started
// have closed it; only then is the program waited for. Nothing when it could not be started.
std::optional<CollectedOutput> runCollectingOutput(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   ErrorStream errorStream);

// Starts program with input as its whole stdin (end of file follows at once), reads its stdout
// line by line and throws it away, leaves stderr inherited. The input is handed over in full
// before the output is read: the program must take all of it before it writes much. Gives the
// exit status, or nothing when the program could not be started.
std::optional<int> runDiscardingOutput(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       std::string_view input);

// Whether path names a regular file that this process may execute.
bool isExecutableFile(const std::string& path);

} // namespace talvo
