// Live view: live streams, the image values of a live channel, the channel
// actions the browser logs, and the addresses and ports of the streams.
#include <cstdio>
#include <cstring>

#include "core/ipc.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/playback/playback.h"

namespace {

enum {
    IMAGE_DEFAULT = 128,
};

// Path, handler, one line of help; the list also declares the handlers.
#define LIVE_RESOURCES(X) \
    X("/4010", on_start_live, "start a live stream") \
    X("/4011", on_stop_live, "stop a live stream") \
    X("/3000", on_get_live_image, "image values of a live channel") \
    X("/3001", on_set_live_image, "set the image values of a live channel") \
    X("/3002", on_reset_live_image, "reset the image values of a channel") \
    X("/4012", on_stop_all_live, "stop every live stream") \
    X("/4014", on_log_channel_action, "log a channel action") \
    X("/4015", on_accept_channel, "accept a channel number") \
    X("/4016", on_accept_channel_alt, "accept a channel number") \
    X("/4017", on_log_channel_action_alt, "log a channel action") \
    X("/4018", on_get_rtsp_info, "RTSP addresses of every channel") \
    X("/4021", on_get_extern_ports, "external ports") \
    X("/4024", on_log_live_view, "log a live view")

LIVE_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kLiveResources[] = {LIVE_RESOURCES(WEB_RESOURCE_ROW)};

// A channel number as the whole text, 0..7.
bool channel_text(const char* request, int* channel)
{
    return parse_decimal(request, channel) && *channel >= 0 && *channel <= PLAYBACK_LAST_CHANNEL;
}

const JsonField kLiveFields[] = {
    JSON_FIELD_CHECKED(live_request, channel, "id", I32, true, 0, PLAYBACK_LAST_CHANNEL),
    JSON_FIELD_CHECKED(live_request, stream_type, "streamType", I32, true, 0, 1),
    JSON_FIELD_CHECKED(live_request, stream_from, "streamFrom", I32, true, 0, 1),
};

const JsonField kLiveImageFields[] = {
    JSON_FIELD_CHECKED(image_adjust, channel, "id", I32, true, 0, PLAYBACK_LAST_CHANNEL),
    JSON_FIELD_CHECKED(image_adjust, brightness, "brightness", I32, true, 0, 255),
    JSON_FIELD_CHECKED(image_adjust, contrast, "contrast", I32, true, 0, 255),
    JSON_FIELD_CHECKED(image_adjust, saturation, "saturation", I32, true, 0, 255),
    JSON_FIELD(image_adjust, sharpness, "Sharpness", I32),
    JSON_FIELD(image_adjust, noise_reduction, "NoiseReduction", I32),
    JSON_FIELD(image_adjust, i2ddnr, "i2ddnr", I32),
};
// The answer prints the same keys, all but the channel.
const JsonField* const kImageValueFields = kLiveImageFields + 1;
const size_t IMAGE_VALUE_FIELDS = sizeof kLiveImageFields / sizeof kLiveImageFields[0] - 1;

const JsonField kImageChannelChecks[] = {
    JSON_CHECK("chnid", true, 0, PLAYBACK_LAST_CHANNEL),
};

// Logs the channel (counted from 1) and answers "OK".
HandlerStatus log_channel(const char* request, int sub_type)
{
    int channel = -1;
    if (!channel_text(request, &channel))
        return HANDLER_SILENT;
    if (sub_type)
        cgi_write_operation_log(sub_type, LOG_PARAM_NONE, oplog_number(channel));
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- handlers --------------------------------------------------------------

HandlerStatus on_start_live(const char* request)
{
    live_request live;
    if (!request_record(request, &live, kLiveFields))
        return HANDLER_SILENT;
    // The channel the stream started on, set by the answer; -1 when the
    // start failed or nothing came.
    int started = -1;
    HandlerStatus status = playback_ask(REQ_LIVE_START, &live, (int)sizeof live, &started);
    // Logged here rather than on the delivery thread, once the answer is in.
    if (started >= 0)
        cgi_write_operation_log(LOG_SUB_REMOTE_LIVE_VIEW, LOG_PARAM_NONE, oplog_number(started));
    return status;
}

HandlerStatus on_stop_live(const char* request)
{
    live_request live;
    if (!request_record(request, &live, kLiveFields))
        return HANDLER_SILENT;
    live.stream_from = 0;
    playback_tell(REQ_LIVE_STOP, &live, (int)sizeof live);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_live_image(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t channel = 0;
    if (!json_check(body.get(), kImageChannelChecks) || !json_get_int(body.get(), "chnid", &channel))
        return HANDLER_SILENT;
    return playback_ask(REQ_LIVE_IMAGE_GET, &channel, (int)sizeof channel);
}

}  // namespace

int32_t image_log_scale(int32_t value)
{
    // floor(value * 100 / 255 + 1/2) = floor((value * 200 + 255) / 510)
    int64_t x = (int64_t)value * 200 + 255;
    int64_t q = x / 510;
    if (x % 510 != 0 && x < 0)
        q--;
    return (int32_t)q;
}

namespace {

HandlerStatus on_set_live_image(const char* request)
{
    image_adjust image;
    if (!request_record(request, &image, kLiveImageFields))
        return HANDLER_SILENT;
    playback_tell(REQ_LIVE_IMAGE_SET, &image, (int)sizeof image);

    image_log_detail detail;
    detail.brightness = image_log_scale(image.brightness);
    detail.contrast = image_log_scale(image.contrast);
    detail.saturation = image_log_scale(image.saturation);
    detail.sharpness = image_log_scale(image.sharpness);
    detail.noise_reduction = image_log_scale(image.noise_reduction);
    cgi_write_operation_log(LOG_SUB_REMOTE_IMAGE, LOG_PARAM_NONE, oplog_number(image.channel), LOG_DETAIL_IMAGE,
                            &detail, (int)sizeof detail);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_reset_live_image(const char* request)
{
    int channel = -1;
    if (!channel_text(request, &channel))
        return HANDLER_SILENT;
    image_adjust image = {channel, IMAGE_DEFAULT, IMAGE_DEFAULT, IMAGE_DEFAULT, IMAGE_DEFAULT, IMAGE_DEFAULT, 0};
    playback_tell(REQ_LIVE_IMAGE_SET, &image, (int)sizeof image);
    static const JsonField kFields[] = {
        JSON_FIELD(image_adjust, channel, "ChannelId", I32),
        JSON_FIELD(image_adjust, brightness, "Brightness", I32),
        JSON_FIELD(image_adjust, contrast, "Contrast", I32),
        JSON_FIELD(image_adjust, saturation, "Saturation", I32),
        JSON_FIELD(image_adjust, sharpness, "Sharpness", I32),
        JSON_FIELD(image_adjust, noise_reduction, "NoiseReduction", I32),
    };
    return reply_record(&image, kFields);
}

HandlerStatus on_stop_all_live(const char*)
{
    playback_tell(REQ_LIVE_STOP_ALL, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_log_channel_action(const char* request)
{
    return log_channel(request, LOG_SUB_REMOTE_CHANNEL_ACTION);
}

HandlerStatus on_accept_channel(const char* request)
{
    return log_channel(request, 0);
}

HandlerStatus on_accept_channel_alt(const char* request)
{
    return log_channel(request, 0);
}

HandlerStatus on_log_channel_action_alt(const char* request)
{
    return log_channel(request, LOG_SUB_REMOTE_CHANNEL_ACTION_ALT);
}

HandlerStatus on_get_rtsp_info(const char*)
{
    return playback_ask(REQ_LIVE_RTSP_INFO, nullptr, 0);
}

HandlerStatus on_log_live_view(const char* request)
{
    return log_channel(request, LOG_SUB_REMOTE_LIVE_VIEW);
}

HandlerStatus on_get_extern_ports(const char*)
{
    return playback_ask(REQ_EXTERN_PORTS, nullptr, 0);
}

// ---- answers ---------------------------------------------------------------

// {"status":"OK"} and the record's fields, or {"status":"ERROR"} alone for
// a negative result.
void reply_result_record(int32_t result, const void* record, const JsonField* fields, size_t n)
{
    if (result < 0) {
        reply_status("ERROR");
        return;
    }
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", "OK");
    json_from_record(reply, record, fields, n);
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_start_live_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(live_reply, port, "port", I32),
        JSON_FIELD(live_reply, direct, "direct", I32),
        JSON_FIELD(live_reply, rtsp_addr, "rtspAddr", TEXT),
        JSON_FIELD(live_reply, res_path, "resPath", TEXT),
    };
    live_reply live;
    answer_record(answer, &live);
    reply_result_record(live.result, &live, kFields, WEB_RES_COUNT(kFields));
    if (live.result >= 0 && answer.context)
        *(int*)answer.context = live.channel;
}

void on_get_live_image_cb(IpcAnswer& answer)
{
    image_reply image;
    answer_record(answer, &image);
    reply_result_record(image.result, &image.image, kImageValueFields, IMAGE_VALUE_FIELDS);
}

void add_stream(json_object* nvr, const char* prefix, const rtsp_stream& s)
{
    char key[32];
    struct Item {
        const char* name;
        const char* text;
        size_t size;
        int32_t value;
    };
    const Item items[] = {
        {"Username", s.user, sizeof s.user, 0},
        {"Password", s.password, sizeof s.password, 0},
        {"Port", nullptr, 0, s.port},
        {"ExternalPort", nullptr, 0, s.external_port},
        {"DDNSPort", nullptr, 0, s.ddns_port},
        {"ResPath", s.res_path, sizeof s.res_path, 0},
        {"ExternalHttpPort", nullptr, 0, s.external_http_port},
        {"DDNSHttpPort", nullptr, 0, s.ddns_http_port},
    };
    for (const Item& item : items) {
        snprintf(key, sizeof key, "%s%s", prefix, item.name);
        if (item.text)
            json_add_field(nvr, key, item.text, item.size);
        else
            json_add_int(nvr, key, item.value);
    }
}

void on_get_rtsp_info_cb(IpcAnswer& answer)
{
    if (answer.count > 0) {
        static rtsp_info info;
        json_object* list = json_object_new_array();
        for (int i = 0; i < answer.count; i++) {
            answer_record(answer, &info, i);
            json_object* ipc = json_object_new_object();
            json_add_field(ipc, "main", info.ipc_main, sizeof info.ipc_main);
            json_add_field(ipc, "sub", info.ipc_sub, sizeof info.ipc_sub);
            json_object* nvr = json_object_new_object();
            add_stream(nvr, "main", info.main);
            add_stream(nvr, "sub", info.sub);
            json_object* o = json_object_new_object();
            json_object_object_add(o, "ipc", ipc);
            json_object_object_add(o, "nvr", nvr);
            json_object_array_add(list, o);
        }
        json_object* reply = json_object_new_object();
        json_object_object_add(reply, "rtspaddr", list);
        cgi_writeback_json(REPLY_JSON, reply);
    }
}

void on_get_extern_ports_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(extern_ports, upnp, "upnp_extern_port", I32),
        JSON_FIELD(extern_ports, ddns, "ddns_extern_port", I32),
    };
    extern_ports ports;
    answer_record(answer, &ports);
    reply_record(&ports, kFields);
}

// Response code, record size, fewest whole records, printer.
const IpcResponse kLiveResponses[] = {
    {RSP_LIVE_IMAGE, (int)sizeof(image_reply), 1, on_get_live_image_cb},
    {RSP_LIVE_START, (int)sizeof(live_reply), 1, on_start_live_cb},
    {RSP_LIVE_RTSP_INFO, (int)sizeof(rtsp_info), 0, on_get_rtsp_info_cb},
    {RSP_EXTERN_PORTS, (int)sizeof(extern_ports), 1, on_get_extern_ports_cb},
};

}  // namespace

const WebModulePart playback_live_part = WEB_MODULE_PART("playback", kLiveResources, kLiveResponses);
