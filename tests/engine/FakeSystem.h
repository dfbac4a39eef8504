#pragma once

#include "engine/Installer.h"
#include "exec/CommandRunner.h"
#include "exec/Error.h"
#include "exec/ProcessLauncher.h"
#include "platform/FileChecks.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace talvo::testing {

// Everything the installer prints and every command it starts, as lines in the order they
// happened: printed lines as they are, commands as "sync> ", "sudo> ", "launch> ", "openBundle> "
// or "openURL> " followed by what was handed over.
class Transcript {
  public:
    std::ostream& stream() { return stream_; }
    void record(const std::string& kind, const std::string& what) {
        stream_ << kind << "> " << what << '\n';
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(stream_.str());
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }

  private:
    std::ostringstream stream_;
};

// Commands succeed with empty output unless a rule whose pattern occurs in the command line says
// otherwise; the first matching rule wins.
class FakeCommandRunner final : public CommandRunner {
  public:
    explicit FakeCommandRunner(Transcript& transcript) : transcript_(transcript) {}

    void answer(std::string pattern, std::string output) {
        syncRules_.push_back({std::move(pattern), std::move(output), 0});
    }
    void fail(std::string pattern, int exitStatus) {
        syncRules_.push_back({std::move(pattern), {}, exitStatus});
    }
    void privileged(std::string pattern, PrivilegedOutcome outcome) {
        sudoRules_.push_back({std::move(pattern), outcome});
    }

    std::string syncThrows(const std::string& command) override {
        transcript_.record("sync", command);
        for (const auto& rule : syncRules_) {
            if (command.find(rule.pattern) == std::string::npos) {
                continue;
            }
            if (rule.exitStatus != 0) {
                throw commandError(rule.exitStatus);
            }
            return rule.output;
        }
        return {};
    }

    PrivilegedOutcome sudo(const std::string& command) override {
        transcript_.record("sudo", command);
        for (const auto& rule : sudoRules_) {
            if (command.find(rule.pattern) != std::string::npos) {
                return rule.outcome;
            }
        }
        return {PrivilegedOutcome::Kind::Ran, 0};
    }

  private:
    struct SyncRule {
        std::string pattern;
        std::string output;
        int exitStatus;
    };
    struct SudoRule {
        std::string pattern;
        PrivilegedOutcome outcome;
    };
    Transcript& transcript_;
    std::vector<SyncRule> syncRules_;
    std::vector<SudoRule> sudoRules_;
};

class FakeProcessLauncher final : public ProcessLauncher {
  public:
    explicit FakeProcessLauncher(Transcript& transcript) : transcript_(transcript) {}

    // What the process list pipeline prints; nothing means it could not be started.
    std::optional<std::string> listing = std::string();

    std::optional<std::string>
    standardOutputOf(const std::string& executable,
                     const std::vector<std::string>& arguments) override {
        std::string call = executable;
        for (const auto& argument : arguments) {
            call += " [" + argument + "]";
        }
        transcript_.record("launch", call);
        return listing;
    }

  private:
    Transcript& transcript_;
};

class FakeFileChecks final : public FileChecks {
  public:
    std::set<std::string> existing;
    bool fileExists(const std::string& path) const override { return existing.contains(path); }
};

class FakeWorkspace final : public Workspace {
  public:
    explicit FakeWorkspace(Transcript& transcript) : transcript_(transcript) {}
    void openBundle(const std::string& path) override { transcript_.record("openBundle", path); }
    void openURL(const std::string& url) override { transcript_.record("openURL", url); }

  private:
    Transcript& transcript_;
};

class FakeRunningApplications final : public RunningApplications {
  public:
    std::set<std::string> running;
    bool isRunning(const std::string& bundleIdentifier) const override {
        return running.contains(bundleIdentifier);
    }
};

class FakeUserIdentity final : public UserIdentity {
  public:
    unsigned userId = 0;
    unsigned effectiveUserId() const override { return userId; }
};

// A computer the installer can be pointed at: by default run by the superuser, nothing installed,
// nothing running, every command succeeding.
struct FakeSystem {
    Transcript transcript;
    FakeCommandRunner runner{transcript};
    FakeProcessLauncher processes{transcript};
    FakeFileChecks files;
    FakeWorkspace workspace{transcript};
    FakeRunningApplications applications;
    FakeUserIdentity user;
    Installer installer{InstallerEnvironment{runner, processes, files, workspace, applications,
                                             user, transcript.stream()}};

    void runAsNormalUser() { user.userId = 501; }
    void configureAgent() { files.existing.insert(Installer::databasePath); }
    std::vector<std::string> lines() const { return transcript.lines(); }
};

// The printed line of a failed command with this exit status.
inline std::string errorLine(int exitStatus) {
    return "Error Domain=ProcessErrorDomain Code=" + std::to_string(exitStatus) + " \"(null)\"";
}

// Runs an operation that must throw a talvo::Error and returns that error.
template <typename Operation> std::optional<Error> errorFrom(Operation&& operation) {
    try {
        operation();
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace talvo::testing
