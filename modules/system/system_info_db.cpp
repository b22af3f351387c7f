// Database records of the general settings: the display record, and the
// camera address the batch page writes into the camera record.
#include "modules/record/record_records.h"
#include "modules/system/system_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kDisplay = {"display", (int)sizeof(display_record), 1};

bool put_address(db_camera* camera, void* context)
{
    wire_text(camera->address, (const char*)context);
    return true;
}
}  // namespace

int read_display(const char* db, display_record* out)
{
    return vxdb_read(db, kDisplay, 0, out) < 0 ? -1 : 0;
}

int write_display(const char* db, const display_record* record)
{
    return vxdb_write(db, kDisplay, 0, record, (int)sizeof *record);
}

int update_display(const char* db, bool (*change)(void*, void*), void* context)
{
    return vxdb_update(db, kDisplay, 0, change, context);
}

int write_camera_ip(const char* db, int slot, const char* ip)
{
    if (!ip)
        return -1;
    return update_camera(db, slot, put_address, (void*)ip) == 0 ? 0 : -1;
}
