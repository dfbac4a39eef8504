#include "FakeInstallEngine.h"

#include "exec/Error.h"

namespace talvo::testing {

FakeInstallEngine::FakeInstallEngine(Behaviour behaviour, bool initialized)
    : behaviour_(behaviour), initialized_(initialized) {}

void FakeInstallEngine::run(const Config& config) {
    std::unique_lock lock(mutex_);
    calls_.push_back("run");
    lastConfig_ = config;
    changed_.notify_all();
    if (behaviour_ == Behaviour::fail) {
        throw commandError(3);
    }
    if (behaviour_ == Behaviour::block) {
        changed_.wait(lock, [this] { return released_; });
    }
}

void FakeInstallEngine::bootstrap() {
    record("bootstrap");
}

void FakeInstallEngine::runStatusApp() {
    record("runStatusApp");
}

void FakeInstallEngine::openURL(const std::string& url) {
    const std::lock_guard lock(mutex_);
    openedURLs_.push_back(url);
}

void FakeInstallEngine::release() {
    const std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
}

bool FakeInstallEngine::waitUntilRunning(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
}

std::vector<std::string> FakeInstallEngine::calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
}

std::optional<Config> FakeInstallEngine::lastConfig() const {
    const std::lock_guard lock(mutex_);
    return lastConfig_;
}

std::vector<std::string> FakeInstallEngine::openedURLs() const {
    const std::lock_guard lock(mutex_);
    return openedURLs_;
}

void FakeInstallEngine::record(const std::string& call) {
    const std::lock_guard lock(mutex_);
    calls_.push_back(call);
}

} // namespace talvo::testing
