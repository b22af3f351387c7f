// The action set of an event, shared by every event kind: one table of keys
// per event says what its replies show and what its requests may change.
#include "core/event_actions.h"

#include <cstring>

#include "core/channels.h"
#include "core/db.h"
#include "core/encodings.h"

namespace {

const char* schedule_table(const EventActionTables& t, ActionKey kind)
{
    switch (kind) {
    case ActionKey::EFFECTIVE: return t.effective_schedule;
    case ActionKey::AUDIBLE: return t.audible_schedule;
    case ActionKey::EMAIL: return t.email_schedule;
    case ActionKey::PTZ: return t.ptz_schedule;
    case ActionKey::WHITE: return t.white_schedule;
    case ActionKey::HTTP: return t.http_schedule;
    default: return nullptr;
    }
}

bool valid_channel(int channel)
{
    return channel >= 0 && channel < CHANNEL_COUNT;
}

json_object* schedule_json(const char* table, int channel)
{
    Schedule schedule;
    read_schedule(VXDB_MAIN, table, &schedule, channel);
    return get_schedule_json_object(&schedule);
}

// A channel string of a record, which may fill its field without a NUL.
void record_text(const void* record, const JsonField& f, int index, char* out, size_t size)
{
    const char* field = (const char*)record + f.offset + (size_t)index * f.size;
    size_t n = strnlen(field, f.size);
    if (n >= size)
        n = size - 1;
    memcpy(out, field, n);
    out[n] = '\0';
}

vxdb_kind white_kind(const char* table)
{
    return {table, (int)sizeof(WhiteLedBlock), DB_MAX_CHANNELS};
}

vxdb_kind http_kind(const char* table)
{
    return {table, (int)sizeof(HttpNotificationParams), DB_MAX_CHANNELS};
}

// White-LED entries and PTZ entries carry their owner channel in every
// entry, so a copy rewrites each entry the source filled.
int copy_white_block(const char* table, int source, uint64_t channels)
{
    WhiteLedBlock block;
    if (vxdb_read(VXDB_MAIN, white_kind(table), source, &block) < 0)
        return -1;
    int rc = 0;
    for (int c = 0; c < CHANNEL_COUNT; c++) {
        if (!(channels & (1ULL << c)))
            continue;
        WhiteLedBlock copy = block;
        for (WhiteLedEntry& e : copy.entries)
            if (e.owner == source)
                e.owner = c;
        rc |= vxdb_write(VXDB_MAIN, white_kind(table), c, &copy, (int)sizeof copy);
    }
    return rc ? -1 : 0;
}

int copy_ptz_entries(int event_type, int source, uint64_t channels)
{
    PtzActionParams list;
    int count = 0;
    if (read_ptz_params(VXDB_MAIN, event_type, source, &list, &count) < 0)
        return -1;
    int rc = 0;
    for (int c = 0; c < CHANNEL_COUNT; c++) {
        if (!(channels & (1ULL << c)))
            continue;
        PtzActionParams copy = list;
        for (PtzActionEntry& e : copy.entries)
            if (e.channel == source && e.acto_ptz_channel != 0)
                e.channel = c;
        rc |= write_ptz_params_all(VXDB_MAIN, event_type, c, &copy);
    }
    return rc ? -1 : 0;
}

}  // namespace

void event_actions_to_json(json_object* out, const EventActionTables& t, int channel, const void* record,
                           const EventActionKey* keys, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        const EventActionKey& k = keys[i];
        const char* key = k.field.key;
        switch (k.kind) {
        case ActionKey::FIELD:
        case ActionKey::CHANNELS:
            json_from_record(out, record, &k.field, 1);
            break;
        case ActionKey::ALARM_OUTPUTS: {
            char first[CHANNEL_COUNT + 2], second[CHANNEL_COUNT + 2];
            record_text(record, k.field, 0, first, sizeof first);
            record_text(record, k.field, 1, second, sizeof second);
            json_object_object_add(out, key, get_event_chn_alarmout_object(first, second));
            break;
        }
        case ActionKey::WHITE_PARAMS:
            json_object_object_add(out, key, get_white_params_json_object(channel, t.white_params));
            break;
        case ActionKey::HTTP_PARAMS:
            json_object_object_add(out, key, get_http_params_json_object(channel, t.http_params));
            break;
        case ActionKey::AUDIO_MASK:
            json_add_int(out, key, get_audio_file_id_mask());
            break;
        case ActionKey::PTZ_PARAMS:
            json_object_object_add(out, key, get_ptz_params_json_object(t.ptz_event_type, channel));
            break;
        default:
            if (const char* table = schedule_table(t, k.kind))
                json_object_object_add(out, key, schedule_json(table, channel));
            break;
        }
    }
}

int event_actions_store(json_object* in, const EventActionTables& t, int channel, const EventActionKey* keys,
                        size_t n, bool dialog)
{
    if (!in || !valid_channel(channel))
        return 0;
    int stored = 0;
    for (size_t i = 0; i < n; i++) {
        const EventActionKey& k = keys[i];
        if (k.dialog_only && !dialog)
            continue;
        const char* key = k.field.key;
        switch (k.kind) {
        case ActionKey::FIELD:
        case ActionKey::CHANNELS:
        case ActionKey::ALARM_OUTPUTS:
        case ActionKey::AUDIO_MASK:
            break;
        case ActionKey::WHITE_PARAMS: {
            static WhiteLedParams table;  // 8 KB: kept off the small stack
            if (t.white_params && get_white_params_by_json(channel, &table, in, key) == 0 &&
                write_whiteled_params_all(VXDB_MAIN, t.white_params, channel, &table) == 0)
                stored++;
            break;
        }
        case ActionKey::HTTP_PARAMS: {
            HttpNotificationParams params;
            if (t.http_params && get_http_params_by_json(channel, &params, in, key) == 0 &&
                write_http_notification_params(VXDB_MAIN, t.http_params, &params) == 0)
                stored++;
            break;
        }
        case ActionKey::PTZ_PARAMS: {
            // The entries belong to this event and channel whatever
            // "ptzChnId" and "ptzType" say: a motion form never rewrites
            // another event's or another camera's list.
            json_object* list = nullptr;
            if (t.ptz_event_type > 0 && json_object_object_get_ex(in, key, &list) &&
                json_object_is_type(list, json_type_array))
                stored += set_ptz_params_by_json(channel, t.ptz_event_type, list);
            break;
        }
        default: {
            const char* table = schedule_table(t, k.kind);
            Schedule schedule;
            if (table && get_schedule_by_json(in, key, &schedule) == 0 &&
                write_schedule(VXDB_MAIN, table, &schedule, channel) == 0)
                stored++;
            break;
        }
        }
    }
    return stored;
}

int event_actions_fill(json_object* in, void* record, int channel, const EventActionKey* keys, size_t n,
                       bool dialog)
{
    if (!in || !record)
        return 0;
    int found = 0;
    for (size_t i = 0; i < n; i++) {
        const EventActionKey& k = keys[i];
        if (k.dialog_only && !dialog)
            continue;
        switch (k.kind) {
        case ActionKey::FIELD:
            found += json_to_record(in, record, &k.field, 1);
            break;
        case ActionKey::CHANNELS:
            if (json_to_record(in, record, &k.field, 1)) {
                const char* text = (const char*)record + k.field.offset;
                uint32_t mask = (uint32_t)channel_string_mask(text, k.field.size);
                memcpy((char*)record + k.mask_offset, &mask, sizeof mask);
                found++;
            }
            break;
        case ActionKey::ALARM_OUTPUTS: {
            AlarmOutTarget pair[2];
            if (get_event_chn_alarmout_by_object(channel, in, k.field.key, pair) != 0)
                break;
            for (int j = 0; j < 2; j++) {
                char* field = (char*)record + k.field.offset + (size_t)j * k.field.size;
                size_t len = strnlen(pair[j].name, k.field.size - 1);
                memcpy(field, pair[j].name, len);
                memset(field + len, 0, k.field.size - len);
            }
            found++;
            break;
        }
        default:
            break;
        }
    }
    return found;
}

int event_actions_copy(const EventActionTables& t, int source, uint64_t channels)
{
    if (!valid_channel(source) || !channels)
        return 0;
    int rc = 0;
    const char* schedules[] = {t.effective_schedule, t.audible_schedule, t.email_schedule,
                               t.ptz_schedule,       t.white_schedule,   t.http_schedule};
    for (const char* table : schedules)
        if (table)
            rc |= vxdb_copy(VXDB_MAIN, db_schedule_kind(table), source, channels, -1);
    if (t.white_params)
        rc |= copy_white_block(t.white_params, source, channels);
    if (t.http_params)
        rc |= vxdb_copy(VXDB_MAIN, http_kind(t.http_params), source, channels,
                        (int)offsetof(HttpNotificationParams, channel));
    if (t.ptz_event_type > 0)
        rc |= copy_ptz_entries(t.ptz_event_type, source, channels);
    return rc ? -1 : 0;
}
