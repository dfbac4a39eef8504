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
        {"SEED_PATH=", std::nullopt},
        {"===", std::nullopt},
        // A combining mark behind "=" does not hide it: the mark starts the value.
        {"KEY=\u0301value", KeyValueWord{"KEY", "\u0301value"}},
        {"=\u0301KEY=value", KeyValueWord{"\u0301KEY", "value"}},
        // Bytes that are not UTF-8 are characters of their own.
        {"\xe2\x80=\x80", KeyValueWord{"\xe2\x80", "\x80"}},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(splitKeyValueWord(example.word), example.expected) << example.word;
    }
}

TEST(ArgumentParser, WordsSetTheirFieldsTheLastOneWinning) {
    constexpr auto kNone = std::nullopt;
    const struct {
        std::vector<std::string> words;
        Config expected;
    } cases[] = {
        // Unicode white space is trimmed.
        {{"\u00a0seed_path\u2003=\u2028/tmp\u0085"}, {kNone, kNone, kNone, "/tmp", kNone}},
        {{"SEED_PATH=   "}, {kNone, kNone, kNone, "", kNone}},
        {{"REG_TOKEN=a", "REG_TOKEN=", "REG_TOKEN", "REG-TOKEN=x"},
         {"a", kNone, kNone, kNone, kNone}},
        {{"REG_SERV\u0131CE=x", "REG_TO\u212aEN=t"}, {"t", "x", kNone, kNone, kNone}},
        {{"SEED_PATH=/a", "seed_path=/b"}, {kNone, kNone, kNone, "/b", kNone}},
        {{"clean_install= Yes\n"}, {kNone, kNone, kNone, kNone, true}},
        {{"CLEAN_INSTALL=1", "CLEAN_INSTALL=maybe"}, {kNone, kNone, kNone, kNone, true}},
        {{"CLEAN_INSTALL=1", "CLEAN_INSTALL=NO"}, {kNone, kNone, kNone, kNone, false}},
        // A key must not be dropped silently: a short one has to reach validation and fail there.
        {{"ENCRYPTION_KEY=\u0301abc"}, {kNone, kNone, "\u0301abc", kNone, kNone}},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(parseWords(example.words), example.expected) << example.words.front();
    }
}

} // namespace
} // namespace talvo
