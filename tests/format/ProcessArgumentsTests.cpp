#include "format/ProcessArguments.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace talvo {
namespace {

using namespace std::string_literals;

const std::string kAgent = "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent";

// A process table answer laid out as the kernel gives it: the count, the executed path, padding,
// the arguments and the environment.
std::string answer(int count, const std::string& executed, const std::string& rest) {
    std::string bytes(sizeof count, '\0');
    std::memcpy(bytes.data(), &count, sizeof count);
    return bytes + executed + "\0\0\0\0\0\0\0"s + rest;
}

std::optional<std::string> programOf(std::string_view bytes) {
    return programFileOfProcessArguments(std::span<const char>(bytes.data(), bytes.size()));
}

TEST(ProcessArguments, TheExecutedPathIsTheProgramAtAnyAlignmentAndCut) {
    const auto typical = answer(3, kAgent, kAgent + "\0daemon\0--init\0HOME=/var/root\0"s);
    for (std::size_t offset = 0; offset < sizeof(int) * 2; ++offset) {
        const std::string shifted = std::string(offset, 'x') + typical;
        EXPECT_EQ(programOf(std::string_view(shifted).substr(offset)), kAgent) << offset;
    }
    // argv[0] says nothing about the program: a process may set it to anything.
    EXPECT_EQ(programOf(answer(1, "/bin/sleep", kAgent + "\0"s)), "/bin/sleep");
    // Every cut that leaves the path without its NUL is refused; a copy of exactly that length,
    // so that a read past it is a sanitizer's finding.
    const std::size_t pathEnd = sizeof(int) + kAgent.size();
    for (std::size_t length = 0; length <= pathEnd + 1; ++length) {
        const auto program = programOf(typical.substr(0, length));
        EXPECT_EQ(program, length <= pathEnd ? std::nullopt : std::optional(kAgent)) << length;
    }
    EXPECT_EQ(programOf(answer(INT_MIN, kAgent, "")), std::nullopt);
    EXPECT_EQ(programOf(answer(1, "./x.app/Contents/MacOS/x", "")), std::nullopt);
}

} // namespace
} // namespace talvo
