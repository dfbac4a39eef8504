#include "format/UnicodeText.h"

#include <gtest/gtest.h>

namespace talvo::unicode {
namespace {

// Most of these operations are pinned through the parser, the runner's output and Config; these
// are the edges those do not reach.
TEST(UnicodeText, TrimsOnlyWhitespaceAndLeavesInvalidTextAlone) {
    EXPECT_EQ(trimWhitespaceAndNewlines("\t\r\v\f\u2003x y\u2029\u3000"), "x y");
    // Zero width space and byte order mark are not whitespace.
    EXPECT_EQ(trimWhitespaceAndNewlines("\u200Bx\uFEFF"), "\u200Bx\uFEFF");
    // Trimming stops at invalid bytes instead of reading past them.
    EXPECT_EQ(trimWhitespaceAndNewlines(" \xff "), "\xff");
    EXPECT_EQ(trimWhitespaceAndNewlines(" \xe2\x80"), "\xe2\x80");
    EXPECT_EQ(trimWhitespaceAndNewlines("\x80\x80\x80\x80 "), "\x80\x80\x80\x80");
    EXPECT_EQ(uppercased("\xff"), "\xff");
    EXPECT_EQ(lowercased("\u00c4\u0130"), "\u00e4i\u0307");
    EXPECT_FALSE(nfc("\xff").has_value());
}

} // namespace
} // namespace talvo::unicode
