// Scheduled snapshots: the weekly schedule and the settings of a channel,
// stored for a channel set, and snapshot taking started and stopped by hand.
#include "modules/video/video.h"

#include <cstring>

#include "core/channels.h"
#include "core/encodings.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define SNAPSHOT_RESOURCES(X) \
    X("/6174", on_get_snapshot_schedule, "fixed-form snapshot schedule of a channel") \
    X("/6175", on_set_snapshot_schedule, "store a snapshot schedule for a channel set") \
    X("/6176", on_get_snapshot_setting_params, "snapshot settings of a channel") \
    X("/6177", on_set_snapshot_setting_params, "store snapshot settings for a channel set") \
    X("/6178", on_set_snapshot_batch_setting, "start and stop taking snapshots by hand")

SNAPSHOT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kSnapshotResources[] = {SNAPSHOT_RESOURCES(WEB_RESOURCE_ROW)};

const JsonField kSnapshotFields[] = {
    JSON_FIELD(snapshot, resolution, "resolution", I32),
    JSON_FIELD(snapshot, quality, "quality", I32),
    JSON_FIELD(snapshot, interval, "interval", I32),
    JSON_FIELD(snapshot, interval_unit, "interval_unit", I32),
    JSON_FIELD(snapshot, expiration_date, "expiration_date", I32),
};

snapshot_channel_flags channel_flags(int action, const ChannelList& list)
{
    snapshot_channel_flags payload;
    memset(&payload, 0, sizeof payload);
    payload.action = action;
    for (int i = 0; i < list.count; i++)
        payload.flags[list.channels[i]] = 1;
    return payload;
}

void notify_flags(int code, const snapshot_channel_flags& payload)
{
    cgi_notify(on_video_ipc_callback, code, &payload, (int)sizeof payload);
}

HandlerStatus on_get_snapshot_schedule(const char* request)
{
    int channel = -1;
    if (!video_channel_text(request, &channel))
        return HANDLER_ERROR_TEXT;
    static snapshot_schedule record;  // 26 KB: kept off the small stack
    read_snapshot_schedule(VXDB_MAIN, &record, channel);
    cgi_writeback_json(REPLY_JSON, get_schedule_json_object(&record.schedule));
    return HANDLER_DONE;
}

HandlerStatus on_set_snapshot_schedule(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_TEXT;
    static Schedule schedule;
    video_request_schedule(body.get(), &schedule);
    // Only the listed channels are written: the others keep their schedule.
    const ChannelList channels = channel_list_by_json(body.get(), "chnid", "cnt");
    if (write_snapshot_schedules(VXDB_MAIN, &schedule, channels.mask) != 0)
        return HANDLER_ERROR_TEXT;
    notify_flags(REQ_SNAPSHOT_SCHEDULE_CHANGED, channel_flags(0, channels));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_snapshot_setting_params(const char* request)
{
    int channel = -1;
    if (!video_channel_text(request, &channel))
        return HANDLER_ERROR_TEXT;
    snapshot record;
    read_snapshot(VXDB_MAIN, &record, channel);
    return reply_record(&record, kSnapshotFields);
}

HandlerStatus on_set_snapshot_setting_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_TEXT;
    snapshot record;
    memset(&record, 0, sizeof record);
    json_to_record(body.get(), &record, kSnapshotFields);
    const ChannelList channels = channel_list_by_json(body.get(), "chnid", "cnt");
    if (copy_snapshots(VXDB_MAIN, &record, channels.mask) != 0)
        return HANDLER_ERROR_TEXT;
    notify_flags(REQ_SNAPSHOT_SETTINGS_CHANGED, channel_flags(0, channels));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_snapshot_batch_setting(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_TEXT;
    int start_count = 0, stop_count = 0;
    json_get_int(body.get(), "snapshotCnt", &start_count);
    json_get_int(body.get(), "stopCnt", &stop_count);
    // Start before stop: a channel in both lists ends stopped.
    if (start_count > 0)
        notify_flags(REQ_SNAPSHOT_START_STOP,
                     channel_flags(1, channel_list_by_json(body.get(), "snapshotChnId", "snapshotCnt")));
    if (stop_count > 0)
        notify_flags(REQ_SNAPSHOT_START_STOP,
                     channel_flags(0, channel_list_by_json(body.get(), "stopChnId", "stopCnt")));
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

// Nothing here waits for an answer.
const WebModulePart video_snapshot_part = {"video", kSnapshotResources, WEB_RES_COUNT(kSnapshotResources), nullptr, 0};
