#include "format/FileURL.h"
#include "platform/ChildProcess.h"
#include "platform/Desktop.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace talvo {

namespace {

std::optional<std::string> findOnPath(std::string_view name) {
    const char* const path = std::getenv("PATH");
    if (path == nullptr) {
        return std::nullopt;
    }
    std::string_view folders = path;
    while (true) {
        const auto end = folders.find(':');
        const auto folder = folders.substr(0, end);
        if (!folder.empty()) {
            auto candidate = std::string(folder) + "/" + std::string(name);
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        folders.remove_prefix(end + 1);
    }
}

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
        constexpr std::string_view replaced = " (deleted)";
        if (target.ends_with(replaced)) {
            target.resize(target.size() - replaced.size());
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

void SystemWorkspace::openBundle(const std::string& path) {
    if (const auto executable = bundle::mainExecutable(path)) {
        startDetached(*executable, {});
    }
}

void SystemWorkspace::openURL(const std::string& url) {
    if (const auto path = pathFromFileURL(url); path && bundle::isBundlePath(*path)) {
        openBundle(*path);
        return;
    }
    if (const auto opener = findOnPath("xdg-open")) {
        startDetached(*opener, {url});
    }
}

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
