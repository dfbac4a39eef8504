#pragma once

#include <string>
#include <string_view>

// The system log: syslog(3) on both systems (a Mac's unified log receives it too).
namespace talvo {

// Names this process's entries in the system log, with its process id beside the name. Call it
// once, before the first entry; the identifier must live as long as the process (a literal).
void openSystemLog(const char* identifier);

// Writes one entry to the system log only. Line ends and other control characters become blanks,
// so that an entry is always one line.
void writeSystemLog(std::string_view message);

// Writes one fixed message to the system log and, as one line with a time stamp, the process
// name, its id and the thread id in front, to standard error:
//   2026-12-06 18:24:43.123 Setup[1234:1234] AuthorizationExecuteWithPrivileges
void logToSystem(const std::string& message);

} // namespace talvo
