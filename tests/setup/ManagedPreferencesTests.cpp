#include "exec/Error.h"
#include "platform/PropertyList.h"
#include "setup/ManagedPreferences.h"
#include "setup/SeedConfiguration.h"
#include "tests/support/TestFiles.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace talvo {
namespace {

namespace fs = std::filesystem;

using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Writes the Python value (a literal; datetime is imported) as a property list with Python's
// plistlib, a writer independent of the library under test.
void writePythonPropertyList(const fs::path& file, const std::string& pythonValue, bool binary) {
    const auto command = "'" + std::string(TALVO_PYTHON3) + "' - '" + file.string() + "'";
    FILE* const python = ::popen(command.c_str(), "w");
    std::fputs(("import datetime, plistlib, sys\n"
                "open(sys.argv[1], 'wb').write(plistlib.dumps(" +
                pythonValue + ", fmt=plistlib.FMT_" + (binary ? "BINARY" : "XML") + "))\n")
                   .c_str(),
               python);
    if (::pclose(python) != 0) {
        throw std::runtime_error("python could not write " + file.string());
    }
}

// Every kind of value; lists show through their JSON form whether truth values stayed such.
constexpr const char* kEveryKindInPython =
    "{'text': 'h\\u00e9llo\\nworld', 'empty': '', 'large': 2**63 - 1, 'negative': -5,"
    " 'real': 2.5, 'date': datetime.datetime(2024, 1, 2, 3, 4, 5), 'data': b'\\x00\\xffab',"
    " 'list': [1, -2.5, True, False, 'two', [3.5]], 'nested': {'inner': {'deep': 'x'}, 'e': {}}}";

TEST(PropertyList, ReadsEveryKindOfValueFromXmlAndBinaryAsTheSeedFileShowsIt) {
    const TemporaryFolder folder;
    const std::map<std::string, std::string> expected{
        {"text", "h\u00e9llo\nworld"},
        {"empty", ""},
        {"large", "9223372036854775807"},
        {"negative", "-5"},
        {"real", "2.5"},
        {"date", "2024-01-02T03:04:05Z"},
        {"data", "AP9hYg=="},
        {"list", R"([1,-2.5,true,false,"two",[3.5]])"},
        {"nested", R"({"e":{},"inner":{"deep":"x"}})"},
    };
    for (const bool binary : {false, true}) {
        const auto file = folder.path() / (binary ? "every.binary.plist" : "every.xml.plist");
        writePythonPropertyList(file, kEveryKindInPython, binary);
        const auto dictionary = readPropertyList(file);
        ASSERT_TRUE(dictionary.has_value()) << file;
        std::map<std::string, std::string> shown;
        for (const auto& entry : *dictionary) {
            shown[entry.key] = seedValueText(entry.value);
        }
        EXPECT_EQ(shown, expected) << file;
        EXPECT_TRUE(std::holds_alternative<std::int64_t>(find(*dictionary, "negative")->value));
        // Cut short, the file is unreadable; a binary one even when it lacks only its last byte.
        const auto bytes = *readFile(file);
        EXPECT_FALSE(parsePropertyList(bytes.substr(0, bytes.size() / 2)).has_value());
        if (binary) {
            EXPECT_FALSE(parsePropertyList(bytes.substr(0, bytes.size() - 1)).has_value());
        }
    }
}

// A profile that cannot arrive exactly is an error: no fallback to the per-user file, nothing
// written, and the line names the key but never the value.
TEST(ManagedPreferences, ARefusedProfileThrowsBeforeAnythingIsWritten) {
    const TemporaryFolder root;
    std::ostringstream out;
    const ManagedPreferences preferences{root.path().string(), "jane", out};
    fs::create_directories(fs::path(preferences.seedFile()).parent_path());
    fs::create_directories(fs::path(preferences.perUserFile()).parent_path());
    writePythonPropertyList(preferences.computerWideFile(),
                            "{'seed-config': {'a': 'x'}, 'encryption-key': 'abcdefgh\\x00ijkl'}",
                            true);
    writePythonPropertyList(preferences.perUserFile(), "{'reg-token': 'fallback'}", false);
    try {
        preferences.profile();
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.text(), "Error Domain=InputError Code=-1 \"Managed preferences refused: "
                                "the text at encryption-key holds U+0000.\"");
    }
    EXPECT_FALSE(preferences.settings().has_value());
    EXPECT_FALSE(fs::exists(preferences.seedFile()));
    EXPECT_EQ(out.str(), "");
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
    EXPECT_EQ(entriesIn(seedFolder), 1u);
    EXPECT_EQ(out.str(), "");
}

} // namespace
} // namespace talvo
