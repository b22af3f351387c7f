// Maintenance records in the configuration database.
#include "modules/system/system_maintenance.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kDiskMaintain = {"disk_maintain_info", (int)sizeof(disk_maintain_info), 1};
const vxdb_kind kAutoReboot = {"autoreboot_conf", (int)sizeof(autoreboot_conf), 1};

struct RebootChange {
    void (*change)(autoreboot_conf*, void*);
    void* context;
};

bool apply_reboot_change(void* record, void* context)
{
    RebootChange* c = (RebootChange*)context;
    c->change((autoreboot_conf*)record, c->context);
    return true;
}
}  // namespace

int read_disk_maintain_info(const char* db, disk_maintain_info* out)
{
    return vxdb_read(db, kDiskMaintain, 0, out);
}

int write_disk_maintain_info(const char* db, const disk_maintain_info* record)
{
    return vxdb_write(db, kDiskMaintain, 0, record, (int)sizeof *record);
}

int read_autoreboot_conf(const char* db, autoreboot_conf* out)
{
    return vxdb_read(db, kAutoReboot, 0, out);
}

int write_autoreboot_conf(const char* db, const autoreboot_conf* record)
{
    return vxdb_write(db, kAutoReboot, 0, record, (int)sizeof *record);
}

int update_autoreboot_conf(const char* db, void (*change)(autoreboot_conf*, void*), void* context)
{
    RebootChange c = {change, context};
    return vxdb_update(db, kAutoReboot, 0, apply_reboot_change, &c) == 0 ? 0 : -1;
}
