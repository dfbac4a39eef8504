#pragma once

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

} // namespace talvo
