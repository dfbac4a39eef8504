#include "format/PropertyListConversion.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <numeric>

namespace talvo {

namespace {

using PlistOwner = std::unique_ptr<void, decltype(&plist_free)>;

template <typename Iterator> struct IteratorOwner {
    Iterator iterator = nullptr;
    IteratorOwner() = default;
    IteratorOwner(const IteratorOwner&) = delete;
    IteratorOwner& operator=(const IteratorOwner&) = delete;
    ~IteratorOwner() { std::free(iterator); }
};

// The library's getters cut dates to 32-bit seconds and whole microseconds, and hide whether an
// integer is signed. So a value is guessed from them and compared with the node (the library
// compares values bit for bit, integers by width too). A date that cannot be guessed is written
// alone by the library's binary writer, which keeps it whole, and its one object read back (the
// marker comes right after the 8-byte header); that costs microseconds. Only XML dates before
// 1933 or after 2069 go that way: binary ones come as their places in a table.
std::string writtenAlone(plist_t node) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    const std::unique_ptr<char, decltype(&plist_to_bin_free)> owner(bytes, &plist_to_bin_free);
    return bytes == nullptr ? std::string() : std::string(bytes, length);
}

constexpr std::size_t kMarkerOffset = 8;

std::uint64_t bigEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (const char byte : bytes) {
        value = value << 8 | static_cast<unsigned char>(byte);
    }
    return value;
}

// Where a value sits, for a refusal; built only when one is needed.
struct PathLink {
    const PathLink* parent;
    std::string_view key;
    std::size_t index;
};

std::string pathText(const PathLink* link) {
    std::vector<const PathLink*> links;
    for (; link != nullptr; link = link->parent) {
        links.push_back(link);
    }
    std::string path;
    for (auto at = links.rbegin(); at != links.rend(); ++at) {
        plistscan::appendPathPart(path, (*at)->key.data() != nullptr
                                            ? std::string((*at)->key)
                                            : std::to_string((*at)->index));
    }
    return path;
}

// A key given twice keeps its first place and its last value, as the platform's reader does.
// Found by sorting, not hashing, so that no choice of keys makes it slow.
PropertyDictionary withUniqueKeys(PropertyDictionary entries) {
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&entries](std::size_t left, std::size_t right) {
        return entries[left].key < entries[right].key;
    });
    std::vector<bool> dropped(entries.size(), false);
    bool anyDropped = false;
    for (std::size_t first = 0, last = 0; first < order.size(); first = last + 1) {
        for (last = first; last + 1 < order.size() &&
                           entries[order[last + 1]].key == entries[order[first]].key;) {
            dropped[order[++last]] = true;
        }
        if (last != first) {
            entries[order[first]].value = std::move(entries[order[last]].value);
            anyDropped = true;
        }
    }
    if (!anyDropped) {
        return entries;
    }
    PropertyDictionary result;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (!dropped[index]) {
            result.push_back(std::move(entries[index]));
        }
    }
    return result;
}

// The library's nodes into values: a binary file's tree, or XML values one at a time with the
// containers around them built here from the checked elements. The checks bound the nesting,
// so the recursion here is bounded too. From checked binary bytes every date comes as its place
// in a table of seconds.
class Converter {
  public:
    explicit Converter(const std::vector<double>* binaryDates) : binaryDates_(binaryDates) {}

    std::optional<PropertyValue> convert(plist_t node, const PathLink* at) {
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return PropertyValue{flag != 0};
        }
        case PLIST_UINT:
            return integer(node);
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
        case PLIST_KEY:
            return PropertyValue{text(node)};
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const auto* bytes =
                reinterpret_cast<const std::byte*>(plist_get_data_ptr(node, &length));
            return PropertyValue{bytes == nullptr ? PropertyData()
                                                  : PropertyData(bytes, bytes + length)};
        }
        case PLIST_DATE:
            return date(node, at);
        case PLIST_ARRAY:
            return wrapped(array(node, at));
        case PLIST_DICT:
            return wrapped(dictionary(node, at));
        case PLIST_NONE:
            break;
        }
        return std::nullopt;
    }

    std::optional<PropertyDictionary> root(plist_t node) {
        return plist_get_node_type(node) == PLIST_DICT ? dictionary(node, nullptr) : std::nullopt;
    }

    std::optional<PropertyDictionary> root(const plistscan::PreparedXml& xml) {
        std::size_t next = 0;
        auto value = element(xml, next, nullptr);
        auto* dictionary = value ? std::get_if<PropertyDictionary>(&value->value) : nullptr;
        return dictionary == nullptr ? std::nullopt : std::optional(std::move(*dictionary));
    }

    const std::optional<std::string>& refusal() const { return refusal_; }

  private:
    template <typename T> static std::optional<PropertyValue> wrapped(std::optional<T> value) {
        return value ? std::optional(PropertyValue{std::move(*value)}) : std::nullopt;
    }

    static std::string text(plist_t node) {
        std::uint64_t length = 0;
        const char* characters = plist_get_string_ptr(node, &length);
        return characters == nullptr ? std::string() : std::string(characters, length);
    }

    std::optional<PropertyArray> array(plist_t node, const PathLink* at) {
        PropertyArray result;
        result.reserve(plist_array_get_size(node));
        IteratorOwner<plist_array_iter> iteration;
        plist_array_new_iter(node, &iteration.iterator);
        for (plist_t item = nullptr;;) {
            plist_array_next_item(node, iteration.iterator, &item);
            if (item == nullptr) {
                return result;
            }
            const PathLink link{at, {}, result.size()};
            auto value = convert(item, &link);
            if (!value) {
                return std::nullopt;
            }
            result.push_back(std::move(*value));
        }
    }

    // The element at next and, for a container, everything in it up to its end.
    std::optional<PropertyValue> element(const plistscan::PreparedXml& xml, std::size_t& next,
                                         const PathLink* at) {
        using plistscan::XmlElement;
        const auto& elements = xml.elements;
        const auto atEnd = [&elements, &next] {
            return next == elements.size() || elements[next].kind == XmlElement::end;
        };
        if (next == elements.size()) {
            return std::nullopt;
        }
        const auto& current = elements[next++];
        if (current.kind == XmlElement::value) {
            return value(std::string_view(xml.text).substr(current.offset, current.length), at);
        }
        if (current.kind == XmlElement::array) {
            PropertyArray result;
            while (!atEnd()) {
                const PathLink link{at, {}, result.size()};
                auto item = element(xml, next, &link);
                if (!item) {
                    return std::nullopt;
                }
                result.push_back(std::move(*item));
            }
            return next++ == elements.size() ? std::nullopt
                                             : std::optional(PropertyValue{std::move(result)});
        }
        if (current.kind != XmlElement::dictionary) {
            return std::nullopt;
        }
        PropertyDictionary result;
        while (!atEnd()) {
            auto key = element(xml, next, at);
            auto* text = key ? std::get_if<std::string>(&key->value) : nullptr;
            if (text == nullptr) {
                return std::nullopt;
            }
            if (atEnd()) {
                break;
            }
            const PathLink link{at, *text, 0};
            auto item = element(xml, next, &link);
            if (!item) {
                return std::nullopt;
            }
            result.push_back(PropertyEntry{std::move(*text), std::move(*item)});
        }
        return next++ == elements.size()
                   ? std::nullopt
                   : std::optional(PropertyValue{withUniqueKeys(std::move(result))});
    }

    // One value's own small document.
    std::optional<PropertyValue> value(std::string_view document, const PathLink* at) {
        plist_t node = nullptr;
        plist_from_xml(document.data(), static_cast<std::uint32_t>(document.size()), &node);
        const PlistOwner owner(node, &plist_free);
        return node == nullptr ? std::nullopt : convert(node, at);
    }

    std::optional<PropertyDictionary> dictionary(plist_t node, const PathLink* at) {
        PropertyDictionary result;
        IteratorOwner<plist_dict_iter> iteration;
        plist_dict_new_iter(node, &iteration.iterator);
        for (;;) {
            char* rawKey = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iteration.iterator, &rawKey, &item);
            const std::unique_ptr<char, decltype(&std::free)> keyOwner(rawKey, &std::free);
            if (item == nullptr) {
                return withUniqueKeys(std::move(result));
            }
            std::string key = rawKey == nullptr ? std::string() : std::string(rawKey);
            const PathLink link{at, key, 0};
            auto value = convert(item, &link);
            if (!value) {
                return std::nullopt;
            }
            result.push_back(PropertyEntry{std::move(key), std::move(*value)});
        }
    }

    // The library keeps every integer as 64 unsigned bits; its writer tells the values above
    // 2^63-1 (sixteen bytes) from the negative ones (eight).
    static PropertyValue integer(plist_t node) {
        std::uint64_t number = 0;
        plist_get_uint_val(node, &number);
        if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return PropertyValue{static_cast<std::int64_t>(number)};
        }
        // A node made from the number is eight bytes wide.
        const PlistOwner eightBytes(plist_new_uint(number), &plist_free);
        if (plist_compare_node_value(node, eightBytes.get()) != 0) {
            return PropertyValue{static_cast<std::int64_t>(number)};
        }
        return PropertyValue{number};
    }

    // Dates count seconds from 2001-01-01 00:00:00 UTC in the file formats.
    std::optional<PropertyValue> date(plist_t node, const PathLink* at) {
        constexpr std::chrono::seconds kReferenceDate{978307200};
        constexpr double kLargestSeconds = 1e12;
        const auto seconds = exactSeconds(node);
        if (!seconds) {
            return std::nullopt;
        }
        if (!std::isfinite(*seconds) || std::fabs(*seconds) > kLargestSeconds) {
            refusal_ = "the date at " + pathText(at) + " is out of range";
            return std::nullopt;
        }
        return PropertyValue{
            PropertyDate(kReferenceDate + std::chrono::microseconds(std::llround(*seconds * 1e6)))};
    }

    std::optional<double> exactSeconds(plist_t node) const {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // Computed as the library computes a new date.
        const double guess =
            static_cast<double>(seconds) + static_cast<double>(microseconds) / 1000000;
        const PlistOwner guessed(plist_new_date(seconds, microseconds), &plist_free);
        const bool exact = plist_compare_node_value(node, guessed.get()) != 0;
        if (binaryDates_ != nullptr) {
            const auto place = static_cast<std::size_t>(seconds);
            return exact && microseconds == 0 && seconds >= 0 && place < binaryDates_->size()
                       ? std::optional((*binaryDates_)[place])
                       : std::nullopt;
        }
        if (exact) {
            return guess;
        }
        constexpr char kDateMarker = 0x33;
        const auto written = writtenAlone(node);
        if (written.size() < kMarkerOffset + 9 || written[kMarkerOffset] != kDateMarker) {
            return std::nullopt;
        }
        return std::bit_cast<double>(
            bigEndian(std::string_view(written).substr(kMarkerOffset + 1, 8)));
    }

    const std::vector<double>* binaryDates_;
    std::optional<std::string> refusal_;
};

} // namespace

PropertyListReading convertBinary(plist_t root, const std::vector<double>& dates) {
    Converter converter(&dates);
    auto dictionary = converter.root(root);
    return {std::move(dictionary), converter.refusal()};
}

PropertyListReading convertXml(const plistscan::PreparedXml& xml) {
    Converter converter(nullptr);
    auto dictionary = converter.root(xml);
    return {std::move(dictionary), converter.refusal()};
}

} // namespace talvo
