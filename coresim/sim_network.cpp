// Simulated network: the interfaces live in the netsim file, never on the
// host; changes of the network record are applied to it, and the IP-conflict
// test looks at the other simulated interfaces and the gateways.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/network/network_records.h"
#include "platform/netif.h"
#include "platform/vxdb.h"

namespace {

std::mutex g_mu;

netsim_interface* find_or_add(netsim_interface* list, int* count, const char* name)
{
    for (int i = 0; i < *count; i++)
        if (strcmp(list[i].name, name) == 0)
            return &list[i];
    if (*count >= NETSIM_MAX_INTERFACES)
        return nullptr;
    netsim_interface* added = &list[(*count)++];
    memset(added, 0, sizeof *added);
    wire_text(added->name, name);
    return added;
}

// A block's fixed addresses replace the simulated ones; what the record
// leaves empty stays as the "kernel" has it.
void apply_block(netsim_interface* sim, const network_block& block)
{
    if (!sim)
        return;
    if (block.ip[0])
        wire_text(sim->ip, block.ip);
    if (block.gw[0])
        wire_text(sim->gw, block.gw);
    if (block.v6type == 0 && block.v6addr[0]) {
        wire_text(sim->ip6, block.v6addr);
        wire_text(sim->prefix6, block.v6mask);
        wire_text(sim->gw6, block.v6gw);
    }
}

void apply_network_record(const char* why)
{
    std::lock_guard<std::mutex> lock(g_mu);
    network_record record;
    if (read_network(VXDB_MAIN, &record) != 0)
        return;
    netsim_interface list[NETSIM_MAX_INTERFACES];
    int count = netsim_read(list, NETSIM_MAX_INTERFACES);
    count = count < 0 ? 0 : count;
    if (record.mode == NETWORK_MODE_MULTI) {
        apply_block(find_or_add(list, &count, "eth0"), record.eth0);
        apply_block(find_or_add(list, &count, "eth1"), record.eth1);
    } else {
        apply_block(find_or_add(list, &count, "bond0"), record.bond0);
    }
    netsim_write(list, count);
    sim_log("network applied (%s): mode %d, eth0 %.16s", why, record.mode, record.eth0.ip);
}

void on_network_changed(const SimRequest& request, SimReply&)
{
    char what[NETWORK_CHANGED_TEXT_SIZE + 1] = {0};
    const int n = request.length < (int)NETWORK_CHANGED_TEXT_SIZE ? request.length : (int)NETWORK_CHANGED_TEXT_SIZE;
    memcpy(what, request.payload, n > 0 ? (size_t)n : 0);
    if (strcmp(what, "network") == 0)
        apply_network_record("changed");
    else if (strcmp(what, "more") == 0)
        sim_aging_ssh_changed();
    else {
        std::lock_guard<std::mutex> lock(g_mu);
        if (!sim_netsvc_changed(what))
            sim_log("network settings changed: %s", what);
    }
}

void on_network_restart(const SimRequest&, SimReply&)
{
    apply_network_record("restart");
}

void on_slave_clear(const SimRequest& request, SimReply&)
{
    apply_network_record(request.word() ? "slave cleared" : "slave kept");
}

void on_word_zero(const SimRequest&, SimReply& reply)
{
    reply.send_word(0);
}

// 1 when `ip` is the address of another simulated interface than `own`, or
// any interface's gateway.
int conflict(const char* own, const char* ip)
{
    if (!*ip)
        return 0;
    std::lock_guard<std::mutex> lock(g_mu);
    netsim_interface list[NETSIM_MAX_INTERFACES];
    int count = netsim_read(list, NETSIM_MAX_INTERFACES);
    for (int i = 0; i < count; i++)
        if ((strcmp(list[i].name, own) != 0 && strcmp(list[i].ip, ip) == 0) || strcmp(list[i].gw, ip) == 0)
            return 1;
    return 0;
}

void on_ip_conflict(const SimRequest& request, SimReply& reply)
{
    char ip[IP_CONFLICT_TEXT_SIZE];
    if (!request.as(&ip))
        return;
    ip[sizeof ip - 1] = '\0';
    reply.send_word(conflict("eth0", ip));
}

void on_ip_conflict_by_dev(const SimRequest& request, SimReply& reply)
{
    ip_conflict_request ask;
    if (!request.as(&ask))
        return;
    ask.dev[sizeof ask.dev - 1] = ask.ip[sizeof ask.ip - 1] = '\0';
    reply.send_word(conflict(ask.dev, ask.ip));
}

void on_ch_access(const SimRequest& request, SimReply&)
{
    if (request.length >= 4)
        set_param_int(VXDB_MAIN, "ch_access", request.word());
}

void on_upnp_set(const SimRequest& request, SimReply&)
{
    upnp_record upnp;
    if (!request.as(&upnp))
        return;
    // A mapping the simulated router always grants.
    upnp.http_status = upnp.rtsp_status = upnp.enable ? 1 : 0;
    write_upnp(VXDB_MAIN, &upnp);
}

void on_logged(const SimRequest& request, SimReply&)
{
    sim_log("network request %d (%d bytes, word %d)", request.code, request.length, request.word());
}

const SimEntry kNetwork[] = {
    {REQ_NETWORK_CHANGED, on_network_changed, "settings changed: \"network\" applies the record"},
    {REQ_NETWORK_RESTART, on_network_restart, "restart the network: apply the record"},
    {REQ_SLAVE_CLEAR, on_slave_clear, "apply the record"},
    {REQ_DEFAULT_ROUTE, on_word_zero, "default route set"},
    {REQ_MULTICAST, on_word_zero, "multicast set"},
    {REQ_IP_CONFLICT, on_ip_conflict, "address used by another interface or a gateway"},
    {REQ_IP_CONFLICT_BY_DEV, on_ip_conflict_by_dev, "the same for one interface"},
    {REQ_CH_ACCESS, on_ch_access, "store the channel access switch"},
    {REQ_UPNP_SET, on_upnp_set, "map ports: store the UPnP row"},
    {REQ_POS_PORT, on_logged, "POS port changed"},
    {REQ_PUSH_MSG_ENABLE, on_logged, "push messages switched"},
};

}  // namespace

// The simulated interfaces of a fresh root: the seeded addresses, MACs from
// the stored MAC text, and addresses an IPv6 router would have given.
void sim_network_seed()
{
    if (netsim_read(nullptr, 0) >= 0)
        return;
    char mac[32];
    read_mac_conf(VXDB_MAIN, mac, (int)sizeof mac);
    netsim_interface list[2];
    memset(list, 0, sizeof list);
    for (int i = 0; i < 2; i++) {
        wire_text(list[i].name, i ? "eth1" : "eth0");
        unsigned b[6] = {0};
        if (sscanf(mac, "%2x%2x%2x%2x%2x%2x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) == 6)
            snprintf(list[i].mac, sizeof list[i].mac, "%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3],
                     b[4], (b[5] + (unsigned)i) & 0xFF);
    }
    wire_text(list[0].ip6, "2001:db8::10");
    wire_text(list[0].prefix6, "64");
    wire_text(list[0].gw6, "2001:db8::1");
    netsim_write(list, 2);
    apply_network_record("seed");
}

const SimEntry* sim_network_table(int* count)
{
    *count = (int)(sizeof kNetwork / sizeof kNetwork[0]);
    return kNetwork;
}
