// IP-camera module: camera channels, the add-camera page and its schedules
// (ipc_channels.cpp); searching, testing, streams, addresses and the camera
// upgrade, all answered by the cameras through the core service
// (ipc_streams.cpp); people counting, POS and face events (ipc_events.cpp);
// the cameras' own parameters, one table row per resource (ipc_params.cpp,
// with motion detection and auto tracking in ipc_detect.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/json_util.h"
#include "core/module.h"
#include "modules/ipc/ipc_records.h"

extern const WebModulePart ipc_channels_part;
extern const WebModulePart ipc_streams_part;
extern const WebModulePart ipc_events_part;
extern const WebModulePart ipc_params_part;
extern const WebModulePart ipc_detect_part;
extern const WebModulePart ipc_schedules_part;

// The module's one response callback: every part's answers.
void on_ipc_ipc_callback(void* context, const int32_t* header, const char* payload);

// Sends without waiting.
void ipc_tell(int code, const void* payload, int size);
// Sends and waits; HANDLER_DONE when the answer was printed, else `silence`.
HandlerStatus ipc_ask(int code, const void* payload, int size, HandlerStatus silence, void* context = nullptr);

// The answer's records as a list of objects: answer.count of them, no more
// than `most` and only whole ones; `more` adds keys the table does not print.
typedef void (*RecordExtra)(const char* record, json_object* item);
json_object* answer_list(const IpcAnswer& answer, int most, size_t size, const JsonField* fields, size_t n,
                         RecordExtra more = nullptr);
template <size_t N>
json_object* answer_list(const IpcAnswer& answer, int most, size_t size, const JsonField (&fields)[N],
                         RecordExtra more = nullptr)
{
    return answer_list(answer, most, size, fields, N, more);
}
