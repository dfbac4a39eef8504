#include "setup/SeedConfiguration.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>

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

// Days since 1970-01-01 to a proleptic Gregorian date, for every day the 64-bit microsecond count
// reaches (std::chrono::year stops at 32767, gmtime at the platform's time_t and int years).
struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civilDate(std::int64_t days) {
    const std::int64_t shifted = days + 719468; // from 0000-03-01, so leap days end a year
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(shifted - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned marchMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * marchMonth + 2) / 5 + 1;
    const unsigned month = marchMonth < 10 ? marchMonth + 3 : marchMonth - 9;
    return {era * 400 + yearOfEra + (month <= 2 ? 1 : 0), month, day};
}

std::string dateText(PropertyDate date) {
    constexpr std::int64_t kMicrosecondsPerDay = 86'400'000'000;
    // Floored by hand: chrono's floor<days> overflows near the lowest representable time.
    const std::int64_t count = date.time_since_epoch().count();
    std::int64_t days = count / kMicrosecondsPerDay;
    std::int64_t inDay = count % kMicrosecondsPerDay;
    if (inDay < 0) {
        days -= 1;
        inDay += kMicrosecondsPerDay;
    }
    const auto [year, month, day] = civilDate(days);
    const auto secondsInDay = inDay / 1'000'000;
    const auto fraction = inDay % 1'000'000;
    const bool plainYear = year >= 0 && year <= 9999;
    char buffer[80];
    const int length = std::snprintf(
        buffer, sizeof buffer,
        plainYear ? "%04lld-%02u-%02uT%02lld:%02lld:%02lld"
                  : "%+06lld-%02u-%02uT%02lld:%02lld:%02lld",
        static_cast<long long>(year), month, day, static_cast<long long>(secondsInDay / 3600),
        static_cast<long long>(secondsInDay / 60 % 60), static_cast<long long>(secondsInDay % 60));
    const std::string text(buffer, static_cast<std::size_t>(length));
    if (fraction == 0) {
        return text + "Z";
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06lld", static_cast<long long>(fraction));
    std::string fractionText = digits;
    fractionText.erase(fractionText.find_last_not_of('0') + 1);
    return text + "." + fractionText + "Z";
}

std::string base64(const PropertyData& data) {
    constexpr std::string_view kAlphabet =
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
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += remaining > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += remaining > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return text;
}

// The JSON library's replacement (U+FFFD per maximal ill-formed subsequence) is the one place
// invalid UTF-8 is repaired, so that texts read the same inside and outside JSON.
std::string jsonString(std::string_view text) {
    return nlohmann::json(std::string(text))
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string validUtf8(std::string_view text) {
    return nlohmann::json::parse(jsonString(text)).get<std::string>();
}

// Arrays and dictionaries are put together here rather than by the library, so that numbers keep
// the forms above (the library writes the real 2 as "2.0") and dictionaries their file order.
// Everything is appended to one text, so that nesting does not copy inner texts again at every
// level.
void appendJson(std::string& text, const PropertyValue& value);

void appendArray(std::string& text, const PropertyArray& array) {
    text += '[';
    for (std::size_t index = 0; index < array.size(); ++index) {
        text += index == 0 ? "" : ",";
        appendJson(text, array[index]);
    }
    text += ']';
}

void appendObject(std::string& text, const PropertyDictionary& dictionary) {
    text += '{';
    for (std::size_t index = 0; index < dictionary.size(); ++index) {
        text += (index == 0 ? "" : ",") + jsonString(dictionary[index].key) + ":";
        appendJson(text, dictionary[index].value);
    }
    text += '}';
}

void appendJson(std::string& text, const PropertyValue& value) {
    std::visit(Overloaded{
                   [&text](const std::string& characters) { text += jsonString(characters); },
                   [&text](std::int64_t number) { text += std::to_string(number); },
                   [&text](std::uint64_t number) { text += std::to_string(number); },
                   [&text](double number) {
                       text +=
                           std::isfinite(number) ? realText(number) : jsonString(realText(number));
                   },
                   [&text](bool flag) { text += flag ? "true" : "false"; },
                   [&text](PropertyDate date) { text += jsonString(dateText(date)); },
                   [&text](const PropertyData& data) { text += jsonString(base64(data)); },
                   [&text](const PropertyArray& array) { appendArray(text, array); },
                   [&text](const PropertyDictionary& entries) { appendObject(text, entries); },
               },
               value.value);
}

} // namespace

std::string seedValueText(const PropertyValue& value) {
    return std::visit(Overloaded{
                          [](const std::string& text) { return validUtf8(text); },
                          [](std::int64_t number) { return std::to_string(number); },
                          [](std::uint64_t number) { return std::to_string(number); },
                          [](double number) { return realText(number); },
                          [](bool flag) { return std::string(flag ? "1" : "0"); },
                          [](PropertyDate date) { return dateText(date); },
                          [](const PropertyData& data) { return base64(data); },
                          [](const PropertyArray& array) {
                              std::string text;
                              appendArray(text, array);
                              return text;
                          },
                          [](const PropertyDictionary& dictionary) {
                              std::string text;
                              appendObject(text, dictionary);
                              return text;
                          },
                      },
                      value.value);
}

std::string renderSeedConfiguration(const PropertyDictionary& entries) {
    std::string text;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        text += (index == 0 ? "" : "\n") + validUtf8(entries[index].key) + " = " +
                seedValueText(entries[index].value);
    }
    return text;
}

} // namespace talvo
