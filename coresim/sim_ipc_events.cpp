// Simulated people counting, POS terminals and face detection: each change
// notice is answered with 0 after the database is read again, the groups
// keep counts that grow while they are enabled and are reset on request, and
// face settings reach only a channel that has a camera.
#include <chrono>
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/ipc/ipc_event_records.h"
#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

struct GroupCount {
    int64_t total = 0;     // the count database
    int64_t liveview = 0;  // what live view shows
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
};

struct PeopleCount {
    std::mutex mu;
    uint32_t enabled = 0;
    GroupCount groups[PEOPLECNT_GROUPS];
} g;

// One person a second passes an enabled group; called with the lock held.
void advance(int group)
{
    GroupCount& c = g.groups[group];
    const auto now = std::chrono::steady_clock::now();
    const int64_t passed = std::chrono::duration_cast<std::chrono::seconds>(now - c.since).count();
    if (passed <= 0)
        return;
    if (g.enabled & (1u << group)) {
        c.total += passed;
        c.liveview += passed;
    }
    c.since += std::chrono::seconds(passed);
}

void on_groups_changed(const SimRequest& request, SimReply& reply)
{
    peoplecnt_settings groups[PEOPLECNT_GROUPS];
    if (read_peoplecnt_settings(VXDB_MAIN, groups) != 0)
        memset(groups, 0, sizeof groups);
    {
        std::lock_guard<std::mutex> lock(g.mu);
        uint32_t enabled = 0;
        for (int i = 0; i < PEOPLECNT_GROUPS; i++) {
            advance(i);
            if (groups[i].enable)
                enabled |= 1u << i;
        }
        g.enabled = enabled;
    }
    sim_log("people-counting groups 0x%x changed", (unsigned)request.word());
    reply.send_word(0);
}

void reset_group(const SimRequest& request, SimReply& reply, bool liveview_only)
{
    const int32_t group = request.word();
    if (request.length < 4 || group < 0 || group >= PEOPLECNT_GROUPS) {
        reply.send_word(-1);
        return;
    }
    int64_t was = 0;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        advance(group);
        GroupCount& c = g.groups[group];
        was = liveview_only ? c.liveview : c.total;
        c.liveview = 0;
        if (!liveview_only)
            c.total = 0;
    }
    sim_log("people-counting group %d %s reset from %lld", group, liveview_only ? "live view" : "database",
            (long long)was);
    reply.send_word(0);
}

void on_db_reset(const SimRequest& request, SimReply& reply)
{
    reset_group(request, reply, false);
}

void on_liveview_reset(const SimRequest& request, SimReply& reply)
{
    reset_group(request, reply, true);
}

void on_group_actions_changed(const SimRequest& request, SimReply& reply)
{
    peoplecnt_action_change change;
    peoplecnt_event event;
    if (!request.as(&change) || read_peoplecnt_event(VXDB_MAIN, &event, change.groupid) != 0) {
        reply.send_word(-1);
        return;
    }
    sim_log("people-counting group %d actions changed (alarm outputs 0x%x)", change.groupid,
            (unsigned)event.tri_alarms);
    reply.send_word(0);
}

void on_pos_changed(const SimRequest& request, SimReply& reply)
{
    pos_setting pos;
    if (request.length < 4 || read_pos_setting(VXDB_MAIN, &pos, request.word()) != 0) {
        reply.send_word(-1);
        return;
    }
    sim_log("POS terminal %d changed: %s", request.word(), pos.enable ? "enabled" : "disabled");
    reply.send_word(0);
}

void on_report_backup_changed(const SimRequest&, SimReply& reply)
{
    peoplecnt_auto_backup entries[REPORT_BACKUP_ENTRIES];
    int enabled = 0;
    if (read_peoplecnt_auto_backup(VXDB_MAIN, entries) == 0)
        for (const peoplecnt_auto_backup& e : entries)
            enabled += e.enable ? 1 : 0;
    sim_log("report backup changed: %d entries enabled", enabled);
    reply.send_word(0);
}

void on_face_config(const SimRequest& request, SimReply& reply)
{
    face_config face;
    db_camera camera;
    const bool ok = request.as(&face) && face.channel >= 0 && face.channel < FACE_CHANNELS &&
                    read_camera(VXDB_MAIN, &camera, face.channel) == 0 && camera.enable == 1;
    reply.send_word(ok ? 0 : -1);
}

void on_face_actions_changed(const SimRequest& request, SimReply&)
{
    sim_log("face actions of channel %d changed", request.word());
}

const SimEntry kEntries[] = {
    {REQ_PEOPLECNT_CHANGED, on_groups_changed, "people-counting groups changed"},
    {REQ_PEOPLECNT_DB_RESET, on_db_reset, "reset a group's count database"},
    {REQ_PEOPLECNT_LIVEVIEW_RESET, on_liveview_reset, "reset a group's live-view count"},
    {REQ_PEOPLECNT_ACTION_CHANGED, on_group_actions_changed, "a group's actions changed"},
    {REQ_POS_CHANGED, on_pos_changed, "a POS terminal changed"},
    {REQ_REPORT_BACKUP_CHANGED, on_report_backup_changed, "report backup changed"},
    {REQ_FACE_CONFIG_SET, on_face_config, "face settings to a camera"},
    {REQ_FACE_ACTION_CHANGED, on_face_actions_changed, "face actions changed"},
};

}  // namespace

const SimEntry* sim_ipc_events_table(int* count)
{
    *count = (int)(sizeof kEntries / sizeof kEntries[0]);
    return kEntries;
}
