// SQLite-backed configuration database: one cached connection per file, WAL
// and a busy timeout so that CGI processes and the core service share it.
#include "platform/vxdb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>

#include "platform/devpath.h"

namespace {

struct Connection {
    std::string path;
    sqlite3* db = nullptr;
};

Connection g_connections[4];

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS params (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS records (kind TEXT NOT NULL, idx INTEGER NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY (kind, idx));";

// WAL lets CGI processes and the core service read while one writes; the
// mode stays in the file, so only a new file needs it.
bool init_file(sqlite3* db)
{
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    return sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3* open_db(const char* device_db)
{
    if (!device_db)
        return nullptr;
    std::string path = device_path(device_db);
    for (Connection& c : g_connections)
        if (c.db && c.path == path)
            return c.db;
    struct stat st;
    const bool fresh = stat(path.c_str(), &st) != 0 || st.st_size == 0;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_busy_timeout(db, 10000) != SQLITE_OK || (fresh && !init_file(db))) {
        sqlite3_close(db);
        return nullptr;
    }
    for (Connection& c : g_connections) {
        if (!c.db) {
            c.path = path;
            c.db = db;
            return db;
        }
    }
    // More files than slots: reuse the first slot.
    sqlite3_close(g_connections[0].db);
    g_connections[0].path = path;
    g_connections[0].db = db;
    return db;
}

// A prepared statement that finalizes itself.
struct Stmt {
    sqlite3_stmt* s = nullptr;
    Stmt(sqlite3* db, const char* sql)
    {
        if (!db)
            return;
        // A file that another program left without our tables gets them now.
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK &&
            (!init_file(db) || sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK))
            s = nullptr;
    }
    ~Stmt() { sqlite3_finalize(s); }
    explicit operator bool() const { return s != nullptr; }
};

bool kind_ok(const vxdb_kind& kind)
{
    return kind.name && kind.size > 0 && kind.count > 0;
}

// Runs a write statement; 0 on success.
int step_done(Stmt& st)
{
    return st && sqlite3_step(st.s) == SQLITE_DONE ? 0 : -1;
}

// A kind and an index as the statement's first two parameters; false for a
// statement that did not prepare.
bool bind_kind_index(Stmt& st, const vxdb_kind& kind, int idx)
{
    if (!st)
        return false;
    sqlite3_bind_text(st.s, 1, kind.name, -1, SQLITE_STATIC);
    sqlite3_bind_int(st.s, 2, idx);
    return true;
}

int delete_row(sqlite3* db, const vxdb_kind& kind, int idx)
{
    Stmt st(db, "DELETE FROM records WHERE kind = ? AND idx = ?");
    bind_kind_index(st, kind, idx);
    return step_done(st);
}

}  // namespace

sqlite3* vxdb_connection(const char* device_db)
{
    return open_db(device_db);
}

namespace {

int put_param(const char* device_db, const char* key, const char* value)
{
    if (!key || !value)
        return -1;
    Stmt st(open_db(device_db), "INSERT OR REPLACE INTO params (key, value) VALUES (?, ?)");
    if (!st)
        return -1;
    sqlite3_bind_text(st.s, 1, key, -1, SQLITE_STATIC);
    sqlite3_bind_text(st.s, 2, value, -1, SQLITE_STATIC);
    return step_done(st);
}

// The stored text of a key into out; false when absent.
bool fetch_param(const char* device_db, const char* key, std::string* out)
{
    if (!key)
        return false;
    Stmt st(open_db(device_db), "SELECT value FROM params WHERE key = ?");
    if (!st)
        return false;
    sqlite3_bind_text(st.s, 1, key, -1, SQLITE_STATIC);
    if (sqlite3_step(st.s) != SQLITE_ROW)
        return false;
    const unsigned char* text = sqlite3_column_text(st.s, 0);
    out->assign(text ? (const char*)text : "");
    return true;
}

int write_one(sqlite3* db, const vxdb_kind& kind, int idx, const void* data)
{
    Stmt st(db, "INSERT OR REPLACE INTO records (kind, idx, data) VALUES (?, ?, ?)");
    if (!bind_kind_index(st, kind, idx))
        return -1;
    sqlite3_bind_blob(st.s, 3, data, kind.size, SQLITE_STATIC);
    return step_done(st);
}

bool begin(sqlite3* db)
{
    // IMMEDIATE takes the write lock at once, so the busy timeout applies.
    return sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

int finish(sqlite3* db, bool ok)
{
    if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return 0;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return -1;
}

}  // namespace

int get_param_int(const char* db, const char* key, int default_value)
{
    std::string text;
    if (!fetch_param(db, key, &text))
        return default_value;
    char* end = nullptr;
    long v = strtol(text.c_str(), &end, 10);
    return end == text.c_str() ? default_value : (int)v;
}

int get_param_value(const char* db, const char* key, char* out, int size, const char* default_value)
{
    if (!out || size <= 0)
        return -1;
    std::string text;
    bool found = fetch_param(db, key, &text);
    snprintf(out, (size_t)size, "%s", found ? text.c_str() : (default_value ? default_value : ""));
    return found ? 0 : -1;
}

int set_param_int(const char* db, const char* key, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return put_param(db, key, text);
}

int set_param_value(const char* db, const char* key, const char* value)
{
    return put_param(db, key, value);
}

int check_param_key(const char* db, const char* key)
{
    std::string text;
    return fetch_param(db, key, &text) ? 0 : 1;
}

int add_param_value(const char* db, const char* key, const char* value)
{
    return put_param(db, key, value);
}

int vxdb_read(const char* device_db, const vxdb_kind& kind, int idx, void* out)
{
    if (!out)
        return -1;
    if (kind.size > 0)
        memset(out, 0, (size_t)kind.size);
    if (!kind_ok(kind) || idx < 0 || idx >= kind.count)
        return -1;
    Stmt st(open_db(device_db), "SELECT data FROM records WHERE kind = ? AND idx = ?");
    if (!bind_kind_index(st, kind, idx))
        return -1;
    if (sqlite3_step(st.s) != SQLITE_ROW)
        return 1;
    // A blob of another size is not this record: zeros, and an error.
    if (sqlite3_column_bytes(st.s, 0) != kind.size)
        return -1;
    memcpy(out, sqlite3_column_blob(st.s, 0), (size_t)kind.size);
    return 0;
}

int vxdb_read_table(const char* device_db, const vxdb_kind& kind, void* array, int capacity)
{
    if (!array || !kind_ok(kind) || capacity <= 0)
        return -1;
    int slots = capacity < kind.count ? capacity : kind.count;
    memset(array, 0, (size_t)slots * (size_t)kind.size);
    Stmt st(open_db(device_db), "SELECT idx, data FROM records WHERE kind = ? AND idx >= 0 AND idx < ?");
    if (!bind_kind_index(st, kind, slots))
        return -1;
    int found = 0;
    while (sqlite3_step(st.s) == SQLITE_ROW) {
        int idx = sqlite3_column_int(st.s, 0);
        if (sqlite3_column_bytes(st.s, 1) != kind.size)
            continue;
        memcpy((char*)array + (size_t)idx * (size_t)kind.size, sqlite3_column_blob(st.s, 1),
               (size_t)kind.size);
        found++;
    }
    return found;
}

int vxdb_write(const char* device_db, const vxdb_kind& kind, int idx, const void* data, int size)
{
    if (!data || !kind_ok(kind) || size != kind.size || idx < 0 || idx >= kind.count)
        return -1;
    return write_one(open_db(device_db), kind, idx, data);
}

int vxdb_write_range(const char* device_db, const vxdb_kind& kind, int first, const void* array,
                     int n, int size)
{
    if (!array || !kind_ok(kind) || size != kind.size || first < 0 || n <= 0 ||
        n > kind.count - first)
        return -1;
    sqlite3* db = open_db(device_db);
    if (!db || !begin(db))
        return -1;
    bool ok = true;
    for (int i = 0; i < n && ok; i++)
        ok = write_one(db, kind, first + i, (const char*)array + (size_t)i * (size_t)size) == 0;
    return finish(db, ok);
}

int vxdb_replace_table(const char* device_db, const vxdb_kind& kind, const void* array, int n, int size)
{
    if ((!array && n > 0) || !kind_ok(kind) || size != kind.size || n < 0 || n > kind.count)
        return -1;
    sqlite3* db = open_db(device_db);
    if (!db || !begin(db))
        return -1;
    bool ok;
    {
        Stmt st(db, "DELETE FROM records WHERE kind = ?");
        if (st)
            sqlite3_bind_text(st.s, 1, kind.name, -1, SQLITE_STATIC);
        ok = step_done(st) == 0;
    }
    for (int i = 0; i < n && ok; i++)
        ok = write_one(db, kind, i, (const char*)array + (size_t)i * (size_t)size) == 0;
    return finish(db, ok);
}

int vxdb_copy(const char* device_db, const vxdb_kind& kind, int source, uint64_t mask,
              int channel_offset)
{
    if (!kind_ok(kind) || source < 0 || source >= kind.count ||
        (channel_offset >= 0 && channel_offset + 4 > kind.size))
        return -1;
    std::string record((size_t)kind.size, '\0');
    if (vxdb_read(device_db, kind, source, &record[0]) < 0)
        return -1;
    sqlite3* db = open_db(device_db);
    if (!db || !begin(db))
        return -1;
    bool ok = true;
    for (int idx = 0; idx < 64 && idx < kind.count && ok; idx++) {
        if (!(mask & (1ULL << idx)))
            continue;
        if (channel_offset >= 0) {
            int32_t channel = idx;
            memcpy(&record[(size_t)channel_offset], &channel, 4);
        }
        ok = write_one(db, kind, idx, record.data()) == 0;
    }
    return finish(db, ok);
}

namespace {
struct OneRowChange {
    int (*change)(void* table, void* context);
    void* context;
    int slots;
};
// A table change that names its one changed row, as a row marking.
int mark_changed_row(void* table, uint8_t* rows, void* context)
{
    const OneRowChange* c = (const OneRowChange*)context;
    const int idx = c->change(table, c->context);
    if (idx < 0 || idx >= c->slots)
        return idx <= -2 ? idx : -1;
    rows[idx] = VXDB_ROW_WRITE;
    return idx;
}
}  // namespace

int vxdb_update_table(const char* device_db, const vxdb_kind& kind, void* table, int capacity,
                      int (*change)(void* table, void* context), void* context)
{
    if (!table || !change || !kind_ok(kind) || capacity <= 0)
        return -1;
    OneRowChange c = {change, context, capacity < kind.count ? capacity : kind.count};
    std::string rows((size_t)capacity, '\0');
    return vxdb_update_rows(device_db, kind, table, (uint8_t*)&rows[0], capacity, mark_changed_row, &c);
}

int vxdb_update(const char* device_db, const vxdb_kind& kind, int idx, bool (*change)(void* record, void* context),
                void* context)
{
    if (!change || !kind_ok(kind) || idx < 0 || idx >= kind.count)
        return -1;
    sqlite3* db = open_db(device_db);
    if (!db || !begin(db))
        return -1;
    std::string record((size_t)kind.size, '\0');
    if (vxdb_read(device_db, kind, idx, &record[0]) < 0) {
        finish(db, false);
        return -1;
    }
    if (!change(&record[0], context)) {
        finish(db, false);
        return 1;
    }
    bool ok = write_one(db, kind, idx, record.data()) == 0;
    return finish(db, ok);
}

int vxdb_update_set(const char* device_db, const vxdb_kind& kind, uint64_t mask,
                    void (*change)(void* record, int idx, void* context), void* context)
{
    if (!change || !kind_ok(kind))
        return -1;
    sqlite3* db = open_db(device_db);
    if (!db || !begin(db))
        return -1;
    std::string record((size_t)kind.size, '\0');
    bool ok = true;
    for (int idx = 0; idx < 64 && idx < kind.count && ok; idx++) {
        if (!(mask & (1ULL << idx)))
            continue;
        ok = vxdb_read(device_db, kind, idx, &record[0]) >= 0;
        if (ok) {
            change(&record[0], idx, context);
            ok = write_one(db, kind, idx, record.data()) == 0;
        }
    }
    return finish(db, ok);
}

int vxdb_update_rows(const char* device_db, const vxdb_kind& kind, void* table, uint8_t* rows, int capacity,
                     int (*change)(void* table, uint8_t* rows, void* context), void* context)
{
    if (!table || !rows || !change || !kind_ok(kind) || capacity <= 0)
        return -1;
    sqlite3* db = open_db(device_db);
    if (!db || !begin(db))
        return -1;
    if (vxdb_read_table(device_db, kind, table, capacity) < 0) {
        finish(db, false);
        return -1;
    }
    const int slots = capacity < kind.count ? capacity : kind.count;
    memset(rows, 0, (size_t)capacity);
    const int result = change(table, rows, context);
    if (result < 0) {
        finish(db, false);
        return result <= -2 ? result : -1;
    }
    bool ok = true;
    for (int idx = 0; idx < slots && ok; idx++) {
        if (rows[idx] == VXDB_ROW_WRITE) {
            ok = write_one(db, kind, idx, (const char*)table + (size_t)idx * (size_t)kind.size) == 0;
        } else if (rows[idx] == VXDB_ROW_DELETE) {
            ok = delete_row(db, kind, idx) == 0;
        }
    }
    return finish(db, ok) == 0 ? result : -1;
}

int vxdb_delete(const char* device_db, const vxdb_kind& kind, int idx)
{
    if (!kind_ok(kind))
        return -1;
    return delete_row(open_db(device_db), kind, idx);
}

int vxdb_dump(const char* device_db, void (*param)(const char*, const char*, void*),
              void (*record)(const char*, int, int, void*), void* ctx)
{
    sqlite3* db = open_db(device_db);
    if (!db)
        return -1;
    Stmt p(db, "SELECT key, value FROM params ORDER BY key");
    while (p && param && sqlite3_step(p.s) == SQLITE_ROW)
        param((const char*)sqlite3_column_text(p.s, 0), (const char*)sqlite3_column_text(p.s, 1), ctx);
    Stmt r(db, "SELECT kind, idx, length(data) FROM records ORDER BY kind, idx");
    while (r && record && sqlite3_step(r.s) == SQLITE_ROW)
        record((const char*)sqlite3_column_text(r.s, 0), sqlite3_column_int(r.s, 1),
               sqlite3_column_int(r.s, 2), ctx);
    return 0;
}

void vxdb_close_all()
{
    for (Connection& c : g_connections) {
        if (c.db)
            sqlite3_close(c.db);
        c.db = nullptr;
        c.path.clear();
    }
}
