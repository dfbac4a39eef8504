#pragma once

#include <string>
#include <string_view>
#include <vector>

// The agent's two launchd daemons of the system domain, main daemon first, updater second.
namespace talvo::launchDaemons {

// "launchctl <verb> system <plist>" for each daemon, in that order.
std::vector<std::string> launchctlCommands(std::string_view verb);

} // namespace talvo::launchDaemons
