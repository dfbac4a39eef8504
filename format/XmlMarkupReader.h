#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// Markup read where the property-list library reads it: a tag, processing instruction, comment
// or document type ends here exactly where it ends for the library, so that nothing the library
// parses is skipped here as part of something else. Every byte is looked at a bounded number of
// times; a search that finds nothing ends the reading.
namespace talvo::plistscan {

// Why reading stopped early. The library reads no property list from such bytes either; or it
// might read one in a way not followed here (and then U+0000 anywhere still refuses the file).
enum class Stop { none, notAPropertyList, notFollowed, limit };

struct Tag {
    std::string_view name;
    bool empty;
};

// A piece of an element's content. The library reads each piece on its own.
struct ContentPart {
    enum Kind { characters, comment, section } kind;
    // Characters, or the inside of a character data section; empty for a comment.
    std::string_view text;
};

bool isXmlSpace(char character);

class XmlMarkupReader {
  protected:
    explicit XmlMarkupReader(std::string_view text) : text_(text) {}

    // Always false, so that callers can return it.
    bool halt(Stop why);
    void skipSpace();
    // Moves past the first end at or after from.
    bool skipPast(std::string_view end, std::size_t from);
    // At the "?" of "<?": to the first "?>" outside double quotes.
    bool instruction();
    // At the "!" of "<!DOCTYPE": to the first ">" outside double quotes.
    bool documentType();
    // After "<": the name runs to white space or ">", attributes to the first ">" outside double
    // quotes; "/" just before ">" makes the element empty (and ends a name it is part of).
    std::optional<Tag> readTag();
    // After an element's start tag: its content up to its end tag, which is passed. Character
    // data, comments and character data sections; anything else ends the reading.
    bool readContent(std::string_view name, std::vector<ContentPart>& parts);

    std::string_view text_;
    std::size_t at_ = 0;
    Stop stop_ = Stop::none;
};

} // namespace talvo::plistscan
