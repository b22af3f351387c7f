// PTZ module: wire and database records of movement, presets, tours,
// patterns, port and basic settings, shared by the CGI and coresim. The
// camera parameter request lives here too; the IP-camera module reuses it.
#pragma once
#include <cstdint>

#include "platform/wire.h"

enum {
    PTZ_MAX_PRESETS = 300,
    PTZ_MAX_TOURS = 8,
    PTZ_TOUR_POINTS = 48,
    PTZ_MAX_PATTERNS = 4,
    PTZ_STATUS_ROWS = 5,      // tour and auto-scan status: one row per stream
    PTZ_PRESET_NAME_CUT = 30, // the action record's name
    PTZ_FISH_NAME_CUT = 31,   // the name in the fisheye preset parameter
    PTZ_PORT_READ_CHANNELS = 8,
    PTZ_BASIC_MASK_CUT = 64,
};

// Action codes the module itself sends; every other code passes through.
enum {
    PTZ_ACTION_FOCUS_AUTO = 12,
    PTZ_ACTION_STOP = 21,
    PTZ_ACTION_PRESET_SET = 22,  // the only action whose record carries a name
    PTZ_ACTION_PRESET_CLEAR = 23,  // coresim's code for deleting a preset
    PTZ_ACTION_PATTERN_RUN = 25,
    PTZ_ACTION_PATTERN_RECORD = 26,
    PTZ_ACTION_PATTERN_CLEAR = 27,
    PTZ_ACTION_AUTO_SCAN = 40,
};

// Core-service requests; each is answered by code + 5000 when it is waited for.
enum {
    REQ_PTZ_MOVE = 1251,
    REQ_PTZ_PORT_CHANGED = 1252,
    REQ_PTZ_PRESET = 1253,
    REQ_PTZ_PATTERN = 1254,
    REQ_PTZ_TOUR_CLEAR = 1257,
    REQ_PTZ_TOUR_RUN = 1260,
    REQ_PTZ_TOUR_STOP = 1261,
    REQ_PTZ_SUPPORT = 1262,
    REQ_PTZ_TOUR_SET = 1264,
    REQ_PTZ_STATE = 1265,
    REQ_PTZ_PRESET_CALL = 1266,
    REQ_PTZ_ZOOM = 1267,
    REQ_PTZ_FISH_STATE = 1268,
    REQ_PTZ_FISH_TOUR_SET = 1269,
    REQ_PTZ_BASIC_GET = 1270,
    REQ_PTZ_BASIC_SET = 1271,
    REQ_CAMERA_PARAM_SET = 3226,
    REQ_PTZ_CONTROL = 3361,
    REQ_LED_STATUS = 3363,
};

WIRE_BEGIN

// Requests 1251, 1253, 1254.
struct ptz_action {
    int32_t channel;
    int32_t action;
    int32_t preset_id;  // or the pattern id
    int32_t pan_speed;
    int32_t tilt_speed;
    int32_t zoom_speed;
    int32_t focus_speed;
    int32_t zero;
    char preset_name[32];
    int32_t fisheye_type;
    int32_t stream_id;
};

// Requests 1257, 1260, 1261.
struct ptz_tour_cmd {
    int32_t channel;
    int32_t tour_id;
    int32_t zero[4];
    int32_t fisheye_type;
    int32_t stream_id;
};

struct ptz_tour_point {
    int32_t preset;
    int32_t dwell_time;
    int32_t speed;
};

// Request 1264.
struct ptz_tour_set {
    int32_t channel;
    int32_t tour_id;  // 1..8
    int32_t count;
    ptz_tour_point points[PTZ_TOUR_POINTS];
};

// A tour as the state answer and the fisheye request lay it out: three
// arrays rather than points.
struct ptz_tour_block {
    int32_t preset[PTZ_TOUR_POINTS];
    int32_t dwell_time[PTZ_TOUR_POINTS];
    int32_t speed[PTZ_TOUR_POINTS];
};

// Request 1269: only the block of `index` is filled.
struct fish_tour_set {
    int32_t channel;
    int32_t stream_id;
    int32_t index;  // tour counted from 0
    ptz_tour_block tours[PTZ_MAX_TOURS];
};

struct ptz_preset_state {
    int32_t enable;
    char name[32];
};

// Answers 6265 and 6268.
struct ptz_state {
    ptz_preset_state presets[PTZ_MAX_PRESETS];
    ptz_tour_block tours[PTZ_MAX_TOURS];
    int32_t pattern_enable[PTZ_MAX_PATTERNS];
    int32_t tour_status[PTZ_STATUS_ROWS][PTZ_MAX_TOURS];
    int32_t autoscan_status[PTZ_STATUS_ROWS];
};

// Request 1268.
struct ptz_state_request {
    int32_t channel;
    int32_t stream_id;
};

// Request 1266.
struct ptz_preset_call {
    int32_t channel;
    int32_t action;
};

// Request 1267.
struct ptz_zoom {
    int32_t channel;
    int32_t zoom;
    int32_t speed;
};

// Request 3361.
struct ptz_control {
    int32_t channel;
    int32_t command;
};

// Answer 8363.
struct led_status {
    int32_t channel;
    int32_t status;
};

// Request 3226: one web parameter of a connected camera.
struct camera_param_set {
    int32_t channel;
    char pagename[64];
    char httpname[64];
    char key[128];
    char value[128];
    int32_t zero;
};

// Request 1271 and answer 6270.
struct ptz_basic {
    int32_t status;
    int32_t channel;
    int32_t zoom_status;
    int32_t pan_tilt_status;
    int32_t preset_status;
    int32_t patrol_status;
    int32_t pattern_status;
    int32_t auto_scan_status;
    int32_t preset_freezing;
    int32_t preset_speed;
    int32_t manual_speed;
    int32_t patrol_recovering;
    int32_t patrol_recovery_time;
    int32_t focus_mode;
    int32_t min_focus_distance;
    int32_t resume_time;
    int32_t fan_working_mode;
    char channel_mask[65];
    uint8_t pad[3];
};

// Database: the PTZ speeds of a channel.
struct db_ptz_speed {
    int32_t channel;
    int32_t pan_speed;
    int32_t tilt_speed;
    int32_t zoom_speed;
    int32_t focus_speed;
};

// Database: the tours of a channel, point (t, k) at (48t + k) x 12.
struct db_ptz_tour {
    ptz_tour_point points[PTZ_MAX_TOURS][PTZ_TOUR_POINTS];
};

// Database: the serial port settings of a channel.
struct db_ptz_port {
    int32_t channel;
    int32_t baud_rate;
    int32_t data_bits;
    int32_t stop_bits;
    int32_t parity_type;
    int32_t protocol;
    int32_t address;
    int32_t zero;
    int32_t connect_type;
};

WIRE_END

WIRE_SIZE(ptz_action, 72);
WIRE_OFFSET(ptz_action, zero, 28);
WIRE_OFFSET(ptz_action, preset_name, 32);
WIRE_OFFSET(ptz_action, fisheye_type, 64);
WIRE_OFFSET(ptz_action, stream_id, 68);
WIRE_SIZE(ptz_tour_cmd, 32);
WIRE_OFFSET(ptz_tour_cmd, fisheye_type, 24);
WIRE_OFFSET(ptz_tour_cmd, stream_id, 28);
WIRE_SIZE(ptz_tour_point, 12);
WIRE_SIZE(ptz_tour_set, 588);
WIRE_OFFSET(ptz_tour_set, points, 12);
WIRE_SIZE(ptz_tour_block, 576);
WIRE_SIZE(fish_tour_set, 4620);
WIRE_OFFSET(fish_tour_set, tours, 12);
WIRE_SIZE(ptz_preset_state, 36);
WIRE_SIZE(ptz_state, 15604);
WIRE_OFFSET(ptz_state, tours, 10800);
WIRE_OFFSET(ptz_state, pattern_enable, 15408);
WIRE_OFFSET(ptz_state, tour_status, 15424);
WIRE_OFFSET(ptz_state, autoscan_status, 15584);
WIRE_SIZE(camera_param_set, 392);
WIRE_OFFSET(camera_param_set, pagename, 4);
WIRE_OFFSET(camera_param_set, httpname, 68);
WIRE_OFFSET(camera_param_set, key, 132);
WIRE_OFFSET(camera_param_set, value, 260);
WIRE_OFFSET(camera_param_set, zero, 388);
WIRE_SIZE(ptz_basic, 136);
WIRE_OFFSET(ptz_basic, fan_working_mode, 64);
WIRE_OFFSET(ptz_basic, channel_mask, 68);
WIRE_SIZE(db_ptz_speed, 20);
WIRE_SIZE(db_ptz_tour, 4608);
WIRE_SIZE(db_ptz_port, 36);
WIRE_OFFSET(db_ptz_port, zero, 28);
WIRE_OFFSET(db_ptz_port, connect_type, 32);

// The page every camera parameter of this module is set on.
#define CAMERA_PARAM_PAGE "vsetting.html"

// A camera parameter request: page name empty, texts cut to their fields.
inline camera_param_set camera_param_make(int32_t channel, const char* httpname, const char* key, const char* value)
{
    camera_param_set set;
    __builtin_memset(&set, 0, sizeof set);
    set.channel = channel;
    wire_text(set.httpname, httpname);
    wire_text(set.key, key);
    wire_text(set.value, value);
    return set;
}

// Database records, one per channel 0..63; 0 on success, -1 on failure.
int read_ptz_speed(const char* db, db_ptz_speed* out, int channel);
int write_ptz_speed(const char* db, const db_ptz_speed* speed, int channel);
int read_ptz_tour(const char* db, db_ptz_tour* out, int channel);
int write_ptz_tour(const char* db, const db_ptz_tour* tours, int channel);
int read_ptz_port(const char* db, db_ptz_port* out, int channel);
int write_ptz_port(const char* db, const db_ptz_port* port, int channel);
// Read-modify-write of one channel's record in one transaction (vxdb_update):
// 0 written, 1 refused by `change`, -1 database failure.
int update_ptz_speed(const char* db, int channel, bool (*change)(db_ptz_speed* speed, void* context),
                     void* context);
int update_ptz_tour(const char* db, int channel, bool (*change)(db_ptz_tour* tours, void* context),
                    void* context);
