#include "engine/AdministrativeCommand.h"

#include "engine/PrintLine.h"
#include "exec/CommandRunner.h"
#include "exec/Error.h"
#include "platform/UserIdentity.h"

namespace talvo {

void runAdministrativeCommand(CommandRunner& runner, const UserIdentity& user, std::ostream& out,
                              const std::string& command) {
    if (user.isSuperuser()) {
        try {
            runner.syncThrows(command);
        } catch (const Error& error) {
            printLine(out, error.text());
        }
        return;
    }
    const auto outcome = runner.sudo("sudo " + command);
    if (!outcome.succeeded()) {
        printLine(out, commandError(outcome.statusCode()).text());
    }
}

} // namespace talvo
