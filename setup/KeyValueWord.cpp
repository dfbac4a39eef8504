#include "setup/KeyValueWord.h"

namespace talvo {

// "=" is looked for byte by byte: in UTF-8 its byte stands for U+003D and nothing else (every
// byte of a longer sequence is 0x80 or above), so this finds the code point even when a combining
// mark follows it, and even in text that is not valid UTF-8.
std::optional<KeyValueWord> splitKeyValueWord(std::string_view word) {
    std::size_t keyStart = 0;
    for (std::size_t position = word.find('='); position != std::string_view::npos;
         position = word.find('=', position + 1)) {
        if (position == keyStart) {
            keyStart = position + 1;
            continue;
        }
        const auto valueStart = position + 1;
        if (valueStart == word.size()) {
            return std::nullopt;
        }
        return KeyValueWord{word.substr(keyStart, position - keyStart), word.substr(valueStart)};
    }
    return std::nullopt;
}

} // namespace talvo
