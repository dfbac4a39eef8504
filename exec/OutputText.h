#pragma once

#include <string>

namespace talvo {

// A command's output as the runner returns it: empty when the bytes are not valid UTF-8,
// otherwise trimmed of leading and trailing Unicode whitespace and line ends. Works in place, so
// that a large output is never copied.
std::string outputText(std::string bytes);

} // namespace talvo
