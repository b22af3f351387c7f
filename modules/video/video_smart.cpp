// Smart (video-analytics) events: the cameras' detection settings asked
// from and pushed through the core service, and the NVR's action set per
// channel and event kept in the database and copied to channel sets.
#include "modules/video/video_smart.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/channels.h"
#include "core/db.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define SMART_RESOURCES(X) \
    X("/6132", on_get_vca_region, "region entrance (type 0) or exit settings of a camera") \
    X("/6133", on_set_vca_region, "set region entrance or exit, with the event's actions") \
    X("/6134", on_get_vca_motion, "advanced motion settings of a camera") \
    X("/6135", on_set_vca_motion, "set advanced motion, with the event's actions") \
    X("/6136", on_get_vca_tamper, "tamper detection settings of a camera") \
    X("/6137", on_set_vca_tamper, "set tamper detection, with the event's actions") \
    X("/6138", on_get_vca_line, "line crossing lines in the browser's frame") \
    X("/6139", on_set_vca_line, "set line crossing, with the event's actions") \
    X("/6140", on_get_vca_loitering, "loitering settings of a camera") \
    X("/6141", on_set_vca_loitering, "set loitering, with the event's actions") \
    X("/6142", on_get_vca_human, "human detection settings of a camera") \
    X("/6143", on_set_vca_human, "set human detection, with the event's actions") \
    X("/6144", on_get_vca_people, "people counting line and display of a camera") \
    X("/6145", on_set_vca_people, "set people counting") \
    X("/6146", on_get_vca_settings, "analytics mode, installation and object sizes") \
    X("/6147", on_set_vca_settings, "set the analytics settings") \
    X("/6171", on_set_vca_leftremove, "set object left/removed, with the event's actions") \
    X("/6172", on_get_vca_leftremove, "object left/removed settings of a camera") \
    X("/6154", on_vca_clear_people_count, "reset a people count") \
    X("/6157", on_get_vca_support, "whether a camera has analytics, and which") \
    X("/6151", on_get_vca_common_para, "action fields of a channel's smart event") \
    X("/6148", on_get_smart_event_schedule, "whole action set of a channel's smart event") \
    X("/6149", on_set_smart_event_schedule, "set the action set of a channel's smart event") \
    X("/6150", on_set_vca_allrtm_others, "set the alarm outputs or record channels of an event")


SMART_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kSmartResources[] = {SMART_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastChannel = CHANNEL_COUNT - 1;
const int kLastEvent = SMART_EVENTS - 1;

enum { SMART_EVENT_LINE_CROSSING = 4, SMART_EVENT_LEFT_REMOVED = 8 };

// The action part of a smart event ("dialog" of the detection writes, the
// top level of "/6149"). Every key is optional.
const EventActionKey kSmartActions[] = {
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_ALARM_OUTPUTS(smart_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(smart_event, enable, "enable"),
    ACTION_FIELD(smart_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(smart_event, interval, "interval"),
    ACTION_FIELD(smart_event, audio_id, "audioId"),
    ACTION_FIELD(smart_event, email_interval, "email_interval"),
    ACTION_FIELD(smart_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(smart_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(smart_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(smart_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(smart_event, white_interval, "white_interval"),
    ACTION_FIELD(smart_event, http_notification_interval, "http_notification_interval"),
    ACTION_CHANNELS(smart_event, tri_channels_string, tri_channels, "triChannels"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

// The action object of "/6148", in the order the page reads it.
const EventActionKey kSmartReply[] = {
    ACTION_FIELD(smart_event, id, "chnid"),
    ACTION_FIELD(smart_event, event, "event"),
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
    ACTION_FIELD(smart_event, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

// "/6151".
const JsonField kCommonReply[] = {
    JSON_FIELD(smart_event, id, "chnid", I32),
    JSON_FIELD(smart_event, enable, "enable", I32),
    JSON_FIELD(smart_event, tri_alarms, "triAlarms", I32),
    JSON_FIELD(smart_event, interval, "interval", I32),
    JSON_FIELD(smart_event, email_interval, "email_interval", I32),
    JSON_FIELD(smart_event, email_pic_enable, "email_pic_enable", I32),
    JSON_FIELD(smart_event, tri_channels_pic, "tri_channels_pic", TEXT),
    JSON_FIELD(smart_event, tri_channels_string, "triChannels", TEXT),
};

}  // namespace

// ---- Coordinates: the browser's 460 x 260 frame and the camera's picture.

namespace {

int32_t clamp32(long long v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v;
}

// "x1;y1;x2;y2", at most 31 characters read; missing numbers are 0.
VcaBox parse_position(const char* text)
{
    VcaBox box = {{0, 0, 0, 0}};
    char buffer[32];
    wire_text(buffer, text, sizeof buffer - 1);
    const char* p = buffer;
    for (int i = 0; i < 4 && *p; i++) {
        char* end = nullptr;
        box.v[i] = clamp32(strtoll(p, &end, 10));
        const char* next = strchr(p, ';');
        if (!next)
            break;
        p = next + 1;
    }
    return box;
}

}  // namespace

// Browser to camera, rounded to nearest; 64-bit so that a large picture
// size times a coordinate cannot overflow.
VcaBox vca_to_camera(const VcaBox& b, int width, int height, bool line)
{
    VcaBox out;
    for (int i = 0; i < 4; i++) {
        const bool x = i % 2 == 0;
        const long long size = x ? width : height, frame = x ? VCA_FRAME_WIDTH : VCA_FRAME_HEIGHT;
        long long v = (size * b.v[i] + frame / 2) / frame;
        if (line && v < 1)
            v = 1;
        out.v[i] = clamp32(v);
    }
    return out;
}

std::string vca_position_text(const VcaBox& camera, int width, int height)
{
    long long v[4] = {0, 0, 0, 0};
    if (width != 0 && height != 0)
        for (int i = 0; i < 4; i++) {
            const bool x = i % 2 == 0;
            const long long size = x ? width : height, frame = x ? VCA_FRAME_WIDTH : VCA_FRAME_HEIGHT;
            v[i] = (frame * camera.v[i] + size / 2) / size;
        }
    char text[64];
    snprintf(text, sizeof text, "%d;%d;%d;%d", clamp32(v[0]), clamp32(v[1]), clamp32(v[2]), clamp32(v[3]));
    return text;
}

// The picture size a request names, 1920 x 1080 unless it says otherwise.
void vca_request_size(json_object* body, int* width, int* height)
{
    *width = VCA_DEFAULT_WIDTH, *height = VCA_DEFAULT_HEIGHT;
    json_get_int(body, "width", width);
    json_get_int(body, "height", height);
}

VcaBox vca_request_position(json_object* body)
{
    const char* text = nullptr;
    return parse_position(json_get_text(body, "position", &text) ? text : "");
}

// ---- The action part of a smart event.

namespace {

// Where an action set lives: the smart events by event number, regional
// people counting by region.
struct ActionFamily {
    const EventActionTables* (*tables)(int key);
    int (*update)(const char* db, int channel, int key, bool (*change)(smart_event*, void*), void* context);
    int (*copy)(int source, int key, uint64_t channels);
    bool notify;  // 1412 for the channel set
};

int copy_smart_actions(int source, int event, uint64_t channels)
{
    return copy_smart_event_action(VXDB_MAIN, source, event, channels);
}

int copy_regional_actions(int source, int region, uint64_t channels)
{
    int rc = copy_regional_pcnt_event(VXDB_MAIN, source, region, channels);
    rc |= copy_regional_pcnt_schedule(source, region, channels);
    return rc ? -1 : 0;
}

const ActionFamily kSmartFamily = {smart_event_tables, update_smart_event, copy_smart_actions, true};
const ActionFamily kRegionalFamily = {regional_pcnt_tables, update_regional_pcnt_event, copy_regional_actions,
                                      false};

struct SmartActions {
    json_object* part;
    int channel;
    int key;
};

bool fill_smart_actions(smart_event* record, void* context)
{
    SmartActions* c = (SmartActions*)context;
    record->id = c->channel;
    record->event = c->key;
    return event_actions_fill(c->part, record, c->channel, kSmartActions, WEB_RES_COUNT(kSmartActions), true) > 0;
}

// Stores the actions of (channel, key), copies them to `copies` and, for
// the smart events, tells the core service about the set with the channel
// in it. False when a write failed.
bool store_actions(const ActionFamily& family, json_object* part, int channel, int key, uint64_t copies)
{
    const EventActionTables* tables = family.tables(key);
    if (!tables || channel < 0 || channel > kLastChannel)
        return false;
    event_actions_store(part, *tables, channel, kSmartActions, WEB_RES_COUNT(kSmartActions), true);
    SmartActions c = {part, channel, key};
    int rc = family.update(VXDB_MAIN, channel, key, fill_smart_actions, &c) < 0 ? -1 : 0;
    copies &= ~(1ULL << channel);
    if (copies)
        rc |= family.copy(channel, key, copies);
    if (family.notify)
        video_notify_channels(REQ_SMART_EVENT_CHANGED, copies | (1ULL << channel));
    return rc == 0;
}

bool store_smart_actions(json_object* part, int channel, int event, uint64_t copies)
{
    return store_actions(kSmartFamily, part, channel, event, copies);
}

}  // namespace

bool store_regional_actions(json_object* part, int channel, int region, uint64_t copies)
{
    return store_actions(kRegionalFamily, part, channel, region, copies);
}

// The "dialog" of a detection write; a dialog without a channel within
// 0..63 is skipped, not stored under a bogus key.
bool save_vca_dialog_data(json_object* body, int event, const char* copy_channels, size_t copy_size)
{
    json_object* dialog = nullptr;
    if (!json_object_object_get_ex(body, "dialog", &dialog) || !json_object_is_type(dialog, json_type_object))
        return true;
    int channel = -1;
    if (!json_get_int(dialog, "chnid", &channel) || channel < 0 || channel > kLastChannel)
        return true;
    return store_smart_actions(dialog, channel, event, channel_string_mask(copy_channels, copy_size));
}

HandlerStatus vca_send_setting(int code, const void* payload, int size)
{
    return cgi_ask(on_video_ipc_callback, code, payload, size, HANDLER_ERROR_TEXT);
}

// A detection read: the channel under `key`, the answer printed by the
// row of the answer code with `reply` as its fields.
HandlerStatus vca_get_detection(const char* request, const char* key, int code, const void* reply)
{
    return video_ask_channel(request, key, code, HANDLER_ERROR_JSON, HANDLER_ERROR_JSON, reply);
}

namespace {

// ---- Detection settings pushed to the camera.

// The event a detection write's actions belong to: its "type" when given
// (0..8 only), else the resource's own.
bool request_event(json_object* body, int fallback, int* event)
{
    static const JsonField kType[] = {JSON_CHECK("type", false, 0, kLastEvent)};
    if (!json_check(body, kType))
        return false;
    *event = fallback;
    json_get_int(body, "type", event);
    return true;
}

const JsonField kRegionPayload[] = {
    JSON_FIELD_CHECKED(vca_region_event, channel, "chnid", I32, true, 0, kLastChannel),
    JSON_FIELD(vca_region_event, enable, "enable", I32),
    JSON_FIELD(vca_region_event, sensitivity, "sensitivity", I32),
    JSON_FIELD(vca_region_event, time, "time", I32),
    JSON_FIELD(vca_region_event, size, "size", I32),
    JSON_FIELD(vca_region_event, tracks, "tracks", I32),
    JSON_FIELD(vca_region_event, region, "region", TEXT),
    JSON_FIELD(vca_region_event, ignore_time, "ignore_time", I32),
    JSON_FIELD(vca_region_event, objtype, "objtype", I32),
    JSON_FIELD(vca_region_event, polygon_x, "polygonX", TEXT),
    JSON_FIELD(vca_region_event, polygon_y, "polygonY", TEXT),
    JSON_FIELD(vca_region_event, copy_channels, "copyChn", TEXT),
    JSON_FIELD(vca_region_event, region_type, "regionType", I32),
    JSON_FIELD(vca_region_event, region_scene, "regionScene", I32),
};
const JsonField kRegionInfo[] = {
    JSON_FIELD(vca_region_info, enable, "enable", I32),
    JSON_FIELD(vca_region_info, objtype, "objType", I32),
    JSON_FIELD(vca_region_info, time, "time", I32),
};
const JsonField kLeftRemoveInfo[] = {
    JSON_FIELD(vca_leftremove_info, left_enable, "leftEnable", I32),
    JSON_FIELD(vca_leftremove_info, remove_enable, "removeEnable", I32),
};
const JsonField kPolygon[] = {
    JSON_FIELD(vca_polygon, x, "polygonX", TEXT),
    JSON_FIELD(vca_polygon, y, "polygonY", TEXT),
};

// "regionInfo" when regionType is not 0: each entry's own fields and its
// polygons, one with regionType 1, up to 5 with a larger one.
template <typename Info, size_t N>
void read_region_info(json_object* body, int region_type, Info (&info)[VCA_REGION_ENTRIES],
                      const JsonField (&fields)[N])
{
    json_object* list = nullptr;
    if (region_type == 0 || !json_object_object_get_ex(body, "regionInfo", &list))
        return;
    const int polygons = region_type < 0 ? 0 : region_type > VCA_REGION_POLYGONS ? VCA_REGION_POLYGONS : region_type;
    for (int i = 0; i < VCA_REGION_ENTRIES; i++) {
        json_object* entry = json_array_at(list, (size_t)i);
        if (!json_object_is_type(entry, json_type_object))
            continue;
        json_to_record(entry, &info[i], fields);
        json_object* shapes = nullptr;
        json_object_object_get_ex(entry, "polygons", &shapes);
        for (int k = 0; k < polygons; k++) {
            json_object* shape = json_array_at(shapes, (size_t)k);
            if (json_object_is_type(shape, json_type_object))
                json_to_record(shape, &info[i].polygons[k], kPolygon);
        }
    }
}

// One region-style write: "/6133" (`other_code` for a type but 0),
// "/6135", "/6137", "/6141", "/6143".
struct RegionWrite {
    int code;
    int other_code;
    int event;
    bool regions;
};

HandlerStatus set_vca_region_event(const char* request, const RegionWrite& w)
{
    static vca_region_event payload;
    JsonPtr body = request_record(request, &payload, kRegionPayload);
    int event = w.event;
    if (!body || !request_event(body.get(), w.event, &event))
        return HANDLER_ERROR_TEXT;
    if (w.regions)
        read_region_info(body.get(), payload.region_type, payload.info, kRegionInfo);
    else
        payload.region_type = payload.region_scene = 0, memset(payload.region, 0, sizeof payload.region);
    if (!save_vca_dialog_data(body.get(), event, payload.copy_channels, sizeof payload.copy_channels))
        return HANDLER_ERROR_TEXT;
    const int code = event != w.event && w.other_code ? w.other_code : w.code;
    return vca_send_setting(code, &payload, (int)sizeof payload);
}

// What a region answer prints for each read.
struct RegionReply {
    const JsonField* fields;
    size_t count;
};
#define REGION_REPLY(name, ...)                                                     \
    const JsonField name##Fields[] = {__VA_ARGS__};                                 \
    const RegionReply name = {name##Fields, sizeof name##Fields / sizeof(JsonField)};

#define RF(member, key, type) JSON_FIELD(vca_region_event, member, key, type)
REGION_REPLY(kRegionReply, RF(region, "region", TEXT), RF(enable, "enable", I32), RF(sensitivity, "sensitivity", I32),
             RF(objtype, "objtype", I32), RF(polygon_x, "polygonX", TEXT), RF(polygon_y, "polygonY", TEXT))
REGION_REPLY(kMotionReply, RF(region, "region", TEXT), RF(enable, "enable", I32),
             RF(sensitivity, "sensitivity", I32), RF(ignore_time, "ignore_time", I32), RF(objtype, "objtype", I32),
             RF(polygon_x, "polygonX", TEXT), RF(polygon_y, "polygonY", TEXT))
REGION_REPLY(kTamperReply, RF(enable, "enable", I32), RF(sensitivity, "sensitivity", I32))
REGION_REPLY(kLoiteringReply, RF(region, "region", TEXT), RF(enable, "enable", I32), RF(time, "time", I32),
             RF(size, "size", I32), RF(objtype, "objtype", I32), RF(polygon_x, "polygonX", TEXT),
             RF(polygon_y, "polygonY", TEXT))
REGION_REPLY(kHumanReply, RF(enable, "enable", I32), RF(tracks, "tracks", I32))
#undef RF

HandlerStatus on_get_vca_region(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int type = 0;
    json_get_int(body.get(), "type", &type);
    return vca_get_detection(request, "channel", type == 0 ? REQ_VCA_ENTRANCE_GET : REQ_VCA_EXIT_GET, &kRegionReply);
}

HandlerStatus on_set_vca_region(const char* request)
{
    return set_vca_region_event(request, {REQ_VCA_ENTRANCE_SET, REQ_VCA_EXIT_SET, 0, true});
}

HandlerStatus on_get_vca_motion(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_MOTION_GET, &kMotionReply);
}

HandlerStatus on_set_vca_motion(const char* request)
{
    return set_vca_region_event(request, {REQ_VCA_MOTION_SET, 0, 2, true});
}

HandlerStatus on_get_vca_tamper(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_TAMPER_GET, &kTamperReply);
}

HandlerStatus on_set_vca_tamper(const char* request)
{
    return set_vca_region_event(request, {REQ_VCA_TAMPER_SET, 0, 3, false});
}

HandlerStatus on_get_vca_loitering(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_LOITERING_GET, &kLoiteringReply);
}

HandlerStatus on_set_vca_loitering(const char* request)
{
    return set_vca_region_event(request, {REQ_VCA_LOITERING_SET, 0, 5, true});
}

HandlerStatus on_get_vca_human(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_HUMAN_GET, &kHumanReply);
}

HandlerStatus on_set_vca_human(const char* request)
{
    return set_vca_region_event(request, {REQ_VCA_HUMAN_SET, 0, 6, false});
}

void on_vca_region_cb(IpcAnswer& answer)
{
    const RegionReply* reply = (const RegionReply*)answer.context;
    if (!reply) {
        answer.done = 0;
        return;
    }
    video_print_record<vca_region_event>(answer, reply->fields, reply->count);
}

// ---- Line crossing.

const JsonField kLinePayload[] = {
    JSON_FIELD_CHECKED(vca_line_event, channel, "chnid", I32, true, 0, kLastChannel),
    JSON_FIELD(vca_line_event, enable, "enable", I32),
    JSON_FIELD(vca_line_event, objtype, "objtype", I32),
    JSON_FIELD(vca_line_event, copy_channels, "copyChn", TEXT),
};

HandlerStatus on_get_vca_line(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_LINE_GET);
}

HandlerStatus on_set_vca_line(const char* request)
{
    vca_line_event payload;
    JsonPtr body = request_record(request, &payload, kLinePayload);
    if (!body || !save_vca_dialog_data(body.get(), SMART_EVENT_LINE_CROSSING, payload.copy_channels,
                                       sizeof payload.copy_channels))
        return HANDLER_ERROR_TEXT;
    int width, height;
    vca_request_size(body.get(), &width, &height);
    vca_read_lines(body.get(), width, height, payload.lines,
                   +[](json_object* line, vca_line& slot) { json_get_int(line, "direction", &slot.direction); });
    return vca_send_setting(REQ_VCA_LINE_SET, &payload, (int)sizeof payload);
}

void on_get_vca_line_cb(IpcAnswer& answer)
{
    vca_line_event event;
    if (!answer_record(answer, &event)) {
        answer.done = 0;
        return;
    }
    json_object* out = json_object_new_object();
    json_object_object_add(out, "line", vca_lines_json(event.lines, event.width, event.height));
    json_add_int(out, "enable", event.enable);
    json_add_int(out, "width", event.width);
    json_add_int(out, "height", event.height);
    json_add_int(out, "objtype", event.objtype);
    cgi_writeback_json(REPLY_JSON, out);
}

// ---- People counting.

const JsonField kPeopleFields[] = {
    JSON_FIELD_CHECKED(vca_people_event, channel, "chnid", I32, true, 0, kLastChannel),
    JSON_FIELD(vca_people_event, width, "width", I32),
    JSON_FIELD(vca_people_event, height, "height", I32),
    JSON_FIELD(vca_people_event, osd_enable, "osdEnable", I32),
    JSON_FIELD(vca_people_event, osd_font_size, "osdFontSize", I32),
    JSON_FIELD(vca_people_event, osd_text_pos, "osdTextPos", I32),
    JSON_FIELD(vca_people_event, osd_type, "osdType", I32),
    JSON_FIELD(vca_people_event, sensitivity, "sensitivity", I32),
    JSON_FIELD(vca_people_event, line_num, "lineNum", I32),
    JSON_FIELD(vca_people_event, line_enable, "lineEnable", I32),
    JSON_FIELD(vca_people_event, auto_reset_enable, "autoResetEnable", I32),
    JSON_FIELD(vca_people_event, direction, "direction", I32),
    JSON_FIELD(vca_people_event, show_count_enable, "showCntEnable", I32),
    JSON_FIELD(vca_people_event, start_x, "startX", I32),
    JSON_FIELD(vca_people_event, start_y, "startY", I32),
    JSON_FIELD(vca_people_event, stop_x, "stopX", I32),
    JSON_FIELD(vca_people_event, stop_y, "stopY", I32),
    JSON_FIELD(vca_people_event, auto_reset_weekday, "autoResetWeekday", I32),
    JSON_FIELD(vca_people_event, auto_reset_hour, "autoResetHour", I32),
    JSON_FIELD(vca_people_event, auto_reset_min, "autoResetMin", I32),
    JSON_FIELD(vca_people_event, auto_reset_sec, "autoResetSec", I32),
    JSON_FIELD(vca_people_event, copy_channels, "copyChn", TEXT),
};
// The reply is the table without the channel, the box keys' raw values,
// and the copy set; then "position" in the browser's frame.
const size_t kPeopleReplyFirst = 1, kPeopleReplyCount = WEB_RES_COUNT(kPeopleFields) - 2;

HandlerStatus on_get_vca_people(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_PEOPLE_GET);
}

HandlerStatus on_set_vca_people(const char* request)
{
    vca_people_event payload;
    JsonPtr body = request_record(request, &payload, kPeopleFields);
    if (!body)
        return HANDLER_ERROR_TEXT;
    const VcaBox b = vca_request_box(body.get(), &payload, true);
    payload.start_x = b.v[0], payload.start_y = b.v[1], payload.stop_x = b.v[2], payload.stop_y = b.v[3];
    return vca_send_setting(REQ_VCA_PEOPLE_SET, &payload, (int)sizeof payload);
}

void on_get_vca_people_cb(IpcAnswer& answer)
{
    vca_people_event event;
    if (!answer_record(answer, &event)) {
        answer.done = 0;
        return;
    }
    json_object* out = json_object_new_object();
    json_from_record(out, &event, kPeopleFields + kPeopleReplyFirst, kPeopleReplyCount);
    const VcaBox b = {{event.start_x, event.start_y, event.stop_x, event.stop_y}};
    json_add_text(out, "position", vca_position_text(b, event.width, event.height).c_str());
    cgi_writeback_json(REPLY_JSON, out);
}

// ---- Analytics settings.

const JsonField kSettingsReply[] = {
    JSON_FIELD(vca_settings, mode, "mode", I32),
    JSON_FIELD(vca_settings, installation, "installation", I32),
    JSON_FIELD(vca_settings, analysis, "analysis", I32),
    JSON_FIELD(vca_settings, width, "width", I32),
    JSON_FIELD(vca_settings, height, "height", I32),
    JSON_FIELD(vca_settings, vca_type, "vcaType", I32),
    JSON_FIELD(vca_settings, min_start_x, "minStartX", I16),
    JSON_FIELD(vca_settings, min_start_y, "minStartY", I16),
    JSON_FIELD(vca_settings, min_width, "minWidth", I16),
    JSON_FIELD(vca_settings, min_height, "minHeight", I16),
    JSON_FIELD(vca_settings, max_start_x, "maxStartX", I16),
    JSON_FIELD(vca_settings, max_start_y, "maxStartY", I16),
    JSON_FIELD(vca_settings, max_width, "maxWidth", I16),
    JSON_FIELD(vca_settings, max_height, "maxHeight", I16),
};
const JsonField kSettingsRequest[] = {
    JSON_FIELD_CHECKED(vca_settings, channel, "chnid", I32, true, 0, kLastChannel),
    JSON_FIELD(vca_settings, fps, "fps", I32),
};

HandlerStatus on_get_vca_settings(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_SETTINGS_GET);
}

HandlerStatus on_set_vca_settings(const char* request)
{
    return vca_set_settings<vca_settings>(request, kSettingsRequest, kSettingsReply, REQ_VCA_SETTINGS_SET,
                                          HANDLER_ERROR_JSON);
}

void on_get_vca_settings_cb(IpcAnswer& answer)
{
    vca_print_settings<vca_settings>(answer, kSettingsReply);
}

// ---- Objects left or removed.

const JsonField kLeftRemovePayload[] = {
    JSON_FIELD_CHECKED(vca_leftremove_event, channel, "chnid", I32, true, 0, kLastChannel),
    JSON_FIELD(vca_leftremove_event, left_enable, "left_enable", I32),
    JSON_FIELD(vca_leftremove_event, remove_enable, "remove_enable", I32),
    JSON_FIELD(vca_leftremove_event, min_time, "min_time", I32),
    JSON_FIELD(vca_leftremove_event, sensitivity, "sensitivity", I32),
    JSON_FIELD(vca_leftremove_event, region, "region", TEXT),
    JSON_FIELD(vca_leftremove_event, polygon_x, "polygonX", TEXT),
    JSON_FIELD(vca_leftremove_event, polygon_y, "polygonY", TEXT),
    JSON_FIELD(vca_leftremove_event, copy_channels, "copyChn", TEXT),
    JSON_FIELD(vca_leftremove_event, region_type, "regionType", I32),
    JSON_FIELD(vca_leftremove_event, region_scene, "regionScene", I32),
};
const JsonField kLeftRemoveReply[] = {
    JSON_FIELD(vca_leftremove_event, region, "region", TEXT),
    JSON_FIELD(vca_leftremove_event, left_enable, "left_enable", I32),
    JSON_FIELD(vca_leftremove_event, remove_enable, "remove_enable", I32),
    JSON_FIELD(vca_leftremove_event, min_time, "min_time", I32),
    JSON_FIELD(vca_leftremove_event, sensitivity, "sensitivity", I32),
    JSON_FIELD(vca_leftremove_event, polygon_x, "polygonX", TEXT),
    JSON_FIELD(vca_leftremove_event, polygon_y, "polygonY", TEXT),
};

HandlerStatus on_set_vca_leftremove(const char* request)
{
    static vca_leftremove_event payload;
    JsonPtr body = request_record(request, &payload, kLeftRemovePayload);
    if (!body)
        return HANDLER_ERROR_JSON;
    read_region_info(body.get(), payload.region_type, payload.info, kLeftRemoveInfo);
    if (!save_vca_dialog_data(body.get(), SMART_EVENT_LEFT_REMOVED, payload.copy_channels,
                              sizeof payload.copy_channels))
        return HANDLER_ERROR_TEXT;
    return vca_send_setting(REQ_VCA_LEFTREMOVE_SET, &payload, (int)sizeof payload);
}

HandlerStatus on_get_vca_leftremove(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_LEFTREMOVE_GET);
}

void on_get_vca_leftremove_cb(IpcAnswer& answer)
{
    video_print_record<vca_leftremove_event>(answer, kLeftRemoveReply);
}

// ---- People-count reset and the analytics support query.

const JsonField kPeopleReset[] = {
    JSON_FIELD_CHECKED(vca_people_reset, channel, "channel", I32, true, 0, kLastChannel),
    JSON_FIELD(vca_people_reset, line, "line", I32),
    JSON_FIELD(vca_people_reset, resetdb, "resetdb", I32),
};

HandlerStatus on_vca_clear_people_count(const char* request)
{
    vca_people_reset payload;
    if (!request_record(request, &payload, kPeopleReset))
        return HANDLER_ERROR_TEXT;
    return vca_send_setting(REQ_VCA_PEOPLE_RESET, &payload, (int)sizeof payload);
}

HandlerStatus on_get_vca_support(const char* request)
{
    return vca_get_detection(request, "channel", REQ_VCA_SUPPORT);
}

// An empty answer is the camera's "no analytics": both -1.
void on_get_vca_support_cb(IpcAnswer& answer)
{
    vca_support support = {-1, -1};
    if (answer.length > 0 && !answer_record(answer, &support)) {
        answer.done = 0;  // a short answer is no answer
        return;
    }
    json_object* out = json_object_new_object();
    json_add_int(out, "support", support.support);
    json_add_int(out, "type", support.type);
    cgi_writeback_json(REPLY_JSON, out);
}

// "OK" for a first word of 0, else "FAILED".
}  // namespace

void on_vca_set_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer, 0, -1) == 0 ? "OK" : "FAILED");
}

namespace {

// ---- The action set in the database.

// A channel and an event, each within its range.
bool read_key(json_object* body, const char* channel_key, const char* event_key, int* channel, int* event)
{
    const JsonField checks[] = {JSON_CHECK(channel_key, true, 0, kLastChannel),
                                JSON_CHECK(event_key, true, 0, kLastEvent)};
    if (!body || !json_check(body, checks, 2))
        return false;
    json_get_int(body, channel_key, channel);
    json_get_int(body, event_key, event);
    return true;
}

HandlerStatus on_get_vca_common_para(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0, event = 0;
    if (!read_key(body.get(), "channel", "type", &channel, &event))
        return HANDLER_ERROR_TEXT;
    smart_event record;
    read_smart_event(VXDB_MAIN, &record, channel, event);
    record.id = channel;
    json_object* out = json_object_new_object();
    json_from_record(out, &record, kCommonReply);
    cgi_writeback_json(REPLY_JSON, out);
    return HANDLER_DONE;
}

HandlerStatus on_get_smart_event_schedule(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0, event = 0;
    if (!read_key(body.get(), "chnid", "event", &channel, &event))
        return HANDLER_ERROR_JSON;
    smart_event record;
    read_smart_event(VXDB_MAIN, &record, channel, event);
    record.id = channel;
    record.event = event;
    json_object* action = json_object_new_object();
    event_actions_to_json(action, *smart_event_tables(event), channel, &record, kSmartReply);
    json_object* list = json_object_new_array();
    json_object_array_add(list, action);
    json_object* out = json_object_new_object();
    json_object_object_add(out, "action", list);
    cgi_writeback_json(REPLY_JSON, out);
    return HANDLER_DONE;
}

HandlerStatus on_set_smart_event_schedule(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0, event = 0;
    if (!read_key(body.get(), "chnid", "event", &channel, &event))
        return HANDLER_ERROR_TEXT;
    if (!store_smart_actions(body.get(), channel, event, 0))
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

struct OthersChange {
    json_object* body;
    int channel;
    int event;
    int type;  // 0: "triAlarms", 1: "triChannels"
};

bool change_others(smart_event* record, void* context)
{
    static const JsonField kAlarms[] = {JSON_FIELD(smart_event, tri_alarms, "triAlarms", I32)};
    static const EventActionKey kChannels[] = {
        ACTION_CHANNELS(smart_event, tri_channels_string, tri_channels, "triChannels")};
    OthersChange* c = (OthersChange*)context;
    // The record carries its key even when it was never stored.
    record->id = c->channel;
    record->event = c->event;
    if (c->type == 0)
        return json_to_record(c->body, record, kAlarms) > 0;
    if (c->type == 1)
        return event_actions_fill(c->body, record, c->channel, kChannels, 1, true) > 0;
    return false;
}

HandlerStatus on_set_vca_allrtm_others(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    OthersChange c = {body.get(), 0, 0, 0};
    if (!read_key(body.get(), "channel", "event", &c.channel, &c.event))
        return HANDLER_ERROR_TEXT;
    json_get_int(body.get(), "type", &c.type);
    if (update_smart_event(VXDB_MAIN, c.channel, c.event, change_others, &c) < 0) {
        reply_text("ERROT");
        return HANDLER_DONE;
    }
    video_notify_channels(REQ_SMART_EVENT_CHANGED, 1ULL << c.channel);
    reply_text("OK");
    return HANDLER_DONE;
}

const IpcResponse kSmartResponses[] = {
    {REQ_VCA_ENTRANCE_GET + 5000, (int)sizeof(vca_region_event), 1, on_vca_region_cb},
    {REQ_VCA_EXIT_GET + 5000, (int)sizeof(vca_region_event), 1, on_vca_region_cb},
    {REQ_VCA_MOTION_GET + 5000, (int)sizeof(vca_region_event), 1, on_vca_region_cb},
    {REQ_VCA_TAMPER_GET + 5000, (int)sizeof(vca_region_event), 1, on_vca_region_cb},
    {REQ_VCA_LINE_GET + 5000, (int)sizeof(vca_line_event), 1, on_get_vca_line_cb},
    {REQ_VCA_LOITERING_GET + 5000, (int)sizeof(vca_region_event), 1, on_vca_region_cb},
    {REQ_VCA_HUMAN_GET + 5000, (int)sizeof(vca_region_event), 1, on_vca_region_cb},
    {REQ_VCA_PEOPLE_GET + 5000, (int)sizeof(vca_people_event), 1, on_get_vca_people_cb},
    {REQ_VCA_SETTINGS_GET + 5000, (int)sizeof(vca_settings), 1, on_get_vca_settings_cb},
    {REQ_VCA_LEFTREMOVE_GET + 5000, (int)sizeof(vca_leftremove_event), 1, on_get_vca_leftremove_cb},
    {REQ_VCA_SUPPORT + 5000, (int)sizeof(vca_support), 0, on_get_vca_support_cb},
    {REQ_VCA_ENTRANCE_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_EXIT_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_MOTION_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_TAMPER_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_LINE_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_LOITERING_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_HUMAN_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_PEOPLE_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_SETTINGS_SET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_PEOPLE_RESET + 5000, 4, 1, on_vca_set_cb},
    {REQ_VCA_LEFTREMOVE_SET + 5000, 4, 1, on_vca_set_cb},
};

}  // namespace

const WebModulePart video_smart_part = WEB_MODULE_PART("video", kSmartResources, kSmartResponses);
