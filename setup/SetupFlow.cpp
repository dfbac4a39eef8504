#include "setup/SetupFlow.h"

#include "engine/PrintLine.h"
#include "exec/Error.h"
#include "platform/FileChecks.h"
#include "setup/ArgumentParser.h"

#include <optional>

namespace talvo {

namespace {

// A shell sees only the low byte of a status: a larger code could read as success, so it
// becomes the general failure status instead.
int exitStatusFor(std::int64_t code) {
    return code <= 255 ? static_cast<int>(code) : 1;
}

// Installs from the profile or the words; nothing when there was nothing to install and no
// configured agent whose daemons should be started.
std::optional<InstallResult> installed(Installer& installer, const FileChecks& files,
                                       const std::vector<std::string>& args,
                                       const ProfileReader& readProfile) {
    if (auto result = installer.runMDMCheck(readProfile)) {
        return result;
    }
    if (args.size() < 2) {
        if (!files.fileExists(Installer::databasePath)) {
            return std::nullopt;
        }
        return InstallResult{};
    }
    return installer.run(ArgumentParser::parse(args));
}

} // namespace

int runSetup(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
             const ProfileReader& readProfile, std::ostream& out) {
    installer.killApp();
    int status = 0;
    try {
        if (const auto result = installed(installer, files, args, readProfile)) {
            installer.bootstrap();
            // A key that could not be stored has printed its line and stopped nothing, but the
            // run must not read as a success.
            if (result->keyNotStored) {
                status = exitStatusFor(result->keyNotStored->code());
            }
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
