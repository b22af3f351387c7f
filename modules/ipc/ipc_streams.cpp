// Requests the cameras answer through the core service: the LAN search, the
// reachability test, stream settings, address changes, what a stream
// recorded, and the camera firmware upgrade.
#include "modules/ipc/ipc.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/channels.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define STREAM_RESOURCES(X) \
    X("/2006", on_search_camera, "search the LAN for cameras") \
    X("/2009", on_get_camera_stream, "stream settings of the camera of channel 0..7") \
    X("/2010", on_set_camera_stream, "set the streams of a camera") \
    X("/2030", on_set_camera_stream_batch, "set the streams of several cameras") \
    X("/2011", on_set_camera_network, "change the address of a camera") \
    X("/2032", on_set_camera_network_batch, "change the addresses of several cameras") \
    X("/2033", on_get_camera_network_result, "how the address changes ended") \
    X("/2013", on_get_camera_stream_time, "what a stream recorded at a time") \
    X("/2014", on_test_camera, "test whether a camera can be reached") \
    X("/2015", on_test_camera_ex, "the same for cameras with short credentials") \
    X("/2078", on_set_camera_upgrade, "upgrade the cameras of a channel string") \
    X("/2079", on_get_camera_upgrade_status, "progress of the camera upgrade") \
    X("/2080", on_start_camera_upgrade, "upgrade the cameras of a channel list") \
    X("/2081", on_stop_camera_upgrade, "stop the camera upgrade") \
    X("/2082", on_camera_upgrade_ack, "the page's acknowledgement of an upgrade")

STREAM_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kStreamResources[] = {STREAM_RESOURCES(WEB_RESOURCE_ROW)};

// ---- search and test -------------------------------------------------------

HandlerStatus on_search_camera(const char* request)
{
    static const JsonField kProtocol[] = {JSON_WORD_CHECKED("protocol", IPC_PROTOCOL_MAX)};
    int32_t protocol = 0;
    if (!request_record(request, &protocol, kProtocol))
        return HANDLER_ERROR_JSON;
    return ipc_ask(REQ_IPC_SEARCH, &protocol, (int)sizeof protocol, HANDLER_ERROR_JSON);
}

void on_search_camera_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ipc_search_result, address, "ipAddr", TEXT),
        JSON_FIELD(ipc_search_result, manage_port, "managePort", I32),
        JSON_FIELD(ipc_search_result, protocol, "protocol", I32),
        JSON_FIELD(ipc_search_result, mac_addr, "macAddr", TEXT),
        JSON_FIELD(ipc_search_result, vendor, "vendor", TEXT),
        JSON_FIELD(ipc_search_result, sn, "sn", TEXT),
        JSON_FIELD(ipc_search_result, fw_version, "fwVersion", TEXT),
        JSON_FIELD(ipc_search_result, model, "model", TEXT),
        JSON_FIELD(ipc_search_result, model_id, "modelId", I32),
        JSON_FIELD(ipc_search_result, netmask, "netmask", TEXT),
        JSON_FIELD(ipc_search_result, dns, "dns", TEXT),
        JSON_FIELD(ipc_search_result, gateway, "gateway", TEXT),
        JSON_FIELD(ipc_search_result, netif, "netif", I32),
        JSON_FIELD(ipc_search_result, active_status, "active_status", I32),
        JSON_FIELD(ipc_search_result, name, "name", TEXT),
        JSON_FIELD(ipc_search_result, sn_real, "snReal", TEXT),
    };
    cgi_writeback_json(REPLY_JSON, answer_list(answer, IPC_SEARCH_MAX, sizeof(ipc_search_result), kFields));
}

// The keys of a test; the credentials are cut to the payload's fields.
struct TestRequest {
    char address[IPC_TEXT_SIZE];
    int32_t manage_port;
    char user_name[IPC_TEXT_SIZE];
    char password[IPC_TEXT_SIZE];
    int32_t protocol;
};

// The test resources are the older ones: silence gives the text error body.
// The two payloads differ in the room for the credentials.
template <typename Payload>
HandlerStatus ask_test(const char* request, int code)
{
    static const JsonField kFields[] = {
        JSON_FIELD_CHECKED(TestRequest, address, "ipAddr", TEXT, true, 0, 0),
        JSON_FIELD_CHECKED(TestRequest, manage_port, "managePort", I32, true, 0, 65535),
        JSON_FIELD(TestRequest, user_name, "userName", TEXT),
        JSON_FIELD(TestRequest, password, "password", TEXT),
        JSON_FIELD_CHECKED(TestRequest, protocol, "camProtocol", I32, true, 0, IPC_PROTOCOL_MAX),
    };
    TestRequest test;
    if (!request_record(request, &test, kFields))
        return HANDLER_ERROR_TEXT;
    Payload payload;
    memset(&payload, 0, sizeof payload);
    wire_text(payload.address, test.address);
    payload.manage_port = test.manage_port;
    wire_text(payload.user_name, test.user_name);
    wire_text(payload.password, test.password);
    payload.protocol = test.protocol;
    return ipc_ask(code, &payload, (int)sizeof payload, HANDLER_ERROR_TEXT);
}

HandlerStatus on_test_camera(const char* request)
{
    return ask_test<ipc_test>(request, REQ_IPC_TEST);
}

HandlerStatus on_test_camera_ex(const char* request)
{
    return ask_test<ipc_test_ex>(request, REQ_IPC_TEST_EX);
}

void on_test_camera_cb(IpcAnswer& answer)
{
    switch (answer_word(answer)) {
    // 4: reachable, with fewer streams than asked for; the page adds it all the same.
    case IPC_TEST_OK: case IPC_TEST_OK_LIMITED: reply_text("OK"); break;
    case IPC_TEST_NETWORK: reply_text("NETWORKERROR"); break;
    case IPC_TEST_USER: reply_text("USERERROR"); break;
    case IPC_TEST_BANDWIDTH: reply_text("BANDWIDTHERROR"); break;
    default: reply_text("UNKOWNERROR"); break;
    }
}

// ---- streams ---------------------------------------------------------------

HandlerStatus on_get_camera_stream(const char* request)
{
    static const JsonField kChannel[] = {JSON_WORD_CHECKED("chnid", IPC_REMOVABLE_CHANNELS - 1)};
    int32_t channel = 0;
    if (!request_record(request, &channel, kChannel))
        return HANDLER_ERROR_JSON;
    return ipc_ask(REQ_IPC_STREAM_GET, &channel, (int)sizeof channel, HANDLER_ERROR_JSON);
}

json_object* stream_json(const ipc_stream_info& stream)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ipc_stream_info, cur_res, "curRes", TEXT),
        JSON_FIELD(ipc_stream_info, resolutions, "resolutions", TEXT),
        JSON_FIELD(ipc_stream_info, video_type, "videoType", I32),
        JSON_FIELD(ipc_stream_info, framerate, "framerate", I32),
        JSON_FIELD(ipc_stream_info, max_framerate, "maxFramerate", I32),
        JSON_FIELD(ipc_stream_info, bitrate, "bitrate", I32),
        JSON_FIELD(ipc_stream_info, min_bitrate, "minBitrate", I32),
        JSON_FIELD(ipc_stream_info, max_bitrate, "maxBitrate", I32),
        JSON_FIELD(ipc_stream_info, iframe_interval, "iframeinterval", I32),
        JSON_FIELD(ipc_stream_info, bitrate_control, "bitrateCtrl", I32),
        JSON_FIELD(ipc_stream_info, smart_stream, "smartStream", I32),
        JSON_FIELD(ipc_stream_info, smart_stream_level, "smartStreamLevel", I32),
    };
    json_object* object = json_object_new_object();
    json_from_record(object, &stream, kFields);
    return object;
}

void on_get_camera_stream_cb(IpcAnswer& answer)
{
    ipc_stream_reply reply;
    if (!answer_record(answer, &reply)) {
        answer.done = 0;
        return;
    }
    json_object* object = json_object_new_object();
    json_add_int(object, "chnid", reply.channel);
    json_add_int(object, "subEnable", reply.sub_enable);
    json_object_object_add(object, "mainStream", stream_json(reply.main_stream));
    json_object_object_add(object, "subStream", stream_json(reply.sub_stream));
    cgi_writeback_json(REPLY_JSON, object);
}

const JsonField kStreamFields[] = {
    JSON_FIELD(ipc_stream_set, video_type_enable, "videoTypeEnable", I32),
    JSON_FIELD(ipc_stream_set, sub_enable, "subEnable", I32),
    JSON_FIELD(ipc_stream_set, fisheye_type, "fisheyeType", I32),
    JSON_FIELD(ipc_stream_set, main_video_type, "mainVideoType", I32),
    JSON_FIELD(ipc_stream_set, main_res_width, "mainResWidth", I32),
    JSON_FIELD(ipc_stream_set, main_res_height, "mainResHeight", I32),
    JSON_FIELD(ipc_stream_set, main_framerate, "mainFramerate", I32),
    JSON_FIELD(ipc_stream_set, main_bitrate, "mainBitrate", I32),
    JSON_FIELD(ipc_stream_set, main_iframe_interval, "IframeInterval", I32),
    JSON_FIELD(ipc_stream_set, main_bitrate_control, "bitrateControl", I32),
    JSON_FIELD(ipc_stream_set, main_smart_stream, "SmartStream", I32),
    JSON_FIELD(ipc_stream_set, main_smart_stream_level, "SmartStreamLevel", I32),
    JSON_FIELD(ipc_stream_set, record_type, "recordtype", I32),
    JSON_FIELD(ipc_stream_set, event_framerate, "etframerate", I32),
    JSON_FIELD(ipc_stream_set, event_iframe_interval, "etIframeinterval", I32),
    JSON_FIELD(ipc_stream_set, event_bitrate, "etbitrate", I32),
    JSON_FIELD(ipc_stream_set, sub_video_type, "subVideoType", I32),
    JSON_FIELD(ipc_stream_set, sub_res_width, "subResWidth", I32),
    JSON_FIELD(ipc_stream_set, sub_res_height, "subResHeight", I32),
    JSON_FIELD(ipc_stream_set, sub_framerate, "subFramerate", I32),
    JSON_FIELD(ipc_stream_set, sub_bitrate, "subBitrate", I32),
    JSON_FIELD(ipc_stream_set, sub_iframe_interval, "subIframeInterval", I32),
    JSON_FIELD(ipc_stream_set, sub_bitrate_control, "SubBitrateControl", I32),
    JSON_FIELD(ipc_stream_set, sub_smart_stream, "SubSmartStream", I32),
    JSON_FIELD(ipc_stream_set, sub_smart_stream_level, "SubSmartStreamLevel", I32),
};

// The results of the 3203 answers of one batch.
struct StreamBatch {
    int32_t result;
};

HandlerStatus on_set_camera_stream(const char* request)
{
    static const JsonField kId[] = {JSON_FIELD_CHECKED(ipc_stream_set, id, "id", I32, true, 0, IPC_CHANNELS - 1)};
    ipc_stream_set set;
    JsonPtr body = request_record(request, &set, kId);
    if (!body)
        return HANDLER_ERROR_TEXT;
    json_to_record(body.get(), &set, kStreamFields);
    const HandlerStatus status = ipc_ask(REQ_IPC_STREAM_SET, &set, (int)sizeof set, HANDLER_ERROR_JSON);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_CAMERA, oplog_number(set.id));
    return status;
}

HandlerStatus on_set_camera_stream_batch(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* array = nullptr;
    if (!json_object_object_get_ex(body.get(), "chans", &array) || !json_object_is_type(array, json_type_array))
        return HANDLER_ERROR_JSON;
    const ChannelList channels = channel_list_from_array(array, (int)json_object_array_length(array));
    if (channels.count == 0)
        return HANDLER_ERROR_JSON;
    ipc_stream_set set;
    memset(&set, 0, sizeof set);
    json_to_record(body.get(), &set, kStreamFields);
    int32_t first_failure = 0;
    for (int i = 0; i < channels.count; i++) {
        set.id = channels.channels[i];
        StreamBatch batch = {0};
        if (!cgi_request(on_ipc_ipc_callback, REQ_IPC_STREAM_SET, &set, (int)sizeof set, &batch))
            return HANDLER_ERROR_JSON;
        if (first_failure == 0)
            first_failure = batch.result;
    }
    reply_res(first_failure);
    return HANDLER_DONE;
}

void on_set_camera_stream_cb(IpcAnswer& answer)
{
    StreamBatch* batch = (StreamBatch*)answer.context;
    if (batch) {
        batch->result = answer_word(answer);
        return;
    }
    reply_res_cb(answer);
}

// ---- addresses -------------------------------------------------------------

// The keys of "/2011"; a batch entry names the old address "oIPCAddr".
bool read_network(json_object* entry, const char* old_key, ipc_network_set* set)
{
    const JsonField fields[] = {
        JSON_FIELD(ipc_network_set, mac_addr, "macAddr", TEXT),
        JSON_FIELD_CHECKED(ipc_network_set, old_address, old_key, TEXT, true, 0, 0),
        JSON_FIELD_CHECKED(ipc_network_set, new_address, "newIpcAddr", TEXT, true, 0, 0),
        JSON_FIELD(ipc_network_set, netmask, "netmask", TEXT),
        JSON_FIELD(ipc_network_set, gateway, "gateway", TEXT),
        JSON_FIELD(ipc_network_set, dns, "primaryDNS", TEXT),
        JSON_FIELD_CHECKED(ipc_network_set, port, "port", I32, false, 0, 65535),
        JSON_FIELD(ipc_network_set, user_name, "username", TEXT),
        JSON_FIELD(ipc_network_set, password, "password", TEXT),
        JSON_FIELD_CHECKED(ipc_network_set, protocol, "protocol", I32, false, 0, IPC_PROTOCOL_MAX),
        JSON_FIELD(ipc_network_set, netif, "netif", I32),
    };
    memset(set, 0, sizeof *set);
    return json_read_record(entry, set, fields);
}

HandlerStatus on_set_camera_network(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    ipc_network_set set;
    if (!read_network(body.get(), "oldIpcAddr", &set))
        return HANDLER_ERROR_JSON;
    return ipc_ask(REQ_IPC_NETWORK_SET, &set, (int)sizeof set, HANDLER_ERROR_JSON);
}

const char* network_result_text(int32_t result)
{
    static const char* const kTexts[] = {"OK", "ERROR", "PROTO_NOT_SUPPORT", "UNKNOWN_ERR", "INVALID_USER",
                                         "NETWORK_ERR"};
    return result >= 0 && result < WEB_RES_COUNT(kTexts) ? kTexts[result] : "UNKNOWN_ERR";
}

void on_set_camera_network_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_add_text(reply, "resultString", network_result_text(answer_word(answer)));
    cgi_writeback_json(REPLY_JSON, reply);
}

HandlerStatus on_set_camera_network_batch(const char* request)
{
    static const JsonField kChecks[] = {JSON_CHECK("cnt", true, 0, IPC_CHANNELS)};
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* array = nullptr;
    int count = 0;
    if (!json_check(body.get(), kChecks) || !json_get_int(body.get(), "cnt", &count) ||
        !json_object_object_get_ex(body.get(), "oIPCAddr", &array) || !json_object_is_type(array, json_type_array))
        return HANDLER_ERROR_JSON;
    // Never more entries than the array holds; every entry checked before any is sent.
    if ((size_t)count > json_object_array_length(array))
        count = (int)json_object_array_length(array);
    static ipc_network_batch entries[IPC_CHANNELS];
    static const JsonField kEntryChecks[] = {
        JSON_CHECK("modifynum", false, 0, IPC_CHANNELS),
        JSON_CHECK("channelId", false, -1, IPC_CHANNELS - 1),
    };
    for (int i = 0; i < count; i++) {
        json_object* entry = json_array_at(array, (size_t)i);
        ipc_network_batch& e = entries[i];
        if (!read_network(entry, "oIPCAddr", &e.camera) || !json_check(entry, kEntryChecks))
            return HANDLER_ERROR_JSON;
        e.modify_num = 0, e.channel = -1;
        json_get_int(entry, "modifynum", &e.modify_num);
        json_get_int(entry, "channelId", &e.channel);
    }
    for (int i = 0; i < count; i++)
        ipc_tell(REQ_IPC_NETWORK_BATCH, &entries[i], (int)sizeof entries[i]);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_camera_network_result(const char*)
{
    return ipc_ask(REQ_IPC_NETWORK_RESULT, nullptr, 0, HANDLER_ERROR_JSON);
}

void add_result_text(const char* record, json_object* item)
{
    ipc_network_result result;
    memcpy(&result, record, sizeof result);
    json_add_text(item, "resultString", network_result_text(result.result));
}

void on_get_camera_network_result_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ipc_network_result, channel, "channelId", I32),
        JSON_FIELD(ipc_network_result, old_address, "oIPCAddr", TEXT),
        JSON_FIELD(ipc_network_result, new_address, "newIpcAddr", TEXT),
    };
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "result",
                           answer_list(answer, IPC_CHANNELS, sizeof(ipc_network_result), kFields, add_result_text));
    cgi_writeback_json(REPLY_JSON, reply);
}

// ---- stream time -----------------------------------------------------------

// "%Y-%m-%d %H:%M:%S" exactly, with plausible fields.
bool is_date_time(const char* text)
{
    int y, mo, d, h, mi, s, end = 0;
    if (strlen(text) != 19 || sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &end) != 6 ||
        end != 19)
        return false;
    return y >= 1970 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h <= 23 && mi <= 59 && s <= 59 && h >= 0 &&
           mi >= 0 && s >= 0;
}

HandlerStatus on_get_camera_stream_time(const char* request)
{
    static const JsonField kFields[] = {
        JSON_FIELD_CHECKED(ipc_stream_time, channel, "chnid", I32, true, 0, IPC_CHANNELS - 1),
        JSON_FIELD_CHECKED(ipc_stream_time, stream_type, "streamType", I32, true, 0, 1),
        JSON_FIELD_CHECKED(ipc_stream_time, time, "time", TEXT, true, 0, 0),
    };
    ipc_stream_time query;
    if (!request_record(request, &query, kFields) || !is_date_time(query.time))
        return HANDLER_ERROR_JSON;
    return ipc_ask(REQ_IPC_STREAM_TIME, &query, (int)sizeof query, HANDLER_ERROR_JSON);
}

// ---- camera upgrade --------------------------------------------------------

ipc_upgrade_request upgrade_request(uint64_t channels, uint64_t reset)
{
    ipc_upgrade_request upgrade;
    memset(&upgrade, 0, sizeof upgrade);
    upgrade.channels = channels;
    upgrade.reset_channels = reset;
    wire_text(upgrade.path, IPC_UPGRADE_IMAGE);
    return upgrade;
}

HandlerStatus on_set_camera_upgrade(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char* channels = nullptr;
    const char* reset = "";
    int64_t size = 0;
    if (!json_get_text(body.get(), "chnMask", &channels) || !json_get_int64(body.get(), "fileSize", &size) ||
        size < 0)
        return HANDLER_ERROR_JSON;
    json_get_text(body.get(), "resetMask", &reset);
    ipc_upgrade_request upgrade =
        upgrade_request(channel_string_mask(channels, strlen(channels)), channel_string_mask(reset, strlen(reset)));
    upgrade.file_size = size;
    return ipc_ask(REQ_IPC_UPGRADE_SET, &upgrade, (int)sizeof upgrade, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_camera_upgrade_status(const char*)
{
    return ipc_ask(REQ_IPC_UPGRADE_STATUS, nullptr, 0, HANDLER_ERROR_TEXT);
}

// The answer is read only as far as it goes: a status or the channel string
// it does not hold is left out.
void on_get_camera_upgrade_status_cb(IpcAnswer& answer)
{
    const int64_t channels = (int64_t)((uint64_t)(uint32_t)answer_word(answer, 0) |
                                       (uint64_t)(uint32_t)answer_word(answer, 1) << 32);
    char text[512];
    size_t used = (size_t)snprintf(text, sizeof text, "chnid=%" PRId64 "\r\n", channels);
    const int held = (answer.length - (int)offsetof(ipc_upgrade_status, status)) / 4;
    int reported = 0;
    for (int channel = 0; channel < IPC_CHANNELS && reported < IPC_UPGRADE_REPORTED; channel++) {
        if (!((uint64_t)channels >> channel & 1))
            continue;
        reported++;
        if (channel < held)
            used += (size_t)snprintf(text + used, sizeof text - used, "status%d=%d\r\n", channel,
                                     answer_word(answer, 2 + channel));
    }
    char mask[sizeof(ipc_upgrade_status::channel_string)] = "";
    const int at = (int)offsetof(ipc_upgrade_status, channel_string);
    if (answer.length > at) {
        const size_t held_bytes = (size_t)(answer.length - at);
        const size_t n = held_bytes < sizeof mask - 1 ? held_bytes : sizeof mask - 1;
        memcpy(mask, answer.payload + at, n);
        mask[n] = '\0';
    }
    snprintf(text + used, sizeof text - used, "chnMask=%s\r\n", mask);
    reply_text(text);
}

HandlerStatus on_start_camera_upgrade(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    json_object* array = nullptr;
    if (!json_object_object_get_ex(body.get(), "chnAry", &array) || !json_object_is_type(array, json_type_array))
        return HANDLER_ERROR_JSON;
    // Channels outside 0..63 are ignored: a shift by 64 or more once set
    // whatever bit the processor chose.
    const ChannelList channels = channel_list_from_array(array, (int)json_object_array_length(array));
    int reset = 0;
    json_get_int(body.get(), "reset", &reset);
    ipc_upgrade_request upgrade = upgrade_request(channels.mask, reset == 1 ? channels.mask : 0);
    return ipc_ask(REQ_IPC_UPGRADE_START, &upgrade, (int)sizeof upgrade, HANDLER_ERROR_JSON);
}

void on_start_camera_upgrade_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(ipc_upgrade_started, channels, "chnid", I64),
        JSON_FIELD(ipc_upgrade_started, status, "status", I32),
        JSON_FIELD(ipc_upgrade_started, channel_string, "chnMask", TEXT),
    };
    ipc_upgrade_started started;
    if (!answer_record(answer, &started)) {
        answer.done = 0;
        return;
    }
    reply_record(&started, kFields);
}

HandlerStatus on_stop_camera_upgrade(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t stop = 0;
    if (!json_get_int(body.get(), "stop", &stop))
        return HANDLER_ERROR_JSON;
    ipc_tell(REQ_IPC_UPGRADE_STOP, &stop, (int)sizeof stop);
    return HANDLER_SILENT;
}

HandlerStatus on_camera_upgrade_ack(const char* request)
{
    if (!request || !request[0])
        return HANDLER_ERROR_TEXT;
    reply_text("CGI SUCCESS");
    return HANDLER_DONE;
}

// Response code, record size, fewest whole records, printer.
const IpcResponse kStreamResponses[] = {
    {8200, (int)sizeof(ipc_search_result), 0, on_search_camera_cb},
    {8202, 4, 1, on_test_camera_cb},
    {8227, 4, 1, on_test_camera_cb},
    {8203, 4, 1, on_set_camera_stream_cb},
    {8204, (int)sizeof(ipc_stream_reply), 1, on_get_camera_stream_cb},
    {8205, 4, 1, on_set_camera_network_cb},
    {8230, (int)sizeof(ipc_network_result), 0, on_get_camera_network_result_cb},
    {8493, 4, 1, reply_res_cb},
    {8385, 4, 1, reply_res_cb},
    {8386, 8, 1, on_get_camera_upgrade_status_cb},
    {8379, (int)sizeof(ipc_upgrade_started), 1, on_start_camera_upgrade_cb},
};

}  // namespace

const WebModulePart ipc_streams_part = WEB_MODULE_PART("ipc", kStreamResources, kStreamResponses);
