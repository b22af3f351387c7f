// An event's action set: its schedules, white-LED, HTTP-notification and PTZ
// actions, alarm outputs and the action fields of its own record, read from
// and written to JSON in one place for every event kind (motion, video loss,
// alarm inputs, smart events), and copied from one channel to a channel set.
#pragma once
#include <cstddef>
#include <cstdint>
#include <json-c/json.h>

#include "core/json_util.h"

// The database kinds an event keeps its actions in; null for a table the
// event does not have.
struct EventActionTables {
    const char* effective_schedule;
    const char* audible_schedule;
    const char* email_schedule;
    const char* ptz_schedule;
    const char* white_schedule;
    const char* white_params;
    const char* http_schedule;
    const char* http_params;
    int ptz_event_type;  // PTZ action entries of this type; 0: none
};

enum class ActionKey : uint8_t {
    FIELD,          // a field of the event's record
    CHANNELS,       // a channel string with the 32-bit mask derived from it
    ALARM_OUTPUTS,  // two channel strings, the second right after the first
    EFFECTIVE, AUDIBLE, EMAIL, PTZ, WHITE, HTTP,  // schedules
    WHITE_PARAMS,
    HTTP_PARAMS,
    AUDIO_MASK,  // shown only
    PTZ_PARAMS,  // the PTZ action entries
};

struct EventActionKey {
    ActionKey kind;
    JsonField field;      // the key; for record rows also where it lives
    int32_t mask_offset;  // CHANNELS: the mask beside the string
    bool dialog_only;     // taken from a "dialog" object, not from a top-level form
};

#define ACTION_FIELD(record, member, key) \
    EventActionKey { ActionKey::FIELD, JSON_FIELD(record, member, key, I32), -1, false }
#define ACTION_TEXT(record, member, key) \
    EventActionKey { ActionKey::FIELD, JSON_FIELD(record, member, key, TEXT), -1, false }
#define ACTION_CHANNELS(record, member, mask, key) \
    EventActionKey { ActionKey::CHANNELS, JSON_FIELD(record, member, key, TEXT), (int32_t)offsetof(record, mask), false }
#define ACTION_ALARM_OUTPUTS(record, first, key) \
    EventActionKey { ActionKey::ALARM_OUTPUTS, JSON_FIELD(record, first, key, TEXT), -1, false }
#define ACTION_BLOCK(kind, key) \
    EventActionKey { ActionKey::kind, JsonField{key, 0, JType::NONE, 0}, -1, false }
// Rows that only a "dialog" object carries.
#define ACTION_DIALOG_FIELD(record, member, key) \
    EventActionKey { ActionKey::FIELD, JSON_FIELD(record, member, key, I32), -1, true }
#define ACTION_DIALOG_BLOCK(kind, key) \
    EventActionKey { ActionKey::kind, JsonField{key, 0, JType::NONE, 0}, -1, true }

// Adds the keys in table order: record rows from `record`, the others read
// from the event's tables for `channel`.
void event_actions_to_json(json_object* out, const EventActionTables& tables, int channel, const void* record,
                           const EventActionKey* keys, size_t n);

// Stores each present table key (schedules, white-LED and HTTP parameters,
// PTZ entries) for `channel` at once; `dialog` false skips dialog-only rows.
// Returns the number stored; nothing for a channel outside 0..63.
int event_actions_store(json_object* in, const EventActionTables& tables, int channel, const EventActionKey* keys,
                        size_t n, bool dialog);
// Copies each present record key into `record` (texts cut to their field,
// masks derived again from their strings); returns the number copied.
int event_actions_fill(json_object* in, void* record, int channel, const EventActionKey* keys, size_t n,
                       bool dialog);

// Copies every action table of `source` to each channel of the set, each
// copy carrying its target channel. 0, or -1 when a write failed.
int event_actions_copy(const EventActionTables& tables, int source, uint64_t channels);

template <size_t N>
void event_actions_to_json(json_object* out, const EventActionTables& t, int channel, const void* record,
                           const EventActionKey (&keys)[N])
{
    event_actions_to_json(out, t, channel, record, keys, N);
}
