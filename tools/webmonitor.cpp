// Stand-in for the device's watchdog tool: "webmonitor tcpdump N" ends this
// device's packet capture after N seconds, unless it is ended first.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/devproc.h"

int main(int argc, char** argv)
{
    if (argc != 3 || strcmp(argv[1], "tcpdump") != 0) {
        fprintf(stderr, "usage: webmonitor tcpdump SECONDS\n");
        return 2;
    }
    char* end = nullptr;
    long seconds = strtol(argv[2], &end, 10);
    if (!*argv[2] || *end || seconds < 0 || seconds > 86400) {
        fprintf(stderr, "webmonitor: bad seconds\n");
        return 2;
    }
    for (long left = seconds; left > 0;)
        left = (long)sleep((unsigned)left);
    device_processes_signal("tcpdump", SIGTERM);
    return 0;
}
