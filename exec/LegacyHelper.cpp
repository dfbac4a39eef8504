#include "exec/LegacyHelper.h"

#include "platform/PrivilegedExecution.h"
#include "platform/SystemLog.h"

#include <optional>

namespace talvo {

PrivilegedOutcome LegacyHelper::execute(const std::string& path,
                                        const std::vector<std::string>& arguments,
                                        std::string_view input) {
    // The process's one authorization. Starts empty; once created it is never given up, and
    // while it is missing every call tries again, since it may be obtainable by then (the
    // elevation tool installed in the meantime, say).
    static std::optional<PrivilegedAuthorization> authorization;
    if (!authorization) {
        authorization = PrivilegedAuthorization::create();
    }
    if (!authorization) {
        logToSystem("Authorization failed");
        return {PrivilegedOutcome::Kind::unavailable, 0};
    }

    logToSystem("AuthorizationExecuteWithPrivileges");
    const PrivilegedOutcome outcome = authorization->run(path, arguments, input);
    logToSystem(outcome.kind == PrivilegedOutcome::Kind::ran
                    ? "AuthorizationExecuteWithPrivileges: Done"
                    : "AuthorizationExecuteWithPrivileges: Failed to execute with privileges");
    return outcome;
}

} // namespace talvo
