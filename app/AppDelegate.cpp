#include "app/AppDelegate.h"

#include <QApplication>
#include <QTimer>

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

int runAgentInstaller(InstallEngine& engine) {
    QCoreApplication::setOrganizationName(QStringLiteral("Talvo"));
    QCoreApplication::setApplicationName(QStringLiteral("AgentInstaller"));
    // Closing the one window quits, whatever the screen.
    QApplication::setQuitOnLastWindowClosed(true);

    AppDelegate delegate(engine);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}

} // namespace talvo
