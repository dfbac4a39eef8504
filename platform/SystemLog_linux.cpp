#include "platform/Posix.h"
#include "platform/SystemLog.h"

#include <cstdio>
#include <ctime>
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

} // namespace

void logToSystem(const std::string& message) {
    ::syslog(LOG_NOTICE, "%s", message.c_str());
    // One write for the whole line, so that lines from several processes sharing stderr never
    // mix.
    posix::writeAll(STDERR_FILENO, localTimeStamp() + " " + program_invocation_short_name + "[" +
                                       std::to_string(::getpid()) + ":" +
                                       std::to_string(::gettid()) + "] " + message + "\n");
}

} // namespace talvo
