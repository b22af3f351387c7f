// Playback module: recording search and playback sessions (playback.cpp),
// live view (playback_live.cpp) and the download (remote_backup.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/module.h"
#include "modules/playback/playback_records.h"

extern const WebModulePart playback_part;
extern const WebModulePart playback_live_part;
extern const WebModulePart playback_download_part;

// The module's one response callback: every part's answers.
void on_stream_callback(void* context, const int32_t* header, const char* payload);
// Asks the core service through that callback and waits; silence prints the
// JSON error body.
HandlerStatus playback_ask(int code, const void* payload, int size, void* context = nullptr);
// Tells the core service without waiting.
void playback_tell(int code, const void* payload, int size);

// Brightness and the other image values scaled to 0..100 for the log:
// round-half-up of value * 100 / 255, in 64 bits.
int32_t image_log_scale(int32_t value);
