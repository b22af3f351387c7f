// Simulated cameras' licence-plate recognition (settings and plate formats
// kept per channel) and the recorder's scheduled snapshots (the channels
// taking snapshots by hand, the change notices logged).
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {

struct Anpr {
    std::mutex mu;
    anpr_settings settings[VIDEO_CHANNELS];
    anpr_plate_format formats[VIDEO_CHANNELS];
    bool taking[VIDEO_CHANNELS];  // snapshots started by hand (1313)
} g;

bool valid(int channel)
{
    return channel >= 0 && channel < VIDEO_CHANNELS;
}

// The channel a request names; -1 for a short request or a channel outside
// the table.
int request_channel(const SimRequest& request)
{
    const int channel = request.word();
    return request.length >= 4 && valid(channel) ? channel : -1;
}

// Answers a record kept for the channel the request names; a request
// without one gets a zero record under channel -1.
template <typename Record>
void answer_kept(const SimRequest& request, SimReply& reply, Record (Anpr::*kept)[VIDEO_CHANNELS])
{
    static Record record;  // one request at a time, under the lock
    std::lock_guard<std::mutex> lock(g.mu);
    memset(&record, 0, sizeof record);
    const int channel = request_channel(request);
    if (channel >= 0)
        record = (g.*kept)[channel];
    record.channel = channel;
    reply.send(&record, sizeof record);
}

void on_settings_get(const SimRequest& request, SimReply& reply)
{
    answer_kept(request, reply, &Anpr::settings);
}

void on_settings_set(const SimRequest& request, SimReply& reply)
{
    static anpr_settings settings;
    int32_t status = -1;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        if (request.as(&settings) && valid(settings.channel)) {
            settings.in_night_mode = 0;
            g.settings[settings.channel] = settings;
            status = 0;
        }
    }
    sim_log("ANPR settings of camera %d: %s", request.word(), status == 0 ? "kept" : "refused");
    reply.send_word(status);
}

void on_formats_get(const SimRequest& request, SimReply& reply)
{
    answer_kept(request, reply, &Anpr::formats);
}

// The camera answers a format change whether or not it took it.
void on_formats_set(const SimRequest& request, SimReply& reply)
{
    anpr_plate_format formats;
    if (request.as(&formats) && valid(formats.channel)) {
        std::lock_guard<std::mutex> lock(g.mu);
        g.formats[formats.channel] = formats;
    }
    sim_log("plate formats of camera %d", request.word());
    reply.send_word(0);
}

void on_lpr_state(const SimRequest& request, SimReply& reply)
{
    ipc_lpr_state state;
    memset(&state, 0, sizeof state);
    state.channel = request_channel(request);
    if (state.channel >= 0) {
        std::lock_guard<std::mutex> lock(g.mu);
        state.state = g.settings[state.channel].enable != 0;
        state.zoom_number = 1;
    }
    reply.send(&state, sizeof state);
}

// Every simulated camera recognises plates, with analytics version 1.
void on_support(const SimRequest& request, SimReply& reply)
{
    anpr_support support;
    memset(&support, 0, sizeof support);
    support.channel = request_channel(request);
    support.vca_support = support.channel >= 0;
    support.vca_version = support.channel >= 0;
    reply.send(&support, sizeof support);
}

void on_anpr_changed(const SimRequest& request, SimReply&)
{
    anpr_event_change change = {-1, 0};
    request.as(&change);
    sim_log("ANPR actions changed for channel %d, mode %d", change.channel, change.mode);
}

int flagged(const snapshot_channel_flags& payload)
{
    int n = 0;
    for (int32_t flag : payload.flags)
        n += flag == 1;
    return n;
}

void on_snapshot_changed(const SimRequest& request, SimReply&)
{
    snapshot_channel_flags payload;
    if (!request.as(&payload))
        return;
    sim_log("snapshot %s changed (%d) for %d channels",
            request.code == REQ_SNAPSHOT_SCHEDULE_CHANGED ? "schedule" : "settings", request.code, flagged(payload));
}

void on_snapshot_start_stop(const SimRequest& request, SimReply&)
{
    snapshot_channel_flags payload;
    if (!request.as(&payload))
        return;
    int taking = 0;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        for (int c = 0; c < VIDEO_CHANNELS; c++) {
            if (payload.flags[c] == 1)
                g.taking[c] = payload.action == 1;
            taking += g.taking[c];
        }
    }
    sim_log("snapshots %s on %d channels; %d channels taking snapshots", payload.action == 1 ? "started" : "stopped",
            flagged(payload), taking);
}

const SimEntry kAnpr[] = {
    {REQ_ANPR_CHANGED, on_anpr_changed, "ANPR actions of a channel and mode changed"},
    {REQ_ANPR_SETTINGS_GET, on_settings_get, "a camera's ANPR settings"},
    {REQ_ANPR_SETTINGS_SET, on_settings_set, "set a camera's ANPR settings"},
    {REQ_IPC_ANPR_FORMAT_GET, on_formats_get, "a camera's plate formats"},
    {REQ_IPC_ANPR_FORMAT_SET, on_formats_set, "set a camera's plate formats"},
    {REQ_IPC_LPR_STATE_GET, on_lpr_state, "a camera's recognition state"},
    {REQ_ANPR_SUPPORT_GET, on_support, "whether a camera recognises plates"},
    {REQ_SNAPSHOT_SETTINGS_CHANGED, on_snapshot_changed, "snapshot settings of channels changed"},
    {REQ_SNAPSHOT_SCHEDULE_CHANGED, on_snapshot_changed, "snapshot schedule of channels changed"},
    {REQ_SNAPSHOT_START_STOP, on_snapshot_start_stop, "start or stop taking snapshots"},
};

}  // namespace

// Snapshot settings of the 16 cameras out of the box: one picture every 5
// units, kept 7 days; each record under its own channel.
void sim_anpr_seed()
{
    snapshot record;
    memset(&record, 0, sizeof record);
    record.quality = 1;
    record.interval = 5;
    record.expiration_date = 7;
    copy_snapshots(VXDB_MAIN, &record, 0xffffULL);
}

const SimEntry* sim_anpr_table(int* count)
{
    *count = (int)(sizeof kAnpr / sizeof kAnpr[0]);
    return kAnpr;
}
