#pragma once

#include "exec/LegacyHelper.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

// Helpers shared by the exec tests: environment changes that undo themselves, capture of one of
// our own descriptors and of the system-log lines written to stderr.
namespace talvo::testing {

// Sets (or, with nothing, unsets) one variable and puts the old value back at scope end.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        apply(value);
    }
    ~ScopedEnvironmentVariable() { apply(old_); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

  private:
    void apply(const std::optional<std::string>& value) const {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

// Points one of our descriptors at an unnamed file until finish() puts it back and returns what
// was written meanwhile, by us or by any child that inherited it.
class DescriptorCapture {
  public:
    explicit DescriptorCapture(int descriptor) : descriptor_(descriptor) {
        std::fflush(nullptr);
        ::dup2(::fileno(file_), descriptor_);
    }
    ~DescriptorCapture() {
        finish();
        std::fclose(file_);
    }
    DescriptorCapture(const DescriptorCapture&) = delete;
    DescriptorCapture& operator=(const DescriptorCapture&) = delete;

    std::string finish() {
        std::fflush(nullptr);
        if (saved_ >= 0) {
            ::dup2(saved_, descriptor_);
            ::close(std::exchange(saved_, -1));
        }
        std::rewind(file_);
        std::string text;
        for (int character; (character = std::fgetc(file_)) != EOF;) {
            text += static_cast<char>(character);
        }
        return text;
    }

  private:
    int descriptor_;
    int saved_ = ::dup(descriptor_);
    std::FILE* file_ = std::tmpfile();
};

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
    const std::regex logLine(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ([^ \[]+)\[(\d+):\d+\] (.*))");
    std::istringstream lines(standardError.finish());
    for (std::string line; std::getline(lines, line);) {
        std::smatch parts;
        const bool ours = std::regex_match(line, parts, logLine) &&
                          parts[1] == program_invocation_short_name &&
                          parts[2] == std::to_string(::getpid());
        logged.messages.push_back(ours ? parts[3].str() : line);
    }
    return logged;
}

} // namespace talvo::testing
