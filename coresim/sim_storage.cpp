// Simulated storage: four local disks, RAID arrays, network disks from the
// database, formats that take a few seconds, quotas, overwrite mode, eSATA.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "coresim/coresim.h"
#include "modules/storage/storage_records.h"
#include "platform/vxdb.h"

namespace {

using Clock = std::chrono::steady_clock;

enum { DISK_NORMAL = 1, DISK_FORMATTING = 3, ESATA_PORT = 5 };
constexpr uint64_t GiB = 1024ULL * 1024 * 1024;

struct SimDisk {
    bool present = false;
    bool hot_spare = false;
    int raid = 0;  // id of the array it belongs to
    storage_disk_info info{};
};

struct FormatStatus {
    bool running = false;
    int port = 0;
    int type = 0;
    Clock::time_point start;
    int last_status = 0;
};

struct Storage {
    std::mutex mu;
    SimDisk disks[STORAGE_MAX_PORTS];  // slot = port - 1; RAID arrays at their id
    FormatStatus format;
    recycle_mode_reply recycle{1, 0};
    quota_request quota{};
    int backup_running = 0;
} g;

void make_local(int port, const char* vendor, uint64_t size, uint64_t used)
{
    SimDisk& d = g.disks[port - 1];
    d = SimDisk();
    d.present = true;
    d.info.port = port;
    wire_text(d.info.vendor, vendor);
    d.info.state = DISK_NORMAL;
    d.info.usable = 1;
    d.info.total_size = size;
    d.info.used_size = used;
    d.info.free_size = size - used;
    d.info.property = 1;
}

bool is_local(const SimDisk& d)
{
    return d.present && d.info.hdd_type != HDD_TYPE_NFS && d.info.hdd_type != HDD_TYPE_SMB &&
           d.info.hdd_type != HDD_TYPE_RAID;
}

double progress(const FormatStatus& f)
{
    double seconds = std::chrono::duration<double>(Clock::now() - f.start).count();
    double p = seconds / sim_format_seconds();
    return p > 1 ? 1 : p;
}

// Network disks are those the database has and the core service mounted.
void refresh_network_disks()
{
    for (int port = 1; port <= STORAGE_MAX_PORTS; port++) {
        SimDisk& d = g.disks[port - 1];
        db_disk rec;
        read_disk(VXDB_MAIN, &rec, port);
        bool nas = rec.enable == 1 && (rec.type == HDD_TYPE_NFS || rec.type == HDD_TYPE_SMB);
        if (nas && !d.present) {
            d = SimDisk();
            d.present = true;
            d.info.port = port;
            d.info.hdd_type = rec.type;
            d.info.state = DISK_NORMAL;
            d.info.usable = 1;
            d.info.total_size = 512 * GiB;
            d.info.used_size = 37 * GiB;
            d.info.free_size = d.info.total_size - d.info.used_size;
            d.info.property = 1;
            wire_text(d.info.address, rec.address);
            wire_text(d.info.directory, rec.directory);
        } else if (!nas && d.present && (d.info.hdd_type == HDD_TYPE_NFS || d.info.hdd_type == HDD_TYPE_SMB)) {
            d.present = false;
        }
    }
}

void on_disk_list(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    refresh_network_disks();
    storage_disk_info list[STORAGE_MAX_PORTS];
    size_t n = 0;
    for (SimDisk& d : g.disks) {
        if (!d.present)
            continue;
        if (g.format.running && g.format.port == d.info.port)
            d.info.state = DISK_FORMATTING;
        list[n++] = d.info;
    }
    reply.send(list, n * sizeof list[0]);
}

void on_format(const SimRequest& request, SimReply& reply)
{
    const int port = request.word();
    {
        std::lock_guard<std::mutex> lock(g.mu);
        if (port < 1 || port > STORAGE_MAX_PORTS || !g.disks[port - 1].present) {
            reply.send_word(-1);
            return;
        }
        SimDisk& d = g.disks[port - 1];
        if (g.format.running || d.raid || d.hot_spare) {
            reply.send_word(1);  // in use
            return;
        }
        if ((d.info.hdd_type == HDD_TYPE_NFS || d.info.hdd_type == HDD_TYPE_SMB) && d.info.total_size < 64 * GiB) {
            reply.send_word(-3);
            return;
        }
        g.format.running = true;
        g.format.port = port;
        g.format.type = d.info.hdd_type;
        g.format.start = Clock::now();
    }
    // The answer comes when the format is done, as on the device.
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::lock_guard<std::mutex> lock(g.mu);
        if (progress(g.format) >= 1)
            break;
    }
    std::lock_guard<std::mutex> lock(g.mu);
    SimDisk& d = g.disks[port - 1];
    d.info.used_size = 0;
    d.info.free_size = d.info.total_size;
    d.info.state = DISK_NORMAL;
    g.format.running = false;
    g.format.last_status = 0;
    reply.send_word(0);
}

void on_format_status(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    format_info info;
    memset(&info, 0, sizeof info);
    info.status = g.format.running ? 1 : g.format.last_status;
    info.percent = (uint8_t)(g.format.port ? progress(g.format) * 100 : 0);
    info.port = (uint8_t)g.format.port;
    info.type = g.format.type;
    reply.send(&info, sizeof info);
}

void on_disk_property(const SimRequest& request, SimReply&)
{
    disk_property_request change;
    if (!request.as(&change))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    if (change.port >= 1 && change.port <= STORAGE_MAX_PORTS && g.disks[change.port - 1].present) {
        g.disks[change.port - 1].info.property = change.property;
        g.disks[change.port - 1].info.group = change.group;
    }
}

void on_raid_create(const SimRequest& request, SimReply& reply)
{
    raid_info raid;
    if (!request.as(&raid)) {
        reply.send_word(1);
        return;
    }
    std::lock_guard<std::mutex> lock(g.mu);
    int members = sim_count(raid.member_count, RAID_MAX_MEMBERS);
    bool ok = raid.id >= 10 && raid.id <= 15 && !g.disks[raid.id - 1].present && members >= 2;
    uint64_t smallest = UINT64_MAX;
    for (int i = 0; ok && i < members; i++) {
        int p = raid.members[i];
        ok = p >= 1 && p <= STORAGE_MAX_PORTS && is_local(g.disks[p - 1]) && !g.disks[p - 1].raid &&
             !g.disks[p - 1].hot_spare;
        if (ok && g.disks[p - 1].info.total_size < smallest)
            smallest = g.disks[p - 1].info.total_size;
    }
    if (!ok) {
        reply.send_word(1);
        return;
    }
    SimDisk& array = g.disks[raid.id - 1];
    array = SimDisk();
    array.present = true;
    array.info.port = raid.id;
    snprintf(array.info.vendor, sizeof array.info.vendor, "RAID%d", raid.level);
    array.info.hdd_type = HDD_TYPE_RAID;
    array.info.state = DISK_NORMAL;
    array.info.usable = 1;
    array.info.raid_level = raid.level;
    array.info.raid_state = 0;
    array.info.raid_member_count = members;
    uint64_t data_disks = raid.level == 1 ? 1 : raid.level == 5 ? (uint64_t)members - 1 : (uint64_t)members;
    array.info.total_size = smallest * data_disks;
    array.info.free_size = array.info.total_size;
    for (int i = 0; i < members; i++) {
        array.info.raid_members[i] = raid.members[i];
        g.disks[raid.members[i] - 1].raid = raid.id;
    }
    reply.send_word(0);
}

void on_raid_remove(const SimRequest& request, SimReply& reply)
{
    const int id = request.word();
    std::lock_guard<std::mutex> lock(g.mu);
    if (id < 10 || id > 16 || !g.disks[id - 1].present || g.disks[id - 1].info.hdd_type != HDD_TYPE_RAID) {
        reply.send_word(1);
        return;
    }
    for (SimDisk& d : g.disks)
        if (d.raid == id)
            d.raid = 0;
    g.disks[id - 1] = SimDisk();
    reply.send_word(0);
}

void on_hot_spare(const SimRequest& request, SimReply& reply)
{
    const int port = request.word();
    std::lock_guard<std::mutex> lock(g.mu);
    if (port < 1 || port > STORAGE_MAX_PORTS || !is_local(g.disks[port - 1]) || g.disks[port - 1].raid) {
        reply.send_word(1);
        return;
    }
    g.disks[port - 1].hot_spare = request.code == REQ_HOT_SPARE_SET;
    reply.send_word(0);
}

void on_raid_rebuild(const SimRequest& request, SimReply& reply)
{
    raid_rebuild_request rebuild;
    std::lock_guard<std::mutex> lock(g.mu);
    bool ok = request.as(&rebuild) && rebuild.raid_port >= 10 && rebuild.raid_port <= 16 &&
              g.disks[rebuild.raid_port - 1].present && rebuild.disk_port >= 1 && rebuild.disk_port <= STORAGE_MAX_PORTS &&
              is_local(g.disks[rebuild.disk_port - 1]) && !g.disks[rebuild.disk_port - 1].raid;
    reply.send_word(ok ? 0 : 1);
}

void on_smart(const SimRequest& request, SimReply& reply)
{
    const int port = request.word();
    smart_attr_reply answer;
    memset(&answer, 0, sizeof answer);
    // The oldest disk of the simulation fails its self-test.
    wire_text(answer.text, port == 4 ? "FAILED" : "PASSED");
    reply.send(&answer, sizeof answer);
}

void on_disk_remove(const SimRequest& request, SimReply& reply)
{
    const int port = request.word();
    std::lock_guard<std::mutex> lock(g.mu);
    if (port < 1 || port > STORAGE_MAX_PORTS || !g.disks[port - 1].present || g.disks[port - 1].raid) {
        reply.send_word(1);
        return;
    }
    g.disks[port - 1].present = false;
    reply.send_word(0);
}

void on_nas_add(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    refresh_network_disks();
    reply.send_word(0);
}

void on_nas_delete(const SimRequest& request, SimReply& reply)
{
    nas_port_list list;
    if (!request.as(&list)) {
        reply.send_word(1);
        return;
    }
    std::lock_guard<std::mutex> lock(g.mu);
    int n = sim_count(list.count, NAS_MAX_PORTS);
    for (int i = 0; i < n; i++) {
        db_disk rec;
        if (read_disk(VXDB_MAIN, &rec, list.ports[i]) == 0 && rec.port == list.ports[i]) {
            rec.enable = 0;  // unmounted and forgotten
            write_disk(VXDB_MAIN, &rec);
        }
    }
    refresh_network_disks();
    reply.send_word(0);
}

void on_nas_update(const SimRequest& request, SimReply& reply)
{
    const int port = request.word();
    std::lock_guard<std::mutex> lock(g.mu);
    if (port >= 1 && port <= STORAGE_MAX_PORTS)
        g.disks[port - 1].present = false;  // mounted again from the new record
    refresh_network_disks();
    reply.send_word(0);
}

void on_nas_search(const SimRequest& request, SimReply& reply)
{
    nas_search_request search;
    static nas_search_reply answer;
    memset(&answer, 0, sizeof answer);
    if (request.as(&search) && search.server[0]) {
        const char* shares[] = {"/export/video", "/export/backup", "/srv/recordings"};
        for (const char* s : shares)
            wire_text(answer.paths[answer.count++], s);
    }
    reply.send(&answer, sizeof answer);
}

void on_recycle_get(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    reply.send(&g.recycle, sizeof g.recycle);
}

void on_recycle_set(const SimRequest& request, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    request.as(&g.recycle);
    reply.send_word(0);
}

void on_quota_get(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    struct {
        quota_reply_head head;
        quota_reply_entry entries[QUOTA_MAX_ENTRIES];
    } answer;
    memset(&answer, 0, sizeof answer);
    answer.head.enable = g.quota.enable;
    int n = sim_count(g.quota.count, QUOTA_MAX_ENTRIES);
    answer.head.count = n;
    for (int i = 0; i < n; i++) {
        quota_reply_entry& e = answer.entries[i];
        e.channel = g.quota.entries[i].channel;
        e.video_quota = g.quota.entries[i].video_quota;
        e.picture_quota = g.quota.entries[i].picture_quota;
        e.video_used = e.video_quota / 3;
        e.picture_used = e.picture_quota / 5;
    }
    reply.send(&answer, sizeof answer.head + (size_t)n * sizeof answer.entries[0]);
}

void on_quota_set(const SimRequest& request, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    reply.send_word(request.as(&g.quota) ? 0 : 1);
}

void on_group_set(const SimRequest& request, SimReply&)
{
    storage_group group;
    if (!request.as(&group) || group.id < 1 || group.id > STORAGE_MAX_GROUPS)
        return;
    vxdb_write(VXDB_MAIN, {"group", (int)sizeof group, STORAGE_MAX_GROUPS}, group.id - 1, &group, (int)sizeof group);
}

void on_ignore(const SimRequest&, SimReply&) {}

void on_backup_set(const SimRequest&, SimReply& reply)
{
    reply.send_word(0);
}

void on_backup_status(const SimRequest&, SimReply& reply)
{
    esata_backup_status status;
    memset(&status, 0, sizeof status);
    esata_auto_backup settings;
    read_esata_auto_backup(VXDB_MAIN, &settings);
    status.status = settings.enable ? 1 : 0;
    wire_text(status.last_time, settings.enable ? "2026-12-01 02:00:00" : "");
    status.percent = settings.enable ? 100.0f : 0.0f;
    status.capacity = 953;
    reply.send_code(REQ_ESATA_BACKUP_STATUS + 5000, &status, sizeof status);
}

void on_export_disks(const SimRequest&, SimReply& reply)
{
    export_disk_info disk;
    memset(&disk, 0, sizeof disk);
    disk.port = ESATA_PORT;
    disk.type = EXPORT_DISK_TYPE;
    reply.send(&disk, sizeof disk);
}

void on_word_zero(const SimRequest&, SimReply& reply)
{
    reply.send_word(0);
}

void on_backup_progress(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    reply.send_word(g.backup_running);
}

void on_backup_stop(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    g.backup_running = 0;
    reply.send_word(0);
}

const SimEntry kStorage[] = {
    {REQ_DISK_LIST, on_disk_list, "disk list"},
    {REQ_DISK_FORMAT, on_format, "format a disk; answered when done"},
    {REQ_FORMAT_STATUS, on_format_status, "format progress"},
    {REQ_DISK_PROPERTY, on_disk_property, "disk property and group"},
    {REQ_RAID_CREATE, on_raid_create, "create a RAID array of local disks"},
    {REQ_RAID_REMOVE, on_raid_remove, "remove a RAID array"},
    {REQ_HOT_SPARE_SET, on_hot_spare, "make a hot spare"},
    {REQ_HOT_SPARE_RELEASE, on_hot_spare, "release a hot spare"},
    {REQ_RAID_REBUILD, on_raid_rebuild, "rebuild an array"},
    {REQ_SMART_ATTR, on_smart, "S.M.A.R.T. self-evaluation"},
    {REQ_DISK_REMOVE, on_disk_remove, "remove a disk"},
    {REQ_NAS_ADD, on_nas_add, "mount network disks from the database"},
    {REQ_NAS_DELETE, on_nas_delete, "unmount network disks"},
    {REQ_NAS_UPDATE, on_nas_update, "remount a network disk"},
    {REQ_NAS_SEARCH, on_nas_search, "shares of a server"},
    {REQ_RECYCLE_GET, on_recycle_get, "overwrite mode"},
    {REQ_RECYCLE_SET, on_recycle_set, "set the overwrite mode"},
    {REQ_QUOTA_GET, on_quota_get, "quotas"},
    {REQ_QUOTA_SET, on_quota_set, "set quotas"},
    {REQ_GROUP_MODE, on_ignore, "group mode changed"},
    {REQ_GROUP_SET, on_group_set, "store a group's channels"},
    {REQ_GROUP_APPLY, on_ignore, "apply groups"},
    {REQ_ESATA_BACKUP_SET, on_backup_set, "automatic backup settings changed"},
    {REQ_ESATA_BACKUP_STATUS, on_backup_status, "automatic backup status"},
    {REQ_EXPORT_DISKS, on_export_disks, "disks usable for export"},
    {REQ_ESATA_FORMAT, on_word_zero, "format the eSATA disk"},
    {REQ_BACKUP_STATUS, on_backup_progress, "backup running"},
    {REQ_BACKUP_STOP, on_backup_stop, "stop the backup"},
};

}  // namespace

double sim_format_seconds()
{
    const char* text = getenv("CORESIM_FORMAT_SECONDS");
    double v = text ? atof(text) : 5.0;
    return v > 0 ? v : 5.0;
}

void sim_storage_start()
{
    std::lock_guard<std::mutex> lock(g.mu);
    make_local(1, "ST2000VX015", 2000 * GiB, 812 * GiB);
    make_local(2, "WD40PURZ", 4000 * GiB, 1503 * GiB);
    make_local(3, "ST1000VX005", 1000 * GiB, 998 * GiB);
    make_local(4, "HUS728T8TAL", 8000 * GiB, 120 * GiB);
    // A larger recorder for benchmarks: CORESIM_DISKS local disks in all.
    const char* more = getenv("CORESIM_DISKS");
    int disks = more ? atoi(more) : 4;
    disks = disks < 4 ? 4 : disks > STORAGE_MAX_PORTS ? STORAGE_MAX_PORTS : disks;
    for (int port = 5; port <= disks; port++)
        make_local(port, "ST4000VX016", 4000 * GiB, (uint64_t)(port * 97 % 4000) * GiB);
    for (int port = 1; port <= 4; port++) {
        db_disk rec;
        read_disk(VXDB_MAIN, &rec, port);
        g.disks[port - 1].info.property = rec.enable ? rec.property : 1;
        g.disks[port - 1].info.group = rec.group;
    }
}

const SimEntry* sim_storage_table(int* count)
{
    *count = (int)(sizeof kStorage / sizeof kStorage[0]);
    return kStorage;
}

void sim_storage_usage(int64_t* total, int64_t* free)
{
    std::lock_guard<std::mutex> lock(g.mu);
    uint64_t size = 0, left = 0;
    for (const SimDisk& d : g.disks)
        if (d.present) {
            size += d.info.total_size;
            left += d.info.free_size;
        }
    *total = (int64_t)(size >> 20);
    *free = (int64_t)(left >> 20);
}
