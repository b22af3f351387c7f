// The NVR's alarm-input events: an input with its whole action set, and the
// actions copied to other inputs while their names and types stay.
#include "modules/alarm/alarm.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/encodings.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define INPUT_RESOURCES(X) \
    X("/6026", on_get_nvr_alarm_input, "whole NVR alarm-input event") \
    X("/6027", on_set_nvr_alarm_input, "NVR alarm-input event with actions, copied to other inputs")

INPUT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kInputResources[] = {INPUT_RESOURCES(WEB_RESOURCE_ROW)};

// The PTZ entries of NVR inputs are event type 0, which the shared action
// set reads as "none": they are read and written here.
const int kPtzEventNvrInput = 0;

const EventActionTables kInputTables = {
    ALARMIN_EFFECTIVE_SCHEDULE, ALARMIN_AUDIBLE_SCHEDULE, ALARMIN_EMAIL_SCHEDULE, ALARMIN_PTZ_SCHEDULE,
    ALARMIN_WHITELED_SCHEDULE,  ALARMIN_WHITELED_PARAMS,  ALARMIN_HTTP_SCHEDULE,  ALARMIN_HTTP_PARAMS,
    0,
};

// "/6026" up to "effective"; "audible", "email" and "ptz" follow in their
// extended form, then the rest.
const EventActionKey kInputReplyHead[] = {
    ACTION_FIELD(alarm_in, id, "alarmId"),
    ACTION_TEXT(alarm_in, name, "name"),
    ACTION_FIELD(alarm_in, type, "alarmType"),
    ACTION_FIELD(alarm_in, enable, "enable"),
    ACTION_FIELD(alarm_in, tri_alarms, "triAlarms"),
    ACTION_FIELD(alarm_in, interval, "interval"),
    ACTION_FIELD(alarm_in, email_interval, "email_interval"),
    ACTION_FIELD(alarm_in, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(alarm_in, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(alarm_in, ptz_interval, "ptz_interval"),
    ACTION_FIELD(alarm_in, alarmout_interval, "alarmout_interval"),
    ACTION_TEXT(alarm_in, tri_channels_string, "triChannels"),
    ACTION_TEXT(alarm_in, tri_snapshot, "triSnapshot"),
    ACTION_BLOCK(EFFECTIVE, "effective"),
};
const EventActionKey kInputReplyTail[] = {
    ACTION_ALARM_OUTPUTS(alarm_in, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_FIELD(alarm_in, white_interval, "white_interval"),
    ACTION_FIELD(alarm_in, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
};

struct ExtendedSchedule {
    const char* key;
    const char* table;
};
const ExtendedSchedule kExtended[] = {
    {"audible", ALARMIN_AUDIBLE_SCHEDULE},
    {"email", ALARMIN_EMAIL_SCHEDULE},
    {"ptz", ALARMIN_PTZ_SCHEDULE},
};

// The "dialog" of "/6027": tables stored by the action set (the three
// extended schedules and the PTZ entries by hand), fields into the record.
const EventActionKey kInputDialog[] = {
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_ALARM_OUTPUTS(alarm_in, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(alarm_in, tri_alarms, "triAlarms"),
    ACTION_FIELD(alarm_in, interval, "interval"),
    ACTION_FIELD(alarm_in, audio_id, "audioId"),
    ACTION_FIELD(alarm_in, email_interval, "email_interval"),
    ACTION_FIELD(alarm_in, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(alarm_in, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(alarm_in, ptz_interval, "ptz_interval"),
    ACTION_FIELD(alarm_in, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(alarm_in, white_interval, "white_interval"),
    ACTION_FIELD(alarm_in, http_notification_interval, "http_notification_interval"),
    ACTION_CHANNELS(alarm_in, tri_channels_string, tri_channels, "triChannels"),
    ACTION_TEXT(alarm_in, tri_snapshot, "triSnapshot"),
};

const JsonField kInputName[] = {
    JSON_FIELD(alarm_in, type, "alarmType", I32),
    JSON_FIELD(alarm_in, name, "name", TEXT),
};
const JsonField kAlarmId[] = {JSON_CHECK("alarmId", true, 0, NVR_ALARM_INPUTS - 1)};

HandlerStatus on_get_nvr_alarm_input(const char* request)
{
    int32_t input;
    JsonPtr body = request_words(request, &input, {"alarmId"});
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kAlarmId))
        return HANDLER_ERROR_JSON;
    alarm_in record;
    read_alarm_in(VXDB_MAIN, &record, input);
    record.id = input;
    json_object* reply = json_object_new_object();
    event_actions_to_json(reply, kInputTables, input, &record, kInputReplyHead);
    for (const ExtendedSchedule& s : kExtended) {
        Schedule schedule;
        read_schedule(VXDB_MAIN, s.table, &schedule, input);
        json_object_object_add(reply, s.key, get_schedule_json_object_ex(&schedule));
    }
    event_actions_to_json(reply, kInputTables, input, &record, kInputReplyTail);
    json_object_object_add(reply, "ptzParams", get_ptz_params_json_object(kPtzEventNvrInput, input));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// The action fields of an input, not its id, name, type or enable.
void copy_actions(alarm_in* to, const alarm_in& from)
{
    alarm_in copy = from;
    copy.id = to->id;
    memcpy(copy.name, to->name, sizeof copy.name);
    copy.type = to->type;
    copy.enable = to->enable;
    *to = copy;
}

int copy_input_tables(int source, uint64_t inputs)
{
    int rc = event_actions_copy(kInputTables, source, inputs);
    const uint64_t targets = inputs & ((1ULL << NVR_ALARM_INPUTS) - 1);
    rc |= copy_ptz_params(VXDB_MAIN, kPtzEventNvrInput, source, targets);
    return rc ? -1 : 0;
}

HandlerStatus on_set_nvr_alarm_input(const char* request)
{
    int32_t input;
    JsonPtr body = request_words(request, &input, {"alarmId"});
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kAlarmId))
        return HANDLER_ERROR_JSON;
    alarm_in record;
    if (read_alarm_in(VXDB_MAIN, &record, input) != 0)
        return HANDLER_ERROR_TEXT;
    record.id = input;
    json_to_record(body.get(), &record, kInputName);

    json_object* dialog = nullptr;
    if (json_object_object_get_ex(body.get(), "dialog", &dialog) && json_object_is_type(dialog, json_type_object)) {
        event_actions_store(dialog, kInputTables, input, kInputDialog, WEB_RES_COUNT(kInputDialog), true);
        for (const ExtendedSchedule& s : kExtended) {
            static Schedule schedule;
            memset(&schedule, 0, sizeof schedule);
            if (get_schedule_by_json_ex(dialog, s.key, &schedule) == 0)
                write_schedule(VXDB_MAIN, s.table, &schedule, input);
        }
        json_object* ptz = nullptr;
        if (json_object_object_get_ex(dialog, "ptzParams", &ptz) && json_object_is_type(ptz, json_type_array))
            set_ptz_params_by_json(input, kPtzEventNvrInput, ptz);
        event_actions_fill(dialog, &record, input, kInputDialog, WEB_RES_COUNT(kInputDialog), true);
    }
    if (write_alarm_in(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;

    uint64_t set = 1ULL << input;
    uint64_t copies = 0;
    copy_targets(body.get(), NVR_ALARM_INPUTS, input, &copies);
    if (copies) {
        int rc = 0;
        for (int i = 0; i < NVR_ALARM_INPUTS; i++) {
            if (!(copies & (1ULL << i)))
                continue;
            alarm_in target;
            read_alarm_in(VXDB_MAIN, &target, i);
            target.id = i;
            copy_actions(&target, record);
            rc |= write_alarm_in(VXDB_MAIN, &target);
        }
        rc |= copy_input_tables(input, copies);
        if (rc != 0)
            return HANDLER_ERROR_TEXT;
        set |= copies;
    }
    cgi_notify(on_alarm_ipc_callback, REQ_ALARM_IN_SET_CHANGED, &set, (int)sizeof set);
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

// Nothing here waits for the core service.
const WebModulePart alarm_input_part = {"alarm", kInputResources, WEB_RES_COUNT(kInputResources), nullptr, 0};
