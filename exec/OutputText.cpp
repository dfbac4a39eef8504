#include "exec/OutputText.h"

#include "platform/UnicodeText.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace talvo {

namespace {

// Index of the first byte at or after from that is not ASCII. Command output is mostly ASCII and
// the general decoder walks it one code point per call, so runs are skipped 32 bytes at a time.
std::size_t firstNonAsciiFrom(std::string_view text, std::size_t from) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    constexpr std::size_t kStride = 4 * sizeof(std::uint64_t);
    std::size_t index = from;
    for (; index + kStride <= text.size(); index += kStride) {
        std::uint64_t words[4];
        std::memcpy(words, text.data() + index, kStride);
        if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) {
            break;
        }
    }
    while (index < text.size() && static_cast<unsigned char>(text[index]) < 0x80) {
        ++index;
    }
    return index;
}

// Bytes in the UTF-8 sequence that this lead byte starts; 1 for bytes that cannot lead one, so
// that the platform's check rejects them on their own.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// Skips ASCII runs quickly and hands each other sequence to the platform's check by itself.
bool isValidUtf8SkippingAscii(std::string_view text) {
    for (std::size_t index = firstNonAsciiFrom(text, 0); index < text.size();
         index = firstNonAsciiFrom(text, index)) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[index]));
        if (!unicode::isValidUtf8(text.substr(index, length))) {
            return false;
        }
        index += length;
    }
    return true;
}

} // namespace

std::string outputText(std::string bytes) {
    if (!isValidUtf8SkippingAscii(bytes)) {
        return {};
    }
    const std::string_view trimmed = unicode::trimmedView(bytes);
    const std::size_t start = static_cast<std::size_t>(trimmed.data() - bytes.data());
    bytes.resize(start + trimmed.size());
    bytes.erase(0, start);
    return bytes;
}

} // namespace talvo
