// People-counting, POS and face-detection records in the configuration
// database.
#include "modules/ipc/ipc_event_records.h"

#include <cstring>

#include "platform/vxdb.h"

namespace {
const vxdb_kind kGroups = {"peoplecnt_settings", (int)sizeof(peoplecnt_settings), PEOPLECNT_GROUPS};
const vxdb_kind kGroupEvents = {"peoplecnt_event", (int)sizeof(peoplecnt_event), PEOPLECNT_GROUPS};
const vxdb_kind kPos = {"pos_setting", (int)sizeof(pos_setting), POS_TERMINALS};
const vxdb_kind kPosEvents = {"pos_event", (int)sizeof(pos_event), POS_TERMINALS};
const vxdb_kind kFaceEvents = {"face_event", (int)sizeof(face_event), FACE_CHANNELS};
const vxdb_kind kReportBackup = {"peoplecnt_auto_backup", (int)sizeof(peoplecnt_auto_backup),
                                 REPORT_BACKUP_ENTRIES};

int read_one(const char* db, const vxdb_kind& kind, int idx, void* out)
{
    if (idx < 0 || idx >= kind.count) {
        memset(out, 0, (size_t)kind.size);
        return -1;
    }
    return vxdb_read(db, kind, idx, out) < 0 ? -1 : 0;
}

int write_one(const char* db, const vxdb_kind& kind, int idx, const void* record)
{
    if (!record || idx < 0 || idx >= kind.count)
        return -1;
    return vxdb_write(db, kind, idx, record, kind.size);
}

int update_one(const char* db, const vxdb_kind& kind, int idx, bool (*change)(void*, void*), void* context)
{
    if (idx < 0 || idx >= kind.count)
        return -1;
    return vxdb_update(db, kind, idx, change, context);
}

int read_all(const char* db, const vxdb_kind& kind, void* out)
{
    return vxdb_read_table(db, kind, out, kind.count) < 0 ? -1 : 0;
}
}  // namespace

int read_peoplecnt_settings(const char* db, peoplecnt_settings out[PEOPLECNT_GROUPS])
{
    return read_all(db, kGroups, out);
}

int write_peoplecnt_settings(const char* db, const peoplecnt_settings groups[PEOPLECNT_GROUPS])
{
    return vxdb_write_range(db, kGroups, 0, groups, PEOPLECNT_GROUPS, (int)sizeof groups[0]);
}

namespace {
struct GroupChange {
    void (*change)(peoplecnt_settings*, int, void*);
    void* context;
};

void apply_group_change(void* record, int idx, void* context)
{
    GroupChange* c = (GroupChange*)context;
    c->change((peoplecnt_settings*)record, idx, c->context);
}

struct BackupChange {
    void (*change)(peoplecnt_auto_backup*, int, void*);
    void* context;
};

void apply_backup_change(void* record, int idx, void* context)
{
    BackupChange* c = (BackupChange*)context;
    c->change((peoplecnt_auto_backup*)record, idx, c->context);
}
}  // namespace

int update_peoplecnt_settings(const char* db, uint32_t mask,
                              void (*change)(peoplecnt_settings* group, int groupid, void* context), void* context)
{
    GroupChange c = {change, context};
    return vxdb_update_set(db, kGroups, mask & ((1u << PEOPLECNT_GROUPS) - 1), apply_group_change, &c);
}

int read_peoplecnt_event(const char* db, peoplecnt_event* out, int group)
{
    return read_one(db, kGroupEvents, group, out);
}

int write_peoplecnt_event(const char* db, const peoplecnt_event* record)
{
    return write_one(db, kGroupEvents, record ? record->id : -1, record);
}

int update_peoplecnt_event(const char* db, int group, bool (*change)(void* record, void* context), void* context)
{
    return update_one(db, kGroupEvents, group, change, context);
}

int read_pos_settings(const char* db, pos_setting out[POS_TERMINALS])
{
    return read_all(db, kPos, out);
}

int read_pos_setting(const char* db, pos_setting* out, int id)
{
    return read_one(db, kPos, id, out);
}

int write_pos_setting(const char* db, const pos_setting* record)
{
    return write_one(db, kPos, record ? record->id : -1, record);
}

int update_pos_setting(const char* db, int id, bool (*change)(void* record, void* context), void* context)
{
    return update_one(db, kPos, id, change, context);
}

int read_pos_event(const char* db, pos_event* out, int id)
{
    return read_one(db, kPosEvents, id, out);
}

int write_pos_event(const char* db, const pos_event* record)
{
    return write_one(db, kPosEvents, record ? record->id : -1, record);
}

int update_pos_event(const char* db, int id, bool (*change)(void* record, void* context), void* context)
{
    return update_one(db, kPosEvents, id, change, context);
}

int read_face_event(const char* db, face_event* out, int channel)
{
    return read_one(db, kFaceEvents, channel, out);
}

int write_face_event(const char* db, const face_event* record)
{
    return write_one(db, kFaceEvents, record ? record->id : -1, record);
}

int update_face_event(const char* db, int channel, bool (*change)(void* record, void* context), void* context)
{
    return update_one(db, kFaceEvents, channel, change, context);
}

int read_peoplecnt_auto_backup(const char* db, peoplecnt_auto_backup out[REPORT_BACKUP_ENTRIES])
{
    return read_all(db, kReportBackup, out);
}

int write_peoplecnt_auto_backup(const char* db, const peoplecnt_auto_backup entries[REPORT_BACKUP_ENTRIES])
{
    return vxdb_write_range(db, kReportBackup, 0, entries, REPORT_BACKUP_ENTRIES, (int)sizeof entries[0]);
}

int update_peoplecnt_auto_backup(const char* db, uint32_t mask,
                                 void (*change)(peoplecnt_auto_backup* entry, int index, void* context),
                                 void* context)
{
    BackupChange c = {change, context};
    return vxdb_update_set(db, kReportBackup, mask & ((1u << REPORT_BACKUP_ENTRIES) - 1), apply_backup_change, &c);
}
