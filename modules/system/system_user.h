// Login and user accounts: the user record of the configuration database, the
// factory (OEM) user record, the requests of the part and the database calls.
// The CGI, coresim and the tests share it.
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "platform/wire.h"
#include "core/module.h"

extern const WebModulePart system_user_part;

enum {
    USER_MAX = 100,          // slots 0 to 99
    OEM_USER_MAX = 100,
    USER_LEVEL_ADMIN = 0,
    USER_LEVEL_NO_WEB = 3,   // may not log in on the web
    MAIL_LOGIN_LEVEL = 2,    // the temporary user of an e-mail link
    USER_LEVEL_MAX = 3,
    USER_NAME_CUT = 63,
    USER_PASSWORD_CUT = 32,
    USER_CHANNELS_CUT = 64,
    USER_MASK_CHANNELS = 32, // the masks have a bit for the first 32 channels only
};

// Login types besides the user levels.
enum {
    LOGIN_REFUSED = -1,      // unknown user or wrong hash
    LOGIN_NOT_ON_WEB = -2,   // a level-3 user
};

// Core-service requests of the part.
enum {
    REQ_LOGIN_FROM_MAIL = 3504,   // 256-byte token text; answer 8504, first word 0 = valid
    REQ_USER_TABLE_CHANGED = 3505, // no payload, or the 4-byte id of the changed user
    RSP_LOGIN_FROM_MAIL = 8504,
    MAIL_TOKEN_SIZE = 256,
};

WIRE_BEGIN

// One user slot of the database.
struct UserRecord {
    int32_t id;
    int32_t enable;
    char name[64];
    char password[36];       // the browser's hash text, at most 32 characters
    int32_t type;            // user level 0 to 3
    // One character per channel, "1" = allowed.
    char localliveview[65];
    char localplayback[65];
    char remoteliveview[65];
    char remoteplayback[65];
    uint8_t reserved[33];    // kept as the database holds it
    char added[19];          // "0" when a user is added; nobody here reads it
    int32_t local_live_view;
    int32_t local_playback;
    int32_t local_retrieve;
    int32_t local_smart_analysis;
    int32_t local_event;
    int32_t local_camera;
    int32_t local_storage;
    int32_t local_settings;
    int32_t local_status;
    int32_t local_shutdown;
    int32_t remote_live_view;
    int32_t remote_playback;
    int32_t remote_retrieve;
    int32_t remote_smart_analysis;
    int32_t remote_event;
    int32_t remote_camera;
    int32_t remote_storage;
    int32_t remote_settings;
    int32_t remote_status;
    int32_t remote_shutdown;
    int32_t permission;        // -1 or 0 and more
    int32_t remote_permission; // -1 or 0 and more
    // Bit i set when character i of the channel string is "1" (i < 32).
    uint32_t local_live_view_mask;
    uint32_t local_playback_mask;
    uint32_t remote_live_view_mask;
    uint32_t remote_playback_mask;
};

// One user of the factory user file.
struct OemUserRecord {
    int32_t id;
    int32_t enable;
    char name[64];
    char password[36];
    int32_t type;
    int32_t permission;
    int32_t remote_permission;
    uint8_t reserved[16];
};

WIRE_END

WIRE_SIZE(UserRecord, 528);
WIRE_OFFSET(UserRecord, id, 0);
WIRE_OFFSET(UserRecord, enable, 4);
WIRE_OFFSET(UserRecord, name, 8);
WIRE_OFFSET(UserRecord, password, 72);
WIRE_OFFSET(UserRecord, type, 108);
WIRE_OFFSET(UserRecord, localliveview, 112);
WIRE_OFFSET(UserRecord, localplayback, 177);
WIRE_OFFSET(UserRecord, remoteliveview, 242);
WIRE_OFFSET(UserRecord, remoteplayback, 307);
WIRE_OFFSET(UserRecord, reserved, 372);
WIRE_OFFSET(UserRecord, added, 405);
WIRE_OFFSET(UserRecord, local_live_view, 424);
WIRE_OFFSET(UserRecord, local_playback, 428);
WIRE_OFFSET(UserRecord, local_retrieve, 432);
WIRE_OFFSET(UserRecord, local_smart_analysis, 436);
WIRE_OFFSET(UserRecord, local_event, 440);
WIRE_OFFSET(UserRecord, local_camera, 444);
WIRE_OFFSET(UserRecord, local_storage, 448);
WIRE_OFFSET(UserRecord, local_settings, 452);
WIRE_OFFSET(UserRecord, local_status, 456);
WIRE_OFFSET(UserRecord, local_shutdown, 460);
WIRE_OFFSET(UserRecord, remote_live_view, 464);
WIRE_OFFSET(UserRecord, remote_playback, 468);
WIRE_OFFSET(UserRecord, remote_retrieve, 472);
WIRE_OFFSET(UserRecord, remote_smart_analysis, 476);
WIRE_OFFSET(UserRecord, remote_event, 480);
WIRE_OFFSET(UserRecord, remote_camera, 484);
WIRE_OFFSET(UserRecord, remote_storage, 488);
WIRE_OFFSET(UserRecord, remote_settings, 492);
WIRE_OFFSET(UserRecord, remote_status, 496);
WIRE_OFFSET(UserRecord, remote_shutdown, 500);
WIRE_OFFSET(UserRecord, permission, 504);
WIRE_OFFSET(UserRecord, remote_permission, 508);
WIRE_OFFSET(UserRecord, local_live_view_mask, 512);
WIRE_OFFSET(UserRecord, local_playback_mask, 516);
WIRE_OFFSET(UserRecord, remote_live_view_mask, 520);
WIRE_OFFSET(UserRecord, remote_playback_mask, 524);

WIRE_SIZE(OemUserRecord, 136);
WIRE_OFFSET(OemUserRecord, id, 0);
WIRE_OFFSET(OemUserRecord, enable, 4);
WIRE_OFFSET(OemUserRecord, name, 8);
WIRE_OFFSET(OemUserRecord, password, 72);
WIRE_OFFSET(OemUserRecord, type, 108);
WIRE_OFFSET(OemUserRecord, permission, 112);
WIRE_OFFSET(OemUserRecord, remote_permission, 116);

// The mask of a channel string: bit i for a "1" at position i < 32.
uint32_t user_channel_mask(const char (&channels)[65]);
// Sets the four masks from the four channel strings.
void user_update_masks(UserRecord* user);

// Database calls over the user table ("user", VXDB_MAIN) and the factory user
// file ("oem_user", VXDB_OEM). Reads zero their output first; a free or
// missing slot reads as zeros with its id set.
int read_user(const char* db, UserRecord* out, int id);
// All 100 slots into out; *count is the number of enabled users.
int read_users(const char* db, UserRecord out[100], int* count);
// Number of enabled users, -1 on a database error.
int read_user_count(const char* db);
// The enabled user whose name is exactly `name`: 0 and the record, or -1
// with out zeroed and out->id = -1.
int read_user_by_name(const char* db, const char* name, UserRecord* out);
// Writes the record into slot user->id; 0 on success.
int write_user(const char* db, const UserRecord* user);
// Why a change of the user table was refused.
enum { USER_SAME_NAME = -2, USER_TABLE_FULL = -3 };
// Puts the record into the lowest free slot and sets user->id to it, unless
// an enabled user has its name; the name check and the write are one
// transaction. 0, USER_SAME_NAME, USER_TABLE_FULL, or -1 on a database error.
int add_user(const char* db, UserRecord* user);
// Changes slot `id` by `change` inside one transaction; after the change the
// name must not be another enabled user's. 0, USER_SAME_NAME, or -1.
int change_user(const char* db, int id, void (*change)(UserRecord* user, void* context), void* context);
// All slots of the factory file; *count is the number of enabled users.
int read_oem_users(const char* db, OemUserRecord out[100], int* count);
