// Settings blocks shared by the event modules: weekly schedules, white-LED,
// HTTP-notification and PTZ actions, alarm-output targets, copy masks.
#pragma once
#include <cstdint>
#include <json-c/json.h>

#include "platform/wire.h"

WIRE_BEGIN
struct ScheduleSlot {
    char start_time[32];
    char end_time[32];
    int32_t action_type;
};
struct ScheduleDay {
    ScheduleSlot slots[48];
    int32_t whole_day_enable;  // the camera form's day-valid flag
    int32_t whole_day_action;
};
struct Schedule {
    ScheduleDay days[8];
};

struct WhiteLedEntry {
    int32_t owner;
    int32_t chnid;
    int32_t mode;
    int32_t time;
};
// One owner block of 8 entries per channel 0..63: entry i of owner c is
// entries[c * 8 + i]. The device's own table had blocks for 8 owners only,
// which dropped the actions of cameras 8 to 63; the database keeps one block
// per set and channel, so only this in-memory form had to grow.
struct WhiteLedParams {
    WhiteLedEntry entries[64 * 8];
};
// The stored block of one channel.
struct WhiteLedBlock {
    WhiteLedEntry entries[8];
};

struct HttpNotificationParams {
    int32_t channel;
    char url[513];
    char username[97];
    char password[65];
    uint8_t reserved;
};

// The word left zero is the last one (offset 24), not the third as the
// motion pages once described it: lists are stored and read in this layout.
struct PtzActionEntry {
    int32_t channel;
    int32_t acto_ptz_channel;
    int32_t acto_ptz_type;
    int32_t acto_ptz_preset;
    int32_t acto_ptz_patrol;
    int32_t acto_ptz_pattern;
    int32_t reserved;
};
struct PtzActionParams {
    PtzActionEntry entries[64];
};

struct AlarmOutTarget {
    int32_t owner;
    int32_t index;
    char name[65];
    uint8_t reserved[3];
};
WIRE_END

WIRE_SIZE(ScheduleSlot, 68);
WIRE_SIZE(ScheduleDay, 3272);
WIRE_SIZE(Schedule, 26176);
WIRE_OFFSET(ScheduleDay, whole_day_enable, 3264);
WIRE_SIZE(WhiteLedEntry, 16);
WIRE_SIZE(WhiteLedParams, 8192);
WIRE_SIZE(WhiteLedBlock, 128);
WIRE_SIZE(HttpNotificationParams, 680);
WIRE_OFFSET(HttpNotificationParams, url, 4);
WIRE_OFFSET(HttpNotificationParams, username, 517);
WIRE_OFFSET(HttpNotificationParams, password, 614);
WIRE_SIZE(PtzActionEntry, 28);
WIRE_OFFSET(PtzActionEntry, acto_ptz_channel, 4);
WIRE_OFFSET(PtzActionEntry, acto_ptz_type, 8);
WIRE_OFFSET(PtzActionEntry, acto_ptz_preset, 12);
WIRE_OFFSET(PtzActionEntry, acto_ptz_patrol, 16);
WIRE_OFFSET(PtzActionEntry, acto_ptz_pattern, 20);
WIRE_OFFSET(PtzActionEntry, reserved, 24);
WIRE_SIZE(PtzActionParams, 1792);
WIRE_SIZE(AlarmOutTarget, 76);
WIRE_OFFSET(AlarmOutTarget, name, 8);

enum {
    SCHEDULE_DAYS = 8,
    SCHEDULE_JSON_SLOTS = 12,    // slots carried by these encodings
    WHITE_LED_OWNERS = 64,       // one block per channel
    WHITE_LED_ENTRIES = 8,
    PTZ_ACTION_ENTRIES = 64,
    EVENT_CHANNELS = 64,         // sources of white-LED and PTZ actions
    PTZ_EVENT_PEOPLE_COUNT = 20,
    PTZ_PEOPLE_COUNT_ENTRIES = 8,
    ALARM_AUDIO_FILES = 10,
};

json_object* get_schedule_json_object(const Schedule* schedule);
int get_schedule_by_json(json_object* request, const char* key, Schedule* schedule);
json_object* get_schedule_json_object_ex(const Schedule* schedule);
int get_schedule_by_json_ex(json_object* request, const char* key, Schedule* schedule);
json_object* get_schedule_json_object_ipc(const Schedule* schedule);
int get_schedule_by_json_ipc(json_object* request, const char* key, Schedule* schedule);

json_object* get_white_params_json_object(int channel, const char* set_name);
int get_white_params_by_json(int channel, WhiteLedParams* table, json_object* request, const char* key);
json_object* get_pcnt_white_params_json_object(int owner);
int get_pcnt_white_params_by_json(int owner, WhiteLedEntry* list, json_object* request, const char* key);

json_object* get_http_params_json_object(int channel, const char* set_name);
int get_http_params_by_json(int channel, HttpNotificationParams* record, json_object* request,
                            const char* key);

json_object* get_ptz_params_json_object(int event_type, int channel);
int get_ptz_params_by_json(int channel, int event_type, json_object* array, PtzActionParams* list);
int set_ptz_params_by_json(int channel, int event_type, json_object* array);

json_object* get_event_chn_alarmout_object(const char* name0, const char* name1);
int get_event_chn_alarmout_by_object(int channel, json_object* request, const char* key,
                                     AlarmOutTarget pair[2]);

uint64_t get_copy_flag_by_json(json_object* request, const char* list_key, const char* count_key);
int get_smart_event_ptz_type(int index);
uint32_t get_audio_file_id_mask();
