/* The download's reference: BYTES bytes sent over a Unix socket pair in
 * messages of CHUNK bytes (the frames the core service sends) and copied to
 * standard output by a reader at priority NICE (the CGI's), with nothing else
 * done to them.
 *   sockcopy BYTES [CHUNK [NICE]] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    long long total = argc > 1 ? atoll(argv[1]) : 200LL << 20;
    size_t chunk = argc > 2 ? (size_t)atoll(argv[2]) : 614496;
    int priority = argc > 3 ? atoi(argv[3]) : 0;
    char* buf = malloc(chunk);
    if (chunk == 0 || !buf)
        return 1;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
        return 1;
    pid_t pid = fork();
    if (pid == 0) {
        close(sv[0]);
        memset(buf, 0x5a, chunk);
        for (long long sent = 0; sent < total;) {
            size_t n = total - sent < (long long)chunk ? (size_t)(total - sent) : chunk;
            ssize_t w = write(sv[1], buf, n);
            if (w <= 0)
                _exit(1);
            sent += w;
        }
        _exit(0);
    }
    close(sv[1]);
    if (priority != 0 && nice(priority) == -1)
        return 1;
    ssize_t n;
    while ((n = read(sv[0], buf, chunk)) > 0)
        if (fwrite(buf, 1, (size_t)n, stdout) != (size_t)n)
            return 1;
    fflush(stdout);
    waitpid(pid, NULL, 0);
    return 0;
}
