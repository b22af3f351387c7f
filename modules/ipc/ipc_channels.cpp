// Camera channels: the camera bound to each channel (stored in the camera
// record, its name in the channel's OSD record), the lists the add-camera
// page offers, the PoE limits, and the event schedules of a channel.
#include "modules/ipc/ipc.h"

#include <cstdio>
#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/record/record_records.h"
#include "modules/video/video_records.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define CHANNEL_RESOURCES(X) \
    X("/2000", on_get_camera_info, "the camera bound to a channel") \
    X("/2004", on_set_camera_info, "bind or change the camera of a channel") \
    X("/2005", on_del_camera_info, "remove the camera of channel 0..7") \
    X("/2008", on_get_ipc_protocols, "camera protocols and their models") \
    X("/2012", on_get_channel_names, "names of the model's channels") \
    X("/2016", on_get_poe_password, "password of the PoE cameras") \
    X("/2017", on_set_camera_user, "change the credentials of a channel's camera") \
    X("/2031", on_set_camera_transmit, "change the transport and time sync of a camera") \
    X("/2018", on_get_max_poe_num, "number of PoE ports") \
    X("/2034", on_get_ipv6_support, "whether the recorder has an IPv6 address") \
    X("/2035", on_get_event_schedules, "effective schedules of a channel's events") \
    X("/2036", on_set_event_schedules, "set effective schedules of a channel's events")

CHANNEL_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kChannelResources[] = {CHANNEL_RESOURCES(WEB_RESOURCE_ROW)};

// "(null)" is what some cameras report for a MAC they do not know.
const char kNullMac[] = "(null)";

// ---- the camera record -----------------------------------------------------

// Fields a change takes as they come, and the keys of "/2000" after "name".
const JsonField kCameraFields[] = {
    JSON_FIELD_CHECKED(db_camera, enable, "enable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(db_camera, address, "ipAddr", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(db_camera, manage_port, "managePort", I32, true, 0, 65535),
    JSON_FIELD_CHECKED(db_camera, protocol, "camProtocol", I32, true, 0, IPC_PROTOCOL_MAX),
    JSON_FIELD(db_camera, user_name, "userName", TEXT),
    JSON_FIELD(db_camera, password, "password", TEXT),
    JSON_FIELD_CHECKED(db_camera, transmit_protocol, "transmitProtocol", I32, true, 0, IPC_TRANSPORT_MAX),
    JSON_FIELD(db_camera, enable_sub_stream, "enableSubStream", I32),
    JSON_FIELD(db_camera, sync_time, "syncTime", I32),
    JSON_FIELD(db_camera, mac_addr, "mac_addr", TEXT),
    JSON_FIELD(db_camera, poe_channel, "poechannel", I32),
    JSON_FIELD(db_camera, physical_port, "physicalport", I32),
    JSON_FIELD(db_camera, ddns, "ddns", TEXT),
    JSON_FIELD(db_camera, minor_id, "minorid", I32),
};

// Taken only for an RTSP camera.
const JsonField kRtspFields[] = {
    JSON_FIELD(db_camera, main_rtsp_port, "mainRtspPort", I32),
    JSON_FIELD(db_camera, main_source_path, "mainSourcePath", TEXT),
    JSON_FIELD(db_camera, sub_rtsp_port, "subRtspPort", I32),
    JSON_FIELD(db_camera, sub_source_path, "subSourcePath", TEXT),
    JSON_FIELD(db_camera, main_rtsp_url, "mainrtspurl", TEXT),
    JSON_FIELD(db_camera, sub_rtsp_url, "subrtspurl", TEXT),
};

// The reply of "/2000", after "chnid" and "name".
const JsonField kCameraInfoFields[] = {
    JSON_FIELD(db_camera, address, "ipAddr", TEXT),
    JSON_FIELD(db_camera, manage_port, "managePort", I32),
    JSON_FIELD(db_camera, protocol, "protocol", I32),
    JSON_FIELD(db_camera, model, "model", TEXT),
    JSON_FIELD(db_camera, user_name, "userName", TEXT),
    JSON_FIELD(db_camera, password, "password", TEXT),
    JSON_FIELD(db_camera, transmit_protocol, "transmitProtocol", I32),
    JSON_FIELD(db_camera, main_rtsp_port, "mainRtspPort", I32),
    JSON_FIELD(db_camera, main_source_path, "mainSourcePath", TEXT),
    JSON_FIELD(db_camera, enable_sub_stream, "subRtspEnable", I32),
    JSON_FIELD(db_camera, sub_rtsp_port, "subRtspPort", I32),
    JSON_FIELD(db_camera, sub_source_path, "subSourcePath", TEXT),
    JSON_FIELD(db_camera, sync_time, "syncTime", I32),
    JSON_FIELD(db_camera, main_rtsp_url, "mainRtspUrl", TEXT),
    JSON_FIELD(db_camera, sub_rtsp_url, "subRtspUrl", TEXT),
    JSON_FIELD(db_camera, physical_port, "physicalport", I32),
    JSON_FIELD(db_camera, poe_channel, "poechannel", I32),
    JSON_FIELD(db_camera, mac_addr, "mac_addr", TEXT),
    JSON_FIELD(db_camera, minor_id, "minorid", I32),
    JSON_FIELD(db_camera, ddns, "ddns", TEXT),
};

// The channel a request names, 0..63: the tables hold 64 rows, and an id of
// 64 once wrote a row past both the camera and the OSD table.
bool channel_of(json_object* body, const char* key, int* channel)
{
    const JsonField word[] = {JSON_WORD_CHECKED(key, IPC_CHANNELS - 1)};
    return json_read_record(body, channel, word);
}

// The camera keys a change must carry, and the name it gives the channel.
bool check_digital_channel(json_object* body, int* channel)
{
    static const JsonField kName[] = {JSON_FIELD_CHECKED(osd, name, "name", TEXT, true, 0, 0)};
    return channel_of(body, "id", channel) && json_check(body, kName) && json_check(body, kCameraFields);
}

void clear_null_mac(db_camera* camera)
{
    if (strncmp(camera->mac_addr, kNullMac, sizeof camera->mac_addr) == 0)
        memset(camera->mac_addr, 0, sizeof camera->mac_addr);
}

const char* protocol_text(int32_t protocol)
{
    return protocol == 0 ? "ONVIF" : protocol == CAMERA_PROTOCOL_RTSP ? "RTSP" : "VXSF";
}

// The log entry of a camera change, with the camera as it is now stored.
void log_camera_change(const db_camera& camera)
{
    camera_log_detail detail;
    memset(&detail, 0, sizeof detail);
    detail.parameter = LOG_PARAM_CAMERA;
    memcpy(detail.address, camera.address, sizeof detail.address);
    detail.address[sizeof detail.address - 1] = '\0';
    detail.manage_port = camera.manage_port;
    detail.channel = camera.id + 1;
    wire_text(detail.protocol, protocol_text(camera.protocol));
    wire_text(detail.transport, camera.transmit_protocol ? "TCP" : "UDP");
    detail.sync_time = camera.sync_time;
    cgi_write_operation_log(LOG_SUB_REMOTE_CAMERA_CHANGE, LOG_PARAM_CAMERA, oplog_number(camera.id), LOG_DETAIL_CAMERA,
                            &detail, (int)sizeof detail);
}

// A change of the camera record: the request's fields, and the record as
// written for the log.
struct CameraChange {
    json_object* body;
    const JsonField* fields;
    size_t count;
    db_camera written;
};

bool change_camera(db_camera* camera, void* context)
{
    CameraChange* c = (CameraChange*)context;
    json_to_record(c->body, camera, c->fields, c->count);
    if (c->fields == kCameraFields && camera->protocol == CAMERA_PROTOCOL_RTSP)
        json_to_record(c->body, camera, kRtspFields);
    clear_null_mac(camera);
    c->written = *camera;
    return true;
}

bool set_channel_name(int channel, const char* name)
{
    osd record;
    if (read_osd(VXDB_MAIN, &record, channel) != 0)
        return false;
    record.id = channel;
    wire_text(record.name, name);
    return write_osd(VXDB_MAIN, &record) == 0;
}

void tell_poe(int32_t channel, int32_t other_poe)
{
    ipc_poe_change poe = {channel, other_poe == 1 ? 1 : 0};
    ipc_tell(REQ_IPC_POE_CHANGED, &poe, (int)sizeof poe);
}

HandlerStatus on_get_camera_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0;
    if (!channel_of(body.get(), "chnid", &channel))
        return HANDLER_ERROR_JSON;
    db_camera camera;
    osd name;
    if (read_camera(VXDB_MAIN, &camera, channel) != 0 || read_osd(VXDB_MAIN, &name, channel) != 0)
        return HANDLER_ERROR_JSON;
    clear_null_mac(&camera);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "chnid", channel);
    json_add_field(reply, "name", name.name, sizeof name.name);
    json_from_record(reply, &camera, kCameraInfoFields);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_set_camera_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t channel = 0;
    const char* name = "";
    if (!check_digital_channel(body.get(), &channel) || !json_get_text(body.get(), "name", &name))
        return HANDLER_ERROR_JSON;
    if (!set_channel_name(channel, name))
        return HANDLER_ERROR_JSON;
    CameraChange change = {body.get(), kCameraFields, WEB_RES_COUNT(kCameraFields), {}};
    if (update_camera(VXDB_MAIN, channel, change_camera, &change) != 0)
        return HANDLER_ERROR_JSON;
    ipc_tell(REQ_IPC_CAMERA_CHANGED, &channel, (int)sizeof channel);
    int other_poe = 0;
    json_get_int(body.get(), "otherPoe", &other_poe);
    tell_poe(channel, other_poe);
    log_camera_change(change.written);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_del_camera_info(const char* request)
{
    // Cameras 8..63 cannot be removed here: the page only offers the first
    // eight channels this way.
    static const JsonField kChannel[] = {JSON_WORD_CHECKED("chnid", IPC_REMOVABLE_CHANNELS - 1)};
    int32_t channel = 0;
    if (!request_record(request, &channel, kChannel))
        return HANDLER_ERROR_JSON;
    privacy_mask masks;
    memset(&masks, 0, sizeof masks);
    masks.id = channel;
    db_camera camera;
    memset(&camera, 0, sizeof camera);
    camera.id = channel;
    char name[OSD_NAME_SIZE];
    snprintf(name, sizeof name, "CAM%d", channel + 1);
    if (write_privacy_masks(VXDB_MAIN, &masks) != 0 || write_camera(VXDB_MAIN, &camera) != 0 ||
        !set_channel_name(channel, name))
        return HANDLER_ERROR_JSON;
    ipc_tell(REQ_IPC_CAMERA_REMOVED, &channel, (int)sizeof channel);
    tell_poe(channel, 0);
    cgi_write_operation_log(LOG_SUB_REMOTE_CAMERA_CHANGE, LOG_PARAM_CAMERA, oplog_number(channel));
    reply_text("OK");
    return HANDLER_DONE;
}

// Credentials ("/2017") and transport ("/2031") of a bound camera.
HandlerStatus change_camera_login(const char* request, const JsonField* fields, size_t count)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t channel = 0;
    if (!channel_of(body.get(), "id", &channel) || !json_check(body.get(), fields, count))
        return HANDLER_ERROR_JSON;
    CameraChange change = {body.get(), fields, count, {}};
    if (update_camera(VXDB_MAIN, channel, change_camera, &change) != 0)
        return HANDLER_ERROR_JSON;
    ipc_tell(REQ_IPC_CAMERA_LOGIN_CHANGED, &channel, (int)sizeof channel);
    log_camera_change(change.written);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_camera_user(const char* request)
{
    static const JsonField kFields[] = {
        JSON_FIELD_CHECKED(db_camera, user_name, "userName", TEXT, true, 0, 0),
        JSON_FIELD_CHECKED(db_camera, password, "password", TEXT, true, 0, 0),
    };
    return change_camera_login(request, kFields, WEB_RES_COUNT(kFields));
}

HandlerStatus on_set_camera_transmit(const char* request)
{
    static const JsonField kFields[] = {
        JSON_FIELD_CHECKED(db_camera, transmit_protocol, "transmitProtocol", I32, true, 0, IPC_TRANSPORT_MAX),
        JSON_FIELD_CHECKED(db_camera, sync_time, "syncTime", I32, true, 0, 1),
    };
    return change_camera_login(request, kFields, WEB_RES_COUNT(kFields));
}

// ---- lists and parameters --------------------------------------------------

HandlerStatus on_get_ipc_protocols(const char*)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ipc_protocol, name, "name", TEXT),
        JSON_FIELD(ipc_protocol, protocol_function, "protocolFunction", I32),
        JSON_FIELD(ipc_protocol, enable, "enable", I32),
        JSON_FIELD(ipc_protocol, display_model, "display_model", I32),
        JSON_FIELD(ipc_protocol, alarm_type, "alarm_type", I32),
        JSON_FIELD(ipc_protocol, default_model, "default_model", TEXT),
    };
    static ipc_protocol protocols[IPC_PROTOCOLS];
    static ipc_model models[IPC_MODELS];
    int count = 0;
    if (read_ipc_protocols(VXDB_MAIN, protocols, &count) != 0)
        return HANDLER_ERROR_JSON;
    json_object* list = json_object_new_array();
    for (int i = 0; i < count; i++) {
        json_object* item = json_object_new_object();
        json_from_record(item, &protocols[i], kFields);
        int model_count = 0;
        read_ipc_models_by_protocol(VXDB_MAIN, protocols[i].id, models, IPC_MODELS, &model_count);
        json_object* names = json_object_new_array();
        for (int m = 0; m < model_count; m++)
            json_object_array_add(names, json_new_text(models[m].name, strnlen(models[m].name, sizeof models[m].name)));
        json_object_object_add(item, "models", names);
        json_object_array_add(list, item);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "protocols", list);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_get_channel_names(const char*)
{
    // The parameter is cut to 1..64: a larger one once read past the table.
    const int cameras = get_max_cameras(VXDB_MAIN);
    json_object* names = json_object_new_array();
    for (int channel = 0; channel < cameras; channel++) {
        osd record;
        read_osd(VXDB_MAIN, &record, channel);
        json_object_array_add(names, json_new_text(record.name, strnlen(record.name, sizeof record.name)));
    }
    cgi_writeback_json(REPLY_JSON, names);
    return HANDLER_DONE;
}

HandlerStatus on_get_poe_password(const char*)
{
    char password[64];
    get_param_value(VXDB_MAIN, "poepsd", password, (int)sizeof password, "kd7305");
    reply_text(password);
    return HANDLER_DONE;
}

HandlerStatus on_get_max_poe_num(const char*)
{
    char text[16];
    snprintf(text, sizeof text, "%d", get_param_int(VXDB_MAIN, "max_poe_num", 0));
    reply_text(text);
    return HANDLER_DONE;
}

// True when the kernel lists an IPv6 address of an interface.
bool net_is_haveipv6()
{
    FILE* f = fopen(device_path("/proc/net/if_inet6").c_str(), "r");
    if (!f)
        return false;
    const bool any = fgetc(f) != EOF;
    fclose(f);
    return any;
}

HandlerStatus on_get_ipv6_support(const char*)
{
    reply_text(net_is_haveipv6() ? "1" : "0");
    return HANDLER_DONE;
}

// ---- event schedules of a channel ------------------------------------------

// The motion event, then smart events 0..7.
const char* const kScheduleKeys[IPC_SCHEDULE_EVENTS] = {
    "schedule_motion",          "schedule_region_entrance", "schedule_region_exit",
    "schedule_advanced_motion", "schedule_tamper_detection", "schedule_line_crossing",
    "schedule_loitering",       "schedule_human_detection", "schedule_people_counting",
};

int read_event_schedule(int position, int channel, Schedule* out)
{
    if (position == 0)
        return read_schedule(VXDB_MAIN, MOTION_EFFECTIVE_SCHEDULE, out, channel) < 0 ? -1 : 0;
    return read_smart_event_effective_schedule(VXDB_MAIN, out, channel, position - 1) < 0 ? -1 : 0;
}

int write_event_schedule(int position, int channel, const Schedule* schedule)
{
    if (position == 0)
        return write_schedule(VXDB_MAIN, MOTION_EFFECTIVE_SCHEDULE, schedule, channel);
    return write_smart_event_effective_schedule(VXDB_MAIN, schedule, channel, position - 1);
}

HandlerStatus on_get_event_schedules(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0;
    if (!channel_of(body.get(), "channel", &channel))
        return HANDLER_ERROR_JSON;
    static Schedule schedule;
    json_object* reply = json_object_new_object();
    for (int k = 0; k < IPC_SCHEDULE_EVENTS; k++) {
        if (read_event_schedule(k, channel, &schedule) != 0) {
            json_object_put(reply);
            return HANDLER_ERROR_JSON;
        }
        json_object_object_add(reply, kScheduleKeys[k], get_schedule_json_object(&schedule));
    }
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_set_event_schedules(const char* request)
{
    // "start" and "end" are list positions, both included.
    struct Range {
        int32_t channel, start, end;
    };
    static const JsonField kFields[] = {
        JSON_FIELD_CHECKED(Range, channel, "channel", I32, true, 0, IPC_CHANNELS - 1),
        JSON_FIELD_CHECKED(Range, start, "start", I32, true, 0, IPC_SCHEDULE_EVENTS - 1),
        JSON_FIELD_CHECKED(Range, end, "end", I32, true, 0, IPC_SCHEDULE_EVENTS - 1),
    };
    Range range;
    JsonPtr body = request_record(request, &range, kFields);
    if (!body || range.start > range.end)
        return HANDLER_ERROR_JSON;
    static Schedule schedule;
    for (int k = range.start; k <= range.end; k++) {
        // A schedule the request leaves out stays as it is.
        if (get_schedule_by_json(body.get(), kScheduleKeys[k], &schedule) != 0)
            continue;
        if (write_event_schedule(k, range.channel, &schedule) != 0)
            return HANDLER_ERROR_JSON;
    }
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

const WebModulePart ipc_channels_part = {"ipc", kChannelResources, WEB_RES_COUNT(kChannelResources), nullptr, 0};
