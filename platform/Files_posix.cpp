#include "platform/Files.h"
#include "platform/Posix.h"
#include "platform/TerminationCleanup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <new>
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
#ifdef __APPLE__
    const timespec& modifiedAt = status.st_mtimespec;
#else
    const timespec& modifiedAt = status.st_mtim;
#endif
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::seconds(modifiedAt.tv_sec) +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(modifiedAt.tv_nsec)));
    return S_ISREG(status.st_mode) &&
           std::chrono::system_clock::now() - modified >= kYoungestStaleTemporary &&
           ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

// The open neither follows a link nor waits on a pipe someone left under our name.
void removeIfAbandoned(const std::string& path) {
    const posix::FileDescriptor opened(
        ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!opened.isOpen()) {
        return;
    }
    struct stat status {};
    struct stat named {};
    // Unlinked by name: the name must still lead to the file that was found unlocked.
    if (::fstat(opened.get(), &status) == 0 && isAbandoned(opened.get(), status) &&
        ::lstat(path.c_str(), &named) == 0 && named.st_dev == status.st_dev &&
        named.st_ino == status.st_ino) {
        ::unlink(path.c_str());
    }
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
        descriptor_ = posix::FileDescriptor(mkstemp(name_.data()));
        created_ = descriptor_.isOpen();
        if (created_) {
            removal_.emplace(name_);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        descriptor_.reset();
        if (created_ && !renamed_) {
            unlink(name_.c_str());
        }
        // Only now: a signal before this point finds the file gone or removes it.
        removal_.reset();
    }

    bool created() const { return created_; }
    int descriptor() const { return descriptor_.get(); }

    // False (errno set) when data still buffered in the system could not be written.
    bool close() { return descriptor_.reset() == 0; }

    bool renameTo(const std::string& target) {
        renamed_ = std::rename(name_.c_str(), target.c_str()) == 0;
        return renamed_;
    }

  private:
    std::string name_;
    posix::FileDescriptor descriptor_;
    bool created_ = false;
    bool renamed_ = false;
    std::optional<RemoveOnTermination> removal_;
};

bool isRegularWithin(const struct stat& status, std::size_t maximumSize) {
    return S_ISREG(status.st_mode) && status.st_size >= 0 &&
           static_cast<std::uintmax_t>(status.st_size) <= maximumSize;
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
        fchmod(temporary.descriptor(), 0644) != 0 ||
        !posix::writeAll(temporary.descriptor(), text) || fsync(temporary.descriptor()) != 0 ||
        !temporary.close() || !temporary.renameTo(path)) {
        return lastError();
    }
    return {};
}

namespace {

// One look at the file and one read of it. replaced: the name led to another file by the time it
// was opened.
struct ReadAttempt {
    std::optional<std::string> bytes;
    bool replaced = false;
};

ReadAttempt readIfUnchanged(const std::filesystem::path& file, std::size_t maximumSize) {
    // Looked at before it is opened: opening a device can act on it (a tape rewinds, a watchdog is
    // armed, a serial line is raised), and a root process reads files that any local user may
    // name, through a link in a bundle of their own. Only a regular file is opened.
    struct stat named {};
    if (::stat(file.c_str(), &named) != 0 || !isRegularWithin(named, maximumSize)) {
        return {};
    }
    // Non-blocking, so that a FIFO put in its place meanwhile returns at once instead of waiting
    // for a writer; no controlling terminal is ever taken from a device.
    const posix::FileDescriptor opened(
        ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!opened.isOpen()) {
        return {};
    }
    // The file opened must be the one looked at.
    struct stat status {};
    if (::fstat(opened.get(), &status) != 0) {
        return {};
    }
    if (status.st_dev != named.st_dev || status.st_ino != named.st_ino) {
        return {std::nullopt, true};
    }
    if (!isRegularWithin(status, maximumSize)) {
        return {};
    }
    try {
        std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
        const auto count = posix::readUpTo(opened.get(), bytes.data(), bytes.size());
        if (!count) {
            return {};
        }
        bytes.resize(*count);
        // A file that grew while we read it is torn and maybe over the limit: one probe byte
        // tells, and it is not kept.
        char probe = 0;
        if (*count == static_cast<std::size_t>(status.st_size) &&
            posix::readUpTo(opened.get(), &probe, 1).value_or(1) != 0) {
            return {};
        }
        return {std::move(bytes)};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// Enough for a file that its writer replaces now and then; few enough that one replaced on and on
// cannot keep a reader from going on.
constexpr int kReadAttempts = 8;

} // namespace

std::optional<std::string> readRegularFile(const std::filesystem::path& file,
                                           std::size_t maximumSize) {
    // A writer that renames a new file over the old one (every atomic writer, an MDM agent's
    // included) between our look and our open leaves the new file to read, not no file at all.
    for (int attempt = 1;; ++attempt) {
        ReadAttempt result = readIfUnchanged(file, maximumSize);
        if (!result.replaced || attempt == kReadAttempts) {
            return std::move(result.bytes);
        }
    }
}

PropertyListReading examinePropertyListFile(const std::filesystem::path& file,
                                            std::size_t maximumSize) {
    const auto bytes = readRegularFile(file, maximumSize);
    return bytes ? examinePropertyList(*bytes) : PropertyListReading{};
}

std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file,
                                                   std::size_t maximumSize) {
    return examinePropertyListFile(file, maximumSize).dictionary;
}

bool LocalFileChecks::fileExists(const std::string& path) const {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

} // namespace talvo
