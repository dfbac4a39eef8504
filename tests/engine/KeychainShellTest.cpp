#include "engine/KeychainCommands.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;

// A folder first on PATH holding stand-ins for `security` (records its argument words, each
// followed by a NUL byte) and `sudo` (runs its words as they are).
class FakeTools {
  public:
    FakeTools() {
        std::string pattern = (fs::temp_directory_path() / "keychain-shell-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
        writeScript("security",
                    "#!/bin/sh\nfor word in \"$@\"; do printf '%s\\0' \"$word\"; done > \"" +
                        (folder_ / "argv").string() + "\"\n");
        writeScript("sudo", "#!/bin/sh\nexec \"$@\"\n");
    }
    ~FakeTools() { fs::remove_all(folder_); }
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    const fs::path& folder() const { return folder_; }

    // Runs the command line through the real shell; its exit status.
    int runShell(const std::string& command) const {
        fs::remove(folder_ / "argv");
        std::string path = "PATH=" + folder_.string() + ":/usr/bin:/bin";
        std::string shell = "/bin/sh";
        std::string option = "-c";
        std::string line = command;
        char* argv[] = {shell.data(), option.data(), line.data(), nullptr};
        char* envp[] = {path.data(), nullptr};
        pid_t child = 0;
        if (::posix_spawn(&child, "/bin/sh", nullptr, nullptr, argv, envp) != 0) {
            return -1;
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<std::string> recordedWords() const {
        std::ifstream in(folder_ / "argv", std::ios::binary);
        std::vector<std::string> words;
        for (std::string word; std::getline(in, word, '\0');) {
            words.push_back(word);
        }
        return words;
    }

  private:
    void writeScript(const std::string& name, const std::string& text) {
        std::ofstream(folder_ / name) << text;
        fs::permissions(folder_ / name, fs::perms::owner_all);
    }

    fs::path folder_;
};

std::string passwordWord(const std::vector<std::string>& words) {
    for (std::size_t index = 0; index + 1 < words.size(); ++index) {
        if (words[index] == "-w") {
            return words[index + 1];
        }
    }
    return "(no -w word)";
}

TEST(KeychainAddCommand, PassphraseReachesSecurityByteExactThroughTheShell) {
    const FakeTools tools;
    const auto injected = tools.folder() / "injected";
    const std::string passphrases[] = {
        R"(say "hi" and "")",
        "$HOME and ${PATH} and $1 $@ $$",
        "$(touch " + injected.string() + ")",
        "`touch " + injected.string() + "`",
        R"(back\slash \\ \" \$ \` \n)",
        "trailing backslash\\",
        "!bang !! !$ ^old^new",
        "  leading and trailing blanks  ",
        "line one\nline two",
        "continued \\\nline",
        "\xF0\x9F\x94\x90 cl\xC3\xA9 \xE5\xAF\x86\xE7\xA0\x81",
        "it's 'single' quoted",
        "*?[a] ~ # ; & | < > ( ) { }",
        "%s %n %%",
        "\t tab",
    };
    for (const auto& passphrase : passphrases) {
        for (const std::string prefix : {"", "sudo "}) {
            ASSERT_EQ(tools.runShell(prefix + keychain::addCommand(passphrase)), 0) << passphrase;
            const auto words = tools.recordedWords();
            EXPECT_EQ(passwordWord(words), passphrase) << prefix;
            // The rest of the command line is untouched by the escaping.
            EXPECT_EQ(words.size(), 12u) << passphrase;
            if (words.size() == 12u) {
                EXPECT_EQ(words.front(), "add-generic-password");
                EXPECT_EQ(words[10],
                          "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent");
                EXPECT_EQ(words.back(), "/Library/Keychains/System.keychain");
            }
        }
    }
    EXPECT_FALSE(fs::exists(injected)) << "a passphrase ran a command";
}

} // namespace
} // namespace talvo
