// Device root seed: the directories the device has and a database of
// defaults, so that a fresh root behaves like a recorder out of the box.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "coresim/coresim.h"
#include "modules/storage/storage.h"
#include "platform/vxdb.h"

namespace {

void make_dirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

struct Param {
    const char* key;
    const char* value;
};

const Param kParams[] = {
    {"max_cameras", "16"},
    {"software_version", "1.0.0-sim"},
    {"hardware_version", "V1.1"},
    {"model", "SIM-NVR16"},
    {"failover_mode", "0"},
    {"same_channel_exist", "0"},
    {"raidmode", "0"},
    {"esata_type", "0"},
    {"group_mode", "0"},
};

// The local disks of the simulated recorder, as the database keeps them.
void seed_disks()
{
    for (int port = 1; port <= 4; port++) {
        db_disk disk;
        memset(&disk, 0, sizeof disk);
        disk.port = port;
        disk.enable = 1;
        disk.property = 1;
        write_disk(VXDB_MAIN, &disk);
    }
    storage_group groups[STORAGE_MAX_GROUPS];
    memset(groups, 0, sizeof groups);
    for (int i = 0; i < STORAGE_MAX_GROUPS; i++)
        groups[i].id = i + 1;
    vxdb_write_range(VXDB_MAIN, {"group", (int)sizeof(storage_group), STORAGE_MAX_GROUPS}, 0, groups,
                     STORAGE_MAX_GROUPS, (int)sizeof(storage_group));
}

}  // namespace

int sim_seed(const std::string& root)
{
    if (root.empty() || root[0] != '/') {
        fprintf(stderr, "coresim: the root must be an absolute path\n");
        return -1;
    }
    setenv("NVRWEB_ROOT", root.c_str(), 1);
    for (const char* dir : {"/tmp", "/var/run", "/mnt/nand/app", "/mnt/nand/ssl/tmp", "/mnt/nand2",
                            "/dev/shm", "/www"})
        make_dirs(root + dir);
    // Records only into a new database: a reseed keeps what was changed.
    const bool fresh = check_param_key(VXDB_MAIN, "max_cameras") != 0;
    for (const Param& p : kParams)
        if (check_param_key(VXDB_MAIN, p.key))
            add_param_value(VXDB_MAIN, p.key, p.value);
    if (fresh)
        seed_disks();
    vxdb_close_all();
    printf("seeded %s\n", root.c_str());
    return 0;
}
