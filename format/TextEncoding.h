#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions to UTF-8 written by hand: the product links only the system's C and C++ runtime.
namespace talvo::encoding {

// Nothing for an odd byte count or an unpaired surrogate.
std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian);

std::string latin1ToUtf8(std::string_view bytes);

} // namespace talvo::encoding
