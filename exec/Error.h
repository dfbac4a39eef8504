#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace talvo {

// The one failure value that crosses a boundary: what raises it throws it, callers pass it on
// unchanged, and whoever reports it prints text() as a single line.
class Error : public std::exception {
  public:
    Error(std::string domain, std::int64_t code,
          std::optional<std::string> description = std::nullopt);

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const std::optional<std::string>& description() const { return description_; }
    // A failed command's last output line, for the system log only: text() never shows it.
    const std::optional<std::string>& lastOutputLine() const { return lastOutputLine_; }

    // Error Domain=InputError Code=-1 "Encryption key must be at least 8 characters long."
    // Error Domain=ProcessErrorDomain Code=3 "(null)"
    const std::string& text() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    friend Error commandError(std::int64_t, std::optional<std::string>);

    std::string domain_;
    std::int64_t code_;
    std::optional<std::string> description_;
    std::string text_;
    std::optional<std::string> lastOutputLine_;
};

inline constexpr const char* kProcessErrorDomain = "ProcessErrorDomain";
inline constexpr const char* kInputErrorDomain = "InputError";

// A failed shell command: the command's exit status and nothing else, so that neither its
// output nor its command line (which may hold a passphrase) ever reaches a printed line. The
// output's last line rides along for the system log, which the engine writes with the command.
Error commandError(std::int64_t exitStatus,
                   std::optional<std::string> lastOutputLine = std::nullopt);

} // namespace talvo
