#include "engine/SystemCommands.h"

#include "engine/InstalledAgent.h"
#include "format/UnicodeText.h"

namespace talvo {

namespace {

std::string agentSetupCommand(const std::vector<std::string>& arguments) {
    std::string line = "\"" + std::string(agentAppPath) + "\" daemon --init";
    for (const auto& word : arguments) {
        line += ' ';
        line += word;
    }
    return line;
}

} // namespace

AdministrativeStep agentSetupStep(const Config& config) {
    const ShownCommand command{agentSetupCommand(config.arguments()),
                               agentSetupCommand(config.shownArguments()),
                               config.registrationToken.has_value()};
    return AdministrativeStep{command.prefixed("sudo "), command};
}

std::string killallCommand(std::string_view processName) {
    return "/usr/bin/killall \"" + std::string(processName) + "\"";
}

AdministrativeStep administrativeStep(const ShownCommand& command) {
    return AdministrativeStep{command, command.carriesSecret ? command : command.prefixed("sudo ")};
}

namespace keychain {

namespace {

const std::string kItem = R"(-a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent")";
const std::string kKeychain = R"("/Library/Keychains/System.keychain")";

} // namespace

std::string findCommand() {
    return "security find-generic-password " + kItem + " " + kKeychain;
}

std::string deleteCommand() {
    return "security delete-generic-password " + kItem + " " + kKeychain;
}

std::string addCommand(std::string_view passphrase) {
    return "security add-generic-password " + kItem + R"( -l "TalvoBackupAgent" -w ")" +
           escapedForDoubleQuotes(passphrase) + R"(" -T ")" + agentAppPath + "\" " + kKeychain;
}

ShownCommand addStep(std::string_view passphrase) {
    // The mask needs no escaping, so its form is exactly the add command's shape.
    return ShownCommand{addCommand(passphrase), addCommand(kMaskedSecret), true};
}

std::string escapedForDoubleQuotes(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char character : text) {
        if (character == '\\' || character == '"' || character == '$' || character == '`') {
            escaped += '\\';
        }
        escaped += character;
    }
    return escaped;
}

} // namespace keychain

namespace launchDaemons {

namespace {

constexpr std::string_view kPropertyLists[] = {
    "/Library/LaunchDaemons/com.talvo.backup.agent.plist",
    "/Library/LaunchDaemons/com.talvo.backup.agent.updater.plist",
};

} // namespace

std::vector<std::string> launchctlCommands(std::string_view verb) {
    std::vector<std::string> commands;
    for (const auto propertyList : kPropertyLists) {
        commands.push_back("launchctl " + std::string(verb) + " system " +
                           std::string(propertyList));
    }
    return commands;
}

} // namespace launchDaemons

namespace agentProcessSearch {

namespace {

constexpr std::string_view kSearchedName = "TalvoBackupAgent";
constexpr std::string_view kSearchItself = "grep TalvoBackupAgent";

std::string withoutSearchItself(std::string_view listing) {
    std::string rest;
    rest.reserve(listing.size());
    while (!listing.empty()) {
        const auto found = listing.find(kSearchItself);
        rest += listing.substr(0, found);
        if (found == std::string_view::npos) {
            break;
        }
        listing.remove_prefix(found + kSearchItself.size());
    }
    return rest;
}

} // namespace

std::vector<std::string> shellArguments() {
    return {"-c", "ps auxww | grep TalvoBackupAgent | grep -v 'grep TalvoBackupAgent' | head -n 1"};
}

bool mentionsAgent(std::string_view listing) {
    if (!unicode::isValidUtf8(listing)) {
        return false;
    }
    return withoutSearchItself(listing).find(kSearchedName) != std::string::npos;
}

} // namespace agentProcessSearch

} // namespace talvo
