// State pages: what the core service reports about interfaces, cameras,
// alarms, channels, usage and logged-in users, merged with the names and
// addresses the database holds; the disk groups come from the database only.
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "core/channels.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "modules/alarm/alarm_records.h"
#include "modules/record/record_records.h"
#include "modules/state/state.h"
#include "modules/storage/storage.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define STATUS_RESOURCES(X) \
    X("/8000", on_get_netif_status, "network interfaces: addresses, link, IPv6") \
    X("/8001", on_get_netif_speed, "receive and send rate of each interface") \
    X("/8002", on_get_camera_status, "camera of each channel: address, streams, recording") \
    X("/8003", on_get_alarm_status, "alarm and event state of cameras, inputs and outputs") \
    X("/8004", on_state_empty, "kept for the pages; answers nothing") \
    X("/8008", on_get_usage_info, "usage totals") \
    X("/8009", on_get_channel_support, "channels' support flags and types") \
    X("/8010", on_get_disk_groups, "disk groups and their channels, from the database") \
    X("/8011", on_cgi_get_online_user_status, "logged-in users")

STATUS_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kStatusResources[] = {STATUS_RESOURCES(WEB_RESOURCE_ROW)};

HandlerStatus ask(int code)
{
    return cgi_ask(on_state_ipc_callback, code, nullptr, 0, HANDLER_ERROR_JSON);
}

HandlerStatus on_get_netif_status(const char*) { return ask(REQ_NETIF_STATUS); }
HandlerStatus on_get_netif_speed(const char*) { return ask(REQ_NETIF_SPEED); }
HandlerStatus on_get_camera_status(const char*) { return ask(REQ_CAMERA_STATUS); }
HandlerStatus on_get_alarm_status(const char*) { return ask(REQ_ALARM_STATUS); }
HandlerStatus on_state_empty(const char*) { return HANDLER_SILENT; }
HandlerStatus on_get_usage_info(const char*) { return ask(REQ_USAGE_INFO); }
HandlerStatus on_get_channel_support(const char*) { return ask(REQ_CHANNEL_SUPPORT); }
HandlerStatus on_cgi_get_online_user_status(const char*) { return ask(REQ_ONLINE_USERS); }

HandlerStatus on_get_disk_groups(const char*)
{
    json_object* reply = json_object_new_object();
    storage_add_groups(reply);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// ---- answers ---------------------------------------------------------------

const JsonField kNetifStatusFields[] = {
    JSON_FIELD(netif_status, ifname, "ifname", TEXT),
    JSON_FIELD(netif_status, id, "id", I32),
    JSON_FIELD(netif_status, state, "state", I32),
    JSON_FIELD(netif_status, speed_mode, "speedMode", I32),
    JSON_FIELD(netif_status, duplex, "duplex", I32),
    JSON_FIELD(netif_status, enable, "enable", I32),
    JSON_FIELD(netif_status, dhcp_enable, "dhcpEnable", I32),
    JSON_FIELD(netif_status, ip_addr, "ipAddr", TEXT),
    JSON_FIELD(netif_status, mac, "MAC", TEXT),
    JSON_FIELD(netif_status, primary_dns, "primaryDNS", TEXT),
    JSON_FIELD(netif_status, second_dns, "secondDNS", TEXT),
    JSON_FIELD(netif_status, gateway, "gateway", TEXT),
    JSON_FIELD(netif_status, netmask, "netmask", TEXT),
    JSON_FIELD(netif_status, mtu, "mtu", I32),
    JSON_FIELD(netif_status, ip6_mode, "ip6mode", U8),
    JSON_FIELD(netif_status, ip6_address, "ip6address", TEXT),
    JSON_FIELD(netif_status, ip6_prefix, "ip6prefix", I32),
    JSON_FIELD(netif_status, ip6_gateway, "ip6gateway", TEXT),
};

const JsonField kNetifSpeedFields[] = {
    JSON_FIELD(netif_speed, id, "id", I32),
    JSON_FIELD(netif_speed, ifname, "ifname", TEXT),
    JSON_FIELD(netif_speed, rx_speed, "RxSpeed", I32),
    JSON_FIELD(netif_speed, tx_speed, "TxSpeed", I32),
};

const JsonField kUsageFields[] = {
    JSON_FIELD(usage_info, total, "total", I32),
    JSON_FIELD(usage_info, free, "free", I32),
    JSON_FIELD(usage_info, used, "used", I32),
};

const JsonField kOnlineUserFields[] = {
    JSON_FIELD(online_user, user_name, "userName", TEXT),
    JSON_FIELD(online_user, user_level, "userLevel", I32),
    JSON_FIELD(online_user, ipaddr, "ipaddr", TEXT),
    JSON_FIELD(online_user, login_time, "loginTime", TEXT),
};

// {"key": [one object per record]} from a field table.
template <typename Record, size_t N>
json_object* record_list(const IpcAnswer& answer, const JsonField (&fields)[N])
{
    json_object* list = json_object_new_array();
    for (int i = 0; i < answer.count; i++) {
        Record r;
        answer_record(answer, &r, i);
        json_object* item = json_object_new_object();
        json_from_record(item, &r, fields);
        json_object_array_add(list, item);
    }
    return list;
}

void on_get_netif_status_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "netif", record_list<netif_status>(answer, kNetifStatusFields));
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_get_netif_speed_cb(IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "netif", record_list<netif_speed>(answer, kNetifSpeedFields));
    cgi_writeback_json(REPLY_JSON, reply);
}

void on_get_online_user_cb(IpcAnswer& answer)
{
    cgi_writeback_json(REPLY_JSON, record_list<online_user>(answer, kOnlineUserFields));
}

void on_get_usage_info_cb(IpcAnswer& answer)
{
    usage_info usage;
    answer_record(answer, &usage);
    reply_record(&usage, kUsageFields);
}

void on_get_channel_support_cb(IpcAnswer& answer)
{
    channel_support all;
    answer_record(answer, &all);
    char support[STATE_CHANNELS + 1], type[STATE_CHANNELS + 1];
    for (int i = 0; i < STATE_CHANNELS; i++) {
        const channel_support_entry& e = all.entries[i];
        support[i] = e.support == 1 ? '1' : '0';
        type[i] = e.type == 1 ? '1' : e.type == 2 ? '2' : '0';
    }
    support[STATE_CHANNELS] = type[STATE_CHANNELS] = '\0';
    json_object* reply = json_object_new_object();
    json_add_text(reply, "support", support);
    json_add_text(reply, "type", type);
    cgi_writeback_json(REPLY_JSON, reply);
}

// Name (from the OSD) and address of a channel, as the database holds them.
struct ChannelNames {
    osd display;
    db_camera camera;
};

void read_channel(int channel, ChannelNames* out)
{
    read_osd(VXDB_MAIN, &out->display, channel);
    read_camera(VXDB_MAIN, &out->camera, channel);
}

json_object* stream_json(const camera_stream_status& s)
{
    json_object* o = json_object_new_object();
    json_object* res = json_object_new_object();
    json_add_int(res, "width", s.width);
    json_add_int(res, "height", s.height);
    json_object_object_add(o, "res", res);
    json_add_int(o, "framerate", s.framerate);
    json_add_int(o, "bitrate", s.bitrate);
    json_add_int(o, "connection", s.connection);
    json_add_int(o, "connectStatus", s.connect_status);
    return o;
}

json_object* unknown_stream_json()
{
    json_object* o = json_object_new_object();
    for (const char* key : {"res", "framerate", "bitrate", "connection"})
        json_add_text(o, key, "--");
    return o;
}

void on_get_camera_status_cb(IpcAnswer& answer)
{
    const int channels = get_max_cameras(VXDB_MAIN);
    json_object* list = json_object_new_array();
    // Records come in ascending channel order: one waits until the walk
    // reaches its channel, one the walk has passed holds back the rest.
    int r = 0;
    for (int c = 0; c < channels; c++) {
        ChannelNames names;
        read_channel(c, &names);
        json_object* o = json_object_new_object();
        json_add_int(o, "id", c);
        json_add_field(o, "name", names.display.name, sizeof names.display.name);
        json_add_int(o, "enable", names.camera.enable);
        if (names.camera.address[0])
            json_add_field(o, "ipAddr", names.camera.address, sizeof names.camera.address);
        else
            json_add_text(o, "ipAddr", "--");
        camera_status s;
        if (r < answer.count && answer_record(answer, &s, r) && s.channel == c) {
            json_add_int(o, "recordOn", s.record_on);
            json_add_int(o, "alarmOn", s.alarm_on);
            json_object_object_add(o, "main", stream_json(s.main_stream));
            json_object_object_add(o, "sub", stream_json(s.sub_stream));
            r++;
        } else {
            json_add_text(o, "recordOn", "--");
            json_add_text(o, "alarmOn", "--");
            json_object_object_add(o, "main", unknown_stream_json());
            json_object_object_add(o, "sub", unknown_stream_json());
        }
        json_object_array_add(list, o);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "IPC", list);
    cgi_writeback_json(REPLY_JSON, reply);
}

int bit(uint64_t mask, int n)
{
    return (int)((mask >> n) & 1);
}

void add_keyed(json_object* o, const char* key, int k, int64_t value)
{
    char name[32];
    snprintf(name, sizeof name, "%s%d", key, k);
    json_add_int(o, name, value);
}

// The camera event names of one channel, set k at idx = k * 64 + channel.
struct CameraEventNames {
    alarm_chnIn_event_name in[CAMERA_ALARM_INPUTS][ALARM_CHANNELS];
    alarm_chnOut_event_name out[CAMERA_ALARM_OUTPUTS][ALARM_CHANNELS];
};

json_object* camera_alarm_json(int c, const alarm_status& s, const CameraEventNames& names)
{
    ChannelNames channel;
    read_channel(c, &channel);
    json_object* o = json_object_new_object();
    json_add_int(o, "id", c);
    json_add_field(o, "name", channel.display.name, sizeof channel.display.name);
    json_add_field(o, "ipAddr", channel.camera.address, sizeof channel.camera.address);
    json_add_int(o, "videolossOn", bit(s.video_loss, c));
    json_add_int(o, "motionOn", bit(s.motion, c));
    json_add_int(o, "ioOn", 1);
    const struct {
        const char* key;
        uint64_t mask;
    } events[] = {
        {"entrance", s.entrance},         {"exiting", s.exiting},
        {"advancedMotion", s.advanced_motion}, {"tampering", s.tampering},
        {"lineCrossing", s.line_crossing},  {"loitering", s.loitering},
        {"humanDetection", s.human_detection}, {"objectleftremove", s.object_left_remove},
    };
    for (const auto& e : events)
        json_add_int(o, e.key, bit(e.mask, c));
    json_add_int(o, "in", s.io[c][0]);
    json_add_int(o, "out", s.io[c][1]);
    char key[32];
    for (int k = 0; k < CAMERA_ALARM_INPUTS; k++) {
        const alarm_chnIn_event_name& in = names.in[k][c];
        snprintf(key, sizeof key, "AlarmInName%d", k);
        json_add_field(o, key, in.name, sizeof in.name);
        add_keyed(o, "AlarmInType", k, bit(s.camera_in_type[k], c));
        add_keyed(o, "AlarmInState", k, bit(s.camera_in_state[k], c));
        if (k >= CAMERA_ALARM_OUTPUTS)
            continue;
        const alarm_chnOut_event_name& out = names.out[k][c];
        snprintf(key, sizeof key, "AlarmOutName%d", k);
        json_add_field(o, key, out.name, sizeof out.name);
        add_keyed(o, "AlarmOutDelay", k, out.delay_time);
        add_keyed(o, "AlarmOutType", k, bit(s.camera_out_type[k], c));
        add_keyed(o, "AlarmOutState", k, bit(s.camera_out_state[k], c));
    }
    return o;
}

// A count parameter cut to [0, limit].
int param_count(const char* key, int fallback, int limit)
{
    int n = get_param_int(VXDB_MAIN, key, fallback);
    return n < 0 ? 0 : n > limit ? limit : n;
}

void on_get_alarm_status_cb(IpcAnswer& answer)
{
    alarm_status s;
    answer_record(answer, &s);
    // 28 KB of names: on the heap, not on the delivery context's stack.
    std::unique_ptr<CameraEventNames> names(new CameraEventNames);
    for (int k = 0; k < CAMERA_ALARM_INPUTS; k++)
        read_alarm_chnIn_event_names(VXDB_MAIN, names->in[k], k);
    for (int k = 0; k < CAMERA_ALARM_OUTPUTS; k++)
        read_alarm_chnOut_event_names(VXDB_MAIN, names->out[k], k);

    json_object* reply = json_object_new_object();
    json_object* cameras = json_object_new_array();
    const int channels = get_max_cameras(VXDB_MAIN);
    for (int c = 0; c < channels; c++)
        json_object_array_add(cameras, camera_alarm_json(c, s, *names));
    json_object_object_add(reply, "cameras", cameras);

    json_object* inputs = json_object_new_array();
    for (int n = 0, count = param_count("alarm_in", 16, STATE_NVR_ALARM_INPUTS); n < count; n++) {
        alarm_in in;
        read_alarm_in(VXDB_MAIN, &in, n);
        json_object* o = json_object_new_object();
        json_add_int(o, "id", n);
        json_add_field(o, "name", in.name, sizeof in.name);
        json_add_int(o, "type", in.type);
        json_add_int(o, "state", bit(s.alarm_in_state, n));
        json_object_array_add(inputs, o);
    }
    json_object_object_add(reply, "alarmIn", inputs);

    alarm_out outs[NVR_ALARM_OUTPUTS];
    read_alarm_outs(VXDB_MAIN, outs);
    json_object* outputs = json_object_new_array();
    for (int n = 0, count = param_count("alarm_out", 4, STATE_NVR_ALARM_OUTPUTS); n < count; n++) {
        json_object* o = json_object_new_object();
        json_add_int(o, "id", n);
        json_add_field(o, "name", outs[n].name, sizeof outs[n].name);
        json_add_int(o, "type", outs[n].type);
        json_add_int(o, "duration", outs[n].duration_time);
        json_add_int(o, "state", bit(s.alarm_out_state, n));
        json_object_array_add(outputs, o);
    }
    json_object_object_add(reply, "alarmOut", outputs);
    cgi_writeback_json(REPLY_JSON, reply);
}

// Response code, record size, fewest whole records, printer. The single-record
// answers need their record: a shorter one is no answer.
const IpcResponse kStatusResponses[] = {
    {8301, (int)sizeof(netif_status), 0, on_get_netif_status_cb},
    {8302, (int)sizeof(netif_speed), 0, on_get_netif_speed_cb},
    {8300, (int)sizeof(camera_status), 0, on_get_camera_status_cb},
    {8305, (int)sizeof(alarm_status), 1, on_get_alarm_status_cb},
    {8306, (int)sizeof(usage_info), 1, on_get_usage_info_cb},
    {8263, (int)sizeof(channel_support), 1, on_get_channel_support_cb},
    {6719, (int)sizeof(online_user), 0, on_get_online_user_cb},
};

}  // namespace

const WebModulePart state_status_part = WEB_MODULE_PART("state", kStatusResources, kStatusResponses);
