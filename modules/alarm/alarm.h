// Alarm module: the NVR's alarm outputs (alarm_outputs.cpp) and input events
// (alarm_inputs.cpp), the cameras' alarm inputs and outputs (alarm_camera.cpp),
// the input pages and the name lists (alarm_events.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"
#include "modules/alarm/alarm_records.h"

struct json_object;

extern const WebModulePart alarm_output_part;
extern const WebModulePart alarm_input_part;
extern const WebModulePart alarm_camera_part;
extern const WebModulePart alarm_event_part;

// The module's one response callback: every part's answers.
void on_alarm_ipc_callback(void* context, const int32_t* header, const char* payload);

// The other NVR inputs or outputs (0..limit-1, never `source`) a write is
// copied to, from "copyChn" cut to "copyCnt"; false, with no copies, when the
// request lists none.
bool copy_targets(json_object* body, int limit, int source, uint64_t* copies);
