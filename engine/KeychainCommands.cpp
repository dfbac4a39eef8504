#include "engine/KeychainCommands.h"

#include "engine/Installer.h"

namespace talvo::keychain {

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
           escapedForDoubleQuotes(passphrase) + R"(" -T ")" + Installer::agentAppPath + "\" " +
           kKeychain;
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

} // namespace talvo::keychain
