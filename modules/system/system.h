// System module: login, users, logs, upgrade, system information. Its
// resource table is assembled from the tables of its parts, in the order
// the device registers them.
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"

const WebResEntry* system_web_resources(int* count);

// The module's one response callback; it tries each part's answers.
void on_system_ipc_callback(void* unused, const int32_t* header, const char* payload);

// Each part of the module gives its resources and the answers it prints.
struct SystemPart {
    const WebResEntry* (*resources)(int* count);
    const IpcResponse* (*responses)(int* count);
};
