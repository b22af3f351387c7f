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

// ---- Smart (video-analytics) events: the action record per channel and
// event, and the camera payloads of the analytics settings.

enum {
    SMART_EVENTS = 9,  // events 0..8, the "type" / "event" of a request
    VCA_REGION_TEXT_SIZE = 300,
    VCA_POLYGON_SIZE = 64,
    VCA_REGION_ENTRIES = 4,
    VCA_REGION_POLYGONS = 5,
    VCA_LINES = 4,
    VCA_FRAME_WIDTH = 460,  // the browser draws on this frame
    VCA_FRAME_HEIGHT = 260,
    VCA_DEFAULT_WIDTH = 1920,
    VCA_DEFAULT_HEIGHT = 1080,
};

enum {
    REQ_SMART_EVENT_CHANGED = 1412,
    REQ_VCA_ENTRANCE_GET = 3237,
    REQ_VCA_EXIT_GET = 3238,
    REQ_VCA_MOTION_GET = 3239,
    REQ_VCA_TAMPER_GET = 3240,
    REQ_VCA_LINE_GET = 3241,
    REQ_VCA_LOITERING_GET = 3242,
    REQ_VCA_HUMAN_GET = 3243,
    REQ_VCA_ENTRANCE_SET = 3244,
    REQ_VCA_EXIT_SET = 3245,
    REQ_VCA_MOTION_SET = 3246,
    REQ_VCA_TAMPER_SET = 3247,
    REQ_VCA_LINE_SET = 3248,
    REQ_VCA_LOITERING_SET = 3249,
    REQ_VCA_HUMAN_SET = 3250,
    REQ_VCA_PEOPLE_GET = 3253,
    REQ_VCA_PEOPLE_SET = 3254,
    REQ_VCA_SUPPORT = 3257,
    REQ_VCA_SETTINGS_GET = 3259,
    REQ_VCA_SETTINGS_SET = 3260,
    REQ_VCA_PEOPLE_RESET = 3261,
    REQ_VCA_LEFTREMOVE_GET = 3268,
    REQ_VCA_LEFTREMOVE_SET = 3269,
};

WIRE_BEGIN

// The actions of smart event `event` on channel `id` ("smart_event", idx =
// event * 64 + channel): the action fields of the motion record.
struct smart_event {
    int32_t id;
    int32_t event;
    int32_t enable;
    uint32_t tri_channels;  // derived from tri_channels_string, channels 0..31
    int32_t tri_alarms;
    int32_t interval;
    char tri_channels_string[CHANNEL_STRING_SIZE];
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
    uint8_t reserved[8];
};

struct vca_polygon {
    char x[VCA_POLYGON_SIZE];
    char y[VCA_POLYGON_SIZE];
};

struct vca_region_info {
    int32_t enable;
    int32_t zero;
    int32_t time;
    int32_t objtype;
    vca_polygon polygons[VCA_REGION_POLYGONS];
};

// 3244..3247, 3249, 3250 and the answers 8237..8243 but 8241.
struct vca_region_event {
    int32_t channel;
    int32_t enable;
    uint8_t zero[16];
    int32_t sensitivity;
    int32_t time;
    int32_t size;
    int32_t tracks;
    char region[VCA_REGION_TEXT_SIZE];
    int32_t ignore_time;
    int32_t objtype;
    char polygon_x[VCA_POLYGON_SIZE];
    char polygon_y[VCA_POLYGON_SIZE];
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero2[23];
    int32_t region_type;
    int32_t region_scene;
    vca_region_info info[VCA_REGION_ENTRIES];
    uint8_t zero3[4];
};

struct vca_leftremove_info {
    int32_t left_enable;
    int32_t remove_enable;
    uint8_t zero[8];
    vca_polygon polygons[VCA_REGION_POLYGONS];
};

// 3269 and answer 8268: objects left or removed.
struct vca_leftremove_event {
    int32_t channel;
    int32_t zero;
    int32_t sensitivity;
    int32_t left_enable;
    int32_t remove_enable;
    int32_t min_time;
    uint8_t zero2[16];
    char region[VCA_REGION_TEXT_SIZE];
    char polygon_x[VCA_POLYGON_SIZE];
    char polygon_y[VCA_POLYGON_SIZE];
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero3[19];
    int32_t region_type;
    int32_t region_scene;
    vca_leftremove_info info[VCA_REGION_ENTRIES];
    uint8_t zero4[4];
};

struct vca_line {
    int32_t x1, y1, x2, y2;
    int32_t direction;
    uint8_t zero[104];
};

// 3248 and answer 8241: line crossing, in the camera's picture frame.
struct vca_line_event {
    int32_t channel;
    int32_t enable;
    int32_t width;  // answer only
    int32_t height;
    vca_line lines[VCA_LINES];
    int32_t objtype;
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero[31];
};

// 3254 and answer 8253: people counting (our layout).
struct vca_people_event {
    int32_t channel;
    int32_t sensitivity;
    int32_t line_num;
    int32_t line_enable;
    int32_t auto_reset_enable;
    int32_t direction;
    int32_t show_count_enable;
    int32_t auto_reset_weekday;
    int32_t auto_reset_hour;
    int32_t auto_reset_min;
    int32_t auto_reset_sec;
    int32_t start_x, start_y, stop_x, stop_y;
    int32_t width;
    int32_t height;
    int32_t osd_enable;
    int32_t osd_font_size;
    int32_t osd_text_pos;
    int32_t osd_type;
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero[99];
};

// 3260 and answer 8259: the camera's analytics settings (our layout; the
// boxes fit in 16 bits, the camera's picture being at most 4K).
struct vca_settings {
    int32_t channel;
    int32_t fps;
    int32_t mode;
    int32_t installation;
    int32_t analysis;
    int32_t width;
    int32_t height;
    int32_t vca_type;
    int32_t x1, y1, x2, y2;  // "position", in the camera's frame
    int16_t min_start_x, min_start_y, min_width, min_height;
    int16_t max_start_x, max_start_y, max_width, max_height;
};

// 3261: reset a people count.
struct vca_people_reset {
    int32_t channel;
    int32_t line;
    int32_t resetdb;
    uint8_t zero[8];
};

// Answer 8257 to 3257.
struct vca_support {
    int32_t support;
    int32_t type;
};

WIRE_END

WIRE_SIZE(smart_event, 320);
WIRE_OFFSET(smart_event, tri_channels_string, 24);
WIRE_OFFSET(smart_event, tri_chnout1_alarms, 93);
WIRE_OFFSET(smart_event, tri_channels_pic, 239);
WIRE_OFFSET(smart_event, http_notification_interval, 308);
WIRE_SIZE(vca_polygon, 128);
WIRE_SIZE(vca_region_info, 656);
WIRE_SIZE(vca_region_event, 3200);
WIRE_OFFSET(vca_region_event, sensitivity, 24);
WIRE_OFFSET(vca_region_event, tracks, 36);
WIRE_OFFSET(vca_region_event, region, 40);
WIRE_OFFSET(vca_region_event, ignore_time, 340);
WIRE_OFFSET(vca_region_event, polygon_x, 348);
WIRE_OFFSET(vca_region_event, polygon_y, 412);
WIRE_OFFSET(vca_region_event, copy_channels, 476);
WIRE_OFFSET(vca_region_event, region_type, 564);
WIRE_OFFSET(vca_region_event, info, 572);
WIRE_SIZE(vca_leftremove_info, 656);
WIRE_SIZE(vca_leftremove_event, 3188);
WIRE_OFFSET(vca_leftremove_event, sensitivity, 8);
WIRE_OFFSET(vca_leftremove_event, min_time, 20);
WIRE_OFFSET(vca_leftremove_event, region, 40);
WIRE_OFFSET(vca_leftremove_event, polygon_x, 340);
WIRE_OFFSET(vca_leftremove_event, copy_channels, 468);
WIRE_OFFSET(vca_leftremove_event, region_type, 552);
WIRE_OFFSET(vca_leftremove_event, info, 560);
WIRE_SIZE(vca_line, 124);
WIRE_SIZE(vca_line_event, 612);
WIRE_OFFSET(vca_line_event, lines, 16);
WIRE_OFFSET(vca_line_event, objtype, 512);
WIRE_OFFSET(vca_line_event, copy_channels, 516);
WIRE_SIZE(vca_people_event, 248);
WIRE_SIZE(vca_settings, 64);
WIRE_SIZE(vca_people_reset, 20);
WIRE_SIZE(vca_support, 8);

enum {
    REQ_IPC_VCA_LINE_GET = 1209,  // answered by code + 5000 too
    REQ_IPC_VCA_LINE_SET = 1210,
    REQ_IPC_VCA_SETTINGS_GET = 1211,
    REQ_IPC_VCA_SETTINGS_SET = 1212,
    REQ_IPC_REGIONAL_GET = 1220,
    REQ_IPC_REGIONAL_SET = 1221,
    REQ_FISHEYE_MODE_SET = 3231,
    REQ_FISHEYE_INFO_GET = 3232,
    REQ_FISHEYE_CHECK = 3373,
    REQ_FISHEYE_SET = 3374,
    FISHEYE_TEXT_SIZE = 64,
    REGIONAL_AREAS = 4,
};

WIRE_BEGIN

struct vca_line2 {
    int32_t x1, y1, x2, y2;
    int32_t direction;
    int32_t enable;
    int32_t objtype;
};

// 1210 and answer 6209 to 1209: line crossing of the newer cameras (our
// layout).
struct ipc_vca_line {
    int32_t channel;
    int32_t width;
    int32_t height;
    int32_t sensitivity;
    int32_t enable;
    int32_t objtype;
    int32_t line_type;
    int32_t line_scene;
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero[3];
    vca_line2 lines[VCA_LINES];
    uint8_t zero2[416];
};

// 1212 and answer 6211 to 1211: analytics settings of the newer cameras
// (our layout).
struct ipc_vca_settings {
    int32_t channel;
    int32_t fps;
    int32_t mode;
    int32_t installation;
    int32_t analysis;
    int32_t width;
    int32_t height;
    int32_t x1, y1, x2, y2;  // "position", in the camera's frame
    int32_t min_start_x, min_start_y, min_width, min_height;
    int32_t max_start_x, max_start_y, max_width, max_height;
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero[215];
};

// 3231, and answer 8232 to 3232: a fisheye camera's mounting and view.
struct fisheye_mode {
    int32_t channel;
    int32_t result;  // answer only
    int32_t mount;
    int32_t display;
    int32_t correct;
};

// 3373: a fisheye camera to check by its address; 3374 adds what to set.
struct fisheye_check {
    char ddns[FISHEYE_TEXT_SIZE];
    char ipaddr[FISHEYE_TEXT_SIZE];
    char username[FISHEYE_TEXT_SIZE];
    char password[FISHEYE_TEXT_SIZE];
    int32_t port;
};
struct fisheye_set {
    fisheye_check camera;
    int32_t transfer;
    int32_t install;
    int32_t display;
};
// Answer 8373.
struct fisheye_support {
    int32_t support;
    int32_t transfer;
    int32_t install;
    int32_t display;
    int32_t stream_count;
};

struct regional_area {
    int32_t enable;
    char polygon_x[VCA_POLYGON_SIZE];
    char polygon_y[VCA_POLYGON_SIZE];
    int32_t max_stay_enable;
    int32_t max_stay_value;
    int32_t min_stay_enable;
    int32_t min_stay_value;
    int32_t max_stay_time_enable;
    int32_t max_stay_time_value;
};

// 1221 and answer 6220 to 1220: regional people counting (our layout).
struct ipc_regional_info {
    int32_t result;
    int32_t channel;
    int32_t sensitivity;
    int32_t min_obj_x, min_obj_y, min_obj_width, min_obj_height;
    int32_t max_obj_x, max_obj_y, max_obj_width, max_obj_height;
    regional_area areas[REGIONAL_AREAS];
    char copy_channels[CHANNEL_STRING_SIZE];
    uint8_t zero[3];
};

WIRE_END

WIRE_SIZE(vca_line2, 28);
WIRE_SIZE(ipc_vca_line, 628);
WIRE_OFFSET(ipc_vca_line, lines, 100);
WIRE_SIZE(ipc_vca_settings, 356);
WIRE_OFFSET(ipc_vca_settings, copy_channels, 76);
WIRE_SIZE(fisheye_mode, 20);
WIRE_SIZE(fisheye_check, 260);
WIRE_SIZE(fisheye_set, 272);
WIRE_SIZE(fisheye_support, 20);
WIRE_SIZE(regional_area, 156);
WIRE_SIZE(ipc_regional_info, 736);
WIRE_OFFSET(ipc_regional_info, areas, 44);
WIRE_OFFSET(ipc_regional_info, copy_channels, 668);

// Database of the smart events (smart_db.cpp).
struct Schedule;
struct EventActionTables;
// The action tables of event 0..8 (its schedules, white-LED and HTTP tables,
// PTZ type event + 5); null for any other number.
const EventActionTables* smart_event_tables(int event);
// kind 0: the schedule table, kind 1: the parameter table; null for an
// event outside 0..8 or another kind.
const char* get_vca_white_table_name(int event, int kind);
const char* get_vca_http_table_name(int event, int kind);

// 0 found, 1 absent (zeros), -1 failure or a channel or event out of range.
int read_smart_event(const char* db, smart_event* out, int channel, int event);
int write_smart_event(const char* db, const smart_event* record);
// Read-modify-write of (channel, event) in one transaction: 0 written,
// 1 refused, -1 failure.
int update_smart_event(const char* db, int channel, int event, bool (*change)(smart_event* record, void* context),
                       void* context);
// Copies the record and every action table of (source, event) to each
// channel of the set, each copy under its own channel.
int copy_smart_event_action(const char* db, int source, int event, uint64_t channels);
// The effective schedule of (channel, event); the other action tables are
// reached by name through smart_event_tables().
int read_smart_event_effective_schedule(const char* db, Schedule* out, int channel, int event);
int write_smart_event_effective_schedule(const char* db, const Schedule* schedule, int channel, int event);

// Regional people counting: the action record of (channel, region 0..3) in
// the smart-event layout ("event" holds the region) and its tables.
const EventActionTables* regional_pcnt_tables(int region);
int read_regional_pcnt_event(const char* db, smart_event* out, int channel, int region);
int write_regional_pcnt_event(const char* db, const smart_event* record);
int update_regional_pcnt_event(const char* db, int channel, int region,
                               bool (*change)(smart_event* record, void* context), void* context);
int copy_regional_pcnt_event(const char* db, int source, int region, uint64_t channels);
// The effective schedule of (channel, region); the copy takes every action
// table of the region (schedules, white-LED and HTTP parameters) to the set.
int read_regional_pcnt_schedule(const char* db, Schedule* out, int channel, int region);
int write_regional_pcnt_schedule(const char* db, const Schedule* schedule, int channel, int region);
int copy_regional_pcnt_schedule(int source, int region, uint64_t channels);

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
// A schedule of one channel and mode by table name (one of the
// ANPR_*_SCHEDULE kinds).
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
