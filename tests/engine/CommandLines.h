#pragma once

// The exact command lines the installer hands to its runner, written out in full so that a
// change of any blank or quote shows.
namespace talvo::testing {

inline constexpr const char* kAgentSetupAsRoot =
    R"(sudo "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" daemon --init)";
inline constexpr const char* kAgentSetupPrivileged =
    R"("/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" daemon --init)";

inline constexpr const char* kFindKey =
    R"(security find-generic-password -a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent" "/Library/Keychains/System.keychain")";
inline constexpr const char* kDeleteKey =
    R"(security delete-generic-password -a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent" "/Library/Keychains/System.keychain")";
// Followed by the passphrase and kAddKeyTail.
inline constexpr const char* kAddKeyHead =
    R"(security add-generic-password -a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent" -l "TalvoBackupAgent" -w ")";
inline constexpr const char* kAddKeyTail =
    R"(" -T "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" "/Library/Keychains/System.keychain")";

inline constexpr const char* kBootstrapMain =
    "launchctl bootstrap system /Library/LaunchDaemons/com.talvo.backup.agent.plist";
inline constexpr const char* kBootstrapUpdater =
    "launchctl bootstrap system /Library/LaunchDaemons/com.talvo.backup.agent.updater.plist";
inline constexpr const char* kBootoutMain =
    "launchctl bootout system /Library/LaunchDaemons/com.talvo.backup.agent.plist";
inline constexpr const char* kBootoutUpdater =
    "launchctl bootout system /Library/LaunchDaemons/com.talvo.backup.agent.updater.plist";

inline constexpr const char* kProcessSearch = "/bin/sh [-c] [ps aux | grep TalvoBackupAgent]";

} // namespace talvo::testing
