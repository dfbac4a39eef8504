#include "setup/KeyValueWord.h"

#include <utf8proc.h>

namespace talvo {

namespace {

// Byte length of the user-perceived character at the front of text; one byte when the text
// there is not valid UTF-8.
std::size_t characterLength(std::string_view text) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_int32_t previous = 0;
    auto length = utf8proc_iterate(bytes, size, &previous);
    if (length <= 0) {
        return 1;
    }
    utf8proc_int32_t state = 0;
    while (length < size) {
        utf8proc_int32_t next = 0;
        const auto nextLength = utf8proc_iterate(bytes + length, size - length, &next);
        if (nextLength <= 0 || utf8proc_grapheme_break_stateful(previous, next, &state)) {
            break;
        }
        previous = next;
        length += nextLength;
    }
    return static_cast<std::size_t>(length);
}

} // namespace

std::optional<KeyValueWord> splitKeyValueWord(std::string_view word) {
    std::size_t keyStart = 0;
    for (std::size_t position = 0; position < word.size();) {
        const auto length = characterLength(word.substr(position));
        if (length == 1 && word[position] == '=') {
            if (position > keyStart) {
                const auto valueStart = position + 1;
                if (valueStart == word.size()) {
                    return std::nullopt;
                }
                return KeyValueWord{word.substr(keyStart, position - keyStart),
                                    word.substr(valueStart)};
            }
            keyStart = position + 1;
        }
        position += length;
    }
    return std::nullopt;
}

} // namespace talvo
