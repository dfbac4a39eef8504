#include "platform/ChildProcess.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace talvo {
namespace {

TEST(SystemProcessLauncher, ReturnsTheRawStandardOutputOfTheProgramItself) {
    SystemProcessLauncher launcher;
    testing::DescriptorCapture standardError(STDERR_FILENO);
    // No shell: the words reach the program as they are. Untrimmed, the exit status ignored.
    EXPECT_EQ(launcher.standardOutputOf("/bin/echo", {"$HOME", "a  b", "*"}), "$HOME a  b *\n");
    EXPECT_EQ(launcher.standardOutputOf("/bin/sh", {"-c", "printf ' x \\n'; echo e >&2; exit 3"}),
              " x \n");
    EXPECT_EQ(standardError.finish(), "e\n");
    EXPECT_EQ(launcher.standardOutputOf("/nonexistent/talvo-program", {}), std::nullopt);
    EXPECT_EQ(launcher.standardOutputOf("echo", {"not looked up on PATH"}), std::nullopt);
}

TEST(ChildProcess, CollectsOutputWithOrWithoutStandardErrorAndTellsHowTheProgramEnded) {
    const auto both = runCollectingOutput("/bin/sh", {"-c", "echo out; echo err >&2; exit 9"},
                                          ErrorStream::Captured);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->bytes, "out\nerr\n");
    EXPECT_EQ(both->exitStatus, 9);
    const auto killed =
        runCollectingOutput("/bin/sh", {"-c", "kill -KILL $$"}, ErrorStream::Captured);
    ASSERT_TRUE(killed);
    EXPECT_EQ(killed->exitStatus, 128 + 9);
    // argv[0] is the program itself.
    EXPECT_EQ(
        runCollectingOutput("/bin/sh", {"-c", "printf %s \"$0\""}, ErrorStream::Inherited)->bytes,
        "/bin/sh");
    EXPECT_EQ(runCollectingOutput("/nonexistent/program", {}, ErrorStream::Captured), std::nullopt);
}

TEST(ChildProcess, DiscardingRunHandsOverItsInputThenEndOfFileAndDropsTheOutput) {
    testing::DescriptorCapture standardError(STDERR_FILENO);
    EXPECT_EQ(runDiscardingOutput("/bin/sh", {"-c", "echo dropped; wc -c >&2; exit 5"}, "12345"),
              5);
    EXPECT_EQ(standardError.finish(), "5\n");
    EXPECT_EQ(runDiscardingOutput("/nonexistent/program", {}, ""), std::nullopt);
}

TEST(ChildProcess, ExecutableFilesAreRegularAndExecutable) {
    EXPECT_TRUE(isExecutableFile("/bin/sh"));
    EXPECT_FALSE(isExecutableFile("/"));
    EXPECT_FALSE(isExecutableFile("/etc/passwd"));
    EXPECT_FALSE(isExecutableFile("/nonexistent/program"));
}

} // namespace
} // namespace talvo
