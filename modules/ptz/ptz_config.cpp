// PTZ configuration: the serial port settings kept in the database, whether a
// camera supports PTZ, its LED state, and the basic settings the camera keeps.
#include "modules/ptz/ptz.h"

#include <cstring>

#include "core/channels.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define CONFIG_RESOURCES(X) \
    X("/6050", on_get_ptzport_info, "serial port settings of a channel (0..7)") \
    X("/6051", on_set_ptzport_info, "store the serial port settings of channels") \
    X("/6052", on_get_ptzsupport_info, "whether a camera supports PTZ") \
    X("/5010", on_cgi_get_led_status, "LED state of a camera") \
    X("/5011", on_cgi_get_ptz_basic, "PTZ basic settings of a camera") \
    X("/5012", on_cgi_set_ptz_basic, "set the PTZ basic settings of a camera")

CONFIG_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kConfigResources[] = {CONFIG_RESOURCES(WEB_RESOURCE_ROW)};

// Keys in the order of the reply; the checks are those of a change.
const JsonField kPortFields[] = {
    JSON_FIELD(db_ptz_port, channel, "camId", I32),
    JSON_FIELD_CHECKED(db_ptz_port, connect_type, "connectType", I32, true, 0, 1),
    JSON_FIELD_CHECKED(db_ptz_port, baud_rate, "baudRate", I32, true, 0, INT32_MAX),
    JSON_FIELD_CHECKED(db_ptz_port, data_bits, "dataBits", I32, true, 5, 8),
    JSON_FIELD_CHECKED(db_ptz_port, stop_bits, "stopBits", I32, true, 0, INT32_MAX),
    JSON_FIELD_CHECKED(db_ptz_port, parity_type, "parityType", I32, true, 0, 2),
    JSON_FIELD_CHECKED(db_ptz_port, protocol, "protocol", I32, true, 0, 13),
    JSON_FIELD_CHECKED(db_ptz_port, address, "address", I32, true, 0, INT32_MAX),
    JSON_CHECK("cnt", true, JSON_ANY_MIN, JSON_ANY_MAX),
};

HandlerStatus on_get_ptzport_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int channel = 0;
    if (!json_get_int(body.get(), "chnid", &channel) || channel < 0 || channel >= PTZ_PORT_READ_CHANNELS)
        return HANDLER_ERROR_JSON;
    db_ptz_port port;
    if (read_ptz_port(VXDB_MAIN, &port, channel) != 0)
        return HANDLER_ERROR_JSON;
    return reply_record(&port, kPortFields);
}

HandlerStatus on_set_ptzport_info(const char* request)
{
    db_ptz_port port;
    JsonPtr body = request_record(request, &port, kPortFields);
    if (!body || !json_object_object_get_ex(body.get(), "chnid", nullptr))
        return HANDLER_SILENT;
    // The channel comes from the list, never from the body's "camId".
    port.zero = 0;
    const ChannelList channels = channel_list_by_json(body.get(), "chnid", "cnt");
    for (int i = 0; i < channels.count; i++) {
        const int32_t channel = channels.channels[i];
        port.channel = channel;
        if (write_ptz_port(VXDB_MAIN, &port, channel) != 0)
            return HANDLER_ERROR_TEXT;
        ptz_tell(REQ_PTZ_PORT_CHANGED, &channel, (int)sizeof channel);
        ptz_log(LOG_PARAM_PTZ, channel);
    }
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_ptzsupport_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t channel = 0;
    if (!json_get_int(body.get(), "camId", &channel))
        return HANDLER_SILENT;
    return ptz_ask(REQ_PTZ_SUPPORT, &channel, (int)sizeof channel, HANDLER_ERROR_TEXT);
}

HandlerStatus on_cgi_get_led_status(const char* request)
{
    static const JsonField kChecks[] = {JSON_CHECK("chnid", true, 0, 63)};
    JsonPtr body(get_request_tokener_json_object(request));
    int32_t channel = 0;
    if (!json_check(body.get(), kChecks) || !json_get_int(body.get(), "chnid", &channel))
        return HANDLER_ERROR_JSON;
    return ptz_ask(REQ_LED_STATUS, &channel, (int)sizeof channel, HANDLER_ERROR_JSON);
}

// The reply prints the first 17 rows; a change reads every row but "status",
// which goes out as 0.
const JsonField kBasicFields[] = {
    JSON_FIELD(ptz_basic, status, "status", I32),
    JSON_FIELD(ptz_basic, channel, "chnId", I32),
    JSON_FIELD(ptz_basic, zoom_status, "zoomStatus", I32),
    JSON_FIELD(ptz_basic, pan_tilt_status, "panTiltStatus", I32),
    JSON_FIELD(ptz_basic, preset_status, "presetStatus", I32),
    JSON_FIELD(ptz_basic, patrol_status, "patrolStatus", I32),
    JSON_FIELD(ptz_basic, pattern_status, "patternStatus", I32),
    JSON_FIELD(ptz_basic, auto_scan_status, "autoScanStatus", I32),
    JSON_FIELD(ptz_basic, preset_freezing, "presetFreezing", I32),
    JSON_FIELD(ptz_basic, preset_speed, "presetSpeed", I32),
    JSON_FIELD(ptz_basic, manual_speed, "manualSpeed", I32),
    JSON_FIELD(ptz_basic, patrol_recovering, "patrolRecovering", I32),
    JSON_FIELD(ptz_basic, patrol_recovery_time, "patrolRecoveryTime", I32),
    JSON_FIELD(ptz_basic, focus_mode, "focusMode", I32),
    JSON_FIELD(ptz_basic, min_focus_distance, "minFocusDistance", I32),
    JSON_FIELD(ptz_basic, resume_time, "resumeTime", I32),
    JSON_FIELD(ptz_basic, fan_working_mode, "fanWorkingMode", I32),
    JSON_FIELD(ptz_basic, channel_mask, "channelMask", TEXT),
};
constexpr size_t kBasicPrinted = 17;
static_assert(WEB_RES_COUNT(kBasicFields) == kBasicPrinted + 1, "the mask is the one row not printed");

HandlerStatus on_cgi_get_ptz_basic(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_JSON;
    int32_t channel = 0;
    json_get_int(body.get(), "chnId", &channel);
    return ptz_ask(REQ_PTZ_BASIC_GET, &channel, (int)sizeof channel, HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_set_ptz_basic(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_JSON;
    ptz_basic basic;
    memset(&basic, 0, sizeof basic);
    // The text row cuts the mask to its 64 characters and ends it.
    json_to_record(body.get(), &basic, kBasicFields + 1, kBasicPrinted);
    return ptz_ask(REQ_PTZ_BASIC_SET, &basic, (int)sizeof basic, HANDLER_ERROR_JSON);
}

// ---- answers ---------------------------------------------------------------

void on_ip_ptzsupport_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer) == -1 ? "-1" : "0");
}

void on_cgi_get_led_status_cb(IpcAnswer& answer)
{
    static const JsonField kFields[] = {
        JSON_FIELD(led_status, channel, "chnid", I32),
        JSON_FIELD(led_status, status, "status", I32),
    };
    led_status led;
    if (!answer_record(answer, &led)) {
        answer.done = 0;
        return;
    }
    reply_record(&led, kFields);
}

void on_cgi_get_ptz_basic_cb(IpcAnswer& answer)
{
    ptz_basic basic;
    if (!answer_record(answer, &basic)) {
        answer.done = 0;
        return;
    }
    json_object* reply = json_object_new_object();
    json_from_record(reply, &basic, kBasicFields, kBasicPrinted);
    cgi_writeback_json(REPLY_JSON, reply);
}

// Response code, record size, fewest whole records, printer: an LED answer
// under 8 bytes or a basic-settings answer under 136 is no answer.
const IpcResponse kConfigResponses[] = {
    {6262, 4, 1, on_ip_ptzsupport_cb},
    {6270, (int)sizeof(ptz_basic), 1, on_cgi_get_ptz_basic_cb},
    {6271, 4, 1, on_cgi_common_json_cb},
    {8363, (int)sizeof(led_status), 1, on_cgi_get_led_status_cb},
};

}  // namespace

const WebModulePart ptz_config_part = WEB_MODULE_PART("ptz", kConfigResources, kConfigResponses);
