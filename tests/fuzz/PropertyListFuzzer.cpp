// Arbitrary bytes as a managed-preferences file: read, turned into a profile and rendered as a
// seed file, as the setup tool does with what it finds on disk.
#include "platform/PropertyList.h"
#include "setup/ProfileSettings.h"
#include "setup/SeedConfiguration.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto settings =
        talvo::parsePropertyList(std::string_view(reinterpret_cast<const char*>(data), size));
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
    }
    if (const auto* seed = talvo::ProfileSettings::seedSection(*settings)) {
        talvo::renderSeedConfiguration(*seed);
    }
    const auto config = talvo::ProfileSettings::config(*settings, "\"/seed.conf\"");
    if (!config.cleanUp.has_value()) {
        std::abort();
    }
    return 0;
}
