#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Checks of property-list bytes made before the library parses them: the library recurses
// without a bound, expands shared binary objects, cuts texts at U+0000, wraps integers it cannot
// hold and slows down on many keys or long arrays, so whatever would reach it that way is stopped
// or reshaped here, in one linear pass.
namespace talvo::plistscan {

// Deeper nesting than any real profile; recursion over the values stays far from the stack's end.
inline constexpr int kMaximumNesting = 512;
// Values, and bytes of their content, that copies of shared binary objects may add to what the
// file holds once the library has copied them: a small file must not make it build a huge tree.
inline constexpr std::uint64_t kMaximumCopiedValues = std::uint64_t{1} << 15;
inline constexpr std::uint64_t kMaximumCopiedBytes = std::uint64_t{1} << 20;

enum class Verdict { pass, unreadable, refused };

struct Finding {
    Verdict verdict = Verdict::pass;
    // Only when refused: where and what, e.g. "the text at seed-config/name holds U+0000";
    // never a value.
    std::string reason;
};

struct PreparedBinary {
    Finding finding;
    // When passed: the bytes for the library, where each date reached holds its place in dates
    // (a whole number, which the library's getter reads exactly) instead of its seconds.
    std::string bytes;
    std::vector<double> dates;
};

// For bytes that start with "bplist00": every object reachable from the top one, each visited
// once. Unreadable when the structure is broken or has a reference loop; refused for U+0000 in
// any text, an integer beyond 64 bits, a date out of range, nesting or copies over the limits
// above.
PreparedBinary scanBinary(std::string_view bytes);

// One element of a checked XML document.
struct XmlElement {
    enum Kind : std::uint8_t { dictionary, array, end, value };
    Kind kind;
    // For a value: where its own small document lies in the prepared text.
    std::size_t offset = 0;
    std::size_t length = 0;
};

struct PreparedXml {
    Finding finding;
    // When passed: the elements in document order from the root dictionary on, each container
    // followed by its elements and an end (in a dictionary keys and values in turn; a last key
    // without a value is dropped).
    std::vector<XmlElement> elements;
    // The values' documents for the library: keys as strings, integers in plain decimal.
    std::string text;
};

// The document as UTF-8, as the platform reads it: a byte-order mark decides, then the
// declaration. Only the encodings converted here are read; any other declared one is refused
// rather than read as the wrong characters. The text is a part of bytes, or of converted when
// the bytes are in another encoding.
Finding xmlAsUtf8(std::string_view bytes, std::string& converted, std::string_view& text);

// For any other bytes: converted to UTF-8 and read in one pass. Unreadable when the encoding is
// broken or the bytes are no property list with a dictionary at its root; refused, once they are
// one, for U+0000 anywhere (in a text or key raw or as a character reference, with its place),
// an integer outside [-2^63, 2^64-1] or not a number, nesting over the limit, or a declared
// encoding that cannot be converted. The library then reads single values only: it would look
// keys up in a table of fixed size with a hash anyone can collide, and grow arrays step by step.
PreparedXml prepareXml(std::string_view bytes);

// A key or index path for a message: control characters become '?', long keys are shortened.
void appendPathPart(std::string& path, std::string_view part);

} // namespace talvo::plistscan
