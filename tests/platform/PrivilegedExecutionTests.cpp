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
    EXPECT_EQ(resultOfAuthorizationStatus(0), Result::Ran);
    EXPECT_EQ(resultOfAuthorizationStatus(-60006), Result::Canceled); // errAuthorizationCanceled
    EXPECT_EQ(resultOfAuthorizationStatus(-60005), Result::Denied);   // errAuthorizationDenied
    // errAuthorizationInteractionNotAllowed
    EXPECT_EQ(resultOfAuthorizationStatus(-60007), Result::Denied);
    // errAuthorizationToolExecuteFailure
    EXPECT_EQ(resultOfAuthorizationStatus(-60031), Result::Failed);
    EXPECT_EQ(resultOfAuthorizationStatus(1), Result::Failed);
}

// Whether the tool counts as started by us: the system puts the tool's own path in front of the
// arguments it was handed.
bool startsTheRootTool(const std::vector<std::string>& handedOver) {
    const posix::ArgumentVector vector("/Applications/Setup", handedOver);
    return isRootToolStart(static_cast<int>(handedOver.size()) + 1, vector.get());
}

TEST(RootTool, OnlyItsOwnStartCountsAndItCarriesTheWordsUnchanged) {
    const std::vector<std::string> words{"-c", "eval \"$script\"", "", "two  spaces", "Grüße"};
    const auto handedOver = rootToolArguments("/bin/sh", words);
    ASSERT_EQ(handedOver.size(), words.size() + 2);
    EXPECT_EQ(handedOver[1], "/bin/sh");
    EXPECT_EQ(std::vector<std::string>(handedOver.begin() + 2, handedOver.end()), words);
    EXPECT_TRUE(startsTheRootTool(handedOver));

    const std::string marker = handedOver.front();
    const std::vector<std::string> others[] = {{},
                                               {marker},
                                               {marker, "sh", "-c", "true"},
                                               {"/bin/sh", marker, "/bin/sh"},
                                               {marker + "x", "/bin/sh"}};
    for (const auto& other : others) {
        EXPECT_FALSE(startsTheRootTool(other)) << other.size();
    }
    // A count that claims more than the vector holds stops at its null entry.
    const char* const truncated[] = {"/Applications/Setup", marker.c_str(), nullptr};
    EXPECT_FALSE(isRootToolStart(3, truncated));
}

TEST(RootTool, OnlyAPositiveProcessIdIsWaitedFor) {
    EXPECT_EQ(parseToolProcessId("4321"), 4321);
    EXPECT_EQ(parseToolProcessId("2147483647"), INT_MAX);
    // 0 and -1 would make waitpid wait for any child of ours.
    for (const char* line : {"", "0", "-1", "01", "+5", " 5", "5\r", "12a", "2147483648"}) {
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
    for (const std::size_t pieceSize : {std::size_t{1}, std::size_t{3}, output.size()}) {
        EXPECT_EQ(processIdInPieces(output, pieceSize), 4321) << pieceSize;
    }

    // A line that never ends, and digits without end: nothing, and nothing kept of them.
    EXPECT_EQ(processIdInPieces("4321", 1), std::nullopt);
    const std::string endless = "432" + std::string(1'000'000, '1') + "\n";
    EXPECT_EQ(processIdInPieces(endless, 1), std::nullopt);
    EXPECT_EQ(processIdInPieces(endless, endless.size()), std::nullopt);
}

} // namespace
} // namespace talvo
