// JSON forms of the shared settings blocks. Arrays from the browser may be
// shorter or longer than the fixed blocks: missing elements read as empty,
// extra ones are ignored.
#include "core/encodings.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/json_util.h"

namespace {

json_object* schedule_to_json(const Schedule* s, bool camera_form)
{
    json_object* week = json_object_new_array();
    for (int d = 0; d < SCHEDULE_DAYS; d++) {
        const ScheduleDay& day = s->days[d];
        const bool valid = !camera_form || day.whole_day_enable != 0;
        json_object* slots = json_object_new_array();
        for (int i = 0; i < SCHEDULE_JSON_SLOTS; i++) {
            const ScheduleSlot& slot = day.slots[i];
            json_object* o = json_object_new_object();
            if (valid) {
                json_add_field(o, "startTime", slot.start_time, sizeof slot.start_time);
                json_add_field(o, "endTime", slot.end_time, sizeof slot.end_time);
                json_add_int(o, "actionType", slot.action_type);
            } else {
                json_add_text(o, "startTime", "");
                json_add_text(o, "endTime", "");
                json_add_int(o, "actionType", 0);
            }
            json_object_array_add(slots, o);
        }
        json_object_array_add(week, slots);
    }
    return week;
}

int schedule_from_json(json_object* request, const char* key, Schedule* s, bool camera_form)
{
    json_object* week = nullptr;
    if (!request || !key || !s || !json_object_object_get_ex(request, key, &week) ||
        !json_object_is_type(week, json_type_array))
        return -1;
    memset(s, 0, sizeof *s);
    for (int d = 0; d < SCHEDULE_DAYS; d++) {
        json_object* day = json_array_at(week, (size_t)d);
        for (int i = 0; i < SCHEDULE_JSON_SLOTS; i++) {
            json_object* triple = json_array_at(day, (size_t)i);
            if (!triple)
                break;
            ScheduleSlot& slot = s->days[d].slots[i];
            json_object* start = json_array_at(triple, 0);
            json_object* end = json_array_at(triple, 1);
            int64_t action = 0;
            if (start && json_object_is_type(start, json_type_string))
                wire_text(slot.start_time, json_object_get_string(start));
            if (end && json_object_is_type(end, json_type_string))
                wire_text(slot.end_time, json_object_get_string(end));
            if (json_as_int64(json_array_at(triple, 2), &action))
                slot.action_type = (int32_t)action;
        }
    }
    if (camera_form)
        for (int d = 0; d < SCHEDULE_DAYS; d++)
            s->days[d].whole_day_enable = 1;
    return 0;
}

// One {"chnid","mode","time"} object or [chnid, mode, time] array.
void white_entry_from_json(json_object* item, bool named, WhiteLedEntry* e)
{
    int64_t v;
    if (named) {
        if (json_get_int64(item, "chnid", &v)) e->chnid = (int32_t)v;
        if (json_get_int64(item, "mode", &v)) e->mode = (int32_t)v;
        if (json_get_int64(item, "time", &v)) e->time = (int32_t)v;
    } else {
        if (json_as_int64(json_array_at(item, 0), &v)) e->chnid = (int32_t)v;
        if (json_as_int64(json_array_at(item, 1), &v)) e->mode = (int32_t)v;
        if (json_as_int64(json_array_at(item, 2), &v)) e->time = (int32_t)v;
    }
}

json_object* white_entries_to_json(const WhiteLedEntry* entries, int count)
{
    json_object* list = json_object_new_array();
    for (int i = 0; i < WHITE_LED_ENTRIES && i < count; i++) {
        json_object* o = json_object_new_object();
        json_add_int(o, "chnid", entries[i].chnid);
        json_add_int(o, "mode", entries[i].mode);
        json_add_int(o, "time", entries[i].time);
        json_object_array_add(list, o);
    }
    return list;
}

// The object form is used when the key's JSON text names "chnid" anywhere.
bool white_value(json_object* request, const char* key, json_object** value, bool* named)
{
    if (!request || !key || !json_object_object_get_ex(request, key, value))
        return false;
    *named = strstr(json_object_to_json_string(*value), "chnid") != nullptr;
    return true;
}

}  // namespace

json_object* get_schedule_json_object(const Schedule* s) { return schedule_to_json(s, false); }
int get_schedule_by_json(json_object* r, const char* key, Schedule* s) { return schedule_from_json(r, key, s, false); }
json_object* get_schedule_json_object_ex(const Schedule* s) { return schedule_to_json(s, false); }
int get_schedule_by_json_ex(json_object* r, const char* key, Schedule* s) { return schedule_from_json(r, key, s, false); }
json_object* get_schedule_json_object_ipc(const Schedule* s) { return schedule_to_json(s, true); }
int get_schedule_by_json_ipc(json_object* r, const char* key, Schedule* s) { return schedule_from_json(r, key, s, true); }

json_object* get_white_params_json_object(int channel, const char* set_name)
{
    WhiteLedKey key;
    memset(&key, 0, sizeof key);
    key.channel = channel;
    wire_text(key.set_name, set_name);
    WhiteLedEntry entries[WHITE_LED_ENTRIES];
    int count = 0;
    read_whiteled_params(VXDB_MAIN, &key, entries, &count);
    return white_entries_to_json(entries, count);
}

int get_white_params_by_json(int channel, WhiteLedParams* table, json_object* request, const char* key)
{
    json_object* value = nullptr;
    bool named = false;
    if (!table || channel < 0 || channel >= WHITE_LED_OWNERS || !white_value(request, key, &value, &named))
        return -1;
    memset(table, 0, sizeof *table);
    WhiteLedEntry* block = &table->entries[channel * WHITE_LED_ENTRIES];
    block[0].owner = channel;
    for (int i = 0; i < WHITE_LED_ENTRIES; i++) {
        json_object* item = json_array_at(value, (size_t)i);
        if (!item)
            break;
        block[i].owner = channel;
        white_entry_from_json(item, named, &block[i]);
    }
    return 0;
}

json_object* get_pcnt_white_params_json_object(int owner)
{
    WhiteLedEntry entries[WHITE_LED_ENTRIES];
    int count = 0;
    read_peoplecnt_wled_params(VXDB_MAIN, owner, entries, &count);
    return white_entries_to_json(entries, count);
}

int get_pcnt_white_params_by_json(int owner, WhiteLedEntry* list, json_object* request, const char* key)
{
    json_object* value = nullptr;
    bool named = false;
    if (!list || !white_value(request, key, &value, &named))
        return -1;
    memset(list, 0, sizeof(WhiteLedEntry) * WHITE_LED_ENTRIES);
    for (int i = 0; i < WHITE_LED_ENTRIES; i++) {
        json_object* item = json_array_at(value, (size_t)i);
        if (!item)
            break;
        list[i].owner = owner;
        white_entry_from_json(item, named, &list[i]);
    }
    return 0;
}

json_object* get_http_params_json_object(int channel, const char* set_name)
{
    HttpNotificationParams record{};
    read_http_notification_params(VXDB_MAIN, set_name, channel, &record);
    json_object* o = json_object_new_object();
    json_add_int(o, "chnId", channel);
    json_add_field(o, "url", record.url, sizeof record.url);
    json_add_field(o, "username", record.username, sizeof record.username);
    json_add_field(o, "password", record.password, sizeof record.password);
    return o;
}

int get_http_params_by_json(int channel, HttpNotificationParams* record, json_object* request, const char* key)
{
    json_object* value = nullptr;
    if (!record || !request || !key || !json_object_object_get_ex(request, key, &value))
        return -1;
    memset(record, 0, sizeof *record);
    record->channel = channel;
    const char* text = nullptr;
    if (json_get_text(value, "url", &text))
        wire_text(record->url, text);
    if (json_get_text(value, "username", &text))
        wire_text(record->username, text);
    if (json_get_text(value, "password", &text))
        wire_text(record->password, text);
    return 0;
}

json_object* get_ptz_params_json_object(int event_type, int channel)
{
    PtzActionParams list;
    int count = 0;
    int limit = PTZ_ACTION_ENTRIES;
    if (event_type == PTZ_EVENT_PEOPLE_COUNT) {
        read_peoplecnt_ptz_params(VXDB_MAIN, channel, &list, &count);
        limit = PTZ_PEOPLE_COUNT_ENTRIES;
    } else {
        read_ptz_params(VXDB_MAIN, event_type, channel, &list, &count);
    }
    json_object* out = json_object_new_array();
    for (int i = 0; i < count && i < limit; i++) {
        const PtzActionEntry& e = list.entries[i];
        if (e.acto_ptz_channel <= 0)
            continue;
        // The pattern is stored but the page does not read it back.
        json_object* o = json_object_new_object();
        json_add_int(o, "acto_ptz_channel", e.acto_ptz_channel);
        json_add_int(o, "acto_ptz_type", e.acto_ptz_type);
        json_add_int(o, "acto_ptz_preset", e.acto_ptz_preset);
        json_add_int(o, "acto_ptz_patrol", e.acto_ptz_patrol);
        json_object_array_add(out, o);
    }
    return out;
}

int get_ptz_params_by_json(int channel, int, json_object* array, PtzActionParams* list)
{
    if (channel < 0 || channel >= EVENT_CHANNELS || !array || !list)
        return -1;
    memset(list, 0, sizeof *list);
    for (size_t i = 0; i < json_array_size(array) && i < PTZ_ACTION_ENTRIES; i++) {
        json_object* item = json_array_at(array, i);
        PtzActionEntry& e = list->entries[i];
        e.channel = channel;
        int v = 0;
        if (json_get_int(item, "acto_ptz_channel", &v)) e.acto_ptz_channel = v;
        if (json_get_int(item, "acto_ptz_type", &v)) e.acto_ptz_type = v;
        if (json_get_int(item, "acto_ptz_preset", &v)) e.acto_ptz_preset = v;
        if (json_get_int(item, "acto_ptz_patrol", &v)) e.acto_ptz_patrol = v;
        if (json_get_int(item, "acto_ptz_pattern", &v)) e.acto_ptz_pattern = v;
    }
    return 0;
}

int set_ptz_params_by_json(int channel, int event_type, json_object* array)
{
    PtzActionParams list;
    if (get_ptz_params_by_json(channel, event_type, array, &list) != 0)
        return 0;
    int rc = event_type == PTZ_EVENT_PEOPLE_COUNT
                 ? write_peoplecnt_ptz_params_ex(VXDB_MAIN, channel, &list)
                 : write_ptz_params_all(VXDB_MAIN, event_type, channel, &list);
    return rc == 0 ? 1 : 0;
}

json_object* get_event_chn_alarmout_object(const char* name0, const char* name1)
{
    json_object* out = json_object_new_array();
    json_object_array_add(out, json_new_text(name0, name0 ? strlen(name0) : 0));
    json_object_array_add(out, json_new_text(name1, name1 ? strlen(name1) : 0));
    return out;
}

int get_event_chn_alarmout_by_object(int channel, json_object* request, const char* key, AlarmOutTarget pair[2])
{
    json_object* value = nullptr;
    if (!request || !key || !pair || !json_object_object_get_ex(request, key, &value))
        return -1;
    memset(pair, 0, 2 * sizeof pair[0]);
    for (int i = 0; i < 2; i++) {
        json_object* item = json_array_at(value, (size_t)i);
        if (!item || !json_object_is_type(item, json_type_string))
            continue;
        pair[i].owner = channel;
        pair[i].index = i;
        wire_text(pair[i].name, json_object_get_string(item));
    }
    return 0;
}

uint64_t get_copy_flag_by_json(json_object* request, const char* list_key, const char* count_key)
{
    return channel_list_by_json(request, list_key, count_key).mask;
}

int get_smart_event_ptz_type(int index)
{
    return index >= 0 && index <= 8 ? index + 5 : -1;
}

uint32_t get_audio_file_id_mask()
{
    uint32_t mask = 0;
    for (int i = 0; i < ALARM_AUDIO_FILES; i++) {
        unsigned char record[ALARM_AUDIO_FILE_SIZE];
        read_alarm_audio_file(VXDB_MAIN, record, i);
        int32_t used;
        memcpy(&used, record + 4, sizeof used);
        if (used == 1)
            mask |= 1u << i;
    }
    return mask;
}
