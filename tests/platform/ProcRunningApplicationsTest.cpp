#include "TemporaryBundles.h"
#include "platform/RunningApplications.h"

#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

namespace talvo::testing {
namespace {

namespace fs = std::filesystem;

// A real process running a copy of /bin/sleep from inside a bundle, ended and reaped on scope exit.
class Sleeper {
  public:
    explicit Sleeper(const fs::path& executable) {
        std::string program = executable.string();
        std::string seconds = "60";
        char* argv[] = {program.data(), seconds.data(), nullptr};
        char* envp[] = {nullptr};
        if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp) != 0) {
            pid_ = 0;
        }
    }
    ~Sleeper() { stop(); }
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    bool started() const { return pid_ != 0; }
    void stop() {
        if (pid_ != 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

  private:
    pid_t pid_ = 0;
};

TEST(ProcRunningApplications, ProcessesAreMatchedToTheirInnermostBundle) {
    const TemporaryFolder folder;
    const auto unique = std::to_string(::getpid());
    const auto agentIdentifier = "com.example.talvo-test." + unique + ".app";
    const auto statusIdentifier = "com.example.talvo-test." + unique + ".status";
    const auto agent = makeBundle(folder.path() / "Talvo Test Agent.app", agentIdentifier, "Agent");
    const auto status =
        makeBundle(agent / "Contents" / "MacOS" / "Status.app", statusIdentifier, "Status");
    const auto agentExecutable = agent / "Contents" / "MacOS" / "Agent";
    const auto statusExecutable = status / "Contents" / "MacOS" / "Status";
    fs::copy_file("/bin/sleep", agentExecutable);
    fs::copy_file("/bin/sleep", statusExecutable);
    fs::permissions(agentExecutable, fs::perms::owner_all);
    fs::permissions(statusExecutable, fs::perms::owner_all);

    const ProcRunningApplications applications;
    EXPECT_FALSE(applications.isRunning(agentIdentifier));
    EXPECT_FALSE(applications.isRunning(statusIdentifier));

    Sleeper statusProcess(statusExecutable);
    ASSERT_TRUE(statusProcess.started());
    EXPECT_TRUE(applications.isRunning(statusIdentifier));
    EXPECT_FALSE(applications.isRunning(agentIdentifier)) << "the nested bundle is not the agent";

    Sleeper agentProcess(agentExecutable);
    ASSERT_TRUE(agentProcess.started());
    EXPECT_TRUE(applications.isRunning(agentIdentifier));
    EXPECT_TRUE(applications.isRunning(statusIdentifier));

    statusProcess.stop();
    EXPECT_FALSE(applications.isRunning(statusIdentifier));
    EXPECT_TRUE(applications.isRunning(agentIdentifier));
    EXPECT_FALSE(applications.isRunning("com.example.talvo-test.unknown"));
}

} // namespace
} // namespace talvo::testing
