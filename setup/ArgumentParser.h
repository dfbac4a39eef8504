#pragma once

// Where Setup's settings come from: KEY=VALUE words on its command line, or the managed
// preferences an MDM server pushed.

#include "engine/Config.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvo::ArgumentParser {

// KEY=VALUE words (program path first) into a Config. Never fails, prints nothing.
Config parse(const std::vector<std::string>& args);

// The Config this computer's managed preferences describe (ManagedPreferences::ofThisComputer()),
// nothing without them: the entry runMDMCheck is handed.
std::optional<Config> profile();

struct KeyValueWord {
    std::string_view key;
    std::string_view value;

    bool operator==(const KeyValueWord&) const = default;
};

// Splits a command-line word at "=" into a key and a value, both non-empty and untrimmed.
// An "=" that would close an empty piece (at the start, or right behind another such "=") is
// dropped; the first "=" behind a non-empty piece ends the key and everything after it, further
// "=" included, is the value. Anything but exactly two pieces gives nothing. Every "=" code point
// counts, a combining mark behind it included: the mark then starts the value.
std::optional<KeyValueWord> splitKeyValueWord(std::string_view word);

} // namespace talvo::ArgumentParser
