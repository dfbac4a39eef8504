#include "engine/KeychainCommands.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;

void writeScript(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
    fs::permissions(file, fs::perms::owner_all);
}

// The argument words `security` receives when the shell runs this line with the stand-ins first
// on PATH.
std::vector<std::string> securityWords(const fs::path& tools, const std::string& line) {
    const auto command = "PATH='" + tools.string() + "':/usr/bin:/bin; " + line;
    FILE* const pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
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
TEST(KeychainAddCommand, PassphraseReachesSecurityByteExactThroughTheShell) {
    std::string pattern = (fs::temp_directory_path() / "keychain-shell-XXXXXX").string();
    const fs::path tools = ::mkdtemp(pattern.data());
    writeScript(tools / "security", "#!/bin/sh\nfor w in \"$@\"; do printf '%s\\0' \"$w\"; done\n");
    writeScript(tools / "sudo", "#!/bin/sh\nexec \"$@\"\n");
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
            EXPECT_EQ(words[0], "add-generic-password");
            EXPECT_EQ(words[7], "-w");
            EXPECT_EQ(words[8], passphrase);
            EXPECT_EQ(words[10],
                      "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent");
            EXPECT_EQ(words[11], "/Library/Keychains/System.keychain");
        }
    }
    EXPECT_FALSE(fs::exists(injected)) << "a passphrase ran a command";
    fs::remove_all(tools);
}

} // namespace
} // namespace talvo
