// Licence-plate recognition: the actions of each list mode, the plate lists
// of anpr.db, and the cameras' recognition settings and plate formats asked
// and set through the core service.
#include "modules/video/video.h"

#include <cstdlib>
#include <cstring>

#include "core/channels.h"
#include "core/encodings.h"
#include "core/event_actions.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/urlcode.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define ANPR_RESOURCES(X) \
    X("/6179", on_get_anpr_mode_params, "actions of an ANPR list mode") \
    X("/6180", on_set_anpr_mode_params, "store the actions of an ANPR list mode") \
    X("/6181", on_get_anpr_settings, "a camera's recognition settings") \
    X("/6182", on_set_anpr_settings, "set a camera's recognition settings and plate formats") \
    X("/6183", on_set_anpr_del_lpr_plate, "delete plates from the list") \
    X("/6184", on_set_anpr_add_lpr_plate, "add plates to the list") \
    X("/6185", on_set_anpr_update_lpr_plate, "change plates of the list") \
    X("/6186", on_get_anpr_support_anpr, "whether a camera recognises plates") \
    X("/6189", on_get_ipc_lpr_state, "a camera's recognition state") \
    X("/6190", on_get_ipc_anpr_wildcards, "a camera's plate formats") \
    X("/6191", on_set_ipc_anpr_wildcards, "set a camera's plate formats")

ANPR_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kAnprResources[] = {ANPR_RESOURCES(WEB_RESOURCE_ROW)};

const int kLastChannel = CHANNEL_COUNT - 1;

// The white-LED and HTTP tables of a mode; the four schedules are kept per
// channel and mode (anpr_db.cpp), so they are not among these.
EventActionTables mode_tables(int mode)
{
    if (mode == ANPR_MODE_BLACK)
        return {nullptr, nullptr, nullptr, nullptr, "lpr_black_whiteled_esche", "lpr_black_white_led_params",
                "lpr_black_mode_http_notification_sche", "lpr_black_mode_http_notification_params",
                PTZ_EVENT_ANPR_BASE + mode};
    if (mode == ANPR_MODE_WHITE)
        return {nullptr, nullptr, nullptr, nullptr, "lpr_white_whiteled_esche", "lpr_white_white_led_params",
                "lpr_white_mode_http_notification_sche", "lpr_white_mode_http_notification_params",
                PTZ_EVENT_ANPR_BASE + mode};
    return {nullptr, nullptr, nullptr, nullptr, "lpr_vistor_whiteled_esche", "lpr_vistor_white_led_params",
            "lpr_visitor_mode_http_notification_sche", "lpr_visitor_mode_http_notification_params",
            PTZ_EVENT_ANPR_BASE + mode};
}

struct AnprSchedule {
    const char* key;
    const char* table;
};
const AnprSchedule kAnprSchedules[] = {
    {"effective", ANPR_EFFECTIVE_SCHEDULE},
    {"audible", ANPR_AUDIBLE_SCHEDULE},
    {"email", ANPR_EMAIL_SCHEDULE},
    {"ptz", ANPR_PTZ_SCHEDULE},
};

// The reply of "/6179" in the order the page reads it: the record's fields,
// the four schedules of the channel and mode, then the mode's tables.
const EventActionKey kAnprReplyFields[] = {
    ACTION_FIELD(anpr_event, id, "chnid"),
    ACTION_FIELD(anpr_event, mode, "mode"),
    ACTION_FIELD(anpr_event, enable, "enable"),
    ACTION_FIELD(anpr_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(anpr_event, interval, "interval"),
    ACTION_FIELD(anpr_event, email_interval, "email_interval"),
    ACTION_FIELD(anpr_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(anpr_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(anpr_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(anpr_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(anpr_event, white_interval, "white_interval"),
    ACTION_FIELD(anpr_event, http_notification_interval, "http_notification_interval"),
    ACTION_TEXT(anpr_event, tri_channels_string, "triChannels"),
};
const EventActionKey kAnprReplyTables[] = {
    ACTION_ALARM_OUTPUTS(anpr_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_FIELD(anpr_event, audio_id, "audioId"),
    ACTION_BLOCK(AUDIO_MASK, "audioIdMask"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
};

// The action part of a "dialog": every key optional.
const EventActionKey kAnprActions[] = {
    ACTION_BLOCK(WHITE, "white"),
    ACTION_BLOCK(WHITE_PARAMS, "whiteInfo"),
    ACTION_BLOCK(HTTP, "httpSche"),
    ACTION_BLOCK(HTTP_PARAMS, "httpParams"),
    ACTION_BLOCK(PTZ_PARAMS, "ptzParams"),
    ACTION_ALARM_OUTPUTS(anpr_event, tri_chnout1_alarms, "triChnAlarms"),
    ACTION_FIELD(anpr_event, tri_alarms, "triAlarms"),
    ACTION_FIELD(anpr_event, interval, "interval"),
    ACTION_FIELD(anpr_event, audio_id, "audioId"),
    ACTION_FIELD(anpr_event, email_interval, "email_interval"),
    ACTION_FIELD(anpr_event, email_pic_enable, "email_pic_enable"),
    ACTION_TEXT(anpr_event, tri_channels_pic, "tri_channels_pic"),
    ACTION_FIELD(anpr_event, ptz_interval, "ptz_interval"),
    ACTION_FIELD(anpr_event, alarmout_interval, "alarmout_interval"),
    ACTION_FIELD(anpr_event, white_interval, "white_interval"),
    ACTION_FIELD(anpr_event, http_notification_interval, "http_notification_interval"),
    ACTION_CHANNELS(anpr_event, tri_channels_string, tri_channels, "triChannels"),
};

const JsonField kModeChecks[] = {
    JSON_CHECK("chnid", true, 0, kLastChannel),
    JSON_CHECK("mode", true, ANPR_MODE_GENERAL, ANPR_MODE_VISITOR),
};
const JsonField kChannelCheck[] = {JSON_CHECK("chnid", true, 0, kLastChannel)};

// Settings keys of "/6181" and "/6182", in the order the page reads them.
const JsonField kSettingsFields[] = {
    JSON_FIELD(anpr_settings, channel, "chnid", I32),
    JSON_FIELD(anpr_settings, enable, "enable", I32),
    JSON_FIELD(anpr_settings, resolution_width, "resolution_width", I32),
    JSON_FIELD(anpr_settings, resolution_height, "resolution_height", I32),
    JSON_FIELD(anpr_settings, area_x, "area_x", I32),
    JSON_FIELD(anpr_settings, area_y, "area_y", I32),
    JSON_FIELD(anpr_settings, area_width, "area_width", I32),
    JSON_FIELD(anpr_settings, area_height, "area_height", I32),
    JSON_FIELD(anpr_settings, day_night_mode_enable, "day_night_mode_enable", I32),
    JSON_FIELD(anpr_settings, scene, "scene", I32),
    JSON_FIELD(anpr_settings, direction_enable, "direction_enable", I32),
    JSON_FIELD(anpr_settings, region_enable, "region_enable", I32),
    JSON_FIELD(anpr_settings, roiid_enable, "roiid_enable", I32),
    JSON_FIELD(anpr_settings, process_mode, "process_mode", I32),
    JSON_FIELD(anpr_settings, repeat_check_time_value, "repeat_check_time_value", I32),
    JSON_FIELD(anpr_settings, repeat_check_time_unit, "repeat_check_time_unit", I32),
    JSON_FIELD(anpr_settings, post_enable, "post_enable", I32),
    JSON_FIELD(anpr_settings, post_type, "post_type", I32),
    JSON_FIELD(anpr_settings, post_tcp_port, "post_tcp_port", I32),
    JSON_FIELD(anpr_settings, post_http_user, "post_http_user", TEXT),
    JSON_FIELD(anpr_settings, post_http_password, "post_http_password", TEXT),
    JSON_FIELD(anpr_settings, post_http_url, "post_http_url", TEXT),
    JSON_FIELD(anpr_settings, confidence, "confidence", I32),
    JSON_FIELD(anpr_settings, night_mode_enable, "night_mode_enable", I32),
    JSON_FIELD(anpr_settings, night_mode_level, "night_mode_level", I32),
    JSON_FIELD(anpr_settings, night_mode_starthour, "night_mode_starthour", I32),
    JSON_FIELD(anpr_settings, night_mode_startminute, "night_mode_startminute", I32),
    JSON_FIELD(anpr_settings, night_mode_stophour, "night_mode_stophour", I32),
    JSON_FIELD(anpr_settings, night_mode_stopminute, "night_mode_stopminute", I32),
    JSON_FIELD(anpr_settings, night_mode_effective_mode, "night_mode_effective_mode", I32),
    JSON_FIELD(anpr_settings, cur_area, "cur_area", I32),
};
// Shown only: the request never sets it.
const JsonField kSettingsState[] = {JSON_FIELD(anpr_settings, in_night_mode, "in_night_mode", I32)};

const JsonField kAreaFields[] = {
    JSON_FIELD(anpr_area, name, "name", TEXT),
    JSON_FIELD(anpr_area, start_x, "startX", I32),
    JSON_FIELD(anpr_area, start_y, "startY", I32),
    JSON_FIELD(anpr_area, end_x, "endX", I32),
    JSON_FIELD(anpr_area, end_y, "endY", I32),
    JSON_FIELD(anpr_area, preset, "preset", I32),
};

const JsonField kStateReply[] = {
    JSON_FIELD(ipc_lpr_state, channel, "chnid", I32),
    JSON_FIELD(ipc_lpr_state, state, "state", I32),
    JSON_FIELD(ipc_lpr_state, zoom_number, "zoomNumber", I32),
};
const JsonField kSupportReply[] = {
    JSON_FIELD(anpr_support, channel, "chnid", I32),
    JSON_FIELD(anpr_support, vca_support, "vca_support", I32),
    JSON_FIELD(anpr_support, vca_version, "vca_version", I32),
};

struct AnprActions {
    json_object* dialog;
    json_object* body;
    int channel;
    int mode;
    int found;
};

bool fill_anpr_actions(anpr_event* record, void* context)
{
    AnprActions* c = (AnprActions*)context;
    record->id = c->channel;
    record->mode = c->mode;
    c->found += event_actions_fill(c->dialog, record, c->channel, kAnprActions, WEB_RES_COUNT(kAnprActions), true);
    int enable = 0;
    if (json_get_int(c->body, "enable", &enable)) {
        record->enable = enable;
        c->found++;
    }
    return c->found > 0;
}

// Stores the action part of `dialog` and the top-level "enable" for the
// channel and mode; false when a write failed.
bool save_anpr_dialog_data(json_object* dialog, json_object* body, int channel, int mode)
{
    AnprActions c = {dialog, body, channel, mode, 0};
    bool ok = true;
    for (const AnprSchedule& s : kAnprSchedules) {
        static Schedule schedule;  // 26 KB: kept off the small stack
        if (dialog && get_schedule_by_json(dialog, s.key, &schedule) == 0) {
            ok &= write_anpr_schedule(VXDB_MAIN, s.table, &schedule, channel, mode) == 0;
            c.found++;
        }
    }
    c.found += event_actions_store(dialog, mode_tables(mode), channel, kAnprActions, WEB_RES_COUNT(kAnprActions),
                                   true);
    return update_anpr_event(VXDB_MAIN, channel, mode, fill_anpr_actions, &c) >= 0 && ok;
}

json_object* object_key(json_object* body, const char* key)
{
    json_object* item = nullptr;
    json_object_object_get_ex(body, key, &item);
    return json_object_is_type(item, json_type_object) ? item : nullptr;
}

HandlerStatus on_get_anpr_mode_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kModeChecks))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid", -1);
    const int mode = json_int_or(body.get(), "mode", -1);
    anpr_event record;
    read_anpr_event(VXDB_MAIN, &record, channel, mode);
    record.id = channel;
    record.mode = mode;
    const EventActionTables tables = mode_tables(mode);
    json_object* reply = json_object_new_object();
    event_actions_to_json(reply, tables, channel, &record, kAnprReplyFields);
    for (const AnprSchedule& s : kAnprSchedules) {
        static Schedule schedule;
        read_anpr_schedule(VXDB_MAIN, s.table, &schedule, channel, mode);
        json_object_object_add(reply, s.key, get_schedule_json_object(&schedule));
    }
    event_actions_to_json(reply, tables, channel, &record, kAnprReplyTables);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_set_anpr_mode_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kModeChecks))
        return HANDLER_ERROR_JSON;
    anpr_event_change change = {json_int_or(body.get(), "chnid", -1), json_int_or(body.get(), "mode", -1)};
    if (!save_anpr_dialog_data(object_key(body.get(), "dialog"), body.get(), change.channel, change.mode))
        return HANDLER_ERROR_JSON;
    cgi_notify(on_video_ipc_callback, REQ_ANPR_CHANGED, &change, (int)sizeof change);
    reply_text("OK");
    return HANDLER_DONE;
}

// The asks that carry only the channel.
HandlerStatus ask_channel(const char* request, int code)
{
    return video_ask_channel(request, "chnid", code, HANDLER_ERROR_JSON, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_anpr_settings(const char* request)
{
    return ask_channel(request, REQ_ANPR_SETTINGS_GET);
}

void add_areas(json_object* reply, const char* key, const anpr_area (&areas)[ANPR_AREAS])
{
    json_object* list = json_object_new_array();
    for (const anpr_area& area : areas) {
        json_object* item = json_object_new_object();
        json_from_record(item, &area, kAreaFields);
        json_object_array_add(list, item);
    }
    json_object_object_add(reply, key, list);
}

void on_get_anpr_settings_cb(IpcAnswer& answer)
{
    static anpr_settings settings;
    if (!answer_record(answer, &settings)) {
        answer.done = 0;
        return;
    }
    json_object* reply = json_object_new_object();
    json_from_record(reply, &settings, kSettingsFields);
    json_from_record(reply, &settings, kSettingsState);
    add_areas(reply, "region", settings.region);
    add_areas(reply, "roi", settings.roi);
    cgi_writeback_json(REPLY_JSON, reply);
}

// The areas of an array key, at most four; missing ones stay zero.
void read_areas(json_object* body, const char* key, anpr_area (&areas)[ANPR_AREAS])
{
    json_object* list = nullptr;
    json_object_object_get_ex(body, key, &list);
    for (size_t i = 0; i < ANPR_AREAS && i < json_array_size(list); i++) {
        json_object* item = json_array_at(list, i);
        if (json_object_is_type(item, json_type_object))
            json_to_record(item, &areas[i], kAreaFields);
    }
}

// {"filter", "wildcards": [{"enable", "cr_count", "format"}]}, at most nine
// formats, each cut to 15 characters.
anpr_plate_format plate_format_by_json(json_object* object, int channel)
{
    anpr_plate_format payload;
    memset(&payload, 0, sizeof payload);
    payload.channel = channel;
    json_get_int(object, "filter", &payload.filter);
    json_object* list = nullptr;
    json_object_object_get_ex(object, "wildcards", &list);
    for (size_t i = 0; i < ANPR_FORMATS && i < json_array_size(list); i++) {
        json_object* item = json_array_at(list, i);
        const char* format = nullptr;
        json_get_int(item, "enable", &payload.enable[i]);
        json_get_int(item, "cr_count", &payload.cr_count[i]);
        if (json_get_text(item, "format", &format))
            wire_text(payload.format[i], format, ANPR_FORMAT_SIZE - 1);
    }
    return payload;
}

HandlerStatus on_set_anpr_settings(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kChannelCheck))
        return HANDLER_ERROR_JSON;
    const int channel = json_int_or(body.get(), "chnid", -1);
    if (json_object* dialog = object_key(body.get(), "dialog"))
        if (!save_anpr_dialog_data(dialog, nullptr, channel, ANPR_MODE_GENERAL))
            return HANDLER_ERROR_JSON;
    if (json_object* formats = object_key(body.get(), "formatData")) {
        const anpr_plate_format payload = plate_format_by_json(formats, channel);
        // Not waited for: the camera's 6208 must not print a reply of its own.
        cgi_notify(cgi_ignore_callback, REQ_IPC_ANPR_FORMAT_SET, &payload, (int)sizeof payload);
    }
    static anpr_settings settings;
    memset(&settings, 0, sizeof settings);
    json_to_record(body.get(), &settings, kSettingsFields);
    settings.channel = channel;
    read_areas(body.get(), "region", settings.region);
    read_areas(body.get(), "roi", settings.roi);
    return cgi_ask(on_video_ipc_callback, REQ_ANPR_SETTINGS_SET, &settings, (int)sizeof settings,
                   HANDLER_ERROR_JSON);
}

// "OK" when the camera took it (status 0), else "FAILED".
void on_set_status_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer) == 0 ? "OK" : "FAILED");
}

// A plate as stored: cut to 63 characters, then URL-decoded; false for a
// text that is not a string or decodes to nothing.
bool plate_text(json_object* item, char (&plate)[ANPR_PLATE_SIZE])
{
    if (!json_object_is_type(item, json_type_string))
        return false;
    char cut[ANPR_PLATE_SIZE];
    wire_text(cut, json_object_get_string(item));
    get_url_decode(cut, plate, (int)sizeof plate);
    return plate[0] != '\0';
}

// The "plate" list of a request: of its first "cnt" entries (refused
// outside 1..10000 before anything is read) those that `read` takes, each
// read into a zeroed slot of a heap buffer (free()), never the stack; *n
// of them. Null when refused or out of memory.
template <typename Entry>
Entry* read_plates(json_object* body, bool (*read)(json_object*, Entry&), int* n)
{
    static const JsonField kCount[] = {JSON_CHECK("cnt", true, 1, ANPR_LIST_CAPACITY)};
    int count = 0;
    if (!json_check(body, kCount) || !json_get_int(body, "cnt", &count))
        return nullptr;
    Entry* entries = (Entry*)calloc((size_t)count, sizeof(Entry));
    if (!entries)
        return nullptr;
    json_object* list = nullptr;
    json_object_object_get_ex(body, "plate", &list);
    *n = 0;
    for (size_t i = 0; (int)i < count && i < json_array_size(list); i++) {
        memset(&entries[*n], 0, sizeof(Entry));
        if (read(json_array_at(list, i), entries[*n]))
            (*n)++;
    }
    return entries;
}

HandlerStatus on_set_anpr_del_lpr_plate(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_JSON;
    int n = 0;
    char (*plates)[ANPR_PLATE_SIZE] = read_plates(body.get(), plate_text, &n);
    if (!plates)
        return HANDLER_ERROR_TEXT;
    const int rc = n > 0 ? delete_anpr_lists(VXDB_ANPR, plates, n) : -1;
    free(plates);
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

// [type, plate], both strings and the plate not empty.
bool plate_entry(json_object* pair, anpr_list& entry)
{
    json_object* type = json_array_at(pair, 0);
    if (!json_object_is_type(pair, json_type_array) || !json_object_is_type(type, json_type_string) ||
        !plate_text(json_array_at(pair, 1), entry.plate))
        return false;
    wire_text(entry.type, json_object_get_string(type));
    return true;
}

HandlerStatus on_set_anpr_add_lpr_plate(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int n = 0;
    anpr_list* entries = body ? read_plates(body.get(), plate_entry, &n) : nullptr;
    if (!entries)
        return HANDLER_ERROR_JSON;
    const int stored = n > 0 ? write_anpr_list_replace_batch(VXDB_ANPR, entries, n) : -1;
    free(entries);
    if (stored < 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "count", stored);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// [old plate, type, new plate], each a string and both plates not empty:
// the old plate goes only when the whole triple is usable.
bool plate_change(json_object* triple, anpr_plate_change& change)
{
    json_object* type = json_array_at(triple, 1);
    if (!json_object_is_type(triple, json_type_array) || json_array_size(triple) < 3 ||
        !json_object_is_type(type, json_type_string))
        return false;
    wire_text(change.entry.type, json_object_get_string(type));
    return plate_text(json_array_at(triple, 0), change.old_plate) &&
           plate_text(json_array_at(triple, 2), change.entry.plate);
}

HandlerStatus on_set_anpr_update_lpr_plate(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_JSON;
    int n = 0;
    anpr_plate_change* changes = read_plates(body.get(), plate_change, &n);
    if (!changes)
        return HANDLER_ERROR_TEXT;
    const int rc = n > 0 ? update_anpr_list_batch(VXDB_ANPR, changes, n) : 0;
    free(changes);
    if (rc < 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_anpr_support_anpr(const char* request)
{
    return ask_channel(request, REQ_ANPR_SUPPORT_GET);
}

void on_get_anpr_support_cb(IpcAnswer& answer)
{
    video_print_record<anpr_support>(answer, kSupportReply);
}

HandlerStatus on_get_ipc_lpr_state(const char* request)
{
    return ask_channel(request, REQ_IPC_LPR_STATE_GET);
}

void on_get_ipc_lpr_state_cb(IpcAnswer& answer)
{
    video_print_record<ipc_lpr_state>(answer, kStateReply);
}

HandlerStatus on_get_ipc_anpr_wildcards(const char* request)
{
    return ask_channel(request, REQ_IPC_ANPR_FORMAT_GET);
}

void on_get_ipc_anpr_wildcards_cb(IpcAnswer& answer)
{
    anpr_plate_format formats;
    answer_record(answer, &formats);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "chnid", formats.channel);
    json_add_int(reply, "filter", formats.filter);
    json_object* list = json_object_new_array();
    for (int i = 0; i < ANPR_FORMATS; i++) {
        json_object* item = json_object_new_object();
        json_add_int(item, "enable", formats.enable[i]);
        json_add_int(item, "cr_count", formats.cr_count[i]);
        // As sent to the camera: at most 15 characters.
        json_add_field(item, "format", formats.format[i], ANPR_FORMAT_SIZE - 1);
        json_object_array_add(list, item);
    }
    json_object_object_add(reply, "wildcards", list);
    cgi_writeback_json(REPLY_JSON, reply);
}

HandlerStatus on_set_ipc_anpr_wildcards(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!json_check(body.get(), kChannelCheck))
        return HANDLER_ERROR_JSON;
    const anpr_plate_format payload = plate_format_by_json(body.get(), json_int_or(body.get(), "chnid", -1));
    return cgi_ask(on_video_ipc_callback, REQ_IPC_ANPR_FORMAT_SET, &payload, (int)sizeof payload,
                   HANDLER_ERROR_JSON);
}

// A short answer is no answer: each row names its whole record.
const IpcResponse kAnprResponses[] = {
    {RSP_ANPR_SETTINGS_GET, (int)sizeof(anpr_settings), 1, on_get_anpr_settings_cb},
    {RSP_ANPR_SETTINGS_SET, (int)sizeof(int32_t), 1, on_set_status_cb},
    {RSP_ANPR_SUPPORT_GET, (int)sizeof(anpr_support), 1, on_get_anpr_support_cb},
    {RSP_IPC_LPR_STATE_GET, (int)sizeof(ipc_lpr_state), 1, on_get_ipc_lpr_state_cb},
    {RSP_IPC_ANPR_FORMAT_GET, (int)sizeof(anpr_plate_format), 1, on_get_ipc_anpr_wildcards_cb},
    {RSP_IPC_ANPR_FORMAT_SET, (int)sizeof(int32_t), 1, on_set_status_cb},
};

}  // namespace

const WebModulePart video_anpr_part = WEB_MODULE_PART("video", kAnprResources, kAnprResponses);
