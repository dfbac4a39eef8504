#pragma once

#include "format/PropertyList.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// Whole files read and written safely: reading never blocks or holds more than asked for, and
// writing never leaves a half-written file or a stray temporary behind.
namespace talvo {

// The whole content of a regular file of at most maximumSize bytes; nothing when the file is
// missing, not a regular file (a FIFO, a device, a folder, or a link to one), larger than
// maximumSize, grows past it while being read, cannot be read, or does not fit in memory.
// Never blocks on the file and never holds more than maximumSize bytes of it. Only a regular file
// is opened: a path that names anything else is looked at, not opened (opening a device can act on
// it), and a file put in place of the one looked at before it was opened is not read: the look
// and the open are made again, a few times at most, so that a file its writer replaced in the
// meantime is read in its new form.
std::optional<std::string> readRegularFile(const std::filesystem::path& file,
                                           std::size_t maximumSize);

// A property list file read as examinePropertyList reads bytes, through readRegularFile: nothing
// when the file is missing, not a regular file or larger than maximumSize.
PropertyListReading examinePropertyListFile(const std::filesystem::path& file,
                                            std::size_t maximumSize);

// The root dictionary of examinePropertyListFile; nothing when it gives none (a refusal included).
std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file,
                                                   std::size_t maximumSize);

// Replaces the file at path with text so that readers see either the old or the new contents,
// never a part: a temporary file in the same folder is written, flushed to disk and renamed over
// the target. The folder is not created. On failure returns the system error of the step that
// failed and leaves no temporary file behind, nor does SIGTERM or SIGINT during the write.
// Temporaries that earlier writers were killed before removing (".<name>.XXXXXX", unlocked and
// untouched for a while) are removed first.
[[nodiscard]] std::error_code writeTextFileAtomically(const std::string& path,
                                                      std::string_view text);

// Whether a file exists, as the engine asks it; tests hand it fakes.
class FileChecks {
  public:
    virtual ~FileChecks() = default;
    virtual bool fileExists(const std::string& path) const = 0;
};

// Follows symbolic links and counts folders, as the desktop's own existence test does.
class LocalFileChecks final : public FileChecks {
  public:
    bool fileExists(const std::string& path) const override;
};

} // namespace talvo
