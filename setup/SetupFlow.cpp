#include "setup/SetupFlow.h"

#include "engine/InstalledAgent.h"
#include "exec/Error.h"
#include "platform/Files.h"
#include "setup/ArgumentParser.h"
#include "talvo/Version.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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
        if (!files.fileExists(kDatabasePath)) {
            return std::nullopt;
        }
        return InstallResult{};
    }
    return installer.run(ArgumentParser::parse(args));
}

// Written out in full, so that printing it allocates nothing.
constexpr std::string_view kOutOfMemoryLine =
    "Error Domain=InternalError Code=71 \"Out of memory\"";
constexpr std::string_view kUnknownFailureLine =
    "Error Domain=InternalError Code=70 \"Unknown failure\"";

// One line, whatever the exception's text holds.
std::string internalErrorLine(std::string_view what) {
    std::string description(what);
    for (char& character : description) {
        if (character == '\n' || character == '\r') {
            character = ' ';
        }
    }
    return Error("InternalError", kExitInternalError, std::move(description)).text();
}

int runSteps(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
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

// The log's last entry for the run: how it ended and how long it took, in milliseconds.
void logEnd(const Installer& installer, int status,
            std::chrono::steady_clock::time_point started) noexcept {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%03lld",
                  static_cast<long long>(elapsed.count() / 1000),
                  static_cast<long long>(elapsed.count() % 1000));
    try {
        installer.log("Setup ended with exit status " + std::to_string(status) + " after " +
                      seconds + " s");
    } catch (...) {
        // Out of memory at the very end: the status is the outcome, the entry is only a copy.
    }
}

} // namespace

int runSetup(Installer& installer, const FileChecks& files, const std::vector<std::string>& args,
             const ProfileReader& readProfile, std::ostream& out) {
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    try {
        installer.log(std::string("Setup ") + kVersion + " started by uid " +
                      std::to_string(installer.effectiveUserId()));
        status = runSteps(installer, files, args, readProfile, out);
    } catch (...) {
        status = reportUnexpectedFailure(out);
    }
    logEnd(installer, status, started);
    return status;
}

int reportUnexpectedFailure(std::ostream& out) noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        printLine(out, kOutOfMemoryLine);
        return kExitOutOfMemory;
    } catch (const Error& error) {
        // Raised where every step that raises is caught: still the error's own line and code.
        printLine(out, error.text());
        return error.code() >= 1 ? exitStatusFor(error.code()) : kExitInternalError;
    } catch (const std::exception& failure) {
        try {
            printLine(out, internalErrorLine(failure.what()));
        } catch (...) {
            printLine(out, kUnknownFailureLine);
        }
        return kExitInternalError;
    } catch (...) {
        printLine(out, kUnknownFailureLine);
        return kExitInternalError;
    }
}

} // namespace talvo
