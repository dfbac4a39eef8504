#pragma once

#include "platform/PrivilegedOutcome.h"

#include <string>

namespace talvo {

// Runs one shell command line through "/bin/sh" "-c". The engine reaches the system only through
// this, so that its tests can hand it a recording fake.
class CommandRunner {
  public:
    virtual ~CommandRunner() = default;

    // Runs the command with the process's own rights, waits for it and returns its stdout and
    // stderr together, trimmed of Unicode whitespace (empty when not valid UTF-8). Throws a
    // ProcessErrorDomain Error whose code is the exit status when that is not 0, carrying the
    // output's last line for the log.
    virtual std::string syncThrows(const std::string& command) = 0;

    // Runs the command with administrator rights after the system's authentication dialog. The
    // command line reaches the shell on its stdin, never on a command line that the system logs;
    // the command itself reads end of file there. Never throws.
    virtual PrivilegedOutcome sudo(const std::string& command) = 0;
};

} // namespace talvo
