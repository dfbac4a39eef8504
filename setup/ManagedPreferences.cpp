#include "setup/ManagedPreferences.h"

#include "exec/Error.h"
#include "platform/AtomicTextFile.h"
#include "setup/ProfileSettings.h"
#include "setup/SeedConfiguration.h"

#include <ostream>

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

std::optional<PropertyDictionary> ManagedPreferences::settings() const {
    if (auto computerWide = readPropertyList(computerWideFile_)) {
        return computerWide;
    }
    return readPropertyList(perUserFile_);
}

std::optional<Config> ManagedPreferences::profile() const {
    const auto preferences = settings();
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
        out_ << error.text() << '\n';
    }
}

} // namespace talvo
