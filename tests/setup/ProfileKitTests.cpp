// The admins' profile kit in profiles/ must describe exactly the keys the installer reads, with
// the types it takes them as, and must not offer defaults the installer does not have.
#include "platform/PropertyList.h"
#include "setup/ManagedPreferences.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace talvo {
namespace {

namespace fs = std::filesystem;

const fs::path kKit = TALVO_PROFILES_DIR;
const std::string kDomain = "com.talvo.backup.agent";

std::map<std::string, PreferenceType> tableKeys() {
    std::map<std::string, PreferenceType> keys;
    for (const auto& key : ManagedPreferences::kKeys) {
        keys.emplace(key.name, key.type);
    }
    return keys;
}

nlohmann::json schema() {
    std::ifstream in(kKit / (kDomain + ".json"));
    return nlohmann::json::parse(in);
}

PropertyDictionary propertyList(const fs::path& file) {
    auto read = examinePropertyListFile(file, std::size_t{1} << 20);
    if (!read.dictionary) {
        throw std::runtime_error("unreadable: " + file.string());
    }
    return *read.dictionary;
}

template <typename T> const T& as(const PropertyDictionary& dictionary, std::string_view key) {
    const auto* value = find(dictionary, key);
    if (value == nullptr || !std::holds_alternative<T>(value->value)) {
        throw std::runtime_error("missing or mistyped: " + std::string(key));
    }
    return std::get<T>(value->value);
}

std::string jsonType(PreferenceType type) {
    switch (type) {
    case PreferenceType::text:
        return "string";
    case PreferenceType::dictionary:
        return "object";
    case PreferenceType::presence:
        return "boolean";
    }
    return "";
}

std::string manifestType(PreferenceType type) {
    switch (type) {
    case PreferenceType::text:
        return "string";
    case PreferenceType::dictionary:
        return "dictionary";
    case PreferenceType::presence:
        return "boolean";
    }
    return "";
}

TEST(ProfileKitTests, FileNameOfTheManagedPreferencesIsTheKitsDomain) {
    EXPECT_EQ(std::string(ManagedPreferences::kPreferencesFileName), kDomain + ".plist");
}

TEST(ProfileKitTests, SchemaDescribesExactlyTheKeysTheInstallerReads) {
    const auto kit = schema();
    const auto table = tableKeys();
    std::set<std::string> described;
    for (const auto& [name, property] : kit.at("properties").items()) {
        described.insert(name);
        ASSERT_TRUE(table.contains(name)) << name << " is described but never read";
        EXPECT_EQ(property.at("type"), jsonType(table.at(name))) << name;
        EXPECT_FALSE(property.contains("default")) << name << " offers a default the code lacks";
        EXPECT_FALSE(property.value("title", "").empty()) << name;
        EXPECT_FALSE(property.value("description", "").empty()) << name;
    }
    for (const auto& [name, type] : table) {
        EXPECT_TRUE(described.contains(name)) << name << " is read but not described";
    }
    EXPECT_FALSE(kit.value("title", "").empty());
    EXPECT_FALSE(kit.value("description", "").empty());
}

TEST(ProfileKitTests, SchemaOffersOnlyTrueForAPresenceKey) {
    // Offering false would invite a value that also cleans up.
    const auto kit = schema();
    for (const auto& key : ManagedPreferences::kKeys) {
        if (key.type == PreferenceType::presence) {
            EXPECT_EQ(kit.at("properties").at(key.name).at("enum"), nlohmann::json::array({true}));
        }
    }
}

TEST(ProfileKitTests, ManifestDescribesExactlyTheKeysTheInstallerReads) {
    const auto manifest = propertyList(kKit / (kDomain + ".plist"));
    EXPECT_EQ(as<std::string>(manifest, "pfm_domain"), kDomain);
    EXPECT_FALSE(as<std::string>(manifest, "pfm_title").empty());
    EXPECT_FALSE(as<std::string>(manifest, "pfm_description").empty());
    EXPECT_NO_THROW(as<std::int64_t>(manifest, "pfm_format_version"));

    const auto table = tableKeys();
    std::set<std::string> described;
    for (const auto& subkey : as<PropertyArray>(manifest, "pfm_subkeys")) {
        const auto& entry = std::get<PropertyDictionary>(subkey.value);
        const auto& name = as<std::string>(entry, "pfm_name");
        described.insert(name);
        ASSERT_TRUE(table.contains(name)) << name << " is described but never read";
        EXPECT_EQ(as<std::string>(entry, "pfm_type"), manifestType(table.at(name))) << name;
        EXPECT_EQ(find(entry, "pfm_default"), nullptr) << name << " offers a default";
        EXPECT_FALSE(as<std::string>(entry, "pfm_title").empty()) << name;
        EXPECT_FALSE(as<std::string>(entry, "pfm_description").empty()) << name;
        if (table.at(name) == PreferenceType::presence) {
            EXPECT_EQ(as<PropertyArray>(entry, "pfm_range_list"),
                      PropertyArray{PropertyValue{true}});
        }
    }
    EXPECT_EQ(described.size(), table.size());
}

TEST(ProfileKitTests, ExampleProfileSetsEveryKeySoThatTheInstallerTakesIt) {
    const auto profile = propertyList(kKit / "example.mobileconfig");
    const auto& payloads = as<PropertyArray>(profile, "PayloadContent");
    ASSERT_EQ(payloads.size(), 1U);
    const auto& payload = std::get<PropertyDictionary>(payloads.front().value);
    EXPECT_EQ(as<std::string>(payload, "PayloadType"), "com.apple.ManagedClient.preferences");
    const auto& domain =
        as<PropertyDictionary>(as<PropertyDictionary>(payload, "PayloadContent"), kDomain);
    const auto& forced = as<PropertyArray>(domain, "Forced");
    ASSERT_EQ(forced.size(), 1U);
    const auto& settings = as<PropertyDictionary>(
        std::get<PropertyDictionary>(forced.front().value), "mcx_preference_settings");

    const auto table = tableKeys();
    ASSERT_EQ(settings.size(), table.size());
    for (const auto& [name, value] : settings) {
        ASSERT_TRUE(table.contains(name)) << name;
        const auto type = table.at(name);
        if (type == PreferenceType::text) {
            EXPECT_TRUE(std::holds_alternative<std::string>(value.value)) << name;
        } else if (type == PreferenceType::dictionary) {
            EXPECT_TRUE(std::holds_alternative<PropertyDictionary>(value.value)) << name;
        }
    }

    const auto config = ManagedPreferences::configFrom(settings, std::nullopt);
    EXPECT_TRUE(config.registrationToken && config.registrationService && config.encryptionKey &&
                config.seedPath);
    EXPECT_EQ(config.cleanUp, true);
    ASSERT_NE(ManagedPreferences::seedSection(settings), nullptr);
}

} // namespace
} // namespace talvo
