#pragma once

#include "exec/PrivilegedOutcome.h"

#include <string>
#include <vector>

namespace talvo {

// Starts one tool with administrator rights behind the system's authentication dialog and logs
// what happened. Never throws.
class LegacyHelper {
  public:
    static PrivilegedOutcome execute(const std::string& path,
                                     const std::vector<std::string>& arguments);
};

} // namespace talvo
