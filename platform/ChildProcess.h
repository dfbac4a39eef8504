#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Starting programs, collecting what they print and waiting for them, apart from how the
// operating system does each step. Every program gets program itself as argv[0], then arguments,
// and the caller's environment and working directory, unless we run as root (below). Exit statuses
// are in shell terms: the program's own status, or 128 plus the number of the signal that ended it
// (1 when the system could not tell how it ended). A SIGCHLD that a parent left ignored is set back
// to its default before each start, since the system would otherwise reap our children itself and
// no status could be told.
namespace talvo {

// What every program started by a process whose effective user is root sees, whoever started that
// process: exactly this environment, this umask, "/" as its folder, default signal handling and
// no descriptor but its three standard streams. Whatever a caller's PATH, shell functions,
// start-up files, umask or folder would make of a root command is not theirs to decide.
inline constexpr const char* kRootEnvironment[] = {
    "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
    "HOME=/var/root",
    "USER=root",
    "LOGNAME=root",
    "SHELL=/bin/sh",
};
inline constexpr unsigned kRootUmask = 022;

enum class ErrorStream {
    captured,  // stderr goes into the same pipe as stdout, interleaved as written
    inherited, // stderr stays the caller's
};

struct CollectedOutput {
    std::string bytes;
    int exitStatus = 0;
};

// Starts program with the caller's stdin. The pipe is read while the program runs and on to its
// end, so the call returns only after the program and everything it started have closed it; only
// then is the program waited for. Nothing when it could not be started. Throws std::bad_alloc
// when the output outgrows memory, after the program has been reaped.
std::optional<CollectedOutput> runCollectingOutput(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   ErrorStream errorStream);

// Starts program with input as its whole stdin (end of file follows at once), reads its stdout
// line by line and throws it away, leaves stderr inherited. The input is handed over in full
// before the output is read: the program must take all of it before it writes much. Gives the
// exit status, or nothing when the program could not be started.
std::optional<int> runDiscardingOutput(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       std::string_view input);

// Starts a program in a session of its own, with stdin, stdout and stderr on /dev/null and no
// other descriptor of ours, and does not wait for it. False when it could not be started.
bool startDetached(const std::string& program, const std::vector<std::string>& arguments);

// Reaps our child processId whenever it ends, without waiting for it here, so that it never
// lingers as a zombie of a long-lived caller.
void reapInBackground(int processId);

// Whether path names a regular file that this process may execute.
bool isExecutableFile(const std::string& path);

// Starts a program directly (no shell, no runner, no trace) with stdout on a pipe and stderr
// inherited, waits for it and returns the raw bytes it wrote to stdout, or nothing when it could
// not be started. Its exit status is not looked at.
class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;
    virtual std::optional<std::string>
    standardOutputOf(const std::string& executable, const std::vector<std::string>& arguments) = 0;
};

class SystemProcessLauncher final : public ProcessLauncher {
  public:
    std::optional<std::string> standardOutputOf(const std::string& executable,
                                                const std::vector<std::string>& arguments) override;
};

} // namespace talvo
