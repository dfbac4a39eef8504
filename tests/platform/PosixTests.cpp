#include "platform/Posix.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace talvo::posix {
namespace {

bool isOpen(int descriptor) {
    return ::fcntl(descriptor, F_GETFD) != -1;
}

TEST(FileDescriptor, ClosesExactlyWhatItOwnsOnceWhicheverWayItEnds) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    {
        FileDescriptor first(ends[0]);
        FileDescriptor second(ends[1]);
        FileDescriptor moved(std::move(first));
        EXPECT_FALSE(first.isOpen());
        // Taking another's descriptor closes the one held before.
        moved = std::move(second);
        EXPECT_FALSE(isOpen(ends[0]));
        EXPECT_TRUE(isOpen(ends[1]));
        EXPECT_EQ(moved.release(), ends[1]);
        EXPECT_EQ(moved.reset(), 0);
    }
    EXPECT_TRUE(isOpen(ends[1]));
    ::close(ends[1]);
}

// Writes longer than a pipe holds, with a signal interrupting the blocked write: all of it
// arrives in order, and the reader stops short only at end of file.
TEST(WholeBuffers, WriteAllAndReadUpToSurviveInterruptionsAndShortTransfers) {
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &previous), 0); // no SA_RESTART: calls see EINTR
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileDescriptor readEnd(ends[0]);
    std::string text(1 << 20, '\0');
    for (std::size_t index = 0; index < text.size(); ++index) {
        text[index] = static_cast<char>(index * 7 % 251);
    }
    const pthread_t reader = ::pthread_self();
    std::thread writer([&] {
        FileDescriptor writeEnd(ends[1]);
        EXPECT_TRUE(writeAll(writeEnd.get(), text));
    });
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        while (!done) {
            ::pthread_kill(writer.native_handle(), SIGUSR1);
            ::pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::string received(text.size() + 10, '\0');
    const auto count = readUpTo(readEnd.get(), received.data(), received.size());
    done = true;
    interrupter.join();
    writer.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, text.size());
    received.resize(*count);
    EXPECT_TRUE(received == text);
    EXPECT_FALSE(writeAll(-1, "x"));
    EXPECT_EQ(readUpTo(-1, received.data(), 1), std::nullopt);
}

TEST(ArgumentVector, ProgramComesFirstThenEveryWordAsItIsThenNull) {
    const ArgumentVector vector("/bin/prog", {"", "two words", "$HOME"});
    ASSERT_TRUE(vector.isComplete());
    const char* const* entries = vector.get();
    EXPECT_STREQ(entries[0], "/bin/prog");
    EXPECT_STREQ(entries[1], "");
    EXPECT_STREQ(entries[2], "two words");
    EXPECT_STREQ(entries[3], "$HOME");
    EXPECT_EQ(entries[4], nullptr);
}

} // namespace
} // namespace talvo::posix
