#include "platform/Desktop.h"
#include "platform/FileURL.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace talvo {
namespace {

TEST(AppBundle, ExecutableBelongsToTheInnermostBundle) {
    const struct {
        const char* executable;
        std::optional<std::string> bundle;
    } cases[] = {
        {"/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent",
         "/Applications/Talvo Backup Agent.app"},
        {"/A.app/Contents/MacOS/B.app/Contents/MacOS/B", "/A.app/Contents/MacOS/B.app"},
        {"/Applications/X.app/Contents/MacOS/", std::nullopt},
        {"/Applications/X.app/Contents/Resources/tool", std::nullopt},
        {"/Applications/.app/Contents/MacOS/tool", std::nullopt},
        {"/usr/bin/sleep", std::nullopt},
    };
    for (const auto& [executable, bundle] : cases) {
        EXPECT_EQ(bundle::bundleOfExecutable(executable), bundle) << executable;
    }
    EXPECT_TRUE(bundle::isBundlePath("/Applications/Talvo Backup Agent.app/"));
    EXPECT_FALSE(bundle::isBundlePath("/Applications/.app"));
    EXPECT_FALSE(bundle::isBundlePath("/Applications/Talvo.apps"));
    EXPECT_FALSE(bundle::isBundlePath("/"));
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A temporary folder for bundles and scripts.
class Desktop : public ::testing::Test {
  protected:
    const testing::TemporaryFolder temporary;
    const fs::path& folder = temporary.path();
};

using testing::writeScript;

// The text a started script leaves behind.
std::optional<std::string> waitForFile(const fs::path& file) {
    for (auto waited = 0ms; waited < 10s; waited += 20ms, std::this_thread::sleep_for(20ms)) {
        if (fs::exists(file)) {
            return testing::readFile(file);
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

TEST_F(Desktop, FileChecksSeeFilesFoldersAndLinksThroughTheirTargets) {
    testing::writeFile(folder / "file", "x");
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

// A bundle, directly or by its file URL, runs detached and is reaped; a missing bundle opens
// nothing, and other URLs go to xdg-open.
TEST_F(Desktop, OpensBundlesDetachedAndOtherURLsWithXdgOpen) {
    const auto bundle = folder / "Opener Test.app";
    testing::writeFile(bundle / "Contents/Info.plist",
                       "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
                       "<string>opener</string></dict></plist>");
    const auto marker = (folder / "started").string();
    // Its standard streams and whether it leads a session of its own, published at once.
    writeScript(bundle / "Contents/MacOS/opener",
                "echo $(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2) "
                "$(($$ == $(cut -d' ' -f6 /proc/$$/stat))) > '" +
                    marker + ".tmp' && mv '" + marker + ".tmp' '" + marker + "'\n");

    SystemWorkspace workspace;
    workspace.openBundle(bundle.string());
    EXPECT_EQ(waitForFile(marker), "/dev/null /dev/null /dev/null 1\n");
    EXPECT_TRUE(noChildrenLeftSoon());
    fs::remove(marker);
    workspace.openURL(fileURLFromPath(bundle.string()));
    EXPECT_TRUE(waitForFile(marker)) << "a file URL of a bundle opens that bundle";

    const auto opened = folder / "opened";
    writeScript(folder / "xdg-open", "printf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (folder.string() + ":" + path).c_str(), 1);
    workspace.openBundle((folder / "Missing.app").string());
    workspace.openURL(fileURLFromPath((folder / "Missing.app").string()));
    workspace.openURL("https://example.com/a%20b?c=d");
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(waitForFile(opened));
    EXPECT_TRUE(noChildrenLeftSoon());
    EXPECT_EQ(waitForFile(opened), "https://example.com/a%20b?c=d\n");
}

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::writeFile;

// A real program running from a given path until the test lets go of it.
class RunningProgram {
  public:
    explicit RunningProgram(const fs::path& executable) {
        fs::create_directories(executable.parent_path());
        fs::copy_file("/bin/sleep", executable, fs::copy_options::overwrite_existing);
        fs::permissions(executable, fs::perms::owner_all);
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

// Bundles laid out as the agent's: an application with a helper beside its main executable in
// Contents/MacOS, and a second application nested in that folder. Identifiers carry the folder's
// unique name, so that other test runs on the same computer cannot answer for ours.
class RunningApplications : public ::testing::Test {
  protected:
    void SetUp() override {
        makeBundle(app(), appIdentifier, "Example App");
        makeBundle(statusApp(), statusIdentifier, "ExampleStatus");
    }

    fs::path app() const { return folder.path() / "Example App.app"; }
    fs::path statusApp() const { return app() / "Contents/MacOS/ExampleStatus.app"; }

    static void makeBundle(const fs::path& bundle, const std::string& identifier,
                           const std::string& executable) {
        writeFile(bundle / "Contents/Info.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                  "<plist version=\"1.0\"><dict>"
                                                  "<key>CFBundleIdentifier</key><string>" +
                                                      identifier +
                                                      "</string>"
                                                      "<key>CFBundleExecutable</key><string>" +
                                                      executable + "</string></dict></plist>\n");
    }

    bool running(const std::string& identifier) const {
        return SystemRunningApplications().isRunning(identifier);
    }

    TemporaryFolder folder;
    const std::string appIdentifier = "com.example." + folder.path().filename().string();
    const std::string statusIdentifier = appIdentifier + ".status";
};

TEST_F(RunningApplications, OnlyTheBundlesMainExecutableIsTheApplication) {
    EXPECT_FALSE(running(appIdentifier));
    {
        // The agent's daemon lives beside the application's executable: not the application.
        const RunningProgram daemon(app() / "Contents/MacOS/ExampleDaemon");
        const RunningProgram nestedTool(app() / "Contents/MacOS/bin/Example App");
        ASSERT_TRUE(daemon.started() && nestedTool.started());
        EXPECT_FALSE(running(appIdentifier));
        EXPECT_FALSE(running(statusIdentifier));
    }
    const RunningProgram application(app() / "Contents/MacOS/Example App");
    ASSERT_TRUE(application.started());
    EXPECT_TRUE(running(appIdentifier));
    EXPECT_FALSE(running(statusIdentifier));
}

TEST_F(RunningApplications, NestedApplicationBelongsToItsOwnBundleOnly) {
    const RunningProgram status(statusApp() / "Contents/MacOS/ExampleStatus");
    ASSERT_TRUE(status.started());
    EXPECT_TRUE(running(statusIdentifier));
    EXPECT_FALSE(running(appIdentifier));
}

TEST_F(RunningApplications, ReplacedExecutableStillRunsAsTheApplication) {
    const fs::path executable = app() / "Contents/MacOS/Example App";
    const RunningProgram application(executable);
    ASSERT_TRUE(application.started());
    // An update replaced the file under the running process.
    fs::remove(executable);
    EXPECT_TRUE(running(appIdentifier));
}

TEST_F(RunningApplications, BundleWithoutAUsableExecutableNameHasNoApplication) {
    const RunningProgram application(app() / "Contents/MacOS/Example App");
    const RunningProgram inFolder(app() / "Contents/MacOS/bin/Example App");
    ASSERT_TRUE(application.started() && inFolder.started());
    for (const std::string name : {"", ".", "..", "bin/Example App", "../MacOS/Example App"}) {
        makeBundle(app(), appIdentifier, name);
        EXPECT_FALSE(running(appIdentifier)) << name;
    }
}

} // namespace
} // namespace talvo
