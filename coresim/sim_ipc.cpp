// Simulated LAN camera fleet: eight cameras the search finds while no
// channel's camera record names them, that answer reachability tests with
// their credentials, keep per-channel stream settings within their ranges,
// take new addresses, and take a firmware upgrade that runs for about ten
// seconds. Binding is the camera record itself: the CGI writes it before it
// sends 1201, so a search reads the records to leave bound cameras out.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

#include "coresim/coresim.h"
#include "modules/ipc/ipc_records.h"
#include "modules/record/record_records.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"

namespace {

enum { FLEET = 8, UPGRADE_SECONDS = 10, PROTOCOL_RTSP = 1 };

const char kUser[] = "admin";
const char kPassword[] = "admin123";

struct Model {
    const char* name;
    int32_t model_id;
    const char* main_resolutions;
    const char* sub_resolutions;
    int32_t max_framerate;
    int32_t max_bitrate;
};

const Model kModels[] = {
    {"SIM-IPC-ANR", 1, "2560*1440;1920*1080;1280*720", "704*576;640*360", 30, 8192},
    {"SIM-IPC-BASIC", 2, "1920*1080;1280*720", "640*360;352*288", 25, 4096},
};

struct FleetCamera {
    char address[IPC_TEXT_SIZE];
    char mac[32];
    int32_t protocol;
    const Model* model;
};

struct Upgrade {
    uint64_t channels = 0;
    uint64_t reset = 0;
    bool failed = false;
    bool stopped = false;
    std::chrono::steady_clock::time_point start;
};

struct Fleet {
    std::mutex mu;
    bool ready = false;
    FleetCamera cameras[FLEET];
    bool streams_set[IPC_CHANNELS] = {};
    ipc_stream_set streams[IPC_CHANNELS];
    ipc_network_result results[IPC_CHANNELS];
    int result_count = 0;
    Upgrade upgrade;
} g;

// Called with the lock held.
void ensure_fleet()
{
    if (g.ready)
        return;
    for (int i = 0; i < FLEET; i++) {
        FleetCamera& c = g.cameras[i];
        memset(&c, 0, sizeof c);
        snprintf(c.address, sizeof c.address, "10.0.0.%d", 200 + i);
        snprintf(c.mac, sizeof c.mac, "00:1e:5a:00:10:%02x", i);
        // The last two speak the recorder's own protocol.
        c.protocol = i < 6 ? 0 : 2;
        c.model = &kModels[i % 2];
    }
    g.ready = true;
}

FleetCamera* find_by_address(const char* address, size_t size)
{
    for (FleetCamera& c : g.cameras)
        if (strncmp(c.address, address, size) == 0 && strnlen(address, size) < size)
            return &c;
    return nullptr;
}

FleetCamera* find_by_mac(const char* mac, size_t size)
{
    for (FleetCamera& c : g.cameras)
        if (mac[0] && strncasecmp(c.mac, mac, size) == 0)
            return &c;
    return nullptr;
}

// The channel whose enabled camera record names the address, or -1.
int bound_channel(const char* address, const db_camera* cameras)
{
    for (int ch = 0; ch < IPC_CHANNELS; ch++)
        if (cameras[ch].enable == 1 && strncmp(cameras[ch].address, address, sizeof cameras[ch].address) == 0)
            return ch;
    return -1;
}

bool credentials_match(const char* user, size_t user_size, const char* password, size_t password_size)
{
    return strncmp(user, kUser, user_size) == 0 && strncmp(password, kPassword, password_size) == 0;
}

// ---- search and test -------------------------------------------------------

void on_search(const SimRequest& request, SimReply& reply)
{
    const int32_t protocol = request.word();
    // Each connection has its own thread: no shared buffers.
    std::vector<db_camera> cameras(IPC_CHANNELS);
    if (read_cameras(VXDB_MAIN, cameras.data()) != 0)
        memset(cameras.data(), 0, sizeof(db_camera) * IPC_CHANNELS);
    ipc_search_result found[FLEET];
    int n = 0;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        ensure_fleet();
        for (int i = 0; i < FLEET; i++) {
            const FleetCamera& c = g.cameras[i];
            // An RTSP search finds every camera: they all serve RTSP.
            if ((protocol != PROTOCOL_RTSP && protocol != c.protocol) || bound_channel(c.address, cameras.data()) >= 0)
                continue;
            ipc_search_result& r = found[n++];
            memset(&r, 0, sizeof r);
            memcpy(r.address, c.address, sizeof r.address);
            r.manage_port = 80;
            r.protocol = c.protocol;
            memcpy(r.mac_addr, c.mac, sizeof r.mac_addr);
            wire_text(r.vendor, "SIM");
            snprintf(r.sn, sizeof r.sn, "SIMIPC%04d", i);
            wire_text(r.fw_version, "2.1.0-sim");
            wire_text(r.model, c.model->name);
            r.model_id = c.model->model_id;
            wire_text(r.netmask, "255.255.255.0");
            wire_text(r.dns, "10.0.0.1");
            wire_text(r.gateway, "10.0.0.1");
            r.active_status = 1;
            snprintf(r.name, sizeof r.name, "IPC%d", i + 1);
            snprintf(r.sn_real, sizeof r.sn_real, "SIMIPC%04d-R", i);
        }
    }
    reply.send(found, sizeof found[0] * (size_t)n);
}

// Both test records, whichever size their credentials have.
template <typename Test>
int32_t test_result(const Test& t)
{
    std::lock_guard<std::mutex> lock(g.mu);
    ensure_fleet();
    if (!find_by_address(t.address, sizeof t.address))
        return IPC_TEST_NETWORK;
    return credentials_match(t.user_name, sizeof t.user_name, t.password, sizeof t.password) ? IPC_TEST_OK
                                                                                             : IPC_TEST_USER;
}

template <typename Test>
void on_test(const SimRequest& request, SimReply& reply)
{
    Test t;
    if (!request.as(&t))
        return;
    reply.send_word(test_result(t));
}

// ---- notices ---------------------------------------------------------------

void on_login_changed(const SimRequest& request, SimReply&)
{
    const int32_t channel = request.word();
    db_camera camera;
    if (request.length < 4 || read_camera(VXDB_MAIN, &camera, channel) != 0)
        return;
    const bool ok = credentials_match(camera.user_name, sizeof camera.user_name, camera.password,
                                      sizeof camera.password);
    sim_log("camera %d credentials changed: %s", channel, ok ? "accepted" : "refused");
}

void on_poe_changed(const SimRequest& request, SimReply&)
{
    ipc_poe_change poe;
    if (request.as(&poe))
        sim_log("PoE of channel %d changed (other PoE %d)", poe.channel, poe.other_poe);
}

// ---- streams ---------------------------------------------------------------

const Model& channel_model(int channel)
{
    db_camera camera;
    if (read_camera(VXDB_MAIN, &camera, channel) == 0)
        for (const Model& m : kModels)
            if (strncmp(camera.model, m.name, sizeof camera.model) == 0)
                return m;
    return kModels[channel % 2];
}

ipc_stream_set default_streams(int channel, const Model& model)
{
    ipc_stream_set s;
    memset(&s, 0, sizeof s);
    s.id = channel;
    s.sub_enable = 1;
    s.main_res_width = 1920, s.main_res_height = 1080;
    s.main_framerate = model.max_framerate, s.main_bitrate = 4096, s.main_iframe_interval = 50;
    s.sub_res_width = 640, s.sub_res_height = 360;
    s.sub_framerate = 15, s.sub_bitrate = 512, s.sub_iframe_interval = 30;
    return s;
}

bool resolution_in(const char* list, int32_t width, int32_t height)
{
    char wanted[32];
    snprintf(wanted, sizeof wanted, "%d*%d", width, height);
    const size_t n = strlen(wanted);
    for (const char* p = list; p && *p; p = strchr(p, ';') ? strchr(p, ';') + 1 : nullptr)
        if (strncmp(p, wanted, n) == 0 && (p[n] == ';' || p[n] == '\0'))
            return true;
    return false;
}

bool streams_in_range(const ipc_stream_set& s, const Model& m)
{
    const bool main_ok = resolution_in(m.main_resolutions, s.main_res_width, s.main_res_height) &&
                         s.main_framerate >= 1 && s.main_framerate <= m.max_framerate && s.main_bitrate >= 256 &&
                         s.main_bitrate <= m.max_bitrate;
    const bool sub_ok = !s.sub_enable || (resolution_in(m.sub_resolutions, s.sub_res_width, s.sub_res_height) &&
                                          s.sub_framerate >= 1 && s.sub_framerate <= m.max_framerate &&
                                          s.sub_bitrate >= 64 && s.sub_bitrate <= 2048);
    return main_ok && sub_ok;
}

void on_stream_set(const SimRequest& request, SimReply& reply)
{
    ipc_stream_set s;
    if (!request.as(&s))
        return;
    if (s.id < 0 || s.id >= IPC_CHANNELS) {
        reply.send_word(-1);
        return;
    }
    const Model& model = channel_model(s.id);
    const bool ok = streams_in_range(s, model);
    if (ok) {
        std::lock_guard<std::mutex> lock(g.mu);
        g.streams[s.id] = s;
        g.streams_set[s.id] = true;
    }
    reply.send_word(ok ? 0 : -1);
}

void fill_stream(ipc_stream_info* info, const char* resolutions, int32_t width, int32_t height, int32_t framerate,
                 int32_t max_framerate, int32_t bitrate, int32_t min_bitrate, int32_t max_bitrate, int32_t iframe)
{
    memset(info, 0, sizeof *info);
    snprintf(info->cur_res, sizeof info->cur_res, "%d*%d", width, height);
    wire_text(info->resolutions, resolutions);
    info->framerate = framerate, info->max_framerate = max_framerate;
    info->bitrate = bitrate, info->min_bitrate = min_bitrate, info->max_bitrate = max_bitrate;
    info->iframe_interval = iframe;
}

void on_stream_get(const SimRequest& request, SimReply& reply)
{
    const int32_t channel = request.word();
    if (request.length < 4 || channel < 0 || channel >= IPC_CHANNELS)
        return;
    const Model& m = channel_model(channel);
    ipc_stream_set s;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        s = g.streams_set[channel] ? g.streams[channel] : default_streams(channel, m);
    }
    ipc_stream_reply r;
    memset(&r, 0, sizeof r);
    r.channel = channel;
    r.sub_enable = s.sub_enable;
    fill_stream(&r.main_stream, m.main_resolutions, s.main_res_width, s.main_res_height, s.main_framerate,
                m.max_framerate, s.main_bitrate, 256, m.max_bitrate, s.main_iframe_interval);
    r.main_stream.bitrate_control = s.main_bitrate_control;
    r.main_stream.smart_stream = s.main_smart_stream, r.main_stream.smart_stream_level = s.main_smart_stream_level;
    fill_stream(&r.sub_stream, m.sub_resolutions, s.sub_res_width, s.sub_res_height, s.sub_framerate,
                m.max_framerate, s.sub_bitrate, 64, 2048, s.sub_iframe_interval);
    r.sub_stream.bitrate_control = s.sub_bitrate_control;
    r.sub_stream.smart_stream = s.sub_smart_stream, r.sub_stream.smart_stream_level = s.sub_smart_stream_level;
    reply.send(&r, sizeof r);
}

void on_stream_time(const SimRequest& request, SimReply& reply)
{
    ipc_stream_time query;
    if (!request.as(&query))
        return;
    db_camera camera;
    const bool bound = query.channel >= 0 && query.channel < IPC_CHANNELS &&
                       read_camera(VXDB_MAIN, &camera, query.channel) == 0 && camera.enable == 1;
    reply.send_word(bound ? 0 : -1);
}

// ---- addresses -------------------------------------------------------------

// A bound camera keeps its channel: the channel's record follows the address.
struct AddressMove {
    const char* from;
    const char* to;
};

bool move_address(db_camera* camera, void* context)
{
    const AddressMove* m = (const AddressMove*)context;
    if (strncmp(camera->address, m->from, sizeof camera->address) != 0)
        return false;
    wire_text(camera->address, m->to);
    return true;
}

// Answer codes of 3205: 0 done, 1 the address is taken, 2 the protocol cannot
// change addresses, 4 wrong credentials, 5 no such camera.
int32_t change_address(const ipc_network_set& set, int* channel)
{
    char from[IPC_TEXT_SIZE], to[IPC_TEXT_SIZE];
    {
        std::lock_guard<std::mutex> lock(g.mu);
        ensure_fleet();
        FleetCamera* c = find_by_mac(set.mac_addr, sizeof set.mac_addr);
        if (!c)
            c = find_by_address(set.old_address, sizeof set.old_address);
        if (!c)
            return 5;
        if (set.protocol == PROTOCOL_RTSP)
            return 2;
        if (!credentials_match(set.user_name, sizeof set.user_name, set.password, sizeof set.password))
            return 4;
        if (!set.new_address[0] || find_by_address(set.new_address, sizeof set.new_address))
            return 1;
        memcpy(from, c->address, sizeof from);
        memcpy(to, set.new_address, sizeof to);
        to[sizeof to - 1] = '\0';
        memcpy(c->address, to, sizeof c->address);
    }
    std::vector<db_camera> cameras(IPC_CHANNELS);
    if (read_cameras(VXDB_MAIN, cameras.data()) == 0) {
        const int bound = bound_channel(from, cameras.data());
        AddressMove m = {from, to};
        if (bound >= 0 && update_camera(VXDB_MAIN, bound, move_address, &m) == 0 && *channel < 0)
            *channel = bound;
    }
    sim_log("camera %s now at %s", from, to);
    return 0;
}

void keep_result(const ipc_network_set& set, int channel, int32_t result)
{
    std::lock_guard<std::mutex> lock(g.mu);
    if (g.result_count >= IPC_CHANNELS)
        return;
    ipc_network_result& r = g.results[g.result_count++];
    memset(&r, 0, sizeof r);
    memcpy(r.old_address, set.old_address, sizeof r.old_address);
    memcpy(r.new_address, set.new_address, sizeof r.new_address);
    r.old_address[sizeof r.old_address - 1] = r.new_address[sizeof r.new_address - 1] = '\0';
    r.channel = channel;
    r.result = result;
}

void on_network_set(const SimRequest& request, SimReply& reply)
{
    ipc_network_set set;
    if (!request.as(&set))
        return;
    int channel = -1;
    const int32_t result = change_address(set, &channel);
    keep_result(set, channel, result);
    reply.send_word(result);
}

void on_network_batch(const SimRequest& request, SimReply&)
{
    ipc_network_batch entry;
    if (!request.as(&entry))
        return;
    int channel = entry.channel;
    keep_result(entry.camera, channel, change_address(entry.camera, &channel));
}

// The results since the last asking, then forgotten.
void on_network_result(const SimRequest&, SimReply& reply)
{
    ipc_network_result results[IPC_CHANNELS];
    int n = 0;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        n = g.result_count;
        memcpy(results, g.results, sizeof results[0] * (size_t)n);
        g.result_count = 0;
    }
    reply.send(results, sizeof results[0] * (size_t)n);
}

// ---- upgrade ---------------------------------------------------------------

bool image_ready(const ipc_upgrade_request& upgrade)
{
    // Only the one image path is read, whatever else a client names.
    if (strncmp(upgrade.path, IPC_UPGRADE_IMAGE, sizeof upgrade.path) != 0)
        return false;
    struct stat st;
    return stat(device_path(IPC_UPGRADE_IMAGE).c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

void channel_string(uint64_t channels, char* out, size_t size)
{
    size_t i = 0;
    for (; i < IPC_CHANNELS && i + 1 < size; i++)
        out[i] = (channels >> i & 1) ? '1' : '0';
    out[i] = '\0';
}

// Starts an upgrade; the status it starts with. Called with the lock held.
int32_t start_upgrade(const ipc_upgrade_request& request)
{
    Upgrade& u = g.upgrade;
    u = Upgrade();
    u.channels = request.channels;
    u.reset = request.reset_channels & request.channels;
    u.start = std::chrono::steady_clock::now();
    u.failed = request.channels == 0 || !image_ready(request);
    sim_log("camera upgrade of %#llx %s", (unsigned long long)u.channels, u.failed ? "failed" : "started");
    return u.failed ? IPC_UPGRADE_FAILED : 0;
}

int32_t upgrade_status(int channel)
{
    const Upgrade& u = g.upgrade;
    if (!(u.channels >> channel & 1))
        return IPC_UPGRADE_IDLE;
    if (u.failed)
        return IPC_UPGRADE_FAILED;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - u.start).count();
    const int percent = seconds >= UPGRADE_SECONDS ? IPC_UPGRADE_DONE : (int)(seconds * 100 / UPGRADE_SECONDS);
    return u.stopped && percent < IPC_UPGRADE_DONE ? IPC_UPGRADE_STOPPED : percent;
}

void on_upgrade_set(const SimRequest& request, SimReply& reply)
{
    ipc_upgrade_request upgrade;
    if (!request.as(&upgrade))
        return;
    int32_t status;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        status = start_upgrade(upgrade);
    }
    reply.send_word(status);
}

void on_upgrade_start(const SimRequest& request, SimReply& reply)
{
    ipc_upgrade_request upgrade;
    if (!request.as(&upgrade))
        return;
    ipc_upgrade_started started;
    memset(&started, 0, sizeof started);
    {
        std::lock_guard<std::mutex> lock(g.mu);
        started.status = start_upgrade(upgrade);
    }
    started.channels = (int64_t)upgrade.channels;
    channel_string(upgrade.channels, started.channel_string, sizeof started.channel_string);
    reply.send(&started, sizeof started);
}

void on_upgrade_status(const SimRequest&, SimReply& reply)
{
    ipc_upgrade_status status;
    memset(&status, 0, sizeof status);
    {
        std::lock_guard<std::mutex> lock(g.mu);
        status.channels = (int64_t)g.upgrade.channels;
        for (int ch = 0; ch < IPC_CHANNELS; ch++)
            status.status[ch] = upgrade_status(ch);
    }
    channel_string((uint64_t)status.channels, status.channel_string, sizeof status.channel_string);
    reply.send(&status, sizeof status);
}

void on_upgrade_stop(const SimRequest& request, SimReply&)
{
    if (request.length < 4 || request.word() == 0)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    g.upgrade.stopped = true;
    sim_log("camera upgrade stopped");
}

const SimEntry kIpc[] = {
    {REQ_IPC_CAMERA_LOGIN_CHANGED, on_login_changed, "the credentials of a channel's camera changed"},
    {REQ_IPC_POE_CHANGED, on_poe_changed, "the PoE port of a channel changed"},
    {REQ_IPC_SEARCH, on_search, "list the fleet cameras no channel is bound to"},
    {REQ_IPC_TEST, on_test<ipc_test>, "test a camera's address and credentials"},
    {REQ_IPC_TEST_EX, on_test<ipc_test_ex>, "the same with short credentials"},
    {REQ_IPC_STREAM_SET, on_stream_set, "keep a channel's streams when within range"},
    {REQ_IPC_STREAM_GET, on_stream_get, "a channel's streams and ranges"},
    {REQ_IPC_NETWORK_SET, on_network_set, "give a camera a new address"},
    {REQ_IPC_NETWORK_BATCH, on_network_batch, "give a camera of a batch a new address"},
    {REQ_IPC_NETWORK_RESULT, on_network_result, "how the address changes ended"},
    {REQ_IPC_STREAM_TIME, on_stream_time, "whether a channel's stream recorded"},
    {REQ_IPC_UPGRADE_START, on_upgrade_start, "upgrade the cameras of a channel list"},
    {REQ_IPC_UPGRADE_SET, on_upgrade_set, "upgrade the cameras of a channel mask"},
    {REQ_IPC_UPGRADE_STATUS, on_upgrade_status, "progress of the camera upgrade"},
    {REQ_IPC_UPGRADE_STOP, on_upgrade_stop, "stop the camera upgrade"},
};

}  // namespace

const SimEntry* sim_ipc_table(int* count)
{
    *count = (int)(sizeof kIpc / sizeof kIpc[0]);
    return kIpc;
}

void sim_ipc_seed()
{
    const struct {
        int id;
        const char* name;
        const char* models[2];
    } kProtocols[] = {
        {0, "ONVIF", {"ONVIF", nullptr}},
        {PROTOCOL_RTSP, "RTSP", {"RTSP", nullptr}},
        {2, "VXSF", {kModels[0].name, kModels[1].name}},
    };
    int model_id = 0;
    for (const auto& p : kProtocols) {
        ipc_protocol record;
        memset(&record, 0, sizeof record);
        record.id = p.id;
        record.enable = 1;
        wire_text(record.name, p.name);
        record.display_model = p.id == 2;
        wire_text(record.default_model, p.models[0]);
        write_ipc_protocol(VXDB_MAIN, &record);
        for (const char* name : p.models) {
            if (!name)
                continue;
            ipc_model model;
            memset(&model, 0, sizeof model);
            model.id = model_id++;
            model.protocol_id = p.id;
            wire_text(model.name, name);
            write_ipc_model(VXDB_MAIN, &model);
        }
    }
}
