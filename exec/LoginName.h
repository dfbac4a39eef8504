#pragma once

#include <string>

namespace talvo {

// The login name of the effective user from the user database; empty when it has no entry.
std::string effectiveUserLoginName();

} // namespace talvo
