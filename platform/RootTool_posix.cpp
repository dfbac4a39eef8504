#include "platform/ChildProcess.h"
#include "platform/RootTool.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#ifdef __APPLE__
#include <libproc.h>
#endif

extern char** environ;

namespace talvo::roottool {

namespace {

// What a shell reports for a program that it cannot start, and what the tool ends with when it
// cannot make itself clean.
constexpr int kCannotRunStatus = 127;

bool becomeRoot() {
    const gid_t rootGroup = 0;
    return ::setgroups(1, &rootGroup) == 0 && ::setgid(0) == 0 && ::setuid(0) == 0 &&
           ::getuid() == 0 && ::geteuid() == 0 && ::getgid() == 0 && ::getegid() == 0;
}

// An ignored SIGCHLD would take every command's exit status away; ignored or blocked signals
// would pass on to every command.
void resetSignals() {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int number = 1; number < NSIG; ++number) {
        ::sigaction(number, &standard, nullptr); // fails, harmlessly, for those that cannot change
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool closeDescriptorsAbove(int highestKept) {
#ifdef __APPLE__
    const int size = ::proc_pidinfo(::getpid(), PROC_PIDLISTFDS, 0, nullptr, 0);
    if (size <= 0) {
        return false;
    }
    std::vector<proc_fdinfo> open(static_cast<std::size_t>(size) / sizeof(proc_fdinfo));
    const int filled = ::proc_pidinfo(::getpid(), PROC_PIDLISTFDS, 0, open.data(),
                                      static_cast<int>(open.size() * sizeof(proc_fdinfo)));
    if (filled <= 0) {
        return false;
    }
    for (std::size_t index = 0; index < static_cast<std::size_t>(filled) / sizeof(proc_fdinfo);
         ++index) {
        if (open[index].proc_fd > highestKept) {
            ::close(open[index].proc_fd);
        }
    }
    return true;
#else
    return ::close_range(static_cast<unsigned>(highestKept) + 1, ~0U, 0) == 0;
#endif
}

// The channel is stdin and stdout; a closed stderr gets /dev/null, so that nothing the tool
// opens later lands there and reaches the commands as their stderr.
bool keepOnlyStandardDescriptors() {
    if (::fcntl(STDERR_FILENO, F_GETFD) == -1 &&
        ::open("/dev/null", O_WRONLY | O_CLOEXEC) != STDERR_FILENO) {
        return false;
    }
    return closeDescriptorsAbove(STDERR_FILENO);
}

} // namespace

Session::Session(posix::FileDescriptor channel, int processId)
    : channel_(std::move(channel)), processId_(processId) {
    posix::noSignalOnBrokenPipe(channel_.get());
}

Session::~Session() {
    end();
}

std::optional<int> Session::run(const Request& request) {
    if (!channel_.isOpen()) {
        return std::nullopt;
    }
    const std::optional<std::string> frame = requestFrame(requests_ + 1, request);
    if (!frame) {
        return std::nullopt; // never sent: the tool is still fine
    }
    ++requests_;
    const std::optional<int> status = posix::sendAll(channel_.get(), *frame)
                                          ? readStatus(channel_.get(), requests_)
                                          : std::nullopt;
    if (!status) {
        end();
    }
    return status;
}

// The tool ends at end of file on its channel. It is root and cannot be ended from here, so it is
// reaped whenever it has ended: a misbehaving tool cannot stall the caller.
void Session::end() {
    channel_.reset();
    if (processId_ > 0) {
        reapInBackground(std::exchange(processId_, -1));
    }
}

int serve() {
    // First of all, so that the caller can reap the tool whatever happens next.
    if (!posix::writeAll(STDOUT_FILENO, answerFrame(0, static_cast<std::uint32_t>(::getpid())))) {
        return kCannotRunStatus;
    }
    // The array lives as long as the tool: serve returns only to end the process.
    std::array<char*, std::size(kRootEnvironment) + 1> environment{};
    for (std::size_t index = 0; index < std::size(kRootEnvironment); ++index) {
        // Environment entries are never written through; the type is historical.
        environment[index] = const_cast<char*>(kRootEnvironment[index]);
    }
    if (!becomeRoot() || ::chdir("/") != 0 || !keepOnlyStandardDescriptors()) {
        return kCannotRunStatus;
    }
    resetSignals();
    ::umask(kRootUmask);
    environ = environment.data();

    for (std::uint32_t number = 1;; ++number) {
        const std::optional<Request> request = readRequest(STDIN_FILENO, number);
        if (!request) {
            return 0; // our caller has ended, or broke the rules: either way it is over
        }
        const int status = runDiscardingOutput(request->path, request->arguments, request->input)
                               .value_or(kCannotRunStatus);
        if (!posix::writeAll(STDOUT_FILENO,
                             answerFrame(number, static_cast<std::uint32_t>(status)))) {
            return 0;
        }
    }
}

} // namespace talvo::roottool

// Runs before main in every program built on this layer, so that neither Setup nor
// AgentInstaller needs to know about the tool; the linker keeps it although nothing calls it (see
// platform/CMakeLists.txt).
extern "C" __attribute__((constructor, used)) void talvo_root_tool_entry(int argc, char** argv) {
    using namespace talvo::roottool;
    switch (startOf(argc, argv, ::getuid(), ::geteuid())) {
    case Start::normal:
        return;
    case Start::refuse:
        talvo::posix::writeAll(STDERR_FILENO, std::string(kMarker) +
                                                  " is only for the system's privileged start\n");
        ::_exit(kRefusedStatus);
    case Start::serve:
        ::_exit(serve());
    }
}
