#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvo {

// Starts a program directly (no shell, no runner, no trace) with stdout on a pipe and stderr
// inherited, waits for it and returns the raw bytes it wrote to stdout, or nothing when it could
// not be started. Its exit status is not looked at.
class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;
    virtual std::optional<std::string>
    standardOutputOf(const std::string& executable, const std::vector<std::string>& arguments) = 0;
};

class PosixProcessLauncher final : public ProcessLauncher {
  public:
    std::optional<std::string> standardOutputOf(const std::string& executable,
                                                const std::vector<std::string>& arguments) override;
};

} // namespace talvo
