#include "platform/ChildProcess.h"
#include "platform/RootTool.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talvo::roottool {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::TemporaryFolder;

TEST(RootToolStart, OnlyTheSystemsStartServesAndTheMarkerIsNeverAnOrdinaryWord) {
    const auto start = [](std::vector<const char*> words, unsigned realUser, unsigned user) {
        words.insert(words.begin(), "/Applications/Setup");
        return startOf(static_cast<int>(words.size()), words.data(), realUser, user);
    };
    EXPECT_EQ(start({kMarker}, 501, 0), Start::serve);
    EXPECT_EQ(start({}, 501, 0), Start::normal);
    EXPECT_EQ(start({"REG_TOKEN=t", kMarker}, 501, 0), Start::normal);
    EXPECT_EQ(start({kMarker}, 0, 0), Start::refuse);              // root itself
    EXPECT_EQ(start({kMarker}, 501, 501), Start::refuse);          // a user
    EXPECT_EQ(start({kMarker, "/bin/sh"}, 501, 0), Start::refuse); // words the tool does not take
}

// A descriptor from which bytes are read, then end of file.
posix::FileDescriptor holding(std::string_view bytes) {
    posix::FileDescriptor file(::memfd_create("frames", MFD_CLOEXEC));
    EXPECT_TRUE(posix::writeAll(file.get(), bytes));
    ::lseek(file.get(), 0, SEEK_SET);
    return file;
}

std::string number(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

TEST(RootToolFrames, RequestsArriveWholeAndOversizedOnesAreNeverSent) {
    const Request sent{"/bin/sh", {"-c", "", "\0\n\xff"s, "Grüße"}, std::string(1 << 20, '\0')};
    const std::optional<Request> read = readRequest(holding(*requestFrame(1, sent)).get(), 1);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->path, sent.path);
    EXPECT_EQ(read->arguments, sent.arguments);
    EXPECT_TRUE(read->input == sent.input) << read->input.size();
    EXPECT_EQ(requestFrame(1, {"/bin/sh", std::vector<std::string>(kMaxWords, "x"), ""}),
              std::nullopt);
    EXPECT_EQ(requestFrame(1, {"/bin/sh", {}, std::string(kMaxRequestBytes, 'x')}), std::nullopt);
}

// What a broken or hostile peer may send, each followed by end of file: read as nothing, at
// once, without taking in what a claimed length promises.
TEST(RootToolFrames, BrokenOrHostileFramesReadAsNothing) {
    const std::string tag = "TRT1";
    EXPECT_EQ(readGreeting(holding(answerFrame(0, 4321)).get()), 4321);
    EXPECT_EQ(readStatus(holding(answerFrame(2, 255)).get(), 2), 255);
    const std::pair<std::string, const char*> answers[] = {
        {answerFrame(1, 0).substr(0, 11), "cut short"},
        {"TRT2" + number(1) + number(0), "another tag"},
        {answerFrame(2, 0), "an earlier or later request's"},
        {answerFrame(1, 256), "no exit status"},
    };
    for (const auto& [bytes, what] : answers) {
        EXPECT_EQ(readStatus(holding(bytes).get(), 1), std::nullopt) << what;
    }
    EXPECT_EQ(readGreeting(holding(answerFrame(0, 0)).get()), std::nullopt);
    EXPECT_EQ(readGreeting(holding(answerFrame(0, 0x80000000U)).get()), std::nullopt);

    const std::string request = *requestFrame(1, {"/bin/sh", {"-c", "true"}, "input"});
    const std::pair<std::string, const char*> requests[] = {
        {request.substr(0, request.size() - 1), "cut short"},
        {tag + number(2) + request.substr(8), "out of turn"},
        {tag + number(1) + number(0) + number(0), "no program"},
        {tag + number(1) + number(kMaxWords + 1), "too many words"},
        {tag + number(1) + number(1) + number(2) + "sh" + number(0), "a relative program"},
        {tag + number(1) + number(3) + number(kMaxRequestBytes / 2) +
             std::string(kMaxRequestBytes / 2, '/') + number(kMaxRequestBytes / 2 + 1),
         "fields beyond the bound together"},
    };
    for (const auto& [bytes, what] : requests) {
        EXPECT_EQ(readRequest(holding(bytes).get(), 1), std::nullopt) << what;
    }
    // A field claimed beyond the bound is not read at all.
    const posix::FileDescriptor claimed =
        holding(tag + number(1) + number(1) + number(kMaxRequestBytes + 1) + "/bin/sh");
    EXPECT_EQ(readRequest(claimed.get(), 1), std::nullopt);
    char rest[8];
    EXPECT_EQ(posix::readUpTo(claimed.get(), rest, sizeof rest), 7U);
}

// Root's own commands start clean, whatever the root process was handed by whoever started it
// (here umask 000, every signal blocked, some ignored, a PATH, a folder and a descriptor): the
// fixed environment, umask 022, "/", only the standard descriptors, nothing blocked and nothing
// ignored but the C library's own two (32 and 33), which its posix_spawn ignores in every child.
TEST(RootTool, ProgramsARootProcessStartsSeeOnlyWhatWeSet) {
    ASSERT_EQ(::geteuid(), 0U) << "a root process's starts need root";
    const TemporaryFolder folder;
    const std::string report = (folder.path() / "report").string();
    const pid_t starter = ::fork();
    if (starter == 0) {
        ::umask(0);
        sigset_t blocked;
        sigfillset(&blocked);
        ::sigprocmask(SIG_SETMASK, &blocked, nullptr);
        ::signal(SIGCHLD, SIG_IGN);
        ::signal(SIGINT, SIG_IGN);
        ::setenv("PATH", folder.path().c_str(), 1);
        const int inherited = ::open(report.c_str(), O_RDWR | O_CREAT, 0600);
        const std::string script =
            "exec >\"$1\"; ls /proc/$$/fd; umask; readlink /proc/$$/cwd; "
            "grep ^SigIgn: /proc/$$/status; tr '\\0' '\\n' </proc/$$/environ";
        // A shell unblocks every signal as it starts; cp keeps them, copying its own status.
        const bool started =
            inherited > 2 && ::chdir(folder.path().c_str()) == 0 &&
            runDiscardingOutput("/bin/sh", {"-c", script, "sh", report}, {}) == 0 &&
            runDiscardingOutput("/bin/cp", {"/proc/self/status", report + ".status"}, {}) == 0;
        ::_exit(started ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(starter, &status, 0), starter);
    ASSERT_EQ(status, 0);
    std::string clean = "0\n1\n2\n0022\n/\nSigIgn:\t0000000180000000\n";
    for (const char* entry : kRootEnvironment) {
        clean += std::string(entry) + "\n";
    }
    EXPECT_EQ(test::readFile(report), clean);
    EXPECT_NE(test::readFile(report + ".status").value_or("").find("\nSigBlk:\t0000000000000000\n"),
              std::string::npos);
}

// The test binary, started as the tool the way the system starts it: real user 501, effective
// user root, and groups of its caller's.
struct StartedTool {
    StartedTool() {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        posix::FileDescriptor ours(ends[0]);
        const posix::FileDescriptor tools(ends[1]);
        const posix::ArgumentVector argv("/usr/bin/setpriv",
                                         {"--ruid", "501", "--euid", "0", "--rgid", "20", "--egid",
                                          "20", "--groups", "20,12", "--",
                                          fs::read_symlink("/proc/self/exe"), kMarker});
        processId = ::fork();
        if (processId == 0) {
            if (::dup2(tools.get(), 0) == 0 && ::dup2(tools.get(), 1) == 1) {
                ::execv(argv.get()[0], argv.get());
            }
            ::_exit(125);
        }
        EXPECT_EQ(readGreeting(ours.get()), processId) << "the tool did not greet with its pid";
        session.emplace(std::move(ours), processId);
    }

    // Ends the session; true once the tool has ended and been reaped.
    bool endsAndIsReaped() {
        session.reset();
        for (int tries = 0; tries < 500 && ::kill(processId, 0) == 0; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ::kill(processId, 0) != 0 && errno == ESRCH;
    }

    pid_t processId = -1;
    std::optional<Session> session;
};

TEST(RootTool, RunsOneCommandAfterAnotherUntilItsCallerOrItEnds) {
    ASSERT_EQ(::geteuid(), 0U) << "starting the tool as the system does needs root";
    StartedTool tool;
    // Its commands are root in every user and group id; how else they start is proven above.
    const std::string ids = "grep -E '^(Uid|Gid|Groups):' /proc/$$/status | tr -d '\\t\\n ' | "
                            "grep -qx Uid:0000Gid:0000Groups:0";
    EXPECT_EQ(tool.session->run({"/bin/sh", {"-c", ids}, ""}), 0);
    const std::string check = "read -r line; [ \"$line\" = 'pass phrase' ] && ! read -r more";
    EXPECT_EQ(tool.session->run({"/bin/sh", {"-c", check}, "pass phrase\n"}), 0);
    EXPECT_EQ(tool.session->run({"/bin/sh", {"-c", "seq 1 200000; exit 3"}, ""}), 3);
    EXPECT_EQ(tool.session->run({"/bin/sh", {"-c", "kill -TERM $$"}, ""}), 128 + SIGTERM);
    EXPECT_EQ(tool.session->run({"/no/such/program", {}, ""}), 127);
    EXPECT_EQ(tool.session->run({"sh", {"-c", "exit 0"}, ""}), std::nullopt); // relative: not sent
    EXPECT_EQ(tool.session->run({"/bin/sh", {"-c", "exit 0"}, ""}), 0) << "and the session goes on";
    EXPECT_TRUE(tool.endsAndIsReaped());

    // A tool that ends during a command reads as a failed run, and so does every later one.
    StartedTool killed;
    EXPECT_EQ(killed.session->run({"/bin/sh", {"-c", "kill -KILL $PPID; sleep 1"}, ""}),
              std::nullopt);
    EXPECT_EQ(killed.session->run({"/bin/sh", {"-c", "exit 0"}, ""}), std::nullopt);
    EXPECT_TRUE(killed.endsAndIsReaped());
}

} // namespace
} // namespace talvo::roottool
