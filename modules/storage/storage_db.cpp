// Storage records in the configuration database.
#include <cstring>

#include "modules/storage/storage_records.h"
#include "platform/vxdb.h"

namespace {
// Disks by port, 0 to 36; the disk table is ports 1 to 36.
const vxdb_kind kDisk = {"disk", (int)sizeof(db_disk), STORAGE_MAX_PORTS + 1};
const vxdb_kind kGroup = {"group", (int)sizeof(storage_group), STORAGE_MAX_GROUPS};
const vxdb_kind kEsataBackup = {"esata_auto_backup", (int)sizeof(esata_auto_backup), 1};
}  // namespace

int read_disk(const char* db, db_disk* out, int port)
{
    return vxdb_read(db, kDisk, port, out) < 0 ? -1 : 0;
}

int read_disks(const char* db, db_disk out[36], int* count)
{
    db_disk table[STORAGE_MAX_PORTS + 1];
    int found = vxdb_read_table(db, kDisk, table, STORAGE_MAX_PORTS + 1);
    memcpy(out, table + 1, sizeof(db_disk) * STORAGE_MAX_PORTS);
    if (count)
        *count = STORAGE_MAX_PORTS;
    return found < 0 ? -1 : 0;
}

int write_disk(const char* db, const db_disk* disk)
{
    return disk ? vxdb_write(db, kDisk, disk->port, disk, (int)sizeof *disk) : -1;
}

int read_groups(const char* db, storage_group out[16])
{
    return vxdb_read_table(db, kGroup, out, STORAGE_MAX_GROUPS) < 0 ? -1 : 0;
}

int read_esata_auto_backup(const char* db, esata_auto_backup* out)
{
    return vxdb_read(db, kEsataBackup, 0, out) < 0 ? -1 : 0;
}

int write_esata_auto_backup(const char* db, const esata_auto_backup* settings)
{
    return vxdb_write(db, kEsataBackup, 0, settings, (int)sizeof *settings);
}
