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
    REQ_CAMERA_IO_GET = 3213,
    REQ_CAMERA_IO_SET = 3214,
    REQ_VOLUME_DETECT_GET = 3215,
    REQ_VOLUME_DETECT_SET = 3216,
    RSP_CAMERA_IO_GET = 8213,
    RSP_VOLUME_DETECT_GET = 8215,
    REQ_EXCEPTION_ALARMS_CHANGED = 2104,
    REQ_EXCEPTION_HTTP_CHANGED = 3394,
};

enum {
    PTZ_TYPE_PRESET = 1,
    PTZ_TYPE_PATROL = 2,
    PTZ_TYPE_PATTERN = 3,
    TRIGGER_ALARM_VALUES = 7,
    EXCEPTION_ENTRIES = 8,
    EXCEPTION_NAME_SIZE = 32,  // 31 characters and the NUL
    OSD_NAME_SIZE = 64,
    PRIVACY_MASK_AREAS = 24,
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

// The video-loss event of one channel in the database ("video_loss").
struct video_lost {
    int32_t id;
    int32_t enable;
    int32_t tri_alarms;
    int32_t interval;
    int32_t email_enable;
    int32_t email_interval;
    char tri_chnout1_alarms[CHANNEL_STRING_SIZE];
    char tri_chnout2_alarms[CHANNEL_STRING_SIZE];
    int32_t unused;
    int32_t ptz_interval;
    int32_t alarmout_interval;
    int32_t white_interval;
    int32_t audio_id;
    int32_t http_notification_interval;
    uint8_t reserved[2];
};

// The camera-side alarm-input event ("cameraio") and audio-volume event
// ("volumedetect") of one channel: what this side keeps of them.
struct cameraio {
    int32_t id;
    int32_t enable;
    uint32_t tri_channels;  // derived from tri_channels_string, cleared first
    int32_t tri_actions;
    char tri_channels_string[CHANNEL_STRING_SIZE];
    uint8_t reserved[3];
};
struct volumedetect {
    int32_t id;
    int32_t enable;
    uint32_t tri_channels;
    int32_t tri_actions;
    char tri_channels_string[CHANNEL_STRING_SIZE];
    uint8_t reserved[3];
};

// 3214, and answer 8213 to 3213: the camera's alarm-I/O event.
struct camera_io_event {
    int32_t channel;
    int32_t enable;
    int32_t type;
};
// 3216, and answer 8215 to 3215: the camera's volume-detection event.
struct volume_detect_event {
    int32_t channel;
    int32_t enable;
    int32_t type;
    int32_t volume;
    int32_t duration;
    int32_t on_event;
    int32_t off_event;
    int32_t ongoing_event;
};

// The alarm outputs of the device exceptions, in record order.
struct trigger_alarms {
    int32_t values[TRIGGER_ALARM_VALUES];
};

// The recorder's own on-screen display of one channel ("osd"); the channel
// name here is the name every page shows for the channel.
struct osd {
    int32_t id;
    char name[OSD_NAME_SIZE];
    int32_t show_name;
    int32_t show_date;
    int32_t show_week;
    int32_t date_format;
    int32_t time_format;
    double date_pos_x;
    double date_pos_y;
    double name_pos_x;
    double name_pos_y;
    int32_t alpha;
    uint8_t reserved[4];
};

struct privacy_mask_area {
    int32_t area_id;
    int32_t enable;
    int32_t start_x;
    int32_t start_y;
    int32_t area_width;
    int32_t area_height;
    int32_t width;
    int32_t height;
    int32_t fill_color;
};

// The stored privacy masks of one channel ("privacy_mask").
struct privacy_mask {
    int32_t id;
    privacy_mask_area areas[PRIVACY_MASK_AREAS];
};

WIRE_END

WIRE_SIZE(video_lost, 180);
WIRE_OFFSET(video_lost, tri_chnout1_alarms, 24);
WIRE_OFFSET(video_lost, tri_chnout2_alarms, 89);
WIRE_OFFSET(video_lost, ptz_interval, 158);
WIRE_OFFSET(video_lost, audio_id, 170);
WIRE_OFFSET(video_lost, http_notification_interval, 174);
WIRE_SIZE(cameraio, 84);
WIRE_OFFSET(cameraio, tri_channels_string, 16);
WIRE_SIZE(volumedetect, 84);
WIRE_OFFSET(volumedetect, tri_channels_string, 16);
WIRE_SIZE(camera_io_event, 12);
WIRE_SIZE(volume_detect_event, 32);
WIRE_SIZE(trigger_alarms, 28);
WIRE_SIZE(osd, 128);
WIRE_OFFSET(osd, name, 4);
WIRE_OFFSET(osd, show_name, 68);
WIRE_OFFSET(osd, time_format, 84);
WIRE_OFFSET(osd, date_pos_x, 88);
WIRE_OFFSET(osd, name_pos_y, 112);
WIRE_OFFSET(osd, alpha, 120);
WIRE_SIZE(privacy_mask_area, 36);
WIRE_SIZE(privacy_mask, 868);
WIRE_OFFSET(privacy_mask, areas, 4);

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

// Database kinds of the video-loss event.
#define VIDEOLOSS_AUDIBLE_SCHEDULE "videoloss_audible_schedule"
#define VIDEOLOSS_EMAIL_SCHEDULE "videoloss_email_schedule"
#define VIDEOLOSS_PTZ_SCHEDULE "videoloss_ptz_schedule"
#define VIDEOLOSS_WHITELED_SCHEDULE "videoloss_whiteled_esche"
#define VIDEOLOSS_WHITELED_PARAMS "video_loss_white_led_params"
#define VIDEOLOSS_HTTP_SCHEDULE "videoloss_http_notification_sche"
#define VIDEOLOSS_HTTP_PARAMS "videoloss_http_notification_params"
#define EXCEPTION_HTTP_PARAMS "except_http_notification_params"

int read_video_lost(const char* db, video_lost* out, int channel);
int write_video_lost(const char* db, const video_lost* record);
int copy_video_losts(const char* db, int source, uint64_t channels);
// Read-modify-write of one channel's record or of a channel set, each in one
// transaction (see vxdb_update / vxdb_update_set): the set forms change one
// pair of every listed record without losing a change made meanwhile.
int update_video_lost(const char* db, int channel, bool (*change)(video_lost* record, void* context),
                      void* context);
int update_video_losts(const char* db, uint64_t channels,
                       void (*change)(video_lost* record, int channel, void* context), void* context);
// The fixed-form writer of "/6017": the audible schedule, as read back by
// read_videoloss_audible_schedule.
int write_video_loss_schedule(const char* db, const Schedule* schedule, int channel);
int read_videoloss_audible_schedule(const char* db, Schedule* out, int channel);

int read_cameraio(const char* db, cameraio* out, int channel);
int write_cameraio(const char* db, const cameraio* record);
int read_volumedetect(const char* db, volumedetect* out, int channel);
int write_volumedetect(const char* db, const volumedetect* record);

int read_osd(const char* db, osd* out, int channel);
int write_osd(const char* db, const osd* record);
int read_privacy_masks(const char* db, privacy_mask* out, int channel);
int write_privacy_masks(const char* db, const privacy_mask* record);

int read_trigger_alarms(const char* db, trigger_alarms* out);
int write_trigger_alarms(const char* db, const trigger_alarms* record);
// The 8 exception entries of HTTP notification, entry i for exception i.
struct HttpNotificationParams;
int read_http_notification_params_init(const char* db, const char* set_name,
                                       HttpNotificationParams out[EXCEPTION_ENTRIES]);
int write_http_notification_params_batch(const char* db, const char* set_name,
                                         const HttpNotificationParams records[EXCEPTION_ENTRIES]);
// The JSON name of exception i (0..7), at most 31 characters; null outside.
const char* get_exception_name(int index);

// PTZ action entries of one event type and source channel (type 20: the
// people-counting list). An entry is used when its PTZ channel is above 0.
// Adding replaces the entry of the same PTZ channel; 0 stored, 1 the list is
// full, -1 failure.
struct PtzActionEntry;
int write_ptz_params(const char* db, int event_type, const PtzActionEntry* entry);
// Replaces the entry of PTZ channel `old_ptz_channel`: 0 stored, 1 no such
// entry, -1 failure.
int update_ptz_params(const char* db, int event_type, int old_ptz_channel, const PtzActionEntry* entry);
// Deletes the entries of the listed PTZ channels: 0, or -1 on failure.
int delete_ptz_params(const char* db, int event_type, int channel, const int* ptz_channels, int count);

// On-screen display and privacy masks: the camera-side OSD and the masks
// travel to the camera through the core service; the recorder's own OSD is
// the "osd" record above.
enum {
    REQ_OSD_CHANGED = 1007,
    REQ_CAMERA_OSD_GET = 3211,
    RSP_CAMERA_OSD_GET = 8211,
    REQ_CAMERA_OSD_SET = 3210,
    RSP_CAMERA_OSD_SET = 8210,
    REQ_PRIVACY_MASK_GET = 2502,
    RSP_PRIVACY_MASK_GET = 7502,
    REQ_CAMERA_MODEL_TYPE = 2503,
    RSP_CAMERA_MODEL_TYPE = 7503,
    REQ_PRIVACY_MASK_SET = 2509,
    REQ_PRIVACY_MASK_DELETE = 2508,
    REQ_PRIVACY_MASK_EDIT = 3353,
    RSP_PRIVACY_MASK_EDIT = 8353,
};

enum {
    CAMERA_OSD_TEXT_SIZE = 256,    // 255 characters and the NUL
    CAMERA_MASK_AREAS = 28,        // what one camera message carries
    CAMERA_MASK_NAME_SIZE = 64,
    CAMERA_MASK_AREA_LAST_ID = 24,  // the mask table's last area id
    PRIVACY_MASK_WIDTH = 460,      // the page's drawing area
    PRIVACY_MASK_HEIGHT = 260,
};

WIRE_BEGIN

// 1007: the recorder's OSD of a channel changed.
struct osd_change {
    int32_t channel;
    int32_t flag;  // always 1
    int32_t zero;
};

// 3210, and answer 8211 to 3211: a camera's own OSD texts; "_sub" is its
// second stream. A disconnected camera answers channel -1.
struct camera_osd {
    int32_t channel;
    int32_t enable_text;
    char text_name[CAMERA_OSD_TEXT_SIZE];
    int32_t textpos;
    int32_t enable_date;
    int32_t datepos;
    int32_t dateformat;
    int32_t font_size;
    int32_t enable_text_sub;
    char text_name_sub[CAMERA_OSD_TEXT_SIZE];
    int32_t textpos_sub;
    int32_t enable_date_sub;
    int32_t datepos_sub;
    int32_t dateformat_sub;
    int32_t font_size_sub;
    uint8_t reserved[280];
    int32_t type;
};

// One privacy-mask area of the camera messages.
struct camera_mask_area {
    int32_t area_id;
    int32_t enable;
    int32_t start_x;
    int32_t start_y;
    int32_t area_width;
    int32_t area_height;
    int32_t fill_color;
    int32_t ratio;
    char name[CAMERA_MASK_NAME_SIZE];
};

// 2509: the masks for the channels whose selection character is '1'.
struct privacy_mask_set {
    char channels[VIDEO_CHANNELS];
    uint8_t zero0[12];
    int32_t enable;
    int32_t num;
    int32_t cgi_sdk_flag;
    uint8_t zero1[36];
    int32_t area_mask_enable;
    uint8_t zero2[64];
    camera_mask_area areas[CAMERA_MASK_AREAS];
    int32_t mosaic_support;
    int32_t mosaic_num;
    int32_t zero3;
    int32_t delete_flag;  // -1: delete the masks
    uint8_t zero4[8];
};

// Answer 7502 to 2502: a camera's masks. num ordinary masks come first,
// then mosaicNum mosaic masks, 28 at most together.
struct privacy_mask_answer {
    int32_t id;
    int32_t enable;
    int32_t num;
    int32_t cgi_sdk_flag;
    char sdkversion[32];
    int32_t max_ptz_zoom_ratio;
    int32_t area_enable;
    char color_list[64];
    camera_mask_area areas[CAMERA_MASK_AREAS];
    int32_t mosaic_support;
    int32_t mosaic_num;
    int32_t unshown[2];
    int32_t color_support;
    uint8_t reserved[4];
};

// 2508 (area id) and 3353 (mask id): one mask of a channel.
struct privacy_mask_ref {
    int32_t channel;
    int32_t id;
};

WIRE_END

WIRE_SIZE(osd_change, 12);
WIRE_SIZE(camera_osd, 848);
WIRE_OFFSET(camera_osd, text_name, 8);
WIRE_OFFSET(camera_osd, textpos, 264);
WIRE_OFFSET(camera_osd, font_size, 280);
WIRE_OFFSET(camera_osd, enable_text_sub, 284);
WIRE_OFFSET(camera_osd, text_name_sub, 288);
WIRE_OFFSET(camera_osd, textpos_sub, 544);
WIRE_OFFSET(camera_osd, font_size_sub, 560);
WIRE_OFFSET(camera_osd, type, 844);
WIRE_SIZE(camera_mask_area, 96);
WIRE_OFFSET(camera_mask_area, name, 32);
WIRE_SIZE(privacy_mask_set, 2904);
WIRE_OFFSET(privacy_mask_set, enable, 76);
WIRE_OFFSET(privacy_mask_set, num, 80);
WIRE_OFFSET(privacy_mask_set, cgi_sdk_flag, 84);
WIRE_OFFSET(privacy_mask_set, area_mask_enable, 124);
WIRE_OFFSET(privacy_mask_set, areas, 192);
WIRE_OFFSET(privacy_mask_set, mosaic_support, 2880);
WIRE_OFFSET(privacy_mask_set, mosaic_num, 2884);
WIRE_OFFSET(privacy_mask_set, delete_flag, 2892);
WIRE_SIZE(privacy_mask_answer, 2832);
WIRE_OFFSET(privacy_mask_answer, sdkversion, 16);
WIRE_OFFSET(privacy_mask_answer, max_ptz_zoom_ratio, 48);
WIRE_OFFSET(privacy_mask_answer, color_list, 56);
WIRE_OFFSET(privacy_mask_answer, areas, 120);
WIRE_OFFSET(privacy_mask_answer, mosaic_support, 2808);
WIRE_OFFSET(privacy_mask_answer, mosaic_num, 2812);
WIRE_OFFSET(privacy_mask_answer, color_support, 2824);
WIRE_SIZE(privacy_mask_ref, 8);

// Read-modify-write of one channel's OSD in one transaction; `change`
// returns false to write nothing. 0 written, 1 refused, -1 failure.
int update_osd(const char* db, int channel, bool (*change)(osd* record, void* context), void* context);
