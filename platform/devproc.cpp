// Walks /proc, the kernel's own (never under the device root).
#include "platform/devproc.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

#include "platform/devpath.h"

namespace {

// The first `size` - 1 bytes of a /proc file; length or -1.
int read_small(const char* path, char* out, size_t size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t used = 0;
    while (used + 1 < size) {
        ssize_t n = read(fd, out + used, size - 1 - used);
        if (n <= 0)
            break;
        used += (size_t)n;
    }
    close(fd);
    out[used] = '\0';
    return (int)used;
}

// Live (an ended child waiting for its parent is not) and named `name`.
bool named_and_live(const char* pid, const char* name)
{
    char path[64], stat[512];
    snprintf(path, sizeof path, "/proc/%s/stat", pid);
    if (read_small(path, stat, sizeof stat) <= 0)
        return false;
    // "pid (comm) S ...": the name may hold ')' itself, the last one ends it.
    const char* open_paren = strchr(stat, '(');
    const char* close_paren = strrchr(stat, ')');
    if (!open_paren || !close_paren || close_paren < open_paren || close_paren[1] != ' ')
        return false;
    const size_t length = (size_t)(close_paren - open_paren - 1);
    if (length != strlen(name) || memcmp(open_paren + 1, name, length) != 0)
        return false;
    const char state = close_paren[2];
    return state != 'Z' && state != 'X';
}

// Runs with this process's device root.
bool same_root(const char* pid)
{
    const char* root = device_root();
    if (!*root)
        return true;
    char path[64];
    snprintf(path, sizeof path, "/proc/%s/environ", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string env;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        env.append(chunk, (size_t)n);
    close(fd);
    const std::string want = std::string("NVRWEB_ROOT=") + root;
    for (size_t i = 0; i < env.size(); i = env.find('\0', i) + 1) {
        if (env.compare(i, want.size() + 1, want.c_str(), want.size() + 1) == 0)
            return true;
        if (env.find('\0', i) == std::string::npos)
            break;
    }
    return false;
}

int walk(const char* name, int signal)
{
    DIR* dir = opendir("/proc");
    if (!dir)
        return 0;
    int found = 0;
    const pid_t self = getpid();
    while (struct dirent* entry = readdir(dir)) {
        if (!isdigit((unsigned char)entry->d_name[0]) || atoi(entry->d_name) == self)
            continue;
        if (!named_and_live(entry->d_name, name) || !same_root(entry->d_name))
            continue;
        if (signal == 0 || kill((pid_t)atoi(entry->d_name), signal) == 0)
            found++;
    }
    closedir(dir);
    return found;
}

}  // namespace

int device_processes_signal(const char* name, int signal)
{
    return name && *name && signal > 0 ? walk(name, signal) : 0;
}

int device_processes_count(const char* name)
{
    return name && *name ? walk(name, 0) : 0;
}
