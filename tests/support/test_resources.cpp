// Test-only resources: echo the request text, ask the fake core service.
#include "tests/support/test_resources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "core/files.h"
#include "core/ipc.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "frontend/cgi_env.h"
#include "modules/playback/playback.h"
#include "platform/devpath.h"

namespace {

// Echo: "[" request text "]", to see exactly what reached the handler.
HandlerStatus on_test_echo(const char* request)
{
    std::string body = std::string("[") + (request ? request : "(null)") + "]";
    cgi_writeback_webserver(0, body.c_str());
    return HANDLER_DONE;
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
HandlerStatus ask(const char* request, HandlerStatus silence, cgi_ipc_callback callback = on_test_callback)
{
    int code = atoi(request);
    const char* payload = strchr(request, ' ');
    payload = payload ? payload + 1 : "";
    return cgi_ask(callback, code, payload, (int)strlen(payload), silence);
}

HandlerStatus on_test_ask_text(const char* request) { return ask(request, HANDLER_ERROR_TEXT); }
HandlerStatus on_test_ask_json(const char* request) { return ask(request, HANDLER_ERROR_JSON); }
// The same through the playback module's callback, to reach rows that no
// shipped request asks for.
HandlerStatus on_test_ask_stream(const char* request) { return ask(request, HANDLER_ERROR_JSON, on_stream_callback); }

HandlerStatus on_test_oplog(const char* request)
{
    cgi_write_operation_log(atoi(request), 900, 7);
    cgi_writeback_webserver(0, "OK");
    return HANDLER_DONE;
}

// Upload echo: the argument string, then what the handler can see of the
// file named by its first word (mode and size), then how many body bytes
// were still unread on standard input, then what the upload check gives.
HandlerStatus on_test_upload_echo(const char* request)
{
    std::string arg = request ? request : "(null)";
    std::string first = arg.substr(0, arg.find(" & "));
    char info[64];
    struct stat st;
    if (!first.empty() && stat(device_path(first.c_str()).c_str(), &st) == 0)
        snprintf(info, sizeof info, "file=%03o:%lld", (unsigned)(st.st_mode & 0777), (long long)st.st_size);
    else
        snprintf(info, sizeof info, "file=none");
    long long unread = 0;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, cgiIn ? cgiIn : stdin)) > 0)
        unread += (long long)n;
    UploadPath upload;
    std::string checked = upload_path_from_request(request, &upload) ? upload.path + " | " + upload.rest : "refused";
    std::string body = "[" + arg + "]\n" + info + "\nstdin=" + std::to_string(unread) + "\nupload=" + checked;
    // The process's peak so far: the intake has read the whole body by now.
    if (getenv("NVRWEB_TEST_ECHO_PEAK")) {
        char line[128];
        FILE* status = fopen("/proc/self/status", "r");
        while (status && fgets(line, sizeof line, status))
            if (strncmp(line, "VmHWM:", 6) == 0)
                body += "\npeak_kib=" + std::to_string(atol(line + 6));
        if (status)
            fclose(status);
    }
    cgi_writeback_webserver(0, body.c_str());
    return HANDLER_DONE;
}

const WebResEntry g_test_resources[] = {
    {"/techo", on_test_echo, "echo the request text"},
    {"/taskt", on_test_ask_text, "ask the core service, text error body"},
    {"/taskj", on_test_ask_json, "ask the core service, JSON error body"},
    {"/tasks", on_test_ask_stream, "ask through the playback module's callback"},
    {"/tlog", on_test_oplog, "write an operation-log record"},
    {"/tup", on_test_upload_echo, "echo an upload's argument string and file"},
};

// Paths named in NVRWEB_TEST_ECHO_PATHS (comma-separated), bound to the
// upload echo; registered before the modules so that they win over them.
WebResEntry g_echo_overrides[16];

}  // namespace

const WebResEntry* test_echo_overrides(int* count)
{
    *count = 0;
    const char* list = getenv("NVRWEB_TEST_ECHO_PATHS");
    while (list && *list && *count < (int)(sizeof g_echo_overrides / sizeof g_echo_overrides[0])) {
        size_t n = strcspn(list, ",");
        if (n > 0 && n < sizeof g_echo_overrides[0].path) {
            WebResEntry& e = g_echo_overrides[(*count)++];
            memcpy(e.path, list, n);
            e.path[n] = '\0';
            e.handler = on_test_upload_echo;
            e.help = "upload echo in place of a shipped resource";
        }
        list += n;
        if (*list == ',')
            list++;
    }
    return g_echo_overrides;
}

const WebResEntry* test_web_resources(int* count)
{
    *count = WEB_RES_COUNT(g_test_resources);
    return g_test_resources;
}
