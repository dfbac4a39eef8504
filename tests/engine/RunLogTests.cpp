#include "engine/RunLog.h"
#include "engine/SystemCommands.h"
#include "tests/engine/FakeComputer.h"

#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvo {
namespace {

using testing::FakeComputer;
using testing::Lines;
using Kind = PrivilegedOutcome::Kind;

const std::vector<std::string> kPassphrases = {
    "plain-passphrase-42",
    R"(quote " dollar $HOME backquote `id` backslash \ end\)",
    "line one\nline two\n\ttabbed e\xCC\x81",
};

// Every line of the text and of its double-quoted form, where long enough not to occur by chance.
void expectNowhereIn(const Lines& entries, const std::string& secret) {
    for (const auto& form : {secret, keychain::escapedForDoubleQuotes(secret)}) {
        std::istringstream lines(form);
        for (std::string line; std::getline(lines, line);) {
            for (std::size_t length = 6; length <= line.size(); ++length) {
                for (const auto& entry : entries) {
                    EXPECT_EQ(entry.find(line.substr(0, length)), std::string::npos) << entry;
                    EXPECT_EQ(entry.find(line.substr(line.size() - length)), std::string::npos)
                        << entry;
                }
            }
        }
    }
}

// A failed add is logged with the passphrase masked and its output withheld, on both paths; a
// failed agent setup with the token masked and the output's last line.
TEST(RunLog, FailedCommandsAreLoggedWithTheirSecretsMasked) {
    for (const auto& passphrase : kPassphrases) {
        for (const unsigned userId : {0u, 501u}) {
            FakeComputer computer;
            computer.userId = userId;
            computer.failures["add-"] = 45;
            computer.privileged["add-"] = {Kind::Dismissed, 0};
            computer.output = "echoing " + passphrase;
            computer.installer.createCustomerKey(passphrase);
            ASSERT_EQ(computer.logged.size(), 1u) << userId;
            const std::string& entry = computer.logged.front();
            EXPECT_NE(entry.find(R"(-w "********")"), std::string::npos) << entry;
            EXPECT_EQ(entry.find("echoing"), std::string::npos) << entry;
            EXPECT_EQ(entry.find(userId == 0 ? "Command failed with exit status 45: security add"
                                             : "Privileged command failed (authentication "
                                               "dismissed, status 126): security add"),
                      0u)
                << entry;
            expectNowhereIn(computer.logged, passphrase);
        }
    }
}

TEST(RunLog, AFailedAgentSetupNamesItsCommandStatusAndLastOutputLine) {
    FakeComputer computer;
    computer.failures["daemon --init"] = 3;
    Config config;
    config.registrationToken = "tok-secret-123";
    config.registrationService = "svc";
    EXPECT_THROW(computer.installer.run(config), Error);
    ASSERT_EQ(computer.logged.size(), 1u);
    EXPECT_EQ(computer.logged.front(),
              "Command failed with exit status 3: sudo \"/Applications/Talvo Backup "
              "Agent.app/Contents/MacOS/TalvoBackupAgent\" daemon --init "
              "-reg-token=******** -reg-service=svc; no output");
}

TEST(RunLog, EntriesCarryTheOutputsLastLineOrSayThereWasNone) {
    const auto command = ShownCommand::plain("launchctl bootstrap system x");
    EXPECT_EQ(failedCommandEntry(command, commandError(5, "Bootstrap failed: 5")),
              "Command failed with exit status 5: launchctl bootstrap system x; last output "
              "line: Bootstrap failed: 5");
    EXPECT_EQ(failedCommandEntry(command, commandError(5, "")),
              "Command failed with exit status 5: launchctl bootstrap system x; no output");
    EXPECT_EQ(failedCommandEntry(command.prefixed("sudo "), PrivilegedOutcome{Kind::Denied, 0}),
              "Privileged command failed (administrator rights denied, status 127): sudo "
              "launchctl bootstrap system x");
    EXPECT_EQ(failedCommandEntry(command, PrivilegedOutcome{Kind::Ran, 9}),
              "Privileged command failed (exit status 9): launchctl bootstrap system x");
}

// Bytes pass through unchanged and in one piece; the sink sees whole lines only, the last one
// when the copy ends; a sink that throws loses its entry, never the output.
TEST(RunLog, CopiedLinesPassEveryByteOnAndHandOverWholeLines) {
    std::ostringstream out;
    Lines copied;
    {
        const CopiedLines copy(out, [&copied](const std::string& line) {
            if (line == "throw") {
                throw std::runtime_error("sink failed");
            }
            copied.push_back(line);
        });
        out << "Checking MDM...\n" << std::flush;
        out << "half" << 'x' << " line\n";
        out << "throw\n";
        out << "\nunterminated";
        EXPECT_TRUE(out.good());
    }
    EXPECT_EQ(out.str(), "Checking MDM...\nhalfx line\nthrow\n\nunterminated");
    EXPECT_EQ(copied, (Lines{"Checking MDM...", "halfx line", "", "unterminated"}));
    out << "after\n";
    EXPECT_EQ(copied.size(), 4u);
}

} // namespace
} // namespace talvo
