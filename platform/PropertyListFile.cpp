#include "platform/PropertyListFile.h"

#include "platform/Files.h"

namespace talvo {

PropertyListReading examinePropertyListFile(const std::filesystem::path& file,
                                            std::size_t maximumSize) {
    const auto bytes = readRegularFile(file, maximumSize);
    return bytes ? examinePropertyList(*bytes) : PropertyListReading{};
}

std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file,
                                                   std::size_t maximumSize) {
    return examinePropertyListFile(file, maximumSize).dictionary;
}

} // namespace talvo
