#include "format/FileURL.h"

#include <algorithm>
#include <cctype>

namespace talvo {

namespace {

constexpr std::string_view kFileScheme = "file://";

// RFC 3986 pchar (unreserved, sub-delims, ':' and '@') plus the segment separator.
bool standsAsItself(unsigned char byte) {
    constexpr std::string_view kOthers = "-._~!$&'()*+,;=:@/";
    return std::isalnum(byte) != 0 ||
           kOthers.find(static_cast<char>(byte)) != std::string_view::npos;
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
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string url(kFileScheme);
    for (const char character : path) {
        const auto byte = static_cast<unsigned char>(character);
        if (standsAsItself(byte)) {
            url += character;
        } else {
            url += '%';
            url += kDigits[byte >> 4];
            url += kDigits[byte & 0x0F];
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

} // namespace talvo
