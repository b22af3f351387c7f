// Simulated cameras' own OSD texts and privacy masks: kept per channel,
// answered while the channel has a camera (an enabled camera record with an
// address), with channel -1 or result -1 while it has none; and the
// recorder's OSD seeded with a name per channel.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "core/channels.h"
#include "core/db.h"
#include "modules/record/record_records.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {

// Model types of the simulated cameras: the fixed ones and the PTZ ones.
enum { SIM_MODEL_FIXED = 0, SIM_MODEL_PTZ = 1 };

struct CameraOverlay {
    bool set;  // false: the defaults below, made on first use
    camera_osd osd;
    privacy_mask_answer masks;
};

struct Overlays {
    std::mutex mu;
    CameraOverlay channels[VIDEO_CHANNELS];
} g;

bool valid(int channel)
{
    return channel >= 0 && channel < VIDEO_CHANNELS;
}

// Read outside the lock: the database has its own.
bool has_camera(int channel)
{
    if (!valid(channel))
        return false;
    db_camera camera;
    if (read_camera(VXDB_MAIN, &camera, channel) != 0)
        return false;
    return camera.enable == 1 && camera.address[0] != '\0';
}

// A channel's state under the lock, with the defaults of a camera out of
// the box: its name on the main stream, the date on both, no masks.
CameraOverlay& overlay(int channel)
{
    CameraOverlay& c = g.channels[channel];
    if (c.set)
        return c;
    memset(&c, 0, sizeof c);
    c.set = true;
    c.osd.channel = channel;
    c.osd.enable_text = 1;
    snprintf(c.osd.text_name, sizeof c.osd.text_name, "CH%d", channel + 1);
    c.osd.enable_date = 1;
    c.osd.datepos = 1;
    c.osd.font_size = 2;
    c.osd.enable_date_sub = 1;
    c.osd.datepos_sub = 1;
    c.osd.font_size_sub = 1;
    c.masks.id = channel;
    wire_text(c.masks.sdkversion, "sim-1.0");
    c.masks.max_ptz_zoom_ratio = 1;
    wire_text(c.masks.color_list, "0,1,2");
    c.masks.mosaic_support = 1;
    c.masks.color_support = 1;
    for (int i = 0; i < CAMERA_MASK_AREAS; i++)
        c.masks.areas[i].area_id = i;
    return c;
}

// A camera's part of its state; without a camera, zeros and -1 as its
// channel.
template <typename Part>
void answer_part(const SimRequest& request, SimReply& reply, Part CameraOverlay::*part, int32_t Part::*id)
{
    Part record;
    memset(&record, 0, sizeof record);
    const int channel = request.word();
    if (request.length >= 4 && has_camera(channel)) {
        std::lock_guard<std::mutex> lock(g.mu);
        record = overlay(channel).*part;
    } else {
        record.*id = -1;
    }
    reply.send(&record, sizeof record);
}

void on_osd_get(const SimRequest& request, SimReply& reply)
{
    answer_part(request, reply, &CameraOverlay::osd, &camera_osd::channel);
}

void on_osd_set(const SimRequest& request, SimReply& reply)
{
    camera_osd osd;
    if (!request.as(&osd) || !has_camera(osd.channel)) {
        reply.send_word(-1);
        return;
    }
    osd.text_name[sizeof osd.text_name - 1] = '\0';
    osd.text_name_sub[sizeof osd.text_name_sub - 1] = '\0';
    {
        std::lock_guard<std::mutex> lock(g.mu);
        overlay(osd.channel).osd = osd;
    }
    sim_log("camera %d OSD text \"%s\", date %d", osd.channel, osd.text_name, osd.enable_date);
    reply.send_word(0);
}

void on_masks_get(const SimRequest& request, SimReply& reply)
{
    answer_part(request, reply, &CameraOverlay::masks, &privacy_mask_answer::id);
}

void on_masks_set(const SimRequest& request, SimReply&)
{
    privacy_mask_set set;
    if (!request.as(&set))
        return;
    const int num = sim_count(set.num, CAMERA_MASK_AREAS);
    const int mosaic = sim_count(set.mosaic_num, CAMERA_MASK_AREAS - num);
    int selected = 0;
    std::lock_guard<std::mutex> lock(g.mu);
    for (int channel = 0; channel < VIDEO_CHANNELS; channel++) {
        if (set.channels[channel] != '1')
            continue;
        privacy_mask_answer& m = overlay(channel).masks;
        m.enable = set.enable;
        m.cgi_sdk_flag = set.cgi_sdk_flag;
        m.area_enable = set.area_mask_enable;
        m.mosaic_support = set.mosaic_support;
        if (set.delete_flag == -1) {
            m.num = m.mosaic_num = 0;
            for (int i = 0; i < CAMERA_MASK_AREAS; i++) {
                memset(&m.areas[i], 0, sizeof m.areas[i]);
                m.areas[i].area_id = i;
            }
        } else {
            m.num = num;
            m.mosaic_num = mosaic;
            memcpy(m.areas, set.areas, sizeof m.areas);
            for (camera_mask_area& a : m.areas)
                a.name[sizeof a.name - 1] = '\0';
        }
        selected++;
    }
    sim_log("privacy masks (%d + %d) to %d cameras%s", num, mosaic, selected,
            set.delete_flag == -1 ? ", deleted" : "");
}

void on_mask_delete(const SimRequest& request, SimReply&)
{
    privacy_mask_ref ref;
    if (!request.as(&ref) || !valid(ref.channel))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    privacy_mask_answer& m = overlay(ref.channel).masks;
    for (camera_mask_area& a : m.areas) {
        if (a.area_id != ref.id)
            continue;
        memset(&a, 0, sizeof a);
        a.area_id = ref.id;
    }
    sim_log("privacy mask %d of camera %d cleared", ref.id, ref.channel);
}

void on_mask_edit(const SimRequest& request, SimReply& reply)
{
    privacy_mask_ref ref;
    const bool ok = request.as(&ref) && has_camera(ref.channel) && ref.id >= 0 && ref.id < CAMERA_MASK_AREAS;
    reply.send_word(ok ? 0 : -1);
}

void on_model_type(const SimRequest& request, SimReply& reply)
{
    const int channel = request.word();
    if (request.length < 4 || !has_camera(channel)) {
        reply.send_word(-1);
        return;
    }
    db_camera camera;
    read_camera(VXDB_MAIN, &camera, channel);
    camera.model[sizeof camera.model - 1] = '\0';
    reply.send_word(strstr(camera.model, "PTZ") ? SIM_MODEL_PTZ : SIM_MODEL_FIXED);
}

void on_osd_changed(const SimRequest& request, SimReply&)
{
    sim_log("recorder OSD of channel %d changed", request.word());
}

const SimEntry kOsd[] = {
    {REQ_OSD_CHANGED, on_osd_changed, "recorder OSD of a channel changed"},
    {REQ_CAMERA_OSD_GET, on_osd_get, "OSD texts of a camera"},
    {REQ_CAMERA_OSD_SET, on_osd_set, "set the OSD texts of a camera"},
    {REQ_PRIVACY_MASK_GET, on_masks_get, "privacy masks of a camera"},
    {REQ_PRIVACY_MASK_SET, on_masks_set, "privacy masks to the selected cameras"},
    {REQ_PRIVACY_MASK_DELETE, on_mask_delete, "clear one privacy mask"},
    {REQ_PRIVACY_MASK_EDIT, on_mask_edit, "start editing a privacy mask"},
    {REQ_CAMERA_MODEL_TYPE, on_model_type, "model type of a camera"},
};

}  // namespace

const SimEntry* sim_osd_table(int* count)
{
    *count = (int)(sizeof kOsd / sizeof kOsd[0]);
    return kOsd;
}

void sim_osd_seed()
{
    const int cameras = get_max_cameras(VXDB_MAIN);
    for (int channel = 0; channel < cameras; channel++) {
        osd record;
        memset(&record, 0, sizeof record);
        record.id = channel;
        snprintf(record.name, sizeof record.name, "CH%d", channel + 1);
        record.show_name = 1;
        record.show_date = 1;
        record.show_week = 1;
        record.date_pos_x = 0.02;
        record.date_pos_y = 0.02;
        record.name_pos_x = 0.02;
        record.name_pos_y = 0.875;
        record.alpha = 128;
        write_osd(VXDB_MAIN, &record);
    }
}
