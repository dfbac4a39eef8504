#include "TemporaryBundles.h"
#include "platform/FileChecks.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

namespace fs = std::filesystem;

TEST(LocalFileChecks, FilesFoldersAndLinksAreSeenThroughTheirTargets) {
    const TemporaryFolder folder;
    const auto file = folder.path() / "config.sqlite";
    std::ofstream(file) << "x";
    fs::create_symlink(file, folder.path() / "link");
    fs::create_symlink(folder.path() / "gone", folder.path() / "dangling");

    const LocalFileChecks files;
    EXPECT_TRUE(files.fileExists(file.string()));
    EXPECT_TRUE(files.fileExists(folder.path().string()));
    EXPECT_TRUE(files.fileExists((folder.path() / "link").string()));
    EXPECT_FALSE(files.fileExists((folder.path() / "dangling").string()));
    EXPECT_FALSE(files.fileExists((folder.path() / "missing").string()));
    EXPECT_FALSE(files.fileExists(""));
}

} // namespace
} // namespace talvo::testing
