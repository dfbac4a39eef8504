#include "PropertyListFiles.h"
#include "platform/PropertyList.h"
#include "setup/SeedConfiguration.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>

namespace talvo {
namespace {

using testing::TemporaryFolder;
using testing::writePythonPropertyList;

// Every kind of value; lists show through their JSON form whether truth values stayed such.
constexpr const char* kEveryKindInPython =
    "{'text': 'h\\u00e9llo\\nworld', 'empty': '', 'large': 2**63 - 1, 'negative': -5,"
    " 'real': 2.5, 'date': datetime.datetime(2024, 1, 2, 3, 4, 5), 'data': b'\\x00\\xffab',"
    " 'list': [1, -2.5, True, False, 'two', [3.5]], 'nested': {'inner': {'deep': 'x'}, 'e': {}}}";

TEST(PropertyList, ReadsEveryKindOfValueFromXmlAndBinaryAsTheSeedFileShowsIt) {
    const TemporaryFolder folder;
    const std::map<std::string, std::string> expected{
        {"text", "h\u00e9llo\nworld"},
        {"empty", ""},
        {"large", "9223372036854775807"},
        {"negative", "-5"},
        {"real", "2.5"},
        {"date", "2024-01-02T03:04:05Z"},
        {"data", "AP9hYg=="},
        {"list", R"([1,-2.5,true,false,"two",[3.5]])"},
        {"nested", R"({"e":{},"inner":{"deep":"x"}})"},
    };
    for (const bool binary : {false, true}) {
        const auto file = folder.path() / (binary ? "every.binary.plist" : "every.xml.plist");
        if (!writePythonPropertyList(file, kEveryKindInPython, binary)) {
            GTEST_SKIP() << "no Python to write property lists with";
        }
        const auto dictionary = readPropertyList(file);
        ASSERT_TRUE(dictionary.has_value()) << file;
        std::map<std::string, std::string> shown;
        for (const auto& entry : *dictionary) {
            shown[entry.key] = seedValueText(entry.value);
        }
        EXPECT_EQ(shown, expected) << file;
        EXPECT_TRUE(std::holds_alternative<std::int64_t>(find(*dictionary, "negative")->value));
        // Cut short, the file is unreadable; a binary one even when it lacks only its last byte.
        const auto bytes = *testing::readFile(file);
        EXPECT_FALSE(parsePropertyList(bytes.substr(0, bytes.size() / 2)).has_value());
        if (binary) {
            EXPECT_FALSE(parsePropertyList(bytes.substr(0, bytes.size() - 1)).has_value());
        }
    }
}

TEST(PropertyList, AKeyGivenTwiceKeepsItsFirstPlaceAndItsLastValue) {
    const auto dictionary = parsePropertyList(R"(<?xml version="1.0"?><plist version="1.0"><dict>
  <key>twice</key><string>first</string><key>other</key><true/>
  <key>twice</key><string>second</string></dict></plist>)");
    ASSERT_TRUE(dictionary.has_value());
    EXPECT_EQ(renderSeedConfiguration(*dictionary), "twice = second\nother = 1");
    EXPECT_EQ(find(*dictionary, "Twice"), nullptr);
}

TEST(PropertyList, AKeyHoldingANulCharacterIsUnreadableRatherThanAnAbort) {
    const TemporaryFolder folder;
    const auto file = folder.path() / "nul-key.plist";
    // Non-ASCII, so the key is stored as UTF-16, the form the library cannot hand out.
    if (!writePythonPropertyList(file, "{'ok': 'x', 'nested': {'\\u00e9\\x00b': 'x'}}", true)) {
        GTEST_SKIP() << "no Python to write property lists with";
    }
    EXPECT_FALSE(readPropertyList(file).has_value());

    ASSERT_TRUE(writePythonPropertyList(file, "{'ok': '\\u00e9\\x00b'}", true));
    EXPECT_EQ(*find(*readPropertyList(file), "ok"), PropertyValue{std::string("\u00e9\0b", 4)});
}

TEST(PropertyList, BrokenOrExcessivelyNestedInputIsUnreadableRatherThanACrash) {
    EXPECT_FALSE(parsePropertyList("bplist00").has_value());
    EXPECT_FALSE(
        parsePropertyList(R"(<?xml version="1.0"?><plist><dict><key>a</key>)").has_value());
    const auto nested = [](int depth) {
        std::string xml = R"(<?xml version="1.0"?><plist version="1.0"><dict><key>a</key>)";
        for (int level = 0; level < depth; ++level) {
            xml += "<array>";
        }
        for (int level = 0; level < depth; ++level) {
            xml += "</array>";
        }
        return xml + "</dict></plist>";
    };
    EXPECT_TRUE(parsePropertyList(nested(100)).has_value());
    EXPECT_FALSE(parsePropertyList(nested(5000)).has_value());
}

TEST(SeedConfiguration, ValuesHaveTheirOneLineForms) {
    using namespace std::chrono;
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        PropertyValue value;
        std::string expected;
    } cases[] = {
        {PropertyValue{0.1}, "0.1"},
        {PropertyValue{PropertyData{std::byte{'f'}, std::byte{'o'}}}, "Zm8="},
        // Before 1970 the fraction still rounds down, to the earlier second.
        {PropertyValue{PropertyDate(sys_days(year(1969) / 12 / 31) + hours(23) + minutes(59) +
                                    seconds(59) + milliseconds(500))},
         "1969-12-31T23:59:59Z"},
        {PropertyValue{PropertyArray{PropertyValue{std::string("a\"b\\c\nd\re\tf\x01")},
                                     PropertyValue{std::nan("")}, PropertyValue{infinity}}},
         R"(["a\"b\\c\nd\re\tf\u0001","nan","inf"])"},
        {PropertyValue{PropertyDictionary{{"line\nkey", PropertyValue{std::string("v")}}}},
         R"({"line\nkey":"v"})"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(seedValueText(example.value), example.expected) << example.expected;
    }
}

} // namespace
} // namespace talvo
