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

TEST(LegacyHelper, TheToolReadsItsInputThenEndOfFile) {
    // More than a socket buffer holds, so the input cannot all be handed over before the tool
    // starts reading; the second read sees end of file at once.
    const std::string input(3'000'000, 'x');
    const auto counted = executeLogged("/bin/sh", {"-c", "wc -c >&2; cat >&2; exit 2"}, input);
    EXPECT_EQ(counted.outcome.exitStatus, 2);
    EXPECT_EQ(counted.messages, (Messages{kStarting, "3000000", kDone}));

    // Nothing is handed over: end of file at once, rather than the caller's own stdin.
    EXPECT_EQ(executeLogged("/bin/sh", {"-c", "wc -c >&2"}).messages,
              (Messages{kStarting, "0", kDone}));
}

// A tool that ends without reading must neither stall the hand-over nor end us with SIGPIPE.
TEST(LegacyHelper, AToolThatReadsNothingStillEndsTheCall) {
    const std::string input(3'000'000, 'x');
    const auto ignored = executeLogged("/bin/sh", {"-c", "exit 4"}, input);
    EXPECT_EQ(ignored.outcome.kind, Kind::Ran);
    EXPECT_EQ(ignored.outcome.exitStatus, 4);
    EXPECT_EQ(ignored.messages, (Messages{kStarting, kDone}));
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
