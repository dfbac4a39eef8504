#pragma once

#include <string>

namespace talvo {

// Writes one fixed message to the system log and, as one line with a time stamp, the process
// name, its id and the thread id in front, to standard error:
//   2026-12-06 18:24:43.123 Setup[1234:1234] AuthorizationExecuteWithPrivileges
void logToSystem(const std::string& message);

} // namespace talvo
