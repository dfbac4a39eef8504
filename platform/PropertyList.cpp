#include "platform/PropertyList.h"

#include "platform/BinaryPropertyListCheck.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace talvo {

namespace {

// Nesting deeper than any real profile is treated as a broken file rather than risking the stack.
constexpr int kMaximumDepth = 512;

using PlistOwner = std::unique_ptr<void, decltype(&plist_free)>;

struct FileDescriptor {
    int descriptor;
    explicit FileDescriptor(int opened) : descriptor(opened) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
};

template <typename Iterator> struct IteratorOwner {
    Iterator iterator = nullptr;
    IteratorOwner() = default;
    IteratorOwner(const IteratorOwner&) = delete;
    IteratorOwner& operator=(const IteratorOwner&) = delete;
    ~IteratorOwner() { std::free(iterator); }
};

std::optional<PropertyValue> convert(plist_t node, int depth);

std::optional<PropertyArray> convertArray(plist_t node, int depth) {
    PropertyArray array;
    array.reserve(plist_array_get_size(node));
    IteratorOwner<plist_array_iter> iteration;
    plist_array_new_iter(node, &iteration.iterator);
    for (plist_t item = nullptr;;) {
        plist_array_next_item(node, iteration.iterator, &item);
        if (item == nullptr) {
            return array;
        }
        auto value = convert(item, depth + 1);
        if (!value) {
            return std::nullopt;
        }
        array.push_back(std::move(*value));
    }
}

// A key given twice keeps its first place and its last value, as the platform's reader does.
std::optional<PropertyDictionary> convertDictionary(plist_t node, int depth) {
    PropertyDictionary dictionary;
    std::unordered_map<std::string, std::size_t> positions;
    IteratorOwner<plist_dict_iter> iteration;
    plist_dict_new_iter(node, &iteration.iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iteration.iterator, &rawKey, &item);
        const std::unique_ptr<char, decltype(&std::free)> keyOwner(rawKey, &std::free);
        if (item == nullptr) {
            return dictionary;
        }
        auto value = convert(item, depth + 1);
        if (!value) {
            return std::nullopt;
        }
        std::string key = rawKey == nullptr ? std::string() : std::string(rawKey);
        const auto [position, inserted] = positions.try_emplace(key, dictionary.size());
        if (inserted) {
            dictionary.push_back(PropertyEntry{std::move(key), std::move(*value)});
        } else {
            dictionary[position->second].value = std::move(*value);
        }
    }
}

// Dates count from 2001-01-01 00:00:00 UTC in the file formats.
PropertyDate convertDate(plist_t node) {
    constexpr std::chrono::seconds kReferenceDate{978307200};
    std::int32_t seconds = 0;
    std::int32_t microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    return PropertyDate(kReferenceDate + std::chrono::seconds(seconds) +
                        std::chrono::microseconds(microseconds));
}

std::optional<PropertyValue> convert(plist_t node, int depth) {
    if (depth > kMaximumDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return PropertyValue{flag != 0};
    }
    case PLIST_UINT: {
        // The library keeps every integer unsigned; the bits are a signed 64-bit value.
        std::uint64_t number = 0;
        plist_get_uint_val(node, &number);
        return PropertyValue{static_cast<std::int64_t>(number)};
    }
    case PLIST_UID: {
        std::uint64_t number = 0;
        plist_get_uid_val(node, &number);
        return PropertyValue{static_cast<std::int64_t>(number)};
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        return PropertyValue{number};
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return PropertyValue{text == nullptr ? std::string() : std::string(text, length)};
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const auto* bytes = reinterpret_cast<const std::byte*>(plist_get_data_ptr(node, &length));
        return PropertyValue{bytes == nullptr ? PropertyData()
                                              : PropertyData(bytes, bytes + length)};
    }
    case PLIST_DATE:
        return PropertyValue{convertDate(node)};
    case PLIST_ARRAY: {
        auto array = convertArray(node, depth);
        if (!array) {
            return std::nullopt;
        }
        return PropertyValue{std::move(*array)};
    }
    case PLIST_DICT: {
        auto dictionary = convertDictionary(node, depth);
        if (!dictionary) {
            return std::nullopt;
        }
        return PropertyValue{std::move(*dictionary)};
    }
    case PLIST_NONE:
        break;
    }
    return std::nullopt;
}

} // namespace

const PropertyValue* find(const PropertyDictionary& dictionary, std::string_view key) {
    for (const auto& entry : dictionary) {
        if (entry.key == key) {
            return &entry.value;
        }
    }
    return nullptr;
}

std::optional<PropertyDictionary> parsePropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
        hasBinaryKeyWithNulCharacter(bytes)) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    const PlistOwner owner(root, &plist_free);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
        return std::nullopt;
    }
    return convertDictionary(root, 0);
}

std::optional<PropertyDictionary> readPropertyList(const std::filesystem::path& file) {
    const FileDescriptor opened(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    const int descriptor = opened.descriptor;
    if (descriptor < 0) {
        return std::nullopt;
    }
    // Only regular files: a folder cannot be read and a pipe could block the run.
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const auto count = read(descriptor, buffer, sizeof buffer);
        if (count == 0) {
            return parsePropertyList(bytes);
        }
        if (count < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (count > 0) {
            bytes.append(buffer, static_cast<std::size_t>(count));
        }
    }
}

} // namespace talvo
