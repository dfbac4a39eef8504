#include "app/AppDelegate.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace talvo {

AppDelegate::AppDelegate(InstallEngine& engine) : engine_(engine) {}

void AppDelegate::applicationDidFinishLaunching() {
    state_ = std::make_unique<InstallState>();
    installation_ = std::make_unique<Installation>(*state_, engine_);
    window_ = std::make_unique<MainWindow>(*state_, *installation_, engine_);
    window_->show();
    window_->raise();
    window_->activateWindow();

    if (engine_.isInitialized()) {
        engine_.runStatusApp();
        QCoreApplication::quit();
    }
}

bool AppDelegate::isInstalling() const {
    return installation_ && installation_->isRunning();
}

int runAgentInstaller(InstallEngine& engine) {
    QCoreApplication::setOrganizationName(QStringLiteral("Talvo"));
    QCoreApplication::setApplicationName(QStringLiteral("AgentInstaller"));
    // Closing the one window quits, whatever the screen.
    QApplication::setQuitOnLastWindowClosed(true);

    AppDelegate delegate(engine);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    const int status = QApplication::exec();
    if (delegate.isInstalling()) {
        // An engine call cannot be interrupted, and waiting for it would leave an invisible
        // process going on to further authentication prompts after the user quit. End here,
        // as quitting ends the process while a command runs: the running command finishes on
        // its own, nothing after it starts.
        std::cout.flush();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace talvo
