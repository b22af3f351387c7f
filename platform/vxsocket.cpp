// Socket library stand-in: one Unix stream connection to the core service
// and a delivery thread that hands responses to the callback.
#include "platform/vxsocket.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/devpath.h"

// All n bytes read or sent; false when the peer closes first or on an error.
static bool move_full(int fd, char* p, size_t n, bool sending)
{
    while (n > 0) {
        ssize_t moved = sending ? send(fd, p, n, MSG_NOSIGNAL) : read(fd, p, n);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0)
            return false;
        p += moved;
        n -= (size_t)moved;
    }
    return true;
}

bool vx_read_full(int fd, void* buf, size_t n)
{
    return move_full(fd, (char*)buf, n, false);
}

bool vx_write_full(int fd, const void* buf, size_t n)
{
    return move_full(fd, (char*)buf, n, true);
}

bool vx_read_msg(int fd, vx_msg_header* header, char** payload, size_t* capacity)
{
    if (!vx_read_full(fd, header, sizeof *header))
        return false;
    if (header->magic != VX_MSG_MAGIC || header->length < 0 || header->length > VX_MSG_MAX_PAYLOAD)
        return false;
    size_t need = (size_t)header->length + 1;
    if (!*payload || *capacity < need) {
        char* grown = (char*)realloc(*payload, need);
        if (!grown)
            return false;
        *payload = grown;
        *capacity = need;
    }
    if (!vx_read_full(fd, *payload, (size_t)header->length))
        return false;
    (*payload)[header->length] = '\0';  // a text answer can be read as a string
    return true;
}

bool vx_write_msg(int fd, int kind, int seq, int code, const void* payload, int length)
{
    if (length < 0 || length > VX_MSG_MAX_PAYLOAD || (length > 0 && !payload))
        return false;
    vx_msg_header h;
    memset(&h, 0, sizeof h);
    h.magic = VX_MSG_MAGIC;
    h.kind = kind;
    h.seq = seq;
    h.code = code;
    h.length = length;
    // One buffer for small messages keeps a request in one segment.
    if (length <= 4096) {
        char buf[sizeof h + 4096];
        memcpy(buf, &h, sizeof h);
        if (length)
            memcpy(buf + sizeof h, payload, (size_t)length);
        return vx_write_full(fd, buf, sizeof h + (size_t)length);
    }
    return vx_write_full(fd, &h, sizeof h) && vx_write_full(fd, payload, (size_t)length);
}

static bool make_address(const char* path, sockaddr_un* addr)
{
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (strlen(path) >= sizeof addr->sun_path)
        return false;
    strcpy(addr->sun_path, path);
    return true;
}

// A stream socket connected to `path`, or bound there and listening (a
// stale socket file of an earlier run removed first).
static int unix_socket(const char* path, bool listening)
{
    sockaddr_un addr;
    if (!make_address(path, &addr))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (listening)
        unlink(path);
    const bool ok = listening ? bind(fd, (sockaddr*)&addr, sizeof addr) == 0 && listen(fd, 64) == 0
                              : connect(fd, (sockaddr*)&addr, sizeof addr) == 0;
    if (!ok) {
        close(fd);
        return -1;
    }
    return fd;
}

int vx_connect_unix(const char* path)
{
    return unix_socket(path, false);
}

int vx_listen_unix(const char* path)
{
    return unix_socket(path, true);
}

namespace {

struct Link {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;  // guards fd and seq for senders
    int fd = -1;
    int seq = 0;
    bool thread_running = false;
    pthread_t thread;
    vx_sock_callback callback = nullptr;
    void* context = nullptr;
    std::string path;
};

Link g_link;

void* delivery_thread(void* arg)
{
    int fd = (int)(intptr_t)arg;
    vx_msg_header h;
    char* payload = nullptr;
    size_t capacity = 0;
    while (vx_read_msg(fd, &h, &payload, &capacity)) {
        if (h.kind != VX_MSG_RESPONSE)
            continue;
        // The packed header may sit anywhere; callbacks read aligned words.
        int32_t words[sizeof h / sizeof(int32_t)];
        memcpy(words, &h, sizeof words);
        if (g_link.callback)
            g_link.callback(g_link.context, words, payload);
    }
    // A refused or broken message ends the link; nothing more is delivered.
    shutdown(fd, SHUT_RDWR);
    free(payload);
    return nullptr;
}

// Closes the connection and waits for the delivery thread; the caller holds
// the lock (the delivery thread never takes it).
void close_link()
{
    if (g_link.fd >= 0)
        shutdown(g_link.fd, SHUT_RDWR);
    if (g_link.thread_running)
        pthread_join(g_link.thread, nullptr);
    if (g_link.fd >= 0)
        close(g_link.fd);
    g_link.fd = -1;
    g_link.thread_running = false;
}

// Connects and starts delivery; the caller holds the lock.
bool open_link()
{
    if (g_link.fd >= 0)
        return true;
    int fd = vx_connect_unix(g_link.path.c_str());
    if (fd < 0)
        return false;
    g_link.fd = fd;
    if (pthread_create(&g_link.thread, nullptr, delivery_thread, (void*)(intptr_t)fd) != 0) {
        close(fd);
        g_link.fd = -1;
        return false;
    }
    g_link.thread_running = true;
    return true;
}

}  // namespace

int vx_sock_init(vx_sock_callback callback, int, int, const char* path, void* context)
{
    vx_sock_uninit();
    pthread_mutex_lock(&g_link.lock);
    g_link.callback = callback;
    g_link.context = context;
    g_link.path = device_path(path ? path : "/var/run/vxsocket");
    bool ok = open_link();
    pthread_mutex_unlock(&g_link.lock);
    return ok ? 0 : -1;
}

int vx_sock_send_msg(int kind, int code, const void* payload, int length, int64_t)
{
    pthread_mutex_lock(&g_link.lock);
    // A core service that was not up at init may be up now.
    bool ok = !g_link.path.empty() && open_link();
    if (ok) {
        int seq = ++g_link.seq;
        ok = vx_write_msg(g_link.fd, kind, seq, code, payload, length);
        if (!ok)
            close_link();  // the next attempt connects afresh
    }
    pthread_mutex_unlock(&g_link.lock);
    return ok ? 0 : -1;
}

int vx_sock_uninit()
{
    pthread_mutex_lock(&g_link.lock);
    close_link();  // after this no callback runs
    g_link.callback = nullptr;
    g_link.context = nullptr;
    g_link.path.clear();
    pthread_mutex_unlock(&g_link.lock);
    return 0;
}
