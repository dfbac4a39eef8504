#include "platform/AppBundle.h"

#include "TemporaryBundles.h"
#include "platform/FileURL.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

TEST(AppBundle, ExecutableBelongsToTheInnermostBundle) {
    const struct {
        const char* executable;
        std::optional<std::string> bundle;
    } cases[] = {
        {"/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent",
         "/Applications/Talvo Backup Agent.app"},
        {"/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgentStatus.app/"
         "Contents/MacOS/TalvoBackupAgentStatus",
         "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgentStatus.app"},
        {"/Applications/X.app/Contents/MacOS/", std::nullopt},
        {"/Applications/X.app/Contents/Resources/tool", std::nullopt},
        {"/Applications/.app/Contents/MacOS/tool", std::nullopt},
        {"/usr/bin/sleep", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [executable, bundle] : cases) {
        EXPECT_EQ(bundle::bundleOfExecutable(executable), bundle) << executable;
    }

    EXPECT_TRUE(bundle::isBundlePath("/Applications/Talvo Backup Agent.app"));
    EXPECT_TRUE(bundle::isBundlePath("/Applications/Talvo Backup Agent.app/"));
    EXPECT_FALSE(bundle::isBundlePath("/Applications/.app"));
    EXPECT_FALSE(bundle::isBundlePath("/Applications/Talvo.apps"));
    EXPECT_FALSE(bundle::isBundlePath("/"));
}

TEST(AppBundle, InfoStringsComeFromContentsInfoPlist) {
    const TemporaryFolder folder;
    const auto bundle = makeBundle(folder.path() / "Some App.app", "com.example.some", "Some");
    EXPECT_EQ(bundle::infoString(bundle, "CFBundleIdentifier"), "com.example.some");
    EXPECT_EQ(bundle::infoString(bundle, "CFBundleExecutable"), "Some");
    EXPECT_EQ(bundle::infoString(bundle, "CFBundleVersion"), std::nullopt);
    EXPECT_EQ(bundle::infoString(folder.path() / "Missing.app", "CFBundleIdentifier"),
              std::nullopt);
}

TEST(FileURL, PathsRoundTripThroughPercentEncoding) {
    EXPECT_EQ(fileURLFromPath("/Applications/Talvo Backup Agent.app"),
              "file:///Applications/Talvo%20Backup%20Agent.app");
    EXPECT_EQ(fileURLFromPath("/a%b?c#d\"e/caf\xC3\xA9"), "file:///a%25b%3Fc%23d%22e/caf%C3%A9");
    for (const std::string path :
         {"/", "/tmp/x y/z.app", "/a%20b", "/q?#[]\"'!$&()*+,;=:@~", "/\xF0\x9F\x94\x90/\n\t"}) {
        EXPECT_EQ(pathFromFileURL(fileURLFromPath(path)), path) << path;
    }
    EXPECT_EQ(pathFromFileURL("file://localhost/tmp/a%2fb"), "/tmp/a/b");
    EXPECT_EQ(pathFromFileURL("FILE:///tmp/x?query#fragment"), "/tmp/x");
    EXPECT_EQ(pathFromFileURL("file://server/tmp/x"), std::nullopt);
    EXPECT_EQ(pathFromFileURL("https://example.com/x"), std::nullopt);
    EXPECT_EQ(pathFromFileURL("file:///tmp/bad%2"), std::nullopt);
    EXPECT_EQ(pathFromFileURL("file:///tmp/bad%zz"), std::nullopt);
    EXPECT_EQ(pathFromFileURL("file:///tmp/nul%00"), std::nullopt);
    EXPECT_EQ(pathFromFileURL("file://"), std::nullopt);
}

} // namespace
} // namespace talvo::testing
