// P2P client library stand-in: plain TCP with the library's framing, no
// cryptography (see p2plib.h).
#include "platform/p2plib.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

const char kDefaultServer[] = "127.0.0.1:9999";
const char kMagic[4] = {'P', '2', 'P', 'K'};

// NVRWEB_P2P_MAX_MS, when set and lower, shortens every wait: tests reach a
// timeout without waiting its full length.
int wait_ms(int value)
{
    const char* text = getenv("NVRWEB_P2P_MAX_MS");
    if (!text || !*text)
        return value;
    const int cap = atoi(text);
    return cap >= 0 && cap < value ? cap : value;
}

long long now_ms()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Waits for `events` until `deadline`; EINTR does not stretch the bound.
bool wait_for(int fd, short events, long long deadline)
{
    for (;;) {
        const long long left = deadline - now_ms();
        if (left <= 0)
            return false;
        struct pollfd p = {fd, events, 0};
        const int rc = poll(&p, 1, (int)left);
        if (rc > 0)
            return (p.revents & (events | POLLHUP | POLLERR)) != 0;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

// The whole buffer sent or received before `deadline`, or false (a peer
// that closes early included).
bool move_all(int fd, char* p, size_t size, long long deadline, bool sending)
{
    while (size > 0) {
        if (!wait_for(fd, sending ? POLLOUT : POLLIN, deadline))
            return false;
        const ssize_t n = sending ? send(fd, p, size, MSG_DONTWAIT | MSG_NOSIGNAL) : recv(fd, p, size, MSG_DONTWAIT);
        if (n == 0 && !sending)
            return false;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return false;
        }
        p += n;
        size -= (size_t)n;
    }
    return true;
}

bool read_all(int fd, void* buffer, size_t size, long long deadline)
{
    return move_all(fd, (char*)buffer, size, deadline, false);
}

bool write_all(int fd, const void* buffer, size_t size, long long deadline)
{
    return move_all(fd, (char*)buffer, size, deadline, true);
}

void put_u32(unsigned char* out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out[i] = (unsigned char)(v >> (8 * i));
}

uint32_t get_u32(const unsigned char* in)
{
    return (uint32_t)in[0] | (uint32_t)in[1] << 8 | (uint32_t)in[2] << 16 | (uint32_t)in[3] << 24;
}

int handshake_word(int sock, uint32_t send_word, uint32_t expect_word, bool client)
{
    const long long deadline = now_ms() + wait_ms(P2P_IO_TIMEOUT_MS);
    unsigned char mine[8], theirs[8];
    memcpy(mine, kMagic, 4);
    put_u32(mine + 4, send_word);
    if (client && !write_all(sock, mine, sizeof mine, deadline))
        return -1;
    if (!read_all(sock, theirs, sizeof theirs, deadline) || memcmp(theirs, kMagic, 4) != 0 ||
        get_u32(theirs + 4) != expect_word)
        return -1;
    if (!client && !write_all(sock, mine, sizeof mine, deadline))
        return -1;
    return 0;
}

}  // namespace

bool p2p_server_address(char* host, int size, int* port)
{
    if (!host || size <= 0 || !port)
        return false;
    host[0] = '\0';
    const char* text = getenv("NVRWEB_P2P_SERVER");
    if (!text || !*text)
        text = kDefaultServer;
    const char* colon = strrchr(text, ':');
    if (!colon || colon == text)
        return false;
    char* end = nullptr;
    const long number = strtol(colon + 1, &end, 10);
    if (end == colon + 1 || *end || number <= 0 || number > 65535)
        return false;
    const size_t length = (size_t)(colon - text);
    if (length >= (size_t)size)
        return false;
    memcpy(host, text, length);
    host[length] = '\0';
    *port = (int)number;
    return true;
}

int socket_create(void)
{
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int socket_connect(int sock, const char* host, int port)
{
    if (sock < 0 || !host || !*host || port <= 0 || port > 65535)
        return -1;
    // A numeric address only: a name would need the C library's resolver,
    // which a static binary cannot load, and could wait on DNS. A name
    // fails here at once, as an unreachable server does.
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, host, &address.sin_addr) != 1)
        return -1;
    address.sin_port = htons((uint16_t)port);

    const int flags = fcntl(sock, F_GETFL);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0)
        return -1;
    int rc = connect(sock, (struct sockaddr*)&address, sizeof address);
    if (rc != 0 && errno == EINPROGRESS) {
        int error = 0;
        socklen_t length = sizeof error;
        const long long deadline = now_ms() + wait_ms(P2P_CONNECT_TIMEOUT_MS);
        rc = wait_for(sock, POLLOUT, deadline) && getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                     error == 0
                 ? 0
                 : -1;
    }
    return rc == 0 ? 0 : -1;
}

void socket_destroy(int sock)
{
    if (sock >= 0)
        close(sock);
}

int p2p_create_keyfile(void)
{
    return 0;
}

int p2p_cli_switch_keyfile(int sock)
{
    return handshake_word(sock, 1, 0, true);
}

int p2p_srv_switch_keyfile(int sock)
{
    return handshake_word(sock, 0, 1, false);
}

int rsa_cal_ensize(int n)
{
    if (n < 0 || n > INT_MAX - (P2P_ENCRYPT_BLOCK - 1))
        return -1;
    return (n + P2P_ENCRYPT_BLOCK - 1) / P2P_ENCRYPT_BLOCK * P2P_ENCRYPT_BLOCK;
}

int p2p_send(int sock, const void* message, int size, char* work, int work_size)
{
    const int framed = rsa_cal_ensize(size);
    if (sock < 0 || !message || size <= 0 || !work || framed < 0 || work_size < 4 || framed > work_size - 4)
        return -1;
    put_u32((unsigned char*)work, (uint32_t)framed);
    memcpy(work + 4, message, (size_t)size);
    memset(work + 4 + size, 0, (size_t)(framed - size));
    const long long deadline = now_ms() + wait_ms(P2P_IO_TIMEOUT_MS);
    return write_all(sock, work, (size_t)framed + 4, deadline) ? 0 : -1;
}

int p2p_recv(int sock, void* buffer, int cap)
{
    if (sock < 0 || !buffer || cap <= 0)
        return -1;
    const long long deadline = now_ms() + wait_ms(P2P_IO_TIMEOUT_MS);
    unsigned char word[4];
    if (!read_all(sock, word, sizeof word, deadline))
        return -1;
    const uint32_t n = get_u32(word);
    if (n == 0 || n > (uint32_t)cap)
        return -1;
    return read_all(sock, buffer, n, deadline) ? (int)n : -1;
}
