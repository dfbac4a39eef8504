#include "ExecTestSupport.h"
#include "exec/Task.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace talvo {
namespace {

using testing::ScopedEnvironmentVariable;

TEST(TaskUserName, HomeDecidesWheneverSetThenSudoUserThenUser) {
    using Value = std::optional<std::string>;
    const struct {
        Value home;
        Value sudoUser;
        Value user;
        std::string expected;
    } cases[] = {
        {"/Users/staff1", "staff2", "root", "staff1"},
        {"/var/root", std::nullopt, std::nullopt, "root"},
        {"/Users/staff1/", "staff2", "root", ""}, // trailing slash: the last piece is empty
        {"", "staff2", "root", ""},
        {"noslash", "staff2", "root", "noslash"},
        {"/", std::nullopt, "root", ""},
        {std::nullopt, "staff2", "root", "staff2"},
        {std::nullopt, "", "root", ""},
        {std::nullopt, std::nullopt, "alice", "alice"},
    };
    for (const auto& example : cases) {
        const ScopedEnvironmentVariable home("HOME", example.home);
        const ScopedEnvironmentVariable sudoUser("SUDO_USER", example.sudoUser);
        const ScopedEnvironmentVariable user("USER", example.user);
        EXPECT_EQ(Task::userName(), example.expected)
            << "HOME=" << example.home.value_or("(unset)")
            << " SUDO_USER=" << example.sudoUser.value_or("(unset)")
            << " USER=" << example.user.value_or("(unset)");
    }
}

TEST(TaskUserName, FallsBackToTheEffectiveUsersLoginName) {
    const ScopedEnvironmentVariable home("HOME", std::nullopt);
    const ScopedEnvironmentVariable sudoUser("SUDO_USER", std::nullopt);
    const ScopedEnvironmentVariable user("USER", std::nullopt);
    const passwd* const entry = ::getpwuid(::geteuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Task::userName(), entry->pw_name);
}

} // namespace
} // namespace talvo
