#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Property lists (XML or binary) read into plain values, so that nothing outside this file
// handles the library's nodes.
namespace talvo {

struct PropertyValue;
struct PropertyEntry;

using PropertyDate = std::chrono::sys_time<std::chrono::microseconds>;
using PropertyData = std::vector<std::byte>;
using PropertyArray = std::vector<PropertyValue>;
// Entries in file order; keys are unique.
using PropertyDictionary = std::vector<PropertyEntry>;

// Integers span what the file formats hold: signed 64-bit, and unsigned 64-bit above that
// (std::uint64_t only for values above INT64_MAX, so that each number has one form).
struct PropertyValue {
    std::variant<std::string, std::int64_t, std::uint64_t, double, bool, PropertyDate,
                 PropertyData, PropertyArray, PropertyDictionary>
        value;

    bool operator==(const PropertyValue&) const = default;
};

struct PropertyEntry {
    std::string key;
    PropertyValue value;

    bool operator==(const PropertyEntry&) const = default;
};

// The value under key, or nullptr.
const PropertyValue* find(const PropertyDictionary& dictionary, std::string_view key);

// The root dictionary of a property list in XML or binary form; nothing when the bytes are not a
// property list or its root is not a dictionary.
std::optional<PropertyDictionary> parsePropertyList(std::string_view bytes);

// As parsePropertyList, for a file; nothing when the file cannot be read either.
std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file);

} // namespace talvo
