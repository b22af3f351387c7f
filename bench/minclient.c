/* The round trip's reference: the least a program can do for one request
 * to the core service. It connects to $NVRWEB_ROOT/var/run/vxsocket, sends
 * one request frame with code REQUEST_CODE (set when building) and no
 * payload, reads messages until the answer (code + 5000) and prints its
 * payload as it came. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#ifndef REQUEST_CODE
#error "build with -DREQUEST_CODE=n"
#endif

enum { MAGIC = 0x4B535856, MAX_PAYLOAD = 8 << 20 };

static int read_all(int fd, void* buf, size_t n)
{
    for (size_t got = 0; got < n;) {
        ssize_t r = read(fd, (char*)buf + got, n - got);
        if (r <= 0)
            return -1;
        got += (size_t)r;
    }
    return 0;
}

int main(void)
{
    const char* root = getenv("NVRWEB_ROOT");
    struct sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    if (snprintf(a.sun_path, sizeof a.sun_path, "%s/var/run/vxsocket", root ? root : "") >= (int)sizeof a.sun_path)
        return 1;
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&a, sizeof a) != 0)
        return 1;
    /* Eight little-endian words: magic, request, sequence, code, 0, length, 0, 0. */
    int32_t h[8] = {MAGIC, 1, 1, REQUEST_CODE, 0, 0, 0, 0};
    if (write(fd, h, sizeof h) != (ssize_t)sizeof h)
        return 1;
    static char payload[MAX_PAYLOAD];
    for (;;) {
        if (read_all(fd, h, sizeof h) != 0 || h[0] != MAGIC || h[5] < 0 || h[5] > MAX_PAYLOAD ||
            read_all(fd, payload, (size_t)h[5]) != 0)
            return 1;
        if (h[1] == 2 && h[3] == REQUEST_CODE + 5000)
            break;
    }
    fwrite(payload, 1, (size_t)h[5], stdout);
    close(fd);
    return fflush(stdout) == 0 ? 0 : 1;
}
