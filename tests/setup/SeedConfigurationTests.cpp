#include "setup/SeedConfiguration.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

namespace talvo {
namespace {

using namespace std::chrono;
using namespace std::string_literals;

PropertyValue text(std::string value) {
    return PropertyValue{std::move(value)};
}

PropertyValue dateAt(std::int64_t microsecondsSince1970) {
    return PropertyValue{PropertyDate(microseconds(microsecondsSince1970))};
}

// Parses strictly: throws on invalid JSON or invalid UTF-8.
nlohmann::ordered_json parsed(const std::string& json) {
    return nlohmann::ordered_json::parse(json);
}

TEST(SeedConfiguration, ValuesHaveTheirOneLineForms) {
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        PropertyValue value;
        std::string expected;
    } cases[] = {
        {PropertyValue{0.1}, "0.1"},
        {PropertyValue{1.0}, "1"},
        {PropertyValue{1e20}, "1e+20"},
        {PropertyValue{true}, "1"},
        {PropertyValue{PropertyData{}}, ""},
        {PropertyValue{PropertyData{std::byte{'f'}, std::byte{'o'}}}, "Zm8="},
        {PropertyValue{PropertyData{std::byte{0}, std::byte{0xff}, std::byte{'a'}}}, "AP9h"},
        {PropertyValue{PropertyArray{text("a\"b\\c\nd\re\tf\x01"), PropertyValue{std::nan("")},
                                     PropertyValue{infinity}, PropertyValue{-infinity}}},
         R"(["a\"b\\c\nd\re\tf\u0001","nan","inf","-inf"])"},
        {PropertyValue{PropertyArray{PropertyValue{2.0}, PropertyValue{-2.5}, PropertyValue{false},
                                     PropertyValue{PropertyData{std::byte{'f'}}}}},
         R"([2,-2.5,false,"Zg=="])"},
        // File order, not sorted; the line break in the key stays inside the JSON string.
        {PropertyValue{PropertyDictionary{{"z", text("v")},
                                          {"line\nkey", PropertyValue{PropertyDictionary{}}},
                                          {"a", PropertyValue{PropertyArray{}}}}},
         R"({"z":"v","line\nkey":{},"a":[]})"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(seedValueText(example.value), example.expected) << example.expected;
    }
}

TEST(SeedConfiguration, IntegersKeepTheirFullSixtyFourBitRange) {
    const struct {
        PropertyValue value;
        std::string expected;
    } cases[] = {
        {PropertyValue{std::numeric_limits<std::int64_t>::min()}, "-9223372036854775808"},
        {PropertyValue{std::numeric_limits<std::int64_t>::max()}, "9223372036854775807"},
        {PropertyValue{std::uint64_t{1} << 63}, "9223372036854775808"},
        {PropertyValue{std::numeric_limits<std::uint64_t>::max()}, "18446744073709551615"},
    };
    PropertyArray all;
    std::string expectedJson = "[";
    for (const auto& example : cases) {
        EXPECT_EQ(seedValueText(example.value), example.expected);
        expectedJson += (all.empty() ? "" : ",") + example.expected;
        all.push_back(example.value);
    }
    const auto json = seedValueText(PropertyValue{all});
    EXPECT_EQ(json, expectedJson + "]");
    const auto back = parsed(json);
    EXPECT_EQ(back[0].get<std::int64_t>(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(back[3].get<std::uint64_t>(), std::numeric_limits<std::uint64_t>::max());
}

TEST(SeedConfiguration, DatesAreExactOverTheWholeRangeOfTheType) {
    constexpr std::int64_t kDay = 86'400'000'000;
    const auto civil = [](int y, unsigned m, unsigned d) {
        return sys_days(year(y) / month(m) / day(d)).time_since_epoch() / microseconds(1);
    };
    const struct {
        std::int64_t at;
        std::string expected;
    } cases[] = {
        {civil(2024, 1, 2) + 11'045'000'000, "2024-01-02T03:04:05Z"},
        // Before 1970 a fraction still belongs to the earlier second.
        {-500'000, "1969-12-31T23:59:59.5Z"},
        {-1, "1969-12-31T23:59:59.999999Z"},
        {civil(2024, 2, 29) + 250'000, "2024-02-29T00:00:00.25Z"},
        {civil(2100, 3, 1) - 1'000'000, "2100-02-28T23:59:59Z"},
        // Outside what a 32-bit time_t holds.
        {civil(1901, 12, 13) + 74'751'000'000, "1901-12-13T20:45:51Z"},
        {civil(2038, 1, 19) + 11'648'000'000, "2038-01-19T03:14:08Z"},
        {civil(1, 1, 1), "0001-01-01T00:00:00Z"},
        {civil(0, 2, 29), "0000-02-29T00:00:00Z"},
        {civil(9999, 12, 31) + kDay - 1, "9999-12-31T23:59:59.999999Z"},
        {civil(10000, 1, 1), "+10000-01-01T00:00:00Z"},
        {civil(-1, 12, 31), "-00001-12-31T00:00:00Z"},
        {civil(-4713, 11, 24) + kDay / 2, "-04713-11-24T12:00:00Z"},
        {std::numeric_limits<std::int64_t>::min(), "-290308-12-21T19:59:05.224192Z"},
        {std::numeric_limits<std::int64_t>::max(), "+294247-01-10T04:00:54.775807Z"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(seedValueText(dateAt(example.at)), example.expected) << example.at;
    }
    EXPECT_EQ(seedValueText(PropertyValue{PropertyArray{dateAt(-1)}}),
              R"(["1969-12-31T23:59:59.999999Z"])");
}

TEST(SeedConfiguration, DatesAgreeWithTheStandardCalendarAcrossItsRange) {
    for (int days = -12'600'000; days <= 11'200'000; days += 997) {
        const year_month_day date{sys_days(std::chrono::days(days))};
        char expected[32];
        const int y = static_cast<int>(date.year());
        std::snprintf(expected, sizeof expected,
                      y >= 0 && y <= 9999 ? "%04d-%02u-%02uT00:00:07Z"
                                          : "%+06d-%02u-%02uT00:00:07Z",
                      y, static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
        const auto at = static_cast<std::int64_t>(days) * 86'400'000'000 + 7'000'000;
        ASSERT_EQ(seedValueText(dateAt(at)), expected) << days;
    }
}

TEST(SeedConfiguration, InvalidUtf8BecomesReplacementCharactersAndTheJsonStaysValid) {
    // The standard's example of maximal subparts, then a surrogate, an overlong form, a code
    // point above U+10FFFF and a sequence cut short by the end of the text.
    const std::string invalid = "a\xF1\x80\x80\xE1\x80\xC2"
                                "b\x80"
                                "c\x80\xBF"
                                "d\xED\xA0\x80"
                                "e\xC0\xAF"
                                "f\xF4\x90\x80\x80"
                                "g\xF0\x9F\x98";
    const std::string repaired = "a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd\uFFFD\uFFFD\uFFFD"
                                 "e\uFFFD\uFFFDf\uFFFD\uFFFD\uFFFD\uFFFDg\uFFFD";
    const std::string valid = "h\u00e9llo \U0001F600 \uFFFF \U0010FFFF \x7F \0"s;

    EXPECT_EQ(seedValueText(text(invalid)), repaired);
    EXPECT_EQ(seedValueText(text(valid)), valid);

    const PropertyValue nested{PropertyDictionary{
        {invalid, text(invalid)},
        {valid, PropertyValue{PropertyArray{text(valid), text("\xFF")}}},
    }};
    const auto json = seedValueText(nested);
    const auto back = parsed(json);
    ASSERT_EQ(back.size(), 2U);
    EXPECT_EQ(back.begin().key(), repaired);
    EXPECT_EQ(back[repaired], repaired);
    EXPECT_EQ(back[valid][0], valid);
    EXPECT_EQ(back[valid][1], "\uFFFD");
    // Valid non-ASCII text is kept as it is, not escaped; only control characters are.
    EXPECT_NE(json.find("\"h\u00e9llo \U0001F600 \uFFFF \U0010FFFF \x7F \\u0000\""),
              std::string::npos);
}

TEST(SeedConfiguration, FileHasOneLinePerEntryInValidUtf8) {
    EXPECT_EQ(renderSeedConfiguration({}), "");
    const PropertyDictionary entries{
        {"b", PropertyValue{std::int64_t{2}}},
        {"a", text("x")},
        {"k\xFF", text("v\xC3")},
        {"multi", text("one\ntwo")},
    };
    EXPECT_EQ(renderSeedConfiguration(entries),
              "b = 2\na = x\nk\uFFFD = v\uFFFD\nmulti = one\ntwo");
}

} // namespace
} // namespace talvo
