#pragma once

#include <string>
#include <vector>

namespace talvo {

// Starts a program in a session of its own, with stdin, stdout and stderr on /dev/null and no
// other descriptor of ours, and does not wait for it. False when it could not be started.
bool startDetached(const std::string& executable, const std::vector<std::string>& arguments);

} // namespace talvo
