#include "ExecTestSupport.h"
#include "LegacyHelperLog.h"
#include "exec/LegacyHelper.h"

#include <csignal>
#include <gtest/gtest.h>

// These run against the test build's stand-in for the elevation tool, which does what
// TALVO_FAKE_PKEXEC says the user did at the dialog.
namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;
using testing::DescriptorCapture;
using testing::ScopedEnvironmentVariable;
using testing::TemporaryDirectory;

struct Logged {
    PrivilegedOutcome outcome;
    std::vector<std::string> messages;
};

Logged execute(const std::string& path, const std::vector<std::string>& arguments) {
    DescriptorCapture standardError(STDERR_FILENO);
    const PrivilegedOutcome outcome = LegacyHelper::execute(path, arguments);
    return {outcome, testing::loggedMessages(standardError.finish())};
}

const std::vector<std::string> kDoneLog{"AuthorizationExecuteWithPrivileges",
                                        "AuthorizationExecuteWithPrivileges: Done"};
const std::vector<std::string> kFailedLog{
    "AuthorizationExecuteWithPrivileges",
    "AuthorizationExecuteWithPrivileges: Failed to execute with privileges"};

TEST(LegacyHelper, AllowedRunsTheToolAndPassesItsStatusBack) {
    const TemporaryDirectory scratch;
    const auto marker = scratch.path() / "ran";
    const Logged ran = execute("/bin/sh", {"-c", "echo x > \"$1\"; exit 7", "sh", marker});
    EXPECT_EQ(ran.outcome.kind, Kind::Ran);
    EXPECT_EQ(ran.outcome.exitStatus, 7);
    EXPECT_EQ(ran.messages, kDoneLog);
    EXPECT_TRUE(std::filesystem::exists(marker));

    const Logged succeeded = execute("/bin/sh", {"-c", "exit 0"});
    EXPECT_TRUE(succeeded.outcome.succeeded());
    EXPECT_EQ(succeeded.messages, kDoneLog);

    const Logged killed = execute("/bin/sh", {"-c", "kill -TERM $$"});
    EXPECT_EQ(killed.outcome.kind, Kind::Ran);
    EXPECT_EQ(killed.outcome.exitStatus, 128 + SIGTERM);
}

TEST(LegacyHelper, ArgumentsReachTheToolAsTheirUtf8BytesAndMayBeNone) {
    const TemporaryDirectory scratch;
    const auto words = scratch.path() / "words";
    const Logged quoted = execute("/bin/sh", {"-c", "printf '%s|' \"$@\" > \"$0\"", words,
                                              "Grüße ✓", "", "two  spaces", "$HOME"});
    EXPECT_EQ(quoted.outcome.exitStatus, 0);
    EXPECT_EQ(testing::contentsOf(words), "Grüße ✓||two  spaces|$HOME|");

    const auto countFile = scratch.path() / "count";
    const auto script = scratch.path() / "count-arguments";
    testing::writeExecutable(script, "#!/bin/sh\necho $# > '" + countFile.string() + "'\n");
    const Logged bare = execute(script, {});
    EXPECT_EQ(bare.outcome.kind, Kind::Ran);
    EXPECT_EQ(testing::contentsOf(countFile), "0\n");
}

TEST(LegacyHelper, ReadsAllOutputAndReturnsOnceTheToolClosesIt) {
    // Far more than a pipe holds, in lines longer than the read buffer too.
    const Logged chatty = execute(
        "/bin/sh", {"-c", "seq 1 100000; head -c 5000 /dev/zero | tr '\\0' x; echo; exit 3"});
    EXPECT_EQ(chatty.outcome.kind, Kind::Ran);
    EXPECT_EQ(chatty.outcome.exitStatus, 3);
    EXPECT_EQ(chatty.messages, kDoneLog);
}

TEST(LegacyHelper, DismissedAndDeniedRunNothingAndSaySo) {
    const TemporaryDirectory scratch;
    const auto marker = scratch.path() / "ran";
    const std::vector<std::string> command{"-c", "touch \"$0\"", marker};
    const struct {
        const char* dialog;
        Kind kind;
        int statusCode;
    } cases[] = {{"dismiss", Kind::Dismissed, 126}, {"deny", Kind::Denied, 127}};
    for (const auto& example : cases) {
        const ScopedEnvironmentVariable dialog("TALVO_FAKE_PKEXEC", example.dialog);
        const Logged refused = execute("/bin/sh", command);
        EXPECT_EQ(refused.outcome.kind, example.kind) << example.dialog;
        EXPECT_EQ(refused.outcome.statusCode(), example.statusCode) << example.dialog;
        EXPECT_FALSE(refused.outcome.succeeded());
        EXPECT_EQ(refused.messages, kFailedLog) << example.dialog;
        EXPECT_FALSE(std::filesystem::exists(marker)) << example.dialog;
    }
    // A refusal does not spoil the authorization for the next call.
    EXPECT_TRUE(execute("/bin/sh", {"-c", "exit 0"}).outcome.succeeded());
}

} // namespace
} // namespace talvo
