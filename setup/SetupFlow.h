#pragma once

// One unattended run of Setup, from its words to its exit status.

#include "engine/Installer.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace talvo {

class FileChecks;

// Exit status of a run that ended with an error of code 0 or less (the input error): the
// settings were unusable, so the run must not read as a success.
inline constexpr int kExitDataError = 65;
// Exit statuses of a run that failed in a way no step reports itself: out of memory (EX_OSERR,
// a condition of the computer rather than of the installer), or anything else (EX_SOFTWARE).
inline constexpr int kExitOutOfMemory = 71;
inline constexpr int kExitInternalError = 70;

// One unattended run: stop the running agent, install from the managed profile or else from the
// KEY=VALUE words (program path first), start the daemons, open the agent application. Returns
// the process's exit status. Nothing escapes: a failure no step handles is printed as one error
// line and ends the run at once with the status reportUnexpectedFailure gives. The installer's log
// gets the version and the user first and the exit status and duration last.
int runSetup(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
             const ProfileReader& readProfile, std::ostream& out);

// Inside a catch handler only: prints the exception being handled as one error line and gives
// the exit status for it. Needs no memory when memory has run out.
int reportUnexpectedFailure(std::ostream& out) noexcept;

} // namespace talvo
