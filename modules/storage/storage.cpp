// Storage: disks, RAID, formatting, network disks, quotas, groups, overwrite
// mode and eSATA backup. Handlers turn browser requests into core-service
// requests; on_storage_ipc_callback prints the answers.
#include "modules/storage/storage.h"

#include <cstdio>
#include <cstring>

#include "core/ipc.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "platform/urlcode.h"
#include "platform/vxdb.h"

namespace {

int on_get_disk_info(const char* request);
int on_set_disk_info(const char* request);
int on_format_disk(const char* request);
int on_get_format_progress(const char* request);
int on_create_raid(const char* request);
int on_remove_raid(const char* request);
int on_set_hot_space(const char* request);
int on_rebuild_raid(const char* request);
int on_get_raid_mode(const char* request);
int on_set_raid_mode(const char* request);
int on_del_disk_nas(const char* request);
int on_add_disk_nas(const char* request);
int on_search_disk_nas(const char* request);
int on_update_disk_nas(const char* request);
int on_set_recycle_mode(const char* request);
int on_get_recycle_mode(const char* request);
int on_get_smart_attr(const char* request);
int on_del_disk(const char* request);
int on_get_quota_info(const char* request);
int on_set_quota_info(const char* request);
int on_set_group_info(const char* request);
int on_get_esata_auto_backup_status(const char* request);
int on_get_esata_auto_backup_info(const char* request);
int on_set_esata_auto_backup_info(const char* request);
int on_get_export_disk_info(const char* request);
int on_format_esata_disk_web(const char* request);
int on_cgi_get_auto_backup_status(const char* request);
int on_cgi_set_auto_backup_stop(const char* request);
int on_cgi_get_format_info(const char* request);

const WebResEntry g_storage_resources[] = {
    {"/6100", on_get_disk_info, "disk list: local disks, RAID arrays, network disks"},
    {"/6101", on_set_disk_info, "set the property and group of a disk"},
    {"/6102", on_format_disk, "format a disk"},
    {"/6103", on_get_format_progress, "acknowledge a format progress query"},
    {"/6104", on_create_raid, "create a RAID array"},
    {"/6105", on_remove_raid, "remove a RAID array"},
    {"/6106", on_set_hot_space, "make a disk a hot spare, or release it"},
    {"/6107", on_rebuild_raid, "rebuild an array onto a disk"},
    {"/6108", on_get_raid_mode, "RAID mode"},
    {"/6109", on_set_raid_mode, "set the RAID mode"},
    {"/6200", on_del_disk_nas, "delete network disks"},
    {"/6201", on_add_disk_nas, "add network disks"},
    {"/6202", on_search_disk_nas, "list a server's shared directories"},
    {"/6203", on_update_disk_nas, "change a network disk"},
    {"/6204", on_set_recycle_mode, "set the overwrite mode"},
    {"/6205", on_get_recycle_mode, "overwrite mode"},
    {"/6206", on_get_smart_attr, "S.M.A.R.T. self-evaluation of a disk"},
    {"/6207", on_del_disk, "delete a disk of any type"},
    {"/6208", on_get_quota_info, "per-channel quotas"},
    {"/6209", on_set_quota_info, "set quotas"},
    {"/6210", on_set_group_info, "storage groups"},
    {"/6222", on_get_esata_auto_backup_status, "automatic backup status"},
    {"/6220", on_get_esata_auto_backup_info, "automatic backup settings"},
    {"/6221", on_set_esata_auto_backup_info, "store automatic backup settings"},
    {"/6223", on_get_export_disk_info, "disk usable for export"},
    {"/6224", on_format_esata_disk_web, "format the eSATA disk"},
    {"/6225", on_cgi_get_auto_backup_status, "backup status"},
    {"/6226", on_cgi_set_auto_backup_stop, "stop a running backup"},
    {"/6227", on_cgi_get_format_info, "format status"},
};

void on_storage_ipc_callback(void* unused, const int32_t* header, const char* payload);

// Set by the format answer when the core service reports success.
int format_done;

// ---- helpers -------------------------------------------------------------

// Sends one int32 and waits; `error_type` as cgi_request.
int ask_port(int code, int32_t port, int error_type)
{
    return cgi_request(on_storage_ipc_callback, code, &port, (int)sizeof port, error_type);
}

int ask_empty(int code, int error_type)
{
    return cgi_request(on_storage_ipc_callback, code, nullptr, 0, error_type);
}

const char* nas_protocol(int type)
{
    return type == HDD_TYPE_NFS ? "NFS" : "SMB/CIFS";
}

void log_nas_change(int sub_type, int detail_type, int port, const char* protocol, const char* address,
                    const char* directory)
{
    nas_log_detail detail;
    memset(&detail, 0, sizeof detail);
    wire_text(detail.protocol, protocol);
    wire_text(detail.address, address);
    wire_text(detail.directory, directory);
    cgi_write_operation_log(sub_type, 0, port, detail_type, &detail, (int)sizeof detail);
}

// Text element i of an array key, or "".
const char* array_text(json_object* request, const char* key, size_t i)
{
    json_object* array = nullptr;
    json_object_object_get_ex(request, key, &array);
    json_object* item = json_array_at(array, i);
    return item && json_object_is_type(item, json_type_string) ? json_object_get_string(item) : "";
}

// User names and passwords are kept URL-decoded, cut to 32 characters first.
void decoded_credential(char (&field)[33], const char* text)
{
    char cut[33];
    wire_text(cut, text);
    get_url_decode(cut, field, sizeof field);
}

// A network-disk record as the browser describes it.
db_disk nas_disk(int port, int type, const char* vendor, const char* address, const char* directory,
                 const char* user, const char* password)
{
    db_disk disk;
    memset(&disk, 0, sizeof disk);
    disk.port = port;
    disk.enable = 1;
    disk.type = type;
    disk.property = 1;
    wire_text(disk.vendor, vendor);
    wire_text(disk.address, address);
    wire_text(disk.directory, directory);
    decoded_credential(disk.user_name, user);
    decoded_credential(disk.password, password);
    return disk;
}

// ---- disks, RAID, format -------------------------------------------------

int on_get_disk_info(const char*)
{
    ask_empty(REQ_DISK_LIST, REPLY_JSON);
    return 0;
}

const JsonCheck kDiskInfoChecks[] = {
    {"portId", true, 0, 35},
    {"property", true, 0, 1},
};

bool check_disk_info(json_object* request)
{
    return json_check(request, kDiskInfoChecks);
}

int on_set_disk_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_disk_info(body.get()))
        return -1;
    int port = 0, property = 0, group = 0;
    json_get_int(body.get(), "portId", &port);
    json_get_int(body.get(), "property", &property);
    json_get_int(body.get(), "group", &group);

    db_disk disk;
    read_disk(VXDB_MAIN, &disk, port);
    // A port without a record reads as zeros: keep the write under its port.
    disk.port = port;
    disk.property = property;
    disk.group = group;
    write_disk(VXDB_MAIN, &disk);

    disk_property_request change = {port, property, group, 0};
    cgi_notify(on_storage_ipc_callback, REQ_DISK_PROPERTY, &change, (int)sizeof change);
    cgi_write_operation_log(204, 919, port);
    reply_text("OK");
    return 0;
}

int on_format_disk(const char* request)
{
    int port = 0;
    if (!parse_decimal(request, &port) || port < 0 || port > STORAGE_MAX_PORTS)
        return -1;
    format_done = 0;
    ask_port(REQ_DISK_FORMAT, port, REPLY_JSON);

    // Logged whatever the answer, with the outcome in the detail block.
    format_log_detail detail;
    memset(&detail, 0, sizeof detail);
    detail.port = port;
    detail.outcome = format_done ? 1 : -1;
    cgi_write_operation_log(207, 900, port, 102, &detail, (int)sizeof detail);
    return 0;
}

int on_get_format_progress(const char* request)
{
    int port = 0;
    if (parse_decimal(request, &port) && port >= 0 && port <= 16)
        reply_text("OK");
    return 0;
}

const JsonCheck kRaidInfoChecks[] = {
    {"id", true, 10, 15},
    {"enable", true, JSON_ANY_MIN, JSON_ANY_MAX},
    {"sata_port", true, 0, JSON_ANY_MAX},
    {"sata_cnt", true, 0, JSON_ANY_MAX},
    {"level", true, 0, JSON_ANY_MAX},
};

bool check_raid_info(json_object* request)
{
    return json_check(request, kRaidInfoChecks);
}

int on_create_raid(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_raid_info(body.get()))
        return -1;
    raid_info raid;
    memset(&raid, 0, sizeof raid);
    int64_t mask = 0;
    json_get_int(body.get(), "id", &raid.id);
    json_get_int(body.get(), "enable", &raid.enable);
    json_get_int(body.get(), "level", &raid.level);
    // Sent as given, even when it differs from the number of mask bits.
    json_get_int(body.get(), "sata_cnt", &raid.member_count);
    json_get_int64(body.get(), "sata_port", &mask);
    int n = 0;
    for (int bit = 0; bit < RAID_MAX_MEMBERS; bit++)
        if (mask & (1LL << bit))
            raid.members[n++] = bit;
    cgi_request(on_storage_ipc_callback, REQ_RAID_CREATE, &raid, (int)sizeof raid, REPLY_TEXT);
    return 0;
}

int on_remove_raid(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int id = 0;
    if (!body || !parse_decimal(request, &id) || id < 10 || id > 16)
        return -1;
    raid_info raid;
    memset(&raid, 0, sizeof raid);
    raid.id = id;
    cgi_request(on_storage_ipc_callback, REQ_RAID_REMOVE, &raid, (int)sizeof raid, REPLY_TEXT);
    return 0;
}

int on_set_hot_space(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    int port = 0, hot = 0;
    json_get_int(body.get(), "port", &port);
    json_get_int(body.get(), "hotflag", &hot);
    ask_port(hot ? REQ_HOT_SPARE_SET : REQ_HOT_SPARE_RELEASE, port, REPLY_TEXT);
    return 0;
}

int on_rebuild_raid(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    raid_rebuild_request rebuild = {0, 0};
    json_get_int(body.get(), "diskport", &rebuild.disk_port);
    json_get_int(body.get(), "raidport", &rebuild.raid_port);
    cgi_request(on_storage_ipc_callback, REQ_RAID_REBUILD, &rebuild, (int)sizeof rebuild, REPLY_TEXT);
    return 0;
}

int on_get_raid_mode(const char*)
{
    char text[16];
    snprintf(text, sizeof text, "%d", get_param_int(VXDB_MAIN, "raidmode", 0));
    reply_text(text);
    return 0;
}

int on_set_raid_mode(const char* request)
{
    int mode = 0;
    if (!parse_decimal(request, &mode) || (mode != 0 && mode != 1))
        mode = 0;
    set_param_int(VXDB_MAIN, "raidmode", mode);
    reply_text("OK");
    return 0;
}

// ---- network disks ---------------------------------------------------------

// The ports of "port" up to "num", at most 33 and never past the array.
nas_port_list nas_ports(json_object* body)
{
    nas_port_list list;
    memset(&list, 0, sizeof list);
    int num = 0;
    json_get_int(body, "num", &num);
    json_object* ports = nullptr;
    json_object_object_get_ex(body, "port", &ports);
    for (size_t i = 0; (int)i < num && i < NAS_MAX_PORTS && i < json_array_size(ports); i++) {
        int64_t port = 0;
        json_as_int64(json_array_at(ports, i), &port);
        list.ports[list.count++] = (int32_t)port;
    }
    return list;
}

int on_del_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    // The count says how many ports the record holds: never more than it does.
    nas_port_list list = nas_ports(body.get());
    db_disk stored[NAS_MAX_PORTS];
    for (int i = 0; i < list.count; i++)
        read_disk(VXDB_MAIN, &stored[i], list.ports[i]);
    if (!cgi_request(on_storage_ipc_callback, REQ_NAS_DELETE, &list, (int)sizeof list, REPLY_TEXT))
        return 0;
    for (int i = 0; i < list.count; i++)
        if (stored[i].port != 0)
            log_nas_change(220, 101, list.ports[i], nas_protocol(stored[i].type), stored[i].address,
                           stored[i].directory);
    return 0;
}

int on_add_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    int type = HDD_TYPE_NFS;
    json_get_int(body.get(), "type", &type);
    nas_port_list list = nas_ports(body.get());
    db_disk added[NAS_MAX_PORTS];
    for (int i = 0; i < list.count; i++) {
        added[i] = nas_disk(list.ports[i], type, array_text(body.get(), "vendor", (size_t)i),
                            array_text(body.get(), "address", (size_t)i),
                            array_text(body.get(), "directory", (size_t)i),
                            array_text(body.get(), "userName", (size_t)i),
                            array_text(body.get(), "password", (size_t)i));
        write_disk(VXDB_MAIN, &added[i]);
    }
    if (!cgi_request(on_storage_ipc_callback, REQ_NAS_ADD, &list, (int)sizeof list, REPLY_TEXT))
        return 0;
    for (int i = 0; i < list.count; i++)
        log_nas_change(219, 101, added[i].port, nas_protocol(type), added[i].address, added[i].directory);
    return 0;
}

int on_search_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    nas_search_request search;
    memset(&search, 0, sizeof search);
    const char* server = "";
    json_get_int(body.get(), "port", &search.port);
    json_get_text(body.get(), "serverAddr", &server);
    wire_text(search.server, server);
    cgi_request(on_storage_ipc_callback, REQ_NAS_SEARCH, &search, (int)sizeof search, REPLY_JSON);
    return 0;
}

int on_update_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    int port = 0, type = 0;
    const char *vendor = "", *address = "", *directory = "", *user = "", *password = "";
    json_get_int(body.get(), "port", &port);
    json_get_int(body.get(), "type", &type);
    json_get_text(body.get(), "vendor", &vendor);
    json_get_text(body.get(), "address", &address);
    json_get_text(body.get(), "directory", &directory);
    json_get_text(body.get(), "userName", &user);
    json_get_text(body.get(), "password", &password);
    db_disk disk = nas_disk(port, type, vendor, address, directory, user, password);
    write_disk(VXDB_MAIN, &disk);
    if (!ask_port(REQ_NAS_UPDATE, port, REPLY_TEXT))
        return 0;
    const char* protocol = type == HDD_TYPE_NFS ? "NFS" : type == HDD_TYPE_SMB ? "SMB/CIFS" : "";
    log_nas_change(221, 110, port, protocol, disk.address, disk.directory);
    return 0;
}

// ---- overwrite mode, S.M.A.R.T., delete ----------------------------------

int on_set_recycle_mode(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    recycle_mode_reply mode = {0, 0};
    json_get_int(body.get(), "mode", &mode.mode);
    json_get_int(body.get(), "esata", &mode.esata);
    cgi_request(on_storage_ipc_callback, REQ_RECYCLE_SET, &mode, (int)sizeof mode, REPLY_JSON);
    return 0;
}

int on_get_recycle_mode(const char*)
{
    ask_port(REQ_RECYCLE_GET, 0, REPLY_JSON);
    return 0;
}

int on_get_smart_attr(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    int num = 0;
    json_get_int(body.get(), "num", &num);
    json_object* ports = nullptr;
    json_object_object_get_ex(body.get(), "port", &ports);
    int64_t port = 0;
    for (size_t i = 0; (int)i < num && i < json_array_size(ports); i++)
        json_as_int64(json_array_at(ports, i), &port);
    ask_port(REQ_SMART_ATTR, (int32_t)port, REPLY_JSON);
    return 0;
}

int on_del_disk(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    int port = 0, type = 0;
    json_get_int(body.get(), "port", &port);
    json_get_int(body.get(), "hddType", &type);
    if (type == HDD_TYPE_NFS || type == HDD_TYPE_SMB) {
        nas_port_list list;
        memset(&list, 0, sizeof list);
        list.count = 1;
        list.ports[0] = port;
        cgi_request(on_storage_ipc_callback, REQ_NAS_DELETE, &list, (int)sizeof list, REPLY_TEXT);
        return 0;
    }
    if (type == HDD_TYPE_RAID) {
        raid_info raid;
        memset(&raid, 0, sizeof raid);
        raid.id = port;
        cgi_request(on_storage_ipc_callback, REQ_RAID_REMOVE, &raid, (int)sizeof raid, REPLY_TEXT);
    } else {
        ask_port(REQ_DISK_REMOVE, port, REPLY_TEXT);
        db_disk fresh;
        memset(&fresh, 0, sizeof fresh);
        fresh.port = port;
        fresh.property = 1;
        write_disk(VXDB_MAIN, &fresh);
    }
    cgi_write_operation_log(224, 900, port);
    return 0;
}

// ---- quotas and groups -----------------------------------------------------

int on_get_quota_info(const char*)
{
    ask_empty(REQ_QUOTA_GET, REPLY_JSON);
    return 0;
}

int on_set_quota_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    quota_request quota;
    memset(&quota, 0, sizeof quota);
    if (!json_get_int(body.get(), "enable", &quota.enable))
        return -1;
    json_object* array = nullptr;
    json_object_object_get_ex(body.get(), "quota_array", &array);
    // The count names the entries the record holds: at most 8.
    for (size_t i = 0; i < json_array_size(array) && i < QUOTA_MAX_ENTRIES; i++) {
        json_object* item = json_array_at(array, i);
        quota_request_entry& e = quota.entries[quota.count++];
        int channel = 0;
        json_get_int(item, "channel", &channel);
        e.channel = (uint8_t)channel;
        json_get_int(item, "video_quota", &e.video_quota);
        json_get_int(item, "picture_quota", &e.picture_quota);
    }
    cgi_request(on_storage_ipc_callback, REQ_QUOTA_SET, &quota, (int)sizeof quota, REPLY_TEXT);
    return 0;
}

int on_set_group_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int enable = 0;
    if (!json_get_int(body.get(), "group_enable", &enable))
        return -1;
    if (enable == 0) {
        set_param_int(VXDB_MAIN, "group_mode", 0);
        int32_t mode = 0;
        cgi_notify(on_storage_ipc_callback, REQ_GROUP_MODE, &mode, (int)sizeof mode);
        reply_text("OK");
        return 0;
    }
    if (get_param_int(VXDB_MAIN, "group_mode", 0) == 0) {
        set_param_int(VXDB_MAIN, "group_mode", enable);
        int32_t mode = enable;
        cgi_notify(on_storage_ipc_callback, REQ_GROUP_MODE, &mode, (int)sizeof mode);
    }
    storage_group groups[STORAGE_MAX_GROUPS];
    read_groups(VXDB_MAIN, groups);
    json_object* channels = nullptr;
    json_object_object_get_ex(body.get(), "channel", &channels);
    // Only the 16 stored groups exist; further entries have no group to change.
    for (size_t i = 0; i < json_array_size(channels) && i < STORAGE_MAX_GROUPS; i++) {
        json_object* item = json_array_at(channels, i);
        storage_group change = groups[i];
        wire_text(change.channels, json_object_is_type(item, json_type_string) ? json_object_get_string(item) : "");
        cgi_notify(on_storage_ipc_callback, REQ_GROUP_SET, &change, (int)sizeof change);
    }
    cgi_notify(on_storage_ipc_callback, REQ_GROUP_APPLY, nullptr, 0);
    reply_text("OK");
    return 0;
}

// ---- eSATA backup and export ----------------------------------------------

const JsonField kEsataBackupFields[] = {
    JSON_FIELD(esata_auto_backup, enable, "enable", I32),
    JSON_FIELD(esata_auto_backup, stream_type, "streamType", I32),
    JSON_FIELD(esata_auto_backup, file_type, "fileType", I32),
    JSON_FIELD(esata_auto_backup, recycle, "recycle", I32),
    JSON_FIELD(esata_auto_backup, channel, "channel", TEXT),
    JSON_FIELD(esata_auto_backup, backup_time, "backupTime", TEXT),
    JSON_FIELD(esata_auto_backup, device, "device", I32),
    JSON_FIELD(esata_auto_backup, port, "port", I32),
};

int on_get_esata_auto_backup_status(const char*)
{
    ask_empty(REQ_ESATA_BACKUP_STATUS, REPLY_JSON);
    return 0;
}

int on_get_esata_auto_backup_info(const char*)
{
    esata_auto_backup settings;
    read_esata_auto_backup(VXDB_MAIN, &settings);
    json_object* reply = json_object_new_object();
    json_from_record(reply, &settings, kEsataBackupFields);
    cgi_writeback_json(REPLY_JSON, reply);
    return 0;
}

int on_set_esata_auto_backup_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return -1;
    int stop = 0;
    json_get_int(body.get(), "stopBackup", &stop);
    if (stop == 0) {
        esata_auto_backup settings;
        memset(&settings, 0, sizeof settings);
        json_to_record(body.get(), &settings, kEsataBackupFields);
        write_esata_auto_backup(VXDB_MAIN, &settings);
    }
    ask_empty(REQ_ESATA_BACKUP_SET, REPLY_JSON);
    return 0;
}

int on_get_export_disk_info(const char*)
{
    ask_empty(REQ_EXPORT_DISKS, REPLY_JSON);
    return 0;
}

int on_format_esata_disk_web(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int port = 0;
    if (!json_get_int(body.get(), "port", &port) || port < 0 || port > STORAGE_MAX_PORTS) {
        cgi_error_to_webserver(REPLY_JSON);
        return -1;
    }
    ask_port(REQ_ESATA_FORMAT, port, REPLY_JSON);
    return 0;
}

int on_cgi_get_auto_backup_status(const char*)
{
    ask_empty(REQ_BACKUP_STATUS, REPLY_JSON);
    return 0;
}

int on_cgi_set_auto_backup_stop(const char*)
{
    ask_empty(REQ_BACKUP_STOP, REPLY_JSON);
    return 0;
}

int on_cgi_get_format_info(const char*)
{
    ask_empty(REQ_FORMAT_STATUS, REPLY_JSON);
    return 0;
}

// ---- answers ---------------------------------------------------------------

void done()
{
    g_callback_done = 1;
}

// {key: first word} as JSON.
void reply_word(const char* key, const char* payload)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, key, answer_word(payload));
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_set_esata_auto_backup_info_cb(int, const char* payload, int) { reply_word("result", payload); }
void on_format_esata_disk_web_cb(int, const char* payload, int) { reply_word("result", payload); }
void on_cgi_set_auto_backup_stop_cb(int, const char* payload, int) { reply_word("result", payload); }
void on_cgi_get_auto_backup_status_cb(int, const char* payload, int) { reply_word("status", payload); }

void on_get_esata_auto_backup_status_cb(int, const char* payload, int)
{
    esata_backup_status status;
    memcpy(&status, payload, sizeof status);
    char percent[8];
    snprintf(percent, sizeof percent, "%.1f", (double)status.percent);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "status", status.status);
    json_add_text(reply, "percent", percent);
    json_add_field(reply, "last_time", status.last_time, sizeof status.last_time);
    json_add_int(reply, "capacity", status.capacity);
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_format_disk_cb(int, const char* payload, int)
{
    switch (answer_word(payload)) {
    case 0:
        reply_text("OK");
        format_done = 1;
        break;
    case 1: reply_text("USING"); break;
    case -1: reply_text("ERROR FORMAT"); break;
    case -3: reply_text("NAS LOW CAP"); break;
    default: break;
    }
    done();
}

void on_get_smart_attr_cb(int, const char* payload, int)
{
    smart_attr_reply answer;
    memcpy(&answer, payload, sizeof answer);
    // The text need not end inside the record.
    char text[sizeof answer.text + 1];
    memcpy(text, answer.text, sizeof answer.text);
    text[sizeof answer.text] = '\0';
    json_object* reply = json_object_new_object();
    json_add_int(reply, "selfEvaluation", strstr(text, "PASSED") ? 1 : 0);
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

// "Error" for a nonzero first word, else "OK".
void reply_result_word(int, const char* payload, int)
{
    reply_text(answer_word(payload) ? "Error" : "OK");
    done();
}

void on_create_raid_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }
void on_remove_raid_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }
void on_create_space_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }
void on_remove_space_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }
void on_rebuild_raid_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }
void on_del_disk_nas_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }
void on_set_quota_info_cb(int n, const char* p, int l) { reply_result_word(n, p, l); }

void on_get_recycle_mode_cb(int, const char* payload, int)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "mode", answer_word(payload, 0));
    json_add_int(reply, "esata", answer_word(payload, 1));
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

// The bit mask of RAID member ports; ports of 32 and above have no bit.
uint32_t member_mask(const storage_disk_info& d)
{
    uint32_t mask = 0;
    int members = d.raid_member_count < RAID_MAX_MEMBERS ? d.raid_member_count : RAID_MAX_MEMBERS;
    for (int i = 0; i < members; i++)
        if (d.raid_members[i] > 0 && d.raid_members[i] < 32)
            mask |= 1u << d.raid_members[i];
    return mask;
}

json_object* disk_json(const storage_disk_info& d)
{
    char user[128], password[128];
    char raw[34];
    memcpy(raw, d.user_name, sizeof d.user_name);
    raw[sizeof d.user_name] = '\0';
    get_url_encode(raw, user, sizeof user);
    memcpy(raw, d.password, sizeof d.password);
    raw[sizeof d.password] = '\0';
    get_url_encode(raw, password, sizeof password);

    json_object* o = json_object_new_object();
    json_add_int(o, "portId", d.port);
    json_add_field(o, "vendorName", d.vendor, sizeof d.vendor);
    json_add_field(o, "address", d.address, sizeof d.address);
    json_add_field(o, "directory", d.directory, sizeof d.directory);
    json_add_int(o, "totalSize", (int64_t)(d.total_size >> 20));
    json_add_int(o, "usedSize", (int64_t)(d.used_size >> 20));
    json_add_int(o, "freeSize", (int64_t)(d.free_size >> 20));
    json_add_int(o, "hddType", d.hdd_type);
    json_add_int(o, "state", d.state);
    json_add_int(o, "group", d.group);
    json_add_int(o, "property", d.property);
    json_add_int(o, "bUsable", d.usable);
    json_add_int(o, "raid_id", d.port);
    json_add_int(o, "raid_level", d.raid_level);
    json_add_int(o, "raid_state", d.raid_state);
    json_add_int(o, "raid_progress", d.raid_progress);
    json_add_int(o, "raid_sata_cnt", d.raid_member_count);
    json_add_int(o, "raid_task", d.raid_progress);
    json_add_text(o, "userName", user);
    json_add_text(o, "password", password);
    json_add_int(o, "raid_sata_port", member_mask(d));
    return o;
}

// The database's five strings of a network disk, cut to the list's fields.
void copy_disk_strings(storage_disk_info* slot, const db_disk& disk)
{
    wire_text(slot->vendor, disk.vendor, 63);
    wire_text(slot->address, disk.address, 63);
    wire_text(slot->directory, disk.directory, 63);
    wire_text(slot->user_name, disk.user_name, 32);
    wire_text(slot->password, disk.password, 32);
}

void on_get_storage_info_cb(int count, const char* payload, int)
{
    static storage_disk_info slots[STORAGE_MAX_PORTS];
    bool filled[STORAGE_MAX_PORTS] = {};
    memset(slots, 0, sizeof slots);
    for (int i = 0; i < count; i++) {
        storage_disk_info d;
        memcpy(&d, payload + (size_t)i * sizeof d, sizeof d);
        if (d.port >= 1 && d.port <= STORAGE_MAX_PORTS) {
            slots[d.port - 1] = d;
            filled[d.port - 1] = true;
        }
    }
    db_disk disks[STORAGE_MAX_PORTS];
    int stored = 0;
    read_disks(VXDB_MAIN, disks, &stored);
    for (const db_disk& disk : disks) {
        if (disk.enable != 1 || disk.port < 1 || disk.port > STORAGE_MAX_PORTS)
            continue;
        storage_disk_info& slot = slots[disk.port - 1];
        if (filled[disk.port - 1]) {
            if (slot.hdd_type == HDD_TYPE_NFS || slot.hdd_type == HDD_TYPE_SMB)
                copy_disk_strings(&slot, disk);
            continue;
        }
        // Configured but not reported by the core service.
        slot.port = disk.port;
        slot.hdd_type = disk.type;
        slot.property = disk.property;
        slot.group = disk.group;
        copy_disk_strings(&slot, disk);
        slot.state = 2;
        filled[disk.port - 1] = true;
    }

    json_object* list = json_object_new_array();
    for (int i = 0; i < STORAGE_MAX_PORTS; i++)
        if (filled[i])
            json_object_array_add(list, disk_json(slots[i]));
    json_object* reply = json_object_new_object();
    json_add_text(reply, "resultString", count == 0 && json_object_array_length(list) == 0 ? "NO" : "OK");
    json_add_int(reply, "esataType", get_param_int(VXDB_MAIN, "esata_type", 0));
    json_object_object_add(reply, "HDD", list);
    json_add_int(reply, "maxDiskNum", STORAGE_MAX_PORTS);
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_update_disk_nas_cb(int, const char* payload, int)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "status", 0);
    json_add_int(reply, "res", answer_word(payload));
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_search_disk_nas_cb(int, const char* payload, int)
{
    static nas_search_reply answer;
    memcpy(&answer, payload, sizeof answer);
    int shares = answer.count < 0 ? 0 : answer.count > NAS_MAX_SHARES ? NAS_MAX_SHARES : answer.count;
    json_object* list = json_object_new_array();
    for (int i = 0; i < shares; i++) {
        json_object* o = json_object_new_object();
        json_add_field(o, "filePath", answer.paths[i], sizeof answer.paths[i]);
        json_object_array_add(list, o);
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "resultString", shares > 0 ? "OK" : "NO");
    json_object_object_add(reply, "NAS", list);
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_get_export_disk_info_cb(int count, const char* payload, int)
{
    json_object* reply = json_object_new_object();
    for (int i = 0; i < count; i++) {
        export_disk_info disk;
        memcpy(&disk, payload + (size_t)i * sizeof disk, sizeof disk);
        if (disk.type == EXPORT_DISK_TYPE) {
            json_add_int(reply, "port", disk.port);
            json_add_int(reply, "result", 0);
            cgi_writeback_json(REPLY_JSON, reply);
            done();
            return;
        }
    }
    json_add_int(reply, "result", -1);
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_set_recycle_cb(int, const char*, int)
{
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_get_quota_info_cb(int, const char* payload, int length)
{
    if (length < (int)sizeof(quota_reply_head))
        return;  // no head: no answer
    quota_reply_head head;
    memcpy(&head, payload, sizeof head);
    // Entries only as far as the answer holds them.
    int held = (length - (int)sizeof head) / (int)sizeof(quota_reply_entry);
    int entries = head.count < 0 ? 0 : head.count < held ? head.count : held;

    json_object* reply = json_object_new_object();
    json_add_int(reply, "enable", head.enable);
    json_object* quotas = json_object_new_array();
    for (int i = 0; i < entries; i++) {
        quota_reply_entry e;
        memcpy(&e, payload + sizeof head + (size_t)i * sizeof e, sizeof e);
        json_object* o = json_object_new_object();
        json_add_int(o, "channel", e.channel);
        json_add_int(o, "video_used", e.video_used);
        json_add_int(o, "video_quota", e.video_quota);
        json_add_int(o, "picture_used", e.picture_used);
        json_add_int(o, "picture_quota", e.picture_quota);
        json_object_array_add(quotas, o);
    }
    json_object_object_add(reply, "quota_array", quotas);

    storage_group groups[STORAGE_MAX_GROUPS];
    read_groups(VXDB_MAIN, groups);
    json_object* channels = json_object_new_array();
    for (const storage_group& g : groups)
        json_object_array_add(channels, json_object_new_string_len(g.channels, (int)wire_strlen(g.channels)));
    json_object_object_add(reply, "channel", channels);

    db_disk disks[STORAGE_MAX_PORTS];
    int stored = 0;
    read_disks(VXDB_MAIN, disks, &stored);
    json_object* disk_groups = json_object_new_array();
    for (const db_disk& d : disks)
        json_object_array_add(disk_groups, json_object_new_int(d.enable ? d.group + 1 : 0));
    json_object_object_add(reply, "disk", disk_groups);
    json_add_int(reply, "max_chan", get_param_int(VXDB_MAIN, "max_cameras", 32));
    json_add_int(reply, "group_enable", get_param_int(VXDB_MAIN, "group_mode", 0));
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

void on_cgi_get_format_info_cb(int, const char* payload, int)
{
    format_info info;
    memcpy(&info, payload, sizeof info);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "status", info.status);
    json_add_int(reply, "port", info.port);
    json_add_int(reply, "type", info.type);
    json_add_int(reply, "percent", info.percent);
    cgi_writeback_json(REPLY_JSON, reply);
    done();
}

// Response code, record size, fewest whole records, printer. An answer
// shorter than its fewest records is no answer.
const IpcResponse kStorageResponses[] = {
    {6316, 4, 1, on_set_esata_auto_backup_info_cb},
    {6317, (int)sizeof(esata_backup_status), 1, on_get_esata_auto_backup_status_cb},
    {8402, 4, 1, on_format_disk_cb},
    {8434, 4, 1, on_format_disk_cb},
    {8403, (int)sizeof(smart_attr_reply), 1, on_get_smart_attr_cb},
    {8420, 4, 1, on_create_raid_cb},
    {8421, 4, 1, on_remove_raid_cb},
    {8496, 4, 1, on_remove_raid_cb},
    {8423, 4, 1, on_create_space_cb},
    {8424, 4, 1, on_remove_space_cb},
    {8425, 4, 1, on_rebuild_raid_cb},
    {8431, (int)sizeof(recycle_mode_reply), 1, on_get_recycle_mode_cb},
    {8433, (int)sizeof(storage_disk_info), 0, on_get_storage_info_cb},
    {8439, 4, 1, on_update_disk_nas_cb},
    {8507, 4, 1, on_update_disk_nas_cb},
    {8440, (int)sizeof(nas_search_reply), 1, on_search_disk_nas_cb},
    {8457, (int)sizeof(export_disk_info), 0, on_get_export_disk_info_cb},
    {8475, 4, 0, on_set_recycle_cb},
    {8508, 4, 1, on_del_disk_nas_cb},
    {8529, (int)sizeof(quota_reply_entry), 0, on_get_quota_info_cb},
    {8530, 4, 1, on_set_quota_info_cb},
    {8535, 4, 1, on_format_esata_disk_web_cb},
    {8536, 4, 1, on_cgi_get_auto_backup_status_cb},
    {8537, 4, 1, on_cgi_set_auto_backup_stop_cb},
    {8540, (int)sizeof(format_info), 1, on_cgi_get_format_info_cb},
};

void on_storage_ipc_callback(void*, const int32_t* header, const char* payload)
{
    cgi_dispatch_response(kStorageResponses, WEB_RES_COUNT(kStorageResponses), header, payload);
}

}  // namespace

const WebResEntry* storage_web_resources(int* count)
{
    *count = WEB_RES_COUNT(g_storage_resources);
    return g_storage_resources;
}
