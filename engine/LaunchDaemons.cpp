#include "engine/LaunchDaemons.h"

namespace talvo::launchDaemons {

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

} // namespace talvo::launchDaemons
