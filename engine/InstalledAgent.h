#pragma once

// Where the agent that the installer sets up lies on the computer.

namespace talvo {

inline constexpr const char* appPath = "/Applications/Talvo Backup Agent.app";
inline constexpr const char* agentAppPath =
    "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent";
inline constexpr const char* kStatusAppPath =
    "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgentStatus.app";
// Exists once the agent is configured; never opened.
inline constexpr const char* kDatabasePath =
    "/Library/Application Support/Talvo Backup Agent/config.sqlite";

} // namespace talvo
