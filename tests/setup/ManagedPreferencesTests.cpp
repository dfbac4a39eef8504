#include "PropertyListFiles.h"
#include "platform/AtomicTextFile.h"
#include "setup/ManagedPreferences.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryFolder;

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(AtomicTextFile, ReplacesTheWholeFileOrFailsLeavingNothingBehind) {
    const TemporaryFolder folder;
    const auto target = folder.path() / "seed.conf";
    const auto elsewhere = folder.path() / "elsewhere";
    testing::writeFile(elsewhere, "untouched");
    fs::create_symlink(elsewhere, target);

    // A link is replaced, not written through.
    const std::string first("first\nwith\0nul", 14);
    EXPECT_FALSE(writeTextFileAtomically(target, first));
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(readFile(target), first);
    EXPECT_EQ(readFile(elsewhere), "untouched");
    EXPECT_FALSE(writeTextFileAtomically(target, ""));
    EXPECT_EQ(readFile(target), "");
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0644));

    // The temporary file gets written, then cannot replace a folder.
    const auto folderInTheWay = folder.path() / "folder";
    fs::create_directory(folderInTheWay);
    EXPECT_EQ(writeTextFileAtomically(folderInTheWay, "x"), std::errc::is_a_directory);
    EXPECT_EQ(entriesIn(folder.path()), 3u);
}

class ManagedPreferencesTest : public ::testing::Test {
  protected:
    void writePreferences(const std::string& entries) const {
        testing::writeFile(preferences.computerWideFile(),
                           R"(<?xml version="1.0"?><plist version="1.0"><dict>)" + entries +
                               "</dict></plist>");
    }

    TemporaryFolder root;
    const fs::path seedFolder = root.path() / "Library/Application Support/Talvo Backup Agent";
    std::ostringstream out;
    const ManagedPreferences preferences{root.path().string() + "/", "jane", out};
};

TEST_F(ManagedPreferencesTest, KeysAreCaseSensitiveTextKeysTakeTextAndTheSeedFileIsNamedQuoted) {
    fs::create_directories(seedFolder);
    writePreferences("<key>Reg-Token</key><string>wrong case</string>"
                     "<key>seed-path</key><data>L3RtcA==</data>"
                     "<key>seed-config</key><dict><key>a</key><string>x</string></dict>"
                     "<key>clean-up</key><string>no</string>");
    const Config expected{std::nullopt, std::nullopt, std::nullopt,
                          "\"" + preferences.seedFile() + "\"", true};
    EXPECT_EQ(preferences.profile(), expected);
    EXPECT_EQ(readFile(preferences.seedFile()), "a = x");
    EXPECT_EQ(entriesIn(seedFolder), 1u);
    EXPECT_EQ(out.str(), "");
}

TEST_F(ManagedPreferencesTest, AFailedSeedWriteIsPrintedAndTheProfileStands) {
    writePreferences("<key>seed-config</key><dict/><key>reg-token</key><string>t</string>");
    const auto profile = preferences.profile();
    ASSERT_TRUE(profile.has_value());
    EXPECT_EQ(profile->registrationToken, "t");
    EXPECT_EQ(profile->seedPath, "\"" + preferences.seedFile() + "\"");
    EXPECT_EQ(out.str(), "Error Domain=FileWriteError Code=2 \"Could not write " +
                             preferences.seedFile() + ": No such file or directory\"\n");
    EXPECT_FALSE(fs::exists(seedFolder));
}

} // namespace
} // namespace talvo
