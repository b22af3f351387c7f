// System module, online upgrade of the recorder and its cameras, the camera
// upgrade from an uploaded image, the OEM package and two PoE-camera requests.
#include "modules/system/system_upgrade.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/system/system.h"
#include "modules/system/system_maintenance.h"
#include "modules/system/upgrade_records.h"
#include "platform/aes.h"
#include "platform/base64.h"
#include "platform/devpath.h"
#include "platform/vxsystem.h"
#include "platform/vxtask.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define UPGRADE_RESOURCES(X) \
    X("/6087", on_check_nvr_online_upgrade, "newer recorder software on the upgrade server") \
    X("/6089", on_check_ipc_online_upgrade, "newer camera software for a channel string") \
    X("/6085", on_get_online_upgrade, "download the recorder or camera image offered") \
    X("/6086", on_del_online_upgrade, "discard a downloaded image") \
    X("/6088", on_nvr_online_upgrade, "install the downloaded recorder image and restart") \
    X("/6082", on_upgrade_camera, "whether an uploaded camera image is waiting") \
    X("/6083", on_start_upgrade_camera, "upgrade a camera from the uploaded image") \
    X("/6084", on_stop_upgrade_camera, "stop the camera upgrade and drop its image") \
    X("/oem", on_upload_oem, "unpack an encrypted OEM package into the factory partition") \
    X("/6075", on_modify_poe_camera_pwd, "set the password of the PoE cameras") \
    X("/6076", on_cgi_poe_camera_notify, "tell the core service of a PoE camera change")

UPGRADE_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kUpgradeResources[] = {UPGRADE_RESOURCES(WEB_RESOURCE_ROW)};

// What an answer left for the handler: it came but was too short to print.
struct UpgradeAsk {
    bool short_answer = false;
};

// Asks and waits: silence is the text error body, an answer too short for
// its printer the JSON one.
HandlerStatus ask(int code, const void* payload, int size)
{
    UpgradeAsk context;
    if (!cgi_request(on_system_ipc_callback, code, payload, size, &context))
        return HANDLER_ERROR_TEXT;
    return context.short_answer ? HANDLER_ERROR_JSON : HANDLER_DONE;
}

bool regular_file(const char* device_file)
{
    struct stat st;
    return lstat(device_path(device_file).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// ---- online upgrade ---------------------------------------------------------

const JsonField kInfoFields[] = {
    JSON_FIELD(online_upgrade_info, state, "state", I32),
    JSON_FIELD(online_upgrade_info, file_size, "fileSize", I32),
    JSON_FIELD(online_upgrade_info, softversion, "softversion", TEXT),
    JSON_FIELD(online_upgrade_info, url, "url", TEXT),
    JSON_FIELD(online_upgrade_info, description, "description", TEXT),
};

HandlerStatus on_check_nvr_online_upgrade(const char*)
{
    return ask(REQ_ONLINE_UPGRADE_CHECK, nullptr, 0);
}

// Character i of "ch" selects channel i; the first character that is neither
// "0" nor "1" ends the scan.
uint64_t channel_string_to_mask(const char* text)
{
    uint64_t mask = 0;
    for (int i = 0; i < UPGRADE_CHANNELS && (text[i] == '0' || text[i] == '1'); i++)
        if (text[i] == '1')
            mask |= (uint64_t)1 << i;
    return mask;
}

HandlerStatus on_check_ipc_online_upgrade(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char* channels = nullptr;
    if (!json_get_text(body.get(), "ch", &channels))
        return HANDLER_ERROR_JSON;
    const uint64_t mask = channel_string_to_mask(channels);
    return ask(REQ_CAMERA_ONLINE_CHECK, &mask, (int)sizeof mask);
}

struct DownloadRequest {
    int32_t type;
    char url[128];
};

const JsonField kDownloadFields[] = {
    JSON_FIELD_CHECKED(DownloadRequest, type, "type", I32, true, 0, 1),
    JSON_FIELD_CHECKED(DownloadRequest, url, "url", TEXT, true, 0, 0),
};

HandlerStatus on_get_online_upgrade(const char* request)
{
    DownloadRequest wanted;
    if (!request_record(request, &wanted, kDownloadFields))
        return HANDLER_ERROR_JSON;
    online_download_request download;
    wire_text(download.url, wanted.url);
    wire_text(download.path, wanted.type == 0 ? MAINT_UPGRADE_IMAGE : UPGRADE_CAMERA_IMAGE);
    return ask(REQ_ONLINE_UPGRADE_DOWNLOAD, &download, (int)sizeof download);
}

const JsonField kDiscardFields[] = {JSON_CHECK("type", true, 0, 1)};

HandlerStatus on_del_online_upgrade(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int type = -1;
    if (!json_check(body.get(), kDiscardFields) || !json_get_int(body.get(), "type", &type))
        return HANDLER_ERROR_JSON;
    if (type == 1)
        return ask(REQ_ONLINE_UPGRADE_DISCARD, nullptr, 0);
    // The recorder image is ours to drop; none there is no fault.
    unlink(device_path(MAINT_UPGRADE_IMAGE).c_str());
    reply_res(0);
    return HANDLER_DONE;
}

HandlerStatus on_nvr_online_upgrade(const char*)
{
    cgi_notify(on_system_ipc_callback, REQ_UPGRADE_PREPARE, nullptr, 0);
    return install_upgrade_image(0, [](int done) { reply_res(done == 1 ? 0 : done); });
}

// ---- camera upgrade from an uploaded image -----------------------------------

HandlerStatus on_upgrade_camera(const char*)
{
    reply_text(regular_file(UPGRADE_CAMERA_IMAGE) ? "OK" : "Error");
    return HANDLER_DONE;
}

const JsonField kCameraUpgradeFields[] = {
    JSON_FIELD_CHECKED(camera_upgrade_request, chnid, "chnid", I32, true, 0, UPGRADE_CHANNELS - 1),
    JSON_FIELD_CHECKED(camera_upgrade_request, reset, "reset", I32, true, 0, 1),
};

HandlerStatus on_start_upgrade_camera(const char* request)
{
    camera_upgrade_request upgrade;
    if (!request_record(request, &upgrade, kCameraUpgradeFields))
        return HANDLER_ERROR_JSON;
    wire_text(upgrade.path, UPGRADE_CAMERA_IMAGE);
    return ask(REQ_CAMERA_UPGRADE_START, &upgrade, (int)sizeof upgrade);
}

HandlerStatus on_stop_upgrade_camera(const char*)
{
    // unlink, not "rm" through a shell: the path is fixed, the shell is not needed.
    unlink(device_path(UPGRADE_CAMERA_IMAGE).c_str());
    cgi_notify(on_system_ipc_callback, REQ_CAMERA_UPGRADE_STOP, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- OEM package ------------------------------------------------------------

// The listing of the archive, checked before anything is unpacked: unzip
// itself would write an entry "../x" or "/x" outside the directory (as
// root), or write through a symlink entry unpacked earlier.
struct ZipListing {
    int names = 0;
    int lines = 0;
    long entries = -1;  // from the listing's head
    bool refused = false;
};

bool hostile_name(const char* name)
{
    if (name[0] == '/' || strchr(name, '\\'))
        return true;
    for (const char* p = name; *p;) {
        const size_t n = strcspn(p, "/");
        if (n == 2 && p[0] == '.' && p[1] == '.')
            return true;
        p += n;
        p += *p == '/';
    }
    return false;
}

bool on_zip_name(const char* line, void* context)
{
    ZipListing* listing = (ZipListing*)context;
    listing->names++;
    listing->refused = listing->refused || hostile_name(line);
    return listing->refused;
}

// "Archive: ...", "Zip file size: ..., number of entries: N", N entries
// each led by its mode ("l" for a symlink), then the totals.
bool on_zip_entry(const char* line, void* context)
{
    ZipListing* listing = (ZipListing*)context;
    const int index = listing->lines++;
    if (index == 1) {
        const char* count = strstr(line, "number of entries: ");
        listing->entries = count ? strtol(count + 19, nullptr, 10) : -1;
    } else if (index >= 2 && index < 2 + listing->entries && line[0] == 'l') {
        listing->refused = true;
    }
    return listing->refused;
}

// A listing that does not add up (a name in pieces, a line too many) is
// refused as well: only an archive seen whole is unpacked.
bool zip_is_safe(const char* zip)
{
    ZipListing listing;
    const char* const names[] = {"unzip", "-Z", "-1", zip, nullptr};
    if (vx_exec_lines(names, on_zip_name, &listing) != 0 || listing.refused)
        return false;
    const char* const modes[] = {"unzip", "-Z", zip, nullptr};
    if (vx_exec_lines(modes, on_zip_entry, &listing) != 0 || listing.refused)
        return false;
    return listing.entries > 0 && listing.names == listing.entries && listing.lines == listing.entries + 3;
}

// The plain package from the uploaded text: base64 (lines allowed) of whole
// AES blocks under the key. -1 when any step fails.
long decrypt_package(const std::string& upload, const std::string& key, uint8_t** plain)
{
    int size = 0;
    char* text = vx_get_file_data(upload.c_str(), &size);
    if (!text)
        return -1;
    uint8_t* data = (uint8_t*)__vx_malloc((size_t)size + 1, __FILE__, __LINE__);
    long length = data ? vx_base64_decode(text, (size_t)size, data, (size_t)size) : -1;
    free(text);
    // Whole blocks only: the tail of a cut package is never decrypted.
    if (length > 0 && length % 16 == 0)
        length = aes_ecb_decrypt_pkcs7((const uint8_t*)key.data(), key.size(), data, (size_t)length, data);
    else
        length = -1;
    if (length < 1) {
        __vx_free(data, __FILE__, __LINE__);
        return -1;
    }
    *plain = data;
    return length;
}

bool unpack_package(const uint8_t* plain, size_t length)
{
    const std::string zip = device_path(OEM_PACKAGE_ZIP);
    if (!replace_file(zip, plain, length))
        return false;
    const std::string into = device_path(OEM_DIRECTORY) + "/";
    // An empty password: an encrypted entry fails instead of prompting.
    const char* const argv[] = {"unzip", "-o", "-qq", "-P", "", zip.c_str(), "-d", into.c_str(), nullptr};
    const bool unpacked = zip_is_safe(zip.c_str()) && vx_exec(argv, nullptr) == 0;
    unlink(zip.c_str());
    return unpacked;
}

// The key follows "aes=" in the query and ends at "&"; 16, 24 or 32 bytes.
bool oem_key(const std::string& query, std::string* key)
{
    const size_t at = query.find("aes=");
    if (at == std::string::npos)
        return false;
    *key = query.substr(at + 4, query.find('&', at + 4) - (at + 4));
    if (key->size() > OEM_KEY_MAX)
        key->resize(OEM_KEY_MAX);
    return true;
}

HandlerStatus on_upload_oem(const char* request)
{
    UploadPath upload;
    std::string key;
    // Without a key the upload stays where it is.
    if (!upload_path_from_request(request, &upload) || !oem_key(upload.rest, &key)) {
        reply_text("ERROR");
        return HANDLER_DONE;
    }
    uint8_t* plain = nullptr;
    const long length = decrypt_package(upload.path, key, &plain);
    unlink(upload.path.c_str());
    const bool unpacked = length > 0 && unpack_package(plain, (size_t)length);
    if (plain)
        __vx_free(plain, __FILE__, __LINE__);
    // The marker tells the device a package arrived: only a whole one.
    if (!unpacked || !replace_file(device_path(OEM_UPLOAD_MARKER), nullptr, 0)) {
        reply_text("ERROR");
        return HANDLER_DONE;
    }
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- PoE cameras ------------------------------------------------------------

HandlerStatus on_modify_poe_camera_pwd(const char*)
{
    // No answer here is the JSON error body, as a short one is.
    const HandlerStatus status = ask(REQ_POE_CAMERA_PASSWORD, nullptr, 0);
    return status == HANDLER_ERROR_TEXT ? HANDLER_ERROR_JSON : status;
}

HandlerStatus on_cgi_poe_camera_notify(const char*)
{
    cgi_notify(on_system_ipc_callback, REQ_POE_CAMERA_NOTIFY, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- answers -----------------------------------------------------------------

// A printer that finds its answer too short prints nothing and tells the
// handler, which gives the JSON error body.
void mark_short(IpcAnswer& answer)
{
    ((UpgradeAsk*)answer.context)->short_answer = true;
}

void on_check_nvr_online_upgrade_cb(IpcAnswer& answer)
{
    online_upgrade_info info;
    if (!answer_record(answer, &info))
        return mark_short(answer);
    reply_record(&info, kInfoFields);
}

// All 64 records, selected or not; less than all of them is no list.
void on_check_ipc_online_upgrade_cb(IpcAnswer& answer)
{
    if (answer.length < CAMERA_CHECK_ANSWER_SIZE)
        return mark_short(answer);
    json_object* list = json_object_new_array();
    for (int channel = 0; channel < UPGRADE_CHANNELS; channel++) {
        online_upgrade_info info;
        answer_record(answer, &info, channel);
        json_object* item = json_object_new_object();
        json_from_record(item, &info, kInfoFields);
        json_object_array_add(list, item);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "check", list);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_res_cb(IpcAnswer& answer)
{
    if (answer.length < 4)
        return mark_short(answer);
    reply_res(answer_word(answer, 0));
}

void on_start_upgrade_camera_cb(IpcAnswer& answer)
{
    camera_upgrade_answer result;
    if (!answer_record(answer, &result))
        return mark_short(answer);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "chnid", result.chnid);
    json_add_int(reply, "status", result.status);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_modify_poe_camera_pwd_cb(IpcAnswer& answer)
{
    if (answer.length < 4)
        return mark_short(answer);
    char text[16];
    snprintf(text, sizeof text, "%d", answer_word(answer, 0));
    reply_text(text);
}

// Fewest records 0 throughout: a short answer reaches its printer, which
// turns it into the JSON error body rather than a wait for nothing.
const IpcResponse kUpgradeResponses[] = {
    {6715, (int)sizeof(online_upgrade_info), 0, on_check_nvr_online_upgrade_cb},
    {8365, CAMERA_CHECK_ANSWER_SIZE, 0, on_check_ipc_online_upgrade_cb},
    {6716, 4, 0, on_res_cb},
    {6717, 4, 0, on_res_cb},
    {8350, (int)sizeof(camera_upgrade_answer), 0, on_start_upgrade_camera_cb},
    {8265, 4, 0, on_modify_poe_camera_pwd_cb},
};

}  // namespace

const WebModulePart system_upgrade_part = WEB_MODULE_PART("system", kUpgradeResources, kUpgradeResponses);
