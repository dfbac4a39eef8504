#pragma once

#include <string>
#include <string_view>
#include <vector>

// Running a tool with administrator rights, and what came of it.
namespace talvo {

// What became of a command run with administrator rights. The authentication dialog and the
// command share one exit status, so a command that itself exits 126 or 127 reads as Dismissed
// or Denied: callers must treat those two as "did not run or did not succeed", never as success.
struct PrivilegedOutcome {
    enum class Kind {
        Ran,         // the tool ran; exitStatus is its status
        Dismissed,   // the user dismissed the authentication dialog
        Denied,      // not authorized, or the elevation tool failed on its own
        Unavailable, // no authorization could be obtained (no elevation tool, no Security
                     // framework)
    };

    Kind kind = Kind::Unavailable;
    int exitStatus = 0;

    bool succeeded() const { return kind == Kind::Ran && exitStatus == 0; }

    // The status a shell would report for the whole attempt: the tool's own status when it ran,
    // 126 when the dialog was dismissed, 127 when rights could not be had.
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

// Starts one tool with administrator rights behind the system's authentication dialog and logs
// what happened. Never throws.
class LegacyHelper {
  public:
    // The tool reads input on its stdin, then end of file; its stdout is read to its end and
    // thrown away. The elevation tool's own log names path and arguments, so anything secret
    // belongs in input.
    static PrivilegedOutcome execute(const std::string& path,
                                     const std::vector<std::string>& arguments,
                                     std::string_view input = {});
};

} // namespace talvo
