// Licence-plate and snapshot records: the ANPR event and its schedules per
// channel and mode, the plate list of anpr.db, the snapshot schedule and
// settings of a channel.
#include <cstdlib>
#include <cstring>

#include "core/db.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {

const vxdb_kind kAnprEvent = {"anpr_event", (int)sizeof(anpr_event), ANPR_MODES * VIDEO_CHANNELS};
const vxdb_kind kAnprList = {"anpr_list", (int)sizeof(anpr_list), ANPR_LIST_CAPACITY};
const vxdb_kind kSnapshotSchedule = {"snapshot_schedule", (int)sizeof(snapshot_schedule), VIDEO_CHANNELS};
const vxdb_kind kSnapshot = {"snapshot", (int)sizeof(snapshot), VIDEO_CHANNELS};

// Records keyed by channel and mode live at (mode + 1) * 64 + channel; -1
// for a pair outside the table.
int anpr_index(int channel, int mode)
{
    if (channel < 0 || channel >= VIDEO_CHANNELS || mode < ANPR_MODE_GENERAL || mode > ANPR_MODE_VISITOR)
        return -1;
    return (mode + 1) * VIDEO_CHANNELS + channel;
}

vxdb_kind anpr_schedule_kind(const char* table)
{
    return {table, (int)sizeof(Schedule), ANPR_MODES * VIDEO_CHANNELS};
}

// A record of the channel and mode; zeros and -1 for a pair outside the table.
int read_by_mode(const char* db, const vxdb_kind& kind, void* out, int channel, int mode)
{
    const int idx = anpr_index(channel, mode);
    if (idx < 0) {
        memset(out, 0, (size_t)kind.size);
        return -1;
    }
    return vxdb_read(db, kind, idx, out) < 0 ? -1 : 0;
}

// The plate list in memory for one transaction, with a hash of the plates
// so that a request of 10000 plates against a full list stays linear.
// A slot keeps a row; a row whose plate changed meanwhile no longer matches
// and is passed over, so rows are never taken out of the hash.
enum { HASH_SLOTS = 65536 };  // above 3 x the list: every edit adds at most one slot

struct PlateTable {
    anpr_list* rows;
    uint8_t* marks;
    int16_t* slots;
    int free_hint;
};

uint32_t plate_hash(const char* plate)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < ANPR_PLATE_SIZE && plate[i]; i++)
        h = (h ^ (uint8_t)plate[i]) * 16777619u;
    return h;
}

bool same_plate(const anpr_list& row, const char* plate)
{
    return row.plate[0] && strncmp(row.plate, plate, ANPR_PLATE_SIZE) == 0;
}

void hash_add(PlateTable& t, int row)
{
    for (uint32_t s = plate_hash(t.rows[row].plate) % HASH_SLOTS;; s = (s + 1) % HASH_SLOTS) {
        if (t.slots[s] < 0 || t.slots[s] == row) {
            t.slots[s] = (int16_t)row;
            return;
        }
    }
}

int find_plate(const PlateTable& t, const char* plate)
{
    for (uint32_t s = plate_hash(plate) % HASH_SLOTS; t.slots[s] >= 0; s = (s + 1) % HASH_SLOTS)
        if (same_plate(t.rows[t.slots[s]], plate))
            return t.slots[s];
    return -1;
}

void remove_plate(PlateTable& t, const char* plate)
{
    const int row = find_plate(t, plate);
    if (row < 0)
        return;
    memset(&t.rows[row], 0, sizeof t.rows[row]);
    t.marks[row] = VXDB_ROW_DELETE;
}

// Adds a plate or gives a listed one the new type: 0 stored, 1 no room.
int put_plate(PlateTable& t, const anpr_list& entry)
{
    int row = find_plate(t, entry.plate);
    if (row < 0) {
        while (t.free_hint < ANPR_LIST_CAPACITY && t.rows[t.free_hint].plate[0])
            t.free_hint++;
        if (t.free_hint >= ANPR_LIST_CAPACITY)
            return 1;
        row = t.free_hint;
    }
    t.rows[row] = entry;
    t.marks[row] = VXDB_ROW_WRITE;
    hash_add(t, row);
    return 0;
}

enum class ListEdit { REPLACE, DELETE, ADD_NEW, UPDATE_LISTED, CHANGE };

struct ListChange {
    ListEdit edit;
    const anpr_list* entries;
    const char (*plates)[ANPR_PLATE_SIZE];
    const anpr_plate_change* changes;
    int count;
};

int apply_list_change(void* table, uint8_t* marks, void* context)
{
    ListChange* c = (ListChange*)context;
    PlateTable t = {(anpr_list*)table, marks, (int16_t*)malloc(HASH_SLOTS * sizeof(int16_t)), 0};
    if (!t.slots)
        return -2;
    memset(t.slots, 0xff, HASH_SLOTS * sizeof(int16_t));
    for (int row = 0; row < ANPR_LIST_CAPACITY; row++) {
        // A stored row without its NUL is cut like any other text.
        t.rows[row].type[ANPR_LIST_TYPE_SIZE - 1] = '\0';
        t.rows[row].plate[ANPR_PLATE_SIZE - 1] = '\0';
        if (t.rows[row].plate[0])
            hash_add(t, row);
    }
    int result = 0;
    for (int i = 0; i < c->count; i++) {
        switch (c->edit) {
        case ListEdit::REPLACE:
            if (c->entries[i].plate[0] && put_plate(t, c->entries[i]) == 0)
                result++;
            break;
        case ListEdit::DELETE:
            remove_plate(t, c->plates[i]);
            break;
        case ListEdit::ADD_NEW:
            result = find_plate(t, c->entries[i].plate) >= 0 ? 1 : put_plate(t, c->entries[i]);
            break;
        case ListEdit::UPDATE_LISTED:
            result = find_plate(t, c->entries[i].plate) < 0 ? 1 : put_plate(t, c->entries[i]);
            break;
        case ListEdit::CHANGE:
            remove_plate(t, c->changes[i].old_plate);
            if (c->changes[i].entry.plate[0] && put_plate(t, c->changes[i].entry) == 0)
                result++;
            break;
        }
    }
    free(t.slots);
    return result;
}

int change_list(const char* db, ListChange* c)
{
    if (c->count < 0 || c->count > ANPR_LIST_CAPACITY)
        return -1;
    anpr_list* table = (anpr_list*)malloc(sizeof(anpr_list) * ANPR_LIST_CAPACITY);
    uint8_t* marks = (uint8_t*)malloc(ANPR_LIST_CAPACITY);
    int rc = -1;
    if (table && marks)
        rc = vxdb_update_rows(db, kAnprList, table, marks, ANPR_LIST_CAPACITY, apply_list_change, c);
    free(table);
    free(marks);
    return rc < 0 ? -1 : rc;
}

// The whole list, 10000 rows from the heap (free()), or null when it cannot
// be read.
anpr_list* read_list_table(const char* db)
{
    anpr_list* table = (anpr_list*)malloc(sizeof(anpr_list) * ANPR_LIST_CAPACITY);
    if (table && vxdb_read_table(db, kAnprList, table, ANPR_LIST_CAPACITY) < 0) {
        free(table);
        return nullptr;
    }
    return table;
}

anpr_list list_entry(const char* plate)
{
    anpr_list entry;
    memset(&entry, 0, sizeof entry);
    wire_text(entry.plate, plate);
    return entry;
}

void set_snapshot_schedule(void* record, int idx, void* context)
{
    snapshot_schedule* r = (snapshot_schedule*)record;
    r->channel = idx;
    memcpy(&r->schedule, context, sizeof r->schedule);
}

void set_snapshot(void* record, int idx, void* context)
{
    memcpy(record, context, sizeof(snapshot));
    ((snapshot*)record)->channel = idx;
}

}  // namespace

int read_anpr_event(const char* db, anpr_event* out, int channel, int mode)
{
    return read_by_mode(db, kAnprEvent, out, channel, mode);
}

int write_anpr_event(const char* db, const anpr_event* record)
{
    const int idx = record ? anpr_index(record->id, record->mode) : -1;
    return idx < 0 ? -1 : vxdb_write(db, kAnprEvent, idx, record, (int)sizeof *record);
}

int update_anpr_event(const char* db, int channel, int mode, bool (*change)(anpr_event*, void*), void* context)
{
    const int idx = anpr_index(channel, mode);
    if (idx < 0 || !change)
        return -1;
    return vxdb_update(db, kAnprEvent, idx, change, context);
}

int read_anpr_schedule(const char* db, const char* table, Schedule* out, int channel, int mode)
{
    return read_by_mode(db, anpr_schedule_kind(table), out, channel, mode);
}

int write_anpr_schedule(const char* db, const char* table, const Schedule* schedule, int channel, int mode)
{
    const int idx = anpr_index(channel, mode);
    return idx < 0 || !schedule ? -1 : vxdb_write(db, anpr_schedule_kind(table), idx, schedule, (int)sizeof *schedule);
}

int write_anpr_list_replace_batch(const char* db, const anpr_list* entries, int count)
{
    ListChange c = {ListEdit::REPLACE, entries, nullptr, nullptr, count};
    return entries ? change_list(db, &c) : -1;
}

int delete_anpr_lists(const char* db, const char (*plates)[ANPR_PLATE_SIZE], int count)
{
    ListChange c = {ListEdit::DELETE, nullptr, plates, nullptr, count};
    return plates && change_list(db, &c) >= 0 ? 0 : -1;
}

int delete_anpr_list(const char* db, const char* plate)
{
    const anpr_list entry = list_entry(plate);
    return delete_anpr_lists(db, &entry.plate, 1);
}

int write_anpr_list(const char* db, const anpr_list* entry)
{
    ListChange c = {ListEdit::ADD_NEW, entry, nullptr, nullptr, 1};
    return entry && entry->plate[0] ? change_list(db, &c) : -1;
}

int update_anpr_list(const char* db, const anpr_list* entry)
{
    ListChange c = {ListEdit::UPDATE_LISTED, entry, nullptr, nullptr, 1};
    return entry && entry->plate[0] ? change_list(db, &c) : -1;
}

int update_anpr_list_batch(const char* db, const anpr_plate_change* changes, int count)
{
    ListChange c = {ListEdit::CHANGE, nullptr, nullptr, changes, count};
    return changes ? change_list(db, &c) : -1;
}

int read_anpr_list_plate(const char* db, const char* plate, anpr_list* out)
{
    memset(out, 0, sizeof *out);
    if (!plate || !plate[0])
        return 1;
    anpr_list* table = read_list_table(db);
    if (!table)
        return -1;
    int rc = 1;
    for (int row = 0; row < ANPR_LIST_CAPACITY && rc == 1; row++) {
        table[row].plate[ANPR_PLATE_SIZE - 1] = '\0';
        table[row].type[ANPR_LIST_TYPE_SIZE - 1] = '\0';
        if (same_plate(table[row], plate)) {
            *out = table[row];
            rc = 0;
        }
    }
    free(table);
    return rc;
}

int read_anpr_list_count(const char* db)
{
    anpr_list* table = read_list_table(db);
    if (!table)
        return -1;
    int n = 0;
    for (int row = 0; row < ANPR_LIST_CAPACITY; row++)
        n += table[row].plate[0] != '\0';
    free(table);
    return n;
}

int read_snapshot_schedule(const char* db, snapshot_schedule* out, int channel)
{
    return vxdb_read(db, kSnapshotSchedule, channel, out) < 0 ? -1 : 0;
}

int write_snapshot_schedules(const char* db, const Schedule* schedule, uint64_t channels)
{
    return schedule ? vxdb_update_set(db, kSnapshotSchedule, channels, set_snapshot_schedule, (void*)schedule) : -1;
}

int read_snapshot(const char* db, snapshot* out, int channel)
{
    return vxdb_read(db, kSnapshot, channel, out) < 0 ? -1 : 0;
}

int copy_snapshots(const char* db, const snapshot* record, uint64_t channels)
{
    return record ? vxdb_update_set(db, kSnapshot, channels, set_snapshot, (void*)record) : -1;
}
