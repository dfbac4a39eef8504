#include "exec/Error.h"
#include "setup/ManagedPreferences.h"
#include "tests/support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>

namespace talvo {
namespace {

namespace fs = std::filesystem;

using test::TemporaryFolder;
using test::writeFile;

std::string withToken(const std::string& token, std::size_t size = 0) {
    const std::string profile = "<plist version=\"1.0\"><dict><key>reg-token</key><string>" +
                                token + "</string></dict></plist>";
    return profile + std::string(size > profile.size() ? size - profile.size() : 0, '\n');
}

// Which profile is read: the computer-wide one, else the per-user one of a user name that is one
// folder name (".." or a name with "/" would lead out of the managed preferences, to a file that
// whoever may write there wrote). A computer-wide profile that is refused, over the size limit
// included, is not passed over: the per-user profile would be installed in its place.
TEST(ManagedPreferences, TheComputerWideProfileOrTheUsersOwnIsReadOrRefused) {
    constexpr auto kLimit = ManagedPreferences::kPreferencesSizeLimit;
    const std::string refused =
        "Error Domain=InputError Code=-1 \"Managed preferences refused: the profile is larger "
        "than 8 MiB.\"";
    const struct {
        std::string userName;
        std::optional<std::string> computerWide, perUser;
        std::string outcome; // the token, "none" or the error line
    } cases[] = {
        {"jane", std::nullopt, withToken("per-user"), "per-user"},
        {"jane", "<plist version=\"1.0\"><dict/></plist>", withToken("per-user"), "(no token)"},
        {"..", std::nullopt, withToken("planted"), "none"},
        {"jane/../../elsewhere", std::nullopt, withToken("planted"), "none"},
        {"jane", withToken("large", kLimit), withToken("small"), "large"},
        {"jane", withToken("large", kLimit + 1), withToken("small"), refused},
        {"jane", std::nullopt, withToken("large", kLimit + 1), refused},
    };
    for (const auto& example : cases) {
        const TemporaryFolder root;
        std::ostringstream out;
        const ManagedPreferences preferences{root.path().string(), example.userName, out};
        if (example.computerWide) {
            writeFile(preferences.computerWideFile(), *example.computerWide);
        }
        if (example.perUser) {
            writeFile(root.path() / "Library/Managed Preferences" / example.userName /
                          ManagedPreferences::kPreferencesFileName,
                      *example.perUser);
        }
        std::string outcome;
        try {
            const auto profile = preferences.profile();
            outcome = profile ? profile->registrationToken.value_or("(no token)") : "none";
        } catch (const Error& error) {
            outcome = error.text();
        }
        EXPECT_EQ(outcome, example.outcome) << example.userName;
    }
}

// Records whether a line was pushed out at once, as lines must be while commands share the
// terminal.
struct FlushRecordingBuffer : std::stringbuf {
    bool flushed = false;
    int sync() override {
        flushed = true;
        return 0;
    }
};

// Keys are case-sensitive and text keys take only text; the seed file is handed on by its quoted
// name, and a failed write of it is printed at once while the profile stands.
TEST(ManagedPreferences, AProfileStandsWhenItsSeedFileCannotBeWritten) {
    const TemporaryFolder root;
    FlushRecordingBuffer buffer;
    std::ostream out(&buffer);
    const ManagedPreferences preferences{root.path().string() + "/", "jane", out};
    writeFile(preferences.computerWideFile(),
              R"(<?xml version="1.0"?><plist version="1.0"><dict>)"
              "<key>Reg-Token</key><string>wrong case</string>"
              "<key>seed-path</key><data>L3RtcA==</data>"
              "<key>seed-config</key><dict><key>a</key><string>x</string></dict>"
              "<key>clean-up</key><string>no</string></dict></plist>");
    const Config expected{std::nullopt, std::nullopt, std::nullopt,
                          "\"" + preferences.seedFile() + "\"", true};

    EXPECT_EQ(preferences.profile(), expected);
    EXPECT_TRUE(buffer.flushed);
    EXPECT_EQ(buffer.str(), "Error Domain=FileWriteError Code=2 \"Could not write " +
                                preferences.seedFile() + ": No such file or directory\"\n");
    EXPECT_FALSE(fs::exists(fs::path(preferences.seedFile()).parent_path()));
}

} // namespace
} // namespace talvo
