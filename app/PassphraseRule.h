#pragma once

#include <cstddef>
#include <string_view>

namespace talvo {

// The longest own passphrase accepted, in user-perceived characters (counted as the engine
// counts its minimum). The passphrase travels on shell command lines, where a text of megabytes
// would fail half-way through the installation; refusing it up front lets the user fix it.
inline constexpr std::size_t maxPassphraseLength = 1024;

// Whether the text is longer than maxPassphraseLength.
bool isPassphraseTooLong(std::string_view passphrase);

// Whether the passphrase choice may be installed. The managed passphrase always may. The user's
// own may when both fields hold the same text under canonical equivalence (an accented letter
// typed precomposed or decomposed counts the same), the first is not empty and not too long.
// Whitespace is content; the minimum length is the engine's to enforce.
bool isPassphraseChoiceAcceptable(bool isUsingCustomKey, std::string_view passphrase,
                                  std::string_view confirmation);

} // namespace talvo
