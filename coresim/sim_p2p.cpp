// Simulated P2P client: switching on probes the registration server
// (p2pregsim on the local device), the code a registration test forwards is
// kept, and unbinding clears the cloud account.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/network/network_records.h"
#include "platform/p2plib.h"
#include "platform/vxdb.h"

namespace {

enum { P2P_OFFLINE = 0, P2P_ONLINE = 1, ENABLE_OK = 0, ENABLE_NETWORK = 3 };

std::mutex g_mu;
bool g_online;
char g_register_code[P2P_REG_CODE_MAX + 1];
char g_cloud_account[64] = "owner@example.com";

// True when the registration server takes a connection (5 s at most).
bool server_reachable()
{
    char host[128];
    int port = 0;
    const int sock = socket_create();
    const bool ok = sock >= 0 && p2p_server_address(host, (int)sizeof host, &port) &&
                    socket_connect(sock, host, port) == 0;
    socket_destroy(sock);
    return ok;
}

bool set_enable(void* record, void* context)
{
    ((p2p_info*)record)->enable = *(const int32_t*)context;
    return true;
}

// The switch-on record is 484 bytes; the registration code never is (127
// characters at most, no NUL).
void on_enable(const SimRequest& request, SimReply& reply)
{
    if (request.length != (int)sizeof(p2p_info)) {
        std::lock_guard<std::mutex> lock(g_mu);
        wire_text(g_register_code, request.payload, request.length > 0 ? (size_t)request.length : 0);
        sim_log("p2p: registration code \"%s\"", g_register_code);
        return;
    }
    int32_t enable = request.word(0);
    const bool online = server_reachable();
    update_p2p_info(VXDB_MAIN, set_enable, &enable);
    {
        std::lock_guard<std::mutex> lock(g_mu);
        g_online = online;
    }
    sim_log("p2p: on, registration server %s", online ? "reachable" : "unreachable");
    reply.send_word(online ? ENABLE_OK : ENABLE_NETWORK);
}

void on_disable(const SimRequest&, SimReply& reply)
{
    int32_t enable = 0;
    update_p2p_info(VXDB_MAIN, set_enable, &enable);
    {
        std::lock_guard<std::mutex> lock(g_mu);
        g_online = false;
    }
    reply.send_word(0);
}

void on_status(const SimRequest&, SimReply& reply)
{
    p2p_info settings;
    if (read_p2p_info(VXDB_MAIN, &settings) != 0)
        memset(&settings, 0, sizeof settings);
    p2p_state state;
    memset(&state, 0, sizeof state);
    state.enable = settings.enable;
    get_param_value(VXDB_MAIN, "model", state.model, (int)sizeof state.model, "SIM-NVR16");
    get_param_value(VXDB_MAIN, "serial", state.ipc, (int)sizeof state.ipc, "");
    char host[64];
    int port = 0;
    if (p2p_server_address(host, (int)sizeof host, &port))
        snprintf(state.cloud_server, sizeof state.cloud_server, "%.40s:%d", host, port);
    wire_text(state.company, "Simulated P2P service");
    wire_text(state.email, "support@example.com");
    wire_text(state.dealer, "Local device");
    {
        std::lock_guard<std::mutex> lock(g_mu);
        state.p2pstatus = settings.enable && g_online ? P2P_ONLINE : P2P_OFFLINE;
        wire_text(state.cloud_account, g_cloud_account);
        wire_text(state.register_code, g_register_code);
    }
    reply.send(&state, sizeof state);
}

void on_unbind(const SimRequest&, SimReply& reply)
{
    {
        std::lock_guard<std::mutex> lock(g_mu);
        g_cloud_account[0] = '\0';
    }
    sim_log("p2p: cloud account cleared");
    reply.send_word(0);
}

const SimEntry kP2p[] = {
    {REQ_P2P_UNBIND, on_unbind, "unbind: clear the cloud account, answer 0"},
    {REQ_P2P_ENABLE, on_enable, "484 bytes: switch on, 0 when p2pregsim is reachable, else 3; else the registration code"},
    {REQ_P2P_DISABLE, on_disable, "switch off, answer 0"},
    {REQ_P2P_STATUS, on_status, "the 744-byte P2P state"},
};

}  // namespace

void sim_p2p_seed()
{
    p2p_info settings;
    memset(&settings, 0, sizeof settings);
    wire_text(settings.text0, "p2p.example.net");
    wire_text(settings.text1, "relay.example.net");
    wire_text(settings.text2, "SIM-P2P-UID-0001");
    wire_text(settings.text3, "v1");
    write_p2p_info(VXDB_MAIN, &settings);
}

const SimEntry* sim_p2p_table(int* count)
{
    *count = (int)(sizeof kP2p / sizeof kP2p[0]);
    return kP2p;
}
