// User records as the user table keeps them, for the tests of the accounts,
// the login and the sessions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "modules/system/system_user.h"
#include "platform/vxdb.h"
#include "tests/support/handler_test.h"

const vxdb_kind kUserKind = {"user", (int)sizeof(UserRecord), 100};

// An enabled user of that type (level) and stored password hash.
inline UserRecord user_record(int id, const std::string& name, const std::string& password, int type)
{
    UserRecord u = zeroed<UserRecord>();
    u.id = id;
    u.enable = 1;
    put(u.name, name);
    put(u.password, password);
    u.type = type;
    return u;
}

// Rights 1..20 in record order, so that a right read or printed from the
// wrong field shows.
inline void number_rights(UserRecord* u)
{
    int32_t rights[20];
    for (int i = 0; i < 20; i++)
        rights[i] = i + 1;
    memcpy(reinterpret_cast<char*>(u) + offsetof(UserRecord, local_live_view), rights, sizeof rights);
}
