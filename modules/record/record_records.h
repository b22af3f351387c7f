// Recording module: holidays, per-channel recording settings and schedules,
// and the camera record that every module reads, shared by the CGI and
// coresim. The camera record is defined here and nowhere else.
#pragma once
#include <cstdint>

#include "core/encodings.h"
#include "platform/wire.h"

enum {
    RECORD_CHANNELS = 64,
    HOLIDAY_MAX = 32,
    RECORD_MODE_MAX = 2,
    RECORD_STREAM_MAX = 2,
    CAMERA_PROTOCOL_RTSP = 1,
    SCHEDULE_SLOTS = 48,
    HOLIDAY_DAY = 7,  // the schedule day that holidays follow
};

// Core-service requests of the module; each is answered by code + 5000.
enum {
    REQ_HOLIDAY_CHANGED = 1401,
    REQ_RECORD_MODE_CHANGED = 1407,
    REQ_RECORD_SCHEDULE_CHANGED = 1411,
    REQ_RECORD_PLAN_MODE_CHANGED = 1413,
    REQ_RECORD_PARAMS_CHANGED = 1310,
    REQ_CAMERA_ANR_SET = 2285,
    REQ_CAMERA_ANR_SUPPORT = 2286,
    REQ_RECORD_STREAMS = 3218,
};

WIRE_BEGIN

// A holiday, stored at idx = id.
struct db_holiday {
    int32_t id;
    char name[256];
    int32_t enable;
    int32_t type;
    int32_t start_year;
    int32_t start_mon;
    int32_t start_mday;
    int32_t start_mweek;
    int32_t start_wday;
    int32_t end_year;
    int32_t end_mon;
    int32_t end_mday;
    int32_t end_mweek;
    int32_t end_wday;
};

// Recording settings of a channel, stored at idx = channel.
struct db_record {
    int32_t id;
    int32_t mode;  // 0 schedule, 1 always, 2 never
    uint8_t reserved0[28];
    int32_t audio_enable;
    uint8_t reserved1[8];
    int32_t pre_record_on;
    int32_t pre_record_duration;  // seconds
    int32_t post_record_on;
    int32_t post_record_duration;
    int32_t record_expiry;  // days, 0: kept until overwritten
    uint8_t reserved2[4];
};

// The camera of a channel, stored at idx = channel.
struct db_camera {
    int32_t id;
    uint8_t reserved0[4];
    int32_t enable;
    uint8_t reserved1[16];
    char user_name[64];
    char password[64];
    char address[64];
    char main_source_path[256];
    char sub_source_path[256];
    int32_t main_rtsp_port;
    int32_t sub_rtsp_port;
    uint8_t reserved2[4];
    int32_t manage_port;
    int32_t protocol;  // 0 ONVIF, 1 RTSP, others the maker's own
    int32_t transmit_protocol;
    int32_t enable_sub_stream;
    int32_t record_stream;  // 0 main, 1 sub, 2 both
    int32_t sync_time;
    char main_rtsp_url[256];
    char sub_rtsp_url[256];
    int32_t physical_port;
    int32_t poe_channel;
    char mac_addr[32];
    int32_t minor_id;
    int32_t anr;  // noise reduction: recording kept on the camera while the link is down
    char ddns[64];
    char model[64];
    uint8_t reserved3[4];
};

// Request 1310: the channels whose recording settings changed.
struct record_channel_list {
    int32_t channels[64];
    int32_t count;
};

// Request 2285: the cameras whose ANR changes, and the new value.
struct camera_anr_request {
    int32_t channels[64];
    int32_t count;
    int32_t anr;
};

// Answer to 2285: a result per listed camera, nonzero when it failed.
struct camera_anr_reply {
    int32_t channels[64];
    int32_t results[64];
    int32_t count;
    int32_t anr;
};

// Answer to 2286.
struct camera_anr_support {
    int32_t channel;
    int32_t support;
};

// Answer to 3218: what each channel can record.
struct record_streams_reply {
    int32_t primary[64];
    int32_t secondary[64];
    int32_t count;
};

WIRE_END

WIRE_SIZE(db_holiday, 308);
WIRE_OFFSET(db_holiday, name, 4);
WIRE_OFFSET(db_holiday, enable, 260);
WIRE_OFFSET(db_holiday, type, 264);
WIRE_OFFSET(db_holiday, start_year, 268);
WIRE_OFFSET(db_holiday, end_year, 288);
WIRE_OFFSET(db_holiday, end_wday, 304);

WIRE_SIZE(db_record, 72);
WIRE_OFFSET(db_record, mode, 4);
WIRE_OFFSET(db_record, audio_enable, 36);
WIRE_OFFSET(db_record, pre_record_on, 48);
WIRE_OFFSET(db_record, pre_record_duration, 52);
WIRE_OFFSET(db_record, post_record_on, 56);
WIRE_OFFSET(db_record, post_record_duration, 60);
WIRE_OFFSET(db_record, record_expiry, 64);

WIRE_SIZE(db_camera, 1460);
WIRE_OFFSET(db_camera, enable, 8);
WIRE_OFFSET(db_camera, user_name, 28);
WIRE_OFFSET(db_camera, password, 92);
WIRE_OFFSET(db_camera, address, 156);
WIRE_OFFSET(db_camera, main_source_path, 220);
WIRE_OFFSET(db_camera, manage_port, 744);
WIRE_OFFSET(db_camera, protocol, 748);
WIRE_OFFSET(db_camera, record_stream, 760);
WIRE_OFFSET(db_camera, main_rtsp_url, 768);
WIRE_OFFSET(db_camera, poe_channel, 1284);
WIRE_OFFSET(db_camera, anr, 1324);
WIRE_OFFSET(db_camera, model, 1392);

WIRE_SIZE(record_channel_list, 260);
WIRE_OFFSET(record_channel_list, count, 256);
WIRE_SIZE(camera_anr_request, 264);
WIRE_OFFSET(camera_anr_request, count, 256);
WIRE_OFFSET(camera_anr_request, anr, 260);
WIRE_SIZE(camera_anr_reply, 520);
WIRE_OFFSET(camera_anr_reply, results, 256);
WIRE_OFFSET(camera_anr_reply, count, 512);
WIRE_OFFSET(camera_anr_reply, anr, 516);
WIRE_SIZE(camera_anr_support, 8);
WIRE_SIZE(record_streams_reply, 516);
WIRE_OFFSET(record_streams_reply, secondary, 256);
WIRE_OFFSET(record_streams_reply, count, 512);

// Database records of the module; 0 on success (a missing record reads as
// zeros), -1 on failure.
int read_holiday(const char* db, db_holiday* out, int id, bool* found);
int write_holiday(const char* db, const db_holiday* holiday);
int read_record(const char* db, db_record* out, int channel);
int read_records(const char* db, db_record out[64]);
int write_record(const char* db, const db_record* record);
// Read-modify-write of the rows of a channel set in one transaction.
int update_records(const char* db, uint64_t channels, void (*change)(db_record* record, int channel, void* context),
                   void* context);
int read_record_schedule(const char* db, Schedule* out, int channel);
// The schedule to every channel of the set, in one transaction.
int copy_record_schedules(const char* db, const Schedule* schedule, uint64_t channels);
int read_camera(const char* db, db_camera* out, int channel);
int read_cameras(const char* db, db_camera out[64]);
int write_camera(const char* db, const db_camera* camera);
// Read-modify-write of one channel's camera in one transaction, its id set
// to the channel; `change` returns false to write nothing. 0 written, 1
// refused, -1 failure.
int update_camera(const char* db, int channel, bool (*change)(db_camera* camera, void* context), void* context);

// Tables whose int32 columns copy_table_column_int sets.
enum RecordTable { TABLE_RECORD, TABLE_CAMERA };
// Sets one int32 column ("mode" of "record"; "anr" or "record_stream" of
// "camera") to `value` for the rows of a channel set, in one transaction; a
// row not stored yet is created with its "id" set. -1 for an unknown column.
int copy_table_column_int(const char* db, RecordTable table, const char* column, int32_t value,
                          uint64_t channels);
