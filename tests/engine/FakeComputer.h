#pragma once

#include "engine/Installer.h"
#include "exec/CommandRunner.h"
#include "exec/Error.h"
#include "exec/ProcessLauncher.h"
#include "platform/FileChecks.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace talvo::testing {

// A computer the installer can be pointed at: by default run by the superuser, nothing installed,
// nothing running, every command succeeding with empty output. Printed lines and every command
// ("sync> ", "sudo> ", "launch> ", "open> " and what was handed over) land in one transcript, in
// the order they happened.
struct FakeComputer final : CommandRunner,
                            ProcessLauncher,
                            FileChecks,
                            Workspace,
                            RunningApplications,
                            UserIdentity {
    // Keyed by a text that occurs in the command line.
    std::map<std::string, std::string> answers;
    std::map<std::string, int> failures;
    std::map<std::string, PrivilegedOutcome> privileged;
    std::optional<std::string> processList = std::string(); // nothing: ps could not be started
    std::set<std::string> files;
    unsigned userId = 0;
    std::ostringstream transcript;
    Installer installer{InstallerEnvironment{*this, *this, *this, *this, *this, *this, transcript}};

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(transcript.str());
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }

    std::string syncThrows(const std::string& command) override {
        transcript << "sync> " << command << '\n';
        if (const auto status = matching(failures, command)) {
            throw commandError(*status);
        }
        return matching(answers, command).value_or("");
    }
    PrivilegedOutcome sudo(const std::string& command) override {
        transcript << "sudo> " << command << '\n';
        return matching(privileged, command)
            .value_or(PrivilegedOutcome{PrivilegedOutcome::Kind::Ran, 0});
    }
    std::optional<std::string>
    standardOutputOf(const std::string& executable,
                     const std::vector<std::string>& arguments) override {
        transcript << "launch> " << executable;
        for (const auto& argument : arguments) {
            transcript << " [" << argument << "]";
        }
        transcript << '\n';
        return processList;
    }
    bool fileExists(const std::string& path) const override { return files.contains(path); }
    void openBundle(const std::string& path) override { transcript << "open> " << path << '\n'; }
    void openURL(const std::string& url) override { transcript << "open> " << url << '\n'; }
    bool isRunning(const std::string&) const override { return false; }
    unsigned effectiveUserId() const override { return userId; }

  private:
    template <typename Value>
    static std::optional<Value> matching(const std::map<std::string, Value>& rules,
                                         const std::string& command) {
        for (const auto& [pattern, value] : rules) {
            if (command.find(pattern) != std::string::npos) {
                return value;
            }
        }
        return std::nullopt;
    }
};

// The printed line of a failed command with this exit status.
inline std::string errorLine(int exitStatus) {
    return "Error Domain=ProcessErrorDomain Code=" + std::to_string(exitStatus) + " \"(null)\"";
}

// The exact command lines, written out in full so that a change of any blank or quote shows.
inline const std::string kAgent =
    R"("/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" daemon --init)";
inline const std::string kKeyItem =
    R"(-a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent")";
inline const std::string kKeychain = R"("/Library/Keychains/System.keychain")";
inline const std::string kFindKey = "security find-generic-password " + kKeyItem + " " + kKeychain;
inline const std::string kDeleteKey =
    "security delete-generic-password " + kKeyItem + " " + kKeychain;
inline std::string addKey(const std::string& passphrase) {
    return "security add-generic-password " + kKeyItem + R"( -l "TalvoBackupAgent" -w ")" +
           passphrase +
           R"(" -T "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" )" +
           kKeychain;
}
inline std::string launchctl(const std::string& verb, const std::string& label) {
    return "launchctl " + verb + " system /Library/LaunchDaemons/" + label + ".plist";
}
inline const std::string kMainDaemon = "com.talvo.backup.agent";
inline const std::string kUpdaterDaemon = "com.talvo.backup.agent.updater";
inline const std::string kProcessSearch = "launch> /bin/sh [-c] [ps aux | grep TalvoBackupAgent]";

} // namespace talvo::testing
