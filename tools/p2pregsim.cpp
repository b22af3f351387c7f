// p2pregsim: the local device's stand-in for the P2P service's registration
// server. It speaks the framing of the P2P library stand-in (no
// cryptography): a device with no serial, or one starting "DENY", is refused
// with result 2; any other gets result 0 and "REG-" plus 8 hex digits derived
// from its serial and MAC.
//   p2pregsim [HOST:PORT]   (default NVRWEB_P2P_SERVER, else 127.0.0.1:9999)
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include "modules/network/network_records.h"
#include "platform/p2plib.h"

namespace {

uint32_t fnv1a(uint32_t hash, const char* text, size_t size)
{
    for (size_t i = 0; i < size && text[i]; i++)
        hash = (hash ^ (unsigned char)text[i]) * 16777619u;
    return hash;
}

void answer(int sock)
{
    if (p2p_srv_switch_keyfile(sock) != 0)
        return;
    char buffer[P2P_WORK_BUFFER];
    p2p_reg_header header;
    p2p_reg_body body;
    int n = p2p_recv(sock, buffer, (int)sizeof buffer);
    if (n < (int)sizeof header)
        return;
    memcpy(&header, buffer, sizeof header);
    n = p2p_recv(sock, buffer, (int)sizeof buffer);
    if (header.command != P2P_REG_COMMAND || n < (int)sizeof body)
        return;
    memcpy(&body, buffer, sizeof body);
    body.sn[sizeof body.sn - 1] = body.mac[sizeof body.mac - 1] = '\0';
    const bool denied = !body.sn[0] || strncmp(body.sn, "DENY", 4) == 0;

    p2p_reg_header reply;
    memset(&reply, 0, sizeof reply);
    reply.command = P2P_REG_COMMAND;
    reply.result = denied ? P2P_REG_RESULT_DENIED : 0;
    reply.one = 1;
    char code[16];
    snprintf(code, sizeof code, "REG-%08X", fnv1a(fnv1a(2166136261u, body.sn, sizeof body.sn), body.mac, sizeof body.mac));
    reply.encrypted_size = denied ? 0 : rsa_cal_ensize((int)sizeof code);
    char work[P2P_WORK_BUFFER];
    if (p2p_send(sock, &reply, (int)sizeof reply, work, (int)sizeof work) != 0 || denied)
        return;
    if (p2p_send(sock, code, (int)strlen(code) + 1, work, (int)sizeof work) == 0)
        fprintf(stderr, "p2pregsim: registered \"%s\" as %s\n", body.sn, code);
}

void* serve(void* arg)
{
    const int sock = (int)(intptr_t)arg;
    answer(sock);
    socket_destroy(sock);
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        fprintf(stderr, "usage: p2pregsim [HOST:PORT]\n");
        return 2;
    }
    if (argc == 2)
        setenv("NVRWEB_P2P_SERVER", argv[1], 1);
    char host[128];
    int port = 0;
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    if (!p2p_server_address(host, (int)sizeof host, &port) || inet_pton(AF_INET, host, &address.sin_addr) != 1) {
        fprintf(stderr, "p2pregsim: give the address as IPv4:PORT\n");
        return 2;
    }
    address.sin_port = htons((uint16_t)port);
    signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (listener < 0 || bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 16) != 0) {
        perror("p2pregsim");
        return 1;
    }
    fprintf(stderr, "p2pregsim: listening on %s:%d\n", host, port);
    for (;;) {
        const int sock = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (sock < 0)
            continue;
        pthread_t thread;
        if (pthread_create(&thread, nullptr, serve, (void*)(intptr_t)sock) == 0)
            pthread_detach(thread);
        else
            socket_destroy(sock);
    }
}
