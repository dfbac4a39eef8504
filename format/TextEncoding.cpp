#include "format/PropertyListScan.h"

#include <algorithm>
#include <cctype>

namespace talvo::encoding {

void appendUtf8(std::string& text, char32_t character) {
    const auto byte = [&text](char32_t bits) { text.push_back(static_cast<char>(bits)); };
    if (character < 0x80) {
        byte(character);
    } else if (character < 0x800) {
        byte(0xC0 | character >> 6);
        byte(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        byte(0xE0 | character >> 12);
        byte(0x80 | (character >> 6 & 0x3F));
        byte(0x80 | (character & 0x3F));
    } else {
        byte(0xF0 | character >> 18);
        byte(0x80 | (character >> 12 & 0x3F));
        byte(0x80 | (character >> 6 & 0x3F));
        byte(0x80 | (character & 0x3F));
    }
}

std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    const auto unitAt = [bytes, bigEndian](std::size_t index) {
        const auto first = static_cast<unsigned char>(bytes[index]);
        const auto second = static_cast<unsigned char>(bytes[index + 1]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t index = 0; index < bytes.size(); index += 2) {
        const auto unit = unitAt(index);
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return std::nullopt;
        }
        if (unit < 0xD800 || unit > 0xDBFF) {
            appendUtf8(text, unit);
            continue;
        }
        index += 2;
        if (index >= bytes.size()) {
            return std::nullopt;
        }
        const auto low = unitAt(index);
        if (low < 0xDC00 || low > 0xDFFF) {
            return std::nullopt;
        }
        appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10 | (low - 0xDC00)));
    }
    return text;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        appendUtf8(text, static_cast<unsigned char>(byte));
    }
    return text;
}

} // namespace talvo::encoding

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
