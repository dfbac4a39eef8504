#include "platform/RunningApplications.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

namespace talvo {

namespace {

bool isProcessFolder(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char character) {
        return std::isdigit(static_cast<unsigned char>(character)) != 0;
    });
}

// The program file a process runs: its exe link, or when that is not readable (another user's
// process) the first word of its command line.
std::optional<std::string> executableOf(const std::filesystem::path& processFolder) {
    std::error_code error;
    auto target = std::filesystem::read_symlink(processFolder / "exe", error).string();
    if (!error && !target.empty()) {
        constexpr std::string_view kReplaced = " (deleted)";
        if (target.ends_with(kReplaced)) {
            target.resize(target.size() - kReplaced.size());
        }
        return target;
    }
    std::ifstream commandLine(processFolder / "cmdline", std::ios::binary);
    std::string firstWord;
    if (!std::getline(commandLine, firstWord, '\0') || firstWord.empty()) {
        return std::nullopt;
    }
    return firstWord;
}

} // namespace

std::set<std::string>
SystemRunningApplications::runningAmong(const std::vector<std::string>& bundleIdentifiers) const {
    bundle::ApplicationScan scan(bundleIdentifiers, infoSizeLimit_);
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end;
         !error && entry != end && !scan.foundAll(); entry.increment(error)) {
        if (!isProcessFolder(entry->path().filename().string())) {
            continue;
        }
        if (const auto executable = executableOf(entry->path())) {
            scan.note(*executable);
        }
    }
    return scan.found();
}

} // namespace talvo
