// Simulated cameras' motion detection: keeps per channel the motion area,
// sensitivity, camera-side switch and schedule pushed to it, answers the
// motion map from them, and logs the "settings changed" requests; keeps
// the cameras' alarm-input and volume-detection events and answers them.
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/video/video_records.h"

namespace {

struct CameraMotion {
    char map[CAMERA_MOTION_TABLE_SIZE];
    int32_t sensitivity;
    int32_t enable_ms;
    bool scheduled;
    camera_schedule_day schedule[CAMERA_SCHEDULE_DAYS];
};

struct Cameras {
    std::mutex mu;
    CameraMotion motion[VIDEO_CHANNELS];
    camera_io_event io[VIDEO_CHANNELS];
    volume_detect_event volume[VIDEO_CHANNELS];
} g;

bool valid(int channel)
{
    return channel >= 0 && channel < VIDEO_CHANNELS;
}

// The motion area a camera was given; the table may lack its NUL.
void keep_area(CameraMotion& m, const char (&table)[CAMERA_MOTION_TABLE_SIZE], int32_t sensitivity)
{
    memcpy(m.map, table, sizeof m.map);
    m.map[sizeof m.map - 1] = '\0';
    m.sensitivity = sensitivity;
}

void on_motion_area(const SimRequest& request, SimReply&)
{
    camera_motion_area area;
    if (!request.as(&area) || !valid(area.channel))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    keep_area(g.motion[area.channel], area.motion_table, area.sensitivity);
    sim_log("motion area of camera %d, sensitivity %d", area.channel, area.sensitivity);
}

void on_cameras_motion_area(const SimRequest& request, SimReply&)
{
    cameras_motion_area area;
    if (!request.as(&area))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    const int n = sim_count(area.count, VIDEO_CHANNELS);
    for (int i = 0; i < n; i++) {
        if (!valid(area.channels[i]))
            continue;
        keep_area(g.motion[area.channels[i]], area.motion_table, area.sensitivity);
        g.motion[area.channels[i]].enable_ms = area.enable_ms;
    }
    sim_log("motion area of %d cameras from camera %d, sensitivity %d", n, area.channel, area.sensitivity);
}

void on_motion_switch(const SimRequest& request, SimReply&)
{
    camera_motion_switch change;
    if (!request.as(&change))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    const int n = sim_count(change.count, VIDEO_CHANNELS);
    // Without a list the switch is the one camera's.
    if (n == 0 && valid(change.channel))
        g.motion[change.channel].enable_ms = change.flag;
    for (int i = 0; i < n; i++)
        if (valid(change.channels[i]))
            g.motion[change.channels[i]].enable_ms = change.flag;
    sim_log("camera motion switch %d for camera %d and %d listed", change.flag, change.channel, n);
}

void on_motion_schedule(const SimRequest& request, SimReply&)
{
    static camera_motion_schedule schedule;  // one request at a time, under the lock
    std::lock_guard<std::mutex> lock(g.mu);
    if (!request.as(&schedule))
        return;
    const int n = sim_count(schedule.count, VIDEO_CHANNELS);
    auto keep = [](int channel) {
        if (!valid(channel))
            return;
        g.motion[channel].scheduled = true;
        memcpy(g.motion[channel].schedule, schedule.days, sizeof schedule.days);
    };
    if (request.code == REQ_CAMERA_MOTION_SCHEDULE)
        keep(schedule.channel);
    for (int i = 0; i < n; i++)
        keep(schedule.channels[i]);
    sim_log("camera motion schedule (%d) for camera %d and %d listed", request.code, schedule.channel, n);
}

void on_motion_map(const SimRequest& request, SimReply& reply)
{
    motion_map_info map;
    memset(&map, 0, sizeof map);
    const int channel = request.word();
    if (request.length < 4 || !valid(channel)) {
        map.result = -1;
    } else {
        std::lock_guard<std::mutex> lock(g.mu);
        const CameraMotion& m = g.motion[channel];
        map.enable = m.enable_ms;
        memcpy(map.map, m.map, sizeof map.map);
        map.sensitivity = m.sensitivity;
    }
    reply.send(&map, sizeof map);
}

// A camera's event as last set, under its own channel; a channel outside
// the table answers an event with type -1.
template <typename Event>
void answer_event(const SimRequest& request, SimReply& reply, Event (Cameras::*events)[VIDEO_CHANNELS])
{
    Event event;
    memset(&event, 0, sizeof event);
    const int channel = request.word();
    event.channel = channel;
    if (request.length < 4 || !valid(channel)) {
        event.type = -1;
    } else {
        std::lock_guard<std::mutex> lock(g.mu);
        event = (g.*events)[channel];
        event.channel = channel;
    }
    reply.send(&event, sizeof event);
}

template <typename Event>
void keep_event(const SimRequest& request, Event (Cameras::*events)[VIDEO_CHANNELS], const char* what)
{
    Event event;
    if (!request.as(&event) || !valid(event.channel))
        return;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        (g.*events)[event.channel] = event;
    }
    sim_log("%s of camera %d: enable %d, type %d", what, event.channel, event.enable, event.type);
}

void on_camera_io_get(const SimRequest& request, SimReply& reply)
{
    answer_event(request, reply, &Cameras::io);
}

void on_camera_io_set(const SimRequest& request, SimReply&)
{
    keep_event(request, &Cameras::io, "alarm-input event");
}

void on_volume_get(const SimRequest& request, SimReply& reply)
{
    answer_event(request, reply, &Cameras::volume);
}

void on_volume_set(const SimRequest& request, SimReply&)
{
    keep_event(request, &Cameras::volume, "volume-detection event");
}

void on_exception_changed(const SimRequest& request, SimReply&)
{
    sim_log("exception settings changed (%d)", request.code);
}

void on_channel_changed(const SimRequest& request, SimReply&)
{
    sim_log("settings changed (%d) for channel %d", request.code, request.word());
}

void on_channels_changed(const SimRequest& request, SimReply&)
{
    uint64_t set = 0;
    request.as(&set);
    sim_log("settings changed (%d) for channels 0x%llx", request.code, (unsigned long long)set);
}

const SimEntry kVideo[] = {
    {REQ_MOTION_CHANGED, on_channel_changed, "motion settings of a channel changed"},
    {REQ_MOTION_SET_CHANGED, on_channels_changed, "motion settings of a channel set changed"},
    {REQ_VIDEO_LOSS_CHANGED, on_channel_changed, "video-loss settings of a channel changed"},
    {REQ_VIDEO_LOSS_SET_CHANGED, on_channels_changed, "video-loss settings of a channel set changed"},
    {REQ_CAMERA_MOTION_AREA, on_motion_area, "motion area to a camera"},
    {REQ_CAMERAS_MOTION_AREA, on_cameras_motion_area, "motion area to a set of cameras"},
    {REQ_CAMERA_MOTION_SWITCH, on_motion_switch, "camera-side motion switch"},
    {REQ_CAMERA_MOTION_SCHEDULE, on_motion_schedule, "camera motion schedule"},
    {REQ_CAMERAS_MOTION_SCHEDULE, on_motion_schedule, "camera motion schedule of a set"},
    {REQ_MOTION_MAP_GET, on_motion_map, "motion map of a camera"},
    {REQ_CAMERA_IO_GET, on_camera_io_get, "camera alarm-input event"},
    {REQ_CAMERA_IO_SET, on_camera_io_set, "set the camera alarm-input event"},
    {REQ_VOLUME_DETECT_GET, on_volume_get, "camera volume-detection event"},
    {REQ_VOLUME_DETECT_SET, on_volume_set, "set the camera volume-detection event"},
    {REQ_EXCEPTION_ALARMS_CHANGED, on_exception_changed, "exception alarm outputs changed"},
    {REQ_EXCEPTION_HTTP_CHANGED, on_exception_changed, "exception HTTP notifications changed"},
};

}  // namespace

const SimEntry* sim_video_table(int* count)
{
    *count = (int)(sizeof kVideo / sizeof kVideo[0]);
    return kVideo;
}
