#include "platform/AtomicTextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace talvo {

namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

// Owns the temporary file until it has been renamed over the target.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& target) : name_(temporaryTemplate(target)) {
        descriptor_ = mkstemp(name_.data());
        created_ = descriptor_ >= 0;
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        closeDescriptor();
        if (created_ && !renamed_) {
            unlink(name_.c_str());
        }
    }

    bool created() const { return created_; }
    int descriptor() const { return descriptor_; }

    // False (errno set) when data still buffered in the system could not be written.
    bool close() { return closeDescriptor() == 0; }

    bool renameTo(const std::string& target) {
        renamed_ = std::rename(name_.c_str(), target.c_str()) == 0;
        return renamed_;
    }

  private:
    // A hidden name beside the target, so that the rename stays within one file system.
    static std::string temporaryTemplate(const std::string& target) {
        const auto slash = target.find_last_of('/');
        const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
        return target.substr(0, nameStart) + "." + target.substr(nameStart) + ".XXXXXX";
    }

    int closeDescriptor() {
        if (descriptor_ < 0) {
            return 0;
        }
        const int result = ::close(descriptor_);
        descriptor_ = -1;
        return result;
    }

    std::string name_;
    int descriptor_ = -1;
    bool created_ = false;
    bool renamed_ = false;
};

bool writeAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const auto written = ::write(descriptor, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::error_code writeTextFileAtomically(const std::string& path, std::string_view text) {
    TemporaryFile temporary(path);
    // mkstemp makes the file private to its owner; the target is meant to be readable like any
    // other file written for the agent.
    if (!temporary.created() || fchmod(temporary.descriptor(), 0644) != 0 ||
        !writeAll(temporary.descriptor(), text) || fsync(temporary.descriptor()) != 0 ||
        !temporary.close() || !temporary.renameTo(path)) {
        return lastError();
    }
    return {};
}

} // namespace talvo
