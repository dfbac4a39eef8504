#include "engine/SystemCommands.h"
#include "tests/support/TestFiles.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;

using testing::writeScript;

// The argument words `security` receives when the shell runs this line with the stand-ins first
// on PATH.
std::vector<std::string> securityWords(const fs::path& tools, const std::string& line) {
    FILE* const pipe =
        ::popen(("PATH='" + tools.string() + "':/usr/bin:/bin; " + line).c_str(), "r");
    std::string output;
    for (int character; (character = std::fgetc(pipe)) != EOF;) {
        output += static_cast<char>(character);
    }
    EXPECT_EQ(::pclose(pipe), 0) << line;
    std::vector<std::string> words;
    std::istringstream in(output);
    for (std::string word; std::getline(in, word, '\0');) {
        words.push_back(word);
    }
    return words;
}

// The passphrase stands inside a shell command line: whatever it holds, `security` must receive
// exactly its bytes as one word, with the superuser's plain line and the normal user's "sudo" one.
// (The rest of the line is pinned word for word by the installer's tests.)
TEST(KeychainAddCommand, PassphraseReachesSecurityByteExactThroughTheShell) {
    const testing::TemporaryFolder folder;
    const fs::path& tools = folder.path();
    writeScript(tools / "security", "for w in \"$@\"; do printf '%s\\0' \"$w\"; done\n");
    writeScript(tools / "sudo", "exec \"$@\"\n");
    const auto injected = tools / "injected";
    const std::string passphrases[] = {
        R"(say "hi" and "" it's 'single')",
        "$HOME ${PATH} $1 $@ $$ $(touch " + injected.string() + ") `touch " + injected.string() +
            "`",
        R"(back\slash \\ \" \$ \` \n)",
        "trailing backslash\\",
        "!bang !! !$ ^old^new *?[a] ~ # ; & | < > ( ) { } %s %n",
        "  blanks\tand tab\nline two, continued \\\nline  ",
        "\xF0\x9F\x94\x90 cl\xC3\xA9",
    };
    for (const auto& passphrase : passphrases) {
        for (const std::string prefix : {"", "sudo "}) {
            const auto words = securityWords(tools, prefix + keychain::addCommand(passphrase));
            ASSERT_EQ(words.size(), 12u) << passphrase;
            EXPECT_EQ(words[8], passphrase);
        }
    }
    EXPECT_FALSE(fs::exists(injected)) << "a passphrase ran a command";
}

} // namespace
} // namespace talvo
