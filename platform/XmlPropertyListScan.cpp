#include "platform/PropertyListScan.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace talvo::plistscan {

namespace {

constexpr std::string_view kXmlSpace = " \t\r\n";

Finding unreadable() {
    return {Verdict::unreadable, {}};
}

Finding refused(std::string reason) {
    return {Verdict::refused, std::move(reason)};
}

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

// The document as UTF-8, as the platform reads it: a byte-order mark decides, then the
// declaration. Only the encodings converted here are read; any other declared one is refused
// rather than read as the wrong characters.
PreparedXml toUtf8(std::string_view bytes) {
    const auto fromUtf16 = [](std::string_view units, bool bigEndian) {
        auto text = encoding::utf16ToUtf8(units, bigEndian);
        return text ? PreparedXml{{}, std::move(*text)} : PreparedXml{unreadable(), {}};
    };
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return {{}, std::string(bytes.substr(3))};
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        return fromUtf16(bytes.substr(2), bytes[0] == '\xFE');
    }
    if (bytes.starts_with(std::string_view("<\0?\0", 4)) ||
        bytes.starts_with(std::string_view("\0<\0?", 4))) {
        return fromUtf16(bytes, bytes[0] == '\0');
    }
    const auto name = declaredEncoding(bytes);
    if (name.empty() || name == "utf-8" || name == "utf8") {
        return {{}, std::string(bytes)};
    }
    if (name == "iso-8859-1" || name == "iso_8859-1" || name == "latin1" || name == "latin-1" ||
        name == "l1" || name == "iso-latin-1") {
        return {{}, encoding::latin1ToUtf8(bytes)};
    }
    if (name == "us-ascii" || name == "ascii") {
        if (std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; })) {
            return {refused("the profile holds characters outside its declared encoding US-ASCII"),
                    {}};
        }
        return {{}, std::string(bytes)};
    }
    return {
        refused("the profile declares the encoding " + shownName(name) + ", which cannot be read"),
        {}};
}

// Whether element text holds U+0000, raw or as a character reference (&#0; &#x00;).
bool holdsNul(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return true;
    }
    for (auto at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        auto digits = text.substr(at + 2);
        if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
            digits.remove_prefix(1);
        }
        const auto end = digits.find(';');
        if (end != 0 && end != std::string_view::npos &&
            digits.substr(0, end).find_first_not_of('0') == std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// Whether a leaf's text holds markup other than character data sections and comments: such an
// element is malformed, and where the library would end it is not ours to guess.
bool holdsOtherMarkup(std::string_view text) {
    for (auto at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
        const auto rest = text.substr(at);
        const std::string_view end = rest.starts_with("<![CDATA[") ? "]]>"
                                     : rest.starts_with("<!--")    ? "-->"
                                                                   : "";
        const auto close = end.empty() ? std::string_view::npos : text.find(end, at);
        if (close == std::string_view::npos) {
            return true;
        }
        at = close + end.size();
    }
    return false;
}

enum class IntegerProblem { none, notANumber, outOfRange };

struct Integer {
    IntegerProblem problem = IntegerProblem::none;
    std::string decimal;
};

// The element's integer in plain decimal, which the library reads exactly (it would read "010"
// as octal and wrap what does not fit in 64 bits).
Integer plainDecimal(std::string_view text) {
    const auto first = text.find_first_not_of(kXmlSpace);
    if (first == std::string_view::npos) {
        return {IntegerProblem::notANumber, {}};
    }
    text = text.substr(first, text.find_last_not_of(kXmlSpace) + 1 - first);
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return {IntegerProblem::notANumber, {}};
    }
    std::uint64_t magnitude = 0;
    bool tooLarge = false;
    for (const char character : text) {
        const auto lower = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
        const unsigned digit = lower >= '0' && lower <= '9'   ? lower - '0'
                               : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                              : 16;
        if (digit >= base) {
            return {IntegerProblem::notANumber, {}};
        }
        tooLarge =
            tooLarge || magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / base;
        magnitude = magnitude * base + digit;
    }
    constexpr auto kLargestNegative = std::uint64_t{1} << 63;
    if (tooLarge || (negative && magnitude > kLargestNegative)) {
        return {IntegerProblem::outOfRange, {}};
    }
    return {IntegerProblem::none,
            (negative && magnitude != 0 ? "-" : "") + std::to_string(magnitude)};
}

class XmlScanner {
  public:
    explicit XmlScanner(std::string_view text) : text_(text) { out_.reserve(text.size()); }

    PreparedXml run() {
        std::size_t at = 0;
        while (at < text_.size()) {
            const auto open = text_.find('<', at);
            out_ += text_.substr(at, open - at);
            if (open == std::string_view::npos) {
                break;
            }
            auto next = markup(open);
            if (!next) {
                return {finding_, {}};
            }
            at = *next;
        }
        // Element texts holding U+0000 have been refused with their place; XML has room for it
        // nowhere else, and the library's reading of markup around one need not match ours.
        if (text_.find('\0') != std::string_view::npos) {
            return {refused("the profile holds U+0000"), {}};
        }
        return {{}, std::move(out_)};
    }

  private:
    struct Level {
        bool dictionary;
        std::string key;
        std::uint64_t children = 0;
    };

    // Copies everything from start up to and including the end marker. Markup left open is
    // unreadable: whatever follows it would be skipped here but might be parsed by the library.
    std::optional<std::size_t> copyThrough(std::size_t start, std::string_view endMarker) {
        const auto end = text_.find(endMarker, start);
        if (end == std::string_view::npos) {
            return fail(unreadable());
        }
        const auto stop = end + endMarker.size();
        out_ += text_.substr(start, stop - start);
        return stop;
    }

    // A document type declaration ends at its first ">" here; it must end there for the library
    // too, or elements it skips as part of the declaration's text (or we skip as ours) would
    // escape the checks. So no quoted ">", no internal subset, no markup inside.
    std::optional<std::size_t> documentType(std::size_t open) {
        char quote = 0;
        for (auto at = open + 2; at < text_.size(); ++at) {
            const char character = text_[at];
            if (quote != 0) {
                quote = character == quote ? 0 : quote;
                if (character == '>' || character == '<') {
                    return fail(unreadable());
                }
                continue;
            }
            if (character == '"' || character == '\'') {
                quote = character;
            } else if (character == '[' || character == '<') {
                return fail(unreadable());
            } else if (character == '>') {
                out_ += text_.substr(open, at + 1 - open);
                return at + 1;
            }
        }
        return fail(unreadable());
    }

    // The markup at open; where scanning goes on, or nothing with finding_ set.
    std::optional<std::size_t> markup(std::size_t open) {
        const auto rest = text_.substr(open);
        if (rest.starts_with("<!--")) {
            return copyThrough(open, "-->");
        }
        if (rest.starts_with("<![CDATA[")) {
            return copyThrough(open, "]]>");
        }
        if (rest.starts_with("<?")) {
            return copyThrough(open, "?>");
        }
        if (rest.starts_with("<!DOCTYPE")) {
            return documentType(open);
        }
        // No other declaration belongs in a property list; how the library would skip one is
        // not ours to guess.
        if (rest.starts_with("<!")) {
            return fail(unreadable());
        }
        if (rest.starts_with("</")) {
            if (rest.starts_with("</array") || rest.starts_with("</dict")) {
                if (!levels_.empty()) {
                    levels_.pop_back();
                }
            }
            return copyThrough(open, ">");
        }
        return element(open);
    }

    std::optional<std::size_t> element(std::size_t open) {
        const auto tagEnd = text_.find('>', open);
        if (tagEnd == std::string_view::npos) {
            return fail(unreadable());
        }
        const auto tag = text_.substr(open + 1, tagEnd - open - 1);
        const auto name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
        const bool empty = tag.ends_with('/');
        if (name != "key" && name != "plist" && !levels_.empty() && !levels_.back().dictionary) {
            ++levels_.back().children;
        }
        if (name == "key" || name == "string" || name == "integer") {
            return leaf(name, open, tagEnd + 1, empty);
        }
        out_ += text_.substr(open, tagEnd + 1 - open);
        // Counted by prefix, so that a name the library might read as one of these is counted.
        if ((name.starts_with("array") || name.starts_with("dict")) && !empty) {
            if (levels_.size() >= static_cast<std::size_t>(kMaximumNesting)) {
                return fail(refused("the profile nests deeper than " +
                                    std::to_string(kMaximumNesting) + " levels"));
            }
            levels_.push_back(Level{name == "dict", {}});
        }
        return tagEnd + 1;
    }

    std::optional<std::size_t> leaf(std::string_view name, std::size_t open, std::size_t start,
                                    bool empty) {
        const auto closing = "</" + std::string(name) + ">";
        const auto end = empty ? start : text_.find(closing, start);
        if (end == std::string_view::npos) {
            return copyThrough(open, ">");
        }
        const auto content = text_.substr(start, end - start);
        if (holdsOtherMarkup(content)) {
            return fail(unreadable());
        }
        const auto stop = empty ? start : end + closing.size();
        if (name == "integer") {
            const auto number = plainDecimal(content);
            if (number.problem != IntegerProblem::none) {
                return fail(
                    refused("the integer at " + path(false) +
                            (number.problem == IntegerProblem::outOfRange ? " is out of range"
                                                                          : " is not a number")));
            }
            out_ += "<integer>" + number.decimal + "</integer>";
            return stop;
        }
        if (holdsNul(content)) {
            return fail(refused(name == "key" ? "a key in " + path(true) + " holds U+0000"
                                              : "the text at " + path(false) + " holds U+0000"));
        }
        if (name == "key" && !levels_.empty()) {
            levels_.back().key = content;
        }
        out_ += text_.substr(open, stop - open);
        return stop;
    }

    std::optional<std::size_t> fail(Finding finding) {
        finding_ = std::move(finding);
        return std::nullopt;
    }

    std::string path(bool forKey) const {
        std::string result;
        for (std::size_t level = 0; level < levels_.size(); ++level) {
            const auto& current = levels_[level];
            if (!current.dictionary) {
                appendPathPart(result, std::to_string(current.children - 1));
            } else if (!(forKey && level + 1 == levels_.size())) {
                appendPathPart(result, current.key);
            }
        }
        return result.empty() ? "the top level" : result;
    }

    std::string_view text_;
    std::string out_;
    std::vector<Level> levels_;
    Finding finding_;
};

} // namespace

PreparedXml prepareXml(std::string_view bytes) {
    auto converted = toUtf8(bytes);
    if (converted.finding.verdict != Verdict::pass) {
        return converted;
    }
    return XmlScanner(converted.text).run();
}

} // namespace talvo::plistscan
