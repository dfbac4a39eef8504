#include "setup/ProfileSettings.h"

namespace talvo::ProfileSettings {

namespace {

std::optional<std::string> text(const PropertyDictionary& settings, const char* key) {
    const auto* value = find(settings, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    const auto* found = std::get_if<std::string>(&value->value);
    return found == nullptr ? std::nullopt : std::optional<std::string>(*found);
}

} // namespace

const PropertyDictionary* seedSection(const PropertyDictionary& settings) {
    const auto* value = find(settings, kSeedConfig);
    return value == nullptr ? nullptr : std::get_if<PropertyDictionary>(&value->value);
}

Config config(const PropertyDictionary& settings, std::optional<std::string> seedFileWord) {
    Config result;
    result.registrationToken = text(settings, kRegistrationToken);
    result.registrationService = text(settings, kRegistrationService);
    result.encryptionKey = text(settings, kEncryptionKey);
    auto seedPath = text(settings, kSeedPath);
    result.seedPath = seedPath ? std::move(seedPath) : std::move(seedFileWord);
    result.cleanUp = find(settings, kCleanUp) != nullptr;
    return result;
}

} // namespace talvo::ProfileSettings
