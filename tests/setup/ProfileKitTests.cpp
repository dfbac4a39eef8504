// The admins' profile kit in profiles/ must describe exactly the keys the installer reads, with
// the types it takes them as, and must not offer defaults the installer does not have.
#include "platform/Files.h"
#include "setup/ManagedPreferences.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace talvo {
namespace {

namespace fs = std::filesystem;

using Described = std::map<std::string, std::string>;

const fs::path kKit = TALVO_PROFILES_DIR;
const std::string kDomain = "com.talvo.backup.agent";

// Name to type as each kit file spells it; a presence key offers only true, since offering false
// would invite a value that also cleans up.
Described expectedFromTable(const char* dictionaryType) {
    Described expected;
    for (const auto& key : ManagedPreferences::kKeys) {
        expected[key.name] = key.type == PreferenceType::text         ? "string"
                             : key.type == PreferenceType::dictionary ? dictionaryType
                                                                      : "boolean only true";
    }
    return expected;
}

std::string text(const PropertyDictionary& entry, std::string_view key) {
    const auto* value = find(entry, key);
    return value != nullptr && std::holds_alternative<std::string>(value->value)
               ? std::get<std::string>(value->value)
               : "";
}

TEST(ProfileKit, SchemaAndManifestDescribeExactlyTheKeysTheInstallerReads) {
    std::ifstream in(kKit / (kDomain + ".json"));
    const auto kit = nlohmann::json::parse(in);
    Described schema;
    for (const auto& [name, property] : kit.at("properties").items()) {
        schema[name] = property.at("type").get<std::string>() +
                       (property.value("enum", nlohmann::json()) == nlohmann::json::array({true})
                            ? " only true"
                            : "") +
                       (property.contains("default") ? " with a default" : "");
    }
    EXPECT_EQ(schema, expectedFromTable("object"));

    const auto manifest = examinePropertyListFile(kKit / (kDomain + ".plist"), 1 << 20).dictionary;
    ASSERT_TRUE(manifest.has_value());
    EXPECT_EQ(text(*manifest, "pfm_domain"), kDomain);
    Described described;
    for (const auto& subkey : std::get<PropertyArray>(find(*manifest, "pfm_subkeys")->value)) {
        const auto& entry = std::get<PropertyDictionary>(subkey.value);
        const auto* range = find(entry, "pfm_range_list");
        described[text(entry, "pfm_name")] =
            text(entry, "pfm_type") +
            (range != nullptr && *range == PropertyValue{PropertyArray{PropertyValue{true}}}
                 ? " only true"
                 : "") +
            (find(entry, "pfm_default") != nullptr ? " with a default" : "");
    }
    EXPECT_EQ(described, expectedFromTable("dictionary"));
}

} // namespace
} // namespace talvo
