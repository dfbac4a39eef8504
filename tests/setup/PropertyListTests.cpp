#include "TemporaryFolder.h"
#include "platform/PropertyList.h"

#include <gtest/gtest.h>

namespace talvo {
namespace {

using testing::TemporaryFolder;
using testing::writeFile;
using testing::writePythonPropertyList;

PropertyValue text(std::string value) {
    return PropertyValue{std::move(value)};
}
PropertyValue integer(std::int64_t value) {
    return PropertyValue{value};
}

PropertyData bytes(std::string_view raw) {
    PropertyData data;
    for (const char character : raw) {
        data.push_back(static_cast<std::byte>(character));
    }
    return data;
}

// Every kind of value, as Python writes it and as the reader must give it back.
constexpr const char* kEveryKindInPython =
    "{'text': 'h\\u00e9llo\\nworld', 'empty': '', 'negative': -5, 'large': 2**63 - 1,"
    " 'real': 2.5, 'yes': True, 'no': False,"
    " 'date': datetime.datetime(2024, 1, 2, 3, 4, 5),"
    " 'data': b'\\x00\\xffab', 'list': [1, 'two', [3.0]],"
    " 'nested': {'inner': {'deep': 'x'}}, 'emptyDict': {}}";

PropertyDictionary everyKind() {
    using namespace std::chrono;
    return {
        {"text", text("h\u00e9llo\nworld")},
        {"empty", text("")},
        {"negative", integer(-5)},
        {"large", integer(9223372036854775807)},
        {"real", PropertyValue{2.5}},
        {"yes", PropertyValue{true}},
        {"no", PropertyValue{false}},
        {"date", PropertyValue{PropertyDate(sys_days(year(2024) / 1 / 2) + hours(3) + minutes(4) +
                                            seconds(5))}},
        {"data", PropertyValue{bytes(std::string_view("\x00\xff"
                                                      "ab",
                                                      4))}},
        {"list", PropertyValue{PropertyArray{integer(1), text("two"),
                                             PropertyValue{PropertyArray{PropertyValue{3.0}}}}}},
        {"nested", PropertyValue{PropertyDictionary{
                       {"inner", PropertyValue{PropertyDictionary{{"deep", text("x")}}}}}}},
        {"emptyDict", PropertyValue{PropertyDictionary{}}},
    };
}

// Dictionaries carry no order of their own; compare them entry by entry.
void expectSameEntries(const PropertyDictionary& actual, const PropertyDictionary& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& entry : expected) {
        const auto* found = find(actual, entry.key);
        ASSERT_NE(found, nullptr) << entry.key;
        EXPECT_TRUE(*found == entry.value) << entry.key;
    }
}

TEST(PropertyList, ReadsEveryKindOfValueFromXmlAndBinaryFiles) {
    const TemporaryFolder folder;
    for (const bool binary : {false, true}) {
        const auto file = folder.path() / (binary ? "every.binary.plist" : "every.xml.plist");
        if (!writePythonPropertyList(file, kEveryKindInPython, binary)) {
            GTEST_SKIP() << "no Python to write property lists with";
        }
        const auto dictionary = readPropertyList(file);
        ASSERT_TRUE(dictionary.has_value()) << file;
        expectSameEntries(*dictionary, everyKind());
    }
}

TEST(PropertyList, ReadsHandWrittenXml) {
    const auto dictionary = parsePropertyList(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>reg-token</key><string>  tok &amp; en  </string>
  <key>big</key><integer>-9223372036854775808</integer>
  <key>twice</key><string>first</string>
  <key>other</key><true/>
  <key>twice</key><string>second</string>
  <key>date</key><date>2001-01-01T00:00:00Z</date>
</dict></plist>)");
    ASSERT_TRUE(dictionary.has_value());
    EXPECT_EQ(*find(*dictionary, "reg-token"), text("  tok & en  "));
    EXPECT_EQ(*find(*dictionary, "big"), integer(INT64_MIN));
    // A key given twice keeps its last value.
    EXPECT_EQ(*find(*dictionary, "twice"), text("second"));
    EXPECT_EQ(dictionary->size(), 5u);
    EXPECT_EQ(*find(*dictionary, "date"),
              PropertyValue{PropertyDate(std::chrono::seconds(978307200))});
    EXPECT_EQ(find(*dictionary, "Reg-Token"), nullptr);
}

TEST(PropertyList, AnythingButARootDictionaryIsUnreadable) {
    const TemporaryFolder folder;
    const auto valid = folder.path() / "valid.plist";
    if (!writePythonPropertyList(valid, "{'a': 'x', 'b': [1, 2, 3], 'c': {'d': 'long text'}}",
                                 true)) {
        GTEST_SKIP() << "no Python to write property lists with";
    }
    const auto binary = *testing::readFile(valid);
    ASSERT_TRUE(parsePropertyList(binary).has_value());

    const std::string broken[] = {
        "",
        "garbage that is no property list",
        std::string("\0\0\0\0", 4),
        binary.substr(0, binary.size() / 2),
        binary.substr(0, binary.size() - 1),
        binary.substr(0, 8),
        "bplist00",
        R"(<?xml version="1.0"?><plist version="1.0"><array><string>a</string></array></plist>)",
        R"(<?xml version="1.0"?><plist version="1.0"><string>a</string></plist>)",
        R"(<?xml version="1.0"?><plist version="1.0"><dict><key>a</key><string>x</string>)",
    };
    for (const auto& bytes : broken) {
        EXPECT_FALSE(parsePropertyList(bytes).has_value()) << bytes.size() << " bytes";
    }

    EXPECT_FALSE(readPropertyList(folder.path() / "missing.plist").has_value());
    EXPECT_FALSE(readPropertyList(folder.path()).has_value());
    writeFile(folder.path() / "empty.plist", "");
    EXPECT_FALSE(readPropertyList(folder.path() / "empty.plist").has_value());
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

TEST(PropertyList, ExcessiveNestingIsUnreadableRatherThanACrash) {
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

} // namespace
} // namespace talvo
