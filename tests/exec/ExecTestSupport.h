#pragma once

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// Helpers shared by the exec tests: a scratch folder, environment changes that undo themselves,
// and capture of what the code under test writes to one of our own descriptors.
namespace talvo::testing {

class TemporaryDirectory {
  public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvo-exec-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() { std::filesystem::remove_all(path_); }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Sets (or, with nothing, unsets) one variable and puts the old value back at scope end.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(std::string name, std::optional<std::string> value)
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

// Points one of our descriptors (1 or 2) at a file until finish() puts it back and returns what
// was written meanwhile, by us or by any child that inherited it.
class DescriptorCapture {
  public:
    explicit DescriptorCapture(int descriptor)
        : descriptor_(descriptor), saved_(::dup(descriptor)),
          file_(std::filesystem::path(directory_.path()) / "captured") {
        std::fflush(nullptr);
        const int capture = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(capture, descriptor_);
        ::close(capture);
    }
    ~DescriptorCapture() { restore(); }
    DescriptorCapture(const DescriptorCapture&) = delete;
    DescriptorCapture& operator=(const DescriptorCapture&) = delete;

    std::string finish() {
        restore();
        std::ifstream in(file_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(nullptr);
            ::dup2(saved_, descriptor_);
            ::close(saved_);
            saved_ = -1;
        }
    }

    int descriptor_;
    int saved_;
    TemporaryDirectory directory_;
    std::filesystem::path file_;
};

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline void writeExecutable(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path) << content;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

inline std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace talvo::testing
