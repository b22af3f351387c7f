// The NVR's alarm inputs as the input pages keep them (the list, one input
// with its schedule, its settings, its name and its actions stored apart),
// and the names of every alarm input and output for the pages that pick one.
#include "modules/alarm/alarm.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/encodings.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/oplog_codes.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define EVENT_RESOURCES(X) \
    X("/6032", on_get_all_alarmout_names, "names of the NVR's and the cameras' alarm outputs") \
    X("/6034", on_get_all_alarmin_names, "names of the NVR's and the cameras' alarm inputs") \
    X("/6060", on_get_alarm_ins, "the sixteen NVR alarm inputs") \
    X("/6061", on_get_alarm_in, "one NVR alarm input with its schedule") \
    X("/6062", on_set_alarm_in, "store an NVR alarm input and its schedule") \
    X("/6063", on_set_alarm_in_name, "name, type and enable of an NVR alarm input") \
    X("/6064", on_set_alarm_in_action, "record channels, alarm outputs and interval of an NVR alarm input")

EVENT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kEventResources[] = {EVENT_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastInput = NVR_ALARM_INPUTS - 1;

const JsonField kInputListReply[] = {
    JSON_FIELD(alarm_in, id, "id", I32),
    JSON_FIELD(alarm_in, enable, "enable", I32),
    JSON_FIELD(alarm_in, name, "name", TEXT),
    JSON_FIELD(alarm_in, type, "type", I32),
    JSON_FIELD(alarm_in, tri_channels_string, "triChannels", TEXT),
    JSON_FIELD(alarm_in, tri_alarms, "triAlarms", I32),
};
const JsonField kInputReply[] = {
    JSON_FIELD(alarm_in, id, "id", I32),
    JSON_FIELD(alarm_in, enable, "enable", I32),
    JSON_FIELD(alarm_in, name, "name", TEXT),
    JSON_FIELD(alarm_in, type, "type", I32),
    JSON_FIELD(alarm_in, tri_channels_string, "triChannels", TEXT),
    JSON_FIELD(alarm_in, tri_alarms, "triAlarms", I32),
    JSON_FIELD(alarm_in, interval, "interval", I32),
    JSON_FIELD(alarm_in, tri_snapshot, "triSnapshot", TEXT),
};

// check_alarm_in_info: "enable" is required by "/6062" and checked only when
// present by "/6064"; the rows also say where "/6062" stores each key.
const JsonField kInputInfo[] = {
    JSON_CHECK("id", true, 0, kLastInput),
    JSON_FIELD_CHECKED(alarm_in, enable, "enable", I32, false, 0, 2),
    JSON_FIELD(alarm_in, name, "name", TEXT),
    JSON_FIELD_CHECKED(alarm_in, type, "type", I32, true, 0, 1),
    JSON_FIELD_CHECKED(alarm_in, tri_channels_string, "triChannels", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(alarm_in, tri_alarms, "triAlarms", I32, true, 0, INT32_MAX),
    JSON_FIELD_CHECKED(alarm_in, interval, "interval", I32, true, 0, INT32_MAX),
};
// What "/6064" stores.
const JsonField kInputActions[] = {
    JSON_FIELD(alarm_in, tri_channels_string, "triChannels", TEXT),
    JSON_FIELD(alarm_in, tri_alarms, "triAlarms", I32),
    JSON_FIELD(alarm_in, interval, "interval", I32),
};
// "/6063".
const JsonField kInputName[] = {
    JSON_CHECK("camId", true, 0, kLastInput),
    JSON_FIELD_CHECKED(alarm_in, name, "name", TEXT, false, 0, 0),
    JSON_FIELD_CHECKED(alarm_in, type, "type", I32, false, 0, 1),
    JSON_FIELD_CHECKED(alarm_in, enable, "enable", I32, false, 0, 2),
};

bool check_alarm_in_info(json_object* alarm, bool enable_required)
{
    return json_check(alarm, kInputInfo) && (!enable_required || json_object_object_get_ex(alarm, "enable", nullptr));
}

// A name field that may fill its array without a NUL.
void add_name(json_object* list, const char* field, size_t size)
{
    json_object_array_add(list, json_new_text(field, strnlen(field, size)));
}

// {"nvr": the NVR's names, "camera": per channel the names of its inputs or
// outputs}; `names` is by input or output, then channel.
template <typename Name, size_t Slots>
HandlerStatus print_all_names(json_object* nvr, const Name (&names)[Slots][ALARM_CHANNELS])
{
    json_object* camera = json_object_new_array();
    for (int c = 0; c < ALARM_CHANNELS; c++) {
        json_object* list = json_object_new_array();
        for (size_t k = 0; k < Slots; k++)
            add_name(list, names[k][c].name, sizeof names[k][c].name);
        json_object_array_add(camera, list);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "nvr", nvr);
    json_object_object_add(reply, "camera", camera);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_get_all_alarmout_names(const char*)
{
    alarm_out outputs[NVR_ALARM_OUTPUTS];
    memset(outputs, 0, sizeof outputs);
    read_alarm_outs(VXDB_MAIN, outputs);
    static alarm_chnOut_event_name names[CAMERA_ALARM_OUTPUTS][ALARM_CHANNELS];
    for (int o = 0; o < CAMERA_ALARM_OUTPUTS; o++)
        read_alarm_chnOut_event_names(VXDB_MAIN, names[o], o);

    json_object* nvr = json_object_new_array();
    for (const alarm_out& out : outputs)
        add_name(nvr, out.name, sizeof out.name);
    return print_all_names(nvr, names);
}

HandlerStatus on_get_all_alarmin_names(const char*)
{
    json_object* nvr = json_object_new_array();
    for (int i = 0; i < NVR_ALARM_INPUTS; i++) {
        alarm_in record;
        read_alarm_in(VXDB_MAIN, &record, i);
        add_name(nvr, record.name, sizeof record.name);
    }
    static alarm_chnIn_event_name names[CAMERA_ALARM_INPUTS][ALARM_CHANNELS];
    for (int i = 0; i < CAMERA_ALARM_INPUTS; i++)
        read_alarm_chnIn_event_names(VXDB_MAIN, names[i], i);
    return print_all_names(nvr, names);
}

HandlerStatus on_get_alarm_ins(const char*)
{
    json_object* list = json_object_new_array();
    for (int i = 0; i < NVR_ALARM_INPUTS; i++) {
        alarm_in record;
        read_alarm_in(VXDB_MAIN, &record, i);
        record.id = i;
        json_object* item = json_object_new_object();
        json_from_record(item, &record, kInputListReply);
        json_object_array_add(list, item);
    }
    cgi_writeback_json(REPLY_JSON, list);
    return HANDLER_DONE;
}

HandlerStatus on_get_alarm_in(const char* request)
{
    int input = -1;
    if (!parse_decimal(request, &input) || input < 0 || input > kLastInput)
        return HANDLER_SILENT;
    alarm_in record;
    read_alarm_in(VXDB_MAIN, &record, input);
    record.id = input;
    json_object* alarm = json_object_new_object();
    json_from_record(alarm, &record, kInputReply);
    Schedule schedule;
    read_schedule(VXDB_MAIN, ALARMIN_EFFECTIVE_SCHEDULE, &schedule, input);
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "alarm", alarm);
    json_object_object_add(reply, "schedule", get_schedule_json_object(&schedule));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

struct InputChange {
    json_object* alarm;
    const JsonField* fields;
    size_t count;
    int input;
};

bool apply_input_change(alarm_in* record, void* context)
{
    const InputChange* c = (const InputChange*)context;
    json_to_record(c->alarm, record, c->fields, c->count);
    record->id = c->input;
    // Derived again from the whole string: a channel turned to '0' loses its bit.
    record->tri_channels =
        (uint32_t)channel_string_mask(record->tri_channels_string, sizeof record->tri_channels_string);
    return true;
}

// The "alarm" object of a request, or null.
json_object* alarm_object(json_object* body)
{
    json_object* alarm = nullptr;
    if (!json_object_object_get_ex(body, "alarm", &alarm) || !json_object_is_type(alarm, json_type_object))
        return nullptr;
    return alarm;
}

// Stores the fields into the input's record, tells the core service and logs.
HandlerStatus store_input(json_object* alarm, const char* input_key, const JsonField* fields, size_t count)
{
    int input = 0;
    json_get_int(alarm, input_key, &input);
    InputChange change = {alarm, fields, count, input};
    if (update_alarm_in(VXDB_MAIN, input, apply_input_change, &change) < 0)
        return HANDLER_ERROR_TEXT;
    const int32_t word = input;
    cgi_notify(on_alarm_ipc_callback, REQ_ALARM_IN_CHANGED, &word, (int)sizeof word);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_ALARM_INPUT, oplog_number(input));
    reply_text("OK");
    return HANDLER_DONE;
}

// The stored record is updated rather than built from zero, so the actions
// that other pages keep in it stay.
HandlerStatus on_set_alarm_in(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* alarm = alarm_object(body.get());
    if (!check_alarm_in_info(alarm, true))
        return HANDLER_SILENT;
    int input = 0;
    json_get_int(alarm, "id", &input);
    json_object* item = nullptr;
    if (json_object_object_get_ex(body.get(), "schedule", &item)) {
        // Missing days and periods read as empty: the record starts from zero.
        static Schedule schedule;
        memset(&schedule, 0, sizeof schedule);
        get_schedule_by_json(body.get(), "schedule", &schedule);
        if (write_schedule(VXDB_MAIN, ALARMIN_EFFECTIVE_SCHEDULE, &schedule, input) != 0)
            return HANDLER_ERROR_TEXT;
    }
    return store_input(alarm, "id", kInputInfo, WEB_RES_COUNT(kInputInfo));
}

HandlerStatus on_set_alarm_in_name(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* alarm = alarm_object(body.get());
    if (!json_check(alarm, kInputName))
        return HANDLER_SILENT;
    return store_input(alarm, "camId", kInputName, WEB_RES_COUNT(kInputName));
}

HandlerStatus on_set_alarm_in_action(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* alarm = alarm_object(body.get());
    if (!check_alarm_in_info(alarm, false))
        return HANDLER_SILENT;
    return store_input(alarm, "id", kInputActions, WEB_RES_COUNT(kInputActions));
}

}  // namespace

// Nothing here waits for the core service.
const WebModulePart alarm_event_part = {"alarm", kEventResources, WEB_RES_COUNT(kEventResources), nullptr, 0};
