// Configuration database stand-in on SQLite. One file per database path:
//   params  (key TEXT PRIMARY KEY, value TEXT NOT NULL)         ints as decimal text
//   records (kind TEXT, idx INTEGER, data BLOB, PRIMARY KEY (kind, idx))
// A record is stored with exactly its wire layout. Every call is atomic.
#pragma once
#include <cstddef>
#include <cstdint>

// Device database files.
#define VXDB_MAIN "/mnt/nand/app/vxdb.db"
#define VXDB_ANPR "/mnt/nand/app/anpr.db"
#define VXDB_OEM "/mnt/nand2/oem.db"

struct sqlite3;
// The cached connection of a database file, for the few tables of their own
// that sit beside params and records (the web sessions). Null on failure.
sqlite3* vxdb_connection(const char* db);

// Key-value parameters. `db` is a device path; it is mapped under NVRWEB_ROOT.
int get_param_int(const char* db, const char* key, int default_value);
int get_param_value(const char* db, const char* key, char* out, int size, const char* default_value);
int set_param_int(const char* db, const char* key, int value);
int set_param_value(const char* db, const char* key, const char* value);
// Non-zero when the key is absent.
int check_param_key(const char* db, const char* key);
int add_param_value(const char* db, const char* key, const char* value);

// A kind of settings record: its name in the records table, its size in
// bytes and how many indexes it has (0 .. count-1).
struct vxdb_kind {
    const char* name;
    int size;
    int count;
};

// Reads one record into out (kind.size bytes). A missing record reads as
// zeros and gives 1; 0 when found; -1 (out zeroed) on a bad kind or index, a
// stored blob of another size, or a database error.
int vxdb_read(const char* db, const vxdb_kind& kind, int idx, void* out);
// Reads the whole table: slot i of `array` (capacity slots) is record i,
// missing ones zero. Returns the number of stored records, -1 on error.
int vxdb_read_table(const char* db, const vxdb_kind& kind, void* array, int capacity);
// Writes one record of exactly kind.size bytes; 0 on success.
int vxdb_write(const char* db, const vxdb_kind& kind, int idx, const void* data, int size);
// Writes records [first, first + n) from `array` in one transaction.
int vxdb_write_range(const char* db, const vxdb_kind& kind, int first, const void* array, int n,
                     int size);
// Copies record `source` to every index whose bit is set in `mask` (indexes
// below 64 and below kind.count). When channel_offset is 0 or more, the
// int32 at that offset of each copy is set to the target index.
// Replaces the whole kind with records [0, n) from `array` (n may be 0) in
// one transaction: a list that shrinks leaves no old rows behind.
int vxdb_replace_table(const char* db, const vxdb_kind& kind, const void* array, int n, int size);
int vxdb_copy(const char* db, const vxdb_kind& kind, int source, uint64_t mask, int channel_offset);
int vxdb_delete(const char* db, const vxdb_kind& kind, int idx);

// Read-modify-write inside one immediate transaction, so that a change made
// by another process meanwhile is neither lost nor overwritten, and a rule
// over the whole table (a unique name, a free slot) holds when it is written.
// `change` gets the table (capacity slots, missing ones zero) and returns the
// index of the one record it changed, to be written back, or a code of -2 or
// below to write nothing. Returns that index or code, or -1 when the database
// failed (nothing written).
int vxdb_update_table(const char* db, const vxdb_kind& kind, void* table, int capacity,
                      int (*change)(void* table, void* context), void* context);
// The same for one record: `change` returns false to write nothing.
// 0 written, 1 refused, -1 database failure.
int vxdb_update(const char* db, const vxdb_kind& kind, int idx, bool (*change)(void* record, void* context),
                void* context);
// vxdb_update with a change that takes the record's own type.
template <typename Record>
struct VxdbTypedChange {
    bool (*change)(Record*, void*);
    void* context;
    static bool apply(void* record, void* self)
    {
        VxdbTypedChange* c = (VxdbTypedChange*)self;
        return c->change((Record*)record, c->context);
    }
};
template <typename Record>
int vxdb_update(const char* db, const vxdb_kind& kind, int idx, bool (*change)(Record*, void*), void* context)
{
    VxdbTypedChange<Record> c = {change, context};
    return vxdb_update(db, kind, idx, VxdbTypedChange<Record>::apply, &c);
}
// The same for every index whose bit is set in `mask` (indexes below 64 and
// below kind.count), all in one transaction: `change` gets each record
// (missing ones zero) and its index. 0 written, -1 database failure (nothing
// written).
int vxdb_update_set(const char* db, const vxdb_kind& kind, uint64_t mask,
                    void (*change)(void* record, int idx, void* context), void* context);

// The same for a change of many records of a table (a list kept one entry
// per index): `change` gets the table and `rows` (capacity bytes, zeroed)
// and marks each index to write (VXDB_ROW_WRITE) or delete
// (VXDB_ROW_DELETE); it returns 0 or more to store them, or -2 or below to
// store nothing. Returns that value, or -1 when the database failed
// (nothing stored).
enum { VXDB_ROW_KEEP = 0, VXDB_ROW_WRITE = 1, VXDB_ROW_DELETE = 2 };
int vxdb_update_rows(const char* db, const vxdb_kind& kind, void* table, uint8_t* rows, int capacity,
                     int (*change)(void* table, uint8_t* rows, void* context), void* context);

// For tools: walks all parameters and records. The callbacks get the rows.
int vxdb_dump(const char* db, void (*param)(const char* key, const char* value, void* ctx),
              void (*record)(const char* kind, int idx, int size, void* ctx), void* ctx);

// Closes the cached connections (tests; the process end does it otherwise).
void vxdb_close_all();
