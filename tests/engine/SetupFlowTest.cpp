#include "setup/SetupFlow.h"

#include "FakeComputer.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

using Lines = std::vector<std::string>;

// A run ends with starting the daemons and opening the agent. After an error the daemons stay
// down; a command's status ends the run at once (a shell sees only its low byte, so larger ones
// become 1), while the input error still opens the agent.
TEST(SetupFlow, HowARunEnds) {
    const std::string open = "open> /Applications/Talvo Backup Agent.app";
    const struct {
        const char* key;
        int agentStatus;
        int exitStatus;
        Lines ending;
    } cases[] = {
        {"ENCRYPTION_KEY=long enough",
         0,
         0,
         {"sync> " + launchctl("bootstrap", kUpdaterDaemon), open}},
        {"ENCRYPTION_KEY=short",
         0,
         65,
         {R"(Error Domain=InputError Code=-1 "Encryption key must be at least 8 characters long.")",
          open}},
        {"ENCRYPTION_KEY=long enough", 3, 3, {"sync> sudo " + kAgent, errorLine(3)}},
        {"ENCRYPTION_KEY=long enough", 256, 1, {"sync> sudo " + kAgent, errorLine(256)}},
    };
    for (const auto& [key, agentStatus, exitStatus, ending] : cases) {
        FakeComputer computer;
        if (agentStatus != 0) {
            computer.failures["daemon --init"] = agentStatus;
        }
        const auto noProfile = [] { return std::optional<Config>(); };
        EXPECT_EQ(
            runSetup(computer.installer, computer, {"Setup", key}, noProfile, computer.transcript),
            exitStatus);
        const auto lines = computer.lines();
        ASSERT_GE(lines.size(), ending.size());
        EXPECT_EQ(Lines(lines.end() - ending.size(), lines.end()), ending) << exitStatus;
    }
}

} // namespace
} // namespace talvo::testing
