#include "engine/RunLog.h"
#include "setup/SetupFlow.h"
#include "talvo/Version.h"
#include "tests/engine/FakeComputer.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvo {
namespace {

using testing::errorLine;
using testing::FakeComputer;
using testing::Lines;
using Kind = PrivilegedOutcome::Kind;

const auto noProfile = [] { return std::optional<Config>(); };

// A superuser's run with words and no profile.
int runWithWords(FakeComputer& computer) {
    return runSetup(computer.installer, computer, {"/usr/local/bin/Setup", "REG_TOKEN=t"},
                    noProfile, computer.transcript);
}

// A shell sees only the low byte of an exit status, so a code of 256 must not end Setup with 0.
TEST(SetupFlow, CodesBeyondAByteEndTheRunWithTheGeneralFailureStatus) {
    FakeComputer computer;
    computer.failures["daemon --init"] = 256;
    EXPECT_EQ(runWithWords(computer), 1);
}

// A key that could not be stored stops nothing: the daemons start and the agent opens, and the
// add's status, printed once, ends the run.
TEST(SetupFlow, AKeyThatCouldNotBeStoredEndsTheRunWithTheAddsStatus) {
    for (const int status : {50, 126, 300}) {
        FakeComputer computer;
        computer.userId = 501;
        computer.privileged = {{"add-", {status == 126 ? Kind::Dismissed : Kind::Ran, status}}};
        EXPECT_EQ(runSetup(computer.installer, computer, {"Setup", "ENCRYPTION_KEY=long enough"},
                           noProfile, computer.transcript),
                  status > 255 ? 1 : status);
        const Lines lines = computer.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), errorLine(status)), 1) << status;
        EXPECT_EQ(lines.back(), "open> /Applications/Talvo Backup Agent.app") << status;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& line) {
                                    return line.find("launchctl bootstrap") != std::string::npos;
                                }),
                  2)
            << status;
    }
}

const std::string kProcessSearch = "launch> /bin/sh [-c] [ps aux | grep TalvoBackupAgent]";
const std::string kAgentSetup = "sync> sudo \"/Applications/Talvo Backup Agent.app/Contents/MacOS/"
                                "TalvoBackupAgent\" daemon --init -reg-token=t";

// The agent's setup command fails with an exception no step expects (collecting its output is
// what runs out of memory).
TEST(UnexpectedFailure, EndsTheRunAtOnceWithOneErrorLineAndItsOwnStatus) {
    const struct {
        const char* name;
        std::function<void()> failure;
        std::string line;
        int status;
    } cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); },
         R"(Error Domain=InternalError Code=71 "Out of memory")", kExitOutOfMemory},
        {"standard exception, its text kept on one line",
         [] { throw std::runtime_error("cannot go on\nat all"); },
         R"(Error Domain=InternalError Code=70 "cannot go on at all")", kExitInternalError},
        {"anything else", [] { throw 42; },
         R"(Error Domain=InternalError Code=70 "Unknown failure")", kExitInternalError},
    };
    for (const auto& example : cases) {
        FakeComputer computer;
        computer.onCommand = [&example](const std::string& command) {
            if (command.find("daemon --init") != std::string::npos) {
                example.failure();
            }
        };
        EXPECT_EQ(runWithWords(computer), example.status) << example.name;
        // Nothing after the failure: no daemon started, the agent application not opened.
        EXPECT_EQ(computer.lines(), (Lines{kProcessSearch, "Checking MDM...", "No MDM found...",
                                           "Installing User...", kAgentSetup, example.line}))
            << example.name;
    }
}

// Here the look for a running agent application, before anything is installed.
TEST(UnexpectedFailure, BeforeAnythingIsInstalledStopsTheRunToo) {
    FakeComputer computer;
    computer.onApplicationLookup = [] { throw std::bad_alloc(); };
    EXPECT_EQ(runWithWords(computer), kExitOutOfMemory);
    EXPECT_EQ(computer.lines(), Lines{R"(Error Domain=InternalError Code=71 "Out of memory")"});
}

} // namespace
} // namespace talvo

namespace talvo {
namespace {

// The log tells the version and the user first, then every printed line with each failed
// command's context just before its error line, then the status and the duration; the standard
// output stays exactly what it was.
TEST(SetupFlowLog, FramesThePrintedLinesWithVersionAndOutcomeAndPutsContextBeforeErrors) {
    FakeComputer computer;
    computer.userId = 501;
    computer.privileged = {{"daemon --init", {Kind::Ran, 7}}};
    {
        const CopiedLines copied(computer.transcript, [&computer](const std::string& line) {
            // The fake's own notes of what ran are not printed lines.
            if (line.find("> ") == std::string::npos) {
                computer.logged.push_back(line);
            }
        });
        EXPECT_EQ(runSetup(computer.installer, computer, {"Setup", "REG_TOKEN=tok-secret"},
                           noProfile, computer.transcript),
                  7);
    }
    const Lines& logged = computer.logged;
    ASSERT_EQ(logged.size(), 7u) << ::testing::PrintToString(logged);
    EXPECT_EQ(logged[0], std::string("Setup ") + kVersion + " started by uid 501");
    EXPECT_EQ(logged[1], "Checking MDM...");
    EXPECT_EQ(logged[2], "No MDM found...");
    EXPECT_EQ(logged[3], "Installing User...");
    EXPECT_EQ(logged[4], "Privileged command failed (exit status 7): \"/Applications/Talvo Backup "
                         "Agent.app/Contents/MacOS/TalvoBackupAgent\" daemon --init "
                         "-reg-token=********");
    EXPECT_EQ(logged[5], errorLine(7));
    EXPECT_TRUE(logged[6].starts_with("Setup ended with exit status 7 after 0.")) << logged[6];
    EXPECT_TRUE(logged[6].ends_with(" s")) << logged[6];
    for (const auto& entry : logged) {
        EXPECT_EQ(entry.find("tok-secret"), std::string::npos) << entry;
    }
}

} // namespace
} // namespace talvo
