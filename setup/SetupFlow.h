#pragma once

#include "engine/Installer.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace talvo {

class FileChecks;

// Exit status of a run that ended with an error of code 0 or less (the input error): the
// settings were unusable, so the run must not read as a success.
inline constexpr int kExitDataError = 65;

// One unattended run: stop the running agent, install from the managed profile or else from the
// KEY=VALUE words (program path first), start the daemons, open the agent application. Returns
// the process's exit status.
int runSetup(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
             const ProfileReader& readProfile, std::ostream& out);

} // namespace talvo
