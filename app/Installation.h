#pragma once

#include "app/InstallEngine.h"
#include "app/InstallState.h"
#include "engine/Config.h"

#include <QObject>
#include <QThread>
#include <memory>

namespace talvo {

// Runs the run's one installation on a worker thread, so that the window keeps drawing while
// the engine waits for commands and authentication, and publishes each state write back on the
// UI thread in the order the screens rely on.
class Installation : public QObject {
    Q_OBJECT

  public:
    Installation(InstallState& state, InstallEngine& engine, QObject* parent = nullptr);
    // Waits for an engine call in progress: it cannot be interrupted.
    ~Installation() override;

    // Sets the status to installing and starts the engine. Does nothing and returns false when
    // an installation has already been started in this run: the status never returns to idle.
    bool start(Config config);

    // True while the worker is inside the engine.
    bool isRunning() const;

  private:
    enum class Outcome { installed, failed };

    Outcome perform(const Config& config);
    void publish(Outcome outcome);

    InstallState& state_;
    InstallEngine& engine_;
    std::unique_ptr<QThread> worker_;
};

} // namespace talvo
