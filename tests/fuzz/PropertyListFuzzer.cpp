// Arbitrary bytes as a managed-preferences file: read, turned into a profile and rendered as a
// seed file, as the setup tool does with what it finds on disk.
#include "format/PropertyList.h"
#include "setup/ManagedPreferences.h"
#include "setup/SeedConfiguration.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reading =
        talvo::examinePropertyList(std::string_view(reinterpret_cast<const char*>(data), size));
    if (reading.refusal) {
        // A refusal is printed as part of one line and never comes with a dictionary.
        const auto& reason = *reading.refusal;
        if (reading.dictionary || std::any_of(reason.begin(), reason.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20;
            })) {
            std::abort();
        }
        return 0;
    }
    const auto& settings = reading.dictionary;
    if (!settings) {
        return 0;
    }
    // Only a text value may break the one-line-per-entry form of the seed file.
    for (const auto& entry : *settings) {
        const auto text = talvo::seedValueText(entry.value);
        if (!std::holds_alternative<std::string>(entry.value.value) &&
            text.find('\n') != std::string::npos) {
            std::abort();
        }
        // Texts never hold U+0000: such profiles are refused.
        if (const auto* value = std::get_if<std::string>(&entry.value.value);
            value != nullptr && value->find('\0') != std::string::npos) {
            std::abort();
        }
    }
    if (const auto* seed = talvo::ManagedPreferences::seedSection(*settings)) {
        talvo::renderSeedConfiguration(*seed);
    }
    (void)talvo::ManagedPreferences::configFrom(*settings, "\"/seed.conf\"");
    return 0;
}
