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
#include <unistd.h>

extern char** environ;

namespace talvo {
namespace {

namespace fs = std::filesystem;

using test::OpenCount;
using test::TemporaryFolder;
using test::writeFile;

// A real program running from a given path until the test lets go of it.
class RunningProgram {
  public:
    explicit RunningProgram(const fs::path& executable) {
        fs::create_directories(executable.parent_path());
        fs::copy_file("/bin/sleep", executable, fs::copy_options::overwrite_existing);
        const std::string path = executable.string();
        std::string seconds = "60";
        char* const argv[] = {const_cast<char*>(path.c_str()), seconds.data(), nullptr};
        if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
    }
    ~RunningProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
};

void makeBundle(const fs::path& bundle, const std::string& identifier,
                const std::string& executable) {
    writeFile(bundle / "Contents/Info.plist",
              "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" + identifier +
                  "</string><key>CFBundleExecutable</key><string>" + executable +
                  "</string></dict></plist>");
}

// Bundles laid out as the agent's: an application with a daemon beside its main executable in
// Contents/MacOS, and a second application nested there. Identifiers carry the folder's unique
// name, so that other test runs on the computer cannot answer for ours.
TEST(RunningApplications, OnlyTheMainExecutableIsTheApplicationAndOneLookReadsEachBundleOnce) {
    const TemporaryFolder folder;
    const std::string app = "com.example." + folder.path().filename().string();
    const std::string status = app + ".status";
    const fs::path bundle = folder.path() / "Example App.app";
    const fs::path statusBundle = bundle / "Contents/MacOS/ExampleStatus.app";
    makeBundle(bundle, app, "Example App");
    makeBundle(statusBundle, status, "ExampleStatus");
    const auto runningAmong = [](const std::vector<std::string>& identifiers,
                                 std::size_t limit = kBundleInfoSizeLimit) {
        return SystemRunningApplications(limit).runningAmong(identifiers);
    };
    const auto running = [&](const std::string& identifier) {
        return runningAmong({identifier}).contains(identifier);
    };

    const RunningProgram daemon(bundle / "Contents/MacOS/ExampleDaemon");
    // A tool in a folder below Contents/MacOS, named as the main executable.
    const RunningProgram nestedTool(bundle / "Contents/MacOS/bin/Example App");
    const RunningProgram statusProgram(statusBundle / "Contents/MacOS/ExampleStatus");
    ASSERT_TRUE(daemon.started() && nestedTool.started() && statusProgram.started());
    EXPECT_FALSE(running(app));
    EXPECT_TRUE(running(status));

    const fs::path executable = bundle / "Contents/MacOS/Example App";
    const RunningProgram application(executable);
    ASSERT_TRUE(application.started());
    // One look answers for both identifiers and opens each bundle's Info.plist once, however many
    // of the bundle's programs run.
    OpenCount appInfo(bundle / "Contents/Info.plist");
    OpenCount statusInfo(statusBundle / "Contents/Info.plist");
    ASSERT_TRUE(appInfo.watching() && statusInfo.watching());
    EXPECT_EQ(runningAmong({app, status}), (std::set<std::string>{app, status}));
    EXPECT_EQ(appInfo.opens(), 1);
    EXPECT_EQ(statusInfo.opens(), 1);
    // An Info.plist over the limit is not read, so its bundle has no application.
    const auto size = fs::file_size(bundle / "Contents/Info.plist");
    EXPECT_EQ(runningAmong({app}, size), std::set<std::string>{app});
    EXPECT_EQ(runningAmong({app}, size - 1), std::set<std::string>{});

    // An update replaced the file under the running process.
    fs::remove(executable);
    EXPECT_TRUE(running(app));
    // No application either when the bundle names no usable executable.
    for (const std::string name : {"", "..", "bin/Example App"}) {
        makeBundle(bundle, app, name);
        EXPECT_FALSE(running(app)) << name;
    }
}

} // namespace
} // namespace talvo
