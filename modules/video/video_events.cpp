// Video loss with its actions and channel-set forms, the PTZ action entries
// of the events, the camera-side alarm-input and volume events, and the
// device exceptions.
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
#define EVENT_RESOURCES(X) \
    X("/6014", on_get_videolost_info, "video-loss basics of a channel") \
    X("/6015", on_get_videolost_schedule, "fixed-form audible schedule of video loss") \
    X("/6016", on_set_videolost_info, "set the video-loss alarm outputs and interval") \
    X("/6017", on_set_videolost_schedule, "set the fixed-form audible schedule of video loss") \
    X("/6094", on_get_videoloss_info, "whole video-loss event of a channel") \
    X("/6095", on_set_videoloss_info, "video-loss event with actions, copied to a channel set") \
    X("/6121", on_set_videolost_audible_sche, "audible schedule, enable and interval of a channel set") \
    X("/6122", on_set_videolost_email_sche, "e-mail schedule, enable and interval of a channel set") \
    X("/6123", on_set_videolost_others, "one alarm-output value for a channel set") \
    X("/6124", on_get_videolost_email_sche, "fixed-form e-mail schedule of video loss") \
    X("/6165", on_set_videoloss_ptz_sche, "PTZ schedule and entries copied to a channel set") \
    X("/6166", on_get_videoloss_ptz_sche, "fixed-form PTZ schedule of video loss") \
    X("/6160", on_set_ptz_params, "add a PTZ action entry") \
    X("/6161", on_get_ptz_params, "PTZ action entries of an event and channel") \
    X("/6162", on_delete_ptz_params, "delete a PTZ action entry") \
    X("/6163", on_update_ptz_params, "replace a PTZ action entry") \
    X("/6164", on_delete_ptz_params_batch, "delete listed PTZ action entries") \
    X("/6090", on_get_camera_io, "camera alarm-input event") \
    X("/6091", on_set_camera_io, "set the camera alarm-input event") \
    X("/6092", on_get_volume_detect, "camera volume-detection event") \
    X("/6093", on_set_volume_detect, "set the camera volume-detection event") \
    X("/6998", on_set_exception, "set the exception settings") \
    X("/6999", on_get_exception, "exception settings")

EVENT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kEventResources[] = {EVENT_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastChannel = CHANNEL_COUNT - 1;
// PTZ channels count from 1: an entry with PTZ channel 0 is a free slot.
const int kLastPtzChannel = CHANNEL_COUNT;

// Video loss has no effective schedule.
const EventActionTables kLossTables = {
    nullptr,
    VIDEOLOSS_AUDIBLE_SCHEDULE,
    VIDEOLOSS_EMAIL_SCHEDULE,
    VIDEOLOSS_PTZ_SCHEDULE,
    VIDEOLOSS_WHITELED_SCHEDULE,
    VIDEOLOSS_WHITELED_PARAMS,
    VIDEOLOSS_HTTP_SCHEDULE,
    VIDEOLOSS_HTTP_PARAMS,
    PTZ_EVENT_VIDEO_LOSS,
};
const EventActionTables kLossPtzEntries = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, PTZ_EVENT_VIDEO_LOSS};

// The reply of "/6094", in the order the page reads it.
const EventActionKey kLossReply[] = {
    ACTION_FIELD(video_lost, id, "chnid"),
    ACTION_FIELD(video_lost, enable, "enable"),
    ACTION_FIELD(video_lost, tri_alarms, "triAlarms"),
    ACTION_FIELD(video_lost, interval, "interval"),
    ACTION_FIELD(video_lost, email_interval, "email_interval"),
    ACTION_FIELD(video_lost, ptz_interval, "ptz_interval"),
    ACTION_FIELD(video_lost, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(video_lost, white_interval, "white_interval"),
    ACTION_FIELD(video_lost, http_notification_interval, "http_notification_interval"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_ALARM_OUTPUTS(video_lost, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_FIELD(video_lost, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

// "dialog" of "/6095"; every key optional.
const EventActionKey kLossActions[] = {
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_ALARM_OUTPUTS(video_lost, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(video_lost, enable, "enable"),
    ACTION_FIELD(video_lost, tri_alarms, "triAlarms"),
    ACTION_FIELD(video_lost, interval, "interval"),
    ACTION_FIELD(video_lost, audio_id, "audioId"),
    ACTION_FIELD(video_lost, email_interval, "email_interval"),
    ACTION_FIELD(video_lost, ptz_interval, "ptz_interval"),
    ACTION_FIELD(video_lost, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(video_lost, white_interval, "white_interval"),
    ACTION_FIELD(video_lost, http_notification_interval, "http_notification_interval"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

const JsonField kLossBasics[] = {
    JSON_FIELD(video_lost, id, "camId", I32),
    JSON_FIELD(video_lost, enable, "enable", I32),
    JSON_FIELD(video_lost, tri_alarms, "triAlarms", I32),
    JSON_FIELD(video_lost, interval, "interval", I32),
};

// "/6016": stores only the outputs and the interval; "enable" is checked.
const JsonField kLossInfo[] = {
    JSON_CHECK("camId", true, 0, kLastChannel),
    JSON_CHECK("enable", true, 0, 2),
    JSON_FIELD_CHECKED(video_lost, tri_alarms, "triAlarms", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(video_lost, interval, "interval", I32, true, 0, JSON_ANY_MAX),
};

const JsonField kLossScheduleChecks[] = {
    JSON_CHECK("camId", true, 0, kLastChannel),
    JSON_CHECK("enable", false, JSON_ANY_MIN, JSON_ANY_MAX),
};
const JsonField kLossEnable[] = {JSON_FIELD(video_lost, enable, "enable", I32)};
const JsonField kCamId[] = {JSON_CHECK("camId", true, 0, kLastChannel)};
const JsonField kChnid[] = {JSON_CHECK("chnid", true, 0, kLastChannel)};

struct LossFields {
    json_object* request;
    const JsonField* fields;
    size_t count;
    int channel;
};

bool apply_loss_fields(video_lost* record, void* context)
{
    const LossFields* c = (const LossFields*)context;
    record->id = c->channel;
    json_to_record(c->request, record, c->fields, c->count);
    return true;
}

template <size_t N>
bool update_loss_fields(json_object* request, int channel, const JsonField (&fields)[N])
{
    LossFields c = {request, fields, N, channel};
    return update_video_lost(VXDB_MAIN, channel, apply_loss_fields, &c) == 0;
}

HandlerStatus on_get_videolost_info(const char* request)
{
    int channel = -1;
    if (!video_channel_text(request, &channel))
        return HANDLER_SILENT;
    video_lost record;
    read_video_lost(VXDB_MAIN, &record, channel);
    record.id = channel;
    return reply_record(&record, kLossBasics);
}

HandlerStatus on_get_videolost_schedule(const char* request)
{
    return video_get_fixed_schedule(VIDEOLOSS_AUDIBLE_SCHEDULE, request);
}

HandlerStatus on_set_videolost_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kLossInfo))
        return HANDLER_SILENT;
    const int channel = json_int_or(body.get(), "camId");
    if (!update_loss_fields(body.get(), channel, kLossInfo))
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_VIDEO_LOSS_CHANGED, channel);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, oplog_number(channel));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_videolost_schedule(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kLossScheduleChecks))
        return HANDLER_SILENT;
    const int channel = json_int_or(body.get(), "camId");
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    if (write_video_loss_schedule(VXDB_MAIN, &schedule, channel) != 0)
        return HANDLER_ERROR_TEXT;
    if (json_object_object_get_ex(body.get(), "enable", nullptr) &&
        !update_loss_fields(body.get(), channel, kLossEnable))
        return HANDLER_ERROR_TEXT;
    video_notify_channel(REQ_VIDEO_LOSS_CHANGED, channel);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_videoloss_info(const char* request)
{
    return video_reply_event(request, read_video_lost, kLossTables, kLossReply);
}

HandlerStatus on_set_videoloss_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    // A bad source channel would copy a zero record over the whole set.
    if (!json_check(body.get(), kChnid))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid");
    json_object* dialog = nullptr;
    if (json_object_object_get_ex(body.get(), "dialog", &dialog) && json_object_is_type(dialog, json_type_object) &&
        video_store_actions(dialog, kLossTables, kLossActions, channel, true, update_video_lost) < 0)
        return HANDLER_ERROR_TEXT;
    // The source is never its own copy target.
    uint64_t copies = channel_list_by_json(body.get(), "copyChn", "copyCnt").mask & ~(1ULL << channel);
    if (copies && (copy_video_losts(VXDB_MAIN, channel, copies) != 0 ||
                   event_actions_copy(kLossTables, channel, copies) != 0))
        return HANDLER_ERROR_TEXT;
    video_notify_channels(REQ_VIDEO_LOSS_SET_CHANGED, copies | (1ULL << channel));
    reply_text("OK");
    return HANDLER_DONE;
}

// A schedule and a pair of record values for a channel set.
struct LossPair {
    bool email;  // e-mail enable and interval, else enable and interval
    int enable;
    int interval;
    uint64_t changed;
};

void apply_loss_pair(video_lost* record, int channel, void* context)
{
    LossPair* c = (LossPair*)context;
    record->id = channel;
    int32_t& enable = c->email ? record->email_enable : record->enable;
    int32_t& interval = c->email ? record->email_interval : record->interval;
    if (enable == c->enable && interval == c->interval)
        return;
    enable = c->enable;
    interval = c->interval;
    c->changed |= 1ULL << channel;
}

HandlerStatus set_loss_schedule_of_set(const char* request, const char* table, bool email)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    LossPair pair = {email, json_int_or(body.get(), "enable"), json_int_or(body.get(), "interval"), 0};
    const uint64_t set = channel_list_by_json(body.get(), "chnid", "cnt").mask;
    if (video_write_schedules(table, &schedule, set) != 0 ||
        update_video_losts(VXDB_MAIN, set, apply_loss_pair, &pair) != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channels(REQ_VIDEO_LOSS_SET_CHANGED, set);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_videolost_audible_sche(const char* request)
{
    return set_loss_schedule_of_set(request, VIDEOLOSS_AUDIBLE_SCHEDULE, false);
}

HandlerStatus on_set_videolost_email_sche(const char* request)
{
    return set_loss_schedule_of_set(request, VIDEOLOSS_EMAIL_SCHEDULE, true);
}

HandlerStatus on_get_videolost_email_sche(const char* request)
{
    return video_get_fixed_schedule(VIDEOLOSS_EMAIL_SCHEDULE, request);
}

struct LossAlarms {
    int32_t tri_alarms;
    uint64_t changed;
};

void apply_loss_alarms(video_lost* record, int channel, void* context)
{
    LossAlarms* c = (LossAlarms*)context;
    record->id = channel;
    if (record->tri_alarms == c->tri_alarms)
        return;
    record->tri_alarms = c->tri_alarms;
    c->changed |= 1ULL << channel;
}

const JsonField kLossOthers[] = {JSON_CHECK("triAlarms", true, INT32_MIN, INT32_MAX)};

HandlerStatus on_set_videolost_others(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kLossOthers))
        return HANDLER_SILENT;
    LossAlarms c = {json_int_or(body.get(), "triAlarms"), 0};
    const uint64_t set = channel_list_by_json(body.get(), "chnid", "cnt").mask;
    if (update_video_losts(VXDB_MAIN, set, apply_loss_alarms, &c) != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channels(REQ_VIDEO_LOSS_SET_CHANGED, c.changed);
    video_log_channels(LOG_MAIN_OPERATION, LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VIDEO_EVENT, set);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_videoloss_ptz_sche(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kCamId))
        return HANDLER_SILENT;
    const int source = json_int_or(body.get(), "camId");
    const uint64_t set = channel_list_by_json(body.get(), "chnid", "cnt").mask;
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    int rc = event_actions_copy(kLossPtzEntries, source, set);
    rc |= video_write_schedules(VIDEOLOSS_PTZ_SCHEDULE, &schedule, set);
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channels(REQ_VIDEO_LOSS_SET_CHANGED, set);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_videoloss_ptz_sche(const char* request)
{
    return video_get_fixed_schedule(VIDEOLOSS_PTZ_SCHEDULE, request);
}

// PTZ action entries. The event type selects the list (20: people counting);
// a type without a list is refused like a bad channel.
const JsonField kPtzEntry[] = {
    JSON_CHECK("type", true, 0, 63),
    JSON_FIELD_CHECKED(PtzActionEntry, channel, "chn_id", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(PtzActionEntry, acto_ptz_channel, "acto_ptz_channel", I32, true, 1, kLastPtzChannel),
    JSON_FIELD(PtzActionEntry, acto_ptz_type, "acto_ptz_type", I32),
};
// Only the value the PTZ type selects is kept.
const JsonField kPtzValues[] = {
    JSON_FIELD(PtzActionEntry, acto_ptz_preset, "acto_ptz_preset", I32),
    JSON_FIELD(PtzActionEntry, acto_ptz_patrol, "acto_ptz_patrol", I32),
    JSON_FIELD(PtzActionEntry, acto_ptz_pattern, "acto_ptz_pattern", I32),
};
const JsonField kPtzList[] = {
    JSON_CHECK("type", true, 0, 63),
    JSON_CHECK("chn_id", true, 0, kLastChannel),
};
const JsonField kPtzDelete[] = {
    JSON_CHECK("type", true, 0, 63),
    JSON_CHECK("chn_id", true, 0, kLastChannel),
    JSON_CHECK("acto_ptz_channel", true, 0, kLastPtzChannel),
};
const JsonField kPtzUpdate[] = {JSON_CHECK("old_chn_id", true, 1, kLastPtzChannel)};

bool read_ptz_entry(json_object* body, PtzActionEntry* entry)
{
    memset(entry, 0, sizeof *entry);
    if (!json_read_record(body, entry, kPtzEntry))
        return false;
    const int type = entry->acto_ptz_type;
    if (type >= PTZ_TYPE_PRESET && type <= PTZ_TYPE_PATTERN)
        json_to_record(body, entry, &kPtzValues[type - PTZ_TYPE_PRESET], 1);
    return true;
}

HandlerStatus ptz_result(int rc)
{
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_ptz_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    PtzActionEntry entry;
    if (!read_ptz_entry(body.get(), &entry))
        return HANDLER_ERROR_TEXT;
    // A full list answers an error instead of growing past its slots.
    return ptz_result(write_ptz_params(VXDB_MAIN, json_int_or(body.get(), "type"), &entry));
}

HandlerStatus on_get_ptz_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kPtzList))
        return HANDLER_ERROR_TEXT;
    json_object* reply = json_object_new_object();
    json_object_object_add(
        reply, "ptzInfo",
        get_ptz_params_json_object(json_int_or(body.get(), "type"), json_int_or(body.get(), "chn_id")));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_delete_ptz_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kPtzDelete))
        return HANDLER_ERROR_TEXT;
    const int ptz_channel = json_int_or(body.get(), "acto_ptz_channel");
    return ptz_result(delete_ptz_params(VXDB_MAIN, json_int_or(body.get(), "type"), json_int_or(body.get(), "chn_id"),
                                        &ptz_channel, 1));
}

HandlerStatus on_update_ptz_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    PtzActionEntry entry;
    if (!read_ptz_entry(body.get(), &entry) || !json_check(body.get(), kPtzUpdate))
        return HANDLER_ERROR_TEXT;
    return ptz_result(update_ptz_params(VXDB_MAIN, json_int_or(body.get(), "type"),
                                        json_int_or(body.get(), "old_chn_id"), &entry));
}

HandlerStatus on_delete_ptz_params_batch(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kPtzList))
        return HANDLER_ERROR_TEXT;
    json_object* list = nullptr;
    json_object_object_get_ex(body.get(), "ptzChannel", &list);
    int channels[PTZ_ACTION_ENTRIES];
    int count = 0;
    for (size_t i = 0; i < json_array_size(list) && count < PTZ_ACTION_ENTRIES; i++) {
        int64_t v = 0;
        if (json_as_int64(json_array_at(list, i), &v) && v > 0 && v <= kLastPtzChannel)
            channels[count++] = (int)v;
    }
    return ptz_result(delete_ptz_params(VXDB_MAIN, json_int_or(body.get(), "type"),
                                        json_int_or(body.get(), "chn_id"), channels, count));
}

// Camera-side events: the camera answers what it does, the database keeps
// what the NVR does about it.
struct CameraEventReply {
    int32_t cam_id;
    volume_detect_event event;
    int32_t tri_actions;
    char tri_channels[CHANNEL_STRING_SIZE];
};

const JsonField kCameraIoReply[] = {
    JSON_FIELD(CameraEventReply, cam_id, "camId", I32),
    JSON_FIELD(CameraEventReply, event.enable, "enable", I32),
    JSON_FIELD(CameraEventReply, event.type, "type", I32),
    JSON_FIELD(CameraEventReply, tri_actions, "triActions", I32),
    JSON_FIELD(CameraEventReply, tri_channels, "triChannels", TEXT),
};
const JsonField kVolumeReply[] = {
    JSON_FIELD(CameraEventReply, cam_id, "camId", I32),
    JSON_FIELD(CameraEventReply, event.enable, "enable", I32),
    JSON_FIELD(CameraEventReply, event.type, "type", I32),
    JSON_FIELD(CameraEventReply, event.volume, "volume", I32),
    JSON_FIELD(CameraEventReply, event.duration, "duration", I32),
    JSON_FIELD(CameraEventReply, event.on_event, "onEvent", I32),
    JSON_FIELD(CameraEventReply, event.off_event, "offEvent", I32),
    JSON_FIELD(CameraEventReply, event.ongoing_event, "ongoingEvent", I32),
    JSON_FIELD(CameraEventReply, tri_actions, "triActions", I32),
    JSON_FIELD(CameraEventReply, tri_channels, "triChannels", TEXT),
};

// The two records share their layout; the stored part of a reply.
template <typename Record>
void stored_part(const Record& record, int channel, CameraEventReply* reply)
{
    memset(reply, 0, sizeof *reply);
    reply->cam_id = channel;
    reply->tri_actions = record.tri_actions;
    memcpy(reply->tri_channels, record.tri_channels_string, sizeof reply->tri_channels);
    reply->tri_channels[sizeof reply->tri_channels - 1] = '\0';
}

// A camera event read: the stored part from the database, the camera's own
// part asked with `code` and added by the answer's printer.
template <typename Record>
HandlerStatus ask_camera_event(const char* request, int (*read)(const char*, Record*, int), int code)
{
    int channel = -1;
    if (!video_channel_text(request, &channel))
        return HANDLER_SILENT;
    Record record;
    read(VXDB_MAIN, &record, channel);
    CameraEventReply reply;
    stored_part(record, channel, &reply);
    const int32_t word = channel;
    return cgi_ask(on_video_ipc_callback, code, &word, (int)sizeof word, HANDLER_ERROR_JSON, &reply);
}

HandlerStatus on_get_camera_io(const char* request)
{
    return ask_camera_event<cameraio>(request, read_cameraio, REQ_CAMERA_IO_GET);
}

void on_get_camera_io_cb(IpcAnswer& answer)
{
    CameraEventReply* reply = (CameraEventReply*)answer.context;
    camera_io_event event;
    if (!reply || !answer_record(answer, &event)) {
        answer.done = 0;
        return;
    }
    reply->event.enable = event.enable;
    reply->event.type = event.type;
    json_object* out = json_object_new_object();
    json_from_record(out, reply, kCameraIoReply);
    cgi_writeback_json(REPLY_JSON, out);
}

HandlerStatus on_get_volume_detect(const char* request)
{
    return ask_camera_event<volumedetect>(request, read_volumedetect, REQ_VOLUME_DETECT_GET);
}

void on_get_volume_detect_cb(IpcAnswer& answer)
{
    CameraEventReply* reply = (CameraEventReply*)answer.context;
    if (!reply || !answer_record(answer, &reply->event)) {
        answer.done = 0;
        return;
    }
    json_object* out = json_object_new_object();
    json_from_record(out, reply, kVolumeReply);
    cgi_writeback_json(REPLY_JSON, out);
}

const JsonField kCameraIoSet[] = {
    JSON_FIELD_CHECKED(cameraio, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(cameraio, enable, "enable", I32, true, 0, 1),
    JSON_CHECK("type", true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(cameraio, tri_actions, "triActions", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(cameraio, tri_channels_string, "triChannels", TEXT, true, 0, 0),
};
const JsonField kVolumeSet[] = {
    JSON_FIELD_CHECKED(volume_detect_event, channel, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(volume_detect_event, enable, "enable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(volume_detect_event, type, "type", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(volume_detect_event, volume, "volume", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(volume_detect_event, duration, "duration", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(volume_detect_event, on_event, "onEvent", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(volume_detect_event, off_event, "offEvent", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(volume_detect_event, ongoing_event, "ongoingEvent", I32, true, 0, JSON_ANY_MAX),
    JSON_CHECK("triActions", true, JSON_ANY_MIN, JSON_ANY_MAX),
};
const JsonField kVolumeRecord[] = {
    JSON_FIELD(volumedetect, id, "camId", I32),
    JSON_FIELD(volumedetect, enable, "enable", I32),
    JSON_FIELD(volumedetect, tri_actions, "triActions", I32),
    JSON_FIELD_CHECKED(volumedetect, tri_channels_string, "triChannels", TEXT, true, 0, 0),
};

// A whole record from the request: the mask follows the string, cleared first.
template <typename Record>
void derive_mask(Record* record)
{
    record->tri_channels = (uint32_t)channel_string_mask(record->tri_channels_string,
                                                         sizeof record->tri_channels_string);
}

bool check_camera_io_info(json_object* body)
{
    return json_check(body, kCameraIoSet);
}

HandlerStatus on_set_camera_io(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_camera_io_info(body.get()))
        return HANDLER_SILENT;
    cameraio record;
    memset(&record, 0, sizeof record);
    json_to_record(body.get(), &record, kCameraIoSet);
    derive_mask(&record);
    if (write_cameraio(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    const camera_io_event event = {record.id, record.enable, json_int_or(body.get(), "type")};
    cgi_notify(on_video_ipc_callback, REQ_CAMERA_IO_SET, &event, (int)sizeof event);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_CAMERA_ALARM_IO, oplog_number(record.id));
    reply_text("OK");
    return HANDLER_DONE;
}

bool check_volume_detect_info(json_object* body)
{
    return json_check(body, kVolumeSet) && json_check(body, kVolumeRecord);
}

HandlerStatus on_set_volume_detect(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_volume_detect_info(body.get()))
        return HANDLER_SILENT;
    volumedetect record;
    memset(&record, 0, sizeof record);
    volume_detect_event event;
    memset(&event, 0, sizeof event);
    json_to_record(body.get(), &record, kVolumeRecord);
    json_to_record(body.get(), &event, kVolumeSet);
    derive_mask(&record);
    if (write_volumedetect(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_video_ipc_callback, REQ_VOLUME_DETECT_SET, &event, (int)sizeof event);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_VOLUME, oplog_number(record.id));
    reply_text("OK");
    return HANDLER_DONE;
}

// Exceptions: the seven alarm-output values and one HTTP notification per
// exception, keyed by the exception's name.
const JsonField kExceptionHttp[] = {
    JSON_FIELD(HttpNotificationParams, channel, "exceptId", I32),
    JSON_FIELD(HttpNotificationParams, url, "url", TEXT),
    JSON_FIELD(HttpNotificationParams, username, "username", TEXT),
    JSON_FIELD(HttpNotificationParams, password, "password", TEXT),
};

HandlerStatus on_get_exception(const char*)
{
    trigger_alarms alarms;
    read_trigger_alarms(VXDB_MAIN, &alarms);
    static HttpNotificationParams entries[EXCEPTION_ENTRIES];
    read_http_notification_params_init(VXDB_MAIN, EXCEPTION_HTTP_PARAMS, entries);
    json_object* reply = json_object_new_object();
    json_object* http = json_object_new_object();
    for (int i = 0; i < EXCEPTION_ENTRIES; i++) {
        json_object* entry = json_object_new_object();
        json_from_record(entry, &entries[i], kExceptionHttp);
        json_object_object_add(http, get_exception_name(i), entry);
    }
    json_object_object_add(reply, "httpParams", http);
    json_object* values = json_object_new_array();
    for (int32_t v : alarms.values)
        json_object_array_add(values, json_object_new_int(v));
    json_object_array_add(values, json_object_new_int64(get_audio_file_id_mask()));
    json_object_object_add(reply, "exception", values);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_set_exception(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* list = nullptr;
    if (!body || !json_object_object_get_ex(body.get(), "exception", &list) ||
        !json_object_is_type(list, json_type_array) || json_array_size(list) < TRIGGER_ALARM_VALUES)
        return HANDLER_SILENT;
    trigger_alarms alarms;
    for (int i = 0; i < TRIGGER_ALARM_VALUES; i++) {
        int64_t v = 0;
        if (!json_as_int64(json_array_at(list, (size_t)i), &v) || v < INT32_MIN || v > INT32_MAX)
            return HANDLER_SILENT;
        alarms.values[i] = (int32_t)v;
    }
    if (write_trigger_alarms(VXDB_MAIN, &alarms) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_video_ipc_callback, REQ_EXCEPTION_ALARMS_CHANGED, nullptr, 0);

    json_object* http = nullptr;
    if (json_object_object_get_ex(body.get(), "httpParams", &http) && json_object_is_type(http, json_type_object)) {
        static HttpNotificationParams entries[EXCEPTION_ENTRIES];
        memset(entries, 0, sizeof entries);
        for (int i = 0; i < EXCEPTION_ENTRIES; i++) {
            json_object* entry = nullptr;
            // An exception the request leaves out is marked unused.
            if (json_object_object_get_ex(http, get_exception_name(i), &entry))
                json_to_record(entry, &entries[i], kExceptionHttp);
            else
                entries[i].channel = -1;
        }
        if (write_http_notification_params_batch(VXDB_MAIN, EXCEPTION_HTTP_PARAMS, entries) != 0)
            return HANDLER_ERROR_TEXT;
        cgi_notify(on_video_ipc_callback, REQ_EXCEPTION_HTTP_CHANGED, nullptr, 0);
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "CGI SUCCESS");
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

const IpcResponse kEventResponses[] = {
    {RSP_CAMERA_IO_GET, (int)sizeof(camera_io_event), 1, on_get_camera_io_cb},
    {RSP_VOLUME_DETECT_GET, (int)sizeof(volume_detect_event), 1, on_get_volume_detect_cb},
};

}  // namespace

const WebModulePart video_events_part = WEB_MODULE_PART("video", kEventResources, kEventResponses);
