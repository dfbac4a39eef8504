#pragma once

#include <ostream>
#include <string_view>

namespace talvo {

// One whole line, flushed at once: the commands we start write to the same terminal, and their
// output must not overtake ours.
inline void printLine(std::ostream& out, std::string_view text) {
    out << text << '\n' << std::flush;
}

} // namespace talvo
