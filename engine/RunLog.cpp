#include "engine/RunLog.h"

#include <utility>

namespace talvo {

namespace {

std::string privilegedFailure(const PrivilegedOutcome& outcome) {
    const std::string status = std::to_string(outcome.statusCode());
    switch (outcome.kind) {
    case PrivilegedOutcome::Kind::ran:
        return "exit status " + status;
    case PrivilegedOutcome::Kind::dismissed:
        return "authentication dismissed, status " + status;
    case PrivilegedOutcome::Kind::denied:
        return "administrator rights denied, status " + status;
    case PrivilegedOutcome::Kind::unavailable:
        return "no administrator rights to be had, status " + status;
    }
    return "status " + status;
}

} // namespace

ShownCommand ShownCommand::plain(std::string text) {
    ShownCommand command{std::move(text), {}, false};
    command.shown = command.text;
    return command;
}

ShownCommand ShownCommand::prefixed(const std::string& words) const {
    return ShownCommand{words + text, words + shown, carriesSecret};
}

std::string failedCommandEntry(const ShownCommand& command, const Error& failure) {
    std::string entry =
        "Command failed with exit status " + std::to_string(failure.code()) + ": " + command.shown;
    if (command.carriesSecret) {
        return entry + "; output withheld, the command carries a secret";
    }
    const auto& lastLine = failure.lastOutputLine();
    if (!lastLine || lastLine->empty()) {
        return entry + "; no output";
    }
    return entry + "; last output line: " + *lastLine;
}

std::string failedCommandEntry(const ShownCommand& command, const PrivilegedOutcome& outcome) {
    return "Privileged command failed (" + privilegedFailure(outcome) + "): " + command.shown;
}

LineCopyingBuffer::LineCopyingBuffer(std::streambuf& target, LogSink sink)
    : target_(target), sink_(std::move(sink)) {}

LineCopyingBuffer::~LineCopyingBuffer() {
    if (!pending_.empty()) {
        handOver();
    }
}

LineCopyingBuffer::int_type LineCopyingBuffer::overflow(int_type character) {
    if (traits_type::eq_int_type(character, traits_type::eof())) {
        return traits_type::not_eof(character);
    }
    const char byte = traits_type::to_char_type(character);
    target_.sputc(byte);
    copy(&byte, 1);
    return character;
}

// A target that fails (a stdout whose reader has gone) is not reported: the stream would go bad
// and drop every later line, when the log is then the only record of the run.
std::streamsize LineCopyingBuffer::xsputn(const char* bytes, std::streamsize count) {
    target_.sputn(bytes, count);
    copy(bytes, static_cast<std::size_t>(count));
    return count;
}

int LineCopyingBuffer::sync() {
    target_.pubsync();
    return 0;
}

void LineCopyingBuffer::copy(const char* bytes, std::size_t count) noexcept {
    try {
        for (std::size_t index = 0; index < count; ++index) {
            if (bytes[index] == '\n') {
                handOver();
            } else {
                pending_ += bytes[index];
            }
        }
    } catch (...) {
        // Out of memory for the copy: the printed line has gone out all the same.
        pending_.clear();
    }
}

void LineCopyingBuffer::handOver() noexcept {
    try {
        if (sink_) {
            sink_(pending_);
        }
    } catch (...) {
        // The log is a copy; losing an entry must not lose the output.
    }
    pending_.clear();
}

CopiedLines::CopiedLines(std::ostream& stream, LogSink sink)
    : stream_(stream), original_(stream.rdbuf()), copying_(*original_, std::move(sink)) {
    stream_.rdbuf(&copying_);
}

CopiedLines::~CopiedLines() {
    stream_.rdbuf(original_);
}

} // namespace talvo
