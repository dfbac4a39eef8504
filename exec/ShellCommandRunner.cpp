#include "exec/ShellCommandRunner.h"

#include "exec/ChildProcess.h"
#include "exec/Error.h"
#include "exec/LegacyHelper.h"
#include "exec/OutputText.h"

#include <utility>

namespace talvo {

namespace {

const std::string kShell = "/bin/sh";

// What a shell reports for a program it cannot start; a shell that cannot start itself reads to
// callers as a command that failed the same way.
constexpr int kCannotStartStatus = 127;

// The privileged shell's whole command line: it reads the command from its stdin to the end, then
// runs it. The elevation tool logs its command line, and a command may carry a passphrase; read
// in full first, so that a command reading stdin gets end of file rather than the rest of itself.
const std::string kRunCommandFromInput =
    "script=; nl='\n'; "
    "while IFS= read -r line; do script=$script$line$nl; done; "
    "eval \"$script$line\"";

} // namespace

ShellCommandRunner::ShellCommandRunner(TraceSink trace) : trace_(std::move(trace)) {}

std::string ShellCommandRunner::syncThrows(const std::string& command) {
    if (trace_) {
        trace_("Execute: " + command);
    }
    std::optional<CollectedOutput> finished =
        runCollectingOutput(kShell, {kShell, "-c", command}, ErrorStream::Captured);
    const int status = finished ? finished->exitStatus : kCannotStartStatus;
    std::string output = finished ? outputText(std::move(finished->bytes)) : std::string();
    if (trace_) {
        trace_("Result " + output);
    }
    if (status != 0) {
        throw commandError(status);
    }
    return output;
}

PrivilegedOutcome ShellCommandRunner::sudo(const std::string& command) {
    if (trace_) {
        trace_("Execute: " + command);
    }
    return LegacyHelper::execute(kShell, {"-c", kRunCommandFromInput}, command);
}

} // namespace talvo
