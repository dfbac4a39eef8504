#include "platform/Bundle.h"

#include "platform/Files.h"

#include <iterator>
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

std::optional<PropertyDictionary> infoOf(const std::string& bundlePath, std::size_t sizeLimit) {
    return readPropertyList(bundlePath + "/Contents/Info.plist", sizeLimit);
}

std::optional<std::string> mainExecutableIn(const std::string& bundlePath,
                                            const PropertyDictionary& info) {
    const auto name = textValue(info, "CFBundleExecutable");
    // A file name inside Contents/MacOS, never a path into another folder.
    if (!name || name->empty() || *name == "." || *name == ".." ||
        name->find('/') != std::string::npos) {
        return std::nullopt;
    }
    return bundlePath + "/Contents/MacOS/" + *name;
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
    const auto info = infoOf(bundlePath, kBundleInfoSizeLimit);
    if (!info) {
        return std::nullopt;
    }
    return mainExecutableIn(bundlePath, *info);
}

ApplicationScan::ApplicationScan(std::vector<std::string> bundleIdentifiers,
                                 std::size_t infoSizeLimit)
    : bundleIdentifiers_(std::make_move_iterator(bundleIdentifiers.begin()),
                         std::make_move_iterator(bundleIdentifiers.end())),
      infoSizeLimit_(infoSizeLimit) {}

void ApplicationScan::note(const std::string& executablePath) {
    const auto bundlePath = bundleOfExecutable(executablePath);
    if (!bundlePath) {
        return;
    }
    auto known = bundles_.find(*bundlePath);
    if (known == bundles_.end()) {
        known = bundles_.emplace(*bundlePath, applicationOf(*bundlePath)).first;
    }
    const auto& application = known->second;
    if (application && application->mainExecutable == executablePath) {
        found_.insert(application->bundleIdentifier);
    }
}

std::optional<ApplicationScan::Application>
ApplicationScan::applicationOf(const std::string& bundlePath) const {
    const auto info = infoOf(bundlePath, infoSizeLimit_);
    if (!info) {
        return std::nullopt;
    }
    auto identifier = textValue(*info, "CFBundleIdentifier");
    if (!identifier || !bundleIdentifiers_.contains(*identifier)) {
        return std::nullopt;
    }
    auto executable = mainExecutableIn(bundlePath, *info);
    if (!executable) {
        return std::nullopt;
    }
    return Application{std::move(*identifier), std::move(*executable)};
}

} // namespace talvo::bundle
