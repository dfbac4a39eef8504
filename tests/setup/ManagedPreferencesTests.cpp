#include "TemporaryFolder.h"
#include "setup/ManagedPreferences.h"

#include <gtest/gtest.h>
#include <sstream>

namespace talvo {
namespace {

using testing::readFile;
using testing::TemporaryFolder;
using testing::writeFile;

constexpr const char* kUser = "jane";

class ManagedPreferencesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing::hasPython()) {
            GTEST_SKIP() << "no Python to write property lists with";
        }
        std::filesystem::create_directories(
            std::filesystem::path(preferences.seedFile()).parent_path());
    }

    // Writes the Python value as the given preferences file, binary or XML.
    static void writePreferences(const std::string& file, const std::string& pythonValue,
                                 bool binary = true) {
        ASSERT_TRUE(testing::writePythonPropertyList(file, pythonValue, binary));
    }

    std::string quotedSeedFile() const { return "\"" + preferences.seedFile() + "\""; }

    std::vector<std::filesystem::path> seedFolderEntries() const {
        std::vector<std::filesystem::path> entries;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(preferences.seedFile()).parent_path())) {
            entries.push_back(entry.path().filename());
        }
        return entries;
    }

    TemporaryFolder root;
    std::ostringstream out;
    ManagedPreferences preferences{root.path().string() + "/", kUser, out};
};

TEST(ManagedPreferencesPaths, FollowTheRootAndUser) {
    std::ostringstream out;
    const ManagedPreferences computer("", "jane", out);
    EXPECT_EQ(computer.computerWideFile(),
              "/Library/Managed Preferences/com.talvo.backup.agent.plist");
    EXPECT_EQ(computer.perUserFile(),
              "/Library/Managed Preferences/jane/com.talvo.backup.agent.plist");
    EXPECT_EQ(computer.seedFile(), "/Library/Application Support/Talvo Backup Agent/seed.conf");
    EXPECT_EQ(("\"" + computer.seedFile() + "\"").size(), 59u);

    const ManagedPreferences rooted("/tmp/root//", "jane", out);
    EXPECT_EQ(rooted.seedFile(),
              "/tmp/root/Library/Application Support/Talvo Backup Agent/seed.conf");
}

TEST_F(ManagedPreferencesTest, NoReadablePreferencesMeanNoProfile) {
    EXPECT_EQ(preferences.settings(), std::nullopt);
    EXPECT_EQ(preferences.profile(), std::nullopt);

    writeFile(preferences.computerWideFile(), "not a property list");
    writeFile(preferences.perUserFile(), "");
    EXPECT_EQ(preferences.profile(), std::nullopt);
    EXPECT_EQ(out.str(), "");
}

TEST_F(ManagedPreferencesTest, TheComputerWideFileComesFirstAndThePerUserFileStandsIn) {
    writePreferences(preferences.perUserFile(), "{'reg-token': 'user'}");
    EXPECT_EQ(preferences.profile()->registrationToken, "user");

    for (const auto& broken :
         {std::string("garbage"), std::string("bplist00"),
          std::string(R"(<?xml version="1.0"?><plist version="1.0"><array/></plist>)")}) {
        writeFile(preferences.computerWideFile(), broken);
        EXPECT_EQ(preferences.profile()->registrationToken, "user") << broken;
    }

    writePreferences(preferences.computerWideFile(), "{'reg-token': 'computer'}", false);
    EXPECT_EQ(preferences.profile()->registrationToken, "computer");

    // An empty dictionary is still a profile and hides the per-user one.
    writePreferences(preferences.computerWideFile(), "{}");
    Config empty;
    empty.cleanUp = false;
    EXPECT_EQ(preferences.profile(), empty);
    EXPECT_EQ(preferences.settings(), PropertyDictionary{});
    EXPECT_TRUE(seedFolderEntries().empty());
    EXPECT_EQ(out.str(), "");
}

TEST_F(ManagedPreferencesTest, TextKeysTakeTextOnlyAndUntrimmed) {
    writePreferences(preferences.computerWideFile(),
                     "{'reg-token': 42, 'reg-service': ['x'], 'encryption-key': True,"
                     " 'seed-path': b'/tmp', 'Reg-Token': 'wrong case'}");
    Config absent;
    absent.cleanUp = false;
    EXPECT_EQ(preferences.profile(), absent);

    writePreferences(preferences.computerWideFile(),
                     "{'reg-token': ' tok ', 'reg-service': '', 'encryption-key': 'secret\\n',"
                     " 'seed-path': '/my seed.conf', 'clean-up': 'no'}");
    Config given;
    given.registrationToken = " tok ";
    given.registrationService = "";
    given.encryptionKey = "secret\n";
    given.seedPath = "/my seed.conf";
    given.cleanUp = true;
    EXPECT_EQ(preferences.profile(), given);
}

TEST_F(ManagedPreferencesTest, AnyCleanUpValueMeansTrue) {
    for (const auto* value : {"False", "0", "''", "[]", "{}", "True"}) {
        writePreferences(preferences.computerWideFile(),
                         std::string("{'clean-up': ") + value + "}");
        EXPECT_EQ(preferences.profile()->cleanUp, true) << value;
    }
}

TEST_F(ManagedPreferencesTest, TheSeedSectionIsWrittenAndNamedByTheQuotedPath) {
    writePreferences(preferences.computerWideFile(),
                     "{'seed-config': {'a': 'x', 'b': 2}, 'reg-token': 't'}");
    const auto profile = preferences.profile();
    ASSERT_TRUE(profile.has_value());
    EXPECT_EQ(profile->seedPath, quotedSeedFile());
    EXPECT_EQ(profile->registrationToken, "t");
    const auto written = readFile(preferences.seedFile());
    EXPECT_TRUE(written == "a = x\nb = 2" || written == "b = 2\na = x") << *written;
    EXPECT_EQ(seedFolderEntries(), std::vector<std::filesystem::path>{"seed.conf"});
    EXPECT_EQ(out.str(), "");

    // A given seed path is used as it stands, and the file is still written.
    writePreferences(preferences.computerWideFile(),
                     "{'seed-config': {'c': True}, 'seed-path': '/custom/seed.conf'}", false);
    EXPECT_EQ(preferences.profile()->seedPath, "/custom/seed.conf");
    EXPECT_EQ(readFile(preferences.seedFile()), "c = 1");

    writePreferences(preferences.computerWideFile(), "{'seed-config': {}}");
    EXPECT_EQ(preferences.profile()->seedPath, quotedSeedFile());
    EXPECT_EQ(readFile(preferences.seedFile()), "");
}

TEST_F(ManagedPreferencesTest, ASeedSectionThatIsNoDictionaryWritesNothing) {
    writeFile(preferences.seedFile(), "earlier");
    for (const auto* section : {"'a = x'", "['a']", "7"}) {
        writePreferences(preferences.computerWideFile(),
                         std::string("{'seed-config': ") + section + "}");
        EXPECT_EQ(preferences.profile()->seedPath, std::nullopt) << section;

        writePreferences(preferences.computerWideFile(),
                         std::string("{'seed-config': ") + section + ", 'seed-path': '/s'}");
        EXPECT_EQ(preferences.profile()->seedPath, "/s") << section;
    }
    EXPECT_EQ(readFile(preferences.seedFile()), "earlier");
}

TEST_F(ManagedPreferencesTest, AFailedSeedWriteIsPrintedAndTheProfileStands) {
    writePreferences(preferences.computerWideFile(),
                     "{'seed-config': {'a': 'x'}, 'reg-token': 't'}");

    // Something in the way of the file: the temporary file is written, then cannot replace it.
    std::filesystem::create_directory(preferences.seedFile());
    auto profile = preferences.profile();
    ASSERT_TRUE(profile.has_value());
    EXPECT_EQ(profile->seedPath, quotedSeedFile());
    EXPECT_EQ(profile->registrationToken, "t");
    EXPECT_EQ(out.str(), "Error Domain=FileWriteError Code=21 \"Could not write " +
                             preferences.seedFile() + ": Is a directory\"\n");
    EXPECT_EQ(seedFolderEntries(), std::vector<std::filesystem::path>{"seed.conf"});

    // The agent's folder does not exist yet, and is not made.
    out.str("");
    std::filesystem::remove_all(std::filesystem::path(preferences.seedFile()).parent_path());
    profile = preferences.profile();
    ASSERT_TRUE(profile.has_value());
    EXPECT_EQ(profile->seedPath, quotedSeedFile());
    EXPECT_EQ(out.str(), "Error Domain=FileWriteError Code=2 \"Could not write " +
                             preferences.seedFile() + ": No such file or directory\"\n");
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(preferences.seedFile()).parent_path()));
}

} // namespace
} // namespace talvo
