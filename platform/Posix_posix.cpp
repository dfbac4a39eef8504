#include "platform/Posix.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace talvo::posix {

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

int FileDescriptor::release() {
    return std::exchange(descriptor_, -1);
}

int FileDescriptor::reset() {
    if (descriptor_ < 0) {
        return 0;
    }
    // Not retried on EINTR: the descriptor is gone either way on this system, and a retry could
    // close one another thread has just opened.
    return ::close(std::exchange(descriptor_, -1));
}

bool writeAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written =
            retryOnInterrupt([&] { return ::write(descriptor, text.data(), text.size()); });
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool closeOnExec(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFD);
    return flags != -1 && ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC) != -1;
}

bool noSignalOnBrokenPipe(int socket) {
#ifdef SO_NOSIGPIPE
    const int on = 1;
    return ::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) == 0;
#else
    (void)socket;
    return true;
#endif
}

bool sendAll(int socket, std::string_view text) {
    while (!text.empty()) {
        const ssize_t sent = retryOnInterrupt(
            [&] { return ::send(socket, text.data(), text.size(), kSendNoSignal); });
        if (sent <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::optional<std::size_t> readUpTo(int descriptor, char* buffer, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t count =
            retryOnInterrupt([&] { return ::read(descriptor, buffer + filled, size - filled); });
        if (count == 0) {
            break;
        }
        if (count < 0) {
            return std::nullopt;
        }
        filled += static_cast<std::size_t>(count);
    }
    return filled;
}

int shellStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return WEXITSTATUS(waitStatus);
}

ArgumentVector::ArgumentVector(const std::string& program,
                               const std::vector<std::string>& arguments)
    : count_(arguments.size() + 1),
      entries_(static_cast<char**>(std::calloc(count_ + 1, sizeof(char*)))) {
    if (entries_ == nullptr) {
        return;
    }
    for (std::size_t index = 0; index < count_; ++index) {
        const std::string& word = index == 0 ? program : arguments[index - 1];
        entries_[index] = ::strdup(word.c_str());
        if (entries_[index] == nullptr) {
            complete_ = false;
        }
    }
}

ArgumentVector::~ArgumentVector() {
    if (entries_ == nullptr) {
        return;
    }
    for (std::size_t index = 0; index < count_; ++index) {
        std::free(entries_[index]);
    }
    std::free(entries_);
}

} // namespace talvo::posix
