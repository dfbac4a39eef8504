#pragma once

#include "engine/Config.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace talvo {

class CommandRunner;
class ProcessLauncher;
class FileChecks;
class Workspace;
class RunningApplications;
class UserIdentity;

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
};

// Reads the managed profile; nothing when there is none.
using ProfileReader = std::function<std::optional<Config>()>;

class Installer {
  public:
    static Installer& shared();

    explicit Installer(InstallerEnvironment environment);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    static constexpr const char* appPath = "/Applications/Talvo Backup Agent.app";
    static constexpr const char* agentAppPath =
        "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent";
    static constexpr const char* statusAppPath =
        "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgentStatus.app";
    static constexpr const char* databasePath =
        "/Library/Application Support/Talvo Backup Agent/config.sqlite";

    // Installs silently from the managed profile. True when a profile was found and handled.
    bool runMDMCheck(const ProfileReader& readProfile);
    // Installs from a user-driven Config; returns without doing anything when already configured.
    void run(const Config& arguments);

    bool isInitialized() const;
    std::string statusAppURL() const;

    void killApp();
    void runApp();
    void runStatusApp();
    void bootstrap();
    void bootout();
    void createCustomerKey(const std::string& password);

    bool isDebug = false;
    void debug(const std::string& text) const;

    // The runner the engine's commands go through (traced through debug()).
    CommandRunner& runner() const { return environment_.runner; }

  private:
    void setup(const std::vector<std::string>& arguments);
    bool isDaemonRunning() const;

    InstallerEnvironment environment_;
};

} // namespace talvo
