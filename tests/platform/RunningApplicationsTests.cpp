#include "platform/Posix.h"
#include "platform/RunningApplications.h"
#include "tests/support/OpenCount.h"
#include "tests/support/TestFiles.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace talvo {
namespace {

namespace fs = std::filesystem;

using test::OpenCount;
using test::TemporaryFolder;
using test::writeFile;

// A real program (a copy of sleep) running from a given path, under its path or another name,
// until the test lets go of it.
struct RunningProgram {
    explicit RunningProgram(const fs::path& executable, const std::string& name = {}) {
        fs::create_directories(executable.parent_path());
        fs::copy_file("/bin/sleep", executable, fs::copy_options::overwrite_existing);
        const posix::ArgumentVector argv(name.empty() ? executable.string() : name, {"60"});
        EXPECT_EQ(::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv.get(), environ),
                  0);
    }
    ~RunningProgram() {
        if (pid > 0) { // never -1: that would signal every process
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    pid_t pid = -1;
};

// A bundle laid out as the agent's: a daemon beside the main executable in Contents/MacOS. The
// identifier carries the folder's unique name, so that other test runs on the computer cannot
// answer for ours.
TEST(RunningApplications, OnlyTheMainExecutableIsTheApplicationAndOneLookReadsEachBundleOnce) {
    const TemporaryFolder folder;
    const std::string app = "com.example." + folder.path().filename().string();
    const fs::path bundle = folder.path() / "Example App.app";
    const fs::path info = bundle / "Contents/Info.plist";
    const auto describe = [&](const std::string& executable) {
        writeFile(info, "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" + app +
                            "</string><key>CFBundleExecutable</key><string>" + executable +
                            "</string></dict></plist>");
    };
    const auto running = [&](std::size_t limit = kBundleInfoSizeLimit) {
        return SystemRunningApplications(limit).runningAmong({app, app + ".absent"}) ==
               std::set<std::string>{app};
    };
    describe("Example App");

    const RunningProgram daemon(bundle / "Contents/MacOS/ExampleDaemon");
    // A tool in a folder below Contents/MacOS, named as the main executable.
    const RunningProgram nestedTool(bundle / "Contents/MacOS/bin/Example App");
    // Any user's program may call itself the application; what it runs is what counts.
    const RunningProgram impostor(folder.path() / "impostor",
                                  bundle / "Contents/MacOS/Example App");
    EXPECT_FALSE(running());

    const fs::path executable = bundle / "Contents/MacOS/Example App";
    const RunningProgram application(executable);
    // One look opens the bundle's Info.plist once, however many of its programs run.
    OpenCount reads(info);
    EXPECT_TRUE(running());
    EXPECT_EQ(reads.opens(), 1);
    // An Info.plist over the limit is not read, so its bundle has no application.
    EXPECT_TRUE(running(fs::file_size(info)));
    EXPECT_FALSE(running(fs::file_size(info) - 1));

    // An update replaced the file under the running process.
    fs::remove(executable);
    EXPECT_TRUE(running());
    // No application either when the bundle names no usable executable.
    for (const std::string name : {"", "..", "bin/Example App"}) {
        describe(name);
        EXPECT_FALSE(running()) << name;
    }
}

} // namespace
} // namespace talvo
