// On-screen display and privacy masks: the recorder's own OSD of a channel
// (its name is the channel name every page shows), the OSD texts the camera
// draws itself, and the camera's privacy masks.
#include "modules/video/video.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define OSD_RESOURCES(X) \
    X("/6000", on_get_osd_info, "recorder OSD of a channel") \
    X("/6001", on_set_osd_info, "set the recorder OSD of a channel") \
    X("/6002", OnSetOSDName, "set only the channel name") \
    X("/6997", on_get_osdconfig, "OSD texts drawn by the camera") \
    X("/6996", on_set_osdconfig, "set the OSD texts drawn by the camera") \
    X("/6018", on_get_privacy_masks, "stored privacy masks of every channel") \
    X("/6019", on_set_privacy_mask, "privacy masks to a set of cameras") \
    X("/6115", on_get_privacy_mask_ovf, "privacy masks of a camera") \
    X("/6116", on_get_ipc_model_type, "model type of a camera") \
    X("/6173", on_delete_privacy_mask, "delete one privacy mask of a camera") \
    X("/6198", on_cgi_set_privacy_edit, "start editing a privacy mask on the camera")

OSD_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kOsdResources[] = {OSD_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastChannel = CHANNEL_COUNT - 1;
// "/6002" keeps the short name the older pages allow.
const size_t kShortNameCut = 31;

// The recorder OSD up to its positions, then its last field: the doubles
// between them have no row type of their own.
const JsonField kOsdHead[] = {
    JSON_FIELD_CHECKED(osd, id, "camId", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(osd, name, "camName", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(osd, show_name, "showName", I32, true, 0, 1),
    JSON_FIELD_CHECKED(osd, show_date, "showDate", I32, true, 0, 1),
    JSON_FIELD_CHECKED(osd, show_week, "showWeek", I32, true, 0, 1),
    JSON_FIELD_CHECKED(osd, date_format, "dateFormat", I32, true, 0, 3),
    JSON_FIELD_CHECKED(osd, time_format, "timeFormat", I32, true, 0, 1),
};
const JsonField kOsdTail[] = {
    JSON_FIELD_CHECKED(osd, alpha, "alpha", I32, true, 0, JSON_ANY_MAX),
};
struct OsdPosition {
    const char* key;
    size_t offset;
};
const OsdPosition kOsdPositions[] = {
    {"datePosX", offsetof(osd, date_pos_x)},
    {"datePosY", offsetof(osd, date_pos_y)},
    {"namePosX", offsetof(osd, name_pos_x)},
    {"namePosY", offsetof(osd, name_pos_y)},
};

const JsonField kOsdName[] = {
    JSON_CHECK("camId", true, 0, kLastChannel),
    JSON_FIELD_CHECKED(osd, name, "camName", TEXT, true, 0, 0),
};

// The camera OSD as "/6996" takes it; absent "_sub" keys stay 0 or empty.
const JsonField kCameraOsdSet[] = {
    JSON_FIELD_CHECKED(camera_osd, channel, "ch", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(camera_osd, enable_text, "enable_text", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(camera_osd, text_name, "text_name", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(camera_osd, textpos, "textpos", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(camera_osd, enable_date, "enable_date", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(camera_osd, datepos, "datepos", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(camera_osd, dateformat, "dateformat", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(camera_osd, font_size, "fontSize", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD(camera_osd, enable_text_sub, "enable_text_sub", I32),
    JSON_FIELD(camera_osd, text_name_sub, "text_name_sub", TEXT),
    JSON_FIELD(camera_osd, textpos_sub, "textpos_sub", I32),
    JSON_FIELD(camera_osd, enable_date_sub, "enable_date_sub", I32),
    JSON_FIELD(camera_osd, datepos_sub, "datepos_sub", I32),
    JSON_FIELD(camera_osd, dateformat_sub, "dateformat_sub", I32),
    JSON_FIELD(camera_osd, font_size_sub, "fontSizeSub", I32),
    JSON_FIELD(camera_osd, type, "type", I32),
};

// The reply of "/6997": the font sizes are not shown.
const JsonField kCameraOsdReply[] = {
    JSON_FIELD(camera_osd, enable_text, "enable_text", I32),
    JSON_FIELD(camera_osd, text_name, "text_name", TEXT),
    JSON_FIELD(camera_osd, textpos, "textpos", I32),
    JSON_FIELD(camera_osd, enable_date, "enable_date", I32),
    JSON_FIELD(camera_osd, datepos, "datepos", I32),
    JSON_FIELD(camera_osd, dateformat, "dateformat", I32),
    JSON_FIELD(camera_osd, enable_text_sub, "enable_text_sub", I32),
    JSON_FIELD(camera_osd, text_name_sub, "text_name_sub", TEXT),
    JSON_FIELD(camera_osd, textpos_sub, "textpos_sub", I32),
    JSON_FIELD(camera_osd, enable_date_sub, "enable_date_sub", I32),
    JSON_FIELD(camera_osd, datepos_sub, "datepos_sub", I32),
    JSON_FIELD(camera_osd, dateformat_sub, "dateformat_sub", I32),
};

const JsonField kStoredMaskArea[] = {
    JSON_FIELD(privacy_mask_area, area_id, "area_id", I32),
    JSON_FIELD(privacy_mask_area, enable, "enable", I32),
    JSON_FIELD(privacy_mask_area, start_x, "start_x", I32),
    JSON_FIELD(privacy_mask_area, start_y, "start_y", I32),
    JSON_FIELD(privacy_mask_area, area_width, "area_width", I32),
    JSON_FIELD(privacy_mask_area, area_height, "area_height", I32),
    JSON_FIELD(privacy_mask_area, width, "width", I32),
    JSON_FIELD(privacy_mask_area, height, "height", I32),
    JSON_FIELD(privacy_mask_area, fill_color, "fill_color", I32),
};

const JsonField kMaskSet[] = {
    JSON_CHECK("cnt", true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD(privacy_mask_set, enable, "enable", I32),
    JSON_FIELD(privacy_mask_set, cgi_sdk_flag, "cgiSdkFlag", I32),
    JSON_FIELD(privacy_mask_set, num, "num", I32),
    JSON_FIELD(privacy_mask_set, area_mask_enable, "areaMaskEnable", I32),
    JSON_FIELD(privacy_mask_set, mosaic_support, "mosaicSupport", I32),
    JSON_FIELD(privacy_mask_set, mosaic_num, "mosaicNum", I32),
};

// One area both ways; "/6115" prints the leading rows and then the drawing
// area and the edges between them.
const JsonField kMaskAreaHead[] = {
    JSON_FIELD(camera_mask_area, area_id, "area_id", I32),
    JSON_FIELD(camera_mask_area, enable, "enable", I32),
    JSON_FIELD(camera_mask_area, start_x, "start_x", I32),
    JSON_FIELD(camera_mask_area, start_y, "start_y", I32),
    JSON_FIELD(camera_mask_area, area_width, "area_width", I32),
    JSON_FIELD(camera_mask_area, area_height, "area_height", I32),
};
const JsonField kMaskAreaSet[] = {
    JSON_FIELD(camera_mask_area, area_id, "area_id", I32),
    JSON_FIELD(camera_mask_area, enable, "enable", I32),
    JSON_FIELD(camera_mask_area, start_x, "start_x", I32),
    JSON_FIELD(camera_mask_area, start_y, "start_y", I32),
    JSON_FIELD(camera_mask_area, area_width, "area_width", I32),
    JSON_FIELD(camera_mask_area, area_height, "area_height", I32),
    JSON_FIELD(camera_mask_area, fill_color, "fill_color", I32),
    JSON_FIELD(camera_mask_area, ratio, "ratio", I32),
    JSON_FIELD(camera_mask_area, name, "name", TEXT),
};

const JsonField kMaskAnswerHead[] = {
    JSON_FIELD(privacy_mask_answer, id, "id", I32),
    JSON_FIELD(privacy_mask_answer, num, "num", I32),
    JSON_FIELD(privacy_mask_answer, max_ptz_zoom_ratio, "maxPtzZoomRatio", I32),
    JSON_FIELD(privacy_mask_answer, area_enable, "areaEnable", I32),
    JSON_FIELD(privacy_mask_answer, enable, "enable", I32),
    JSON_FIELD(privacy_mask_answer, sdkversion, "sdkversion", TEXT),
    JSON_FIELD(privacy_mask_answer, cgi_sdk_flag, "cgiSdkFlag", I32),
    JSON_FIELD(privacy_mask_answer, color_list, "colorList", TEXT),
    JSON_FIELD(privacy_mask_answer, mosaic_support, "mosaicSupport", I32),
    JSON_FIELD(privacy_mask_answer, mosaic_num, "mosaicNum", I32),
};

const JsonField kMaskDelete[] = {
    JSON_FIELD_CHECKED(privacy_mask_ref, channel, "chan_id", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(privacy_mask_ref, id, "area_id", I32, true, 0, CAMERA_MASK_AREA_LAST_ID),
};
const JsonField kMaskEdit[] = {
    JSON_FIELD_CHECKED(privacy_mask_ref, channel, "chnid", I32, true, 0, kLastChannel),
    JSON_FIELD_CHECKED(privacy_mask_ref, id, "maskid", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
};

// Ordinary and mosaic masks share the 28 slots of a message: each count is
// clamped before they are added, so a hostile count never walks past them.
int mask_area_count(int32_t num, int32_t mosaic_num)
{
    auto clamp = [](int32_t n) { return n < 0 ? 0 : n > CAMERA_MASK_AREAS ? CAMERA_MASK_AREAS : (int)n; };
    const int total = clamp(num) + clamp(mosaic_num);
    return total > CAMERA_MASK_AREAS ? CAMERA_MASK_AREAS : total;
}

bool osd_positions_valid(json_object* body)
{
    for (const OsdPosition& p : kOsdPositions) {
        json_object* item = nullptr;
        if (!json_object_object_get_ex(body, p.key, &item))
            return false;
        if (!json_object_is_type(item, json_type_double) && !json_object_is_type(item, json_type_int))
            return false;
        if (json_object_get_double(item) < 0)
            return false;
    }
    return true;
}

bool check_osd_info(json_object* body)
{
    return json_check(body, kOsdHead) && json_check(body, kOsdTail) && osd_positions_valid(body);
}

HandlerStatus on_get_osd_info(const char* request)
{
    int channel = -1;
    if (!video_channel_text(request, &channel))
        return HANDLER_SILENT;
    osd record;
    read_osd(VXDB_MAIN, &record, channel);
    record.id = channel;
    json_object* reply = json_object_new_object();
    json_from_record(reply, &record, kOsdHead);
    for (const OsdPosition& p : kOsdPositions) {
        double value;
        memcpy(&value, (const char*)&record + p.offset, sizeof value);
        json_object_object_add(reply, p.key, json_object_new_double(value));
    }
    json_from_record(reply, &record, kOsdTail);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

struct OsdRequest {
    json_object* body;
    int channel;
};

bool apply_osd_info(osd* record, void* context)
{
    const OsdRequest* r = (const OsdRequest*)context;
    json_to_record(r->body, record, kOsdHead);
    json_to_record(r->body, record, kOsdTail);
    for (const OsdPosition& p : kOsdPositions) {
        json_object* item = nullptr;
        json_object_object_get_ex(r->body, p.key, &item);
        const double value = json_object_get_double(item);
        memcpy((char*)record + p.offset, &value, sizeof value);
    }
    record->id = r->channel;
    return true;
}

HandlerStatus on_set_osd_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_osd_info(body.get()))
        return HANDLER_SILENT;
    OsdRequest r = {body.get(), json_int_or(body.get(), "camId")};
    if (update_osd(VXDB_MAIN, r.channel, apply_osd_info, &r) != 0)
        return HANDLER_ERROR_TEXT;
    const osd_change change = {r.channel, 1, 0};
    cgi_notify(on_video_ipc_callback, REQ_OSD_CHANGED, &change, (int)sizeof change);
    reply_text("OK");
    return HANDLER_DONE;
}

bool apply_osd_name(osd* record, void* context)
{
    const OsdRequest* r = (const OsdRequest*)context;
    const char* name = "";
    json_get_text(r->body, "camName", &name);
    wire_text(record->name, name, kShortNameCut);
    record->id = r->channel;
    return true;
}

HandlerStatus OnSetOSDName(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kOsdName))
        return HANDLER_SILENT;
    OsdRequest r = {body.get(), json_int_or(body.get(), "camId")};
    if (update_osd(VXDB_MAIN, r.channel, apply_osd_name, &r) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

// Asks `code` for the channel of {"id"}; silence without one.
HandlerStatus ask_for_id(const char* request, int code)
{
    return video_ask_channel(request, "id", code, HANDLER_SILENT, HANDLER_ERROR_TEXT);
}

HandlerStatus on_get_osdconfig(const char* request)
{
    return ask_for_id(request, REQ_CAMERA_OSD_GET);
}

// Prints the error body itself for an empty answer and keeps the answer as
// taken, so the handler does not print a second one.
void on_get_osdconfig_cb(IpcAnswer& answer)
{
    camera_osd record;
    if (!answer_record(answer, &record)) {
        cgi_error_to_webserver(REPLY_TEXT);
        return;
    }
    json_object* reply = json_object_new_object();
    if (record.channel < 0) {
        json_add_int(reply, "disconnect", 0);
    } else {
        json_from_record(reply, &record, kCameraOsdReply);
        json_add_int(reply, "disconnect", 1);
    }
    cgi_writeback_json(REPLY_JSON, reply);
}

bool check_osdconfig_info(json_object* body)
{
    return json_check(body, kCameraOsdSet);
}

HandlerStatus on_set_osdconfig(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_osdconfig_info(body.get()))
        return HANDLER_SILENT;
    camera_osd record;
    memset(&record, 0, sizeof record);
    json_to_record(body.get(), &record, kCameraOsdSet);
    return cgi_ask(on_video_ipc_callback, REQ_CAMERA_OSD_SET, &record, (int)sizeof record, HANDLER_ERROR_TEXT);
}

void on_set_osdconfig_cb(IpcAnswer& answer)
{
    const int32_t result = answer_word(answer);
    reply_text(result == 0 ? "OK" : result == -1 ? "NO_SUPPORT" : "ERROR");
}

HandlerStatus on_get_privacy_masks(const char*)
{
    json_object* reply = json_object_new_array();
    const int channels = get_max_cameras(VXDB_MAIN);
    for (int channel = 0; channel < channels; channel++) {
        privacy_mask record;
        read_privacy_masks(VXDB_MAIN, &record, channel);
        json_object* entry = json_object_new_object();
        json_add_int(entry, "id", channel);
        json_object* areas = json_object_new_array();
        for (const privacy_mask_area& a : record.areas) {
            json_object* area = json_object_new_object();
            json_from_record(area, &a, kStoredMaskArea);
            json_object_array_add(areas, area);
        }
        json_object_object_add(entry, "area", areas);
        json_object_array_add(reply, entry);
    }
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// Beyond the table: the areas and the channels must be there.
bool check_privacy_mask_info(json_object* body)
{
    json_object* item = nullptr;
    return json_object_object_get_ex(body, "area", &item) && json_object_object_get_ex(body, "chnid", &item);
}

HandlerStatus on_set_privacy_mask(const char* request)
{
    privacy_mask_set payload;
    JsonPtr body = request_record(request, &payload, kMaskSet);
    if (!body || !check_privacy_mask_info(body.get()))
        return HANDLER_SILENT;
    int del = 0;
    if (json_get_int(body.get(), "delMask", &del) && del < 0)
        payload.delete_flag = -1;

    json_object* areas = nullptr;
    json_object_object_get_ex(body.get(), "area", &areas);
    const int n = mask_area_count(payload.num, payload.mosaic_num);
    for (int i = 0; i < n; i++) {
        json_object* area = json_array_at(areas, (size_t)i);
        if (area && json_object_is_type(area, json_type_object))
            json_to_record(area, &payload.areas[i], kMaskAreaSet);
    }

    memset(payload.channels, '0', sizeof payload.channels);
    const ChannelList selected = channel_list_by_json(body.get(), "chnid", "cnt");
    for (int i = 0; i < selected.count; i++)
        payload.channels[selected.channels[i]] = '1';
    cgi_notify(on_video_ipc_callback, REQ_PRIVACY_MASK_SET, &payload, (int)sizeof payload);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_privacy_mask_ovf(const char* request)
{
    return ask_for_id(request, REQ_PRIVACY_MASK_GET);
}

json_object* camera_mask_area_json(const camera_mask_area& a)
{
    json_object* area = json_object_new_object();
    json_from_record(area, &a, kMaskAreaHead);
    json_add_int(area, "width", PRIVACY_MASK_WIDTH);
    json_add_int(area, "height", PRIVACY_MASK_HEIGHT);
    json_add_int(area, "fill_color", a.fill_color);
    json_add_int(area, "left", a.start_x);
    json_add_int(area, "top", a.start_y);
    json_add_int(area, "right", a.area_width);
    json_add_int(area, "bottom", a.area_height);
    json_add_int(area, "ratio", a.ratio);
    json_add_field(area, "name", a.name, sizeof a.name);
    return area;
}

void on_get_ipc_privacy_mask_cb(IpcAnswer& answer)
{
    privacy_mask_answer record;
    json_object* reply = json_object_new_array();
    for (int i = 0; i < answer.count && answer_record(answer, &record, i); i++) {
        json_object* entry = json_object_new_object();
        json_from_record(entry, &record, kMaskAnswerHead);
        json_object* areas = json_object_new_array();
        const int n = mask_area_count(record.num, record.mosaic_num);
        for (int a = 0; a < n; a++)
            json_object_array_add(areas, camera_mask_area_json(record.areas[a]));
        json_object_object_add(entry, "area", areas);
        json_add_int(entry, "colorSupport", record.color_support);
        json_object_array_add(reply, entry);
    }
    cgi_writeback_json(REPLY_JSON, reply);
}

HandlerStatus on_get_ipc_model_type(const char* request)
{
    return ask_for_id(request, REQ_CAMERA_MODEL_TYPE);
}

void on_get_ipc_model_type_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "result", answer_word(answer));
    cgi_writeback_json(REPLY_JSON, reply);
}

HandlerStatus on_delete_privacy_mask(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    privacy_mask_ref mask = {0, 0};
    if (!json_read_record(body.get(), &mask, kMaskDelete))
        return HANDLER_ERROR_JSON;
    cgi_notify(on_video_ipc_callback, REQ_PRIVACY_MASK_DELETE, &mask, (int)sizeof mask);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_cgi_set_privacy_edit(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    privacy_mask_ref mask = {0, 0};
    if (!json_read_record(body.get(), &mask, kMaskEdit))
        return HANDLER_ERROR_JSON;
    return cgi_ask(on_video_ipc_callback, REQ_PRIVACY_MASK_EDIT, &mask, (int)sizeof mask, HANDLER_ERROR_JSON);
}

// An answer without a record is no answer, except for the camera OSD,
// whose printer answers an empty one itself.
const IpcResponse kOsdResponses[] = {
    {RSP_CAMERA_OSD_GET, (int)sizeof(camera_osd), 0, on_get_osdconfig_cb},
    {RSP_CAMERA_OSD_SET, (int)sizeof(int32_t), 1, on_set_osdconfig_cb},
    {RSP_PRIVACY_MASK_GET, (int)sizeof(privacy_mask_answer), 1, on_get_ipc_privacy_mask_cb},
    {RSP_CAMERA_MODEL_TYPE, (int)sizeof(int32_t), 1, on_get_ipc_model_type_cb},
    {RSP_PRIVACY_MASK_EDIT, (int)sizeof(int32_t), 1, reply_res_cb},
};

}  // namespace

const WebModulePart video_osd_part = WEB_MODULE_PART("video", kOsdResources, kOsdResponses);
