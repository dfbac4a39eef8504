#pragma once

#include <optional>
#include <string>
#include <string_view>

// The handful of Unicode text operations the system needs from the platform, on UTF-8 strings.
namespace talvo::unicode {

bool isValidUtf8(std::string_view text);

// Removes leading and trailing characters of the Unicode whitespace-and-newlines set
// (White_Space property: blanks, tabs, line and paragraph separators, NEL, ...).
std::string trimWhitespaceAndNewlines(std::string_view text);
// The same, without copying: a view into text.
std::string_view trimmedView(std::string_view text);

// Full Unicode case mapping. Invalid UTF-8 is returned unchanged.
std::string uppercased(std::string_view text);
std::string lowercased(std::string_view text);

// User-perceived characters (extended grapheme clusters); nothing for invalid UTF-8.
std::optional<std::size_t> graphemeCount(std::string_view text);

// Canonical composition (NFC); nothing for invalid UTF-8.
std::optional<std::string> nfc(std::string_view text);

} // namespace talvo::unicode
