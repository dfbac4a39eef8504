#include "TemporaryBundles.h"
#include "platform/FileURL.h"
#include "platform/Workspace.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace talvo::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The text a started script leaves behind, once it has written all of it.
std::optional<std::string> waitForFile(const fs::path& file) {
    for (auto waited = 0ms; waited < 10s; waited += 20ms) {
        if (fs::exists(file)) {
            std::ifstream in(file);
            std::stringstream text;
            text << in.rdbuf();
            return text.str();
        }
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

// Children of this process that have ended but were never reaped.
int zombieChildren() {
    int zombies = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // pid (comm) state ppid ...: comm may hold blanks, so read behind its closing parenthesis.
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        char state = 0;
        int parent = 0;
        fields >> state >> parent;
        if (state == 'Z' && parent == ::getpid()) {
            ++zombies;
        }
    }
    return zombies;
}

bool noZombieChildrenSoon() {
    for (auto waited = 0ms; waited < 5s; waited += 20ms) {
        if (zombieChildren() == 0) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// Restores PATH on scope exit.
class PathOverride {
  public:
    explicit PathOverride(const std::string& path) {
        if (const char* old = std::getenv("PATH")) {
            old_ = old;
        }
        ::setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride() {
        if (old_) {
            ::setenv("PATH", old_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }
    PathOverride(const PathOverride&) = delete;
    PathOverride& operator=(const PathOverride&) = delete;

  private:
    std::optional<std::string> old_;
};

TEST(LinuxWorkspace, OpeningABundleStartsItsExecutableDetached) {
    const TemporaryFolder folder;
    const auto marker = folder.path() / "started";
    const auto bundle =
        makeBundle(folder.path() / "Opener Test.app", "com.example.opener", "opener");
    // Reports its standard streams, its pid and its session, then publishes the report at once.
    writeScript(bundle / "Contents" / "MacOS" / "opener",
                "#!/bin/sh\n"
                "streams=\"$(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) "
                "$(readlink /proc/$$/fd/2)\"\n"
                "echo \"$streams $$ $(cut -d' ' -f6 /proc/$$/stat)\" > '" +
                    marker.string() + ".tmp'\nmv '" + marker.string() + ".tmp' '" +
                    marker.string() + "'\n");

    LinuxWorkspace workspace;
    workspace.openBundle(bundle.string());
    const auto report = waitForFile(marker);
    ASSERT_TRUE(report) << "the bundle's executable did not start";
    std::istringstream lines(*report);
    std::string in, out, err, pid, session;
    lines >> in >> out >> err >> pid >> session;
    EXPECT_EQ(in, "/dev/null");
    EXPECT_EQ(out, "/dev/null");
    EXPECT_EQ(err, "/dev/null");
    EXPECT_EQ(pid, session) << "runs in a session of its own";
    EXPECT_TRUE(noZombieChildrenSoon());

    fs::remove(marker);
    workspace.openURL(fileURLFromPath(bundle.string()));
    EXPECT_TRUE(waitForFile(marker)) << "a file URL of a bundle opens that bundle";
    EXPECT_TRUE(noZombieChildrenSoon());
}

TEST(LinuxWorkspace, OtherURLsGoToXdgOpenAndMissingBundlesToNothing) {
    const TemporaryFolder folder;
    const auto marker = folder.path() / "opened";
    writeScript(folder.path() / "xdg-open",
                "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + marker.string() + "'\n");
    const PathOverride path(folder.path().string());

    LinuxWorkspace workspace;
    workspace.openBundle((folder.path() / "Missing.app").string());
    workspace.openURL("file://" + folder.path().string() + "/Missing.app");
    workspace.openURL("https://example.com/a%20b?c=d");
    const auto opened = waitForFile(marker);
    ASSERT_TRUE(opened);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(waitForFile(marker), "https://example.com/a%20b?c=d\n");
    EXPECT_TRUE(noZombieChildrenSoon());
}

} // namespace
} // namespace talvo::testing
