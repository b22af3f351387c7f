// Playback records in the configuration database.
#include "modules/playback/playback_records.h"

#include <cstring>

#include "platform/vxdb.h"

namespace {
const vxdb_kind kDevice = {"device", (int)sizeof(db_device), 1};
}  // namespace

int db_get_device(const char* db, db_device* out)
{
    if (!out)
        return -1;
    int rc = vxdb_read(db, kDevice, 0, out);
    if (rc == 1)
        out->max_channels = get_param_int(db, "max_cameras", 32);
    return rc < 0 ? -1 : 0;
}

int db_set_device(const char* db, const db_device* device)
{
    return device ? vxdb_write(db, kDevice, 0, device, (int)sizeof *device) : -1;
}
