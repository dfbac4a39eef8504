#include "ExecTestSupport.h"
#include "exec/ProcessLauncher.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

TEST(PosixProcessLauncher, ReturnsRawStandardOutputOfTheProgramItself) {
    PosixProcessLauncher launcher;
    // No shell: the words reach the program as they are.
    EXPECT_EQ(launcher.standardOutputOf("/bin/echo", {"$HOME", "a  b", "*"}), "$HOME a  b *\n");
    // Untrimmed, the exit status ignored.
    EXPECT_EQ(launcher.standardOutputOf("/bin/sh", {"-c", "printf ' x \\n'; exit 3"}), " x \n");
    EXPECT_EQ(launcher.standardOutputOf("/bin/sh", {"-c", "echo a | tr a b"}), "b\n");
    EXPECT_EQ(launcher.standardOutputOf("/bin/true", {}), "");
}

TEST(PosixProcessLauncher, LeavesStandardErrorAloneAndReportsProgramsThatCannotStart) {
    PosixProcessLauncher launcher;
    testing::DescriptorCapture standardError(STDERR_FILENO);
    const auto output = launcher.standardOutputOf("/bin/sh", {"-c", "echo out; echo err >&2"});
    EXPECT_EQ(standardError.finish(), "err\n");
    EXPECT_EQ(output, "out\n");

    EXPECT_EQ(launcher.standardOutputOf("/nonexistent/talvo-program", {}), std::nullopt);
    EXPECT_EQ(launcher.standardOutputOf("echo", {"not looked up on PATH"}), std::nullopt);
}

} // namespace
} // namespace talvo
