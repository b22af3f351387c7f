// Registration list: module order fixes the slot order of the registry.
#include "frontend/modules.h"

#include "frontend/dispatchreq.h"
#include "modules/playback/playback.h"
#include "modules/storage/storage.h"
#include "modules/system/system.h"

// Each module gives its table through one function, added here when the
// module is built; the order is the device's module order.
typedef const WebResEntry* (*ModuleTableFn)(int* count);

static const ModuleTableFn g_modules[] = {
    storage_web_resources,
    nullptr,  // state
    nullptr,  // video
    nullptr,  // ipc
    nullptr,  // record
    playback_web_resources,
    nullptr,  // ptz
    system_web_resources,
    nullptr,  // aging
    nullptr,  // network
    nullptr,  // alarm
};

void register_web_modules()
{
    for (ModuleTableFn fn : g_modules) {
        int count = 0;
        const WebResEntry* table = fn ? fn(&count) : nullptr;
        if (table)
            WebResRegister(table, count);
    }
}

void unregister_web_modules()
{
    for (ModuleTableFn fn : g_modules) {
        int count = 0;
        const WebResEntry* table = fn ? fn(&count) : nullptr;
        if (table)
            WebResUnregister(table, count);
    }
}
