#include "format/PropertyList.h"

#include "format/PropertyListConversion.h"
#include "format/PropertyListScan.h"

#include <limits>
#include <memory>

namespace talvo {

const PropertyValue* find(const PropertyDictionary& dictionary, std::string_view key) {
    for (const auto& entry : dictionary) {
        if (entry.key == key) {
            return &entry.value;
        }
    }
    return nullptr;
}

std::optional<std::string> textValue(const PropertyDictionary& dictionary, std::string_view key) {
    const PropertyValue* const value = find(dictionary, key);
    const auto* const text = value == nullptr ? nullptr : std::get_if<std::string>(&value->value);
    return text == nullptr ? std::nullopt : std::optional<std::string>(*text);
}

PropertyListReading examinePropertyList(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const bool binary = bytes.starts_with("bplist00");
    plistscan::PreparedBinary fromBinary;
    plistscan::PreparedXml fromXml;
    if (binary) {
        fromBinary = plistscan::scanBinary(bytes);
    } else {
        fromXml = plistscan::prepareXml(bytes);
    }
    auto& finding = binary ? fromBinary.finding : fromXml.finding;
    if (finding.verdict == plistscan::Verdict::refused) {
        return {std::nullopt, std::move(finding.reason)};
    }
    const std::string_view text = binary ? fromBinary.bytes : fromXml.text;
    if (finding.verdict == plistscan::Verdict::unreadable ||
        text.size() > std::numeric_limits<std::uint32_t>::max()) {
        return {};
    }
    if (!binary) {
        return convertXml(fromXml);
    }
    plist_t root = nullptr;
    plist_from_memory(text.data(), static_cast<std::uint32_t>(text.size()), &root);
    const std::unique_ptr<void, decltype(&plist_free)> owner(root, &plist_free);
    return root == nullptr ? PropertyListReading{} : convertBinary(root, fromBinary.dates);
}

} // namespace talvo
