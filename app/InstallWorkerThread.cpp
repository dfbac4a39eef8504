#include "app/InstallWorkerThread.h"

#include "engine/Installer.h"
#include "exec/Error.h"

#include <exception>

namespace talvo {

SystemInstallerBackend::SystemInstallerBackend() : SystemInstallerBackend(Installer::shared()) {}

SystemInstallerBackend::SystemInstallerBackend(Installer& installer) : installer_(installer) {}

void SystemInstallerBackend::run(const Config& config) {
    const InstallResult result = installer_.run(config);
    if (result.keyNotStored) {
        throw *result.keyNotStored;
    }
}

void SystemInstallerBackend::bootstrap() {
    installer_.bootstrap();
}

void SystemInstallerBackend::runStatusApp() {
    installer_.runStatusApp();
}

bool SystemInstallerBackend::isInitialized() const {
    return installer_.isInitialized();
}

void SystemInstallerBackend::openURL(const std::string& url) {
    workspace_.openURL(url);
}

InstallWorkerThread::InstallWorkerThread(InstallState& state, InstallerBackend& backend,
                                         QObject* parent)
    : QThread(parent), state_(state), backend_(backend) {}

InstallWorkerThread::~InstallWorkerThread() {
    wait();
}

bool InstallWorkerThread::install(Config config) {
    if (started_) {
        return false;
    }
    started_ = true;
    config_ = std::move(config);
    state_.setStatus(InstallStatus::installing);
    start();
    return true;
}

void InstallWorkerThread::run() {
    publish(perform());
}

InstallWorkerThread::Outcome InstallWorkerThread::perform() {
    try {
        backend_.run(config_);
    } catch (const Error&) {
        // The failure screen has its own fixed text; the error itself is not shown.
        return Outcome::failed;
    } catch (const std::exception&) {
        // Anything else escaping the engine (a process that could not be spawned) is a failed
        // installation too, rather than the end of the process on the worker thread.
        return Outcome::failed;
    }
    backend_.bootstrap();
    backend_.runStatusApp();
    return Outcome::installed;
}

void InstallWorkerThread::publish(Outcome outcome) {
    // Queued to this object, which lives on the UI thread, not on the thread it starts.
    QMetaObject::invokeMethod(
        this,
        [this, outcome] {
            if (outcome == Outcome::failed) {
                state_.setStatus(InstallStatus::failed);
                return;
            }
            // Two writes in this order: the success screen is in place before the prompt.
            state_.setStatus(InstallStatus::installed);
            state_.setShowFDAView(true);
        },
        Qt::QueuedConnection);
}

} // namespace talvo
