// System module: login and users (system_user.cpp), the device log
// (system_log.cpp), maintenance (system_maintenance.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"

// The module's one response callback: every part's answers.
void on_system_ipc_callback(void* context, const int32_t* header, const char* payload);
