// The P2P settings record in the configuration database.
#include "modules/network/network_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kP2pInfo = {"p2p_info", (int)sizeof(p2p_info), 1};
}  // namespace

int read_p2p_info(const char* db, p2p_info* out)
{
    return vxdb_read(db, kP2pInfo, 0, out) < 0 ? -1 : 0;
}

int write_p2p_info(const char* db, const p2p_info* record)
{
    return vxdb_write(db, kP2pInfo, 0, record, (int)sizeof *record);
}

int update_p2p_info(const char* db, bool (*change)(void*, void*), void* context)
{
    return vxdb_update(db, kP2pInfo, 0, change, context);
}
