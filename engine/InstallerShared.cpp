#include "engine/Installer.h"
#include "exec/ProcessLauncher.h"
#include "exec/ShellCommandRunner.h"
#include "platform/FileChecks.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <iostream>

namespace talvo {

namespace {

// The real computer, created with the one shared Installer and living as long as the process.
struct SystemEnvironment {
    ShellCommandRunner runner{[](const std::string& line) { Installer::shared().debug(line); }};
    PosixProcessLauncher processes;
    LocalFileChecks files;
    LinuxWorkspace workspace;
    ProcRunningApplications applications;
    ProcessUserIdentity user;
};

} // namespace

Installer& Installer::shared() {
    static SystemEnvironment system;
    static Installer installer(InstallerEnvironment{system.runner, system.processes, system.files,
                                                    system.workspace, system.applications,
                                                    system.user, std::cout});
    return installer;
}

} // namespace talvo
