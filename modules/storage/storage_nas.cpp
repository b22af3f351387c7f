// Network disks, quotas, storage groups, the overwrite mode, S.M.A.R.T.
// and eSATA backup.
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
#define NAS_RESOURCES(X) \
    X("/6200", on_del_disk_nas, "delete network disks") \
    X("/6201", on_add_disk_nas, "add network disks") \
    X("/6202", on_search_disk_nas, "list a server's shared directories") \
    X("/6203", on_update_disk_nas, "change a network disk") \
    X("/6204", on_set_recycle_mode, "set the overwrite mode") \
    X("/6205", on_get_recycle_mode, "overwrite mode") \
    X("/6206", on_get_smart_attr, "S.M.A.R.T. self-evaluation of a disk") \
    X("/6207", on_del_disk, "delete a disk of any type") \
    X("/6208", on_get_quota_info, "per-channel quotas") \
    X("/6209", on_set_quota_info, "set quotas") \
    X("/6210", on_set_group_info, "storage groups") \
    X("/6222", on_get_esata_auto_backup_status, "automatic backup status") \
    X("/6220", on_get_esata_auto_backup_info, "automatic backup settings") \
    X("/6221", on_set_esata_auto_backup_info, "store automatic backup settings") \
    X("/6223", on_get_export_disk_info, "disk usable for export") \
    X("/6224", on_format_esata_disk_web, "format the eSATA disk") \
    X("/6225", on_cgi_get_auto_backup_status, "backup status") \
    X("/6226", on_cgi_set_auto_backup_stop, "stop a running backup") \
    X("/6227", on_cgi_get_format_info, "format status")

NAS_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kNasResources[] = {NAS_RESOURCES(WEB_RESOURCE_ROW)};

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

HandlerStatus on_del_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    // The count says how many ports the record holds: never more than it does.
    nas_port_list list = nas_ports(body.get());
    db_disk stored[NAS_MAX_PORTS];
    for (int i = 0; i < list.count; i++)
        read_disk(VXDB_MAIN, &stored[i], list.ports[i]);
    if (!cgi_request(on_storage_ipc_callback, REQ_NAS_DELETE, &list, (int)sizeof list))
        return HANDLER_ERROR_TEXT;
    for (int i = 0; i < list.count; i++)
        if (stored[i].port != 0)
            log_nas_change(LOG_SUB_REMOTE_NAS_DELETE, LOG_DETAIL_NAS, list.ports[i], nas_protocol(stored[i].type), stored[i].address,
                           stored[i].directory);
    return HANDLER_DONE;
}

HandlerStatus on_add_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
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
        if (write_disk(VXDB_MAIN, &added[i]) != 0)
            return HANDLER_ERROR_TEXT;
    }
    if (!cgi_request(on_storage_ipc_callback, REQ_NAS_ADD, &list, (int)sizeof list))
        return HANDLER_ERROR_TEXT;
    for (int i = 0; i < list.count; i++)
        log_nas_change(LOG_SUB_REMOTE_NAS_ADD, LOG_DETAIL_NAS, added[i].port, nas_protocol(type), added[i].address, added[i].directory);
    return HANDLER_DONE;
}

HandlerStatus on_search_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    nas_search_request search;
    memset(&search, 0, sizeof search);
    const char* server = "";
    json_get_int(body.get(), "port", &search.port);
    json_get_text(body.get(), "serverAddr", &server);
    wire_text(search.server, server);
    return cgi_ask(on_storage_ipc_callback, REQ_NAS_SEARCH, &search, (int)sizeof search, HANDLER_ERROR_JSON);
}

HandlerStatus on_update_disk_nas(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
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
    if (write_disk(VXDB_MAIN, &disk) != 0)
        return HANDLER_ERROR_TEXT;
    if (storage_ask_port(REQ_NAS_UPDATE, port, HANDLER_ERROR_TEXT) != HANDLER_DONE)
        return HANDLER_ERROR_TEXT;
    const char* protocol = type == HDD_TYPE_NFS ? "NFS" : type == HDD_TYPE_SMB ? "SMB/CIFS" : "";
    log_nas_change(LOG_SUB_REMOTE_NAS_CHANGE, LOG_DETAIL_NAS_CHANGE, port, protocol, disk.address, disk.directory);
    return HANDLER_DONE;
}

HandlerStatus on_set_recycle_mode(const char* request)
{
    recycle_mode_reply mode;
    if (!request_words(request, &mode, {"mode", "esata"}))
        return HANDLER_SILENT;
    return cgi_ask(on_storage_ipc_callback, REQ_RECYCLE_SET, &mode, (int)sizeof mode, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_recycle_mode(const char*)
{
    return storage_ask_port(REQ_RECYCLE_GET, 0, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_smart_attr(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int num = 0;
    json_get_int(body.get(), "num", &num);
    json_object* ports = nullptr;
    json_object_object_get_ex(body.get(), "port", &ports);
    int64_t port = 0;
    for (size_t i = 0; (int)i < num && i < json_array_size(ports); i++)
        json_as_int64(json_array_at(ports, i), &port);
    return storage_ask_port(REQ_SMART_ATTR, (int32_t)port, HANDLER_ERROR_JSON);
}

HandlerStatus on_del_disk(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int port = 0, type = 0;
    json_get_int(body.get(), "port", &port);
    json_get_int(body.get(), "hddType", &type);
    if (type == HDD_TYPE_NFS || type == HDD_TYPE_SMB) {
        nas_port_list list;
        memset(&list, 0, sizeof list);
        list.count = 1;
        list.ports[0] = port;
        return cgi_ask(on_storage_ipc_callback, REQ_NAS_DELETE, &list, (int)sizeof list, HANDLER_ERROR_TEXT);
    }
    HandlerStatus status;
    if (type == HDD_TYPE_RAID) {
        status = storage_remove_raid(port);
    } else {
        status = storage_ask_port(REQ_DISK_REMOVE, port, HANDLER_ERROR_TEXT);
        db_disk fresh;
        memset(&fresh, 0, sizeof fresh);
        fresh.port = port;
        fresh.property = 1;
        write_disk(VXDB_MAIN, &fresh);
    }
    cgi_write_operation_log(LOG_SUB_REMOTE_DISK_DELETE, LOG_PARAM_NONE, port);
    return status;
}

HandlerStatus on_get_quota_info(const char*)
{
    return storage_ask_empty(REQ_QUOTA_GET, HANDLER_ERROR_JSON);
}

HandlerStatus on_set_quota_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    quota_request quota;
    memset(&quota, 0, sizeof quota);
    if (!json_get_int(body.get(), "enable", &quota.enable))
        return HANDLER_SILENT;
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
    return cgi_ask(on_storage_ipc_callback, REQ_QUOTA_SET, &quota, (int)sizeof quota, HANDLER_ERROR_TEXT);
}

// Stores the group mode and tells the core service; false when it cannot
// be stored.
bool set_group_mode(int32_t mode)
{
    if (set_param_int(VXDB_MAIN, "group_mode", mode) != 0)
        return false;
    cgi_notify(on_storage_ipc_callback, REQ_GROUP_MODE, &mode, (int)sizeof mode);
    return true;
}

HandlerStatus on_set_group_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int enable = 0;
    if (!json_get_int(body.get(), "group_enable", &enable))
        return HANDLER_SILENT;
    if (enable == 0) {
        if (!set_group_mode(0))
            return HANDLER_ERROR_TEXT;
        reply_text("OK");
        return HANDLER_DONE;
    }
    if (get_param_int(VXDB_MAIN, "group_mode", 0) == 0 && !set_group_mode(enable))
        return HANDLER_ERROR_TEXT;
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
    return HANDLER_DONE;
}

HandlerStatus on_get_esata_auto_backup_status(const char*)
{
    return storage_ask_empty(REQ_ESATA_BACKUP_STATUS, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_esata_auto_backup_info(const char*)
{
    esata_auto_backup settings;
    read_esata_auto_backup(VXDB_MAIN, &settings);
    return reply_record(&settings, kEsataBackupFields);
}

HandlerStatus on_set_esata_auto_backup_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int stop = 0;
    json_get_int(body.get(), "stopBackup", &stop);
    if (stop == 0) {
        esata_auto_backup settings;
        memset(&settings, 0, sizeof settings);
        json_to_record(body.get(), &settings, kEsataBackupFields);
        if (write_esata_auto_backup(VXDB_MAIN, &settings) != 0)
            return HANDLER_ERROR_JSON;
    }
    return storage_ask_empty(REQ_ESATA_BACKUP_SET, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_export_disk_info(const char*)
{
    return storage_ask_empty(REQ_EXPORT_DISKS, HANDLER_ERROR_JSON);
}

HandlerStatus on_format_esata_disk_web(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int port = 0;
    if (!json_get_int(body.get(), "port", &port) || port < 0 || port > STORAGE_MAX_PORTS) {
        return HANDLER_ERROR_JSON;
    }
    return storage_ask_port(REQ_ESATA_FORMAT, port, HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_get_auto_backup_status(const char*)
{
    return storage_ask_empty(REQ_BACKUP_STATUS, HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_set_auto_backup_stop(const char*)
{
    return storage_ask_empty(REQ_BACKUP_STOP, HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_get_format_info(const char*)
{
    return storage_ask_empty(REQ_FORMAT_STATUS, HANDLER_ERROR_JSON);
}

// ---- answers ---------------------------------------------------------------

void on_set_esata_auto_backup_info_cb(IpcAnswer& answer) { storage_reply_word("result", answer); }

void on_format_esata_disk_web_cb(IpcAnswer& answer) { storage_reply_word("result", answer); }

void on_cgi_set_auto_backup_stop_cb(IpcAnswer& answer) { storage_reply_word("result", answer); }

void on_cgi_get_auto_backup_status_cb(IpcAnswer& answer) { storage_reply_word("status", answer); }

void on_get_esata_auto_backup_status_cb(IpcAnswer& answer)
{
    esata_backup_status status;
    answer_record(answer, &status);
    char percent[8];
    snprintf(percent, sizeof percent, "%.1f", (double)status.percent);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "status", status.status);
    json_add_text(reply, "percent", percent);
    json_add_field(reply, "last_time", status.last_time, sizeof status.last_time);
    json_add_int(reply, "capacity", status.capacity);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_get_smart_attr_cb(IpcAnswer& answer)
{
    smart_attr_reply smart;
    answer_record(answer, &smart);
    // The text need not end inside the record.
    char text[sizeof smart.text + 1];
    memcpy(text, smart.text, sizeof smart.text);
    text[sizeof smart.text] = '\0';
    json_object* reply = json_object_new_object();
    json_add_int(reply, "selfEvaluation", strstr(text, "PASSED") ? 1 : 0);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_del_disk_nas_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

void on_set_quota_info_cb(IpcAnswer& answer) { storage_reply_result_word(answer); }

void on_get_recycle_mode_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(recycle_mode_reply, mode, "mode", I32),
        JSON_FIELD(recycle_mode_reply, esata, "esata", I32),
    };
    recycle_mode_reply mode;
    answer_record(answer, &mode);
    reply_record(&mode, kFields);
}

void on_update_disk_nas_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "status", 0);
    json_add_int(reply, "res", answer_word(answer));
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_search_disk_nas_cb(IpcAnswer& answer)
{
    static nas_search_reply found;
    answer_record(answer, &found);
    int shares = found.count < 0 ? 0 : found.count > NAS_MAX_SHARES ? NAS_MAX_SHARES : found.count;
    json_object* list = json_object_new_array();
    for (int i = 0; i < shares; i++) {
        json_object* o = json_object_new_object();
        json_add_field(o, "filePath", found.paths[i], sizeof found.paths[i]);
        json_object_array_add(list, o);
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "resultString", shares > 0 ? "OK" : "NO");
    json_object_object_add(reply, "NAS", list);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_get_export_disk_info_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    for (int i = 0; i < answer.count; i++) {
        export_disk_info disk;
        answer_record(answer, &disk, i);
        if (disk.type == EXPORT_DISK_TYPE) {
            json_add_int(reply, "port", disk.port);
            json_add_int(reply, "result", 0);
            cgi_writeback_json(REPLY_JSON, reply);
            return;
        }
    }
    json_add_int(reply, "result", -1);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_set_recycle_cb(IpcAnswer&)
{
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    cgi_writeback_json(REPLY_JSON, reply);
}

const JsonField kQuotaFields[] = {
    JSON_FIELD(quota_reply_entry, channel, "channel", U8),
    JSON_FIELD(quota_reply_entry, video_used, "video_used", I32),
    JSON_FIELD(quota_reply_entry, video_quota, "video_quota", I32),
    JSON_FIELD(quota_reply_entry, picture_used, "picture_used", I32),
    JSON_FIELD(quota_reply_entry, picture_quota, "picture_quota", I32),
};

void on_get_quota_info_cb(IpcAnswer& answer)
{
    quota_reply_head head;
    if (!answer_record(answer, &head)) {
        answer.done = 0;  // no head: no answer
        return;
    }
    int entries = answer_count(answer, head.count, INT32_MAX, sizeof head, sizeof(quota_reply_entry));

    json_object* reply = json_object_new_object();
    json_add_int(reply, "enable", head.enable);
    json_object* quotas = json_object_new_array();
    for (int i = 0; i < entries; i++) {
        quota_reply_entry e;
        answer_record(answer, &e, i, sizeof head);
        json_object* o = json_object_new_object();
        json_from_record(o, &e, kQuotaFields);
        json_object_array_add(quotas, o);
    }
    json_object_object_add(reply, "quota_array", quotas);
    storage_add_groups(reply);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_cgi_get_format_info_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(format_info, status, "status", I32),
        JSON_FIELD(format_info, port, "port", U8),
        JSON_FIELD(format_info, type, "type", I32),
        JSON_FIELD(format_info, percent, "percent", U8),
    };
    format_info info;
    answer_record(answer, &info);
    reply_record(&info, kFields);
}

// Response code, record size, fewest whole records, printer. An answer
// shorter than its fewest records is no answer.
const IpcResponse kNasResponses[] = {
    {6316, 4, 1, on_set_esata_auto_backup_info_cb},
    {6317, (int)sizeof(esata_backup_status), 1, on_get_esata_auto_backup_status_cb},
    {8403, (int)sizeof(smart_attr_reply), 1, on_get_smart_attr_cb},
    {8431, (int)sizeof(recycle_mode_reply), 1, on_get_recycle_mode_cb},
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

}  // namespace

void storage_add_groups(json_object* reply)
{
    storage_group groups[STORAGE_MAX_GROUPS];
    read_groups(VXDB_MAIN, groups);
    json_object* channels = json_object_new_array();
    for (const storage_group& g : groups)
        json_object_array_add(channels, json_new_text(g.channels, wire_strlen(g.channels)));
    json_object_object_add(reply, "channel", channels);

    db_disk disks[STORAGE_MAX_PORTS];
    read_disks(VXDB_MAIN, disks, nullptr);
    json_object* disk_groups = json_object_new_array();
    for (const db_disk& d : disks)
        json_object_array_add(disk_groups, json_object_new_int(d.enable ? d.group + 1 : 0));
    json_object_object_add(reply, "disk", disk_groups);
    json_add_int(reply, "max_chan", get_param_int(VXDB_MAIN, "max_cameras", 32));
    json_add_int(reply, "group_enable", get_param_int(VXDB_MAIN, "group_mode", 0));
}

const WebModulePart storage_nas_part = WEB_MODULE_PART("storage", kNasResources, kNasResponses);
