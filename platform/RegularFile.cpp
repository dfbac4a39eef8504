#include "platform/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace talvo {

namespace {

class OpenFile {
  public:
    // Non-blocking, so that opening a FIFO (or a link to one) returns at once instead of waiting
    // for a writer; no controlling terminal is ever taken from a device.
    explicit OpenFile(const std::filesystem::path& file)
        : descriptor_(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }

    int descriptor() const { return descriptor_; }

  private:
    int descriptor_;
};

// Up to size bytes into buffer; the count read (short only at the end of the file), or nothing.
std::optional<std::size_t> readUpTo(int descriptor, char* buffer, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        const auto count = ::read(descriptor, buffer + filled, size - filled);
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        filled += static_cast<std::size_t>(count);
    }
    return filled;
}

} // namespace

std::optional<std::string> readRegularFile(const std::filesystem::path& file,
                                           std::size_t maximumSize) {
    const OpenFile opened(file);
    if (opened.descriptor() < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(opened.descriptor(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > maximumSize) {
        return std::nullopt;
    }
    try {
        std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
        const auto count = readUpTo(opened.descriptor(), bytes.data(), bytes.size());
        if (!count) {
            return std::nullopt;
        }
        bytes.resize(*count);
        // A file that grew while we read it is torn and maybe over the limit: one probe byte
        // tells, and it is not kept.
        char probe = 0;
        if (*count == static_cast<std::size_t>(status.st_size) &&
            readUpTo(opened.descriptor(), &probe, 1).value_or(1) != 0) {
            return std::nullopt;
        }
        return bytes;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace talvo
