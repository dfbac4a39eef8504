#include "platform/Posix.h"
#include "platform/SystemLog.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <syslog.h>
#include <unistd.h>

namespace talvo {

namespace {

std::string localTimeStamp() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char seconds[32];
    std::strftime(seconds, sizeof seconds, "%Y-%m-%d %H:%M:%S", &local);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s.%03ld", seconds, now.tv_nsec / 1000000);
    return stamp;
}

#if defined(__APPLE__)
const char* programName() {
    return ::getprogname();
}

std::uint64_t threadId() {
    std::uint64_t id = 0;
    ::pthread_threadid_np(nullptr, &id);
    return id;
}
#else
const char* programName() {
    return program_invocation_short_name;
}

std::uint64_t threadId() {
    return static_cast<std::uint64_t>(::gettid());
}
#endif

std::string oneLine(std::string_view message) {
    std::string line(message);
    for (char& character : line) {
        if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F) {
            character = ' ';
        }
    }
    return line;
}

} // namespace

void openSystemLog(const char* identifier) {
    ::openlog(identifier, LOG_PID, LOG_USER);
}

void writeSystemLog(std::string_view message) {
    ::syslog(LOG_NOTICE, "%s", oneLine(message).c_str());
}

void logToSystem(const std::string& message) {
    ::syslog(LOG_NOTICE, "%s", message.c_str());
    // One write for the whole line, so that lines from several processes sharing stderr never
    // mix.
    posix::writeAll(STDERR_FILENO, localTimeStamp() + " " + programName() + "[" +
                                       std::to_string(::getpid()) + ":" +
                                       std::to_string(threadId()) + "] " + message + "\n");
}

} // namespace talvo
