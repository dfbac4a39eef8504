#pragma once

#include <string>
#include <string_view>
#include <vector>

// Whether an agent process runs, judged from the process list as the shell pipeline below prints
// it: the agent's executable and the status application both carry the searched name.
namespace talvo::agentProcessSearch {

inline constexpr const char* kShell = "/bin/sh";
std::vector<std::string> shellArguments();

// The listing without the search's own "grep TalvoBackupAgent" (the grep process and the shell
// running the pipeline), then a plain substring test. Invalid UTF-8 counts as an empty listing.
bool mentionsAgent(std::string_view listing);

} // namespace talvo::agentProcessSearch
