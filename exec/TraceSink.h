#pragma once

#include <functional>
#include <string>

namespace talvo {

// Where the command runner sends its "Execute: " and "Result " lines. The engine points this at
// its debug(), which prints only when debugging is on; exec itself never decides to print.
using TraceSink = std::function<void(const std::string& line)>;

} // namespace talvo
