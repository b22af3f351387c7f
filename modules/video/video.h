// Video and event module: motion detection (video_motion.cpp), video loss,
// PTZ entries, camera events and exceptions (video_events.cpp), with the
// change notifications, channel-set log entries, fixed-form schedules and
// request steps its parts share.
#pragma once
#include <cstdint>

#include "core/channels.h"
#include "core/event_actions.h"
#include "core/ipc.h"
#include "core/json_util.h"
#include "core/module.h"
#include "core/reply.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

extern const WebModulePart video_motion_part;
extern const WebModulePart video_events_part;
extern const WebModulePart video_osd_part;
extern const WebModulePart video_smart_part;
extern const WebModulePart video_smart_camera_part;
extern const WebModulePart video_anpr_part;
extern const WebModulePart video_snapshot_part;
extern const WebModulePart video_alarm_part;

// The module's one response callback: every part's answers.
void on_video_ipc_callback(void* context, const int32_t* header, const char* payload);

// A channel's settings changed (1403, 1402, ...), without waiting.
void video_notify_channel(int code, int32_t channel);
// A channel set's settings changed (1410, 1414, ...), without waiting.
void video_notify_channels(int code, uint64_t channels);
// One operation-log entry for a channel set (request 3509).
void video_log_channels(int main_type, int sub_type, int parameter, uint64_t channels);

// The all-day camera schedule of days 0 to 6, no channel and no list.
void fill_full_time_camera_schedule(camera_motion_schedule* schedule);

// Fixed-form schedules: the read takes the channel number as the whole
// request text (silence outside 0..63); the write takes {"camId",
// "schedule"}, stores the schedule and sends `change_code` for the channel.
// `refused` is the answer to a channel outside 0..63.
struct json_object;
// The request's "schedule"; missing days and periods read as empty.
void video_request_schedule(json_object* body, Schedule* schedule);

HandlerStatus video_get_fixed_schedule(const char* table, const char* request);
HandlerStatus video_set_fixed_schedule(const char* table, const char* request, int change_code,
                                       HandlerStatus refused);
// One schedule for each channel of the set; nonzero when a write failed.
int video_write_schedules(const char* table, const Schedule* schedule, uint64_t set);

// The channel number that is the whole request text, within 0..63.
bool video_channel_text(const char* request, int* channel);
// Asks `code` for the channel under `key` (0..63) and waits for the
// answer's printer, which gets `context`: `refused` for a request without
// that channel, `failed` when no answer came.
HandlerStatus video_ask_channel(const char* request, const char* key, int code, HandlerStatus refused,
                                HandlerStatus failed, const void* context = nullptr);

// A channel's whole event as the reply: the channel under "chnid" (silence
// for no JSON, error 1 outside 0..63), its record as stored under its own
// channel, and its action tables, printed by `keys`.
template <typename Record, size_t N>
HandlerStatus video_reply_event(const char* request, int (*read)(const char*, Record*, int),
                                const EventActionTables& tables, const EventActionKey (&keys)[N])
{
    static const JsonField kChnid[] = {JSON_CHECK("chnid", true, 0, CHANNEL_COUNT - 1)};
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kChnid))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid");
    Record record;
    read(VXDB_MAIN, &record, channel);
    record.id = channel;
    json_object* reply = json_object_new_object();
    event_actions_to_json(reply, tables, channel, &record, keys);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// Stores an action part for the channel: its tables, then, in one
// read-modify-write by `update`, the action fields of the channel's record,
// kept under its own channel. What `update` returns (below 0: a failure).
template <typename Record, size_t N>
int video_store_actions(json_object* part, const EventActionTables& tables, const EventActionKey (&keys)[N],
                        int channel, bool dialog, int (*update)(const char*, int, bool (*)(Record*, void*), void*))
{
    struct Fill {
        json_object* part;
        const EventActionKey* keys;
        int channel;
        bool dialog;
    } c = {part, keys, channel, dialog};
    event_actions_store(part, tables, channel, keys, N, dialog);
    return update(VXDB_MAIN, channel, [](Record* record, void* context) {
        const Fill* f = (const Fill*)context;
        record->id = f->channel;
        return event_actions_fill(f->part, record, f->channel, f->keys, N, f->dialog) > 0;
    }, &c);
}

// Prints an answer of one Record through `fields`; a short answer is no answer.
template <typename Record>
void video_print_record(IpcAnswer& answer, const JsonField* fields, size_t count)
{
    static Record record;
    if (!answer_record(answer, &record)) {
        answer.done = 0;
        return;
    }
    json_object* out = json_object_new_object();
    json_from_record(out, &record, fields, count);
    cgi_writeback_json(REPLY_JSON, out);
}
template <typename Record, size_t N>
void video_print_record(IpcAnswer& answer, const JsonField (&fields)[N])
{
    video_print_record<Record>(answer, fields, N);
}
