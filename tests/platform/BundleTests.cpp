#include "platform/Bundle.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace talvo {
namespace {

TEST(AppBundle, ExecutableBelongsToTheInnermostBundle) {
    const struct {
        const char* executable;
        std::optional<std::string> bundle;
    } cases[] = {
        {"/Applications/Backup Agent.app/Contents/MacOS/agent", "/Applications/Backup Agent.app"},
        {"/A.app/Contents/MacOS/B.app/Contents/MacOS/B", "/A.app/Contents/MacOS/B.app"},
        {"/Applications/X.app/Contents/MacOS/", std::nullopt},
        {"/Applications/X.app/Contents/Resources/tool", std::nullopt},
        {"/Applications/.app/Contents/MacOS/tool", std::nullopt},
    };
    for (const auto& [executable, bundle] : cases) {
        EXPECT_EQ(bundle::bundleOfExecutable(executable), bundle) << executable;
    }
    EXPECT_TRUE(bundle::isBundlePath("/Applications/Talvo Backup Agent.app/"));
    EXPECT_FALSE(bundle::isBundlePath("/Applications/.app"));
}

} // namespace
} // namespace talvo
