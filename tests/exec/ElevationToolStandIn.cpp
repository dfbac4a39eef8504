// The exec test binaries' own main. Started under the name "pkexec" (the elevation tool path the
// test builds of LegacyHelper use is a link to the test binary), it stands in for the elevation
// tool instead of running tests: TALVO_FAKE_PKEXEC says what happened at the authentication
// dialog. Allowed runs the program with its arguments and the stdin it was given, as the real
// tool does, and passes on its status. With TALVO_FAKE_PKEXEC_LOG set, each call's command line
// is appended there, as the real tool logs it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string_view>
#include <unistd.h>

static int actAsElevationTool(int argc, char** argv) {
    if (const char* log = std::getenv("TALVO_FAKE_PKEXEC_LOG")) {
        std::ofstream lines(log, std::ios::app);
        lines << "COMMAND=";
        for (int index = 1; index < argc; ++index) {
            lines << argv[index] << (index + 1 < argc ? " " : "\n");
        }
    }
    const char* const answer = std::getenv("TALVO_FAKE_PKEXEC");
    const std::string_view dialog = answer == nullptr ? "" : answer;
    if (dialog == "dismiss") {
        return 126; // the tool's status for a dismissed dialog
    }
    if (dialog != "deny" && argc >= 2) {
        ::execvp(argv[1], argv + 1);
    }
    return 127; // denied, or the program could not start
}

int main(int argc, char** argv) {
    if (std::filesystem::path(argv[0]).filename() == "pkexec") {
        return actAsElevationTool(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
