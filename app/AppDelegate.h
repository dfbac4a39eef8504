#pragma once

#include "app/InstallEngine.h"
#include "app/InstallState.h"
#include "app/Installation.h"
#include "app/MainWindow.h"

#include <QObject>
#include <memory>

namespace talvo {

// Builds the window at launch, or, when the agent is already configured, opens its status
// application and quits.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    explicit AppDelegate(InstallEngine& engine);

    // Called once the event loop runs.
    void applicationDidFinishLaunching();

    InstallState* installState() const { return state_.get(); }
    MainWindow* window() const { return window_.get(); }

  private:
    InstallEngine& engine_;
    // Destroyed in reverse: the window before the installation it starts, both before the state.
    std::unique_ptr<InstallState> state_;
    std::unique_ptr<Installation> installation_;
    std::unique_ptr<MainWindow> window_;
};

// Runs the windowed installer over an engine until the user quits; needs a QApplication.
int runAgentInstaller(InstallEngine& engine);

} // namespace talvo
