// Alarm records in the configuration database: NVR inputs and outputs by
// number, camera inputs and outputs at idx = input (or output) * 64 + channel.
#include <cstring>

#include "modules/alarm/alarm_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kAlarmIn = {"alarm_in", (int)sizeof(alarm_in), NVR_ALARM_INPUTS};
const vxdb_kind kAlarmOut = {"alarm_out", (int)sizeof(alarm_out), NVR_ALARM_OUTPUTS};
const vxdb_kind kChnInEvent = {"alarm_chnIn_event", (int)sizeof(alarm_chnIn_event),
                               ALARM_CHANNELS * CAMERA_ALARM_INPUTS};
const vxdb_kind kChnInName = {"alarm_chnIn_event_name", (int)sizeof(alarm_chnIn_event_name),
                              ALARM_CHANNELS * CAMERA_ALARM_INPUTS};
const vxdb_kind kChnOutName = {"alarm_chnOut_event_name", (int)sizeof(alarm_chnOut_event_name),
                               ALARM_CHANNELS * CAMERA_ALARM_OUTPUTS};

bool valid(int channel, int second, int seconds)
{
    return channel >= 0 && channel < ALARM_CHANNELS && second >= 0 && second < seconds;
}

int keyed(int channel, int second)
{
    return second * ALARM_CHANNELS + channel;
}

int read_keyed(const char* db, const vxdb_kind& kind, int seconds, void* out, int channel, int second)
{
    if (!valid(channel, second, seconds)) {
        memset(out, 0, (size_t)kind.size);
        return -1;
    }
    return vxdb_read(db, kind, keyed(channel, second), out) < 0 ? -1 : 0;
}

int write_keyed(const char* db, const vxdb_kind& kind, int seconds, const void* record, int channel, int second)
{
    if (!valid(channel, second, seconds))
        return -1;
    return vxdb_write(db, kind, keyed(channel, second), record, kind.size);
}

int read_keyed_row(const char* db, const vxdb_kind& kind, int seconds, void* out, int second)
{
    char* row = (char*)out;
    int rc = 0;
    for (int c = 0; c < ALARM_CHANNELS; c++)
        rc |= read_keyed(db, kind, seconds, row + (size_t)c * kind.size, c, second);
    return rc ? -1 : 0;
}
}  // namespace

int read_alarm_out(const char* db, alarm_out* out, int output)
{
    return vxdb_read(db, kAlarmOut, output, out) < 0 ? -1 : 0;
}

int write_alarm_out(const char* db, const alarm_out* record)
{
    return record ? vxdb_write(db, kAlarmOut, record->id, record, (int)sizeof *record) : -1;
}

int read_alarm_outs(const char* db, alarm_out out[NVR_ALARM_OUTPUTS])
{
    return vxdb_read_table(db, kAlarmOut, out, NVR_ALARM_OUTPUTS) < 0 ? -1 : 0;
}

int write_alarm_outs(const char* db, const alarm_out records[NVR_ALARM_OUTPUTS])
{
    return vxdb_write_range(db, kAlarmOut, 0, records, NVR_ALARM_OUTPUTS, (int)sizeof(alarm_out));
}

int read_alarm_in(const char* db, alarm_in* out, int input)
{
    return vxdb_read(db, kAlarmIn, input, out) < 0 ? -1 : 0;
}

int write_alarm_in(const char* db, const alarm_in* record)
{
    return record ? vxdb_write(db, kAlarmIn, record->id, record, (int)sizeof *record) : -1;
}

int read_alarm_chnIn_event(const char* db, alarm_chnIn_event* out, int channel, int input)
{
    return read_keyed(db, kChnInEvent, CAMERA_ALARM_INPUTS, out, channel, input);
}

int write_alarm_chnIn_event(const char* db, const alarm_chnIn_event* record)
{
    return write_keyed(db, kChnInEvent, CAMERA_ALARM_INPUTS, record, record->channel, record->input);
}

int copy_alarm_chnIn_events(const char* db, int source, int input, uint64_t channels)
{
    alarm_chnIn_event record;
    if (read_alarm_chnIn_event(db, &record, source, input) != 0)
        return -1;
    int rc = 0;
    for (int c = 0; c < ALARM_CHANNELS; c++) {
        if (!(channels & (1ULL << c)))
            continue;
        record.channel = c;
        record.input = input;
        rc |= write_alarm_chnIn_event(db, &record);
    }
    return rc ? -1 : 0;
}

int read_alarm_chnIn_event_name(const char* db, alarm_chnIn_event_name* out, int channel, int input)
{
    return read_keyed(db, kChnInName, CAMERA_ALARM_INPUTS, out, channel, input);
}

int write_alarm_chnIn_event_name(const char* db, const alarm_chnIn_event_name* record)
{
    return write_keyed(db, kChnInName, CAMERA_ALARM_INPUTS, record, record->channel, record->input);
}

int read_alarm_chnIn_event_names(const char* db, alarm_chnIn_event_name out[ALARM_CHANNELS], int input)
{
    return read_keyed_row(db, kChnInName, CAMERA_ALARM_INPUTS, out, input);
}

int read_alarm_chnOut_event_name(const char* db, alarm_chnOut_event_name* out, int channel, int output)
{
    return read_keyed(db, kChnOutName, CAMERA_ALARM_OUTPUTS, out, channel, output);
}

int write_alarm_chnOut_event_name(const char* db, const alarm_chnOut_event_name* record)
{
    return write_keyed(db, kChnOutName, CAMERA_ALARM_OUTPUTS, record, record->channel, record->output);
}

int read_alarm_chnOut_event_names(const char* db, alarm_chnOut_event_name out[ALARM_CHANNELS], int output)
{
    return read_keyed_row(db, kChnOutName, CAMERA_ALARM_OUTPUTS, out, output);
}

int update_alarm_chnIn_event(const char* db, int channel, int input,
                             bool (*change)(alarm_chnIn_event* record, void* context), void* context)
{
    if (!valid(channel, input, CAMERA_ALARM_INPUTS))
        return -1;
    return vxdb_update(db, kChnInEvent, keyed(channel, input), change, context);
}

int update_alarm_out(const char* db, int output, bool (*change)(alarm_out* record, void* context), void* context)
{
    if (output < 0 || output >= NVR_ALARM_OUTPUTS)
        return -1;
    return vxdb_update(db, kAlarmOut, output, change, context);
}

int update_alarm_in(const char* db, int input, bool (*change)(alarm_in* record, void* context), void* context)
{
    if (input < 0 || input >= NVR_ALARM_INPUTS)
        return -1;
    return vxdb_update(db, kAlarmIn, input, change, context);
}

namespace {
struct SetChange {
    void (*change)(alarm_in*, int, void*);
    void* context;
};

void apply_set_change(void* record, int idx, void* context)
{
    SetChange* c = (SetChange*)context;
    c->change((alarm_in*)record, idx, c->context);
}
}  // namespace

int update_alarm_ins(const char* db, uint64_t inputs, void (*change)(alarm_in* record, int input, void* context),
                     void* context)
{
    SetChange c = {change, context};
    return vxdb_update_set(db, kAlarmIn, inputs & ((1ULL << NVR_ALARM_INPUTS) - 1), apply_set_change, &c);
}
