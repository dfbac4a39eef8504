#pragma once

#include "format/PropertyList.h"

#include <cstddef>
#include <filesystem>
#include <optional>

// Property lists read from files: the bytes through the bounded file read, then as
// examinePropertyList reads them.
namespace talvo {

// The largest Info.plist read from a bundle. Real ones are a few KiB and large applications' some
// tens of KiB; the bound keeps a user's own bundles from making a root process read or hold much.
inline constexpr std::size_t kBundleInfoSizeLimit = std::size_t{256} << 10;

// As examinePropertyList, for a file of at most maximumSize bytes; nothing when it is missing, not
// a regular file or larger. Never blocks on the file.
PropertyListReading examinePropertyListFile(const std::filesystem::path& file,
                                            std::size_t maximumSize);

// The root dictionary of examinePropertyListFile; nothing when it gives none (a refusal included).
std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file,
                                                   std::size_t maximumSize = kBundleInfoSizeLimit);

} // namespace talvo
