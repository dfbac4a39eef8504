#include "platform/Desktop.h"

#include "platform/PropertyList.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
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

namespace talvo {

namespace {

constexpr std::string_view kFileScheme = "file://";

// RFC 3986 pchar (unreserved, sub-delims, ':' and '@') plus the segment separator.
bool standsAsItself(unsigned char byte) {
    constexpr std::string_view others = "-._~!$&'()*+,;=:@/";
    return std::isalnum(byte) != 0 ||
           others.find(static_cast<char>(byte)) != std::string_view::npos;
}

std::optional<int> hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return std::nullopt;
}

bool equalsIgnoringCase(std::string_view text, std::string_view other) {
    return std::equal(text.begin(), text.end(), other.begin(), other.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

std::string fileURLFromPath(std::string_view path) {
    constexpr std::string_view digits = "0123456789ABCDEF";
    std::string url(kFileScheme);
    for (const char character : path) {
        const auto byte = static_cast<unsigned char>(character);
        if (standsAsItself(byte)) {
            url += character;
        } else {
            url += '%';
            url += digits[byte >> 4];
            url += digits[byte & 0x0F];
        }
    }
    return url;
}

std::optional<std::string> pathFromFileURL(std::string_view url) {
    if (!startsWithIgnoringCase(url, kFileScheme)) {
        return std::nullopt;
    }
    auto rest = url.substr(kFileScheme.size());
    const auto pathStart = rest.find('/');
    if (pathStart == std::string_view::npos) {
        return std::nullopt;
    }
    const auto host = rest.substr(0, pathStart);
    if (!host.empty() && !equalsIgnoringCase(host, "localhost")) {
        return std::nullopt;
    }
    rest = rest.substr(pathStart);
    rest = rest.substr(0, rest.find_first_of("?#"));

    std::string path;
    for (std::size_t index = 0; index < rest.size(); ++index) {
        if (rest[index] != '%') {
            path += rest[index];
            continue;
        }
        if (rest.size() - index < 3) {
            return std::nullopt;
        }
        const auto high = hexValue(rest[index + 1]);
        const auto low = hexValue(rest[index + 2]);
        if (!high || !low || (*high == 0 && *low == 0)) {
            return std::nullopt;
        }
        path += static_cast<char>(*high * 16 + *low);
        index += 2;
    }
    return path;
}

std::optional<std::string> programFileOfProcessArguments(std::span<const char> bytes) {
    int count = 0;
    if (bytes.size() < sizeof count) {
        return std::nullopt;
    }
    // Copied, not cast: the buffer need not be aligned for an int.
    std::memcpy(&count, bytes.data(), sizeof count);
    if (count < 0) {
        return std::nullopt;
    }
    const std::string_view rest(bytes.data() + sizeof count, bytes.size() - sizeof count);
    const auto end = rest.find('\0');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    const auto path = rest.substr(0, end);
    if (!path.starts_with('/')) {
        return std::nullopt;
    }
    return std::string(path);
}

// Follows symbolic links and counts folders, as the desktop's own existence test does.
bool LocalFileChecks::fileExists(const std::string& path) const {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

} // namespace talvo
