// Device root seed: the directories the device has and a database of
// defaults, so that a fresh root behaves like a recorder out of the box.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "core/encodings.h"
#include "coresim/coresim.h"
#include "modules/network/network_records.h"
#include "modules/alarm/alarm_records.h"
#include "modules/ptz/ptz_records.h"
#include "modules/record/record_records.h"
#include "modules/storage/storage_records.h"
#include "modules/system/system_user.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {

void make_dirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

struct Param {
    const char* key;
    const char* value;
};

const Param kParams[] = {
    {"max_cameras", "16"},
    {"software_version", "1.0.0-sim"},
    {"hardware_version", "V1.1"},
    {"model", "SIM-NVR16"},
    {"serial", "SIM0000000001"},
    {"vxfs_dbup", "0"},
    {"failover_mode", "0"},
    {"same_channel_exist", "0"},
    {"raidmode", "0"},
    {"esata_type", "0"},
    {"group_mode", "0"},
    {"max_poe_num", "8"},
};

// Writes `count` records, each zeroed and then filled by `fill` with its number.
template <typename Record, typename Fill>
void seed_each(int count, int (*write)(const char*, const Record*), Fill fill)
{
    for (int i = 0; i < count; i++) {
        Record record;
        memset(&record, 0, sizeof record);
        fill(record, i);
        write(VXDB_MAIN, &record);
    }
}

// The local disks of the simulated recorder, as the database keeps them.
void seed_disks()
{
    seed_each(4, write_disk, [](db_disk& disk, int i) {
        disk.port = i + 1;
        disk.enable = 1;
        disk.property = 1;
    });
    storage_group groups[STORAGE_MAX_GROUPS];
    memset(groups, 0, sizeof groups);
    for (int i = 0; i < STORAGE_MAX_GROUPS; i++)
        groups[i].id = i + 1;
    vxdb_write_range(VXDB_MAIN, {"group", (int)sizeof(storage_group), STORAGE_MAX_GROUPS}, 0, groups,
                     STORAGE_MAX_GROUPS, (int)sizeof(storage_group));
}

// The administrator of a recorder out of the box: "admin" with the password
// "admin123", kept as the browser sends it (lower-case hex MD5).
void seed_users()
{
    UserRecord admin;
    memset(&admin, 0, sizeof admin);
    admin.id = 0;
    admin.enable = 1;
    wire_text(admin.name, "admin");
    wire_text(admin.password, "0192023a7bbd73250516f069df18b500");
    admin.type = USER_LEVEL_ADMIN;
    char all[USER_CHANNELS_CUT + 1];
    memset(all, '1', USER_CHANNELS_CUT);
    all[USER_CHANNELS_CUT] = '\0';
    wire_text(admin.localliveview, all);
    wire_text(admin.localplayback, all);
    wire_text(admin.remoteliveview, all);
    wire_text(admin.remoteplayback, all);
    wire_text(admin.added, "0");
    admin.local_live_view = admin.local_playback = admin.local_retrieve = 1;
    admin.local_smart_analysis = admin.local_event = admin.local_camera = 1;
    admin.local_storage = admin.local_settings = admin.local_status = admin.local_shutdown = 1;
    admin.remote_live_view = admin.remote_playback = admin.remote_retrieve = 1;
    admin.remote_smart_analysis = admin.remote_event = admin.remote_camera = 1;
    admin.remote_storage = admin.remote_settings = admin.remote_status = admin.remote_shutdown = 1;
    // -1: every permission.
    admin.permission = -1;
    admin.remote_permission = -1;
    user_update_masks(&admin);
    write_user(VXDB_MAIN, &admin);
}

// Motion detection of the 16 cameras out of the box: off, middle
// sensitivity, each record under its own channel.
void seed_motion()
{
    seed_each(16, write_motion, [](motion& record, int channel) {
        record.id = channel;
        record.sensitivity = 3;
        record.interval = 10;
    });
}

// Video loss of the 16 cameras: on, each record under its own channel;
// the exception entries of HTTP notification unused.
void seed_video_loss()
{
    seed_each(16, write_video_lost, [](video_lost& record, int channel) {
        record.id = channel;
        record.enable = 1;
        record.interval = 10;
    });
    HttpNotificationParams entries[EXCEPTION_ENTRIES];
    memset(entries, 0, sizeof entries);
    for (HttpNotificationParams& e : entries)
        e.channel = -1;
    write_http_notification_params_batch(VXDB_MAIN, EXCEPTION_HTTP_PARAMS, entries);
}

// Every channel's recording row (id = channel), recording all day on its
// schedule, holidays included; a camera on each of the 16 channels: two on
// PoE ports, one speaking RTSP, every other model with ANR.
void seed_recording()
{
    db_record records[RECORD_CHANNELS];
    memset(records, 0, sizeof records);
    for (int c = 0; c < RECORD_CHANNELS; c++)
        records[c].id = c;
    vxdb_write_range(VXDB_MAIN, {"record", (int)sizeof(db_record), RECORD_CHANNELS}, 0, records, RECORD_CHANNELS,
                     (int)sizeof(db_record));
    static Schedule all_day;
    memset(&all_day, 0, sizeof all_day);
    for (ScheduleDay& day : all_day.days) {
        day.whole_day_enable = 1;
        day.whole_day_action = 1;
    }
    copy_record_schedules(VXDB_MAIN, &all_day, ~0ULL);
    for (int c = 0; c < 16; c++) {
        db_camera camera;
        memset(&camera, 0, sizeof camera);
        camera.id = c;
        camera.enable = 1;
        snprintf(camera.address, sizeof camera.address, "10.0.0.%d", 100 + c);
        camera.manage_port = 80;
        camera.protocol = c == 3 ? CAMERA_PROTOCOL_RTSP : 0;
        camera.poe_channel = c < 2 ? c + 1 : 0;
        camera.enable_sub_stream = 1;
        wire_text(camera.model, c % 2 ? "SIM-IPC-BASIC" : "SIM-IPC-ANR");
        write_camera(VXDB_MAIN, &camera);
    }
}

// The network of a recorder out of the box: the first port on
// 192.168.1.10/24, the usual service ports and its MAC text.
void seed_network()
{
    network_record network;
    memset(&network, 0, sizeof network);
    network.mode = NETWORK_MODE_MULTI;
    wire_text(network.host_name, "NVR");
    network.eth0.enable = 1;
    wire_text(network.eth0.ip, "192.168.1.10");
    wire_text(network.eth0.mask, "255.255.255.0");
    wire_text(network.eth0.gw, "192.168.1.1");
    wire_text(network.eth0.dns1, "192.168.1.1");
    wire_text(network.eth0.dns2, "8.8.8.8");
    network.eth0.mtu = network.eth1.mtu = network.bond0.mtu = 1500;
    network.eth0.v6type = 1;  // the router's address, found live
    write_network(VXDB_MAIN, &network);
    port_record ports;
    memset(&ports, 0, sizeof ports);
    ports.ssh = 22;
    ports.http = 80;
    ports.rtsp = 554;
    ports.service = 6036;
    ports.https = 443;
    write_port(VXDB_MAIN, &ports);
    write_mac_conf(VXDB_MAIN, "001E5A0A0B0C");
}

// The NVR's alarm outputs named out of the box, each held 10 seconds.
void seed_alarms()
{
    seed_each(NVR_ALARM_OUTPUTS, write_alarm_out, [](alarm_out& record, int output) {
        record.id = output;
        snprintf(record.name, sizeof record.name, "Alarm output %d", output + 1);
        record.duration_time = 10;
    });
}

// PTZ speeds and RS-485 port settings of the seeded cameras: 9600 baud,
// 8 data bits, 1 stop bit, no parity, protocol 0, address channel + 1.
void seed_ptz()
{
    const int cameras = get_param_int(VXDB_MAIN, "max_cameras", 16);
    for (int channel = 0; channel < cameras && channel < 64; channel++) {
        const db_ptz_speed speed = {channel, 5, 5, 5, 5};
        write_ptz_speed(VXDB_MAIN, &speed, channel);
        const db_ptz_port port = {channel, 9600, 8, 1, 0, 0, channel + 1, 0, 0};
        write_ptz_port(VXDB_MAIN, &port, channel);
    }
}

}  // namespace

void sim_seed_defaults()
{
    // Records only into a new database: a reseed keeps what was changed.
    const bool fresh = check_param_key(VXDB_MAIN, "max_cameras") != 0;
    for (const Param& p : kParams)
        if (check_param_key(VXDB_MAIN, p.key))
            add_param_value(VXDB_MAIN, p.key, p.value);
    if (fresh) {
        seed_disks();
        seed_users();
        seed_motion();
        seed_video_loss();
        seed_recording();
        seed_network();
        seed_alarms();
        seed_ptz();
        sim_netsvc_seed();
        sim_ipc_seed();
        sim_osd_seed();
        sim_anpr_seed();
        sim_p2p_seed();
    }
}

void sim_seed_erased(bool network, bool users)
{
    if (network)
        seed_network();
    if (users)
        seed_users();
}

int sim_seed(const std::string& root)
{
    if (root.empty() || root[0] != '/') {
        fprintf(stderr, "coresim: the root must be an absolute path\n");
        return -1;
    }
    setenv("NVRWEB_ROOT", root.c_str(), 1);
    for (const char* dir : {"/tmp", "/var/run", "/mnt/nand/app", "/mnt/nand/ssl/tmp", "/mnt/nand2",
                            "/dev/shm", "/www", "/mnt/nand/audio"})
        make_dirs(root + dir);
    make_dirs(root + "/mnt/usb1");  // where a packet capture can go
    sim_seed_defaults();
    sim_network_seed();
    sim_sysinfo_seed();
    vxdb_close_all();
    printf("seeded %s\n", root.c_str());
    return 0;
}
