#include "setup/ArgumentParser.h"
#include "setup/KeyValueWord.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

Config withSeedPath(std::string path) {
    Config config;
    config.seedPath = std::move(path);
    return config;
}

Config withCleanUp(std::optional<bool> cleanUp) {
    Config config;
    config.cleanUp = cleanUp;
    return config;
}

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
        {"SEED_PATH==/tmp", KeyValueWord{"SEED_PATH", "=/tmp"}},
        {"=SEED_PATH=/tmp", KeyValueWord{"SEED_PATH", "/tmp"}},
        {"==SEED_PATH==/tmp", KeyValueWord{"SEED_PATH", "=/tmp"}},
        {"SEED_PATH===", KeyValueWord{"SEED_PATH", "=="}},
        {"SEED_PATH=  ", KeyValueWord{"SEED_PATH", "  "}},
        {" K = V ", KeyValueWord{" K ", " V "}},
        {"k=v", KeyValueWord{"k", "v"}},
        {"SEED_PATH=", std::nullopt},
        {"==SEED_PATH=", std::nullopt},
        {"SEED_PATH", std::nullopt},
        {"", std::nullopt},
        {"=", std::nullopt},
        {"===", std::nullopt},
        {"==value", std::nullopt},
        // "=" carrying a combining accent is another character, not a separator.
        {"KEY=\u0301value", std::nullopt},
        {"KEY=\u0301=value", KeyValueWord{"KEY=\u0301", "value"}},
        {"KEY==\u0301", KeyValueWord{"KEY", "=\u0301"}},
        // Bytes that are not UTF-8 are characters of their own.
        {"K\xff=\xfe", KeyValueWord{"K\xff", "\xfe"}},
        {"\xe2\x80=\x80", KeyValueWord{"\xe2\x80", "\x80"}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(splitKeyValueWord(testCase.word), testCase.expected) << testCase.word;
    }
}

TEST(ArgumentParser, NoSettingsGiveAnEmptyConfig) {
    EXPECT_EQ(ArgumentParser::parse({}), Config{});
    EXPECT_EQ(ArgumentParser::parse({"/usr/local/bin/Setup"}), Config{});
    EXPECT_EQ(parseWords({"--help"}), Config{});
    EXPECT_EQ(parseWords({"-seed-path=/tmp", "--seed-path", "/tmp", "SEED_PATH", "=", "=/tmp"}),
              Config{});
    EXPECT_EQ(parseWords({"UNKNOWN=1", "SEED_PATHS=/tmp", "SEED-PATH=/tmp", "SEED PATH=/tmp"}),
              Config{});
}

TEST(ArgumentParser, TextValuesFollowTheSplittingAndTrimmingRules) {
    const struct {
        std::string word;
        Config expected;
    } cases[] = {
        {"SEED_PATH=/tmp/seed.conf", withSeedPath("/tmp/seed.conf")},
        {"seed_path=/tmp/seed.conf", withSeedPath("/tmp/seed.conf")},
        {"Seed_Path=/Tmp/Seed.conf", withSeedPath("/Tmp/Seed.conf")},
        {"SEED_PATH=/tmp/a=b", withSeedPath("/tmp/a=b")},
        {"SEED_PATH==/tmp", withSeedPath("=/tmp")},
        {"=SEED_PATH=/tmp", withSeedPath("/tmp")},
        {"==SEED_PATH==/tmp", withSeedPath("=/tmp")},
        {"SEED_PATH===", withSeedPath("==")},
        {" SEED_PATH = /tmp", withSeedPath("/tmp")},
        {"\tSEED_PATH\r\n=\n/tmp\n", withSeedPath("/tmp")},
        {"SEED_PATH=   ", withSeedPath("")},
        {"SEED_PATH= = ", withSeedPath("=")},
        {"SEED_PATH=/my seed/a b", withSeedPath("/my seed/a b")},
        // No-break space, em space, line separator, next line: white space; zero width space is
        // not.
        {"\u00a0SEED_PATH\u2003=\u2028/tmp\u00a0\u0085", withSeedPath("/tmp")},
        {"SEED_PATH=/a\u00a0b", withSeedPath("/a\u00a0b")},
        {"SEED_PATH=\u200b/tmp", withSeedPath("\u200b/tmp")},
        {"SEED_PATH=\u3000", withSeedPath("")},
        {"SEED_PATH", Config{}},
        {"SEED_PATH=", Config{}},
        {"\u00a0SEED_PATH\u00a0=", Config{}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(parseWords({testCase.word}), testCase.expected) << testCase.word;
    }
}

TEST(ArgumentParser, EveryTextKeywordSetsItsFieldWithCaseKept) {
    const auto config = parseWords({"reg_token= AbC-1 ", "Reg_Service=https://Example.test/X",
                                    "encryption_key=Pass Word 1", "SEED_PATH=\"/a b/seed.conf\""});
    EXPECT_EQ(config.registrationToken, "AbC-1");
    EXPECT_EQ(config.registrationService, "https://Example.test/X");
    EXPECT_EQ(config.encryptionKey, "Pass Word 1");
    EXPECT_EQ(config.seedPath, "\"/a b/seed.conf\"");
    EXPECT_EQ(config.cleanUp, std::nullopt);
}

TEST(ArgumentParser, TheLastWordForAKeywordWins) {
    EXPECT_EQ(parseWords({"REG_SERVICE=one", "REG_SERVICE=two"}).registrationService, "two");
    EXPECT_EQ(parseWords({"REG_SERVICE=one", "reg_service=  "}).registrationService, "");
    // A word that splits into one piece only cannot clear or change a field.
    EXPECT_EQ(parseWords({"REG_SERVICE=one", "REG_SERVICE="}).registrationService, "one");
    EXPECT_EQ(parseWords({"REG_SERVICE=one", "REG_SERVICE"}).registrationService, "one");
}

TEST(ArgumentParser, CleanInstallTakesTruthWordsAndIgnoresOthers) {
    const struct {
        std::vector<std::string> words;
        std::optional<bool> expected;
    } cases[] = {
        {{"CLEAN_INSTALL=1"}, true},
        {{"CLEAN_INSTALL=true"}, true},
        {{"CLEAN_INSTALL=YES"}, true},
        {{"clean_install= Yes\n"}, true},
        {{"CLEAN_INSTALL=0"}, false},
        {{"CLEAN_INSTALL=False"}, false},
        {{"CLEAN_INSTALL=NO"}, false},
        {{"CLEAN_INSTALL=on"}, std::nullopt},
        {{"CLEAN_INSTALL=maybe"}, std::nullopt},
        {{"CLEAN_INSTALL=y"}, std::nullopt},
        {{"CLEAN_INSTALL=01"}, std::nullopt},
        {{"CLEAN_INSTALL=yes please"}, std::nullopt},
        {{"CLEAN_INSTALL=   "}, std::nullopt},
        {{"CLEAN_INSTALL=1", "CLEAN_INSTALL=maybe"}, true},
        {{"CLEAN_INSTALL=1", "CLEAN_INSTALL=no"}, false},
        {{"CLEAN_INSTALL=no", "CLEAN_INSTALL="}, false},
        {{"CLEAN_INSTALL=no", "CLEAN_INSTALL=TRUE"}, true},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(parseWords(testCase.words), withCleanUp(testCase.expected))
            << testCase.words.back();
    }
}

TEST(ArgumentParser, KeysMatchAfterUnicodeUpperCasing) {
    // LATIN SMALL LETTER LONG S and dotless i upper-case to plain S and I.
    EXPECT_EQ(parseWords({"\u017feed_path=/x"}).seedPath, "/x");
    EXPECT_EQ(parseWords({"reg_serv\u0131ce=x"}).registrationService, "x");
    // Sharp s upper-cases to "SS", which no keyword has; the dotted capital I is no I.
    EXPECT_EQ(parseWords({"\u00dfeed_path=/x", "REG_SERV\u0130CE=x"}), Config{});
    // KELVIN SIGN is canonically the letter K.
    EXPECT_EQ(parseWords({"REG_TO\u212aEN=t"}).registrationToken, "t");
    // A fullwidth underscore is another character.
    EXPECT_EQ(parseWords({"SEED\uff3fPATH=/x"}), Config{});
}

TEST(ArgumentParser, KeysMatchAfterFullCaseMapping) {
    // The ligature st upper-cases to two letters.
    EXPECT_EQ(parseWords({"clean_in\ufb06all=yes"}).cleanUp, true);
}

TEST(ArgumentParser, TheProgramPathIsAWordLikeAnyOther) {
    EXPECT_EQ(ArgumentParser::parse({"SEED_PATH=/first"}).seedPath, "/first");
    EXPECT_EQ(ArgumentParser::parse({"/opt/x=y/Setup"}), Config{});
}

TEST(ArgumentParser, WordsThatAreNotUtf8DoNotBreakParsing) {
    const auto config = parseWords({"REG_TOKEN=\xff\xfe", "\xc3=\x80", "\xff=\xff", "=\xf0\x9f",
                                    "SEED_PATH=/ok", "CLEAN_INSTALL=\xe2\x80\xa8yes\xc0"});
    EXPECT_EQ(config.registrationToken, "\xff\xfe");
    EXPECT_EQ(config.seedPath, "/ok");
    EXPECT_EQ(config.cleanUp, std::nullopt);
}

} // namespace
} // namespace talvo
