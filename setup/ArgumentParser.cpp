#include "setup/ArgumentParser.h"

#include "platform/UnicodeText.h"
#include "setup/KeyValueWord.h"

#include <array>
#include <string_view>

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

// Texts are compared as the platform compares strings: canonically equivalent texts are equal
// (a KELVIN SIGN matches "K").
std::string comparable(std::string text) {
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

} // namespace talvo::ArgumentParser
