#include "CommandLines.h"
#include "FakeSystem.h"

#include <gtest/gtest.h>

namespace talvo::testing {
namespace {

using Lines = std::vector<std::string>;
using std::string;

string addKey(const string& passphrase) {
    return kAddKeyHead + passphrase + kAddKeyTail;
}

TEST(CustomerKey, FindOutcomeDecidesBetweenAddAndReplaceForBothUsers) {
    enum class Find { Missing, Empty, Unreadable, Present };
    const string unreadable = errorLine(51);
    for (const bool superuser : {true, false}) {
        const string privileged = superuser ? "sync> " : "sudo> sudo ";
        const struct {
            Find find;
            Lines expected;
        } cases[] = {
            {Find::Missing, {"sync> " + string(kFindKey), privileged + addKey("secret-1")}},
            {Find::Empty, {"sync> " + string(kFindKey), privileged + addKey("secret-1")}},
            {Find::Unreadable,
             {"sync> " + string(kFindKey), unreadable, privileged + addKey("secret-1")}},
            {Find::Present,
             {"sync> " + string(kFindKey), privileged + string(kDeleteKey),
              privileged + addKey("secret-1")}},
        };
        for (const auto& [find, expected] : cases) {
            FakeSystem system;
            if (!superuser) {
                system.runAsNormalUser();
            }
            switch (find) {
            case Find::Missing:
                system.runner.fail("find-generic-password", 44);
                break;
            case Find::Empty:
                break;
            case Find::Unreadable:
                system.runner.fail("find-generic-password", 51);
                break;
            case Find::Present:
                system.runner.answer("find-generic-password", "class: \"genp\"");
                break;
            }
            system.installer.createCustomerKey("secret-1");
            EXPECT_EQ(system.lines(), expected)
                << "superuser " << superuser << ", case " << static_cast<int>(find);
        }
    }
}

TEST(CustomerKey, SuperuserFailuresArePrintedAndTheAddStillRuns) {
    FakeSystem system;
    system.runner.answer("find-generic-password", "class: \"genp\"");
    system.runner.fail("delete-generic-password", 1);
    system.runner.fail("add-generic-password", 45);
    EXPECT_NO_THROW(system.installer.createCustomerKey("p@ss word"));
    EXPECT_EQ(system.lines(), (Lines{
                                  "sync> " + string(kFindKey),
                                  "sync> " + string(kDeleteKey),
                                  errorLine(1),
                                  "sync> " + addKey("p@ss word"),
                                  errorLine(45),
                              }));
}

TEST(CustomerKey, NormalUserPrivilegedFailuresArePrintedAsTheirStatus) {
    FakeSystem system;
    system.runAsNormalUser();
    system.runner.answer("find-generic-password", "class: \"genp\"");
    system.runner.privileged("delete-generic-password", {PrivilegedOutcome::Kind::Dismissed, 0});
    system.runner.privileged("add-generic-password", {PrivilegedOutcome::Kind::Ran, 45});
    EXPECT_NO_THROW(system.installer.createCustomerKey("p@ss word"));
    EXPECT_EQ(system.lines(), (Lines{
                                  "sync> " + string(kFindKey),
                                  "sudo> sudo " + string(kDeleteKey),
                                  errorLine(126),
                                  "sudo> sudo " + addKey("p@ss word"),
                                  errorLine(45),
                              }));
    // The passphrase shows only inside the command handed to the runner, never in a printed line.
    for (const auto& line : system.lines()) {
        if (!line.starts_with("sudo> ") && !line.starts_with("sync> ")) {
            EXPECT_EQ(line.find("p@ss"), string::npos) << line;
        }
    }
}

TEST(CustomerKey, ShellSpecialCharactersOfThePassphraseAreEscapedInsideTheQuotes) {
    FakeSystem system;
    system.runner.fail("find-generic-password", 44);
    system.installer.createCustomerKey(R"(a"b$c`d\e 'f'!g)");
    EXPECT_EQ(system.lines().back(), "sync> " + addKey(R"(a\"b\$c\`d\\e 'f'!g)"));
}

} // namespace
} // namespace talvo::testing
