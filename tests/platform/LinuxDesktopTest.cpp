#include "platform/FileChecks.h"
#include "platform/FileURL.h"
#include "platform/RunningApplications.h"
#include "platform/Workspace.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A temporary folder for bundles and scripts.
class LinuxDesktop : public ::testing::Test {
  protected:
    LinuxDesktop() {
        std::string pattern = (fs::temp_directory_path() / "talvo-desktop-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~LinuxDesktop() override { fs::remove_all(folder); }

    fs::path makeBundle(const std::string& name, const std::string& identifier,
                        const std::string& executable) {
        const auto bundle = folder / name;
        fs::create_directories(bundle / "Contents" / "MacOS");
        std::ofstream(bundle / "Contents" / "Info.plist")
            << "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" << identifier
            << "</string><key>CFBundleExecutable</key><string>" << executable
            << "</string></dict></plist>";
        return bundle;
    }

    fs::path folder;
};

// A process sleeping for a minute, unless stopped (and reaped) before.
pid_t startSleeping(const fs::path& program) {
    std::string path = program.string(), seconds = "60";
    char* argv[] = {path.data(), seconds.data(), nullptr};
    pid_t child = 0;
    EXPECT_EQ(::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, environ), 0) << path;
    return child;
}

void stop(pid_t child) {
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

void writeScript(const fs::path& file, const std::string& text) {
    std::ofstream(file) << "#!/bin/sh\n" << text;
    fs::permissions(file, fs::perms::owner_all);
}

// The text a started script leaves behind.
std::optional<std::string> waitForFile(const fs::path& file) {
    for (auto waited = 0ms; waited < 10s; waited += 20ms, std::this_thread::sleep_for(20ms)) {
        if (fs::exists(file)) {
            std::stringstream text;
            text << std::ifstream(file).rdbuf();
            return text.str();
        }
    }
    return std::nullopt;
}

// Whether every child this process started has ended and been reaped (left no zombie).
bool noChildrenLeftSoon() {
    for (auto waited = 0ms; waited < 5s; waited += 20ms, std::this_thread::sleep_for(20ms)) {
        siginfo_t info{};
        if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD) {
            return true;
        }
    }
    return false;
}

TEST_F(LinuxDesktop, FileChecksSeeFilesFoldersAndLinksThroughTheirTargets) {
    std::ofstream(folder / "file") << "x";
    fs::create_symlink(folder / "file", folder / "link");
    fs::create_symlink(folder / "gone", folder / "dangling");
    const LocalFileChecks files;
    EXPECT_TRUE(files.fileExists(folder.string()));
    EXPECT_TRUE(files.fileExists((folder / "file").string()));
    EXPECT_TRUE(files.fileExists((folder / "link").string()));
    EXPECT_FALSE(files.fileExists((folder / "dangling").string()));
    EXPECT_FALSE(files.fileExists((folder / "missing").string()));
    EXPECT_FALSE(files.fileExists(""));
}

TEST_F(LinuxDesktop, ProcessesAreMatchedToTheirInnermostBundle) {
    const auto unique = "com.example.talvo-test." + std::to_string(::getpid());
    const auto agent = makeBundle("Test Agent.app", unique + ".app", "Agent");
    const auto status =
        makeBundle("Test Agent.app/Contents/MacOS/Status.app", unique + ".status", "Status");
    fs::copy_file("/bin/sleep", agent / "Contents/MacOS/Agent");
    fs::copy_file("/bin/sleep", status / "Contents/MacOS/Status");

    const ProcRunningApplications applications;
    EXPECT_FALSE(applications.isRunning(unique + ".status"));
    const auto statusProcess = startSleeping(status / "Contents/MacOS/Status");
    EXPECT_TRUE(applications.isRunning(unique + ".status"));
    EXPECT_FALSE(applications.isRunning(unique + ".app")) << "the nested bundle is not the agent";
    const auto agentProcess = startSleeping(agent / "Contents/MacOS/Agent");
    EXPECT_TRUE(applications.isRunning(unique + ".app"));
    stop(statusProcess);
    EXPECT_FALSE(applications.isRunning(unique + ".status"));
    EXPECT_TRUE(applications.isRunning(unique + ".app"));
    stop(agentProcess);
}

TEST_F(LinuxDesktop, OpenedBundleRunsDetachedAndIsReaped) {
    const auto marker = (folder / "started").string();
    const auto bundle = makeBundle("Opener Test.app", "com.example.opener", "opener");
    // Its standard streams, its pid and its session, published at once.
    writeScript(bundle / "Contents/MacOS/opener",
                "echo $(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2) $$ "
                "$(cut -d' ' -f6 /proc/$$/stat) > '" +
                    marker + ".tmp' && mv '" + marker + ".tmp' '" + marker + "'\n");

    LinuxWorkspace workspace;
    workspace.openBundle(bundle.string());
    const auto report = waitForFile(marker);
    ASSERT_TRUE(report) << "the bundle's executable did not start";
    std::istringstream words(*report);
    std::string in, out, err, pid, session;
    words >> in >> out >> err >> pid >> session;
    EXPECT_EQ(in + " " + out + " " + err, "/dev/null /dev/null /dev/null");
    EXPECT_EQ(pid, session) << "runs in a session of its own";
    EXPECT_TRUE(noChildrenLeftSoon());

    fs::remove(marker);
    workspace.openURL(fileURLFromPath(bundle.string()));
    EXPECT_TRUE(waitForFile(marker)) << "a file URL of a bundle opens that bundle";
    EXPECT_TRUE(noChildrenLeftSoon());
}

TEST_F(LinuxDesktop, OtherURLsGoToXdgOpenAndMissingBundlesToNothing) {
    const auto opened = folder / "opened";
    writeScript(folder / "xdg-open", "printf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (folder.string() + ":" + path).c_str(), 1);

    LinuxWorkspace workspace;
    workspace.openBundle((folder / "Missing.app").string());
    workspace.openURL(fileURLFromPath((folder / "Missing.app").string()));
    workspace.openURL("https://example.com/a%20b?c=d");
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(waitForFile(opened));
    EXPECT_TRUE(noChildrenLeftSoon());
    EXPECT_EQ(waitForFile(opened), "https://example.com/a%20b?c=d\n");
}

} // namespace
} // namespace talvo
