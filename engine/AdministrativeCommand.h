#pragma once

#include "exec/Error.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace talvo {

class CommandRunner;
class UserIdentity;

// Whether a command line carries a secret. sudo writes every command line it runs, arguments
// included, to the system's authentication log, so such a line never goes through it.
enum class CommandSecrecy { plain, carriesSecret };

// A keychain or launch-daemon step that needs administrator rights. The superuser runs the
// command directly; anyone else runs it through the privileged runner, a plain one behind "sudo "
// and one that carries a secret as it is (it runs as root already). A failure on either path is
// printed as one error line and never raised: the next step still runs. Gives that failure, or
// nothing when the command succeeded.
std::optional<Error> runAdministrativeCommand(CommandRunner& runner, const UserIdentity& user,
                                              std::ostream& out, const std::string& command,
                                              CommandSecrecy secrecy = CommandSecrecy::plain);

} // namespace talvo
