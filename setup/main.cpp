#include "engine/Installer.h"
#include "platform/Desktop.h"
#include "setup/ArgumentParser.h"
#include "setup/SetupFlow.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
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
