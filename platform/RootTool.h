#pragma once

#include "platform/Posix.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The root tool: our own executable, started as root once per process behind the authentication
// dialog (on macOS, by the Security framework), which then runs every privileged command that it
// is sent and reports each one's exit status. It is the only time our executable, a file that the
// user may be able to write, runs as root; what it runs afterwards is named by absolute path.
//
// The channel is the tool's stdin and stdout, one socket. Every message is a frame: the tag
// "TRT1", then big-endian 32-bit numbers; a request then carries its words and its input, each as
// a 32-bit length and its bytes.
//   tool to caller, first:  tag, 0, the tool's process id
//   caller to tool:         tag, n, word count, words (the program's absolute path first), input
//   tool to caller:         tag, n, the command's exit status in shell terms (0 to 255)
// with n counting the requests from 1. Anything else ends the conversation: the reader gives
// nothing, which the caller reads as a failed run, never as success.
namespace talvo::roottool {

// The first argument that asks our executable to act as the tool.
inline constexpr const char* kMarker = "--talvo-root-tool";

// What a process of our executable does before main.
enum class Start {
    normal, // main runs
    serve,  // started as the system starts the tool: the marker alone, real user id not 0,
            // effective user id 0
    refuse, // the marker, but started any other way: ends at once with kRefusedStatus
};
Start startOf(int argc, const char* const* argv, unsigned realUserId, unsigned effectiveUserId);

// EX_USAGE: the marker was misused.
inline constexpr int kRefusedStatus = 64;

// Bounds of one request, checked by both ends.
inline constexpr std::uint32_t kMaxWords = 4096;
inline constexpr std::size_t kMaxRequestBytes = std::size_t{16} << 20;

struct Request {
    std::string path;
    std::vector<std::string> arguments;
    std::string input;
};

// A request as sent; nothing when it breaks the bounds or the path is not absolute.
std::optional<std::string> requestFrame(std::uint32_t number, const Request& request);
// The greeting (number 0, the process id) or a status (number n, the exit status).
std::string answerFrame(std::uint32_t number, std::uint32_t value);

// The frames as read off the channel. Each reads no more than its frame claims, refuses a claim
// beyond the bounds before reading it, and gives nothing at end of file, on an error, or for a
// frame that breaks the rules above.
std::optional<Request> readRequest(int channel, std::uint32_t number);
std::optional<int> readGreeting(int channel);
std::optional<int> readStatus(int channel, std::uint32_t number);

// The caller's end of a started tool.
class Session {
  public:
    Session(posix::FileDescriptor channel, int processId);
    // Closes the channel, at which the tool ends; it is reaped as soon as it has.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs the request as root: its exit status, or nothing when the tool did not answer by the
    // rules. The session is then over: the tool is let go and every later run gives nothing.
    std::optional<int> run(const Request& request);

  private:
    void end();

    posix::FileDescriptor channel_;
    int processId_;
    std::uint32_t requests_ = 0;
};

// The tool itself, on a process that startOf found to be serve: greets, makes itself root in
// every user and group id with the fixed environment, umask and folder, clean signal state and no
// descriptor above 2, then runs the requests until the channel ends. Gives the exit status.
int serve();

} // namespace talvo::roottool
