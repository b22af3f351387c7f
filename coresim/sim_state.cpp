// Simulated device state: interfaces from the simulated network, cameras
// from the database as bound there, alarm outputs as switched by hand, disks
// from the simulated storage, and the local console's user.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "coresim/coresim.h"
#include "modules/record/record_records.h"
#include "modules/state/state_records.h"
#include "modules/system/system_user.h"
#include "platform/netif.h"
#include "platform/vxdb.h"

namespace {

// A camera is bound when its channel is enabled and holds an address; the
// database is read on every request, so whatever binds cameras is seen.
bool camera_bound(int channel, db_camera* camera)
{
    read_camera(VXDB_MAIN, camera, channel);
    return camera->enable == 1 && camera->address[0] != '\0';
}

int channel_count()
{
    int n = get_param_int(VXDB_MAIN, "max_cameras", 32);
    return n < 1 ? 1 : n > STATE_CHANNELS ? STATE_CHANNELS : n;
}

// One record for each interface the simulated network has, zeroed and then
// filled by `fill`.
template <typename Record, typename Fill>
void send_per_interface(SimReply& reply, Fill fill)
{
    netsim_interface list[NETSIM_MAX_INTERFACES];
    int n = netsim_read(list, NETSIM_MAX_INTERFACES);
    Record out[NETSIM_MAX_INTERFACES];
    memset(out, 0, sizeof out);
    for (int i = 0; i < n; i++)
        fill(out[i], list[i], i);
    reply.send(out, (size_t)(n > 0 ? n : 0) * sizeof out[0]);
}

void on_netif_status(const SimRequest&, SimReply& reply)
{
    send_per_interface<netif_status>(reply, [](netif_status& s, const netsim_interface& netif, int i) {
        wire_text(s.ifname, netif.name);
        s.id = i;
        s.state = netif.ip[0] ? 1 : 0;
        s.speed_mode = 1000;
        s.duplex = 1;
        s.enable = 1;
        wire_text(s.ip_addr, netif.ip);
        wire_text(s.mac, netif.mac);
        wire_text(s.primary_dns, "8.8.8.8");
        wire_text(s.gateway, netif.gw);
        wire_text(s.netmask, "255.255.255.0");
        s.mtu = 1500;
        s.ip6_mode = netif.ip6[0] ? 1 : 0;
        wire_text(s.ip6_address, netif.ip6);
        s.ip6_prefix = atoi(netif.prefix6);
        wire_text(s.ip6_gateway, netif.gw6);
    });
}

void on_netif_speed(const SimRequest&, SimReply& reply)
{
    const uint32_t tick = (uint32_t)time(nullptr);
    send_per_interface<netif_speed>(reply, [tick](netif_speed& s, const netsim_interface& netif, int i) {
        wire_text(s.ifname, netif.name);
        // Rates that move a little from one second to the next.
        s.rx_speed = netif.ip[0] ? (int32_t)(800 + (tick * 37 + (uint32_t)i * 11) % 400) : 0;
        s.tx_speed = netif.ip[0] ? (int32_t)(200 + (tick * 53 + (uint32_t)i * 7) % 300) : 0;
        s.id = i;
    });
}

void on_camera_status(const SimRequest&, SimReply& reply)
{
    camera_status out[STATE_CHANNELS];
    memset(out, 0, sizeof out);
    size_t n = 0;
    for (int c = 0, channels = channel_count(); c < channels; c++) {
        db_camera camera;
        if (!camera_bound(c, &camera))
            continue;
        camera_status& s = out[n++];
        s.main_stream = {1920, 1080, 25, 4096, 1, 1};
        s.sub_stream = {704, 576, 15, 512, 1, 1};
        s.record_on = 1;
        s.channel = c;
    }
    reply.send(out, n * sizeof out[0]);
}

void on_alarm_status(const SimRequest&, SimReply& reply)
{
    alarm_status s;
    memset(&s, 0, sizeof s);
    s.alarm_out_state = sim_alarm_output_states();
    for (int c = 0, channels = channel_count(); c < channels; c++) {
        db_camera camera;
        read_camera(VXDB_MAIN, &camera, c);
        // An enabled channel without a camera has no video.
        if (camera.enable == 1 && !camera.address[0])
            s.video_loss |= 1ULL << c;
        if (camera.enable == 1 && camera.address[0]) {
            s.io[c][0] = 4;
            s.io[c][1] = 2;
        }
    }
    reply.send(&s, sizeof s);
}

void on_usage_info(const SimRequest&, SimReply& reply)
{
    int64_t total = 0, free = 0;
    sim_storage_usage(&total, &free);
    usage_info u = {(int32_t)total, (int32_t)free, (int32_t)(total - free)};
    reply.send(&u, sizeof u);
}

void on_channel_support(const SimRequest&, SimReply& reply)
{
    channel_support all;
    memset(&all, 0, sizeof all);
    for (int c = 0, channels = channel_count(); c < channels; c++) {
        db_camera camera;
        if (camera_bound(c, &camera)) {
            all.entries[c].support = 1;
            all.entries[c].type = 1;
        }
    }
    reply.send(&all, sizeof all);
}

// The user logged in at the recorder's own console since coresim started.
void on_online_users(const SimRequest&, SimReply& reply)
{
    static const time_t started = time(nullptr);
    UserRecord users[100];
    int enabled = 0;
    read_users(VXDB_MAIN, users, &enabled);
    for (const UserRecord& u : users) {
        if (u.enable != 1 || !u.name[0])
            continue;
        online_user o;
        memset(&o, 0, sizeof o);
        wire_text(o.user_name, u.name);
        o.user_level = u.type;
        wire_text(o.ipaddr, "127.0.0.1");
        struct tm tm;
        localtime_r(&started, &tm);
        strftime(o.login_time, sizeof o.login_time, "%Y-%m-%d %H:%M:%S", &tm);
        reply.send(&o, sizeof o);
        return;
    }
    reply.send(nullptr, 0);
}

const SimEntry kState[] = {
    {REQ_NETIF_STATUS, on_netif_status, "network interfaces"},
    {REQ_NETIF_SPEED, on_netif_speed, "interface rates"},
    {REQ_CAMERA_STATUS, on_camera_status, "bound cameras' streams"},
    {REQ_ALARM_STATUS, on_alarm_status, "alarm and event state"},
    {REQ_USAGE_INFO, on_usage_info, "disk usage totals in MiB"},
    {REQ_CHANNEL_SUPPORT, on_channel_support, "channel support flags"},
    {REQ_ONLINE_USERS, on_online_users, "logged-in users"},
};

}  // namespace

const SimEntry* sim_state_table(int* count)
{
    *count = (int)(sizeof kState / sizeof kState[0]);
    return kState;
}
