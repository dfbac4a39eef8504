#include "engine/Installer.h"

#include "engine/AdministrativeCommand.h"
#include "engine/AgentProcessSearch.h"
#include "engine/KeychainCommands.h"
#include "engine/LaunchDaemons.h"
#include "engine/PrintLine.h"
#include "exec/CommandRunner.h"
#include "exec/Error.h"
#include "exec/ProcessLauncher.h"
#include "platform/FileChecks.h"
#include "platform/FileURL.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

namespace talvo {

namespace {

// The agent's own setup command: "daemon" "--init" and then the Config's option words.
std::vector<std::string> setupWords(const Config& config) {
    std::vector<std::string> words{"daemon", "--init"};
    const auto options = config.arguments();
    words.insert(words.end(), options.begin(), options.end());
    return words;
}

// Words are joined unquoted: a value that needs quoting (the seed path) brings its own.
std::string joined(const std::vector<std::string>& words) {
    std::string line;
    for (const auto& word : words) {
        if (!line.empty()) {
            line += ' ';
        }
        line += word;
    }
    return line;
}

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

} // namespace

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
    setup(setupWords(config));
    if (!config.encryptionKey) {
        return {};
    }
    return {createCustomerKey(*config.encryptionKey)};
}

// The superuser runs the agent through "sudo"; the privileged path runs it directly, having the
// rights already. A failure on either path ends the installation with the status it gives.
void Installer::setup(const std::vector<std::string>& arguments) {
    const auto command = "\"" + std::string(agentAppPath) + "\" " + joined(arguments);
    if (environment_.user.isSuperuser()) {
        environment_.runner.syncThrows("sudo " + command);
        return;
    }
    const auto outcome = environment_.runner.sudo(command);
    if (!outcome.succeeded()) {
        throw commandError(outcome.statusCode());
    }
}

bool Installer::isInitialized() const {
    return environment_.files.fileExists(databasePath);
}

std::string Installer::statusAppURL() const {
    return fileURLFromPath(statusAppPath);
}

void Installer::killApp() {
    for (const auto& application : kAgentApplications) {
        if (!environment_.applications.isRunning(application.bundleIdentifier)) {
            continue;
        }
        printLine(environment_.out, application.runningMessage);
        try {
            environment_.runner.syncThrows("/usr/bin/killall \"" +
                                           std::string(application.processName) + "\"");
        } catch (const Error& error) {
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
        runAdministrativeCommand(environment_.runner, environment_.user, environment_.out, command);
    }
}

void Installer::bootout() {
    if (!isDaemonRunning()) {
        return;
    }
    for (const auto& command : launchDaemons::launchctlCommands("bootout")) {
        runAdministrativeCommand(environment_.runner, environment_.user, environment_.out, command);
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
    try {
        itemExists = !environment_.runner.syncThrows(keychain::findCommand()).empty();
    } catch (const Error& error) {
        if (error.code() != keychain::kItemNotFoundStatus && error.code() != 0) {
            printLine(environment_.out, error.text());
        }
    }
    // Replaced rather than changed in place, so that its access list is made afresh.
    if (itemExists) {
        runAdministrativeCommand(environment_.runner, environment_.user, environment_.out,
                                 keychain::deleteCommand());
    }
    return runAdministrativeCommand(environment_.runner, environment_.user, environment_.out,
                                    keychain::addCommand(password), CommandSecrecy::carriesSecret);
}

void Installer::debug(const std::string& text) const {
    if (isDebug) {
        printLine(environment_.out, text);
    }
}

} // namespace talvo
