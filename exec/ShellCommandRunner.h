#pragma once

#include "exec/CommandRunner.h"
#include "exec/TraceSink.h"

namespace talvo {

// The real runner: posix_spawn of /bin/sh, privileged commands through LegacyHelper.
class ShellCommandRunner final : public CommandRunner {
  public:
    explicit ShellCommandRunner(TraceSink trace = {});

    std::string syncThrows(const std::string& command) override;
    PrivilegedOutcome sudo(const std::string& command) override;

  private:
    TraceSink trace_;
};

} // namespace talvo
