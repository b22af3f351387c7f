// Command runners over posix_spawn: no shell for argument lists.
#include "platform/vxsystem.h"

#include <cerrno>
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
