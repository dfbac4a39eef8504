#include "format/UnicodeText.h"

#include "format/MultiCharacterCaseMappings.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <utf8proc.h>

namespace talvo::unicode {

namespace {

const utf8proc_uint8_t* bytes(std::string_view text) {
    return reinterpret_cast<const utf8proc_uint8_t*>(text.data());
}

// Decodes the code point at the front of text; nothing when the bytes there are not valid UTF-8.
struct Decoded {
    utf8proc_int32_t codePoint;
    std::size_t length;
};

std::optional<Decoded> decodeFront(std::string_view text) {
    utf8proc_int32_t codePoint = 0;
    const auto length =
        utf8proc_iterate(bytes(text), static_cast<utf8proc_ssize_t>(text.size()), &codePoint);
    if (length <= 0) {
        return std::nullopt;
    }
    return Decoded{codePoint, static_cast<std::size_t>(length)};
}

// Decodes the code point that ends text, walking back over at most three continuation bytes.
std::optional<Decoded> decodeBack(std::string_view text) {
    std::size_t start = text.size();
    for (int step = 0; step < 4 && start > 0; ++step) {
        --start;
        if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) {
            break;
        }
    }
    auto decoded = decodeFront(text.substr(start));
    if (!decoded || start + decoded->length != text.size()) {
        return std::nullopt;
    }
    return decoded;
}

// The platform's whitespace-and-newlines set: space separators, line and paragraph separators,
// tab, the line-end controls LF VT FF CR, and NEL.
bool isWhitespaceOrNewline(utf8proc_int32_t codePoint) {
    if ((codePoint >= 0x09 && codePoint <= 0x0D) || codePoint == 0x85) {
        return true;
    }
    const auto category = utf8proc_category(codePoint);
    return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
           category == UTF8PROC_CATEGORY_ZP;
}

// Full case mapping, as the platform does it: the few characters that map to several (German
// sharp s, ligatures, ...) first, then utf8proc's one-to-one mapping.
template <std::size_t N>
std::string mapCodePoints(std::string_view text, const MultiCharacterMapping (&multiple)[N],
                          utf8proc_int32_t (*single)(utf8proc_int32_t)) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        const auto decoded = decodeFront(text);
        if (!decoded) {
            return std::string(text);
        }
        text.remove_prefix(decoded->length);
        const auto codePoint = static_cast<char32_t>(decoded->codePoint);
        const auto* found =
            std::lower_bound(std::begin(multiple), std::end(multiple), codePoint,
                             [](const MultiCharacterMapping& entry, char32_t value) {
                                 return entry.codePoint < value;
                             });
        if (found != std::end(multiple) && found->codePoint == codePoint) {
            result += found->utf8;
            continue;
        }
        utf8proc_uint8_t encoded[4];
        const auto length = utf8proc_encode_char(single(decoded->codePoint), encoded);
        result.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(length));
    }
    return result;
}

} // namespace

bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const auto decoded = decodeFront(text);
        if (!decoded) {
            return false;
        }
        text.remove_prefix(decoded->length);
    }
    return true;
}

std::string_view trimmedView(std::string_view text) {
    while (!text.empty()) {
        const auto decoded = decodeFront(text);
        if (!decoded || !isWhitespaceOrNewline(decoded->codePoint)) {
            break;
        }
        text.remove_prefix(decoded->length);
    }
    while (!text.empty()) {
        const auto decoded = decodeBack(text);
        if (!decoded || !isWhitespaceOrNewline(decoded->codePoint)) {
            break;
        }
        text.remove_suffix(decoded->length);
    }
    return text;
}

std::string trimWhitespaceAndNewlines(std::string_view text) {
    return std::string(trimmedView(text));
}

std::string uppercased(std::string_view text) {
    if (!isValidUtf8(text)) {
        return std::string(text);
    }
    return mapCodePoints(text, kMultiCharacterUppercase, utf8proc_toupper);
}

std::string lowercased(std::string_view text) {
    if (!isValidUtf8(text)) {
        return std::string(text);
    }
    return mapCodePoints(text, kMultiCharacterLowercase, utf8proc_tolower);
}

std::optional<std::size_t> graphemeCount(std::string_view text) {
    std::size_t count = 0;
    utf8proc_int32_t previous = -1;
    utf8proc_int32_t state = 0;
    while (!text.empty()) {
        const auto decoded = decodeFront(text);
        if (!decoded) {
            return std::nullopt;
        }
        if (previous < 0 ||
            utf8proc_grapheme_break_stateful(previous, decoded->codePoint, &state)) {
            ++count;
        }
        previous = decoded->codePoint;
        text.remove_prefix(decoded->length);
    }
    return count;
}

std::optional<std::string> nfc(std::string_view text) {
    if (!isValidUtf8(text)) {
        return std::nullopt;
    }
    utf8proc_uint8_t* composed = nullptr;
    const auto length =
        utf8proc_map(bytes(text), static_cast<utf8proc_ssize_t>(text.size()), &composed,
                     static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(composed, &std::free);
    if (length < 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length));
}

} // namespace talvo::unicode
