// PTZ records in the configuration database, one per channel.
#include "modules/ptz/ptz_records.h"

#include "platform/vxdb.h"

namespace {
const vxdb_kind kSpeed = {"ptz_speed", (int)sizeof(db_ptz_speed), 64};
const vxdb_kind kTour = {"ptz_tour", (int)sizeof(db_ptz_tour), 64};
const vxdb_kind kPort = {"ptz_port", (int)sizeof(db_ptz_port), 64};
}  // namespace

int read_ptz_speed(const char* db, db_ptz_speed* out, int channel)
{
    return vxdb_read(db, kSpeed, channel, out) < 0 ? -1 : 0;
}

int write_ptz_speed(const char* db, const db_ptz_speed* speed, int channel)
{
    return speed ? vxdb_write(db, kSpeed, channel, speed, (int)sizeof *speed) : -1;
}

int read_ptz_tour(const char* db, db_ptz_tour* out, int channel)
{
    return vxdb_read(db, kTour, channel, out) < 0 ? -1 : 0;
}

int write_ptz_tour(const char* db, const db_ptz_tour* tours, int channel)
{
    return tours ? vxdb_write(db, kTour, channel, tours, (int)sizeof *tours) : -1;
}

int read_ptz_port(const char* db, db_ptz_port* out, int channel)
{
    return vxdb_read(db, kPort, channel, out) < 0 ? -1 : 0;
}

int write_ptz_port(const char* db, const db_ptz_port* port, int channel)
{
    return port ? vxdb_write(db, kPort, channel, port, (int)sizeof *port) : -1;
}

int update_ptz_speed(const char* db, int channel, bool (*change)(db_ptz_speed* speed, void* context),
                     void* context)
{
    return vxdb_update(db, kSpeed, channel, change, context);
}

int update_ptz_tour(const char* db, int channel, bool (*change)(db_ptz_tour* tours, void* context),
                    void* context)
{
    return vxdb_update(db, kTour, channel, change, context);
}
