// Shared database records over the records core.
#include "core/db.h"

#include <cstdlib>
#include <cstring>

namespace {

const vxdb_kind kPeopleCountWhiteLed = {"peoplecnt_wled_params", (int)sizeof(WhiteLedBlock), DB_MAX_CHANNELS};
// One list per (event type, channel): index = type * 64 + channel.
const vxdb_kind kPtzParams = {"ptz_params", (int)sizeof(PtzActionParams), 64 * DB_MAX_CHANNELS};
const vxdb_kind kPeopleCountPtz = {"peoplecnt_ptz_params", (int)sizeof(PtzActionParams), DB_MAX_CHANNELS};
const vxdb_kind kAlarmAudioFile = {"alarm_audio_file", ALARM_AUDIO_FILE_SIZE, ALARM_AUDIO_FILES};

vxdb_kind white_led_kind(const char* set_name)
{
    return {set_name, (int)sizeof(WhiteLedBlock), DB_MAX_CHANNELS};
}

vxdb_kind http_kind(const char* set_name)
{
    return {set_name, (int)sizeof(HttpNotificationParams), DB_MAX_CHANNELS};
}

// A block holds entries up to its last one that says anything.
int used_entries(const WhiteLedEntry* e, int n)
{
    int count = 0;
    for (int i = 0; i < n; i++)
        if (e[i].chnid || e[i].mode || e[i].time)
            count = i + 1;
    return count;
}

int read_white_block(const char* db, const vxdb_kind& kind, int idx, WhiteLedEntry out[8], int* count)
{
    WhiteLedBlock block;
    int rc = vxdb_read(db, kind, idx, &block);
    memcpy(out, block.entries, sizeof block.entries);
    if (count)
        *count = rc == 0 ? used_entries(block.entries, WHITE_LED_ENTRIES) : 0;
    return rc < 0 ? -1 : 0;
}

int read_ptz_list(const char* db, const vxdb_kind& kind, int idx, PtzActionParams* out, int* count)
{
    int rc = vxdb_read(db, kind, idx, out);
    if (count)
        *count = rc == 0 ? PTZ_ACTION_ENTRIES : 0;
    return rc < 0 ? -1 : 0;
}

}  // namespace

int read_whiteled_params(const char* db, const WhiteLedKey* key, WhiteLedEntry out[8], int* count)
{
    if (!key)
        return -1;
    char name[sizeof key->set_name + 1];
    memcpy(name, key->set_name, sizeof key->set_name);
    name[sizeof key->set_name] = '\0';
    return read_white_block(db, white_led_kind(name), key->channel, out, count);
}

int write_whiteled_params_all(const char* db, const char* set_name, int channel, const WhiteLedParams* table)
{
    if (!table || channel < 0 || channel >= WHITE_LED_OWNERS)
        return -1;
    return vxdb_write(db, white_led_kind(set_name), channel, &table->entries[channel * WHITE_LED_ENTRIES],
                      (int)sizeof(WhiteLedBlock));
}

int read_peoplecnt_wled_params(const char* db, int owner, WhiteLedEntry out[8], int* count)
{
    return read_white_block(db, kPeopleCountWhiteLed, owner, out, count);
}

int write_peoplecnt_wled_params_all(const char* db, int owner, const WhiteLedEntry list[8])
{
    return vxdb_write(db, kPeopleCountWhiteLed, owner, list, (int)sizeof(WhiteLedBlock));
}

int read_http_notification_params(const char* db, const char* set_name, int channel, HttpNotificationParams* out)
{
    return vxdb_read(db, http_kind(set_name), channel, out) < 0 ? -1 : 0;
}

int write_http_notification_params(const char* db, const char* set_name, const HttpNotificationParams* record)
{
    if (!record)
        return -1;
    return vxdb_write(db, http_kind(set_name), record->channel, record, (int)sizeof *record);
}

int read_ptz_params(const char* db, int event_type, int channel, PtzActionParams* out, int* count)
{
    if (event_type < 0 || event_type >= 64 || channel < 0 || channel >= DB_MAX_CHANNELS) {
        memset(out, 0, sizeof *out);
        if (count)
            *count = 0;
        return -1;
    }
    return read_ptz_list(db, kPtzParams, event_type * DB_MAX_CHANNELS + channel, out, count);
}

int write_ptz_params_all(const char* db, int event_type, int channel, const PtzActionParams* list)
{
    if (event_type < 0 || event_type >= 64 || channel < 0 || channel >= DB_MAX_CHANNELS)
        return -1;
    return vxdb_write(db, kPtzParams, event_type * DB_MAX_CHANNELS + channel, list, (int)sizeof *list);
}

int copy_ptz_params(const char* db, int event_type, int source, uint64_t targets)
{
    PtzActionParams* entries = (PtzActionParams*)malloc(2 * sizeof(PtzActionParams));
    if (!entries)
        return -1;
    PtzActionParams* copy = entries + 1;
    int rc = read_ptz_params(db, event_type, source, entries, nullptr) < 0 ? -1 : 0;
    for (int target = 0; rc == 0 && target < DB_MAX_CHANNELS; target++) {
        if (!(targets & (1ULL << target)) || target == source)
            continue;
        // Each entry names its owner: a copy names the one it went to.
        *copy = *entries;
        for (PtzActionEntry& e : copy->entries)
            if (e.channel == source && e.acto_ptz_channel != 0)
                e.channel = target;
        rc = write_ptz_params_all(db, event_type, target, copy);
    }
    free(entries);
    return rc;
}

int read_peoplecnt_ptz_params(const char* db, int channel, PtzActionParams* out, int* count)
{
    return read_ptz_list(db, kPeopleCountPtz, channel, out, count);
}

int write_peoplecnt_ptz_params_ex(const char* db, int channel, const PtzActionParams* list)
{
    return vxdb_write(db, kPeopleCountPtz, channel, list, (int)sizeof *list);
}

int read_alarm_audio_file(const char* db, void* out, int index)
{
    return vxdb_read(db, kAlarmAudioFile, index, out) < 0 ? -1 : 0;
}

int write_alarm_audio_file(const char* db, const void* record, int index)
{
    return vxdb_write(db, kAlarmAudioFile, index, record, ALARM_AUDIO_FILE_SIZE);
}
