#include "format/ProcessArguments.h"
#include "platform/RunningApplications.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <span>
#include <sys/sysctl.h>
#include <sys/types.h>
#include <vector>

namespace talvo {

namespace {

// The process table is asked for its size first, then read into that much and some room for
// processes started in between; when it grew even more, it is asked again, a few times at most.
// No Mac runs anywhere near the cap's count of processes.
constexpr int kTableAttempts = 4;
constexpr std::size_t kMaxTableBytes = 64 * 1024 * 1024;
// The kernel's own limit on a process's arguments is KERN_ARGMAX (1 MiB on current systems).
constexpr std::size_t kMaxArgumentBytes = 4 * 1024 * 1024;

std::vector<pid_t> runningProcessIds() {
    int request[] = {CTL_KERN, KERN_PROC, KERN_PROC_ALL};
    for (int attempt = 0; attempt < kTableAttempts; ++attempt) {
        std::size_t size = 0;
        if (::sysctl(request, 3, nullptr, &size, nullptr, 0) != 0) {
            return {};
        }
        size += size / 8 + 16 * sizeof(kinfo_proc);
        if (size > kMaxTableBytes) {
            return {};
        }
        std::vector<kinfo_proc> table(size / sizeof(kinfo_proc));
        std::size_t filled = table.size() * sizeof(kinfo_proc);
        if (::sysctl(request, 3, table.data(), &filled, nullptr, 0) == 0) {
            std::vector<pid_t> ids;
            ids.reserve(filled / sizeof(kinfo_proc));
            for (std::size_t index = 0; index < filled / sizeof(kinfo_proc); ++index) {
                ids.push_back(table[index].kp_proc.p_pid);
            }
            return ids;
        }
        if (errno != ENOMEM) {
            return {};
        }
    }
    return {};
}

std::size_t argumentBufferSize() {
    int request[] = {CTL_KERN, KERN_ARGMAX};
    int limit = 0;
    std::size_t size = sizeof limit;
    if (::sysctl(request, 2, &limit, &size, nullptr, 0) != 0 || limit <= 0) {
        return kMaxArgumentBytes;
    }
    return std::min(static_cast<std::size_t>(limit), kMaxArgumentBytes);
}

// The program file of a process; nothing for processes whose arguments we may not read (another
// user's, unless we are root) or that have ended meanwhile.
std::optional<std::string> executableOf(pid_t process, std::vector<char>& buffer) {
    int request[] = {CTL_KERN, KERN_PROCARGS2, static_cast<int>(process)};
    std::size_t size = buffer.size();
    if (::sysctl(request, 3, buffer.data(), &size, nullptr, 0) != 0) {
        return std::nullopt;
    }
    return programFileOfProcessArguments(std::span<const char>(buffer.data(), size));
}

} // namespace

std::set<std::string>
SystemRunningApplications::runningAmong(const std::vector<std::string>& bundleIdentifiers) const {
    bundle::ApplicationScan scan(bundleIdentifiers, infoSizeLimit_);
    std::vector<char> buffer(argumentBufferSize());
    for (const pid_t process : runningProcessIds()) {
        if (scan.foundAll()) {
            break;
        }
        // The kernel's own task has no arguments to read.
        if (process <= 0) {
            continue;
        }
        if (const auto executable = executableOf(process, buffer)) {
            scan.note(*executable);
        }
    }
    return scan.found();
}

} // namespace talvo
