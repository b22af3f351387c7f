// Pre- and post-event recording, audio and expiry of channels, and the
// cameras' noise reduction (ANR) and recording stream.
#include <cstring>

#include "core/channels.h"
#include "core/ipc.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/record/record.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define PARAMS_RESOURCES(X) \
    X("/6044", on_get_record_params, "recording parameters of a channel") \
    X("/6045", on_set_record_params, "set recording parameters, ANR and stream of channels") \
    X("/6046", on_get_anr_support, "whether a channel's camera supports ANR") \
    X("/6047", on_get_record_streams, "streams each channel can record")

PARAMS_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kParamsResources[] = {PARAMS_RESOURCES(WEB_RESOURCE_ROW)};

// "/6044" interleaves the two records: these are its runs, in reply order.
const JsonField kRecordEventFields[] = {
    JSON_FIELD(db_record, pre_record_on, "prevRecordOn", I32),
    JSON_FIELD(db_record, pre_record_duration, "prevRecordDuration", I32),
    JSON_FIELD(db_record, post_record_on, "postRecordOn", I32),
    JSON_FIELD(db_record, post_record_duration, "postRecordDuration", I32),
    JSON_FIELD(db_record, audio_enable, "audioEnable", I32),
};
const JsonField kCameraStreamFields[] = {
    JSON_FIELD(db_camera, record_stream, "recordStreamType", I32),
};
const JsonField kRecordExpiryFields[] = {
    JSON_FIELD(db_record, record_expiry, "recordExpDate", I32),
};
const JsonField kCameraFields[] = {
    JSON_FIELD(db_camera, anr, "cameraAnr", I32),
    JSON_FIELD(db_camera, enable, "camEnable", I32),
    JSON_FIELD(db_camera, protocol, "camProtocol", I32),
    JSON_FIELD(db_camera, poe_channel, "poeChannel", I32),
};

// What "/6045" must carry; the record rows take the keys that have a place.
const JsonField kRecordParamFields[] = {
    JSON_CHECK("cnt", true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_CHECK("camAnr", true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(db_record, pre_record_on, "prevRecordOn", I32, true, 0, 1),
    JSON_FIELD_CHECKED(db_record, pre_record_duration, "prevRecordDuration", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(db_record, post_record_on, "postRecordOn", I32, true, 0, 1),
    JSON_FIELD_CHECKED(db_record, post_record_duration, "postRecordDuration", I32, true, JSON_ANY_MIN,
                       JSON_ANY_MAX),
    JSON_FIELD_CHECKED(db_record, audio_enable, "audioEnable", I32, true, 0, 1),
    JSON_FIELD(db_record, record_expiry, "recordExpDate", I32),
    JSON_CHECK("recordStreamType", true, 0, RECORD_STREAM_MAX),
};

HandlerStatus ask(int code, const void* payload, int size)
{
    return cgi_ask(on_record_ipc_callback, code, payload, size, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_record_params(const char* request)
{
    int channel = 0;
    if (!record_channel_from_text(request, &channel))
        return HANDLER_SILENT;
    db_record record;
    db_camera camera;
    if (read_record(VXDB_MAIN, &record, channel) != 0 || read_camera(VXDB_MAIN, &camera, channel) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "id", channel);
    json_from_record(reply, &record, kRecordEventFields);
    json_from_record(reply, &camera, kCameraStreamFields);
    json_from_record(reply, &record, kRecordExpiryFields);
    json_from_record(reply, &camera, kCameraFields);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

void apply_record_params(db_record* record, int channel, void* body)
{
    record->id = channel;
    json_to_record((json_object*)body, record, kRecordParamFields);
}

// A camera takes a new nonzero ANR only when it is enabled, is not on a PoE
// port and speaks a protocol that carries it; turning ANR off reaches all.
bool anr_applies(const db_camera& camera, int anr)
{
    return anr == 0 || (camera.enable != 0 && camera.poe_channel == 0 && camera.protocol != CAMERA_PROTOCOL_RTSP);
}

HandlerStatus on_set_record_params(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body || !json_object_object_get_ex(body.get(), "chnid", nullptr) ||
        !json_check(body.get(), kRecordParamFields))
        return HANDLER_SILENT;
    int anr = 0, stream = 0;
    json_get_int(body.get(), "camAnr", &anr);
    json_get_int(body.get(), "recordStreamType", &stream);
    // Each channel once and never more than 64: the lists of 1310 and 2285
    // hold 64 entries, and a large "cnt" or a repeated channel overflowed them.
    const ChannelList selected = channel_list_by_json(body.get(), "chnid", "cnt");

    db_camera cameras[RECORD_CHANNELS];
    if (read_cameras(VXDB_MAIN, cameras) != 0)
        return HANDLER_ERROR_JSON;
    record_channel_list changed;
    camera_anr_request anr_list;
    memset(&changed, 0, sizeof changed);
    memset(&anr_list, 0, sizeof anr_list);
    uint64_t stream_set = 0, anr_set = 0;
    for (int i = 0; i < selected.count; i++) {
        const int channel = selected.channels[i];
        const db_camera& camera = cameras[channel];
        changed.channels[changed.count++] = channel;
        if (camera.record_stream != stream)
            stream_set |= 1ULL << channel;
        if (camera.anr != anr && anr_applies(camera, anr)) {
            anr_set |= 1ULL << channel;
            anr_list.channels[anr_list.count++] = channel;
        }
    }
    anr_list.anr = anr;
    if (update_records(VXDB_MAIN, selected.mask, apply_record_params, body.get()) != 0 ||
        copy_table_column_int(VXDB_MAIN, TABLE_CAMERA, "anr", anr, anr_set) != 0 ||
        copy_table_column_int(VXDB_MAIN, TABLE_CAMERA, "record_stream", stream, stream_set) != 0)
        return HANDLER_ERROR_JSON;

    cgi_notify(on_record_ipc_callback, REQ_RECORD_PARAMS_CHANGED, &changed, (int)sizeof changed);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_RECORD, 0);
    return ask(REQ_CAMERA_ANR_SET, &anr_list, (int)sizeof anr_list);
}

HandlerStatus on_get_anr_support(const char* request)
{
    int channel = 0;
    if (!record_channel_from_text(request, &channel))
        return HANDLER_SILENT;
    const int32_t word = channel;
    return ask(REQ_CAMERA_ANR_SUPPORT, &word, (int)sizeof word);
}

HandlerStatus on_get_record_streams(const char*)
{
    return ask(REQ_RECORD_STREAMS, nullptr, 0);
}

// One camera failing alone still gives 0: only a failure among several
// cameras is reported, as the pages have always been told.
void on_set_record_params_cb(IpcAnswer& answer)
{
    camera_anr_reply reply;
    if (!answer_record(answer, &reply)) {
        answer.done = 0;
        return;
    }
    const int n = answer_count(answer, reply.count, RECORD_CHANNELS, offsetof(camera_anr_reply, results), 4);
    bool failed = false;
    for (int i = 0; i < n; i++)
        failed = failed || reply.results[i] != 0;
    json_object* o = json_object_new_object();
    json_add_int(o, "resp", reply.anr != 0 && reply.count > 1 && failed ? -1 : 0);
    cgi_writeback_json(REPLY_JSON, o);
}

void on_get_anr_support_cb(IpcAnswer& answer)
{
    camera_anr_support support;
    if (!answer_record(answer, &support)) {
        answer.done = 0;
        return;
    }
    static const JsonField kFields[] = {
        JSON_FIELD(camera_anr_support, channel, "chnid", I32),
        JSON_FIELD(camera_anr_support, support, "support", I32),
    };
    reply_record(&support, kFields);
}

void on_get_record_streams_cb(IpcAnswer& answer)
{
    record_streams_reply reply;
    if (!answer_record(answer, &reply)) {
        answer.done = 0;
        return;
    }
    const int n = answer_count(answer, reply.count, RECORD_CHANNELS, 0, 4);
    json_object* o = json_object_new_object();
    json_object_object_add(o, "primary", json_int_array(reply.primary, n));
    json_object_object_add(o, "secondary", json_int_array(reply.secondary, n));
    json_add_int(o, "size", n);
    cgi_writeback_json(REPLY_JSON, o);
}

// Response code, record size, fewest whole records, printer.
const IpcResponse kParamsResponses[] = {
    {7285, (int)sizeof(camera_anr_reply), 1, on_set_record_params_cb},
    {7286, (int)sizeof(camera_anr_support), 1, on_get_anr_support_cb},
    {8218, (int)sizeof(record_streams_reply), 1, on_get_record_streams_cb},
};

}  // namespace

const WebModulePart record_params_part = WEB_MODULE_PART("record", kParamsResources, kParamsResponses);
