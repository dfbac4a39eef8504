#include "exec/Error.h"

#include <utility>

namespace talvo {

namespace {

std::string render(const std::string& domain, std::int64_t code,
                   const std::optional<std::string>& description) {
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
           description.value_or("(null)") + "\"";
}

} // namespace

Error::Error(std::string domain, std::int64_t code, std::optional<std::string> description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description)),
      text_(render(domain_, code_, description_)) {}

Error commandError(std::int64_t exitStatus, std::optional<std::string> lastOutputLine) {
    Error error(kProcessErrorDomain, exitStatus);
    error.lastOutputLine_ = std::move(lastOutputLine);
    return error;
}

} // namespace talvo
