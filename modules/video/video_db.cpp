// Video and event records in the configuration database.
#include <cstring>

#include "core/db.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kMotion = {"motion", (int)sizeof(motion), VIDEO_CHANNELS};

struct MotionChange {
    bool (*change)(motion*, void*);
    void* context;
};

bool apply_motion_change(void* record, void* context)
{
    MotionChange* c = (MotionChange*)context;
    return c->change((motion*)record, c->context);
}
}  // namespace

int read_motion(const char* db, motion* out, int channel)
{
    return vxdb_read(db, kMotion, channel, out) < 0 ? -1 : 0;
}

int write_motion(const char* db, const motion* record)
{
    return record ? vxdb_write(db, kMotion, record->id, record, (int)sizeof *record) : -1;
}

int copy_motions(const char* db, int source, uint64_t channels)
{
    return vxdb_copy(db, kMotion, source, channels, (int)offsetof(motion, id));
}

int update_motion(const char* db, int channel, bool (*change)(motion*, void*), void* context)
{
    MotionChange c = {change, context};
    return vxdb_update(db, kMotion, channel, apply_motion_change, &c);
}

int write_motion_schedule(const char* db, const Schedule* schedule, int channel)
{
    return write_schedule(db, MOTION_AUDIBLE_SCHEDULE, schedule, channel);
}

int read_motion_audible_schedule(const char* db, Schedule* out, int channel)
{
    return read_schedule(db, MOTION_AUDIBLE_SCHEDULE, out, channel) < 0 ? -1 : 0;
}
