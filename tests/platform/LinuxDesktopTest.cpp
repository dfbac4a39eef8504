#include "platform/FileChecks.h"
#include "platform/FileURL.h"
#include "platform/Workspace.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
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

TEST_F(LinuxDesktop, FileChecksSeeFilesFoldersAndLinksThroughTheirTargets) {
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
TEST_F(LinuxDesktop, OpensBundlesDetachedAndOtherURLsWithXdgOpen) {
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

    LinuxWorkspace workspace;
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

} // namespace
} // namespace talvo
