// Network interfaces: addresses of the two ports or their bond, the MAC,
// the default route, multicast, the IP-conflict test and single values.
#include "modules/network/network.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "core/web_utils.h"
#include "platform/netif.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define INTERFACE_RESOURCES(X) \
    X("/7040", on_get_network_info, "addresses of a network mode (text: the mode)") \
    X("/7041", on_set_network_info, "store addresses and apply them") \
    X("/7042", on_get_network_mode, "stored network mode") \
    X("/7043", on_restart_network, "restart the network") \
    X("/7044", on_get_mac0, "MAC of the first port") \
    X("/7070", on_ip_conflict, "is an address used by another device") \
    X("/7071", on_ip_conflict_by_dev, "the same for one interface") \
    X("/7092", on_get_access_info, "channel access switch") \
    X("/7093", on_get_poe_max, "PoE port count") \
    X("/7096", on_cgi_set_default_route, "interface of the default route") \
    X("/7033", on_cgi_get_multicast, "multicast settings") \
    X("/7034", on_cgi_set_multicast, "store multicast settings")

INTERFACE_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kInterfaceResources[] = {INTERFACE_RESOURCES(WEB_RESOURCE_ROW)};

#define NET(member, key, type) JSON_FIELD(network_record, member, key, type)

// Reply key order of a bond: one address block, the MAC after the gateway.
const JsonField kBondHead[] = {
    NET(host_name, "hostName", TEXT),      NET(primary_net, "primaryNet", I32), NET(bond0.enable, "enableNetwork1", I32),
    NET(bond0.v4type, "networkType", I32), NET(bond0.ip, "ipAddr", TEXT),       NET(bond0.mask, "netmask", TEXT),
    NET(bond0.gw, "gateway", TEXT),
};
const JsonField kBondTail[] = {
    NET(bond0.dns1, "DNS1", TEXT), NET(bond0.dns2, "DNS2", TEXT),
    NET(bond0.mtu, "mtu", I32),    NET(bond0.v6type, "ip6networkType", I32),
};
const JsonField kRoute[] = {NET(default_route, "defaultRoute", I32)};
const char* const kBondIpv6Keys[] = {"ip6Addr", "ip6netmask", "ip6gateway"};

// Reply key order of the two separate ports.
const JsonField kMultiHead[] = {
    NET(host_name, "hostName", TEXT), NET(eth0.enable, "enableNetwork1", I32), NET(eth0.v4type, "networkType", I32),
    NET(eth0.ip, "ipAddr", TEXT),     NET(eth0.mask, "netmask", TEXT),         NET(eth0.gw, "gateway", TEXT),
    NET(eth0.v6type, "ip6networkType", I32),
};
const JsonField kMultiMiddle[] = {
    NET(eth0.dns1, "DNS1", TEXT),          NET(eth0.dns2, "DNS2", TEXT),     NET(eth0.mtu, "mtu", I32),
    NET(eth1.enable, "enableNetwork2", I32), NET(eth1.v4type, "networkType2", I32), NET(eth1.ip, "ipAddr2", TEXT),
    NET(eth1.mask, "netmask2", TEXT),      NET(eth1.gw, "gateway2", TEXT),   NET(eth1.v6type, "ip6networkType2", I32),
};
const JsonField kMultiTail[] = {
    NET(eth1.dns1, "DNS12", TEXT), NET(eth1.dns2, "DNS22", TEXT), NET(eth1.mtu, "mtu2", I32),
    NET(default_route, "defaultRoute", I32),
};
const char* const kEth0Ipv6Keys[] = {"ip6Addr", "ip6netmask", "ip6gateway"};
const char* const kEth1Ipv6Keys[] = {"ip6Addr2", "ip6netmask2", "ip6gateway2"};

// What a write takes; texts are cut to their fields by json_to_record.
const JsonField kModeWrite[] = {NET(mode, "mode", I32)};
const JsonField kPrimaryWrite[] = {NET(primary_net, "primaryNet", I32)};
const JsonField kBondWrite[] = {
    NET(bond0.enable, "enableNetwork1", I32), NET(bond0.v4type, "networkType", I32), NET(bond0.ip, "ipAddr", TEXT),
    NET(bond0.mask, "netmask", TEXT),         NET(bond0.gw, "gateway", TEXT),        NET(bond0.mtu, "mtu", I32),
    NET(bond0.dns1, "DNS1", TEXT),            NET(bond0.dns2, "DNS2", TEXT),
    NET(bond0.v6type, "ip6networkType", I32), NET(bond0.v6addr, "ip6Addr", TEXT),
    NET(bond0.v6mask, "ip6netmask", TEXT),
};
const JsonField kMultiWrite[] = {
    NET(eth0.enable, "enableNetwork1", I32), NET(eth0.v4type, "networkType", I32), NET(eth0.ip, "ipAddr", TEXT),
    NET(eth0.mask, "netmask", TEXT),         NET(eth0.gw, "gateway", TEXT),        NET(eth0.mtu, "mtu", I32),
    NET(eth0.dns1, "DNS1", TEXT),            NET(eth0.dns2, "DNS2", TEXT),
    NET(eth1.enable, "enableNetwork2", I32), NET(eth1.v4type, "networkType2", I32), NET(eth1.ip, "ipAddr2", TEXT),
    NET(eth1.mask, "netmask2", TEXT),        NET(eth1.gw, "gateway2", TEXT),        NET(eth1.mtu, "mtu2", I32),
    NET(eth1.dns1, "DNS12", TEXT),           NET(eth1.dns2, "DNS22", TEXT),
    NET(eth0.v6type, "ip6networkType", I32), NET(eth0.v6addr, "ip6Addr", TEXT),
    NET(eth0.v6mask, "ip6netmask", TEXT),    NET(eth1.v6type, "ip6networkType2", I32),
    NET(eth1.v6addr, "ip6Addr2", TEXT),      NET(eth1.v6mask, "ip6netmask2", TEXT),
    NET(default_route, "defaultRoute", I32),
};
const JsonField kBondGatewayWrite[] = {NET(bond0.v6gw, "ip6gateway", TEXT)};
const JsonField kEth0GatewayWrite[] = {NET(eth0.v6gw, "ip6gateway", TEXT)};
const JsonField kEth1GatewayWrite[] = {NET(eth1.v6gw, "ip6gateway2", TEXT)};

const JsonField kMulticastFields[] = {JSON_FIELD(multicast_record, enable, "enable", I32)};

enum { MULTICAST_IP_CUT = 64 };

// The stored texts when the address type is fixed (0), or 1 with both kept;
// otherwise what the interface has now, leaving out what it cannot tell.
void add_ipv6(json_object* reply, const network_block& block, const char* interface, const char* const keys[3])
{
    const int type = block.v6type;
    if (type == 0 || (type == 1 && block.v6addr[0] && block.v6mask[0])) {
        json_add_field(reply, keys[0], block.v6addr, sizeof block.v6addr);
        json_add_field(reply, keys[1], block.v6mask, sizeof block.v6mask);
        json_add_field(reply, keys[2], block.v6gw, sizeof block.v6gw);
        return;
    }
    char address[64], prefix[16], gateway[64];
    if (net_get_ipv6_ifaddr(interface, type == 1, address, sizeof address, prefix, sizeof prefix) == 0) {
        json_add_text(reply, keys[0], address);
        json_add_text(reply, keys[1], prefix);
    }
    if (net_get_ipv6_gateway2(interface, 0, gateway, sizeof gateway) == 0 ||
        net_get_ipv6_gateway2(interface, 1, gateway, sizeof gateway) == 0)
        json_add_text(reply, keys[2], gateway);
}

HandlerStatus on_get_network_info(const char* request)
{
    network_record record;
    if (read_network(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_JSON;
    // A text that is no number asks for mode 0, as the pages expect.
    int mode = request ? (int)strtol(request, nullptr, 10) : 0;
    if (mode < NETWORK_MODE_MULTI || mode > NETWORK_MODE_BOND_PRIMARY)
        mode = record.mode;
    // A stored mode the pages do not know is a bond, as the write treats it.
    if (mode < NETWORK_MODE_MULTI || mode > NETWORK_MODE_BOND_PRIMARY)
        mode = NETWORK_MODE_BOND;
    char mac0[18], mac1[18];
    get_mac_addr(mac0, mac1);

    json_object* reply = json_object_new_object();
    json_add_int(reply, "mode", mode);
    if (mode != NETWORK_MODE_MULTI) {
        json_from_record(reply, &record, kBondHead);
        json_add_text(reply, "macAddr", mac0);
        json_from_record(reply, &record, kBondTail);
        add_ipv6(reply, record.bond0, "bond0", kBondIpv6Keys);
        json_from_record(reply, &record, kRoute);
    } else {
        json_from_record(reply, &record, kMultiHead);
        add_ipv6(reply, record.eth0, "eth0", kEth0Ipv6Keys);
        json_add_text(reply, "macAddr", mac0);
        json_from_record(reply, &record, kMultiMiddle);
        add_ipv6(reply, record.eth1, "eth1", kEth1Ipv6Keys);
        json_add_text(reply, "macAddr2", mac1);
        json_from_record(reply, &record, kMultiTail);
    }
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// The keys of the record's (new) mode; the IPv6 gateway only when the type
// after this request is not 2, whose gateway the device finds itself.
bool apply_network_change(void* data, void* context)
{
    network_record* record = (network_record*)data;
    json_object* body = (json_object*)context;
    json_to_record(body, record, kModeWrite);
    if (record->mode != NETWORK_MODE_MULTI) {
        if (record->mode == NETWORK_MODE_BOND_PRIMARY)
            json_to_record(body, record, kPrimaryWrite);
        json_to_record(body, record, kBondWrite);
        if (record->bond0.v6type != 2)
            json_to_record(body, record, kBondGatewayWrite);
    } else {
        json_to_record(body, record, kMultiWrite);
        if (record->eth0.v6type != 2)
            json_to_record(body, record, kEth0GatewayWrite);
        if (record->eth1.v6type != 2)
            json_to_record(body, record, kEth1GatewayWrite);
    }
    return true;
}

HandlerStatus on_set_network_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    int conflict = 0, slave_clear = 0;
    json_get_int(body.get(), "Conflict", &conflict);
    json_get_int(body.get(), "slaveClear", &slave_clear);
    if (update_network(VXDB_MAIN, apply_network_change, body.get()) != 0)
        return HANDLER_ERROR_TEXT;
    int32_t clear = slave_clear;
    cgi_notify(on_network_ipc_callback, REQ_SLAVE_CLEAR, &clear, (int)sizeof clear);
    network_notify_changed("network");
    network_write_log(LOG_MAIN_OPERATION, LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_NETWORK);
    if (conflict == 1)
        network_write_log(LOG_MAIN_NETWORK_EXCEPTION, LOG_SUB_IP_CONFLICT, LOG_PARAM_NETWORK);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_network_mode(const char*)
{
    network_record record;
    char text[16];
    snprintf(text, sizeof text, "%d", read_network(VXDB_MAIN, &record) == 0 ? record.mode : -1);
    reply_text(text);
    return HANDLER_DONE;
}

HandlerStatus on_restart_network(const char*)
{
    char zeros[32] = {0};
    cgi_notify(on_network_ipc_callback, REQ_NETWORK_RESTART, zeros, (int)sizeof zeros);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_mac0(const char*)
{
    char mac[32];
    read_mac_conf(VXDB_MAIN, mac, (int)sizeof mac);
    // Pairs of characters joined by ':' (a stored text may have them already).
    char text[2 * sizeof mac];
    size_t n = 0;
    for (size_t i = 0; mac[i]; i++) {
        text[n++] = mac[i];
        if (i % 2 == 1 && mac[i + 1] && isalnum((unsigned char)mac[i + 1]))
            text[n++] = ':';
    }
    text[n] = '\0';
    json_object* reply = json_object_new_object();
    json_add_text(reply, "mac0", text);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_ip_conflict(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char* ip = nullptr;
    if (!body || !json_get_text(body.get(), "ip", &ip))
        return HANDLER_SILENT;
    char address[IP_CONFLICT_TEXT_SIZE];
    wire_text(address, ip);
    return cgi_ask(on_network_ipc_callback, REQ_IP_CONFLICT, address, (int)sizeof address, HANDLER_ERROR_TEXT);
}

HandlerStatus on_ip_conflict_by_dev(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    const char *dev = nullptr, *ip = nullptr;
    if (!body || !json_get_text(body.get(), "dev", &dev) || !json_get_text(body.get(), "ip", &ip))
        return HANDLER_SILENT;
    ip_conflict_request ask;
    wire_text(ask.dev, dev);
    wire_text(ask.ip, ip);
    return cgi_ask(on_network_ipc_callback, REQ_IP_CONFLICT_BY_DEV, &ask, (int)sizeof ask, HANDLER_ERROR_TEXT);
}

HandlerStatus reply_param(const char* reply_key, const char* param)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, reply_key, get_param_int(VXDB_MAIN, param, 0));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_get_access_info(const char*)
{
    return reply_param("access", "ch_access");
}

HandlerStatus on_get_poe_max(const char*)
{
    return reply_param("max_poe_num", "max_poe_num");
}

bool apply_default_route(void* data, void* context)
{
    ((network_record*)data)->default_route = *(const int*)context;
    return true;
}

HandlerStatus on_cgi_set_default_route(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int route = 0;
    if (!body || !json_get_int(body.get(), "defaultRoute", &route))
        return HANDLER_ERROR_JSON;
    if (update_network(VXDB_MAIN, apply_default_route, &route) != 0)
        return HANDLER_ERROR_JSON;
    int32_t value = route;
    return cgi_ask(on_network_ipc_callback, REQ_DEFAULT_ROUTE, &value, (int)sizeof value, HANDLER_ERROR_JSON);
}

HandlerStatus on_cgi_get_multicast(const char*)
{
    multicast_record record;
    if (read_multicast(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "enable", record.enable);
    json_add_field(reply, "ip", record.ip, sizeof record.ip);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

struct MulticastChange {
    json_object* body;
    multicast_record written;
};

bool apply_multicast(void* data, void* context)
{
    multicast_record* record = (multicast_record*)data;
    MulticastChange* change = (MulticastChange*)context;
    json_to_record(change->body, record, kMulticastFields);
    const char* ip = nullptr;
    if (json_get_text(change->body, "ip", &ip))
        wire_text(record->ip, ip, MULTICAST_IP_CUT);
    change->written = *record;
    return true;
}

HandlerStatus on_cgi_set_multicast(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_ERROR_JSON;
    MulticastChange change = {body.get(), {}};
    if (update_multicast(VXDB_MAIN, apply_multicast, &change) != 0)
        return HANDLER_ERROR_JSON;
    return cgi_ask(on_network_ipc_callback, REQ_MULTICAST, &change.written, (int)sizeof change.written,
                   HANDLER_ERROR_JSON);
}

void on_ip_conflict_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer) ? "-1" : "0");
}

// A result word shorter than 4 bytes is no answer: the rows ask for one
// whole word.
const IpcResponse kInterfaceResponses[] = {
    {6724, 4, 1, reply_res_cb},
    {6729, 4, 1, reply_res_cb},
    {8005, 4, 1, on_ip_conflict_cb},
    {8006, 4, 1, on_ip_conflict_cb},
};

}  // namespace

const WebModulePart network_interface_part = WEB_MODULE_PART("network", kInterfaceResources, kInterfaceResponses);
