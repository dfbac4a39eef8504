#include "platform/Desktop.h"

#include "platform/PropertyList.h"

#include <sys/stat.h>
#include <utility>

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

ApplicationMatcher::ApplicationMatcher(std::string bundleIdentifier)
    : bundleIdentifier_(std::move(bundleIdentifier)) {}

bool ApplicationMatcher::isApplication(const std::string& executablePath) {
    const auto bundlePath = bundleOfExecutable(executablePath);
    if (!bundlePath) {
        return false;
    }
    auto [known, isNew] = bundles_.try_emplace(*bundlePath);
    if (isNew) {
        known->second = {infoString(*bundlePath, "CFBundleIdentifier"),
                         mainExecutable(*bundlePath)};
    }
    return known->second.identifier == bundleIdentifier_ &&
           known->second.mainExecutable == executablePath;
}

} // namespace talvo::bundle

namespace talvo {

// Follows symbolic links and counts folders, as the desktop's own existence test does.
bool LocalFileChecks::fileExists(const std::string& path) const {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

} // namespace talvo
