// Disks, RAID arrays and formatting: the disk list merges what the core
// service reports with the disks configured in the database.
#include "modules/storage/storage.h"

#include <cstdio>
#include <cstring>

#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "platform/urlcode.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define DISK_RESOURCES(X) \
    X("/6100", on_get_disk_info, "disk list: local disks, RAID arrays, network disks") \
    X("/6101", on_set_disk_info, "set the property and group of a disk") \
    X("/6102", on_format_disk, "format a disk") \
    X("/6103", on_get_format_progress, "acknowledge a format progress query") \
    X("/6104", on_create_raid, "create a RAID array") \
    X("/6105", on_remove_raid, "remove a RAID array") \
    X("/6106", on_set_hot_space, "make a disk a hot spare, or release it") \
    X("/6107", on_rebuild_raid, "rebuild an array onto a disk") \
    X("/6108", on_get_raid_mode, "RAID mode") \
    X("/6109", on_set_raid_mode, "set the RAID mode")

DISK_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kDiskResources[] = {DISK_RESOURCES(WEB_RESOURCE_ROW)};

HandlerStatus on_get_disk_info(const char*)
{
    return storage_ask_empty(REQ_DISK_LIST, HANDLER_ERROR_JSON);
}

const JsonField kDiskInfoChecks[] = {
    JSON_CHECK("portId", true, 0, 35),
    JSON_CHECK("property", true, 0, 1),
};

bool check_disk_info(json_object* request)
{
    return json_check(request, kDiskInfoChecks);
}

HandlerStatus on_set_disk_info(const char* request)
{
    disk_property_request change;
    JsonPtr body = request_words(request, &change, {"portId", "property", "group"});
    if (!check_disk_info(body.get()))
        return HANDLER_SILENT;

    db_disk disk;
    read_disk(VXDB_MAIN, &disk, change.port);
    // A port without a record reads as zeros: keep the write under its port.
    disk.port = change.port;
    disk.property = change.property;
    disk.group = change.group;
    if (write_disk(VXDB_MAIN, &disk) != 0)
        return HANDLER_ERROR_TEXT;

    cgi_notify(on_storage_ipc_callback, REQ_DISK_PROPERTY, &change, (int)sizeof change);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_DISK, change.port);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_format_disk(const char* request)
{
    int port = 0;
    if (!parse_decimal(request, &port) || port < 0 || port > STORAGE_MAX_PORTS)
        return HANDLER_SILENT;
    // The answer's printer sets it when the core service reports success.
    int formatted = 0;
    HandlerStatus status = storage_ask_port(REQ_DISK_FORMAT, port, HANDLER_ERROR_JSON, &formatted);

    // Logged whatever the answer, with the outcome in the detail block.
    format_log_detail detail;
    memset(&detail, 0, sizeof detail);
    detail.port = port;
    detail.outcome = formatted ? 1 : -1;
    cgi_write_operation_log(LOG_SUB_REMOTE_FORMAT, LOG_PARAM_NONE, port, LOG_DETAIL_FORMAT, &detail, (int)sizeof detail);
    return status;
}

HandlerStatus on_get_format_progress(const char* request)
{
    int port = 0;
    if (parse_decimal(request, &port) && port >= 0 && port <= 16)
        reply_text("OK");
    return HANDLER_DONE;
}

const JsonField kRaidInfoChecks[] = {
    JSON_CHECK("id", true, 10, 15),
    JSON_CHECK("enable", true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_CHECK("sata_port", true, 0, JSON_ANY_MAX),
    JSON_CHECK("sata_cnt", true, 0, JSON_ANY_MAX),
    JSON_CHECK("level", true, 0, JSON_ANY_MAX),
};

bool check_raid_info(json_object* request)
{
    return json_check(request, kRaidInfoChecks);
}

HandlerStatus on_create_raid(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_raid_info(body.get()))
        return HANDLER_SILENT;
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
    return cgi_ask(on_storage_ipc_callback, REQ_RAID_CREATE, &raid, (int)sizeof raid, HANDLER_ERROR_TEXT);
}

HandlerStatus on_remove_raid(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int id = 0;
    if (!body || !parse_decimal(request, &id) || id < 10 || id > 16)
        return HANDLER_SILENT;
    return storage_remove_raid(id);
}

HandlerStatus on_set_hot_space(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int port = 0, hot = 0;
    json_get_int(body.get(), "port", &port);
    json_get_int(body.get(), "hotflag", &hot);
    return storage_ask_port(hot ? REQ_HOT_SPARE_SET : REQ_HOT_SPARE_RELEASE, port, HANDLER_ERROR_TEXT);
}

HandlerStatus on_rebuild_raid(const char* request)
{
    raid_rebuild_request rebuild;
    if (!request_words(request, &rebuild, {"diskport", "raidport"}))
        return HANDLER_SILENT;
    return cgi_ask(on_storage_ipc_callback, REQ_RAID_REBUILD, &rebuild, (int)sizeof rebuild, HANDLER_ERROR_TEXT);
}

HandlerStatus on_get_raid_mode(const char*)
{
    char text[16];
    snprintf(text, sizeof text, "%d", get_param_int(VXDB_MAIN, "raidmode", 0));
    reply_text(text);
    return HANDLER_DONE;
}

HandlerStatus on_set_raid_mode(const char* request)
{
    int mode = 0;
    if (!parse_decimal(request, &mode) || (mode != 0 && mode != 1))
        mode = 0;
    if (set_param_int(VXDB_MAIN, "raidmode", mode) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- answers ---------------------------------------------------------------

void on_format_disk_cb(IpcAnswer& answer)
{
    switch (answer_word(answer)) {
    case 0:
        reply_text("OK");
        if (answer.context)
            *(int*)answer.context = 1;
        break;
    case 1: reply_text("USING"); break;
    case -1: reply_text("ERROR FORMAT"); break;
    case -3: reply_text("NAS LOW CAP"); break;
    default: break;
    }
}

void on_create_raid_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

void on_remove_raid_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

void on_create_space_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

void on_remove_space_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

void on_rebuild_raid_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

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

// Credentials are shown URL-encoded; the field need not end in a NUL.
template <size_t N>
void encoded_credential(const char (&field)[N], char (&out)[128])
{
    char raw[N + 1];
    memcpy(raw, field, N);
    raw[N] = '\0';
    get_url_encode(raw, out, sizeof out);
}

json_object* disk_json(const storage_disk_info& d)
{
    char user[128], password[128];
    encoded_credential(d.user_name, user);
    encoded_credential(d.password, password);

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

void on_get_storage_info_cb(IpcAnswer& answer)
{
    static storage_disk_info slots[STORAGE_MAX_PORTS];
    bool filled[STORAGE_MAX_PORTS] = {};
    memset(slots, 0, sizeof slots);
    for (int i = 0; i < answer.count; i++) {
        storage_disk_info d;
        answer_record(answer, &d, i);
        if (d.port >= 1 && d.port <= STORAGE_MAX_PORTS) {
            slots[d.port - 1] = d;
            filled[d.port - 1] = true;
        }
    }
    db_disk disks[STORAGE_MAX_PORTS];
    read_disks(VXDB_MAIN, disks, nullptr);
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
    json_add_text(reply, "resultString", answer.count == 0 && json_object_array_length(list) == 0 ? "NO" : "OK");
    json_add_int(reply, "esataType", get_param_int(VXDB_MAIN, "esata_type", 0));
    json_object_object_add(reply, "HDD", list);
    json_add_int(reply, "maxDiskNum", STORAGE_MAX_PORTS);
    cgi_writeback_json(REPLY_JSON, reply);
}

// Response code, record size, fewest whole records, printer. An answer
// shorter than its fewest records is no answer.
const IpcResponse kDiskResponses[] = {
    {8402, 4, 1, on_format_disk_cb, REQ_DISK_FORMAT},
    {8434, 4, 1, on_format_disk_cb},
    {8420, 4, 1, on_create_raid_cb},
    {8421, 4, 1, on_remove_raid_cb},
    {8496, 4, 1, on_remove_raid_cb},
    {8423, 4, 1, on_create_space_cb},
    {8424, 4, 1, on_remove_space_cb},
    {8425, 4, 1, on_rebuild_raid_cb},
    {8433, (int)sizeof(storage_disk_info), 0, on_get_storage_info_cb},
};

}  // namespace

const WebModulePart storage_disk_part = WEB_MODULE_PART("storage", kDiskResources, kDiskResponses);
