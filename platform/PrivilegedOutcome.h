#pragma once

namespace talvo {

// What became of a program run with administrator rights. The authentication dialog and the
// program share one exit status, so a program that itself exits 126 or 127 reads as dismissed
// or denied: callers must treat those two as "did not run or did not succeed", never as success.
struct PrivilegedOutcome {
    enum class Kind {
        ran,         // the program ran; exitStatus is its status
        dismissed,   // the user dismissed the authentication dialog
        denied,      // not authorized, or the elevation failed on its own, or how the program
                     // ended is unknown
        unavailable, // no authorization could be obtained (no elevation tool, no Security
                     // framework)
    };

    Kind kind = Kind::unavailable;
    int exitStatus = 0;

    bool succeeded() const { return kind == Kind::ran && exitStatus == 0; }

    // The status a shell would report for the whole attempt: the program's own status when it
    // ran, 126 when the dialog was dismissed, 127 when rights could not be had.
    int statusCode() const {
        switch (kind) {
        case Kind::ran:
            return exitStatus;
        case Kind::dismissed:
            return 126;
        case Kind::denied:
        case Kind::unavailable:
            return 127;
        }
        return 127;
    }
};

} // namespace talvo
