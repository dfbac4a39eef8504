#include "platform/TerminationCleanup.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace talvo {

namespace {

constexpr std::array<int, 2> kTerminationSignals = {SIGTERM, SIGINT};

sigset_t terminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : kTerminationSignals) {
        sigaddset(&signals, signal);
    }
    return signals;
}

// A signal handler can reach only static storage, and may call only async-signal-safe functions:
// the path is copied in before the handler is installed, and the handler uses unlink, sigaction
// and raise alone.
std::atomic<bool> slotTaken{false};
volatile std::sig_atomic_t removalArmed = 0;
char pathToRemove[PATH_MAX];
std::array<struct sigaction, kTerminationSignals.size()> previousActions;
std::array<bool, kTerminationSignals.size()> handlerInstalled;

void removeThenResignal(int signal) {
    if (removalArmed != 0) {
        ::unlink(pathToRemove);
    }
    for (std::size_t index = 0; index < kTerminationSignals.size(); ++index) {
        if (kTerminationSignals[index] == signal) {
            ::sigaction(signal, &previousActions[index], nullptr);
        }
    }
    // Held back until this handler returns, then handled as it would have been without us.
    ::raise(signal);
}

} // namespace

TerminationSignalsHeld::TerminationSignalsHeld() {
    const sigset_t signals = terminationSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

RemoveOnTermination::RemoveOnTermination(const std::string& path) {
    if (path.size() >= sizeof pathToRemove || slotTaken.exchange(true)) {
        return;
    }
    covers_ = true;
    std::memcpy(pathToRemove, path.c_str(), path.size() + 1);
    removalArmed = 1;
    struct sigaction action {};
    action.sa_handler = removeThenResignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t index = 0; index < kTerminationSignals.size(); ++index) {
        const int signal = kTerminationSignals[index];
        handlerInstalled[index] = false;
        if (::sigaction(signal, nullptr, &previousActions[index]) != 0 ||
            previousActions[index].sa_handler == SIG_IGN) {
            continue;
        }
        handlerInstalled[index] = ::sigaction(signal, &action, nullptr) == 0;
    }
}

RemoveOnTermination::~RemoveOnTermination() {
    if (!covers_) {
        return;
    }
    removalArmed = 0;
    for (std::size_t index = 0; index < kTerminationSignals.size(); ++index) {
        if (handlerInstalled[index]) {
            ::sigaction(kTerminationSignals[index], &previousActions[index], nullptr);
        }
    }
    slotTaken = false;
}

} // namespace talvo
