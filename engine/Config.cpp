#include "engine/Config.h"

#include "engine/RunLog.h"
#include "exec/Error.h"
#include "format/UnicodeText.h"

namespace talvo {

namespace {

constexpr std::size_t kMinimumKeyLength = 8;

} // namespace

void Config::validate() const {
    if (!encryptionKey) {
        return;
    }
    // Invalid UTF-8 has no characters to count; it fails like a short key rather than crashing.
    const auto length = unicode::graphemeCount(*encryptionKey);
    if (!length || *length < kMinimumKeyLength) {
        throw Error(kInputErrorDomain, -1, "Encryption key must be at least 8 characters long.");
    }
}

std::vector<std::string> Config::arguments() const {
    return argumentsWithToken(registrationToken);
}

std::vector<std::string> Config::shownArguments() const {
    return argumentsWithToken(registrationToken ? std::optional<std::string>(kMaskedSecret)
                                                : std::nullopt);
}

std::vector<std::string> Config::argumentsWithToken(const std::optional<std::string>& token) const {
    std::vector<std::string> words;
    if (token) {
        words.push_back("-reg-token=" + *token);
    }
    if (registrationService) {
        words.push_back("-reg-service=" + *registrationService);
    }
    if (seedPath) {
        words.push_back("-seed-path=" + *seedPath);
    }
    if (cleanUp.value_or(false)) {
        words.push_back("-clean-up");
    }
    return words;
}

} // namespace talvo
