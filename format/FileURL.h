#pragma once

#include <optional>
#include <string>
#include <string_view>

// File URLs and the paths they name.
namespace talvo {

// The file URL of an absolute path: every byte that may not stand as itself in a URL path
// (blanks, quotes, '%', '?', '#', non-ASCII bytes, ...) is percent-encoded.
std::string fileURLFromPath(std::string_view path);

// The path a file URL names, percent-decoded. Nothing for URLs of other schemes, for a host other
// than none or "localhost", and for malformed escapes or an escaped NUL.
std::optional<std::string> pathFromFileURL(std::string_view url);

} // namespace talvo
