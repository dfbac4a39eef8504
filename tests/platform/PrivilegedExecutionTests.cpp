#include "platform/Posix.h"
#include "platform/PrivilegedExecution.h"

#include <climits>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace talvo {
namespace {

using Result = PrivilegedRun::Result;

TEST(AuthorizationStatus, OnlySuccessRunsTheToolAndOnlyCancelingIsADismissal) {
    const struct {
        std::int32_t status;
        Result result;
    } cases[] = {
        {0, Result::Ran},
        {-60006, Result::Canceled}, // errAuthorizationCanceled
        {-60005, Result::Denied},   // errAuthorizationDenied
        {-60007, Result::Denied},   // errAuthorizationInteractionNotAllowed
        {-60031, Result::Failed},   // errAuthorizationToolExecuteFailure
        {-60032, Result::Failed},   // errAuthorizationToolEnvironmentError
        {-60008, Result::Failed},   // errAuthorizationInternal
        {-60002, Result::Failed},   // errAuthorizationInvalidRef
        {-60001, Result::Failed},   // errAuthorizationInvalidSet
        {1, Result::Failed},
        {-1, Result::Failed},
        {INT32_MIN, Result::Failed},
        {INT32_MAX, Result::Failed},
    };
    for (const auto& [status, result] : cases) {
        EXPECT_EQ(resultOfAuthorizationStatus(status), result) << status;
    }
}

// The vector as the started tool sees it: the system puts the tool's own path in front of the
// arguments it was handed.
struct ToolArgv {
    explicit ToolArgv(const std::vector<std::string>& handedOver)
        : vector("/Applications/Setup", handedOver) {}
    int argc() const {
        int count = 0;
        while (vector.get()[count] != nullptr) {
            ++count;
        }
        return count;
    }
    const char* const* argv() const { return vector.get(); }

    posix::ArgumentVector vector;
};

TEST(RootTool, ItsArgumentsCarryTheProgramAndItsWordsUnchanged) {
    const std::vector<std::string> words{"-c", "eval \"$script\"", "", "two  spaces", "Grüße"};
    const auto handedOver = rootToolArguments("/bin/sh", words);
    ASSERT_EQ(handedOver.size(), words.size() + 2);
    EXPECT_EQ(handedOver[1], "/bin/sh");
    EXPECT_EQ(std::vector<std::string>(handedOver.begin() + 2, handedOver.end()), words);

    const ToolArgv started(handedOver);
    EXPECT_TRUE(isRootToolStart(started.argc(), started.argv()));
    // What the tool then runs: the program as its argv[0], then the words.
    EXPECT_STREQ(started.argv()[2], "/bin/sh");
    EXPECT_STREQ(started.argv()[started.argc() - 1], "Grüße");
}

TEST(RootTool, OnlyItsOwnStartCounts) {
    const auto asked = rootToolArguments("/bin/sh", {});
    const std::string marker = asked.front();
    const struct {
        const char* what;
        std::vector<std::string> handedOver;
    } others[] = {
        {"an ordinary start", {"REG_TOKEN=x"}},
        {"no arguments", {}},
        {"the marker alone", {marker}},
        {"a relative program", {marker, "sh", "-c", "true"}},
        {"an empty program", {marker, ""}},
        {"the marker later on", {"/bin/sh", marker, "/bin/sh"}},
        {"a longer word", {marker + "x", "/bin/sh"}},
        {"a shorter word", {marker.substr(0, marker.size() - 1), "/bin/sh"}},
    };
    for (const auto& [what, handedOver] : others) {
        const ToolArgv started(handedOver);
        EXPECT_FALSE(isRootToolStart(started.argc(), started.argv())) << what;
    }
    // A count that claims more than the vector holds stops at its null entry.
    const char* const truncated[] = {"/Applications/Setup", marker.c_str(), nullptr};
    EXPECT_FALSE(isRootToolStart(3, truncated));
}

TEST(RootTool, OnlyAPositiveProcessIdIsWaitedFor) {
    EXPECT_EQ(parseToolProcessId("1"), 1);
    EXPECT_EQ(parseToolProcessId("4321"), 4321);
    EXPECT_EQ(parseToolProcessId("2147483647"), INT_MAX);
    // 0 and -1 would make waitpid wait for any child of ours.
    for (const char* line : {"", "0", "-1", "-4321", "00", "01", "+5", " 5", "5 ", "5\r", "12a",
                             "2147483648", "99999999999", "0x10", "\xd9\xa5"}) {
        EXPECT_EQ(parseToolProcessId(line), std::nullopt) << line;
    }
}

// The first line as read in pieces of every size, the rest of the output following.
std::optional<int> processIdInPieces(std::string_view output, std::size_t pieceSize) {
    ToolProcessIdLine line;
    for (std::size_t offset = 0; offset < output.size(); offset += pieceSize) {
        line.take(output.substr(offset, pieceSize));
    }
    return line.processId();
}

TEST(RootTool, TheProcessIdLineIsFoundInPiecesOfAnySize) {
    const std::string output = "4321\n" + std::string(10'000, 'x') + "\n9999\n";
    for (std::size_t pieceSize = 1; pieceSize <= 12; ++pieceSize) {
        EXPECT_EQ(processIdInPieces(output, pieceSize), 4321) << pieceSize;
    }
    EXPECT_EQ(processIdInPieces(output, output.size()), 4321);

    for (const std::string& hostile : {
             std::string("4321"),                                     // the line never ends
             std::string(""),                                         // nothing at all
             std::string("\n4321\n"),                                 // an empty first line
             std::string("432") + std::string(1'000'000, '1') + "\n", // digits without end
             std::string("4321") + std::string(1'000'000, ' ') + "\n",
         }) {
        for (const std::size_t pieceSize : {std::size_t{1}, std::size_t{7}, hostile.size() + 1}) {
            EXPECT_EQ(processIdInPieces(hostile, pieceSize), std::nullopt)
                << hostile.substr(0, 16) << " in pieces of " << pieceSize;
        }
    }
}

} // namespace
} // namespace talvo
