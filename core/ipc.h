// Core-service request client: send one request, wait for the module's
// response callback to print the answer.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/vxsocket.h"

// 0 until a response callback has dealt with the answer.
extern std::atomic<int> g_callback_done;

typedef vx_sock_callback cgi_ipc_callback;

int cgi_start_ipc(cgi_ipc_callback callback, int request_code, int payload_size,
                  const void* payload, int nowait);
int cgi_stop_ipc();

// Polling steps of 40 ms allowed for a request code (before the test cap).
int cgi_ipc_wait_steps(int request_code);
// Steps actually polled by the last waiting cgi_start_ipc (for tests).
int cgi_ipc_last_steps();

// The usual exchange: ask, wait, close the link; when nothing came, print the
// error body of `error_type` (0 text, 1 JSON, -1 none). Returns the flag.
int cgi_request(cgi_ipc_callback callback, int request_code, const void* payload,
                int payload_size, int error_type);

// Sends without waiting and closes the link.
void cgi_notify(cgi_ipc_callback callback, int request_code, const void* payload, int payload_size);

// One row of a module's response table: the answer's record size and how many
// whole records it must hold at least (1 for a single record, 0 for a list
// that may be empty). A shorter answer is no answer.
struct IpcResponse {
    int code;
    int record_size;
    int min_records;
    void (*handler)(int count, const char* payload, int length);
};

// Calls the row of `code`; returns false when the code is unknown or the
// answer is too short.
bool cgi_dispatch_response(const IpcResponse* table, int n, const int32_t* header,
                           const char* payload);

// {"status": first int32}; nothing for no record.
void on_cgi_common_json_cb(int count, const char* payload);
// "CGI OK status:[%d]" or "CGI ERROR status:[%d]", and ", data:[%s]".
void on_cgi_common_text_cb(int count, int status, const char* data);
// A callback for requests whose answer nobody reads.
void cgi_ignore_callback(void* unused, const int32_t* header, const char* payload);
