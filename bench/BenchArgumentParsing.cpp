// A catalogue of command lines that drive every branch of Setup's word rules (splitting at "=",
// trimming, case mapping, canonical equivalence, truth words) and of the passphrase's check
// (user-perceived characters), each parsed and checked at 16 KiB and at 1 MiB in the same run.
// Prints the time per byte of both and their ratio: reading them must stay linear (target <= 2x),
// since whoever starts Setup as root chooses its words.
//
// bench_argument_parsing [WORDS] measures only the shapes whose name holds WORDS.
#include "bench/Catalogue.h"
#include "exec/Error.h"
#include "setup/ArgumentParser.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using talvo::bench::filled;

using Words = std::vector<std::string>;

struct Shape {
    std::string name;
    std::function<Words(std::size_t)> make;
};

// Combining marks in the reverse of their canonical order: putting them in order is the costly
// part of normalization.
std::string marks(std::size_t size) {
    return filled("\u0301", size / 2) + filled("\u0316", size / 2);
}

// One word, made of what fills the given size.
Shape oneWord(std::string name, std::function<std::string(std::size_t)> word) {
    return {std::move(name), [word](std::size_t size) { return Words{word(size)}; }};
}

// The same word again and again.
Shape manyWords(std::string name, std::string word) {
    return {std::move(name),
            [word](std::size_t size) { return Words(size / (word.size() + 1), word); }};
}

std::vector<Shape> shapes() {
    return {
        oneWord("key of combining marks",
                [](auto size) { return "REG_TOKEN" + marks(size) + "=t"; }),
        oneWord("value of combining marks",
                [](auto size) { return "ENCRYPTION_KEY=" + marks(size); }),
        oneWord("truth word of combining marks",
                [](auto size) { return "CLEAN_INSTALL=yes" + marks(size); }),
        oneWord("key of KELVIN SIGNs", [](auto size) { return filled("\u212A", size) + "=v"; }),
        oneWord("key that lower- and upper-cases longer",
                [](auto size) { return filled("\u00DF\u0130", size) + "=v"; }),
        oneWord("one word without =", [](auto size) { return filled("a", size); }),
        oneWord("= left open", [](auto size) { return filled("=", size); }),
        oneWord("blanks around a value",
                [](auto size) {
                    return "REG_TOKEN=" + filled(" \t\u3000", size) + "t" + filled(" \n", size);
                }),
        oneWord("passphrase of Hangul syllables in jamo",
                [](auto size) { return "ENCRYPTION_KEY=" + filled("\u1100\u1161\u11A8", size); }),
        oneWord("passphrase of regional indicators",
                [](auto size) { return "ENCRYPTION_KEY=" + filled("\U0001F1E9\U0001F1EA", size); }),
        oneWord("passphrase of emoji joined by ZWJ",
                [](auto size) { return "ENCRYPTION_KEY=" + filled("\U0001F469\u200D", size); }),
        manyWords("many words", "REG_TOKEN=abcdef"),
        manyWords("many truth words", "clean_install=YES"),
        manyWords("many empty words", ""),
        manyWords("many words without a value", "REG_SERVICE="),
    };
}

std::size_t bytesOf(const Words& words) {
    std::size_t bytes = 0;
    for (const auto& word : words) {
        bytes += word.size() + 1; // and the NUL that ends it in the argument vector
    }
    return bytes;
}

// As Setup reads its words: parsed, then checked.
void read(const Words& words) {
    try {
        talvo::ArgumentParser::parse(words).validate();
    } catch (const talvo::Error&) {
    }
}

} // namespace

int main(int argc, char** argv) {
    auto catalogue = shapes();
    if (argc == 2) {
        std::erase_if(catalogue, [&](const Shape& shape) {
            return shape.name.find(argv[1]) == std::string::npos;
        });
    }
    std::printf("%-42s %10s %10s %7s\n", "shape", "16 KiB", "1 MiB", "ratio");
    std::printf("%-42s %10s %10s %7s\n", "", "ns/byte", "ns/byte", "");
    double worst = 0;
    for (const auto& shape : catalogue) {
        const auto small = shape.make(std::size_t{16} << 10);
        const auto large = shape.make(std::size_t{1} << 20);
        const double smallCost = talvo::bench::secondsPerByte(bytesOf(small), [&] { read(small); });
        const double largeCost = talvo::bench::secondsPerByte(bytesOf(large), [&] { read(large); });
        worst = std::max(worst, largeCost / smallCost);
        std::printf("%-42s %10.2f %10.2f %6.2fx\n", shape.name.c_str(), smallCost * 1e9,
                    largeCost * 1e9, largeCost / smallCost);
        std::fflush(stdout);
    }
    std::printf("largest ratio: %.2fx (target <= 2x)\n", worst);
}
