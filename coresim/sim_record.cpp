// Simulated recording settings: the plan that the simulated recordings
// follow (mode, weekly schedule, holidays on schedule day 7, pre- and
// post-event recording), re-read whenever the CGI says they changed; the
// cameras' noise reduction (ANR) and the streams each channel records.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <time.h>
#include <vector>

#include "coresim/coresim.h"
#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

enum {
    MODE_SCHEDULE = 0,
    MODE_ALWAYS = 1,
    ACTION_NORMAL = 1,   // continuous recording
    ACTION_MOTION = 2,   // the others record around an event
    ACTION_ALARM = 4,
    EVENT_SECONDS = 60,  // how long a simulated event lasts
};

struct Plan {
    std::mutex mu;
    bool loaded = false;
    db_record records[RECORD_CHANNELS];
    std::vector<Schedule> schedules = std::vector<Schedule>(RECORD_CHANNELS);
    std::vector<db_holiday> holidays;
} g;

void load_locked()
{
    if (read_records(VXDB_MAIN, g.records) != 0)
        memset(g.records, 0, sizeof g.records);
    for (int c = 0; c < RECORD_CHANNELS; c++)
        if (read_record_schedule(VXDB_MAIN, &g.schedules[(size_t)c], c) != 0)
            memset(&g.schedules[(size_t)c], 0, sizeof(Schedule));
    g.holidays.clear();
    for (int id = 0; id < HOLIDAY_MAX; id++) {
        db_holiday h;
        bool found = false;
        if (read_holiday(VXDB_MAIN, &h, id, &found) == 0 && found && h.enable)
            g.holidays.push_back(h);
    }
    g.loaded = true;
}

// Type 0: a range of dates; type 1: a range of days of the year, every year;
// type 2: one weekday of a week of a month (week 5: the last).
bool holiday_matches(const db_holiday& h, const struct tm& day)
{
    const int year = day.tm_year + 1900, mon = day.tm_mon + 1;
    const long date = year * 10000L + mon * 100 + day.tm_mday;
    switch (h.type) {
    case 0:
        return date >= h.start_year * 10000L + h.start_mon * 100 + h.start_mday &&
               date <= h.end_year * 10000L + h.end_mon * 100 + h.end_mday;
    case 1: {
        const long md = mon * 100 + day.tm_mday;
        return md >= h.start_mon * 100 + h.start_mday && md <= h.end_mon * 100 + h.end_mday;
    }
    case 2: {
        const int week = (day.tm_mday - 1) / 7 + 1;
        const bool last = day.tm_mday + 7 > 31 || (day.tm_mon == 1 && day.tm_mday + 7 > 28);
        return mon == h.start_mon && day.tm_wday == h.start_wday && (week == h.start_mweek || (h.start_mweek == 5 && last));
    }
    default:
        return false;
    }
}

// "HH:MM" or "HH:MM:SS", up to "24:00", as seconds after midnight.
template <size_t N>
bool slot_seconds(const char (&field)[N], int* out)
{
    char text[N + 1];
    memcpy(text, field, N);
    text[N] = '\0';
    int h = 0, m = 0, s = 0;
    if (sscanf(text, "%d:%d:%d", &h, &m, &s) < 2 || h < 0 || m < 0 || m > 59 || s < 0 || s > 59)
        return false;
    *out = h * 3600 + m * 60 + s;
    return *out <= 86400;
}

void add(std::vector<SimRecording>* out, int64_t start, int64_t end, int type)
{
    if (start < end)
        out->push_back({start, end, type});
}

// An interval of action `action`: continuous, or the stretch around the
// hour's one event when it falls inside, widened by pre- and post-recording.
void record_interval(const db_record& r, int64_t from, int64_t to, int64_t start, int64_t end, int action,
                     uint32_t seed, std::vector<SimRecording>* out)
{
    start = start < from ? from : start;
    end = end > to ? to : end;
    if (start >= end || action == 0)
        return;
    if (action & ACTION_NORMAL) {
        add(out, start, end, ACTION_NORMAL);
        return;
    }
    if (seed % 3 == 1)
        return;  // no event this hour
    const int64_t event = from + (int64_t)(seed % 3600);
    if (event < start || event >= end)
        return;
    int64_t first = event - (r.pre_record_on ? r.pre_record_duration : 0);
    int64_t last = event + EVENT_SECONDS + (r.post_record_on ? r.post_record_duration : 0);
    add(out, first < from ? from : first, last > to ? to : last, action);
}

void plan_locked(int channel, int64_t from, int64_t to, uint32_t seed, std::vector<SimRecording>* out)
{
    const db_record& r = g.records[channel];
    if (r.mode == MODE_ALWAYS) {
        add(out, from, to, seed % 5 == 0 ? ACTION_MOTION : seed % 17 == 0 ? ACTION_ALARM : ACTION_NORMAL);
        return;
    }
    if (r.mode != MODE_SCHEDULE)
        return;
    const time_t t = (time_t)from;
    struct tm day;
    if (!localtime_r(&t, &day))
        return;
    const int64_t midnight = from - (day.tm_hour * 3600 + day.tm_min * 60 + day.tm_sec);
    int weekday = day.tm_wday;
    for (const db_holiday& h : g.holidays)
        if (holiday_matches(h, day))
            weekday = HOLIDAY_DAY;
    const ScheduleDay& d = g.schedules[(size_t)channel].days[weekday];
    if (d.whole_day_enable) {
        record_interval(r, from, to, from, to, d.whole_day_action, seed, out);
        return;
    }
    for (const ScheduleSlot& slot : d.slots) {
        int start = 0, end = 0;
        if (slot.action_type != 0 && slot_seconds(slot.start_time, &start) && slot_seconds(slot.end_time, &end))
            record_interval(r, from, to, midnight + start, midnight + end, slot.action_type, seed, out);
    }
}

void reload(const SimRequest&, SimReply&)
{
    std::lock_guard<std::mutex> lock(g.mu);
    load_locked();
}

// RTSP cameras cannot take ANR: they fail.
void on_anr_set(const SimRequest& request, SimReply& reply)
{
    camera_anr_request set;
    if (!request.as(&set))
        return;
    camera_anr_reply out;
    memset(&out, 0, sizeof out);
    out.count = sim_count(set.count, RECORD_CHANNELS);
    out.anr = set.anr;
    for (int i = 0; i < out.count; i++) {
        db_camera camera;
        const int channel = set.channels[i];
        out.channels[i] = channel;
        out.results[i] = channel < 0 || channel >= RECORD_CHANNELS || read_camera(VXDB_MAIN, &camera, channel) != 0 ||
                                 camera.protocol == CAMERA_PROTOCOL_RTSP
                             ? -1
                             : 0;
    }
    reply.send(&out, sizeof out);
}

// Models whose name says "ANR" support it.
void on_anr_support(const SimRequest& request, SimReply& reply)
{
    camera_anr_support out = {request.word(0), 0};
    db_camera camera;
    if (request.length >= 4 && out.channel >= 0 && out.channel < RECORD_CHANNELS &&
        read_camera(VXDB_MAIN, &camera, out.channel) == 0) {
        camera.model[sizeof camera.model - 1] = '\0';
        out.support = camera.enable && strstr(camera.model, "ANR") ? 1 : 0;
    }
    reply.send(&out, sizeof out);
}

// Every enabled camera records its main stream; those with a sub stream can
// record that too.
void on_record_streams(const SimRequest&, SimReply& reply)
{
    record_streams_reply out;
    memset(&out, 0, sizeof out);
    db_camera cameras[RECORD_CHANNELS];
    if (read_cameras(VXDB_MAIN, cameras) == 0) {
        out.count = sim_count(get_param_int(VXDB_MAIN, "max_cameras", 16), RECORD_CHANNELS);
        for (int i = 0; i < out.count; i++) {
            out.primary[i] = cameras[i].enable ? 1 : 0;
            out.secondary[i] = cameras[i].enable && cameras[i].enable_sub_stream ? 1 : 0;
        }
    }
    reply.send(&out, sizeof out);
}

const SimEntry kTable[] = {
    {REQ_HOLIDAY_CHANGED, reload, "holidays changed: re-read the plan"},
    {REQ_RECORD_MODE_CHANGED, reload, "a recording mode changed"},
    {REQ_RECORD_SCHEDULE_CHANGED, reload, "schedules changed"},
    {REQ_RECORD_PLAN_MODE_CHANGED, reload, "plan modes changed"},
    {REQ_RECORD_PARAMS_CHANGED, reload, "pre- and post-recording changed"},
    {REQ_CAMERA_ANR_SET, on_anr_set, "set cameras' ANR"},
    {REQ_CAMERA_ANR_SUPPORT, on_anr_support, "whether a camera supports ANR"},
    {REQ_RECORD_STREAMS, on_record_streams, "streams each channel records"},
};

}  // namespace

const SimEntry* sim_record_table(int* count)
{
    *count = (int)(sizeof kTable / sizeof kTable[0]);
    return kTable;
}

void sim_record_plan(int channel, int64_t from, int64_t to, uint32_t seed, std::vector<SimRecording>* out)
{
    if (channel < 0 || channel >= RECORD_CHANNELS || !out)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    if (!g.loaded)
        load_locked();
    plan_locked(channel, from, to, seed, out);
}
