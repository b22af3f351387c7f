// Network records in the configuration database.
#include <cstring>

#include "modules/network/network_records.h"
#include "platform/vxdb.h"

namespace {
const vxdb_kind kNetwork = {"network", (int)sizeof(network_record), 1};
const vxdb_kind kPort = {"port", (int)sizeof(port_record), 1};
const vxdb_kind kUpnp = {"upnp", (int)sizeof(upnp_record), 1};
const vxdb_kind kMulticast = {"multicast", (int)sizeof(multicast_record), 1};
const vxdb_kind kPushEvent = {"push_msg_event", (int)sizeof(push_msg_event), PUSH_MSG_CHANNELS};
const vxdb_kind kPushNvrEvent = {"push_msg_nvr_event", (int)sizeof(push_msg_nvr_event), 1};
const vxdb_kind kMacConf = {"mac_conf", (int)sizeof(mac_conf), 1};

int channels(int count)
{
    return count < 0 ? 0 : count > PUSH_MSG_CHANNELS ? PUSH_MSG_CHANNELS : count;
}
}  // namespace

int read_network(const char* db, network_record* out)
{
    return vxdb_read(db, kNetwork, 0, out) < 0 ? -1 : 0;
}

int write_network(const char* db, const network_record* record)
{
    return vxdb_write(db, kNetwork, 0, record, (int)sizeof *record);
}

int update_network(const char* db, bool (*change)(void*, void*), void* context)
{
    return vxdb_update(db, kNetwork, 0, change, context);
}

int read_port(const char* db, port_record* out)
{
    return vxdb_read(db, kPort, 0, out) < 0 ? -1 : 0;
}

int write_port(const char* db, const port_record* record)
{
    return vxdb_write(db, kPort, 0, record, (int)sizeof *record);
}

int update_port(const char* db, bool (*change)(void*, void*), void* context)
{
    return vxdb_update(db, kPort, 0, change, context);
}

int read_upnp(const char* db, upnp_record* out)
{
    return vxdb_read(db, kUpnp, 0, out) < 0 ? -1 : 0;
}

int write_upnp(const char* db, const upnp_record* record)
{
    return vxdb_write(db, kUpnp, 0, record, (int)sizeof *record);
}

int read_multicast(const char* db, multicast_record* out)
{
    return vxdb_read(db, kMulticast, 0, out) < 0 ? -1 : 0;
}

int write_multicast(const char* db, const multicast_record* record)
{
    return vxdb_write(db, kMulticast, 0, record, (int)sizeof *record);
}

int update_multicast(const char* db, bool (*change)(void*, void*), void* context)
{
    return vxdb_update(db, kMulticast, 0, change, context);
}

int write_push_msg_events(const char* db, const push_msg_event* list, int count)
{
    count = channels(count);
    if (count == 0)
        return 0;
    return vxdb_write_range(db, kPushEvent, 0, list, count, (int)sizeof *list);
}

int read_push_msg_events(const char* db, push_msg_event* out, int count)
{
    push_msg_event table[PUSH_MSG_CHANNELS];
    int found = vxdb_read_table(db, kPushEvent, table, PUSH_MSG_CHANNELS);
    memcpy(out, table, sizeof table[0] * (size_t)channels(count));
    return found < 0 ? -1 : 0;
}

int read_push_msg_nvr_event(const char* db, push_msg_nvr_event* out)
{
    return vxdb_read(db, kPushNvrEvent, 0, out) < 0 ? -1 : 0;
}

int write_push_msg_nvr_event(const char* db, const push_msg_nvr_event* record)
{
    return vxdb_write(db, kPushNvrEvent, 0, record, (int)sizeof *record);
}

int read_mac_conf(const char* db, char* out, int size)
{
    if (!out || size <= 0)
        return -1;
    mac_conf row;
    int rc = vxdb_read(db, kMacConf, 0, &row);
    size_t n = 0;
    if (rc >= 0)
        while (n + 1 < (size_t)size && n < sizeof row.mac && row.mac[n])
            n++;
    memcpy(out, row.mac, n);
    out[n] = '\0';
    return rc < 0 ? -1 : 0;
}

int write_mac_conf(const char* db, const char* mac)
{
    mac_conf row;
    wire_text(row.mac, mac);
    return vxdb_write(db, kMacConf, 0, &row, (int)sizeof row);
}
