#include "platform/RunningApplications.h"

#include "tests/support/TestFiles.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace talvo {
namespace {

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
class RunningApplicationsTest : public ::testing::Test {
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
        return ProcRunningApplications().isRunning(identifier);
    }

    TemporaryFolder folder;
    const std::string appIdentifier = "com.example." + folder.path().filename().string();
    const std::string statusIdentifier = appIdentifier + ".status";
};

TEST_F(RunningApplicationsTest, OnlyTheBundlesMainExecutableIsTheApplication) {
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

TEST_F(RunningApplicationsTest, NestedApplicationBelongsToItsOwnBundleOnly) {
    const RunningProgram status(statusApp() / "Contents/MacOS/ExampleStatus");
    ASSERT_TRUE(status.started());
    EXPECT_TRUE(running(statusIdentifier));
    EXPECT_FALSE(running(appIdentifier));
}

TEST_F(RunningApplicationsTest, ReplacedExecutableStillRunsAsTheApplication) {
    const fs::path executable = app() / "Contents/MacOS/Example App";
    const RunningProgram application(executable);
    ASSERT_TRUE(application.started());
    // An update replaced the file under the running process.
    fs::remove(executable);
    EXPECT_TRUE(running(appIdentifier));
}

TEST_F(RunningApplicationsTest, BundleWithoutAUsableExecutableNameHasNoApplication) {
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
