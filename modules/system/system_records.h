// System module, device information and general settings: the wire record
// of answer 8400 and the display record, shared by the CGI and coresim. The
// host name and MAC live in the network module's records.
#pragma once
#include <cstdint>

#include "platform/wire.h"

// Core-service requests of the information and general-settings pages.
// Only 3400 is answered (8400); the others are told without waiting.
enum {
    REQ_DISPLAY_RESOLUTION = 1001,  // int32 output (0 main, 1 sub), int32 resolution
    REQ_AUDIO_OUTPUT = 1002,        // audio_output_request
    REQ_DISPLAY_APPLY = 1015,       // no payload: apply the resolutions
    REQ_SUB_OUTPUT = 1023,          // int32: the sub output on or off
    REQ_DEVICE_ID = 1705,           // int32 device number
    REQ_SYSTEM_INFO = 3400,         // no payload; answer 8400, one system_info
    REQ_SET_LANGUAGE = 4000,        // int32 language of the local interface
};

enum {
    SYSINFO_SN_SIZE = 65,
    SYSINFO_PREFIX_SIZE = 16,
    SYSINFO_PRODUCT_SIZE = 32,
    SYSINFO_SOFTWARE_SIZE = 32,
    SYSINFO_HWVER_SIZE = 192,
    SYSINFO_MAC_SIZE = 43,
    // The text the page sends after a host name change (request 1702).
    HOSTNAME_CHANGED_TEXT_SIZE = 32,
};

WIRE_BEGIN

// Answer 8400. Unnamed words are reserved by the core service.
struct system_info {
    int32_t device_id;
    int32_t max_cameras;
    int32_t reserved8[2];
    int32_t max_sensor;
    int32_t max_alarm;
    int32_t reserved24;
    int32_t max_audio_out;
    int32_t display_num;
    int32_t reserved36[2];
    int32_t max_rs485;
    int32_t reserved48;
    int32_t max_network_lan;
    int32_t reserved56;
    int32_t oem_version;
    int32_t reserved64;
    int32_t vxddns;
    char sn[SYSINFO_SN_SIZE];
    char prefix[SYSINFO_PREFIX_SIZE];
    char product[SYSINFO_PRODUCT_SIZE];
    char software[SYSINFO_SOFTWARE_SIZE];
    char hwver[SYSINFO_HWVER_SIZE];
    char mac_address[SYSINFO_MAC_SIZE];
    int32_t is_support_talk;
    uint8_t reserved456[128];
};

// "display": the local outputs. Bytes this program does not name are kept.
struct display_record {
    int32_t main_resolution;
    uint8_t reserved4[8];
    int32_t hdmi_audio_on;
    int32_t audio_output_on;
    int32_t audio_volume;
    int32_t audio_stereo;
    int32_t sub_enable;
    int32_t sub_resolution;
    uint8_t reserved36[32];
    int32_t cur_control;
    uint8_t reserved72[28];
};

// Request 1002.
struct audio_output_request {
    int32_t hdmi_audio_on;
    int32_t audio_output_on;
    int32_t audio_volume;
};

// Request 1001.
struct display_resolution_request {
    int32_t output;
    int32_t resolution;
};

WIRE_END

WIRE_SIZE(system_info, 584);
WIRE_OFFSET(system_info, max_cameras, 4);
WIRE_OFFSET(system_info, max_sensor, 16);
WIRE_OFFSET(system_info, max_alarm, 20);
WIRE_OFFSET(system_info, max_audio_out, 28);
WIRE_OFFSET(system_info, display_num, 32);
WIRE_OFFSET(system_info, max_rs485, 44);
WIRE_OFFSET(system_info, max_network_lan, 52);
WIRE_OFFSET(system_info, oem_version, 60);
WIRE_OFFSET(system_info, vxddns, 68);
WIRE_OFFSET(system_info, sn, 72);
WIRE_OFFSET(system_info, prefix, 137);
WIRE_OFFSET(system_info, product, 153);
WIRE_OFFSET(system_info, software, 185);
WIRE_OFFSET(system_info, hwver, 217);
WIRE_OFFSET(system_info, mac_address, 409);
WIRE_OFFSET(system_info, is_support_talk, 452);
WIRE_SIZE(display_record, 100);
WIRE_OFFSET(display_record, hdmi_audio_on, 12);
WIRE_OFFSET(display_record, audio_output_on, 16);
WIRE_OFFSET(display_record, audio_volume, 20);
WIRE_OFFSET(display_record, audio_stereo, 24);
WIRE_OFFSET(display_record, sub_enable, 28);
WIRE_OFFSET(display_record, sub_resolution, 32);
WIRE_OFFSET(display_record, cur_control, 68);
WIRE_SIZE(audio_output_request, 12);
WIRE_SIZE(display_resolution_request, 8);

// Database records (system_info_db.cpp): 0 found or absent (zeros), -1
// failure.
int read_display(const char* db, display_record* out);
int write_display(const char* db, const display_record* record);
// Read-modify-write of the display record in one transaction; as vxdb_update.
int update_display(const char* db, bool (*change)(void* record, void* context), void* context);
// The address of the camera in `slot` (0..63), the rest of its record kept.
int write_camera_ip(const char* db, int slot, const char* ip);
