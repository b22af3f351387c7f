// People-counting groups, POS terminals and face detection: their settings,
// the action set each owns, the people-count report backup, and the face
// settings pushed to a camera.
#include "modules/ipc/ipc.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "modules/ipc/ipc_event_records.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define EVENT_RESOURCES(X) \
    X("/2066", on_cgi_get_peoplecnt_settings, "people-counting groups, with their actions on request") \
    X("/2067", on_cgi_set_peoplecnt_settings, "change people-counting groups") \
    X("/2069", on_cgi_get_peoplecnt_action, "action set of a people-counting group") \
    X("/2070", on_cgi_set_peoplecnt_action, "set the action set of a group") \
    X("/2071", on_cgi_set_peoplecnt_db_reset, "reset the count database of a group") \
    X("/2072", on_cgi_set_peoplecnt_liveview_reset, "reset the live-view count of a group") \
    X("/2073", on_cgi_get_pos_info, "settings and actions of a POS terminal") \
    X("/2074", on_cgi_set_pos_info, "set a POS terminal and its actions") \
    X("/2075", on_cgi_get_report_auto_backup, "people-count report backup entries") \
    X("/2076", on_cgi_set_report_auto_backup, "set the report backup entries") \
    X("/2077", on_cgi_set_face_config, "face detection of a camera, with its actions")

EVENT_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kEventResources[] = {EVENT_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastGroup = PEOPLECNT_GROUPS - 1;

// ---- people-counting groups ------------------------------------------------

const JsonField kGroupFields[] = {
    JSON_FIELD(peoplecnt_settings, groupid, "groupid", I32),
    JSON_FIELD(peoplecnt_settings, enable, "enable", I32),
    JSON_FIELD(peoplecnt_settings, stays, "stays", I32),
    JSON_FIELD(peoplecnt_settings, liveview_auto_reset, "liveview_auto_reset", I32),
    JSON_FIELD(peoplecnt_settings, auto_day, "auto_day", I32),
    JSON_FIELD(peoplecnt_settings, liveview_font_size, "liveview_font_size", I32),
    JSON_FIELD(peoplecnt_settings, name, "name", TEXT),
    JSON_FIELD(peoplecnt_settings, auto_day_time, "auto_day_time", TEXT),
    JSON_FIELD(peoplecnt_settings, tri_channels, "tri_channels", TEXT),
    JSON_FIELD(peoplecnt_settings, liveview_green_tips, "liveview_green_tips", TEXT),
    JSON_FIELD(peoplecnt_settings, liveview_red_tips, "liveview_red_tips", TEXT),
};

const JsonField kGroupId[] = {JSON_WORD_CHECKED("groupid", kLastGroup)};

// White-LED parameters of a group live in the people-counting table, kept
// apart from the per-channel ones; they are read and stored by hand.
const EventActionTables kGroupTables = {
    PEOPLECNT_EFFECTIVE_SCHEDULE, PEOPLECNT_AUDIBLE_SCHEDULE, PEOPLECNT_EMAIL_SCHEDULE, PEOPLECNT_PTZ_SCHEDULE,
    PEOPLECNT_WLED_SCHEDULE,      nullptr,                    PEOPLECNT_HTTP_SCHEDULE,  PEOPLECNT_HTTP_PARAMS,
    PTZ_EVENT_PEOPLE_COUNT,
};

// The reply of "/2069" up to "whiteInfo", then after it.
const EventActionKey kGroupReplyHead[] = {
    ACTION_FIELD(peoplecnt_event, id, "chnid"),
    ACTION_FIELD(peoplecnt_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(peoplecnt_event, interval, "interval"),
    ACTION_FIELD(peoplecnt_event, email_interval, "email_interval"),
    ACTION_FIELD(peoplecnt_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(peoplecnt_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(peoplecnt_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(peoplecnt_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(peoplecnt_event, white_interval, "white_interval"),
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_ALARM_OUTPUTS(peoplecnt_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
};
const EventActionKey kGroupReplyTail[] = {
    ACTION_FIELD(peoplecnt_event, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

// "/2070"; every key is optional.
const EventActionKey kGroupActions[] = {
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_BLOCK(PTZ, "ptz"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_ALARM_OUTPUTS(peoplecnt_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(peoplecnt_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(peoplecnt_event, interval, "interval"),
    ACTION_FIELD(peoplecnt_event, audio_id, "audioId"),
    ACTION_FIELD(peoplecnt_event, email_interval, "email_interval"),
    ACTION_FIELD(peoplecnt_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(peoplecnt_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(peoplecnt_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(peoplecnt_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(peoplecnt_event, white_interval, "white_interval"),
    ACTION_FIELD(peoplecnt_event, http_notification_interval, "http_notification_interval"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

json_object* group_actions_json(int group)
{
    peoplecnt_event record;
    read_peoplecnt_event(VXDB_MAIN, &record, group);
    record.id = group;
    json_object* out = json_object_new_object();
    event_actions_to_json(out, kGroupTables, group, &record, kGroupReplyHead);
    json_object_object_add(out, "whiteInfo", get_pcnt_white_params_json_object(group));
    event_actions_to_json(out, kGroupTables, group, &record, kGroupReplyTail);
    return out;
}

HandlerStatus on_cgi_get_peoplecnt_settings(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body && request && request[0])
        return HANDLER_ERROR_JSON;
    // A missing "action", or no request text at all, counts as 0.
    const bool with_actions = body && json_int_or(body.get(), "action") != 0;
    peoplecnt_settings groups[PEOPLECNT_GROUPS];
    if (read_peoplecnt_settings(VXDB_MAIN, groups) != 0)
        return HANDLER_ERROR_JSON;
    json_object* list = json_object_new_array();
    for (int g = 0; g < PEOPLECNT_GROUPS; g++) {
        groups[g].groupid = g;
        json_object* item = json_object_new_object();
        json_from_record(item, &groups[g], kGroupFields);
        if (with_actions)
            json_object_object_add(item, "dialog", group_actions_json(g));
        json_object_array_add(list, item);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "groups", list);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// Every element is checked before anything is stored: a groupid outside
// 0..3 or more elements than there are groups once let a request write past
// the four records.
bool check_peoplecnt_groups(json_object* body, json_object** groups, uint32_t* mask)
{
    json_object* list = nullptr;
    if (!json_object_object_get_ex(body, "groups", &list) || !json_object_is_type(list, json_type_array))
        return false;
    const size_t n = json_array_size(list);
    if (n > PEOPLECNT_GROUPS)
        return false;
    *mask = 0;
    for (size_t i = 0; i < n; i++) {
        json_object* item = json_array_at(list, i);
        if (!json_object_is_type(item, json_type_object) || !json_check(item, kGroupId))
            return false;
        *mask |= 1u << json_int_or(item, "groupid");
    }
    *groups = list;
    return true;
}

void apply_group(peoplecnt_settings* group, int groupid, void* context)
{
    json_object* list = (json_object*)context;
    for (size_t i = 0; i < json_array_size(list); i++) {
        json_object* item = json_array_at(list, i);
        if (json_int_or(item, "groupid") == groupid)
            json_to_record(item, group, kGroupFields);
    }
    group->groupid = groupid;
}

HandlerStatus on_cgi_set_peoplecnt_settings(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* groups = nullptr;
    uint32_t mask = 0;
    if (!body || !check_peoplecnt_groups(body.get(), &groups, &mask))
        return HANDLER_ERROR_JSON;
    if (update_peoplecnt_settings(VXDB_MAIN, mask, apply_group, groups) != 0)
        return HANDLER_ERROR_JSON;
    const int32_t changed = (int32_t)mask;
    return ipc_ask(REQ_PEOPLECNT_CHANGED, &changed, (int)sizeof changed, HANDLER_ERROR_JSON);
}

// The group of a request, or -1 when "groupid" is missing or not 0..3.
int request_group(const char* request, JsonPtr* body)
{
    int32_t group = -1;
    *body = request_record(request, &group, kGroupId);
    return *body ? group : -1;
}

HandlerStatus on_cgi_get_peoplecnt_action(const char* request)
{
    JsonPtr body;
    const int group = request_group(request, &body);
    if (group < 0)
        return HANDLER_ERROR_JSON;
    cgi_writeback_json(REPLY_JSON, group_actions_json(group));
    return HANDLER_DONE;
}

struct ActionFill {
    json_object* part;
    const EventActionKey* keys;
    size_t count;
    int owner;
};

bool fill_actions(void* record, void* context)
{
    ActionFill* c = (ActionFill*)context;
    ((ipc_event_action*)record)->id = c->owner;
    event_actions_fill(c->part, record, c->owner, c->keys, c->count, true);
    return true;
}

HandlerStatus on_cgi_set_peoplecnt_action(const char* request)
{
    JsonPtr body;
    const int group = request_group(request, &body);
    if (group < 0)
        return HANDLER_ERROR_JSON;
    event_actions_store(body.get(), kGroupTables, group, kGroupActions, WEB_RES_COUNT(kGroupActions), true);
    WhiteLedEntry white[WHITE_LED_ENTRIES];
    if (get_pcnt_white_params_by_json(group, white, body.get(), "whiteInfo") == 0 &&
        write_peoplecnt_wled_params_all(VXDB_MAIN, group, white) != 0)
        return HANDLER_ERROR_JSON;
    ActionFill fill = {body.get(), kGroupActions, WEB_RES_COUNT(kGroupActions), group};
    if (update_peoplecnt_event(VXDB_MAIN, group, fill_actions, &fill) < 0)
        return HANDLER_ERROR_JSON;
    peoplecnt_action_change change = {group, 0};
    return ipc_ask(REQ_PEOPLECNT_ACTION_CHANGED, &change, (int)sizeof change, HANDLER_ERROR_JSON);
}

HandlerStatus ask_group_reset(const char* request, int code)
{
    JsonPtr body;
    const int32_t group = request_group(request, &body);
    if (group < 0)
        return HANDLER_ERROR_JSON;
    return ipc_ask(code, &group, (int)sizeof group, HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_set_peoplecnt_db_reset(const char* request)
{
    return ask_group_reset(request, REQ_PEOPLECNT_DB_RESET);
}

HandlerStatus on_cgi_set_peoplecnt_liveview_reset(const char* request)
{
    return ask_group_reset(request, REQ_PEOPLECNT_LIVEVIEW_RESET);
}

// ---- POS terminals and face detection: the same action keys -----------------

const EventActionTables kPosTables = {
    POS_SCHEDULE,          POS_AUDIBLE_SCHEDULE, POS_EMAIL_SCHEDULE, POS_PTZ_SCHEDULE, POS_WHITELED_SCHEDULE,
    POS_WHITELED_PARAMS,   POS_HTTP_SCHEDULE,    POS_HTTP_PARAMS,    PTZ_EVENT_POS,
};

const EventActionTables kFaceTables = {
    FACE_EFFECTIVE_SCHEDULE, FACE_AUDIBLE_SCHEDULE, FACE_MAIL_SCHEDULE, FACE_PTZ_SCHEDULE, FACE_WHITELED_SCHEDULE,
    FACE_WHITELED_PARAMS,    FACE_HTTP_SCHEDULE,    FACE_HTTP_PARAMS,   PTZ_EVENT_FACE,
};

// The "action" object of "/2073", "/2074" and "/2077", in the reply's order.
const EventActionKey kEventActions[] = {
    ACTION_BLOCK(EFFECTIVE, "effective"),
    ACTION_BLOCK(AUDIBLE, "audible"),
    ACTION_FIELD(ipc_event_action, interval, "interval"),
    ACTION_FIELD(ipc_event_action, audio_id, "audioId"),
    ACTION_BLOCK(EMAIL, "email"),
    ACTION_FIELD(ipc_event_action, email_interval, "email_interval"),
    ACTION_FIELD(ipc_event_action, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(ipc_event_action, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(ipc_event_action, ptz_interval, "ptz_interval"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_FIELD(ipc_event_action, white_interval, "white_interval"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_FIELD(ipc_event_action, http_notification_interval, "http_notification_interval"),
    ACTION_FIELD(ipc_event_action, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(ipc_event_action, tri_alarms, "triAlarms"),
    ACTION_CHANNELS(ipc_event_action, tri_channels_string, tri_channels, "triChannels"),
    ACTION_ALARM_OUTPUTS(ipc_event_action, tri_chnout1_alarms, "triChnAlarms"),
};

const JsonField kPosFields[] = {
    JSON_FIELD(pos_setting, id, "id", I32),
    JSON_FIELD(pos_setting, enable, "enable", I32),
    JSON_FIELD(pos_setting, name, "name", TEXT),
    JSON_FIELD(pos_setting, protocol, "protocol", I32),
    JSON_FIELD(pos_setting, connection_mode, "connectionMode", I32),
    JSON_FIELD(pos_setting, ip, "ip", TEXT),
    JSON_FIELD(pos_setting, port, "port", I32),
    JSON_FIELD(pos_setting, liveview_display, "liveviewDisplay", I32),
    JSON_FIELD(pos_setting, display_channel, "displayChannel", I32),
    JSON_FIELD(pos_setting, start_x, "startX", I32),
    JSON_FIELD(pos_setting, start_y, "startY", I32),
    JSON_FIELD(pos_setting, area_width, "areaWidth", I32),
    JSON_FIELD(pos_setting, area_height, "areaHeight", I32),
    JSON_FIELD(pos_setting, character_encoding, "characterEncodeing", I32),
    JSON_FIELD(pos_setting, font_size, "fontSize", I32),
    JSON_FIELD(pos_setting, font_color, "fontColor", I32),
    JSON_FIELD(pos_setting, overlay_mode, "overlayMode", I32),
    JSON_FIELD(pos_setting, display_time, "displayTime", I32),
    JSON_FIELD(pos_setting, timeout, "timeout", I32),
    JSON_FIELD(pos_setting, privacy1, "privacy1", TEXT),
    JSON_FIELD(pos_setting, privacy2, "privacy2", TEXT),
    JSON_FIELD(pos_setting, privacy3, "privacy3", TEXT),
};

const JsonField kPosId[] = {JSON_WORD_CHECKED("id", POS_TERMINALS - 1)};

HandlerStatus on_cgi_get_pos_info(const char* request)
{
    int32_t id = 0;
    if (!request_record(request, &id, kPosId))
        return HANDLER_ERROR_JSON;
    pos_setting setting;
    pos_event event;
    read_pos_setting(VXDB_MAIN, &setting, id);
    read_pos_event(VXDB_MAIN, &event, id);
    setting.id = id;
    json_object* reply = json_object_new_object();
    json_from_record(reply, &setting, kPosFields);
    json_object* action = json_object_new_object();
    event_actions_to_json(action, kPosTables, id, &event, kEventActions);
    json_object_object_add(reply, "action", action);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

struct PosChange {
    json_object* body;
    int id;
};

bool apply_pos(void* record, void* context)
{
    PosChange* c = (PosChange*)context;
    pos_setting* setting = (pos_setting*)record;
    json_to_record(c->body, setting, kPosFields);
    setting->id = c->id;
    return true;
}

// Stores the action object of an event source: its tables, then its record.
bool store_event_actions(json_object* action, const EventActionTables& tables, int owner,
                         int (*update)(const char*, int, bool (*)(void*, void*), void*))
{
    event_actions_store(action, tables, owner, kEventActions, WEB_RES_COUNT(kEventActions), true);
    ActionFill fill = {action, kEventActions, WEB_RES_COUNT(kEventActions), owner};
    return update(VXDB_MAIN, owner, fill_actions, &fill) >= 0;
}

json_object* action_object(json_object* body)
{
    json_object* action = nullptr;
    if (!json_object_object_get_ex(body, "action", &action) || !json_object_is_type(action, json_type_object))
        return nullptr;
    return action;
}

HandlerStatus on_cgi_set_pos_info(const char* request)
{
    int32_t id = 0;
    JsonPtr body = request_record(request, &id, kPosId);
    if (!body)
        return HANDLER_ERROR_JSON;
    PosChange change = {body.get(), id};
    if (update_pos_setting(VXDB_MAIN, id, apply_pos, &change) < 0)
        return HANDLER_ERROR_JSON;
    json_object* action = action_object(body.get());
    if (action && !store_event_actions(action, kPosTables, id, update_pos_event))
        return HANDLER_ERROR_JSON;
    return ipc_ask(REQ_POS_CHANGED, &id, (int)sizeof id, HANDLER_ERROR_JSON);
}

// ---- report backup -----------------------------------------------------------

const JsonField kReportFields[] = {
    JSON_FIELD(peoplecnt_auto_backup, report_type, "reportType", I32),
    JSON_FIELD(peoplecnt_auto_backup, enable, "enable", I32),
    JSON_FIELD(peoplecnt_auto_backup, tri_channels, "triChannels", TEXT),
    JSON_FIELD(peoplecnt_auto_backup, tri_groups, "triGroups", TEXT),
    JSON_FIELD(peoplecnt_auto_backup, stay_length_type, "stayLengthType", I32),
    JSON_FIELD(peoplecnt_auto_backup, stay_length_value, "stayLengthValue", I32),
    JSON_FIELD(peoplecnt_auto_backup, backup_day, "backupDay", I32),
    JSON_FIELD(peoplecnt_auto_backup, backup_time, "backupTime", TEXT),
    JSON_FIELD(peoplecnt_auto_backup, file_format, "fileFormat", I32),
    JSON_FIELD(peoplecnt_auto_backup, time_range, "timeRange", I32),
    JSON_FIELD(peoplecnt_auto_backup, backup_to, "backupTo", I32),
    JSON_FIELD(peoplecnt_auto_backup, line_mask, "lineMask", I32),
};

HandlerStatus on_cgi_get_report_auto_backup(const char*)
{
    peoplecnt_auto_backup entries[REPORT_BACKUP_ENTRIES];
    if (read_peoplecnt_auto_backup(VXDB_MAIN, entries) != 0)
        return HANDLER_ERROR_JSON;
    json_object* list = json_object_new_array();
    for (const peoplecnt_auto_backup& e : entries) {
        json_object* item = json_object_new_object();
        json_from_record(item, &e, kReportFields);
        json_object_array_add(list, item);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "report", list);
    json_add_int(reply, "email", get_param_int(VXDB_MAIN, REPORT_EMAIL_PARAM, 0));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

void apply_report(peoplecnt_auto_backup* entry, int index, void* context)
{
    json_to_record(json_array_at((json_object*)context, (size_t)index), entry, kReportFields);
    entry->id = index;
}

HandlerStatus on_cgi_set_report_auto_backup(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* report = nullptr;
    if (!body || !json_object_object_get_ex(body.get(), "report", &report) ||
        !json_object_is_type(report, json_type_array))
        return HANDLER_ERROR_JSON;
    // More entries than the four records once overran the table.
    const size_t n = json_array_size(report);
    if (n > REPORT_BACKUP_ENTRIES)
        return HANDLER_ERROR_JSON;
    for (size_t i = 0; i < n; i++)
        if (!json_object_is_type(json_array_at(report, i), json_type_object))
            return HANDLER_ERROR_JSON;
    if (update_peoplecnt_auto_backup(VXDB_MAIN, (1u << n) - 1, apply_report, report) != 0)
        return HANDLER_ERROR_JSON;
    int email = 0;
    if (json_get_int(body.get(), "email", &email))
        set_param_int(VXDB_MAIN, REPORT_EMAIL_PARAM, email);
    return ipc_ask(REQ_REPORT_BACKUP_CHANGED, nullptr, 0, HANDLER_ERROR_JSON);
}

// ---- face detection ------------------------------------------------------------

const JsonField kFaceFields[] = {
    JSON_FIELD_CHECKED(face_config, channel, "chnId", I32, true, 0, FACE_CHANNELS - 1),
    JSON_FIELD(face_config, enable, "enable", I32),
    JSON_FIELD(face_config, width, "width", I32),
    JSON_FIELD(face_config, height, "height", I32),
    JSON_FIELD(face_config, min_pixel, "minPixel", I32),
    JSON_FIELD(face_config, capture_mode, "captureMode", I32),
    JSON_FIELD(face_config, snapshot_type, "snapshotType", I32),
    JSON_FIELD(face_config, snapshot_interval, "snapshotInterval", I32),
    JSON_FIELD(face_config, snapshot_background, "snapshotBackground", I32),
    JSON_FIELD(face_config, pose_yaw, "poseYaw", I32),
    JSON_FIELD(face_config, pose_roll, "poseRoll", I32),
    JSON_FIELD(face_config, pose_pitch, "posePitch", I32),
    JSON_FIELD(face_config, blur_limit, "blurLimit", I32),
    JSON_FIELD(face_config, upload_enable, "uploadEnable", I32),
    JSON_FIELD(face_config, upload_file_type, "uploadFileType", I32),
    JSON_FIELD(face_config, nas_enable, "nasEnable", I32),
    JSON_FIELD(face_config, nas_file_type, "nasFileType", I32),
    JSON_FIELD(face_config, email_enable, "emailEnable", I32),
    JSON_FIELD(face_config, email_file_type, "emailFileType", I32),
    JSON_FIELD(face_config, http_enable, "httpEnable", I32),
    JSON_FIELD(face_config, http_notify_interval, "httpNotifyInterval", I32),
    JSON_FIELD(face_config, http_url, "httpUrl", TEXT),
    JSON_FIELD(face_config, http_user, "httpUser", TEXT),
    JSON_FIELD(face_config, http_password, "httpPassword", TEXT),
    JSON_FIELD(face_config, record_seconds, "recordSeconds", I32),
    JSON_FIELD(face_config, prerecord_seconds, "prerecordSeconds", I32),
    JSON_FIELD(face_config, post_enable, "postEnable", I32),
    JSON_FIELD(face_config, post_type, "postType", I32),
    JSON_FIELD(face_config, attribute_enable, "attributeEnable", I32),
    JSON_FIELD(face_config, attribute_type, "attributeType", I32),
    JSON_FIELD(face_config, mosaic_enable, "mosaicEnable", I32),
    JSON_FIELD(face_config, mosaic_mode_status, "mosaicModeStatus", I32),
    JSON_FIELD(face_config, mutually_exclusive, "mutuallyExclusive", I32),
    JSON_FIELD(face_config, capture_quality, "captureQuality", I32),
    JSON_FIELD(face_config, snapshot, "snapshot", I32),
};

// The i-th text of a key that holds either one text or a list of them.
const char* text_at(json_object* body, const char* key, size_t i)
{
    json_object* value = nullptr;
    if (!json_object_object_get_ex(body, key, &value))
        return nullptr;
    if (json_object_is_type(value, json_type_string))
        return i == 0 ? json_object_get_string(value) : nullptr;
    json_object* item = json_array_at(value, i);
    return json_object_is_type(item, json_type_string) ? json_object_get_string(item) : nullptr;
}

size_t list_size(json_object* body, const char* key)
{
    json_object* value = nullptr;
    if (!json_object_object_get_ex(body, key, &value))
        return 0;
    if (json_object_is_type(value, json_type_string))
        return 1;
    return json_array_size(value);
}

// Regions, capture modes and shield areas are cut to the payload's slots:
// the camera reads no more than it has room for.
void fill_face_lists(json_object* body, face_config* face)
{
    size_t regions = list_size(body, "detection_polygonX");
    if (regions > FACE_REGIONS)
        regions = FACE_REGIONS;
    for (size_t i = 0; i < regions; i++) {
        wire_text(face->regions[i].x, text_at(body, "detection_polygonX", i));
        wire_text(face->regions[i].y, text_at(body, "detection_polygonY", i));
    }
    face->region_count = (int32_t)regions;

    json_object* modes = nullptr;
    json_object_object_get_ex(body, "captureModeArray", &modes);
    size_t n = json_array_size(modes);
    face->capture_mode_count = 0;
    for (size_t i = 0; i < n && face->capture_mode_count < FACE_CAPTURE_MODES; i++) {
        int64_t mode = 0;
        if (json_as_int64(json_array_at(modes, i), &mode) && mode >= INT32_MIN && mode <= INT32_MAX)
            face->capture_modes[face->capture_mode_count++] = (int32_t)mode;
    }

    json_object* shields = nullptr;
    json_object_object_get_ex(body, "shield", &shields);
    n = json_array_size(shields);
    face->shield_count = 0;
    for (size_t i = 0; i < n && face->shield_count < FACE_SHIELDS; i++) {
        json_object* area = json_array_at(shields, i);
        if (!json_object_is_type(area, json_type_object))
            continue;
        face_polygon& p = face->shields[face->shield_count++];
        const char* text = nullptr;
        if (json_get_text(area, "polygonX", &text))
            wire_text(p.x, text);
        if (json_get_text(area, "polygonY", &text))
            wire_text(p.y, text);
    }
}

HandlerStatus on_cgi_set_face_config(const char* request)
{
    face_config face;
    JsonPtr body = request_record(request, &face, kFaceFields);
    if (!body)
        return HANDLER_ERROR_JSON;
    fill_face_lists(body.get(), &face);
    // The actions are stored and announced before the camera is asked, so
    // that the core service arms them with the settings they belong to.
    if (json_object* action = action_object(body.get())) {
        if (!store_event_actions(action, kFaceTables, face.channel, update_face_event))
            return HANDLER_ERROR_JSON;
        ipc_tell(REQ_FACE_ACTION_CHANGED, &face.channel, (int)sizeof face.channel);
    }
    return ipc_ask(REQ_FACE_CONFIG_SET, &face, (int)sizeof face, HANDLER_ERROR_JSON);
}

// Response code, record size, fewest whole records, printer.
const IpcResponse kEventResponses[] = {
    {REQ_PEOPLECNT_CHANGED + 5000, 4, 1, reply_res_cb},
    {REQ_PEOPLECNT_DB_RESET + 5000, 4, 1, reply_res_cb},
    {REQ_PEOPLECNT_LIVEVIEW_RESET + 5000, 4, 1, reply_res_cb},
    {REQ_PEOPLECNT_ACTION_CHANGED + 5000, 4, 1, reply_res_cb},
    {REQ_POS_CHANGED + 5000, 4, 1, reply_res_cb},
    {REQ_REPORT_BACKUP_CHANGED + 5000, 4, 1, reply_res_cb},
    {REQ_FACE_CONFIG_SET + 5000, 4, 1, on_cgi_common_json_cb},
};

}  // namespace

const WebModulePart ipc_events_part = WEB_MODULE_PART("ipc", kEventResources, kEventResponses);
