#include "exec/OutputBuffer.h"
#include "exec/OutputText.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(OutputText, TrimsValidTextAndEmptiesInvalidText) {
    const std::string padding(20, 'a'); // longer than the word-at-a-time ASCII scan
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"", ""},
        {" \n\t ", ""},
        {"  hello\n\n", "hello"},
        {"\u3000\u00A0x y\u2029\u0085", "x y"},
        {std::string("\0a\0", 3), std::string("\0a\0", 3)}, // NUL is text, not whitespace
        {padding + "caf\u00e9 \U0001F600", padding + "caf\u00e9 \U0001F600"},
        // Invalid sequences at every offset from the ASCII scan's word boundary.
        {"\x80", ""},
        {padding.substr(0, 7) + "\xff", ""},
        {padding.substr(0, 8) + "\xff", ""},
        {padding.substr(0, 9) + "\xff", ""},
        {padding + "\xc3", ""},                       // cut short at the end
        {padding + "\xc3" + padding, ""},             // missing continuation byte
        {padding + "\xc0\x80", ""},                   // overlong NUL
        {padding + "\xed\xa0\x80", ""},               // encoded surrogate
        {padding + "\xf4\x90\x80\x80", ""},           // beyond U+10FFFF
        {padding + "\xe2\x82\xac\x80" + padding, ""}, // stray continuation after a valid one
        {padding + "\xe2\x82\xac" + padding, padding + "\u20ac" + padding},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(outputText(example.bytes), example.text) << example.bytes;
    }
}

TEST(OutputBuffer, TakeReturnsEverythingCommittedAcrossBlocksInOrder) {
    OutputBuffer buffer;
    EXPECT_EQ(buffer.take(), "");

    // Odd-sized writes so that blocks fill up mid-write; three blocks' worth in all.
    std::string expected;
    unsigned char next = 0;
    while (expected.size() < 500 * 1024) {
        const std::span<char> space = buffer.spaceForMore();
        ASSERT_FALSE(space.empty());
        const std::size_t count = std::min<std::size_t>(space.size(), 7001);
        for (std::size_t index = 0; index < count; ++index) {
            space[index] = static_cast<char>(next);
            expected.push_back(static_cast<char>(next));
            next = static_cast<unsigned char>(next * 31 + 7);
        }
        buffer.commit(count);
    }
    buffer.spaceForMore(); // room asked for but never written must not show
    EXPECT_EQ(buffer.size(), expected.size());
    EXPECT_EQ(buffer.take(), expected);
    EXPECT_EQ(buffer.size(), 0U);

    const std::span<char> space = buffer.spaceForMore();
    space[0] = 'z';
    buffer.commit(1);
    EXPECT_EQ(buffer.take(), "z");
}

} // namespace
} // namespace talvo
