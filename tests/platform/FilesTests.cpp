#include "platform/Files.h"
#include "tests/support/OpenCount.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;
using test::OpenCount;
using test::readFile;
using test::TemporaryFolder;
using test::writeFile;

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The first temporary of our naming next to the target, if any.
std::optional<std::string> temporaryOf(const fs::path& target) {
    const auto prefix = "." + target.filename().string() + ".";
    const auto names = namesIn(target.parent_path());
    const auto first = names.lower_bound(prefix);
    return first != names.end() && first->starts_with(prefix) ? std::optional(*first)
                                                              : std::nullopt;
}

TEST(AtomicTextFile, ReplacesTheWholeFileOrFailsLeavingNothingBehind) {
    const TemporaryFolder folder;
    const auto target = folder.path() / "seed.conf";
    writeFile(folder.path() / "elsewhere", "untouched");
    fs::create_symlink(folder.path() / "elsewhere", target);
    // A link is replaced, not written through.
    EXPECT_FALSE(writeTextFileAtomically(target, "first"));
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(readFile(target), "first");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644)); // only root writes what it wrote
    EXPECT_EQ(readFile(folder.path() / "elsewhere"), "untouched");
    // The temporary file gets written, then cannot replace a folder.
    fs::create_directory(folder.path() / "folder");
    EXPECT_EQ(writeTextFileAtomically(folder.path() / "folder", "x"), std::errc::is_a_directory);
    EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"elsewhere", "folder", "seed.conf"}));
}

// A writer ended by a termination signal removes its temporary and still ends; one killed
// outright leaves it, and the next write removes it once it has been left a while.
TEST(AtomicTextFile, AbandonedTemporariesOfOurNamingGoBeforeTheNextWrite) {
    const TemporaryFolder folder;
    const fs::path target = folder.path() / "seed.conf";
    for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
        // Writes a large seed over and over, so that whenever it is killed it is most likely
        // half-way through a write; killed once a temporary is there to be left behind.
        const pid_t writer = ::fork();
        if (writer == 0) {
            for (const std::string text(16 * 1024 * 1024, 'x');;) {
                (void)writeTextFileAtomically(target, text);
            }
        }
        for (int tries = 0; !temporaryOf(target) && tries < 20000; ++tries) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const bool wasWriting = temporaryOf(target).has_value();
        ::kill(writer, signal);
        int status = 0;
        ::waitpid(writer, &status, 0);
        ASSERT_TRUE(wasWriting);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(temporaryOf(target).has_value(), signal == SIGKILL) << signal;
    }
    // The abandoned temporary goes; everything else stays: other names, other kinds of file, a
    // temporary that another writer holds locked, and one too young to be sure nobody is about to
    // lock it.
    ASSERT_EQ(::mkfifo((folder.path() / ".seed.conf.FifoAb").c_str(), 0600), 0);
    for (const char* name : {".seed.conf.abc", ".other.conf.abcdef", ".seed.conf.Locked"}) {
        writeFile(folder.path() / name, "someone else's");
    }
    const auto aWhileAgo = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    for (const auto& name : namesIn(folder.path())) {
        fs::last_write_time(folder.path() / name, aWhileAgo);
    }
    writeFile(folder.path() / ".seed.conf.Young1", "someone else's");
    const int held = ::open((folder.path() / ".seed.conf.Locked").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_FALSE(writeTextFileAtomically(target, "a = 1"));
    ::close(held);
    EXPECT_EQ(readFile(target), "a = 1");
    fs::remove(target);
    EXPECT_EQ(namesIn(folder.path()),
              (std::set<std::string>{".seed.conf.abc", ".other.conf.abcdef", ".seed.conf.FifoAb",
                                     ".seed.conf.Locked", ".seed.conf.Young1"}));
}

// A root process reads Info.plist files that any local user may name, through a link in a bundle
// of their own; opening a device can act on it (a watchdog armed, a tape rewound), so nothing but a
// regular file is opened. A FIFO stands in for a device here: its opens can be seen, and opened for
// reading it could block. The size limit is proven where profiles and bundles are read.
TEST(FileReading, NothingButARegularFileIsOpened) {
    ::alarm(10); // a hang ends the test as a failure instead of blocking it for good
    const TemporaryFolder folder;
    const auto fifo = folder.path() / "fifo", file = folder.path() / "file";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writeFile(file, "x");
    for (const auto& [target, readable] : {std::pair{fifo, false}, std::pair{file, true}}) {
        const auto link = folder.path() / ("link-to-" + target.filename().string());
        fs::create_symlink(target, link);
        OpenCount watch(target);
        EXPECT_EQ(readRegularFile(link, 1).has_value(), readable) << target;
        EXPECT_EQ(watch.opens(), readable ? 1 : 0) << target;
    }
    // A file longer than its size says (the system's own, here) is not cut to that size.
    EXPECT_EQ(readRegularFile("/proc/self/status", 1 << 20), std::nullopt);
    ::alarm(0);
}

// An MDM agent replaces a profile by renaming a new file over it. A read whose look and open fall
// on either side of a rename must read the file it finds, never report no file: Setup would go on
// without the profile.
TEST(FileReading, AFileReplacedWhileItIsReadIsReadInItsNewForm) {
    const TemporaryFolder folder;
    const auto file = folder.path() / "profile.plist";
    const auto staged = folder.path() / "staged";
    writeFile(file, "0");
    const std::jthread writer([&](const std::stop_token& stop) {
        for (std::size_t next = 1; !stop.stop_requested(); next ^= 1) {
            writeFile(staged, std::to_string(next));
            fs::rename(staged, file);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    int missed = 0;
    for (int read = 0; read < 20000; ++read) {
        const auto bytes = readRegularFile(file, 1024);
        missed += bytes == "0" || bytes == "1" ? 0 : 1;
    }
    EXPECT_EQ(missed, 0);
}

} // namespace
} // namespace talvo
