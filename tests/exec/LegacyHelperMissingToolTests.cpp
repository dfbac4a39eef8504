#include "ExecTestSupport.h"
#include "LegacyHelperLog.h"
#include "exec/LegacyHelper.h"

#include <gtest/gtest.h>

// This binary's LegacyHelper looks for its elevation tool at TALVO_LATE_ELEVATION_TOOL, which
// only this test creates and removes, so it owns the whole life of the process's authorization.
// That life is one per process: the test holds only in a fresh one (as CTest runs it), not when
// repeated within one run.
namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;

struct Logged {
    PrivilegedOutcome outcome;
    std::vector<std::string> messages;
};

Logged execute(const std::string& path, const std::vector<std::string>& arguments) {
    testing::DescriptorCapture standardError(STDERR_FILENO);
    const PrivilegedOutcome outcome = LegacyHelper::execute(path, arguments);
    return {outcome, testing::loggedMessages(standardError.finish())};
}

TEST(LegacyHelperWithoutTool, FailsAuthorizationUntilTheToolAppearsThenKeepsIt) {
    const std::filesystem::path tool = TALVO_LATE_ELEVATION_TOOL;
    std::filesystem::remove_all(tool.parent_path());

    const Logged missing = execute("/bin/sh", {"-c", "exit 0"});
    EXPECT_EQ(missing.outcome.kind, Kind::Unavailable);
    EXPECT_EQ(missing.outcome.statusCode(), 127);
    EXPECT_EQ(missing.messages, std::vector<std::string>{"Authorization failed"});

    std::filesystem::create_directories(tool.parent_path());
    std::filesystem::copy_file(TALVO_FAKE_ELEVATION_TOOL, tool);
    std::filesystem::permissions(tool, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
    const Logged notExecutable = execute("/bin/sh", {"-c", "exit 0"});
    EXPECT_EQ(notExecutable.outcome.kind, Kind::Unavailable);
    EXPECT_EQ(notExecutable.messages, std::vector<std::string>{"Authorization failed"});

    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const Logged found = execute("/bin/sh", {"-c", "exit 4"});
    EXPECT_EQ(found.outcome.kind, Kind::Ran);
    EXPECT_EQ(found.outcome.exitStatus, 4);
    EXPECT_EQ(found.messages,
              (std::vector<std::string>{"AuthorizationExecuteWithPrivileges",
                                        "AuthorizationExecuteWithPrivileges: Done"}));

    // Once made, the authorization is kept: it is not looked for again, so a tool that has gone
    // away is a failed start rather than a missing authorization.
    std::filesystem::remove_all(tool.parent_path());
    const Logged gone = execute("/bin/sh", {"-c", "exit 0"});
    EXPECT_EQ(gone.outcome.kind, Kind::Denied);
    EXPECT_EQ(gone.messages,
              (std::vector<std::string>{
                  "AuthorizationExecuteWithPrivileges",
                  "AuthorizationExecuteWithPrivileges: Failed to execute with privileges"}));
}

} // namespace
} // namespace talvo
