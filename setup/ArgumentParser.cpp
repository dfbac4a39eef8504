#include "setup/ArgumentParser.h"

#include "format/UnicodeText.h"
#include "setup/ManagedPreferences.h"

#include <algorithm>
#include <array>

namespace talvo::ArgumentParser {

namespace {

struct TextKeyword {
    std::string_view name;
    std::optional<std::string> Config::*field;
};

constexpr std::array kTextKeywords{
    TextKeyword{"REG_TOKEN", &Config::registrationToken},
    TextKeyword{"REG_SERVICE", &Config::registrationService},
    TextKeyword{"ENCRYPTION_KEY", &Config::encryptionKey},
    TextKeyword{"SEED_PATH", &Config::seedPath},
};

constexpr std::string_view kCleanInstallKeyword = "CLEAN_INSTALL";

// The longest word a key or a value is compared with, in bytes.
constexpr std::size_t longestComparedWord() {
    std::size_t longest = kCleanInstallKeyword.size();
    for (const auto& keyword : kTextKeywords) {
        longest = std::max(longest, keyword.name.size());
    }
    return longest;
}

// Texts are compared as the platform compares strings: canonically equivalent texts are equal
// (a KELVIN SIGN matches "K"). The words compared with are ASCII, and no composition gives ASCII,
// so only a text of at most as many code points (of at most 4 bytes each) can be equivalent to
// one; a longer text is left as it is, since normalizing a long run of combining marks takes time
// that grows with the square of its length.
std::string comparable(std::string text) {
    if (text.size() > 4 * longestComparedWord()) {
        return text;
    }
    return unicode::nfc(text).value_or(std::move(text));
}

std::optional<bool> truthWord(const std::string& value) {
    const auto word = comparable(unicode::lowercased(value));
    if (word == "1" || word == "true" || word == "yes") {
        return true;
    }
    if (word == "0" || word == "false" || word == "no") {
        return false;
    }
    return std::nullopt;
}

void apply(Config& config, const std::string& key, std::string value) {
    for (const auto& keyword : kTextKeywords) {
        if (key == keyword.name) {
            config.*keyword.field = std::move(value);
            return;
        }
    }
    if (key == kCleanInstallKeyword) {
        if (const auto truth = truthWord(value)) {
            config.cleanUp = *truth;
        }
    }
}

} // namespace

Config parse(const std::vector<std::string>& args) {
    Config config;
    for (const auto& word : args) {
        const auto pieces = splitKeyValueWord(word);
        if (!pieces) {
            continue;
        }
        const auto key =
            comparable(unicode::uppercased(unicode::trimWhitespaceAndNewlines(pieces->key)));
        apply(config, key, unicode::trimWhitespaceAndNewlines(pieces->value));
    }
    return config;
}

std::optional<Config> profile() {
    return ManagedPreferences::ofThisComputer().profile();
}

// "=" is looked for byte by byte: in UTF-8 its byte stands for U+003D and nothing else (every
// byte of a longer sequence is 0x80 or above), so this finds the code point even when a combining
// mark follows it, and even in text that is not valid UTF-8.
std::optional<KeyValueWord> splitKeyValueWord(std::string_view word) {
    std::size_t keyStart = 0;
    for (std::size_t position = word.find('='); position != std::string_view::npos;
         position = word.find('=', position + 1)) {
        if (position == keyStart) {
            keyStart = position + 1;
            continue;
        }
        const auto valueStart = position + 1;
        if (valueStart == word.size()) {
            return std::nullopt;
        }
        return KeyValueWord{word.substr(keyStart, position - keyStart), word.substr(valueStart)};
    }
    return std::nullopt;
}

} // namespace talvo::ArgumentParser
