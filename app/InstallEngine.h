#pragma once

#include "engine/Config.h"

#include <string>

namespace talvo {

// What the windowed installer needs from the installation engine and the desktop. The product
// hands it the shared Installer; tests and the demo hand it scripted fakes.
class InstallEngine {
  public:
    virtual ~InstallEngine() = default;

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

} // namespace talvo
