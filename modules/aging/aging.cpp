// Aging test: SSH, automatic local login, the record mode of every channel,
// the setup wizard and one IP camera, each set in one request.
#include "modules/aging/aging.h"

#include <cstring>

#include "core/ipc.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define AGING_RESOURCES(X) \
    X("/3300", on_set_aging_ssh, "switch the SSH service") \
    X("/3301", on_set_aging_auto_login, "switch the automatic local login") \
    X("/3302", on_set_aging_record_mode, "set the record mode of all 64 channels") \
    X("/3303", on_set_aging_wizard, "switch the setup wizard") \
    X("/3304", on_set_aging_camera, "bind or unbind the IP camera of a channel")

AGING_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kAgingResources[] = {AGING_RESOURCES(WEB_RESOURCE_ROW)};

// A switch from the request: absent reads 0, as the tool relies on; no JSON,
// or a value that is not an integer in [0, max], refuses the request.
bool aging_value(const char* request, const char* key, int max, int* out)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const JsonField check[] = {JSON_CHECK(key, false, 0, max)};
    *out = 0;
    if (!body || !json_check(body.get(), check))
        return false;
    json_get_int(body.get(), key, out);
    return true;
}

// Sets a database integer and answers "OK"; a failed write is no "OK".
HandlerStatus set_aging_param(const char* request, const char* key, const char* param)
{
    int value = 0;
    if (!aging_value(request, key, 1, &value))
        return HANDLER_SILENT;
    if (set_param_int(VXDB_MAIN, param, value) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_aging_ssh(const char* request)
{
    int enable = 0;
    if (!aging_value(request, "sshEnable", 1, &enable))
        return HANDLER_SILENT;
    if (write_port_ssh_enable(VXDB_MAIN, enable) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    ssh_notice notice = {};
    wire_text(notice.text, "more");
    cgi_notify(on_aging_callback, REQ_SSH_CHANGED, &notice, (int)sizeof notice);
    return HANDLER_DONE;
}

HandlerStatus on_set_aging_auto_login(const char* request)
{
    return set_aging_param(request, "autoLoginEnable", "local_auth_enable");
}

HandlerStatus on_set_aging_record_mode(const char* request)
{
    int mode = 0;
    if (!aging_value(request, "recordMode", RECORD_MODE_MAX, &mode))
        return HANDLER_SILENT;
    // Every row keeps its other settings and gets its own id, stored or not.
    if (copy_table_column_int(VXDB_MAIN, TABLE_RECORD, "mode", mode, ~0ULL) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    for (int32_t channel = 0; channel < RECORD_CHANNELS; channel++)
        cgi_notify(on_aging_callback, REQ_RECORD_MODE_CHANGED, &channel, (int)sizeof channel);
    return HANDLER_DONE;
}

HandlerStatus on_set_aging_wizard(const char* request)
{
    return set_aging_param(request, "wizardEnable", "wizard_enable");
}

// Channels are 0..63: channel 64 has no row, and a write there would fail
// or land elsewhere.
const JsonField kCameraFields[] = {
    JSON_FIELD_CHECKED(db_camera, id, "id", I32, true, 0, RECORD_CHANNELS - 1),
    JSON_FIELD_CHECKED(db_camera, enable, "enable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(db_camera, manage_port, "managePort", I32, true, 0, INT32_MAX),
    JSON_FIELD(db_camera, address, "ipAddr", TEXT),
    JSON_FIELD(db_camera, user_name, "userName", TEXT),
    JSON_FIELD(db_camera, password, "password", TEXT),
};

bool check_ipc_parms(json_object* body)
{
    const char* address = nullptr;
    if (!body || !json_check(body, kCameraFields) || !json_get_text(body, "ipAddr", &address))
        return false;
    const size_t n = strlen(address);
    return n > 0 && n <= 127;
}

bool bind_camera(db_camera* camera, void* context)
{
    json_to_record((json_object*)context, camera, kCameraFields);
    camera->protocol = 0;
    return true;
}

HandlerStatus on_set_aging_camera(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_ipc_parms(body.get()))
        return HANDLER_SILENT;
    int channel = 0, enable = 0;
    json_get_int(body.get(), "id", &channel);
    json_get_int(body.get(), "enable", &enable);
    if (update_camera(VXDB_MAIN, channel, bind_camera, body.get()) != 0)
        return HANDLER_ERROR_TEXT;
    // The core service is named the channel by the record's first word.
    const int32_t id = channel;
    cgi_notify(on_aging_callback, enable == 1 ? REQ_CAMERA_CONNECT : REQ_CAMERA_DISCONNECT, &id, (int)sizeof id);
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

void on_aging_callback(void*, const int32_t*, const char*) {}

// No response table: nothing here waits for an answer.
const WebModulePart aging_part = {"aging", kAgingResources, WEB_RES_COUNT(kAgingResources), nullptr, 0};
