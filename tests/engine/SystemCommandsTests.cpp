#include "engine/SystemCommands.h"
#include "platform/ChildProcess.h"
#include "tests/support/TestFiles.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

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

// A shell that sleeps, started with this command line in a process group of its own; the group is
// ended and the shell reaped when it goes away.
class CommandLineHolder {
  public:
    explicit CommandLineHolder(const std::vector<std::string>& words) {
        std::vector<char*> argv;
        for (const auto& word : words) {
            argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
        }
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        EXPECT_EQ(::posix_spawn(&pid_, "/bin/sh", &actions, &attributes, argv.data(), environ), 0);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CommandLineHolder() {
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    CommandLineHolder(const CommandLineHolder&) = delete;
    CommandLineHolder& operator=(const CommandLineHolder&) = delete;

  private:
    pid_t pid_ = 0;
};

// Setup runs the search as root and holds what it prints. A local user's programs may each carry
// as much command line as the system allows, the search's own words included, and still the
// search prints one short line: the one that names the agent.
TEST(AgentProcessSearch, PrintsOneLineWhateverOtherProgramsCarry) {
    std::string padding;
    while (padding.size() < 100000) {
        padding += "grep TalvoBackupAgent ";
    }
    std::vector<std::unique_ptr<CommandLineHolder>> programs;
    for (int program = 0; program < 12; ++program) {
        programs.push_back(std::make_unique<CommandLineHolder>(
            std::vector<std::string>{"sh", "-c", "sleep 60; exit", "padded", padding}));
    }
    programs.push_back(std::make_unique<CommandLineHolder>(
        std::vector<std::string>{"sh", "-c", "sleep 60; exit", "TalvoBackupAgent-search-test"}));
    const auto listing = SystemProcessLauncher().standardOutputOf(
        agentProcessSearch::kShell, agentProcessSearch::shellArguments());
    ASSERT_TRUE(listing.has_value());
    EXPECT_LT(listing->size(), padding.size());
    EXPECT_TRUE(agentProcessSearch::mentionsAgent(*listing));
}

} // namespace
} // namespace talvo
