#include "engine/Config.h"
#include "exec/Error.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

// Order, verbatim values and the key's absence show in the installer's command lines; these
// are the cases they do not reach: a false clean-up and values that are present but empty.
TEST(ConfigArguments, PresentValuesCountEvenWhenEmptyAndOnlyATrueCleanUp) {
    EXPECT_TRUE((Config{{}, {}, {}, {}, false}.arguments().empty()));
    EXPECT_EQ((Config{"", "", {}, "", {}}.arguments()),
              (std::vector<std::string>{"-reg-token=", "-reg-service=", "-seed-path="}));
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
    for (const auto& example : cases) {
        EXPECT_EQ(refusal(example.key), example.refused) << example.key;
    }
}

} // namespace
} // namespace talvo
