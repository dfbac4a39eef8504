#include "format/ProcessArguments.h"

#include <cstring>
#include <string_view>

namespace talvo {

std::optional<std::string> programFileOfProcessArguments(std::span<const char> bytes) {
    int count = 0;
    if (bytes.size() < sizeof count) {
        return std::nullopt;
    }
    // Copied, not cast: the buffer need not be aligned for an int.
    std::memcpy(&count, bytes.data(), sizeof count);
    if (count < 0) {
        return std::nullopt;
    }
    const std::string_view rest(bytes.data() + sizeof count, bytes.size() - sizeof count);
    const auto end = rest.find('\0');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    const auto path = rest.substr(0, end);
    if (!path.starts_with('/')) {
        return std::nullopt;
    }
    return std::string(path);
}

} // namespace talvo
