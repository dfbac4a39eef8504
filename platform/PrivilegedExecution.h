#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Running one tool as root behind the system's authentication dialog: pkexec on Linux, the
// Security framework on macOS.
namespace talvo {

// How one request ended, as far as the system tells.
struct PrivilegedRun {
    enum class Result {
        Ran,      // the tool ran; exitStatus is its status in shell terms
        Canceled, // the user dismissed the dialog
        Denied,   // the rights were refused
        Failed,   // the tool could not be run, or how it ended is unknown
    };

    Result result = Result::Failed;
    int exitStatus = 0;
};

// An authorization to run tools as root. The caller keeps one for the whole process, so that
// rights granted at one prompt may serve the next.
class PrivilegedAuthorization {
  public:
    // Nothing when no authorization can be had on this system.
    static std::optional<PrivilegedAuthorization> create();

    ~PrivilegedAuthorization();
    PrivilegedAuthorization(PrivilegedAuthorization&& other) noexcept;
    PrivilegedAuthorization& operator=(PrivilegedAuthorization&& other) noexcept;

    // Runs path with arguments as root (real and effective user id 0). input is its whole
    // stdin, followed by end of file; its stdout is read to its end and thrown away; its stderr
    // is ours.
    PrivilegedRun run(const std::string& path, const std::vector<std::string>& arguments,
                      std::string_view input) const;

  private:
    struct State;
    explicit PrivilegedAuthorization(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

// What the Security framework's status codes (OSStatus) mean for a request: success lets the tool
// run, a dismissed dialog is Canceled, refused rights are Denied, anything else Failed.
PrivilegedRun::Result resultOfAuthorizationStatus(std::int32_t status);

// On macOS the system starts our own executable as the tool, with these arguments, and it turns
// itself into the requested program with all its user ids root (see PrivilegedExecution_macos).
std::vector<std::string> rootToolArguments(const std::string& path,
                                           const std::vector<std::string>& arguments);

// Whether a process was started with rootToolArguments: argv[1] the marker, argv[2] an
// absolute program path.
bool isRootToolStart(int argc, const char* const* argv);

// The root tool's first line of output: its process id, in decimal, so that the caller can wait
// for it. Nothing for anything but a positive number that fits a process id.
std::optional<int> parseToolProcessId(std::string_view line);

// Picks the root tool's first line out of its output as it arrives, in pieces of any size, and
// keeps no more of it than a process id needs; the rest of the output passes by unkept.
class ToolProcessIdLine {
  public:
    void take(std::string_view piece);
    // The process id, once its line has ended; nothing before that or for any other line.
    std::optional<int> processId() const;

  private:
    std::string line_;
    bool ended_ = false;
};

} // namespace talvo
