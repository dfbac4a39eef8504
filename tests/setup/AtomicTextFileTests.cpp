#include "TemporaryFolder.h"
#include "platform/AtomicTextFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace talvo {
namespace {

using testing::readFile;
using testing::TemporaryFolder;

std::size_t entriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

TEST(AtomicTextFile, WritesAndReplacesTheWholeFile) {
    const TemporaryFolder folder;
    const auto target = (folder.path() / "seed.conf").string();
    const std::string first("first\nwith\0nul", 14);

    EXPECT_FALSE(writeTextFileAtomically(target, first));
    EXPECT_EQ(readFile(target), first);

    EXPECT_FALSE(writeTextFileAtomically(target, "second"));
    EXPECT_EQ(readFile(target), "second");
    EXPECT_FALSE(writeTextFileAtomically(target, ""));
    EXPECT_EQ(readFile(target), "");

    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    EXPECT_EQ(entriesIn(folder.path()), 1u);
}

TEST(AtomicTextFile, ReplacesALinkInsteadOfWritingThroughIt) {
    const TemporaryFolder folder;
    const auto elsewhere = folder.path() / "elsewhere";
    testing::writeFile(elsewhere, "untouched");
    const auto target = folder.path() / "seed.conf";
    std::filesystem::create_symlink(elsewhere, target);

    EXPECT_FALSE(writeTextFileAtomically(target.string(), "new"));
    EXPECT_FALSE(std::filesystem::is_symlink(target));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(elsewhere), "untouched");
}

TEST(AtomicTextFile, FailuresReportTheSystemErrorAndLeaveNothingBehind) {
    const TemporaryFolder folder;

    const auto inMissingFolder = (folder.path() / "missing" / "seed.conf").string();
    EXPECT_EQ(writeTextFileAtomically(inMissingFolder, "x"), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing"));

    // The temporary file gets written, then cannot replace a folder.
    const auto folderInTheWay = folder.path() / "seed.conf";
    std::filesystem::create_directory(folderInTheWay);
    EXPECT_EQ(writeTextFileAtomically(folderInTheWay.string(), "x"), std::errc::is_a_directory);
    EXPECT_TRUE(std::filesystem::is_directory(folderInTheWay));
    EXPECT_EQ(entriesIn(folder.path()), 1u);
}

} // namespace
} // namespace talvo
