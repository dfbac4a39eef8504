#include "engine/Installer.h"
#include "engine/RunLog.h"
#include "platform/Files.h"
#include "platform/SystemLog.h"
#include "setup/ArgumentParser.h"
#include "setup/SetupFlow.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // A reader gone from stdout would otherwise end the run between taking the daemons down and
    // starting them again; the printed lines still reach the system log.
    std::signal(SIGPIPE, SIG_IGN);
    // One identifier for every entry of every run, whatever the executable is called, so that an
    // admin can collect them all with one query.
    talvo::openSystemLog("talvo-setup");
    // Every line printed, by whichever part, also goes to the system log, unchanged on stdout.
    const talvo::CopiedLines copied(std::cout, talvo::writeSystemLog);
    // Even copying the words can run out of memory; no failure may end the run in an abort.
    try {
        const std::vector<std::string> args(argv, argv + argc);
        const talvo::LocalFileChecks files;
        return talvo::runSetup(talvo::Installer::shared(), files, args,
                               talvo::ArgumentParser::profile, std::cout);
    } catch (...) {
        return talvo::reportUnexpectedFailure(std::cout);
    }
}
