/* The main executable of the world's application bundles. It stays running until a signal ends
 * it, so that killall, ps and the /proc scan of running applications meet a real process with
 * the bundle executable's own name (a script would show up as /bin/sh). Each start is appended
 * to the world's launch log as "pid<TAB>executable<TAB>argv[0]". */
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

static const char launchLog[] = "/var/world/log/launches";

static void recordLaunch(const char* argv0) {
    char executable[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    executable[length < 0 ? 0 : length] = '\0';

    const int fd = open(launchLog, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) {
        return;
    }
    char line[2 * PATH_MAX + 64];
    const int size = snprintf(line, sizeof line, "%ld\t%s\t%s\n", (long)getpid(), executable,
                              argv0 ? argv0 : "");
    if (size > 0) {
        /* One write with O_APPEND keeps concurrent launches from interleaving. */
        const size_t count = (size_t)size < sizeof line ? (size_t)size : sizeof line - 1;
        const ssize_t written = write(fd, line, count);
        (void)written;
    }
    close(fd);
}

int main(int argc, char** argv) {
    (void)argc;
    recordLaunch(argv[0]);
    for (;;) {
        pause();
    }
}
