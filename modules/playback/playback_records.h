// Playback and live view: wire records of recording search, playback
// sessions, live streams, image adjustment and stream addresses, shared by
// the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/wire.h"

enum {
    PLAYBACK_MAX_ENTRIES = 64,  // sessions, jump pairs and mask positions a record holds
    PLAYBACK_LAST_CHANNEL = 7,  // requests name channels 0..7
    PLAYBACK_TEXT_CUT = 31,     // time texts of the 32-byte fields
    PLAYBACK_MINUTES_PER_DAY = 1440,
};

// Core-service requests of the module; answered by code + 5000 except where noted.
enum {
    REQ_PLAYBACK_FAST = 1112,           // session_list: ids, speeds
    REQ_PLAYBACK_STEP_BATCH = 1113,     // session_list: ids, count 0
    REQ_PLAYBACK_SLOW = 1149,           // speed_mask by channel
    REQ_PLAYBACK_TIME = 1153,           // session id
    REQ_PLAYBACK_SEARCH = 1159,         // search_request
    REQ_PLAYBACK_SEARCH_CLOSE = 1160,   // session_list
    REQ_PLAYBACK_SEARCH_PAGE = 1161,    // search_page
    REQ_PLAYBACK_START = 1162,          // playback_start
    REQ_PLAYBACK_STOP = 1164,           // session_list
    REQ_PLAYBACK_PAUSE = 1165,          // session_list
    REQ_PLAYBACK_RESUME = 1166,         // playback_resume
    REQ_PLAYBACK_SPEED = 1167,          // speed_mask by session id
    REQ_PLAYBACK_STEP = 1170,           // session_list
    REQ_PLAYBACK_JUMP = 1171,           // jump_request
    REQ_PLAYBACK_TRANSCODE = 1176,      // transcode_request
    REQ_PLAYBACK_TRANSCODE_STATE = 1177,  // transcode_query
    REQ_LIVE_IMAGE_SET = 1205,          // image_adjust
    REQ_LIVE_STOP = 1901,               // live_request
    REQ_LIVE_STOP_ALL = 1902,           // no payload
    REQ_PLAYBACK_CLOSE = 1903,          // session id
    REQ_LIVE_IMAGE_GET = 3002,          // channel
    REQ_PLAYBACK_MASK_START = 3109,     // mask_start, answered by 8103
    REQ_LIVE_START = 3500,              // live_request
    REQ_PLAYBACK_STREAM_INFO = 3502,    // session id
    REQ_LIVE_RTSP_INFO = 3503,          // no payload
    REQ_EXTERN_PORTS = 3506,            // no payload
    REQ_PLAYBACK_BUSY = 4011,           // no payload
};

// Answers the dispatcher knows.
enum {
    RSP_PLAYBACK_STATUS = 6148,
    RSP_PLAYBACK_TIME = 6153,
    RSP_PLAYBACK_SEARCH = 6159,
    RSP_PLAYBACK_SEARCH_PAGE = 6161,
    RSP_PLAYBACK_START = 6162,
    RSP_PLAYBACK_JUMP = 6171,
    RSP_DOWNLOAD_CHUNK = 6173,
    RSP_PLAYBACK_TRANSCODE = 6176,
    RSP_PLAYBACK_TRANSCODE_STATE = 6177,
    RSP_LIVE_IMAGE = 8002,
    RSP_DAY_MAP = 8101,
    RSP_PLAYBACK_TIME_ALT = 8102,
    RSP_PLAYBACK_MASK_START = 8103,
    RSP_PLAYBACK_JUMP_TIME = 8104,
    RSP_PLAYBACK_JUMP_TIMES = 8115,
    RSP_PLAYBACK_PLAY_TIMES = 8116,
    RSP_LIVE_START = 8500,
    RSP_DAY_MAP_SHORT = 8501,
    RSP_PLAYBACK_STREAM_INFO = 8502,
    RSP_LIVE_RTSP_INFO = 8503,
    RSP_EXTERN_PORTS = 8506,
    RSP_PLAYBACK_BUSY = 9011,
};

WIRE_BEGIN

// Request 1159.
struct search_request {
    char channels[64];  // "1" at the searched channel, "0" up to the channel count
    int32_t zero;
    int32_t one;
    int32_t stream;     // 1: sub stream
    int32_t minus_one[2];
    char start[32];
    char end[32];
};

// Answers 6159 and 6161, one per recorded section.
struct search_section {
    int32_t channel;
    int32_t sid;
    uint8_t reserved0[4];
    int32_t lock;
    uint8_t reserved1[4];
    int32_t record_type;
    char start[32];
    char end[32];
    uint8_t reserved2[16];
};

// Requests 1112, 1113, 1160, 1164, 1165 and 1170.
struct session_list {
    int32_t ids[64];
    int32_t reserved0;
    int32_t speeds[64];
    uint8_t reserved1[256];
    int32_t count;
};

// Request 1162.
struct playback_start {
    int32_t channel;
    int32_t sid;
    uint8_t zero[8];
    char start[32];
    char end[32];
    char play[32];
};

// Requests 1149 and 1167.
struct speed_mask {
    char mask[64];  // '0'/'1' per position, no NUL
    int32_t zero;
    int32_t speed;
    int32_t flag;
};

// Request 1171.
struct jump_request {
    int32_t channels[64];
    int32_t sids[64];
    int32_t count;
    char time[64];
};

// Request 3109.
struct mask_start {
    int32_t seconds;  // local time through mktime
    char play[32];
    int32_t masks[8];
};

// Answer 8103 to request 3109.
struct mask_start_reply {
    int32_t session;
    char play[32];
    int32_t result;  // nonzero: refused
};

// Answer 8502.
struct stream_info {
    int32_t session;
    int32_t port;
    int32_t external_port;
    int32_t external_http_port;
    int32_t ddns_port;
    int32_t ddns_http_port;
    char source_path[128];
};

// Answer 8500.
struct live_reply {
    int32_t channel;
    int32_t port;
    uint8_t reserved0[16];
    int32_t direct;
    int32_t result;  // negative: failed
    uint8_t reserved1[64];
    char rtsp_addr[256];
    char res_path[128];
    uint8_t reserved2[496];
};

// Requests 3500 and 1901.
struct live_request {
    int32_t channel;
    int32_t stream_type;
    int32_t stream_from;  // 0 in 1901
};

// Request 1205.
struct image_adjust {
    int32_t channel;
    int32_t brightness;
    int32_t contrast;
    int32_t saturation;
    int32_t sharpness;
    int32_t noise_reduction;
    int32_t i2ddnr;
};

// Answer 8002: the values as a change sends them, and the outcome.
struct image_reply {
    image_adjust image;
    int32_t result;  // negative: failed
};

// Detail block of the image log entry (kind 107): values scaled to 0..100.
struct image_log_detail {
    int32_t brightness;
    int32_t contrast;
    int32_t saturation;
    int32_t sharpness;
    int32_t noise_reduction;
};

// One recorder stream of an 8503 record.
struct rtsp_stream {
    int32_t reserved0;
    int32_t port;
    int32_t external_port;
    int32_t ddns_port;
    int32_t external_http_port;
    int32_t ddns_http_port;
    uint8_t reserved1[8];
    char user[32];
    char password[32];
    uint8_t reserved2[256];
    char res_path[128];
};

// Answer 8503, one per channel.
struct rtsp_info {
    int32_t reserved;
    char ipc_main[256];
    char ipc_sub[256];
    rtsp_stream main;
    rtsp_stream sub;
};

// Request 1166.
struct playback_resume {
    int32_t sid;
    int32_t direction;
};

// Request 1161.
struct search_page {
    int32_t sid;
    int32_t page;
};

// Request 1176.
struct transcode_request {
    int32_t channel;
    int32_t sid;
    int32_t mode;
    int32_t frame_size;
    int32_t bitrate;
    int32_t frame_rate;
};

// Request 1177.
struct transcode_query {
    int32_t channel;
    int32_t sid;
};

// Answers 6176 and 6177.
struct transcode_state {
    int32_t channel;
    int32_t sid;
    int32_t state;
    uint8_t reserved[12];
};

// Answer 8506.
struct extern_ports {
    int32_t upnp;
    int32_t ddns;
};

// Answers 8115 and 8116, one per session.
struct session_time {
    int32_t sid;
    int32_t seconds;
};

// Answer 8101: the record type of each minute of one day.
struct day_map {
    int32_t channel;
    int16_t types[1440];
    uint8_t reserved[4];
};

// Answer 8501: the same with one byte per minute.
struct day_map_short {
    int32_t channel;
    uint8_t types[1440];
    uint8_t reserved[4];
};

// The database's description of the recorder model.
struct db_device {
    int32_t id;
    int32_t max_channels;
    uint8_t reserved[56];
};

WIRE_END

WIRE_SIZE(search_request, 148);
WIRE_OFFSET(search_request, zero, 64);
WIRE_OFFSET(search_request, one, 68);
WIRE_OFFSET(search_request, stream, 72);
WIRE_OFFSET(search_request, minus_one, 76);
WIRE_OFFSET(search_request, start, 84);
WIRE_OFFSET(search_request, end, 116);

WIRE_SIZE(search_section, 104);
WIRE_OFFSET(search_section, sid, 4);
WIRE_OFFSET(search_section, lock, 12);
WIRE_OFFSET(search_section, record_type, 20);
WIRE_OFFSET(search_section, start, 24);
WIRE_OFFSET(search_section, end, 56);

WIRE_SIZE(session_list, 776);
WIRE_OFFSET(session_list, reserved0, 256);
WIRE_OFFSET(session_list, speeds, 260);
WIRE_OFFSET(session_list, count, 772);

WIRE_SIZE(playback_start, 112);
WIRE_OFFSET(playback_start, sid, 4);
WIRE_OFFSET(playback_start, start, 16);
WIRE_OFFSET(playback_start, end, 48);
WIRE_OFFSET(playback_start, play, 80);

WIRE_SIZE(speed_mask, 76);
WIRE_OFFSET(speed_mask, zero, 64);
WIRE_OFFSET(speed_mask, speed, 68);
WIRE_OFFSET(speed_mask, flag, 72);

WIRE_SIZE(jump_request, 580);
WIRE_OFFSET(jump_request, sids, 256);
WIRE_OFFSET(jump_request, count, 512);
WIRE_OFFSET(jump_request, time, 516);

WIRE_SIZE(mask_start, 68);
WIRE_OFFSET(mask_start, play, 4);
WIRE_OFFSET(mask_start, masks, 36);

WIRE_SIZE(mask_start_reply, 40);
WIRE_OFFSET(mask_start_reply, play, 4);
WIRE_OFFSET(mask_start_reply, result, 36);

WIRE_SIZE(stream_info, 152);
WIRE_OFFSET(stream_info, port, 4);
WIRE_OFFSET(stream_info, external_port, 8);
WIRE_OFFSET(stream_info, external_http_port, 12);
WIRE_OFFSET(stream_info, ddns_port, 16);
WIRE_OFFSET(stream_info, ddns_http_port, 20);
WIRE_OFFSET(stream_info, source_path, 24);

WIRE_SIZE(live_reply, 976);
WIRE_OFFSET(live_reply, port, 4);
WIRE_OFFSET(live_reply, direct, 24);
WIRE_OFFSET(live_reply, result, 28);
WIRE_OFFSET(live_reply, rtsp_addr, 96);
WIRE_OFFSET(live_reply, res_path, 352);

WIRE_SIZE(live_request, 12);
WIRE_SIZE(image_adjust, 28);
WIRE_OFFSET(image_adjust, sharpness, 16);
WIRE_OFFSET(image_adjust, i2ddnr, 24);
WIRE_SIZE(image_reply, 32);
WIRE_OFFSET(image_reply, image, 0);
WIRE_OFFSET(image_reply, result, 28);
WIRE_SIZE(image_log_detail, 20);

WIRE_SIZE(rtsp_stream, 480);
WIRE_OFFSET(rtsp_stream, port, 4);
WIRE_OFFSET(rtsp_stream, external_port, 8);
WIRE_OFFSET(rtsp_stream, ddns_port, 12);
WIRE_OFFSET(rtsp_stream, external_http_port, 16);
WIRE_OFFSET(rtsp_stream, ddns_http_port, 20);
WIRE_OFFSET(rtsp_stream, user, 32);
WIRE_OFFSET(rtsp_stream, password, 64);
WIRE_OFFSET(rtsp_stream, res_path, 352);
WIRE_SIZE(rtsp_info, 1476);
WIRE_OFFSET(rtsp_info, ipc_main, 4);
WIRE_OFFSET(rtsp_info, ipc_sub, 260);
WIRE_OFFSET(rtsp_info, main, 516);
WIRE_OFFSET(rtsp_info, sub, 996);

WIRE_SIZE(playback_resume, 8);
WIRE_SIZE(search_page, 8);
WIRE_SIZE(transcode_request, 24);
WIRE_OFFSET(transcode_request, frame_rate, 20);
WIRE_SIZE(transcode_query, 8);
WIRE_SIZE(transcode_state, 24);
WIRE_OFFSET(transcode_state, state, 8);
WIRE_SIZE(extern_ports, 8);
WIRE_SIZE(session_time, 8);
WIRE_SIZE(day_map, 2888);
WIRE_OFFSET(day_map, types, 4);
WIRE_SIZE(day_map_short, 1448);
WIRE_OFFSET(day_map_short, types, 4);
WIRE_SIZE(db_device, 64);
WIRE_OFFSET(db_device, max_channels, 4);

// The device record. Absent, its channel count is the "max_cameras"
// parameter (default 32), so a database without one still searches.
int db_get_device(const char* db, db_device* out);
int db_set_device(const char* db, const db_device* device);
