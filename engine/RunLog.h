#pragma once

// What a run leaves in the system log beyond its printed lines: which command failed, shown with
// its secrets masked, with its status and its output's last line. Also the copy of every printed
// line into the log.

#include "exec/Error.h"
#include "platform/PrivilegedOutcome.h"

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>

namespace talvo {

// Where log entries go: the system log in the programs, a recorder in tests. Empty: nowhere.
using LogSink = std::function<void(const std::string& entry)>;

// What stands in a log for a secret.
inline constexpr const char* kMaskedSecret = "********";

// A command line, and the form of it that a log may show.
struct ShownCommand {
    std::string text;
    // The same text, or with every secret in it replaced by kMaskedSecret.
    std::string shown;
    // A command that carries a secret (the passphrase, the registration token): its output is
    // withheld from the log too, as a tool might echo part of what it was given, and the shell
    // repeats words of an unquoted value that it could not run or parse.
    bool carriesSecret = false;

    static ShownCommand plain(std::string text);
    // Both forms behind the same words, e.g. "sudo ".
    ShownCommand prefixed(const std::string& words) const;
};

// "Command failed with exit status 3: <shown>; last output line: <line>"
std::string failedCommandEntry(const ShownCommand& command, const Error& failure);
// "Privileged command failed (authentication dismissed, status 126): <shown>"
std::string failedCommandEntry(const ShownCommand& command, const PrivilegedOutcome& outcome);

// Passes every byte on to another buffer unchanged and hands each whole line, without its line
// end, to a sink. Neither disturbs the other: a sink that throws loses its entry, and a target
// that refuses bytes neither stops the copy nor makes the stream fail.
class LineCopyingBuffer final : public std::streambuf {
  public:
    LineCopyingBuffer(std::streambuf& target, LogSink sink);
    LineCopyingBuffer(const LineCopyingBuffer&) = delete;
    LineCopyingBuffer& operator=(const LineCopyingBuffer&) = delete;
    // A last line without its line end still reaches the sink.
    ~LineCopyingBuffer() override;

  protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char* bytes, std::streamsize count) override;
    int sync() override;

  private:
    void copy(const char* bytes, std::size_t count) noexcept;
    void handOver() noexcept;

    std::streambuf& target_;
    LogSink sink_;
    std::string pending_;
};

// While it lives, every line written to the stream also goes to the sink.
class CopiedLines {
  public:
    CopiedLines(std::ostream& stream, LogSink sink);
    CopiedLines(const CopiedLines&) = delete;
    CopiedLines& operator=(const CopiedLines&) = delete;
    ~CopiedLines();

  private:
    std::ostream& stream_;
    std::streambuf* original_;
    LineCopyingBuffer copying_;
};

} // namespace talvo
