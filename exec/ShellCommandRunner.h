#pragma once

#include "exec/CommandRunner.h"

#include <functional>
#include <string>
#include <string_view>

// The real command runner, with what it prints while tracing and how it shapes a command's
// output.
namespace talvo {

// Where the command runner sends its "Execute: " and "Result " lines. The engine points this at
// its debug(), which prints only when debugging is on; exec itself never decides to print.
using TraceSink = std::function<void(const std::string& line)>;

// The real runner: /bin/sh started through the platform, privileged commands through
// LegacyHelper.
class ShellCommandRunner final : public CommandRunner {
  public:
    explicit ShellCommandRunner(TraceSink trace = {});

    std::string syncThrows(const std::string& command) override;
    PrivilegedOutcome sudo(const std::string& command) override;

  private:
    TraceSink trace_;
};

// A command's output as the runner returns it: empty when the bytes are not valid UTF-8,
// otherwise trimmed of leading and trailing Unicode whitespace and line ends. Works in place, so
// that a large output is never copied.
std::string outputText(std::string bytes);

// The last line of a command's output as outputText gives it, cut to at most 512 bytes at a
// character boundary: what the system log shows of a failed command.
std::string lastOutputLine(std::string_view output);

} // namespace talvo

namespace talvo::Task {

// The runner's operations as free functions over the real, untraced ShellCommandRunner.
std::string syncThrows(const std::string& command);
PrivilegedOutcome sudo(const std::string& command);

// The user the tool runs for: last component of HOME when HOME is set (even when that gives an
// empty text), else SUDO_USER, else USER, else the login name of the effective user.
std::string userName();

} // namespace talvo::Task
