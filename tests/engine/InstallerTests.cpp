// The installer: the command lines it runs, what it reports, and how its printed lines reach
// the log.

#include "engine/InstalledAgent.h"
#include "engine/Installer.h"
#include "engine/RunLog.h"
#include "tests/engine/FakeComputer.h"

#include <gtest/gtest.h>
#include <set>
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

// A stdout whose reader has gone takes no bytes; the stream must stay good, or every later line
// would be dropped before it reached the log.
TEST(InstallerLog, CopiedLinesReachTheSinkWhenTheStreamRefusesEveryByte) {
    struct Refusing final : std::streambuf {
        int_type overflow(int_type) override { return traits_type::eof(); }
        std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
        int sync() override { return -1; }
    } refusing;
    std::ostream out(&refusing);
    Lines copied;
    {
        const CopiedLines copy(out, [&copied](const std::string& line) { copied.push_back(line); });
        printLine(out, "Checking MDM...");
        out << 'x' << "y\n";
        printLine(out, "Installing User...");
        EXPECT_TRUE(out.good());
    }
    EXPECT_EQ(copied, (Lines{"Checking MDM...", "xy", "Installing User..."}));
}

} // namespace
} // namespace talvo
