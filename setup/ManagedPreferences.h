#pragma once

// The managed-preferences profile an MDM server pushes: where it lies, what its keys mean, and
// the seed file written from its seed section.

#include "engine/Config.h"
#include "format/PropertyList.h"

#include <array>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace talvo {

inline constexpr const char* kFileWriteErrorDomain = "FileWriteError";

// How a profile key's value is taken: text (any other type counts as missing), a dictionary
// (likewise), or presence (any value at all counts, even false).
enum class PreferenceType { text, dictionary, presence };

// No key has a default: a missing key adds nothing to the agent's arguments. A default for
// "clean-up" in particular would be wrong, since writing the key at all asks for clean-up.
struct PreferenceKey {
    const char* name;
    PreferenceType type;
};

class ManagedPreferences {
  public:
    static constexpr const char* kPreferencesFolder = "/Library/Managed Preferences/";
    static constexpr const char* kPreferencesFileName = "com.talvo.backup.agent.plist";
    static constexpr const char* kSeedFile =
        "/Library/Application Support/Talvo Backup Agent/seed.conf";
    // Far above any real profile, far below what would strain a Mac's memory. A larger file is
    // refused, never passed over.
    static constexpr std::size_t kPreferencesSizeLimit = std::size_t{8} << 20;

    static constexpr PreferenceKey kRegistrationToken{"reg-token", PreferenceType::text};
    static constexpr PreferenceKey kRegistrationService{"reg-service", PreferenceType::text};
    static constexpr PreferenceKey kEncryptionKey{"encryption-key", PreferenceType::text};
    static constexpr PreferenceKey kSeedPath{"seed-path", PreferenceType::text};
    static constexpr PreferenceKey kSeedConfig{"seed-config", PreferenceType::dictionary};
    static constexpr PreferenceKey kCleanUp{"clean-up", PreferenceType::presence};

    // Every key the installer reads. profiles/ describes exactly these for admins; a test keeps
    // the two from drifting apart.
    static constexpr std::array kKeys{kRegistrationToken, kRegistrationService, kEncryptionKey,
                                      kSeedPath,          kSeedConfig,          kCleanUp};

    // The entries to write to the seed file; nullptr when "seed-config" is missing or holds
    // anything but a dictionary.
    static const PropertyDictionary* seedSection(const PropertyDictionary& settings);

    // The Config the settings describe, apart from any file. Text keys holding anything but text
    // count as missing and values are taken untrimmed; any value under "clean-up" means true.
    // seedFileWord is the seed path used when there is no "seed-path" text: the quoted seed file
    // path when a seed file was produced, else nothing.
    static Config configFrom(const PropertyDictionary& settings,
                             std::optional<std::string> seedFileWord);

    // root is put in front of every path ("" for the computer's own files); userName picks the
    // per-user preferences, and there are none for a name that is not one folder name ("", "."
    // or "..", or holding "/"); errors are printed on out.
    ManagedPreferences(const std::string& root, const std::string& userName, std::ostream& out);

    // The computer's own files, the per-user ones of the user the tool runs for
    // (Task::userName()), errors printed on standard output.
    static ManagedPreferences ofThisComputer();

    // The computer-wide preferences, else the per-user ones. A refused computer-wide file is
    // the answer: a profile that cannot be taken exactly is an error, never skipped.
    PropertyListReading reading() const;

    // The Config the preferences describe, nothing without preferences. Writes the seed file from
    // "seed-config"; a failed write is printed as one error line and the run goes on. Throws an
    // InputError naming where and why (never a value) when the preferences are refused, before
    // anything is written.
    std::optional<Config> profile() const;

    const std::string& computerWideFile() const { return computerWideFile_; }
    // Empty when the user name names no per-user folder.
    const std::string& perUserFile() const { return perUserFile_; }
    const std::string& seedFile() const { return seedFile_; }

  private:
    void writeSeedFile(const PropertyDictionary& entries) const;

    std::string computerWideFile_;
    std::string perUserFile_;
    std::string seedFile_;
    std::ostream& out_;
};

} // namespace talvo
