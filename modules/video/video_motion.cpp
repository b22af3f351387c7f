// Motion detection: the motion event of a channel with its actions, copied
// to channel sets, the motion area and switch pushed to the camera, and the
// fixed-form schedules of the older pages.
#include "modules/video/video.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define MOTION_RESOURCES(X) \
    X("/6010", on_get_movedetect_info, "whole motion event of a channel") \
    X("/6011", on_get_motion_schedule, "fixed-form audible schedule of a motion channel") \
    X("/6012", on_set_movedetect_info, "motion basics, pushed to the camera") \
    X("/6013", on_set_motion_schedule, "set the fixed-form audible schedule") \
    X("/6112", on_set_motion_event, "motion event with actions, copied to a channel set") \
    X("/6113", on_set_motion_and_schedule, "motion basics and fixed-form schedule") \
    X("/6114", on_set_motion_basic, "motion basics with record channels") \
    X("/6117", on_set_move_action, "actions of a motion event") \
    X("/6118", on_set_move_email_sche, "set the e-mail schedule, enable and interval") \
    X("/6119", on_set_move_others, "set the record channels or the alarm outputs") \
    X("/6120", on_get_move_email_sche, "fixed-form e-mail schedule") \
    X("/6152", on_set_move_effective_sche, "set the fixed-form effective schedule") \
    X("/6153", on_get_move_effective_sche, "fixed-form effective schedule") \
    X("/6158", on_get_move_ptz_sche, "fixed-form PTZ schedule") \
    X("/6159", on_set_move_ptz_sche, "set the fixed-form PTZ schedule") \
    X("/6098", on_get_motion_map, "live motion map of a camera")

MOTION_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kMotionResources[] = {MOTION_RESOURCES(WEB_RESOURCE_ROW)};

const EventActionTables kMotionTables = {
    MOTION_EFFECTIVE_SCHEDULE, MOTION_AUDIBLE_SCHEDULE, MOTION_EMAIL_SCHEDULE, MOTION_PTZ_SCHEDULE,
    MOTION_WHITELED_SCHEDULE,  MOTION_WHITELED_PARAMS,  MOTION_HTTP_SCHEDULE,  MOTION_HTTP_PARAMS,
    PTZ_EVENT_MOTION,
};

// The reply of "/6010", in the order the page reads it.
const EventActionKey kMotionReply[] = {
    ACTION_FIELD(motion, id, "chnid"),
    ACTION_FIELD(motion, enable, "enable"),
    ACTION_FIELD(motion, sensitivity, "sensitivity"),
    ACTION_TEXT(motion, tri_channels_string, "triChannels"),
    ACTION_FIELD(motion, tri_alarms, "triAlarms"),
    ACTION_FIELD(motion, interval, "interval"),
    ACTION_FIELD(motion, enable_ms, "enableMS"),
    ACTION_TEXT(motion, motion_table, "motionTable"),
    ACTION_FIELD(motion, email_enable, "email_enable"),
    ACTION_FIELD(motion, email_interval, "email_interval"),
    ACTION_FIELD(motion, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(motion, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(motion, ptz_interval, "ptz_interval"),
    ACTION_FIELD(motion, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(motion, http_notification_interval, "http_notification_interval"),
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_ALARM_OUTPUTS(motion, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_FIELD(motion, white_interval, "white_interval"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_FIELD(motion, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

// The action part of a motion event: "dialog" of "/6112", the top level of
// "/6117" (without the dialog-only rows). Every key is optional.
const EventActionKey kMotionActions[] = {
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_DIALOG_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_DIALOG_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_ALARM_OUTPUTS(motion, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(motion, enable, "enable"),
    ACTION_FIELD(motion, tri_alarms, "triAlarms"),
    ACTION_FIELD(motion, interval, "interval"),
    ACTION_FIELD(motion, audio_id, "audioId"),
    ACTION_FIELD(motion, email_interval, "email_interval"),
    ACTION_FIELD(motion, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(motion, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(motion, ptz_interval, "ptz_interval"),
    ACTION_FIELD(motion, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(motion, white_interval, "white_interval"),
    ACTION_DIALOG_FIELD(motion, http_notification_interval, "http_notification_interval"),
    ACTION_CHANNELS(motion, tri_channels_string, tri_channels, "triChannels"),
    ACTION_DIALOG_BLOCK(PTZ_PARAMS, "ptzParams"),
};

const int kLastChannel = CHANNEL_COUNT - 1;

// "/6012": the basics, each required.
const JsonField kMotionBasics[] = {
    JSON_FIELD_CHECKED(motion, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(motion, enable, "enable", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(motion, sensitivity, "sensitivity", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(motion, tri_channels_string, "triChannels", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(motion, tri_alarms, "triAlarms", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(motion, interval, "interval", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(motion, motion_table, "motionTable", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(motion, enable_ms, "enableMS", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
};

// "/6113": the basics it copies when present.
const JsonField kMotionAndSchedule[] = {
    JSON_FIELD_CHECKED(motion, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD(motion, sensitivity, "sensitivity", I32),
    JSON_FIELD(motion, enable_ms, "enableMS", I32),
    JSON_FIELD(motion, enable, "enable", I32),
    JSON_FIELD(motion, tri_alarms, "triAlarms", I32),
    JSON_FIELD(motion, interval, "interval", I32),
};

// "/6114".
const JsonField kMotionBasic[] = {
    JSON_FIELD_CHECKED(motion, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD(motion, sensitivity, "sensitivity", I32),
    JSON_FIELD(motion, tri_channels_string, "triChannels", TEXT),
    JSON_FIELD(motion, tri_alarms, "triAlarms", I32),
    JSON_FIELD(motion, interval, "interval", I32),
    JSON_FIELD(motion, enable_ms, "enableMS", I32),
};

const JsonField kCamId[] = {JSON_CHECK("camId", true, 0, kLastChannel)};
const JsonField kChnid[] = {JSON_CHECK("chnid", true, 0, kLastChannel)};

// A change of the stored record by a field table; the record the change
// produced is kept for the camera push.
struct MotionFields {
    json_object* request;
    const JsonField* fields;
    size_t count;
    int channel;
    motion result;
};

bool apply_motion_fields(motion* record, void* context)
{
    MotionFields* c = (MotionFields*)context;
    json_to_record(c->request, record, c->fields, c->count);
    // A channel without a record gets one under its own number.
    record->id = c->channel;
    // The mask always follows the string, cleared first.
    record->tri_channels = (uint32_t)channel_string_mask(record->tri_channels_string,
                                                         sizeof record->tri_channels_string);
    c->result = *record;
    return true;
}

// Updates only the fields the request carries: other resources' settings
// (e-mail, PTZ, white LED, HTTP) of the channel stay as they were.
template <size_t N>
bool update_motion_fields(json_object* request, int channel, const JsonField (&fields)[N], motion* result)
{
    MotionFields c = {request, fields, N, channel, {}};
    if (update_motion(VXDB_MAIN, channel, apply_motion_fields, &c) != 0)
        return false;
    if (result)
        *result = c.result;
    return true;
}

// Step 5 of the basic settings: the camera's motion switch, and with
// enableMS 1 its all-day schedule.
void push_camera_switch(int channel, int enable_ms)
{
    camera_motion_switch change;
    memset(&change, 0, sizeof change);
    change.channel = channel;
    change.flag = enable_ms == 1 ? 1 : 0;
    cgi_notify(on_video_ipc_callback, REQ_CAMERA_MOTION_SWITCH, &change, (int)sizeof change);
    if (enable_ms != 1)
        return;
    camera_motion_schedule schedule;
    fill_full_time_camera_schedule(&schedule);
    schedule.channel = channel;
    cgi_notify(on_video_ipc_callback, REQ_CAMERA_MOTION_SCHEDULE, &schedule, (int)sizeof schedule);
}

HandlerStatus on_get_movedetect_info(const char* request)
{
    return video_reply_event(request, read_motion, kMotionTables, kMotionReply);
}

HandlerStatus on_get_motion_schedule(const char* request)
{
    return video_get_fixed_schedule(MOTION_AUDIBLE_SCHEDULE, request);
}

bool check_movedetect_info(json_object* body)
{
    return json_check(body, kMotionBasics);
}

HandlerStatus on_set_movedetect_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_movedetect_info(body.get()))
        return HANDLER_SILENT;
    const int channel = json_int_or(body.get(), "camId");
    motion stored;
    if (!update_motion_fields(body.get(), channel, kMotionBasics, &stored))
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_MOTION_CHANGED, channel);

    camera_motion_area area;
    memset(&area, 0, sizeof area);
    wire_text(area.motion_table, stored.motion_table, sizeof area.motion_table - 1);
    area.sensitivity = stored.sensitivity;
    area.channel = channel;
    cgi_notify(on_video_ipc_callback, REQ_CAMERA_MOTION_AREA, &area, (int)sizeof area);
    push_camera_switch(channel, stored.enable_ms);

    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, oplog_number(channel));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_motion_schedule(const char* request)
{
    return video_set_fixed_schedule(MOTION_AUDIBLE_SCHEDULE, request, REQ_MOTION_CHANGED, HANDLER_SILENT);
}

// Stores the action part of a motion event for the channel and tells the
// core service. False when the record could not be written.
bool save_motion_dialog_data(json_object* part, int channel, bool dialog)
{
    const int rc = video_store_actions(part, kMotionTables, kMotionActions, channel, dialog, update_motion);
    video_notify_channel(REQ_MOTION_CHANGED, channel);
    return rc >= 0;
}

HandlerStatus on_set_motion_event(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    // A bad source channel would copy a zero record over the whole set.
    if (!json_check(body.get(), kChnid))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid");
    json_object* dialog = nullptr;
    json_object_object_get_ex(body.get(), "dialog", &dialog);
    if (!save_motion_dialog_data(json_object_is_type(dialog, json_type_object) ? dialog : nullptr, channel, true))
        return HANDLER_ERROR_TEXT;

    motion source;
    read_motion(VXDB_MAIN, &source, channel);
    source.id = channel;
    json_get_int(body.get(), "sensitivity", &source.sensitivity);
    json_get_int(body.get(), "enableMS", &source.enable_ms);

    cameras_motion_area area;
    memset(&area, 0, sizeof area);
    const char* table = nullptr;
    if (json_get_text(body.get(), "motionTable", &table))
        wire_text(area.motion_table, table, sizeof area.motion_table - 1);
    area.sensitivity = source.sensitivity;
    area.channel = channel;
    area.enable_ms = source.enable_ms;
    camera_motion_switch change;
    memset(&change, 0, sizeof change);
    change.channel = channel;
    change.flag = source.enable_ms == 1 ? 1 : 0;
    camera_motion_schedule schedule;
    fill_full_time_camera_schedule(&schedule);

    const ChannelList copies = channel_list_by_json(body.get(), "copyChn", "copyCnt");
    for (int c = 0; c < CHANNEL_COUNT; c++) {
        if (!(copies.mask & (1ULL << c)))
            continue;
        area.channels[area.count++] = c;
        change.channels[change.count++] = c;
        schedule.channels[schedule.count++] = c;
    }

    // The source's record carries the new sensitivity and switch to the
    // set; the source itself is rewritten only when it is in the set.
    int rc = 0;
    for (int c = 0; c < CHANNEL_COUNT; c++) {
        if (!(copies.mask & (1ULL << c)))
            continue;
        motion copy = source;
        copy.id = c;
        rc |= write_motion(VXDB_MAIN, &copy);
    }
    rc |= event_actions_copy(kMotionTables, channel, copies.mask);

    video_log_channels(LOG_MAIN_OPERATION, LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, copies.mask);
    cgi_notify(on_video_ipc_callback, REQ_CAMERAS_MOTION_AREA, &area, (int)sizeof area);
    video_notify_channels(REQ_MOTION_SET_CHANGED, copies.mask);
    cgi_notify(on_video_ipc_callback, REQ_CAMERA_MOTION_SWITCH, &change, (int)sizeof change);
    if (source.enable_ms == 1)
        cgi_notify(on_video_ipc_callback, REQ_CAMERAS_MOTION_SCHEDULE, &schedule, (int)sizeof schedule);
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_motion_and_schedule(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kMotionAndSchedule))
        return HANDLER_SILENT;
    const int channel = json_int_or(body.get(), "camId");
    motion stored;
    if (!update_motion_fields(body.get(), channel, kMotionAndSchedule, &stored))
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_MOTION_CHANGED, channel);
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    if (write_motion_schedule(VXDB_MAIN, &schedule, channel) != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_MOTION_CHANGED, channel);
    push_camera_switch(channel, stored.enable_ms);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_motion_basic(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kMotionBasic))
        return HANDLER_SILENT;
    const int channel = json_int_or(body.get(), "camId");
    if (!update_motion_fields(body.get(), channel, kMotionBasic, nullptr))
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_MOTION_CHANGED, channel);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, oplog_number(channel));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_move_action(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kChnid))
        return HANDLER_ERROR_JSON;
    if (!save_motion_dialog_data(body.get(), json_int_or(body.get(), "chnid"), false))
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

const JsonField kEmailSchedule[] = {
    JSON_FIELD_CHECKED(motion, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD(motion, email_enable, "enable", I32),
    JSON_FIELD(motion, email_interval, "interval", I32),
};

HandlerStatus on_set_move_email_sche(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (body && json_check(body.get(), kEmailSchedule) &&
        !update_motion_fields(body.get(), json_int_or(body.get(), "camId"), kEmailSchedule, nullptr))
        return HANDLER_ERROR_TEXT;
    return video_set_fixed_schedule(MOTION_EMAIL_SCHEDULE, request, REQ_MOTION_CHANGED, HANDLER_ERROR_TEXT);
}

const JsonField kRecordChannels[] = {
    JSON_FIELD_CHECKED(motion, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(motion, tri_channels_string, "triChannels", TEXT, true, 0, 0),
};
const JsonField kAlarmOutputs[] = {
    JSON_FIELD_CHECKED(motion, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(motion, tri_alarms, "triAlarms", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
};

HandlerStatus on_set_move_others(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kCamId))
        return HANDLER_ERROR_TEXT;
    const int channel = json_int_or(body.get(), "camId");
    int type = 0;
    json_get_int(body.get(), "type", &type);
    bool stored = false;
    if (type == 1 && json_check(body.get(), kRecordChannels))
        stored = update_motion_fields(body.get(), channel, kRecordChannels, nullptr);
    else if (type == 2 && json_check(body.get(), kAlarmOutputs))
        stored = update_motion_fields(body.get(), channel, kAlarmOutputs, nullptr);
    else
        return HANDLER_SILENT;
    if (!stored)
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_MOTION_CHANGED, channel);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, oplog_number(channel));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_move_email_sche(const char* request)
{
    return video_get_fixed_schedule(MOTION_EMAIL_SCHEDULE, request);
}

HandlerStatus on_set_move_effective_sche(const char* request)
{
    return video_set_fixed_schedule(MOTION_EFFECTIVE_SCHEDULE, request, REQ_MOTION_CHANGED, HANDLER_ERROR_TEXT);
}

HandlerStatus on_get_move_effective_sche(const char* request)
{
    return video_get_fixed_schedule(MOTION_EFFECTIVE_SCHEDULE, request);
}

HandlerStatus on_get_move_ptz_sche(const char* request)
{
    return video_get_fixed_schedule(MOTION_PTZ_SCHEDULE, request);
}

HandlerStatus on_set_move_ptz_sche(const char* request)
{
    return video_set_fixed_schedule(MOTION_PTZ_SCHEDULE, request, REQ_MOTION_CHANGED, HANDLER_ERROR_TEXT);
}

const JsonField kMotionMapChecks[] = {JSON_CHECK("id", true, 0, kLastChannel)};

bool check_motion_map_info(json_object* body)
{
    return json_check(body, kMotionMapChecks);
}

HandlerStatus on_get_motion_map(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_motion_map_info(body.get()))
        return HANDLER_SILENT;
    const int32_t channel = json_int_or(body.get(), "id");
    return cgi_ask(on_video_ipc_callback, REQ_MOTION_MAP_GET, &channel, (int)sizeof channel, HANDLER_ERROR_TEXT);
}

const JsonField kMotionMapReply[] = {
    JSON_FIELD(motion_map_info, map, "map", TEXT),
    JSON_FIELD(motion_map_info, sensitivity, "sensitivity", I32),
    JSON_FIELD(motion_map_info, result, "result", I32),
    JSON_FIELD(motion_map_info, enable, "enable", I32),
    JSON_FIELD(motion_map_info, model_type, "modelType", I32),
    JSON_FIELD(motion_map_info, fishdisplay, "fishdisplay", I32),
    JSON_FIELD(motion_map_info, fishtransfer, "fishtransfer", I32),
    JSON_FIELD(motion_map_info, fishinstall, "fishinstall", I32),
};

void on_get_motion_map_cb(IpcAnswer& answer)
{
    video_print_record<motion_map_info>(answer, kMotionMapReply);
}

const IpcResponse kMotionResponses[] = {
    {RSP_MOTION_MAP_GET, (int)sizeof(motion_map_info), 1, on_get_motion_map_cb},
};

}  // namespace

const WebModulePart video_motion_part = WEB_MODULE_PART("video", kMotionResources, kMotionResponses);
