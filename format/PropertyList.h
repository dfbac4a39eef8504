#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
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
    std::variant<std::string, std::int64_t, std::uint64_t, double, bool, PropertyDate, PropertyData,
                 PropertyArray, PropertyDictionary>
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

// The text under key; nothing when the key is missing or its value is not text.
std::optional<std::string> textValue(const PropertyDictionary& dictionary, std::string_view key);

// What reading a property list gave: its root dictionary; or nothing at all (not a property list,
// root not a dictionary, or a file that could not be read); or a refusal:
// the bytes are a property list, but something in it cannot arrive exactly (a text holding
// U+0000, an integer beyond 64 bits, nesting over the limit, an encoding that cannot be read).
struct PropertyListReading {
    std::optional<PropertyDictionary> dictionary;
    // Where and why, e.g. "the text at seed-config/name holds U+0000"; never a value.
    std::optional<std::string> refusal;
};

// XML (UTF-8, with or without a byte-order mark, UTF-16 with one, or declared Latin-1) or binary.
PropertyListReading examinePropertyList(std::string_view bytes);

} // namespace talvo
