// IP-camera module: people-counting groups, POS terminals and face
// detection, with the action set of each, the people-count report backup,
// and the camera payload of the face settings; shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/wire.h"

enum {
    PEOPLECNT_GROUPS = 4,
    POS_TERMINALS = 4,
    REPORT_BACKUP_ENTRIES = 4,
    FACE_CHANNELS = 64,
    FACE_REGIONS = 4,
    FACE_CAPTURE_MODES = 3,
    FACE_SHIELDS = 4,
    FACE_POLYGON_SIZE = 48,
    // Our PTZ event types beside people counting's 20.
    PTZ_EVENT_POS = 21,
    PTZ_EVENT_FACE = 22,
};

// Core-service requests; all but 3383 are answered by code + 5000.
enum {
    REQ_PEOPLECNT_CHANGED = 2290,          // int32 mask of the groups touched
    REQ_PEOPLECNT_DB_RESET = 2291,         // int32 group
    REQ_PEOPLECNT_LIVEVIEW_RESET = 2292,   // int32 group
    REQ_PEOPLECNT_ACTION_CHANGED = 2293,   // {group, 0}
    REQ_POS_CHANGED = 1421,                // int32 terminal
    REQ_REPORT_BACKUP_CHANGED = 1423,      // no payload
    REQ_FACE_CONFIG_SET = 3381,            // face_config
    REQ_FACE_ACTION_CHANGED = 3383,        // int32 channel, not answered
};

#define PEOPLECNT_EFFECTIVE_SCHEDULE "peoplecnt_effective_schedule"
#define PEOPLECNT_AUDIBLE_SCHEDULE "peoplecnt_audible_schedule"
#define PEOPLECNT_EMAIL_SCHEDULE "peoplecnt_email_schedule"
#define PEOPLECNT_PTZ_SCHEDULE "peoplecnt_ptz_schedule"
#define PEOPLECNT_WLED_SCHEDULE "peoplecnt_wled_schedule"
#define PEOPLECNT_HTTP_SCHEDULE "people_cnt_http_notification_sche"
#define PEOPLECNT_HTTP_PARAMS "people_cnt_http_notification_params"
#define POS_SCHEDULE "pos_schedule"  // the effective schedule
#define POS_AUDIBLE_SCHEDULE "pos_audible_schedule"
#define POS_EMAIL_SCHEDULE "pos_email_schedule"
#define POS_PTZ_SCHEDULE "pos_ptz_schedule"
#define POS_WHITELED_SCHEDULE "pos_whiteled_schedule"
#define POS_WHITELED_PARAMS "pos_whiteled_params"
#define POS_HTTP_SCHEDULE "pos_http_notification_sche"
#define POS_HTTP_PARAMS "pos_http_notification_params"
#define FACE_EFFECTIVE_SCHEDULE "face_effective_schedule"
#define FACE_AUDIBLE_SCHEDULE "face_audible_schedule"
#define FACE_MAIL_SCHEDULE "face_mail_schedule"
#define FACE_PTZ_SCHEDULE "face_ptz_schedule"
#define FACE_WHITELED_SCHEDULE "face_whiteled_schedule"
#define FACE_WHITELED_PARAMS "face_whiteled_params"
#define FACE_HTTP_SCHEDULE "face_http_notification_sche"
#define FACE_HTTP_PARAMS "face_http_notification_params"
#define REPORT_EMAIL_PARAM "peoplecnt_report_email"

WIRE_BEGIN
struct peoplecnt_settings {
    int32_t groupid;
    int32_t enable;
    int32_t stays;
    int32_t liveview_auto_reset;
    int32_t auto_day;
    int32_t liveview_font_size;
    char name[64];
    char auto_day_time[64];
    char tri_channels[65];
    char liveview_green_tips[128];
    char liveview_red_tips[128];
    uint8_t reserved[7];
};

struct pos_setting {
    int32_t id;
    int32_t enable;
    char name[64];
    int32_t protocol;
    int32_t connection_mode;
    char ip[32];
    int32_t port;
    int32_t liveview_display;
    int32_t display_channel;
    int32_t start_x;
    int32_t start_y;
    int32_t area_width;
    int32_t area_height;
    int32_t character_encoding;
    int32_t font_size;
    int32_t font_color;
    int32_t overlay_mode;
    int32_t display_time;
    int32_t timeout;
    char privacy1[64];
    char privacy2[64];
    char privacy3[64];
    uint8_t reserved[4];
};

// The action fields of one event source: a people-counting group, a POS
// terminal or a face-detection channel.
struct ipc_event_action {
    int32_t id;
    int32_t enable;
    int32_t tri_alarms;
    int32_t interval;
    int32_t email_interval;
    int32_t email_pic_enable;
    int32_t ptz_interval;
    int32_t alarmout_interval;
    int32_t white_interval;
    int32_t http_notification_interval;
    int32_t audio_id;
    uint32_t tri_channels;  // mask of tri_channels_string
    char tri_channels_string[65];
    char tri_channels_pic[65];
    char tri_chnout1_alarms[65];  // the second follows the first
    char tri_chnout2_alarms[65];
    uint8_t reserved[12];
};

struct peoplecnt_auto_backup {
    int32_t id;
    int32_t report_type;
    int32_t enable;
    int32_t stay_length_type;
    int32_t stay_length_value;
    int32_t backup_day;
    int32_t file_format;
    int32_t time_range;
    int32_t backup_to;
    int32_t line_mask;
    char tri_channels[65];
    char tri_groups[16];
    char backup_time[32];
    uint8_t reserved[7];
};

struct face_polygon {
    char x[FACE_POLYGON_SIZE];
    char y[FACE_POLYGON_SIZE];
};

// Request 3381: the face settings of one camera.
struct face_config {
    int32_t channel;
    int32_t enable;
    int32_t width;
    int32_t height;
    int32_t min_pixel;
    int32_t capture_mode;
    int32_t snapshot_type;
    int32_t snapshot_interval;
    int32_t snapshot_background;
    int32_t pose_yaw;
    int32_t pose_roll;
    int32_t pose_pitch;
    int32_t blur_limit;
    int32_t region_count;
    face_polygon regions[FACE_REGIONS];
    int32_t upload_enable;
    int32_t upload_file_type;
    int32_t nas_enable;
    int32_t nas_file_type;
    int32_t email_enable;
    int32_t email_file_type;
    int32_t http_enable;
    int32_t http_notify_interval;
    char http_url[128];
    char http_user[64];
    char http_password[64];
    int32_t record_seconds;
    int32_t prerecord_seconds;
    int32_t post_enable;
    int32_t post_type;
    int32_t attribute_enable;
    int32_t attribute_type;
    int32_t mosaic_enable;
    int32_t mosaic_mode_status;
    int32_t mutually_exclusive;
    int32_t capture_quality;
    int32_t snapshot;
    int32_t capture_mode_count;
    int32_t capture_modes[FACE_CAPTURE_MODES];
    int32_t shield_count;
    face_polygon shields[FACE_SHIELDS];
    uint8_t reserved[112];
};

// Request 2293.
struct peoplecnt_action_change {
    int32_t groupid;
    int32_t reserved;
};
WIRE_END

typedef ipc_event_action peoplecnt_event;
typedef ipc_event_action pos_event;
typedef ipc_event_action face_event;

WIRE_SIZE(peoplecnt_settings, 480);
WIRE_OFFSET(peoplecnt_settings, liveview_font_size, 20);
WIRE_OFFSET(peoplecnt_settings, name, 24);
WIRE_OFFSET(peoplecnt_settings, auto_day_time, 88);
WIRE_OFFSET(peoplecnt_settings, tri_channels, 152);
WIRE_OFFSET(peoplecnt_settings, liveview_green_tips, 217);
WIRE_OFFSET(peoplecnt_settings, liveview_red_tips, 345);
WIRE_SIZE(pos_setting, 360);
WIRE_OFFSET(pos_setting, name, 8);
WIRE_OFFSET(pos_setting, ip, 80);
WIRE_OFFSET(pos_setting, privacy1, 164);
WIRE_OFFSET(pos_setting, privacy2, 228);
WIRE_OFFSET(pos_setting, privacy3, 292);
WIRE_SIZE(ipc_event_action, 320);
WIRE_OFFSET(ipc_event_action, tri_channels_string, 48);
WIRE_OFFSET(ipc_event_action, tri_chnout1_alarms, 178);
WIRE_OFFSET(ipc_event_action, tri_chnout2_alarms, 243);
WIRE_SIZE(peoplecnt_auto_backup, 160);
WIRE_SIZE(face_polygon, 96);
WIRE_SIZE(face_config, 1288);
WIRE_OFFSET(face_config, regions, 56);
WIRE_OFFSET(face_config, upload_enable, 440);
WIRE_OFFSET(face_config, http_url, 472);
WIRE_OFFSET(face_config, record_seconds, 728);
WIRE_OFFSET(face_config, capture_modes, 776);
WIRE_OFFSET(face_config, shield_count, 788);
WIRE_OFFSET(face_config, shields, 792);
WIRE_SIZE(peoplecnt_action_change, 8);

int read_peoplecnt_settings(const char* db, peoplecnt_settings out[PEOPLECNT_GROUPS]);
int write_peoplecnt_settings(const char* db, const peoplecnt_settings groups[PEOPLECNT_GROUPS]);
// Changes the groups of the mask in one transaction.
int update_peoplecnt_settings(const char* db, uint32_t mask,
                              void (*change)(peoplecnt_settings* group, int groupid, void* context), void* context);
int read_peoplecnt_event(const char* db, peoplecnt_event* out, int group);
int write_peoplecnt_event(const char* db, const peoplecnt_event* record);
// Read-modify-write of one event record; `change` false stores nothing.
// 0 written, 1 refused, -1 failure.
int update_peoplecnt_event(const char* db, int group, bool (*change)(void* record, void* context), void* context);

int read_pos_settings(const char* db, pos_setting out[POS_TERMINALS]);
int read_pos_setting(const char* db, pos_setting* out, int id);
int write_pos_setting(const char* db, const pos_setting* record);
int read_pos_event(const char* db, pos_event* out, int id);
int write_pos_event(const char* db, const pos_event* record);
int update_pos_setting(const char* db, int id, bool (*change)(void* record, void* context), void* context);
int update_pos_event(const char* db, int id, bool (*change)(void* record, void* context), void* context);

int read_face_event(const char* db, face_event* out, int channel);
int write_face_event(const char* db, const face_event* record);
int update_face_event(const char* db, int channel, bool (*change)(void* record, void* context), void* context);

int read_peoplecnt_auto_backup(const char* db, peoplecnt_auto_backup out[REPORT_BACKUP_ENTRIES]);
int write_peoplecnt_auto_backup(const char* db, const peoplecnt_auto_backup entries[REPORT_BACKUP_ENTRIES]);
int update_peoplecnt_auto_backup(const char* db, uint32_t mask,
                                 void (*change)(peoplecnt_auto_backup* entry, int index, void* context),
                                 void* context);
