#include "ExecTestSupport.h"
#include "exec/Error.h"
#include "exec/ShellCommandRunner.h"
#include "exec/Task.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace talvo {
namespace {

using testing::DescriptorCapture;
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

TEST(ShellCommandRunner, ReturnsOutputOfBothStreamsTrimmedAtTheEndsOnly) {
    const struct {
        const char* command;
        const char* output;
    } cases[] = {
        {"true", ""},
        {"printf '  hello\\n\\n'", "hello"},
        {"echo out; echo err >&2; echo out again", "out\nerr\nout again"},
        {"printf '\\t a  b\\n\\n c \\r\\n'", "a  b\n\n c"},
        // No-break space, ideographic space and line separator count as whitespace too.
        {"printf '\\302\\240\\343\\200\\200x\\342\\200\\250'", "x"},
        {"echo failure text >&2", "failure text"},
        {"printf '%s' \"$0\"", "/bin/sh"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(Task::syncThrows(example.command), example.output) << example.command;
    }
}

TEST(ShellCommandRunner, NonZeroStatusThrowsACommandErrorWithoutTheOutput) {
    try {
        Task::syncThrows("echo secret-passphrase; exit 3");
        FAIL() << "exit 3 did not throw";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "ProcessErrorDomain");
        EXPECT_EQ(error.code(), 3);
        EXPECT_EQ(error.description(), std::nullopt);
        EXPECT_EQ(error.text(), "Error Domain=ProcessErrorDomain Code=3 \"(null)\"");
    }
    EXPECT_EQ(failureCode("exit 255"), 255);
    EXPECT_EQ(failureCode("no-such-command-talvo-test"), 127);
    // Invalid output does not hide the failure.
    EXPECT_EQ(failureCode("printf '\\377'; exit 1"), 1);
}

TEST(ShellCommandRunner, ACommandKilledByASignalFailsWith128PlusTheSignal) {
    EXPECT_EQ(failureCode("kill -KILL $$"), 128 + SIGKILL);
    EXPECT_EQ(failureCode("kill -TERM $$"), 128 + SIGTERM);
}

TEST(ShellCommandRunner, OutputThatIsNotUtf8IsEmpty) {
    EXPECT_EQ(Task::syncThrows("printf 'ok \\377\\376'"), "");
    EXPECT_EQ(Task::syncThrows("printf 'abcdefghijklmnop\\303'"), ""); // cut short at the end
    EXPECT_EQ(Task::syncThrows("printf '\\355\\240\\200'"), "");       // encoded surrogate
    EXPECT_EQ(Task::syncThrows("printf 'caf\\303\\251 \\360\\237\\230\\200'"), "café 😀");
}

TEST(ShellCommandRunner, ReturnsOutputFarLargerThanAPipeWhole) {
    constexpr std::size_t kSize = 500 * 1024;
    const std::string output = Task::syncThrows(
        "printf '  '; head -c 512000 /dev/zero | tr '\\0' 'a'; echo; echo end >&2");
    ASSERT_EQ(output.size(), kSize + 4);
    EXPECT_EQ(output.find_first_not_of('a'), kSize);
    EXPECT_EQ(output.substr(kSize), "\nend");
}

TEST(ShellCommandRunner, WaitsUntilEveryHolderOfThePipeHasClosedIt) {
    const auto start = std::chrono::steady_clock::now();
    // The shell exits at once; its background child still holds the pipe and writes later.
    const std::string output = Task::syncThrows("(sleep 0.3; echo late) & echo early");
    EXPECT_EQ(output, "early\nlate");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
}

TEST(ShellCommandRunner, ChildInheritsEnvironmentAndWorkingDirectory) {
    const ScopedEnvironmentVariable probe("TALVO_EXEC_PROBE", "value with  spaces");
    EXPECT_EQ(Task::syncThrows("printf '%s' \"$TALVO_EXEC_PROBE\""), "value with  spaces");
    EXPECT_EQ(Task::syncThrows("pwd -P"),
              std::filesystem::canonical(std::filesystem::current_path()).string());
}

TEST(ShellCommandRunner, TracesCommandAndResultOnlyIntoItsSink) {
    std::vector<std::string> lines;
    ShellCommandRunner traced([&lines](const std::string& line) { lines.push_back(line); });

    EXPECT_EQ(traced.syncThrows("echo ' hi '"), "hi");
    EXPECT_THROW(traced.syncThrows("echo oops; exit 2"), Error);
    EXPECT_EQ(lines, (std::vector<std::string>{"Execute: echo ' hi '", "Result hi",
                                               "Execute: echo oops; exit 2", "Result oops"}));

    DescriptorCapture standardOutput(STDOUT_FILENO);
    DescriptorCapture standardError(STDERR_FILENO);
    EXPECT_EQ(ShellCommandRunner().syncThrows("printf x"), "x");
    EXPECT_THROW(ShellCommandRunner().syncThrows("exit 4"), Error);
    EXPECT_EQ(standardOutput.finish(), "");
    EXPECT_EQ(standardError.finish(), "");
}

// The privileged path runs through the test build's stand-in for the elevation tool, which
// obeys TALVO_FAKE_PKEXEC.
TEST(ShellCommandRunner, SudoReportsTheOutcomeInsteadOfThrowingAndTracesOnlyTheCommand) {
    std::vector<std::string> lines;
    ShellCommandRunner traced([&lines](const std::string& line) { lines.push_back(line); });
    DescriptorCapture standardError(STDERR_FILENO);

    const PrivilegedOutcome ran = traced.sudo("echo discarded; exit 5");
    PrivilegedOutcome dismissed;
    {
        const ScopedEnvironmentVariable dialog("TALVO_FAKE_PKEXEC", "dismiss");
        dismissed = Task::sudo("true");
    }
    standardError.finish();

    EXPECT_EQ(ran.kind, PrivilegedOutcome::Kind::Ran);
    EXPECT_EQ(ran.exitStatus, 5);
    EXPECT_FALSE(ran.succeeded());
    EXPECT_EQ(dismissed.kind, PrivilegedOutcome::Kind::Dismissed);
    EXPECT_EQ(dismissed.statusCode(), 126);
    EXPECT_EQ(lines, std::vector<std::string>{"Execute: echo discarded; exit 5"});
}

} // namespace
} // namespace talvo
