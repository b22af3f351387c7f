// Smart-event records in the configuration database: the action record of
// each channel and event, and the per-event tables its action set lives in.
#include <cstring>

#include "core/db.h"
#include "core/event_actions.h"
#include "modules/video/video_records.h"
#include "platform/vxdb.h"

namespace {

// Event number and the stem of its table names; the rows are in event order.
#define SMART_EVENT_NAMES(X)   \
    X(0, "region_entrance")    \
    X(1, "region_exit")        \
    X(2, "advanced_motion")    \
    X(3, "tamper_detection")   \
    X(4, "line_crossing")      \
    X(5, "loitering")          \
    X(6, "human_detection")    \
    X(7, "people_counting")    \
    X(8, "object_left_removed")

#define SMART_EVENT_TABLES(event, stem)                                                              \
    {stem "_effective_schedule", stem "_audible_schedule", stem "_email_schedule", stem "_ptz_schedule", \
     stem "_whiteled_esche",     stem "_white_led_params", stem "_http_notification_sche",              \
     stem "_http_notification_params", (event) + 5},

const EventActionTables kSmartTables[SMART_EVENTS] = {SMART_EVENT_NAMES(SMART_EVENT_TABLES)};

// Regional people counting keeps an action set per channel and region 0..3;
// its PTZ actions have no event type of their own.
#define REGIONAL_TABLES(stem)                                                                              \
    {stem "_effective_schedule", stem "_audible_schedule", stem "_email_schedule", stem "_ptz_schedule",     \
     stem "_whiteled_esche",     stem "_whiteled_params",  stem "_http_notification_sche",                  \
     stem "_http_notification_params", 0}

const EventActionTables kRegionalTables[REGIONAL_AREAS] = {
    REGIONAL_TABLES("regional_pcnt"), REGIONAL_TABLES("regional_pcnt1"), REGIONAL_TABLES("regional_pcnt2"),
    REGIONAL_TABLES("regional_pcnt3")};

// The action records of a family in the smart-event layout, keyed by
// channel and a second number (the event, or the region) at key x 64 +
// channel; `tables` are the action tables a copy takes along, when the
// family copies them with its records.
struct ActionRecords {
    vxdb_kind kind;
    int keys;
    const EventActionTables* tables;
};

const ActionRecords kSmartEvents = {
    {"smart_event", (int)sizeof(smart_event), SMART_EVENTS * VIDEO_CHANNELS}, SMART_EVENTS, kSmartTables};
const ActionRecords kRegionalEvents = {
    {"regional_pcnt_event", (int)sizeof(smart_event), REGIONAL_AREAS * VIDEO_CHANNELS}, REGIONAL_AREAS, nullptr};

bool valid(const ActionRecords& family, int channel, int key)
{
    return channel >= 0 && channel < VIDEO_CHANNELS && key >= 0 && key < family.keys;
}

bool valid_region(int channel, int region)
{
    return valid(kRegionalEvents, channel, region);
}

bool valid_key(int channel, int event)
{
    return valid(kSmartEvents, channel, event);
}

int read_action_record(const char* db, const ActionRecords& family, smart_event* out, int channel, int key)
{
    if (!valid(family, channel, key)) {
        memset(out, 0, sizeof *out);
        return -1;
    }
    return vxdb_read(db, family.kind, key * VIDEO_CHANNELS + channel, out);
}

// The record's own id and event are its key.
int write_action_record(const char* db, const ActionRecords& family, const smart_event* record)
{
    if (!valid(family, record->id, record->event))
        return -1;
    return vxdb_write(db, family.kind, record->event * VIDEO_CHANNELS + record->id, record, (int)sizeof *record);
}

int update_action_record(const char* db, const ActionRecords& family, int channel, int key,
                         bool (*change)(smart_event*, void*), void* context)
{
    if (!valid(family, channel, key))
        return -1;
    return vxdb_update(db, family.kind, key * VIDEO_CHANNELS + channel, change, context);
}

// The record of (source, key) to each other channel of the set, each copy
// under its own channel, and the family's tables along with it.
int copy_action_record(const char* db, const ActionRecords& family, int source, int key, uint64_t channels)
{
    smart_event record;
    if (read_action_record(db, family, &record, source, key) < 0)
        return -1;
    int rc = 0;
    for (int c = 0; c < VIDEO_CHANNELS; c++) {
        if (c == source || !(channels & (1ULL << c)))
            continue;
        smart_event copy = record;
        copy.id = c;
        copy.event = key;
        rc |= write_action_record(db, family, &copy);
    }
    if (family.tables)
        rc |= event_actions_copy(family.tables[key], source, channels & ~(1ULL << source));
    return rc ? -1 : 0;
}

const char* schedule_table(int event, const char* EventActionTables::*table)
{
    const EventActionTables* t = smart_event_tables(event);
    return t ? t->*table : nullptr;
}

int read_event_schedule(const char* db, const char* EventActionTables::*table, Schedule* out, int channel,
                        int event)
{
    const char* name = schedule_table(event, table);
    if (!name || !valid_key(channel, event)) {
        memset(out, 0, sizeof *out);
        return -1;
    }
    return read_schedule(db, name, out, channel);
}

int write_event_schedule(const char* db, const char* EventActionTables::*table, const Schedule* schedule,
                         int channel, int event)
{
    const char* name = schedule_table(event, table);
    if (!name || !valid_key(channel, event))
        return -1;
    return write_schedule(db, name, schedule, channel);
}

}  // namespace

const EventActionTables* smart_event_tables(int event)
{
    return event >= 0 && event < SMART_EVENTS ? &kSmartTables[event] : nullptr;
}

const char* get_vca_white_table_name(int event, int kind)
{
    const EventActionTables* t = smart_event_tables(event);
    if (!t)
        return nullptr;
    return kind == 0 ? t->white_schedule : kind == 1 ? t->white_params : nullptr;
}

const char* get_vca_http_table_name(int event, int kind)
{
    const EventActionTables* t = smart_event_tables(event);
    if (!t)
        return nullptr;
    return kind == 0 ? t->http_schedule : kind == 1 ? t->http_params : nullptr;
}

int read_smart_event(const char* db, smart_event* out, int channel, int event)
{
    return read_action_record(db, kSmartEvents, out, channel, event);
}

int write_smart_event(const char* db, const smart_event* record)
{
    return write_action_record(db, kSmartEvents, record);
}

int update_smart_event(const char* db, int channel, int event, bool (*change)(smart_event*, void*), void* context)
{
    return update_action_record(db, kSmartEvents, channel, event, change, context);
}

int copy_smart_event_action(const char* db, int source, int event, uint64_t channels)
{
    return copy_action_record(db, kSmartEvents, source, event, channels);
}

int read_smart_event_effective_schedule(const char* db, Schedule* out, int channel, int event)
{
    return read_event_schedule(db, &EventActionTables::effective_schedule, out, channel, event);
}

int write_smart_event_effective_schedule(const char* db, const Schedule* schedule, int channel, int event)
{
    return write_event_schedule(db, &EventActionTables::effective_schedule, schedule, channel, event);
}

const EventActionTables* regional_pcnt_tables(int region)
{
    return region >= 0 && region < REGIONAL_AREAS ? &kRegionalTables[region] : nullptr;
}

int read_regional_pcnt_event(const char* db, smart_event* out, int channel, int region)
{
    return read_action_record(db, kRegionalEvents, out, channel, region);
}

int write_regional_pcnt_event(const char* db, const smart_event* record)
{
    return write_action_record(db, kRegionalEvents, record);
}

int update_regional_pcnt_event(const char* db, int channel, int region,
                               bool (*change)(smart_event* record, void* context), void* context)
{
    return update_action_record(db, kRegionalEvents, channel, region, change, context);
}

int copy_regional_pcnt_event(const char* db, int source, int region, uint64_t channels)
{
    return copy_action_record(db, kRegionalEvents, source, region, channels);
}

int read_regional_pcnt_schedule(const char* db, Schedule* out, int channel, int region)
{
    if (!valid_region(channel, region)) {
        memset(out, 0, sizeof *out);
        return -1;
    }
    return read_schedule(db, kRegionalTables[region].effective_schedule, out, channel);
}

int write_regional_pcnt_schedule(const char* db, const Schedule* schedule, int channel, int region)
{
    if (!valid_region(channel, region))
        return -1;
    return write_schedule(db, kRegionalTables[region].effective_schedule, schedule, channel);
}

int copy_regional_pcnt_schedule(int source, int region, uint64_t channels)
{
    if (!valid_region(source, region))
        return -1;
    return event_actions_copy(kRegionalTables[region], source, channels & ~(1ULL << source));
}
