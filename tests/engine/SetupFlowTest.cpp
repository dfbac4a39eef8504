#include "setup/SetupFlow.h"

#include "CommandLines.h"
#include "FakeSystem.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

using Lines = std::vector<std::string>;
using std::string;

constexpr const char* kOpenAgent = "openBundle> /Applications/Talvo Backup Agent.app";

ProfileReader noProfile() {
    return [] { return std::optional<Config>(); };
}

ProfileReader profileOf(Config config) {
    return [config] { return std::optional<Config>(config); };
}

bool contains(const Lines& lines, const string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(SetupFlow, NothingToDoOpensTheAgentApplicationOnly) {
    FakeSystem system;
    const auto status = runSetup(system.installer, system.files, {"Setup"}, noProfile(),
                                 system.transcript.stream());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(system.lines(), (Lines{"launch> " + string(kProcessSearch), "Checking MDM...",
                                     "No MDM found...", kOpenAgent}));
}

TEST(SetupFlow, ConfiguredAgentWithoutWordsGetsItsDaemonsStarted) {
    FakeSystem system;
    system.configureAgent();
    const auto status = runSetup(system.installer, system.files, {"Setup"}, noProfile(),
                                 system.transcript.stream());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(system.lines(), (Lines{"launch> " + string(kProcessSearch), "Checking MDM...",
                                     "No MDM found...", "sync> " + string(kBootstrapMain),
                                     "sync> " + string(kBootstrapUpdater), kOpenAgent}));
}

TEST(SetupFlow, ProfileWinsOverTheWords) {
    FakeSystem system;
    const auto status =
        runSetup(system.installer, system.files, {"Setup", "REG_TOKEN=fromWords"},
                 profileOf(Config{"fromProfile", {}, {}, {}, {}}), system.transcript.stream());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(system.lines(),
              (Lines{"launch> " + string(kProcessSearch), "Checking MDM...", "Installing MDM...",
                     "sync> " + string(kAgentSetupAsRoot) + " -reg-token=fromProfile",
                     "sync> " + string(kBootstrapMain), "sync> " + string(kBootstrapUpdater),
                     kOpenAgent}));
}

// Exit status, whether the daemons were started and whether the agent application was opened.
TEST(SetupFlow, OutcomeTable) {
    const string inputError =
        R"(Error Domain=InputError Code=-1 "Encryption key must be at least 8 characters long.")";
    const struct Case {
        const char* name;
        std::vector<string> args;
        bool configured;
        bool superuser;
        std::function<void(FakeCommandRunner&)> script;
        int status;
        bool bootstrapped;
        bool opened;
        string printedError;
    } cases[] = {
        {"short key, not configured",
         {"Setup", "ENCRYPTION_KEY=short"},
         false,
         true,
         [](FakeCommandRunner&) {},
         kExitDataError,
         false,
         true,
         inputError},
        {"short key, configured",
         {"Setup", "ENCRYPTION_KEY=short"},
         true,
         true,
         [](FakeCommandRunner&) {},
         0,
         true,
         true,
         ""},
        {"only unknown words",
         {"Setup", "--help"},
         false,
         true,
         [](FakeCommandRunner&) {},
         0,
         true,
         true,
         ""},
        {"agent fails as superuser",
         {"Setup", "REG_TOKEN=t"},
         false,
         true,
         [](FakeCommandRunner& runner) { runner.fail("daemon --init", 3); },
         3,
         false,
         false,
         errorLine(3)},
        {"status beyond a byte",
         {"Setup", "REG_TOKEN=t"},
         false,
         true,
         [](FakeCommandRunner& runner) { runner.fail("daemon --init", 256); },
         1,
         false,
         false,
         errorLine(256)},
        {"dialog dismissed",
         {"Setup", "REG_TOKEN=t"},
         false,
         false,
         [](FakeCommandRunner& runner) {
             runner.privileged("daemon --init", {PrivilegedOutcome::Kind::Dismissed, 0});
         },
         126,
         false,
         false,
         errorLine(126)},
        {"no elevation",
         {"Setup", "REG_TOKEN=t"},
         false,
         false,
         [](FakeCommandRunner& runner) {
             runner.privileged("daemon --init", {PrivilegedOutcome::Kind::Unavailable, 0});
         },
         127,
         false,
         false,
         errorLine(127)},
        {"agent fails with rights",
         {"Setup", "REG_TOKEN=t"},
         false,
         false,
         [](FakeCommandRunner& runner) {
             runner.privileged("daemon --init", {PrivilegedOutcome::Kind::Ran, 7});
         },
         7,
         false,
         false,
         errorLine(7)},
        {"normal user succeeds",
         {"Setup", "REG_TOKEN=t", "CLEAN_INSTALL=yes"},
         true,
         false,
         [](FakeCommandRunner&) {},
         0,
         true,
         true,
         ""},
    };
    for (const auto& c : cases) {
        FakeSystem system;
        if (c.configured) {
            system.configureAgent();
        }
        if (!c.superuser) {
            system.runAsNormalUser();
        }
        c.script(system.runner);
        const auto status = runSetup(system.installer, system.files, c.args, noProfile(),
                                     system.transcript.stream());
        const auto lines = system.lines();
        const string bootstrap = (c.superuser ? "sync> " : "sudo> sudo ") + string(kBootstrapMain);
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(contains(lines, bootstrap), c.bootstrapped) << c.name;
        EXPECT_EQ(contains(lines, kOpenAgent), c.opened) << c.name;
        if (!c.printedError.empty()) {
            EXPECT_TRUE(contains(lines, c.printedError)) << c.name;
        }
        if (c.opened) {
            EXPECT_EQ(lines.back(), kOpenAgent) << c.name << ": the application opens last";
        }
    }
}

TEST(SetupFlow, ProfileErrorsEndTheRunLikeWordErrors) {
    FakeSystem system;
    system.runner.fail("daemon --init", 2);
    const auto status = runSetup(system.installer, system.files, {"Setup", "REG_TOKEN=ignored"},
                                 profileOf(Config{}), system.transcript.stream());
    EXPECT_EQ(status, 2);
    EXPECT_EQ(system.lines(),
              (Lines{"launch> " + string(kProcessSearch), "Checking MDM...", "Installing MDM...",
                     "sync> " + string(kAgentSetupAsRoot), errorLine(2)}));
}

} // namespace
} // namespace talvo::testing
