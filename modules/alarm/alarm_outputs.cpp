// The NVR's four alarm outputs: names, types, switches and hold times with
// their schedules, copied to other outputs, and an output switched by hand.
#include "modules/alarm/alarm.h"

#include <cstring>

#include "core/db.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/oplog_codes.h"
#include "core/reply.h"
#include "modules/video/video.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define OUTPUT_RESOURCES(X) \
    X("/6020", on_get_alarm_outs, "the four NVR alarm outputs") \
    X("/6021", on_get_alarm_out, "one NVR alarm output with its schedule") \
    X("/6022", on_set_alarm_out, "store an NVR alarm output, copied to other outputs") \
    X("/6023", on_set_alarm_out_state, "switch an NVR alarm output")

OUTPUT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kOutputResources[] = {OUTPUT_RESOURCES(WEB_RESOURCE_ROW)};

const JsonField kOutputReply[] = {
    JSON_FIELD(alarm_out, id, "id", I32),
    JSON_FIELD(alarm_out, name, "name", TEXT),
    JSON_FIELD(alarm_out, type, "type", I32),
    JSON_FIELD(alarm_out, enable, "enable", I32),
    JSON_FIELD(alarm_out, duration_time, "durationTime", I32),
};
// What "/6022" changes when present; the copies take all but the name.
const JsonField kOutputSettings[] = {
    JSON_FIELD(alarm_out, name, "name", TEXT),
    JSON_FIELD(alarm_out, enable, "enable", I32),
    JSON_FIELD(alarm_out, type, "type", I32),
    JSON_FIELD(alarm_out, duration_time, "durationTime", I32),
};
const JsonField kAlarmId[] = {JSON_CHECK("alarmId", true, 0, NVR_ALARM_OUTPUTS - 1)};

json_object* output_json(const alarm_out& record, int output)
{
    alarm_out shown = record;
    shown.id = output;
    json_object* item = json_object_new_object();
    json_from_record(item, &shown, kOutputReply);
    return item;
}

HandlerStatus on_get_alarm_outs(const char*)
{
    alarm_out outputs[NVR_ALARM_OUTPUTS];
    if (read_alarm_outs(VXDB_MAIN, outputs) != 0)
        return HANDLER_ERROR_JSON;
    json_object* list = json_object_new_array();
    for (int i = 0; i < NVR_ALARM_OUTPUTS; i++)
        json_object_array_add(list, output_json(outputs[i], i));
    cgi_writeback_json(REPLY_JSON, list);
    return HANDLER_DONE;
}

HandlerStatus on_get_alarm_out(const char* request)
{
    int32_t output;
    JsonPtr body = request_words(request, &output, {"alarmId"});
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kAlarmId))
        return HANDLER_ERROR_JSON;
    alarm_out record;
    read_alarm_out(VXDB_MAIN, &record, output);
    json_object* reply = output_json(record, output);
    Schedule schedule;
    read_schedule(VXDB_MAIN, ALARM_OUT_SCHEDULE, &schedule, output);
    json_object_object_add(reply, "effective", get_schedule_json_object_ex(&schedule));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

struct OutputChange {
    json_object* request;
    int output;
    alarm_out result;
};

bool apply_output_change(alarm_out* record, void* context)
{
    OutputChange* c = (OutputChange*)context;
    json_to_record(c->request, record, kOutputSettings);
    record->id = c->output;
    c->result = *record;
    return true;
}

void notify_output(int32_t output)
{
    cgi_notify(on_alarm_ipc_callback, REQ_ALARM_OUT_CHANGED, &output, (int)sizeof output);
}

HandlerStatus on_set_alarm_out(const char* request)
{
    int32_t output;
    JsonPtr body = request_words(request, &output, {"alarmId"});
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kAlarmId))
        return HANDLER_ERROR_TEXT;

    json_object* dialog = nullptr;
    static Schedule schedule;
    memset(&schedule, 0, sizeof schedule);
    if (json_object_object_get_ex(body.get(), "dialog", &dialog) &&
        get_schedule_by_json_ex(dialog, "effective", &schedule) == 0 &&
        write_schedule(VXDB_MAIN, ALARM_OUT_SCHEDULE, &schedule, output) != 0)
        return HANDLER_ERROR_TEXT;
    OutputChange change = {body.get(), output, {}};
    if (update_alarm_out(VXDB_MAIN, output, apply_output_change, &change) < 0)
        return HANDLER_ERROR_TEXT;
    notify_output(output);

    // Copies: outputs 0..3 other than the source, each keeping its name.
    uint64_t set = 1ULL << output;
    uint64_t copies = 0;
    if (copy_targets(body.get(), NVR_ALARM_OUTPUTS, output, &copies)) {
        alarm_out outputs[NVR_ALARM_OUTPUTS];
        if (read_alarm_outs(VXDB_MAIN, outputs) != 0)
            return HANDLER_ERROR_TEXT;
        if (copies) {
            for (int i = 0; i < NVR_ALARM_OUTPUTS; i++) {
                if (!(copies & (1ULL << i)))
                    continue;
                alarm_out& to = outputs[i];
                to.id = i;
                to.type = change.result.type;
                to.enable = change.result.enable;
                to.duration_time = change.result.duration_time;
            }
            if (write_alarm_outs(VXDB_MAIN, outputs) != 0 ||
                vxdb_copy(VXDB_MAIN, db_schedule_kind(ALARM_OUT_SCHEDULE), output, copies, -1) != 0)
                return HANDLER_ERROR_TEXT;
            for (int i = 0; i < NVR_ALARM_OUTPUTS; i++)
                if (copies & (1ULL << i))
                    notify_output(i);
        }
        set |= copies;
    }
    video_log_channels(LOG_MAIN_OPERATION, LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_ALARM_OUTPUT, set);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_alarm_out_state(const char* request)
{
    // Passed as given: the core service knows which outputs exist.
    alarm_out_switch change;
    if (!request_words(request, &change, {"id", "enable"}))
        return HANDLER_SILENT;
    cgi_notify(on_alarm_ipc_callback, REQ_ALARM_OUT_SWITCH, &change, (int)sizeof change);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_ALARM_OUTPUT, oplog_number(change.output));
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

// Nothing here waits for the core service.
const WebModulePart alarm_output_part = {"alarm", kOutputResources, WEB_RES_COUNT(kOutputResources), nullptr, 0};
