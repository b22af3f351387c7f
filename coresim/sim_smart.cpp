// Simulated cameras' video analytics: per channel the last detection
// settings of each smart event (off and 1920 x 1080 until set), applied to
// the channels of "copyChn" too, the analytics support of the first cameras,
// people counts that a reset clears, the smart-event change notices, and the
// newer cameras' line, settings, regional counting and fisheye round trips.
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/video/video_records.h"

namespace {

// Cameras 0..3 have analytics; the others answer (0, 0).
enum { ANALYTICS_CAMERAS = 4, ANALYTICS_TYPE = 1, REGION_EVENTS = 6 };

struct Analytics {
    std::mutex mu;
    bool ready = false;
    vca_region_event regions[REGION_EVENTS][VIDEO_CHANNELS];
    vca_line_event lines[VIDEO_CHANNELS];
    vca_people_event people[VIDEO_CHANNELS];
    vca_settings settings[VIDEO_CHANNELS];
    vca_leftremove_event leftremove[VIDEO_CHANNELS];
    int32_t counts[VIDEO_CHANNELS];
    ipc_vca_line lines2[VIDEO_CHANNELS];
    ipc_vca_settings settings2[VIDEO_CHANNELS];
    ipc_regional_info regional[VIDEO_CHANNELS];
    fisheye_mode fisheye[VIDEO_CHANNELS];
    fisheye_set fisheye_camera;  // the last camera set by its address
} g;

bool valid(int channel)
{
    return channel >= 0 && channel < VIDEO_CHANNELS;
}

// The region events in the order of their requests (3237.. and 3244..).
int region_index(int code)
{
    static const int kGets[REGION_EVENTS] = {REQ_VCA_ENTRANCE_GET, REQ_VCA_EXIT_GET,      REQ_VCA_MOTION_GET,
                                             REQ_VCA_TAMPER_GET,   REQ_VCA_LOITERING_GET, REQ_VCA_HUMAN_GET};
    static const int kSets[REGION_EVENTS] = {REQ_VCA_ENTRANCE_SET, REQ_VCA_EXIT_SET,      REQ_VCA_MOTION_SET,
                                             REQ_VCA_TAMPER_SET,   REQ_VCA_LOITERING_SET, REQ_VCA_HUMAN_SET};
    for (int i = 0; i < REGION_EVENTS; i++)
        if (kGets[i] == code || kSets[i] == code)
            return i;
    return -1;
}

// A slot never set: zeros under its channel; a camera's picture 1920 x 1080.
template <typename T>
void clear_slot(T& slot, int channel)
{
    memset(&slot, 0, sizeof slot);
    slot.channel = channel;
}

template <typename T>
void clear_camera_slot(T& slot, int channel)
{
    clear_slot(slot, channel);
    slot.width = VCA_DEFAULT_WIDTH, slot.height = VCA_DEFAULT_HEIGHT;
}

// Under the lock.
void ensure_defaults()
{
    if (g.ready)
        return;
    g.ready = true;
    for (int c = 0; c < VIDEO_CHANNELS; c++) {
        for (auto& events : g.regions)
            clear_slot(events[c], c);
        clear_camera_slot(g.lines[c], c);
        clear_camera_slot(g.people[c], c);
        clear_camera_slot(g.settings[c], c);
        clear_slot(g.leftremove[c], c);
        clear_camera_slot(g.lines2[c], c);
        clear_camera_slot(g.settings2[c], c);
        clear_slot(g.regional[c], c);
        clear_slot(g.fisheye[c], c);
    }
}

// Keeps a set payload for its channel and every channel of its copy string
// (a field that may lack its NUL), each copy under its own channel; with
// `OwnSize` each slot keeps its picture size.
template <bool OwnSize, typename T>
bool keep(const SimRequest& request, T* slots)
{
    T record;
    if (!request.as(&record) || !valid(record.channel))
        return false;
    std::lock_guard<std::mutex> lock(g.mu);
    ensure_defaults();
    const char* set = record.copy_channels;
    for (int c = 0; c < VIDEO_CHANNELS; c++) {
        if (c != record.channel && (c >= CHANNEL_STRING_SIZE - 1 || set[c] != '1'))
            continue;
        T& slot = slots[c];
        if constexpr (OwnSize) {
            // The picture size is the camera's own, not what a request says.
            const int32_t width = slot.width, height = slot.height;
            slot = record;
            slot.width = width, slot.height = height;
        } else {
            slot = record;
        }
        slot.channel = c;
    }
    return true;
}

// A get: the record of the requested channel; a bad request gets nothing,
// which the CGI reports as a silent camera.
template <typename T>
void answer(const SimRequest& request, SimReply& reply, const T* slots)
{
    const int channel = request.word();
    if (request.length < 4 || !valid(channel))
        return;
    static T record;  // up to 3200 bytes: kept off the stack, under the lock
    std::lock_guard<std::mutex> lock(g.mu);
    ensure_defaults();
    record = slots[channel];
    reply.send(&record, sizeof record);
}

// One row's get and set over a channel array of `g`.
template <auto Slots>
void on_get(const SimRequest& request, SimReply& reply)
{
    answer(request, reply, g.*Slots);
}

template <auto Slots, bool OwnSize = false>
void on_set(const SimRequest& request, SimReply& reply)
{
    reply.send_word(keep<OwnSize>(request, g.*Slots) ? 0 : -1);
}

void on_region_get(const SimRequest& request, SimReply& reply)
{
    answer(request, reply, g.regions[region_index(request.code)]);
}

void on_region_set(const SimRequest& request, SimReply& reply)
{
    const int i = region_index(request.code);
    reply.send_word(keep<false>(request, g.regions[i]) ? 0 : -1);
    sim_log("smart event settings (%d) kept", request.code);
}

// A set kept for its own channel only, as `adjust` leaves it; -1 for a
// payload that is short or names no channel of the table.
template <typename T>
void keep_own(const SimRequest& request, SimReply& reply, T* slots, void (*adjust)(T&))
{
    T record;
    if (!request.as(&record) || !valid(record.channel)) {
        reply.send_word(-1);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(g.mu);
        ensure_defaults();
        adjust(record);
        slots[record.channel] = record;
    }
    reply.send_word(0);
}

void on_settings_set(const SimRequest& request, SimReply& reply)
{
    keep_own(request, reply, g.settings,
             +[](vca_settings& r) { r.vca_type = r.channel < ANALYTICS_CAMERAS ? ANALYTICS_TYPE : 0; });
}

void on_support(const SimRequest& request, SimReply& reply)
{
    const int channel = request.word();
    vca_support support = {0, 0};
    if (request.length >= 4 && channel >= 0 && channel < ANALYTICS_CAMERAS)
        support = {1, ANALYTICS_TYPE};
    reply.send(&support, sizeof support);
}

void on_people_reset(const SimRequest& request, SimReply& reply)
{
    vca_people_reset reset;
    if (!request.as(&reset) || !valid(reset.channel)) {
        reply.send_word(-1);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(g.mu);
        g.counts[reset.channel] = 0;
    }
    sim_log("people count of camera %d line %d reset (database %d)", reset.channel, reset.line, reset.resetdb);
    reply.send_word(0);
}

void on_smart_changed(const SimRequest& request, SimReply&)
{
    uint64_t set = 0;
    request.as(&set);
    sim_log("smart event actions changed for channels 0x%llx", (unsigned long long)set);
}

void on_fisheye_mode(const SimRequest& request, SimReply& reply)
{
    keep_own(request, reply, g.fisheye, +[](fisheye_mode& m) { m.result = 0; });
}

// A camera answers at any address; what was set for the same address
// comes back.
void on_fisheye_check(const SimRequest& request, SimReply& reply)
{
    fisheye_check camera;
    fisheye_support support = {0, 0, 0, 0, 0};
    if (request.as(&camera) && camera.ipaddr[0]) {
        std::lock_guard<std::mutex> lock(g.mu);
        support.support = 1, support.stream_count = 2;
        if (strncmp(camera.ipaddr, g.fisheye_camera.camera.ipaddr, sizeof camera.ipaddr) == 0) {
            support.transfer = g.fisheye_camera.transfer;
            support.install = g.fisheye_camera.install;
            support.display = g.fisheye_camera.display;
        }
    }
    reply.send(&support, sizeof support);
}

void on_fisheye_set(const SimRequest& request, SimReply& reply)
{
    fisheye_set set;
    if (!request.as(&set) || !set.camera.ipaddr[0]) {
        reply.send_word(-1);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(g.mu);
        g.fisheye_camera = set;
    }
    reply.send_word(0);
}

const SimEntry kSmart[] = {
    {REQ_SMART_EVENT_CHANGED, on_smart_changed, "smart-event actions of a channel set changed"},
    {REQ_VCA_ENTRANCE_GET, on_region_get, "region entrance settings"},
    {REQ_VCA_EXIT_GET, on_region_get, "region exit settings"},
    {REQ_VCA_MOTION_GET, on_region_get, "advanced motion settings"},
    {REQ_VCA_TAMPER_GET, on_region_get, "tamper detection settings"},
    {REQ_VCA_LOITERING_GET, on_region_get, "loitering settings"},
    {REQ_VCA_HUMAN_GET, on_region_get, "human detection settings"},
    {REQ_VCA_ENTRANCE_SET, on_region_set, "set region entrance"},
    {REQ_VCA_EXIT_SET, on_region_set, "set region exit"},
    {REQ_VCA_MOTION_SET, on_region_set, "set advanced motion"},
    {REQ_VCA_TAMPER_SET, on_region_set, "set tamper detection"},
    {REQ_VCA_LOITERING_SET, on_region_set, "set loitering"},
    {REQ_VCA_HUMAN_SET, on_region_set, "set human detection"},
    {REQ_VCA_LINE_GET, on_get<&Analytics::lines>, "line crossing settings"},
    {REQ_VCA_LINE_SET, on_set<&Analytics::lines, true>, "set line crossing"},
    {REQ_VCA_PEOPLE_GET, on_get<&Analytics::people>, "people counting settings"},
    // The camera keeps the picture size it was told with the line.
    {REQ_VCA_PEOPLE_SET, on_set<&Analytics::people>, "set people counting"},
    {REQ_VCA_SETTINGS_GET, on_get<&Analytics::settings>, "analytics settings"},
    {REQ_VCA_SETTINGS_SET, on_settings_set, "set the analytics settings"},
    {REQ_VCA_LEFTREMOVE_GET, on_get<&Analytics::leftremove>, "object left/removed settings"},
    {REQ_VCA_LEFTREMOVE_SET, on_set<&Analytics::leftremove>, "set object left/removed"},
    {REQ_VCA_SUPPORT, on_support, "analytics support of a camera"},
    {REQ_VCA_PEOPLE_RESET, on_people_reset, "reset a people count"},
    {REQ_IPC_VCA_LINE_GET, on_get<&Analytics::lines2>, "line crossing of a newer camera"},
    {REQ_IPC_VCA_LINE_SET, on_set<&Analytics::lines2, true>, "set line crossing of a newer camera"},
    {REQ_IPC_VCA_SETTINGS_GET, on_get<&Analytics::settings2>, "analytics settings of a newer camera"},
    {REQ_IPC_VCA_SETTINGS_SET, on_set<&Analytics::settings2>, "set analytics settings of a newer camera"},
    {REQ_IPC_REGIONAL_GET, on_get<&Analytics::regional>, "regional people counting"},
    {REQ_IPC_REGIONAL_SET, on_set<&Analytics::regional>, "set regional people counting"},
    {REQ_FISHEYE_INFO_GET, on_get<&Analytics::fisheye>, "fisheye mounting and view"},
    {REQ_FISHEYE_MODE_SET, on_fisheye_mode, "set fisheye mounting and view"},
    {REQ_FISHEYE_CHECK, on_fisheye_check, "fisheye camera at an address"},
    {REQ_FISHEYE_SET, on_fisheye_set, "set a fisheye camera at an address"},
};

}  // namespace

const SimEntry* sim_smart_table(int* count)
{
    *count = (int)(sizeof kSmart / sizeof kSmart[0]);
    return kSmart;
}
