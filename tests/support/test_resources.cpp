// Test-only resources: echo the request text, ask the fake core service.
#include "tests/support/test_resources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/ipc.h"
#include "core/oplog.h"
#include "core/reply.h"

namespace {

// Echo: "[" request text "]", to see exactly what reached the handler.
int on_test_echo(const char* request)
{
    std::string body = std::string("[") + (request ? request : "(null)") + "]";
    return cgi_writeback_webserver(0, body.c_str());
}

// The answer's payload as text.
void on_test_callback(void*, const int32_t* header, const char* payload)
{
    if (!payload)
        return;
    std::string body(payload, (size_t)header[VX_HDR_LENGTH]);
    cgi_writeback_webserver(0, body.c_str());
    g_callback_done = 1;
}

// Request text "code payload": sends `payload` as request `code`.
int ask(const char* request, int error_type)
{
    int code = atoi(request);
    const char* payload = strchr(request, ' ');
    payload = payload ? payload + 1 : "";
    cgi_request(on_test_callback, code, payload, (int)strlen(payload), error_type);
    return 0;
}

int on_test_ask_text(const char* request) { return ask(request, 0); }
int on_test_ask_json(const char* request) { return ask(request, 1); }

int on_test_oplog(const char* request)
{
    cgi_write_operation_log(atoi(request), 900, 7);
    return cgi_writeback_webserver(0, "OK");
}

const WebResEntry g_test_resources[] = {
    {"/techo", on_test_echo, "echo the request text"},
    {"/taskt", on_test_ask_text, "ask the core service, text error body"},
    {"/taskj", on_test_ask_json, "ask the core service, JSON error body"},
    {"/tlog", on_test_oplog, "write an operation-log record"},
};

}  // namespace

const WebResEntry* test_web_resources(int* count)
{
    *count = WEB_RES_COUNT(g_test_resources);
    return g_test_resources;
}
