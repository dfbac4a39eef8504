#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace talvo {

// Replaces the file at path with text so that readers see either the old or the new contents,
// never a part: a temporary file in the same folder is written, flushed to disk and renamed over
// the target. The folder is not created. On failure returns the system error of the step that
// failed and leaves no temporary file behind, nor does SIGTERM or SIGINT during the write.
// Temporaries that earlier writers were killed before removing (".<name>.XXXXXX", unlocked and
// untouched for a while) are removed first.
[[nodiscard]] std::error_code writeTextFileAtomically(const std::string& path,
                                                      std::string_view text);

} // namespace talvo
