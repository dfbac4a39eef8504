#include "engine/Installer.h"

#include "engine/AdministratorRights.h"
#include "engine/InstalledAgent.h"
#include "engine/SystemCommands.h"
#include "exec/CommandRunner.h"
#include "exec/Error.h"
#include "exec/ShellCommandRunner.h"
#include "format/FileURL.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/RunningApplications.h"
#include "platform/SystemLog.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <iostream>

namespace talvo {

namespace {

bool asksForCleanInstall(const Config& config) {
    return config.cleanUp.value_or(false);
}

// The applications a user may have open next to the daemons, stopped in this order.
struct AgentApplication {
    const char* bundleIdentifier;
    const char* processName;
    const char* runningMessage;
};

constexpr AgentApplication kAgentApplications[] = {
    {"com.talvo.backup.app", "Talvo Backup Agent", "Talvo Backup Agent is already running."},
    {"com.talvo.backup.status", "TalvoBackupAgentStatus",
     "Talvo Backup Agent Status is already running."},
};

// The real computer, created with the one shared Installer and living as long as the process.
struct SystemEnvironment {
    ShellCommandRunner runner{[](const std::string& line) { Installer::shared().debug(line); }};
    SystemProcessLauncher processes;
    LocalFileChecks files;
    SystemWorkspace workspace;
    SystemRunningApplications applications;
    ProcessUserIdentity user;
};

} // namespace

Installer& Installer::shared() {
    static SystemEnvironment system;
    static Installer installer(InstallerEnvironment{system.runner, system.processes, system.files,
                                                    system.workspace, system.applications,
                                                    system.user, std::cout, writeSystemLog});
    return installer;
}

Installer::Installer(InstallerEnvironment environment) : environment_(environment) {}

std::optional<InstallResult> Installer::runMDMCheck(const ProfileReader& readProfile) {
    printLine(environment_.out, "Checking MDM...");
    const auto profile = readProfile();
    if (!profile) {
        printLine(environment_.out, "No MDM found...");
        return std::nullopt;
    }
    if (isInitialized() && !asksForCleanInstall(*profile)) {
        return InstallResult{};
    }
    printLine(environment_.out, "Installing MDM...");
    return install(*profile);
}

InstallResult Installer::run(const Config& arguments) {
    if (isInitialized() && !asksForCleanInstall(arguments)) {
        return {};
    }
    printLine(environment_.out, "Installing User...");
    return install(arguments);
}

InstallResult Installer::install(const Config& config) {
    config.validate();
    setup(config);
    if (!config.encryptionKey) {
        return {};
    }
    return {createCustomerKey(*config.encryptionKey)};
}

// A failure ends the installation with the status it gives.
void Installer::setup(const Config& config) {
    if (const auto failure = runWithAdministratorRights(environment_.runner, environment_.user,
                                                        environment_.log, agentSetupStep(config))) {
        throw *failure;
    }
}

bool Installer::isInitialized() const {
    return environment_.files.fileExists(kDatabasePath);
}

std::string Installer::statusAppURL() const {
    return fileURLFromPath(kStatusAppPath);
}

void Installer::killApp() {
    std::vector<std::string> identifiers;
    for (const auto& application : kAgentApplications) {
        identifiers.emplace_back(application.bundleIdentifier);
    }
    // One look answers for both: it may read the Info.plist of every bundle that a program runs
    // from.
    const auto running = environment_.applications.runningAmong(identifiers);
    for (const auto& application : kAgentApplications) {
        if (!running.contains(application.bundleIdentifier)) {
            continue;
        }
        printLine(environment_.out, application.runningMessage);
        const auto command = ShownCommand::plain(killallCommand(application.processName));
        try {
            environment_.runner.syncThrows(command.text);
        } catch (const Error& error) {
            log(failedCommandEntry(command, error));
            printLine(environment_.out, error.text());
        }
    }
    bootout();
}

void Installer::runApp() {
    environment_.workspace.openBundle(appPath);
}

void Installer::runStatusApp() {
    environment_.workspace.openURL(statusAppURL());
}

void Installer::bootstrap() {
    for (const auto& command : launchDaemons::launchctlCommands("bootstrap")) {
        runAdministrative(ShownCommand::plain(command));
    }
}

void Installer::bootout() {
    if (!isDaemonRunning()) {
        return;
    }
    for (const auto& command : launchDaemons::launchctlCommands("bootout")) {
        runAdministrative(ShownCommand::plain(command));
    }
}

bool Installer::isDaemonRunning() const {
    const auto listing = environment_.processes.standardOutputOf(
        agentProcessSearch::kShell, agentProcessSearch::shellArguments());
    return listing && agentProcessSearch::mentionsAgent(*listing);
}

std::optional<Error> Installer::createCustomerKey(const std::string& password) {
    // Looking is allowed to anyone, so the find never asks for administrator rights.
    bool itemExists = false;
    const auto find = ShownCommand::plain(keychain::findCommand());
    try {
        itemExists = !environment_.runner.syncThrows(find.text).empty();
    } catch (const Error& error) {
        if (error.code() != keychain::kItemNotFoundStatus && error.code() != 0) {
            log(failedCommandEntry(find, error));
            printLine(environment_.out, error.text());
        }
    }
    // Replaced rather than changed in place, so that its access list is made afresh.
    if (itemExists) {
        runAdministrative(ShownCommand::plain(keychain::deleteCommand()));
    }
    return runAdministrative(keychain::addStep(password));
}

// A failure is printed as one error line and never raised: the next step still runs.
std::optional<Error> Installer::runAdministrative(const ShownCommand& command) {
    auto failure = runWithAdministratorRights(environment_.runner, environment_.user,
                                              environment_.log, administrativeStep(command));
    if (failure) {
        printLine(environment_.out, failure->text());
    }
    return failure;
}

void Installer::log(const std::string& entry) const {
    if (environment_.log) {
        environment_.log(entry);
    }
}

unsigned Installer::effectiveUserId() const {
    return environment_.user.effectiveUserId();
}

void Installer::debug(const std::string& text) const {
    if (isDebug) {
        printLine(environment_.out, text);
    }
}

} // namespace talvo
