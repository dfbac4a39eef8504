#pragma once

#include "platform/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

// Process-wide state for tests: environment changes that undo themselves, capture of one of our
// own descriptors, and running a test again in a fresh copy of this very test binary.
namespace talvo::test {

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

// Set in the copy that runFreshCopyOfThisTest starts.
inline constexpr const char* kFreshCopyMarker = "TALVO_TEST_FRESH_COPY";

inline bool isFreshCopy() {
    return std::getenv(kFreshCopyMarker) != nullptr;
}

// Runs the current test alone in a new process of this binary, for a test about state that lives
// once per process: the test body then checks isFreshCopy() and does its real work only there.
// Gives the copy's exit status (0 when the test passed there) and all it printed. Started here
// rather than through the platform, which gives a root process's programs a fixed environment.
inline CollectedOutput runFreshCopyOfThisTest() {
    const ::testing::TestInfo* const test = ::testing::UnitTest::GetInstance()->current_test_info();
    const ScopedEnvironmentVariable marker(kFreshCopyMarker, "1");
    const std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::FILE* const output = std::tmpfile();
    const pid_t copy = ::fork();
    if (copy == 0) {
        ::dup2(::fileno(output), STDOUT_FILENO);
        ::dup2(::fileno(output), STDERR_FILENO);
        ::execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), nullptr);
        ::_exit(127);
    }
    int status = -1;
    if (copy < 0 || ::waitpid(copy, &status, 0) != copy) {
        std::fclose(output);
        return {"could not start a fresh copy", -1};
    }
    std::rewind(output);
    std::string text;
    for (int character; (character = std::fgetc(output)) != EOF;) {
        text += static_cast<char>(character);
    }
    std::fclose(output);
    return {std::move(text), WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

} // namespace talvo::test
