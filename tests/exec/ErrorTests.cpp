#include "exec/Error.h"

#include <gtest/gtest.h>
#include <limits>

namespace talvo {
namespace {

TEST(Error, TextNamesDomainCodeAndDescriptionOrNull) {
    const Error input(kInputErrorDomain, -1, "Encryption key must be at least 8 characters long.");
    EXPECT_EQ(input.text(), "Error Domain=InputError Code=-1 \"Encryption key must be at least 8 "
                            "characters long.\"");
    EXPECT_STREQ(input.what(), input.text().c_str());

    EXPECT_EQ(commandError(44).text(), "Error Domain=ProcessErrorDomain Code=44 \"(null)\"");
    EXPECT_EQ(commandError(0).text(), "Error Domain=ProcessErrorDomain Code=0 \"(null)\"");
    EXPECT_EQ(commandError(std::numeric_limits<std::int32_t>::min()).code(),
              std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Error("D", 5, "").text(), "Error Domain=D Code=5 \"\"");

    // A copy keeps its own text: what() must not point into the original.
    const Error copy = [] { return commandError(7); }();
    EXPECT_STREQ(copy.what(), "Error Domain=ProcessErrorDomain Code=7 \"(null)\"");
}

} // namespace
} // namespace talvo
