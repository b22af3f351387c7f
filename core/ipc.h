// Core-service request client: send one request, wait for the module's
// response callback to print the answer.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/module.h"
#include "platform/vxsocket.h"

// 0 until a response callback has dealt with the answer.
extern std::atomic<int> g_callback_done;

typedef vx_sock_callback cgi_ipc_callback;

// `context` reaches the callback as its first argument and the printer as
// IpcAnswer::context: a handler's per-request state, never a global.
int cgi_start_ipc(cgi_ipc_callback callback, int request_code, int payload_size,
                  const void* payload, int nowait, void* context = nullptr);
int cgi_stop_ipc();

// Polling steps of 40 ms allowed for a request code (before the test cap).
int cgi_ipc_wait_steps(int request_code);
// Steps actually polled by the last waiting cgi_start_ipc (for tests).
int cgi_ipc_last_steps();
// The request whose answer the callbacks accept (cgi_start_ipc sets it).
void cgi_ipc_set_in_flight(int request_code);
// The test-only cap `name` (NVRWEB_IPC_MAX_STEPS, NVRWEB_IPC_MAX_SENDS) when
// it is set and below `value`, else `value`: other waits of a request use it
// so that tests never wait their full length.
int cgi_ipc_env_cap(const char* name, int value);

// The usual exchange: ask, wait, close the link. Returns the done flag
// (0: nothing came); prints nothing of its own.
int cgi_request(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size,
                void* context = nullptr);
// The same for a handler whose reply is the answer: HANDLER_DONE when it
// came, else `silence` (the error body the dispatcher then prints).
HandlerStatus cgi_ask(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size,
                      HandlerStatus silence, void* context = nullptr);

// Sends without waiting and closes the link.
void cgi_notify(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size);

// An answer as a printer gets it: the payload holds at least the row's
// fewest records.
struct IpcAnswer {
    void* context;        // what the handler passed with its request
    const char* payload;  // never null
    int length;           // payload bytes
    int count;            // whole records of the row's record size
    int done;             // the flag once printed: 1 unless the printer sets
                          // 0 (not an answer after all) or a result value
};

// One row of a module's response table: the answer's record size and how many
// whole records it must hold at least (1 for a single record, 0 for a list
// that may be empty). A shorter answer is no answer.
struct IpcResponse {
    int code;
    int record_size;
    int min_records;
    void (*handler)(IpcAnswer& answer);
    int request = 0;      // the request it answers, when not code - 5000
    bool stream = false;  // many answers to one request (download chunks)
};

// Calls the row of `code` when it answers the request in flight, once per
// request (stream rows each time); returns false when the answer was not taken.
bool cgi_dispatch_response(const IpcResponse* table, int n, void* context, const int32_t* header,
                           const char* payload);

// The same over a module's parts, in turn.
bool cgi_dispatch_parts(const WebModulePart* const* parts, int n, void* context, const int32_t* header,
                        const char* payload);

// Word i of an answer (4 bytes each), or `fallback` when the payload does not hold it.
int32_t answer_word(const IpcAnswer& answer, int index = 0, int32_t fallback = 0);
// Prints the answer's first word as {"res": word}, how most camera writes answer.
void reply_res_cb(IpcAnswer& answer);
// Record i of sizeof(T) bytes after `head` bytes, when the payload holds all
// of it; zeros and false otherwise.
template <typename T>
bool answer_record(const IpcAnswer& answer, T* out, int index = 0, size_t head = 0)
{
    const size_t end = head + (size_t)(index + 1) * sizeof(T);
    if (index < 0 || answer.length < 0 || end > (size_t)answer.length) {
        memset(out, 0, sizeof(T));
        return false;
    }
    memcpy(out, answer.payload + head + (size_t)index * sizeof(T), sizeof(T));
    return true;
}
// A count read from an answer, cut to [0, capacity] and to the whole records
// of `record` bytes that the payload holds after `head` bytes.
int answer_count(const IpcAnswer& answer, int64_t count, int capacity, size_t head, size_t record);

// {"status": first int32}; nothing for no record.
void on_cgi_common_json_cb(IpcAnswer& answer);
// "CGI OK status:[%d]" or "CGI ERROR status:[%d]", and ", data:[%s]".
void on_cgi_common_text_cb(int count, int status, const char* data);
// A callback for requests whose answer nobody reads.
void cgi_ignore_callback(void* unused, const int32_t* header, const char* payload);
