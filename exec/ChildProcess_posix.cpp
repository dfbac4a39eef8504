#include "exec/ChildProcess.h"
#include "exec/OutputBuffer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace talvo {

namespace {

// Closes the descriptor it owns when it goes away.
class FileDescriptor {
  public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept
        : descriptor_(std::exchange(other.descriptor_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    // Gives up ownership, for a caller that hands the descriptor to something that closes it.
    int release() { return std::exchange(descriptor_, -1); }
    void reset() {
        if (descriptor_ >= 0) {
            ::close(std::exchange(descriptor_, -1));
        }
    }

  private:
    int descriptor_ = -1;
};

struct Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

// Both ends close on exec, so that no other child we start (from any thread) inherits them and
// holds the pipe open; the child gets the write end only through the dup2 actions below.
std::optional<Pipe> openPipe() {
    int ends[2];
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
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return std::nullopt;
    }
    return InputChannel{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
}

// Sends all of input and closes our end, so that the child reads end of file behind it. A child
// that stops reading ends the sending early; how it then ends is its exit status's to tell.
void sendAllAndClose(FileDescriptor& ours, std::string_view input) {
    while (!input.empty()) {
        const ssize_t sent = ::send(ours.get(), input.data(), input.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            break;
        }
        input.remove_prefix(static_cast<std::size_t>(sent));
    }
    ours.reset();
}

// The argument vector that posix_spawn takes: a zero-filled array of one more entry than there
// are arguments, each entry a heap copy, the last one null. Freed entry by entry whatever path
// the caller takes.
class HeapArgumentVector {
  public:
    explicit HeapArgumentVector(const std::vector<std::string>& arguments)
        : count_(arguments.size()),
          entries_(static_cast<char**>(std::calloc(count_ + 1, sizeof(char*)))) {
        if (entries_ == nullptr) {
            return;
        }
        for (std::size_t index = 0; index < count_; ++index) {
            entries_[index] = ::strdup(arguments[index].c_str());
            if (entries_[index] == nullptr) {
                complete_ = false;
            }
        }
    }
    ~HeapArgumentVector() {
        if (entries_ == nullptr) {
            return;
        }
        for (std::size_t index = 0; index < count_; ++index) {
            std::free(entries_[index]);
        }
        std::free(entries_);
    }
    HeapArgumentVector(const HeapArgumentVector&) = delete;
    HeapArgumentVector& operator=(const HeapArgumentVector&) = delete;

    // False when memory ran out while copying.
    bool isComplete() const { return entries_ != nullptr && complete_; }
    char* const* get() const { return entries_; }

  private:
    std::size_t count_;
    char** entries_;
    bool complete_ = true;
};

class SpawnFileActions {
  public:
    SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    bool redirect(int from, int to) {
        return posix_spawn_file_actions_adddup2(&actions_, from, to) == 0;
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

// The child keeps the caller's stdin.
constexpr int kInheritedInput = -1;

// Starts program with the write end of the pipe as its stdout (and stderr when asked) and, unless
// inherited, inputDescriptor as its stdin, and closes our copy of the pipe's write end so that
// end of file arrives once the child side lets go.
std::optional<pid_t> spawnWritingInto(const std::string& program,
                                      const std::vector<std::string>& arguments, Pipe& pipe,
                                      ErrorStream errorStream, int inputDescriptor) {
    const HeapArgumentVector argumentVector(arguments);
    SpawnFileActions actions;
    if (!argumentVector.isComplete() || !actions.redirect(pipe.writeEnd.get(), STDOUT_FILENO) ||
        (errorStream == ErrorStream::Captured &&
         !actions.redirect(pipe.writeEnd.get(), STDERR_FILENO)) ||
        (inputDescriptor != kInheritedInput && !actions.redirect(inputDescriptor, STDIN_FILENO))) {
        return std::nullopt;
    }
    pid_t child = 0;
    const int failure = ::posix_spawn(&child, program.c_str(), actions.get(), nullptr,
                                      argumentVector.get(), environ);
    pipe.writeEnd.reset();
    if (failure != 0) {
        return std::nullopt;
    }
    return child;
}

constexpr int kUnknownStatus = 1;

int shellStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return WEXITSTATUS(waitStatus);
}

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
        for (;;) {
            if (::waitpid(pid, &waitStatus, 0) == pid) {
                return shellStatus(waitStatus);
            }
            if (errno != EINTR) {
                // Reaped elsewhere (SIGCHLD ignored, say): how it ended is unknown, and unknown
                // must not read as success.
                return kUnknownStatus;
            }
        }
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
        if (::poll(&watched, 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
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
void discardLines(int descriptor) {
    std::FILE* const stream = ::fdopen(descriptor, "r");
    if (stream == nullptr) {
        ::close(descriptor);
        return;
    }
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
    const std::optional<pid_t> pid =
        spawnWritingInto(program, arguments, *pipe, errorStream, kInheritedInput);
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
    const std::optional<pid_t> pid =
        spawnWritingInto(program, arguments, *pipe, ErrorStream::Inherited, channel->childs.get());
    channel->childs.reset();
    if (!pid) {
        return std::nullopt;
    }
    StartedChild child(*pid);
    sendAllAndClose(channel->ours, input);
    discardLines(pipe->readEnd.release());
    return child.waitForExit();
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

} // namespace talvo
