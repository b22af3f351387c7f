// Server-side web sessions and the login lockout, in tables of their own in
// the configuration database so that every CGI process sees the same state.
// Only a hash of a session id is stored: a copy of the database does not
// hand out live sessions.
#pragma once
#include <ctime>

enum {
    WEB_SESSION_USER_SIZE = 64,
    LOGIN_FAILURE_LIMIT = 5,        // failures within the window lock
    LOGIN_FAILURE_WINDOW = 10 * 60,  // seconds
    LOGIN_LOCK_SECONDS = 10 * 60,
};

struct WebSession {
    char user[WEB_SESSION_USER_SIZE];
    int level;
};

// The clock of sessions and lockouts: the system time, moved by
// NVRWEB_CLOCK_OFFSET seconds when tests set it.
time_t websession_now();

// Stores a new session under the id the login handed out. 0 on success.
int websession_open(const char* db, const char* id, const char* user, int level, const char* addr);
// 1 and the session when `id` names one used within idle_seconds (its last
// use is refreshed), 0 when not, -1 on a database failure.
int websession_check(const char* db, const char* id, int idle_seconds, WebSession* out);
int websession_end(const char* db, const char* id);
int websession_end_user(const char* db, const char* user);

// Whether logins of `user` or from `addr` are locked now. `log_now` becomes
// true for the first refused attempt of a lock, so the lock is logged once.
bool login_locked(const char* db, const char* user, const char* addr, bool* log_now);
void login_failed(const char* db, const char* user, const char* addr);
void login_succeeded(const char* db, const char* user, const char* addr);
