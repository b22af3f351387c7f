// Device-state module: interface, camera, alarm, disk-group, usage and user
// state (state_status.cpp); the packet capture (state_capture.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"
#include "modules/state/state_records.h"

extern const WebModulePart state_status_part;
extern const WebModulePart state_capture_part;

// The module's one response callback: every part's answers.
void on_state_ipc_callback(void* context, const int32_t* header, const char* payload);
