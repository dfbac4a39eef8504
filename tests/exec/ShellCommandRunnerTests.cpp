#include "ExecTestSupport.h"
#include "exec/Error.h"
#include "exec/ShellCommandRunner.h"
#include "platform/UserIdentity.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace talvo {
namespace {

using test::ScopedEnvironmentVariable;

std::optional<Error> failureOf(const std::string& command) {
    try {
        Task::syncThrows(command);
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

TEST(ShellCommandRunner, ReturnsAllOutputOfBothStreamsInOrderTrimmedAtTheEndsOnly) {
    EXPECT_EQ(Task::syncThrows("echo out; echo err >&2; printf '\\t a  b\\n\\n c \\r\\n'"),
              "out\nerr\n\t a  b\n\n c");
    // The shell exits at once; its background child still holds the pipe and writes later.
    EXPECT_EQ(Task::syncThrows("(sleep 0.3; echo late) & echo early"), "early\nlate");
    // Far more than a pipe holds; every line differs, so a lost or misplaced piece shows.
    std::string expected;
    for (int line = 1; line <= 150000; ++line) {
        expected += std::to_string(line) + '\n';
    }
    expected.pop_back();
    EXPECT_TRUE(Task::syncThrows("seq 1 150000") == expected); // no diff of megabytes on failure
}

// A failure prints its status alone: the output may hold a passphrase. Its last line goes only
// to the log.
TEST(ShellCommandRunner, FailuresThrowTheStatusAloneWithTheLastLineForTheLog) {
    const auto failure = failureOf("echo secret-passphrase; echo 'last line'; exit 3");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->text(), "Error Domain=ProcessErrorDomain Code=3 \"(null)\"");
    EXPECT_EQ(failure->lastOutputLine(), "last line");
    EXPECT_EQ(failureOf("printf '\\377'; exit 1")->code(), 1); // invalid output hides no failure
}

// The command arrives whole on stdin, so that no passphrase in it reaches the elevation tool's
// logged command line: read to its end before it runs (a command reading stdin gets end of file,
// a last line without its line end still runs). The tool passes on whatever umask and folder the
// caller had: the command gets the system's.
TEST(ShellCommandRunner, SudoRunsTheWholeCommandInTheSystemsUmaskAndFolder) {
    const test::TemporaryFolder folder;
    const auto written = "'" + (folder.path() / "written").string() + "'";
    const auto log = folder.path() / "elevation.log";
    const test::ScopedStandInSetting logTo("TALVO_FAKE_PKEXEC_LOG", log.string());
    const std::filesystem::path before = std::filesystem::current_path();
    const mode_t mask = ::umask(0);
    std::filesystem::current_path(folder.path());
    test::DescriptorCapture standardError(STDERR_FILENO);
    const auto outcome = Task::sudo("read -r rest; echo \"[$rest]\" >" + written + "\numask >>" +
                                    written + "; pwd >>" + written);
    std::filesystem::current_path(before);
    ::umask(mask);
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(test::readFile(folder.path() / "written"), "[]\n0022\n/\n");
    const auto logged = test::readFile(log).value_or("");
    EXPECT_TRUE(logged.starts_with("COMMAND=/bin/sh -c ") &&
                logged.find("rest") == std::string::npos)
        << logged;
}

TEST(OutputText, TrimsValidTextAndEmptiesInvalidText) {
    const std::pair<std::string, std::string> cases[] = {
        {"\u3000\u00A0x y\u2029\u0085", "x y"},
        {std::string("\0a\0", 3), std::string("\0a\0", 3)}, // NUL is text, not whitespace
        {"x\xc3", ""},                                      // cut short at the end
        {"x\xe2\x82\xac\x80", ""}, // stray continuation after a valid sequence
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(outputText(bytes), text) << bytes;
    }
    // ASCII is skipped several bytes at a time; whatever lane a byte falls in, it is checked.
    for (std::size_t offset = 0; offset < 70; ++offset) {
        EXPECT_EQ(outputText(std::string(offset, 'a') + "\xff" + std::string(40, 'b')), "")
            << offset;
    }
}

// What the log gets of a failure: never more than 512 bytes and never half a character.
TEST(LastOutputLine, IsTheLastLineCutAtACharacterBoundary) {
    EXPECT_EQ(lastOutputLine("one\r\ntwo\r"), "two");
    EXPECT_EQ(lastOutputLine("x\n" + std::string(511, 'a') + "\u20AC"), std::string(511, 'a'));
    EXPECT_EQ(lastOutputLine(std::string(600, 'b')), std::string(512, 'b'));
}

TEST(TaskUserName, HomeDecidesWheneverSetThenSudoUserThenUserThenTheLoginName) {
    const struct {
        std::optional<std::string> home, sudoUser, user;
        std::string expected;
    } cases[] = {
        {"/Users/staff1/", "staff2", "root", ""}, // trailing slash: the last piece is empty
        {std::nullopt, std::nullopt, "root", "root"},
        {std::nullopt, "", "root", ""}, // set but empty still decides
        {std::nullopt, std::nullopt, std::nullopt, effectiveUserLoginName()},
    };
    for (const auto& example : cases) {
        const ScopedEnvironmentVariable home("HOME", example.home);
        const ScopedEnvironmentVariable sudoUser("SUDO_USER", example.sudoUser);
        const ScopedEnvironmentVariable user("USER", example.user);
        EXPECT_EQ(Task::userName(), example.expected) << example.home.value_or("(unset)");
    }
}

} // namespace
} // namespace talvo
