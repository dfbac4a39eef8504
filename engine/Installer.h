#pragma once

// The installation engine both programs share: what it installs where, in which order, and the
// one shared instance wired to the real computer.

#include "engine/Config.h"
#include "engine/RunLog.h"
#include "exec/Error.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace talvo {

class CommandRunner;
class ProcessLauncher;
class FileChecks;
class Workspace;
class RunningApplications;
class UserIdentity;

// One whole line, flushed at once: the commands we start write to the same terminal, and their
// output must not overtake ours.
inline void printLine(std::ostream& out, std::string_view text) {
    out << text << '\n' << std::flush;
}

// Everything through which the installer reaches the computer. Installer::shared() hands it the
// real ones; tests hand it fakes.
struct InstallerEnvironment {
    CommandRunner& runner;
    ProcessLauncher& processes;
    FileChecks& files;
    Workspace& workspace;
    RunningApplications& applications;
    UserIdentity& user;
    std::ostream& out;
    // Failed commands with their context; the programs' printed lines reach it on their own way.
    LogSink log = {};
};

// How an installation that went through ended, beyond the lines it printed.
struct InstallResult {
    // The add command's failure when the customer key could not be stored (its line is printed
    // already): the installation went on, but it must not read as a success.
    std::optional<Error> keyNotStored;
};

// Reads the managed profile; nothing when there is none.
using ProfileReader = std::function<std::optional<Config>()>;

class Installer {
  public:
    static Installer& shared();

    explicit Installer(InstallerEnvironment environment);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Installs silently from the managed profile. Nothing when there is no profile; a result
    // when one was found and handled.
    std::optional<InstallResult> runMDMCheck(const ProfileReader& readProfile);
    // Installs from a user-driven Config; returns without doing anything when already configured.
    InstallResult run(const Config& arguments);

    bool isInitialized() const;
    std::string statusAppURL() const;

    void killApp();
    void runApp();
    void runStatusApp();
    void bootstrap();
    void bootout();
    // Gives the add command's failure, or nothing when the key was stored. A failed lookup or
    // delete is only printed: the add still decides whether the key is there.
    std::optional<Error> createCustomerKey(const std::string& password);

    bool isDebug = false;
    void debug(const std::string& text) const;

    // Writes one entry to the run's log, when it has one.
    void log(const std::string& entry) const;
    unsigned effectiveUserId() const;

  private:
    // Validates, runs the agent's setup and stores the key: what both entries do once they have
    // decided to install.
    InstallResult install(const Config& config);
    // Runs the agent's setup command with the Config's option words.
    void setup(const Config& config);
    std::optional<Error> runAdministrative(const ShownCommand& command);
    bool isDaemonRunning() const;

    InstallerEnvironment environment_;
};

} // namespace talvo
