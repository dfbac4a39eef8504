// The installer: the command lines it runs, what it reports and logs, and how its printed lines
// reach the log.

#include "engine/InstalledAgent.h"
#include "engine/Installer.h"
#include "engine/RunLog.h"
#include "tests/engine/FakeComputer.h"

#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <streambuf>
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
const std::string kDelete = "security delete-generic-password " + kKeyItem + kKeychain;
std::string launchctl(const std::string& daemon) {
    return "launchctl bootstrap system /Library/LaunchDaemons/com.talvo.backup.agent" + daemon +
           ".plist";
}
std::string addKey(const std::string& passphrase) {
    return "security add-generic-password " + kKeyItem + R"( -l "TalvoBackupAgent" -w ")" +
           passphrase + R"(" -T )" + kAgent + kKeychain;
}

// The superuser runs the agent through "sudo" and everything else directly; a normal user runs
// the agent and the key's add as they are (sudo would log the passphrase) and everything else with
// a leading "sudo", all through the privileged path. The key is looked for without rights either
// way. Failures after the agent setup are printed and the next step still runs; the add's failure,
// not the delete's, is the key's. The log names each failure with the token and the passphrase
// masked, and keeps no output of a command that carries either.
TEST(Installer, CommandLinesAndLoggedFailuresOfBothPrivilegeBranches) {
    const std::string withheld = "; output withheld, the command carries a secret";
    const std::string lastLine = "; last output line: class: \"genp\"";
    const std::string maskedAgent = kAgent + " daemon --init -reg-token=******** -clean-up";
    for (const bool superuser : {true, false}) {
        FakeComputer computer;
        computer.userId = superuser ? 0 : 501;
        computer.files.insert(kDatabasePath);
        computer.output = "class: \"genp\"";
        computer.failures = {{"delete-", 126}, {"add-", 9}, {"updater", 5}, {"=T 2", 3}};
        computer.privileged = {{"delete-", {Kind::dismissed, 0}},
                               {"add-", {Kind::ran, 9}},
                               {"updater", {Kind::ran, 5}},
                               {"=T 2", {Kind::ran, 3}}};
        // Configured already: nothing runs unless a clean-up is asked for.
        computer.installer.run({"T 0", {}, "passphrase0", {}, false});
        const auto installed = computer.installer.run(
            {"T 1", "https://svc.example", "pass\"word1", "\"/seed path\"", true});
        EXPECT_EQ(installed.keyNotStored.value().code(), 9);
        computer.installer.bootstrap();
        EXPECT_THROW(computer.installer.run({"T 2", {}, {}, {}, true}), Error);
        const std::string admin = superuser ? "sync> " : "sudo> sudo ";
        const std::string agent =
            (superuser ? "sync> sudo " : "sudo> ") + kAgent + " daemon --init";
        EXPECT_EQ(
            computer.lines(),
            (Lines{"Installing User...",
                   agent + " -reg-token=T 1 -reg-service=https://svc.example "
                           "-seed-path=\"/seed path\" -clean-up",
                   "sync> security find-generic-password " + kKeyItem + kKeychain, admin + kDelete,
                   errorLine(126), (superuser ? "sync> " : "sudo> ") + addKey(R"(pass\"word1)"),
                   errorLine(9), admin + launchctl(""), admin + launchctl(".updater"), errorLine(5),
                   "Installing User...", agent + " -reg-token=T 2 -clean-up"}))
            << "superuser " << superuser;
        const auto failed = [](int status, const std::string& command) {
            return "Command failed with exit status " + std::to_string(status) + ": " + command;
        };
        const auto refused = [](const std::string& outcome, const std::string& command) {
            return "Privileged command failed (" + outcome + "): " + command;
        };
        EXPECT_EQ(
            computer.logged,
            superuser
                ? (Lines{failed(126, kDelete + lastLine), failed(9, addKey("********") + withheld),
                         failed(5, launchctl(".updater") + lastLine),
                         failed(3, "sudo " + maskedAgent + withheld)})
                : (Lines{refused("authentication dismissed, status 126", "sudo " + kDelete),
                         refused("exit status 9", addKey("********")),
                         refused("exit status 5", "sudo " + launchctl(".updater")),
                         refused("exit status 3", maskedAgent)}));
    }
}

// One look at the running applications answers for both; the agent application is stopped before
// the status application, a failed killall is printed and the next step still runs. Which of them
// are stopped, each alone, the world's sessions show.
TEST(Installer, KillAppGoesOnPastAFailedKillall) {
    const Lines identifiers = {"com.talvo.backup.app", "com.talvo.backup.status"};
    FakeComputer computer;
    computer.applications = {identifiers.begin(), identifiers.end()};
    computer.failures["killall \"Talvo Backup Agent\""] = 1;
    computer.installer.killApp();
    EXPECT_EQ(computer.applicationLookups, std::vector<Lines>{identifiers});
    EXPECT_EQ(computer.lines(),
              (Lines{"Talvo Backup Agent is already running.",
                     R"(sync> /usr/bin/killall "Talvo Backup Agent")", errorLine(1),
                     "Talvo Backup Agent Status is already running.",
                     R"(sync> /usr/bin/killall "TalvoBackupAgentStatus")",
                     "launch> /bin/sh [-c] [ps auxww | grep TalvoBackupAgent | grep -v "
                     "'grep TalvoBackupAgent' | head -n 1]"}));
}

// Bytes pass through unchanged, and a stdout whose reader has gone (it takes no bytes) leaves the
// stream good, or every later line would be dropped before it reached the log. The sink sees
// whole lines only, the last one when the copy ends; a sink that throws loses its entry, never the
// output.
TEST(InstallerLog, CopiedLinesPassEveryByteOnAndHandOverWholeLines) {
    struct Refusing final : std::streambuf {
        int_type overflow(int_type) override { return traits_type::eof(); }
        std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
        int sync() override { return -1; }
    } refusing;
    std::ostream refused(&refusing);
    std::ostringstream taken;
    for (std::ostream* const out : {&refused, static_cast<std::ostream*>(&taken)}) {
        Lines copied;
        {
            const CopiedLines copy(*out, [&copied](const std::string& line) {
                if (line == "throw") {
                    throw std::runtime_error("sink failed");
                }
                copied.push_back(line);
            });
            printLine(*out, "Checking MDM...");
            *out << "half" << 'x' << " line\n" << std::flush << "throw\n\nunterminated";
            EXPECT_TRUE(out->good());
        }
        EXPECT_EQ(copied, (Lines{"Checking MDM...", "halfx line", "", "unterminated"}));
    }
    taken << "after\n";
    EXPECT_EQ(taken.str(), "Checking MDM...\nhalfx line\nthrow\n\nunterminatedafter\n");
}

} // namespace
} // namespace talvo
