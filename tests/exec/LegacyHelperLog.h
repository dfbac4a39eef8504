#pragma once

#include "ExecTestSupport.h"

#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace talvo::testing {

// The messages of the system-log lines in captured stderr, after checking that each line has the
// platform log's prefix with this process's name and id. Lines of another form are kept whole,
// so that a comparison shows them.
inline std::vector<std::string> loggedMessages(const std::string& captured) {
    const std::regex logLine(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ([^ \[]+)\[(\d+):\d+\] (.*))");
    std::vector<std::string> messages;
    for (const std::string& line : linesOf(captured)) {
        std::smatch parts;
        const bool ours = std::regex_match(line, parts, logLine) &&
                          parts[1] == program_invocation_short_name &&
                          parts[2] == std::to_string(::getpid());
        messages.push_back(ours ? parts[3].str() : line);
    }
    return messages;
}

} // namespace talvo::testing
