#include "setup/SetupFlow.h"
#include "tests/engine/FakeComputer.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
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

// A key that could not be stored stops nothing: the daemons start and the agent opens, and the
// add's status, printed once, ends the run (as 1 when above 255).
TEST(SetupFlow, AKeyThatCouldNotBeStoredEndsTheRunWithTheAddsStatus) {
    FakeComputer computer;
    computer.userId = 501;
    computer.privileged = {{"add-", {Kind::ran, 300}}};
    EXPECT_EQ(run(computer, "ENCRYPTION_KEY=long enough"), 1);
    const Lines lines = computer.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), errorLine(300)), 1);
    EXPECT_EQ(lines.back(), "open> /Applications/Talvo Backup Agent.app");
    EXPECT_EQ(countOf(lines, "launchctl bootstrap"), 2);
}

// The agent's setup command fails with an exception no step expects: one error line, its own
// status, and nothing after it. Running out of memory is the world's case, on a real output.
TEST(SetupFlow, AnUnexpectedFailureEndsTheRunAtOnce) {
    const struct {
        std::function<void()> failure;
        std::string line;
        int status;
    } cases[] = {
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
        EXPECT_EQ(computer.lines().back(), example.line);
        EXPECT_EQ(countOf(computer.lines(), "Error Domain"), 1) << example.line;
    }
}

} // namespace
} // namespace talvo
