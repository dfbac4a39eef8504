#include "exec/LegacyHelper.h"

#include "platform/ChildProcess.h"
#include "platform/SystemLog.h"

#include <optional>

// The tool that asks for an administrator's password and then runs a program as root. Always
// an absolute path: a PATH search would let whoever controls the environment pick the program
// that receives the password. Test builds compile this file again with a stand-in.
#ifndef TALVO_ELEVATION_TOOL
#define TALVO_ELEVATION_TOOL "/usr/bin/pkexec"
#endif

namespace talvo {

namespace {

// pkexec's own exit statuses: the dialog was dismissed, or rights were refused or pkexec itself
// failed. A tool that exits with one of them itself looks the same, which is why callers must
// read Dismissed and Denied as "maybe did not run" and never as success.
constexpr int kDialogDismissedStatus = 126;
constexpr int kNotAuthorizedStatus = 127;

// The process's one authorization to run tools as administrator: here, the elevation tool, found
// once and kept for the rest of the process, so every privileged command goes through the same
// one, as rights granted at one prompt may serve the next.
class Authorization {
  public:
    static std::optional<Authorization> create() {
        if (!isExecutableFile(TALVO_ELEVATION_TOOL)) {
            return std::nullopt;
        }
        return Authorization(TALVO_ELEVATION_TOOL);
    }

    const std::string& toolPath() const { return toolPath_; }

  private:
    explicit Authorization(std::string toolPath) : toolPath_(std::move(toolPath)) {}

    std::string toolPath_;
};

PrivilegedOutcome outcomeOf(std::optional<int> toolStatus) {
    using Kind = PrivilegedOutcome::Kind;
    if (!toolStatus) {
        return {Kind::Denied, 0};
    }
    switch (*toolStatus) {
    case kDialogDismissedStatus:
        return {Kind::Dismissed, 0};
    case kNotAuthorizedStatus:
        return {Kind::Denied, 0};
    default:
        return {Kind::Ran, *toolStatus};
    }
}

} // namespace

PrivilegedOutcome LegacyHelper::execute(const std::string& path,
                                        const std::vector<std::string>& arguments,
                                        std::string_view input) {
    // Starts empty; once created it is never given up, and while it is missing every call tries
    // again, since the tool may have been installed in the meantime.
    static std::optional<Authorization> authorization;
    if (!authorization) {
        authorization = Authorization::create();
    }
    if (!authorization) {
        logToSystem("Authorization failed");
        return {PrivilegedOutcome::Kind::Unavailable, 0};
    }

    std::vector<std::string> toolArguments{path};
    toolArguments.insert(toolArguments.end(), arguments.begin(), arguments.end());

    logToSystem("AuthorizationExecuteWithPrivileges");
    const PrivilegedOutcome outcome =
        outcomeOf(runDiscardingOutput(authorization->toolPath(), toolArguments, input));
    logToSystem(outcome.kind == PrivilegedOutcome::Kind::Ran
                    ? "AuthorizationExecuteWithPrivileges: Done"
                    : "AuthorizationExecuteWithPrivileges: Failed to execute with privileges");
    return outcome;
}

} // namespace talvo
