#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Running one program as root behind the system's authentication dialog: pkexec on Linux; on
// macOS the Security framework, once, to start our root tool (platform/RootTool.h), which runs
// the programs.
namespace talvo {

// What became of a program run with administrator rights. The authentication dialog and the
// program share one exit status, so a program that itself exits 126 or 127 reads as Dismissed
// or Denied: callers must treat those two as "did not run or did not succeed", never as success.
struct PrivilegedOutcome {
    enum class Kind {
        Ran,         // the program ran; exitStatus is its status
        Dismissed,   // the user dismissed the authentication dialog
        Denied,      // not authorized, or the elevation failed on its own, or how the program
                     // ended is unknown
        Unavailable, // no authorization could be obtained (no elevation tool, no Security
                     // framework)
    };

    Kind kind = Kind::Unavailable;
    int exitStatus = 0;

    bool succeeded() const { return kind == Kind::Ran && exitStatus == 0; }

    // The status a shell would report for the whole attempt: the program's own status when it
    // ran, 126 when the dialog was dismissed, 127 when rights could not be had.
    int statusCode() const {
        switch (kind) {
        case Kind::Ran:
            return exitStatus;
        case Kind::Dismissed:
            return 126;
        case Kind::Denied:
        case Kind::Unavailable:
            return 127;
        }
        return 127;
    }
};

// An authorization to run programs as root. The caller keeps one for the whole process, so that
// rights granted at one prompt may serve the next.
class PrivilegedAuthorization {
  public:
    // Nothing when no authorization can be had on this system.
    static std::optional<PrivilegedAuthorization> create();

    ~PrivilegedAuthorization();
    PrivilegedAuthorization(PrivilegedAuthorization&& other) noexcept;
    PrivilegedAuthorization& operator=(PrivilegedAuthorization&& other) noexcept;

    // Runs path with arguments as root (every user id 0). input is its whole stdin, followed by
    // end of file; its stdout is read to its end and thrown away; its stderr is ours. Never
    // Unavailable.
    PrivilegedOutcome run(const std::string& path, const std::vector<std::string>& arguments,
                          std::string_view input);

  private:
    struct State;
    explicit PrivilegedAuthorization(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

// What the Security framework's status codes (OSStatus) mean for a request: success lets the
// program run, a dismissed dialog is Dismissed, anything else Denied.
PrivilegedOutcome::Kind kindOfAuthorizationStatus(std::int32_t status);

} // namespace talvo
