// The installer: the command lines it runs, what it reports, what its log may show and what it
// is given.

#include "engine/InstalledAgent.h"
#include "engine/Installer.h"
#include "engine/RunLog.h"
#include "engine/SystemCommands.h"
#include "tests/engine/FakeComputer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

namespace talvo {
namespace {

using test::errorLine;
using test::FakeComputer;
using test::Lines;
using Kind = PrivilegedOutcome::Kind;

// The exact command lines, written out in full so that a change of any blank or quote shows.
const std::string kAgent =
    R"("/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent")";
const std::string kKeyItem = R"(-a "talvo/backup/customer-encryption-key" -s "TalvoBackupAgent")";
const std::string kKeychain = R"( "/Library/Keychains/System.keychain")";
std::string launchctl(const std::string& daemon) {
    return "launchctl bootstrap system /Library/LaunchDaemons/com.talvo.backup.agent" + daemon +
           ".plist";
}

// The superuser runs the agent through "sudo" and everything else directly; a normal user runs
// the agent and the key's add as they are (sudo would log the passphrase) and everything else with
// a leading "sudo", all through the privileged path. The key is looked for without rights either
// way. Failures after the agent setup are printed and the next step still runs.
TEST(Installer, CommandLinesOfBothPrivilegeBranches) {
    for (const bool superuser : {true, false}) {
        FakeComputer computer;
        computer.userId = superuser ? 0 : 501;
        computer.files.insert(kDatabasePath);
        computer.output = "class: \"genp\"";
        computer.failures = {{"delete-", 126}, {"updater", 5}};
        computer.privileged = {{"delete-", {Kind::dismissed, 0}}, {"updater", {Kind::ran, 5}}};
        // Configured already: nothing runs unless a clean-up is asked for.
        computer.installer.run({"T 0", {}, "passphrase0", {}, false});
        // A failed delete is only printed: the add decides whether the key is stored.
        EXPECT_FALSE(computer.installer
                         .run({"T 1", "https://svc.example", "pass\"word1", "\"/seed path\"", true})
                         .keyNotStored);
        computer.installer.bootstrap();
        const std::string admin = superuser ? "sync> " : "sudo> sudo ";
        const std::string secret = superuser ? "sync> " : "sudo> ";
        EXPECT_EQ(computer.lines(),
                  (Lines{"Installing User...",
                         (superuser ? "sync> sudo " : "sudo> ") + kAgent +
                             " daemon --init -reg-token=T 1 -reg-service=https://svc.example "
                             "-seed-path=\"/seed path\" -clean-up",
                         "sync> security find-generic-password " + kKeyItem + kKeychain,
                         admin + "security delete-generic-password " + kKeyItem + kKeychain,
                         errorLine(126),
                         secret + "security add-generic-password " + kKeyItem +
                             R"( -l "TalvoBackupAgent" -w "pass\"word1" -T )" + kAgent + kKeychain,
                         admin + launchctl(""), admin + launchctl(".updater"), errorLine(5)}))
            << "superuser " << superuser;
    }
}

// One look at the running applications answers for both; the agent application is stopped before
// the status application, a failed killall is printed and the next step still runs.
TEST(Installer, KillAppStopsTheRunningApplicationsInOrder) {
    const std::string agentApp = "com.talvo.backup.app";
    const std::string statusApp = "com.talvo.backup.status";
    const std::string search = "launch> /bin/sh [-c] [ps auxww | grep TalvoBackupAgent | grep -v "
                               "'grep TalvoBackupAgent' | head -n 1]";
    const std::string killStatus = R"(sync> /usr/bin/killall "TalvoBackupAgentStatus")";
    const struct {
        std::set<std::string> running;
        Lines lines;
    } cases[] = {
        {{}, {search}},
        {{statusApp}, {"Talvo Backup Agent Status is already running.", killStatus, search}},
        {{agentApp, statusApp},
         {"Talvo Backup Agent is already running.",
          R"(sync> /usr/bin/killall "Talvo Backup Agent")", errorLine(1),
          "Talvo Backup Agent Status is already running.", killStatus, search}},
    };
    for (const auto& [running, lines] : cases) {
        FakeComputer computer;
        computer.applications = running;
        computer.failures["killall \"Talvo Backup Agent\""] = 1;
        computer.installer.killApp();
        EXPECT_EQ(computer.applicationLookups, (std::vector<Lines>{{agentApp, statusApp}}));
        EXPECT_EQ(computer.lines(), lines);
    }
}

// Only the add decides whether the key is stored: its failure goes back to the caller, whichever
// way it failed, after one printed line; a failed lookup is only printed.
TEST(Installer, AKeyThatCouldNotBeStoredIsReportedToTheCaller) {
    const struct {
        unsigned userId;
        PrivilegedOutcome privilegedAdd;
        int status;
    } cases[] = {{0, {}, 50}, {501, {Kind::ran, 50}, 50}, {501, {Kind::dismissed, 0}, 126}};
    for (const auto& [userId, privilegedAdd, status] : cases) {
        FakeComputer computer;
        computer.userId = userId;
        computer.failures = {{"add-", 50}, {"find-", 49}};
        computer.privileged = {{"add-", privilegedAdd}};
        const auto stored = computer.installer.run({"t", {}, "passphrase1", {}, {}}).keyNotStored;
        ASSERT_TRUE(stored) << status;
        EXPECT_EQ(stored->code(), status);
        const Lines lines = computer.lines();
        EXPECT_EQ(lines.back(), errorLine(status));
        EXPECT_EQ(std::count(lines.begin(), lines.end(), errorLine(status)), 1) << status;
    }
}

// Secrets in the forms a shell treats specially. The failing command's last output line holds
// the secret's end, as a tool echoing it or the shell's own "not found" for its tail would.
const std::string kSecrets[] = {
    R"(quote " dollar $HOME backquote `id` backslash \ end\)",
    "tok-abc;SECRETTAIL42",
    "tok(ENTIRETOKEN77",
    "line one\nline two e\xCC\x81",
};

// The first six bytes of the secret, as given or double-quoted for the shell, that stand in the
// entry; empty when none do.
std::string pieceIn(const std::string& entry, const std::string& secret) {
    for (const auto& form : {secret, keychain::escapedForDoubleQuotes(secret)}) {
        for (std::size_t start = 0; start + 6 <= form.size(); ++start) {
            if (entry.find(form.substr(start, 6)) != std::string::npos) {
                return form.substr(start, 6);
            }
        }
    }
    return {};
}

// The agent's setup with a token and the key's add: each failed one is logged with its secret
// masked and its output withheld, on both paths.
TEST(InstallerLog, ACommandCarryingASecretIsLoggedMaskedAndWithoutItsOutput) {
    const std::string withheld = "; output withheld, the command carries a secret";
    const std::string agentCommand = kAgent + " daemon --init -reg-token=******** -reg-service=svc";
    const std::string keyCommand = "security add-generic-password " + kKeyItem +
                                   R"( -l "TalvoBackupAgent" -w "********" -T )" + kAgent +
                                   kKeychain;
    for (const auto& secret : kSecrets) {
        for (const unsigned userId : {0u, 501u}) {
            FakeComputer agent, key;
            agent.userId = key.userId = userId;
            agent.failures["daemon --init"] = 3;
            agent.privileged["daemon --init"] = {Kind::ran, 3};
            agent.output = "registration failed for " + secret;
            EXPECT_THROW(agent.installer.run({secret, "svc", {}, {}, {}}), Error);
            key.failures["add-"] = 45;
            key.privileged["add-"] = {Kind::dismissed, 0};
            key.output = "echoing " + secret;
            key.installer.createCustomerKey(secret);

            const Lines logged{agent.logged.at(0), key.logged.at(0)};
            const Lines expected =
                userId == 0
                    ? Lines{"Command failed with exit status 3: sudo " + agentCommand + withheld,
                            "Command failed with exit status 45: " + keyCommand + withheld}
                    : Lines{"Privileged command failed (exit status 3): " + agentCommand,
                            "Privileged command failed (authentication dismissed, status 126): " +
                                keyCommand};
            EXPECT_EQ(logged, expected);
            for (const auto& entry : logged) {
                EXPECT_EQ(pieceIn(entry, secret), "") << entry;
            }
        }
    }
}

// Without a token the agent's setup carries no secret, and its last output line tells why it
// failed.
TEST(InstallerLog, AFailedAgentSetupWithoutATokenIsLoggedWithItsLastOutputLine) {
    FakeComputer computer;
    computer.failures["daemon --init"] = 3;
    computer.output = "TalvoBackupAgent: starting\nTalvoBackupAgent: registration failed";
    EXPECT_THROW(computer.installer.run({{}, "svc", {}, {}, {}}), Error);
    EXPECT_EQ(computer.logged, Lines{"Command failed with exit status 3: sudo " + kAgent +
                                     " daemon --init -reg-service=svc; last output line: "
                                     "TalvoBackupAgent: registration failed"});
}

// Bytes pass through unchanged; the sink sees whole lines only, the last one when the copy ends;
// a sink that throws loses its entry, never the output.
TEST(InstallerLog, CopiedLinesPassEveryByteOnAndHandOverWholeLines) {
    std::ostringstream out;
    Lines copied;
    {
        const CopiedLines copy(out, [&copied](const std::string& line) {
            if (line == "throw") {
                throw std::runtime_error("sink failed");
            }
            copied.push_back(line);
        });
        out << "half" << 'x' << " line\n" << std::flush << "throw\n\nunterminated";
        EXPECT_TRUE(out.good());
    }
    out << "after\n";
    EXPECT_EQ(out.str(), "halfx line\nthrow\n\nunterminatedafter\n");
    EXPECT_EQ(copied, (Lines{"halfx line", "", "unterminated"}));
}

} // namespace
} // namespace talvo
