#include "engine/Config.h"
#include "exec/Error.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

Config withKey(std::string key) {
    Config config;
    config.encryptionKey = std::move(key);
    return config;
}

bool validates(const Config& config) {
    try {
        config.validate();
        return true;
    } catch (const Error&) {
        return false;
    }
}

TEST(ConfigArguments, KeepsFixedOrderAndVerbatimValues) {
    Config config;
    EXPECT_TRUE(config.arguments().empty());

    config.cleanUp = false;
    EXPECT_TRUE(config.arguments().empty());

    config.cleanUp = true;
    config.seedPath = "\"/Library/Application Support/Talvo Backup Agent/seed.conf\"";
    config.registrationToken = "tok en";
    config.encryptionKey = "never-an-argument";
    EXPECT_EQ(config.arguments(),
              (std::vector<std::string>{
                  "-reg-token=tok en",
                  "-seed-path=\"/Library/Application Support/Talvo Backup Agent/seed.conf\"",
                  "-clean-up"}));

    config.registrationService = "";
    config.registrationToken = "";
    EXPECT_EQ(config.arguments()[0], "-reg-token=");
    EXPECT_EQ(config.arguments()[1], "-reg-service=");
}

TEST(ConfigValidate, CountsUserPerceivedCharacters) {
    EXPECT_TRUE(validates(Config{}));
    EXPECT_FALSE(validates(withKey("")));
    EXPECT_FALSE(validates(withKey("1234567")));
    EXPECT_TRUE(validates(withKey("12345678")));
    // Letter plus combining acute: seven characters although fourteen code points.
    EXPECT_FALSE(validates(withKey("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301")));
    EXPECT_TRUE(validates(withKey("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301")));
    EXPECT_TRUE(validates(withKey("😀😀😀😀😀😀😀😀")));
    // Family emoji are single characters joined by ZWJ; seven of them are too short.
    const std::string family = "👨\u200D👩\u200D👧";
    std::string families;
    for (int i = 0; i < 7; ++i) {
        families += family;
    }
    EXPECT_FALSE(validates(withKey(families)));
    // Four flags are four characters made of eight regional indicators.
    EXPECT_FALSE(validates(withKey("🇫🇷🇩🇪🇯🇵🇧🇷")));
    EXPECT_TRUE(validates(withKey("🇫🇷🇩🇪🇯🇵🇧🇷🇫🇷🇩🇪🇯🇵🇧🇷")));
    // Blanks are characters too.
    EXPECT_TRUE(validates(withKey("        ")));
}

TEST(ConfigValidate, RaisesTheInputErrorAlsoForInvalidUtf8) {
    for (const std::string& key :
         {std::string("short"), std::string("\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7")}) {
        try {
            withKey(key).validate();
            FAIL() << "validated a bad key";
        } catch (const Error& error) {
            EXPECT_EQ(error.text(),
                      "Error Domain=InputError Code=-1 \"Encryption key must be at least 8 "
                      "characters long.\"");
            EXPECT_EQ(error.code(), -1);
        }
    }
}

TEST(ErrorText, NamesDomainCodeAndDescriptionOrNull) {
    EXPECT_EQ(commandError(3).text(), "Error Domain=ProcessErrorDomain Code=3 \"(null)\"");
    EXPECT_EQ(commandError(3).domain(), "ProcessErrorDomain");
    EXPECT_FALSE(commandError(3).description().has_value());
    EXPECT_STREQ(commandError(-2).what(), "Error Domain=ProcessErrorDomain Code=-2 \"(null)\"");
}

} // namespace
} // namespace talvo
