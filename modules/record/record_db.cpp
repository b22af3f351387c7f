// Recording records and camera records in the configuration database.
#include <cstddef>
#include <cstring>

#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

const vxdb_kind kHoliday = {"holiday", (int)sizeof(db_holiday), HOLIDAY_MAX};
const vxdb_kind kRecord = {"record", (int)sizeof(db_record), RECORD_CHANNELS};
const vxdb_kind kRecordSchedule = {"record_schedule", (int)sizeof(Schedule), RECORD_CHANNELS};
const vxdb_kind kCamera = {"camera", (int)sizeof(db_camera), RECORD_CHANNELS};

struct Column {
    RecordTable table;
    const char* name;
    size_t offset;
};
const Column kColumns[] = {
    {TABLE_RECORD, "mode", offsetof(db_record, mode)},
    {TABLE_CAMERA, "anr", offsetof(db_camera, anr)},
    {TABLE_CAMERA, "record_stream", offsetof(db_camera, record_stream)},
};

struct ColumnChange {
    size_t offset;
    int32_t value;
};

// Both tables keep their key column "id" in the first word.
void set_column(void* record, int idx, void* context)
{
    const ColumnChange* change = (const ColumnChange*)context;
    const int32_t id = idx;
    memcpy(record, &id, sizeof id);
    memcpy((char*)record + change->offset, &change->value, sizeof change->value);
}

void put_schedule(void* record, int, void* context)
{
    memcpy(record, context, sizeof(Schedule));
}

}  // namespace

int read_holiday(const char* db, db_holiday* out, int id, bool* found)
{
    int rc = vxdb_read(db, kHoliday, id, out);
    if (found)
        *found = rc == 0;
    return rc < 0 ? -1 : 0;
}

int write_holiday(const char* db, const db_holiday* holiday)
{
    return holiday ? vxdb_write(db, kHoliday, holiday->id, holiday, (int)sizeof *holiday) : -1;
}

int read_record(const char* db, db_record* out, int channel)
{
    return vxdb_read(db, kRecord, channel, out) < 0 ? -1 : 0;
}

int read_records(const char* db, db_record out[64])
{
    return vxdb_read_table(db, kRecord, out, RECORD_CHANNELS) < 0 ? -1 : 0;
}

int write_record(const char* db, const db_record* record)
{
    return record ? vxdb_write(db, kRecord, record->id, record, (int)sizeof *record) : -1;
}

namespace {
struct RecordChange {
    void (*change)(db_record*, int, void*);
    void* context;
};
void change_record(void* record, int idx, void* context)
{
    const RecordChange* c = (const RecordChange*)context;
    c->change((db_record*)record, idx, c->context);
}
}  // namespace

int update_records(const char* db, uint64_t channels, void (*change)(db_record* record, int channel, void* context),
                   void* context)
{
    RecordChange c = {change, context};
    return change ? vxdb_update_set(db, kRecord, channels, change_record, &c) : -1;
}

int read_record_schedule(const char* db, Schedule* out, int channel)
{
    return vxdb_read(db, kRecordSchedule, channel, out) < 0 ? -1 : 0;
}

int copy_record_schedules(const char* db, const Schedule* schedule, uint64_t channels)
{
    return vxdb_update_set(db, kRecordSchedule, channels, put_schedule, (void*)schedule);
}

int read_camera(const char* db, db_camera* out, int channel)
{
    return vxdb_read(db, kCamera, channel, out) < 0 ? -1 : 0;
}

int read_cameras(const char* db, db_camera out[64])
{
    return vxdb_read_table(db, kCamera, out, RECORD_CHANNELS) < 0 ? -1 : 0;
}

int write_camera(const char* db, const db_camera* camera)
{
    return camera ? vxdb_write(db, kCamera, camera->id, camera, (int)sizeof *camera) : -1;
}

namespace {
struct CameraChange {
    bool (*change)(db_camera*, void*);
    void* context;
    int channel;
};
// A camera not stored yet reads as zeros: without its id it would be
// written, and connected, as channel 0's.
bool change_camera(void* record, void* context)
{
    const CameraChange* c = (const CameraChange*)context;
    db_camera* camera = (db_camera*)record;
    camera->id = c->channel;
    return c->change(camera, c->context);
}
}  // namespace

int update_camera(const char* db, int channel, bool (*change)(db_camera* camera, void* context), void* context)
{
    if (!change || channel < 0 || channel >= RECORD_CHANNELS)
        return -1;
    CameraChange c = {change, context, channel};
    return vxdb_update(db, kCamera, channel, change_camera, &c);
}

int copy_table_column_int(const char* db, RecordTable table, const char* column, int32_t value, uint64_t channels)
{
    for (const Column& c : kColumns) {
        if (c.table != table || strcmp(c.name, column) != 0)
            continue;
        ColumnChange change = {c.offset, value};
        return vxdb_update_set(db, table == TABLE_RECORD ? kRecord : kCamera, channels, set_column, &change);
    }
    return -1;
}
