#pragma once

#include "engine/Config.h"
#include "platform/PropertyList.h"

#include <optional>
#include <string>

// What the keys of a managed-preferences profile mean, apart from any file.
namespace talvo::ProfileSettings {

inline constexpr const char* kRegistrationToken = "reg-token";
inline constexpr const char* kRegistrationService = "reg-service";
inline constexpr const char* kEncryptionKey = "encryption-key";
inline constexpr const char* kSeedPath = "seed-path";
inline constexpr const char* kSeedConfig = "seed-config";
inline constexpr const char* kCleanUp = "clean-up";

// The entries to write to the seed file; nullptr when "seed-config" is missing or holds anything
// but a dictionary.
const PropertyDictionary* seedSection(const PropertyDictionary& settings);

// The Config the settings describe. Text keys holding anything but text count as missing and
// values are taken untrimmed; any value under "clean-up" means true. seedFileWord is the seed
// path used when there is no "seed-path" text: the quoted seed file path when a seed file was
// produced, else nothing.
Config config(const PropertyDictionary& settings, std::optional<std::string> seedFileWord);

} // namespace talvo::ProfileSettings
