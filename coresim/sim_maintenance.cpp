// Simulated maintenance: the liveness file, restart, factory restore,
// firmware upgrade from the stored image and the diagnosis package.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "coresim/coresim.h"
#include "modules/system/system_maintenance.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/vxsystem.h"
#include "platform/vxtask.h"

namespace {

std::mutex g_mu;  // one restart, restore or upgrade at a time
std::atomic<int> g_restarts{0};

void touch(const char* device_file)
{
    int fd = open(device_path(device_file).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        close(fd);
}

int restart_ms()
{
    const char* s = getenv("CORESIM_RESTART_MS");
    int ms = s ? atoi(s) : 3000;
    return ms < 0 ? 0 : ms > 60000 ? 60000 : ms;
}

// The device goes down and comes back: the liveness file is gone meanwhile
// and the database is read afresh.
void simulate_restart()
{
    std::lock_guard<std::mutex> lock(g_mu);
    const int generation = ++g_restarts;
    // Settings are read from the database at each request: coming back up
    // reads them afresh. Nothing else of the simulated device is kept.
    unlink(device_path(MAINT_CORE_ALIVE).c_str());
    sim_sysinfo_restart();
    sim_log("restart: down for %d ms", restart_ms());
    std::thread([generation] {
        vx_sleep_ms(restart_ms());
        // A later restart keeps the device down for its own time.
        if (g_restarts == generation) {
            touch(MAINT_CORE_ALIVE);
            sim_log("restart: up again");
        }
    }).detach();
}

void on_restart(const SimRequest&, SimReply&)
{
    simulate_restart();
}

struct KeptRow {
    std::string kind;
    int idx;
    std::string data;
};

bool kept_kind(const std::string& kind, const restore_request& keep)
{
    if (keep.keep_user && (kind == "user" || kind == "oem_user"))
        return true;
    return keep.keep_ip && kind.compare(0, 7, "network") == 0;
}

bool kept_param(const std::string& key, const restore_request& keep)
{
    // The unit's identity and firmware survive any restore.
    if (key == "software_version" || key == "hardware_version" || key == "model" || key == "serial")
        return true;
    return keep.keep_ip && (key.compare(0, 7, "network") == 0 || key.compare(0, 3, "ip_") == 0);
}

// Factory settings: the database emptied and seeded again, keeping the
// network and/or the users when asked.
void on_restore(const SimRequest& request, SimReply&)
{
    restore_request keep;
    if (!request.as(&keep))
        return;
    std::lock_guard<std::mutex> lock(g_mu);
    // Its own connection: other threads keep using the shared ones.
    sqlite3* db = nullptr;
    if (sqlite3_open(device_path(VXDB_MAIN).c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        sim_log("restore: cannot open the database");
        return;
    }
    sqlite3_busy_timeout(db, 10000);
    std::vector<KeptRow> rows;
    std::vector<std::pair<std::string, std::string>> params;
    sqlite3_stmt* st = nullptr;
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (sqlite3_prepare_v2(db, "SELECT kind, idx, data FROM records", -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            KeptRow row{(const char*)sqlite3_column_text(st, 0), sqlite3_column_int(st, 1),
                        std::string((const char*)sqlite3_column_blob(st, 2), (size_t)sqlite3_column_bytes(st, 2))};
            if (kept_kind(row.kind, keep))
                rows.push_back(row);
        }
    sqlite3_finalize(st);
    if (sqlite3_prepare_v2(db, "SELECT key, value FROM params", -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string key = (const char*)sqlite3_column_text(st, 0);
            if (kept_param(key, keep))
                params.emplace_back(key, (const char*)sqlite3_column_text(st, 1));
        }
    sqlite3_finalize(st);
    sqlite3_exec(db, "DELETE FROM records; DELETE FROM params; COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    sim_seed_defaults();
    for (const auto& p : params)
        set_param_value(VXDB_MAIN, p.first.c_str(), p.second.c_str());
    for (const KeptRow& row : rows)
        vxdb_write(VXDB_MAIN, {row.kind.c_str(), (int)row.data.size(), row.idx + 1}, row.idx, row.data.data(),
                   (int)row.data.size());
    sim_log("restore: factory settings (keep network %d, keep users %d)", keep.keep_ip, keep.keep_user);
}

void on_notice(const SimRequest& request, SimReply&)
{
    sim_log("maintenance notice %d", request.code);
}

// 0 upgraded, -1 no image, -2 an image that is not whole or not ours.
int32_t upgrade_from_image(char* version, size_t size)
{
    const std::string path = device_path(MAINT_UPGRADE_IMAGE);
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    firmware_image_head head;
    bool ok = fread(&head, sizeof head, 1, f) == 1 &&
              memcmp(head.magic, FIRMWARE_IMAGE_MAGIC, sizeof FIRMWARE_IMAGE_MAGIC) == 0 &&
              memchr(head.version, 0, sizeof head.version) && head.version[0];
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    char buf[65536];
    size_t n;
    while (ok && (n = fread(buf, 1, sizeof buf, f)) > 0) {
        crc = crc32(crc, (const Bytef*)buf, (uInt)n);
        total += n;
    }
    fclose(f);
    ok = ok && total == head.length && (uint32_t)crc == head.crc32;
    if (!ok)
        return -2;
    snprintf(version, size, "%s", head.version);
    unlink(path.c_str());
    return 0;
}

void on_upgrade(const SimRequest& request, SimReply& reply)
{
    char version[sizeof(firmware_image_head::version)] = {};
    int32_t result;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        result = upgrade_from_image(version, sizeof version);
        if (result == 0)
            set_param_value(VXDB_MAIN, "software_version", version);
    }
    sim_log("upgrade (reset %d): %s", request.word(),
            result == 0 ? version : result == -1 ? "no image" : "bad image");
    reply.send_word(result);
}

// A package of what a support engineer asks for first: here coresim's view
// of the device.
void on_diagnosis(const SimRequest& request, SimReply& reply)
{
    char dir[DIAGNOSIS_DIR_SIZE];
    if (!request.as(&dir))
        return;
    touch(MAINT_DIAGNOSIS_MARKER);
    char name[64], text[256];
    snprintf(name, sizeof name, "diag-%ld.tar.gz", (long)time(nullptr));
    const std::string work = device_path("/tmp/diag");
    mkdir(work.c_str(), 0755);
    FILE* f = fopen((work + "/device.txt").c_str(), "w");
    if (f) {
        char version[64];
        get_param_value(VXDB_MAIN, "software_version", version, sizeof version, "");
        fprintf(f, "software_version=%s\nrestarts=%d\n", version, g_restarts.load());
        fclose(f);
    }
    const std::string out = device_path("/tmp") + "/" + name;
    const char* const argv[] = {"tar", "-czf", out.c_str(), "-C", work.c_str(), "device.txt", nullptr};
    const int packed = vx_exec(argv, nullptr);
    unlink((work + "/device.txt").c_str());
    rmdir(work.c_str());
    unlink(device_path(MAINT_DIAGNOSIS_MARKER).c_str());

    std::string answer(sizeof(diagnosis_answer_head), '\0');
    diagnosis_answer_head head = {0, packed == 0 ? 0 : -1};
    memcpy(&answer[0], &head, sizeof head);
    snprintf(text, sizeof text, "/tmp/%s", name);
    answer.append(text, strlen(text) + 1);
    sim_log("diagnosis: %s", packed == 0 ? text : "tar failed");
    reply.send(answer.data(), answer.size());
}

const SimEntry kMaintenance[] = {
    {REQ_RESTART, on_restart, "restart: the liveness file goes away for a while"},
    {REQ_RESTORE, on_restore, "factory settings, keeping network and/or users"},
    {REQ_RESTORE_FINISH, on_notice, "after a restore"},
    {REQ_UPGRADE, on_upgrade, "upgrade from /dev/shm/updateFM.bin"},
    {REQ_UPGRADE_PREPARE, on_notice, "an upgrade image is on its way"},
    {REQ_AUTO_MAINTENANCE_CHANGED, on_notice, "retention settings changed"},
    {REQ_AUTO_REBOOT_CHANGED, on_notice, "automatic reboot changed"},
    {REQ_DIAGNOSIS_EXPORT, on_diagnosis, "pack a diagnosis file into /tmp"},
};

}  // namespace

const SimEntry* sim_maintenance_table(int* count)
{
    *count = (int)(sizeof kMaintenance / sizeof kMaintenance[0]);
    return kMaintenance;
}

void sim_maintenance_start()
{
    touch(MAINT_CORE_ALIVE);
}

void sim_maintenance_stop()
{
    ++g_restarts;
    unlink(device_path(MAINT_CORE_ALIVE).c_str());
}
