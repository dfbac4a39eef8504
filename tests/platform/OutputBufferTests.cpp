#include "platform/ChildProcess.h"
#include "platform/OutputBuffer.h"
#include "tests/platform/PageBudget.h"
#include "tests/support/TestFiles.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <sys/wait.h>

namespace talvo {
namespace {

using testing::setPageBudget;

class OutputBufferTest : public ::testing::Test {
  protected:
    void TearDown() override { setPageBudget(static_cast<std::size_t>(-1)); }
};

void append(OutputBuffer& buffer, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto space = buffer.spaceForMore();
        const auto count = std::min(space.size(), bytes.size());
        std::memcpy(space.data(), bytes.data(), count);
        buffer.commit(count);
        bytes.remove_prefix(count);
    }
}

TEST_F(OutputBufferTest, KeepsEveryByteInOrderAcrossBlocks) {
    OutputBuffer buffer;
    std::string expected;
    for (int round = 0; expected.size() < 3 * 1024 * 1024; ++round) {
        const std::string piece(static_cast<std::size_t>(round % 7919), static_cast<char>(round));
        append(buffer, piece);
        expected += piece;
    }
    EXPECT_EQ(buffer.size(), expected.size());
    EXPECT_EQ(buffer.take(), expected);
    EXPECT_EQ(buffer.size(), 0U);
    EXPECT_EQ(buffer.take(), "");
}

TEST_F(OutputBufferTest, RunningOutOfBlocksKeepsWhatWasCollected) {
    setPageBudget(64 * 1024);
    OutputBuffer buffer;
    const std::string first(64 * 1024, 'a');
    append(buffer, first);
    EXPECT_THROW(buffer.spaceForMore(), std::bad_alloc);
    setPageBudget(static_cast<std::size_t>(-1));
    append(buffer, "b");
    EXPECT_EQ(buffer.take(), first + "b");
}

// Memory running out half-way through a command's output: the failure reaches the caller, and
// the command is neither left blocked on a full pipe nor left behind unreaped. The shell goes on
// after its writer has been cut off, as a command would that does not check its output.
TEST_F(OutputBufferTest, CommandWhoseOutputOutgrowsMemoryIsStillReaped) {
    const testing::TemporaryFolder folder;
    const auto finished = folder.path() / "finished";
    setPageBudget(4 * 1024 * 1024);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(runCollectingOutput(
                     "/bin/sh",
                     {"-c", "head -c 1073741824 /dev/zero; echo done >'" + finished.string() + "'"},
                     ErrorStream::Captured),
                 std::bad_alloc);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(testing::readFile(finished), "done\n");
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

} // namespace
} // namespace talvo
