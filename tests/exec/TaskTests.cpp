#include "exec/Task.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace talvo {
namespace {

using testing::ScopedEnvironmentVariable;

TEST(TaskUserName, HomeDecidesWheneverSetThenSudoUserThenUserThenTheLoginName) {
    const passwd* const entry = ::getpwuid(::geteuid());
    ASSERT_NE(entry, nullptr);
    using Value = std::optional<std::string>;
    const struct {
        Value home, sudoUser, user;
        std::string expected;
    } cases[] = {
        {"/Users/staff1/", "staff2", "root", ""}, // trailing slash: the last piece is empty
        {"", "staff2", "root", ""},
        {"noslash", "staff2", "root", "noslash"},
        {std::nullopt, "", "root", ""},
        {std::nullopt, std::nullopt, std::nullopt, entry->pw_name},
    };
    for (const auto& example : cases) {
        const ScopedEnvironmentVariable home("HOME", example.home);
        const ScopedEnvironmentVariable sudoUser("SUDO_USER", example.sudoUser);
        const ScopedEnvironmentVariable user("USER", example.user);
        EXPECT_EQ(Task::userName(), example.expected)
            << example.home.value_or("(unset)") << " " << example.sudoUser.value_or("(unset)");
    }
}

} // namespace
} // namespace talvo
