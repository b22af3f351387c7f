// Simulated PTZ cameras: per channel 300 presets, 8 tours, 4 patterns and
// auto-scan, the basic settings each camera keeps, and an LED that follows
// the time of day. Channels 0 to 3 have a PTZ camera.
//
// Action codes as this stand-in reads them (the real ones belong to the
// cameras): preset 22 sets a preset with its name and 23 clears it; pattern
// 26 records a pattern (enabled), 27 clears it, 25 runs it, 40 starts the
// auto-scan, and 21 (stop) ends the auto-scan.
#include <cstring>
#include <ctime>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/ptz/ptz_records.h"
#include "platform/vxdb.h"

namespace {

enum { SIM_PTZ_CHANNELS = 64, SIM_PTZ_CAMERAS = 4, NIGHT_FROM = 19, DAY_FROM = 7 };

struct Camera {
    ptz_state state;
    ptz_basic basic;
};

struct Ptz {
    std::mutex mu;
    Camera cameras[SIM_PTZ_CHANNELS];
} g;

Camera* camera(int channel)
{
    return channel >= 0 && channel < SIM_PTZ_CHANNELS ? &g.cameras[channel] : nullptr;
}

// A stream's row of the status tables; streams beyond them share row 0.
int status_row(int stream)
{
    return stream >= 0 && stream < PTZ_STATUS_ROWS ? stream : 0;
}

void on_move(const SimRequest& request, SimReply&)
{
    ptz_action a;
    std::lock_guard<std::mutex> lock(g.mu);
    Camera* c = request.as(&a) ? camera(a.channel) : nullptr;
    if (c && a.action == PTZ_ACTION_STOP)
        c->state.autoscan_status[status_row(a.stream_id)] = 0;
}

void on_preset(const SimRequest& request, SimReply&)
{
    ptz_action a;
    std::lock_guard<std::mutex> lock(g.mu);
    Camera* c = request.as(&a) ? camera(a.channel) : nullptr;
    if (!c || a.preset_id < 1 || a.preset_id > PTZ_MAX_PRESETS)
        return;
    ptz_preset_state& p = c->state.presets[a.preset_id - 1];
    if (a.action == PTZ_ACTION_PRESET_SET) {
        p.enable = 1;
        memcpy(p.name, a.preset_name, sizeof p.name);
        p.name[sizeof p.name - 1] = '\0';
    } else if (a.action == PTZ_ACTION_PRESET_CLEAR) {
        memset(&p, 0, sizeof p);
    }
}

void on_pattern(const SimRequest& request, SimReply&)
{
    ptz_action a;
    std::lock_guard<std::mutex> lock(g.mu);
    Camera* c = request.as(&a) ? camera(a.channel) : nullptr;
    if (!c)
        return;
    const int row = status_row(a.stream_id);
    const bool pattern = a.preset_id >= 1 && a.preset_id <= PTZ_MAX_PATTERNS;
    switch (a.action) {
    case PTZ_ACTION_PATTERN_RECORD:
        if (pattern)
            c->state.pattern_enable[a.preset_id - 1] = 1;
        break;
    case PTZ_ACTION_PATTERN_CLEAR:
        if (pattern)
            c->state.pattern_enable[a.preset_id - 1] = 0;
        break;
    case PTZ_ACTION_AUTO_SCAN: c->state.autoscan_status[row] = 1; break;
    case PTZ_ACTION_STOP: c->state.autoscan_status[row] = 0; break;
    default: break;
    }
}

void set_tour(ptz_tour_block* tour, const ptz_tour_point* points, int count)
{
    memset(tour, 0, sizeof *tour);
    for (int k = 0; k < count && k < PTZ_TOUR_POINTS; k++) {
        tour->preset[k] = points[k].preset;
        tour->dwell_time[k] = points[k].dwell_time;
        tour->speed[k] = points[k].speed;
    }
}

void on_tour_set(const SimRequest& request, SimReply&)
{
    ptz_tour_set set;
    std::lock_guard<std::mutex> lock(g.mu);
    Camera* c = request.as(&set) ? camera(set.channel) : nullptr;
    if (c && set.tour_id >= 1 && set.tour_id <= PTZ_MAX_TOURS)
        set_tour(&c->state.tours[set.tour_id - 1], set.points, set.count);
}

// Fisheye tours share the channel's tours.
void on_fish_tour_set(const SimRequest& request, SimReply&)
{
    fish_tour_set set;
    std::lock_guard<std::mutex> lock(g.mu);
    Camera* c = request.as(&set) ? camera(set.channel) : nullptr;
    if (c && set.index >= 0 && set.index < PTZ_MAX_TOURS)
        c->state.tours[set.index] = set.tours[set.index];
}

void on_tour_cmd(const SimRequest& request, SimReply&)
{
    ptz_tour_cmd cmd;
    std::lock_guard<std::mutex> lock(g.mu);
    Camera* c = request.as(&cmd) ? camera(cmd.channel) : nullptr;
    if (!c || cmd.tour_id < 1 || cmd.tour_id > PTZ_MAX_TOURS)
        return;
    const int t = cmd.tour_id - 1, row = status_row(cmd.stream_id);
    switch (request.code) {
    case REQ_PTZ_TOUR_CLEAR:
        memset(c->state.tours[t].preset, 0, sizeof c->state.tours[t].preset);
        for (auto& status : c->state.tour_status)
            status[t] = 0;
        break;
    case REQ_PTZ_TOUR_RUN: c->state.tour_status[row][t] = 1; break;
    case REQ_PTZ_TOUR_STOP: c->state.tour_status[row][t] = 0; break;
    default: break;
    }
}

// The whole state of a channel; an empty answer for no channel. The reply
// keeps a copy, written once the lock is gone.
void on_state(const SimRequest& request, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    const Camera* c = camera(request.word(0));
    if (c)
        reply.send(&c->state, sizeof c->state);
    else
        reply.send(nullptr, 0);
}

void on_support(const SimRequest& request, SimReply& reply)
{
    const int channel = request.word(0);
    reply.send_word(channel >= 0 && channel < SIM_PTZ_CAMERAS ? 0 : -1);
}

void on_word_zero(const SimRequest&, SimReply& reply)
{
    reply.send_word(0);
}

// The LED is lit at night, local time.
void on_led(const SimRequest& request, SimReply& reply)
{
    time_t now = time(nullptr);
    struct tm tm;
    int night = 0;
    if (localtime_r(&now, &tm))
        night = tm.tm_hour >= NIGHT_FROM || tm.tm_hour < DAY_FROM;
    led_status led = {request.word(0), night};
    reply.send(&led, sizeof led);
}

void on_basic_get(const SimRequest& request, SimReply& reply)
{
    ptz_basic basic;
    memset(&basic, 0, sizeof basic);
    {
        std::lock_guard<std::mutex> lock(g.mu);
        const Camera* c = camera(request.word(0));
        if (c)
            basic = c->basic;
        else
            basic.status = -1;
        basic.channel = request.word(0);
    }
    reply.send(&basic, sizeof basic);
}

void on_basic_set(const SimRequest& request, SimReply& reply)
{
    ptz_basic basic;
    int status = -1;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        Camera* c = request.as(&basic) ? camera(basic.channel) : nullptr;
        if (c) {
            basic.status = 0;
            basic.channel_mask[sizeof basic.channel_mask - 1] = '\0';
            c->basic = basic;
            status = 0;
        }
    }
    reply.send_word(status);
}

void on_ignore(const SimRequest&, SimReply&) {}

const SimEntry kPtz[] = {
    {REQ_PTZ_MOVE, on_move, "move a camera (no answer)"},
    {REQ_PTZ_PORT_CHANGED, on_ignore, "serial port settings changed (no answer)"},
    {REQ_PTZ_PRESET, on_preset, "set or clear a preset (no answer)"},
    {REQ_PTZ_PATTERN, on_pattern, "patterns and auto-scan (no answer)"},
    {REQ_PTZ_TOUR_CLEAR, on_tour_cmd, "clear a tour (no answer)"},
    {REQ_PTZ_TOUR_RUN, on_tour_cmd, "run a tour (no answer)"},
    {REQ_PTZ_TOUR_STOP, on_tour_cmd, "stop a tour (no answer)"},
    {REQ_PTZ_SUPPORT, on_support, "0 for a PTZ camera, -1 otherwise"},
    {REQ_PTZ_TOUR_SET, on_tour_set, "set a tour (no answer)"},
    {REQ_PTZ_STATE, on_state, "presets, tours, patterns and status of a channel"},
    {REQ_PTZ_PRESET_CALL, on_ignore, "call a preset (no answer)"},
    {REQ_PTZ_ZOOM, on_ignore, "zoom (no answer)"},
    {REQ_PTZ_FISH_STATE, on_state, "the same for a fisheye stream"},
    {REQ_PTZ_FISH_TOUR_SET, on_fish_tour_set, "set a fisheye tour (no answer)"},
    {REQ_PTZ_BASIC_GET, on_basic_get, "basic settings of a camera"},
    {REQ_PTZ_BASIC_SET, on_basic_set, "store the basic settings of a camera"},
    {REQ_CAMERA_PARAM_SET, sim_ipc_param_set, "set a camera parameter (kept by sim_ipc_params)"},
    {REQ_PTZ_CONTROL, on_word_zero, "generic PTZ command"},
    {REQ_LED_STATUS, on_led, "LED state, lit at night"},
};

}  // namespace

// The tours the database keeps are the cameras' tours at start.
void sim_ptz_start()
{
    std::lock_guard<std::mutex> lock(g.mu);
    db_ptz_tour tours;
    for (int channel = 0; channel < SIM_PTZ_CHANNELS; channel++) {
        Camera& c = g.cameras[channel];
        memset(&c, 0, sizeof c);
        c.basic.channel = channel;
        if (read_ptz_tour(VXDB_MAIN, &tours, channel) != 0)
            continue;
        for (int t = 0; t < PTZ_MAX_TOURS; t++)
            set_tour(&c.state.tours[t], tours.points[t], PTZ_TOUR_POINTS);
    }
}

const SimEntry* sim_ptz_table(int* count)
{
    *count = (int)(sizeof kPtz / sizeof kPtz[0]);
    return kPtz;
}
