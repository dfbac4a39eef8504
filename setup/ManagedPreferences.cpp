#include "setup/ManagedPreferences.h"

#include "engine/PrintLine.h"
#include "exec/Error.h"
#include "platform/AtomicTextFile.h"
#include "setup/ProfileSettings.h"
#include "setup/SeedConfiguration.h"

namespace talvo {

namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

ManagedPreferences::ManagedPreferences(const std::string& root, const std::string& userName,
                                       std::ostream& out)
    : computerWideFile_(withoutTrailingSlashes(root) + kPreferencesFolder + kPreferencesFileName),
      perUserFile_(withoutTrailingSlashes(root) + kPreferencesFolder + userName + "/" +
                   kPreferencesFileName),
      seedFile_(withoutTrailingSlashes(root) + kSeedFile), out_(out) {}

PropertyListReading ManagedPreferences::reading() const {
    auto computerWide = examinePropertyListFile(computerWideFile_, kPreferencesSizeLimit);
    if (computerWide.dictionary || computerWide.refusal) {
        return computerWide;
    }
    return examinePropertyListFile(perUserFile_, kPreferencesSizeLimit);
}

std::optional<PropertyDictionary> ManagedPreferences::settings() const {
    return reading().dictionary;
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
    if (const auto* seedEntries = ProfileSettings::seedSection(*preferences)) {
        writeSeedFile(*seedEntries);
        // Quoted, so that the path stays one word on the agent's shell command line.
        seedFileWord = "\"" + seedFile_ + "\"";
    }
    return ProfileSettings::config(*preferences, std::move(seedFileWord));
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
