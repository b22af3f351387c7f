// Recording module: holidays, recording schedules and modes
// (record_schedule.cpp); pre- and post-event recording, audio, expiry and
// the cameras' noise reduction and recording stream (record_params.cpp).
#pragma once
#include <cstdint>

#include "core/module.h"
#include "modules/record/record_records.h"

extern const WebModulePart record_schedule_part;
extern const WebModulePart record_params_part;

// The module's one response callback: every part's answers.
void on_record_ipc_callback(void* context, const int32_t* header, const char* payload);

// A channel sent as the request text: strict decimal 0..63, else false.
bool record_channel_from_text(const char* request, int* channel);
