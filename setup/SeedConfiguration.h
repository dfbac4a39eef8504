#pragma once

#include "platform/PropertyList.h"

#include <string>

namespace talvo {

// The seed file's text: one "key = value" line per entry, joined with line feeds, no line feed
// after the last line. Each value keeps to one line (a text value is written unchanged, so only a
// text holding a line break spans lines).
std::string renderSeedConfiguration(const PropertyDictionary& entries);

// A value as the seed file shows it:
//   text            unchanged
//   integer         signed decimal
//   real            shortest decimal that reads back as the same number ("2.5", "1e+20", "nan")
//   truth value     "1" or "0"
//   date            ISO 8601 in UTC to the second, "2024-01-02T03:04:05Z"
//   data            base64 with padding
//   array, dictionary  compact one-line JSON; texts, dates and data inside it are JSON strings
//                      (in the forms above), truth values true/false, non-finite reals strings.
std::string seedValueText(const PropertyValue& value);

} // namespace talvo
