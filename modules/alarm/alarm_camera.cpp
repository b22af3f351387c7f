// Camera alarm inputs and outputs: their live state asked from the camera,
// their names, schedules and actions kept here and copied to channel sets,
// and an output switched by hand.
#include "modules/alarm/alarm.h"

#include <cstdio>
#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define CAMERA_RESOURCES(X) \
    X("/6024", on_get_camera_alarm_input, "a camera's alarm inputs with their actions") \
    X("/6025", on_set_camera_alarm_input, "camera alarm inputs and actions, copied to a channel set") \
    X("/6028", on_get_camera_alarm_output, "a camera's two alarm outputs") \
    X("/6029", on_set_camera_alarm_output, "camera alarm-output names, delays and schedules, copied") \
    X("/6033", on_set_camera_alarm_output_state, "switch a camera alarm output")

CAMERA_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kCameraResources[] = {CAMERA_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastChannel = CHANNEL_COUNT - 1;

// The tables of camera alarm input i, each name formed once per request.
struct ChnInTables {
    char names[8][64];
    EventActionTables tables;
    explicit ChnInTables(int input)
    {
        static const char* const kFormats[8] = {
            ALARM_CHNIN_EFFECTIVE_SCHEDULE, ALARM_CHNIN_AUDIBLE_SCHEDULE,  ALARM_CHNIN_MAIL_SCHEDULE,
            ALARM_CHNIN_PTZ_SCHEDULE,       ALARM_CHNIN_WHITELED_SCHEDULE, ALARM_CHNIN_WHITELED_PARAMS,
            ALARM_CHNIN_HTTP_SCHEDULE,      ALARM_CHNIN_HTTP_PARAMS,
        };
        for (int i = 0; i < 8; i++)
            snprintf(names[i], sizeof names[i], kFormats[i], input);
        tables = {names[0], names[1], names[2], names[3], names[4],
                  names[5], names[6], names[7], converse_chn_alarmid_to_event_in(input)};
    }
};

// One input of "/6024" after the three state keys and the name.
const EventActionKey kChnInReply[] = {
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_FIELD(alarm_chnIn_event, interval, "interval"),
    ACTION_FIELD(alarm_chnIn_event, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_FIELD(alarm_chnIn_event, email_interval, "email_interval"),
    ACTION_FIELD(alarm_chnIn_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(alarm_chnIn_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_FIELD(alarm_chnIn_event, ptz_interval, "ptz_interval"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
    ACTION_FIELD(alarm_chnIn_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(alarm_chnIn_event, tri_alarms, "triAlarms"),
    ACTION_TEXT(alarm_chnIn_event, tri_channels_string, "triChannels"),
    ACTION_ALARM_OUTPUTS(alarm_chnIn_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_FIELD(alarm_chnIn_event, white_interval, "white_interval"),
    ACTION_FIELD(alarm_chnIn_event, http_notification_interval, "http_notification_interval"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
};

// One "dialog" object of "/6025": the motion event's action part.
const EventActionKey kChnInActions[] = {
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_ALARM_OUTPUTS(alarm_chnIn_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(alarm_chnIn_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(alarm_chnIn_event, interval, "interval"),
    ACTION_FIELD(alarm_chnIn_event, audio_id, "audioId"),
    ACTION_FIELD(alarm_chnIn_event, email_interval, "email_interval"),
    ACTION_FIELD(alarm_chnIn_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(alarm_chnIn_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(alarm_chnIn_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(alarm_chnIn_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(alarm_chnIn_event, white_interval, "white_interval"),
    ACTION_FIELD(alarm_chnIn_event, http_notification_interval, "http_notification_interval"),
    ACTION_CHANNELS(alarm_chnIn_event, tri_channels_string, tri_channels, "triChannels"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

const JsonField kChnid[] = {JSON_CHECK("chnid", true, 0, kLastChannel)};
const JsonField kSetInputs[] = {
    JSON_CHECK("chnid", true, 0, kLastChannel),
    JSON_CHECK("alarmCnt", true, 0, CAMERA_ALARM_INPUTS),
};
// The request and the name records hold two outputs: a larger count would
// address slots that do not exist.
const JsonField kSetOutputs[] = {
    JSON_CHECK("chnid", true, 0, kLastChannel),
    JSON_CHECK("alarmCnt", false, 0, CAMERA_ALARM_OUTPUTS),
};
const JsonField kOutputSwitch[] = {
    JSON_CHECK("chnid", true, 0, kLastChannel),
    JSON_CHECK("alarmId", true, 0, CAMERA_ALARM_OUTPUTS - 1),
    JSON_CHECK("state", true, JSON_ANY_MIN, JSON_ANY_MAX),
};

// `each(item, i)` for the objects among the first `most` elements of the
// request's array `key`.
template <typename Each>
void for_each_object(json_object* body, const char* key, size_t most, Each each)
{
    json_object* array = nullptr;
    json_object_object_get_ex(body, key, &array);
    const size_t n = json_array_size(array);
    for (size_t i = 0; i < n && i < most; i++)
        if (json_object* item = json_array_at(array, i); json_object_is_type(item, json_type_object))
            each(item, (int)i);
}

// A name into its record field: cut to the field, NUL-terminated, rest zero.
void copy_name(char* field, size_t size, const char* text)
{
    memset(field, 0, size);
    if (text)
        memcpy(field, text, strnlen(text, size - 1));
}

void chn_out_schedule_table(int output, char* out, size_t size)
{
    snprintf(out, size, ALARM_CHNOUT_EFFECTIVE_SCHEDULE, output);
}

HandlerStatus on_get_camera_alarm_input(const char* request)
{
    camera_alarm_in_state ask;
    JsonPtr body = request_words(request, &ask, {"chnid"});
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kChnid))
        return HANDLER_ERROR_JSON;
    ask.alarm_cnt = CAMERA_ALARM_INPUTS;
    int channel = ask.channel;
    return cgi_ask(on_alarm_ipc_callback, REQ_CAMERA_ALARM_IN_GET, &ask, (int)sizeof ask, HANDLER_ERROR_JSON,
                   &channel);
}

// The head of a camera's input or output reply: the channel asked for, not
// the one the answer names, and the count; null (no answer) for a short one.
template <typename State>
json_object* camera_alarm_reply(IpcAnswer& answer, State* state, int* channel)
{
    if (!answer_record(answer, state) || !answer.context) {
        answer.done = 0;
        return nullptr;
    }
    *channel = *(const int*)answer.context;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "chnid", *channel);
    json_add_int(reply, "alarmCnt", state->alarm_cnt);
    return reply;
}

// The end of a camera's input or output write: the set to the core service
// and the channels it reached, then the answer.
template <typename Set>
HandlerStatus send_camera_alarm_set(Set& set, int channel, uint64_t copies, int set_code, int changed_code, int rc)
{
    set.channels = copies | (1ULL << channel);
    cgi_notify(on_alarm_ipc_callback, set_code, &set, (int)sizeof set);
    cgi_notify(on_alarm_ipc_callback, changed_code, &set.channels, (int)sizeof set.channels);
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

void on_get_camera_alarm_input_cb(IpcAnswer& answer)
{
    camera_alarm_in_state state;
    int channel = 0;
    json_object* reply = camera_alarm_reply(answer, &state, &channel);
    if (!reply)
        return;
    json_object* list = json_object_new_array();
    for (int i = 0; i < CAMERA_ALARM_INPUTS && i < state.alarm_cnt; i++) {
        json_object* input = json_object_new_object();
        json_add_int(input, "alarmEnable", state.enable[i]);
        json_add_int(input, "alarmType", state.type[i]);
        json_add_int(input, "alarmStatus", state.status[i]);
        alarm_chnIn_event_name name;
        read_alarm_chnIn_event_name(VXDB_MAIN, &name, channel, i);
        json_add_field(input, "alarmName", name.name, sizeof name.name);
        alarm_chnIn_event event;
        read_alarm_chnIn_event(VXDB_MAIN, &event, channel, i);
        const ChnInTables t(i);
        event_actions_to_json(input, t.tables, channel, &event, kChnInReply);
        json_object_array_add(list, input);
    }
    json_object_object_add(reply, "alarm", list);
    cgi_writeback_json(REPLY_JSON, reply);
}

struct ChnInActions {
    json_object* part;
    int channel;
    int input;
};

bool fill_chn_in_actions(alarm_chnIn_event* record, void* context)
{
    ChnInActions* c = (ChnInActions*)context;
    record->channel = c->channel;
    record->input = c->input;
    event_actions_fill(c->part, record, c->channel, kChnInActions, WEB_RES_COUNT(kChnInActions), true);
    return true;
}

// Step 2 of "/6025": one input's actions stored for the source channel and
// every table of that input copied to the set. 0, or -1 on a failed write.
int save_chn_in_dialog(json_object* part, int channel, uint64_t copies)
{
    int input = -1;
    if (!json_get_int(part, "alarmId", &input) || input < 0 || input >= CAMERA_ALARM_INPUTS)
        return 0;
    const ChnInTables t(input);
    event_actions_store(part, t.tables, channel, kChnInActions, WEB_RES_COUNT(kChnInActions), true);
    ChnInActions c = {part, channel, input};
    int rc = update_alarm_chnIn_event(VXDB_MAIN, channel, input, fill_chn_in_actions, &c) < 0 ? -1 : 0;
    if (copies) {
        rc |= copy_alarm_chnIn_events(VXDB_MAIN, channel, input, copies);
        rc |= event_actions_copy(t.tables, channel, copies);
    }
    return rc;
}

HandlerStatus on_set_camera_alarm_input(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kSetInputs))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid");
    const int count = json_int_or(body.get(), "alarmCnt");
    // The source is never its own copy.
    const uint64_t copies = channel_list_by_json(body.get(), "copyChn", "copyCnt").mask & ~(1ULL << channel);

    int rc = 0;
    for_each_object(body.get(), "dialog", CAMERA_ALARM_INPUTS,
                    [&](json_object* part, int) { rc |= save_chn_in_dialog(part, channel, copies); });

    camera_alarm_in_set set;
    memset(&set, 0, sizeof set);
    set.alarm_cnt = count;
    for_each_object(body.get(), "alarm", (size_t)count, [&](json_object* item, int i) {
        set.slots[i].input = i;
        json_get_int(item, "alarmEnable", &set.slots[i].enable);
        json_get_int(item, "alarmType", &set.slots[i].type);
        const char* text = nullptr;
        if (json_get_text(item, "alarmName", &text)) {
            alarm_chnIn_event_name name;
            memset(&name, 0, sizeof name);
            name.channel = channel;
            name.input = i;
            copy_name(name.name, sizeof name.name, text);
            rc |= write_alarm_chnIn_event_name(VXDB_MAIN, &name);
        }
    });
    return send_camera_alarm_set(set, channel, copies, REQ_CAMERA_ALARM_IN_SET, REQ_CAMERA_ALARM_IN_SET_CHANGED, rc);
}

HandlerStatus on_get_camera_alarm_output(const char* request)
{
    int32_t ask;
    JsonPtr body = request_words(request, &ask, {"chnid"});
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kChnid))
        return HANDLER_ERROR_JSON;
    int channel = ask;
    return cgi_ask(on_alarm_ipc_callback, REQ_CAMERA_ALARM_OUT_GET, &ask, (int)sizeof ask, HANDLER_ERROR_JSON,
                   &channel);
}

void on_get_camera_alarm_output_cb(IpcAnswer& answer)
{
    camera_alarm_out_state state;
    int channel = 0;
    json_object* reply = camera_alarm_reply(answer, &state, &channel);
    if (!reply)
        return;
    json_object* list = json_object_new_array();
    // Always both outputs, whatever the count says.
    for (int i = 0; i < CAMERA_ALARM_OUTPUTS; i++) {
        json_object* output = json_object_new_object();
        json_add_int(output, "alarmType", state.type[i]);
        json_add_int(output, "alarmStatus", state.status[i]);
        alarm_chnOut_event_name name;
        read_alarm_chnOut_event_name(VXDB_MAIN, &name, channel, i);
        json_add_field(output, "alarmName", name.name, sizeof name.name);
        json_add_int(output, "delayTime", name.delay_time);
        char table[64];
        chn_out_schedule_table(i, table, sizeof table);
        Schedule schedule;
        read_schedule(VXDB_MAIN, table, &schedule, channel);
        json_object_object_add(output, "effective", get_schedule_json_object(&schedule));
        json_object_array_add(list, output);
    }
    json_object_object_add(reply, "alarm", list);
    cgi_writeback_json(REPLY_JSON, reply);
}

HandlerStatus on_set_camera_alarm_output(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kSetOutputs))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid");
    const int count = json_int_or(body.get(), "alarmCnt");
    const uint64_t copies = channel_list_by_json(body.get(), "copyChn", "copyCnt").mask & ~(1ULL << channel);

    int rc = 0;
    for_each_object(body.get(), "dialog", CAMERA_ALARM_OUTPUTS, [&](json_object* part, int) {
        int output = -1;
        if (!json_get_int(part, "alarmId", &output) || output < 0 || output >= CAMERA_ALARM_OUTPUTS)
            return;
        char table[64];
        chn_out_schedule_table(output, table, sizeof table);
        static Schedule schedule;
        memset(&schedule, 0, sizeof schedule);
        if (get_schedule_by_json(part, "effective", &schedule) != 0)
            return;
        rc |= write_schedule(VXDB_MAIN, table, &schedule, channel);
        if (copies)
            rc |= vxdb_copy(VXDB_MAIN, db_schedule_kind(table), channel, copies, -1);
    });

    camera_alarm_out_set set;
    memset(&set, 0, sizeof set);
    set.alarm_cnt = count;
    for_each_object(body.get(), "alarm", (size_t)count, [&](json_object* item, int i) {
        set.slots[i].output = i;
        json_get_int(item, "alarmType", &set.slots[i].type);
        alarm_chnOut_event_name name;
        read_alarm_chnOut_event_name(VXDB_MAIN, &name, channel, i);
        name.channel = channel;
        name.output = i;
        json_get_int(item, "delayTime", &name.delay_time);
        const char* text = nullptr;
        if (json_get_text(item, "alarmName", &text))
            copy_name(name.name, sizeof name.name, text);
        rc |= write_alarm_chnOut_event_name(VXDB_MAIN, &name);
        for (int c = 0; c < CHANNEL_COUNT; c++) {
            if (!(copies & (1ULL << c)))
                continue;
            alarm_chnOut_event_name copy = name;
            copy.channel = c;
            rc |= write_alarm_chnOut_event_name(VXDB_MAIN, &copy);
        }
    });
    return send_camera_alarm_set(set, channel, copies, REQ_CAMERA_ALARM_OUT_SET, REQ_CAMERA_ALARM_OUT_SET_CHANGED, rc);
}

HandlerStatus on_set_camera_alarm_output_state(const char* request)
{
    camera_alarm_out_switch change;
    JsonPtr body = request_words(request, &change, {"chnid", "alarmId", "state"});
    if (!body || !json_check(body.get(), kOutputSwitch))
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_alarm_ipc_callback, REQ_CAMERA_ALARM_OUT_SWITCH, &change, (int)sizeof change);
    reply_text("OK");
    return HANDLER_DONE;
}

const IpcResponse kCameraResponses[] = {
    {RSP_CAMERA_ALARM_IN_GET, (int)sizeof(camera_alarm_in_state), 1, on_get_camera_alarm_input_cb},
    {RSP_CAMERA_ALARM_OUT_GET, (int)sizeof(camera_alarm_out_state), 1, on_get_camera_alarm_output_cb},
};

}  // namespace

const WebModulePart alarm_camera_part = WEB_MODULE_PART("alarm", kCameraResources, kCameraResponses);
