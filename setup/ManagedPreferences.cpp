#include "setup/ManagedPreferences.h"

#include "engine/Installer.h"
#include "exec/Error.h"
#include "exec/ShellCommandRunner.h"
#include "platform/Files.h"
#include "setup/SeedConfiguration.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace talvo {

namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Fails to compile when the key table does not declare key as text, so that the table and the
// way each key is taken cannot disagree.
consteval const char* textKey(const PreferenceKey& key) {
    if (key.type != PreferenceType::text) {
        throw "not a text key";
    }
    return key.name;
}

std::optional<std::string> text(const PropertyDictionary& settings, const char* key) {
    const auto* value = find(settings, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    const auto* found = std::get_if<std::string>(&value->value);
    return found == nullptr ? std::nullopt : std::optional<std::string>(*found);
}

// The user name comes from HOME, SUDO_USER or USER, whatever whoever started us set there. Only a
// name that is one folder name leads to a per-user folder: "..", or a name holding "/", would lead
// out of the managed preferences to a file anyone may have written, and "" or "." back to the
// computer-wide file.
bool isOneName(const std::string& userName) {
    return !userName.empty() && userName != "." && userName != ".." &&
           userName.find('/') == std::string::npos;
}

// A file beyond the limit is a profile all the same: passed over, it would leave the run to
// install from another source, or from none, and end as a success.
PropertyListReading examineProfile(const std::string& file) {
    std::error_code error;
    if (std::filesystem::is_regular_file(file, error) &&
        std::filesystem::file_size(file, error) > ManagedPreferences::kPreferencesSizeLimit &&
        !error) {
        return {std::nullopt, "the profile is larger than " +
                                  std::to_string(ManagedPreferences::kPreferencesSizeLimit >> 20) +
                                  " MiB"};
    }
    return examinePropertyListFile(file, ManagedPreferences::kPreferencesSizeLimit);
}

} // namespace

const PropertyDictionary* ManagedPreferences::seedSection(const PropertyDictionary& settings) {
    const auto* value = find(settings, kSeedConfig.name);
    return value == nullptr ? nullptr : std::get_if<PropertyDictionary>(&value->value);
}

Config ManagedPreferences::configFrom(const PropertyDictionary& settings,
                                      std::optional<std::string> seedFileWord) {
    Config result;
    result.registrationToken = text(settings, textKey(kRegistrationToken));
    result.registrationService = text(settings, textKey(kRegistrationService));
    result.encryptionKey = text(settings, textKey(kEncryptionKey));
    auto seedPath = text(settings, textKey(kSeedPath));
    result.seedPath = seedPath ? std::move(seedPath) : std::move(seedFileWord);
    result.cleanUp = find(settings, kCleanUp.name) != nullptr;
    return result;
}

ManagedPreferences::ManagedPreferences(const std::string& root, const std::string& userName,
                                       std::ostream& out)
    : computerWideFile_(withoutTrailingSlashes(root) + kPreferencesFolder + kPreferencesFileName),
      perUserFile_(isOneName(userName) ? withoutTrailingSlashes(root) + kPreferencesFolder +
                                             userName + "/" + kPreferencesFileName
                                       : std::string()),
      seedFile_(withoutTrailingSlashes(root) + kSeedFile), out_(out) {}

ManagedPreferences ManagedPreferences::ofThisComputer() {
    return ManagedPreferences("", Task::userName(), std::cout);
}

PropertyListReading ManagedPreferences::reading() const {
    auto computerWide = examineProfile(computerWideFile_);
    if (computerWide.dictionary || computerWide.refusal || perUserFile_.empty()) {
        return computerWide;
    }
    return examineProfile(perUserFile_);
}

std::optional<Config> ManagedPreferences::profile() const {
    const auto found = reading();
    if (found.refusal) {
        throw Error(kInputErrorDomain, -1, "Managed preferences refused: " + *found.refusal + ".");
    }
    const auto& preferences = found.dictionary;
    if (!preferences) {
        return std::nullopt;
    }
    std::optional<std::string> seedFileWord;
    if (const auto* seedEntries = seedSection(*preferences)) {
        writeSeedFile(*seedEntries);
        // Quoted, so that the path stays one word on the agent's shell command line.
        seedFileWord = "\"" + seedFile_ + "\"";
    }
    return configFrom(*preferences, std::move(seedFileWord));
}

void ManagedPreferences::writeSeedFile(const PropertyDictionary& entries) const {
    const auto failure = writeTextFileAtomically(seedFile_, renderSeedConfiguration(entries));
    if (failure) {
        const Error error(kFileWriteErrorDomain, failure.value(),
                          "Could not write " + seedFile_ + ": " + failure.message());
        printLine(out_, error.text());
    }
}

} // namespace talvo
