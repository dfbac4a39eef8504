#include "engine/Config.h"

#include "exec/Error.h"
#include "platform/UnicodeText.h"

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
    std::vector<std::string> words;
    if (registrationToken) {
        words.push_back("-reg-token=" + *registrationToken);
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
