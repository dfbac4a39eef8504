// A catalogue of property-list shapes that drive every branch of the pre-checks and of the
// library, each read through examinePropertyList at 16 KiB and at 1 MiB in the same run. Prints
// the time per byte of both and their ratio: reading must stay linear (target <= 2x). The
// allocator keeps freed memory between rounds, as it does for the small files anyway, so that
// the kernel's page faults (costly on virtual machines) do not count against the large ones.
//
// bench_property_list [WORDS] measures only the shapes whose name holds WORDS.
//
// bench_property_list --once SIZE WORDS reads those shapes once at about SIZE bytes, for counting
// instructions: valgrind --tool=callgrind --toggle-collect='*examinePropertyList*'.
//
// bench_property_list --seeds FOLDER SIZE writes every shape at about SIZE bytes into FOLDER, for
// the fuzzer's corpus.
#include "bench/Catalogue.h"
#include "format/PropertyList.h"
#include "tests/format/BinaryPlistBuilder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using talvo::bench::filled;

using talvo::test::BinaryPlistBuilder;
using Make = std::function<std::string(std::size_t)>;

struct Shape {
    std::string name;
    Make make;
};

constexpr std::string_view kProlog =
    R"(<?xml version="1.0" encoding="UTF-8"?><!DOCTYPE plist PUBLIC "-//A B//DTD PLIST 1.0//EN" )"
    R"("http://www.example.com/DTDs/PropertyList-1.0.dtd"><plist version="1.0">)";

// A profile whose key "a" holds what the body makes.
Make profile(std::function<std::string(std::size_t)> body) {
    return [body](std::size_t size) {
        return std::string(kProlog) + "<dict><key>a</key>" + body(size) + "</dict></plist>";
    };
}

Make repeatedIn(std::string before, std::string unit, std::string after) {
    return profile([=](std::size_t size) { return before + filled(unit, size) + after; });
}

// Keys made by name(index, size) with <true/>, as many as fit.
Make keys(std::function<std::string(std::size_t, std::size_t)> name) {
    return profile([name](std::size_t size) {
        std::string body = "<true/>";
        for (std::size_t index = 0; body.size() < size; ++index) {
            body += "<key>" + name(index, size) + "</key><true/>";
        }
        return body;
    });
}

std::string numbered(std::size_t index, std::size_t) {
    return "k" + std::to_string(index);
}

// Keys that all fall into one bucket of a table hashed with djb2, as the library's is.
std::string collidingKey(std::size_t index, std::size_t) {
    std::string key;
    for (int bit = 0; bit < 14; ++bit, index >>= 1) {
        key += index & 1 ? "b " : "aA";
    }
    return key;
}

// ASCII text as UTF-16 with a byte-order mark.
std::string utf16(std::string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char character : text) {
        bytes += bigEndian ? std::string{'\0', character} : std::string{character, '\0'};
    }
    return bytes;
}

Make converted(Make make, std::function<std::string(std::string)> convert) {
    return [make, convert](std::size_t size) { return convert(make(size)); };
}

// A binary profile {"a": value}, the value made from the builder for a file of about size bytes.
Make binary(std::function<BinaryPlistBuilder::Reference(BinaryPlistBuilder&, std::size_t)> value,
            unsigned width = 4) {
    return [value, width](std::size_t size) {
        BinaryPlistBuilder builder(width, width);
        const auto made = value(builder, size);
        return builder.bytes(builder.dictionary({builder.ascii("a")}, {made}));
    };
}

// An array of count objects, each made by item(index).
template <typename Item>
BinaryPlistBuilder::Reference arrayOf(BinaryPlistBuilder& builder, std::size_t count, Item item) {
    std::vector<BinaryPlistBuilder::Reference> items;
    for (std::size_t index = 0; index < count; ++index) {
        items.push_back(item(index));
    }
    return builder.array(items);
}

std::vector<Shape> xmlShapes() {
    std::vector<Shape> shapes;
    for (const std::string name :
         {"key", "string", "integer", "real", "date", "data", "true", "dict", "array", "plist"}) {
        shapes.push_back(
            {"<" + name + "> left open, repeated", repeatedIn("", "<" + name + ">", "")});
        shapes.push_back(
            {"<" + name + "/> siblings", repeatedIn("<array>", "<" + name + "/>", "</array>")});
    }
    for (const std::string value :
         {"<string>x</string>", "<integer>12345</integer>", "<real>1.5</real>",
          "<date>2024-01-02T03:04:05Z</date>", "<data>AAAA</data>", "<false/>"}) {
        shapes.push_back({"siblings " + value, repeatedIn("<array>", value, "</array>")});
    }
    const std::vector<Shape> more = {
        {"nesting at the bound, repeated",
         repeatedIn("<array>", filled("<array>", 3500) + filled("</array>", 4000), "</array>")},
        {"many keys", keys(numbered)},
        {"one key given again and again",
         keys([](std::size_t, std::size_t) { return std::string("k"); })},
        {"half the keys, then the last again", keys([](std::size_t index, std::size_t size) {
             return numbered(std::min(index, size / 40), size);
         })},
        {"keys colliding in a djb2 table", keys(collidingKey)},
        {"one long text", repeatedIn("<string>", "x", "</string>")},
        {"one long key", profile([](std::size_t size) {
             return "<dict><key>" + filled("k", size) + "</key><true/></dict>";
         })},
        {"long integer of zeros", repeatedIn("<integer>", "0", "1</integer>")},
        {"&amp; in a text", repeatedIn("<string>", "&amp;", "</string>")},
        {"&#x41; in a text", repeatedIn("<string>", "&#x41;", "</string>")},
        {"&#65;x in a text", repeatedIn("<string>", "&#65;x", "</string>")},
        {"& without ; in a text", repeatedIn("<string>", "&", "</string>")},
        {"&# without ; in a text", repeatedIn("<string>", "&#", "</string>")},
        {"; without & in a text", repeatedIn("<string>", "a;", "</string>")},
        {"&#0; in a text", repeatedIn("<string>", "&#0;", "</string>")},
        {"empty comments in a text", repeatedIn("<string>", "x<!---->", "</string>")},
        {"empty comments between values", repeatedIn("<true/>", "<!---->", "")},
        {"one huge comment", repeatedIn("<!--", "x", "--><true/>")},
        {"<!-- left open, repeated", repeatedIn("", "<!--", "")},
        {"empty CDATA in a text", repeatedIn("<string>", "<![CDATA[]]>", "</string>")},
        {"one huge CDATA", repeatedIn("<string><![CDATA[", "x", "]]></string>")},
        {"<![CDATA[ left open, repeated", repeatedIn("<string>", "<![CDATA[", "</string>")},
        {"CDATA between values", repeatedIn("<true/>", "<![CDATA[x]]>", "")},
        {"instructions", repeatedIn("", "<?x?>", "<true/>")},
        {"one huge instruction", repeatedIn("<?x ", "y", "?><true/>")},
        {"quotes in an instruction", repeatedIn("<?x ", "\"?>\" ", "?><true/>")},
        {"<? left open, repeated", repeatedIn("", "<?", "")},
        {"instruction with a quote left open", repeatedIn("<?x \"", "?>", "")},
        {"document types between values", repeatedIn("", "<!DOCTYPE plist>", "<true/>")},
        {"one huge document type", repeatedIn("<!DOCTYPE plist \"", "x", "\"><true/>")},
        {"empty document types", repeatedIn("", "<!DOCTYPE >", "<true/>")},
        {"<!DOCTYPE left open, repeated", repeatedIn("", "<!DOCTYPE ", "")},
        {"document type with an internal subset",
         repeatedIn("<!DOCTYPE x [", "<!ENTITY x \"y\">", "]><true/>")},
        {"attributes", repeatedIn("<array>", R"(<true a="x" b=">"/>)", "</array>")},
        {"one huge attribute", repeatedIn("<string a=\"", "x", "\">v</string>")},
        {"attribute quote left open", repeatedIn("<string a=\"", "<string>", "")},
        {"white space between values", repeatedIn("", " \t\r\n", "<true/>")},
        {"text between values", repeatedIn("<true/>", "x", "")},
        {"end tags with space", repeatedIn("<array>", "<string>x</string \n>", "</array>")},
    };
    shapes.insert(shapes.end(), more.begin(), more.end());
    const auto many = keys(numbered);
    const auto entities = repeatedIn("<string>", "&#x41;&amp;", "</string>");
    shapes.push_back({"many keys, UTF-8 with a byte-order mark",
                      converted(many, [](std::string text) { return "\xEF\xBB\xBF" + text; })});
    for (const bool bigEndian : {false, true}) {
        const std::string order = bigEndian ? "big" : "little";
        const auto toUtf16 = [bigEndian](std::string text) { return utf16(text, bigEndian); };
        shapes.push_back({"many keys, UTF-16 " + order + "-endian", converted(many, toUtf16)});
        shapes.push_back({"references, UTF-16 " + order + "-endian", converted(entities, toUtf16)});
    }
    shapes.push_back(
        {"Latin-1 texts",
         converted(repeatedIn("<string>", "caf\xE9 ", "</string>"), [](std::string text) {
             return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + text.substr(38);
         })});
    return shapes;
}

std::vector<Shape> binaryShapes() {
    return {
        {"binary: one long key shared by many dictionaries",
         binary([](BinaryPlistBuilder& b, std::size_t size) {
             const auto key = b.utf16(std::u16string(size / 4, u'k'));
             const auto value = b.ascii("v");
             return arrayOf(b, size / 44,
                            [&](std::size_t) { return b.dictionary({key}, {value}); });
         })},
        {"binary: many small values", binary([](BinaryPlistBuilder& b, std::size_t size) {
             return arrayOf(b, size / 13, [&](std::size_t index) {
                 return b.ascii(std::to_string(index % 1000));
             });
         })},
        {"binary: many references to one object",
         binary([](BinaryPlistBuilder& b, std::size_t size) {
             const auto shared = b.ascii("x");
             return arrayOf(b, size / 4, [&](std::size_t) { return shared; });
         })},
        {"binary: copies doubling", binary([](BinaryPlistBuilder& b, std::size_t size) {
             auto doubled = b.ascii("x");
             for (std::size_t bytes = 0; bytes < size; bytes += 9) {
                 doubled = b.array({doubled, doubled});
             }
             return doubled;
         })},
        {"binary: many values at the nesting bound",
         binary([](BinaryPlistBuilder& b, std::size_t size) {
             auto inner = arrayOf(b, size / 10, [&](std::size_t) { return b.ascii("x"); });
             for (int level = 0; level < 500; ++level) {
                 inner = b.array({inner});
             }
             return inner;
         })},
        {"binary: 8-byte offsets and references",
         binary(
             [](BinaryPlistBuilder& b, std::size_t size) {
                 return arrayOf(b, size / 26, [&](std::size_t index) {
                     return b.ascii(std::to_string(index % 100));
                 });
             },
             8)},
        {"binary: many keys", binary([](BinaryPlistBuilder& b, std::size_t size) {
             std::vector<BinaryPlistBuilder::Reference> names, values;
             for (std::size_t index = 0; index < size / 24; ++index) {
                 names.push_back(b.ascii("k" + std::to_string(index)));
                 values.push_back(b.ascii("v"));
             }
             return b.dictionary(names, values);
         })},
        {"binary: one key given again and again",
         binary([](BinaryPlistBuilder& b, std::size_t size) {
             std::vector<BinaryPlistBuilder::Reference> names, values;
             for (std::size_t index = 0; index < size / 20; ++index) {
                 names.push_back(b.ascii("k"));
                 values.push_back(b.ascii("v"));
             }
             return b.dictionary(names, values);
         })},
        {"binary: many dates", binary([](BinaryPlistBuilder& b, std::size_t size) {
             return arrayOf(b, size / 13,
                            [&](std::size_t index) { return b.date(static_cast<double>(index)); });
         })},
        {"binary: one odd date, copies doubling",
         binary([](BinaryPlistBuilder& b, std::size_t size) {
             auto doubled = b.date(-3e9 - 0.25);
             for (std::size_t bytes = 0; bytes < size / 16 && bytes < 18 * 9; bytes += 9) {
                 doubled = b.array({doubled, doubled});
             }
             return doubled;
         })},
        {"binary: many integers above 2^63", binary([](BinaryPlistBuilder& b, std::size_t size) {
             return arrayOf(b, size / 21, [&](std::size_t index) {
                 return b.wideInteger(0, ~std::uint64_t{0} - index);
             });
         })},
        {"binary: one long UTF-16 text", binary([](BinaryPlistBuilder& b, std::size_t size) {
             return b.utf16(std::u16string(size / 2, u'\u00e9'));
         })},
    };
}

const char* verdict(const talvo::PropertyListReading& reading) {
    return reading.refusal ? "refused" : reading.dictionary ? "read" : "none";
}

} // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    auto shapes = xmlShapes();
    const auto binaries = binaryShapes();
    shapes.insert(shapes.end(), binaries.begin(), binaries.end());
    if (argc == 2 || (argc == 4 && std::string(argv[1]) == "--once")) {
        std::erase_if(shapes, [&](const Shape& shape) {
            return shape.name.find(argv[argc - 1]) == std::string::npos;
        });
    }
    if (argc == 4 && std::string(argv[1]) == "--once") {
        for (const auto& shape : shapes) {
            const auto bytes = shape.make(std::strtoul(argv[2], nullptr, 10));
            std::printf("%s: %zu bytes, %s\n", shape.name.c_str(), bytes.size(),
                        verdict(talvo::examinePropertyList(bytes)));
        }
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--seeds") {
        for (std::size_t index = 0; index < shapes.size(); ++index) {
            std::string file = std::string(argv[2]) + "/shape-" + std::to_string(index / 10) +
                               std::to_string(index % 10) + "-";
            for (const char character : shapes[index].name) {
                const bool kept = std::isalnum(static_cast<unsigned char>(character)) != 0;
                if (kept || file.back() != '-') {
                    file += kept ? character : '-';
                }
            }
            std::ofstream(file, std::ios::binary)
                << shapes[index].make(std::strtoul(argv[3], nullptr, 10));
        }
        return 0;
    }
    std::printf("%-52s %-8s %10s %10s %7s\n", "shape", "verdict", "16 KiB", "1 MiB", "ratio");
    std::printf("%-52s %-8s %10s %10s %7s\n", "", "", "ns/byte", "ns/byte", "");
    double worst = 0;
    for (const auto& shape : shapes) {
        const auto small = shape.make(std::size_t{16} << 10);
        const auto large = shape.make(std::size_t{1} << 20);
        const double smallCost =
            talvo::bench::secondsPerByte(small.size(), [&] { talvo::examinePropertyList(small); });
        const double largeCost =
            talvo::bench::secondsPerByte(large.size(), [&] { talvo::examinePropertyList(large); });
        worst = std::max(worst, largeCost / smallCost);
        std::printf("%-52s %-8s %10.2f %10.2f %6.2fx\n", shape.name.c_str(),
                    verdict(talvo::examinePropertyList(large)), smallCost * 1e9, largeCost * 1e9,
                    largeCost / smallCost);
        std::fflush(stdout);
    }
    std::printf("largest ratio: %.2fx (target <= 2x)\n", worst);
}
