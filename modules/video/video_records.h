// Video and event module: the motion record and the camera payloads of the
// motion event, shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/vxfs_log.h"
#include "platform/wire.h"

enum {
    VIDEO_CHANNELS = 64,
    MOTION_TABLE_SIZE = 368,       // the stored motion area
    CAMERA_MOTION_TABLE_SIZE = 300,  // what the camera takes of it
    CHANNEL_STRING_SIZE = 65,
    CAMERA_SCHEDULE_DAYS = 7,
    CAMERA_SCHEDULE_PERIODS = 4,
    PTZ_EVENT_MOTION = 1,
    PTZ_EVENT_VIDEO_LOSS = 2,
};

// Core-service requests of the module; the waiting ones are answered by
// code + 5000, the others are not answered.
enum {
    REQ_MOTION_CHANGED = 1403,
    REQ_MOTION_SET_CHANGED = 1410,
    REQ_VIDEO_LOSS_CHANGED = 1402,
    REQ_VIDEO_LOSS_SET_CHANGED = 1414,
    REQ_MOTION_MAP_GET = 3206,
    REQ_CAMERA_MOTION_AREA = 3207,
    REQ_CAMERA_MOTION_SCHEDULE = 3209,
    REQ_CAMERA_MOTION_SWITCH = 3212,
    REQ_CAMERAS_MOTION_AREA = 3251,
    REQ_CAMERAS_MOTION_SCHEDULE = 3252,
    REQ_OPERATION_LOG_CHANNELS = 3509,
    RSP_MOTION_MAP_GET = 8206,
};

WIRE_BEGIN

// The motion event of one channel in the database ("motion").
struct motion {
    int32_t id;
    int32_t enable;
    int32_t sensitivity;
    uint32_t tri_channels;  // derived from tri_channels_string, channels 0..31
    int32_t tri_alarms;
    char motion_table[MOTION_TABLE_SIZE];
    int32_t interval;
    int32_t enable_ms;
    char tri_channels_string[CHANNEL_STRING_SIZE];
    int32_t email_enable;
    int32_t email_interval;
    char tri_chnout1_alarms[CHANNEL_STRING_SIZE];
    char tri_chnout2_alarms[CHANNEL_STRING_SIZE];
    int32_t unused;
    int32_t ptz_interval;
    int32_t alarmout_interval;
    int32_t white_interval;
    int32_t email_pic_enable;
    char tri_channels_pic[CHANNEL_STRING_SIZE];
    int32_t audio_id;
    int32_t http_notification_interval;
    uint8_t reserved[8];
};

// 3207: the motion area of one camera.
struct camera_motion_area {
    int32_t zero;
    char motion_table[CAMERA_MOTION_TABLE_SIZE];
    int32_t sensitivity;
    int32_t channel;
    uint8_t reserved[20];
};

// 3251: the motion area of a set of cameras.
struct cameras_motion_area {
    char motion_table[CAMERA_MOTION_TABLE_SIZE];
    int32_t sensitivity;
    int32_t channel;
    int32_t enable_ms;
    int32_t channels[VIDEO_CHANNELS];
    int32_t count;
};

// 3212: the camera-side motion switch.
struct camera_motion_switch {
    int32_t channel;
    int32_t flag;
    int32_t channels[VIDEO_CHANNELS];
    int32_t count;
};

struct camera_schedule_period {
    int32_t start_hour;
    int32_t start_minute;
    int32_t end_hour;
    int32_t end_minute;
};
struct camera_schedule_day {
    uint8_t reserved[64];
    int32_t day;
    int32_t valid;
    camera_schedule_period periods[CAMERA_SCHEDULE_PERIODS];
};
// 3209 (one camera) and 3252 (channel word 0, the list).
struct camera_motion_schedule {
    int32_t channel;
    camera_schedule_day days[CAMERA_SCHEDULE_DAYS];
    int32_t channels[VIDEO_CHANNELS];
    int32_t count;
};

// Answer 8206: the live motion map of a camera.
struct motion_map_info {
    int32_t enable;
    char map[CAMERA_MOTION_TABLE_SIZE];
    int32_t sensitivity;
    int32_t unused;
    int32_t result;
    int32_t model_type;
    int32_t fishdisplay;
    int32_t fishtransfer;
    int32_t fishinstall;
};

// 3509: one log entry for a channel set.
struct operation_log_channels {
    OperationLogRecord record;
    uint64_t channels;
};

WIRE_END

WIRE_SIZE(motion, 700);
WIRE_OFFSET(motion, tri_channels, 12);
WIRE_OFFSET(motion, motion_table, 20);
WIRE_OFFSET(motion, interval, 388);
WIRE_OFFSET(motion, enable_ms, 392);
WIRE_OFFSET(motion, tri_channels_string, 396);
WIRE_OFFSET(motion, email_enable, 461);
WIRE_OFFSET(motion, email_interval, 465);
WIRE_OFFSET(motion, tri_chnout1_alarms, 469);
WIRE_OFFSET(motion, tri_chnout2_alarms, 534);
WIRE_OFFSET(motion, ptz_interval, 603);
WIRE_OFFSET(motion, white_interval, 611);
WIRE_OFFSET(motion, tri_channels_pic, 619);
WIRE_OFFSET(motion, audio_id, 684);
WIRE_OFFSET(motion, http_notification_interval, 688);
WIRE_SIZE(camera_motion_area, 332);
WIRE_OFFSET(camera_motion_area, sensitivity, 304);
WIRE_OFFSET(camera_motion_area, channel, 308);
WIRE_SIZE(cameras_motion_area, 572);
WIRE_OFFSET(cameras_motion_area, channels, 312);
WIRE_SIZE(camera_motion_switch, 268);
WIRE_SIZE(camera_schedule_day, 136);
WIRE_OFFSET(camera_schedule_day, periods, 72);
WIRE_SIZE(camera_motion_schedule, 1216);
WIRE_OFFSET(camera_motion_schedule, channels, 956);
WIRE_SIZE(motion_map_info, 332);
WIRE_OFFSET(motion_map_info, result, 312);
WIRE_SIZE(operation_log_channels, 680);

// Database kinds of the motion event (video_db.cpp).
#define MOTION_EFFECTIVE_SCHEDULE "motion_effective_schedule"
#define MOTION_AUDIBLE_SCHEDULE "motion_audible_schedule"
#define MOTION_EMAIL_SCHEDULE "motion_email_schedule"
#define MOTION_PTZ_SCHEDULE "motion_ptz_schedule"
#define MOTION_WHITELED_SCHEDULE "motion_whiteled_esche"
#define MOTION_WHITELED_PARAMS "motion_white_led_params"
#define MOTION_HTTP_SCHEDULE "motion_http_notification_sche"
#define MOTION_HTTP_PARAMS "motion_http_notification_params"

int read_motion(const char* db, motion* out, int channel);
int write_motion(const char* db, const motion* record);
// Copies a channel's record to every channel of the set, each copy under its
// own channel.
int copy_motions(const char* db, int source, uint64_t channels);
// Read-modify-write of one channel's record in one transaction; `change`
// returns false to write nothing. 0 written, 1 refused, -1 failure.
int update_motion(const char* db, int channel, bool (*change)(motion* record, void* context), void* context);
// The fixed-form writer of "/6013": the audible schedule, as read back by
// read_motion_audible_schedule.
struct Schedule;
int write_motion_schedule(const char* db, const Schedule* schedule, int channel);
int read_motion_audible_schedule(const char* db, Schedule* out, int channel);
