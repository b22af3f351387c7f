/* The download's reference: BYTES bytes sent over a Unix socket pair in
 * messages of the core service's chunk size and copied to standard output,
 * with nothing else done to them. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

enum { CHUNK = 614496 };

int main(int argc, char** argv)
{
    long long total = argc > 1 ? atoll(argv[1]) : 200LL << 20;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
        return 1;
    pid_t pid = fork();
    if (pid == 0) {
        close(sv[0]);
        static char chunk[CHUNK];
        memset(chunk, 0x5a, sizeof chunk);
        for (long long sent = 0; sent < total;) {
            size_t n = total - sent < CHUNK ? (size_t)(total - sent) : CHUNK;
            ssize_t w = write(sv[1], chunk, n);
            if (w <= 0)
                _exit(1);
            sent += w;
        }
        _exit(0);
    }
    close(sv[1]);
    static char buf[CHUNK];
    ssize_t n;
    while ((n = read(sv[0], buf, sizeof buf)) > 0)
        if (fwrite(buf, 1, (size_t)n, stdout) != (size_t)n)
            return 1;
    fflush(stdout);
    waitpid(pid, NULL, 0);
    return 0;
}
