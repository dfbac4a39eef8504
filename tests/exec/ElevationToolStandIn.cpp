// The exec test binaries' own main. It points the privileged execution at the binary's own tool
// path (TALVO_TEST_ELEVATION_TOOL). Started under the name "pkexec" (that path is a link to the
// test binary, or a copy), it stands in for the elevation tool instead of running tests: the
// setting TALVO_FAKE_PKEXEC says what happened at the authentication dialog. Allowed runs the
// program with its arguments and the stdin it was given, as the real tool does, and passes on its
// status. With the setting TALVO_FAKE_PKEXEC_LOG, each call's command line is appended there, as
// the real tool logs it.
#include "ExecTestSupport.h"
#include "platform/PrivilegedExecution.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>

// A setting of the test that started us (see ScopedStandInSetting).
static std::optional<std::string> testSetting(std::string_view name) {
    std::ifstream file(talvo::test::standInSetting(::getppid(), name), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string{std::istreambuf_iterator<char>(file), {}};
}

static int actAsElevationTool(int argc, char** argv) {
    if (const auto log = testSetting("TALVO_FAKE_PKEXEC_LOG")) {
        std::ofstream lines(*log, std::ios::app);
        lines << "COMMAND=";
        for (int index = 1; index < argc; ++index) {
            lines << argv[index] << (index + 1 < argc ? " " : "\n");
        }
    }
    const std::string dialog = testSetting("TALVO_FAKE_PKEXEC").value_or("");
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
    talvo::useElevationToolForTests(TALVO_TEST_ELEVATION_TOOL);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
