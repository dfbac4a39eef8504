#pragma once

// A computer the installer can be pointed at, for the engine's and Setup's tests.

#include "engine/Installer.h"
#include "exec/CommandRunner.h"
#include "exec/Error.h"
#include "exec/ShellCommandRunner.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace talvo::test {

using Lines = std::vector<std::string>;

// By default run by the superuser, nothing installed, nothing running, every command succeeding
// with the same output; a failing one carries that output's last line, as the real runner's does.
// Printed lines and every command ("sync> ", "sudo> ", "launch> ", "open> " and what was handed
// over) land in one transcript, in the order they happened.
struct FakeComputer final : CommandRunner,
                            ProcessLauncher,
                            FileChecks,
                            Workspace,
                            RunningApplications,
                            UserIdentity {
    std::string output;
    // Keyed by a text that occurs in the command line.
    std::map<std::string, int> failures;
    std::map<std::string, PrivilegedOutcome> privileged;
    std::set<std::string> files;
    // Bundle identifiers of the applications running.
    std::set<std::string> applications;
    unsigned userId = 0;
    // Called on every command run without rights after it is noted, and on every look for a
    // running application: where an unexpected exception can be thrown into the run.
    std::function<void(const std::string&)> onCommand = [](const std::string&) {};
    std::function<void()> onApplicationLookup = [] {};
    std::ostringstream transcript;
    // The identifiers of each look at the running applications.
    mutable std::vector<Lines> applicationLookups;
    // The installer's log entries, in order.
    Lines logged;
    Installer installer{
        InstallerEnvironment{*this, *this, *this, *this, *this, *this, transcript,
                             [this](const std::string& entry) { logged.push_back(entry); }}};

    Lines lines() const {
        Lines result;
        std::istringstream in(transcript.str());
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }

    std::string syncThrows(const std::string& command) override {
        transcript << "sync> " << command << '\n';
        onCommand(command);
        if (const auto status = matching(failures, command)) {
            throw commandError(*status, lastOutputLine(output));
        }
        return output;
    }
    PrivilegedOutcome sudo(const std::string& command) override {
        transcript << "sudo> " << command << '\n';
        return matching(privileged, command)
            .value_or(PrivilegedOutcome{PrivilegedOutcome::Kind::ran, 0});
    }
    std::optional<std::string>
    standardOutputOf(const std::string& executable,
                     const std::vector<std::string>& arguments) override {
        transcript << "launch> " << executable;
        for (const auto& argument : arguments) {
            transcript << " [" << argument << "]";
        }
        transcript << '\n';
        return std::string();
    }
    bool fileExists(const std::string& path) const override { return files.contains(path); }
    void openBundle(const std::string& path) override { transcript << "open> " << path << '\n'; }
    void openURL(const std::string& url) override { transcript << "open> " << url << '\n'; }
    std::set<std::string> runningAmong(const std::vector<std::string>& identifiers) const override {
        applicationLookups.push_back(identifiers);
        onApplicationLookup();
        std::set<std::string> running;
        for (const auto& identifier : identifiers) {
            if (applications.contains(identifier)) {
                running.insert(identifier);
            }
        }
        return running;
    }
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

} // namespace talvo::test
