// System module, maintenance: restart and its poll, restore, configuration
// export and import, firmware upgrade, diagnosis export, automatic
// maintenance and reboot.
#include "modules/system/system_maintenance.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/channels.h"
#include "core/files.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/system/system.h"
#include "modules/video/video_records.h"
#include "platform/devpath.h"
#include "platform/urlcode.h"
#include "platform/vxdb.h"
#include "platform/vxsystem.h"
#include "platform/vxtask.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define MAINTENANCE_RESOURCES(X) \
    X("/1004", on_restart_device, "restart the device") \
    X("/1005", on_get_restart_state, "whether the core service is back after a restart") \
    X("/1006", on_restore_device, "restore factory settings, keeping network and/or users") \
    X("/1007", on_export_config, "export the configuration to a file in /tmp") \
    X("/1013", on_download_config, "download the exported configuration once") \
    X("/1008", on_import_config, "import an uploaded configuration file") \
    X("/1010", on_upgrade_system, "upgrade the firmware from the stored image") \
    X("/1011", on_clean_upgrade_files, "whether an upgrade image is still waiting") \
    X("/1034", on_cgi_upgrade_system_init, "prepare the core service for an upgrade") \
    X("/1016", on_get_auto_maintenance, "log and picture retention") \
    X("/1017", on_set_auto_maintenance, "set log and picture retention") \
    X("/1032", on_get_auto_reboot, "automatic reboot time") \
    X("/1033", on_set_auto_reboot, "set the automatic reboot time") \
    X("/6310", on_export_diagnosis, "have the core service pack a diagnosis file") \
    X("/6311", on_download_diagnosis, "download the diagnosis file once") \
    X("/1023", on_clear_db_update_flag, "clear the database update flag")

MAINTENANCE_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kMaintenanceResources[] = {MAINTENANCE_RESOURCES(WEB_RESOURCE_ROW)};

enum { EXPORT_PATH_READ = 1168, EXPORT_NAME_READ = 256 };

// ---- shared steps -----------------------------------------------------------

// Text of a small file in "/tmp" (a marker naming another file), at most
// size - 1 bytes; false when it is not a regular file there.
bool read_tmp_marker(const char* device_file, char* out, size_t size)
{
    TmpFile file;
    if (!tmp_file_open(device_file, &file))
        return false;
    size_t n = 0;
    while (n + 1 < size) {
        ssize_t got = read(file.fd, out + n, size - 1 - n);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        n += (size_t)got;
    }
    out[n] = '\0';
    tmp_file_close(&file, false);
    // A path is one line: a writer's trailing newline is not part of it.
    out[strcspn(out, "\r\n")] = '\0';
    return true;
}

const char* base_name(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Prints the download head and the file, then deletes it: an export is
// served once. `file` was opened through tmp_file_open.
void serve_once(TmpFile* file, const char* device_file)
{
    tmp_file_close(file, serve_download(file->fd, base_name(device_file)));
}

bool file_exists(const char* device_file)
{
    struct stat st;
    return stat(device_path(device_file).c_str(), &st) == 0;
}

// ---- restart and restore ----------------------------------------------------

HandlerStatus on_restart_device(const char*)
{
    cgi_write_operation_log(LOG_SUB_REMOTE_REBOOT, LOG_PARAM_NONE, 0);
    cgi_notify(on_system_ipc_callback, REQ_RESTART, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// A zero interval makes the motion event fire without pause; every poll of
// the restart page sets the two intervals back to their default.
bool repair_motion_intervals(motion* record, void*)
{
    bool changed = false;
    if (record->interval == 0) {
        record->interval = 20;
        changed = true;
    }
    if (record->email_interval == 0) {
        record->email_interval = 20;
        changed = true;
    }
    return changed;
}

HandlerStatus on_get_restart_state(const char*)
{
    const int channels = get_max_cameras(VXDB_MAIN);
    for (int channel = 0; channel < channels; channel++) {
        // Only stored records: a missing one stays missing rather than
        // becoming a record of zeros with two intervals set.
        static const vxdb_kind kMotionRecord = {"motion", (int)sizeof(motion), VIDEO_CHANNELS};
        motion record;
        if (vxdb_read(VXDB_MAIN, kMotionRecord, channel, &record) == 0)
            update_motion(VXDB_MAIN, channel, repair_motion_intervals, nullptr);
    }
    int fd = open(device_path(MAINT_CORE_ALIVE).c_str(), O_RDONLY);
    if (fd >= 0)
        close(fd);
    reply_text(fd >= 0 ? "OK" : "NO OK");
    return HANDLER_DONE;
}

HandlerStatus on_restore_device(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    restore_request keep = {0, 0};
    json_get_int(body.get(), "keepIp", &keep.keep_ip);
    json_get_int(body.get(), "keepUser", &keep.keep_user);
    // The page gets its answer before the device starts going down.
    reply_text("OK");
    cgi_notify(on_system_ipc_callback, REQ_RESTORE, &keep, (int)sizeof keep);
    cgi_notify(on_system_ipc_callback, REQ_RESTORE_FINISH, nullptr, 0);
    cgi_write_operation_log(LOG_SUB_REMOTE_RESTORE, LOG_PARAM_NONE, 0);
    cgi_notify(on_system_ipc_callback, REQ_RESTART, nullptr, 0);
    return HANDLER_DONE;
}

// ---- configuration export and import ---------------------------------------

HandlerStatus on_export_config(const char*)
{
    const char* const argv[] = {"vxprofile", "-e", "/tmp", nullptr};
    if (vx_exec(argv, nullptr) != 0)
        return HANDLER_ERROR_TEXT;
    char path[EXPORT_NAME_READ + 1];
    std::string reply = "OK";
    if (read_tmp_marker(MAINT_EXPORT_PATH_FILE, path, sizeof path) && strchr(path, '/'))
        reply = std::string("OK filename=") + base_name(path) + "\r\n";
    cgi_write_operation_log(LOG_SUB_REMOTE_CONFIG_EXPORT, LOG_PARAM_NONE, 0);
    reply_text(reply.c_str());
    return HANDLER_DONE;
}

HandlerStatus on_download_config(const char*)
{
    char path[EXPORT_PATH_READ + 1];
    TmpFile file;
    if (!read_tmp_marker(MAINT_EXPORT_PATH_FILE, path, sizeof path) || !tmp_file_open(path, &file))
        return HANDLER_SILENT;
    unlink(device_path(MAINT_EXPORT_PATH_FILE).c_str());
    serve_once(&file, path);
    return HANDLER_DONE;
}

// The upload is taken only by its path from the upload intake, and the tool
// gets it as one argument: a request naming the database, or a file name
// holding "$(...)", reaches no shell and imports nothing.
HandlerStatus on_import_config(const char* request)
{
    UploadPath upload;
    if (!upload_path_from_request(request, &upload))
        return HANDLER_ERROR_TEXT;
    // The tool maps device paths itself: give it the device form.
    const char* const argv[] = {"vxprofile", "-i", device_form(upload.path.c_str()), nullptr};
    const int imported = vx_exec(argv, nullptr);
    // Removed whether the import worked or not: no upload stays behind.
    const int removed = unlink(upload.path.c_str());
    if (imported != 0 || removed != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    cgi_write_operation_log(LOG_SUB_REMOTE_CONFIG_IMPORT, LOG_PARAM_NONE, 0);
    return HANDLER_DONE;
}

// ---- upgrade ---------------------------------------------------------------

// "OK", or the code as text.
void answer_upgrade_text(int done)
{
    char code[16];
    snprintf(code, sizeof code, "%d", done);
    reply_text(done == 1 ? "OK" : code);
}

HandlerStatus on_upgrade_system(const char* request)
{
    // "temp & <query>": the options are the second word.
    const char* split = strstr(request, " & ");
    return install_upgrade_image(split && strstr(split + 3, "reset") ? 1 : 0, answer_upgrade_text);
}

HandlerStatus on_clean_upgrade_files(const char*)
{
    reply_text(file_exists(MAINT_UPGRADE_IMAGE) ? "Error" : "OK");
    return HANDLER_DONE;
}

HandlerStatus on_cgi_upgrade_system_init(const char*)
{
    cgi_notify(on_system_ipc_callback, REQ_UPGRADE_PREPARE, nullptr, 0);
    // The core service stops its writers before the image arrives.
    vx_sleep_ms(500);
    reply_res(0);
    return HANDLER_DONE;
}

// ---- automatic maintenance and reboot --------------------------------------

const JsonField kMaintainFields[] = {
    JSON_FIELD_CHECKED(disk_maintain_info, log_retention, "logRetention", I32, true, -1, 12),
    JSON_FIELD_CHECKED(disk_maintain_info, photo_retention, "photoRetention", I32, true, -1, 12),
};

// -1, 0, 1, or an even count from 2 to 12.
bool retention_ok(int32_t value)
{
    return value <= 1 || value % 2 == 0;
}

HandlerStatus on_get_auto_maintenance(const char*)
{
    disk_maintain_info record;
    if (read_disk_maintain_info(VXDB_MAIN, &record) < 0)
        return HANDLER_ERROR_JSON;
    return reply_record(&record, kMaintainFields);
}

// The table's keys, then the retention rule the table cannot state.
bool check_auto_maintenance(const char* request, disk_maintain_info* out)
{
    return request_record(request, out, kMaintainFields) && retention_ok(out->log_retention) &&
           retention_ok(out->photo_retention);
}

HandlerStatus on_set_auto_maintenance(const char* request)
{
    disk_maintain_info record;
    if (!check_auto_maintenance(request, &record))
        return HANDLER_SILENT;
    if (write_disk_maintain_info(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_system_ipc_callback, REQ_AUTO_MAINTENANCE_CHANGED, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

const JsonField kRebootFields[] = {
    JSON_FIELD(autoreboot_conf, enable, "enable", I32),
    JSON_FIELD(autoreboot_conf, wday, "wday", I32),
    JSON_FIELD(autoreboot_conf, hour, "hour", I32),
    JSON_FIELD(autoreboot_conf, minutes, "minutes", I32),
    JSON_FIELD(autoreboot_conf, seconds, "seconds", I32),
};

HandlerStatus on_get_auto_reboot(const char*)
{
    autoreboot_conf record;
    if (read_autoreboot_conf(VXDB_MAIN, &record) < 0)
        return HANDLER_ERROR_JSON;
    return reply_record(&record, kRebootFields);
}

// The five fields from the request, 0 when absent; the rest of the stored
// record stays as it is.
void set_reboot_fields(autoreboot_conf* record, void* context)
{
    json_object* body = (json_object*)context;
    record->enable = record->wday = record->hour = record->minutes = record->seconds = 0;
    json_to_record(body, record, kRebootFields);
}

HandlerStatus on_set_auto_reboot(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (update_autoreboot_conf(VXDB_MAIN, set_reboot_fields, body.get()) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_system_ipc_callback, REQ_AUTO_REBOOT_CHANGED, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- diagnosis --------------------------------------------------------------

HandlerStatus on_export_diagnosis(const char*)
{
    if (file_exists(MAINT_DIAGNOSIS_MARKER)) {
        reply_text("Failed");
        return HANDLER_DONE;
    }
    char dir[DIAGNOSIS_DIR_SIZE] = {};
    wire_text(dir, "/tmp");
    if (!cgi_request(on_system_ipc_callback, REQ_DIAGNOSIS_EXPORT, dir, (int)sizeof dir))
        reply_text("Failed");
    return HANDLER_DONE;
}

// Only the package that "/6310" announced, and only as the request names it:
// any other path, the database's included, gives silence.
HandlerStatus on_download_diagnosis(const char* request)
{
    char wanted[256];
    get_url_decode(request, wanted, (int)sizeof wanted);
    char path[EXPORT_PATH_READ + 1];
    TmpFile file;
    if (!read_tmp_marker(MAINT_DIAGNOSIS_PATH_FILE, path, sizeof path) || strcmp(path, wanted) != 0 ||
        !tmp_file_open(path, &file))
        return HANDLER_SILENT;
    unlink(device_path(MAINT_DIAGNOSIS_PATH_FILE).c_str());
    serve_once(&file, path);
    return HANDLER_DONE;
}

HandlerStatus on_clear_db_update_flag(const char*)
{
    if (set_param_int(VXDB_MAIN, "vxfs_dbup", 0) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- answers -----------------------------------------------------------------

// The core service's result, or 1 (done) for 0; the handler prints it.
void on_upgrade_system_cb(IpcAnswer& answer)
{
    const int32_t result = answer_word(answer, 0);
    answer.done = result == 0 ? 1 : result;
}

void on_export_diagnosis_cb(IpcAnswer& answer)
{
    diagnosis_answer_head head;
    // The path starts at the ninth byte and ends at its NUL or at the end
    // of the answer; an answer without it is a failure.
    if (!answer_record(answer, &head) || head.status < 0 || answer.length <= (int)sizeof head) {
        reply_text("Failed");
        return;
    }
    const char* text = answer.payload + sizeof head;
    const std::string path(text, strnlen(text, (size_t)answer.length - sizeof head));
    if (path.empty()) {
        reply_text("Failed");
        return;
    }
    replace_file(device_path(MAINT_DIAGNOSIS_PATH_FILE), path.data(), path.size());
    char encoded[1024];
    get_url_encode(path.c_str(), encoded, (int)sizeof encoded);
    const std::string reply = std::string("OK/") + encoded + "\r\n";
    reply_text(reply.c_str());
}

// A 6713 shorter than its word is no answer (the upgrade then prints 0).
const IpcResponse kMaintenanceResponses[] = {
    {6713, 4, 1, on_upgrade_system_cb},
    {8528, 1, 0, on_export_diagnosis_cb},
};

}  // namespace

const WebModulePart system_maintenance_part =
    WEB_MODULE_PART("system", kMaintenanceResources, kMaintenanceResponses);

HandlerStatus install_upgrade_image(int32_t reset, void (*answer)(int done))
{
    cgi_write_operation_log(LOG_SUB_REMOTE_UPGRADE, LOG_PARAM_NONE, 0);
    const int done = cgi_request(on_system_ipc_callback, REQ_UPGRADE, &reset, (int)sizeof reset);
    answer(done);
    if (done == 1) {
        cgi_write_operation_log(LOG_SUB_REMOTE_REBOOT, LOG_PARAM_NONE, 0);
        cgi_notify(on_system_ipc_callback, REQ_RESTART, nullptr, 0);
    }
    return HANDLER_DONE;
}
