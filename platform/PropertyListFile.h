#pragma once

#include "format/PropertyList.h"

#include <cstddef>
#include <filesystem>
#include <optional>

// Property lists read from files: the bytes through the bounded file read, then as
// examinePropertyList reads them.
namespace talvo {

// As examinePropertyList, for a file of at most maximumSize bytes; nothing when it is missing, not
// a regular file or larger. Never blocks on the file.
PropertyListReading examinePropertyListFile(const std::filesystem::path& file,
                                            std::size_t maximumSize);

// The root dictionary of examinePropertyListFile; nothing when it gives none (a refusal included).
std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file,
                                                   std::size_t maximumSize);

} // namespace talvo
