#pragma once

#include "app/InstallEngine.h"
#include "platform/Workspace.h"

namespace talvo {

// The product's engine: the process-wide Installer, and the desktop for URLs it has no
// operation for.
class SharedInstallerEngine final : public InstallEngine {
  public:
    void run(const Config& config) override;
    void bootstrap() override;
    void runStatusApp() override;
    bool isInitialized() const override;
    void openURL(const std::string& url) override;

  private:
    LinuxWorkspace workspace_;
};

} // namespace talvo
