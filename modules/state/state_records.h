// Device-state module: the core-service answers of the status pages, shared
// by the CGI and coresim. The database records it reads belong to the
// camera, OSD, alarm and storage modules.
#pragma once
#include <cstdint>

#include "platform/wire.h"

// Requests carry no payload; each is answered by code + 5000.
enum {
    REQ_NETIF_STATUS = 3301,
    REQ_NETIF_SPEED = 3302,
    REQ_CAMERA_STATUS = 3300,
    REQ_ALARM_STATUS = 3305,
    REQ_USAGE_INFO = 3306,
    REQ_CHANNEL_SUPPORT = 3263,  // the core service may take up to 120 s
    REQ_ONLINE_USERS = 1719,
};

enum {
    STATE_CHANNELS = 64,
    STATE_NVR_ALARM_INPUTS = 16,
    STATE_NVR_ALARM_OUTPUTS = 4,
};

WIRE_BEGIN

// One network interface (answer 8301).
struct netif_status {
    char ifname[12];
    int32_t id;
    int32_t state;
    int32_t speed_mode;
    int32_t duplex;
    int32_t enable;
    int32_t dhcp_enable;
    char ip_addr[24];
    char mac[24];
    char primary_dns[24];
    char second_dns[24];
    char gateway[24];
    char netmask[24];
    int32_t mtu;
    uint8_t ip6_mode;
    char ip6_address[67];
    int32_t ip6_prefix;
    char ip6_gateway[64];
};

// Receive and send rates of one interface (answer 8302).
struct netif_speed {
    char ifname[12];
    int32_t rx_speed;
    int32_t tx_speed;
    int32_t id;
};

struct camera_stream_status {
    int32_t width;
    int32_t height;
    int32_t framerate;
    int32_t bitrate;
    int32_t connection;
    int32_t connect_status;
};

// One connected camera (answer 8300), listed in ascending channel order.
struct camera_status {
    camera_stream_status main_stream;
    camera_stream_status sub_stream;
    int32_t record_on;
    int32_t alarm_on;
    int32_t channel;
    uint8_t reserved[4];
};

// The alarm and event state of the recorder (answer 8305): masks of 64 bits
// are bit n for channel n, low word first.
struct alarm_status {
    uint64_t video_loss;
    uint64_t motion;
    uint32_t alarm_out_state;  // bit n: NVR output n
    uint32_t alarm_in_state;   // bit n: NVR input n
    uint64_t entrance;
    uint64_t exiting;
    uint64_t advanced_motion;
    uint64_t tampering;
    uint64_t line_crossing;
    uint64_t loitering;
    uint64_t human_detection;
    uint64_t object_left_remove;
    int32_t io[STATE_CHANNELS][2];  // (in, out) of channel n
    uint64_t camera_in_state[4];
    uint64_t camera_out_state[2];
    uint64_t camera_in_type[4];
    uint64_t camera_out_type[2];
};

// Usage totals (answer 8306).
struct usage_info {
    int32_t total;
    int32_t free;
    int32_t used;
};

struct channel_support_entry {
    uint8_t reserved0[4];
    int32_t support;
    int32_t type;
    uint8_t reserved1[32];
};

// What each of the 64 channels supports (answer 8263).
struct channel_support {
    channel_support_entry entries[STATE_CHANNELS];
};

// One logged-in user (answer 6719).
struct online_user {
    char user_name[64];
    int32_t user_level;
    char ipaddr[64];
    char login_time[32];
};

WIRE_END

WIRE_SIZE(netif_status, 320);
WIRE_OFFSET(netif_status, id, 12);
WIRE_OFFSET(netif_status, dhcp_enable, 32);
WIRE_OFFSET(netif_status, ip_addr, 36);
WIRE_OFFSET(netif_status, netmask, 156);
WIRE_OFFSET(netif_status, mtu, 180);
WIRE_OFFSET(netif_status, ip6_mode, 184);
WIRE_OFFSET(netif_status, ip6_address, 185);
WIRE_OFFSET(netif_status, ip6_prefix, 252);
WIRE_OFFSET(netif_status, ip6_gateway, 256);
WIRE_SIZE(netif_speed, 24);
WIRE_OFFSET(netif_speed, rx_speed, 12);
WIRE_OFFSET(netif_speed, id, 20);
WIRE_SIZE(camera_status, 64);
WIRE_OFFSET(camera_status, sub_stream, 24);
WIRE_OFFSET(camera_status, record_on, 48);
WIRE_OFFSET(camera_status, alarm_on, 52);
WIRE_OFFSET(camera_status, channel, 56);
WIRE_SIZE(alarm_status, 696);
WIRE_OFFSET(alarm_status, alarm_out_state, 16);
WIRE_OFFSET(alarm_status, alarm_in_state, 20);
WIRE_OFFSET(alarm_status, entrance, 24);
WIRE_OFFSET(alarm_status, object_left_remove, 80);
WIRE_OFFSET(alarm_status, io, 88);
WIRE_OFFSET(alarm_status, camera_in_state, 600);
WIRE_OFFSET(alarm_status, camera_out_state, 632);
WIRE_OFFSET(alarm_status, camera_in_type, 648);
WIRE_OFFSET(alarm_status, camera_out_type, 680);
WIRE_SIZE(usage_info, 12);
WIRE_SIZE(channel_support_entry, 44);
WIRE_OFFSET(channel_support_entry, support, 4);
WIRE_OFFSET(channel_support_entry, type, 8);
WIRE_SIZE(channel_support, 2816);
WIRE_SIZE(online_user, 164);
WIRE_OFFSET(online_user, user_level, 64);
WIRE_OFFSET(online_user, ipaddr, 68);
WIRE_OFFSET(online_user, login_time, 132);
