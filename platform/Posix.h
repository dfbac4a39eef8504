#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <vector>

// The small building blocks every system call site here shares: owning a descriptor, retrying a
// call a signal interrupted, writing or reading a whole buffer, and the argument vector a new
// program takes.
namespace talvo::posix {

// Closes the descriptor it owns when it goes away.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool isOpen() const { return descriptor_ >= 0; }
    int get() const { return descriptor_; }
    // Gives up ownership, for a caller that hands the descriptor to something that closes it.
    int release();
    // Closes now; the close's own result (0, or -1 with errno set), since it may be the first
    // report that buffered data could not be written.
    int reset();

  private:
    int descriptor_ = -1;
};

// Calls operation until it ends other than by a signal's interruption (-1 with errno EINTR).
template <typename Operation> auto retryOnInterrupt(Operation operation) {
    for (;;) {
        const auto result = operation();
        if (!(result == -1 && errno == EINTR)) {
            return result;
        }
    }
}

// All of text to the descriptor; false (errno set) when a write fails or writes nothing.
bool writeAll(int descriptor, std::string_view text);

// Marks the descriptor close-on-exec, for systems that cannot ask for it when opening.
bool closeOnExec(int descriptor);

// A send on this socket to a peer that has gone fails with EPIPE instead of raising SIGPIPE, for
// systems whose send has no flag for that; true where the flag exists.
bool noSignalOnBrokenPipe(int socket);

// All of text to the socket without raising SIGPIPE (see noSignalOnBrokenPipe); false when the
// peer has gone or a send fails.
bool sendAll(int socket, std::string_view text);

// The send flag that keeps a broken connection from raising SIGPIPE, where there is one.
#ifdef MSG_NOSIGNAL
constexpr int kSendNoSignal = MSG_NOSIGNAL;
#else
constexpr int kSendNoSignal = 0;
#endif

// Up to size bytes into buffer; the count read (short only at end of file), or nothing.
std::optional<std::size_t> readUpTo(int descriptor, char* buffer, std::size_t size);

// A wait status in shell terms: the exit status, or 128 plus the number of the ending signal.
int shellStatus(int waitStatus);

// The argument vector that a new program takes: program first, then arguments, each entry its
// own heap copy, the last one null. Freed whatever path the caller takes.
class ArgumentVector {
  public:
    ArgumentVector(const std::string& program, const std::vector<std::string>& arguments);
    ~ArgumentVector();
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    // False when memory ran out while copying.
    bool isComplete() const { return entries_ != nullptr && complete_; }
    char* const* get() const { return entries_; }

  private:
    std::size_t count_;
    char** entries_;
    bool complete_ = true;
};

} // namespace talvo::posix
