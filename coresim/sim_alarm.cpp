// Simulated alarm inputs and outputs: each even camera of the first 16 has
// two alarm inputs and one output, the others none; the NVR has 16 inputs
// and 4 outputs. Settings written to a channel set are kept and answered,
// outputs switched by hand keep their state, numbers out of range are
// ignored.
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/alarm/alarm_records.h"

namespace {

struct CameraAlarms {
    camera_alarm_in_state in;
    camera_alarm_out_state out;
};

struct Alarms {
    std::mutex mu;
    bool ready = false;
    CameraAlarms cameras[ALARM_CHANNELS];
    uint32_t nvr_outputs = 0;  // bit n: output n switched on
} g;

bool valid(int channel)
{
    return channel >= 0 && channel < ALARM_CHANNELS;
}

// Under the lock.
void start()
{
    if (g.ready)
        return;
    g.ready = true;
    for (int c = 0; c < ALARM_CHANNELS; c++) {
        CameraAlarms& a = g.cameras[c];
        memset(&a, 0, sizeof a);
        a.in.channel = a.out.channel = c;
        const bool has_io = c < 16 && c % 2 == 0;
        a.in.alarm_cnt = has_io ? 2 : 0;
        a.out.alarm_cnt = has_io ? 1 : 0;
    }
}

// A camera's inputs or outputs as kept, channel -1 when the request names
// no camera; the input read asks with a whole state record, the output read
// with the channel alone.
template <typename State, State CameraAlarms::*part, int asked>
void on_camera_state(const SimRequest& request, SimReply& reply)
{
    State state;
    memset(&state, 0, sizeof state);
    const int channel = request.word();
    if (request.length >= asked && valid(channel)) {
        std::lock_guard<std::mutex> lock(g.mu);
        start();
        state = g.cameras[channel].*part;
    } else {
        state.channel = -1;
    }
    reply.send(&state, sizeof state);
}

// A write for the cameras of its channel set: each takes the settings of
// the first `Slots` slots it has, by `take`.
template <int Slots, typename Set, typename State>
void keep_camera_set(const SimRequest& request, State CameraAlarms::*part, const char* what,
                     void (*take)(State& state, const Set& set, int slot))
{
    Set set;
    if (!request.as(&set))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    start();
    for (int c = 0; c < ALARM_CHANNELS; c++) {
        if (!(set.channels & (1ULL << c)))
            continue;
        State& state = g.cameras[c].*part;
        for (int i = 0; i < state.alarm_cnt && i < set.alarm_cnt && i < Slots; i++)
            take(state, set, i);
    }
    sim_log("camera alarm %s of channels 0x%llx, count %d", what, (unsigned long long)set.channels, set.alarm_cnt);
}

void on_set_camera_inputs(const SimRequest& request, SimReply&)
{
    // A camera takes settings only for the inputs it has.
    keep_camera_set<CAMERA_ALARM_INPUTS>(request, &CameraAlarms::in, "inputs",
                                         +[](camera_alarm_in_state& in, const camera_alarm_in_set& set, int i) {
                                             in.enable[i] = set.slots[i].enable;
                                             in.type[i] = set.slots[i].type;
                                         });
}

void on_set_camera_outputs(const SimRequest& request, SimReply&)
{
    keep_camera_set<CAMERA_ALARM_OUTPUTS>(
        request, &CameraAlarms::out, "outputs",
        +[](camera_alarm_out_state& out, const camera_alarm_out_set& set, int i) { out.type[i] = set.slots[i].type; });
}

void on_camera_output_switch(const SimRequest& request, SimReply&)
{
    camera_alarm_out_switch change;
    if (!request.as(&change) || !valid(change.channel))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    start();
    camera_alarm_out_state& out = g.cameras[change.channel].out;
    if (change.output < 0 || change.output >= out.alarm_cnt || change.output >= CAMERA_ALARM_OUTPUTS)
        return;
    out.status[change.output] = change.state;
    sim_log("camera %d alarm output %d switched to %d", change.channel, change.output, change.state);
}

void on_output_switch(const SimRequest& request, SimReply&)
{
    alarm_out_switch change;
    if (!request.as(&change) || change.output < 0 || change.output >= NVR_ALARM_OUTPUTS)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    if (change.enable)
        g.nvr_outputs |= 1u << change.output;
    else
        g.nvr_outputs &= ~(1u << change.output);
    sim_log("alarm output %d switched to %d", change.output, change.enable);
}

void on_changed(const SimRequest& request, SimReply&)
{
    if (request.length >= 8) {
        uint64_t set = 0;
        request.as(&set);
        sim_log("alarm settings changed (%d) for 0x%llx", request.code, (unsigned long long)set);
    } else {
        sim_log("alarm settings changed (%d) for %d", request.code, request.word());
    }
}

const SimEntry kAlarm[] = {
    {REQ_ALARM_IN_CHANGED, on_changed, "an NVR alarm input changed"},
    {REQ_ALARM_IN_SET_CHANGED, on_changed, "a set of NVR alarm inputs changed"},
    {REQ_ALARM_OUT_CHANGED, on_changed, "an NVR alarm output changed"},
    {REQ_ALARM_OUT_SWITCH, on_output_switch, "switch an NVR alarm output"},
    {REQ_CAMERA_ALARM_IN_GET, on_camera_state<camera_alarm_in_state, &CameraAlarms::in, sizeof(camera_alarm_in_state)>,
     "a camera's alarm inputs"},
    {REQ_CAMERA_ALARM_OUT_GET, on_camera_state<camera_alarm_out_state, &CameraAlarms::out, 4>,
     "a camera's alarm outputs"},
    {REQ_CAMERA_ALARM_IN_SET, on_set_camera_inputs, "camera alarm inputs of a channel set"},
    {REQ_CAMERA_ALARM_OUT_SET, on_set_camera_outputs, "camera alarm outputs of a channel set"},
    {REQ_CAMERA_ALARM_IN_SET_CHANGED, on_changed, "camera alarm inputs of a set changed"},
    {REQ_CAMERA_ALARM_OUT_SET_CHANGED, on_changed, "camera alarm outputs of a set changed"},
    {REQ_CAMERA_ALARM_OUT_SWITCH, on_camera_output_switch, "switch a camera alarm output"},
};

}  // namespace

const SimEntry* sim_alarm_table(int* count)
{
    *count = (int)(sizeof kAlarm / sizeof kAlarm[0]);
    return kAlarm;
}

uint32_t sim_alarm_output_states()
{
    std::lock_guard<std::mutex> lock(g.mu);
    return g.nvr_outputs;
}
