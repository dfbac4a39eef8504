#pragma once

#include <string_view>

namespace talvo {

// True when bytes are a binary property list with a dictionary key that holds U+0000. libplist
// 2.2 aborts the process when it hands out such a key (only a UTF-16 key of a binary file can
// hold one), so these files are refused before the library reads them.
bool hasBinaryKeyWithNulCharacter(std::string_view bytes);

} // namespace talvo
