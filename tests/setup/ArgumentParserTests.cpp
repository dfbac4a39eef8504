#include "exec/Error.h"
#include "setup/ArgumentParser.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

using ArgumentParser::KeyValueWord;
using ArgumentParser::splitKeyValueWord;

Config parseWords(std::vector<std::string> words) {
    words.insert(words.begin(), "/usr/local/bin/Setup");
    return ArgumentParser::parse(words);
}

TEST(KeyValueWord, SplitsAtTheFirstEqualsSignBehindANonEmptyPiece) {
    const struct {
        std::string word;
        std::optional<KeyValueWord> expected;
    } cases[] = {
        {"SEED_PATH=/tmp/a=b", KeyValueWord{"SEED_PATH", "/tmp/a=b"}},
        {"==SEED_PATH==/tmp", KeyValueWord{"SEED_PATH", "=/tmp"}},
        {"SEED_PATH===", KeyValueWord{"SEED_PATH", "=="}},
        {" K = V ", KeyValueWord{" K ", " V "}},
        {"SEED_PATH=", std::nullopt},
        {"==SEED_PATH=", std::nullopt},
        {"SEED_PATH", std::nullopt},
        {"", std::nullopt},
        {"===", std::nullopt},
        {"==value", std::nullopt},
        // A combining mark behind "=" does not hide it: the mark starts the value.
        {"KEY=\u0301value", KeyValueWord{"KEY", "\u0301value"}},
        {"KEY=\u0301=value", KeyValueWord{"KEY", "\u0301=value"}},
        {"KEY==\u0301", KeyValueWord{"KEY", "=\u0301"}},
        {"=\u0301KEY=value", KeyValueWord{"\u0301KEY", "value"}},
        {"KEY\u0301=value", KeyValueWord{"KEY\u0301", "value"}},
        // Bytes that are not UTF-8 are characters of their own.
        {"K\xff=\xfe", KeyValueWord{"K\xff", "\xfe"}},
        {"\xe2\x80=\x80", KeyValueWord{"\xe2\x80", "\x80"}},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(splitKeyValueWord(example.word), example.expected) << example.word;
    }
}

TEST(ArgumentParser, TrimsKeysAndValuesOfUnicodeWhitespace) {
    const struct {
        std::string word;
        std::optional<std::string> seedPath;
    } cases[] = {
        {"\tSEED_PATH\r\n=\n/tmp\n", "/tmp"},
        {"SEED_PATH= = ", "="},
        // No-break space, em space, line separator, next line: white space; zero width space is
        // not.
        {"\u00a0SEED_PATH\u2003=\u2028/tmp\u00a0\u0085", "/tmp"},
        {"SEED_PATH=\u200b/tmp", "\u200b/tmp"},
        {"SEED_PATH=   ", ""}, // a blank value still sets the field
        {"SEED_PATH=\u3000", ""},
        {"\u00a0SEED_PATH\u00a0=", std::nullopt},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(parseWords({example.word}).seedPath, example.seedPath) << example.word;
    }
}

TEST(ArgumentParser, EveryKeywordSetsItsFieldAndTheLastWordForItWins) {
    const auto config =
        parseWords({"reg_token= AbC-1 ", "Reg_Service=one", "encryption_key=Pass Word 1",
                    "SEED_PATH=\"/a b/seed.conf\"", "REG_SERVICE=https://Example.test/X",
                    "REG_TOKEN=", "ENCRYPTION_KEY", "UNKNOWN=1", "SEED_PATHS=/x", "SEED-PATH=/x",
                    "-seed-path=/x"});
    EXPECT_EQ(config, (Config{"AbC-1", "https://Example.test/X", "Pass Word 1",
                              "\"/a b/seed.conf\"", std::nullopt}));
    // The program path is a word like any other.
    EXPECT_EQ(ArgumentParser::parse({"SEED_PATH=/first", "/opt/x=y/Setup"}).seedPath, "/first");
    // Words that are not UTF-8 are kept as they are, or ignored.
    EXPECT_EQ(parseWords({"REG_TOKEN=\xff\xfe", "\xc3=\x80", "CLEAN_INSTALL=\xe2\x80\xa8yes\xc0"}),
              (Config{"\xff\xfe", std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
}

TEST(ArgumentParser, CleanInstallTakesTruthWordsAndIgnoresOthers) {
    const struct {
        std::vector<std::string> words;
        std::optional<bool> expected;
    } cases[] = {
        {{"CLEAN_INSTALL=1"}, true},
        {{"CLEAN_INSTALL=true"}, true},
        {{"clean_install= Yes\n"}, true},
        {{"CLEAN_INSTALL=0"}, false},
        {{"CLEAN_INSTALL=False"}, false},
        {{"CLEAN_INSTALL=NO"}, false},
        {{"CLEAN_INSTALL=on"}, std::nullopt},
        {{"CLEAN_INSTALL=01"}, std::nullopt},
        {{"CLEAN_INSTALL=yes please"}, std::nullopt},
        {{"CLEAN_INSTALL=1", "CLEAN_INSTALL=maybe"}, true},
        {{"CLEAN_INSTALL=1", "CLEAN_INSTALL=no"}, false},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(parseWords(example.words).cleanUp, example.expected) << example.words.back();
    }
}

// The key must not be dropped silently: a short one has to reach validation and fail there.
TEST(ArgumentParser, AValueThatStartsWithACombiningMarkIsKeptAndValidated) {
    const auto config = parseWords({"ENCRYPTION_KEY=\u0301abc", "REG_TOKEN=\u20dd"});
    EXPECT_EQ(config.encryptionKey, "\u0301abc");
    EXPECT_EQ(config.registrationToken, "\u20dd");
    EXPECT_THROW(config.validate(), Error);
}

TEST(ArgumentParser, KeysMatchAfterFullUnicodeUpperCasingAndComposition) {
    // Long s and dotless i upper-case to plain S and I, the ligature st to two letters.
    EXPECT_EQ(parseWords({"\u017feed_path=/x"}).seedPath, "/x");
    EXPECT_EQ(parseWords({"reg_serv\u0131ce=x"}).registrationService, "x");
    EXPECT_EQ(parseWords({"clean_in\ufb06all=yes"}).cleanUp, true);
    // KELVIN SIGN is canonically the letter K.
    EXPECT_EQ(parseWords({"REG_TO\u212aEN=t"}).registrationToken, "t");
    // Sharp s upper-cases to "SS"; dotted capital I and fullwidth underscore are other letters.
    EXPECT_EQ(parseWords({"\u00dfeed_path=/x", "REG_SERV\u0130CE=x", "SEED\uff3fPATH=/x"}),
              Config{});
}

} // namespace
} // namespace talvo
