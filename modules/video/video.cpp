// Video and event module: the response callback over its parts and the
// steps its event parts share.
#include "modules/video/video.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/encodings.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "platform/vxdb.h"

void on_video_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&video_motion_part, &video_events_part, &video_osd_part,
                                                 &video_smart_part, &video_smart_camera_part, &video_anpr_part,
                                                 &video_snapshot_part, &video_alarm_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

void video_notify_channel(int code, int32_t channel)
{
    cgi_notify(on_video_ipc_callback, code, &channel, (int)sizeof channel);
}

void video_notify_channels(int code, uint64_t channels)
{
    cgi_notify(on_video_ipc_callback, code, &channels, (int)sizeof channels);
}

void video_log_channels(int main_type, int sub_type, int parameter, uint64_t channels)
{
    operation_log_channels entry;
    cgi_init_log_info(&entry.record);
    entry.record.main_type = main_type;
    entry.record.sub_type = sub_type;
    entry.record.parameter = parameter;
    // The set takes the place of the one channel an entry names.
    entry.channels = channels;
    cgi_notify(cgi_ignore_callback, REQ_OPERATION_LOG_CHANNELS, &entry, (int)sizeof entry);
}

void fill_full_time_camera_schedule(camera_motion_schedule* schedule)
{
    memset(schedule, 0, sizeof *schedule);
    for (int d = 0; d < CAMERA_SCHEDULE_DAYS; d++) {
        camera_schedule_day& day = schedule->days[d];
        day.day = d;
        day.valid = 1;
        for (camera_schedule_period& p : day.periods)
            p.end_hour = 24;
    }
}

bool video_channel_text(const char* request, int* channel)
{
    return parse_decimal(request, channel) && *channel >= 0 && *channel < CHANNEL_COUNT;
}

HandlerStatus video_ask_channel(const char* request, const char* key, int code, HandlerStatus refused,
                                HandlerStatus failed, const void* context)
{
    const JsonField checks[] = {JSON_CHECK(key, true, 0, CHANNEL_COUNT - 1)};
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body || !json_check(body.get(), checks, 1))
        return refused;
    const int32_t channel = json_int_or(body.get(), key);
    return cgi_ask(on_video_ipc_callback, code, &channel, (int)sizeof channel, failed, const_cast<void*>(context));
}

HandlerStatus video_get_fixed_schedule(const char* table, const char* request)
{
    int channel = -1;
    if (!video_channel_text(request, &channel))
        return HANDLER_SILENT;
    Schedule schedule;
    read_schedule(VXDB_MAIN, table, &schedule, channel);
    cgi_writeback_json(REPLY_JSON, get_schedule_json_object(&schedule));
    return HANDLER_DONE;
}

HandlerStatus video_set_fixed_schedule(const char* table, const char* request, int change_code,
                                       HandlerStatus refused)
{
    static const JsonField kChecks[] = {JSON_CHECK("camId", true, 0, CHANNEL_COUNT - 1)};
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    if (!json_check(body.get(), kChecks))
        return refused;
    const int channel = json_int_or(body.get(), "camId");
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    if (write_schedule(VXDB_MAIN, table, &schedule, channel) != 0)
        return HANDLER_ERROR_TEXT;
    video_notify_channel(change_code, channel);
    reply_text("OK");
    return HANDLER_DONE;
}

// Missing days and periods read as empty: the record starts from zero.
void video_request_schedule(json_object* body, Schedule* schedule)
{
    memset(schedule, 0, sizeof *schedule);
    get_schedule_by_json(body, "schedule", schedule);
}

int video_write_schedules(const char* table, const Schedule* schedule, uint64_t set)
{
    int rc = 0;
    for (int c = 0; c < CHANNEL_COUNT; c++)
        if (set & (1ULL << c))
            rc |= write_schedule(VXDB_MAIN, table, schedule, c);
    return rc;
}
