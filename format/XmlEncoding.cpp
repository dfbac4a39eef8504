#include "format/PropertyListScan.h"
#include "format/TextEncoding.h"

#include <algorithm>
#include <cctype>

namespace talvo::plistscan {

namespace {

std::string lowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// The encoding named by the XML declaration at the start, lowercased; empty when none is named.
std::string declaredEncoding(std::string_view bytes) {
    if (!bytes.starts_with("<?xml")) {
        return {};
    }
    const auto declaration = bytes.substr(0, bytes.find("?>"));
    const auto name = declaration.find("encoding");
    if (name == std::string_view::npos) {
        return {};
    }
    auto rest = declaration.substr(name + 8);
    const auto quote = rest.find_first_of("\"'");
    if (quote == std::string_view::npos) {
        return {};
    }
    const char quoteCharacter = rest[quote];
    rest = rest.substr(quote + 1);
    return lowercased(rest.substr(0, rest.find(quoteCharacter)));
}

// A declared name shown in a message: only the characters encoding names are made of.
std::string shownName(std::string_view name) {
    std::string shown;
    for (const char character : name.substr(0, 40)) {
        if (std::isalnum(static_cast<unsigned char>(character)) ||
            std::string_view("-_.:").find(character) != std::string_view::npos) {
            shown += character;
        }
    }
    return shown;
}

} // namespace

Finding xmlAsUtf8(std::string_view bytes, std::string& converted, std::string_view& text) {
    const auto use = [&converted, &text](std::optional<std::string> result) {
        if (!result) {
            return Finding{Verdict::unreadable, {}};
        }
        converted = std::move(*result);
        text = converted;
        return Finding{};
    };
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        text = bytes.substr(3);
        return {};
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        return use(encoding::utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE'));
    }
    if (bytes.starts_with(std::string_view("<\0?\0", 4)) ||
        bytes.starts_with(std::string_view("\0<\0?", 4))) {
        return use(encoding::utf16ToUtf8(bytes, bytes[0] == '\0'));
    }
    const auto name = declaredEncoding(bytes);
    text = bytes;
    if (name.empty() || name == "utf-8" || name == "utf8") {
        return {};
    }
    if (name == "iso-8859-1" || name == "iso_8859-1" || name == "latin1" || name == "latin-1" ||
        name == "l1" || name == "iso-latin-1") {
        return use(encoding::latin1ToUtf8(bytes));
    }
    if (name != "us-ascii" && name != "ascii") {
        return {Verdict::refused,
                "the profile declares the encoding " + shownName(name) + ", which cannot be read"};
    }
    if (std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; })) {
        return {Verdict::refused,
                "the profile holds characters outside its declared encoding US-ASCII"};
    }
    return {};
}

} // namespace talvo::plistscan
