// Holidays, the weekly recording schedule with its plan mode, and the
// recording mode of each channel.
#include <cstring>

#include "core/channels.h"
#include "core/ipc.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "modules/record/record.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define SCHEDULE_RESOURCES(X) \
    X("/6030", on_get_holiday_info, "holiday list") \
    X("/6031", on_set_holiday_info, "store one holiday") \
    X("/6040", on_get_record_info, "recording schedule of a channel") \
    X("/6041", on_set_record_info, "set the schedule and plan mode of channels") \
    X("/6042", on_get_record_modes, "recording mode of each channel") \
    X("/6043", on_set_record_modes, "set recording modes")

SCHEDULE_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kScheduleResources[] = {SCHEDULE_RESOURCES(WEB_RESOURCE_ROW)};

const JsonField kHolidayFields[] = {
    JSON_FIELD_CHECKED(db_holiday, id, "id", I32, true, 0, HOLIDAY_MAX - 1),
    JSON_FIELD_CHECKED(db_holiday, enable, "enable", I32, true, 0, 1),
    JSON_FIELD(db_holiday, name, "name", TEXT),
    JSON_FIELD_CHECKED(db_holiday, type, "type", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD(db_holiday, start_year, "startYear", I32),
    JSON_FIELD(db_holiday, start_mon, "startMon", I32),
    JSON_FIELD(db_holiday, start_mday, "startMDay", I32),
    JSON_FIELD(db_holiday, start_mweek, "startMWeek", I32),
    JSON_FIELD(db_holiday, start_wday, "startWDay", I32),
    JSON_FIELD(db_holiday, end_year, "endYear", I32),
    JSON_FIELD(db_holiday, end_mon, "endMon", I32),
    JSON_FIELD(db_holiday, end_mday, "endMDay", I32),
    JSON_FIELD(db_holiday, end_mweek, "endMWeek", I32),
    JSON_FIELD(db_holiday, end_wday, "endWDay", I32),
};

const JsonField kRecordModeFields[] = {
    JSON_FIELD_CHECKED(db_record, id, "id", I32, true, 0, RECORD_CHANNELS - 1),
    JSON_FIELD_CHECKED(db_record, mode, "mode", I32, true, 0, RECORD_MODE_MAX),
};

const JsonField kRecordInfoChecks[] = {
    JSON_CHECK("cnt", true, JSON_ANY_MIN, JSON_ANY_MAX),
    // Without it every selected channel's mode used to be reset to 0.
    JSON_CHECK("recordplanmode", true, 0, RECORD_MODE_MAX),
};

const JsonField kSlotFields[] = {
    JSON_FIELD(ScheduleSlot, start_time, "startTime", TEXT),
    JSON_FIELD(ScheduleSlot, end_time, "endTime", TEXT),
    JSON_FIELD(ScheduleSlot, action_type, "actionType", I32),
};
const JsonField kDayFields[] = {
    JSON_FIELD(ScheduleDay, whole_day_enable, "wholedayEnable", I32),
    JSON_FIELD(ScheduleDay, whole_day_action, "wholedayActionType", I32),
};

HandlerStatus on_get_holiday_info(const char*)
{
    json_object* list = json_object_new_array();
    for (int id = 0; id < HOLIDAY_MAX; id++) {
        db_holiday holiday;
        bool found = false;
        if (read_holiday(VXDB_MAIN, &holiday, id, &found) != 0) {
            json_object_put(list);
            return HANDLER_ERROR_JSON;
        }
        if (!found)
            continue;
        json_object* o = json_object_new_object();
        json_from_record(o, &holiday, kHolidayFields);
        json_object_array_add(list, o);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "holidays", list);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_set_holiday_info(const char* request)
{
    db_holiday holiday;
    if (!request_record(request, &holiday, kHolidayFields))
        return HANDLER_SILENT;
    if (write_holiday(VXDB_MAIN, &holiday) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_record_ipc_callback, REQ_HOLIDAY_CHANGED, nullptr, 0);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_HOLIDAY, oplog_number(holiday.id));
    reply_text("OK");
    return HANDLER_DONE;
}

json_object* schedule_json(const Schedule& schedule)
{
    json_object* week = json_object_new_array();
    for (const ScheduleDay& day : schedule.days) {
        json_object* d = json_object_new_object();
        json_from_record(d, &day, kDayFields);
        json_object* plans = json_object_new_array();
        for (const ScheduleSlot& slot : day.slots) {
            json_object* s = json_object_new_object();
            json_from_record(s, &slot, kSlotFields);
            json_object_array_add(plans, s);
        }
        json_object_object_add(d, "plans", plans);
        json_object_array_add(week, d);
    }
    return week;
}

// The write form: each plan is [start text, end text, action type].
void schedule_from_json(json_object* week, Schedule* schedule)
{
    memset(schedule, 0, sizeof *schedule);
    for (size_t d = 0; d < SCHEDULE_DAYS; d++) {
        json_object* day = json_array_at(week, d);
        ScheduleDay& out = schedule->days[d];
        int enable = 0;
        // A day without the whole-day switch keeps its whole-day action 0.
        if (json_get_int(day, "wholedayEnable", &enable) && enable != 0) {
            out.whole_day_enable = enable;
            json_get_int(day, "wholedayActionType", &out.whole_day_action);
        }
        json_object* plans = nullptr;
        json_object_object_get_ex(day, "plans", &plans);
        for (size_t i = 0; i < SCHEDULE_SLOTS; i++) {
            json_object* plan = json_array_at(plans, i);
            if (!plan)
                break;
            ScheduleSlot& slot = out.slots[i];
            json_object* start = json_array_at(plan, 0);
            json_object* end = json_array_at(plan, 1);
            int64_t action = 0;
            if (json_object_is_type(start, json_type_string))
                wire_text(slot.start_time, json_object_get_string(start));
            if (json_object_is_type(end, json_type_string))
                wire_text(slot.end_time, json_object_get_string(end));
            if (json_as_int64(json_array_at(plan, 2), &action))
                slot.action_type = (int32_t)action;
        }
    }
}

HandlerStatus on_get_record_info(const char* request)
{
    int channel = 0;
    if (!record_channel_from_text(request, &channel))
        return HANDLER_SILENT;
    db_record record;
    Schedule schedule;
    if (read_record(VXDB_MAIN, &record, channel) != 0 || read_record_schedule(VXDB_MAIN, &schedule, channel) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "id", record.id);
    json_object_object_add(reply, "schedule", schedule_json(schedule));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// The last channel number among the first "cnt" entries, in range or not:
// the log names it even when it selected nothing.
int last_channel_read(json_object* body)
{
    int count = 0, last = 0;
    json_object* array = nullptr;
    json_get_int(body, "cnt", &count);
    json_object_object_get_ex(body, "chnid", &array);
    for (size_t i = 0; (int64_t)i < count && i < json_array_size(array); i++) {
        int64_t channel = 0;
        if (json_as_int64(json_array_at(array, i), &channel))
            last = (int)channel;
    }
    return last;
}

HandlerStatus on_set_record_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body || !json_check(body.get(), kRecordInfoChecks))
        return HANDLER_SILENT;
    int plan_mode = 0;
    json_get_int(body.get(), "recordplanmode", &plan_mode);
    json_object* week = nullptr;
    json_object_object_get_ex(body.get(), "schedule", &week);
    Schedule schedule;
    schedule_from_json(week, &schedule);

    const ChannelList selected = channel_list_by_json(body.get(), "chnid", "cnt");
    db_record records[RECORD_CHANNELS];
    if (read_records(VXDB_MAIN, records) != 0)
        return HANDLER_ERROR_TEXT;
    uint64_t changed = 0;
    for (int i = 0; i < selected.count; i++)
        if (records[selected.channels[i]].mode != plan_mode)
            changed |= 1ULL << selected.channels[i];
    if (copy_record_schedules(VXDB_MAIN, &schedule, selected.mask) != 0 ||
        copy_table_column_int(VXDB_MAIN, TABLE_RECORD, "mode", plan_mode, changed) != 0)
        return HANDLER_ERROR_TEXT;

    cgi_notify(on_record_ipc_callback, REQ_RECORD_PLAN_MODE_CHANGED, &changed, (int)sizeof changed);
    cgi_notify(on_record_ipc_callback, REQ_RECORD_SCHEDULE_CHANGED, &selected.mask, (int)sizeof selected.mask);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_RECORD_SCHEDULE,
                            oplog_number(last_channel_read(body.get())));
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_record_modes(const char*)
{
    db_record records[RECORD_CHANNELS];
    if (read_records(VXDB_MAIN, records) != 0)
        return HANDLER_ERROR_JSON;
    const int n = get_max_cameras(VXDB_MAIN);
    json_object* list = json_object_new_array();
    for (int i = 0; i < n; i++) {
        json_object* o = json_object_new_object();
        json_from_record(o, &records[i], kRecordModeFields);
        json_object_array_add(list, o);
    }
    json_object* reply = json_object_new_object();
    json_object_object_add(reply, "records", list);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

struct ModeChange {
    int32_t modes[RECORD_CHANNELS];
};

void set_mode(db_record* r, int idx, void* context)
{
    r->id = idx;
    r->mode = ((const ModeChange*)context)->modes[idx];
}

// "id" selects the row: the position in the array used to, so {"id":5}
// alone changed channel 0. The pages send the whole list in order, which
// gives the same rows either way.
HandlerStatus on_set_record_modes(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    json_object* entries = nullptr;
    if (!json_object_object_get_ex(body.get(), "records", &entries) ||
        !json_object_is_type(entries, json_type_array) || json_array_size(entries) > RECORD_CHANNELS) {
        reply_text("ERROR");
        return HANDLER_DONE;
    }
    ModeChange change;
    memset(&change, 0, sizeof change);
    ChannelList rows;
    memset(&rows, 0, sizeof rows);
    for (size_t i = 0; i < json_array_size(entries); i++) {
        db_record entry;
        memset(&entry, 0, sizeof entry);
        if (!json_read_record(json_array_at(entries, i), &entry, kRecordModeFields)) {
            reply_text("ERROR");
            return HANDLER_DONE;
        }
        change.modes[entry.id] = entry.mode;
        if (!(rows.mask & (1ULL << entry.id)))
            rows.channels[rows.count++] = (uint8_t)entry.id;
        rows.mask |= 1ULL << entry.id;
    }
    if (update_records(VXDB_MAIN, rows.mask, set_mode, &change) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_RECORD_MODE, 0);
    reply_text("OK");
    for (int i = 0; i < rows.count; i++) {
        const int32_t channel = rows.channels[i];
        cgi_notify(on_record_ipc_callback, REQ_RECORD_MODE_CHANGED, &channel, (int)sizeof channel);
    }
    return HANDLER_DONE;
}

}  // namespace

// Nothing here waits for the core service.
const WebModulePart record_schedule_part = {"record", kScheduleResources, WEB_RES_COUNT(kScheduleResources),
                                            nullptr, 0};
