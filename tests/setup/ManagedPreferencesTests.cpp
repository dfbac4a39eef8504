#include "exec/Error.h"
#include "setup/ManagedPreferences.h"
#include "tests/support/TestFiles.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace talvo {
namespace {

namespace fs = std::filesystem;

using test::readFile;
using test::TemporaryFolder;
using test::writeFile;

// Writes the Python literal as a binary property list with Python's plistlib, a writer
// independent of the library under test.
void writePythonPropertyList(const fs::path& file, const std::string& pythonValue) {
    const auto command = "'" + std::string(TALVO_PYTHON3) + "' - '" + file.string() + "'";
    FILE* const python = ::popen(command.c_str(), "w");
    std::fputs(("import plistlib, sys\nopen(sys.argv[1], 'wb').write(plistlib.dumps(" +
                pythonValue + ", fmt=plistlib.FMT_BINARY))\n")
                   .c_str(),
               python);
    if (::pclose(python) != 0) {
        throw std::runtime_error("python could not write " + file.string());
    }
}

// The user name is HOME's last piece, or SUDO_USER, or USER: whatever started Setup set there. Only
// one folder name leads to a per-user profile; ".." or a name with "/" in it would lead out of
// the managed preferences, to a file that whoever may write there wrote.
TEST(ManagedPreferences, OnlyAUserNameThatIsOneFolderNameHasAPerUserProfile) {
    const struct {
        std::string userName;
        bool read;
    } cases[] = {
        {"jane", true},
        {"..", false},
        {"../..", false},
        {"../../tmp/planted", false},
        {"jane/../../elsewhere", false},
    };
    for (const auto& example : cases) {
        const TemporaryFolder root;
        std::ostringstream out;
        const auto whereItLeads = root.path() / "Library/Managed Preferences" / example.userName /
                                  ManagedPreferences::kPreferencesFileName;
        fs::create_directories(whereItLeads.parent_path());
        writePythonPropertyList(whereItLeads, "{'reg-token': 'planted'}");
        const ManagedPreferences preferences{root.path().string(), example.userName, out};
        EXPECT_EQ(preferences.profile().has_value(), example.read) << example.userName;
        EXPECT_EQ(preferences.perUserFile().empty(), !example.read) << example.userName;
    }
}

// Tells whether a line was pushed out at once, as lines must be while commands share the terminal.
struct FlushRecordingStream : std::ostream {
    struct Buffer : std::stringbuf {
        bool* flushed;
        explicit Buffer(bool* target) : flushed(target) {}
        int sync() override {
            *flushed = true;
            return 0;
        }
    };
    bool flushed = false;
    Buffer buffer{&flushed};
    FlushRecordingStream() : std::ostream(nullptr) { rdbuf(&buffer); }
    std::string str() const { return buffer.str(); }
    void str(const std::string& text) { buffer.str(text); }
};

// Keys are case-sensitive and text keys take only text; the seed file is handed on by its quoted
// name, and a failed write of it is printed while the profile stands.
TEST(ManagedPreferences, ProfileWithItsSeedFileWrittenOrNot) {
    const TemporaryFolder root;
    FlushRecordingStream out;
    const ManagedPreferences preferences{root.path().string() + "/", "jane", out};
    writeFile(preferences.computerWideFile(),
              R"(<?xml version="1.0"?><plist version="1.0"><dict>)"
              "<key>Reg-Token</key><string>wrong case</string>"
              "<key>seed-path</key><data>L3RtcA==</data>"
              "<key>seed-config</key><dict><key>a</key><string>x</string></dict>"
              "<key>clean-up</key><string>no</string></dict></plist>");
    const Config expected{std::nullopt, std::nullopt, std::nullopt,
                          "\"" + preferences.seedFile() + "\"", true};
    const auto seedFolder = fs::path(preferences.seedFile()).parent_path();

    EXPECT_EQ(preferences.profile(), expected);
    EXPECT_TRUE(out.flushed);
    EXPECT_EQ(out.str(), "Error Domain=FileWriteError Code=2 \"Could not write " +
                             preferences.seedFile() + ": No such file or directory\"\n");
    EXPECT_FALSE(fs::exists(seedFolder));

    out.str("");
    fs::create_directories(seedFolder);
    EXPECT_EQ(preferences.profile(), expected);
    EXPECT_EQ(readFile(preferences.seedFile()), "a = x");
    EXPECT_EQ(std::distance(fs::directory_iterator(seedFolder), fs::directory_iterator()), 1);
    EXPECT_EQ(out.str(), "");
}

// A profile over the size limit is refused like one that cannot be read exactly, wherever it
// lies: passed over, the per-user profile or nothing would be installed in its place.
TEST(ManagedPreferences, AProfileOverTheSizeLimitIsRefusedNotPassedOver) {
    const std::string small = R"(<plist version="1.0"><dict><key>reg-token</key>)"
                              "<string>small</string></dict></plist>";
    const std::string large = R"(<plist version="1.0"><dict><key>reg-token</key>)"
                              "<string>large</string></dict></plist>";
    const auto padded = [](const std::string& profile, std::size_t size) {
        return profile + std::string(size - profile.size(), '\n');
    };
    constexpr auto kLimit = ManagedPreferences::kPreferencesSizeLimit;
    const struct {
        const char* name;
        std::optional<std::string> computerWide;
        std::optional<std::string> perUser;
        std::optional<std::string> token; // nullopt: refused
    } cases[] = {
        {"at the limit", padded(large, kLimit), small, "large"},
        {"over the limit", padded(large, kLimit + 1), small, std::nullopt},
        {"per-user over the limit", std::nullopt, padded(large, kLimit + 1), std::nullopt},
        {"per-user at the limit", std::nullopt, padded(large, kLimit), "large"},
    };
    for (const auto& example : cases) {
        const TemporaryFolder root;
        FlushRecordingStream out;
        const ManagedPreferences preferences{root.path().string(), "jane", out};
        for (const auto& [file, content] :
             {std::pair{preferences.computerWideFile(), example.computerWide},
              std::pair{preferences.perUserFile(), example.perUser}}) {
            if (content) {
                fs::create_directories(fs::path(file).parent_path());
                writeFile(file, *content);
            }
        }
        try {
            const auto profile = preferences.profile();
            ASSERT_TRUE(profile) << example.name;
            EXPECT_EQ(profile->registrationToken, example.token) << example.name;
        } catch (const Error& error) {
            EXPECT_FALSE(example.token) << example.name;
            EXPECT_EQ(error.text(), "Error Domain=InputError Code=-1 \"Managed preferences "
                                    "refused: the profile is larger than 8 MiB.\"")
                << example.name;
        }
    }
}

} // namespace
} // namespace talvo
