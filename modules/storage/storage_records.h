// Storage module: wire records of disks, RAID, formatting, network disks,
// quotas, groups and eSATA backup, shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/wire.h"

// hddType codes the module tells apart; any other value is a local disk.
enum {
    HDD_TYPE_NFS = 3,
    HDD_TYPE_RAID = 4,
    HDD_TYPE_SMB = 10,
    STORAGE_MAX_PORTS = 36,
    RAID_MAX_MEMBERS = 16,
    NAS_MAX_PORTS = 33,
    NAS_MAX_SHARES = 64,
    QUOTA_MAX_ENTRIES = 8,
    STORAGE_MAX_GROUPS = 16,
    EXPORT_DISK_TYPE = 5,
};

// Core-service requests of the module; each is answered by code + 5000.
enum {
    REQ_ESATA_BACKUP_SET = 1316,
    REQ_ESATA_BACKUP_STATUS = 1317,
    REQ_GROUP_APPLY = 1307,
    REQ_SMART_ATTR = 3403,
    REQ_RAID_CREATE = 3420,
    REQ_RAID_REMOVE = 3421,
    REQ_HOT_SPARE_SET = 3423,
    REQ_HOT_SPARE_RELEASE = 3424,
    REQ_RAID_REBUILD = 3425,
    REQ_RECYCLE_GET = 3431,
    REQ_DISK_LIST = 3433,
    REQ_DISK_FORMAT = 3434,
    REQ_DISK_PROPERTY = 3435,
    REQ_GROUP_SET = 3436,
    REQ_NAS_UPDATE = 3439,
    REQ_NAS_SEARCH = 3440,
    REQ_GROUP_MODE = 3442,
    REQ_EXPORT_DISKS = 3457,
    REQ_RECYCLE_SET = 3475,
    REQ_DISK_REMOVE = 3496,
    REQ_NAS_ADD = 3507,
    REQ_NAS_DELETE = 3508,
    REQ_QUOTA_GET = 3529,
    REQ_QUOTA_SET = 3530,
    REQ_ESATA_FORMAT = 3535,
    REQ_BACKUP_STATUS = 3536,
    REQ_BACKUP_STOP = 3537,
    REQ_FORMAT_STATUS = 3540,
};

WIRE_BEGIN

// The core service's disk record (answer to 3433).
struct storage_disk_info {
    int32_t port;
    char vendor[64];
    char address[64];
    char directory[128];
    int32_t state;
    int32_t usable;
    uint8_t reserved0[4];
    uint64_t total_size;
    uint64_t used_size;
    uint64_t free_size;
    int32_t hdd_type;
    int32_t group;
    int32_t property;
    uint8_t reserved1[4];
    int32_t raid_level;
    int32_t raid_state;
    int32_t raid_progress;
    int32_t raid_member_count;
    int32_t raid_members[16];
    char user_name[33];
    char password[33];
    uint8_t reserved2[6];
};

// The database's disk record.
struct db_disk {
    int32_t port;
    int32_t enable;
    char vendor[64];
    char address[64];
    char directory[128];
    int32_t type;
    int32_t group;
    int32_t property;
    int32_t reserved;
    char user_name[33];
    char password[33];
    uint8_t pad[2];
};

struct raid_info {
    int32_t id;
    int32_t enable;
    int32_t level;
    int32_t state;
    int32_t task;
    int32_t member_count;
    int32_t members[16];
    uint8_t reserved[16];
};

struct format_info {
    int32_t status;
    uint8_t percent;
    uint8_t port;
    uint8_t pad[2];
    int32_t type;
};

// Request 3435.
struct disk_property_request {
    int32_t port;
    int32_t property;
    int32_t group;
    int32_t reserved;
};

// Request 3425.
struct raid_rebuild_request {
    int32_t disk_port;
    int32_t raid_port;
};

// Answer to 3403: the self-evaluation text starts at byte 12.
struct smart_attr_reply {
    uint8_t head[12];
    char text[28];
};

// Requests 3507 and 3508.
struct nas_port_list {
    int32_t count;
    int32_t ports[33];
};

// Detail block of network-disk log entries (kinds 101 and 110).
struct nas_log_detail {
    char protocol[16];
    char address[64];
    char directory[128];
};

// Request 3440 and its answer.
struct nas_search_request {
    int32_t port;
    char server[64];
};
struct nas_search_reply {
    int32_t count;
    char paths[64][256];
};

struct quota_request_entry {
    uint8_t channel;
    uint8_t pad[3];
    int32_t video_quota;
    int32_t picture_quota;
    uint8_t reserved[8];
};
struct quota_request {
    int32_t enable;
    int32_t count;
    quota_request_entry entries[8];
};
// The answer to 3529: enable, count, then count entries.
struct quota_reply_head {
    int32_t enable;
    int32_t count;
};
struct quota_reply_entry {
    uint8_t channel;
    uint8_t pad[3];
    int32_t video_quota;
    int32_t picture_quota;
    int32_t video_used;
    int32_t picture_used;
};

// Database group record, also the payload of request 3436.
struct storage_group {
    int32_t id;
    char channels[65];
    char extra[65];
    uint8_t pad[2];
};

// Database eSATA automatic-backup settings.
struct esata_auto_backup {
    int32_t enable;
    int32_t reserved;
    char backup_time[32];
    int32_t stream_type;
    int32_t file_type;
    int32_t recycle;
    char channel[65];
    uint8_t pad[3];
    int32_t device;
    int32_t port;
};

// Answer to 1317.
struct esata_backup_status {
    int32_t status;
    char last_time[32];
    float percent;
    int32_t capacity;
    uint8_t reserved[4];
};

// Answer to 3457, one per disk.
struct export_disk_info {
    uint8_t port;
    uint8_t reserved0[151];
    int32_t type;
    uint8_t reserved1[28];
};

// Answer to 3431.
struct recycle_mode_reply {
    int32_t mode;
    int32_t esata;
};

// Detail block of the format log entry (kind 102).
struct format_log_detail {
    uint8_t reserved[64];
    int32_t port;
    int32_t outcome;
};

WIRE_END

WIRE_SIZE(storage_disk_info, 464);
WIRE_OFFSET(storage_disk_info, vendor, 4);
WIRE_OFFSET(storage_disk_info, address, 68);
WIRE_OFFSET(storage_disk_info, directory, 132);
WIRE_OFFSET(storage_disk_info, state, 260);
WIRE_OFFSET(storage_disk_info, usable, 264);
WIRE_OFFSET(storage_disk_info, total_size, 272);
WIRE_OFFSET(storage_disk_info, used_size, 280);
WIRE_OFFSET(storage_disk_info, free_size, 288);
WIRE_OFFSET(storage_disk_info, hdd_type, 296);
WIRE_OFFSET(storage_disk_info, group, 300);
WIRE_OFFSET(storage_disk_info, property, 304);
WIRE_OFFSET(storage_disk_info, raid_level, 312);
WIRE_OFFSET(storage_disk_info, raid_state, 316);
WIRE_OFFSET(storage_disk_info, raid_progress, 320);
WIRE_OFFSET(storage_disk_info, raid_member_count, 324);
WIRE_OFFSET(storage_disk_info, raid_members, 328);
WIRE_OFFSET(storage_disk_info, user_name, 392);
WIRE_OFFSET(storage_disk_info, password, 425);

WIRE_SIZE(db_disk, 348);
WIRE_OFFSET(db_disk, vendor, 8);
WIRE_OFFSET(db_disk, address, 72);
WIRE_OFFSET(db_disk, directory, 136);
WIRE_OFFSET(db_disk, type, 264);
WIRE_OFFSET(db_disk, group, 268);
WIRE_OFFSET(db_disk, property, 272);
WIRE_OFFSET(db_disk, user_name, 280);
WIRE_OFFSET(db_disk, password, 313);

WIRE_SIZE(raid_info, 104);
WIRE_OFFSET(raid_info, member_count, 20);
WIRE_OFFSET(raid_info, members, 24);
WIRE_OFFSET(raid_info, reserved, 88);

WIRE_SIZE(format_info, 12);
WIRE_OFFSET(format_info, percent, 4);
WIRE_OFFSET(format_info, port, 5);
WIRE_OFFSET(format_info, type, 8);

WIRE_SIZE(disk_property_request, 16);
WIRE_SIZE(raid_rebuild_request, 8);
WIRE_SIZE(smart_attr_reply, 40);
WIRE_OFFSET(smart_attr_reply, text, 12);

WIRE_SIZE(nas_port_list, 136);
WIRE_OFFSET(nas_port_list, ports, 4);
WIRE_SIZE(nas_log_detail, 208);
WIRE_OFFSET(nas_log_detail, address, 16);
WIRE_OFFSET(nas_log_detail, directory, 80);
WIRE_SIZE(nas_search_request, 68);
WIRE_SIZE(nas_search_reply, 16388);
WIRE_OFFSET(nas_search_reply, paths, 4);

WIRE_SIZE(quota_request_entry, 20);
WIRE_OFFSET(quota_request_entry, video_quota, 4);
WIRE_OFFSET(quota_request_entry, picture_quota, 8);
WIRE_SIZE(quota_request, 168);
WIRE_OFFSET(quota_request, entries, 8);
WIRE_SIZE(quota_reply_head, 8);
WIRE_SIZE(quota_reply_entry, 20);
WIRE_OFFSET(quota_reply_entry, video_used, 12);
WIRE_OFFSET(quota_reply_entry, picture_used, 16);

WIRE_SIZE(storage_group, 136);
WIRE_OFFSET(storage_group, channels, 4);
WIRE_OFFSET(storage_group, extra, 69);

WIRE_SIZE(esata_auto_backup, 128);
WIRE_OFFSET(esata_auto_backup, backup_time, 8);
WIRE_OFFSET(esata_auto_backup, stream_type, 40);
WIRE_OFFSET(esata_auto_backup, file_type, 44);
WIRE_OFFSET(esata_auto_backup, recycle, 48);
WIRE_OFFSET(esata_auto_backup, channel, 52);
WIRE_OFFSET(esata_auto_backup, device, 120);
WIRE_OFFSET(esata_auto_backup, port, 124);

WIRE_SIZE(esata_backup_status, 48);
WIRE_OFFSET(esata_backup_status, last_time, 4);
WIRE_OFFSET(esata_backup_status, percent, 36);
WIRE_OFFSET(esata_backup_status, capacity, 40);

WIRE_SIZE(export_disk_info, 184);
WIRE_OFFSET(export_disk_info, type, 152);
WIRE_SIZE(recycle_mode_reply, 8);
WIRE_SIZE(format_log_detail, 72);
WIRE_OFFSET(format_log_detail, port, 64);
WIRE_OFFSET(format_log_detail, outcome, 68);

// Database records of the module.
int read_disk(const char* db, db_disk* out, int port);
// Slot i of out (36 slots) is the record of port i + 1.
int read_disks(const char* db, db_disk out[36], int* count);
int write_disk(const char* db, const db_disk* disk);
int read_groups(const char* db, storage_group out[16]);
int read_esata_auto_backup(const char* db, esata_auto_backup* out);
int write_esata_auto_backup(const char* db, const esata_auto_backup* settings);
