#include "platform/ChildProcess.h"
#include "platform/PrivilegedExecution.h"

#include <utility>

namespace talvo {

namespace {

// The tool that asks for an administrator's password and then runs a program as root.
constexpr const char* kElevationTool = "/usr/bin/pkexec";

// The tool create() uses: kElevationTool unless a test has pointed it elsewhere.
std::string& elevationTool() {
    static std::string path = kElevationTool;
    return path;
}

// pkexec's own exit statuses: the dialog was dismissed, or rights were refused or pkexec itself
// failed. A tool that exits with one of them itself looks the same, which is why callers must
// read dismissed and denied as "maybe did not run" and never as success.
constexpr int kDialogDismissedStatus = 126;
constexpr int kNotAuthorizedStatus = 127;

} // namespace

// Here the authorization is the elevation tool, found once.
struct PrivilegedAuthorization::State {
    std::string toolPath;
};

void useElevationToolForTests(std::string path) {
    elevationTool() = std::move(path);
}

std::optional<PrivilegedAuthorization> PrivilegedAuthorization::create() {
    if (!isExecutableFile(elevationTool())) {
        return std::nullopt;
    }
    return PrivilegedAuthorization(std::make_unique<State>(State{elevationTool()}));
}

PrivilegedAuthorization::PrivilegedAuthorization(std::unique_ptr<State> state)
    : state_(std::move(state)) {}
PrivilegedAuthorization::~PrivilegedAuthorization() = default;
PrivilegedAuthorization::PrivilegedAuthorization(PrivilegedAuthorization&& other) noexcept =
    default;
PrivilegedAuthorization&
PrivilegedAuthorization::operator=(PrivilegedAuthorization&& other) noexcept = default;

// pkexec runs the program with every user id root and passes stdin and stdout through.
PrivilegedOutcome PrivilegedAuthorization::run(const std::string& path,
                                               const std::vector<std::string>& arguments,
                                               std::string_view input) {
    using Kind = PrivilegedOutcome::Kind;
    std::vector<std::string> toolArguments{path};
    toolArguments.insert(toolArguments.end(), arguments.begin(), arguments.end());
    const std::optional<int> status = runDiscardingOutput(state_->toolPath, toolArguments, input);
    if (!status) {
        return {Kind::denied, 0};
    }
    switch (*status) {
    case kDialogDismissedStatus:
        return {Kind::dismissed, 0};
    case kNotAuthorizedStatus:
        return {Kind::denied, 0};
    default:
        return {Kind::ran, *status};
    }
}

} // namespace talvo
