#include "platform/RootTool.h"

#include <climits>
#include <cstring>

namespace talvo::roottool {

namespace {

constexpr std::string_view kTag = "TRT1";
constexpr std::size_t kNumberSize = 4;
constexpr std::size_t kAnswerSize = kTag.size() + 2 * kNumberSize;
constexpr std::uint32_t kHighestStatus = 255;

void appendNumber(std::string& frame, std::uint32_t number) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(static_cast<char>((number >> shift) & 0xFF));
    }
}

std::uint32_t numberAt(std::string_view bytes, std::size_t offset) {
    std::uint32_t number = 0;
    for (std::size_t index = 0; index < kNumberSize; ++index) {
        number = (number << 8) | static_cast<unsigned char>(bytes[offset + index]);
    }
    return number;
}

// Exactly size bytes, or nothing when the channel ends or fails first.
std::optional<std::string> readExactly(int channel, std::size_t size) {
    std::string bytes(size, '\0');
    const std::optional<std::size_t> count = posix::readUpTo(channel, bytes.data(), size);
    if (count != size) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::uint32_t> readNumber(int channel) {
    const std::optional<std::string> bytes = readExactly(channel, kNumberSize);
    return bytes ? std::optional(numberAt(*bytes, 0)) : std::nullopt;
}

// One length-prefixed field, if it fits in what is left of the request's budget.
std::optional<std::string> readField(int channel, std::size_t& budget) {
    const std::optional<std::uint32_t> size = readNumber(channel);
    if (!size || *size > budget) {
        return std::nullopt;
    }
    budget -= *size;
    return readExactly(channel, *size);
}

// The value of a tool's answer numbered number, if it is one.
std::optional<std::uint32_t> readAnswer(int channel, std::uint32_t number) {
    const std::optional<std::string> frame = readExactly(channel, kAnswerSize);
    if (!frame || !frame->starts_with(kTag) || numberAt(*frame, kTag.size()) != number) {
        return std::nullopt;
    }
    return numberAt(*frame, kTag.size() + kNumberSize);
}

} // namespace

Start startOf(int argc, const char* const* argv, unsigned realUserId, unsigned effectiveUserId) {
    if (argc < 2 || argv[1] == nullptr || std::strcmp(argv[1], kMarker) != 0) {
        return Start::normal;
    }
    return argc == 2 && realUserId != 0 && effectiveUserId == 0 ? Start::serve : Start::refuse;
}

std::optional<std::string> requestFrame(std::uint32_t number, const Request& request) {
    const std::size_t words = request.arguments.size() + 1;
    std::size_t size = request.path.size() + request.input.size();
    for (const std::string& argument : request.arguments) {
        size += argument.size();
    }
    if (!request.path.starts_with('/') || words > kMaxWords || size > kMaxRequestBytes) {
        return std::nullopt;
    }
    std::string frame(kTag);
    frame.reserve(kTag.size() + (words + 3) * kNumberSize + size);
    appendNumber(frame, number);
    appendNumber(frame, static_cast<std::uint32_t>(words));
    const auto appendField = [&frame](std::string_view field) {
        appendNumber(frame, static_cast<std::uint32_t>(field.size()));
        frame += field;
    };
    appendField(request.path);
    for (const std::string& argument : request.arguments) {
        appendField(argument);
    }
    appendField(request.input);
    return frame;
}

std::string answerFrame(std::uint32_t number, std::uint32_t value) {
    std::string frame(kTag);
    appendNumber(frame, number);
    appendNumber(frame, value);
    return frame;
}

std::optional<Request> readRequest(int channel, std::uint32_t number) {
    const std::optional<std::string> tag = readExactly(channel, kTag.size());
    const std::optional<std::uint32_t> sentNumber = tag ? readNumber(channel) : std::nullopt;
    const std::optional<std::uint32_t> words = sentNumber ? readNumber(channel) : std::nullopt;
    if (!words || *tag != kTag || *sentNumber != number || *words == 0 || *words > kMaxWords) {
        return std::nullopt;
    }
    std::size_t budget = kMaxRequestBytes;
    std::optional<std::string> path = readField(channel, budget);
    if (!path || !path->starts_with('/')) {
        return std::nullopt;
    }
    Request request{std::move(*path), {}, {}};
    for (std::uint32_t word = 1; word < *words; ++word) {
        std::optional<std::string> argument = readField(channel, budget);
        if (!argument) {
            return std::nullopt;
        }
        request.arguments.push_back(std::move(*argument));
    }
    std::optional<std::string> input = readField(channel, budget);
    if (!input) {
        return std::nullopt;
    }
    request.input = std::move(*input);
    return request;
}

std::optional<int> readGreeting(int channel) {
    const std::optional<std::uint32_t> processId = readAnswer(channel, 0);
    if (!processId || *processId == 0 || *processId > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(*processId);
}

std::optional<int> readStatus(int channel, std::uint32_t number) {
    const std::optional<std::uint32_t> status = readAnswer(channel, number);
    if (!status || *status > kHighestStatus) {
        return std::nullopt;
    }
    return static_cast<int>(*status);
}

} // namespace talvo::roottool
