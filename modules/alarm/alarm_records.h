// Alarm module: the NVR's alarm inputs and outputs, the cameras' alarm inputs
// and outputs, their event and name records and the core-service payloads,
// shared by the CGI, coresim and the device-state page. One definition.
#pragma once
#include <cstdint>

#include "platform/wire.h"

enum {
    ALARM_CHANNELS = 64,
    NVR_ALARM_INPUTS = 16,
    NVR_ALARM_OUTPUTS = 4,
    CAMERA_ALARM_INPUTS = 4,
    CAMERA_ALARM_OUTPUTS = 2,
    ALARM_NAME_SIZE = 256,
    ALARM_EVENT_NAME_SIZE = 64,
    ALARM_CHANNEL_STRING_SIZE = 65,
    // PTZ action entries of camera alarm input i are event type 14 + i,
    // clear of the motion (1), video-loss (2) and other event numbers.
    PTZ_EVENT_CAMERA_ALARM_IN = 14,
};

// Core-service requests; the waiting ones are answered by code + 5000.
enum {
    REQ_ALARM_IN_CHANGED = 1404,
    REQ_ALARM_OUT_CHANGED = 1405,
    REQ_ALARM_OUT_SWITCH = 1409,
    REQ_ALARM_IN_SET_CHANGED = 1415,
    REQ_CAMERA_ALARM_IN_SET_CHANGED = 1417,
    REQ_CAMERA_ALARM_OUT_SET_CHANGED = 1418,
    REQ_CAMERA_ALARM_OUT_GET = 3296,
    REQ_CAMERA_ALARM_IN_GET = 3298,
    REQ_CAMERA_ALARM_OUT_SET = 3324,
    REQ_CAMERA_ALARM_IN_SET = 3325,
    REQ_CAMERA_ALARM_OUT_SWITCH = 3352,
    RSP_CAMERA_ALARM_OUT_GET = 8296,
    RSP_CAMERA_ALARM_IN_GET = 8298,
};

WIRE_BEGIN

// An NVR alarm input ("alarm_in", idx = input). The device-state page reads
// name at 8 and type at 264 of these 936 bytes.
struct alarm_in {
    int32_t id;
    int32_t enable;
    char name[ALARM_NAME_SIZE];
    int32_t type;
    uint32_t tri_channels;  // derived from tri_channels_string, channels 0..31
    int32_t tri_alarms;
    int32_t interval;
    char tri_channels_string[ALARM_CHANNEL_STRING_SIZE];
    int32_t email_enable;
    int32_t email_interval;
    char tri_chnout1_alarms[ALARM_CHANNEL_STRING_SIZE];
    char tri_chnout2_alarms[ALARM_CHANNEL_STRING_SIZE];
    int32_t ptz_interval;
    int32_t alarmout_interval;
    int32_t white_interval;
    int32_t email_pic_enable;
    char tri_channels_pic[ALARM_CHANNEL_STRING_SIZE];
    int32_t audio_id;
    int32_t http_notification_interval;
    char tri_snapshot[ALARM_CHANNEL_STRING_SIZE];
    uint8_t reserved[299];
};

// An NVR alarm output ("alarm_out", idx = output).
struct alarm_out {
    int32_t id;
    char name[ALARM_NAME_SIZE];
    int32_t type;
    int32_t enable;
    int32_t duration_time;
};

// The actions of camera alarm input `input` of `channel`
// ("alarm_chnIn_event", idx = input * 64 + channel).
struct alarm_chnIn_event {
    int32_t channel;
    int32_t input;
    uint32_t tri_channels;
    int32_t tri_alarms;
    int32_t interval;
    char tri_channels_string[ALARM_CHANNEL_STRING_SIZE];
    int32_t email_interval;
    char tri_chnout1_alarms[ALARM_CHANNEL_STRING_SIZE];
    char tri_chnout2_alarms[ALARM_CHANNEL_STRING_SIZE];
    int32_t ptz_interval;
    int32_t alarmout_interval;
    int32_t white_interval;
    int32_t email_pic_enable;
    char tri_channels_pic[ALARM_CHANNEL_STRING_SIZE];
    int32_t audio_id;
    int32_t http_notification_interval;
    uint8_t reserved[20];
};

// The name of camera alarm input `input` ("alarm_chnIn_event_name",
// idx = input * 64 + channel).
struct alarm_chnIn_event_name {
    int32_t channel;
    int32_t input;
    char name[ALARM_EVENT_NAME_SIZE];
};

// Name and hold time of camera alarm output `output`
// ("alarm_chnOut_event_name", idx = output * 64 + channel).
struct alarm_chnOut_event_name {
    int32_t channel;
    int32_t output;
    int32_t delay_time;
    char name[ALARM_EVENT_NAME_SIZE];
};

// 3298 (channel first, alarm_cnt 4) and its answer 8298.
struct camera_alarm_in_state {
    int32_t channel;
    int32_t enable[CAMERA_ALARM_INPUTS];
    int32_t type[CAMERA_ALARM_INPUTS];
    int32_t status[CAMERA_ALARM_INPUTS];
    int32_t alarm_cnt;
};

// Answer 8296 (3296 carries only the channel).
struct camera_alarm_out_state {
    int32_t channel;
    int32_t type[CAMERA_ALARM_OUTPUTS];
    int32_t status[CAMERA_ALARM_OUTPUTS];
    int32_t alarm_cnt;
};

struct camera_alarm_in_slot {
    int32_t zero;
    int32_t enable;
    int32_t input;
    int32_t type;
};
// 3325: the camera alarm inputs of a channel set.
struct camera_alarm_in_set {
    camera_alarm_in_slot slots[CAMERA_ALARM_INPUTS];
    int32_t alarm_cnt;
    int32_t zero;
    uint64_t channels;
};

struct camera_alarm_out_slot {
    int32_t zero;
    int32_t output;
    int32_t type;
};
// 3324: the camera alarm outputs of a channel set.
struct camera_alarm_out_set {
    camera_alarm_out_slot slots[CAMERA_ALARM_OUTPUTS];
    int32_t alarm_cnt;
    int32_t zero;
    uint64_t channels;
};

// 3352: a camera alarm output switched by hand.
struct camera_alarm_out_switch {
    int32_t channel;
    int32_t output;
    int32_t state;
};

// 1409: an NVR alarm output switched by hand.
struct alarm_out_switch {
    int32_t output;
    int32_t enable;
};

WIRE_END

WIRE_SIZE(alarm_in, 936);
WIRE_OFFSET(alarm_in, name, 8);
WIRE_OFFSET(alarm_in, type, 264);
WIRE_OFFSET(alarm_in, tri_channels_string, 280);
WIRE_OFFSET(alarm_in, tri_chnout1_alarms, 353);
WIRE_OFFSET(alarm_in, tri_channels_pic, 499);
WIRE_OFFSET(alarm_in, tri_snapshot, 572);
WIRE_SIZE(alarm_out, 272);
WIRE_OFFSET(alarm_out, name, 4);
WIRE_OFFSET(alarm_out, type, 260);
WIRE_OFFSET(alarm_out, enable, 264);
WIRE_OFFSET(alarm_out, duration_time, 268);
WIRE_SIZE(alarm_chnIn_event, 328);
WIRE_OFFSET(alarm_chnIn_event, tri_channels_string, 20);
WIRE_OFFSET(alarm_chnIn_event, tri_chnout1_alarms, 89);
WIRE_OFFSET(alarm_chnIn_event, tri_channels_pic, 235);
WIRE_OFFSET(alarm_chnIn_event, http_notification_interval, 304);
WIRE_SIZE(alarm_chnIn_event_name, 72);
WIRE_OFFSET(alarm_chnIn_event_name, name, 8);
WIRE_SIZE(alarm_chnOut_event_name, 76);
WIRE_OFFSET(alarm_chnOut_event_name, delay_time, 8);
WIRE_OFFSET(alarm_chnOut_event_name, name, 12);
WIRE_SIZE(camera_alarm_in_state, 56);
WIRE_OFFSET(camera_alarm_in_state, alarm_cnt, 52);
WIRE_SIZE(camera_alarm_out_state, 24);
WIRE_OFFSET(camera_alarm_out_state, alarm_cnt, 20);
WIRE_SIZE(camera_alarm_in_set, 80);
WIRE_OFFSET(camera_alarm_in_set, alarm_cnt, 64);
WIRE_OFFSET(camera_alarm_in_set, channels, 72);
WIRE_SIZE(camera_alarm_out_set, 40);
WIRE_OFFSET(camera_alarm_out_set, alarm_cnt, 24);
WIRE_OFFSET(camera_alarm_out_set, channels, 32);
WIRE_SIZE(camera_alarm_out_switch, 12);
WIRE_SIZE(alarm_out_switch, 8);

// The PTZ event type of camera alarm input `input` (0..3), or -1.
inline int converse_chn_alarmid_to_event_in(int input)
{
    return input >= 0 && input < CAMERA_ALARM_INPUTS ? PTZ_EVENT_CAMERA_ALARM_IN + input : -1;
}

// Database kinds and tables (alarm_db.cpp). Camera alarm-input tables are
// one set per input: "%d" is the input 0..3.
#define ALARM_OUT_SCHEDULE "alarm_out_schedule"
#define ALARMIN_EFFECTIVE_SCHEDULE "alarmin_effective_schedule"
#define ALARMIN_AUDIBLE_SCHEDULE "alarmin_audible_schedule"
#define ALARMIN_EMAIL_SCHEDULE "alarmin_email_schedule"
#define ALARMIN_PTZ_SCHEDULE "alarmin_ptz_schedule"
#define ALARMIN_WHITELED_SCHEDULE "alarmin_whiteled_esche"
#define ALARMIN_WHITELED_PARAMS "alarm_in_white_led_params"
#define ALARMIN_HTTP_SCHEDULE "alarmin_http_notification_sche"
#define ALARMIN_HTTP_PARAMS "alarmin_http_notification_params"
#define ALARM_CHNOUT_EFFECTIVE_SCHEDULE "alarm_chnOut%d_effective_schedule"
#define ALARM_CHNIN_EFFECTIVE_SCHEDULE "alarm_chnIn%d_effective_schedule"
#define ALARM_CHNIN_AUDIBLE_SCHEDULE "alarm_chnIn%d_audible_schedule"
#define ALARM_CHNIN_MAIL_SCHEDULE "alarm_chnIn%d_mail_schedule"
#define ALARM_CHNIN_PTZ_SCHEDULE "alarm_chnIn%d_ptz_schedule"
#define ALARM_CHNIN_WHITELED_SCHEDULE "alarm_chnIn%d_whiteled_esche"
#define ALARM_CHNIN_WHITELED_PARAMS "alarm_chnIn%d_white_led_params"
#define ALARM_CHNIN_HTTP_SCHEDULE "alarm_chnIn%d_http_notification_sche"
#define ALARM_CHNIN_HTTP_PARAMS "alarm_chnIn%d_http_notification_params"

int read_alarm_out(const char* db, alarm_out* out, int output);
int write_alarm_out(const char* db, const alarm_out* record);
int read_alarm_outs(const char* db, alarm_out out[NVR_ALARM_OUTPUTS]);
int write_alarm_outs(const char* db, const alarm_out records[NVR_ALARM_OUTPUTS]);
int read_alarm_in(const char* db, alarm_in* out, int input);
int write_alarm_in(const char* db, const alarm_in* record);
int read_alarm_chnIn_event(const char* db, alarm_chnIn_event* out, int channel, int input);
int write_alarm_chnIn_event(const char* db, const alarm_chnIn_event* record);
// Each copy carries its own channel.
int copy_alarm_chnIn_events(const char* db, int source, int input, uint64_t channels);
int read_alarm_chnIn_event_name(const char* db, alarm_chnIn_event_name* out, int channel, int input);
int write_alarm_chnIn_event_name(const char* db, const alarm_chnIn_event_name* record);
// The 64 channels' names of one input.
int read_alarm_chnIn_event_names(const char* db, alarm_chnIn_event_name out[ALARM_CHANNELS], int input);
int read_alarm_chnOut_event_name(const char* db, alarm_chnOut_event_name* out, int channel, int output);
int write_alarm_chnOut_event_name(const char* db, const alarm_chnOut_event_name* record);
int read_alarm_chnOut_event_names(const char* db, alarm_chnOut_event_name out[ALARM_CHANNELS], int output);
// Read-modify-write of one input's record of a channel in one transaction;
// `change` returns false to write nothing. 0 written, 1 refused, -1 failure.
int update_alarm_chnIn_event(const char* db, int channel, int input,
                             bool (*change)(alarm_chnIn_event* record, void* context), void* context);
int update_alarm_out(const char* db, int output, bool (*change)(alarm_out* record, void* context), void* context);
int update_alarm_in(const char* db, int input, bool (*change)(alarm_in* record, void* context), void* context);
// Every NVR input of the set (bits 0..15) in one transaction.
int update_alarm_ins(const char* db, uint64_t inputs, void (*change)(alarm_in* record, int input, void* context),
                     void* context);
