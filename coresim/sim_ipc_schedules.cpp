// Simulated camera schedules: the camera of each bound channel remembers its
// two image schedules and its exposure schedule, so a read returns the last
// write. The camera of an unbound channel gives an empty answer.
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/ipc/ipc_records.h"
#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

struct CameraSchedules {
    ipc_image_schedule image;
    ipc_image_schedule image_ex;
    ipc_exposure_schedule exposure;
};

// One schedule of the camera: the request that reads it, the one that
// writes it, where it lives in CameraSchedules and its size.
struct SimSchedule {
    int get;
    int set;
    size_t offset;
    size_t size;
};

const SimSchedule kSchedules[] = {
    {REQ_IPC_IMAGE_SCHEDULE_GET, REQ_IPC_IMAGE_SCHEDULE_SET, offsetof(CameraSchedules, image),
     sizeof(ipc_image_schedule)},
    {REQ_IPC_EXPOSURE_SCHEDULE_GET, REQ_IPC_EXPOSURE_SCHEDULE_SET, offsetof(CameraSchedules, exposure),
     sizeof(ipc_exposure_schedule)},
    {REQ_IPC_IMAGE_SCHEDULE_EX_GET, REQ_IPC_IMAGE_SCHEDULE_EX_SET, offsetof(CameraSchedules, image_ex),
     sizeof(ipc_image_schedule)},
};

struct ScheduleStore {
    std::mutex mu;
    // Made on a camera's first write: 80 KiB each, most channels never have one.
    std::unique_ptr<CameraSchedules> cameras[IPC_CHANNELS];
};

ScheduleStore g;

const SimSchedule* schedule_of(int code)
{
    for (const SimSchedule& s : kSchedules)
        if (s.get == code || s.set == code)
            return &s;
    return nullptr;
}

// A camera never written has every day invalid: the pages show empty periods.
void on_schedule_get(const SimRequest& request, SimReply& reply)
{
    const SimSchedule* schedule = schedule_of(request.code);
    const int32_t channel = request.word(0);
    if (!schedule || request.length < 4 || !sim_ipc_channel_bound(channel)) {
        reply.send(nullptr, 0);
        return;
    }
    std::unique_ptr<char[]> record(new char[schedule->size]());
    {
        std::lock_guard<std::mutex> lock(g.mu);
        if (g.cameras[channel])
            memcpy(record.get(), (const char*)g.cameras[channel].get() + schedule->offset, schedule->size);
    }
    memcpy(record.get(), &channel, sizeof channel);
    reply.send(record.get(), schedule->size);
}

// Nobody waits for an answer.
void on_schedule_set(const SimRequest& request, SimReply&)
{
    const SimSchedule* schedule = schedule_of(request.code);
    if (!schedule || request.length < (int)schedule->size || !sim_ipc_channel_bound(request.word(0)))
        return;
    const int32_t channel = request.word(0);
    std::lock_guard<std::mutex> lock(g.mu);
    std::unique_ptr<CameraSchedules>& camera = g.cameras[channel];
    if (!camera) {
        camera.reset(new CameraSchedules);
        memset(camera.get(), 0, sizeof *camera);
    }
    memcpy((char*)camera.get() + schedule->offset, request.payload, schedule->size);
}

const SimEntry kEntries[] = {
    {REQ_IPC_IMAGE_SCHEDULE_GET, on_schedule_get, "a camera's image schedule: the last one set"},
    {REQ_IPC_EXPOSURE_SCHEDULE_GET, on_schedule_get, "a camera's exposure schedule: the last one set"},
    {REQ_IPC_IMAGE_SCHEDULE_EX_GET, on_schedule_get, "a camera's second image schedule: the last one set"},
    {REQ_IPC_IMAGE_SCHEDULE_SET, on_schedule_set, "store a camera's image schedule (no answer)"},
    {REQ_IPC_EXPOSURE_SCHEDULE_SET, on_schedule_set, "store a camera's exposure schedule (no answer)"},
    {REQ_IPC_IMAGE_SCHEDULE_EX_SET, on_schedule_set, "store a camera's second image schedule (no answer)"},
};

}  // namespace

const SimEntry* sim_ipc_schedules_table(int* count)
{
    *count = (int)(sizeof kEntries / sizeof kEntries[0]);
    return kEntries;
}
