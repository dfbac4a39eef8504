#include "ExecTestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

// The elevation tool (TALVO_TEST_ELEVATION_TOOL) is this test's alone to make and remove; the
// process's one authorization lasts as long as the process, so each run is a fresh copy.
namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;
using test::executeLogged;
using Messages = std::vector<std::string>;

TEST(LegacyHelperWithoutTool, FailsAuthorizationUntilTheToolAppearsThenKeepsIt) {
    if (!test::isFreshCopy()) {
        const CollectedOutput copy = test::runFreshCopyOfThisTest();
        EXPECT_EQ(copy.exitStatus, 0) << copy.bytes;
        return;
    }
    namespace fs = std::filesystem;
    const fs::path tool = TALVO_TEST_ELEVATION_TOOL;
    fs::remove_all(tool.parent_path());
    EXPECT_EQ(executeLogged("/bin/sh", {"-c", "exit 0"}).messages,
              Messages{"Authorization failed"});

    fs::create_directories(tool.parent_path());
    // This binary acts as the tool when started under the tool's name.
    fs::copy_file("/proc/self/exe", tool);
    fs::permissions(tool, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(executeLogged("/bin/sh", {"-c", "exit 0"}).outcome.kind, Kind::unavailable)
        << "not executable";

    fs::permissions(tool, fs::perms::owner_all);
    EXPECT_EQ(executeLogged("/bin/sh", {"-c", "exit 4"}).outcome.statusCode(), 4);

    // Once made, the authorization is kept: it is not looked for again, so a tool that has gone
    // away is a failed start rather than a missing authorization.
    fs::remove_all(tool.parent_path());
    const auto gone = executeLogged("/bin/sh", {"-c", "exit 0"});
    EXPECT_EQ(gone.outcome.kind, Kind::denied);
    EXPECT_EQ(gone.messages.back(),
              "AuthorizationExecuteWithPrivileges: Failed to execute with privileges");
}

} // namespace
} // namespace talvo
