#include "platform/ChildProcess.h"
#include "platform/Desktop.h"
#include "platform/FileURL.h"
#include "platform/PropertyList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace talvo::bundle {

namespace {

constexpr std::string_view kBundleExtension = ".app";
constexpr std::string_view kExecutablesFolder = ".app/Contents/MacOS/";

// A bundle needs a name in front of its extension.
bool hasBundleName(std::string_view pathEndingInExtension) {
    const auto nameEnd = pathEndingInExtension.size() - kBundleExtension.size();
    return nameEnd > 0 && pathEndingInExtension[nameEnd - 1] != '/';
}

} // namespace

std::optional<std::string> bundleOfExecutable(std::string_view executablePath) {
    const auto folder = executablePath.rfind(kExecutablesFolder);
    if (folder == std::string_view::npos ||
        folder + kExecutablesFolder.size() == executablePath.size()) {
        return std::nullopt;
    }
    const auto bundlePath = executablePath.substr(0, folder + kBundleExtension.size());
    if (!hasBundleName(bundlePath)) {
        return std::nullopt;
    }
    return std::string(bundlePath);
}

bool isBundlePath(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path.ends_with(kBundleExtension) && hasBundleName(path);
}

std::optional<std::string> mainExecutable(const std::string& bundlePath) {
    const auto name = infoString(bundlePath, "CFBundleExecutable");
    // A file name inside Contents/MacOS, never a path into another folder.
    if (!name || name->empty() || *name == "." || *name == ".." ||
        name->find('/') != std::string::npos) {
        return std::nullopt;
    }
    return bundlePath + "/Contents/MacOS/" + *name;
}

std::optional<std::string> infoString(const std::string& bundlePath, std::string_view key) {
    const auto info = readPropertyList(bundlePath + "/Contents/Info.plist");
    if (!info) {
        return std::nullopt;
    }
    return textValue(*info, key);
}

} // namespace talvo::bundle

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

// Follows symbolic links and counts folders, as the desktop's own existence test does.
bool LocalFileChecks::fileExists(const std::string& path) const {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

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

bool SystemRunningApplications::isRunning(const std::string& bundleIdentifier) const {
    // What a bundle's Info.plist says, read once per scan: many processes share a bundle.
    struct BundleFacts {
        std::optional<std::string> identifier;
        std::optional<std::string> mainExecutable;
    };
    std::map<std::string, BundleFacts> bundles;
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        if (!isProcessFolder(entry->path().filename().string())) {
            continue;
        }
        const auto executable = executableOf(entry->path());
        if (!executable) {
            continue;
        }
        const auto bundlePath = bundle::bundleOfExecutable(*executable);
        if (!bundlePath) {
            continue;
        }
        auto [known, isNew] = bundles.try_emplace(*bundlePath);
        if (isNew) {
            known->second = {bundle::infoString(*bundlePath, "CFBundleIdentifier"),
                             bundle::mainExecutable(*bundlePath)};
        }
        // Helpers and daemons that share the bundle's MacOS folder are not the application.
        if (known->second.identifier == bundleIdentifier &&
            known->second.mainExecutable == *executable) {
            return true;
        }
    }
    return false;
}

} // namespace talvo
