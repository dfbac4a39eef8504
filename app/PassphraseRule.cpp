#include "app/PassphraseRule.h"

#include "platform/UnicodeText.h"

namespace talvo {

bool isPassphraseTooLong(std::string_view passphrase) {
    // Each character takes at least one byte: most texts need no counting at all.
    if (passphrase.size() <= maxPassphraseLength) {
        return false;
    }
    const auto length = unicode::graphemeCount(passphrase);
    return !length || *length > maxPassphraseLength;
}

bool isPassphraseChoiceAcceptable(bool isUsingCustomKey, std::string_view passphrase,
                                  std::string_view confirmation) {
    if (!isUsingCustomKey) {
        return true;
    }
    if (passphrase.empty() || isPassphraseTooLong(passphrase)) {
        return false;
    }
    const auto composed = unicode::nfc(passphrase);
    const auto composedConfirmation = unicode::nfc(confirmation);
    return composed && composedConfirmation && *composed == *composedConfirmation;
}

} // namespace talvo
