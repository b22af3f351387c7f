// coresim server: one thread per connection, requests routed by code.
// CORESIM_SEND_TIMEOUT_MS: how long an answer may wait for a client that
// reads nothing before its connection is dropped (default 30000).
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "coresim/coresim.h"
#include "platform/vxsocket.h"

namespace {

typedef const SimEntry* (*SimTableFn)(int* count);

// Module tables; each module issue adds its line.
const SimTableFn g_tables[] = {
    sim_storage_table,
    sim_log_table,
    sim_system_table,
    sim_playback_table,
    sim_download_table,
    sim_video_table,
    sim_osd_table,
    sim_anpr_table,
    sim_record_table,
    sim_network_table,
    sim_maintenance_table,
    sim_audio_table,
    sim_aging_table,
    sim_alarm_table,
    sim_ptz_table,
    sim_netsvc_table,
    sim_sysinfo_table,
    sim_ipc_table,
    sim_ipc_events_table,
    sim_ipc_params_table,
    sim_ipc_detect_table,
    sim_ipc_schedules_table,
    sim_state_table,
    sim_smart_table,
    sim_upgrade_table,
    sim_https_table,
    sim_p2p_table,
};

enum { SEND_TIMEOUT_MS = 30000, ACCEPT_PAUSE_MS = 50 };

volatile sig_atomic_t g_stopping;
int g_listen_fd = -1;
std::mutex g_conn_mu;
std::condition_variable g_conn_cv;
std::vector<int> g_conns;  // open connections; the threads are detached

SimHandler find_handler(int code)
{
    for (SimTableFn fn : g_tables) {
        int n = 0;
        const SimEntry* table = fn(&n);
        for (int i = 0; i < n; i++)
            if (table[i].code == code)
                return table[i].handler;
    }
    return nullptr;
}

void serve_connection(int fd)
{
    vx_msg_header h;
    char* payload = nullptr;
    size_t capacity = 0;
    while (vx_read_msg(fd, &h, &payload, &capacity)) {
        if (h.kind != VX_MSG_REQUEST)
            continue;
        SimRequest request{h.code, h.seq, payload, h.length};
        SimHandler handler = find_handler(h.code);
        if (!handler) {
            sim_log("no answer to unknown request %d (%d bytes)", h.code, h.length);
            continue;
        }
        SimReply reply(fd, request);
        handler(request, reply);
        if (!reply.flush()) {
            // A partly written answer leaves the stream unframed; a client
            // that left needs no line in the log.
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                sim_log("answer to request %d not taken in time: connection dropped", h.code);
            break;
        }
    }
    // A malformed message (wrong magic, oversized length) ends up here too:
    // only this connection is closed.
    free(payload);
    std::lock_guard<std::mutex> g(g_conn_mu);
    for (size_t i = 0; i < g_conns.size(); i++)
        if (g_conns[i] == fd) {
            g_conns.erase(g_conns.begin() + (long)i);
            break;
        }
    close(fd);
    g_conn_cv.notify_all();
}

void* connection_thread(void* arg)
{
    serve_connection((int)(intptr_t)arg);
    return nullptr;
}

void on_signal(int)
{
    sim_stop();
}

int send_timeout_ms()
{
    const char* text = getenv("CORESIM_SEND_TIMEOUT_MS");
    int ms = text && *text ? atoi(text) : SEND_TIMEOUT_MS;
    return ms > 0 ? ms : SEND_TIMEOUT_MS;
}

// Running out of descriptors, or a connection aborted before it was taken,
// is passing: the server keeps its clients and takes new ones when it can.
bool accept_again(int error)
{
    static bool logged;
    if (error == EINTR || error == ECONNABORTED)
        return true;
    if (error != EMFILE && error != ENFILE)
        return false;
    if (!logged) {
        logged = true;
        sim_log("accept: %s; retrying every %d ms (said once)", strerror(error), ACCEPT_PAUSE_MS);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ACCEPT_PAUSE_MS));
    return true;
}

// The connection's own thread, detached; false when none could be started.
bool start_connection(int fd)
{
    pthread_attr_t attr;
    pthread_t thread;
    if (pthread_attr_init(&attr) != 0)
        return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    bool ok = pthread_create(&thread, &attr, connection_thread, (void*)(intptr_t)fd) == 0;
    pthread_attr_destroy(&attr);
    return ok;
}

}  // namespace

int sim_duplicate_code()
{
    std::vector<int> seen;
    for (SimTableFn fn : g_tables) {
        int n = 0;
        const SimEntry* table = fn(&n);
        for (int i = 0; i < n; i++) {
            for (int code : seen)
                if (code == table[i].code)
                    return code;
            seen.push_back(table[i].code);
        }
    }
    return 0;
}

int32_t SimRequest::word(int index) const
{
    int32_t v = 0;
    if (index >= 0 && length >= 4 * (index + 1))
        memcpy(&v, payload + 4 * index, sizeof v);
    return v;
}

bool SimReply::send(const void* payload, size_t size)
{
    return send_code(request_.code + 5000, payload, size);
}

bool SimReply::send_word(int32_t word)
{
    return send(&word, sizeof word);
}

bool SimReply::send_code(int code, const void* payload, size_t size)
{
    if (broken_ || size > (size_t)VX_MSG_MAX_PAYLOAD || (size > 0 && !payload))
        return false;
    vx_msg_header h;
    memset(&h, 0, sizeof h);
    h.magic = VX_MSG_MAGIC;
    h.kind = VX_MSG_RESPONSE;
    h.seq = request_.seq;
    h.code = code;
    h.length = (int32_t)size;
    kept_.insert(kept_.end(), (const char*)&h, (const char*)&h + sizeof h);
    if (size > 0)
        kept_.insert(kept_.end(), (const char*)payload, (const char*)payload + size);
    return true;
}

bool SimReply::stream(const void* payload, size_t size)
{
    if (!flush())
        return false;
    if (size > (size_t)VX_MSG_MAX_PAYLOAD ||
        !vx_write_msg(fd_, VX_MSG_RESPONSE, request_.seq, request_.code + 5000, payload, (int)size))
        broken_ = true;
    return !broken_;
}

bool SimReply::flush()
{
    if (!broken_ && !kept_.empty() && !vx_write_full(fd_, kept_.data(), kept_.size()))
        broken_ = true;
    kept_.clear();
    return !broken_;
}

void sim_log(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    fprintf(stderr, "coresim: %s\n", line);
}

void sim_stop()
{
    g_stopping = 1;
    if (g_listen_fd >= 0)
        shutdown(g_listen_fd, SHUT_RDWR);
}

int sim_serve()
{
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    // Up before the socket is: a client that connects may look for the
    // liveness file at once.
    sim_maintenance_start();
    // Held open for the whole run, as the core service holds it: the WAL
    // index then stays in place and every CGI's open costs less.
    vxdb_connection(VXDB_MAIN);
    const std::string path = device_path("/var/run/vxsocket");
    g_listen_fd = vx_listen_unix(path.c_str());
    if (g_listen_fd < 0) {
        sim_log("cannot listen on %s: %s", path.c_str(), strerror(errno));
        sim_maintenance_stop();
        return 1;
    }
    sim_storage_start();
    sim_ptz_start();
    sim_log("listening on %s", path.c_str());

    const int timeout_ms = send_timeout_ms();
    const struct timeval send_timeout = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    while (!g_stopping) {
        int fd = accept(g_listen_fd, nullptr, nullptr);
        if (fd < 0) {
            if (!g_stopping && accept_again(errno))
                continue;
            break;
        }
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);
        std::lock_guard<std::mutex> g(g_conn_mu);
        g_conns.push_back(fd);
        if (!start_connection(fd)) {
            sim_log("no thread for a new connection: closed");
            g_conns.pop_back();
            close(fd);
        }
    }
    {
        std::unique_lock<std::mutex> g(g_conn_mu);
        for (int fd : g_conns)
            shutdown(fd, SHUT_RDWR);
        g_conn_cv.wait_for(g, std::chrono::seconds(10), [] { return g_conns.empty(); });
    }
    sim_maintenance_stop();
    close(g_listen_fd);
    unlink(path.c_str());
    sim_log("stopped");
    return 0;
}
