#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Binary property lists put together object by object, for shapes no ordinary writer produces:
// deep nesting, shared objects, loops, texts holding U+0000, integers wider than 64 bits.
namespace talvo::test {

class BinaryPlistBuilder {
  public:
    using Reference = std::uint32_t;

    // Offsets and references of 1 to 8 bytes; the format allows each width.
    explicit BinaryPlistBuilder(unsigned offsetSize = 4, unsigned referenceSize = 4)
        : offsetSize_(offsetSize), referenceSize_(referenceSize) {}

    Reference ascii(std::string_view text) {
        return add(counted(0x5, text.size()) + std::string(text));
    }
    Reference utf16(std::u16string_view text) {
        std::string bytes = counted(0x6, text.size());
        for (const char16_t unit : text) {
            bytes += static_cast<char>(unit >> 8);
            bytes += static_cast<char>(unit & 0xFF);
        }
        return add(bytes);
    }
    // Sixteen bytes: high then low 64 bits.
    Reference wideInteger(std::uint64_t high, std::uint64_t low) {
        return add("\x14" + bigEndian(high, 8) + bigEndian(low, 8));
    }
    Reference date(double secondsFrom2001) {
        return add("\x33" + bigEndian(std::bit_cast<std::uint64_t>(secondsFrom2001), 8));
    }
    Reference array(const std::vector<Reference>& items) {
        return add(counted(0xA, items.size()) + references(items));
    }
    Reference dictionary(const std::vector<Reference>& keys, const std::vector<Reference>& values) {
        return add(counted(0xD, keys.size()) + references(keys) + references(values));
    }
    // An object whose content is filled in later, so that references can point forward.
    Reference reserve() { return add({}); }
    void fill(Reference object, Reference copyOf) { objects_[object] = objects_[copyOf]; }

    std::string bytes(Reference top) const {
        std::string file = "bplist00";
        std::string table;
        for (const auto& object : objects_) {
            table += bigEndian(file.size(), offsetSize_);
            file += object;
        }
        const auto tableOffset = file.size();
        file += table;
        file += std::string(6, '\0') + static_cast<char>(offsetSize_) +
                static_cast<char>(referenceSize_);
        file += bigEndian(objects_.size(), 8) + bigEndian(top, 8) + bigEndian(tableOffset, 8);
        return file;
    }

  private:
    static std::string bigEndian(std::uint64_t value, unsigned width) {
        std::string bytes(width, '\0');
        for (unsigned index = 0; index < width; ++index) {
            bytes[width - 1 - index] = static_cast<char>(value >> (8 * index) & 0xFF);
        }
        return bytes;
    }
    std::string references(const std::vector<Reference>& objects) const {
        std::string bytes;
        for (const auto object : objects) {
            bytes += bigEndian(object, referenceSize_);
        }
        return bytes;
    }
    static std::string counted(unsigned kind, std::size_t count) {
        if (count < 15) {
            return std::string(1, static_cast<char>(kind << 4 | count));
        }
        return std::string(1, static_cast<char>(kind << 4 | 0xF)) + "\x13" + bigEndian(count, 8);
    }
    Reference add(std::string object) {
        objects_.push_back(std::move(object));
        return static_cast<Reference>(objects_.size() - 1);
    }

    unsigned offsetSize_;
    unsigned referenceSize_;
    std::vector<std::string> objects_;
};

} // namespace talvo::test
