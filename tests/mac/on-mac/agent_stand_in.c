/* The agent's programs for a computer that has no agent, as scripts/test-on-mac installs them.
 * One binary under several names, told apart by its own file name:
 *   TalvoBackupAgent   the agent. Each call is appended to RECORDS/calls as
 *                      "uid<TAB>argument<TAB>argument...". "daemon --init [options]" registers:
 *                      it needs root, copies a -seed-path= file to RECORDS/seed as it read it,
 *                      exits with the number in RECORDS/agent-init-status (0 when absent) and on
 *                      0 writes the agent's database. "daemon" and "updater" are the launch
 *                      daemons' programs: they wait for a signal.
 *   any other name     an application: its start is appended to RECORDS/launches as
 *                      "pid<TAB>uid<TAB>executable", then it waits for a signal.
 * A real executable rather than a script, so that the process table, killall and the keychain's
 * list of trusted applications meet a program file under the agent's own names. RECORDS is
 * compiled in (STAND_IN_RECORDS): applications are started by the system without our
 * environment. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#ifndef STAND_IN_RECORDS
#error "STAND_IN_RECORDS must name the folder for the records"
#endif

static const char database[] = "/Library/Application Support/Talvo Backup Agent/config.sqlite";

static void ownExecutable(char* path, size_t size) {
    path[0] = '\0';
#if defined(__APPLE__)
    uint32_t length = (uint32_t)size;
    if (_NSGetExecutablePath(path, &length) != 0) {
        path[0] = '\0';
    }
#else
    const ssize_t length = readlink("/proc/self/exe", path, size - 1);
    path[length < 0 ? 0 : length] = '\0';
#endif
}

/* One write with O_APPEND, so that records of processes running side by side never mix. */
static void appendRecord(const char* name, const char* line) {
    char file[PATH_MAX];
    snprintf(file, sizeof file, "%s/%s", STAND_IN_RECORDS, name);
    const int fd = open(file, O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd < 0) {
        return;
    }
    const ssize_t written = write(fd, line, strlen(line));
    (void)written;
    close(fd);
}

_Noreturn static void waitForSignal(void) {
    for (;;) {
        pause();
    }
}

static int copyFile(const char* from, const char* to) {
    FILE* const in = fopen(from, "rb");
    if (in == NULL) {
        return -1;
    }
    FILE* const out = fopen(to, "wb");
    if (out == NULL) {
        fclose(in);
        return -1;
    }
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, in)) > 0) {
        fwrite(buffer, 1, count, out);
    }
    fclose(in);
    return fclose(out) == 0 ? 0 : -1;
}

static int initStatus(void) {
    char file[PATH_MAX];
    snprintf(file, sizeof file, "%s/agent-init-status", STAND_IN_RECORDS);
    FILE* const in = fopen(file, "r");
    int status = 0;
    if (in != NULL) {
        if (fscanf(in, "%d", &status) != 1) {
            status = 0;
        }
        fclose(in);
    }
    return status;
}

static int registerComputer(int argc, char** argv) {
    if (geteuid() != 0) {
        fprintf(stderr, "TalvoBackupAgent: daemon --init must be run as root\n");
        return 77;
    }
    for (int index = 3; index < argc; ++index) {
        static const char seedOption[] = "-seed-path=";
        if (strncmp(argv[index], seedOption, sizeof seedOption - 1) == 0) {
            char copy[PATH_MAX];
            snprintf(copy, sizeof copy, "%s/seed", STAND_IN_RECORDS);
            if (copyFile(argv[index] + sizeof seedOption - 1, copy) != 0) {
                fprintf(stderr, "TalvoBackupAgent: no seed file at %s\n",
                        argv[index] + sizeof seedOption - 1);
            }
        }
    }
    const int status = initStatus();
    if (status != 0) {
        fprintf(stderr, "TalvoBackupAgent: registration failed\n");
        return status;
    }
    FILE* const out = fopen(database, "wb");
    if (out == NULL || fwrite("SQLite format 3", 1, 16, out) != 16 || fclose(out) != 0) {
        fprintf(stderr, "TalvoBackupAgent: cannot write the database: %s\n", strerror(errno));
        return 74;
    }
    printf("TalvoBackupAgent: registered\n");
    return 0;
}

static int agent(int argc, char** argv) {
    char line[16384];
    size_t used = (size_t)snprintf(line, sizeof line, "%u", (unsigned)geteuid());
    for (int index = 1; index < argc && used < sizeof line; ++index) {
        used += (size_t)snprintf(line + used, sizeof line - used, "\t%s", argv[index]);
    }
    if (used >= sizeof line - 1) {
        used = sizeof line - 2;
    }
    line[used] = '\n';
    line[used + 1] = '\0';
    appendRecord("calls", line);

    if (argc >= 3 && strcmp(argv[1], "daemon") == 0 && strcmp(argv[2], "--init") == 0) {
        return registerComputer(argc, argv);
    }
    if (argc == 2 && (strcmp(argv[1], "daemon") == 0 || strcmp(argv[1], "updater") == 0)) {
        waitForSignal();
    }
    fprintf(stderr, "usage: TalvoBackupAgent daemon [--init [options]] | updater\n");
    return 64;
}

int main(int argc, char** argv) {
    char executable[PATH_MAX];
    ownExecutable(executable, sizeof executable);
    const char* const slash = strrchr(executable, '/');
    if (strcmp(slash == NULL ? executable : slash + 1, "TalvoBackupAgent") == 0) {
        return agent(argc, argv);
    }
    char line[PATH_MAX + 64];
    snprintf(line, sizeof line, "%ld\t%u\t%s\n", (long)getpid(), (unsigned)geteuid(), executable);
    appendRecord("launches", line);
    waitForSignal();
}
