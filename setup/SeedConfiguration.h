#pragma once

// The seed file's text, rendered from the property-list values of a profile's seed section.

#include "format/PropertyList.h"

#include <string>

namespace talvo {

// The seed file's text: one "key = value" line per entry, joined with line feeds, no line feed
// after the last line. Each value keeps to one line (a text value is written unchanged, so only a
// text holding a line break spans lines).
//
// The file is always valid UTF-8: in keys and texts, at any depth, each maximal ill-formed
// subsequence of bytes becomes U+FFFD; valid text is kept byte for byte.
std::string renderSeedConfiguration(const PropertyDictionary& entries);

// A value as the seed file shows it:
//   text            unchanged (invalid UTF-8 repaired as above)
//   integer         decimal, the full signed and unsigned 64-bit range
//   real            shortest decimal that reads back as the same number ("2.5", "1e+20", "nan")
//   truth value     "1" or "0"
//   date            ISO 8601 in UTC, proleptic Gregorian, "2024-01-02T03:04:05Z"; a fraction of
//                   a second only when there is one, to the microsecond without trailing zeros
//                   ("2024-01-02T03:04:05.25Z"); years 0000 to 9999 in four digits, others with
//                   a sign and at least five ("+10000-01-01T00:00:00Z", "-00001-12-31T...")
//   data            base64 with padding
//   array, dictionary  compact one-line JSON in valid UTF-8, dictionaries in file order; texts,
//                      dates and data inside it are JSON strings (in the forms above), integers
//                      and finite reals JSON numbers in the forms above, truth values true/false,
//                      non-finite reals strings ("nan", "inf", "-inf").
std::string seedValueText(const PropertyValue& value);

} // namespace talvo
