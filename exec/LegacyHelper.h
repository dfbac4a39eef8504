#pragma once

#include "platform/PrivilegedOutcome.h"

#include <string>
#include <string_view>
#include <vector>

// Running a tool with administrator rights, and what came of it.
namespace talvo {

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
