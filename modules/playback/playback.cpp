// Playback: recording search, playback sessions and their control, and the
// transcoding of a playback stream. Live view lives in playback_live.cpp and
// the download in remote_backup.cpp; on_stream_callback prints every answer.
#include "modules/playback/playback.h"

#include <cstdio>
#include <cstring>
#include <time.h>

#include "core/channels.h"
#include "core/ipc.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/playback/remote_backup.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define PLAYBACK_RESOURCES(X) \
    X("/4000", on_search_playback, "search the recorded sections of a channel") \
    X("/4001", on_start_playback, "open a playback session") \
    X("/4002", on_get_playback_time, "current play time of a session") \
    X("/4003", on_stop_playback, "stop playback sessions") \
    X("/4004", on_pause_playback, "pause playback sessions") \
    X("/4005", on_resume_playback, "resume a session") \
    X("/4006", on_step_foward_playback, "step sessions one frame") \
    X("/4007", on_fastforward_playback, "fast forward sessions") \
    X("/4008", on_slowforward_playback, "slow forward by channel") \
    X("/4009", on_jump_playback, "jump sessions to a time") \
    X("/4020", on_start_playback_mask, "open playback of several channels") \
    X("/3003", on_step_playback_batch, "step a batch of sessions") \
    X("/4022", on_set_speed_playback, "set the speed of sessions") \
    X("/4023", on_search_playback_page, "one page of a search") \
    X("/4025", on_set_transcoding, "transcode a playback stream") \
    X("/4026", on_get_transcoding_state, "transcoding state of a stream") \
    X("/3004", on_get_playback_busy, "whether playback is busy")

PLAYBACK_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kPlaybackResources[] = {PLAYBACK_RESOURCES(WEB_RESOURCE_ROW)};

// The session "/4001" and "/4020" open: asked for by 3502 and shown in the
// stream-info reply, within the one request.
struct PlaybackSession {
    int32_t id;
    char play_time[PLAYBACK_TEXT_CUT + 1];
};

// ---- helpers -------------------------------------------------------------

void tell_word(int code, int32_t word)
{
    playback_tell(code, &word, (int)sizeof word);
}

// A change told without waiting and answered "OK" at once.
HandlerStatus tell_and_answer(int code, const void* payload, int size)
{
    playback_tell(code, payload, size);
    reply_text("OK");
    return HANDLER_DONE;
}

json_object* array_of(json_object* body, const char* key)
{
    json_object* array = nullptr;
    json_object_object_get_ex(body, key, &array);
    return array;
}

// Entry i of an array as an int32; false when it is not one.
bool array_int(json_object* array, size_t i, int32_t* out)
{
    int64_t v = 0;
    if (!json_as_int64(json_array_at(array, i), &v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = (int32_t)v;
    return true;
}

// The first `num` entries of an array, cut to the 64 a record holds and to
// the entries the array has.
int entry_count(json_object* array, int num)
{
    size_t held = json_array_size(array);
    if (num < 0)
        num = 0;
    if (num > PLAYBACK_MAX_ENTRIES)
        num = PLAYBACK_MAX_ENTRIES;
    return (size_t)num > held ? (int)held : num;
}

// A session list of the first "num" ids of `key` (speeds too when asked).
session_list session_list_of(json_object* body, const char* key, bool speeds)
{
    session_list list;
    memset(&list, 0, sizeof list);
    int num = 0;
    json_get_int(body, "num", &num);
    json_object* ids = array_of(body, key);
    json_object* speed = speeds ? array_of(body, "speed") : nullptr;
    list.count = entry_count(ids, num);
    for (int i = 0; i < list.count; i++) {
        array_int(ids, (size_t)i, &list.ids[i]);
        if (speeds)
            array_int(speed, (size_t)i, &list.speeds[i]);
    }
    return list;
}

// 64 '0' and a '1' at each of the first "num" entries of `key` that is a
// position of the mask; other entries are skipped.
void mask_of(json_object* body, const char* key, int num, char (&mask)[64])
{
    const uint64_t bits = channel_list_from_array(array_of(body, key), num).mask;
    for (int i = 0; i < PLAYBACK_MAX_ENTRIES; i++)
        mask[i] = bits >> i & 1 ? '1' : '0';
}

// "speed" for the sessions or channels of the first "num" entries of `key`
// as a mask; `num` gets "num" when asked.
speed_mask speed_mask_of(json_object* body, const char* key, int* num)
{
    speed_mask speed;
    memset(&speed, 0, sizeof speed);
    int entries = 0;
    json_get_int(body, "num", &entries);
    mask_of(body, key, entries, speed.mask);
    json_get_int(body, "speed", &speed.speed);
    if (num)
        *num = entries;
    return speed;
}

// "chind" present and, read as an integer, not negative (an array reads as 0).
bool check_chind(json_object* body)
{
    json_object* item = nullptr;
    if (!body || !json_object_object_get_ex(body, "chind", &item))
        return false;
    if (json_object_is_type(item, json_type_array))
        return true;
    int64_t v = 0;
    return json_as_int64(item, &v) && v >= 0;
}

// "%Y-%m-%d %H:%M:%S" in local time; false when the time cannot be shown.
bool local_text(int64_t seconds, char (&out)[32])
{
    time_t t = (time_t)seconds;
    struct tm tm;
    if (!localtime_r(&t, &tm))
        return false;
    return strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &tm) > 0;
}

HandlerStatus ask_stream_info(PlaybackSession* session)
{
    return playback_ask(REQ_PLAYBACK_STREAM_INFO, &session->id, (int)sizeof session->id, session);
}

// ---- search and sessions ---------------------------------------------------

HandlerStatus on_search_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0, sid = 0, stream = 0;
    const char *start = nullptr, *end = nullptr;
    if (!json_get_int(body.get(), "channelId", &channel) || !json_get_int(body.get(), "sid", &sid) ||
        !json_get_int(body.get(), "streamType", &stream) || !json_get_text(body.get(), "time", &start) ||
        !json_get_text(body.get(), "endTime", &end))
        return HANDLER_SILENT;

    db_device device;
    memset(&device, 0, sizeof device);
    db_get_device(VXDB_MAIN, &device);
    const int channels = channel_count_clamp(device.max_channels);

    search_request search;
    memset(&search, 0, sizeof search);
    for (int i = 0; i < channels; i++)
        search.channels[i] = i == channel ? '1' : '0';
    search.one = 1;
    search.stream = stream == 1 ? 1 : 0;
    search.minus_one[0] = -1;
    search.minus_one[1] = -1;
    wire_text(search.start, start);
    wire_text(search.end, end);

    if (sid >= 0) {
        session_list close;
        memset(&close, 0, sizeof close);
        close.ids[0] = sid;
        close.count = 1;
        playback_tell(REQ_PLAYBACK_SEARCH_CLOSE, &close, (int)sizeof close);
        tell_word(REQ_PLAYBACK_CLOSE, sid);
    }
    return playback_ask(REQ_PLAYBACK_SEARCH, &search, (int)sizeof search);
}

const JsonField kStartFields[] = {
    JSON_FIELD_CHECKED(playback_start, channel, "channelId", I32, true, 0, PLAYBACK_LAST_CHANNEL),
    JSON_FIELD_CHECKED(playback_start, play, "playTime", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(playback_start, start, "startTime", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(playback_start, end, "endTime", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(playback_start, sid, "sid", I32, true, INT32_MIN, INT32_MAX),
};

HandlerStatus on_start_playback(const char* request)
{
    playback_start open;
    if (!request_record(request, &open, kStartFields))
        return HANDLER_SILENT;
    // 2 is a refusal; neither it nor silence opens a session.
    if (cgi_request(on_stream_callback, REQ_PLAYBACK_START, &open, (int)sizeof open) != 1)
        return HANDLER_ERROR_JSON;
    PlaybackSession session;
    session.id = open.sid;
    wire_text(session.play_time, open.play);
    HandlerStatus status = ask_stream_info(&session);
    cgi_write_operation_log(LOG_SUB_REMOTE_PLAYBACK, LOG_PARAM_NONE, oplog_number(open.channel));
    return status;
}

HandlerStatus on_get_playback_time(const char* request)
{
    int id = -1;
    if (!parse_decimal(request, &id) || id < 0)
        return HANDLER_SILENT;
    int32_t session = id;
    return playback_ask(REQ_PLAYBACK_TIME, &session, (int)sizeof session);
}

HandlerStatus on_stop_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    session_list list = session_list_of(body.get(), "sid", false);
    for (int i = 0; i < list.count; i++)
        if (list.ids[i] >= 0)
            tell_word(REQ_PLAYBACK_CLOSE, list.ids[i]);
    playback_tell(REQ_PLAYBACK_STOP, &list, (int)sizeof list);
    int close = 0;
    json_get_int(body.get(), "close", &close);
    if (close == 1)
        playback_tell(REQ_PLAYBACK_SEARCH_CLOSE, &list, (int)sizeof list);
    reply_text("OK");
    return HANDLER_DONE;
}

// Sends the first "num" ids of `key` as a session list.
HandlerStatus send_session_list(const char* request, int code, const char* key, bool speeds)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    session_list list = session_list_of(body.get(), key, speeds);
    return tell_and_answer(code, &list, (int)sizeof list);
}

HandlerStatus on_pause_playback(const char* request)
{
    return send_session_list(request, REQ_PLAYBACK_PAUSE, "sid", false);
}

HandlerStatus on_resume_playback(const char* request)
{
    playback_resume resume;
    if (!request_words(request, &resume, {"sid", "direction"}))
        return HANDLER_SILENT;
    return tell_and_answer(REQ_PLAYBACK_RESUME, &resume, (int)sizeof resume);
}

HandlerStatus on_step_foward_playback(const char* request)
{
    return send_session_list(request, REQ_PLAYBACK_STEP, "sid", false);
}

HandlerStatus on_fastforward_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_chind(body.get()))
        return HANDLER_SILENT;
    session_list list = session_list_of(body.get(), "sessionId", true);
    return tell_and_answer(REQ_PLAYBACK_FAST, &list, (int)sizeof list);
}

HandlerStatus on_slowforward_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_chind(body.get()))
        return HANDLER_SILENT;
    speed_mask slow = speed_mask_of(body.get(), "chind", nullptr);
    return tell_and_answer(REQ_PLAYBACK_SLOW, &slow, (int)sizeof slow);
}

HandlerStatus on_jump_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char* when = nullptr;
    int num = 0;
    json_object *sids = nullptr, *channels = nullptr;
    if (!json_get_text(body.get(), "jumpTime", &when) || !json_object_object_get_ex(body.get(), "sid", &sids) ||
        !json_object_object_get_ex(body.get(), "chnid", &channels) || !json_get_int(body.get(), "num", &num))
        return HANDLER_SILENT;
    // Only pairs that both arrays hold are sent.
    int count = entry_count(sids, entry_count(channels, num));
    if (count < 1) {
        return HANDLER_ERROR_JSON;
    }
    jump_request jump;
    memset(&jump, 0, sizeof jump);
    for (int i = 0; i < count; i++) {
        array_int(channels, (size_t)i, &jump.channels[i]);
        array_int(sids, (size_t)i, &jump.sids[i]);
    }
    jump.count = count;
    wire_text(jump.time, when);
    return playback_ask(REQ_PLAYBACK_JUMP, &jump, (int)sizeof jump);
}

// "mask0" to "mask7" and a "playTime" that is a real local time.
bool check_start_playback_mask(json_object* body, mask_start* out)
{
    memset(out, 0, sizeof *out);
    for (int i = 0; i < 8; i++) {
        char key[8];
        snprintf(key, sizeof key, "mask%d", i);
        if (!json_get_int(body, key, &out->masks[i]))
            return false;
    }
    const char* play = nullptr;
    if (!json_get_text(body, "playTime", &play))
        return false;
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    const char* rest = strptime(play, "%Y-%m-%d %H:%M:%S", &tm);
    if (!rest)
        return false;
    while (*rest == ' ')
        rest++;
    if (*rest)
        return false;
    tm.tm_isdst = -1;
    // The record holds 32 bits of seconds.
    const int64_t seconds = mktime(&tm);
    if (seconds < 0 || seconds > INT32_MAX)
        return false;
    out->seconds = (int32_t)seconds;
    wire_text(out->play, play);
    return true;
}

HandlerStatus on_start_playback_mask(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    mask_start start;
    if (!body || !check_start_playback_mask(body.get(), &start))
        return HANDLER_SILENT;
    PlaybackSession session;
    memset(&session, 0, sizeof session);
    if (cgi_request(on_stream_callback, REQ_PLAYBACK_MASK_START, &start, (int)sizeof start, &session) != 1)
        return HANDLER_ERROR_JSON;
    HandlerStatus status = ask_stream_info(&session);
    cgi_write_operation_log(LOG_SUB_REMOTE_PLAYBACK, LOG_PARAM_NONE, 0);
    return status;
}

HandlerStatus on_step_playback_batch(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    session_list list;
    memset(&list, 0, sizeof list);
    json_object* ids = array_of(body.get(), "sessionId");
    // The whole array, as far as the record holds it; the count stays 0.
    int n = entry_count(ids, PLAYBACK_MAX_ENTRIES);
    for (int i = 0; i < n; i++)
        array_int(ids, (size_t)i, &list.ids[i]);
    return tell_and_answer(REQ_PLAYBACK_STEP_BATCH, &list, (int)sizeof list);
}

HandlerStatus on_set_speed_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int num = 0;
    speed_mask speed = speed_mask_of(body.get(), "sid", &num);
    speed.flag = speed.speed == 2 && num == 1 ? 1 : 0;
    return tell_and_answer(REQ_PLAYBACK_SPEED, &speed, (int)sizeof speed);
}

HandlerStatus on_search_playback_page(const char* request)
{
    search_page page;
    if (!request_words(request, &page, {"sid", "page"}))
        return HANDLER_SILENT;
    return playback_ask(REQ_PLAYBACK_SEARCH_PAGE, &page, (int)sizeof page);
}

HandlerStatus on_set_transcoding(const char* request)
{
    transcode_request change;
    if (!request_words(request, &change, {"ch", "sid", "trancodingmode", "framesize", "bitrate", "framerate"}))
        return HANDLER_ERROR_JSON;
    return playback_ask(REQ_PLAYBACK_TRANSCODE, &change, (int)sizeof change);
}

HandlerStatus on_get_transcoding_state(const char* request)
{
    transcode_query query;
    if (!request_words(request, &query, {"ch", "sid"}))
        return HANDLER_ERROR_JSON;
    return playback_ask(REQ_PLAYBACK_TRANSCODE_STATE, &query, (int)sizeof query);
}

HandlerStatus on_get_playback_busy(const char*)
{
    return playback_ask(REQ_PLAYBACK_BUSY, nullptr, 0);
}

// ---- answers ---------------------------------------------------------------

// Record i of an answer; the row's fewest records and the count vouch for it.
template <typename T>
T record_at(const IpcAnswer& answer, int i)
{
    T record;
    memset(&record, 0, sizeof record);
    answer_record(answer, &record, i);
    return record;
}

void on_playback_status_cb(IpcAnswer& answer)
{
    reply_status(answer_word(answer) == -1 ? "ERROR" : "OK");
}

void on_get_playback_time_cb(IpcAnswer& answer)
{
    char when[32];
    int32_t seconds = answer_word(answer);
    if (seconds > 0 && local_text(seconds, when)) {
        json_object* reply = json_object_new_object();
        json_add_text(reply, "status", "OK");
        json_add_text(reply, "curPlayTime", when);
        cgi_writeback_json(REPLY_JSON, reply);
    } else {
        cgi_error_to_webserver(REPLY_JSON);
    }
}

const JsonField kSectionFields[] = {
    JSON_FIELD(search_section, start, "startTime", TEXT),
    JSON_FIELD(search_section, end, "endTime", TEXT),
    JSON_FIELD(search_section, record_type, "recordType", I32),
    JSON_FIELD(search_section, lock, "lock", I32),
};

void on_search_playback_cb(IpcAnswer& answer)
{
    if (answer.count == 0) {
        reply_status("NO MATCHES");
        return;
    }
    search_section first = record_at<search_section>(answer, 0);
    search_section last = record_at<search_section>(answer, answer.count - 1);
    json_object* sections = json_object_new_array();
    for (int i = 0; i < answer.count; i++) {
        search_section s = record_at<search_section>(answer, i);
        json_object* o = json_object_new_object();
        json_from_record(o, &s, kSectionFields);
        json_object_array_add(sections, o);
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    json_add_int(reply, "camId", last.channel);
    json_add_int(reply, "sectionNum", answer.count);
    json_add_int(reply, "sid", first.sid);
    json_object_object_add(reply, "section", sections);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_start_playback_cb(IpcAnswer& answer)
{
    answer.done = answer.count > 0 && answer_word(answer) < 0 ? 2 : 1;
}

void on_jump_playback_cb(IpcAnswer& answer)
{
    reply_status(answer_word(answer) == 0 ? "OK" : "ERROR");
}

const JsonField kTranscodeStateFields[] = {
    JSON_FIELD(transcode_state, channel, "ch", I32),
    JSON_FIELD(transcode_state, sid, "sid", I32),
    JSON_FIELD(transcode_state, state, "state", I32),
};

// A change is answered with the state and "status" after it; a query
// without.
void on_set_transcoding_cb(IpcAnswer& answer)
{
    transcode_state state = record_at<transcode_state>(answer, 0);
    json_object* reply = json_object_new_object();
    json_from_record(reply, &state, kTranscodeStateFields);
    json_add_text(reply, "status", "OK");
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_get_transcoding_state_cb(IpcAnswer& answer)
{
    transcode_state state = record_at<transcode_state>(answer, 0);
    reply_record(&state, kTranscodeStateFields);
}

// A day's record types as sections of equal nonzero type. The two maps
// differ only in the width of a minute's type; kept static, as 2888 bytes
// are much for the device's stack.
template <typename DayMap>
void on_get_day_map_cb(IpcAnswer& answer)
{
    static DayMap map;
    memset(&map, 0, sizeof map);
    answer_record(answer, &map);
    json_object* sections = json_object_new_array();
    for (int minute = 0; minute < PLAYBACK_MINUTES_PER_DAY;) {
        int type = map.types[minute];
        int end = minute + 1;
        while (end < PLAYBACK_MINUTES_PER_DAY && map.types[end] == type)
            end++;
        if (type != 0) {
            char from[16], to[16];
            snprintf(from, sizeof from, "%02d:%02d:00", minute / 60, minute % 60);
            snprintf(to, sizeof to, "%02d:%02d:59", (end - 1) / 60, (end - 1) % 60);
            json_object* o = json_object_new_object();
            json_add_text(o, "startTime", from);
            json_add_text(o, "endTime", to);
            json_add_int(o, "recordType", type);
            json_object_array_add(sections, o);
        }
        minute = end;
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    json_add_int(reply, "chn", map.channel);
    json_object_object_add(reply, "section", sections);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_start_playback_mask_cb(IpcAnswer& answer)
{
    // A short answer carries no session: a refusal, never a success.
    if (answer.count < 1) {
        answer.done = 2;
        return;
    }
    mask_start_reply started = record_at<mask_start_reply>(answer, 0);
    if (started.result != 0) {
        answer.done = 2;
        return;
    }
    PlaybackSession* session = (PlaybackSession*)answer.context;
    if (session) {
        session->id = started.session;
        wire_text(session->play_time, started.play);  // at most 31 characters, NUL or not
    }
}

void on_get_jump_time_cb(IpcAnswer& answer)
{
    char when[32] = "";
    local_text(answer_word(answer), when);
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    json_add_text(reply, "realJumpTime", when);
    cgi_writeback_json(REPLY_JSON, reply);
}

// {"status":"OK", list: [{time_key, "sid"}...]} of {sid, seconds} records.
void print_session_times(const IpcAnswer& answer, const char* list_key, const char* time_key)
{
    json_object* list = json_object_new_array();
    for (int i = 0; i < answer.count; i++) {
        session_time t = record_at<session_time>(answer, i);
        char when[32] = "";
        local_text(t.seconds, when);
        json_object* o = json_object_new_object();
        json_add_text(o, time_key, when);
        json_add_int(o, "sid", t.sid);
        json_object_array_add(list, o);
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    json_object_object_add(reply, list_key, list);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_get_jump_times_cb(IpcAnswer& answer)
{
    print_session_times(answer, "JumpTime", "realJumpTime");
}

void on_get_play_times_cb(IpcAnswer& answer)
{
    print_session_times(answer, "curPlayTime", "PlayTime");
}

void on_get_stream_info_cb(IpcAnswer& answer)
{
    // No record: the body stays empty, the request was still answered.
    if (answer.count > 0) {
        stream_info info = record_at<stream_info>(answer, 0);
        json_object* reply = json_object_new_object();
        json_add_int(reply, "sessionId", info.session);
        json_add_field(reply, "sourcePath", info.source_path, sizeof info.source_path);
        json_add_int(reply, "port", info.port);
        json_add_text(reply, "status", "OK");
        const PlaybackSession* session = (const PlaybackSession*)answer.context;
        const char* play_time = session ? session->play_time : "";
        json_add_field(reply, "realPlayTime", play_time, session ? sizeof session->play_time : 1);
        json_add_int(reply, "external_port", info.external_port);
        json_add_int(reply, "external_http_port", info.external_http_port);
        json_add_int(reply, "ddns_port", info.ddns_port);
        json_add_int(reply, "ddns_http_port", info.ddns_http_port);
        cgi_writeback_json(REPLY_JSON, reply);
    }
}

void on_get_playback_busy_cb(IpcAnswer& answer)
{
    reply_status(answer_word(answer) != 0 ? "BUSY" : "OK");
}

// Response code, record size, fewest whole records, printer. An answer
// shorter than its fewest records is no answer.
const IpcResponse kPlaybackResponses[] = {
    {RSP_PLAYBACK_STATUS, 4, 1, on_playback_status_cb},
    {RSP_PLAYBACK_TIME, 4, 1, on_get_playback_time_cb},
    {RSP_PLAYBACK_TIME_ALT, 4, 1, on_get_playback_time_cb},
    {RSP_PLAYBACK_SEARCH, (int)sizeof(search_section), 0, on_search_playback_cb},
    {RSP_PLAYBACK_SEARCH_PAGE, (int)sizeof(search_section), 0, on_search_playback_cb},
    {RSP_PLAYBACK_START, 4, 0, on_start_playback_cb},
    {RSP_PLAYBACK_JUMP, 4, 1, on_jump_playback_cb},
    {RSP_PLAYBACK_TRANSCODE, (int)sizeof(transcode_state), 1, on_set_transcoding_cb},
    {RSP_PLAYBACK_TRANSCODE_STATE, (int)sizeof(transcode_state), 1, on_get_transcoding_state_cb},
    {RSP_DAY_MAP, (int)sizeof(day_map), 1, on_get_day_map_cb<day_map>},
    {RSP_DAY_MAP_SHORT, (int)sizeof(day_map_short), 1, on_get_day_map_cb<day_map_short>},
    // Fewest 0: a short answer reaches the printer, which refuses it.
    {RSP_PLAYBACK_MASK_START, (int)sizeof(mask_start_reply), 0, on_start_playback_mask_cb, REQ_PLAYBACK_MASK_START},
    {RSP_PLAYBACK_JUMP_TIME, 4, 1, on_get_jump_time_cb},
    {RSP_PLAYBACK_JUMP_TIMES, (int)sizeof(session_time), 1, on_get_jump_times_cb},
    {RSP_PLAYBACK_PLAY_TIMES, (int)sizeof(session_time), 0, on_get_play_times_cb},
    {RSP_PLAYBACK_STREAM_INFO, (int)sizeof(stream_info), 0, on_get_stream_info_cb},
    {RSP_PLAYBACK_BUSY, 4, 1, on_get_playback_busy_cb},
};

}  // namespace

const WebModulePart playback_part = WEB_MODULE_PART("playback", kPlaybackResources, kPlaybackResponses);

HandlerStatus playback_ask(int code, const void* payload, int size, void* context)
{
    return cgi_ask(on_stream_callback, code, payload, size, HANDLER_ERROR_JSON, context);
}

void playback_tell(int code, const void* payload, int size)
{
    cgi_notify(on_stream_callback, code, payload, size);
}

void on_stream_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&playback_part, &playback_live_part, &playback_download_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}
