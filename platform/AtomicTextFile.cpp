#include "platform/AtomicTextFile.h"

#include "platform/TerminationCleanup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvo {

namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

// Where a target's temporaries go: a hidden name beside the target, so that the rename stays
// within one file system, followed by the six characters mkstemp picks.
struct TemporaryNaming {
    explicit TemporaryNaming(const std::string& target) {
        const auto slash = target.find_last_of('/');
        const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
        folder = target.substr(0, nameStart);
        prefix = "." + target.substr(nameStart) + ".";
    }

    static constexpr std::size_t kUniqueLength = 6;

    bool matches(std::string_view name) const {
        return name.size() == prefix.size() + kUniqueLength && name.starts_with(prefix) &&
               std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                           [](char character) {
                               return std::isalnum(static_cast<unsigned char>(character)) != 0;
                           });
    }

    std::string pathOf(std::string_view name) const { return folder + std::string(name); }
    std::string mkstempTemplate() const { return pathOf(prefix + std::string(kUniqueLength, 'X')); }
    const char* folderToList() const { return folder.empty() ? "." : folder.c_str(); }

    std::string folder; // with its final slash; empty for the working folder
    std::string prefix;
};

// A writer holds an exclusive lock on its temporary for as long as it may rename it. The lock can
// only be taken once the file exists, so a file this young may still be on its way to being
// locked.
constexpr auto kYoungestStaleTemporary = std::chrono::seconds(10);

// A temporary of ours nobody is writing: a regular file, unlocked, and not touched lately.
bool isAbandoned(int descriptor, const struct stat& status) {
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::seconds(status.st_mtim.tv_sec) +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
    return S_ISREG(status.st_mode) &&
           std::chrono::system_clock::now() - modified >= kYoungestStaleTemporary &&
           ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

// The open neither follows a link nor waits on a pipe someone left under our name.
void removeIfAbandoned(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return;
    }
    struct stat opened {};
    struct stat named {};
    // Unlinked by name: the name must still lead to the file that was found unlocked.
    if (::fstat(descriptor, &opened) == 0 && isAbandoned(descriptor, opened) &&
        ::lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino) {
        ::unlink(path.c_str());
    }
    ::close(descriptor);
}

// Writers killed outright (SIGKILL, power loss) leave their temporaries; each would otherwise
// stay for good, up to a whole copy of the file.
void removeStaleTemporaries(const TemporaryNaming& naming) {
    DIR* const folder = ::opendir(naming.folderToList());
    if (folder == nullptr) {
        return;
    }
    while (const dirent* const entry = ::readdir(folder)) {
        if (naming.matches(entry->d_name)) {
            removeIfAbandoned(naming.pathOf(entry->d_name));
        }
    }
    ::closedir(folder);
}

// Owns the temporary file until it has been renamed over the target; a termination signal in
// the meantime removes it too.
class TemporaryFile {
  public:
    explicit TemporaryFile(const TemporaryNaming& naming) : name_(naming.mkstempTemplate()) {
        const TerminationSignalsHeld held;
        descriptor_ = mkstemp(name_.data());
        created_ = descriptor_ >= 0;
        if (created_) {
            removal_.emplace(name_);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        closeDescriptor();
        if (created_ && !renamed_) {
            unlink(name_.c_str());
        }
        // Only now: a signal before this point finds the file gone or removes it.
        removal_.reset();
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
    std::optional<RemoveOnTermination> removal_;
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
    const TemporaryNaming naming(path);
    removeStaleTemporaries(naming);
    TemporaryFile temporary(naming);
    // Locked before anything is written, so that no other writer's clean-up takes it. mkstemp
    // makes the file private to its owner; the target is meant to be readable like any other
    // file written for the agent.
    if (!temporary.created() || ::flock(temporary.descriptor(), LOCK_EX) != 0 ||
        fchmod(temporary.descriptor(), 0644) != 0 || !writeAll(temporary.descriptor(), text) ||
        fsync(temporary.descriptor()) != 0 || !temporary.close() || !temporary.renameTo(path)) {
        return lastError();
    }
    return {};
}

} // namespace talvo
