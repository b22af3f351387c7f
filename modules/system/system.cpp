// System module: one table and one response callback over its parts.
#include "modules/system/system.h"
#include "modules/system/system_log.h"
#include "modules/system/system_user.h"

#include <cstring>

namespace {

// Parts in the order their resources are registered; each part's file adds
// its line when it is built.
const SystemPart kSystemParts[] = {
    {system_user_resources, system_user_responses},
    {system_log_resources, system_log_responses},
};

enum { SYSTEM_MAX_RESOURCES = 64 };

}  // namespace

const WebResEntry* system_web_resources(int* count)
{
    static WebResEntry table[SYSTEM_MAX_RESOURCES];
    static int n = -1;
    if (n < 0) {
        n = 0;
        for (const SystemPart& part : kSystemParts) {
            int rows = 0;
            const WebResEntry* resources = part.resources ? part.resources(&rows) : nullptr;
            for (int i = 0; resources && i < rows && n < SYSTEM_MAX_RESOURCES; i++)
                table[n++] = resources[i];
        }
    }
    *count = n;
    return n > 0 ? table : nullptr;
}

void on_system_ipc_callback(void*, const int32_t* header, const char* payload)
{
    for (const SystemPart& part : kSystemParts) {
        int rows = 0;
        const IpcResponse* responses = part.responses ? part.responses(&rows) : nullptr;
        if (responses && cgi_dispatch_response(responses, rows, header, payload))
            return;
    }
}
