// The SSH switch in the port record of the configuration database.
#include <cstring>

#include "modules/aging/aging_records.h"
#include "platform/vxdb.h"

namespace {

const vxdb_kind kPort = {"port", PORT_RECORD_SIZE, 1};

bool set_first_word(void* record, void* context)
{
    memcpy(record, context, sizeof(int32_t));
    return true;
}

}  // namespace

int read_port_ssh_enable(const char* db, int32_t* out)
{
    unsigned char record[PORT_RECORD_SIZE];
    if (vxdb_read(db, kPort, 0, record) < 0)
        return -1;
    memcpy(out, record, sizeof *out);
    return 0;
}

int write_port_ssh_enable(const char* db, int32_t value)
{
    return vxdb_update(db, kPort, 0, set_first_word, &value) == 0 ? 0 : -1;
}
