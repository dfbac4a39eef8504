#include "exec/ShellCommandRunner.h"

#include "exec/Error.h"
#include "exec/LegacyHelper.h"
#include "format/UnicodeText.h"
#include "platform/ChildProcess.h"
#include "platform/UserIdentity.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace talvo {

namespace {

const std::string kShell = "/bin/sh";

// What a shell reports for a program it cannot start; a shell that cannot start itself reads to
// callers as a command that failed the same way.
constexpr int kCannotStartStatus = 127;

// The privileged shell's whole command line: it reads the command from its stdin to the end, then
// runs it. The elevation tool logs its command line, and a command may carry a passphrase; read
// in full first, so that a command reading stdin gets end of file rather than the rest of itself.
// The elevation tool passes on the caller's umask and may leave it in any folder: root's files
// get the system's usual modes, and nothing depends on where the user stood.
const std::string kRunCommandFromInput =
    "umask 022; cd / || exit; script=; nl='\n'; "
    "while IFS= read -r line; do script=$script$line$nl; done; "
    "eval \"$script$line\"";

// Index of the first byte at or after from that is not ASCII. Command output is mostly ASCII and
// the general decoder walks it one code point per call, so runs are skipped 32 bytes at a time.
std::size_t firstNonAsciiFrom(std::string_view text, std::size_t from) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    constexpr std::size_t kStride = 4 * sizeof(std::uint64_t);
    std::size_t index = from;
    for (; index + kStride <= text.size(); index += kStride) {
        std::uint64_t words[4];
        std::memcpy(words, text.data() + index, kStride);
        if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) {
            break;
        }
    }
    while (index < text.size() && static_cast<unsigned char>(text[index]) < 0x80) {
        ++index;
    }
    return index;
}

// Bytes in the UTF-8 sequence that this lead byte starts; 1 for bytes that cannot lead one, so
// that the platform's check rejects them on their own.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// Skips ASCII runs quickly and hands each other sequence to the platform's check by itself.
bool isValidUtf8SkippingAscii(std::string_view text) {
    for (std::size_t index = firstNonAsciiFrom(text, 0); index < text.size();
         index = firstNonAsciiFrom(text, index)) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[index]));
        if (!unicode::isValidUtf8(text.substr(index, length))) {
            return false;
        }
        index += length;
    }
    return true;
}

// Enough of a line to tell what went wrong; a log entry must stay one reasonable line.
constexpr std::size_t kLastLineLimit = 512;

} // namespace

std::string lastOutputLine(std::string_view output) {
    const std::size_t lineEnd = output.find_last_of('\n');
    std::string_view line = lineEnd == std::string_view::npos ? output : output.substr(lineEnd + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() > kLastLineLimit) {
        std::size_t cut = kLastLineLimit;
        // Never in the middle of a character: back up over continuation bytes.
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        line = line.substr(0, cut);
    }
    return std::string(line);
}

std::string outputText(std::string bytes) {
    if (!isValidUtf8SkippingAscii(bytes)) {
        return {};
    }
    const std::string_view trimmed = unicode::trimmedView(bytes);
    const std::size_t start = static_cast<std::size_t>(trimmed.data() - bytes.data());
    bytes.resize(start + trimmed.size());
    bytes.erase(0, start);
    return bytes;
}

ShellCommandRunner::ShellCommandRunner(TraceSink trace) : trace_(std::move(trace)) {}

std::string ShellCommandRunner::syncThrows(const std::string& command) {
    if (trace_) {
        trace_("Execute: " + command);
    }
    std::optional<CollectedOutput> finished =
        runCollectingOutput(kShell, {"-c", command}, ErrorStream::captured);
    const int status = finished ? finished->exitStatus : kCannotStartStatus;
    std::string output = finished ? outputText(std::move(finished->bytes)) : std::string();
    if (trace_) {
        trace_("Result " + output);
    }
    if (status != 0) {
        throw commandError(status, lastOutputLine(output));
    }
    return output;
}

PrivilegedOutcome ShellCommandRunner::sudo(const std::string& command) {
    if (trace_) {
        trace_("Execute: " + command);
    }
    return LegacyHelper::execute(kShell, {"-c", kRunCommandFromInput}, command);
}

} // namespace talvo

namespace talvo::Task {

std::string syncThrows(const std::string& command) {
    return ShellCommandRunner().syncThrows(command);
}

PrivilegedOutcome sudo(const std::string& command) {
    return ShellCommandRunner().sudo(command);
}

std::string userName() {
    if (const char* home = std::getenv("HOME")) {
        const std::string_view path(home);
        const std::size_t lastSlash = path.rfind('/');
        return std::string(lastSlash == std::string_view::npos ? path : path.substr(lastSlash + 1));
    }
    if (const char* sudoUser = std::getenv("SUDO_USER")) {
        return sudoUser;
    }
    if (const char* user = std::getenv("USER")) {
        return user;
    }
    return effectiveUserLoginName();
}

} // namespace talvo::Task
