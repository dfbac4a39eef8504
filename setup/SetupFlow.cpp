#include "setup/SetupFlow.h"

#include "engine/PrintLine.h"
#include "exec/Error.h"
#include "platform/FileChecks.h"
#include "setup/ArgumentParser.h"

namespace talvo {

namespace {

// A shell sees only the low byte of a status: a larger code could read as success, so it
// becomes the general failure status instead.
int exitStatusFor(std::int64_t code) {
    return code <= 255 ? static_cast<int>(code) : 1;
}

// Installs from the profile or the words; false when there was nothing to install and no
// configured agent whose daemons should be started.
bool installed(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
               const ProfileReader& readProfile) {
    if (installer.runMDMCheck(readProfile)) {
        return true;
    }
    if (args.size() < 2) {
        return files.fileExists(Installer::databasePath);
    }
    installer.run(ArgumentParser::parse(args));
    return true;
}

} // namespace

int runSetup(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
             const ProfileReader& readProfile, std::ostream& out) {
    installer.killApp();
    int status = 0;
    try {
        if (installed(installer, files, args, readProfile)) {
            installer.bootstrap();
        }
    } catch (const Error& error) {
        printLine(out, error.text());
        if (error.code() >= 1) {
            return exitStatusFor(error.code());
        }
        status = kExitDataError;
    }
    installer.runApp();
    return status;
}

} // namespace talvo
