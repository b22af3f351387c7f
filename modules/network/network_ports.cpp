// Service ports (SSH, HTTP, HTTPS, RTSP, POS) and the push-message settings
// shown on the same page.
#include "modules/network/network.h"

#include <cstdio>
#include <cstring>

#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "platform/vxdb.h"
#include "platform/vxsystem.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define PORT_RESOURCES(X) \
    X("/7050", on_get_port_info, "service ports and push-message settings") \
    X("/7051", on_set_port_info, "store service ports and push-message settings")

PORT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kPortResources[] = {PORT_RESOURCES(WEB_RESOURCE_ROW)};

enum { PORT_MAX = 65535, PUSH_ALARM_IN_DEFAULT = 65535 };

const JsonField kPortRead[] = {
    JSON_FIELD(port_record, enable_ssh, "enableSsh", I32), JSON_FIELD(port_record, ssh, "sshPort", I32),
    JSON_FIELD(port_record, http, "httpPort", I32),        JSON_FIELD(port_record, https, "httpsPort", I32),
    JSON_FIELD(port_record, rtsp, "rtspPort", I32),        JSON_FIELD(port_record, service, "servicePort", I32),
    JSON_FIELD(port_record, pos, "posPort", I32),
};

// A port above 65535 is refused like a negative one; an absent HTTPS or POS
// port is 0.
const JsonField kPortWrite[] = {
    JSON_FIELD_CHECKED(port_record, enable_ssh, "enableSsh", I32, true, 0, 1),
    JSON_FIELD_CHECKED(port_record, ssh, "sshPort", I32, true, 0, PORT_MAX),
    JSON_FIELD_CHECKED(port_record, http, "httpPort", I32, true, 0, PORT_MAX),
    JSON_FIELD_CHECKED(port_record, rtsp, "rtspPort", I32, true, 0, PORT_MAX),
    JSON_CHECK("servicePort", true, 0, PORT_MAX),
    JSON_CHECK("enableMsg", true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(port_record, https, "httpsPort", I32, false, 0, PORT_MAX),
    JSON_FIELD_CHECKED(port_record, pos, "posPort", I32, false, 0, PORT_MAX),
};

int stored_push_enable()
{
    int enable = get_param_int(VXDB_MAIN, "enable_push_msg", 0);
    return enable == 0 || enable == 1 ? enable : 0;
}

HandlerStatus on_get_port_info(const char*)
{
    port_record ports;
    push_msg_nvr_event position;
    if (read_port(VXDB_MAIN, &ports) != 0 || read_push_msg_nvr_event(VXDB_MAIN, &position) != 0)
        return HANDLER_ERROR_JSON;
    int channels = get_param_int(VXDB_MAIN, "max_cameras", 0);
    channels = channels < 0 ? 0 : channels > PUSH_MSG_CHANNELS ? PUSH_MSG_CHANNELS : channels;
    push_msg_event events[PUSH_MSG_CHANNELS];
    read_push_msg_events(VXDB_MAIN, events, channels);

    json_object* reply = json_object_new_object();
    json_from_record(reply, &ports, kPortRead);
    json_add_int(reply, "enable_access", get_param_int(VXDB_MAIN, "ch_access", 0));
    json_object* types = json_object_new_array();
    for (int i = 0; i < channels; i++)
        json_object_array_add(types, json_object_new_int(events[i].type_mask));
    json_object_object_add(reply, "PushTypeArr", types);
    json_add_int(reply, "PushNvrAlarmInType", get_param_int(VXDB_MAIN, "pushmsg_alarmin_type", PUSH_ALARM_IN_DEFAULT));
    json_add_int(reply, "enableMsg", stored_push_enable());
    json_add_int(reply, "push_stream", get_param_int(VXDB_MAIN, "video_push_stream", 0));
    json_add_field(reply, "pushNvrPos", position.pos, sizeof position.pos);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

}  // namespace

// Ports 23001 up to 23000 + max_poe_num belong to the PoE cameras.
bool is_poe_port(int port)
{
    const int poe = get_param_int(VXDB_MAIN, "max_poe_num", 0);
    return (poe == 4 || poe == 8 || poe == 16) && port >= 23001 && port <= 23000 + poe;
}

static bool listening_line(const char* line, void* context)
{
    return strstr(line, (const char*)context) != nullptr;
}

// The listening sockets are read from netstat through a pipe: a shared
// result file let concurrent requests delete each other's answer, so that
// a port in use was accepted.
bool is_port_in_use(int port)
{
    char needle[32];
    snprintf(needle, sizeof needle, "0.0.0.0:%d ", port);
    const char* const argv[] = {"netstat", "-an", nullptr};
    return vx_exec_lines(argv, listening_line, needle) == 1;
}

namespace {

// Push-message types of channels 0 .. n-1, n bounded by the request's
// count, the 64 channels and the array the request really holds.
void store_push_types(json_object* body)
{
    int count = 0;
    json_get_int(body, "channel_num", &count);
    json_object* types = nullptr;
    json_object_object_get_ex(body, "pushTypeArr", &types);
    push_msg_event list[PUSH_MSG_CHANNELS];
    int n = 0;
    for (; n < count && n < PUSH_MSG_CHANNELS && (size_t)n < json_array_size(types); n++) {
        int64_t type = 0;
        json_as_int64(json_array_at(types, (size_t)n), &type);
        list[n].channel = n;
        list[n].type_mask = (int32_t)type;
    }
    write_push_msg_events(VXDB_MAIN, list, n);
}

struct PortChange {
    const port_record* taken;
};

bool apply_ports(void* data, void* context)
{
    port_record* record = (port_record*)data;
    const port_record* taken = ((const PortChange*)context)->taken;
    record->enable_ssh = taken->enable_ssh;
    record->ssh = taken->ssh;
    record->http = taken->http;
    record->rtsp = taken->rtsp;
    record->https = taken->https;
    record->pos = taken->pos;
    return true;
}

HandlerStatus on_set_port_info(const char* request)
{
    port_record taken;
    JsonPtr body = request_record(request, &taken, kPortWrite);
    if (!body)
        return HANDLER_SILENT;
    json_object* b = body.get();
    port_record stored;
    if (read_port(VXDB_MAIN, &stored) != 0)
        return HANDLER_ERROR_TEXT;
    const int access = json_int_or(b, "enableAccess", 0);
    const int reboot = json_int_or(b, "needReboot", 0);

    set_param_int(VXDB_MAIN, "push_type", json_int_or(b, "pushType", 0));
    set_param_int(VXDB_MAIN, "pushmsg_alarmin_type", json_int_or(b, "PushTypeNvrAlarmIn", 0));
    store_push_types(b);
    if (access != get_param_int(VXDB_MAIN, "ch_access", 0)) {
        int32_t value = access;
        cgi_notify(on_network_ipc_callback, REQ_CH_ACCESS, &value, (int)sizeof value);
    }

    // The RTSP port is stored untested, as the device always did.
    const struct {
        int now, before;
        const char* refusal;
    } tested[] = {
        {taken.ssh, stored.ssh, "POE_Port_Error"},
        {taken.http, stored.http, "POE_Port_Error"},
        {taken.https, stored.https, "POE_Port_Error"},
        {taken.pos, stored.pos, "POS_Port_Error"},
    };
    for (const auto& port : tested)
        if (port.now != port.before && (is_poe_port(port.now) || is_port_in_use(port.now))) {
            reply_text(port.refusal);
            return HANDLER_DONE;
        }

    PortChange change = {&taken};
    if (update_port(VXDB_MAIN, apply_ports, &change) != 0)
        return HANDLER_ERROR_TEXT;
    int enable = json_int_or(b, "enableMsg", 0);
    enable = enable == 1 ? 1 : 0;
    // Stored as text, and sent as the same text in its zero-filled field.
    char text[PUSH_MSG_ENABLE_TEXT_SIZE] = {0};
    snprintf(text, sizeof text, "%d", enable);
    if (check_param_key(VXDB_MAIN, "enable_push_msg"))
        add_param_value(VXDB_MAIN, "enable_push_msg", text);
    else
        set_param_value(VXDB_MAIN, "enable_push_msg", text);
    if (taken.pos != stored.pos) {
        int32_t pos = taken.pos;
        cgi_notify(on_network_ipc_callback, REQ_POS_PORT, &pos, (int)sizeof pos);
    }
    push_msg_nvr_event position;
    read_push_msg_nvr_event(VXDB_MAIN, &position);
    const char* pos_text = nullptr;
    if (json_get_text(b, "pushNvrPos", &pos_text)) {
        wire_text(position.pos, pos_text, PUSH_NVR_POS_CUT);
        write_push_msg_nvr_event(VXDB_MAIN, &position);
    }
    set_param_int(VXDB_MAIN, "video_push_stream", json_int_or(b, "pushVideoStream", 0));
    cgi_notify(on_network_ipc_callback, REQ_PUSH_MSG_ENABLE, text, (int)sizeof text);

    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_PORTS, 0);
    reply_text("OK");

    network_notify_changed("more");
    if (reboot) {
        cgi_write_operation_log(LOG_SUB_REMOTE_REBOOT, LOG_PARAM_NONE, 0);
        cgi_notify(on_network_ipc_callback, REQ_REBOOT, nullptr, 0);
    }
    return HANDLER_DONE;
}

}  // namespace

const WebModulePart network_port_part = {"network", kPortResources, WEB_RES_COUNT(kPortResources), nullptr, 0};
