#pragma once

// The one rule for a step that needs administrator rights: the superuser runs it directly and
// sees its outcome; anyone else runs it through the runner's privileged path, behind the system's
// authentication dialog.

#include "engine/RunLog.h"
#include "exec/Error.h"

#include <optional>

namespace talvo {

class CommandRunner;
class UserIdentity;

// A step in the form each path runs it.
struct AdministrativeStep {
    ShownCommand asSuperuser;
    ShownCommand withDialog;
};

// Runs the step on the path the effective user decides. A failure is written to the log with the
// shown form of the command that ran, and given back: the superuser's as the runner raised it,
// a privileged one as the command error of its status code. Nothing is printed or raised here, so
// that each caller reports a failure its own way.
std::optional<Error> runWithAdministratorRights(CommandRunner& runner, const UserIdentity& user,
                                                const LogSink& log, const AdministrativeStep& step);

} // namespace talvo
