#include "app/Installation.h"

#include "exec/Error.h"

#include <exception>

namespace talvo {

Installation::Installation(InstallState& state, InstallEngine& engine, QObject* parent)
    : QObject(parent), state_(state), engine_(engine) {}

Installation::~Installation() {
    if (worker_) {
        worker_->wait();
    }
}

bool Installation::start(Config config) {
    if (worker_) {
        return false;
    }
    state_.setStatus(InstallStatus::installing);
    worker_.reset(
        QThread::create([this, config = std::move(config)] { publish(perform(config)); }));
    worker_->start();
    return true;
}

bool Installation::isRunning() const {
    return worker_ && worker_->isRunning();
}

Installation::Outcome Installation::perform(const Config& config) {
    try {
        engine_.run(config);
    } catch (const Error&) {
        // The failure screen has its own fixed text; the error itself is not shown.
        return Outcome::failed;
    } catch (const std::exception&) {
        // Anything else escaping the engine (a process that could not be spawned) is a failed
        // installation too, rather than the end of the process on the worker thread.
        return Outcome::failed;
    }
    engine_.bootstrap();
    engine_.runStatusApp();
    return Outcome::installed;
}

void Installation::publish(Outcome outcome) {
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
