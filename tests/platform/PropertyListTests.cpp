#include "platform/PropertyList.h"
#include "tests/platform/BinaryPlistBuilder.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testing::BinaryPlistBuilder;
using testing::TemporaryFolder;
using testing::writeFile;

std::string xmlProfile(std::string_view entries) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)" +
           std::string(entries) + "</dict></plist>";
}

// A dictionary {"a": value}.
std::string binaryProfile(BinaryPlistBuilder& builder, BinaryPlistBuilder::Reference value) {
    const auto key = builder.ascii("a");
    return builder.bytes(builder.dictionary({key}, {value}));
}

PropertyValue valueOfA(std::string_view bytes) {
    const auto reading = examinePropertyList(bytes);
    EXPECT_FALSE(reading.refusal.has_value()) << *reading.refusal;
    if (!reading.dictionary || find(*reading.dictionary, "a") == nullptr) {
        ADD_FAILURE() << "no value under a";
        return {};
    }
    return *find(*reading.dictionary, "a");
}

std::string refusalOf(std::string_view bytes) {
    const auto reading = examinePropertyList(bytes);
    EXPECT_FALSE(reading.dictionary.has_value());
    return reading.refusal.value_or("(not refused)");
}

TEST(BinaryPropertyList, IntegersAndDatesArriveExactly) {
    BinaryPlistBuilder largest;
    EXPECT_EQ(valueOfA(binaryProfile(largest, largest.wideInteger(0, ~std::uint64_t{0}))),
              PropertyValue{~std::uint64_t{0}});
    BinaryPlistBuilder above;
    EXPECT_EQ(valueOfA(binaryProfile(above, above.wideInteger(0, std::uint64_t{1} << 63))),
              PropertyValue{std::uint64_t{1} << 63});
    BinaryPlistBuilder wide;
    EXPECT_EQ(refusalOf(binaryProfile(wide, wide.wideInteger(1, 0))),
              "the integer at a is out of range");

    using namespace std::chrono;
    const auto reference = sys_days(year(2001) / 1 / 1);
    for (const double seconds : {-3e9 + 0.25, 4e9 + 0.5, 0.0}) {
        BinaryPlistBuilder builder;
        EXPECT_EQ(
            valueOfA(binaryProfile(builder, builder.date(seconds))),
            PropertyValue{PropertyDate(reference + microseconds(std::llround(seconds * 1e6)))})
            << seconds;
    }
    BinaryPlistBuilder far;
    EXPECT_EQ(refusalOf(binaryProfile(far, far.date(1e300))), "the date at a is out of range");
}

TEST(BinaryPropertyList, TextsHoldingNulAreRefusedWithTheirPathNotTheirValue) {
    BinaryPlistBuilder value;
    const auto encryption = value.ascii("encryption-key");
    const auto secret = value.utf16(std::u16string(u"abcdefgh\0ijkl", 13));
    EXPECT_EQ(refusalOf(value.bytes(value.dictionary({encryption}, {secret}))),
              "the text at encryption-key holds U+0000");

    BinaryPlistBuilder nested;
    const auto seed = nested.ascii("seed-config");
    const auto list = nested.ascii("list");
    const auto ascii = nested.ascii(std::string_view("ab\0c", 4));
    const auto inner = nested.dictionary({list}, {nested.array({list, ascii})});
    EXPECT_EQ(refusalOf(nested.bytes(nested.dictionary({seed}, {inner}))),
              "the text at seed-config/list/1 holds U+0000");

    // A key holding U+0000 made the library abort the process.
    BinaryPlistBuilder key;
    const auto badKey = key.utf16(std::u16string(u"\u00e9\0b", 3));
    const auto inside = key.dictionary({badKey}, {key.ascii("x")});
    EXPECT_EQ(refusalOf(key.bytes(key.dictionary({key.ascii("seed\nconfig")}, {inside}))),
              "a key in seed?config holds U+0000");
}

TEST(BinaryPropertyList, HostileShapesEndQuicklyWithoutACrash) {
    // 100,000 levels overflowed the library's recursive parser.
    BinaryPlistBuilder deep;
    auto inner = deep.array({});
    for (int level = 0; level < 100000; ++level) {
        inner = deep.array({inner});
    }
    EXPECT_EQ(refusalOf(binaryProfile(deep, inner)), "the profile nests deeper than 512 levels");

    // Depth through a shared object counts from every place it is used.
    BinaryPlistBuilder shared;
    auto chain = shared.array({});
    for (int level = 0; level < 505; ++level) {
        chain = shared.array({chain});
    }
    auto shallow = shared.array({chain});
    for (int level = 0; level < 10; ++level) {
        shallow = shared.array({shallow, chain});
    }
    EXPECT_EQ(refusalOf(binaryProfile(shared, shallow)),
              "the profile nests deeper than 512 levels");

    // Forty levels of two references to one array: a trillion values once copied.
    BinaryPlistBuilder bomb;
    auto doubled = bomb.ascii("x");
    for (int level = 0; level < 40; ++level) {
        doubled = bomb.array({doubled, doubled});
    }
    EXPECT_EQ(refusalOf(binaryProfile(bomb, doubled)).substr(0, 29),
              "the profile expands to more t");

    BinaryPlistBuilder loop;
    const auto later = loop.reserve();
    const auto looping = loop.array({later});
    loop.fill(later, loop.array({looping}));
    const auto reading = examinePropertyList(binaryProfile(loop, looping));
    EXPECT_FALSE(reading.dictionary || reading.refusal);

    // One long key used 60,000 times: quadratic to check key by key, linear here.
    BinaryPlistBuilder many;
    const auto longKey = many.utf16(std::u16string(30000, u'k'));
    std::vector<BinaryPlistBuilder::Reference> dictionaries;
    const auto value = many.ascii("v");
    for (int copy = 0; copy < 60000; ++copy) {
        dictionaries.push_back(many.dictionary({longKey}, {value}));
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(refusalOf(binaryProfile(many, many.array(dictionaries))), "(not refused)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(XmlPropertyList, EncodingsAreReadAsThePlatformReadsThem) {
    const auto body = std::string(R"(<plist version="1.0"><dict><key>a</key><string>)") +
                      "caf\xC3\xA9 \xF0\x9F\x98\x80</string></dict></plist>";
    const PropertyValue expected{std::string("caf\xC3\xA9 \xF0\x9F\x98\x80")};
    EXPECT_EQ(valueOfA("\xEF\xBB\xBF<?xml version=\"1.0\"?>" + body), expected);

    const std::u16string utf16 =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist version=\"1.0\">"
        u"<dict><key>a</key><string>caf\u00e9 \U0001F600</string></dict></plist>";
    for (const bool bigEndian : {false, true}) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t unit : utf16) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        EXPECT_EQ(valueOfA(bytes), expected) << bigEndian;
        // An unpaired surrogate is a broken file.
        bytes += bigEndian ? std::string("\xD8\x00", 2) : std::string("\x00\xD8", 2);
        EXPECT_FALSE(examinePropertyList(bytes).dictionary || examinePropertyList(bytes).refusal);
    }

    const auto latin1 = std::string(R"(<?xml version="1.0" encoding="ISO-8859-1"?>)") +
                        R"(<plist version="1.0"><dict><key>a</key><string>caf)" + "\xE9" +
                        "</string></dict></plist>";
    EXPECT_EQ(valueOfA(latin1), PropertyValue{std::string("caf\xC3\xA9")});
    EXPECT_EQ(refusalOf(R"(<?xml version="1.0" encoding="Shift_JIS"?>)" + body),
              "the profile declares the encoding shift_jis, which cannot be read");
}

TEST(XmlPropertyList, IntegersArriveExactlyOrAreRefused) {
    const struct {
        std::string text;
        PropertyValue expected;
    } exact[] = {
        {"18446744073709551615", PropertyValue{~std::uint64_t{0}}},
        {"9223372036854775808", PropertyValue{std::uint64_t{1} << 63}},
        {" -9223372036854775808\n", PropertyValue{INT64_MIN}},
        {"010", PropertyValue{std::int64_t{10}}},
        {"+0x1F", PropertyValue{std::int64_t{31}}},
    };
    for (const auto& example : exact) {
        EXPECT_EQ(valueOfA(xmlProfile("<key>a</key><integer>" + example.text + "</integer>")),
                  example.expected)
            << example.text;
    }
    const struct {
        std::string text;
        std::string reason;
    } refused[] = {
        {"-99999999999999999999999", "the integer at a is out of range"},
        {"18446744073709551616", "the integer at a is out of range"},
        {"-9223372036854775809", "the integer at a is out of range"},
        {"12abc", "the integer at a is not a number"},
        {"", "the integer at a is not a number"},
    };
    for (const auto& example : refused) {
        EXPECT_EQ(refusalOf(xmlProfile("<key>a</key><integer>" + example.text + "</integer>")),
                  example.reason)
            << example.text;
    }
}

TEST(XmlPropertyList, NulTextsAndDeepNestingAreRefusedBeforeTheLibrarySeesThem) {
    EXPECT_EQ(refusalOf(xmlProfile("<key>seed-config</key><dict><key>k</key><array><true/>"
                                   "<string>ab&#x0;c</string></array></dict>")),
              "the text at seed-config/k/1 holds U+0000");
    EXPECT_EQ(refusalOf(xmlProfile("<key>a&#00;b</key><string>x</string>")),
              "a key in the top level holds U+0000");
    EXPECT_EQ(refusalOf(xmlProfile(std::string("<key>encryption-key</key><string>abcdefgh\0ijkl"
                                               "</string>",
                                               55))),
              "the text at encryption-key holds U+0000");
    // A comment or a character data section is not an element.
    EXPECT_EQ(valueOfA(xmlProfile("<!-- <array> --><key>a</key><string><![CDATA[<x>]]></string>")),
              PropertyValue{std::string("<x>")});

    const auto nested = [](int depth) {
        std::string opened, closed;
        for (int level = 0; level < depth; ++level) {
            opened += "<array>";
            closed += "</array>";
        }
        return xmlProfile("<key>a</key>" + opened + closed);
    };
    EXPECT_TRUE(examinePropertyList(nested(511)).dictionary.has_value());
    EXPECT_EQ(refusalOf(nested(512)), "the profile nests deeper than 512 levels");
    EXPECT_EQ(refusalOf(nested(100000)), "the profile nests deeper than 512 levels");
}

// Markup that the scan and the library could read differently must not get past the scan:
// a quoted ">" in the document type or a declaration left open once hid 100,000 nested arrays
// from the nesting bound, and the library's recursive parser then crashed on them.
TEST(XmlPropertyList, MarkupTheLibraryMightReadOtherwiseIsUnreadable) {
    std::string opened, closed;
    for (int level = 0; level < 100000; ++level) {
        opened += "<array>";
        closed += "</array>";
    }
    const std::string deep = opened + closed;
    const std::string hidingPlaces[] = {
        R"(<!DOCTYPE plist "> <![CDATA[ ">)", R"(<!DOCTYPE plist "><?">)",
        R"(<!DOCTYPE plist [ <!ENTITY x "y"> ]>)", R"(<!ENTITY x "y">)", "<?unclosed "};
    for (const auto& hiding : hidingPlaces) {
        const auto reading =
            examinePropertyList(hiding + "<plist><dict><key>a</key>" + deep + "</dict></plist>]]>");
        EXPECT_FALSE(reading.dictionary.has_value()) << hiding;
        EXPECT_FALSE(reading.refusal.has_value()) << hiding;
    }
    // Broken or cut short: unreadable.
    EXPECT_FALSE(parsePropertyList("bplist00").has_value());
    EXPECT_FALSE(
        parsePropertyList(R"(<?xml version="1.0"?><plist><dict><key>a</key>)").has_value());
    // Raw markup inside a text is malformed; character data and comments stay text.
    EXPECT_FALSE(
        examinePropertyList(xmlProfile("<key>a</key><string>x<array>y</string>")).dictionary);
    EXPECT_EQ(valueOfA(xmlProfile("<key>a</key><string>x<!-- c --><![CDATA[<y>]]></string>")),
              PropertyValue{std::string("x<y>")});
    // U+0000 anywhere in markup is refused like U+0000 in a text.
    EXPECT_EQ(refusalOf(xmlProfile(std::string("<!-- \0 --><key>a</key><true/>", 29))),
              "the profile holds U+0000");
    // A real document type still reads.
    EXPECT_TRUE(examinePropertyList(
                    R"(<?xml version="1.0"?><!DOCTYPE plist PUBLIC "-//A B//DTD PLIST 1.0//EN" )"
                    R"("http://www.example.com/DTDs/PropertyList-1.0.dtd"><plist version="1.0">)"
                    "<dict/></plist>")
                    .dictionary);
}

} // namespace
} // namespace talvo
