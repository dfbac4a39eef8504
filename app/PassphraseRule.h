#pragma once

#include <string_view>

namespace talvo {

// Whether the passphrase choice may be installed. The managed passphrase always may. The user's
// own may when both fields hold the same text under canonical equivalence (an accented letter
// typed precomposed or decomposed counts the same) and the first is not empty. Whitespace is
// content; the minimum length is the engine's to enforce.
bool isPassphraseChoiceAcceptable(bool isUsingCustomKey, std::string_view passphrase,
                                  std::string_view confirmation);

} // namespace talvo
