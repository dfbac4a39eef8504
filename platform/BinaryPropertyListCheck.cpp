#include "platform/BinaryPropertyListCheck.h"

#include <cstdint>
#include <optional>

namespace talvo {

namespace {

// Reads a binary property list just far enough to find the dictionary keys.
class BinaryKeyCheck {
  public:
    explicit BinaryKeyCheck(std::string_view bytes) : bytes_(bytes) {}

    bool hasKeyWithNulCharacter() const {
        constexpr std::size_t kTrailerSize = 32;
        if (bytes_.size() < 8 + kTrailerSize || bytes_.substr(0, 8) != "bplist00") {
            return false;
        }
        const auto trailer = bytes_.size() - kTrailerSize;
        const auto offsetSize = number(trailer + 6, 1).value_or(0);
        const auto referenceSize = number(trailer + 7, 1).value_or(0);
        const auto objectCount = number(trailer + 8, 8).value_or(0);
        const auto table = number(trailer + 24, 8).value_or(trailer);
        if (offsetSize == 0 || offsetSize > 8 || referenceSize == 0 || referenceSize > 8 ||
            table >= trailer || objectCount > (trailer - table) / offsetSize) {
            return false; // the library refuses such a file anyway
        }
        for (std::uint64_t object = 0; object < objectCount; ++object) {
            const auto offset = number(table + object * offsetSize, offsetSize);
            const auto dictionary = offset ? sized(*offset, 0xD) : std::nullopt;
            if (!dictionary) {
                continue;
            }
            for (std::uint64_t index = 0; index < dictionary->count; ++index) {
                const auto reference =
                    number(dictionary->start + index * referenceSize, referenceSize);
                if (!reference) {
                    break;
                }
                const auto keyOffset = *reference < objectCount
                                           ? number(table + *reference * offsetSize, offsetSize)
                                           : std::nullopt;
                if (keyOffset && isUtf16WithNul(*keyOffset)) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    struct Sized {
        std::uint64_t count;
        std::uint64_t start;
    };

    // The big-endian number of width bytes at offset.
    std::optional<std::uint64_t> number(std::uint64_t offset, std::uint64_t width) const {
        if (offset > bytes_.size() || width > bytes_.size() - offset) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::uint64_t index = 0; index < width; ++index) {
            value = value << 8 | static_cast<unsigned char>(bytes_[offset + index]);
        }
        return value;
    }

    // The element count and first element of the object at offset, if it is of the given kind.
    std::optional<Sized> sized(std::uint64_t offset, unsigned kind) const {
        const auto marker = number(offset, 1);
        if (!marker || *marker >> 4 != kind) {
            return std::nullopt;
        }
        if ((*marker & 0xF) != 0xF) {
            return Sized{*marker & 0xF, offset + 1};
        }
        const auto countMarker = number(offset + 1, 1);
        if (!countMarker || *countMarker >> 4 != 0x1 || (*countMarker & 0xF) > 3) {
            return std::nullopt;
        }
        const auto width = std::uint64_t{1} << (*countMarker & 0xF);
        const auto count = number(offset + 2, width);
        return count ? std::optional<Sized>(Sized{*count, offset + 2 + width}) : std::nullopt;
    }

    bool isUtf16WithNul(std::uint64_t offset) const {
        const auto text = sized(offset, 0x6);
        if (!text) {
            return false;
        }
        for (std::uint64_t index = 0; index < text->count; ++index) {
            const auto unit = number(text->start + index * 2, 2);
            if (!unit) {
                return false;
            }
            if (*unit == 0) {
                return true;
            }
        }
        return false;
    }

    std::string_view bytes_;
};

} // namespace

bool hasBinaryKeyWithNulCharacter(std::string_view bytes) {
    return BinaryKeyCheck(bytes).hasKeyWithNulCharacter();
}

} // namespace talvo
