// User records in the configuration database and the factory user file.
#include <cstdlib>
#include <cstring>

#include "core/channels.h"
#include "modules/system/system_user.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kUser = {"user", (int)sizeof(UserRecord), USER_MAX};
const vxdb_kind kOemUser = {"oem_user", (int)sizeof(OemUserRecord), OEM_USER_MAX};

bool same_name(const UserRecord& a, const UserRecord& b)
{
    size_t len = wire_strlen(a.name);
    return len == wire_strlen(b.name) && memcmp(a.name, b.name, len) == 0;
}

bool same_name(const UserRecord& user, const char* name)
{
    size_t len = wire_strlen(user.name);
    return strlen(name) == len && memcmp(user.name, name, len) == 0;
}

// True when an enabled user other than slot `self` has the name of `user`.
bool name_taken(const UserRecord* table, int self, const UserRecord& user)
{
    for (int i = 0; i < USER_MAX; i++)
        if (i != self && table[i].enable && same_name(table[i], user))
            return true;
    return false;
}

struct AddUser {
    UserRecord* user;
};

int add_in_table(void* rows, void* context)
{
    UserRecord* table = (UserRecord*)rows;
    UserRecord* user = ((AddUser*)context)->user;
    if (name_taken(table, -1, *user))
        return USER_SAME_NAME;
    for (int i = 0; i < USER_MAX; i++) {
        if (!table[i].enable) {
            user->id = i;
            table[i] = *user;
            return i;
        }
    }
    return USER_TABLE_FULL;
}

struct ChangeUser {
    int id;
    void (*change)(UserRecord* user, void* context);
    void* context;
};

int change_in_table(void* rows, void* context)
{
    UserRecord* table = (UserRecord*)rows;
    const ChangeUser* c = (const ChangeUser*)context;
    UserRecord& user = table[c->id];
    user.id = c->id;
    c->change(&user, c->context);
    return name_taken(table, c->id, user) ? USER_SAME_NAME : c->id;
}
}  // namespace

uint32_t user_channel_mask(const char (&channels)[65])
{
    return (uint32_t)channel_string_mask(channels, sizeof channels);
}

void user_update_masks(UserRecord* user)
{
    user->local_live_view_mask = user_channel_mask(user->localliveview);
    user->local_playback_mask = user_channel_mask(user->localplayback);
    user->remote_live_view_mask = user_channel_mask(user->remoteliveview);
    user->remote_playback_mask = user_channel_mask(user->remoteplayback);
}

int read_user(const char* db, UserRecord* out, int id)
{
    int rc = vxdb_read(db, kUser, id, out);
    if (rc < 0)
        return -1;
    out->id = id;
    return 0;
}

int read_users(const char* db, UserRecord out[100], int* count)
{
    int found = vxdb_read_table(db, kUser, out, USER_MAX);
    int enabled = 0;
    for (int i = 0; i < USER_MAX && found >= 0; i++) {
        // The slot is the id that change and delete use.
        out[i].id = i;
        if (out[i].enable)
            enabled++;
    }
    if (count)
        *count = enabled;
    return found < 0 ? -1 : 0;
}

int read_user_count(const char* db)
{
    UserRecord* table = (UserRecord*)malloc(sizeof(UserRecord) * USER_MAX);
    if (!table)
        return -1;
    int count = 0;
    int rc = read_users(db, table, &count);
    free(table);
    return rc < 0 ? -1 : count;
}

int read_user_by_name(const char* db, const char* name, UserRecord* out)
{
    memset(out, 0, sizeof *out);
    out->id = -1;
    UserRecord* table = (UserRecord*)malloc(sizeof(UserRecord) * USER_MAX);
    if (!table || !name || read_users(db, table, nullptr) < 0) {
        free(table);
        return -1;
    }
    int rc = -1;
    for (int i = 0; i < USER_MAX; i++) {
        if (table[i].enable && same_name(table[i], name)) {
            *out = table[i];
            out->id = i;
            rc = 0;
            break;
        }
    }
    free(table);
    return rc;
}

int write_user(const char* db, const UserRecord* user)
{
    return user ? vxdb_write(db, kUser, user->id, user, (int)sizeof *user) : -1;
}

int add_user(const char* db, UserRecord* user)
{
    if (!user)
        return -1;
    UserRecord* table = (UserRecord*)malloc(sizeof(UserRecord) * USER_MAX);
    if (!table)
        return -1;
    AddUser add = {user};
    int rc = vxdb_update_table(db, kUser, table, USER_MAX, add_in_table, &add);
    free(table);
    return rc >= 0 ? 0 : rc;
}

int change_user(const char* db, int id, void (*change)(UserRecord* user, void* context), void* context)
{
    if (!change || id < 0 || id >= USER_MAX)
        return -1;
    UserRecord* table = (UserRecord*)malloc(sizeof(UserRecord) * USER_MAX);
    if (!table)
        return -1;
    ChangeUser c = {id, change, context};
    int rc = vxdb_update_table(db, kUser, table, USER_MAX, change_in_table, &c);
    free(table);
    return rc >= 0 ? 0 : rc;
}

int read_oem_users(const char* db, OemUserRecord out[100], int* count)
{
    int found = vxdb_read_table(db, kOemUser, out, OEM_USER_MAX);
    int enabled = 0;
    for (int i = 0; i < OEM_USER_MAX && found >= 0; i++)
        if (out[i].enable)
            enabled++;
    if (count)
        *count = enabled;
    return found < 0 ? -1 : 0;
}
