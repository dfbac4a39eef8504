#include "platform/ChildProcess.h"
#include "platform/OutputBuffer.h"
#include "platform/Posix.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace talvo {

namespace {

using posix::FileDescriptor;

// Where a new program's standard stream goes: one of our descriptors, or these two.
constexpr int kInherited = -1;
constexpr int kNullDevice = -2;

struct StartOptions {
    int input = kInherited;
    int output = kInherited;
    int error = kInherited;
    // A session of its own, clean signal state and none of our other descriptors: for programs
    // that outlive the call.
    bool detached = false;
};

class SpawnFileActions {
  public:
    SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    bool route(int source, int stream, int openFlags) {
        if (source == kInherited) {
            return true;
        }
        if (source == kNullDevice) {
            return posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null", openFlags, 0) ==
                   0;
        }
        return posix_spawn_file_actions_adddup2(&actions_, source, stream) == 0;
    }
    bool startIn(const char* folder) {
        return posix_spawn_file_actions_addchdir_np(&actions_, folder) == 0;
    }
    bool closeAllAbove(int stream) {
#ifdef POSIX_SPAWN_CLOEXEC_DEFAULT
        // Done by the attribute there (see SpawnAttributes::detach).
        (void)stream;
        return true;
#else
        return posix_spawn_file_actions_addclosefrom_np(&actions_, stream + 1) == 0;
#endif
    }
    const posix_spawn_file_actions_t* get() const {
        return &actions_;
    }

  private:
    posix_spawn_file_actions_t actions_{};
};

// Where the spawn can close every descriptor the file actions do not name (macOS), a detached
// start asks for that; its three streams are always named, so they stay.
#ifdef POSIX_SPAWN_CLOEXEC_DEFAULT
constexpr short kCloseUnnamedDescriptors = POSIX_SPAWN_CLOEXEC_DEFAULT;
#else
constexpr short kCloseUnnamedDescriptors = 0;
#endif

class SpawnAttributes {
  public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    // Signal mask and dispositions start clean whatever ours are; with a session of its own,
    // the terminal's signals and our process group's fate do not reach the program either.
    void startClean(bool ownSession) {
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(&attributes_,
                                 static_cast<short>((ownSession ? POSIX_SPAWN_SETSID : 0) |
                                                    POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                    kCloseUnnamedDescriptors));
    }
    // A pipe signal that we ignore (Setup does, so that a reader gone from its stdout cannot end
    // it halfway) is not the program's to inherit: a pipeline's writers must end with their reader.
    void restorePipeSignal() {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes_, &pipeSignal);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
    }
    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_{};
};

// The environment of every program a root process starts (see kRootEnvironment).
char* const* rootEnvironment() {
    static const auto entries = [] {
        std::array<char*, std::size(kRootEnvironment) + 1> list{};
        for (std::size_t index = 0; index < std::size(kRootEnvironment); ++index) {
            // Environment entries are never written through; the type is historical.
            list[index] = const_cast<char*>(kRootEnvironment[index]);
        }
        return list;
    }();
    return entries.data();
}

// A parent may leave SIGCHLD ignored across exec. The system then reaps our children itself, and
// every program we start would end with a status nobody can learn: a successful step would read
// as a failed one. Our own programs have no use for that setting, so it goes back to the default.
void keepChildStatuses() {
    struct sigaction current {};
    if (::sigaction(SIGCHLD, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
        current.sa_handler != SIG_IGN) {
        return;
    }
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(SIGCHLD, &standard, nullptr);
}

// The one place a program is started.
std::optional<pid_t> startProcess(const std::string& program,
                                  const std::vector<std::string>& arguments,
                                  const StartOptions& options) {
    keepChildStatuses();
    const posix::ArgumentVector argumentVector(program, arguments);
    const bool asRoot = ::geteuid() == 0;
    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (options.detached || asRoot) {
        attributes.startClean(options.detached);
    } else {
        attributes.restorePipeSignal();
    }
    if (!argumentVector.isComplete() || !actions.route(options.input, STDIN_FILENO, O_RDONLY) ||
        !actions.route(options.output, STDOUT_FILENO, O_WRONLY) ||
        !actions.route(options.error, STDERR_FILENO, O_WRONLY) ||
        // A long-lived program must not hold the write end of some pipe a caller waits on.
        ((options.detached || asRoot) && !actions.closeAllAbove(STDERR_FILENO)) ||
        (asRoot && !actions.startIn("/"))) {
        return std::nullopt;
    }
    if (asRoot) {
        // A spawn cannot set the program's umask, so ours becomes the one root's programs get; a
        // root process has no use for another.
        ::umask(kRootUmask);
    }
    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), actions.get(), attributes.get(),
                      argumentVector.get(), asRoot ? rootEnvironment() : environ) != 0) {
        return std::nullopt;
    }
    return child;
}

struct Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

// Both ends close on exec, so that no other child we start (from any thread) inherits them and
// holds the pipe open; the child gets the write end only through the spawn's dup2.
std::optional<Pipe> openPipe() {
    int ends[2];
#ifdef __APPLE__
    // No pipe2 there: a start on another thread between the two calls could inherit the ends.
    if (::pipe(ends) != 0) {
        return std::nullopt;
    }
    Pipe opened{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
    if (!posix::closeOnExec(ends[0]) || !posix::closeOnExec(ends[1])) {
        return std::nullopt;
    }
    return opened;
#else
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
#ifdef F_SETPIPE_SZ
    // A larger pipe lets a chatty child run ahead with fewer switches between it and us; where
    // the system refuses, the default size only costs speed.
    constexpr int kPipeSize = 1024 * 1024;
    ::fcntl(ends[0], F_SETPIPE_SZ, kPipeSize);
#endif
    return Pipe{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
#endif
}

// A connected pair of sockets for a child's stdin: the child reads its end, we send on ours. A
// socket rather than a pipe, so that a child that ends without reading makes the send fail with
// EPIPE instead of ending us with SIGPIPE. Both ends close on exec, as the pipe's do.
struct InputChannel {
    FileDescriptor ours;
    FileDescriptor childs;
};

std::optional<InputChannel> openInputChannel() {
    int ends[2];
#ifdef SOCK_CLOEXEC
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return std::nullopt;
    }
    return InputChannel{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        return std::nullopt;
    }
    InputChannel channel{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
    if (!posix::closeOnExec(ends[0]) || !posix::closeOnExec(ends[1]) ||
        !posix::noSignalOnBrokenPipe(ends[0])) {
        return std::nullopt;
    }
    return channel;
#endif
}

// Sends all of input and closes our end, so that the child reads end of file behind it. A child
// that stops reading ends the sending early; how it then ends is its exit status's to tell.
void sendAllAndClose(FileDescriptor& ours, std::string_view input) {
    posix::sendAll(ours.get(), input);
    ours.reset();
}

constexpr int kUnknownStatus = 1;

// Waits for a started child once, whichever way the caller leaves: a child that is never
// waited for would stay behind as a zombie for the rest of the installer's run.
class StartedChild {
  public:
    explicit StartedChild(pid_t pid) : pid_(pid) {}
    ~StartedChild() {
        if (pid_ > 0) {
            waitForExit();
        }
    }
    StartedChild(const StartedChild&) = delete;
    StartedChild& operator=(const StartedChild&) = delete;

    int waitForExit() {
        const pid_t pid = std::exchange(pid_, -1);
        int waitStatus = 0;
        // Reaped elsewhere (by a wait for any child, say): how it ended is unknown, and unknown
        // must not read as success.
        return posix::retryOnInterrupt([&] { return ::waitpid(pid, &waitStatus, 0); }) == pid
                   ? posix::shellStatus(waitStatus)
                   : kUnknownStatus;
    }

  private:
    pid_t pid_;
};

// Reads until every holder of the write end has closed it. poll lets a blocked wait be told
// apart from the end of the output without reading into a fresh block just to learn there is
// nothing left.
void drainInto(int descriptor, OutputBuffer& output) {
    pollfd watched{descriptor, POLLIN, 0};
    for (;;) {
        if (posix::retryOnInterrupt([&] { return ::poll(&watched, 1, -1); }) < 0) {
            return;
        }
        if ((watched.revents & POLLIN) == 0) {
            return; // hang-up with nothing left to read, or an error on the pipe
        }
        const std::span<char> space = output.spaceForMore();
        const ssize_t count = ::read(descriptor, space.data(), space.size());
        if (count > 0) {
            output.commit(static_cast<std::size_t>(count));
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            return;
        }
    }
}

// fgets stops early with an error when a signal interrupts its read; the output is not over.
void discardLines(FileDescriptor descriptor) {
    std::FILE* const stream = ::fdopen(descriptor.get(), "r");
    if (stream == nullptr) {
        return;
    }
    descriptor.release(); // the stream closes it now
    char line[1024];
    for (;;) {
        if (std::fgets(line, sizeof line, stream) != nullptr) {
            continue;
        }
        if (std::ferror(stream) && errno == EINTR) {
            std::clearerr(stream);
            continue;
        }
        break;
    }
    std::fclose(stream);
}

} // namespace

std::optional<CollectedOutput> runCollectingOutput(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   ErrorStream errorStream) {
    std::optional<Pipe> pipe = openPipe();
    if (!pipe) {
        return std::nullopt;
    }
    const int writeEnd = pipe->writeEnd.get();
    const std::optional<pid_t> pid =
        startProcess(program, arguments,
                     {.output = writeEnd,
                      .error = errorStream == ErrorStream::captured ? writeEnd : kInherited});
    // End of file arrives once the child side lets go.
    pipe->writeEnd.reset();
    if (!pid) {
        return std::nullopt;
    }
    StartedChild child(*pid);
    // Declared after the child, so that on an early exit the pipe closes before the wait and a
    // child blocked on a full pipe ends instead of waiting for us forever.
    FileDescriptor readEnd = std::move(pipe->readEnd);
    OutputBuffer output;
    drainInto(readEnd.get(), output);
    readEnd.reset();
    const int exitStatus = child.waitForExit();
    return CollectedOutput{output.take(), exitStatus};
}

std::optional<int> runDiscardingOutput(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       std::string_view input) {
    std::optional<Pipe> pipe = openPipe();
    std::optional<InputChannel> channel = openInputChannel();
    if (!pipe || !channel) {
        return std::nullopt;
    }
    const std::optional<pid_t> pid = startProcess(
        program, arguments, {.input = channel->childs.get(), .output = pipe->writeEnd.get()});
    channel->childs.reset();
    pipe->writeEnd.reset();
    if (!pid) {
        return std::nullopt;
    }
    StartedChild child(*pid);
    sendAllAndClose(channel->ours, input);
    discardLines(std::move(pipe->readEnd));
    return child.waitForExit();
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    const std::optional<pid_t> child = startProcess(
        program, arguments,
        {.input = kNullDevice, .output = kNullDevice, .error = kNullDevice, .detached = true});
    if (!child) {
        return false;
    }
    reapInBackground(*child);
    return true;
}

// A waiting thread rather than a double fork (fork is unsafe in a multi-threaded GUI process) or
// an ignored SIGCHLD (that would break every other waitpid of the process).
void reapInBackground(int processId) {
    std::thread([processId] {
        posix::retryOnInterrupt([processId] { return ::waitpid(processId, nullptr, 0); });
    }).detach();
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string>
SystemProcessLauncher::standardOutputOf(const std::string& executable,
                                        const std::vector<std::string>& arguments) {
    std::optional<CollectedOutput> finished =
        runCollectingOutput(executable, arguments, ErrorStream::inherited);
    if (!finished) {
        return std::nullopt;
    }
    return std::move(finished->bytes);
}

} // namespace talvo
