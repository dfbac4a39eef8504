#include "ExecTestSupport.h"

#include <gtest/gtest.h>

// These run against the test build's stand-in for the elevation tool, which does what
// TALVO_FAKE_PKEXEC says the user did at the dialog. The programs they run answer on stderr,
// which the tool passes on and executeLogged collects between the log lines.
namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;
using testing::executeLogged;
using Messages = std::vector<std::string>;

const std::string kStarting = "AuthorizationExecuteWithPrivileges";
const std::string kDone = "AuthorizationExecuteWithPrivileges: Done";

TEST(LegacyHelper, AllowedRunsTheProgramWithItsWordsAsBytesAndPassesItsStatusBack) {
    const auto ran = executeLogged("/bin/sh", {"-c", "printf '%s|' \"$@\" >&2; echo >&2; exit 7",
                                               "sh", "Grüße ✓", "", "two  spaces", "$HOME"});
    EXPECT_EQ(ran.outcome.kind, Kind::Ran);
    EXPECT_EQ(ran.outcome.exitStatus, 7);
    EXPECT_EQ(ran.messages, (Messages{kStarting, "Grüße ✓||two  spaces|$HOME|", kDone}));
}

TEST(LegacyHelper, ReadsAllOutputAndReturnsOnceTheToolClosesIt) {
    // Far more than a pipe holds, in lines longer than the read buffer too.
    const auto chatty = executeLogged(
        "/bin/sh", {"-c", "seq 1 100000; head -c 5000 /dev/zero | tr '\\0' x; echo; exit 3"});
    EXPECT_EQ(chatty.outcome.kind, Kind::Ran);
    EXPECT_EQ(chatty.outcome.exitStatus, 3);
    EXPECT_EQ(chatty.messages, (Messages{kStarting, kDone}));
}

TEST(LegacyHelper, DismissedAndDeniedRunNothingAndSaySo) {
    for (const auto& [dialog, kind] :
         {std::pair{"dismiss", Kind::Dismissed}, std::pair{"deny", Kind::Denied}}) {
        const testing::ScopedEnvironmentVariable answer("TALVO_FAKE_PKEXEC", dialog);
        const auto refused = executeLogged("/bin/sh", {"-c", "echo ran >&2"});
        EXPECT_EQ(refused.outcome.kind, kind) << dialog;
        EXPECT_EQ(refused.messages,
                  (Messages{kStarting, kStarting + ": Failed to execute with privileges"}));
    }
    // A refusal does not spoil the authorization for the next call.
    EXPECT_TRUE(executeLogged("/bin/sh", {"-c", "exit 0"}).outcome.succeeded());
}

} // namespace
} // namespace talvo
