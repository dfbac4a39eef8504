#include "FakeComputer.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

using Lines = std::vector<std::string>;
using Kind = PrivilegedOutcome::Kind;

const Config kFullConfig{"T 1", "https://svc.example", "passphrase1", "\"/seed path\"", true};
const std::string kOptions = " -reg-token=T 1 -reg-service=https://svc.example "
                             "-seed-path=\"/seed path\" -clean-up";

// The superuser runs the agent through "sudo" and everything else directly; a normal user runs
// the agent as it is and everything else with a leading "sudo", both through the privileged path.
// The key is looked for without rights either way. Failures after the agent setup are printed,
// whether the command failed or the privileged attempt never ran, and the next step still runs.
TEST(Installer, CommandLinesOfBothPrivilegeBranches) {
    for (const bool superuser : {true, false}) {
        FakeComputer computer;
        computer.userId = superuser ? 0 : 501;
        computer.files.insert(Installer::databasePath);
        computer.answers["find-generic-password"] = "class: \"genp\"";
        computer.failures = {{"delete-", 126}, {"updater", 5}};
        computer.privileged = {{"delete-", {Kind::Dismissed, 0}}, {"updater", {Kind::Ran, 5}}};
        computer.installer.run(kFullConfig);
        computer.installer.bootstrap();
        const std::string admin = superuser ? "sync> " : "sudo> sudo ";
        EXPECT_EQ(
            computer.lines(),
            (Lines{"Installing User...", (superuser ? "sync> sudo " : "sudo> ") + kAgent + kOptions,
                   "sync> " + kFindKey, admin + kDeleteKey, errorLine(126),
                   admin + addKey("passphrase1"), admin + launchctl("bootstrap", kMainDaemon),
                   admin + launchctl("bootstrap", kUpdaterDaemon), errorLine(5)}))
            << "superuser " << superuser;
    }
}

// A failed agent setup ends the installation with its status and stores no key; a privileged
// attempt that never ran (dialog dismissed, rights refused) must not read as success.
TEST(Installer, FailedAgentSetupIsRaisedAndStoresNoKey) {
    const struct {
        unsigned userId;
        PrivilegedOutcome outcome;
        int code;
    } cases[] = {
        {0, {}, 3},
        {501, {Kind::Dismissed, 0}, 126},
        {501, {Kind::Denied, 0}, 127},
        {501, {Kind::Unavailable, 0}, 127},
        {501, {Kind::Ran, 5}, 5},
    };
    for (const auto& [userId, outcome, code] : cases) {
        FakeComputer computer;
        computer.userId = userId;
        computer.failures["daemon --init"] = 3;
        computer.privileged["daemon --init"] = outcome;
        try {
            computer.installer.run(kFullConfig);
            ADD_FAILURE() << "no error for " << code;
        } catch (const Error& error) {
            EXPECT_EQ(error.text(), errorLine(code));
        }
        // Raised only, never printed here, and nothing after it.
        EXPECT_EQ(computer.lines().size(), 2u) << code;
    }
}

// A key found is replaced, so that its access list is made afresh; "not found" is the only lookup
// failure kept quiet.
TEST(Installer, KeyLookupDecidesBetweenAddAndReplace) {
    const std::string find = "sync> " + kFindKey, add = "sync> " + addKey("k");
    const struct {
        std::string found;
        std::map<std::string, int> failures;
        Lines expected;
    } cases[] = {
        {"", {{"find-", 44}}, {find, add}},
        {"", {}, {find, add}},
        {"", {{"find-", 51}, {"add-", 45}}, {find, errorLine(51), add, errorLine(45)}},
        {"class: \"genp\"", {{"delete-", 1}}, {find, "sync> " + kDeleteKey, errorLine(1), add}},
    };
    for (const auto& [found, failures, expected] : cases) {
        FakeComputer computer;
        computer.answers["find-"] = found;
        computer.failures = failures;
        computer.installer.createCustomerKey("k");
        EXPECT_EQ(computer.lines(), expected) << found;
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
        Lines expected{kProcessSearch};
        if (running) {
            expected.push_back("sync> " + launchctl("bootout", kMainDaemon));
            expected.push_back("sync> " + launchctl("bootout", kUpdaterDaemon));
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
} // namespace talvo::testing
