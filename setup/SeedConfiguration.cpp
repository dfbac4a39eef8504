#include "setup/SeedConfiguration.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace talvo {

namespace {

template <class... Visitors> struct Overloaded : Visitors... { using Visitors::operator()...; };
// clang 14 does not deduce the template arguments of an aggregate by itself.
template <class... Visitors> Overloaded(Visitors...) -> Overloaded<Visitors...>;

std::string realText(double number) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

std::string dateText(PropertyDate date) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(date);
    const std::time_t time = seconds.time_since_epoch().count();
    std::tm parts{};
    gmtime_r(&time, &parts);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return buffer;
}

std::string base64(const PropertyData& data) {
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t index = 0; index < data.size(); index += 3) {
        const auto remaining = data.size() - index;
        std::uint32_t group = std::to_integer<std::uint32_t>(data[index]) << 16;
        if (remaining > 1) {
            group |= std::to_integer<std::uint32_t>(data[index + 1]) << 8;
        }
        if (remaining > 2) {
            group |= std::to_integer<std::uint32_t>(data[index + 2]);
        }
        text += alphabet[(group >> 18) & 0x3F];
        text += alphabet[(group >> 12) & 0x3F];
        text += remaining > 1 ? alphabet[(group >> 6) & 0x3F] : '=';
        text += remaining > 2 ? alphabet[group & 0x3F] : '=';
    }
    return text;
}

std::string jsonString(std::string_view text) {
    std::string json = "\"";
    for (const char character : text) {
        switch (character) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(character) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x",
                              static_cast<unsigned>(static_cast<unsigned char>(character)));
                json += escape;
            } else {
                json += character;
            }
        }
    }
    return json + "\"";
}

std::string json(const PropertyValue& value);

std::string jsonArray(const PropertyArray& array) {
    std::string text = "[";
    for (std::size_t index = 0; index < array.size(); ++index) {
        text += (index == 0 ? "" : ",") + json(array[index]);
    }
    return text + "]";
}

std::string jsonObject(const PropertyDictionary& dictionary) {
    std::string text = "{";
    for (std::size_t index = 0; index < dictionary.size(); ++index) {
        text += (index == 0 ? "" : ",") + jsonString(dictionary[index].key) + ":" +
                json(dictionary[index].value);
    }
    return text + "}";
}

std::string json(const PropertyValue& value) {
    return std::visit(
        Overloaded{
            [](const std::string& text) { return jsonString(text); },
            [](std::int64_t number) { return std::to_string(number); },
            [](std::uint64_t number) { return std::to_string(number); },
            [](double number) {
                return std::isfinite(number) ? realText(number) : jsonString(realText(number));
            },
            [](bool flag) { return std::string(flag ? "true" : "false"); },
            [](PropertyDate date) { return jsonString(dateText(date)); },
            [](const PropertyData& data) { return jsonString(base64(data)); },
            [](const PropertyArray& array) { return jsonArray(array); },
            [](const PropertyDictionary& dictionary) { return jsonObject(dictionary); },
        },
        value.value);
}

} // namespace

std::string seedValueText(const PropertyValue& value) {
    return std::visit(
        Overloaded{
            [](const std::string& text) { return text; },
            [](std::int64_t number) { return std::to_string(number); },
            [](std::uint64_t number) { return std::to_string(number); },
            [](double number) { return realText(number); },
            [](bool flag) { return std::string(flag ? "1" : "0"); },
            [](PropertyDate date) { return dateText(date); },
            [](const PropertyData& data) { return base64(data); },
            [](const PropertyArray& array) { return jsonArray(array); },
            [](const PropertyDictionary& dictionary) { return jsonObject(dictionary); },
        },
        value.value);
}

std::string renderSeedConfiguration(const PropertyDictionary& entries) {
    std::string text;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        text += (index == 0 ? "" : "\n") + entries[index].key + " = " +
                seedValueText(entries[index].value);
    }
    return text;
}

} // namespace talvo
