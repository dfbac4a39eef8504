#include "engine/Installer.h"
#include "tests/engine/FakeComputer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace talvo {
namespace {

using testing::errorLine;
using testing::FakeComputer;
using testing::Lines;
using Kind = PrivilegedOutcome::Kind;

// The exact command lines, written out in full so that a change of any blank or quote shows.
const std::string kAgent =
    R"("/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" daemon --init)";
const std::string kKeyItem = R"(-a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent")";
const std::string kKeychain = R"( "/Library/Keychains/System.keychain")";
const std::string kFindKey = "security find-generic-password " + kKeyItem + kKeychain;
std::string addKey(const std::string& passphrase) {
    return "security add-generic-password " + kKeyItem + R"( -l "TalvoBackupAgent" -w ")" +
           passphrase +
           R"(" -T "/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent")" +
           kKeychain;
}
// The main daemon's command, or with ".updater" the updater's.
std::string launchctl(const std::string& verb, const std::string& daemon = "") {
    return "launchctl " + verb + " system /Library/LaunchDaemons/com.talvo.backup.agent" + daemon +
           ".plist";
}

// The superuser runs the agent through "sudo" and everything else directly; a normal user runs
// the agent and the key's add as they are (sudo would log the passphrase) and everything else with
// a leading "sudo", all through the privileged path. The key is looked for without rights either
// way. Failures after the agent setup are printed, whether the command failed or the privileged
// attempt never ran, and the next step still runs.
TEST(Installer, CommandLinesOfBothPrivilegeBranches) {
    for (const bool superuser : {true, false}) {
        FakeComputer computer;
        computer.userId = superuser ? 0 : 501;
        computer.files.insert(Installer::databasePath);
        computer.output = "class: \"genp\"";
        computer.failures = {{"delete-", 126}, {"updater", 5}};
        computer.privileged = {{"delete-", {Kind::Dismissed, 0}}, {"updater", {Kind::Ran, 5}}};
        computer.installer.run(
            {"T 1", "https://svc.example", "passphrase1", "\"/seed path\"", true});
        computer.installer.bootstrap();
        const std::string admin = superuser ? "sync> " : "sudo> sudo ";
        const std::string secret = superuser ? "sync> " : "sudo> ";
        EXPECT_EQ(
            computer.lines(),
            (Lines{"Installing User...",
                   (superuser ? "sync> sudo " : "sudo> ") + kAgent +
                       " -reg-token=T 1 -reg-service=https://svc.example "
                       "-seed-path=\"/seed path\" -clean-up",
                   "sync> " + kFindKey,
                   admin + "security delete-generic-password " + kKeyItem + kKeychain,
                   errorLine(126), secret + addKey("passphrase1"), admin + launchctl("bootstrap"),
                   admin + launchctl("bootstrap", ".updater"), errorLine(5)}))
            << "superuser " << superuser;
    }
}

// Only a lookup that answers with an item leads to a delete.
TEST(Installer, KeyLookupThatSucceedsWithoutOutputOnlyAdds) {
    FakeComputer computer;
    computer.installer.createCustomerKey("k");
    EXPECT_EQ(computer.lines(), (Lines{"sync> " + kFindKey, "sync> " + addKey("k")}));
}

// Only the add decides whether the key is stored: its failure goes back to the caller, whichever
// way it failed, after the same printed line; a failed lookup or delete is only printed.
TEST(Installer, AKeyThatCouldNotBeStoredIsReportedToTheCaller) {
    const Config withKey{"t", std::nullopt, "passphrase1", std::nullopt, std::nullopt};
    const struct {
        const char* name;
        unsigned userId;
        PrivilegedOutcome privilegedAdd;
        int status;
    } cases[] = {
        {"superuser", 0, {}, 50},
        {"ran and failed", 501, {Kind::Ran, 50}, 50},
        {"dismissed", 501, {Kind::Dismissed, 0}, 126},
        {"denied", 501, {Kind::Denied, 0}, 127},
    };
    for (const auto& example : cases) {
        for (const bool fromProfile : {false, true}) {
            FakeComputer computer;
            computer.userId = example.userId;
            computer.failures = {{"add-", 50}, {"find-", 49}};
            computer.privileged = {{"add-", example.privilegedAdd}};
            const auto result =
                fromProfile ? computer.installer.runMDMCheck([&] { return std::optional(withKey); })
                            : std::optional(computer.installer.run(withKey));
            ASSERT_TRUE(result && result->keyNotStored) << example.name;
            EXPECT_EQ(result->keyNotStored->code(), example.status) << example.name;
            const Lines lines = computer.lines();
            EXPECT_EQ(lines.back(), errorLine(example.status)) << example.name;
            EXPECT_EQ(std::count(lines.begin(), lines.end(), errorLine(example.status)), 1)
                << example.name;
        }
    }

    // The key stored after a failed delete or a failed lookup, or no key at all: nothing to
    // report.
    for (const unsigned userId : {0u, 501u}) {
        FakeComputer computer;
        computer.userId = userId;
        computer.output = "class: \"genp\"";
        computer.failures = {{"delete-", 195}};
        computer.privileged = {{"delete-", {Kind::Ran, 195}}};
        EXPECT_FALSE(computer.installer.run(withKey).keyNotStored) << userId;
        computer.failures = {{"find-", 49}};
        EXPECT_FALSE(computer.installer.createCustomerKey("passphrase1")) << userId;
        const Lines lines = computer.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), errorLine(195)), 1) << userId;
        computer.failures = {{"add-", 50}};
        computer.privileged = {{"add-", {Kind::Ran, 50}}};
        EXPECT_FALSE(computer.installer.run(Config{}).keyNotStored) << userId;
        EXPECT_FALSE(
            computer.installer.runMDMCheck([] { return std::optional(Config{}); })->keyNotStored)
            << userId;
    }
}

TEST(Installer, BootoutOnlyWhenTheProcessListShowsAnAgentProcess) {
    const std::string search = "staff 401 /bin/sh -c ps aux | grep TalvoBackupAgent\n"
                               "staff 403 grep TalvoBackupAgent\n";
    const std::string agent = "root 301 TalvoBackupAgent daemon\n";
    const struct {
        std::optional<std::string> listing;
        bool running;
    } cases[] = {
        {std::nullopt, false},
        {search, false},
        {search + agent, true},
        {search + "staff 502 TalvoBackupAgentStatus.app/Contents/MacOS/x\n", true},
        {"staff 7 /usr/bin/TalvoBackupAgen\n", false},
        {"staff 7 talvobackupagent\n", false},
        // Not UTF-8: counts as an empty list.
        {agent + "\xff\xfe", false},
    };
    for (const auto& [listing, running] : cases) {
        FakeComputer computer;
        computer.processList = listing;
        computer.installer.bootout();
        Lines expected{"launch> /bin/sh [-c] [ps aux | grep TalvoBackupAgent]"};
        if (running) {
            expected.push_back("sync> " + launchctl("bootout"));
            expected.push_back("sync> " + launchctl("bootout", ".updater"));
        }
        EXPECT_EQ(computer.lines(), expected) << listing.value_or("(not started)");
    }
}

TEST(Installer, OpensTheAgentByItsBundleAndTheStatusAppByItsEncodedFileURL) {
    FakeComputer computer;
    computer.installer.runApp();
    computer.installer.runStatusApp();
    EXPECT_EQ(computer.lines(),
              (Lines{"open> /Applications/Talvo Backup Agent.app",
                     "open> file:///Applications/Talvo%20Backup%20Agent.app/Contents/MacOS/"
                     "TalvoBackupAgentStatus.app"}));
}

} // namespace
} // namespace talvo
