// Command runners over posix_spawn: no shell for argument lists.
#include "platform/vxsystem.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static int wait_exit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

int vx_system(const char* command)
{
    if (!command)
        return -1;
    const char* const argv[] = {"sh", "-c", command, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, (char* const*)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? wait_exit(pid) : -1;
}

int vx_exec(const char* const argv[], const char* stdout_path)
{
    if (!argv || !argv[0])
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path ? stdout_path : "/dev/null",
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, (char* const*)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? wait_exit(pid) : -1;
}

// Descriptors above stderr that an exec would keep open.
static int inherited_limit()
{
    long max = sysconf(_SC_OPEN_MAX);
    return max < 0 || max > 4096 ? 4096 : (int)max;
}

pid_t vx_exec_background(const char* const argv[])
{
    if (!argv || !argv[0])
        return -1;
#ifdef POSIX_SPAWN_SETSID
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // A copy of the web server's pipe, a lock or an upload held open by a
    // long-lived child would outlast the request.
    for (int fd = 3, limit = inherited_limit(); fd < limit; fd++) {
        int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            posix_spawn_file_actions_addclose(&actions, fd);
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, (char* const*)argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
#else
    // A C library whose posix_spawn cannot start a session.
    pid_t pid = fork();
    if (pid != 0)
        return pid < 0 ? -1 : pid;
    setsid();
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0)
        _exit(127);
    for (int fd = 3, limit = inherited_limit(); fd < limit; fd++)
        close(fd);
    execvp(argv[0], (char* const*)argv);
    _exit(127);
#endif
}

// Starts a program with its standard output on a pipe; the read end, or -1.
static int spawn_piped(const char* const argv[], pid_t* pid)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    // Neither end may leak into a program started meanwhile; dup2 gives the
    // child its own stdout without the flag.
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawnp(pid, argv[0], &actions, nullptr, (char* const*)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    return fds[0];
}

int vx_exec_capture(const char* const argv[], char* out, size_t size, size_t* length)
{
    if (length)
        *length = 0;
    if (!argv || !argv[0] || !out || size == 0)
        return -1;
    out[0] = '\0';
    pid_t pid;
    int fd = spawn_piped(argv, &pid);
    if (fd < 0)
        return -1;
    size_t used = 0;
    bool overflow = false;
    for (;;) {
        char spare;
        // With the buffer full, one more byte tells whether the output ends.
        char* at = used < size - 1 ? out + used : &spare;
        size_t room = used < size - 1 ? size - 1 - used : 1;
        ssize_t n = read(fd, at, room);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (at == &spare) {
            overflow = true;
            break;
        }
        used += (size_t)n;
    }
    close(fd);
    if (overflow) {
        kill(pid, SIGKILL);
        wait_exit(pid);
        out[0] = '\0';
        return -1;
    }
    out[used] = '\0';
    if (length)
        *length = used;
    return wait_exit(pid);
}

int vx_exec_lines(const char* const argv[], bool (*line)(const char* text, void* context), void* context)
{
    if (!argv || !argv[0] || !line)
        return -1;
    pid_t pid;
    int fd = spawn_piped(argv, &pid);
    if (fd < 0)
        return -1;
    char text[512];
    size_t used = 0;
    bool stopped = false;
    char chunk[256];
    while (!stopped) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n && !stopped; i++) {
            const bool end = chunk[i] == '\n';
            if (!end)
                text[used++] = chunk[i];
            if (end || used == sizeof text - 1) {
                text[used] = '\0';
                used = 0;
                stopped = line(text, context);
            }
        }
    }
    if (!stopped && used) {
        text[used] = '\0';
        stopped = line(text, context);
    }
    close(fd);
    if (stopped) {
        kill(pid, SIGKILL);
        wait_exit(pid);
        return 1;
    }
    return wait_exit(pid);
}

int vx_format(char* out, size_t size, const char* format, ...)
{
    if (!out || size == 0)
        return -1;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out, size, format, args);
    va_end(args);
    if (n < 0 || (size_t)n >= size) {
        out[0] = '\0';
        return -1;
    }
    return 0;
}
