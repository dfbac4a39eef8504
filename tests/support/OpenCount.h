#pragma once

#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>

namespace talvo::test {

// Counts the times any process opens a file or folder, from now on. Closes are watched too:
// inotify merges an event into an identical one still unread, and each open's close stands
// between two opens.
class OpenCount {
  public:
    explicit OpenCount(const std::filesystem::path& path)
        : descriptor_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          watch_(::inotify_add_watch(descriptor_, path.c_str(), IN_OPEN | IN_CLOSE)) {}
    ~OpenCount() { ::close(descriptor_); }
    OpenCount(const OpenCount&) = delete;
    OpenCount& operator=(const OpenCount&) = delete;

    bool watching() const { return watch_ >= 0; }
    int opens() {
        alignas(inotify_event) char events[4096];
        for (ssize_t size; (size = ::read(descriptor_, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                opens_ += (event->mask & IN_OPEN) != 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

  private:
    int descriptor_;
    int watch_;
    int opens_ = 0;
};

} // namespace talvo::test
