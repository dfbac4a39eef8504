#include "engine/SystemCommands.h"
#include "platform/ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace talvo {
namespace {

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

// What the search printed, as Setup judges it: the search's own words are no agent, and a line
// that is not UTF-8 is no listing at all.
TEST(AgentProcessSearch, OnlyAValidListingNamingTheAgentBeyondTheSearchCounts) {
    const struct {
        std::string listing;
        bool mentions;
    } rows[] = {
        {"root 88 0.0 /Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent daemon",
         true},
        {"root 90 0.0 sh -c ps auxww | grep TalvoBackupAgent | grep -v 'grep TalvoBackupAgent'",
         false},
        {"staff1 91 0.0 grep TalvoBackupAgentgrep TalvoBackupAgent", false},
        // Any user's program that names the agent counts: the search reads words, not owners.
        {"staff2 93 0.0 sleep 60 TalvoBackupAgent", true},
        {"staff1 92 0.0 ./TalvoBackupAgent \xff", false},
        {"", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(agentProcessSearch::mentionsAgent(row.listing), row.mentions) << row.listing;
    }
}

} // namespace
} // namespace talvo
