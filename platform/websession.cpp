#include "platform/websession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

#include "platform/sha256.h"
#include "platform/vxdb.h"

namespace {

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS web_sessions (id_hash TEXT PRIMARY KEY, user TEXT NOT NULL,"
    " level INTEGER NOT NULL, addr TEXT NOT NULL, issued INTEGER NOT NULL, last_use INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS web_login_failures (key TEXT PRIMARY KEY, count INTEGER NOT NULL,"
    " first INTEGER NOT NULL, locked_until INTEGER NOT NULL, logged INTEGER NOT NULL);";

enum {
    SESSION_KEEP_SECONDS = 24 * 60 * 60,  // idle sessions older than this are swept
    SESSION_MAX_ROWS = 256,
    REFRESH_SECONDS = 30,  // a use within this of the last one is not written
};

// A statement on the database's connection; the tables are made on first use.
struct Query {
    sqlite3_stmt* s = nullptr;
    Query(const char* db, const char* sql)
    {
        sqlite3* c = vxdb_connection(db);
        if (!c)
            return;
        if (sqlite3_prepare_v2(c, sql, -1, &s, nullptr) != SQLITE_OK &&
            (sqlite3_exec(c, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
             sqlite3_prepare_v2(c, sql, -1, &s, nullptr) != SQLITE_OK))
            s = nullptr;
    }
    ~Query() { sqlite3_finalize(s); }
    Query& text(int i, const char* v)
    {
        if (s)
            sqlite3_bind_text(s, i, v ? v : "", -1, SQLITE_TRANSIENT);
        return *this;
    }
    Query& num(int i, long long v)
    {
        if (s)
            sqlite3_bind_int64(s, i, v);
        return *this;
    }
    int step() { return s ? sqlite3_step(s) : SQLITE_ERROR; }
    bool run() { return step() == SQLITE_DONE; }
};

void hash_id(const char* id, char out[65])
{
    sha256_hex(id, strlen(id), out);
}

// The two lockout keys of an attempt: the name and the address.
void failure_keys(const char* user, const char* addr, char (&by_user)[80], char (&by_addr)[80])
{
    snprintf(by_user, sizeof by_user, "user:%.63s", user ? user : "");
    snprintf(by_addr, sizeof by_addr, "addr:%.63s", addr ? addr : "");
}

}  // namespace

time_t websession_now()
{
    const char* offset = getenv("NVRWEB_CLOCK_OFFSET");
    return time(nullptr) + (offset ? (time_t)strtol(offset, nullptr, 10) : 0);
}

int websession_open(const char* db, const char* id, const char* user, int level, const char* addr)
{
    if (!id || !id[0])
        return -1;
    char hash[65];
    hash_id(id, hash);
    const time_t now = websession_now();
    Query(db, "DELETE FROM web_sessions WHERE last_use < ?").num(1, (long long)(now - SESSION_KEEP_SECONDS)).run();
    Query(db, "DELETE FROM web_sessions WHERE id_hash NOT IN"
              " (SELECT id_hash FROM web_sessions ORDER BY last_use DESC LIMIT ?)")
        .num(1, SESSION_MAX_ROWS - 1)
        .run();
    Query q(db, "INSERT OR REPLACE INTO web_sessions VALUES (?, ?, ?, ?, ?, ?)");
    q.text(1, hash).text(2, user).num(3, level).text(4, addr).num(5, now).num(6, now);
    return q.run() ? 0 : -1;
}

int websession_check(const char* db, const char* id, int idle_seconds, WebSession* out)
{
    if (!id || !id[0] || !out)
        return 0;
    char hash[65];
    hash_id(id, hash);
    const time_t now = websession_now();
    Query q(db, "SELECT user, level, last_use FROM web_sessions WHERE id_hash = ?");
    q.text(1, hash);
    const int rc = q.step();
    if (rc == SQLITE_DONE)
        return 0;
    if (rc != SQLITE_ROW)
        return -1;
    const long long last = sqlite3_column_int64(q.s, 2);
    if (now - last > idle_seconds || now < last - REFRESH_SECONDS) {
        websession_end(db, id);
        return 0;
    }
    const char* user = (const char*)sqlite3_column_text(q.s, 0);
    snprintf(out->user, sizeof out->user, "%s", user ? user : "");
    out->level = sqlite3_column_int(q.s, 1);
    // Every request would otherwise be a write.
    if (now - last >= REFRESH_SECONDS)
        Query(db, "UPDATE web_sessions SET last_use = ? WHERE id_hash = ?").num(1, now).text(2, hash).run();
    return 1;
}

int websession_end(const char* db, const char* id)
{
    if (!id || !id[0])
        return 0;
    char hash[65];
    hash_id(id, hash);
    return Query(db, "DELETE FROM web_sessions WHERE id_hash = ?").text(1, hash).run() ? 0 : -1;
}

int websession_end_user(const char* db, const char* user)
{
    return Query(db, "DELETE FROM web_sessions WHERE user = ?").text(1, user).run() ? 0 : -1;
}

bool login_locked(const char* db, const char* user, const char* addr, bool* log_now)
{
    char keys[2][80];
    failure_keys(user, addr, keys[0], keys[1]);
    const time_t now = websession_now();
    bool locked = false;
    if (log_now)
        *log_now = false;
    for (const char* key : keys) {
        Query q(db, "SELECT locked_until, logged FROM web_login_failures WHERE key = ?");
        q.text(1, key);
        if (q.step() != SQLITE_ROW || sqlite3_column_int64(q.s, 0) <= now)
            continue;
        locked = true;
        if (sqlite3_column_int(q.s, 1) == 0) {
            Query(db, "UPDATE web_login_failures SET logged = 1 WHERE key = ?").text(1, key).run();
            if (log_now)
                *log_now = true;
        }
    }
    return locked;
}

void login_failed(const char* db, const char* user, const char* addr)
{
    char keys[2][80];
    failure_keys(user, addr, keys[0], keys[1]);
    const long long now = websession_now();
    for (const char* key : keys) {
        // One statement, so two processes failing at once both count.
        Query(db, "INSERT INTO web_login_failures VALUES (?1, 1, ?2, 0, 0) ON CONFLICT(key) DO UPDATE SET"
                  " count = CASE WHEN first < ?2 - ?3 THEN 1 ELSE count + 1 END,"
                  " first = CASE WHEN first < ?2 - ?3 THEN ?2 ELSE first END,"
                  " logged = CASE WHEN locked_until > ?2 THEN logged ELSE 0 END")
            .text(1, key)
            .num(2, now)
            .num(3, LOGIN_FAILURE_WINDOW)
            .run();
        Query(db, "UPDATE web_login_failures SET locked_until = ?2 + ?3, count = 0"
                  " WHERE key = ?1 AND count >= ?4")
            .text(1, key)
            .num(2, now)
            .num(3, LOGIN_LOCK_SECONDS)
            .num(4, LOGIN_FAILURE_LIMIT)
            .run();
    }
}

void login_succeeded(const char* db, const char* user, const char* addr)
{
    char keys[2][80];
    failure_keys(user, addr, keys[0], keys[1]);
    for (const char* key : keys)
        Query(db, "DELETE FROM web_login_failures WHERE key = ? AND locked_until <= ?")
            .text(1, key)
            .num(2, (long long)websession_now())
            .run();
}
