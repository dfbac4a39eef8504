#include "platform/RunningApplications.h"
#include "tests/support/TestFiles.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace talvo {
namespace {

namespace fs = std::filesystem;

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
// Contents/MacOS, a tool in a folder below, and a second application nested there. Identifiers
// carry the folder's unique name, so that other test runs on the computer cannot answer for ours.
TEST(RunningApplications, OnlyTheBundlesMainExecutableIsTheApplication) {
    const TemporaryFolder folder;
    const std::string appIdentifier = "com.example." + folder.path().filename().string();
    const std::string statusIdentifier = appIdentifier + ".status";
    const auto app = folder.path() / "Example App.app";
    const auto statusApp = app / "Contents/MacOS/ExampleStatus.app";
    makeBundle(app, appIdentifier, "Example App");
    makeBundle(statusApp, statusIdentifier, "ExampleStatus");
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

// Counts the times any process opens a file, from now on. Closes are watched too: inotify merges
// an event into an identical one still unread, and each open's close stands between two opens.
class OpenCount {
  public:
    explicit OpenCount(const fs::path& file)
        : fd_(::inotify_init1(IN_NONBLOCK)),
          watch_(::inotify_add_watch(fd_, file.c_str(), IN_OPEN | IN_CLOSE)) {}
    ~OpenCount() { ::close(fd_); }
    OpenCount(const OpenCount&) = delete;
    OpenCount& operator=(const OpenCount&) = delete;

    bool watching() const { return watch_ >= 0; }
    int opens() {
        alignas(inotify_event) char events[4096];
        for (ssize_t size; (size = ::read(fd_, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                opens_ += (event->mask & IN_OPEN) != 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

  private:
    int fd_;
    int watch_;
    int opens_ = 0;
};

// One look answers for both identifiers, and each bundle's Info.plist is opened once in it, however
// many of the bundle's programs run.
TEST(RunningApplications, OneLookReadsEachBundleOnce) {
    const TemporaryFolder folder;
    const std::string appIdentifier = "com.example." + folder.path().filename().string();
    const std::string statusIdentifier = appIdentifier + ".status";
    const auto app = folder.path() / "Example App.app";
    const auto statusApp = app / "Contents/MacOS/ExampleStatus.app";
    makeBundle(app, appIdentifier, "Example App");
    makeBundle(statusApp, statusIdentifier, "ExampleStatus");
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
}

// An Info.plist over the limit is not read, so its bundle has no application.
TEST(RunningApplications, AnInfoPlistOverTheSizeLimitIsNotRead) {
    const TemporaryFolder folder;
    const std::string identifier = "com.example." + folder.path().filename().string();
    const auto app = folder.path() / "Example App.app";
    makeBundle(app, identifier, "Example App");
    const RunningProgram application(app / "Contents/MacOS/Example App");
    ASSERT_TRUE(application.started());
    const auto size = fs::file_size(app / "Contents/Info.plist");
    EXPECT_EQ(runningAmong({identifier}, size), std::set<std::string>{identifier});
    EXPECT_EQ(runningAmong({identifier}, size - 1), std::set<std::string>{});
}

} // namespace
} // namespace talvo
