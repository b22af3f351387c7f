// Core-service request client: retrying send, polling wait by request code.
#include "core/ipc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <time.h>

#include <json-c/json.h>

#include "core/reply.h"
#include "platform/vxtask.h"

std::atomic<int> g_callback_done{0};

// The waiting handler sleeps on this and the delivery thread wakes it as soon
// as an answer is handled. A setter that bypasses mark_done is still seen at
// the end of the 40 ms step.
static pthread_mutex_t g_done_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_done_cond;
static pthread_once_t g_done_once = PTHREAD_ONCE_INIT;

static void init_done_cond()
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&g_done_cond, &attr);
    pthread_condattr_destroy(&attr);
}

static void mark_done(int value)
{
    pthread_once(&g_done_once, init_done_cond);
    pthread_mutex_lock(&g_done_lock);
    g_callback_done = value;
    pthread_cond_broadcast(&g_done_cond);
    pthread_mutex_unlock(&g_done_lock);
}

// One wait step: until the answer is handled or `ms` have passed.
static void wait_step(int ms)
{
    pthread_once(&g_done_once, init_done_cond);
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_nsec += (long)ms * 1000000L;
    deadline.tv_sec += deadline.tv_nsec / 1000000000L;
    deadline.tv_nsec %= 1000000000L;
    pthread_mutex_lock(&g_done_lock);
    while (g_callback_done == 0 && pthread_cond_timedwait(&g_done_cond, &g_done_lock, &deadline) == 0) {
    }
    pthread_mutex_unlock(&g_done_lock);
}

static int g_last_steps;
// Answers to any other request are strays: printed by nobody.
static std::atomic<int> g_in_flight{-1};


// Test-only caps on the waits; unset they change nothing.
static int env_cap(const char* name, int value)
{
    const char* text = getenv(name);
    if (!text || !*text)
        return value;
    int cap = atoi(text);
    return cap >= 0 && cap < value ? cap : value;
}

int cgi_ipc_env_cap(const char* name, int value)
{
    return env_cap(name, value);
}

int cgi_ipc_wait_steps(int code)
{
    switch (code) {
    case 3700: case 3702:
        return 1500;
    case 1153: case 1171: case 3102: case 3104: case 3223: case 3259: case 3263:
    case 3360: case 3365: case 3401: case 3535:
        return 3000;
    case 1701: case 1713: case 1716: case 3200: case 3201: case 3202: case 3203:
    case 3204: case 3205: case 3227: case 3379: case 3402: case 3409: case 3420:
    case 3440: case 3528:
        return 6000;
    case 3230: case 3350: case 3434: case 3494: case 3495:
        return 15000;
    default:
        return 1000;
    }
}

int cgi_ipc_last_steps()
{
    return g_last_steps;
}

void cgi_ipc_set_in_flight(int request_code)
{
    g_in_flight = request_code;
}

int cgi_start_ipc(cgi_ipc_callback callback, int request_code, int payload_size,
                  const void* payload, int nowait, void* context)
{
    if (!callback)
        return -1;
    cgi_ipc_set_in_flight(request_code);
    vx_sock_init(callback, 0, 3, "/var/run/vxsocket", context);
    g_callback_done = 0;

    const int sends = env_cap("NVRWEB_IPC_MAX_SENDS", 3000);
    for (int i = 0; i < sends; i++) {
        int rc = vx_sock_send_msg(1, request_code, payload, payload_size, 0);
        // A waiting request needs no pause after a good send: the wait
        // follows. Notices keep theirs, so that notices sent one after the
        // other on their own connections reach the core service in order.
        if (rc == 0 && nowait != 1)
            break;
        vx_sleep_ms(10);
        if (rc == 0)
            break;
    }
    if (nowait == 1)
        return 0;

    const int steps = env_cap("NVRWEB_IPC_MAX_STEPS", cgi_ipc_wait_steps(request_code));
    int step = 0;
    while (g_callback_done == 0 && step < steps) {
        wait_step(40);
        if (g_callback_done == 0)
            step++;
    }
    g_last_steps = step;
    return 0;
}

int cgi_stop_ipc()
{
    vx_sock_uninit();
    return 0;
}

int cgi_request(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size,
                void* context)
{
    cgi_start_ipc(callback, request_code, payload_size, payload, 0, context);
    // Close first: a late answer can then no longer follow the error body.
    cgi_stop_ipc();
    return g_callback_done;
}

HandlerStatus cgi_ask(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size,
                      HandlerStatus silence, void* context)
{
    return cgi_request(callback, request_code, payload, payload_size, context) ? HANDLER_DONE : silence;
}

void cgi_notify(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size)
{
    cgi_start_ipc(callback, request_code, payload_size, payload, 1);
    cgi_stop_ipc();
}

bool cgi_dispatch_response(const IpcResponse* table, int n, void* context, const int32_t* header,
                           const char* payload)
{
    if (!payload || !header)
        return false;
    const int code = header[VX_HDR_CODE];
    const int length = header[VX_HDR_LENGTH];
    for (int i = 0; i < n; i++) {
        const IpcResponse& row = table[i];
        if (row.code != code)
            continue;
        if ((row.request ? row.request : code - 5000) != g_in_flight)
            return false;
        // A reply is printed once; later answers to the same request are not.
        if (!row.stream && g_callback_done != 0)
            return false;
        int size = row.record_size > 0 ? row.record_size : 1;
        if (length < 0 || length / size < row.min_records)
            return false;
        IpcAnswer answer = {context, payload, length, length / size, 1};
        row.handler(answer);
        if (answer.done != 0)
            mark_done(answer.done);
        return answer.done != 0;
    }
    return false;
}

bool cgi_dispatch_parts(const WebModulePart* const* parts, int n, void* context, const int32_t* header,
                        const char* payload)
{
    for (int i = 0; i < n; i++)
        if (cgi_dispatch_response(parts[i]->responses, parts[i]->response_count, context, header, payload))
            return true;
    return false;
}

int32_t answer_word(const IpcAnswer& answer, int index, int32_t fallback)
{
    int32_t v = fallback;
    answer_record(answer, &v, index);
    return v;
}

void reply_res_cb(IpcAnswer& answer)
{
    reply_res(answer_word(answer));
}

int answer_count(const IpcAnswer& answer, int64_t count, int capacity, size_t head, size_t record)
{
    if (count <= 0 || capacity <= 0 || record == 0 || answer.length < 0 || (size_t)answer.length < head)
        return 0;
    const size_t held = ((size_t)answer.length - head) / record;
    int64_t n = count < capacity ? count : capacity;
    return (size_t)n < held ? (int)n : (int)held;
}

void on_cgi_common_json_cb(IpcAnswer& answer)
{
    int32_t status;
    if (answer.count <= 0 || !answer_record(answer, &status)) {
        answer.done = 0;
        return;
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "status", json_object_new_int(status));
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_cgi_common_text_cb(int, int status, const char* data)
{
    char body[320];
    int n = snprintf(body, sizeof body, status >= 0 ? "CGI OK status:[%d]" : "CGI ERROR status:[%d]",
                     status);
    if (data && n > 0 && n < (int)sizeof body)
        snprintf(body + n, sizeof body - (size_t)n, ", data:[%.255s]", data);
    cgi_writeback_webserver(REPLY_TEXT, body);
    mark_done(1);
}

void cgi_ignore_callback(void*, const int32_t*, const char*) {}
