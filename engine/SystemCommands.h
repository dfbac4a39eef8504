#pragma once

// The command lines the engine hands to the system: the agent's own setup command, the keychain
// item that keeps the customer's passphrase, the launch daemons, stopping an application and the
// process search. A step that needs administrator rights comes in the form each path runs it.

#include "engine/AdministratorRights.h"
#include "engine/Config.h"
#include "engine/RunLog.h"
#include "exec/Error.h"

#include <string>
#include <string_view>
#include <vector>

namespace talvo {

// The agent's setup command: "daemon" "--init" and the Config's option words, joined unquoted
// behind the agent's quoted executable (a value that needs quoting, the seed path, brings its
// own); for the log the same with the registration token masked. With a token it carries a
// secret, as the token reaches the shell unquoted. The superuser runs it through "sudo"; the
// privileged path runs it directly, having the rights already.
AdministrativeStep agentSetupStep(const Config& config);

// Stops every process of that name.
std::string killallCommand(std::string_view processName);

// A keychain or launch-daemon step: the superuser runs the command as it is; the privileged path
// runs a plain one behind "sudo " and one that carries a secret as it is (it runs as root
// already, and sudo writes every command line it runs to the system's authentication log).
AdministrativeStep administrativeStep(const ShownCommand& command);

// The `security` command lines that keep the customer's encryption passphrase in the System
// keychain as one generic-password item, readable by the agent's executable without a prompt.
namespace keychain {

// `security` reports a missing item with this exit status.
inline constexpr int kItemNotFoundStatus = 44;

std::string findCommand();
std::string deleteCommand();
// The passphrase stands between double quotes, escaped so that the shell hands it on byte-exact.
std::string addCommand(std::string_view passphrase);
// The add command, and for the log the same with the passphrase masked.
ShownCommand addStep(std::string_view passphrase);

// Protects the characters the shell still interprets between double quotes: \ " $ and `.
std::string escapedForDoubleQuotes(std::string_view text);

} // namespace keychain

// The agent's two launchd daemons of the system domain, main daemon first, updater second.
namespace launchDaemons {

// "launchctl <verb> system <plist>" for each daemon, in that order.
std::vector<std::string> launchctlCommands(std::string_view verb);

} // namespace launchDaemons

// Whether an agent process runs, judged from the process list as the shell pipeline below prints
// it: the agent's executable and the status application both carry the searched name. The list
// is asked for at unlimited width ("ww"): otherwise ps cuts each line to a width it takes from
// COLUMNS or a terminal, and the name stands far to the right, behind the bundle's path. The
// pipeline prints only the first line that names the agent and is not the search itself: a local
// user's programs may each carry as much command line as the system allows, and all their lines
// would make a root process hold as much as the user's process limit times that.
namespace agentProcessSearch {

inline constexpr const char* kShell = "/bin/sh";
std::vector<std::string> shellArguments();

// The listing without the search's own "grep TalvoBackupAgent" (the grep process and the shell
// running the pipeline), then a plain substring test. Invalid UTF-8 counts as an empty listing.
bool mentionsAgent(std::string_view listing);

} // namespace agentProcessSearch

} // namespace talvo
