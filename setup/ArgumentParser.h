#pragma once

// Where Setup's settings come from: KEY=VALUE words on its command line, or the managed
// preferences an MDM server pushed.

#include "engine/Config.h"
#include "format/PropertyList.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvo::ArgumentParser {

// KEY=VALUE words (program path first) into a Config. Never fails, prints nothing.
Config parse(const std::vector<std::string>& args);

// The root of the computer-wide managed preferences, else of the current user's; nothing when
// neither can be read. Never fails, prints nothing.
std::optional<PropertyDictionary> MDMSettings();

// The Config the managed preferences describe, nothing without them. Writes the seed file when
// the profile has a seed section and prints the error line when that write fails. Throws an
// InputError naming where and why (never the value) when the preferences are a property list
// whose values cannot arrive exactly; nothing is written then.
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
