#include "format/PropertyListScan.h"
#include "format/TextEncoding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace talvo::plistscan {

namespace {

constexpr std::uint64_t kHeaderSize = 8;
constexpr std::uint64_t kTrailerSize = 32;
// Seconds from 2001; beyond about 31,000 years the library's whole-seconds form turns inexact.
constexpr double kMaximumDateSeconds = 1e12;

// The object types that a marker's high four bits name.
constexpr unsigned kSimple = 0x0;
constexpr unsigned kInteger = 0x1;
constexpr unsigned kReal = 0x2;
constexpr unsigned kDate = 0x3;
constexpr unsigned kData = 0x4;
constexpr unsigned kAsciiText = 0x5;
constexpr unsigned kUtf16Text = 0x6;
constexpr unsigned kUid = 0x8;
constexpr unsigned kArray = 0xA;
constexpr unsigned kDictionary = 0xD;

// What an object and everything under it would cost the library once shared objects are copied.
struct Weight {
    std::uint64_t values;
    std::uint64_t bytes;
};

struct Object {
    unsigned kind;
    unsigned info;        // the marker's low four bits
    std::uint64_t count;  // elements, characters or bytes, for the kinds that have a count
    std::uint64_t start;  // first byte after the marker and count
    std::uint64_t offset; // the marker's
    std::uint64_t end;    // just after the object's last byte
};

// An array or dictionary being visited; a dictionary's children are its keys and values in turn.
struct Frame {
    std::uint64_t object;
    Object header;
    std::uint64_t children;
    std::uint64_t next = 0;
    int height = 0;
    Weight weight{1, 1};
};

class Scanner {
  public:
    explicit Scanner(std::string_view bytes) : bytes_(bytes), numbered_(bytes) {}

    PreparedBinary run() {
        auto finding = visit();
        if (finding.verdict == Verdict::pass && !datesStandAlone()) {
            finding = {Verdict::unreadable, {}};
        }
        if (finding.verdict != Verdict::pass) {
            return {std::move(finding), {}, {}};
        }
        return {{}, std::move(numbered_), std::move(dates_)};
    }

  private:
    Finding visit() {
        // A root that is not a dictionary is no profile, whatever it holds.
        if (!readTrailer() || !header(top_) || header(top_)->kind != kDictionary) {
            return {Verdict::unreadable, {}};
        }
        state_.assign(objectCount_, State::unseen);
        height_.assign(objectCount_, 0);
        weight_.assign(objectCount_, Weight{0, 0});
        // Each object counted once is at most the whole file; sums stop just above it plus the
        // copies allowed.
        ceiling_ = Weight{objectCount_ + kMaximumCopiedValues + 1,
                          2 * bytes_.size() + kMaximumCopiedBytes + 1};
        if (auto finding = enter(top_, false); finding.verdict != Verdict::pass) {
            return finding;
        }
        while (!stack_.empty()) {
            auto& frame = stack_.back();
            if (frame.next == frame.children) {
                finish();
                continue;
            }
            const auto position = frame.next++;
            const bool isKey = frame.header.kind == kDictionary && position % 2 == 0;
            const auto reference = childReference(frame, position);
            if (!reference) {
                return {Verdict::unreadable, {}};
            }
            if (auto finding = enter(*reference, isKey); finding.verdict != Verdict::pass) {
                return finding;
            }
        }
        if (weight_[top_].values - own_.values > kMaximumCopiedValues ||
            weight_[top_].bytes - own_.bytes > kMaximumCopiedBytes) {
            return refused("the profile expands by more than " +
                           std::to_string(kMaximumCopiedValues) + " values or " +
                           std::to_string(kMaximumCopiedBytes) + " bytes");
        }
        return valueFinding_;
    }

    enum class State : std::uint8_t { unseen, open, done };

    static Finding refused(std::string reason) { return {Verdict::refused, std::move(reason)}; }

    // The big-endian number of width bytes at offset, which must lie before limit.
    std::optional<std::uint64_t> number(std::uint64_t offset, std::uint64_t width,
                                        std::uint64_t limit) const {
        if (width > 8 || offset > limit || width > limit - offset) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::uint64_t index = 0; index < width; ++index) {
            value = value << 8 | static_cast<unsigned char>(bytes_[offset + index]);
        }
        return value;
    }

    bool readTrailer() {
        if (bytes_.size() < kHeaderSize + kTrailerSize) {
            return false;
        }
        const std::uint64_t trailer = bytes_.size() - kTrailerSize;
        const auto end = bytes_.size();
        offsetSize_ = number(trailer + 6, 1, end).value_or(0);
        referenceSize_ = number(trailer + 7, 1, end).value_or(0);
        objectCount_ = number(trailer + 8, 8, end).value_or(0);
        top_ = number(trailer + 16, 8, end).value_or(0);
        table_ = number(trailer + 24, 8, end).value_or(0);
        return offsetSize_ >= 1 && offsetSize_ <= 8 && referenceSize_ >= 1 && referenceSize_ <= 8 &&
               objectCount_ >= 1 && top_ < objectCount_ && table_ >= kHeaderSize &&
               table_ < trailer && objectCount_ <= (trailer - table_) / offsetSize_;
    }

    // The object's marker and count; nothing when they are broken or its content would run into
    // the offset table.
    std::optional<Object> header(std::uint64_t object) const {
        const auto offset = number(table_ + object * offsetSize_, offsetSize_, bytes_.size());
        if (!offset || *offset < kHeaderSize || *offset >= table_) {
            return std::nullopt;
        }
        const auto marker = static_cast<unsigned>(*number(*offset, 1, table_));
        Object result{marker >> 4, marker & 0xF, 0, *offset + 1, *offset, 0};
        std::uint64_t unit = 1;
        switch (result.kind) {
        case kSimple:
            return result.info == 0x8 || result.info == 0x9 ? std::optional(result) : std::nullopt;
        case kInteger:
            result.count = result.info <= 4 ? std::uint64_t{1} << result.info : 0;
            break;
        case kReal:
            result.count =
                result.info == 2 || result.info == 3 ? std::uint64_t{1} << result.info : 0;
            break;
        case kDate:
            result.count = result.info == 3 ? 8 : 0;
            break;
        case kUid:
            result.count = result.info + 1;
            break;
        case kData:
        case kAsciiText:
        case kUtf16Text:
        case kArray:
        case kDictionary:
            if (!readCount(result)) {
                return std::nullopt;
            }
            unit = result.kind == kUtf16Text    ? 2
                   : result.kind == kArray      ? referenceSize_
                   : result.kind == kDictionary ? 2 * referenceSize_
                                                : 1;
            break;
        default:
            return std::nullopt;
        }
        if ((result.count == 0 && result.kind < kData) ||
            result.count > (table_ - result.start) / unit) {
            return std::nullopt;
        }
        result.end = result.start + result.count * unit;
        return result;
    }

    bool readCount(Object& object) const {
        if (object.info != 0xF) {
            object.count = object.info;
            return true;
        }
        const auto marker = number(object.start, 1, table_);
        if (!marker || *marker >> 4 != kInteger || (*marker & 0xF) > 3) {
            return false;
        }
        const auto width = std::uint64_t{1} << (*marker & 0xF);
        const auto count = number(object.start + 1, width, table_);
        if (!count) {
            return false;
        }
        object.count = *count;
        object.start += 1 + width;
        return true;
    }

    std::optional<std::uint64_t> childReference(const Frame& frame, std::uint64_t position) const {
        const auto entries = frame.header.count;
        const auto slot = frame.header.kind == kDictionary
                              ? (position % 2 == 0 ? position / 2 : entries + position / 2)
                              : position;
        const auto reference =
            number(frame.header.start + slot * referenceSize_, referenceSize_, table_);
        if (!reference || *reference >= objectCount_) {
            return std::nullopt;
        }
        return reference;
    }

    // Visits an object met as a child of the innermost frame (or the top object).
    Finding enter(std::uint64_t object, bool isKey) {
        if (state_[object] == State::open) {
            return {Verdict::unreadable, {}};
        }
        if (state_[object] == State::done) {
            if (isKey && !isText(object)) {
                return {Verdict::unreadable, {}};
            }
            if (static_cast<int>(stack_.size()) + height_[object] > kMaximumNesting) {
                return refused(nestingReason());
            }
            addToParent(height_[object], weight_[object]);
            return {};
        }
        const auto found = header(object);
        if (!found || (isKey && found->kind != kAsciiText && found->kind != kUtf16Text)) {
            return {Verdict::unreadable, {}};
        }
        if (found->kind == kArray || found->kind == kDictionary) {
            if (static_cast<int>(stack_.size()) >= kMaximumNesting) {
                return refused(nestingReason());
            }
            state_[object] = State::open;
            own_.values += 1;
            own_.bytes += 1;
            const auto children = found->kind == kDictionary ? 2 * found->count : found->count;
            stack_.push_back(Frame{object, *found, children});
            return {};
        }
        // Findings about values wait until the bytes are known to be a property list.
        if (auto finding = checkLeaf(*found, isKey);
            finding.verdict != Verdict::pass && valueFinding_.verdict == Verdict::pass) {
            valueFinding_ = std::move(finding);
        }
        if (found->kind == kDate) {
            numberDate(*found);
        }
        state_[object] = State::done;
        weight_[object] = Weight{1, 1 + found->count};
        own_.values += 1;
        own_.bytes += 1 + found->count;
        addToParent(0, weight_[object]);
        return {};
    }

    // The date's seconds go to the table; its place there, to the bytes the library reads.
    void numberDate(const Object& date) {
        dateOffsets_.push_back(date.offset);
        const auto place = std::bit_cast<std::uint64_t>(static_cast<double>(dates_.size()));
        dates_.push_back(std::bit_cast<double>(*number(date.start, 8, table_)));
        for (std::size_t index = 0; index < 8; ++index) {
            numbered_[date.start + index] = static_cast<char>(place >> (56 - 8 * index));
        }
    }

    // Numbered dates must hold bytes of their own: an object reached that shares some would
    // reach the library other than it was checked. Writers never let objects overlap.
    bool datesStandAlone() {
        if (dateOffsets_.empty()) {
            return true;
        }
        std::sort(dateOffsets_.begin(), dateOffsets_.end());
        constexpr std::uint64_t kDateSize = 9;
        for (std::uint64_t object = 0; object < objectCount_; ++object) {
            const auto found = state_[object] == State::done ? header(object) : std::nullopt;
            if (!found) {
                continue;
            }
            const auto reach = found->offset < kDateSize ? 0 : found->offset - (kDateSize - 1);
            for (auto date = std::lower_bound(dateOffsets_.begin(), dateOffsets_.end(), reach);
                 date != dateOffsets_.end() && *date < std::max(found->end, found->offset + 1);
                 ++date) {
                if (*date != found->offset) {
                    return false;
                }
            }
        }
        return true;
    }

    bool isText(std::uint64_t object) const {
        const auto found = header(object);
        return found && (found->kind == kAsciiText || found->kind == kUtf16Text);
    }

    Finding checkLeaf(const Object& object, bool isKey) const {
        switch (object.kind) {
        case kInteger:
            // Sixteen bytes hold the unsigned values above 2^63-1; more than 64 bits of them
            // would be cut.
            if (object.count == 16 && *number(object.start, 8, table_) != 0) {
                return refused("the integer at " + pathText(false) + " is out of range");
            }
            return {};
        case kDate: {
            const auto seconds = std::bit_cast<double>(*number(object.start, 8, table_));
            if (!std::isfinite(seconds) || std::fabs(seconds) > kMaximumDateSeconds) {
                return refused("the date at " + pathText(false) + " is out of range");
            }
            return {};
        }
        case kAsciiText:
        case kUtf16Text:
            // The library cuts a text at U+0000 and drops surrogates that are not paired, so
            // "reg-token" and "reg-token" with one behind it would read as the same key.
            if (holdsNul(object)) {
                return refusedText(isKey, "U+0000");
            }
            if (object.kind == kUtf16Text && holdsUnpairedSurrogate(object)) {
                return refusedText(isKey, "an unpaired surrogate");
            }
            return {};
        default:
            return {};
        }
    }

    Finding refusedText(bool isKey, const std::string& what) const {
        return refused(isKey ? "a key in " + pathText(true) + " holds " + what
                             : "the text at " + pathText(false) + " holds " + what);
    }

    bool holdsUnpairedSurrogate(const Object& object) const {
        const auto text = bytes_.substr(object.start, object.count * 2);
        const auto unit = [&text](std::size_t index) {
            return static_cast<unsigned>(static_cast<unsigned char>(text[index]) << 8 |
                                         static_cast<unsigned char>(text[index + 1]));
        };
        const auto isLow = [](unsigned value) { return value >= 0xDC00 && value <= 0xDFFF; };
        for (std::size_t index = 0; index < text.size(); index += 2) {
            const unsigned value = unit(index);
            if (isLow(value)) {
                return true;
            }
            if (value >= 0xD800 && value <= 0xDBFF) {
                if (index + 2 >= text.size() || !isLow(unit(index + 2))) {
                    return true;
                }
                index += 2;
            }
        }
        return false;
    }

    bool holdsNul(const Object& object) const {
        const auto width = object.kind == kUtf16Text ? 2 : 1;
        const auto text = bytes_.substr(object.start, object.count * width);
        for (std::size_t index = 0; index < text.size(); index += width) {
            if (text[index] == '\0' && (width == 1 || text[index + 1] == '\0')) {
                return true;
            }
        }
        return false;
    }

    // Sums stop at the ceiling, so they cannot overflow however much is shared.
    void addToParent(int height, Weight weight) {
        if (stack_.empty()) {
            return;
        }
        auto& parent = stack_.back();
        parent.height = std::max(parent.height, height + 1);
        parent.weight.values = std::min(parent.weight.values + weight.values, ceiling_.values);
        parent.weight.bytes = std::min(parent.weight.bytes + weight.bytes, ceiling_.bytes);
    }

    void finish() {
        const auto frame = stack_.back();
        stack_.pop_back();
        state_[frame.object] = State::done;
        height_[frame.object] = frame.height;
        weight_[frame.object] = frame.weight;
        addToParent(frame.height, frame.weight);
    }

    std::string nestingReason() const {
        return "the profile nests deeper than " + std::to_string(kMaximumNesting) + " levels";
    }

    // The keys and indexes that lead to the child being visited; without the last key when the
    // child is itself a key.
    std::string pathText(bool childIsKey) const {
        std::string path;
        for (std::size_t level = 0; level < stack_.size(); ++level) {
            const auto& frame = stack_[level];
            const auto position = frame.next - 1;
            if (frame.header.kind == kArray) {
                appendPathPart(path, std::to_string(position));
                continue;
            }
            if (level + 1 == stack_.size() && childIsKey) {
                break;
            }
            appendPathPart(path, keyText(*childReference(frame, position - position % 2)));
        }
        return path.empty() ? "the top level" : path;
    }

    std::string keyText(std::uint64_t object) const {
        const auto found = header(object);
        if (!found) {
            return "?";
        }
        if (found->kind == kAsciiText) {
            return std::string(bytes_.substr(found->start, found->count));
        }
        return encoding::utf16ToUtf8(bytes_.substr(found->start, found->count * 2), true)
            .value_or("?");
    }

    std::string_view bytes_;
    std::uint64_t offsetSize_ = 0;
    std::uint64_t referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t table_ = 0;
    std::vector<State> state_;
    std::vector<int> height_;
    std::vector<Weight> weight_;
    // Every object reached, counted once; and the ceiling of the sums.
    Weight own_{0, 0};
    Weight ceiling_{0, 0};
    std::vector<Frame> stack_;
    Finding valueFinding_;
    std::string numbered_;
    std::vector<double> dates_;
    std::vector<std::uint64_t> dateOffsets_;
};

} // namespace

PreparedBinary scanBinary(std::string_view bytes) {
    return Scanner(bytes).run();
}

void appendPathPart(std::string& path, std::string_view part) {
    constexpr std::size_t kLongestPart = 64;
    if (!path.empty()) {
        path += '/';
    }
    auto shown = part.substr(0, kLongestPart);
    // Cut between characters, not inside one.
    while (shown.size() < part.size() && !shown.empty() &&
           (static_cast<unsigned char>(part[shown.size()]) & 0xC0) == 0x80) {
        shown.remove_suffix(1);
    }
    for (const char character : shown) {
        const auto byte = static_cast<unsigned char>(character);
        path += byte < 0x20 || byte == 0x7F ? '?' : character;
    }
    if (shown.size() < part.size()) {
        path += "...";
    }
}

} // namespace talvo::plistscan
