#include "exec/Error.h"
#include "exec/ShellCommandRunner.h"
#include "exec/Task.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>

namespace talvo {
namespace {

using testing::ScopedEnvironmentVariable;

// The status a command ended with, or -1 when it succeeded.
std::int64_t failureCode(const std::string& command) {
    try {
        Task::syncThrows(command);
    } catch (const Error& error) {
        return error.code();
    }
    return -1;
}

TEST(ShellCommandRunner, ReturnsBothStreamsInOrderTrimmedAtTheEndsOnly) {
    EXPECT_EQ(Task::syncThrows("echo out; echo err >&2; printf '\\t a  b\\n\\n c \\r\\n'"),
              "out\nerr\n\t a  b\n\n c");
    EXPECT_EQ(Task::syncThrows("printf '%s' \"$0\""), "/bin/sh");

    const ScopedEnvironmentVariable probe("TALVO_EXEC_PROBE", "value with  spaces");
    EXPECT_EQ(Task::syncThrows("printf '%s' \"$TALVO_EXEC_PROBE\""), "value with  spaces");
}

TEST(ShellCommandRunner, FailuresThrowTheStatusAloneAlsoForSignalsAndMissingPrograms) {
    try {
        Task::syncThrows("echo secret-passphrase; exit 3");
        ADD_FAILURE() << "exit 3 did not throw";
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), "Error Domain=ProcessErrorDomain Code=3 \"(null)\"");
    }
    EXPECT_EQ(failureCode("exit 255"), 255);
    EXPECT_EQ(failureCode("no-such-command-talvo-test"), 127);
    EXPECT_EQ(failureCode("printf '\\377'; exit 1"), 1); // invalid output hides no failure
    EXPECT_EQ(failureCode("kill -TERM $$"), 128 + SIGTERM);
}

TEST(ShellCommandRunner, ReadsOutputFarLargerThanAPipeWholeAndInOrder) {
    // Spans several of the output buffer's blocks; every line differs, so a lost, repeated or
    // misplaced piece shows.
    std::string expected;
    for (int line = 1; line <= 150000; ++line) {
        expected += std::to_string(line) + '\n';
    }
    expected.pop_back();
    EXPECT_TRUE(Task::syncThrows("seq 1 150000") == expected); // no diff of megabytes on failure
}

TEST(ShellCommandRunner, WaitsUntilEveryHolderOfThePipeHasClosedIt) {
    const auto start = std::chrono::steady_clock::now();
    // The shell exits at once; its background child still holds the pipe and writes later.
    EXPECT_EQ(Task::syncThrows("(sleep 0.3; echo late) & echo early"), "early\nlate");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
}

// The privileged path runs through the test build's stand-in for the elevation tool; its output
// is never traced.
TEST(ShellCommandRunner, TracesCommandsAndResultsButNotWhatSudoRan) {
    std::vector<std::string> lines;
    ShellCommandRunner traced([&lines](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(traced.syncThrows("echo ' hi '"), "hi");
    EXPECT_THROW(traced.syncThrows("echo oops; exit 2"), Error);
    testing::DescriptorCapture standardError(STDERR_FILENO);
    EXPECT_EQ(traced.sudo("echo discarded; exit 5").exitStatus, 5);
    EXPECT_EQ(lines, (std::vector<std::string>{"Execute: echo ' hi '", "Result hi",
                                               "Execute: echo oops; exit 2", "Result oops",
                                               "Execute: echo discarded; exit 5"}));
}

// The elevation tool logs its command line; a privileged command may carry a passphrase. The
// command reaches the shell whole and byte-exact on stdin, and reads end of file there itself.
TEST(ShellCommandRunner, SudoKeepsTheCommandOffTheElevationToolsCommandLine) {
    const testing::TemporaryFolder folder;
    const auto log = folder.path() / "elevation.log";
    const auto written = folder.path() / "written";
    const ScopedEnvironmentVariable logTo("TALVO_FAKE_PKEXEC_LOG", log.string());
    // A backslash before a line end and at the very end, as a line-wise reader could mangle them.
    const std::string secret = "pass \"phrase\" $HOME `x` \\\n\tsecond line \xF0\x9F\x94\x91\\";
    const std::string command = "printf '%s' '" + secret + "' > '" + written.string() +
                                "'\nread -r rest; echo \"[$rest]\" >> '" + written.string() +
                                "'; exit 6\n\n";
    testing::DescriptorCapture standardError(STDERR_FILENO);
    const PrivilegedOutcome outcome = Task::sudo(command);
    standardError.finish();
    EXPECT_EQ(outcome.kind, PrivilegedOutcome::Kind::Ran);
    EXPECT_EQ(outcome.exitStatus, 6);
    EXPECT_EQ(testing::readFile(written), secret + "[]\n");
    const auto logged = testing::readFile(log).value_or("");
    EXPECT_TRUE(logged.starts_with("COMMAND=/bin/sh -c ")) << logged;
    EXPECT_EQ(logged.find("pass"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("printf"), std::string::npos) << logged;
}

TEST(OutputText, TrimsValidTextAndEmptiesInvalidText) {
    const struct {
        std::string bytes, text;
    } cases[] = {
        {" \n\t ", ""},
        {"\u3000\u00A0x y\u2029\u0085", "x y"},
        {std::string("\0a\0", 3), std::string("\0a\0", 3)}, // NUL is text, not whitespace
        {"caf\u00e9 \U0001F600", "caf\u00e9 \U0001F600"},
        {"x\xc3", ""},             // cut short at the end
        {"x\xc3y", ""},            // missing continuation byte
        {"x\xe2\x82\xac\x80", ""}, // stray continuation after a valid sequence
        {"\xed\xa0\x80", ""},      // encoded surrogate
    };
    for (const auto& example : cases) {
        EXPECT_EQ(outputText(example.bytes), example.text) << example.bytes;
    }
}

TEST(OutputText, SeesNonAsciiBytesInEveryLaneOfTheAsciiScan) {
    // ASCII is skipped several bytes at a time; whatever lane a byte falls in, it is checked.
    for (std::size_t offset = 0; offset < 70; ++offset) {
        const std::string before(offset, 'a');
        const std::string after(40, 'b');
        EXPECT_EQ(outputText(before + "\xff" + after), "") << offset;
        EXPECT_EQ(outputText(before + "\u20ac" + after), before + "\u20ac" + after) << offset;
    }
}

} // namespace
} // namespace talvo

namespace talvo {
namespace {

// A failure carries its output's last line for the log, never more than 512 bytes of it and
// never half a character; its printed text stays the status alone.
TEST(LastOutputLine, TravelsWithTheFailureCutAtACharacterBoundary) {
    try {
        Task::syncThrows("echo first; echo 'second line'; exit 4");
        ADD_FAILURE() << "no failure";
    } catch (const Error& error) {
        EXPECT_EQ(error.lastOutputLine(), "second line");
        EXPECT_EQ(error.text(), "Error Domain=ProcessErrorDomain Code=4 \"(null)\"");
    }
    const std::string longLine = std::string(511, 'a') + "\u20AC" + "tail";
    EXPECT_EQ(lastOutputLine("one\r\ntwo\r"), "two");
    EXPECT_EQ(lastOutputLine("only"), "only");
    EXPECT_EQ(lastOutputLine("ends\n"), "");
    EXPECT_EQ(lastOutputLine("x\n" + longLine), std::string(511, 'a'));
    EXPECT_EQ(lastOutputLine(std::string(600, 'b')), std::string(512, 'b'));
}

} // namespace
} // namespace talvo
