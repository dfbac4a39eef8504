#include "exec/OutputText.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(OutputText, TrimsValidTextAndEmptiesInvalidText) {
    const struct {
        std::string bytes, text;
    } cases[] = {
        {" \n\t ", ""},
        {"\u3000\u00A0x y\u2029\u0085", "x y"},
        {std::string("\0a\0", 3), std::string("\0a\0", 3)}, // NUL is text, not whitespace
        {"caf\u00e9 \U0001F600", "caf\u00e9 \U0001F600"},
        {"x\xc3", ""},             // cut short at the end
        {"x\xc3y", ""},            // missing continuation byte
        {"x\xe2\x82\xac\x80", ""}, // stray continuation after a valid sequence
        {"\xed\xa0\x80", ""},      // encoded surrogate
    };
    for (const auto& example : cases) {
        EXPECT_EQ(outputText(example.bytes), example.text) << example.bytes;
    }
}

TEST(OutputText, SeesNonAsciiBytesInEveryLaneOfTheAsciiScan) {
    // ASCII is skipped several bytes at a time; whatever lane a byte falls in, it is checked.
    for (std::size_t offset = 0; offset < 70; ++offset) {
        const std::string before(offset, 'a');
        const std::string after(40, 'b');
        EXPECT_EQ(outputText(before + "\xff" + after), "") << offset;
        EXPECT_EQ(outputText(before + "\u20ac" + after), before + "\u20ac" + after) << offset;
    }
}

} // namespace
} // namespace talvo
