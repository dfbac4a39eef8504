#pragma once

#include "app/InstallEngine.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talvo::testing {

// A scripted engine that records what it is asked to do. Its run() may succeed, throw the
// engine's error, or block until the test releases it.
class FakeInstallEngine final : public InstallEngine {
  public:
    enum class Behaviour { succeed, fail, block };

    explicit FakeInstallEngine(Behaviour behaviour = Behaviour::succeed, bool initialized = false);

    void run(const Config& config) override;
    void bootstrap() override;
    void runStatusApp() override;
    bool isInitialized() const override { return initialized_; }
    void openURL(const std::string& url) override;

    // Lets a blocked run() go on (and return normally).
    void release();
    // True once run() has been entered.
    bool waitUntilRunning(std::chrono::milliseconds timeout);

    std::vector<std::string> calls() const;
    std::optional<Config> lastConfig() const;
    std::vector<std::string> openedURLs() const;

  private:
    void record(const std::string& call);

    const Behaviour behaviour_;
    const bool initialized_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    std::vector<std::string> calls_;
    std::optional<Config> lastConfig_;
    std::vector<std::string> openedURLs_;
};

} // namespace talvo::testing
