// Web resource registry and dispatch: 512 slots, filled table by table.
#include "frontend/dispatchreq.h"

#include <cstring>

#include "core/reply.h"
#include "frontend/cgi_env.h"

static WebResEntry g_slots[MAX_WEBREQ_COUNT];
static unsigned char g_used[MAX_WEBREQ_COUNT];
static int g_count;

int WebResRegister(const WebResEntry* table, int n)
{
    if (!table || n <= 0)
        return -1;
    // All or nothing, and one slot always stays free.
    if (g_count + n >= MAX_WEBREQ_COUNT) {
        cgi_log("dispatchreq", 62, "", "[tarn debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)");
        return -1;
    }
    int next = 0;
    for (int slot = 0; slot < MAX_WEBREQ_COUNT && next < n; slot++) {
        if (g_used[slot])
            continue;
        g_slots[slot] = table[next++];
        g_slots[slot].path[sizeof g_slots[slot].path - 1] = '\0';
        g_used[slot] = 1;
        g_count++;
    }
    return 0;
}

// strncmp(a, b, n) == 0, inline: unregistering compares every slot with
// every entry, and most paths differ within their first few characters.
static bool same_path(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (a[i] != b[i])
            return false;
        if (a[i] == '\0')
            return true;
    }
    return true;
}

int WebResUnregister(const WebResEntry* table, int n)
{
    if (!table || n <= 0)
        return -1;
    for (int slot = 0; slot < MAX_WEBREQ_COUNT; slot++) {
        if (!g_used[slot])
            continue;
        for (int i = 0; i < n; i++) {
            if (same_path(g_slots[slot].path, table[i].path, sizeof table[i].path)) {
                memset(&g_slots[slot], 0, sizeof g_slots[slot]);
                g_used[slot] = 0;
                g_count--;
                break;
            }
        }
    }
    return 0;
}

const WebResEntry* FindWebRes(const char* path)
{
    if (!path)
        return nullptr;
    // Free slots are all zero: without the flag, "" would find one.
    for (int slot = 0; slot < MAX_WEBREQ_COUNT; slot++)
        if (g_used[slot] && strcmp(g_slots[slot].path, path) == 0)
            return &g_slots[slot];
    return nullptr;
}

// The one place where a handler's error becomes an error body.
static void finish(HandlerStatus status)
{
    if (status == HANDLER_ERROR_TEXT)
        cgi_error_to_webserver(REPLY_TEXT);
    else if (status == HANDLER_ERROR_JSON)
        cgi_error_to_webserver(REPLY_JSON);
}

void DispatchWebReq(const char* path, const char* request)
{
    if (!path)
        return;
    for (int slot = 0; slot < MAX_WEBREQ_COUNT; slot++) {
        if (g_used[slot] && strcmp(g_slots[slot].path, path) == 0) {
            if (g_slots[slot].handler)
                finish(g_slots[slot].handler(request));
            return;
        }
    }
}

int WebResCount()
{
    return g_count;
}
