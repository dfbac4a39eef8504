#include "format/FileURL.h"
#include "platform/Workspace.h"
#include "tests/support/TestFiles.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

namespace talvo {
namespace {

using namespace std::chrono_literals;
using test::TemporaryFolder;
using test::writeFile;
using test::writeScript;

// Whether the condition comes to hold within ten seconds.
template <typename Condition> bool eventually(Condition condition) {
    for (auto waited = 0ms; waited < 10s && !condition(); waited += 20ms) {
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

// A bundle, directly or by its file URL, runs detached (standard streams on /dev/null, a session
// of its own) and is reaped: no child of ours is left, not even a zombie.
TEST(Workspace, OpensBundlesDetached) {
    const TemporaryFolder folder;
    const auto bundle = folder.path() / "Opener Test.app";
    writeFile(bundle / "Contents/Info.plist", "<plist version=\"1.0\"><dict><key>CFBundleExecutable"
                                              "</key><string>opener</string></dict></plist>");
    const auto marker = folder.path() / "started";
    writeScript(bundle / "Contents/MacOS/opener",
                "echo $(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2) "
                "$(($$ == $(cut -d' ' -f6 /proc/$$/stat))) >>'" +
                    marker.string() + "'\n");
    const auto noChildrenLeft = [] {
        siginfo_t info{};
        return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
    };
    const std::string detached = "/dev/null /dev/null /dev/null 1\n";
    SystemWorkspace workspace;
    workspace.openBundle(bundle.string());
    EXPECT_TRUE(eventually([&] { return test::readFile(marker) == detached; }));
    EXPECT_TRUE(eventually(noChildrenLeft));
    workspace.openURL(fileURLFromPath(bundle.string()));
    EXPECT_TRUE(eventually([&] { return test::readFile(marker) == detached + detached; }));
    EXPECT_TRUE(eventually(noChildrenLeft));
}

} // namespace
} // namespace talvo
