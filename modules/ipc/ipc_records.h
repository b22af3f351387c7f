// IP-camera module: the camera protocols and models of the database and the
// payloads of the camera requests (search, test, streams, addresses,
// upgrade), shared by the CGI and coresim. The camera record itself is
// db_camera (modules/record/record_records.h).
#pragma once
#include <cstdint>

#include "platform/wire.h"

enum {
    IPC_CHANNELS = 64,
    IPC_REMOVABLE_CHANNELS = 8,  // "/2005" and "/2009" take channels 0..7 only
    IPC_PROTOCOL_MAX = 7,
    IPC_TRANSPORT_MAX = 2,
    IPC_PROTOCOLS = 16,
    IPC_MODELS = 256,
    IPC_TEXT_SIZE = 64,
    IPC_PATH_SIZE = 256,
    IPC_SCHEDULE_EVENTS = 9,  // motion, then smart events 0..7
    IPC_UPGRADE_REPORTED = 8,  // statuses "/2079" prints
    IPC_SEARCH_MAX = 256,
};

// Core-service requests of the module; the waiting ones are answered by
// code + 5000, the others are not answered.
enum {
    REQ_IPC_CAMERA_CHANGED = 1201,
    REQ_IPC_CAMERA_REMOVED = 1202,
    REQ_IPC_CAMERA_LOGIN_CHANGED = 1203,
    REQ_IPC_POE_CHANGED = 1206,
    REQ_IPC_SEARCH = 3200,
    REQ_IPC_TEST = 3202,
    REQ_IPC_TEST_EX = 3227,
    REQ_IPC_STREAM_SET = 3203,
    REQ_IPC_STREAM_GET = 3204,
    REQ_IPC_NETWORK_SET = 3205,
    REQ_IPC_NETWORK_BATCH = 3229,
    REQ_IPC_NETWORK_RESULT = 3230,
    REQ_IPC_STREAM_TIME = 3493,
    REQ_IPC_UPGRADE_START = 3379,
    REQ_IPC_UPGRADE_SET = 3385,
    REQ_IPC_UPGRADE_STATUS = 3386,
    REQ_IPC_UPGRADE_STOP = 3390,
};

// Results of a camera test (answers 8202, 8227).
enum {
    IPC_TEST_OK = 0,
    IPC_TEST_NETWORK = 1,
    IPC_TEST_USER = 2,
    IPC_TEST_OK_LIMITED = 4,
    IPC_TEST_BANDWIDTH = 5,
};

// Statuses of a camera upgrade (answers 8379, 8386): 0..100 percent done.
enum {
    IPC_UPGRADE_DONE = 100,
    IPC_UPGRADE_FAILED = -1,
    IPC_UPGRADE_STOPPED = -2,
    IPC_UPGRADE_IDLE = -3,
};

// Where the camera firmware waits for an upgrade; the system module's camera
// upgrade upload leaves it there.
#define IPC_UPGRADE_IMAGE "/dev/shm/updateIPCFM.bin"

WIRE_BEGIN

// A camera protocol the recorder speaks ("ipc_protocols", idx = id).
struct ipc_protocol {
    int32_t id;
    int32_t enable;
    char name[IPC_TEXT_SIZE];
    int32_t protocol_function;
    int32_t display_model;
    int32_t alarm_type;
    char default_model[IPC_TEXT_SIZE];
};

// A camera model of a protocol ("ipc_models", idx = model number).
struct ipc_model {
    int32_t id;
    int32_t protocol_id;
    char name[IPC_TEXT_SIZE];
};

// Detail block 111 of a camera change in the operation log.
struct camera_log_detail {
    int32_t parameter;  // 901
    char address[64];
    int32_t manage_port;
    int32_t channel;  // counted from 1
    char protocol[48];
    char transport[48];
    int32_t sync_time;
};

// Request 1206: the PoE port of a channel changed.
struct ipc_poe_change {
    int32_t channel;
    int32_t other_poe;
};

// One camera of answer 8200.
struct ipc_search_result {
    char address[IPC_TEXT_SIZE];
    int32_t manage_port;
    int32_t protocol;
    char mac_addr[32];
    char vendor[32];
    char sn[64];
    char fw_version[64];
    char model[64];
    int32_t model_id;
    char netmask[16];
    char dns[16];
    char gateway[16];
    int32_t netif;
    int32_t active_status;
    char name[64];
    char sn_real[64];
};

// Request 3202: can the camera be reached with these credentials.
struct ipc_test {
    char address[IPC_TEXT_SIZE];
    int32_t manage_port;
    char user_name[IPC_TEXT_SIZE];
    char password[IPC_TEXT_SIZE];
    int32_t protocol;
    uint8_t reserved[8];
};

// Request 3227: the same for cameras that take shorter credentials.
struct ipc_test_ex {
    char address[IPC_TEXT_SIZE];
    int32_t manage_port;
    char user_name[32];
    char password[32];
    int32_t protocol;
    uint8_t reserved[12];
};

// Request 3203: the streams of a camera; answer 8203 is one int32, 0 when
// taken, -1 when a value is outside the camera's ranges.
struct ipc_stream_set {
    int32_t id;
    int32_t video_type_enable;
    int32_t sub_enable;
    int32_t fisheye_type;
    int32_t main_video_type;
    int32_t main_res_width;
    int32_t main_res_height;
    int32_t main_framerate;
    int32_t main_bitrate;
    int32_t main_iframe_interval;
    int32_t main_bitrate_control;
    int32_t main_smart_stream;
    int32_t main_smart_stream_level;
    int32_t record_type;
    int32_t event_framerate;
    int32_t event_iframe_interval;
    int32_t event_bitrate;
    int32_t sub_video_type;
    int32_t sub_res_width;
    int32_t sub_res_height;
    int32_t sub_framerate;
    int32_t sub_bitrate;
    int32_t sub_iframe_interval;
    int32_t sub_bitrate_control;
    int32_t sub_smart_stream;
    int32_t sub_smart_stream_level;
    uint8_t reserved[100];
};

// One stream of answer 8204: the settings and what the camera allows.
struct ipc_stream_info {
    char cur_res[32];      // "1920*1080"
    char resolutions[128]; // choices, ";"-separated
    int32_t video_type;
    int32_t framerate;
    int32_t max_framerate;
    int32_t bitrate;
    int32_t min_bitrate;
    int32_t max_bitrate;
    int32_t iframe_interval;
    int32_t bitrate_control;
    int32_t smart_stream;
    int32_t smart_stream_level;
};

// Answer 8204.
struct ipc_stream_reply {
    int32_t channel;
    int32_t sub_enable;
    ipc_stream_info main_stream;
    ipc_stream_info sub_stream;
};

// Request 3205: new address settings for a camera found by its MAC.
struct ipc_network_set {
    char mac_addr[32];
    char old_address[IPC_TEXT_SIZE];
    char new_address[IPC_TEXT_SIZE];
    char netmask[16];
    char gateway[16];
    char dns[16];
    int32_t port;
    char user_name[IPC_TEXT_SIZE];
    char password[IPC_TEXT_SIZE];
    int32_t protocol;
    int32_t netif;
    uint8_t reserved[40];
};

// Request 3229: one camera of a batch address change.
struct ipc_network_batch {
    ipc_network_set camera;
    int32_t modify_num;
    int32_t channel;
};

// One record of answer 8230: how an address change ended.
struct ipc_network_result {
    char old_address[IPC_TEXT_SIZE];
    char new_address[IPC_TEXT_SIZE];
    int32_t channel;
    int32_t result;  // as the answer of 3205
};

// Request 3493: what a stream recorded at a time.
struct ipc_stream_time {
    int32_t channel;
    int32_t stream_type;
    char time[32];  // "%Y-%m-%d %H:%M:%S"
    uint8_t reserved[40];
};

// Requests 3385 and 3379: the cameras to upgrade and the image to use.
struct ipc_upgrade_request {
    uint64_t channels;
    uint64_t reset_channels;
    int64_t file_size;
    char path[IPC_PATH_SIZE];
};

// Answer 8379.
struct ipc_upgrade_started {
    int64_t channels;
    int32_t status;
    uint8_t reserved[4];
    char channel_string[72];
};

// Answer 8386: the status of each channel; an older core service sends the
// record only as far as its channels go.
struct ipc_upgrade_status {
    int64_t channels;
    int32_t status[IPC_CHANNELS];
    char channel_string[72];
};

WIRE_END

WIRE_SIZE(ipc_protocol, 148);
WIRE_OFFSET(ipc_protocol, name, 8);
WIRE_OFFSET(ipc_protocol, default_model, 84);
WIRE_SIZE(ipc_model, 72);
WIRE_SIZE(camera_log_detail, 176);
WIRE_OFFSET(camera_log_detail, address, 4);
WIRE_OFFSET(camera_log_detail, manage_port, 68);
WIRE_OFFSET(camera_log_detail, channel, 72);
WIRE_OFFSET(camera_log_detail, protocol, 76);
WIRE_OFFSET(camera_log_detail, transport, 124);
WIRE_OFFSET(camera_log_detail, sync_time, 172);
WIRE_SIZE(ipc_poe_change, 8);
WIRE_SIZE(ipc_search_result, 516);
WIRE_OFFSET(ipc_search_result, model_id, 328);
WIRE_OFFSET(ipc_search_result, netif, 380);
WIRE_OFFSET(ipc_search_result, sn_real, 452);
WIRE_SIZE(ipc_test, 208);
WIRE_OFFSET(ipc_test, protocol, 196);
WIRE_SIZE(ipc_test_ex, 148);
WIRE_OFFSET(ipc_test_ex, protocol, 132);
WIRE_SIZE(ipc_stream_set, 204);
WIRE_OFFSET(ipc_stream_set, sub_smart_stream_level, 100);
WIRE_SIZE(ipc_stream_info, 200);
WIRE_SIZE(ipc_stream_reply, 408);
WIRE_OFFSET(ipc_stream_reply, sub_stream, 208);
WIRE_SIZE(ipc_network_set, 388);
WIRE_OFFSET(ipc_network_set, port, 208);
WIRE_OFFSET(ipc_network_set, protocol, 340);
WIRE_SIZE(ipc_network_batch, 396);
WIRE_SIZE(ipc_network_result, 136);
WIRE_SIZE(ipc_stream_time, 80);
WIRE_SIZE(ipc_upgrade_request, 280);
WIRE_OFFSET(ipc_upgrade_request, path, 24);
WIRE_SIZE(ipc_upgrade_started, 88);
WIRE_SIZE(ipc_upgrade_status, 336);
WIRE_OFFSET(ipc_upgrade_status, channel_string, 264);

// Database records of the module (ipc_db.cpp); 0 on success, -1 on failure.
// The protocols stored, in id order; `count` gets how many.
int read_ipc_protocols(const char* db, ipc_protocol out[IPC_PROTOCOLS], int* count);
int write_ipc_protocol(const char* db, const ipc_protocol* protocol);
// The models of protocol `protocol_id`, at most `capacity`, in model order.
int read_ipc_models_by_protocol(const char* db, int protocol_id, ipc_model* out, int capacity, int* count);
int write_ipc_model(const char* db, const ipc_model* model);
// The effective schedule of a channel's smart event 0..7, kept at
// idx = event * 64 + channel.
struct Schedule;

// ---- camera parameter pass-through (ipc_params.cpp, coresim/sim_ipc_params.cpp)
// Requests and answers the core service forwards to a channel's camera; each
// waiting request R is answered by R + 5000. The common parameters travel as
// camera_param_set (modules/ptz/ptz_records.h), 3226 included.
enum {
    REQ_IPC_PARAM_GET = 3225,
    REQ_IPC_WATERMARK_GET = 1213,
    REQ_IPC_WATERMARK_SET = 1216,
    REQ_IPC_EVENT_STREAM_GET = 1217,
    REQ_IPC_EVENT_STREAM_SET = 1218,
    REQ_IPC_LPR_NIGHT_MODE = 1219,
    REQ_IPC_TYPE = 2507,
    REQ_IPC_REGION_GET = 3271,
    REQ_IPC_REGION_SET = 3288,
    REQ_IPC_REGION_DELETE = 3284,
    REQ_IPC_MOTION_STATUS = 3307,
    REQ_IPC_MAIN_SUB_TYPE = 3360,
    REQ_IPC_SYSTEM_INFO = 3376,
    REQ_IPC_CUSTOM_PARAM = 3377,
    REQ_IPC_COMMAND = 4002,
    REQ_IPC_CHIP_CODE = 4004,
    IPC_CHANNEL_STRING = 64,  // one character per channel
    IPC_COMMAND_SIZE = 100,
    IPC_CUSTOM_DATA_SIZE = 512,
    IPC_REGIONS = 28,
};

WIRE_BEGIN
// Request 1216: the text goes to the camera of every channel whose copy
// character is "1".
struct ipc_watermark_set {
    int32_t channel;
    int32_t enable;
    char watermark[32];
    char copy[IPC_CHANNEL_STRING + 1];
    char pad[3];
};
// Answer 6213.
struct ipc_watermark {
    int32_t channel;
    int32_t enable;
    char watermark[32];
};
// Request 1217.
struct ipc_event_stream_get {
    int32_t channel;
    int32_t fisheye_type;
};
// Request 1218, and answer 6217 in the same layout.
struct ipc_event_stream {
    int32_t channel;
    int32_t zero;
    int32_t enable;
    int32_t framerate;
    int32_t bitrate;
    int32_t iframe_interval;
};
// Answer 6219.
struct ipc_lpr_night_mode {
    int32_t channel;
    int32_t night_mode;
};
// Answer 7507.
struct ipc_type_info {
    int32_t channel;
    char address[IPC_TEXT_SIZE];
    char model[IPC_TEXT_SIZE];
    char fw_version[IPC_TEXT_SIZE];
};
// Request 3284.
struct ipc_region_delete {
    int32_t channel;
    int32_t area_id;
};
// Request 3360.
struct ipc_main_sub_type {
    int32_t channel;
    int32_t main_type;
    int32_t sub_type;
    char time[64];
};
// Answer 8376.
struct ipc_system_info {
    int32_t res;
    int32_t audio_support;
    int32_t audio_support_mode;
    int32_t audio_line_input_support;
    int32_t system_speaker_support;
    int32_t system_manual_speed_support;
};
// Request 3377.
struct ipc_custom_param {
    int32_t channel;
    char url[256];
};
// Answer 8377.
struct ipc_custom_param_result {
    int32_t res;
    int32_t channel;
    char data[IPC_CUSTOM_DATA_SIZE];
};
// Request 4002: a text the core service interprets; never a shell command here.
struct ipc_command {
    char command[IPC_COMMAND_SIZE];
};
// Answer 9002.
struct ipc_command_result {
    char result[128];
};
// Answer 9004.
struct ipc_chip_code {
    char chip_code[64];
};
// Answer 8307: bit n set while channel n sees motion.
struct ipc_motion_status {
    uint64_t channels;
};
WIRE_END

WIRE_SIZE(ipc_watermark_set, 108);
WIRE_OFFSET(ipc_watermark_set, copy, 40);
WIRE_SIZE(ipc_watermark, 40);
WIRE_SIZE(ipc_event_stream_get, 8);
WIRE_SIZE(ipc_event_stream, 24);
WIRE_OFFSET(ipc_event_stream, iframe_interval, 20);
WIRE_SIZE(ipc_lpr_night_mode, 8);
WIRE_SIZE(ipc_type_info, 196);
WIRE_SIZE(ipc_region_delete, 8);
WIRE_SIZE(ipc_main_sub_type, 76);
WIRE_SIZE(ipc_system_info, 24);
WIRE_SIZE(ipc_custom_param, 260);
WIRE_SIZE(ipc_custom_param_result, 520);
WIRE_SIZE(ipc_command, 100);
WIRE_SIZE(ipc_command_result, 128);
WIRE_SIZE(ipc_chip_code, 64);
WIRE_SIZE(ipc_motion_status, 8);

WIRE_BEGIN
// An image region; the camera keeps up to IPC_REGIONS.
struct ipc_region_area {
    int32_t enable;
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
// Request 3288.
struct ipc_image_region_set {
    int32_t channel;
    int32_t enable;
    int32_t count;
    ipc_region_area areas[IPC_REGIONS];
    char reserved[12];
};
// Answer 8271.
struct ipc_image_region {
    int32_t channel;
    int32_t enable;
    int32_t sdk_version;
    int32_t count;
    ipc_region_area areas[IPC_REGIONS];
};
WIRE_END
WIRE_SIZE(ipc_region_area, 20);
WIRE_SIZE(ipc_image_region_set, 584);
WIRE_OFFSET(ipc_image_region_set, areas, 12);
WIRE_SIZE(ipc_image_region, 576);
WIRE_OFFSET(ipc_image_region, areas, 16);

// Image enhancement and display (requests 3221, 3223, 3224, 3280): every
// value an int32, in the order of the page's keys; the lists name both the
// members and the keys.
#define IPC_ENHANCEMENT_VALUES(X) \
    X(smartir) X(whiteblance) X(focusmode) X(antiblurry) X(wdrenable) X(wdrlevel) X(wdrstarthour) \
    X(wdrstartminute) X(wdrstophour) X(wdrstopminute) X(regiontype) X(hlcmode) X(exclude) X(exposemode) \
    X(exposeregion) X(imageschemode) X(hlcday) X(hlcnight) X(redgain) X(bluegain) X(defogmode) X(defoglevel)
// Answer 8221: id, the values, then these.
#define IPC_ENHANCEMENT_READ(X) \
    X(dismode) X(exposetime) X(exposegain) X(wdraflevel) X(exposurectrl) X(hlclevel) X(enblur) X(deblur) \
    X(sdkversion) X(lensType) X(reduceVideoStuttering)
// Request 3280: the channel mask, the values, then these.
#define IPC_ENHANCEMENT_WRITE(X) \
    X(exposetime) X(exposegain) X(hlclevel) X(enblur) X(deblur) X(lensType) X(reduceVideoStuttering) \
    X(modelType) X(aflevel)
// Request 3224 (after id) and the start of answer 8223 (after id).
#define IPC_DISPLAY_VALUES(X) \
    X(colorkiller) X(modestarthour) X(modestartminute) X(modestophour) X(modestopminute) X(exposurectrl) \
    X(lighttype) X(mirctrl) X(localdisplay) X(ircutaddaytonight) X(ircutadnighttoday) X(corridormode) \
    X(imagerotation) X(smartIRType) X(nearIRLevel) X(farIRLevel) X(midIRLevel) X(lencorrect) X(fovadjust) \
    X(smokeddomecover) X(dnRefocus) X(keepCorrectAspectRatio) X(dayNightSens) X(nightDaySens) X(zoomLimit)
#define IPC_DISPLAY_WRITE(X) X(saveCorridor) X(whiteLedLevel)
#define IPC_DISPLAY_READ(X) \
    X(smartIrMath) X(smartIrLimit) X(chipninterface) X(nearSmartirValue) X(farSmartirValue) X(midSmartirValue) \
    X(lenCorrectType) X(sensortype) X(smartwhitestrength) X(sdkversion) X(structuretype)
#define IPC_INT32_MEMBER(name) int32_t name;

enum {
    REQ_IPC_ENHANCEMENT_GET = 3221,
    REQ_IPC_DISPLAY_GET = 3223,
    REQ_IPC_DISPLAY_SET = 3224,
    REQ_IPC_ENHANCEMENT_SET = 3280,
};

WIRE_BEGIN
struct ipc_image_enhancement {
    int32_t id;
    IPC_ENHANCEMENT_VALUES(IPC_INT32_MEMBER)
    IPC_ENHANCEMENT_READ(IPC_INT32_MEMBER)
};
// One payload for every channel of the mask, sent once.
struct ipc_image_enhancement_set {
    uint64_t channels;
    IPC_ENHANCEMENT_VALUES(IPC_INT32_MEMBER)
    IPC_ENHANCEMENT_WRITE(IPC_INT32_MEMBER)
    char reserved[348];
};
struct ipc_image_display_set {
    int32_t id;
    IPC_DISPLAY_VALUES(IPC_INT32_MEMBER)
    IPC_DISPLAY_WRITE(IPC_INT32_MEMBER)
    char reserved[208];
};
struct ipc_image_display {
    int32_t id;
    IPC_DISPLAY_VALUES(IPC_INT32_MEMBER)
    IPC_DISPLAY_READ(IPC_INT32_MEMBER)
    char productmodel[32];
    char softversion[32];
};
WIRE_END
WIRE_SIZE(ipc_image_enhancement, 136);
WIRE_SIZE(ipc_image_enhancement_set, 480);
WIRE_SIZE(ipc_image_display_set, 320);
WIRE_SIZE(ipc_image_display, 212);

// Day/night image profiles (requests 3278, 3279).
enum { REQ_IPC_DAYNIGHT_GET = 3278, REQ_IPC_DAYNIGHT_SET = 3279, IPC_DAYNIGHT_PROFILES = 7 };
WIRE_BEGIN
struct ipc_daynight_profile {
    int32_t enable;
    int32_t start_hour;
    int32_t start_minute;
    int32_t end_hour;
    int32_t end_minute;
    int32_t exposure_level;
    int32_t max_shutter;
    int32_t min_shutter;
    int32_t gain_level;
    int32_t ircut_latency;
    int32_t ircut_state;
    int32_t irled_state;
    int32_t color_mode;
};
// Request 3279 and answer 8278.
struct ipc_daynight {
    int32_t channel;
    int32_t count;
    ipc_daynight_profile profiles[IPC_DAYNIGHT_PROFILES];
    char reserved[24];
};
WIRE_END
WIRE_SIZE(ipc_daynight_profile, 52);
WIRE_SIZE(ipc_daynight, 396);
WIRE_OFFSET(ipc_daynight, profiles, 8);

// ---- audio, model list, motion detection and auto tracking of the cameras
// (ipc_params.cpp, ipc_detect.cpp; coresim/sim_ipc_params.cpp,
// coresim/sim_ipc_detect.cpp). The layouts are ours: the camera's side is
// the core service's, which defines them the same way.
#include "core/encodings.h"

enum {
    REQ_IPC_CHANNELS_MODEL = 2505,  // answered by one ipc_type_info per listed channel
    REQ_IPC_AUDIO_GET = 3371,
    REQ_IPC_AUDIO_SET = 3372,
    REQ_IPC_MOTION_DETECT_GET = 3358,
    REQ_IPC_MOTION_DETECT_SET = 3366,
    REQ_IPC_AUTO_TRACKING_GET = 3294,
    REQ_IPC_AUTO_TRACKING_SET = 3375,
    IPC_AUDIO_CHOICES = 16,  // values in each table of choices
    IPC_MOTION_MAP_SIZE = 304,
};

// The tables of choices an audio answer carries, each a list of int32
// values: the member and the key.
#define IPC_AUDIO_CHOICE_TABLES(X) \
    X(config) X(options) X(encodeValue) X(sampleRateValue) X(bitrateInfo) X(sampleRateInfo)

WIRE_BEGIN
// Request 3372.
struct ipc_audio_set {
    int32_t channel;
    int32_t audio_enable;
    int32_t audio_mode;
    int32_t denoise;
    int32_t encoding;
    int32_t sample_rate;
    int32_t input_gain;
    int32_t input_mode;
    int32_t audio_gain_control;
    int32_t output_volume;
    int32_t audio_bitrate;
    int32_t reserved;
    uint64_t channels;  // the request's "channels" list as a mask
};
struct ipc_audio_choices {
    int32_t count;
    int32_t values[IPC_AUDIO_CHOICES];
};
#define IPC_AUDIO_CHOICE_MEMBER(name) ipc_audio_choices name;
// Answer 8371.
struct ipc_audio_info {
    int32_t channel;
    int32_t support;
    int32_t support_mode;
    int32_t support_input_mode;
    int32_t audio_enable;
    int32_t audio_mode;
    int32_t denoise;
    int32_t encoding;
    int32_t sample_rate;
    int32_t input_gain;
    int32_t input_mode;
    int32_t audio_gain_control;
    int32_t output_volume;
    int32_t audio_bitrate;
    IPC_AUDIO_CHOICE_TABLES(IPC_AUDIO_CHOICE_MEMBER)
};
#undef IPC_AUDIO_CHOICE_MEMBER
// Request 3366 and answer 8358 (whose copy mask is not read): the schedule
// in the camera form.
struct ipc_motion_detect {
    int32_t channel;
    int32_t enable;
    int32_t sensitivity;
    int32_t minsize;
    int32_t mintime;
    int32_t adaptability;
    uint64_t copy_channels;  // "copyCnt" channels of "copyChn"
    char map_mask[IPC_MOTION_MAP_SIZE];
    Schedule effective;
};
// Request 3375 and answer 8294 (whose channel mask is not read).
struct ipc_auto_tracking {
    int32_t channel;
    int32_t enable;
    int32_t show;
    int32_t sensitivity;
    int32_t time;
    int32_t manual_tracking;
    int32_t zoom_mode;
    int32_t zoom_number;
    int32_t area;
    int32_t human_vehicle_support;
    int32_t tracking_object;
    int32_t report_motion;
    uint64_t channels;  // the request's "channels" list as a mask
    char reserved[296];
    Schedule schedule;
};
WIRE_END
WIRE_SIZE(ipc_audio_set, 56);
WIRE_OFFSET(ipc_audio_set, channels, 48);
WIRE_SIZE(ipc_audio_choices, 68);
WIRE_SIZE(ipc_audio_info, 464);
WIRE_OFFSET(ipc_audio_info, config, 56);
WIRE_SIZE(ipc_motion_detect, 26512);
WIRE_OFFSET(ipc_motion_detect, copy_channels, 24);
WIRE_OFFSET(ipc_motion_detect, map_mask, 32);
WIRE_OFFSET(ipc_motion_detect, effective, 336);
WIRE_SIZE(ipc_auto_tracking, 26528);
WIRE_OFFSET(ipc_auto_tracking, channels, 48);
WIRE_OFFSET(ipc_auto_tracking, schedule, 352);

// ---- image and exposure schedules (ipc_schedules.cpp, ipc_exposure_db.cpp,
// coresim/sim_ipc_schedules.cpp)
enum {
    REQ_IPC_IMAGE_SCHEDULE_GET = 3273,
    REQ_IPC_EXPOSURE_SCHEDULE_GET = 3275,
    REQ_IPC_IMAGE_SCHEDULE_EX_GET = 3277,
    REQ_IPC_IMAGE_SCHEDULE_SET = 3281,
    REQ_IPC_EXPOSURE_SCHEDULE_SET = 3282,
    REQ_IPC_IMAGE_SCHEDULE_EX_SET = 3283,
    IPC_SCHEDULE_DAYS = 8,
    IPC_SCHEDULE_SLOTS = 48,
};

WIRE_BEGIN
// Requests 3281 and 3283, answers 8273 and 8277: the camera form of the
// schedule, whose whole-day enable words say which days are valid.
struct ipc_image_schedule {
    int32_t channel;
    Schedule schedule;
};
struct ipc_exposure_pair {
    int32_t exposure_time;
    int32_t gain_level;
};
// Request 3282, answer 8275 and the database record `exposure`: the slots
// without whole-day words, then one pair per slot in [day][slot] order.
struct ipc_exposure_schedule {
    int32_t channel;
    ScheduleSlot slots[IPC_SCHEDULE_DAYS][IPC_SCHEDULE_SLOTS];
    ipc_exposure_pair exposure[IPC_SCHEDULE_DAYS][IPC_SCHEDULE_SLOTS];
};
WIRE_END
WIRE_SIZE(ipc_image_schedule, 26180);
WIRE_OFFSET(ipc_image_schedule, schedule, 4);
WIRE_SIZE(ipc_exposure_pair, 8);
WIRE_SIZE(ipc_exposure_schedule, 29188);
WIRE_OFFSET(ipc_exposure_schedule, slots, 4);
WIRE_OFFSET(ipc_exposure_schedule, exposure, 26116);

// The exposure schedule of channel 0..63 in the database (idx = channel);
// 0 on success, -1 on failure. A channel never written reads as zeros.
int read_exposure(const char* db, ipc_exposure_schedule* out, int channel);
int write_exposure(const char* db, const ipc_exposure_schedule* record);
