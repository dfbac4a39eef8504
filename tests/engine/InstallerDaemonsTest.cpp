#include "CommandLines.h"
#include "FakeSystem.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

using Lines = std::vector<std::string>;
using std::string;

constexpr const char* kAgentLine = "root  301  0.0  0.1  TalvoBackupAgent daemon\n";
constexpr const char* kSearchLines =
    "staff 401  0.0  0.0  /bin/sh -c ps aux | grep TalvoBackupAgent\n"
    "staff 403  0.0  0.0  grep TalvoBackupAgent\n";

TEST(Bootstrap, SuperuserRunsBothDaemonsAndPrintsEachFailure) {
    FakeSystem system;
    system.runner.fail("launchctl bootstrap", 5);
    system.installer.bootstrap();
    EXPECT_EQ(system.lines(), (Lines{
                                  "sync> " + string(kBootstrapMain),
                                  errorLine(5),
                                  "sync> " + string(kBootstrapUpdater),
                                  errorLine(5),
                              }));
}

TEST(Bootstrap, NormalUserRunsSudoLinesThroughThePrivilegedRunner) {
    FakeSystem system;
    system.runAsNormalUser();
    system.installer.bootstrap();
    EXPECT_EQ(system.lines(), (Lines{"sudo> sudo " + string(kBootstrapMain),
                                     "sudo> sudo " + string(kBootstrapUpdater)}));

    FakeSystem refused;
    refused.runAsNormalUser();
    refused.runner.privileged("agent.plist", {PrivilegedOutcome::Kind::Unavailable, 0});
    refused.installer.bootstrap();
    EXPECT_EQ(refused.lines(), (Lines{
                                   "sudo> sudo " + string(kBootstrapMain),
                                   errorLine(127),
                                   "sudo> sudo " + string(kBootstrapUpdater),
                               }));
}

TEST(Bootout, RunsOnlyWhenTheProcessListShowsAnAgentProcess) {
    const struct {
        std::optional<string> listing;
        bool running;
    } cases[] = {
        {std::nullopt, false},
        {"", false},
        {kSearchLines, false},
        {string(kSearchLines) + kAgentLine, true},
        {string(kSearchLines) + "staff 502 TalvoBackupAgentStatus.app/Contents/MacOS/x\n", true},
        {"staff 7 /usr/bin/TalvoBackupAgen\n", false},
        {"staff 7 talvobackupagent\n", false},
        // Not UTF-8: counts as an empty list.
        {string(kAgentLine) + "\xff\xfe", false},
    };
    for (const auto& [listing, running] : cases) {
        FakeSystem system;
        system.processes.listing = listing;
        system.installer.bootout();
        Lines expected{"launch> " + string(kProcessSearch)};
        if (running) {
            expected.push_back("sync> " + string(kBootoutMain));
            expected.push_back("sync> " + string(kBootoutUpdater));
        }
        EXPECT_EQ(system.lines(), expected) << listing.value_or("(not started)");
    }

    FakeSystem normalUser;
    normalUser.runAsNormalUser();
    normalUser.processes.listing = kAgentLine;
    normalUser.runner.privileged("bootout", {PrivilegedOutcome::Kind::Ran, 3});
    normalUser.installer.bootout();
    EXPECT_EQ(normalUser.lines(), (Lines{
                                      "launch> " + string(kProcessSearch),
                                      "sudo> sudo " + string(kBootoutMain),
                                      errorLine(3),
                                      "sudo> sudo " + string(kBootoutUpdater),
                                      errorLine(3),
                                  }));
}

TEST(KillApp, StopsEachRunningApplicationThenTakesTheDaemonsDown) {
    FakeSystem system;
    system.runAsNormalUser();
    system.applications.running = {"com.talvo.backup.app", "com.talvo.backup.status"};
    system.processes.listing = kAgentLine;
    system.runner.fail("killall \"Talvo Backup Agent\"", 1);
    system.installer.killApp();
    EXPECT_EQ(system.lines(), (Lines{
                                  "Talvo Backup Agent is already running.",
                                  R"(sync> /usr/bin/killall "Talvo Backup Agent")",
                                  errorLine(1),
                                  "Talvo Backup Agent Status is already running.",
                                  R"(sync> /usr/bin/killall "TalvoBackupAgentStatus")",
                                  "launch> " + string(kProcessSearch),
                                  "sudo> sudo " + string(kBootoutMain),
                                  "sudo> sudo " + string(kBootoutUpdater),
                              }));

    FakeSystem statusOnly;
    statusOnly.applications.running = {"com.talvo.backup.status"};
    statusOnly.installer.killApp();
    EXPECT_EQ(statusOnly.lines(), (Lines{
                                      "Talvo Backup Agent Status is already running.",
                                      R"(sync> /usr/bin/killall "TalvoBackupAgentStatus")",
                                      "launch> " + string(kProcessSearch),
                                  }));

    FakeSystem nothing;
    nothing.installer.killApp();
    EXPECT_EQ(nothing.lines(), (Lines{"launch> " + string(kProcessSearch)}));
}

} // namespace
} // namespace talvo::testing
