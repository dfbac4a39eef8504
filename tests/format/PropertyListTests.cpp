#include "format/PropertyList.h"
#include "tests/format/BinaryPlistBuilder.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <variant>

namespace talvo {
namespace {

using namespace std::string_literals;
using test::BinaryPlistBuilder;
using Reference = BinaryPlistBuilder::Reference;
using Make = std::function<Reference(BinaryPlistBuilder&)>;

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

std::string binary(const Make& top) {
    BinaryPlistBuilder builder;
    return builder.bytes(top(builder));
}

// An array nested levels deep around the inner object.
Reference nest(BinaryPlistBuilder& builder, Reference inner, int levels) {
    for (int level = 0; level < levels; ++level) {
        inner = builder.array({inner});
    }
    return inner;
}

// What reading gave, in one line: "refused: <reason>", "none", or the root's entries in file
// order as key=value: texts and integers as they are, dates as "@" and microseconds since 1970,
// anything else as "?".
std::string outcomeOf(std::string_view bytes) {
    const auto reading = examinePropertyList(bytes);
    if (reading.refusal) {
        return "refused: " + *reading.refusal;
    }
    if (!reading.dictionary) {
        return "none";
    }
    std::string shown = "{";
    for (const auto& [key, entry] : *reading.dictionary) {
        const auto& value = entry.value;
        shown += (shown.size() > 1 ? " " : "") + key + "=";
        if (const auto* text = std::get_if<std::string>(&value)) {
            shown += *text;
        } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
            shown += std::to_string(*number);
        } else if (const auto* wide = std::get_if<std::uint64_t>(&value)) {
            shown += std::to_string(*wide);
        } else if (const auto* date = std::get_if<PropertyDate>(&value)) {
            shown += "@" + std::to_string(date->time_since_epoch().count());
        } else {
            shown += "?";
        }
    }
    return shown + "}";
}

TEST(BinaryPropertyList, ValuesArriveExactlyOrAreRefused) {
    const std::string tooDeep = "refused: the profile nests deeper than 512 levels";
    const std::string expands =
        "refused: the profile expands by more than 32768 values or 1048576 bytes";
    const std::string unpaired = "refused: the text at a holds an unpaired surrogate";
    // Copies of shared objects may add 2^15 values and 1 MiB of content to what the file holds:
    // each copy costs the library and everything after it as much as an object of its own.
    const auto copies = [](std::size_t references, std::size_t length) -> Make {
        return [=](auto& b) {
            return b.array(std::vector(references, b.ascii(std::string(length, 'x'))));
        };
    };
    const auto text = [](std::u16string value) -> Make {
        return [=](auto& b) { return b.utf16(value); };
    };
    // The key in the dictionary under "seed\nconfig".
    const auto keyed = [](std::u16string key) -> Make {
        return [=](auto& b) {
            const auto inner = b.dictionary({b.utf16(key)}, {b.ascii("v")});
            return b.dictionary({b.ascii("seed\nconfig")}, {inner});
        };
    };
    const struct {
        Make value; // under the key "a"
        std::string outcome;
    } cases[] = {
        {[](auto& b) { return b.wideInteger(0, ~std::uint64_t{0}); }, "{a=18446744073709551615}"},
        {[](auto& b) { return b.wideInteger(1, 0); }, "refused: the integer at a is out of range"},
        // Seconds since 2001 become microseconds since 1970, the fraction kept.
        {[](auto& b) { return b.date(-3e9 + 0.25); }, "{a=@-2021692799750000}"},
        {[](auto& b) { return b.date(1e300); }, "refused: the date at a is out of range"},
        // Refused with their path, never their value.
        {text(std::u16string(u"abcdefgh\0ijkl", 13)), "refused: the text at a holds U+0000"},
        // A key holding U+0000 made the library abort the process.
        {keyed(std::u16string(u"\u00e9\0b", 3)), "refused: a key in a/seed?config holds U+0000"},
        // The library drops UTF-16 surrogates that are not paired: a passphrase would arrive
        // shorter than it was written, and a key with one behind "reg-token" would read as
        // "reg-token".
        {text(u"pass\xD800word"), unpaired},
        {text(u"pass\xDC00word"), unpaired},
        {keyed(u"reg-token\xD800"), "refused: a key in a/seed?config holds an unpaired surrogate"},
        {text(u"key \xD83D\xDD11"), "{a=key \U0001F511}"},
        // 100,000 levels overflowed the library's recursive parser.
        {[](auto& b) { return nest(b, b.array({}), 100000); }, tooDeep},
        // Depth through a shared object counts from every place it is used.
        {[](auto& b) {
             const auto chain = nest(b, b.array({}), 505);
             return b.array({chain, nest(b, chain, 10)});
         },
         tooDeep},
        // Forty levels of two references to one array: a trillion values once copied.
        {[](auto& b) {
             auto doubled = b.ascii("x");
             for (int level = 0; level < 40; ++level) {
                 doubled = b.array({doubled, doubled});
             }
             return doubled;
         },
         expands},
        {[](auto& b) {
             const auto later = b.reserve();
             const auto looping = b.array({later});
             b.fill(later, b.array({looping}));
             return looping;
         },
         "none"},
        {copies(32769, 1), "{a=?}"},
        {copies(32770, 1), expands},
        {copies(2, 1048575), "{a=?}"},
        {copies(2, 1048576), expands},
    };
    for (const auto& example : cases) {
        const auto top = [&](auto& b) { return b.dictionary({b.ascii("a")}, {example.value(b)}); };
        EXPECT_EQ(outcomeOf(binary(top)), example.outcome) << "case " << &example - cases;
    }
}

TEST(XmlPropertyList, EncodingsAreReadAsThePlatformReadsThem) {
    const std::string expected = "{a=caf\xC3\xA9 \xF0\x9F\x98\x80}";
    const std::u16string utf16 =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist version=\"1.0\">"
        u"<dict><key>a</key><string>caf\u00e9 \U0001F600</string></dict></plist>";
    // An unpaired surrogate, at the end or before another character, is a broken file.
    std::u16string unpaired = utf16;
    unpaired.insert(unpaired.find(u"caf"), 1, char16_t{0xD800});
    for (const bool bigEndian : {false, true}) {
        const auto encoded = [bigEndian](std::u16string_view units) {
            std::string bytes;
            for (const char16_t unit : units) {
                const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit);
                bytes += bigEndian ? std::string{high, low} : std::string{low, high};
            }
            return bytes;
        };
        const std::string mark = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        EXPECT_EQ(outcomeOf(mark + encoded(utf16)), expected) << bigEndian;
        EXPECT_EQ(outcomeOf(encoded(utf16)), expected) << bigEndian << ", without a mark";
        EXPECT_EQ(outcomeOf(mark + encoded(utf16 + u'\xD800')), "none");
        EXPECT_EQ(outcomeOf(mark + encoded(unpaired)), "none");
    }
    EXPECT_EQ(outcomeOf("\xEF\xBB\xBF" + xmlProfile("<key>a</key><string>caf\xC3\xA9</string>")),
              "{a=caf\xC3\xA9}");
    EXPECT_EQ(outcomeOf("<?xml encoding='latin1'?><dict><key>a</key><string>\xE9</string></dict>"),
              "{a=\xC3\xA9}");
    EXPECT_EQ(outcomeOf(R"(<?xml version="1.0" encoding="Shift_JIS"?><plist><dict/></plist>)"),
              "refused: the profile declares the encoding shift_jis, which cannot be read");
}

// Shapes read as the library reads them, each in one pass; the library only ever sees a
// document whose dictionaries it need not look keys up in. What the library would not read
// exactly (U+0000, integers beyond 64 bits, deep nesting) is refused before it sees it.
TEST(XmlPropertyList, EveryShapeIsReadAsTheLibraryReadsIt) {
    const std::string outOfRange = "refused: the integer at a is out of range";
    const std::string surrogate = "refused: the text at a holds a reference to a surrogate";
    const struct {
        std::string entries;
        std::string expected;
    } cases[] = {
        {"<key>a</key><string/><key>b</key><string>2</string><key>a</key><string>3</string>",
         "{a=3 b=2}"},
        {"<key>a</key><key>b</key><key>c</key>", "{a=b}"},
        {"<key>a</key><key/>", "{a=}"},
        {"<key/><string>x</string>", "none"},
        {"<string>x</string>", "none"},
        {"<key>a</key><!-- c --><?pi \"?>\"?><!DOCTYPE x><string >x</string ><key>b</key>"
         "<integer> 010 </integer >",
         "{a=x b=10}"},
        {"<key>a</key><integer>18446744073709551615</integer>", "{a=18446744073709551615}"},
        {"<key>a</key><integer> -9223372036854775808\n</integer>", "{a=-9223372036854775808}"},
        {"<key>a</key><integer>+0x1F</integer>", "{a=31}"},
        {"<key>a</key><integer>18446744073709551616</integer >", outOfRange},
        {"<key>a</key><integer>-9223372036854775809</integer>", outOfRange},
        {"<key>a</key><integer>12abc</integer>", "refused: the integer at a is not a number"},
        // Character data and comments inside a text stay text.
        {"<key>a</key><string>&amp;&lt;&#x41;&#66;<!-- c --><![CDATA[<y>&amp;]]></string>",
         "{a=&<AB<y>&amp;}"},
        {"<key>a</key><string>&am<!-- -->p;</string>", "none"},
        {"<key>a</key><string>x</string  ><key>b</key><string>y</stringy></string>", "none"},
        {"<key>a</key><dict></array>", "none"},
        {"<key>a</key><plist><true/></plist>", "none"},
        {"<key>a</key><unknown/>", "none"},
        {"<key>a</key><string>x<br/></string>", "none"},
        {"<key>a</key>" + arrays(511), "{a=?}"},
        {"<key>a</key>" + arrays(512), "refused: the profile nests deeper than 512 levels"},
        {"<key>s</key><dict><key>k</key><array><true/><string>ab&#x0;c</string></array></dict>",
         "refused: the text at s/k/1 holds U+0000"},
        {"<key>a&#00;b</key><string>x</string>", "refused: a key in the top level holds U+0000"},
        {"<key>a</key><string>ab\0c</string>"s, "refused: the text at a holds U+0000"},
        {"<!-- \0 --><key>a</key><true/>"s, "refused: the profile holds U+0000"},
        // The library writes a reference to a surrogate as three bytes that are no UTF-8: a
        // passphrase written as a pair of them (as writers that think in UTF-16 write a key
        // symbol) would not arrive as written. References are read as the library reads them,
        // sign and blanks included.
        {"<key>a</key><string>pass&#+57343;word</string>", surrogate},
        {"<key>a</key><string>pass&#x 0dc00;word</string>", surrogate},
        {"<key>seed-config</key><dict><key>reg&#xDBFF;</key><string>v</string></dict>",
         "refused: a key in seed-config holds a reference to a surrogate"},
        {"<key>a</key><string>&#x1F511; &#xD7FF;&#xE000;</string>", "{a=\U0001F511 \uD7FF\uE000}"},
        {"<key>encryption-key</key><string>&#x110000;</string>", "none"},
    };
    for (const auto& [entries, expected] : cases) {
        EXPECT_EQ(outcomeOf(xmlProfile(entries)), expected) << entries.substr(0, 80);
    }
}

// Whole files. Markup that the scan and the library could read differently must not get past
// the scan: a quoted ">" in the document type or a declaration left open once hid 100,000
// nested arrays from the nesting bound, and the library's recursive parser then crashed on them.
// U+0000 refuses a file that is otherwise read as a property list, and only such a file: other
// bytes holding it are no profile, so that the next one is tried.
TEST(PropertyList, DocumentsAreReadAsTheLibraryReadsThem) {
    const std::string deep = "<plist><dict><key>a</key>" + arrays(100000) + "</dict></plist>]]>";
    const std::string cases[][2] = {
        {R"(<!DOCTYPE plist "> <![CDATA[ ">)" + deep, "none"},
        {R"(<!DOCTYPE plist [ <!ENTITY x "y"> ]>)" + deep, "none"},
        {R"(<!ENTITY x "y">)" + deep, "none"},
        {"<?unclosed " + deep, "none"},
        // The library takes only a double quote for one.
        {R"(<!DOCTYPE x '"'><!-- " > <dict><key>a</key>)" + arrays(100000) + "</dict> -->", "none"},
        {R"(<!DOCTYPE plist PUBLIC "-//A B//EN" "http://x/y.dtd"><plist><dict/></plist>)", "{}"},
        {"<plist><array><dict/></array></plist>", "none"},
        {"<plist><dict/><key>a</key><true/></plist>", "none"},
        {"<plist><dict/>", "none"},
        {"<dict><key>a</key><string>x</string></dict> trailing <", "{a=x}"},
        {"garbage\0\1"s, "none"},
        {xmlProfile("<key>a</key><string>\0</string><key>b</key>"s),
         "refused: the text at a holds U+0000"},
        {"<dict><key>a</key><true/></dict>\0"s, "refused: the profile holds U+0000"},
        {"<!DOCTYPE x [\0]><dict/>"s, "refused: the profile holds U+0000"},
        {binary([](auto& b) {
             const auto nulText = b.utf16(std::u16string(u"a\0b", 3));
             return b.dictionary({b.ascii("a"), b.array({})}, {nulText, nulText});
         }),
         "none"},
        // {"a": [text, date]}, the date being the text's last nine bytes: dates reach the library
        // numbered, so the text would reach it other than it was checked.
        {"bplist00\xD1\x01\x02\x51"
         "a\xA2\x03\x04\x59"
         "3AAAAAAAA\x08\x0B\x0D\x10\x11\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x05\0\0\0\0\0\0\0\0"
         "\0\0\0\0\0\0\0\x1A"s,
         "none"},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(outcomeOf(bytes), expected) << bytes.substr(0, 60);
    }
}

} // namespace
} // namespace talvo
