// Database records shared by several modules (the module-specific ones live
// in each module). Every function is one call of the records core.
#pragma once
#include "core/encodings.h"
#include "platform/vxdb.h"

enum { DB_MAX_CHANNELS = 64 };

// Schedules are kept per channel, one kind per schedule table.
inline vxdb_kind db_schedule_kind(const char* table) { return {table, (int)sizeof(Schedule), DB_MAX_CHANNELS}; }
inline int read_schedule(const char* db, const char* table, Schedule* out, int channel)
{
    return vxdb_read(db, db_schedule_kind(table), channel, out);
}
inline int write_schedule(const char* db, const char* table, const Schedule* schedule, int channel)
{
    return vxdb_write(db, db_schedule_kind(table), channel, schedule, (int)sizeof *schedule);
}

// Lookup key of a white-LED block: the channel and the table's name.
WIRE_BEGIN
struct WhiteLedKey {
    int32_t channel;
    char set_name[64];
};
WIRE_END
WIRE_SIZE(WhiteLedKey, 68);

int read_whiteled_params(const char* db, const WhiteLedKey* key, WhiteLedEntry out[8], int* count);
int write_whiteled_params_all(const char* db, const char* set_name, int channel, const WhiteLedParams* table);
int read_peoplecnt_wled_params(const char* db, int owner, WhiteLedEntry out[8], int* count);
int write_peoplecnt_wled_params_all(const char* db, int owner, const WhiteLedEntry list[8]);

int read_http_notification_params(const char* db, const char* set_name, int channel, HttpNotificationParams* out);
int write_http_notification_params(const char* db, const char* set_name, const HttpNotificationParams* record);

int read_ptz_params(const char* db, int event_type, int channel, PtzActionParams* out, int* count);
int write_ptz_params_all(const char* db, int event_type, int channel, const PtzActionParams* list);
// Copies the PTZ entries of `source` to every target whose bit is set, each
// entry relabelled with the target it went to.
int copy_ptz_params(const char* db, int event_type, int source, uint64_t targets);
int read_peoplecnt_ptz_params(const char* db, int channel, PtzActionParams* out, int* count);
int write_peoplecnt_ptz_params_ex(const char* db, int channel, const PtzActionParams* list);

enum { ALARM_AUDIO_FILE_SIZE = 136 };
int read_alarm_audio_file(const char* db, void* out, int index);
int write_alarm_audio_file(const char* db, const void* record, int index);
