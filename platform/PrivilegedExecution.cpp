#include "platform/PrivilegedExecution.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

namespace talvo {

namespace {

// The Security framework's documented status codes.
constexpr std::int32_t kAuthorizationSuccess = 0;
constexpr std::int32_t kAuthorizationDenied = -60005;
constexpr std::int32_t kAuthorizationCanceled = -60006;
constexpr std::int32_t kAuthorizationInteractionNotAllowed = -60007;

constexpr const char* kRootToolMarker = "--talvo-root-tool";

// A process id has at most this many digits (pid_t is 32 bits).
constexpr std::size_t kMaxProcessIdDigits = 10;

} // namespace

PrivilegedRun::Result resultOfAuthorizationStatus(std::int32_t status) {
    using Result = PrivilegedRun::Result;
    switch (status) {
    case kAuthorizationSuccess:
        return Result::Ran;
    case kAuthorizationCanceled:
        return Result::Canceled;
    // With no way to ask, the rights were not given: as good as refused.
    case kAuthorizationDenied:
    case kAuthorizationInteractionNotAllowed:
        return Result::Denied;
    default:
        return Result::Failed;
    }
}

std::vector<std::string> rootToolArguments(const std::string& path,
                                           const std::vector<std::string>& arguments) {
    std::vector<std::string> toolArguments{kRootToolMarker, path};
    toolArguments.insert(toolArguments.end(), arguments.begin(), arguments.end());
    return toolArguments;
}

bool isRootToolStart(int argc, const char* const* argv) {
    return argc >= 3 && argv[1] != nullptr && argv[2] != nullptr &&
           std::strcmp(argv[1], kRootToolMarker) == 0 && argv[2][0] == '/';
}

std::optional<int> parseToolProcessId(std::string_view line) {
    if (line.empty() || line.size() > kMaxProcessIdDigits || line.front() == '0') {
        return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (error != std::errc() || end != line.data() + line.size() || value <= 0 || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

void ToolProcessIdLine::take(std::string_view piece) {
    if (ended_) {
        return;
    }
    const auto end = piece.find('\n');
    ended_ = end != std::string_view::npos;
    // One byte past the longest id is enough to refuse the line.
    const auto room = kMaxProcessIdDigits + 1 - std::min(line_.size(), kMaxProcessIdDigits + 1);
    line_.append(piece.substr(0, std::min(end, room)));
}

std::optional<int> ToolProcessIdLine::processId() const {
    return ended_ ? parseToolProcessId(line_) : std::nullopt;
}

} // namespace talvo
