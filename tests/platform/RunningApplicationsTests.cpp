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

std::set<std::string> runningAmong(const std::vector<std::string>& identifiers,
                                   std::size_t infoSizeLimit = kBundleInfoSizeLimit) {
    return SystemRunningApplications(infoSizeLimit).runningAmong(identifiers);
}

bool running(const std::string& identifier) {
    return runningAmong({identifier}).contains(identifier);
}

// Bundles laid out as the agent's: an application with a daemon beside its main executable in
// Contents/MacOS, and a second application nested there. Identifiers carry the folder's unique
// name, so that other test runs on the computer cannot answer for ours.
struct ExampleBundles {
    const TemporaryFolder folder;
    const std::string appIdentifier = "com.example." + folder.path().filename().string();
    const std::string statusIdentifier = appIdentifier + ".status";
    const fs::path app = folder.path() / "Example App.app";
    const fs::path statusApp = app / "Contents/MacOS/ExampleStatus.app";

    ExampleBundles() {
        makeBundle(app, appIdentifier, "Example App");
        makeBundle(statusApp, statusIdentifier, "ExampleStatus");
    }
};

TEST(RunningApplications, OnlyTheBundlesMainExecutableIsTheApplication) {
    const ExampleBundles bundles;
    const auto& [folder, appIdentifier, statusIdentifier, app, statusApp] = bundles;
    // A tool in a folder below Contents/MacOS, named as the main executable.
    const RunningProgram nestedTool(app / "Contents/MacOS/bin/Example App");
    {
        const RunningProgram daemon(app / "Contents/MacOS/ExampleDaemon");
        const RunningProgram status(statusApp / "Contents/MacOS/ExampleStatus");
        ASSERT_TRUE(daemon.started() && nestedTool.started() && status.started());
        EXPECT_FALSE(running(appIdentifier));
        EXPECT_TRUE(running(statusIdentifier));
    }
    const fs::path executable = app / "Contents/MacOS/Example App";
    const RunningProgram application(executable);
    ASSERT_TRUE(application.started());
    EXPECT_TRUE(running(appIdentifier));
    EXPECT_FALSE(running(statusIdentifier));
    // An update replaced the file under the running process.
    fs::remove(executable);
    EXPECT_TRUE(running(appIdentifier));
    // No application either when the bundle names no usable executable.
    for (const std::string name : {"", "..", "bin/Example App"}) {
        makeBundle(app, appIdentifier, name);
        EXPECT_FALSE(running(appIdentifier)) << name;
    }
}

// One look answers for both identifiers, and each bundle's Info.plist is opened once in it, however
// many of the bundle's programs run. An Info.plist over the limit is not read, so its bundle has
// no application.
TEST(RunningApplications, OneLookReadsEachBundleOnceAndOnlyWithinTheLimit) {
    const ExampleBundles bundles;
    const auto& [folder, appIdentifier, statusIdentifier, app, statusApp] = bundles;
    const RunningProgram daemon(app / "Contents/MacOS/ExampleDaemon");
    const RunningProgram helper(app / "Contents/MacOS/ExampleHelper");
    const RunningProgram application(app / "Contents/MacOS/Example App");
    const RunningProgram status(statusApp / "Contents/MacOS/ExampleStatus");
    ASSERT_TRUE(daemon.started() && helper.started() && application.started() && status.started());
    OpenCount appInfo(app / "Contents/Info.plist");
    OpenCount statusInfo(statusApp / "Contents/Info.plist");
    ASSERT_TRUE(appInfo.watching() && statusInfo.watching());
    EXPECT_EQ(runningAmong({appIdentifier, statusIdentifier}),
              (std::set<std::string>{appIdentifier, statusIdentifier}));
    EXPECT_EQ(appInfo.opens(), 1);
    EXPECT_EQ(statusInfo.opens(), 1);

    const auto size = fs::file_size(app / "Contents/Info.plist");
    EXPECT_EQ(runningAmong({appIdentifier}, size), std::set<std::string>{appIdentifier});
    EXPECT_EQ(runningAmong({appIdentifier}, size - 1), std::set<std::string>{});
}

} // namespace
} // namespace talvo
