#pragma once

#include "exec/LegacyHelper.h"

#include <string>

namespace talvo::Task {

// The runner's operations as free functions over the real, untraced ShellCommandRunner.
std::string syncThrows(const std::string& command);
PrivilegedOutcome sudo(const std::string& command);

// The user the tool runs for: last component of HOME when HOME is set (even when that gives an
// empty text), else SUDO_USER, else USER, else the login name of the effective user.
std::string userName();

} // namespace talvo::Task
