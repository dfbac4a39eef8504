#include "engine/Config.h"
#include "exec/Error.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(ConfigArguments, KeepFixedOrderAndVerbatimValuesAndNeverTheKey) {
    EXPECT_TRUE(Config{}.arguments().empty());
    EXPECT_TRUE((Config{{}, {}, {}, {}, false}.arguments().empty()));
    const Config full{"", "", "never-an-argument", "\"/a b/seed.conf\"", true};
    EXPECT_EQ(full.arguments(),
              (std::vector<std::string>{
                  "-reg-token=", "-reg-service=", "-seed-path=\"/a b/seed.conf\"", "-clean-up"}));
}

// The error's text when validate() refuses the key, nothing when it takes it.
std::optional<std::string> refusal(const std::string& key) {
    try {
        Config{{}, {}, key, {}, {}}.validate();
    } catch (const Error& error) {
        return error.text();
    }
    return std::nullopt;
}

std::string times(int count, const std::string& text) {
    std::string repeated;
    for (int index = 0; index < count; ++index) {
        repeated += text;
    }
    return repeated;
}

TEST(ConfigValidate, NeedsEightUserPerceivedCharacters) {
    const std::optional<std::string> tooShort =
        "Error Domain=InputError Code=-1 \"Encryption key must be at least 8 characters long.\"";
    const struct {
        std::string key;
        std::optional<std::string> refused;
    } cases[] = {
        {"", tooShort},
        {"1234567", tooShort},
        {"12345678", std::nullopt},
        {"        ", std::nullopt},
        // A letter with a combining accent is one character.
        {times(8, "e\u0301"), std::nullopt},
        // A family joined by zero width joiners is one character, a flag of two indicators too.
        {times(7, "👨\u200D👩\u200D👧"), tooShort},
        {"🇫🇷🇩🇪🇯🇵🇧🇷", tooShort},
        {times(2, "🇫🇷🇩🇪🇯🇵🇧🇷"), std::nullopt},
        {"\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7", tooShort}, // not UTF-8
    };
    EXPECT_NO_THROW(Config{}.validate());
    for (const auto& example : cases) {
        EXPECT_EQ(refusal(example.key), example.refused) << example.key;
    }
}

} // namespace
} // namespace talvo
