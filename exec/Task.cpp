#include "exec/Task.h"

#include "exec/ShellCommandRunner.h"
#include "platform/UserIdentity.h"

#include <cstdlib>
#include <string_view>

namespace talvo::Task {

std::string syncThrows(const std::string& command) {
    return ShellCommandRunner().syncThrows(command);
}

PrivilegedOutcome sudo(const std::string& command) {
    return ShellCommandRunner().sudo(command);
}

std::string userName() {
    if (const char* home = std::getenv("HOME")) {
        const std::string_view path(home);
        const std::size_t lastSlash = path.rfind('/');
        return std::string(lastSlash == std::string_view::npos ? path : path.substr(lastSlash + 1));
    }
    if (const char* sudoUser = std::getenv("SUDO_USER")) {
        return sudoUser;
    }
    if (const char* user = std::getenv("USER")) {
        return user;
    }
    return effectiveUserLoginName();
}

} // namespace talvo::Task
