#include "engine/Config.h"
#include "exec/Error.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace talvo {
namespace {

// Present values count even when empty, always in this order; only a true clean-up adds its word.
TEST(Config, ArgumentsKeepTheirOrderAndCountPresentEmptyValues) {
    EXPECT_TRUE((Config{{}, {}, {}, {}, false}.arguments().empty()));
    EXPECT_EQ(
        (Config{"", "", "key", "", true}.arguments()),
        (std::vector<std::string>{"-reg-token=", "-reg-service=", "-seed-path=", "-clean-up"}));
}

// A letter with a combining accent is one character, so are a joined family and a flag.
TEST(Config, TheKeyNeedsEightUserPerceivedCharacters) {
    const std::pair<std::string, bool> cases[] = {
        {"1234567", false},
        {"12345678", true},
        {"e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301", true},
        {"12345e\u0301👨\u200D👩\u200D👧", false},
        {"🇫🇷🇩🇪🇯🇵🇧🇷123", false},
        {"\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7", false}, // not UTF-8
    };
    for (const auto& [key, accepted] : cases) {
        try {
            Config{{}, {}, key, {}, {}}.validate();
            EXPECT_TRUE(accepted) << key;
        } catch (const Error& error) {
            EXPECT_FALSE(accepted) << key;
            EXPECT_EQ(error.text(), "Error Domain=InputError Code=-1 \"Encryption key must be at "
                                    "least 8 characters long.\"");
        }
    }
}

} // namespace
} // namespace talvo
