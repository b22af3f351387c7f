// The live IPv4 configuration of one network interface, from the kernel's
// interface queries and its routing table.
#pragma once
#include <cstdint>

#include "platform/wire.h"

WIRE_BEGIN
struct NetConf {
    char ip[24];
    char mac[24];
    char gateway[24];
    char netmask[24];
    char broadcast[24];
    int32_t up;
    int32_t mtu;
};
WIRE_END
WIRE_SIZE(NetConf, 128);
WIRE_OFFSET(NetConf, up, 120);

// Fills every field but gateway from the interface queries; a failed query
// leaves its field at the all-zero value ("0.0.0.0", a zero MAC, 0). The
// gateway is written only when the routing table has a default route for
// the interface, so the caller clears the record first. A name of 16 or more
// characters is an unknown interface. 0 when a socket could be opened, -1
// for a missing argument or no socket.
int if_get_netconf(const char* name, NetConf* conf);
// The same with the routing table read from `route_path`
// ("/proc/net/route" on the device; never mapped under the device root).
int if_get_netconf_route(const char* name, NetConf* conf, const char* route_path);
