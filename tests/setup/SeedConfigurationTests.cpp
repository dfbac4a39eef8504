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

std::int64_t civil(int y, unsigned m, unsigned d) {
    return sys_days(year(y) / month(m) / day(d)).time_since_epoch() / microseconds(1);
}

TEST(SeedConfiguration, ValuesHaveTheirExactOneLineForms) {
    using Limits = std::numeric_limits<std::int64_t>;
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        PropertyValue value;
        std::string expected;
    } cases[] = {
        {PropertyValue{0.1}, "0.1"},
        {PropertyValue{1e20}, "1e+20"},
        {PropertyValue{true}, "1"},
        {PropertyValue{PropertyData{std::byte{0}, std::byte{0xff}, std::byte{'a'}}}, "AP9h"},
        // Integers keep their whole 64-bit range, signed and unsigned, also inside JSON.
        {PropertyValue{Limits::min()}, "-9223372036854775808"},
        {PropertyValue{std::numeric_limits<std::uint64_t>::max()}, "18446744073709551615"},
        {PropertyValue{PropertyArray{PropertyValue{Limits::max()}, PropertyValue{-2.5},
                                     PropertyValue{false}, PropertyValue{std::nan("")},
                                     PropertyValue{-infinity}, text("a\"b\\c\nd\x01")}},
         R"([9223372036854775807,-2.5,false,"nan","-inf","a\"b\\c\nd\u0001"])"},
        // File order, not sorted.
        {PropertyValue{PropertyDictionary{{"z", text("v")}, {"a", PropertyValue{PropertyArray{}}}}},
         R"({"z":"v","a":[]})"},
        // Dates are exact over the whole range of the type; before 1970 a fraction still belongs
        // to the earlier second.
        {dateAt(-1), "1969-12-31T23:59:59.999999Z"},
        {dateAt(civil(2038, 1, 19) + 11'648'000'000), "2038-01-19T03:14:08Z"},
        {dateAt(civil(0, 2, 29)), "0000-02-29T00:00:00Z"},
        {dateAt(civil(10000, 1, 1)), "+10000-01-01T00:00:00Z"},
        {dateAt(Limits::min()), "-290308-12-21T19:59:05.224192Z"},
        {dateAt(Limits::max()), "+294247-01-10T04:00:54.775807Z"},
        {PropertyValue{PropertyArray{dateAt(-500'000)}}, R"(["1969-12-31T23:59:59.5Z"])"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(seedValueText(example.value), example.expected) << example.expected;
    }
    EXPECT_EQ(nlohmann::json::parse(seedValueText(cases[6].value))[0].get<std::int64_t>(),
              Limits::max());
}

TEST(SeedConfiguration, InvalidUtf8BecomesReplacementCharactersAndTheJsonStaysValid) {
    // The standard's example of maximal subparts, then a surrogate, an overlong form, a code
    // point above U+10FFFF and a sequence cut short by the end of the text.
    const std::string invalid = "a\xF1\x80\x80\xE1\x80\xC2"
                                "b\x80"
                                "d\xED\xA0\x80"
                                "e\xC0\xAF"
                                "f\xF4\x90\x80\x80"
                                "g\xF0\x9F\x98";
    const std::string repaired = "a\uFFFD\uFFFD\uFFFDb\uFFFDd\uFFFD\uFFFD\uFFFD"
                                 "e\uFFFD\uFFFDf\uFFFD\uFFFD\uFFFD\uFFFDg\uFFFD";
    const std::string valid = "h\u00e9llo \U0001F600 \U0010FFFF \0"s;
    EXPECT_EQ(seedValueText(text(invalid)), repaired);
    EXPECT_EQ(seedValueText(text(valid)), valid);

    // Inside JSON too, keys included; valid non-ASCII text is kept as it is, not escaped, and
    // only control characters are.
    const std::string escaped = "h\u00e9llo \U0001F600 \U0010FFFF \\u0000";
    EXPECT_EQ(seedValueText(PropertyValue{PropertyDictionary{
                  {invalid, text(invalid)}, {valid, PropertyValue{PropertyArray{text(valid)}}}}}),
              "{\"" + repaired + "\":\"" + repaired + "\",\"" + escaped + "\":[\"" + escaped +
                  "\"]}");
}

TEST(SeedConfiguration, FileHasOneLinePerEntryInValidUtf8) {
    const PropertyDictionary entries{
        {"b", PropertyValue{std::int64_t{2}}},
        {"k\xFF", text("v\xC3")},
        {"multi", text("one\ntwo")},
    };
    EXPECT_EQ(renderSeedConfiguration(entries), "b = 2\nk\uFFFD = v\uFFFD\nmulti = one\ntwo");
}

} // namespace
} // namespace talvo
