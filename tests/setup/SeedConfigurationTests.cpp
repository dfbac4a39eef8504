#include "setup/SeedConfiguration.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace talvo {
namespace {

PropertyValue text(std::string value) {
    return PropertyValue{std::move(value)};
}

PropertyValue data(std::string_view raw) {
    PropertyData bytes;
    for (const char character : raw) {
        bytes.push_back(static_cast<std::byte>(character));
    }
    return PropertyValue{std::move(bytes)};
}

TEST(SeedConfiguration, EachKindOfValueHasOneLineForm) {
    using namespace std::chrono;
    const struct {
        PropertyValue value;
        std::string expected;
    } cases[] = {
        {text(" as it stands = \"quoted\" "), " as it stands = \"quoted\" "},
        {text(""), ""},
        {PropertyValue{std::int64_t{2}}, "2"},
        {PropertyValue{std::int64_t{-9223372036854775807 - 1}}, "-9223372036854775808"},
        {PropertyValue{2.5}, "2.5"},
        {PropertyValue{0.1}, "0.1"},
        {PropertyValue{3.0}, "3"},
        {PropertyValue{1e20}, "1e+20"},
        {PropertyValue{-0.0}, "-0"},
        {PropertyValue{std::numeric_limits<double>::infinity()}, "inf"},
        {PropertyValue{true}, "1"},
        {PropertyValue{false}, "0"},
        {PropertyValue{PropertyDate(sys_days(year(2024) / 1 / 2) + hours(3) + minutes(4) +
                                    seconds(5) + milliseconds(999))},
         "2024-01-02T03:04:05Z"},
        {PropertyValue{PropertyDate(sys_days(year(1969) / 12 / 31) + hours(23) + minutes(59) +
                                    seconds(59) + milliseconds(500))},
         "1969-12-31T23:59:59Z"},
        {data(""), ""},
        {data("f"), "Zg=="},
        {data("fo"), "Zm8="},
        {data("foo"), "Zm9v"},
        {data(std::string_view("\xff\xfe\x00\x01", 4)), "//4AAQ=="},
        {PropertyValue{PropertyArray{}}, "[]"},
        {PropertyValue{PropertyDictionary{}}, "{}"},
        {PropertyValue{PropertyArray{PropertyValue{std::int64_t{1}}, text("a\"b\\c\nd\te\x01"),
                                     PropertyValue{true}, PropertyValue{1.5},
                                     PropertyValue{std::nan("")}, data("foo")}},
         R"([1,"a\"b\\c\nd\te\u0001",true,1.5,"nan","Zm9v"])"},
        {PropertyValue{PropertyDictionary{
             {"k", PropertyValue{PropertyArray{PropertyValue{PropertyDictionary{}}}}},
             {"line\nkey", text("v")},
             {"when", PropertyValue{PropertyDate(sys_days(year(2001) / 1 / 1))}}}},
         R"({"k":[{}],"line\nkey":"v","when":"2001-01-01T00:00:00Z"})"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(seedValueText(testCase.value), testCase.expected);
    }
}

TEST(SeedConfiguration, EntriesAreLinesWithoutAFinalLineFeed) {
    EXPECT_EQ(renderSeedConfiguration({}), "");
    EXPECT_EQ(renderSeedConfiguration({{"a", text("x")}}), "a = x");
    EXPECT_EQ(renderSeedConfiguration({{"a", text("x")},
                                       {"b", PropertyValue{std::int64_t{2}}},
                                       {"", text("")},
                                       {"list", PropertyValue{PropertyArray{text("p q")}}}}),
              "a = x\nb = 2\n = \nlist = [\"p q\"]");
}

} // namespace
} // namespace talvo
