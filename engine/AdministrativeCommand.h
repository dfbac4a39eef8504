#pragma once

#include <iosfwd>
#include <string>

namespace talvo {

class CommandRunner;
class UserIdentity;

// A keychain or launch-daemon step that needs administrator rights. The superuser runs the
// command directly; anyone else runs "sudo " followed by it through the privileged runner. A
// failure on either path is printed as one error line and never raised: the next step still runs.
void runAdministrativeCommand(CommandRunner& runner, const UserIdentity& user, std::ostream& out,
                              const std::string& command);

} // namespace talvo
