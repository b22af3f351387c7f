// System module, device information and general settings: the information
// page, host name and device number, the local outputs, the pages' language
// texts, and the batch of camera addresses.
#include "modules/system/system_info.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "core/channels.h"
#include "core/files.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "core/web_utils.h"
#include "modules/network/network_records.h"
#include "modules/system/system.h"
#include "modules/system/system_maintenance.h"
#include "modules/system/system_records.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/vxsystem.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define INFO_RESOURCES(X) \
    X("/1009", on_get_system_info, "device information from the core service") \
    X("/1020", on_get_system_info, "device information (second page)") \
    X("/1012", on_set_system_info, "host name and device number") \
    X("/6080", on_get_general_info, "general settings: outputs, audio, host name, wizard") \
    X("/6081", on_set_general_info, "store the general settings and tell the core service") \
    X("/1001", on_change_language, "replace the pages' languages file") \
    X("/json", on_get_lang_json, "one page's section of a language file") \
    X("/1014", on_write_operation_log, "leave the logout record in the device log") \
    X("/ipc", on_set_camera_ip_batch, "give a run of cameras consecutive addresses") \
    X("/dw.cgi", on_refuse_download, "downloads through this path are refused") \
    X("/1019", on_upload_signal_1019, "an upload signal; nothing to do")

INFO_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kInfoResources[] = {INFO_RESOURCES(WEB_RESOURCE_ROW)};

#define LANG_DIR "/opt/app/www/webfile/json"
#define LANG_LOCK_FILE "/tmp/cgilockfile"

enum {
    HOST_NAME_CUT = 127,
    UPTIME_CUT = 63,
    LANG_NAME_MAX = 63,
    PAGE_NAME_MAX = 127,
    LANG_LINE = 1024,
    LANG_REPLY_MAX = 307199,
    CAMERA_IP_SIZE = 32,
};

// ---- device information -------------------------------------------------------

struct Uptime {
    char text[UPTIME_CUT + 1];
};

bool first_uptime_line(const char* line, void* context)
{
    Uptime* up = (Uptime*)context;
    snprintf(up->text, sizeof up->text, "%s", line);
    return true;
}

// The page shows how long the device is up, without the user count and
// load; a cut is never placed before the start of the text.
void read_uptime(Uptime* up)
{
    up->text[0] = '\0';
    const char* const argv[] = {"uptime", nullptr};
    vx_exec_lines(argv, first_uptime_line, up);
    const char* users = strstr(up->text, "users");
    const char* ell = strchr(up->text, 'l');
    long cut = users ? (long)(users - up->text) - 5 : ell ? (long)(ell - up->text) - 2 : -1;
    if (users || ell)
        up->text[cut < 0 ? 0 : cut] = '\0';
}

void add_param_text(json_object* reply, const char* key, const char* param, int size, const char* fallback)
{
    char text[256];
    get_param_value(VXDB_MAIN, param, text, size < (int)sizeof text ? size : (int)sizeof text, fallback);
    json_add_text(reply, key, text);
}

const JsonField kResourceFields[] = {
    JSON_FIELD(system_info, display_num, "displayNum", I32),
    JSON_FIELD(system_info, max_audio_out, "maxAudioOut", I32),
    JSON_FIELD(system_info, max_network_lan, "maxNetworkLan", I32),
    JSON_FIELD(system_info, max_sensor, "maxSensor", I32),
    JSON_FIELD(system_info, max_alarm, "maxAlarm", I32),
    JSON_FIELD(system_info, max_cameras, "maxCameras", I32),
    JSON_FIELD(system_info, max_rs485, "masRs485", I32),
};

void on_get_system_info_cb(IpcAnswer& answer)
{
    system_info info;
    answer_record(answer, &info);
    Uptime up;
    read_uptime(&up);
    json_object* reply = json_object_new_object();
    json_add_text(reply, "hostName", "");
    json_add_field(reply, "deviceName", info.product, sizeof info.product);
    json_add_int(reply, "deviceId", info.device_id);
    json_add_field(reply, "product", info.product, sizeof info.product);
    json_add_field(reply, "hwver", info.hwver, sizeof info.hwver);
    json_add_field(reply, "software", info.software, sizeof info.software);
    json_add_int(reply, "oemversion", info.oem_version);
    json_add_field(reply, "sn", info.sn, sizeof info.sn);
    json_add_field(reply, "prefix", info.prefix, sizeof info.prefix);
    add_param_text(reply, "pluginVersion", "plugin_version", 64, "1.0");
    add_param_text(reply, "mpluginVersion", "mplugin_version", 64, "1.0");
    json_add_field(reply, "macAddress", info.mac_address, sizeof info.mac_address);
    json_add_int(reply, "vxddns", info.vxddns);
    json_add_text(reply, "uptime", up.text);
    json_add_field(reply, "sncode", info.sn, sizeof info.sn);
    json_object* resource = json_object_new_object();
    json_from_record(resource, &info, kResourceFields);
    json_object_object_add(reply, "resource", resource);
    json_add_int(reply, "vxfsDbup", get_param_int(VXDB_MAIN, "vxfs_dbup", 0));
    json_add_int(reply, "transProtocol", get_param_int(VXDB_MAIN, "transport_protocol", 0));
    add_param_text(reply, "streamInfo", "stream_information", 64, "1.0");
    json_add_int(reply, "oemonlineupdate", get_param_int(VXDB_MAIN, "oemupdateonline", 0));
    add_param_text(reply, "company", "company", 64, "Talvokine");
    json_add_int(reply, "isSupportTalk", info.is_support_talk);
    cgi_writeback_json(REPLY_JSON, reply);
}

const IpcResponse kInfoResponses[] = {
    {REQ_SYSTEM_INFO + 5000, (int)sizeof(system_info), 1, on_get_system_info_cb},
};

HandlerStatus on_get_system_info(const char*)
{
    return cgi_ask(on_system_ipc_callback, REQ_SYSTEM_INFO, nullptr, 0, HANDLER_ERROR_JSON);
}

// ---- host name and device number ----------------------------------------------

bool put_host_name(void* record, void* context)
{
    wire_text(((network_record*)record)->host_name, (const char*)context, HOST_NAME_CUT);
    return true;
}

// The core service reads both from the database when it is told.
void tell_identity(int32_t device_id)
{
    char changed[HOSTNAME_CHANGED_TEXT_SIZE] = "hostname";
    cgi_notify(on_system_ipc_callback, REQ_DEVICE_ID, &device_id, (int)sizeof device_id);
    cgi_notify(on_system_ipc_callback, REQ_NETWORK_CHANGED, changed, (int)sizeof changed);
}

struct IdentityRequest {
    char host_name[HOST_NAME_CUT + 1];
    int32_t device_id;
};

const JsonField kSystemInfoRequest[] = {
    JSON_FIELD_CHECKED(IdentityRequest, host_name, "hostName", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(IdentityRequest, device_id, "deviceId", I32, true, 1, 255),
};

HandlerStatus on_set_system_info(const char* request)
{
    IdentityRequest ask;
    if (!request_record(request, &ask, kSystemInfoRequest) || !ask.host_name[0])
        return HANDLER_SILENT;
    if (update_network(VXDB_MAIN, put_host_name, ask.host_name) != 0 ||
        set_param_int(VXDB_MAIN, "deviceid", ask.device_id) != 0)
        return HANDLER_ERROR_TEXT;
    tell_identity(ask.device_id);
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- general settings -----------------------------------------------------------

const JsonField kDisplayFields[] = {
    JSON_FIELD(display_record, main_resolution, "mainResolution", I32),
    JSON_FIELD(display_record, hdmi_audio_on, "hdmiAudioOn", I32),
};
const JsonField kDisplayMoreFields[] = {
    JSON_FIELD(display_record, cur_control, "curControl", I32),
    JSON_FIELD(display_record, sub_enable, "subEnable", I32),
    JSON_FIELD(display_record, sub_resolution, "subResolution", I32),
    JSON_FIELD(display_record, audio_output_on, "audioOutputOn", I32),
    JSON_FIELD(display_record, audio_volume, "audioVolume", I32),
};

HandlerStatus on_get_general_info(const char*)
{
    display_record display;
    network_record network;
    if (read_display(VXDB_MAIN, &display) != 0 || read_network(VXDB_MAIN, &network) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "displayMode", get_param_int(VXDB_MAIN, "display_mode", 0));
    json_add_int(reply, "hdmihotplug", get_param_int(VXDB_MAIN, "hdmihotplug", 1));
    json_from_record(reply, &display, kDisplayFields);
    json_add_int(reply, "homologous", get_param_int(VXDB_MAIN, "homologous", 1));
    json_from_record(reply, &display, kDisplayMoreFields);
    json_add_int(reply, "deviceId", get_param_int(VXDB_MAIN, "deviceid", 255));
    json_add_field(reply, "hostname", network.host_name, sizeof network.host_name);
    json_add_int(reply, "wizardEnable", get_param_int(VXDB_MAIN, "wizard_enable", 0));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// What the page sends; the display values go into the stored record.
struct GeneralRequest {
    display_record display;
    int32_t sub_enable;
    int32_t device_id;
    int32_t wizard_enable;
    int32_t display_mode;
    int32_t homologous_changed;
    int32_t homologous;
    int32_t hdmihotplug;
    char host_name[HOST_NAME_CUT + 1];
    char stream_info[64];
};

const JsonField kGeneralRequest[] = {
    JSON_FIELD_CHECKED(GeneralRequest, display.main_resolution, "mainResolution", I32, true,
                       JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(GeneralRequest, display.audio_output_on, "audioOutputOn", I32, true, 0, 1),
    JSON_FIELD_CHECKED(GeneralRequest, display.audio_volume, "audioVolume", I32, true, 0, 100),
    JSON_FIELD_CHECKED(GeneralRequest, display.hdmi_audio_on, "hdmiAudioOn", I32, true, 0, 1),
    JSON_FIELD_CHECKED(GeneralRequest, display.sub_resolution, "subResolution", I32, true,
                       JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD(GeneralRequest, display.audio_stereo, "audioStereo", I32),
    JSON_FIELD_CHECKED(GeneralRequest, wizard_enable, "wizardEnable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(GeneralRequest, host_name, "hostname", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(GeneralRequest, device_id, "deviceId", I32, true, 0, 256),
    JSON_FIELD_CHECKED(GeneralRequest, display_mode, "displayMode", I32, true, 0, 1),
    JSON_FIELD_CHECKED(GeneralRequest, sub_enable, "subEnable", I32, true, 0, 1),
    JSON_FIELD(GeneralRequest, homologous_changed, "isHomologousChanged", I32),
    JSON_FIELD(GeneralRequest, homologous, "homologous", I32),
    JSON_FIELD(GeneralRequest, hdmihotplug, "hdmihotplug", I32),
    JSON_FIELD(GeneralRequest, stream_info, "streamInfo", TEXT),
};

// The display record as it was before the change, and what the change puts
// into it.
struct DisplayChange {
    const GeneralRequest* ask;
    display_record old;
    int32_t sub_enable;  // the record's value once written
};

bool change_display(void* record, void* context)
{
    DisplayChange* c = (DisplayChange*)context;
    display_record* d = (display_record*)record;
    const display_record& want = c->ask->display;
    c->old = *d;
    d->main_resolution = want.main_resolution;
    d->audio_output_on = want.audio_output_on;
    d->audio_volume = want.audio_volume;
    d->audio_stereo = want.audio_stereo;
    d->hdmi_audio_on = want.hdmi_audio_on;
    d->sub_resolution = want.sub_resolution;
    // One picture on both outputs: the sub output is then the quick screen's.
    if (c->ask->homologous_changed)
        d->sub_enable = c->ask->homologous == 0 ? 1 : 0;
    c->sub_enable = d->sub_enable;
    return true;
}

bool store_general_params(const GeneralRequest& ask, json_object* body)
{
    int rc = set_param_int(VXDB_MAIN, "deviceid", ask.device_id);
    rc |= set_param_int(VXDB_MAIN, "wizard_enable", ask.wizard_enable);
    rc |= set_param_int(VXDB_MAIN, "display_mode", ask.display_mode);
    if (json_object_object_get_ex(body, "hdmihotplug", nullptr))
        rc |= set_param_int(VXDB_MAIN, "hdmihotplug", ask.hdmihotplug);
    if (json_object_object_get_ex(body, "streamInfo", nullptr))
        rc |= set_param_value(VXDB_MAIN, "stream_information", ask.stream_info);
    return rc == 0;
}

HandlerStatus on_set_general_info(const char* request)
{
    GeneralRequest ask;
    JsonPtr body = request_record(request, &ask, kGeneralRequest);
    if (!body || ask.display.audio_volume % 10 != 0)
        return HANDLER_SILENT;

    bool restart = false;
    if (ask.homologous_changed) {
        if (set_param_int(VXDB_MAIN, "homologous", ask.homologous) != 0 ||
            set_param_value(VXDB_MAIN, "quick_screen", ask.homologous == 0 ? "1" : "0") != 0)
            return HANDLER_ERROR_TEXT;
        restart = true;
    }
    DisplayChange change = {&ask, {}, 0};
    if (update_display(VXDB_MAIN, change_display, &change) != 0)
        return HANDLER_ERROR_TEXT;
    if (change.sub_enable != ask.sub_enable && change.old.cur_control == 0 && !ask.homologous_changed)
        cgi_notify(on_system_ipc_callback, REQ_SUB_OUTPUT, &ask.sub_enable, (int)sizeof ask.sub_enable);

    if (update_network(VXDB_MAIN, put_host_name, ask.host_name) != 0 || !store_general_params(ask, body.get()))
        return HANDLER_ERROR_TEXT;
    tell_identity(ask.device_id);

    if (change.old.main_resolution != ask.display.main_resolution ||
        change.old.sub_resolution != ask.display.sub_resolution) {
        const display_resolution_request main_output = {0, ask.display.main_resolution};
        const display_resolution_request sub_output = {1, ask.display.sub_resolution};
        cgi_notify(on_system_ipc_callback, REQ_DISPLAY_RESOLUTION, &main_output, (int)sizeof main_output);
        cgi_notify(on_system_ipc_callback, REQ_DISPLAY_RESOLUTION, &sub_output, (int)sizeof sub_output);
        cgi_notify(on_system_ipc_callback, REQ_DISPLAY_APPLY, nullptr, 0);
    }
    const audio_output_request audio = {ask.display.hdmi_audio_on, ask.display.audio_output_on,
                                        ask.display.audio_volume};
    cgi_notify(on_system_ipc_callback, REQ_AUDIO_OUTPUT, &audio, (int)sizeof audio);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_GENERAL, 0);
    reply_text(change.old.cur_control == 0 ? "OK" : "SUB");
    if (restart)
        cgi_notify(on_system_ipc_callback, REQ_RESTART, nullptr, 0);
    return HANDLER_DONE;
}

// ---- language texts ---------------------------------------------------------------

// The body must be one whole JSON value: a cut upload or stray text after it
// would otherwise become the languages every page loads.
bool whole_json(const char* text)
{
    if (!text)
        return false;
    const size_t n = strlen(text);
    json_tokener* tok = json_tokener_new();
    if (!tok)
        return false;
    json_object* value = json_tokener_parse_ex(tok, text, (int)n);
    bool ok = value && json_tokener_get_error(tok) == json_tokener_success;
    size_t end = ok ? json_tokener_get_parse_end(tok) : 0;
    json_object_put(value);
    json_tokener_free(tok);
    while (ok && end < n && strchr(" \t\r\n", text[end]))
        end++;
    return ok && end == n;
}

// The new file is complete on disk before rename(2) puts it in place, so a
// reader sees the old languages or the new ones, never a part.
bool replace_languages(const char* text)
{
    std::string work, live;
    if (!path_in_directory(LANG_DIR, "languages_bak.json", &work) ||
        !path_in_directory(LANG_DIR, "languages.json", &live))
        return false;
    unlink(work.c_str());
    int fd = open(work.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write_all(fd, text, strlen(text)) && write_all(fd, "\n", 1) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(work.c_str(), live.c_str()) == 0;
    if (!ok)
        unlink(work.c_str());
    return ok;
}

HandlerStatus on_change_language(const char* request)
{
    if (!whole_json(request))
        return HANDLER_SILENT;
    const int lock = file_lock(device_path(LANG_LOCK_FILE).c_str());
    const bool replaced = replace_languages(request);
    file_unlock(lock);
    if (!replaced)
        return HANDLER_SILENT;
    reply_text("OK");
    return HANDLER_DONE;
}

// The value of `name` in a query string ("lang=en&page=login"), up to the
// next '&'; false when absent or longer than `max`.
bool query_value(const char* query, const char* name, std::string* out, size_t max)
{
    const size_t name_length = strlen(name);
    for (const char* p = query; *p;) {
        const size_t length = strcspn(p, "&");
        if (length > name_length && strncmp(p, name, name_length) == 0 && p[name_length] == '=') {
            if (length - name_length - 1 > max)
                return false;
            out->assign(p + name_length + 1, length - name_length - 1);
            return true;
        }
        p += length;
        if (*p == '&')
            p++;
    }
    return false;
}

// A language names a file: letters, digits, '_' and '-' only, so that no
// "../" ever reaches the path.
bool valid_language(const std::string& lang)
{
    if (lang.empty() || lang.size() > LANG_NAME_MAX)
        return false;
    for (char c : lang)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

void append_cut(std::string* reply, const char* text)
{
    if (reply->size() < LANG_REPLY_MAX)
        reply->append(text, strnlen(text, LANG_REPLY_MAX - reply->size()));
}

HandlerStatus on_get_lang_json(const char* request)
{
    const char* query = request ? request : "";
    std::string lang, page, sub, path;
    if (!query_value(query, "page", &page, PAGE_NAME_MAX) || page.empty()) {
        reply_text("ERROR PAGE.");
        return HANDLER_DONE;
    }
    query_value(query, "lang", &lang, LANG_NAME_MAX + 1);
    FILE* file = nullptr;
    if (valid_language(lang) && path_in_directory(LANG_DIR, (lang + ".json").c_str(), &path))
        file = fopen(path.c_str(), "r");
    if (!file) {
        reply_text("ERROR LANG.");
        return HANDLER_DONE;
    }
    const bool has_sub = query_value(query, "sub", &sub, PAGE_NAME_MAX) && !sub.empty();
    const std::string name = has_sub ? page + "=" + sub : page;
    const std::string start = "{//" + name + ".json", end = "}//" + name + ".json";

    std::string reply;
    char line[LANG_LINE];
    bool inside = false;
    while (fgets(line, sizeof line, file)) {
        if (!inside) {
            if (strstr(line, start.c_str())) {
                inside = true;
                append_cut(&reply, "{\n");
            }
        } else if (strstr(line, end.c_str())) {
            append_cut(&reply, "\n}");
            break;
        } else {
            append_cut(&reply, line);
        }
    }
    fclose(file);
    cgi_writeback_webserver(REPLY_JSON, reply.c_str());
    return HANDLER_DONE;
}

HandlerStatus on_write_operation_log(const char*)
{
    cgi_write_operation_log(LOG_SUB_REMOTE_LOGOUT, LOG_PARAM_NONE, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- camera address batch -----------------------------------------------------------

struct CameraBatch {
    char start_ip[CAMERA_IP_SIZE];
    int32_t count;
    int32_t per_address;
};

const JsonField kCameraBatch[] = {
    JSON_FIELD_CHECKED(CameraBatch, start_ip, "startip", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(CameraBatch, count, "chnNum", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(CameraBatch, per_address, "chnFre", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
};

// Both loops end once the model's cameras are filled: a huge count, or a
// zero repeat, never spins.
HandlerStatus on_set_camera_ip_batch(const char* request)
{
    CameraBatch batch;
    JsonPtr body = request_record(request, &batch, kCameraBatch);
    const char* given = nullptr;
    in_addr start;
    if (!body || !json_get_text(body.get(), "startip", &given) || strlen(given) >= sizeof batch.start_ip ||
        inet_pton(AF_INET, batch.start_ip, &start) != 1)
        return HANDLER_SILENT;
    const int slots = get_max_cameras(VXDB_MAIN);
    const uint8_t* bytes = (const uint8_t*)&start;
    int slot = 0;
    for (int i = 0; i < batch.count && batch.per_address > 0 && slot < slots; i++) {
        char ip[CAMERA_IP_SIZE];
        snprintf(ip, sizeof ip, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], (unsigned)((bytes[3] + i) % 256));
        for (int f = 0; f < batch.per_address && slot < slots; f++, slot++)
            if (write_camera_ip(VXDB_MAIN, slot, ip) != 0)
                return HANDLER_ERROR_TEXT;
    }
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_refuse_download(const char*)
{
    reply_text("NG download");
    return HANDLER_DONE;
}

HandlerStatus on_upload_signal_1019(const char*)
{
    return HANDLER_SILENT;
}

}  // namespace

const WebModulePart system_info_part = WEB_MODULE_PART("system", kInfoResources, kInfoResponses);
