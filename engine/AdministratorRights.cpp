#include "engine/AdministratorRights.h"

#include "exec/CommandRunner.h"
#include "platform/UserIdentity.h"

namespace talvo {

std::optional<Error> runWithAdministratorRights(CommandRunner& runner, const UserIdentity& user,
                                                const LogSink& log,
                                                const AdministrativeStep& step) {
    if (user.isSuperuser()) {
        try {
            runner.syncThrows(step.asSuperuser.text);
        } catch (const Error& error) {
            if (log) {
                log(failedCommandEntry(step.asSuperuser, error));
            }
            return error;
        }
        return std::nullopt;
    }
    const auto outcome = runner.sudo(step.withDialog.text);
    if (outcome.succeeded()) {
        return std::nullopt;
    }
    if (log) {
        log(failedCommandEntry(step.withDialog, outcome));
    }
    return commandError(outcome.statusCode());
}

} // namespace talvo
