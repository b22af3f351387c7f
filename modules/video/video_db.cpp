// Video and event records in the configuration database.
#include <cstring>

#include "core/db.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kMotion = {"motion", (int)sizeof(motion), VIDEO_CHANNELS};
const vxdb_kind kVideoLost = {"video_loss", (int)sizeof(video_lost), VIDEO_CHANNELS};
const vxdb_kind kCameraIo = {"cameraio", (int)sizeof(cameraio), VIDEO_CHANNELS};
const vxdb_kind kVolumeDetect = {"volumedetect", (int)sizeof(volumedetect), VIDEO_CHANNELS};
const vxdb_kind kOsd = {"osd", (int)sizeof(osd), VIDEO_CHANNELS};
const vxdb_kind kPrivacyMask = {"privacy_mask", (int)sizeof(privacy_mask), VIDEO_CHANNELS};
const vxdb_kind kTriggerAlarms = {"trigger_alarms", (int)sizeof(trigger_alarms), 1};
// PTZ lists: event type * 64 + source channel; people counting apart.
const vxdb_kind kPtzParams = {"ptz_params", (int)sizeof(PtzActionParams), 64 * VIDEO_CHANNELS};
const vxdb_kind kPeopleCountPtz = {"peoplecnt_ptz_params", (int)sizeof(PtzActionParams), VIDEO_CHANNELS};

vxdb_kind exception_http_kind(const char* set_name)
{
    return {set_name, (int)sizeof(HttpNotificationParams), EXCEPTION_ENTRIES};
}

struct VideoLostSetChange {
    void (*change)(video_lost*, int, void*);
    void* context;
};

void apply_video_losts_change(void* record, int idx, void* context)
{
    VideoLostSetChange* c = (VideoLostSetChange*)context;
    c->change((video_lost*)record, idx, c->context);
}

// Where a list of a type lives and how many entries it may hold.
bool ptz_list(int event_type, int channel, vxdb_kind* kind, int* idx, int* capacity)
{
    if (channel < 0 || channel >= VIDEO_CHANNELS)
        return false;
    if (event_type == PTZ_EVENT_PEOPLE_COUNT) {
        *kind = kPeopleCountPtz, *idx = channel, *capacity = PTZ_PEOPLE_COUNT_ENTRIES;
        return true;
    }
    if (event_type < 0 || event_type >= 64)
        return false;
    *kind = kPtzParams, *idx = event_type * VIDEO_CHANNELS + channel, *capacity = PTZ_ACTION_ENTRIES;
    return true;
}

enum PtzEdit { PTZ_ADD, PTZ_UPDATE, PTZ_DELETE };

struct PtzChange {
    PtzEdit edit;
    int capacity;
    int old_ptz_channel;  // update: the entry to replace
    PtzActionEntry entry;
    const int* remove;    // delete: PTZ channels
    int remove_count;
    int result;
};

int find_ptz_entry(const PtzActionParams* list, int capacity, int ptz_channel)
{
    for (int i = 0; i < capacity; i++)
        if (list->entries[i].acto_ptz_channel > 0 && list->entries[i].acto_ptz_channel == ptz_channel)
            return i;
    return -1;
}

// One PTZ channel has at most one entry per list: an add or update for a PTZ
// channel already listed replaces that entry.
bool apply_ptz_change(void* record, void* context)
{
    PtzActionParams* list = (PtzActionParams*)record;
    PtzChange* c = (PtzChange*)context;
    c->result = 0;
    if (c->edit == PTZ_DELETE) {
        bool changed = false;
        for (int k = 0; k < c->remove_count; k++) {
            const int i = find_ptz_entry(list, c->capacity, c->remove[k]);
            if (i >= 0) {
                memset(&list->entries[i], 0, sizeof list->entries[i]);
                changed = true;
            }
        }
        return changed;
    }
    const int wanted = c->edit == PTZ_UPDATE ? c->old_ptz_channel : c->entry.acto_ptz_channel;
    int slot = find_ptz_entry(list, c->capacity, wanted);
    if (c->edit == PTZ_UPDATE) {
        if (slot < 0) {
            c->result = 1;
            return false;
        }
        const int other = find_ptz_entry(list, c->capacity, c->entry.acto_ptz_channel);
        if (other >= 0 && other != slot)
            memset(&list->entries[other], 0, sizeof list->entries[other]);
    }
    for (int i = 0; slot < 0 && i < c->capacity; i++)
        if (list->entries[i].acto_ptz_channel <= 0)
            slot = i;
    if (slot < 0) {
        c->result = 1;
        return false;
    }
    list->entries[slot] = c->entry;
    return true;
}

int change_ptz_list(const char* db, int event_type, PtzChange* c)
{
    vxdb_kind kind;
    int idx = 0;
    if (!ptz_list(event_type, c->entry.channel, &kind, &idx, &c->capacity))
        return -1;
    const int rc = vxdb_update(db, kind, idx, apply_ptz_change, c);
    return rc < 0 ? -1 : c->result;
}
}  // namespace

int read_motion(const char* db, motion* out, int channel)
{
    return vxdb_read(db, kMotion, channel, out) < 0 ? -1 : 0;
}

int write_motion(const char* db, const motion* record)
{
    return record ? vxdb_write(db, kMotion, record->id, record, (int)sizeof *record) : -1;
}

int copy_motions(const char* db, int source, uint64_t channels)
{
    return vxdb_copy(db, kMotion, source, channels, (int)offsetof(motion, id));
}

int update_motion(const char* db, int channel, bool (*change)(motion*, void*), void* context)
{
    return vxdb_update(db, kMotion, channel, change, context);
}

int write_motion_schedule(const char* db, const Schedule* schedule, int channel)
{
    return write_schedule(db, MOTION_AUDIBLE_SCHEDULE, schedule, channel);
}

int read_motion_audible_schedule(const char* db, Schedule* out, int channel)
{
    return read_schedule(db, MOTION_AUDIBLE_SCHEDULE, out, channel) < 0 ? -1 : 0;
}

int read_video_lost(const char* db, video_lost* out, int channel)
{
    return vxdb_read(db, kVideoLost, channel, out) < 0 ? -1 : 0;
}

int write_video_lost(const char* db, const video_lost* record)
{
    return record ? vxdb_write(db, kVideoLost, record->id, record, (int)sizeof *record) : -1;
}

int copy_video_losts(const char* db, int source, uint64_t channels)
{
    return vxdb_copy(db, kVideoLost, source, channels, (int)offsetof(video_lost, id));
}

int update_video_lost(const char* db, int channel, bool (*change)(video_lost*, void*), void* context)
{
    return vxdb_update(db, kVideoLost, channel, change, context);
}

int update_video_losts(const char* db, uint64_t channels, void (*change)(video_lost*, int, void*), void* context)
{
    VideoLostSetChange c = {change, context};
    return vxdb_update_set(db, kVideoLost, channels, apply_video_losts_change, &c);
}

int write_video_loss_schedule(const char* db, const Schedule* schedule, int channel)
{
    return write_schedule(db, VIDEOLOSS_AUDIBLE_SCHEDULE, schedule, channel);
}

int read_videoloss_audible_schedule(const char* db, Schedule* out, int channel)
{
    return read_schedule(db, VIDEOLOSS_AUDIBLE_SCHEDULE, out, channel) < 0 ? -1 : 0;
}

int read_cameraio(const char* db, cameraio* out, int channel)
{
    return vxdb_read(db, kCameraIo, channel, out) < 0 ? -1 : 0;
}

int write_cameraio(const char* db, const cameraio* record)
{
    return record ? vxdb_write(db, kCameraIo, record->id, record, (int)sizeof *record) : -1;
}

int read_volumedetect(const char* db, volumedetect* out, int channel)
{
    return vxdb_read(db, kVolumeDetect, channel, out) < 0 ? -1 : 0;
}

int write_volumedetect(const char* db, const volumedetect* record)
{
    return record ? vxdb_write(db, kVolumeDetect, record->id, record, (int)sizeof *record) : -1;
}

int read_osd(const char* db, osd* out, int channel)
{
    return vxdb_read(db, kOsd, channel, out) < 0 ? -1 : 0;
}

int write_osd(const char* db, const osd* record)
{
    return record ? vxdb_write(db, kOsd, record->id, record, (int)sizeof *record) : -1;
}

int read_privacy_masks(const char* db, privacy_mask* out, int channel)
{
    return vxdb_read(db, kPrivacyMask, channel, out) < 0 ? -1 : 0;
}

int write_privacy_masks(const char* db, const privacy_mask* record)
{
    return record ? vxdb_write(db, kPrivacyMask, record->id, record, (int)sizeof *record) : -1;
}

int read_trigger_alarms(const char* db, trigger_alarms* out)
{
    return vxdb_read(db, kTriggerAlarms, 0, out) < 0 ? -1 : 0;
}

int write_trigger_alarms(const char* db, const trigger_alarms* record)
{
    return record ? vxdb_write(db, kTriggerAlarms, 0, record, (int)sizeof *record) : -1;
}

int read_http_notification_params_init(const char* db, const char* set_name,
                                       HttpNotificationParams out[EXCEPTION_ENTRIES])
{
    return vxdb_read_table(db, exception_http_kind(set_name), out, EXCEPTION_ENTRIES) < 0 ? -1 : 0;
}

int write_http_notification_params_batch(const char* db, const char* set_name,
                                         const HttpNotificationParams records[EXCEPTION_ENTRIES])
{
    return vxdb_write_range(db, exception_http_kind(set_name), 0, records, EXCEPTION_ENTRIES,
                            (int)sizeof(HttpNotificationParams));
}

const char* get_exception_name(int index)
{
    // Keys of the exception page, each within 31 characters.
    static const char* const kNames[EXCEPTION_ENTRIES] = {
        "diskFull",         "diskError",     "noDisk",         "networkDisconnected",
        "ipAddressConflict", "illegalAccess", "recordException", "videoSignalLost",
    };
    return index >= 0 && index < EXCEPTION_ENTRIES ? kNames[index] : nullptr;
}

int write_ptz_params(const char* db, int event_type, const PtzActionEntry* entry)
{
    if (!entry || entry->acto_ptz_channel <= 0)
        return -1;
    PtzChange c = {PTZ_ADD, 0, 0, *entry, nullptr, 0, 0};
    return change_ptz_list(db, event_type, &c);
}

int update_ptz_params(const char* db, int event_type, int old_ptz_channel, const PtzActionEntry* entry)
{
    if (!entry || entry->acto_ptz_channel <= 0)
        return -1;
    PtzChange c = {PTZ_UPDATE, 0, old_ptz_channel, *entry, nullptr, 0, 0};
    return change_ptz_list(db, event_type, &c);
}

int delete_ptz_params(const char* db, int event_type, int channel, const int* ptz_channels, int count)
{
    PtzChange c = {PTZ_DELETE, 0, 0, {}, ptz_channels, count, 0};
    c.entry.channel = channel;
    return change_ptz_list(db, event_type, &c) < 0 ? -1 : 0;
}

int update_osd(const char* db, int channel, bool (*change)(osd*, void*), void* context)
{
    return vxdb_update(db, kOsd, channel, change, context);
}
