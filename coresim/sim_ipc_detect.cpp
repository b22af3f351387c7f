// Simulated motion detection and auto tracking: the camera of each bound
// channel remembers what was set (a read returns the last write, copies
// included); the camera of an unbound channel gives an empty answer.
#include <cstring>
#include <memory>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/ipc/ipc_records.h"

namespace {

// Made on first use: two schedules per camera are 52 KiB.
struct CameraDetection {
    ipc_motion_detect motion;
    ipc_auto_tracking tracking;
};

struct DetectionStore {
    std::mutex mu;
    std::unique_ptr<CameraDetection> cameras[IPC_CHANNELS];
};

DetectionStore g;

// The caller holds the lock.
CameraDetection& camera_of(int channel)
{
    std::unique_ptr<CameraDetection>& c = g.cameras[channel];
    if (!c) {
        c.reset(new CameraDetection);
        memset(c.get(), 0, sizeof *c);
        c->motion.channel = c->tracking.channel = channel;
        c->motion.sensitivity = 5;
        c->tracking.sensitivity = 5;
    }
    return *c;
}

// The channel of a request whose camera answers, or -1 after the empty
// answer. Every request here starts with the channel.
int answering_channel(const SimRequest& request, SimReply& reply, size_t size)
{
    int32_t channel = -1;
    if (request.length >= (int)size)
        memcpy(&channel, request.payload, sizeof channel);
    if (channel < 0 || !sim_ipc_channel_bound(channel)) {
        reply.send(nullptr, 0);
        return -1;
    }
    return channel;
}

// The channel's camera and the bound cameras of the mask.
void targets_of(int channel, uint64_t mask, bool targets[IPC_CHANNELS])
{
    for (int i = 0; i < IPC_CHANNELS; i++)
        targets[i] = i == channel || (((mask >> i) & 1) && sim_ipc_channel_bound(i));
}

// A read answers the record the camera keeps.
template <typename Record, Record CameraDetection::*member>
void on_kept_get(const SimRequest& request, SimReply& reply)
{
    const int channel = answering_channel(request, reply, sizeof(int32_t));
    if (channel < 0)
        return;
    std::unique_ptr<Record> record(new Record);
    {
        std::lock_guard<std::mutex> lock(g.mu);
        *record = camera_of(channel).*member;
    }
    reply.send(record.get(), sizeof *record);
}

// A write is kept by every target camera, each with its own channel.
template <typename Record, Record CameraDetection::*member>
void keep_for(const bool targets[IPC_CHANNELS], const Record& set)
{
    std::lock_guard<std::mutex> lock(g.mu);
    for (int i = 0; i < IPC_CHANNELS; i++)
        if (targets[i]) {
            Record& kept = camera_of(i).*member;
            kept = set;
            kept.channel = i;
        }
}

void on_motion_set(const SimRequest& request, SimReply& reply)
{
    const int channel = answering_channel(request, reply, sizeof(ipc_motion_detect));
    if (channel < 0)
        return;
    std::unique_ptr<ipc_motion_detect> set(new ipc_motion_detect);
    request.as(set.get());
    set->map_mask[sizeof set->map_mask - 1] = '\0';
    bool targets[IPC_CHANNELS];
    targets_of(channel, set->copy_channels, targets);
    set->copy_channels = 0;
    keep_for<ipc_motion_detect, &CameraDetection::motion>(targets, *set);
    reply.send_word(0);
}

void on_tracking_set(const SimRequest& request, SimReply& reply)
{
    const int channel = answering_channel(request, reply, sizeof(ipc_auto_tracking));
    if (channel < 0)
        return;
    std::unique_ptr<ipc_auto_tracking> set(new ipc_auto_tracking);
    request.as(set.get());
    bool targets[IPC_CHANNELS];
    targets_of(channel, set->channels, targets);
    set->channels = 0;
    memset(set->reserved, 0, sizeof set->reserved);
    keep_for<ipc_auto_tracking, &CameraDetection::tracking>(targets, *set);
    reply.send_word(0);
}

const SimEntry kDetect[] = {
    {REQ_IPC_MOTION_DETECT_GET, on_kept_get<ipc_motion_detect, &CameraDetection::motion>,
     "a camera's motion detection: the last one set"},
    {REQ_IPC_MOTION_DETECT_SET, on_motion_set, "store the motion detection of a camera and its copies"},
    {REQ_IPC_AUTO_TRACKING_GET, on_kept_get<ipc_auto_tracking, &CameraDetection::tracking>,
     "a camera's auto tracking: the last one set"},
    {REQ_IPC_AUTO_TRACKING_SET, on_tracking_set, "store the auto tracking of a camera and its channels"},
};

}  // namespace

const SimEntry* sim_ipc_detect_table(int* count)
{
    *count = (int)(sizeof kDetect / sizeof kDetect[0]);
    return kDetect;
}
