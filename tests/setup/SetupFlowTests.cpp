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

using test::errorLine;
using test::FakeComputer;
using test::Lines;
using Kind = PrivilegedOutcome::Kind;

const auto noProfile = [] { return std::optional<Config>(); };

int run(FakeComputer& computer, const std::string& word) {
    return runSetup(computer.installer, computer, {"/usr/local/bin/Setup", word}, noProfile,
                    computer.transcript);
}

std::ptrdiff_t countOf(const Lines& lines, const std::string& part) {
    return std::count_if(lines.begin(), lines.end(), [&part](const std::string& line) {
        return line.find(part) != std::string::npos;
    });
}

// A shell sees only the low byte of an exit status, so a code of 256 must not end Setup with 0;
// unusable settings must not read as a success either.
TEST(SetupFlow, FailedCommandsAndUnusableSettingsEndWithTheirStatus) {
    FakeComputer computer;
    computer.failures["daemon --init"] = 256;
    EXPECT_EQ(run(computer, "REG_TOKEN=t"), 1);
    FakeComputer shortKey;
    EXPECT_EQ(run(shortKey, "ENCRYPTION_KEY=short"), kExitDataError);
    EXPECT_EQ(countOf(shortKey.lines(), "Error Domain=InputError"), 1);
}

// A key that could not be stored stops nothing: the daemons start and the agent opens, and the
// add's status, printed once, ends the run.
TEST(SetupFlow, AKeyThatCouldNotBeStoredEndsTheRunWithTheAddsStatus) {
    for (const int status : {126, 300}) {
        FakeComputer computer;
        computer.userId = 501;
        computer.privileged = {{"add-", {status == 126 ? Kind::dismissed : Kind::ran, status}}};
        EXPECT_EQ(run(computer, "ENCRYPTION_KEY=long enough"), status > 255 ? 1 : status);
        const Lines lines = computer.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), errorLine(status)), 1) << status;
        EXPECT_EQ(lines.back(), "open> /Applications/Talvo Backup Agent.app") << status;
        EXPECT_EQ(countOf(lines, "launchctl bootstrap"), 2) << status;
    }
}

// The agent's setup command fails with an exception no step expects (collecting its output is
// what runs out of memory): one error line, its own status, and nothing after it.
TEST(SetupFlow, AnUnexpectedFailureEndsTheRunAtOnce) {
    const struct {
        std::function<void()> failure;
        std::string line;
        int status;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, R"(Error Domain=InternalError Code=71 "Out of memory")",
         kExitOutOfMemory},
        {[] { throw std::runtime_error("cannot go on\nat all"); },
         R"(Error Domain=InternalError Code=70 "cannot go on at all")", kExitInternalError},
        {[] { throw 42; }, R"(Error Domain=InternalError Code=70 "Unknown failure")",
         kExitInternalError},
    };
    for (const auto& example : cases) {
        FakeComputer computer;
        computer.onCommand = [&example](const std::string& command) {
            if (command.find("daemon --init") != std::string::npos) {
                example.failure();
            }
        };
        EXPECT_EQ(run(computer, "REG_TOKEN=t"), example.status) << example.line;
        EXPECT_EQ(computer.lines(),
                  (Lines{"launch> /bin/sh [-c] [ps auxww | grep TalvoBackupAgent | grep -v 'grep "
                         "TalvoBackupAgent' | head -n 1]",
                         "Checking MDM...", "No MDM found...", "Installing User...",
                         "sync> sudo \"/Applications/Talvo Backup Agent.app/Contents/MacOS/"
                         "TalvoBackupAgent\" daemon --init -reg-token=t",
                         example.line}));
    }
    // Also before anything is installed, in the look for a running agent application.
    FakeComputer computer;
    computer.onApplicationLookup = [] { throw std::bad_alloc(); };
    EXPECT_EQ(run(computer, "REG_TOKEN=t"), kExitOutOfMemory);
    EXPECT_EQ(computer.lines(), Lines{R"(Error Domain=InternalError Code=71 "Out of memory")"});
}

// The log tells the version and the user first, then every printed line with each failed
// command's context just before its error line, then the status and the duration, the secret
// masked; the standard output stays exactly what it was.
TEST(SetupFlow, LogFramesThePrintedLinesAndPutsContextBeforeErrors) {
    FakeComputer computer;
    computer.userId = 501;
    computer.privileged = {{"daemon --init", {Kind::ran, 7}}};
    {
        const CopiedLines copied(computer.transcript, [&computer](const std::string& line) {
            // The fake's own notes of what ran are not printed lines.
            if (line.find("> ") == std::string::npos) {
                computer.logged.push_back(line);
            }
        });
        EXPECT_EQ(run(computer, "REG_TOKEN=tok-secret"), 7);
    }
    Lines logged = computer.logged;
    ASSERT_EQ(logged.size(), 7u) << ::testing::PrintToString(logged);
    EXPECT_TRUE(logged[6].starts_with("Setup ended with exit status 7 after 0.")) << logged[6];
    EXPECT_TRUE(logged[6].ends_with(" s")) << logged[6];
    logged.pop_back();
    EXPECT_EQ(logged,
              (Lines{std::string("Setup ") + kVersion + " started by uid 501", "Checking MDM...",
                     "No MDM found...", "Installing User...",
                     "Privileged command failed (exit status 7): \"/Applications/Talvo Backup "
                     "Agent.app/Contents/MacOS/TalvoBackupAgent\" daemon --init "
                     "-reg-token=********",
                     errorLine(7)}));
}

} // namespace
} // namespace talvo
