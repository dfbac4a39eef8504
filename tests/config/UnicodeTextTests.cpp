#include "platform/UnicodeText.h"

#include <gtest/gtest.h>

namespace talvo::unicode {
namespace {

TEST(UnicodeTrim, RemovesTheWholeWhitespaceAndNewlineSetOnlyAtTheEnds) {
    EXPECT_EQ(trimWhitespaceAndNewlines("  hello\n\n"), "hello");
    EXPECT_EQ(trimWhitespaceAndNewlines("\t\r\v\f a b \n"), "a b");
    // No-break space, em space, line separator, paragraph separator, NEL, ideographic space.
    EXPECT_EQ(trimWhitespaceAndNewlines("\u00A0\u2003x\u2028\u2029\u0085\u3000"), "x");
    // Zero-width space and BOM are not whitespace.
    EXPECT_EQ(trimWhitespaceAndNewlines("\u200Bx\uFEFF"), "\u200Bx\uFEFF");
    EXPECT_EQ(trimWhitespaceAndNewlines(" \n "), "");
    EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
}

TEST(UnicodeTrim, StopsAtInvalidBytesInsteadOfReadingPastThem) {
    EXPECT_EQ(trimWhitespaceAndNewlines(" \xff "), "\xff");
    EXPECT_EQ(trimWhitespaceAndNewlines("\x80\x80\x80\x80 "), "\x80\x80\x80\x80");
    EXPECT_EQ(trimWhitespaceAndNewlines(" \xe2\x80"), "\xe2\x80");
}

TEST(UnicodeValidity, RejectsMalformedAndSurrogateSequences) {
    EXPECT_TRUE(isValidUtf8("plain ✓ 😀"));
    EXPECT_FALSE(isValidUtf8("\xc3"));
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80")); // an encoded surrogate
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));     // overlong slash
    EXPECT_TRUE(isValidUtf8(std::string("a\0b", 3)));
}

TEST(UnicodeCase, MapsBeyondAscii) {
    EXPECT_EQ(uppercased("seed_path"), "SEED_PATH");
    EXPECT_EQ(uppercased("émile"), "ÉMILE");
    EXPECT_EQ(lowercased("TRUE"), "true");
    EXPECT_EQ(lowercased("ÄÖ"), "äö");
    EXPECT_EQ(uppercased("\xff"), "\xff");
    // One character to several, as the platform maps them.
    EXPECT_EQ(uppercased("straße"), "STRASSE");
    EXPECT_EQ(uppercased("in\ufb06all"), "INSTALL");
    EXPECT_EQ(lowercased("\u0130"), "i\u0307");
}

TEST(UnicodeNormalization, ComposesAndRefusesInvalidText) {
    EXPECT_EQ(nfc("e\u0301"), "\u00e9");
    EXPECT_EQ(nfc("\u00e9"), "\u00e9");
    EXPECT_FALSE(nfc("\xff").has_value());
    EXPECT_EQ(graphemeCount("e\u0301"), 1u);
    EXPECT_FALSE(graphemeCount("\xff").has_value());
}

} // namespace
} // namespace talvo::unicode
