#include "engine/SystemCommands.h"
#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;

// Whatever the passphrase holds, `security` must receive exactly its bytes as one word, from the
// superuser's plain line and from the normal user's "sudo" one, as the real shell runs them.
TEST(KeychainAddCommand, PassphraseReachesSecurityByteExactThroughTheShell) {
    const test::TemporaryFolder folder;
    const fs::path& tools = folder.path();
    const auto received = tools / "received";
    test::writeScript(tools / "security",
                      "printf '%s words, %s' \"$#\" \"$9\" >'" + received.string() + "'\n");
    test::writeScript(tools / "sudo", "exec \"$@\"\n");
    const auto injected = tools / "injected";
    const std::string passphrases[] = {
        R"(say "hi" it's 'single' back\slash \\ \" \$ \` \n)",
        "$HOME ${PATH} $1 $@ $(touch " + injected.string() + ") `touch " + injected.string() + "`",
        "!bang !! *?[a] ~ # ; & |\tline two \\\n\xF0\x9F\x94\x90 trailing\\",
    };
    for (const auto& passphrase : passphrases) {
        for (const std::string prefix : {"", "sudo "}) {
            const auto line = prefix + keychain::addCommand(passphrase);
            EXPECT_EQ(std::system(("PATH='" + tools.string() + "':/usr/bin:/bin; " + line).c_str()),
                      0);
            EXPECT_EQ(test::readFile(received), "12 words, " + passphrase) << line;
        }
    }
    EXPECT_FALSE(fs::exists(injected)) << "a passphrase ran a command";
}

} // namespace
} // namespace talvo
