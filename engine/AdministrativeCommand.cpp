#include "engine/AdministrativeCommand.h"

#include "engine/PrintLine.h"
#include "exec/CommandRunner.h"
#include "platform/UserIdentity.h"

namespace talvo {

std::optional<Error> runAdministrativeCommand(CommandRunner& runner, const UserIdentity& user,
                                              std::ostream& out, const std::string& command,
                                              CommandSecrecy secrecy) {
    if (user.isSuperuser()) {
        try {
            runner.syncThrows(command);
        } catch (const Error& error) {
            printLine(out, error.text());
            return error;
        }
        return std::nullopt;
    }
    const auto outcome =
        runner.sudo(secrecy == CommandSecrecy::carriesSecret ? command : "sudo " + command);
    if (outcome.succeeded()) {
        return std::nullopt;
    }
    Error failure = commandError(outcome.statusCode());
    printLine(out, failure.text());
    return failure;
}

} // namespace talvo
