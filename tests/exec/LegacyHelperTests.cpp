#include "ExecTestSupport.h"

#include <gtest/gtest.h>

// These run against the test build's stand-in for the elevation tool, which does what
// TALVO_FAKE_PKEXEC says the user did at the dialog. The programs they run answer on stderr,
// which the tool passes on and executeLogged collects between the log lines.
namespace talvo {
namespace {

using Kind = PrivilegedOutcome::Kind;
using test::executeLogged;
using Messages = std::vector<std::string>;

const std::string kStarting = "AuthorizationExecuteWithPrivileges";
const std::string kDone = "AuthorizationExecuteWithPrivileges: Done";

TEST(LegacyHelper, RunsTheProgramWithItsWordsAndInputThenPassesItsStatusBack) {
    // More input than a socket buffer holds; the second read sees end of file at once.
    const auto ran = executeLogged(
        "/bin/sh",
        {"-c", "printf '%s|' \"$@\" >&2; wc -c >&2; cat >&2; exit 7", "sh", "Grüße ✓", "", "$HOME"},
        std::string(3'000'000, 'x'));
    EXPECT_EQ(ran.outcome.statusCode(), 7);
    EXPECT_EQ(ran.messages, (Messages{kStarting, "Grüße ✓||$HOME|3000000", kDone}));
    // No input is end of file at once, rather than the caller's own stdin.
    EXPECT_EQ(executeLogged("/bin/sh", {"-c", "wc -c >&2"}).messages,
              (Messages{kStarting, "0", kDone}));
    // Output far beyond a pipe is drained; a tool that ends without reading its input must
    // neither stall the hand-over nor end us with SIGPIPE.
    const auto ignored =
        executeLogged("/bin/sh", {"-c", "seq 1 100000; exit 4"}, std::string(3'000'000, 'x'));
    EXPECT_EQ(ignored.outcome.statusCode(), 4);
    EXPECT_EQ(ignored.messages, (Messages{kStarting, kDone}));
}

TEST(LegacyHelper, DismissedAndDeniedRunNothingAndSaySo) {
    for (const auto& [dialog, kind] :
         {std::pair{"dismiss", Kind::dismissed}, std::pair{"deny", Kind::denied}}) {
        const test::ScopedStandInSetting answer("TALVO_FAKE_PKEXEC", dialog);
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
