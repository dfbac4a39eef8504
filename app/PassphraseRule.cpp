#include "app/PassphraseRule.h"

#include "platform/UnicodeText.h"

namespace talvo {

bool isPassphraseChoiceAcceptable(bool isUsingCustomKey, std::string_view passphrase,
                                  std::string_view confirmation) {
    if (!isUsingCustomKey) {
        return true;
    }
    if (passphrase.empty()) {
        return false;
    }
    const auto composed = unicode::nfc(passphrase);
    const auto composedConfirmation = unicode::nfc(confirmation);
    return composed && composedConfirmation && *composed == *composedConfirmation;
}

} // namespace talvo
