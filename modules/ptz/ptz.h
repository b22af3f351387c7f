// PTZ module: movement, presets, tours, patterns and speeds (ptz_control.cpp);
// serial port, PTZ support, LED status and basic settings (ptz_config.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"
#include "core/oplog_codes.h"
#include "modules/ptz/ptz_records.h"

extern const WebModulePart ptz_control_part;
extern const WebModulePart ptz_config_part;

// The module's one response callback: every part's answers.
void on_ptz_ipc_callback(void* context, const int32_t* header, const char* payload);

// Sends without waiting.
void ptz_tell(int code, const void* payload, int size);
// Sends and waits; HANDLER_DONE when the answer was printed, else `silence`.
HandlerStatus ptz_ask(int code, const void* payload, int size, HandlerStatus silence);
// The operation-log record of a PTZ change on `channel` (counted from 0):
// LOG_PARAM_NONE for a move or a command, LOG_PARAM_PTZ for a setting.
void ptz_log(OperationLogParameter parameter, int channel);
// Channels a request may name: 0 up to the model's camera count (at most 64).
int ptz_channel_limit();
