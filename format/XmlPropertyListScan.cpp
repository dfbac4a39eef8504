#include "format/PropertyListScan.h"
#include "format/XmlMarkupReader.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <span>
#include <vector>

// The document is read here as the library reads it (the same ends for markup and texts, the
// same errors), each byte a bounded number of times. The structure is kept here; each value goes
// to the library as a small document of its own, without what the library would skip.
namespace talvo::plistscan {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

enum class IntegerProblem { none, notANumber, outOfRange };

struct Integer {
    IntegerProblem problem = IntegerProblem::none;
    std::string decimal;
};

// The element's integer in plain decimal, which the library reads exactly (it would read "010"
// as octal and wrap what does not fit in 64 bits).
Integer plainDecimal(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == kNone) {
        return {IntegerProblem::notANumber, {}};
    }
    text = text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
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

// The text between "&" and ";" names U+0000 (&#0; &#x00;).
bool namesNul(std::string_view reference) {
    if (!reference.starts_with('#')) {
        return false;
    }
    reference.remove_prefix(1);
    if (reference.starts_with('x') || reference.starts_with('X')) {
        reference.remove_prefix(1);
    }
    return !reference.empty() && reference.find_first_not_of('0') == kNone;
}

// The code point of a numeric character reference (the text between "&" and ";"), read exactly as
// the library reads it; nothing when the library would not take it as one.
std::optional<std::uint64_t> referencedCodePoint(std::string_view reference) {
    constexpr std::size_t kLongestReference = 8;
    if (!reference.starts_with('#') || reference.size() > kLongestReference) {
        return std::nullopt;
    }
    const bool hexadecimal = reference.size() > 1 && (reference[1] == 'x' || reference[1] == 'X');
    const std::string digits(reference.substr(hexadecimal ? 2 : 1));
    if (digits.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const auto value = std::strtoull(digits.c_str(), &end, hexadecimal ? 16 : 10);
    if (end != digits.c_str() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

// A surrogate is no character: the library writes its three bytes, which no UTF-8 reader takes,
// and a pair of them does not become the character the two stand for in UTF-16.
bool namesSurrogate(std::string_view reference) {
    const auto codePoint = referencedCodePoint(reference);
    return codePoint && *codePoint >= 0xD800 && *codePoint <= 0xDFFF;
}

class XmlScanner : XmlMarkupReader {
  public:
    explicit XmlScanner(std::string_view text) : XmlMarkupReader(text) {
        out_.reserve(text.size());
    }

    PreparedXml run() {
        while (!rootClosed_ && next()) {
        }
        const bool holdsNul = text_.find('\0') != kNone;
        if (stop_ == Stop::notAPropertyList ||
            (stop_ == Stop::notFollowed && !refusal_ && !holdsNul)) {
            return {{Verdict::unreadable, {}}, {}, {}};
        }
        // Findings about values wait until the bytes are known to be a property list.
        if (refusal_ || holdsNul) {
            return {{Verdict::refused, refusal_.value_or("the profile holds U+0000")}, {}, {}};
        }
        return {{}, std::move(elements_), std::move(out_)};
    }

  private:
    struct Level {
        bool dictionary;
        bool keyPending = false;
        std::string_view key;
        std::uint64_t children = 0;
    };

    void note(std::string reason) {
        if (!refusal_) {
            refusal_ = std::move(reason);
        }
    }

    // One piece of markup outside texts; at_ is past it afterwards.
    bool next() {
        skipSpace();
        if (at_ == text_.size()) {
            return endOfText();
        }
        if (text_[at_] != '<' || ++at_ == text_.size()) {
            return halt(Stop::notAPropertyList);
        }
        const auto rest = text_.substr(at_);
        if (rest.starts_with('?')) {
            return instruction();
        }
        if (rest.size() > 3 && rest.starts_with("!--")) {
            return skipPast("-->", at_ + 3);
        }
        if (rest.size() > 8 && rest.starts_with("!DOCTYPE")) {
            return documentType();
        }
        if (rest.starts_with('!')) {
            return halt(Stop::notAPropertyList);
        }
        const auto tag = readTag();
        if (!tag) {
            return false;
        }
        if (tag->name == "plist") {
            return openPlist(tag->empty);
        }
        if (tag->name.starts_with('/')) {
            return close(tag->name.substr(1));
        }
        return element(*tag);
    }

    bool endOfText() {
        // Only an empty root dictionary leaves the library reading to the end; it then wants any
        // <plist> closed.
        if (emptyRoot_ && !(plistOpen_ && !plistClosed_)) {
            rootClosed_ = true;
            return true;
        }
        return halt(Stop::notAPropertyList);
    }

    bool openPlist(bool empty) {
        if (rootSeen_ || plistOpen_) {
            return halt(Stop::notFollowed);
        }
        plistOpen_ = true;
        return empty ? halt(Stop::notAPropertyList) : true;
    }

    bool close(std::string_view name) {
        if (name == "plist") {
            if (!emptyRoot_ || !plistOpen_ || plistClosed_) {
                return halt(Stop::notAPropertyList);
            }
            plistClosed_ = true;
            return true;
        }
        if (levels_.empty() || name != (levels_.back().dictionary ? "dict" : "array")) {
            return halt(Stop::notAPropertyList);
        }
        levels_.pop_back();
        elements_.push_back({XmlElement::end});
        rootClosed_ = levels_.empty();
        return true;
    }

    bool element(const Tag& tag) {
        const auto& name = tag.name;
        const bool container = name == "dict" || name == "array";
        if (!container && name != "key" && name != "string" && name != "integer" &&
            name != "real" && name != "true" && name != "false" && name != "data" &&
            name != "date") {
            return halt(Stop::notAPropertyList);
        }
        if (emptyRoot_) {
            // The library would add it to the empty root.
            return halt(Stop::notFollowed);
        }
        if (!rootSeen_) {
            rootSeen_ = true;
            // A root that is not a dictionary is no profile, whatever it holds.
            if (name != "dict") {
                return halt(Stop::notAPropertyList);
            }
            emptyRoot_ = tag.empty;
            return open(true, tag.empty);
        }
        auto& level = levels_.back();
        if (level.dictionary && !level.keyPending) {
            if (name != "key" || tag.empty) {
                return halt(Stop::notAPropertyList);
            }
            level.keyPending = true;
            if (!leaf(tag, true)) {
                return false;
            }
            levels_.back().key = lastText_;
            return true;
        }
        level.keyPending = false;
        ++level.children;
        return container ? open(name == "dict", tag.empty) : leaf(tag, false);
    }

    bool open(bool dictionary, bool empty) {
        elements_.push_back({dictionary ? XmlElement::dictionary : XmlElement::array});
        if (empty) {
            elements_.push_back({XmlElement::end});
            return true;
        }
        if (levels_.size() >= static_cast<std::size_t>(kMaximumNesting)) {
            note("the profile nests deeper than " + std::to_string(kMaximumNesting) + " levels");
            return halt(Stop::limit);
        }
        levels_.push_back(Level{dictionary, false, {}, 0});
        return true;
    }

    // Keys and strings become strings; the content of the others is left as the library reads
    // it, except that integers are written in plain decimal and booleans without content.
    bool leaf(const Tag& tag, bool isKey) {
        const auto offset = out_.size();
        if (!leafDocument(tag, isKey)) {
            return false;
        }
        elements_.push_back({XmlElement::value, offset, out_.size() - offset});
        return true;
    }

    bool leafDocument(const Tag& tag, bool isKey) {
        const auto& name = tag.name;
        const bool text = name == "key" || name == "string";
        const bool integerElement = name == "integer";
        const std::string shown(text ? "string" : name);
        if (tag.empty && integerElement) {
            return integer({});
        }
        if (tag.empty) {
            out_ += "<" + shown + "/>";
            return true;
        }
        if (!text) {
            skipSpace();
        }
        const auto start = at_;
        if (!readContent(name, parts_)) {
            return false;
        }
        if (integerElement) {
            std::string characters;
            for (const auto& part : parts_) {
                characters += part.text;
            }
            return integer(characters);
        }
        if (name == "true" || name == "false") {
            out_ += "<" + shown + "/>";
            return true;
        }
        // The last part ends where the end tag starts.
        const auto& last = parts_.back().text;
        const auto content = text_.substr(start, last.data() + last.size() - text_.data() - start);
        out_ += "<" + shown + ">";
        if (!text) {
            out_ += content;
        }
        for (const auto& part : text ? std::span(parts_) : std::span<ContentPart>()) {
            if (part.kind == ContentPart::characters) {
                textRun(part.text, isKey);
                continue;
            }
            noteNul(part.text, isKey);
            out_ += part.kind == ContentPart::comment
                        ? "<!---->"
                        : "<![CDATA[" + std::string(part.text) + "]]>";
        }
        out_ += "</" + shown + ">";
        lastText_ = content;
        return true;
    }

    // Plain characters of a key or string. The library decodes each part of a text in place,
    // moving the rest of the part down for every reference; ending a part after each reference
    // keeps that move short.
    void textRun(std::string_view run, bool isKey) {
        noteNul(run, isKey);
        std::size_t from = 0;
        for (;;) {
            const auto ampersand = run.find('&', from);
            const auto semicolon = ampersand == kNone ? kNone : run.find(';', ampersand + 1);
            if (semicolon == kNone) {
                break;
            }
            const auto reference = run.substr(ampersand + 1, semicolon - ampersand - 1);
            if (namesNul(reference)) {
                note(nulReason(isKey));
            } else if (namesSurrogate(reference)) {
                note(textReason(isKey, "a reference to a surrogate"));
            }
            out_ += run.substr(from, semicolon + 1 - from);
            out_ += "<!---->";
            from = semicolon + 1;
        }
        out_ += run.substr(from);
    }

    void noteNul(std::string_view characters, bool isKey) {
        if (characters.find('\0') != kNone) {
            note(nulReason(isKey));
        }
    }

    std::string nulReason(bool isKey) const { return textReason(isKey, "U+0000"); }

    std::string textReason(bool isKey, const std::string& what) const {
        return isKey ? "a key in " + path(true) + " holds " + what
                     : "the text at " + path(false) + " holds " + what;
    }

    bool integer(std::string_view characters) {
        const auto number = plainDecimal(characters);
        if (number.problem != IntegerProblem::none) {
            note("the integer at " + path(false) +
                 (number.problem == IntegerProblem::outOfRange ? " is out of range"
                                                               : " is not a number"));
        }
        out_ += "<integer>" + number.decimal + "</integer>";
        return true;
    }

    // Keys and indexes down to the current element; without the last key when it is a key.
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

    std::string out_;
    std::vector<XmlElement> elements_;
    std::vector<Level> levels_;
    std::vector<ContentPart> parts_;
    std::string_view lastText_;
    bool plistOpen_ = false;
    bool plistClosed_ = false;
    bool rootSeen_ = false;
    bool emptyRoot_ = false;
    bool rootClosed_ = false;
    std::optional<std::string> refusal_;
};

} // namespace

PreparedXml prepareXml(std::string_view bytes) {
    std::string converted;
    std::string_view text;
    auto finding = xmlAsUtf8(bytes, converted, text);
    if (finding.verdict != Verdict::pass) {
        return {std::move(finding), {}, {}};
    }
    return XmlScanner(text).run();
}

} // namespace talvo::plistscan
