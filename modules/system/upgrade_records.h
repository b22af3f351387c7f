// System module, online and camera upgrade: the requests, records and device
// files shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/wire.h"

// Core-service requests of the upgrade part (answers are code + 5000). The
// install (1713), its preparation (1721) and the restart (1703) are the
// maintenance part's, and so is the recorder image MAINT_UPGRADE_IMAGE.
enum {
    REQ_ONLINE_UPGRADE_CHECK = 1715,
    REQ_ONLINE_UPGRADE_DOWNLOAD = 1716,
    REQ_ONLINE_UPGRADE_DISCARD = 1717,
    REQ_POE_CAMERA_PASSWORD = 3265,
    REQ_POE_CAMERA_NOTIFY = 3267,
    REQ_CAMERA_UPGRADE_START = 3350,
    REQ_CAMERA_UPGRADE_STOP = 3351,
    REQ_CAMERA_ONLINE_CHECK = 3365,
};

#define UPGRADE_CAMERA_IMAGE "/dev/shm/updateIPCFM.bin"
#define OEM_PACKAGE_ZIP "/tmp/oem.zip"
#define OEM_DIRECTORY "/mnt/nand2"
#define OEM_UPLOAD_MARKER "/mnt/nand2/oem_upload"
// coresim only: the camera upgrade that 3350 started, one line
// "<channel> <percent>\n" per camera, for the camera channels' progress
// answer (3386) to read. Removed when 3351 stops the upgrade.
#define SIM_CAMERA_UPGRADE_STATE "/tmp/.sim_camera_upgrade"

enum { UPGRADE_CHANNELS = 64, OEM_KEY_MAX = 32 };

WIRE_BEGIN

// Answer 6715, and each of the 64 records of 8365.
struct online_upgrade_info {
    int32_t state;
    int32_t file_size;
    char softversion[64];
    char url[128];
    char description[128];
};

// Request 1716: what to fetch and where to put it.
struct online_download_request {
    char url[128];
    char path[128];
};

// Request 3350.
struct camera_upgrade_request {
    int32_t chnid;
    int32_t reset;
    char path[256];
};

// Answer 8350.
struct camera_upgrade_answer {
    int32_t chnid;
    int32_t status;
};

WIRE_END

WIRE_SIZE(online_upgrade_info, 328);
WIRE_OFFSET(online_upgrade_info, file_size, 4);
WIRE_OFFSET(online_upgrade_info, softversion, 8);
WIRE_OFFSET(online_upgrade_info, url, 72);
WIRE_OFFSET(online_upgrade_info, description, 200);
WIRE_SIZE(online_download_request, 256);
WIRE_OFFSET(online_download_request, path, 128);
WIRE_SIZE(camera_upgrade_request, 264);
WIRE_OFFSET(camera_upgrade_request, path, 8);
WIRE_SIZE(camera_upgrade_answer, 8);

// The camera check answer: one record per channel, in channel order.
enum { CAMERA_CHECK_ANSWER_SIZE = UPGRADE_CHANNELS * (int)sizeof(online_upgrade_info) };
static_assert(CAMERA_CHECK_ANSWER_SIZE == 20992, "8365 holds 64 records");
