// Time to read hostile managed-preferences files of 16 KiB, 256 KiB and 1 MiB, as time per byte
// relative to the 16 KiB file of the same shape. Reading must stay linear: target <= 2x.
#include "platform/PropertyList.h"
#include "tests/platform/BinaryPlistBuilder.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using talvo::testing::BinaryPlistBuilder;

// One long key shared by many one-entry dictionaries: each use of the key once meant scanning
// the whole key again.
std::string sharedLongKey(std::size_t size) {
    BinaryPlistBuilder builder;
    const auto key = builder.utf16(std::u16string(size / 4, u'k'));
    const auto value = builder.ascii("v");
    std::vector<BinaryPlistBuilder::Reference> dictionaries;
    for (std::size_t bytes = size / 2; bytes < size; bytes += 22) {
        dictionaries.push_back(builder.dictionary({key}, {value}));
    }
    const auto name = builder.ascii("a");
    return builder.bytes(builder.dictionary({name}, {builder.array(dictionaries)}));
}

// As many small values as fit, each read in full.
std::string manySmallValues(std::size_t size) {
    BinaryPlistBuilder builder;
    std::vector<BinaryPlistBuilder::Reference> items;
    for (std::size_t bytes = 0; bytes < size; bytes += 13) {
        items.push_back(builder.ascii(std::to_string(bytes % 1000)));
    }
    const auto name = builder.ascii("a");
    return builder.bytes(builder.dictionary({name}, {builder.array(items)}));
}

// Nested arrays just under the nesting limit, repeated.
std::string nestedXml(std::size_t size) {
    std::string text = R"(<?xml version="1.0"?><plist version="1.0"><dict><key>a</key><array>)";
    std::string nested;
    for (int level = 0; level < 500; ++level) {
        nested += "<array>";
    }
    for (int level = 0; level < 500; ++level) {
        nested += "</array>";
    }
    while (text.size() + nested.size() < size) {
        text += nested;
    }
    return text + "</array></dict></plist>";
}

double secondsPerByte(const std::string& bytes) {
    constexpr int kRounds = 5;
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const auto reading = talvo::examinePropertyList(bytes);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
        if (!reading.dictionary && !reading.refusal) {
            std::printf("  (read as no property list)\n");
        }
    }
    return best / static_cast<double>(bytes.size());
}

} // namespace

int main() {
    const struct {
        const char* name;
        std::function<std::string(std::size_t)> make;
    } shapes[] = {{"shared long key (binary)", sharedLongKey},
                  {"many small values (binary)", manySmallValues},
                  {"nesting near the limit (XML)", nestedXml}};
    for (const auto& shape : shapes) {
        std::printf("%s\n", shape.name);
        const auto baseline = secondsPerByte(shape.make(16 << 10));
        for (const std::size_t size :
             {std::size_t{16} << 10, std::size_t{256} << 10, std::size_t{1} << 20}) {
            const auto bytes = shape.make(size);
            const auto perByte = secondsPerByte(bytes);
            std::printf("  %7zu KiB  %8.2f ms  %.2fx per byte vs 16 KiB\n", bytes.size() >> 10,
                        perByte * static_cast<double>(bytes.size()) * 1e3, perByte / baseline);
        }
    }
}
