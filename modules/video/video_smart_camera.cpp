// Analytics of the newer cameras (line crossing and settings by their own
// requests), fisheye cameras, and regional people counting with an action
// set per region.
#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "modules/video/video_smart.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define SMART_CAMERA_RESOURCES(X) \
    X("/6192", on_get_ipc_vca_line2, "line crossing of a newer camera, in the browser's frame") \
    X("/6193", on_set_ipc_vca_line2, "set line crossing of a newer camera, with its actions") \
    X("/6194", on_get_ipc_vca_settings2, "analytics settings of a newer camera") \
    X("/6195", on_set_ipc_vca_settings2, "set the analytics settings of a newer camera") \
    X("/6130", on_get_fisheye_info, "mounting and view of a fisheye camera") \
    X("/6131", on_cgi_set_fisheye_mode, "set the mounting and view of a fisheye camera") \
    X("/6196", on_cgi_check_fisheye_info, "what a fisheye camera at an address supports") \
    X("/6197", on_cgi_set_fisheye_info, "set a fisheye camera at an address") \
    X("/6096", on_cgi_get_ipc_regional_info, "regional people counting with each region's actions") \
    X("/6097", on_cgi_set_ipc_regional_info, "set regional people counting and its actions")

SMART_CAMERA_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kSmartCameraResources[] = {SMART_CAMERA_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastCameraChannel = CHANNEL_COUNT - 1;
enum { SMART_EVENT_LINE_CROSSING = 4 };

// ---- Newer cameras: line crossing and analytics settings.

const JsonField kLine2Payload[] = {
    JSON_FIELD_CHECKED(ipc_vca_line, channel, "chnid", I32, true, 0, kLastCameraChannel),
    JSON_FIELD(ipc_vca_line, sensitivity, "sensitivity", I32),
    JSON_FIELD(ipc_vca_line, enable, "enable", I32),
    JSON_FIELD(ipc_vca_line, objtype, "objtype", I32),
    JSON_FIELD(ipc_vca_line, line_type, "lineType", I32),
    JSON_FIELD(ipc_vca_line, line_scene, "lineScene", I32),
    JSON_FIELD(ipc_vca_line, copy_channels, "copyChn", TEXT),
};
const JsonField kLine2Entry[] = {
    JSON_FIELD(vca_line2, direction, "direction", I32),
    JSON_FIELD(vca_line2, enable, "enable", I32),
    JSON_FIELD(vca_line2, objtype, "objtype", I32),
};
const JsonField kLine2Reply[] = {
    JSON_FIELD(ipc_vca_line, channel, "chnid", I32),
    JSON_FIELD(ipc_vca_line, width, "width", I32),
    JSON_FIELD(ipc_vca_line, height, "height", I32),
    JSON_FIELD(ipc_vca_line, sensitivity, "sensitivity", I32),
    JSON_FIELD(ipc_vca_line, enable, "enable", I32),
    JSON_FIELD(ipc_vca_line, objtype, "objtype", I32),
};

HandlerStatus on_get_ipc_vca_line2(const char* request)
{
    return vca_get_detection(request, "chnid", REQ_IPC_VCA_LINE_GET);
}

HandlerStatus on_set_ipc_vca_line2(const char* request)
{
    ipc_vca_line payload;
    JsonPtr body = request_record(request, &payload, kLine2Payload);
    if (!body || !save_vca_dialog_data(body.get(), SMART_EVENT_LINE_CROSSING, payload.copy_channels,
                                       sizeof payload.copy_channels))
        return HANDLER_ERROR_TEXT;
    int width, height;
    vca_request_size(body.get(), &width, &height);
    payload.width = width, payload.height = height;
    vca_read_lines(body.get(), width, height, payload.lines,
                   +[](json_object* line, vca_line2& slot) { json_to_record(line, &slot, kLine2Entry); });
    return vca_send_setting(REQ_IPC_VCA_LINE_SET, &payload, (int)sizeof payload);
}

void on_get_ipc_vca_line2_cb(IpcAnswer& answer)
{
    ipc_vca_line event;
    if (!answer_record(answer, &event)) {
        answer.done = 0;
        return;
    }
    json_object* out = json_object_new_object();
    json_from_record(out, &event, kLine2Reply);
    json_object_object_add(out, "line", vca_lines_json(event.lines, event.width, event.height));
    cgi_writeback_json(REPLY_JSON, out);
}

const JsonField kSettings2Fields[] = {
    JSON_FIELD(ipc_vca_settings, mode, "mode", I32),
    JSON_FIELD(ipc_vca_settings, installation, "installation", I32),
    JSON_FIELD(ipc_vca_settings, analysis, "analysis", I32),
    JSON_FIELD(ipc_vca_settings, width, "width", I32),
    JSON_FIELD(ipc_vca_settings, height, "height", I32),
    JSON_FIELD(ipc_vca_settings, min_start_x, "minStartX", I32),
    JSON_FIELD(ipc_vca_settings, min_start_y, "minStartY", I32),
    JSON_FIELD(ipc_vca_settings, min_width, "minWidth", I32),
    JSON_FIELD(ipc_vca_settings, min_height, "minHeight", I32),
    JSON_FIELD(ipc_vca_settings, max_start_x, "maxStartX", I32),
    JSON_FIELD(ipc_vca_settings, max_start_y, "maxStartY", I32),
    JSON_FIELD(ipc_vca_settings, max_width, "maxWidth", I32),
    JSON_FIELD(ipc_vca_settings, max_height, "maxHeight", I32),
};
const JsonField kSettings2Request[] = {
    JSON_FIELD_CHECKED(ipc_vca_settings, channel, "chnid", I32, true, 0, kLastCameraChannel),
    JSON_FIELD(ipc_vca_settings, fps, "fps", I32),
    JSON_FIELD(ipc_vca_settings, copy_channels, "copyChn", TEXT),
};

HandlerStatus on_get_ipc_vca_settings2(const char* request)
{
    return vca_get_detection(request, "channel", REQ_IPC_VCA_SETTINGS_GET);
}

HandlerStatus on_set_ipc_vca_settings2(const char* request)
{
    return vca_set_settings<ipc_vca_settings>(request, kSettings2Request, kSettings2Fields, REQ_IPC_VCA_SETTINGS_SET,
                                              HANDLER_ERROR_TEXT);
}

void on_get_ipc_vca_settings2_cb(IpcAnswer& answer)
{
    vca_print_settings<ipc_vca_settings>(answer, kSettings2Fields);
}

// ---- Fisheye cameras.

const JsonField kFisheyeReply[] = {
    JSON_FIELD(fisheye_mode, channel, "chnid", I32),
    JSON_FIELD(fisheye_mode, result, "result", I32),
    JSON_FIELD(fisheye_mode, mount, "fishmount", I32),
    JSON_FIELD(fisheye_mode, display, "fishdisplay", I32),
    JSON_FIELD(fisheye_mode, correct, "fishcorrect", I32),
};
const JsonField kFisheyeMode[] = {
    JSON_FIELD_CHECKED(fisheye_mode, channel, "chnid", I32, true, 0, kLastCameraChannel),
    JSON_FIELD(fisheye_mode, correct, "fishcorrect", I32),
    JSON_FIELD(fisheye_mode, mount, "fishmount", I32),
    JSON_FIELD(fisheye_mode, display, "fishdisplay", I32),
};
const JsonField kFisheyeCamera[] = {
    JSON_FIELD(fisheye_set, camera.ddns, "ddns", TEXT),
    JSON_FIELD(fisheye_set, camera.ipaddr, "ipaddr", TEXT),
    JSON_FIELD(fisheye_set, camera.username, "username", TEXT),
    JSON_FIELD(fisheye_set, camera.password, "password", TEXT),
    JSON_FIELD(fisheye_set, camera.port, "port", I32),
    JSON_FIELD(fisheye_set, transfer, "transfer", I32),
    JSON_FIELD(fisheye_set, install, "install", I32),
    JSON_FIELD(fisheye_set, display, "display", I32),
};
const JsonField kFisheyeSupport[] = {
    JSON_FIELD(fisheye_support, support, "support", I32),
    JSON_FIELD(fisheye_support, transfer, "transfer", I32),
    JSON_FIELD(fisheye_support, install, "install", I32),
    JSON_FIELD(fisheye_support, display, "display", I32),
    JSON_FIELD(fisheye_support, stream_count, "streamCnt", I32),
};

HandlerStatus on_get_fisheye_info(const char* request)
{
    return vca_get_detection(request, "id", REQ_FISHEYE_INFO_GET);
}

void on_get_fisheye_info_cb(IpcAnswer& answer)
{
    video_print_record<fisheye_mode>(answer, kFisheyeReply);
}

HandlerStatus on_cgi_set_fisheye_mode(const char* request)
{
    fisheye_mode payload;
    if (!request_record(request, &payload, kFisheyeMode))
        return HANDLER_ERROR_TEXT;
    return vca_send_setting(REQ_FISHEYE_MODE_SET, &payload, (int)sizeof payload);
}

// 3373 carries the camera's address only; 3374 adds the three settings.
HandlerStatus ask_fisheye(const char* request, int code, int size, HandlerStatus refused)
{
    fisheye_set payload;
    if (!request_record(request, &payload, kFisheyeCamera))
        return refused;
    return cgi_ask(on_video_ipc_callback, code, &payload, size, refused);
}

HandlerStatus on_cgi_check_fisheye_info(const char* request)
{
    return ask_fisheye(request, REQ_FISHEYE_CHECK, (int)sizeof(fisheye_check), HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_set_fisheye_info(const char* request)
{
    return ask_fisheye(request, REQ_FISHEYE_SET, (int)sizeof(fisheye_set), HANDLER_ERROR_TEXT);
}

void on_cgi_check_fisheye_info_cb(IpcAnswer& answer)
{
    video_print_record<fisheye_support>(answer, kFisheyeSupport);
}

// ---- Regional people counting.

const JsonField kRegionalFields[] = {
    JSON_FIELD(ipc_regional_info, result, "result", I32),
    JSON_FIELD_CHECKED(ipc_regional_info, channel, "chnid", I32, true, 0, kLastCameraChannel),
    JSON_FIELD(ipc_regional_info, sensitivity, "sensitivity", I32),
    JSON_FIELD(ipc_regional_info, min_obj_x, "minObjX", I32),
    JSON_FIELD(ipc_regional_info, min_obj_y, "minObjY", I32),
    JSON_FIELD(ipc_regional_info, min_obj_width, "minObjWidth", I32),
    JSON_FIELD(ipc_regional_info, min_obj_height, "minObjHeight", I32),
    JSON_FIELD(ipc_regional_info, max_obj_x, "maxObjX", I32),
    JSON_FIELD(ipc_regional_info, max_obj_y, "maxObjY", I32),
    JSON_FIELD(ipc_regional_info, max_obj_width, "maxObjWidth", I32),
    JSON_FIELD(ipc_regional_info, max_obj_height, "maxObjHeight", I32),
    JSON_FIELD(ipc_regional_info, copy_channels, "copyChn", TEXT),
};
const JsonField kRegionalArea[] = {
    JSON_FIELD(regional_area, enable, "enable", I32),
    JSON_FIELD(regional_area, polygon_x, "polygonX", TEXT),
    JSON_FIELD(regional_area, polygon_y, "polygonY", TEXT),
    JSON_FIELD(regional_area, max_stay_enable, "maxStayEnable", I32),
    JSON_FIELD(regional_area, max_stay_value, "maxStayValue", I32),
    JSON_FIELD(regional_area, min_stay_enable, "minStayEnable", I32),
    JSON_FIELD(regional_area, min_stay_value, "minStayValue", I32),
    JSON_FIELD(regional_area, max_stay_time_enable, "maxStayTimeEnable", I32),
    JSON_FIELD(regional_area, max_stay_time_value, "maxStayTimeValue", I32),
};
// A region's action set as "/6096" shows it.
const EventActionKey kRegionalActions[] = {
    ACTION_FIELD(smart_event, enable, "enable"),
    ACTION_FIELD(smart_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(smart_event, interval, "interval"),
    ACTION_FIELD(smart_event, email_interval, "email_interval"),
    ACTION_FIELD(smart_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(smart_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(smart_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(smart_event, alarmout_interval, "alarmout_interval"),
    ACTION_TEXT(smart_event, tri_channels_string, "triChannels"),
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_ALARM_OUTPUTS(smart_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_FIELD(smart_event, white_interval, "white_interval"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_FIELD(smart_event, http_notification_interval, "http_notification_interval"),
    ACTION_FIELD(smart_event, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
};

HandlerStatus on_cgi_get_ipc_regional_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    static const JsonField kChannel[] = {JSON_CHECK("chnid", true, 0, kLastCameraChannel)};
    if (!body || !json_check(body.get(), kChannel))
        return HANDLER_ERROR_JSON;
    int32_t channel = 0;
    json_get_int(body.get(), "chnid", &channel);
    // The actions are the requested channel's, whatever the answer names.
    return cgi_ask(on_video_ipc_callback, REQ_IPC_REGIONAL_GET, &channel, (int)sizeof channel, HANDLER_ERROR_JSON,
                   &channel);
}

void on_cgi_get_ipc_regional_info_cb(IpcAnswer& answer)
{
    static ipc_regional_info info;
    if (!answer.context || !answer_record(answer, &info)) {
        answer.done = 0;
        return;
    }
    const int channel = *(const int32_t*)answer.context;
    json_object* out = json_object_new_object();
    json_from_record(out, &info, kRegionalFields, WEB_RES_COUNT(kRegionalFields) - 1);
    json_object* list = json_object_new_array();
    for (int r = 0; r < REGIONAL_AREAS; r++) {
        json_object* area = json_object_new_object();
        json_from_record(area, &info.areas[r], kRegionalArea);
        smart_event record;
        read_regional_pcnt_event(VXDB_MAIN, &record, channel, r);
        json_object* action = json_object_new_object();
        event_actions_to_json(action, *regional_pcnt_tables(r), channel, &record, kRegionalActions);
        json_object_object_add(area, "action", action);
        json_object_array_add(list, area);
    }
    json_object_object_add(out, "regional", list);
    cgi_writeback_json(REPLY_JSON, out);
}

HandlerStatus on_cgi_set_ipc_regional_info(const char* request)
{
    static ipc_regional_info payload;
    JsonPtr body = request_record(request, &payload, kRegionalFields);
    if (!body)
        return HANDLER_ERROR_TEXT;
    const uint64_t copies = channel_string_mask(payload.copy_channels, sizeof payload.copy_channels);
    json_object* list = nullptr;
    json_object_object_get_ex(body.get(), "regional", &list);
    bool stored = true;
    for (int r = 0; r < REGIONAL_AREAS; r++) {
        json_object* area = json_array_at(list, (size_t)r);
        if (!json_object_is_type(area, json_type_object))
            continue;
        json_to_record(area, &payload.areas[r], kRegionalArea);
        json_object* action = nullptr;
        if (json_object_object_get_ex(area, "action", &action) && json_object_is_type(action, json_type_object))
            stored &= store_regional_actions(action, payload.channel, r, copies);
    }
    if (!stored)
        return HANDLER_ERROR_TEXT;
    return cgi_ask(on_video_ipc_callback, REQ_IPC_REGIONAL_SET, &payload, (int)sizeof payload, HANDLER_ERROR_TEXT);
}

const IpcResponse kSmartCameraResponses[] = {
    {REQ_IPC_VCA_LINE_GET + 5000, (int)sizeof(ipc_vca_line), 1, on_get_ipc_vca_line2_cb},
    {REQ_IPC_VCA_LINE_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_IPC_VCA_SETTINGS_GET + 5000, (int)sizeof(ipc_vca_settings), 1, on_get_ipc_vca_settings2_cb},
    {REQ_IPC_VCA_SETTINGS_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_FISHEYE_INFO_GET + 5000, (int)sizeof(fisheye_mode), 1, on_get_fisheye_info_cb},
    {REQ_FISHEYE_MODE_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_FISHEYE_CHECK + 5000, (int)sizeof(fisheye_support), 1, on_cgi_check_fisheye_info_cb},
    {REQ_FISHEYE_SET + 5000, 4, 1, reply_res_cb},
    {REQ_IPC_REGIONAL_GET + 5000, (int)sizeof(ipc_regional_info), 1, on_cgi_get_ipc_regional_info_cb},
    {REQ_IPC_REGIONAL_SET + 5000, 4, 1, reply_res_cb},
};

}  // namespace

const WebModulePart video_smart_camera_part =
    WEB_MODULE_PART("video", kSmartCameraResources, kSmartCameraResponses);
