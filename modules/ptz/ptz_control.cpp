// PTZ control: moves, presets, tours, patterns and speeds. Changes go to the
// core service without waiting and are answered "OK" at once; the camera's
// own speed parameter and the read-back wait for their answers.
#include "modules/ptz/ptz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define CONTROL_RESOURCES(X) \
    X("/5000", on_send_ptz_cmd, "move a camera, and set its PTZ speed parameter") \
    X("/5001", on_preset_op, "set, clear or go to a preset") \
    X("/6053", on_get_ptz_speed, "PTZ speeds of a channel kept in the database") \
    X("/6054", on_set_ptz_speed, "store the PTZ speeds of a channel") \
    X("/6056", on_set_fish_ptz_tour_set, "set a tour of a fisheye camera") \
    X("/6055", on_set_ptz_tour_set, "set a tour: stored and sent") \
    X("/6057", on_set_ptz_tour_clear, "clear a tour") \
    X("/5002", on_set_ptz_tour_run, "run a tour") \
    X("/5003", on_set_ptz_tour_stop, "stop a tour") \
    X("/5004", on_set_ptz_pattern, "record, run or clear a pattern, or auto-scan") \
    X("/5005", on_get_ptz_info, "presets, tours, patterns and their status") \
    X("/5006", on_set_ptz_preset_call, "call a preset") \
    X("/5007", on_set_ptz_zomm, "zoom") \
    X("/5008", on_set_ipc_speed, "set the camera's PTZ speed parameter") \
    X("/5009", on_cgi_set_ptz_control, "send a generic PTZ command word")

CONTROL_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kControlResources[] = {CONTROL_RESOURCES(WEB_RESOURCE_ROW)};

// ---- helpers ---------------------------------------------------------------

// The camera's speed parameter is one below the browser's pan speed, and
// never below 1.
HandlerStatus set_camera_speed(int32_t channel, int32_t pan_speed)
{
    char value[16];
    snprintf(value, sizeof value, "%d", pan_speed < 2 ? 1 : pan_speed - 1);
    camera_param_set set = camera_param_make(channel, CAMERA_PARAM_PAGE, "ptzspeed", value);
    return ptz_ask(REQ_CAMERA_PARAM_SET, &set, (int)sizeof set, HANDLER_ERROR_TEXT);
}

// A change told without waiting: answered "OK" at once, then logged.
HandlerStatus tell_change(int code, const void* payload, int size, OperationLogParameter parameter, int channel)
{
    ptz_tell(code, payload, size);
    reply_text("OK");
    ptz_log(parameter, channel);
    return HANDLER_DONE;
}

// A command the browser names field by field, told as it comes.
template <typename Command, size_t N>
HandlerStatus tell_command(const char* request, int code, const JsonField (&fields)[N],
                           OperationLogParameter parameter)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    Command command;
    memset(&command, 0, sizeof command);
    json_to_record(body.get(), &command, fields);
    return tell_change(code, &command, (int)sizeof command, parameter, command.channel);
}

// ---- movement and presets --------------------------------------------------

HandlerStatus on_send_ptz_cmd(const char* request)
{
    const JsonField fields[] = {
        JSON_FIELD_CHECKED(ptz_action, channel, "channelId", I32, true, 0, ptz_channel_limit() - 1),
        JSON_FIELD_CHECKED(ptz_action, action, "action", I32, true, 0, INT32_MAX),
        JSON_FIELD(ptz_action, pan_speed, "panSpeed", I32),
        JSON_FIELD(ptz_action, tilt_speed, "tiltSpeed", I32),
        JSON_FIELD(ptz_action, zoom_speed, "zoomSpeed", I32),
        JSON_FIELD(ptz_action, focus_speed, "focusSpeed", I32),
        JSON_FIELD(ptz_action, fisheye_type, "fisheyeType", I32),
        JSON_FIELD(ptz_action, stream_id, "streamId", I32),
    };
    ptz_action move;
    JsonPtr body = request_record(request, &move, fields);
    if (!body)
        return HANDLER_SILENT;
    ptz_tell(REQ_PTZ_MOVE, &move, (int)sizeof move);
    int auto_focus = 0;
    json_get_int(body.get(), "isAutoFocus", &auto_focus);
    if (move.action == PTZ_ACTION_STOP && auto_focus == 1) {
        move.action = PTZ_ACTION_FOCUS_AUTO;
        ptz_tell(REQ_PTZ_MOVE, &move, (int)sizeof move);
    }
    HandlerStatus status = set_camera_speed(move.channel, move.pan_speed);
    ptz_log(LOG_PARAM_NONE, move.channel);
    return status;
}

HandlerStatus on_preset_op(const char* request)
{
    const JsonField fields[] = {
        JSON_FIELD_CHECKED(ptz_action, channel, "channelId", I32, true, 0, ptz_channel_limit() - 1),
        JSON_FIELD_CHECKED(ptz_action, preset_id, "presetId", I32, true, 0, PTZ_MAX_PRESETS),
        JSON_FIELD_CHECKED(ptz_action, action, "action", I32, true, 0, INT32_MAX),
        JSON_FIELD_CHECKED(ptz_action, pan_speed, "panSpeed", I32, true, 0, INT32_MAX),
        JSON_FIELD_CHECKED(ptz_action, tilt_speed, "tiltSpeed", I32, true, 0, INT32_MAX),
        JSON_FIELD_CHECKED(ptz_action, zoom_speed, "zoomSpeed", I32, true, 0, INT32_MAX),
        JSON_FIELD_CHECKED(ptz_action, focus_speed, "focusSpeed", I32, true, 0, INT32_MAX),
        JSON_FIELD(ptz_action, fisheye_type, "fisheyeType", I32),
        JSON_FIELD(ptz_action, stream_id, "streamId", I32),
    };
    ptz_action preset;
    JsonPtr body = request_record(request, &preset, fields);
    if (!body)
        return HANDLER_SILENT;
    const char* name = "";
    json_get_text(body.get(), "name", &name);
    const bool naming = preset.action == PTZ_ACTION_PRESET_SET;
    if (naming)
        wire_text(preset.preset_name, name, PTZ_PRESET_NAME_CUT);
    ptz_tell(REQ_PTZ_PRESET, &preset, (int)sizeof preset);

    HandlerStatus status = HANDLER_DONE;
    if (naming && preset.fisheye_type == 1) {
        // A fisheye camera keeps its preset names itself.
        char value[sizeof(camera_param_set::value)];
        snprintf(value, sizeof value, "%d:%d:%.*s", preset.stream_id, preset.preset_id, PTZ_FISH_NAME_CUT, name);
        camera_param_set set = camera_param_make(preset.channel, CAMERA_PARAM_PAGE, "ipncptz=setfishpreset", value);
        status = ptz_ask(REQ_CAMERA_PARAM_SET, &set, (int)sizeof set, HANDLER_ERROR_TEXT);
    } else {
        reply_text("OK");
    }
    ptz_log(LOG_PARAM_PTZ, preset.channel);
    return status;
}

// ---- speeds kept in the database -------------------------------------------

const JsonField kSpeedFields[] = {
    JSON_FIELD(db_ptz_speed, pan_speed, "pan_speed", I32),
    JSON_FIELD(db_ptz_speed, tilt_speed, "tilt_speed", I32),
    JSON_FIELD(db_ptz_speed, zoom_speed, "zoom_speed", I32),
    JSON_FIELD(db_ptz_speed, focus_speed, "foucs_speed", I32),
};

// "camId" of a request, when it names a channel the model has.
bool camera_of(json_object* body, int* channel)
{
    const JsonField checks[] = {JSON_CHECK("camId", true, 0, ptz_channel_limit() - 1)};
    return json_check(body, checks) && json_get_int(body, "camId", channel);
}

HandlerStatus on_get_ptz_speed(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0;
    if (!camera_of(body.get(), &channel))
        return HANDLER_SILENT;
    db_ptz_speed speed;
    if (read_ptz_speed(VXDB_MAIN, &speed, channel) != 0)
        return HANDLER_ERROR_JSON;
    return reply_record(&speed, kSpeedFields);
}

struct SpeedChange {
    json_object* body;
    int channel;
};

bool change_speed(db_ptz_speed* speed, void* context)
{
    const SpeedChange* c = (const SpeedChange*)context;
    json_to_record(c->body, speed, kSpeedFields);
    speed->channel = c->channel;
    return true;
}

HandlerStatus on_set_ptz_speed(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    SpeedChange change = {body.get(), 0};
    if (!camera_of(body.get(), &change.channel))
        return HANDLER_SILENT;
    if (update_ptz_speed(VXDB_MAIN, change.channel, change_speed, &change) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    ptz_log(LOG_PARAM_PTZ, change.channel);
    return HANDLER_DONE;
}

// ---- tours -----------------------------------------------------------------

// A tour as a request names it: a channel the model has and a tour 1..8,
// else nothing is stored or sent.
struct TourRequest {
    int channel;
    int tour_id;
    int fisheye_type;
    int stream_id;
    int count;  // key points taken from "path"
    ptz_tour_point points[PTZ_TOUR_POINTS];
};

const JsonField kPointFields[] = {
    JSON_FIELD(ptz_tour_point, preset, "preset", I32),
    JSON_FIELD(ptz_tour_point, speed, "speed", I32),
    JSON_FIELD(ptz_tour_point, dwell_time, "time", I32),
};

bool read_tour(json_object* body, TourRequest* tour, bool with_path)
{
    const JsonField checks[] = {
        JSON_CHECK("chn", true, 0, ptz_channel_limit() - 1),
        JSON_CHECK("tourid", true, 1, PTZ_MAX_TOURS),
        JSON_CHECK("rowsize", with_path, JSON_ANY_MIN, JSON_ANY_MAX),
    };
    memset(tour, 0, sizeof *tour);
    if (!json_check(body, checks, with_path ? 3 : 2))
        return false;
    json_get_int(body, "chn", &tour->channel);
    json_get_int(body, "tourid", &tour->tour_id);
    json_get_int(body, "fisheyeType", &tour->fisheye_type);
    json_get_int(body, "streamId", &tour->stream_id);
    if (!with_path)
        return true;
    int rows = 0;
    json_get_int(body, "rowsize", &rows);
    json_object* path = nullptr;
    json_object_object_get_ex(body, "path", &path);
    // No more points than the path holds and the record has room for.
    const size_t held = json_array_size(path);
    if (rows < 0)
        rows = 0;
    if ((size_t)rows > held)
        rows = (int)held;
    tour->count = rows < PTZ_TOUR_POINTS ? rows : PTZ_TOUR_POINTS;
    for (int k = 0; k < tour->count; k++)
        json_to_record(json_array_at(path, (size_t)k), &tour->points[k], kPointFields);
    return true;
}

bool store_tour(db_ptz_tour* tours, void* context)
{
    const TourRequest* tour = (const TourRequest*)context;
    // Points past the new length are zeroed: a shortened tour stays short.
    memcpy(tours->points[tour->tour_id - 1], tour->points, sizeof tour->points);
    return true;
}

HandlerStatus on_set_ptz_tour_set(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    TourRequest tour;
    if (!read_tour(body.get(), &tour, true))
        return HANDLER_SILENT;
    if (update_ptz_tour(VXDB_MAIN, tour.channel, store_tour, &tour) != 0)
        return HANDLER_ERROR_TEXT;
    ptz_tour_set set;
    memset(&set, 0, sizeof set);
    set.channel = tour.channel;
    set.tour_id = tour.tour_id;
    set.count = tour.count;
    memcpy(set.points, tour.points, sizeof set.points);
    return tell_change(REQ_PTZ_TOUR_SET, &set, (int)sizeof set, LOG_PARAM_PTZ, tour.channel);
}

HandlerStatus on_set_fish_ptz_tour_set(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    TourRequest tour;
    if (!read_tour(body.get(), &tour, true))
        return HANDLER_SILENT;
    fish_tour_set set;
    memset(&set, 0, sizeof set);
    set.channel = tour.channel;
    set.stream_id = tour.stream_id;
    set.index = tour.tour_id - 1;
    ptz_tour_block& block = set.tours[set.index];
    for (int k = 0; k < tour.count; k++) {
        block.preset[k] = tour.points[k].preset;
        block.dwell_time[k] = tour.points[k].dwell_time;
        block.speed[k] = tour.points[k].speed;
    }
    return tell_change(REQ_PTZ_FISH_TOUR_SET, &set, (int)sizeof set, LOG_PARAM_PTZ, tour.channel);
}

bool clear_tour(db_ptz_tour* tours, void* context)
{
    const TourRequest* tour = (const TourRequest*)context;
    // Dwell times and speeds stay: a tour without presets is an empty tour.
    for (ptz_tour_point& point : tours->points[tour->tour_id - 1])
        point.preset = 0;
    return true;
}

ptz_tour_cmd tour_cmd(const TourRequest& tour)
{
    ptz_tour_cmd cmd;
    memset(&cmd, 0, sizeof cmd);
    cmd.channel = tour.channel;
    cmd.tour_id = tour.tour_id;
    cmd.fisheye_type = tour.fisheye_type;
    cmd.stream_id = tour.stream_id;
    return cmd;
}

HandlerStatus on_set_ptz_tour_clear(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    TourRequest tour;
    if (!read_tour(body.get(), &tour, false))
        return HANDLER_SILENT;
    if (update_ptz_tour(VXDB_MAIN, tour.channel, clear_tour, &tour) != 0)
        return HANDLER_ERROR_TEXT;
    ptz_tour_cmd cmd = tour_cmd(tour);
    return tell_change(REQ_PTZ_TOUR_CLEAR, &cmd, (int)sizeof cmd, LOG_PARAM_PTZ, tour.channel);
}

const JsonField kTourCmdFields[] = {
    JSON_FIELD(ptz_tour_cmd, channel, "chn", I32),
    JSON_FIELD(ptz_tour_cmd, tour_id, "tourid", I32),
    JSON_FIELD(ptz_tour_cmd, fisheye_type, "fisheyeType", I32),
    JSON_FIELD(ptz_tour_cmd, stream_id, "streamId", I32),
};

// Run and stop go to the core service as the browser names them.
HandlerStatus on_set_ptz_tour_run(const char* request)
{
    return tell_command<ptz_tour_cmd>(request, REQ_PTZ_TOUR_RUN, kTourCmdFields, LOG_PARAM_NONE);
}

HandlerStatus on_set_ptz_tour_stop(const char* request)
{
    return tell_command<ptz_tour_cmd>(request, REQ_PTZ_TOUR_STOP, kTourCmdFields, LOG_PARAM_NONE);
}

// ---- patterns, read-back and the rest ----------------------------------------

HandlerStatus on_set_ptz_pattern(const char* request)
{
    static const int32_t kPatternActions[] = {PTZ_ACTION_PATTERN_RECORD, PTZ_ACTION_STOP, PTZ_ACTION_PATTERN_RUN,
                                              PTZ_ACTION_PATTERN_CLEAR, PTZ_ACTION_AUTO_SCAN};
    static const JsonField kFields[] = {
        JSON_FIELD(ptz_action, channel, "chn", I32),
        JSON_FIELD(ptz_action, preset_id, "tourid", I32),
    };
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    ptz_action pattern;
    memset(&pattern, 0, sizeof pattern);
    json_to_record(body.get(), &pattern, kFields);
    int action = -1;
    json_get_int(body.get(), "action", &action);
    // Any other action leaves the code 0.
    if (action >= 0 && action < WEB_RES_COUNT(kPatternActions))
        pattern.action = kPatternActions[action];
    return tell_change(REQ_PTZ_PATTERN, &pattern, (int)sizeof pattern, LOG_PARAM_PTZ, pattern.channel);
}

HandlerStatus on_get_ptz_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    ptz_state_request ask = {0, 0};
    int fisheye = 0;
    json_get_int(body.get(), "chn", &ask.channel);
    json_get_int(body.get(), "fisheyeType", &fisheye);
    json_get_int(body.get(), "streamId", &ask.stream_id);
    if (fisheye)
        return ptz_ask(REQ_PTZ_FISH_STATE, &ask, (int)sizeof ask, HANDLER_ERROR_JSON);
    return ptz_ask(REQ_PTZ_STATE, &ask.channel, (int)sizeof ask.channel, HANDLER_ERROR_JSON);
}

HandlerStatus on_set_ptz_preset_call(const char* request)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ptz_preset_call, channel, "channelId", I32),
        JSON_FIELD(ptz_preset_call, action, "action", I32),
    };
    return tell_command<ptz_preset_call>(request, REQ_PTZ_PRESET_CALL, kFields, LOG_PARAM_NONE);
}

HandlerStatus on_set_ptz_zomm(const char* request)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ptz_zoom, channel, "camId", I32),
        JSON_FIELD(ptz_zoom, zoom, "Zoom", I32),
        JSON_FIELD(ptz_zoom, speed, "ZoomSpeed", I32),
    };
    return tell_command<ptz_zoom>(request, REQ_PTZ_ZOOM, kFields, LOG_PARAM_NONE);
}

HandlerStatus on_set_ipc_speed(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int channel = 0, speed = 0;
    json_get_int(body.get(), "chn", &channel);
    json_get_int(body.get(), "Speed", &speed);
    HandlerStatus status = set_camera_speed(channel, speed);
    ptz_log(LOG_PARAM_PTZ, channel);
    return status;
}

HandlerStatus on_cgi_set_ptz_control(const char* request)
{
    static const JsonField kFields[] = {
        JSON_FIELD_CHECKED(ptz_control, channel, "chnid", I32, true, 0, 63),
        JSON_FIELD(ptz_control, command, "ptzCmd", I32),
    };
    ptz_control control;
    if (!request_record(request, &control, kFields))
        return HANDLER_ERROR_JSON;
    HandlerStatus status = ptz_ask(REQ_PTZ_CONTROL, &control, (int)sizeof control, HANDLER_ERROR_JSON);
    ptz_log(LOG_PARAM_PTZ, control.channel);
    return status;
}

// ---- answers ---------------------------------------------------------------

json_object* tour_json(const ptz_tour_block& tour)
{
    json_object* points = json_object_new_array();
    for (int k = 0; k < PTZ_TOUR_POINTS && tour.preset[k] >= 1; k++) {
        json_object* point = json_object_new_object();
        json_add_int(point, "preset_id", tour.preset[k]);
        json_add_int(point, "speed", tour.speed[k]);
        json_add_int(point, "timeout", tour.dwell_time[k]);
        json_object_array_add(points, point);
    }
    return points;
}

void on_ptz_reply_info(IpcAnswer& answer)
{
    // 15604 bytes: kept off the stack of the socket library's thread.
    ptz_state* state = (ptz_state*)malloc(sizeof(ptz_state));
    json_object* reply = json_object_new_object();
    if (answer.count < 1 || !state || !answer_record(answer, state)) {
        free(state);
        json_add_text(reply, "status", "Error");
        cgi_writeback_json(REPLY_JSON, reply);
        return;
    }
    json_add_text(reply, "status", "OK");
    json_object* presets = json_object_new_array();
    for (const ptz_preset_state& p : state->presets) {
        json_object* o = json_object_new_object();
        json_add_int(o, "enable", p.enable);
        json_add_field(o, "name", p.name, sizeof p.name);
        json_object_array_add(presets, o);
    }
    json_object_object_add(reply, "PRESET", presets);
    json_object* tours = json_object_new_array();
    for (const ptz_tour_block& t : state->tours)
        json_object_array_add(tours, tour_json(t));
    json_object_object_add(reply, "TOUR", tours);
    json_object* patterns = json_object_new_array();
    for (int32_t enable : state->pattern_enable) {
        json_object* o = json_object_new_object();
        json_add_int(o, "enable", enable);
        json_object_array_add(patterns, o);
    }
    json_object_object_add(reply, "PATTERN", patterns);
    json_object_object_add(reply, "autoscan_status", json_int_array(state->autoscan_status, PTZ_STATUS_ROWS));
    json_object* status = json_object_new_array();
    for (const auto& row : state->tour_status)
        json_object_array_add(status, json_int_array(row, PTZ_MAX_TOURS));
    json_object_object_add(reply, "tour_status", status);
    free(state);
    cgi_writeback_json(REPLY_JSON, reply);
}

// As the device does: the camera's answer is not read.
void on_set_ipc_common_cb(IpcAnswer&)
{
    reply_text("OK");
}

void on_cgi_set_ptz_control_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "res", answer_word(answer));
    cgi_writeback_json(REPLY_JSON, reply);
}

// Response code, record size, fewest whole records, printer. A state answer
// shorter than its record reaches the printer as no record: {"status":"Error"}.
const IpcResponse kControlResponses[] = {
    {6265, (int)sizeof(ptz_state), 0, on_ptz_reply_info},
    {6268, (int)sizeof(ptz_state), 0, on_ptz_reply_info},
    {8226, 4, 0, on_set_ipc_common_cb},
    {8361, 4, 1, on_cgi_set_ptz_control_cb},
};

}  // namespace

const WebModulePart ptz_control_part = WEB_MODULE_PART("ptz", kControlResources, kControlResponses);
