// System module, maintenance: restart, restore, configuration export and
// import, firmware upgrade, diagnosis and automatic maintenance. The records
// and files here are shared by the CGI, coresim and the tools.
#pragma once
#include <cstdint>

#include "core/module.h"
#include "platform/wire.h"

extern const WebModulePart system_maintenance_part;

// The install of the stored recorder image (1713), logged, and the restart
// once the core service reports it done. `answer` prints the outcome before
// the device goes down: 1 installed, else the core service's code (0 when it
// did not answer).
HandlerStatus install_upgrade_image(int32_t reset, void (*answer)(int done));

// Core-service requests of the maintenance part. Only 1713 and 3528 are
// answered (code + 5000).
enum {
    REQ_RESTART = 1703,
    REQ_UPGRADE = 1713,
    REQ_AUTO_REBOOT_CHANGED = 1718,
    REQ_UPGRADE_PREPARE = 1721,
    REQ_AUTO_MAINTENANCE_CHANGED = 2102,
    REQ_RESTORE = 3311,
    REQ_RESTORE_FINISH = 3410,
    REQ_DIAGNOSIS_EXPORT = 3528,
};

// Device files of maintenance.
#define MAINT_EXPORT_PATH_FILE "/tmp/.export_down_file"
#define MAINT_DIAGNOSIS_PATH_FILE "/tmp/.diagnosis_down_file"
#define MAINT_UPGRADE_IMAGE "/dev/shm/updateFM.bin"
#define MAINT_CORE_ALIVE "/tmp/vxcore"
#define MAINT_DIAGNOSIS_MARKER "/tmp/tmp_diagnostic"

enum { AUTOREBOOT_CONF_SIZE = 128, DIAGNOSIS_DIR_SIZE = 64 };

WIRE_BEGIN

// Request 3311.
struct restore_request {
    int32_t keep_ip;
    int32_t keep_user;
};

// Answer 8528: a result, a status (negative: failed), then the package path.
struct diagnosis_answer_head {
    int32_t result;
    int32_t status;
};

// "disk_maintain_info": retention of logs and pictures.
struct disk_maintain_info {
    int32_t log_retention;
    int32_t photo_retention;
};

// "autoreboot_conf": the five fields the page sets, then fields kept as
// they are.
struct autoreboot_conf {
    int32_t enable;
    int32_t wday;
    int32_t hour;
    int32_t minutes;
    int32_t seconds;
    uint8_t rest[AUTOREBOOT_CONF_SIZE - 20];
};

// A firmware image as tools/mkimage writes it and the core service checks
// it: this head, then `length` bytes whose CRC-32 (zlib's) is `crc32`.
struct firmware_image_head {
    char magic[8];  // "NVRIMG1\0"
    char version[32];
    uint32_t length;
    uint32_t crc32;
};

WIRE_END

WIRE_SIZE(restore_request, 8);
WIRE_SIZE(diagnosis_answer_head, 8);
WIRE_SIZE(disk_maintain_info, 8);
WIRE_SIZE(autoreboot_conf, 128);
WIRE_OFFSET(autoreboot_conf, seconds, 16);
WIRE_OFFSET(autoreboot_conf, rest, 20);
WIRE_SIZE(firmware_image_head, 48);
WIRE_OFFSET(firmware_image_head, version, 8);
WIRE_OFFSET(firmware_image_head, length, 40);
WIRE_OFFSET(firmware_image_head, crc32, 44);

#define FIRMWARE_IMAGE_MAGIC "NVRIMG1"

// Database records of maintenance (system_maintenance_db.cpp): 0 found,
// 1 absent (zeros), -1 failure, as vxdb_read.
int read_disk_maintain_info(const char* db, disk_maintain_info* out);
int write_disk_maintain_info(const char* db, const disk_maintain_info* record);
int read_autoreboot_conf(const char* db, autoreboot_conf* out);
int write_autoreboot_conf(const char* db, const autoreboot_conf* record);
// Read-modify-write of the auto-reboot record: `change` gets the stored
// record; 0 written, -1 failure.
int update_autoreboot_conf(const char* db, void (*change)(autoreboot_conf*, void*), void* context);
