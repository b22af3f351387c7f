// The exposure schedule of each channel in the configuration database, in
// the layout of the camera's own exposure schedule request.
#include "modules/ipc/ipc_records.h"

#include <cstring>

#include "platform/vxdb.h"

namespace {
const vxdb_kind kExposure = {"exposure", (int)sizeof(ipc_exposure_schedule), IPC_CHANNELS};
}  // namespace

int read_exposure(const char* db, ipc_exposure_schedule* out, int channel)
{
    if (!out)
        return -1;
    if (channel < 0 || channel >= IPC_CHANNELS) {
        memset(out, 0, sizeof *out);
        return -1;
    }
    return vxdb_read(db, kExposure, channel, out) < 0 ? -1 : 0;
}

int write_exposure(const char* db, const ipc_exposure_schedule* record)
{
    if (!record || record->channel < 0 || record->channel >= IPC_CHANNELS)
        return -1;
    return vxdb_write(db, kExposure, record->channel, record, (int)sizeof *record);
}
