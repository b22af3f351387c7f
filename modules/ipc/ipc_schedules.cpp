// Image and exposure schedules of a channel's camera, carried through the
// core service in the camera form of the shared schedule encoding, and the
// exposure schedule the recorder keeps in its own database.
#include "modules/ipc/ipc.h"
#include "modules/ipc/ipc_param_table.h"

#include <cstdlib>
#include <cstring>

#include "core/encodings.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "platform/vxdb.h"

namespace {

// The exposure schedule has no day-valid words: its periods carry an
// exposure time and a gain instead.
constexpr JsonField kGetChannel[] = {JSON_WORD_CHECKED("id", IPC_CHANNELS - 1)};
constexpr JsonField kSetChannel[] = {JSON_WORD_CHECKED("channel", IPC_CHANNELS - 1)};

// Period i of day d of a week array, or null.
json_object* period_at(json_object* week, int day, int slot)
{
    return json_array_at(json_array_at(week, (size_t)day), (size_t)slot);
}

// The camera form for every day, each period with its exposure time and gain.
json_object* exposure_schedule_json(const ipc_exposure_schedule& record)
{
    Schedule* scratch = (Schedule*)calloc(1, sizeof(Schedule));
    if (!scratch)
        return nullptr;
    for (int d = 0; d < IPC_SCHEDULE_DAYS; d++) {
        memcpy(scratch->days[d].slots, record.slots[d], sizeof record.slots[d]);
        scratch->days[d].whole_day_enable = 1;
    }
    json_object* week = get_schedule_json_object_ipc(scratch);
    free(scratch);
    for (int d = 0; d < IPC_SCHEDULE_DAYS; d++)
        for (int i = 0; i < SCHEDULE_JSON_SLOTS; i++) {
            json_object* period = period_at(week, d, i);
            json_add_int(period, "exposureTime", record.exposure[d][i].exposure_time);
            json_add_int(period, "gainLevel", record.exposure[d][i].gain_level);
        }
    return week;
}

json_object* image_schedule_json(const ipc_image_schedule& record)
{
    return get_schedule_json_object_ipc(&record.schedule);
}

// The week of an answer holding a whole T, or null.
bool exposure_schedule_from_json(json_object* body, ipc_exposure_schedule* record)
{
    Schedule* scratch = (Schedule*)calloc(1, sizeof(Schedule));
    if (!scratch || get_schedule_by_json_ipc(body, "schedule", scratch) != 0) {
        free(scratch);
        return false;
    }
    json_object* week = nullptr;
    json_object_object_get_ex(body, "schedule", &week);
    for (int d = 0; d < IPC_SCHEDULE_DAYS; d++) {
        memcpy(record->slots[d], scratch->days[d].slots, sizeof record->slots[d]);
        for (int i = 0; i < SCHEDULE_JSON_SLOTS; i++) {
            json_object* period = period_at(week, d, i);
            int64_t value = 0;
            if (json_as_int64(json_array_at(period, 3), &value))
                record->exposure[d][i].exposure_time = (int32_t)value;
            if (json_as_int64(json_array_at(period, 4), &value))
                record->exposure[d][i].gain_level = (int32_t)value;
        }
    }
    free(scratch);
    return true;
}

// The week of a write, in the camera form; false refuses the request.
bool image_schedule_prepare(json_object* body, char* payload)
{
    return get_schedule_by_json_ipc(body, "schedule", &((ipc_image_schedule*)payload)->schedule) == 0;
}

bool exposure_schedule_prepare(json_object* body, char* payload)
{
    return exposure_schedule_from_json(body, (ipc_exposure_schedule*)payload);
}

void print_image_schedule(const char* record, json_object* reply)
{
    json_object_object_add(reply, "schedule", image_schedule_json(*(const ipc_image_schedule*)record));
}

void print_exposure_schedule(const char* record, json_object* reply)
{
    json_object_object_add(reply, "schedule", exposure_schedule_json(*(const ipc_exposure_schedule*)record));
}

// Gets and sets of the three schedules differ only in codes, size and form.
#define R(type) (int)sizeof(type)
constexpr ParamResource kImageGet = {REQ_IPC_IMAGE_SCHEDULE_GET, 4, ParamReply::RECORD, false, FIELDS(kGetChannel),
    R(ipc_image_schedule), NO_FIELDS, nullptr, print_image_schedule};
constexpr ParamResource kImageSet = {REQ_IPC_IMAGE_SCHEDULE_SET, R(ipc_image_schedule), ParamReply::SENT, false,
    FIELDS(kSetChannel), 4, NO_FIELDS, image_schedule_prepare, nullptr};
constexpr ParamResource kExposureGet = {REQ_IPC_EXPOSURE_SCHEDULE_GET, 4, ParamReply::RECORD, false,
    FIELDS(kGetChannel), R(ipc_exposure_schedule), NO_FIELDS, nullptr, print_exposure_schedule};
constexpr ParamResource kExposureSet = {REQ_IPC_EXPOSURE_SCHEDULE_SET, R(ipc_exposure_schedule), ParamReply::SENT,
    false, FIELDS(kSetChannel), 4, NO_FIELDS, exposure_schedule_prepare, nullptr};
constexpr ParamResource kImageExGet = {REQ_IPC_IMAGE_SCHEDULE_EX_GET, 4, ParamReply::RECORD, false,
    FIELDS(kGetChannel), R(ipc_image_schedule), NO_FIELDS, nullptr, print_image_schedule};
constexpr ParamResource kImageExSet = {REQ_IPC_IMAGE_SCHEDULE_EX_SET, R(ipc_image_schedule), ParamReply::SENT, false,
    FIELDS(kSetChannel), 4, NO_FIELDS, image_schedule_prepare, nullptr};
#undef R

// ---- the exposure schedule in the database ---------------------------------
// "exposure" is 8 days of periods [start, end, action], "exposureTime" and
// "gainLevel" 8 days of one number per period, in the record's [day][slot]
// order. Every list is cut to the record: the days and periods past it once
// filled memory beyond a fixed payload.

template <typename Fill>
void walk_week(json_object* body, const char* key, Fill fill)
{
    json_object* week = nullptr;
    if (!json_object_object_get_ex(body, key, &week))
        return;
    for (int d = 0; d < IPC_SCHEDULE_DAYS; d++)
        for (int i = 0; i < IPC_SCHEDULE_SLOTS; i++) {
            json_object* item = period_at(week, d, i);
            if (!item)
                break;
            fill(item, d, i);
        }
}

bool exposure_from_json(json_object* body, ipc_exposure_schedule* record)
{
    if (!json_read_record(body, record, kSetChannel))
        return false;
    walk_week(body, "exposure", [record](json_object* period, int d, int i) {
        ScheduleSlot& slot = record->slots[d][i];
        json_object* start = json_array_at(period, 0);
        json_object* end = json_array_at(period, 1);
        int64_t action = 0;
        if (json_object_is_type(start, json_type_string))
            wire_text(slot.start_time, json_object_get_string(start));
        if (json_object_is_type(end, json_type_string))
            wire_text(slot.end_time, json_object_get_string(end));
        if (json_as_int64(json_array_at(period, 2), &action))
            slot.action_type = (int32_t)action;
    });
    walk_week(body, "exposureTime", [record](json_object* value, int d, int i) {
        int64_t v = 0;
        if (json_as_int64(value, &v))
            record->exposure[d][i].exposure_time = (int32_t)v;
    });
    walk_week(body, "gainLevel", [record](json_object* value, int d, int i) {
        int64_t v = 0;
        if (json_as_int64(value, &v))
            record->exposure[d][i].gain_level = (int32_t)v;
    });
    return true;
}

json_object* exposure_to_json(const ipc_exposure_schedule& record)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "channel", record.channel);
    json_object* periods = json_object_new_array();
    json_object* times = json_object_new_array();
    json_object* gains = json_object_new_array();
    for (int d = 0; d < IPC_SCHEDULE_DAYS; d++) {
        json_object* day_periods = json_object_new_array();
        json_object* day_times = json_object_new_array();
        json_object* day_gains = json_object_new_array();
        for (int i = 0; i < IPC_SCHEDULE_SLOTS; i++) {
            const ScheduleSlot& slot = record.slots[d][i];
            json_object* period = json_object_new_object();
            json_add_field(period, "startTime", slot.start_time, sizeof slot.start_time);
            json_add_field(period, "endTime", slot.end_time, sizeof slot.end_time);
            json_add_int(period, "actionType", slot.action_type);
            json_object_array_add(day_periods, period);
            json_object_array_add(day_times, json_object_new_int(record.exposure[d][i].exposure_time));
            json_object_array_add(day_gains, json_object_new_int(record.exposure[d][i].gain_level));
        }
        json_object_array_add(periods, day_periods);
        json_object_array_add(times, day_times);
        json_object_array_add(gains, day_gains);
    }
    json_object_object_add(reply, "exposure", periods);
    json_object_object_add(reply, "exposureTime", times);
    json_object_object_add(reply, "gainLevel", gains);
    return reply;
}

HandlerStatus exposure_store(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    ipc_exposure_schedule* record = (ipc_exposure_schedule*)calloc(1, sizeof(ipc_exposure_schedule));
    const bool stored = body && record && exposure_from_json(body.get(), record) &&
                        write_exposure(VXDB_MAIN, record) == 0;
    if (stored)
        reply_text("OK");
    free(record);
    return stored ? HANDLER_DONE : HANDLER_ERROR_JSON;
}

HandlerStatus exposure_load(const char* request)
{
    int32_t channel = 0;
    if (!request_record(request, &channel, kSetChannel))
        return HANDLER_ERROR_JSON;
    ipc_exposure_schedule* record = (ipc_exposure_schedule*)calloc(1, sizeof(ipc_exposure_schedule));
    const bool found = record && read_exposure(VXDB_MAIN, record, channel) == 0;
    if (found) {
        record->channel = channel;
        cgi_writeback_json(REPLY_JSON, exposure_to_json(*record));
    }
    free(record);
    return found ? HANDLER_DONE : HANDLER_ERROR_JSON;
}

// Path, handler, one line of help, what it does.
// The camera rows go through the shared pass-through; the database pair
// has its own handlers.
#define SCHEDULE_RESOURCES(X) \
    X("/2041", on_get_ipc_image_schedule, "image schedule of a camera", kImageGet) \
    X("/2042", on_set_ipc_image_schedule, "set the image schedule of a camera", kImageSet) \
    X("/2043", on_get_ipc_exposure_schedule, "exposure schedule of a camera", kExposureGet) \
    X("/2044", on_set_ipc_exposure_schedule, "set the exposure schedule of a camera", kExposureSet) \
    X("/2045", on_get_ipc_image_schedule_ex, "second image schedule of a camera", kImageExGet) \
    X("/2046", on_set_ipc_image_schedule_ex, "set the second image schedule of a camera", kImageExSet)

#define EXPOSURE_RESOURCES(X) \
    X("/2048", on_set_ipc_exposure, "store a channel's exposure schedule in the database", exposure_store) \
    X("/2049", on_get_ipc_exposure, "a channel's exposure schedule from the database", exposure_load)

#define EXPOSURE_RESOURCE_ROW(path, handler, help, call) {path, handler, help},
#define EXPOSURE_HANDLER(path, handler, help, call) \
    HandlerStatus handler(const char* request) { return call(request); }

SCHEDULE_RESOURCES(PARAM_HANDLER)
EXPOSURE_RESOURCES(EXPOSURE_HANDLER)

const WebResEntry kScheduleResources[] = {
    SCHEDULE_RESOURCES(PARAM_RESOURCE_ROW) EXPOSURE_RESOURCES(EXPOSURE_RESOURCE_ROW)};

const IpcResponse kScheduleResponses[] = {SCHEDULE_RESOURCES(PARAM_RESPONSE_ROW)};

}  // namespace

const WebModulePart ipc_schedules_part = WEB_MODULE_PART("ipc", kScheduleResources, kScheduleResponses);
