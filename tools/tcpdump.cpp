// Stand-in for the device's tcpdump, for tests and the local device: keeps
// its argument list in <root>/tmp/tcpdump.argv (one per line), writes a
// pcap file to the -w path plus "0" (as -W 1 numbers it) at once, adds a
// packet a second and ends on SIGTERM.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "platform/devpath.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void on_term(int)
{
    g_stop = 1;
}

void put32(unsigned char* at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        at[i] = (unsigned char)(v >> (8 * i));
}

// One small Ethernet frame with the capture's own timestamp.
void write_packet(FILE* file, uint32_t sequence)
{
    unsigned char frame[60] = {};
    memset(frame, 0xff, 6);
    frame[12] = 0x08;
    frame[13] = 0x06;
    put32(frame + 56, sequence);
    unsigned char head[16];
    put32(head, (uint32_t)time(nullptr));
    put32(head + 4, 0);
    put32(head + 8, sizeof frame);
    put32(head + 12, sizeof frame);
    fwrite(head, 1, sizeof head, file);
    fwrite(frame, 1, sizeof frame, file);
    fflush(file);
}

}  // namespace

int main(int argc, char** argv)
{
    signal(SIGTERM, on_term);
    signal(SIGINT, on_term);
    const char* output = nullptr;
    if (FILE* list = fopen(device_path("/tmp/tcpdump.argv").c_str(), "w")) {
        for (int i = 1; i < argc; i++)
            fprintf(list, "%s\n", argv[i]);
        fclose(list);
    }
    for (int i = 1; i + 1 < argc; i++)
        if (strcmp(argv[i], "-w") == 0)
            output = argv[i + 1];
    if (!output) {
        fprintf(stderr, "tcpdump: no -w file\n");
        return 1;
    }
    char path[4096];
    if (snprintf(path, sizeof path, "%s0", output) >= (int)sizeof path)
        return 1;
    FILE* file = fopen(path, "wb");
    if (!file) {
        perror(path);
        return 1;
    }
    // pcap: magic, version 2.4, zone, accuracy, snap length, Ethernet.
    unsigned char head[24] = {};
    put32(head, 0xa1b2c3d4u);
    head[4] = 2;
    head[6] = 4;
    put32(head + 16, 262144);
    put32(head + 20, 1);
    fwrite(head, 1, sizeof head, file);
    fflush(file);
    for (uint32_t n = 0; !g_stop; n++) {
        write_packet(file, n);
        sleep(1);
    }
    fclose(file);
    return 0;
}
