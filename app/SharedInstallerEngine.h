#pragma once

#include "app/InstallEngine.h"
#include "platform/Workspace.h"

namespace talvo {

class Installer;

// The product's engine: an Installer (the process-wide one unless a test hands another), and the
// desktop for URLs it has no operation for.
class SharedInstallerEngine final : public InstallEngine {
  public:
    SharedInstallerEngine();
    explicit SharedInstallerEngine(Installer& installer);

    // A customer key that could not be stored fails the installation: its error is thrown once
    // the engine has done everything else.
    void run(const Config& config) override;
    void bootstrap() override;
    void runStatusApp() override;
    bool isInitialized() const override;
    void openURL(const std::string& url) override;

  private:
    Installer& installer_;
    LinuxWorkspace workspace_;
};

} // namespace talvo
