#pragma once

#include "exec/LegacyHelper.h"
#include "tests/support/TestProcess.h"

#include <regex>
#include <sstream>
#include <unistd.h>

// Running a tool through LegacyHelper and reading back the system-log lines it wrote to stderr.
namespace talvo::testing {

struct LoggedOutcome {
    PrivilegedOutcome outcome;
    std::vector<std::string> messages;
};

// Runs LegacyHelper::execute and collects the messages of the system-log lines it wrote to
// stderr, after checking that each has the log's prefix with this process's name and id. Other
// lines (the program's own stderr) are kept whole, so that a comparison shows them.
inline LoggedOutcome executeLogged(const std::string& path,
                                   const std::vector<std::string>& arguments,
                                   std::string_view input = {}) {
    DescriptorCapture standardError(STDERR_FILENO);
    LoggedOutcome logged{LegacyHelper::execute(path, arguments, input), {}};
    const std::regex logLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )" +
                             std::string(program_invocation_short_name) + "\\[" +
                             std::to_string(::getpid()) + R"(:\d+\] (.*))");
    std::istringstream lines(standardError.finish());
    for (std::string line; std::getline(lines, line);) {
        std::smatch parts;
        logged.messages.push_back(std::regex_match(line, parts, logLine) ? parts[1].str() : line);
    }
    return logged;
}

} // namespace talvo::testing
