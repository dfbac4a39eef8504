#include "CommandLines.h"
#include "FakeSystem.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

using Lines = std::vector<std::string>;
using std::string;

constexpr const char* kSeedPath = R"("/Library/Application Support/Talvo Backup Agent/seed.conf")";

Config fullConfig() {
    return Config{"T 1", "https://svc.example", "passphrase1", kSeedPath, true};
}

string optionWords() {
    return " -reg-token=T 1 -reg-service=https://svc.example -seed-path=" + string(kSeedPath) +
           " -clean-up";
}

string addKey(const string& passphrase) {
    return kAddKeyHead + passphrase + kAddKeyTail;
}

TEST(InstallerRun, SuperuserRunsTheAgentThroughSudoThenStoresTheKey) {
    FakeSystem system;
    system.runner.fail("find-generic-password", 44);
    system.installer.run(fullConfig());
    EXPECT_EQ(system.lines(), (Lines{
                                  "Installing User...",
                                  "sync> " + string(kAgentSetupAsRoot) + optionWords(),
                                  "sync> " + string(kFindKey),
                                  "sync> " + addKey("passphrase1"),
                              }));
}

TEST(InstallerRun, NormalUserRunsTheAgentDirectlyThroughThePrivilegedRunner) {
    FakeSystem system;
    system.runAsNormalUser();
    system.runner.fail("find-generic-password", 44);
    system.installer.run(fullConfig());
    EXPECT_EQ(system.lines(), (Lines{
                                  "Installing User...",
                                  "sudo> " + string(kAgentSetupPrivileged) + optionWords(),
                                  "sync> " + string(kFindKey),
                                  "sudo> sudo " + addKey("passphrase1"),
                              }));
}

TEST(InstallerRun, AlreadyConfiguredAgentIsLeftAloneUnlessACleanInstallIsAsked) {
    for (const std::optional<bool> cleanUp : {std::optional<bool>(), std::optional<bool>(false)}) {
        FakeSystem system;
        system.configureAgent();
        // Not even validated: a too short key passes unnoticed.
        EXPECT_NO_THROW(system.installer.run(Config{"T", {}, "short", {}, cleanUp}));
        EXPECT_TRUE(system.lines().empty());
    }

    FakeSystem system;
    system.configureAgent();
    system.installer.run(Config{{}, {}, {}, {}, true});
    EXPECT_EQ(system.lines(),
              (Lines{"Installing User...", "sync> " + string(kAgentSetupAsRoot) + " -clean-up"}));
}

TEST(InstallerRun, EmptyConfigRunsTheBareSetupCommandAndStoresNoKey) {
    FakeSystem system;
    system.installer.run(Config{});
    EXPECT_EQ(system.lines(), (Lines{"Installing User...", "sync> " + string(kAgentSetupAsRoot)}));
}

TEST(InstallerRun, ShortKeyFailsValidationBeforeAnyCommand) {
    FakeSystem system;
    const auto error = errorFrom([&] { system.installer.run(Config{"T", {}, "1234567", {}, {}}); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kInputErrorDomain);
    EXPECT_EQ(error->code(), -1);
    EXPECT_EQ(system.lines(), (Lines{"Installing User..."}));
}

TEST(InstallerRun, SuperuserAgentFailureIsRaisedWithItsStatusAndNoKeyIsStored) {
    FakeSystem system;
    system.runner.fail("TalvoBackupAgent\" daemon", 3);
    const auto error = errorFrom([&] { system.installer.run(fullConfig()); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kProcessErrorDomain);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(system.lines(),
              (Lines{"Installing User...", "sync> " + string(kAgentSetupAsRoot) + optionWords()}));
}

TEST(InstallerRun, NormalUserPrivilegedFailureIsRaisedWithTheAttemptsStatus) {
    const struct {
        PrivilegedOutcome outcome;
        int code;
    } cases[] = {
        {{PrivilegedOutcome::Kind::Dismissed, 0}, 126},
        {{PrivilegedOutcome::Kind::Denied, 0}, 127},
        {{PrivilegedOutcome::Kind::Unavailable, 0}, 127},
        {{PrivilegedOutcome::Kind::Ran, 5}, 5},
    };
    for (const auto& [outcome, code] : cases) {
        FakeSystem system;
        system.runAsNormalUser();
        system.runner.privileged("daemon --init", outcome);
        const auto error = errorFrom([&] { system.installer.run(fullConfig()); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), kProcessErrorDomain);
        EXPECT_EQ(error->code(), code);
        EXPECT_EQ(error->text(),
                  "Error Domain=ProcessErrorDomain Code=" + std::to_string(code) + " \"(null)\"");
        // The key is not stored, and the failure is only raised, never printed here.
        EXPECT_EQ(system.lines().size(), 2u);
    }
}

TEST(InstallerMDMCheck, NoProfileReportsItAndInstallsNothing) {
    FakeSystem system;
    EXPECT_FALSE(system.installer.runMDMCheck([] { return std::optional<Config>(); }));
    EXPECT_EQ(system.lines(), (Lines{"Checking MDM...", "No MDM found..."}));
}

TEST(InstallerMDMCheck, ProfileOnConfiguredAgentIsHandledWithoutInstalling) {
    FakeSystem system;
    system.configureAgent();
    int reads = 0;
    EXPECT_TRUE(system.installer.runMDMCheck([&] {
        ++reads;
        return std::optional<Config>(Config{"T", {}, "short", {}, false});
    }));
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(system.lines(), (Lines{"Checking MDM..."}));
}

TEST(InstallerMDMCheck, ProfileInstallsWithItsOwnMessages) {
    FakeSystem system;
    system.configureAgent();
    system.runner.answer("find-generic-password",
                         "keychain: \"/Library/Keychains/System.keychain\"");
    EXPECT_TRUE(system.installer.runMDMCheck([] { return std::optional<Config>(fullConfig()); }));
    EXPECT_EQ(system.lines(), (Lines{
                                  "Checking MDM...",
                                  "Installing MDM...",
                                  "sync> " + string(kAgentSetupAsRoot) + optionWords(),
                                  "sync> " + string(kFindKey),
                                  "sync> " + string(kDeleteKey),
                                  "sync> " + addKey("passphrase1"),
                              }));

    FakeSystem bare;
    EXPECT_TRUE(bare.installer.runMDMCheck([] { return std::optional<Config>(Config{}); }));
    EXPECT_EQ(bare.lines(), (Lines{"Checking MDM...", "Installing MDM...",
                                   "sync> " + string(kAgentSetupAsRoot)}));
}

TEST(InstallerMDMCheck, ProfileErrorsAreRaisedUnchanged) {
    FakeSystem system;
    const auto invalid = errorFrom([&] {
        system.installer.runMDMCheck([] {
            return std::optional<Config>(Config{{}, {}, "k", {}, {}});
        });
    });
    ASSERT_TRUE(invalid);
    EXPECT_EQ(invalid->code(), -1);
    EXPECT_EQ(system.lines(), (Lines{"Checking MDM...", "Installing MDM..."}));

    FakeSystem failing;
    failing.runner.fail("daemon --init", 2);
    const auto failed = errorFrom(
        [&] { failing.installer.runMDMCheck([] { return std::optional<Config>(fullConfig()); }); });
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->code(), 2);
    EXPECT_EQ(failing.lines().size(), 3u) << "no keychain command after a failed agent setup";

    FakeSystem refused;
    refused.runAsNormalUser();
    refused.runner.privileged("daemon --init", {PrivilegedOutcome::Kind::Dismissed, 0});
    const auto dismissed = errorFrom(
        [&] { refused.installer.runMDMCheck([] { return std::optional<Config>(fullConfig()); }); });
    ASSERT_TRUE(dismissed);
    EXPECT_EQ(dismissed->code(), 126);
}

TEST(InstallerPaths, StatusAppIsOpenedByItsEncodedFileURLAndTheAgentByItsBundle) {
    FakeSystem system;
    EXPECT_EQ(system.installer.statusAppURL(),
              "file:///Applications/Talvo%20Backup%20Agent.app/Contents/MacOS/"
              "TalvoBackupAgentStatus.app");
    system.installer.runApp();
    system.installer.runStatusApp();
    EXPECT_EQ(system.lines(),
              (Lines{"openBundle> /Applications/Talvo Backup Agent.app",
                     "openURL> file:///Applications/Talvo%20Backup%20Agent.app/Contents/MacOS/"
                     "TalvoBackupAgentStatus.app"}));

    EXPECT_FALSE(system.installer.isInitialized());
    system.configureAgent();
    EXPECT_TRUE(system.installer.isInitialized());
}

TEST(InstallerDebug, PrintsOnlyWhenSwitchedOn) {
    FakeSystem system;
    EXPECT_FALSE(system.installer.isDebug);
    system.installer.debug("Execute: hidden");
    system.installer.isDebug = true;
    system.installer.debug("Execute: shown");
    EXPECT_EQ(system.lines(), (Lines{"Execute: shown"}));
}

} // namespace
} // namespace talvo::testing
