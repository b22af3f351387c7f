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

// ---- Licence plates (ANPR) and scheduled snapshots ----------------------
#include "core/encodings.h"

enum {
    ANPR_MODE_GENERAL = -1,  // the settings dialog's own event
    ANPR_MODE_BLACK = 0,
    ANPR_MODE_WHITE = 1,
    ANPR_MODE_VISITOR = 2,
    ANPR_MODES = 4,              // -1..2, stored as mode + 1
    ANPR_LIST_TYPE_SIZE = 16,    // 15 characters and the NUL
    ANPR_PLATE_SIZE = 64,        // 63 characters and the NUL
    ANPR_LIST_CAPACITY = 10000,  // plates the list holds, and one request's limit
    ANPR_FORMATS = 9,
    ANPR_FORMAT_SIZE = 16,
    ANPR_AREAS = 4,
    ANPR_AREA_NAME_SIZE = 64,
    // PTZ action entries of ANPR mode m use event type 16 + m (15..18): the
    // types next to the smart events' 5..13 and the camera alarm input's 14.
    PTZ_EVENT_ANPR_BASE = 16,
    SNAPSHOT_FLAGS = 64,
};

enum {
    REQ_ANPR_CHANGED = 1416,
    REQ_IPC_ANPR_FORMAT_GET = 1207,
    REQ_IPC_ANPR_FORMAT_SET = 1208,
    REQ_IPC_LPR_STATE_GET = 1215,
    REQ_ANPR_SETTINGS_GET = 3289,
    REQ_ANPR_SETTINGS_SET = 3290,
    REQ_ANPR_SUPPORT_GET = 3293,
    RSP_IPC_ANPR_FORMAT_GET = 6207,
    RSP_IPC_ANPR_FORMAT_SET = 6208,
    RSP_IPC_LPR_STATE_GET = 6215,
    RSP_ANPR_SETTINGS_GET = 8289,
    RSP_ANPR_SETTINGS_SET = 8290,
    RSP_ANPR_SUPPORT_GET = 8293,
    REQ_SNAPSHOT_SETTINGS_CHANGED = 1311,
    REQ_SNAPSHOT_SCHEDULE_CHANGED = 1312,
    REQ_SNAPSHOT_START_STOP = 1313,
};

WIRE_BEGIN

// The ANPR event of one channel and mode ("anpr_event", idx (mode + 1) * 64
// + channel): the enable and the motion record's action fields.
struct anpr_event {
    int32_t id;
    int32_t mode;
    int32_t enable;
    uint32_t tri_channels;  // derived from tri_channels_string, channels 0..31
    int32_t tri_alarms;
    int32_t interval;
    char tri_channels_string[CHANNEL_STRING_SIZE];
    int32_t email_enable;
    int32_t email_interval;
    char tri_chnout1_alarms[CHANNEL_STRING_SIZE];
    char tri_chnout2_alarms[CHANNEL_STRING_SIZE];
    int32_t ptz_interval;
    int32_t alarmout_interval;
    int32_t white_interval;
    int32_t email_pic_enable;
    char tri_channels_pic[CHANNEL_STRING_SIZE];
    int32_t audio_id;
    int32_t http_notification_interval;
    uint8_t reserved[12];
};

// 1416: the actions of a channel and mode changed.
struct anpr_event_change {
    int32_t channel;
    int32_t mode;
};

// One plate of the list in anpr.db ("anpr_list", idx = row).
struct anpr_list {
    char type[ANPR_LIST_TYPE_SIZE];
    char plate[ANPR_PLATE_SIZE];
};

// 1208, and answer 6207 to 1207: a camera's plate formats.
struct anpr_plate_format {
    int32_t channel;
    int32_t filter;
    int32_t enable[ANPR_FORMATS];
    int32_t cr_count[ANPR_FORMATS];
    char format[ANPR_FORMATS][ANPR_FORMAT_SIZE];
};

struct anpr_area {
    char name[ANPR_AREA_NAME_SIZE];
    int32_t start_x;
    int32_t start_y;
    int32_t end_x;
    int32_t end_y;
    int32_t preset;
};

// 3290, and answer 8289 to 3289: a camera's recognition settings.
struct anpr_settings {
    int32_t channel;
    int32_t enable;
    int32_t resolution_width;
    int32_t resolution_height;
    int32_t area_x;
    int32_t area_y;
    int32_t area_width;
    int32_t area_height;
    int32_t day_night_mode_enable;
    int32_t scene;
    int32_t direction_enable;
    int32_t region_enable;
    int32_t roiid_enable;
    int32_t process_mode;
    int32_t repeat_check_time_value;
    int32_t repeat_check_time_unit;
    int32_t post_enable;
    int32_t post_type;
    int32_t post_tcp_port;
    char post_http_user[128];
    char post_http_password[128];
    char post_http_url[512];
    int32_t confidence;
    int32_t night_mode_enable;
    int32_t night_mode_level;
    int32_t night_mode_starthour;
    int32_t night_mode_startminute;
    int32_t night_mode_stophour;
    int32_t night_mode_stopminute;
    int32_t night_mode_effective_mode;
    int32_t cur_area;
    int32_t in_night_mode;
    anpr_area region[ANPR_AREAS];
    anpr_area roi[ANPR_AREAS];
    uint8_t reserved[2116];
};

// Answer 6215 to 1215: the camera's recognition state.
struct ipc_lpr_state {
    int32_t channel;
    int32_t state;
    int32_t zoom_number;
};

// Answer 8293 to 3293: whether a camera recognises plates.
struct anpr_support {
    int32_t channel;
    int32_t vca_support;
    int32_t vca_version;
};

// The snapshot schedule of one channel ("snapshot_schedule").
struct snapshot_schedule {
    int32_t channel;
    Schedule schedule;
};

// The snapshot settings of one channel ("snapshot").
struct snapshot {
    int32_t channel;
    int32_t resolution;
    int32_t quality;
    int32_t interval;
    int32_t interval_unit;
    int32_t expiration_date;
    uint8_t reserved[12];
};

// 1311, 1312, 1313: an action word (1313: 1 start, 0 stop) and a flag per
// channel.
struct snapshot_channel_flags {
    int32_t action;
    int32_t flags[SNAPSHOT_FLAGS];
};

WIRE_END

WIRE_SIZE(anpr_event, 328);
WIRE_OFFSET(anpr_event, tri_channels_string, 24);
WIRE_OFFSET(anpr_event, tri_chnout1_alarms, 97);
WIRE_OFFSET(anpr_event, ptz_interval, 227);
WIRE_OFFSET(anpr_event, tri_channels_pic, 243);
WIRE_OFFSET(anpr_event, http_notification_interval, 312);
WIRE_SIZE(anpr_event_change, 8);
WIRE_SIZE(anpr_list, 80);
WIRE_OFFSET(anpr_list, plate, 16);
WIRE_SIZE(anpr_plate_format, 224);
WIRE_OFFSET(anpr_plate_format, cr_count, 44);
WIRE_OFFSET(anpr_plate_format, format, 80);
WIRE_SIZE(anpr_area, 84);
WIRE_SIZE(anpr_settings, 3672);
WIRE_OFFSET(anpr_settings, post_http_user, 76);
WIRE_OFFSET(anpr_settings, confidence, 844);
WIRE_OFFSET(anpr_settings, region, 884);
WIRE_OFFSET(anpr_settings, roi, 1220);
WIRE_SIZE(ipc_lpr_state, 12);
WIRE_SIZE(anpr_support, 12);
WIRE_SIZE(snapshot_schedule, 26180);
WIRE_OFFSET(snapshot_schedule, schedule, 4);
WIRE_SIZE(snapshot, 36);
WIRE_SIZE(snapshot_channel_flags, 260);

// Database kinds of the ANPR event: the four schedules are kept per channel
// and mode at (mode + 1) * 64 + channel; the white-LED and HTTP tables of a
// mode are per channel.
#define ANPR_EFFECTIVE_SCHEDULE "anpr_effective_schedule"
#define ANPR_AUDIBLE_SCHEDULE "anpr_audible_schedule"
#define ANPR_EMAIL_SCHEDULE "anpr_mail_schedule"
#define ANPR_PTZ_SCHEDULE "anpr_ptz_schedule"

// A mode outside -1..2 or a channel outside 0..63 reads and writes nothing
// (-1).
int read_anpr_event(const char* db, anpr_event* out, int channel, int mode);
int write_anpr_event(const char* db, const anpr_event* record);
// Read-modify-write of one channel and mode's record in one transaction;
// `change` returns false to write nothing. 0 written, 1 refused, -1 failure.
int update_anpr_event(const char* db, int channel, int mode, bool (*change)(anpr_event* record, void* context),
                      void* context);
int read_anpr_effective_schedule(const char* db, Schedule* out, int channel, int mode);
int write_anpr_effective_schedule(const char* db, const Schedule* schedule, int channel, int mode);
int read_anpr_audible_schedule(const char* db, Schedule* out, int channel, int mode);
int write_anpr_audible_schedule(const char* db, const Schedule* schedule, int channel, int mode);
int read_anpr_mail_schedule(const char* db, Schedule* out, int channel, int mode);
int write_anpr_mail_schedule(const char* db, const Schedule* schedule, int channel, int mode);
int read_anpr_ptz_schedule(const char* db, Schedule* out, int channel, int mode);
int write_anpr_ptz_schedule(const char* db, const Schedule* schedule, int channel, int mode);
// The same four by table name (one of the ANPR_*_SCHEDULE kinds).
int read_anpr_schedule(const char* db, const char* table, Schedule* out, int channel, int mode);
int write_anpr_schedule(const char* db, const char* table, const Schedule* schedule, int channel, int mode);

// The plate list (VXDB_ANPR). Plates are unique: adding one that is listed
// replaces its type. Each call is one transaction over the whole list.
// Adds or replaces `count` entries; returns how many are stored (a full list
// stores no new plate), -1 when the database failed (nothing stored).
int write_anpr_list_replace_batch(const char* db, const anpr_list* entries, int count);
// Deletes the listed plates; 0, or -1 when the database failed.
int delete_anpr_lists(const char* db, const char (*plates)[ANPR_PLATE_SIZE], int count);
int delete_anpr_list(const char* db, const char* plate);
// Adds a plate that is not listed: 0, 1 when listed or the list is full, -1.
int write_anpr_list(const char* db, const anpr_list* entry);
// Replaces the type of a listed plate: 0, 1 when not listed, -1.
int update_anpr_list(const char* db, const anpr_list* entry);
// 0 and the entry when the plate is listed, 1 when not, -1 on failure.
int read_anpr_list_plate(const char* db, const char* plate, anpr_list* out);
// Plates listed, or -1.
int read_anpr_list_count(const char* db);
// "/6185" in one transaction: for each change, the old plate is deleted and
// the new one added with the type, or given the type when it is listed.
// Returns the changes stored, or -1 (nothing stored).
struct anpr_plate_change {
    char old_plate[ANPR_PLATE_SIZE];
    anpr_list entry;
};
int update_anpr_list_batch(const char* db, const anpr_plate_change* changes, int count);

int read_snapshot_schedule(const char* db, snapshot_schedule* out, int channel);
// Stores the schedule for every channel of the set, each record under its
// channel, in one transaction; other channels keep theirs.
int write_snapshot_schedules(const char* db, const Schedule* schedule, uint64_t channels);
int read_snapshot(const char* db, snapshot* out, int channel);
// Stores `record` for every channel of the set, each copy under its channel.
int copy_snapshots(const char* db, const snapshot* record, uint64_t channels);
