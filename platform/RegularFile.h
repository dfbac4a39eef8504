#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace talvo {

// The whole content of a regular file of at most maximumSize bytes; nothing when the file is
// missing, not a regular file (a FIFO, a device, a folder, or a link to one), larger than
// maximumSize, grows past it while being read, cannot be read, or does not fit in memory.
// Never blocks on the file and never holds more than maximumSize bytes of it.
std::optional<std::string> readRegularFile(const std::filesystem::path& file,
                                           std::size_t maximumSize);

} // namespace talvo
