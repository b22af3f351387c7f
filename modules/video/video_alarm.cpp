// The NVR alarm inputs' schedules in the video table: fixed-form effective,
// audible, e-mail and PTZ schedules, and the channel-set forms that give a
// set of inputs one schedule, one action value or the PTZ entries of one.
#include "modules/video/video.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/oplog_codes.h"
#include "core/reply.h"
#include "modules/alarm/alarm_records.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define ALARM_RESOURCES(X) \
    X("/6125", on_set_alarmin_audible_sche, "audible schedule, enable and interval of a set of alarm inputs") \
    X("/6126", on_set_alarmin_email_sche, "e-mail schedule, enable, interval and snapshots of a set of inputs") \
    X("/6127", on_set_alarm_others, "record channels or alarm outputs of a set of alarm inputs") \
    X("/6128", on_get_alarmin_email_sche, "fixed-form e-mail schedule of an alarm input") \
    X("/6129", on_get_alarmin_audible_sche, "fixed-form audible schedule of an alarm input") \
    X("/6167", on_set_alarmin_ptz_sche, "PTZ schedule and entries of an alarm input copied to a set") \
    X("/6168", on_get_alarmin_ptz_sche, "fixed-form PTZ schedule of an alarm input") \
    X("/6169", on_get_alarmin_effective_sche, "fixed-form effective schedule of an alarm input") \
    X("/6170", on_set_alarmin_effective_sche, "set the fixed-form effective schedule of an alarm input")

ALARM_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kAlarmResources[] = {ALARM_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastInput = NVR_ALARM_INPUTS - 1;
// The pages offer inputs "0 to 63", but the NVR has 16: the rest are dropped
// before anything is stored or sent.
const uint64_t kInputs = (1ULL << NVR_ALARM_INPUTS) - 1;
// The PTZ entries of NVR inputs are event type 0.
const int kPtzEventNvrInput = 0;
// A snapshot channel string holds at most 64 channels.
const size_t kSnapshotChannels = ALARM_CHANNEL_STRING_SIZE - 1;

const JsonField kCamId[] = {JSON_CHECK("camId", true, 0, kLastInput)};

uint64_t request_inputs(json_object* body)
{
    return channel_list_by_json(body, "chnid", "cnt").mask & kInputs;
}

HandlerStatus get_input_schedule(const char* table, const char* request)
{
    int input = -1;
    if (!parse_decimal(request, &input) || input < 0 || input > kLastInput)
        return HANDLER_SILENT;
    return video_get_fixed_schedule(table, request);
}

HandlerStatus ok()
{
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_alarmin_effective_sche(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kCamId))
        return HANDLER_SILENT;
    const int input = json_int_or(body.get(), "camId");
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    if (write_schedule(VXDB_MAIN, ALARMIN_EFFECTIVE_SCHEDULE, &schedule, input) != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_ALARM_IN_CHANGED, input);
    return ok();
}

HandlerStatus on_get_alarmin_effective_sche(const char* request)
{
    return get_input_schedule(ALARMIN_EFFECTIVE_SCHEDULE, request);
}

HandlerStatus on_get_alarmin_audible_sche(const char* request)
{
    return get_input_schedule(ALARMIN_AUDIBLE_SCHEDULE, request);
}

HandlerStatus on_get_alarmin_email_sche(const char* request)
{
    return get_input_schedule(ALARMIN_EMAIL_SCHEDULE, request);
}

HandlerStatus on_get_alarmin_ptz_sche(const char* request)
{
    return get_input_schedule(ALARMIN_PTZ_SCHEDULE, request);
}

// A schedule and a pair of record values for a set of inputs.
struct InputPair {
    bool email;              // e-mail enable and interval, else enable and interval
    int enable;
    int interval;
    const char* snapshot;    // "/6126": snapshot channels for every input, or null
};

void apply_input_pair(alarm_in* record, int input, void* context)
{
    const InputPair* c = (const InputPair*)context;
    record->id = input;
    (c->email ? record->email_enable : record->enable) = c->enable;
    (c->email ? record->email_interval : record->interval) = c->interval;
    if (c->snapshot) {
        const size_t length = strnlen(c->snapshot, kSnapshotChannels);
        memset(record->tri_snapshot, 0, sizeof record->tri_snapshot);
        memcpy(record->tri_snapshot, c->snapshot, length);
    }
}

HandlerStatus set_input_schedule_of_set(const char* request, const char* table, bool email)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    InputPair pair = {email, json_int_or(body.get(), "enable"), json_int_or(body.get(), "interval"), nullptr};
    if (email)
        json_get_text(body.get(), "triSnapshot", &pair.snapshot);
    const uint64_t set = request_inputs(body.get());
    if (video_write_schedules(table, &schedule, set) != 0 ||
        update_alarm_ins(VXDB_MAIN, set, apply_input_pair, &pair) != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channels(REQ_ALARM_IN_SET_CHANGED, set);
    return ok();
}

HandlerStatus on_set_alarmin_audible_sche(const char* request)
{
    return set_input_schedule_of_set(request, ALARMIN_AUDIBLE_SCHEDULE, false);
}

HandlerStatus on_set_alarmin_email_sche(const char* request)
{
    return set_input_schedule_of_set(request, ALARMIN_EMAIL_SCHEDULE, true);
}

HandlerStatus on_set_alarmin_ptz_sche(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kCamId))
        return HANDLER_SILENT;
    const int source = json_int_or(body.get(), "camId");
    const uint64_t set = request_inputs(body.get());
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    int rc = video_write_schedules(ALARMIN_PTZ_SCHEDULE, &schedule, set);
    rc |= copy_ptz_params(VXDB_MAIN, kPtzEventNvrInput, source, set);
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channels(REQ_ALARM_IN_SET_CHANGED, set);
    return ok();
}

// "/6127": "type" 1 gives every input of the set the record channels
// "triChannels", type 2 the alarm outputs "triAlarms".
enum { OTHERS_CHANNELS = 1, OTHERS_ALARMS = 2 };
const JsonField kOthers[] = {
    JSON_CHECK("camId", true, 0, kLastInput),
    JSON_CHECK("type", true, OTHERS_CHANNELS, OTHERS_ALARMS),
};
const JsonField kOthersChannels[] = {JSON_FIELD_CHECKED(alarm_in, tri_channels_string, "triChannels", TEXT, true, 0, 0)};
const JsonField kOthersAlarms[] = {JSON_FIELD_CHECKED(alarm_in, tri_alarms, "triAlarms", I32, true, INT32_MIN, INT32_MAX)};

struct InputValue {
    json_object* body;
    const JsonField* field;
};

void apply_input_value(alarm_in* record, int input, void* context)
{
    const InputValue* c = (const InputValue*)context;
    record->id = input;
    json_to_record(c->body, record, c->field, 1);
    // Derived again from the whole string: a channel turned to '0' loses its bit.
    record->tri_channels =
        (uint32_t)channel_string_mask(record->tri_channels_string, sizeof record->tri_channels_string);
}

HandlerStatus on_set_alarm_others(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kOthers))
        return HANDLER_SILENT;
    const bool channels = json_int_or(body.get(), "type") == OTHERS_CHANNELS;
    const JsonField* field = channels ? kOthersChannels : kOthersAlarms;
    if (!json_check(body.get(), field, 1))
        return HANDLER_SILENT;
    const int source = json_int_or(body.get(), "camId");
    const uint64_t set = request_inputs(body.get());
    InputValue c = {body.get(), field};
    if (update_alarm_ins(VXDB_MAIN, set, apply_input_value, &c) != 0)
        return HANDLER_ERROR_TEXT;
    const uint64_t copies = set & ~(1ULL << source);
    if (copies && vxdb_copy(VXDB_MAIN, db_schedule_kind(ALARMIN_EFFECTIVE_SCHEDULE), source, copies, -1) != 0)
        return HANDLER_ERROR_TEXT;
    // The effective schedule went to every listed input, so the whole set
    // changed, not only the inputs whose value differed.
    video_notify_channels(REQ_ALARM_IN_SET_CHANGED, set);
    video_log_channels(LOG_MAIN_OPERATION, LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, set);
    return ok();
}

}  // namespace

// Nothing here waits for the core service.
const WebModulePart video_alarm_part = {"video", kAlarmResources, WEB_RES_COUNT(kAlarmResources), nullptr, 0};
