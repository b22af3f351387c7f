// IP-camera records in the configuration database: the protocols and models
// the add-camera page offers, and the smart-event schedules the channel
// schedule page edits.
#include "modules/ipc/ipc_records.h"

#include <cstring>
#include <vector>

#include "core/db.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kProtocols = {"ipc_protocols", (int)sizeof(ipc_protocol), IPC_PROTOCOLS};
const vxdb_kind kModels = {"ipc_models", (int)sizeof(ipc_model), IPC_MODELS};
}  // namespace

int read_ipc_protocols(const char* db, ipc_protocol out[IPC_PROTOCOLS], int* count)
{
    // coresim shares these functions across threads: no static buffers.
    std::vector<ipc_protocol> table(IPC_PROTOCOLS);
    *count = 0;
    if (vxdb_read_table(db, kProtocols, table.data(), IPC_PROTOCOLS) < 0)
        return -1;
    // A slot never written reads as zeros: only named protocols count.
    for (const ipc_protocol& p : table)
        if (p.name[0])
            out[(*count)++] = p;
    return 0;
}

int write_ipc_protocol(const char* db, const ipc_protocol* protocol)
{
    if (!protocol || protocol->id < 0 || protocol->id >= IPC_PROTOCOLS)
        return -1;
    return vxdb_write(db, kProtocols, protocol->id, protocol, (int)sizeof *protocol);
}

int read_ipc_models_by_protocol(const char* db, int protocol_id, ipc_model* out, int capacity, int* count)
{
    std::vector<ipc_model> table(IPC_MODELS);
    *count = 0;
    if (vxdb_read_table(db, kModels, table.data(), IPC_MODELS) < 0)
        return -1;
    for (const ipc_model& m : table)
        if (m.name[0] && m.protocol_id == protocol_id && *count < capacity)
            out[(*count)++] = m;
    return 0;
}

int write_ipc_model(const char* db, const ipc_model* model)
{
    if (!model || model->id < 0 || model->id >= IPC_MODELS)
        return -1;
    return vxdb_write(db, kModels, model->id, model, (int)sizeof *model);
}

