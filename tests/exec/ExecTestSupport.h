#pragma once

#include "exec/LegacyHelper.h"
#include "tests/support/TestProcess.h"

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string_view>
#include <unistd.h>

// Running a tool through LegacyHelper and reading back the system-log lines it wrote to stderr.
namespace talvo::test {

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

// What a test tells the stand-in elevation tool (ElevationToolStandIn.cpp): a file per setting,
// in a folder named after the test's process. Not the environment: a root process starts every
// program with a fixed one, and the tests run as root.
inline std::filesystem::path standInSetting(pid_t test, std::string_view name) {
    return std::filesystem::path("/tmp") / ("talvo-elevation-stand-in-" + std::to_string(test)) /
           name;
}

class ScopedStandInSetting {
  public:
    ScopedStandInSetting(std::string_view name, const std::string& value)
        : path_(standInSetting(::getpid(), name)) {
        std::filesystem::create_directories(path_.parent_path());
        std::ofstream(path_) << value;
    }
    ~ScopedStandInSetting() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        std::filesystem::remove(path_.parent_path(), ignored); // once its last setting has gone
    }
    ScopedStandInSetting(const ScopedStandInSetting&) = delete;
    ScopedStandInSetting& operator=(const ScopedStandInSetting&) = delete;

  private:
    std::filesystem::path path_;
};

} // namespace talvo::test
