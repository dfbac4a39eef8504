#include "format/PropertyList.h"
#include "tests/format/BinaryPlistBuilder.h"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace talvo {
namespace {

using test::BinaryPlistBuilder;

std::string xmlProfile(std::string_view entries) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)" +
           std::string(entries) + "</dict></plist>";
}

// Arrays nested depth levels deep.
std::string arrays(int depth) {
    std::string opened, closed;
    for (int level = 0; level < depth; ++level) {
        opened += "<array>";
        closed += "</array>";
    }
    return opened + closed;
}

// A dictionary {"a": value}, the value made by make(builder).
template <typename Make> std::string binaryProfile(Make make) {
    BinaryPlistBuilder builder;
    const auto value = make(builder);
    return builder.bytes(builder.dictionary({builder.ascii("a")}, {value}));
}

// An array nested levels deep around the inner object.
BinaryPlistBuilder::Reference nest(BinaryPlistBuilder& builder, BinaryPlistBuilder::Reference inner,
                                   int levels) {
    for (int level = 0; level < levels; ++level) {
        inner = builder.array({inner});
    }
    return inner;
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

// What reading gave, in one line: "refused: <reason>", "none", or the root's entries in file
// order as key=value, texts and integers shown as they are and anything else as "?".
std::string outcomeOf(std::string_view bytes) {
    const auto reading = examinePropertyList(bytes);
    if (reading.refusal) {
        return "refused: " + *reading.refusal;
    }
    if (!reading.dictionary) {
        return "none";
    }
    std::string shown = "{";
    for (const auto& [key, value] : *reading.dictionary) {
        const auto* text = std::get_if<std::string>(&value.value);
        const auto* number = std::get_if<std::int64_t>(&value.value);
        shown += (shown.size() > 1 ? " " : "") + key + "=" +
                 (text     ? *text
                  : number ? std::to_string(*number)
                           : "?");
    }
    return shown + "}";
}

std::string refusalOf(std::string_view bytes) {
    const auto reading = examinePropertyList(bytes);
    EXPECT_FALSE(reading.dictionary.has_value());
    return reading.refusal.value_or("(not refused)");
}

TEST(BinaryPropertyList, IntegersAndDatesArriveExactly) {
    EXPECT_EQ(valueOfA(binaryProfile([](auto& b) { return b.wideInteger(0, ~std::uint64_t{0}); })),
              PropertyValue{~std::uint64_t{0}});
    EXPECT_EQ(refusalOf(binaryProfile([](auto& b) { return b.wideInteger(1, 0); })),
              "the integer at a is out of range");
    using namespace std::chrono;
    const auto expected = sys_days(year(2001) / 1 / 1) - seconds(3'000'000'000) + milliseconds(250);
    EXPECT_EQ(valueOfA(binaryProfile([](auto& b) { return b.date(-3e9 + 0.25); })),
              PropertyValue{PropertyDate(expected)});
    EXPECT_EQ(refusalOf(binaryProfile([](auto& b) { return b.date(1e300); })),
              "the date at a is out of range");
}

TEST(BinaryPropertyList, TextsHoldingNulAreRefusedWithTheirPathNotTheirValue) {
    BinaryPlistBuilder value;
    const auto encryption = value.ascii("encryption-key");
    const auto secret = value.utf16(std::u16string(u"abcdefgh\0ijkl", 13));
    EXPECT_EQ(refusalOf(value.bytes(value.dictionary({encryption}, {secret}))),
              "the text at encryption-key holds U+0000");
    // A key holding U+0000 made the library abort the process.
    BinaryPlistBuilder key;
    const auto badKey = key.utf16(std::u16string(u"\u00e9\0b", 3));
    const auto inside = key.dictionary({badKey}, {key.ascii("x")});
    EXPECT_EQ(refusalOf(key.bytes(key.dictionary({key.ascii("seed\nconfig")}, {inside}))),
              "a key in seed?config holds U+0000");
}

// The library drops UTF-16 surrogates that are not paired: a passphrase would arrive shorter than
// it was written, and a key with one behind "reg-token" would read as "reg-token".
TEST(BinaryPropertyList, TextsWithUnpairedSurrogatesAreRefusedNotCut) {
    const struct {
        std::u16string key;
        std::u16string value;
        std::string outcome;
    } cases[] = {
        {u"encryption-key", u"pass\xD800word",
         "refused: the text at encryption-key holds an unpaired surrogate"},
        {u"encryption-key", u"pass\xDC00word",
         "refused: the text at encryption-key holds an unpaired surrogate"},
        {u"encryption-key", u"password\xD83D",
         "refused: the text at encryption-key holds an unpaired surrogate"},
        {u"encryption-key", u"pass\xD800\xD83D\xDD11",
         "refused: the text at encryption-key holds an unpaired surrogate"},
        {u"reg-token\xD800", u"v", "refused: a key in the top level holds an unpaired surrogate"},
        {u"encryption-key", u"key \xD83D\xDD11", "{encryption-key=key \U0001F511}"},
    };
    for (const auto& example : cases) {
        BinaryPlistBuilder builder;
        const auto key = builder.utf16(example.key);
        const auto value = builder.utf16(example.value);
        EXPECT_EQ(outcomeOf(builder.bytes(builder.dictionary({key}, {value}))), example.outcome);
    }
}

TEST(BinaryPropertyList, HostileShapesEndQuicklyWithoutACrash) {
    const std::string tooDeep = "the profile nests deeper than 512 levels";
    // 100,000 levels overflowed the library's recursive parser.
    EXPECT_EQ(refusalOf(binaryProfile([](auto& b) { return nest(b, b.array({}), 100000); })),
              tooDeep);
    // Depth through a shared object counts from every place it is used.
    EXPECT_EQ(refusalOf(binaryProfile([](auto& b) {
                  const auto chain = nest(b, b.array({}), 505);
                  auto shallow = b.array({chain});
                  for (int level = 0; level < 10; ++level) {
                      shallow = b.array({shallow, chain});
                  }
                  return shallow;
              })),
              tooDeep);
    // Forty levels of two references to one array: a trillion values once copied.
    EXPECT_EQ(refusalOf(binaryProfile([](auto& b) {
                  auto doubled = b.ascii("x");
                  for (int level = 0; level < 40; ++level) {
                      doubled = b.array({doubled, doubled});
                  }
                  return doubled;
              })).substr(0, 29),
              "the profile expands by more t");
    const auto loop = examinePropertyList(binaryProfile([](auto& b) {
        const auto later = b.reserve();
        const auto looping = b.array({later});
        b.fill(later, b.array({looping}));
        return looping;
    }));
    EXPECT_FALSE(loop.dictionary || loop.refusal);
    // One long key used 60,000 times: quadratic to check key by key, linear here (the
    // property-list benchmark times this shape).
    EXPECT_NE(refusalOf(binaryProfile([](auto& b) {
                  const auto longKey = b.utf16(std::u16string(30000, u'k'));
                  const auto value = b.ascii("v");
                  std::vector<BinaryPlistBuilder::Reference> copies;
                  for (int copy = 0; copy < 60000; ++copy) {
                      copies.push_back(b.dictionary({longKey}, {value}));
                  }
                  return b.array(copies);
              })),
              "(not refused)");
}

// Copies of shared objects may add 2^15 values and 1 MiB of content to what the file holds:
// each copy costs the library and everything after it as much as an object of its own.
TEST(BinaryPropertyList, CopiesOfSharedObjectsAreBounded) {
    const auto copies = [](std::size_t references, std::size_t length) {
        return outcomeOf(binaryProfile([=](auto& b) {
            return b.array(std::vector(references, b.ascii(std::string(length, 'x'))));
        }));
    };
    const std::string refused = "refused: the profile expands by more than 32768 values or "
                                "1048576 bytes";
    EXPECT_EQ(copies(32769, 1), "{a=?}");
    EXPECT_EQ(copies(32770, 1), refused);
    EXPECT_EQ(copies(2, 1048575), "{a=?}");
    EXPECT_EQ(copies(2, 1048576), refused);
}

TEST(BinaryPropertyList, ObjectsSharingADatesBytesAreUnreadable) {
    using namespace std::string_literals;
    // {"a": [text, date]}, the date being the text's last nine bytes: dates reach the library
    // numbered, so the text would reach it other than it was checked.
    const auto overlapping = "bplist00"
                             "\xD1\x01\x02"
                             "\x51"
                             "a"
                             "\xA2\x03\x04"
                             "\x59"
                             "3AAAAAAAA"
                             "\x08\x0B\x0D\x10\x11"
                             "\0\0\0\0\0\0\x01\x01"
                             "\0\0\0\0\0\0\0\x05"
                             "\0\0\0\0\0\0\0\0"
                             "\0\0\0\0\0\0\0\x1A"s;
    EXPECT_EQ(outcomeOf(overlapping), "none");
}

TEST(XmlPropertyList, EncodingsAreReadAsThePlatformReadsThem) {
    const auto body = std::string(R"(<plist version="1.0"><dict><key>a</key><string>)") +
                      "caf\xC3\xA9 \xF0\x9F\x98\x80</string></dict></plist>";
    const PropertyValue expected{std::string("caf\xC3\xA9 \xF0\x9F\x98\x80")};

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

    EXPECT_EQ(valueOfA(R"(<?xml version="1.0" encoding="ISO-8859-1"?>)" +
                       xmlProfile("<key>a</key><string>caf\xE9</string>").substr(38)),
              PropertyValue{std::string("caf\xC3\xA9")});
    EXPECT_EQ(refusalOf(R"(<?xml version="1.0" encoding="Shift_JIS"?>)" + body),
              "the profile declares the encoding shift_jis, which cannot be read");
}

TEST(XmlPropertyList, IntegersArriveExactlyOrAreRefused) {
    const auto integer = [](const std::string& text) {
        return xmlProfile("<key>a</key><integer>" + text + "</integer>");
    };
    EXPECT_EQ(valueOfA(integer("18446744073709551615")), PropertyValue{~std::uint64_t{0}});
    EXPECT_EQ(valueOfA(integer(" -9223372036854775808\n")), PropertyValue{INT64_MIN});
    EXPECT_EQ(valueOfA(integer("+0x1F")), PropertyValue{std::int64_t{31}});
    EXPECT_EQ(refusalOf(integer("18446744073709551616")), "the integer at a is out of range");
    EXPECT_EQ(refusalOf(integer("-9223372036854775809")), "the integer at a is out of range");
    EXPECT_EQ(refusalOf(integer("12abc")), "the integer at a is not a number");
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

    const auto nested = [](int depth) { return xmlProfile("<key>a</key>" + arrays(depth)); };
    EXPECT_TRUE(examinePropertyList(nested(511)).dictionary.has_value());
    EXPECT_EQ(refusalOf(nested(512)), "the profile nests deeper than 512 levels");
}

// The library writes a reference to a surrogate as three bytes that are no UTF-8: a passphrase
// written as a pair of them (as writers that think in UTF-16 write a key symbol) would not arrive
// as written. References are read as the library reads them, sign and blanks included.
TEST(XmlPropertyList, ReferencesToSurrogatesAreRefused) {
    const struct {
        std::string entries;
        std::string outcome;
    } cases[] = {
        {"<key>encryption-key</key><string>key &#xD83D;&#xDD11;</string>",
         "refused: the text at encryption-key holds a reference to a surrogate"},
        {"<key>encryption-key</key><string>pass&#55296;word</string>",
         "refused: the text at encryption-key holds a reference to a surrogate"},
        {"<key>encryption-key</key><string>pass&#+57343;word</string>",
         "refused: the text at encryption-key holds a reference to a surrogate"},
        {"<key>encryption-key</key><string>pass&#x 0dc00;word</string>",
         "refused: the text at encryption-key holds a reference to a surrogate"},
        {"<key>seed-config</key><dict><key>reg&#xDBFF;</key><string>v</string></dict>",
         "refused: a key in seed-config holds a reference to a surrogate"},
        {"<key>encryption-key</key><string>key &#x1F511; &#xD7FF;&#xE000;</string>",
         "{encryption-key=key \U0001F511 \uD7FF\uE000}"},
        {"<key>encryption-key</key><string>&#x110000;</string>", "none"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(outcomeOf(xmlProfile(example.entries)), example.outcome) << example.entries;
    }
}

// Markup that the scan and the library could read differently must not get past the scan:
// a quoted ">" in the document type or a declaration left open once hid 100,000 nested arrays
// from the nesting bound, and the library's recursive parser then crashed on them.
TEST(XmlPropertyList, MarkupTheLibraryMightReadOtherwiseIsUnreadable) {
    const std::string deep = arrays(100000);
    const std::string hidingPlaces[] = {
        R"(<!DOCTYPE plist "> <![CDATA[ ">)", R"(<!DOCTYPE plist "><?">)",
        R"(<!DOCTYPE plist [ <!ENTITY x "y"> ]>)", R"(<!ENTITY x "y">)", "<?unclosed "};
    for (const auto& hiding : hidingPlaces) {
        const auto reading =
            examinePropertyList(hiding + "<plist><dict><key>a</key>" + deep + "</dict></plist>]]>");
        EXPECT_FALSE(reading.dictionary.has_value()) << hiding;
        EXPECT_FALSE(reading.refusal.has_value()) << hiding;
    }
    // Character data and comments inside a text stay text.
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

// Shapes read as the library reads them, each in one pass; the library only ever sees a
// document whose dictionaries it need not look keys up in.
TEST(XmlPropertyList, EveryShapeIsReadAsTheLibraryReadsIt) {
    const std::string deep = arrays(100000);
    const struct {
        std::string entries;
        std::string expected;
    } cases[] = {
        {"<key>a</key><string>1</string><key>b</key><string>2</string><key>a</key><string>3"
         "</string>",
         "{a=3 b=2}"},
        {"<key>a</key><key>b</key><key>c</key>", "{a=b}"},
        {"<key>a</key><key/>", "{a=}"},
        {"<key/><string>x</string>", "none"},
        {"<string>x</string>", "none"},
        {"<key>a</key><!-- c --><?pi \"?>\"?><!DOCTYPE x><string >x</string ><key>b</key>"
         "<integer> 010 </integer >",
         "{a=x b=10}"},
        {"<key>a</key><integer>99999999999999999999</integer >",
         "refused: the integer at a is out of range"},
        {"<key>a</key><string>&amp;&lt;&#x41;&#66;<![CDATA[&amp;]]></string>", "{a=&<AB&amp;}"},
        {"<key>a</key><string>&am<!-- -->p;</string>", "none"},
        {"<key>a</key><string>x</string  ><key>b</key><string>y</stringy></string>", "none"},
        {"<key>a</key><dict></array>", "none"},
        {"<key>a</key><plist><true/></plist>", "none"},
        {"<key>a</key><unknown/>", "none"},
        {"<key>a</key><string>x<br/></string>", "none"},
    };
    for (const auto& [entries, expected] : cases) {
        EXPECT_EQ(outcomeOf(xmlProfile(entries)), expected) << entries;
    }

    const std::string documents[][2] = {
        {"<plist><array><dict/></array></plist>", "none"},
        {R"(<plist version="1.0"><dict/></plist>)", "{}"},
        {"<plist><dict/><key>a</key><true/></plist>", "none"},
        {"<plist><dict/>", "none"},
        {"<dict><key>a</key><string>x</string></dict> trailing <", "{a=x}"},
        // The library takes only a double quote for one: a single-quoted ">" once hid nesting
        // that crashed the reading.
        {R"(<!DOCTYPE x '"'><!-- " > <dict><key>a</key>)" + deep + "</dict> -->", "none"},
        {"<plist><dict><key>a</key>" + std::string(20000, '<') + "string>", "none"},
        {"<plist><dict><key>a</key><string>" + std::string(20000, '&') + "</string></dict>",
         "none"},
    };
    for (const auto& [document, expected] : documents) {
        EXPECT_EQ(outcomeOf(document), expected) << document.substr(0, 80);
    }
}

// U+0000 refuses a file that is otherwise read as a property list, and only such a file: other
// bytes holding it are no profile, so that the next one is tried.
TEST(PropertyList, NulRefusesOnlyAPropertyList) {
    using namespace std::string_literals;
    std::string random(4096, '\0');
    std::uint32_t state = 2;
    for (auto& byte : random) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 24);
    }
    BinaryPlistBuilder broken;
    const auto nulText = broken.utf16(std::u16string(u"a\0b", 3));
    const auto badKey = broken.array({});
    const std::string cases[][2] = {
        {"garbage\0\1"s, "none"},
        {random, "none"},
        {xmlProfile("<key>a</key><string>\0</string>"s).substr(0, 60), "none"},
        {xmlProfile("<key>a</key><string>\0</string><key>b</key>"s),
         "refused: the text at a holds U+0000"},
        {"<dict><key>a</key><true/></dict>\0"s, "refused: the profile holds U+0000"},
        {"<!DOCTYPE x [\0]><dict/>"s, "refused: the profile holds U+0000"},
        {broken.bytes(broken.dictionary({broken.ascii("a"), badKey}, {nulText, nulText})), "none"},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(outcomeOf(bytes), expected) << bytes.substr(0, 60);
    }
}

} // namespace
} // namespace talvo
