#include "platform/ProcessArguments.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace talvo {
namespace {

using namespace std::string_literals;

const std::string kAgent = "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent";

// An answer laid out as the kernel gives it: the count, the executed path, padding, the
// arguments and the environment.
std::string answer(int count, const std::string& executed, const std::string& rest) {
    std::string bytes(sizeof count, '\0');
    std::memcpy(bytes.data(), &count, sizeof count);
    return bytes + executed + "\0\0\0\0\0\0\0"s + rest;
}

std::optional<std::string> programOf(std::string_view bytes) {
    return programFileOfProcessArguments(std::span<const char>(bytes.data(), bytes.size()));
}

const std::string kTypical =
    answer(3, kAgent, kAgent + "\0daemon\0--init\0PATH=/usr/bin:/bin\0HOME=/var/root\0"s);

TEST(ProcessArguments, TheExecutedPathIsTheProgramWhateverFollowsIt) {
    EXPECT_EQ(programOf(kTypical), kAgent);
    // The count is not trusted to read anything: none, or far more than the buffer holds.
    EXPECT_EQ(programOf(answer(0, kAgent, "")), kAgent);
    EXPECT_EQ(programOf(answer(INT_MAX, kAgent, "")), kAgent);
    // Any bytes but NUL belong to the path, invalid UTF-8 and line ends included.
    const std::string odd = "/tmp/\xff\xfe line\nend.app/Contents/MacOS/x";
    EXPECT_EQ(programOf(answer(1, odd, "")), odd);
    // argv[0] says nothing about the program: a process may set it to anything.
    EXPECT_EQ(programOf(answer(1, "/bin/sleep", kAgent + "\0"s)), "/bin/sleep");
}

TEST(ProcessArguments, ReadsFromAnyAlignment) {
    for (std::size_t offset = 0; offset < sizeof(int) * 2; ++offset) {
        const std::string shifted = std::string(offset, 'x') + kTypical;
        EXPECT_EQ(programOf(std::string_view(shifted).substr(offset)), kAgent) << offset;
    }
}

TEST(ProcessArguments, TruncatedAnswersNeverReadPastTheirEnd) {
    // Every cut that leaves the path without its NUL is refused; every later cut still reads it.
    const std::size_t pathEnd = sizeof(int) + kAgent.size();
    for (std::size_t length = 0; length <= kTypical.size(); ++length) {
        // A copy of exactly this length, so that a read past it is a sanitizer's finding.
        const std::string cut = kTypical.substr(0, length);
        const auto program = programOf(cut);
        if (length <= pathEnd) {
            EXPECT_EQ(program, std::nullopt) << length;
        } else {
            EXPECT_EQ(program, kAgent) << length;
        }
    }
}

TEST(ProcessArguments, HostileAndUselessAnswersGiveNoProgram) {
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"a negative count", answer(-1, kAgent, "")},
        {"the smallest count", answer(INT_MIN, kAgent, "")},
        {"an empty path", answer(1, "", kAgent + "\0"s)},
        {"a relative path", answer(1, "Talvo.app/Contents/MacOS/Talvo", "")},
        {"a path into the current folder", answer(1, "./x.app/Contents/MacOS/x", "")},
        {"no NUL anywhere", std::string(sizeof(int), '\x01') + std::string(4096, '/')},
        {"only NULs", std::string(64, '\0')},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_EQ(programOf(bytes), std::nullopt) << what;
    }
}

} // namespace
} // namespace talvo
