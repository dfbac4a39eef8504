#include "platform/AppBundle.h"

#include "platform/PropertyList.h"

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
    const auto* value = find(*info, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    const auto* text = std::get_if<std::string>(&value->value);
    if (text == nullptr) {
        return std::nullopt;
    }
    return *text;
}

} // namespace talvo::bundle
