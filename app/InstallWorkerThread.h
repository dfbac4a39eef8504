#pragma once

// The installation run off the UI thread: the backend it drives (the real engine, or a test's
// fake) and the worker thread that drives it and reports back into the install state.
#include "app/InstallState.h"
#include "engine/Config.h"
#include "platform/Workspace.h"

#include <QThread>
#include <string>

namespace talvo {

class Installer;

// What the windowed installer needs from the installation engine and the desktop. The product
// hands it SystemInstallerBackend; tests and the demo hand it scripted fakes.
class InstallerBackend {
  public:
    virtual ~InstallerBackend() = default;

    // Installs from the user's choice; throws Error on any failure, a customer key that could
    // not be stored included. Called off the UI thread.
    virtual void run(const Config& config) = 0;
    // Starts the agent's daemons; reports its own failures and never throws. Off the UI thread.
    virtual void bootstrap() = 0;
    // Asks the desktop to open the agent's status application; the outcome is not reported.
    virtual void runStatusApp() = 0;
    // True when the agent is already configured on this computer.
    virtual bool isInitialized() const = 0;
    // Asks the desktop to open a URL; the outcome is not reported.
    virtual void openURL(const std::string& url) = 0;
};

// The backend that acts on this computer: an Installer (the process-wide one unless a test hands
// another), and the desktop for URLs it has no operation for.
class SystemInstallerBackend final : public InstallerBackend {
  public:
    SystemInstallerBackend();
    explicit SystemInstallerBackend(Installer& installer);

    // A customer key that could not be stored fails the installation: its error is thrown once
    // the engine has done everything else.
    void run(const Config& config) override;
    void bootstrap() override;
    void runStatusApp() override;
    bool isInitialized() const override;
    void openURL(const std::string& url) override;

  private:
    Installer& installer_;
    SystemWorkspace workspace_;
};

// Runs the run's one installation on its own thread, so that the window keeps drawing while
// the engine waits for commands and authentication, and publishes each state write back on the
// UI thread in the order the screens rely on.
class InstallWorkerThread : public QThread {
    Q_OBJECT

  public:
    InstallWorkerThread(InstallState& state, InstallerBackend& backend, QObject* parent);
    // Waits for an engine call in progress: it cannot be interrupted.
    ~InstallWorkerThread() override;

    // Sets the status to installing and starts the engine. Does nothing and returns false when
    // an installation has already been started in this run: the status never returns to idle.
    bool install(Config config);

  protected:
    void run() override;

  private:
    enum class Outcome { installed, failed };

    Outcome perform();
    void publish(Outcome outcome);

    InstallState& state_;
    InstallerBackend& backend_;
    // Written on the UI thread before the thread starts, read only by the thread.
    Config config_;
    bool started_ = false;
};

} // namespace talvo
