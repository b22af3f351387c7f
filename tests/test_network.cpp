// Network module, black-box through nvrweb.cgi against the fake core service
// and a scratch database: interfaces over a simulated network, service ports,
// the IP-conflict test, default route and UPnP.
#include <sys/stat.h>
#include <unistd.h>

#include "core/json_util.h"
#include "modules/network/network_records.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kNetworkKind = {"network", (int)sizeof(network_record), 1};
const vxdb_kind kPortKind = {"port", (int)sizeof(port_record), 1};
const vxdb_kind kUpnpKind = {"upnp", (int)sizeof(upnp_record), 1};
const vxdb_kind kPushKind = {"push_msg_event", (int)sizeof(push_msg_event), 64};

std::string word(int w) { return int32_bytes({w}); }


std::string value_of(const std::string& out, const char* key)
{
    JsonPtr o(json_tokener_parse(reply_body(out).c_str()));
    json_object* v = nullptr;
    return json_object_object_get_ex(o.get(), key, &v) ? json_object_get_string(v) : "<absent>";
}

class NetworkTest : public HandlerTest {
protected:
    network_record record = zeroed<network_record>();

    // A stored record with each block told apart by its addresses.
    void store_network(int mode)
    {
        record.mode = mode;
        put(record.host_name, "nvr-host");
        record.primary_net = 1;
        record.default_route = 2;
        network_block* blocks[] = {&record.bond0, &record.eth0, &record.eth1};
        for (int i = 0; i < 3; i++) {
            network_block& b = *blocks[i];
            b.enable = 1, b.v4type = i % 2, b.mtu = 1500 - i;
            put(b.ip, "10.0." + std::to_string(i) + ".5");
            put(b.mask, "255.255.0.0"), put(b.gw, "10.0." + std::to_string(i) + ".1");
            put(b.dns1, "1.1.1." + std::to_string(i)), put(b.dns2, "9.9.9." + std::to_string(i));
        }
        record.bond0.v6type = 0, put(record.bond0.v6addr, "fd00::b"), put(record.bond0.v6mask, "64");
        put(record.bond0.v6gw, "fd00::1");
        record.eth0.v6type = 1;  // nothing stored: the live values
        record.eth1.v6type = 2;  // live, and eth1 has no IPv6 in netsim
        store(kNetworkKind, 0, &record);
        root.write(NETSIM_PATH, "eth0 mac=02:AA:00:00:00:01 ip=10.0.1.5 ip6=2001:db8::5 prefix6=64 gw6alt=fe80::1\n"
                                "eth1 mac=02:AA:00:00:00:02 ip=10.0.2.5\n");
    }
    static constexpr const char* NETSIM_PATH = "/var/run/netsim";

    // /7051 with a netstat on PATH that lists port 8080 as listening.
    CgiResult post_ports(const std::string& body)
    {
        root.write("/bin/netstat", "#!/bin/sh\necho 'Proto Recv-Q Send-Q Local Address Foreign Address State'\n"
                                   "echo 'tcp 0 0 0.0.0.0:8080 0.0.0.0:* LISTEN'\n");
        chmod(root.at("/bin/netstat").c_str(), 0755);
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.method = "POST", r.path = "/7051", r.body = body, r.content_type = "application/json";
        r.cookie = "lang=en; userName=admin", r.remote_addr = kAddr;
        r.env = {{"PATH", root.at("/bin") + ":/usr/bin:/bin"}};
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << body;
        vxdb_close_all();
        return res;
    }
};

TEST_F(NetworkTest, ModeAndMacTexts)
{
    EXPECT_EQ(get("/7042").out, text_reply("0"));  // nothing stored: zeros
    record.mode = 2;
    store(kNetworkKind, 0, &record);
    EXPECT_EQ(get("/7042").out, text_reply("2"));
    const vxdb_kind mac_kind = {"mac_conf", 64, 1};
    for (const auto& c : std::vector<std::pair<std::string, std::string>>{
             {"001E5A0A0B0C", "00:1E:5A:0A:0B:0C"},
             {"ABC", "AB:C"},
             {"", ""},
             {std::string(40, 'F'), "FF:FF:FF:FF:FF:FF:FF:FF:FF:FF:FF:FF:FF:FF:FF:F"}}) {  // a 32-byte read
        mac_conf row = zeroed<mac_conf>();
        put(row.mac, c.first);
        store(mac_kind, 0, &row);
        EXPECT_TRUE(json_reply_is(get("/7044").out, "{\"mac0\":\"" + c.second + "\"}")) << c.first;
    }
}

TEST_F(NetworkTest, SettingsOfEachModeWithLiveAddressesFromNetsim)
{
    const std::string bond_keys = "mode,hostName,primaryNet,enableNetwork1,networkType,ipAddr,netmask,gateway,macAddr,"
                                  "DNS1,DNS2,mtu,ip6networkType,ip6Addr,ip6netmask,ip6gateway,defaultRoute";
    // eth1 (type 2, no IPv6 live) leaves its three IPv6 keys out.
    const std::string multi_keys = "mode,hostName,enableNetwork1,networkType,ipAddr,netmask,gateway,ip6networkType,"
                                   "ip6Addr,ip6netmask,ip6gateway,macAddr,DNS1,DNS2,mtu,enableNetwork2,networkType2,"
                                   "ipAddr2,netmask2,gateway2,ip6networkType2,macAddr2,DNS12,DNS22,mtu2,defaultRoute";
    struct Case {
        int stored;
        std::string request;
        int mode;
    } cases[] = {{0, "1", 1}, {0, "2", 2}, {2, "5", 2}, {1, "abc", 0}, {0, "0", 0}, {7, "9", 1}};
    for (const Case& c : cases) {
        store_network(c.stored);
        const std::string out = get("/7040", c.request).out;
        SCOPED_TRACE(c.request + " " + out);
        EXPECT_EQ(value_of(out, "mode"), std::to_string(c.mode));
        EXPECT_EQ(keys_of(out), c.mode ? bond_keys : multi_keys);
        EXPECT_EQ(value_of(out, "macAddr"), "02:AA:00:00:00:01");
        if (c.mode) {
            EXPECT_EQ(value_of(out, "ipAddr"), "10.0.0.5");
            EXPECT_EQ(value_of(out, "ip6Addr") + " " + value_of(out, "ip6gateway"), "fd00::b fd00::1");
        } else {
            EXPECT_EQ(value_of(out, "ipAddr2") + " " + value_of(out, "DNS22") + " " + value_of(out, "mtu2"),
                      "10.0.2.5 9.9.9.2 1498");
            EXPECT_EQ(value_of(out, "ip6Addr") + " " + value_of(out, "ip6netmask") + " " +
                          value_of(out, "ip6gateway") + " " + value_of(out, "macAddr2"),
                      "2001:db8::5 64 fe80::1 02:AA:00:00:00:02");
        }
    }
}

TEST_F(NetworkTest, SetChangesTwoInterfacesKeepsTheRestAndLogs)
{
    store_network(0);
    const std::string long_ip(25, '1');
    const std::string out =
        post("/7041", "{\"mode\":0,\"ipAddr\":\"" + long_ip + "\",\"ipAddr2\":\"10.9.9.9\",\"mtu2\":1400,"
                      "\"ip6networkType2\":2,\"ip6gateway2\":\"fd00::99\",\"ip6gateway\":\"fd00::77\","
                      "\"slaveClear\":3,\"Conflict\":1}")
            .out;
    EXPECT_EQ(out, text_reply("OK"));
    network_record want = record;
    put(want.eth0.ip, long_ip.substr(0, 15));
    put(want.eth1.ip, "10.9.9.9");
    want.eth1.mtu = 1400, want.eth1.v6type = 2;
    put(want.eth0.v6gw, "fd00::77");  // eth1's gateway is not taken: type 2
    network_record got;
    ASSERT_EQ(stored(kNetworkKind, 0, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));

    ASSERT_EQ(sent(REQ_SLAVE_CLEAR).size(), 1u);
    EXPECT_EQ(sent(REQ_SLAVE_CLEAR)[0].payload, word(3));
    ASSERT_EQ(sent(REQ_NETWORK_CHANGED).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NETWORK_CHANGED)[0].payload, "network" + std::string(25, '\0')));
    std::string conflict = log_record(406, 914, 0);
    conflict[0] = 32;  // main type of the exception log
    EXPECT_EQ(logs(2), (std::vector<std::string>{log_record(204, 914, 0), conflict}));

    // A bond write takes only the bond block (no hostName, no route).
    EXPECT_EQ(post("/7041", "{\"mode\":1,\"ipAddr\":\"172.16.0.2\",\"defaultRoute\":9,\"hostName\":\"x\"}").out,
              text_reply("OK"));
    ASSERT_EQ(stored(kNetworkKind, 0, &got), 0);
    put(want.bond0.ip, "172.16.0.2");
    want.mode = 1;
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));
    EXPECT_EQ(post("/7041", "not json").out, "");
}

TEST_F(NetworkTest, PortsRefusedByPoeRangeUseAndPos)
{
    port_record ports = zeroed<port_record>();
    ports.ssh = 22, ports.http = 80, ports.rtsp = 554, ports.service = 6036, ports.https = 23001;
    put(ports.host_name, "kept.example");
    store(kPortKind, 0, &ports);
    set_param("max_poe_num", 8);
    auto body = [](const std::string& extra) {
        return "{\"enableSsh\":1,\"sshPort\":22,\"httpPort\":80,\"rtspPort\":554,\"servicePort\":6036,"
               "\"enableMsg\":1,\"httpsPort\":23001" + extra + "}";
    };
    struct Case {
        std::string extra, reply;
        int http, rtsp, pos;
    } cases[] = {
        {",\"httpPort\":23008", "POE_Port_Error", 80, 554, 0},
        {",\"httpPort\":8080", "POE_Port_Error", 80, 554, 0},     // netstat lists it
        {",\"posPort\":8080", "POS_Port_Error", 80, 554, 0},
        {",\"httpPort\":70000", "", 80, 554, 0},                  // refused like a negative
        {",\"rtspPort\":8080", "OK", 80, 8080, 0},                // stored untested
        {",\"httpPort\":23009,\"posPort\":9000", "OK", 23009, 554, 9000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(post_ports(body(c.extra)).out, c.reply.empty() ? "" : text_reply(c.reply)) << c.extra;
        port_record got;
        ASSERT_EQ(stored(kPortKind, 0, &got), 0);
        EXPECT_EQ(std::vector<int>({got.http, got.rtsp, got.pos, got.https}),
                  std::vector<int>({c.http, c.rtsp, c.pos, 23001}))
            << c.extra;
        EXPECT_STREQ(got.host_name, "kept.example");
    }
    EXPECT_EQ(sent(REQ_POS_PORT).size(), 1u);
    EXPECT_EQ(sent(REQ_POS_PORT)[0].payload, word(9000));

    // A count far beyond the array: one row, quickly.
    const CgiResult big = post_ports(body(",\"httpPort\":23009,\"posPort\":9000,\"channel_num\":1000000,"
                                          "\"pushTypeArr\":[5],\"needReboot\":1"));
    EXPECT_EQ(big.out, text_reply("OK"));
    EXPECT_LT(big.seconds, 10.0);
    push_msg_event rows[2];
    EXPECT_EQ(stored(kPushKind, 0, &rows[0]), 0);
    EXPECT_EQ(rows[0].channel * 100 + rows[0].type_mask, 5);
    EXPECT_EQ(stored(kPushKind, 1, &rows[1]), 1);
    EXPECT_TRUE(core.wait_for(REQ_REBOOT, 1));
    EXPECT_EQ(logs(2), (std::vector<std::string>{log_record(204, 918, 0), log_record(200, 900, 0)}));
    EXPECT_EQ(sent(REQ_POS_PORT).size(), 0u);  // unchanged now
}

TEST_F(NetworkTest, ConflictRouteAndMulticastAnswers)
{
    struct Case {
        std::string path, body, answer, reply;
    } cases[] = {
        {"/7070", "{\"ip\":\"10.0.0.9\"}", word(1), text_reply("-1")},
        {"/7070", "{\"ip\":\"10.0.0.9\"}", word(0), text_reply("0")},
        {"/7070", "{\"ip\":\"10.0.0.9\"}", std::string(2, '\1'), kTextError},  // under a word: no answer
        {"/7070", "{\"ip\":\"10.0.0.9\"}", kSilent, kTextError},
        {"/7096", "{\"defaultRoute\":1}", word(7), kJsonHead + "{ \"res\": 7 }"},
        {"/7096", "{\"defaultRoute\":1}", std::string(3, '\0'), kJsonError},
        {"/7096", "nope", word(0), kJsonError},
        {"/7034", "{\"enable\":1,\"ip\":\"239.1.1.1\"}", word(0), kJsonHead + "{ \"res\": 0 }"},
    };
    for (const Case& c : cases) {
        const int code = c.path == "/7070" ? REQ_IP_CONFLICT : c.path == "/7096" ? REQ_DEFAULT_ROUTE : REQ_MULTICAST;
        if (c.answer == kSilent)
            core.silent(code);
        else
            core.reply(code, c.answer);
        const std::string out = post(c.path, c.body).out;
        EXPECT_TRUE(out == c.reply || json_reply_is(out, reply_body(c.reply))) << c.path << " " << out;
    }
    core.reply(REQ_IP_CONFLICT, word(0));
    EXPECT_EQ(post("/7070", "{\"ip\":\"" + std::string(25, '3') + "\"}").out, text_reply("0"));
    EXPECT_TRUE(same_bytes(sent(REQ_IP_CONFLICT)[0].payload, std::string(19, '3') + '\0'));
    core.reply(REQ_IP_CONFLICT_BY_DEV, word(0));
    EXPECT_EQ(post("/7071", "{\"dev\":\"eth1\",\"ip\":\"" + std::string(25, '2') + "\"}").out, text_reply("0"));
    std::string both(32, '\0');
    both.replace(0, 4, "eth1").replace(16, 15, std::string(15, '2'));
    EXPECT_TRUE(same_bytes(sent(REQ_IP_CONFLICT_BY_DEV)[0].payload, both));
    network_record got;
    ASSERT_EQ(stored(kNetworkKind, 0, &got), 0);
    EXPECT_EQ(got.default_route, 1);
    EXPECT_TRUE(json_reply_is(get("/7033").out, "{\"enable\":1,\"ip\":\"239.1.1.1\"}"));
}

TEST_F(NetworkTest, UpnpSetSendsTheStoredRecordChanged)
{
    upnp_record upnp = zeroed<upnp_record>();
    upnp.enable = 0, upnp.type = 1, upnp.external_http_port = 8000, upnp.http_status = 3;
    memset(upnp.other, 0x5A, sizeof upnp.other);
    store(kUpnpKind, 0, &upnp);
    EXPECT_EQ(post("/1031", "{\"enable\":1,\"external_rtsp_port\":5554,\"http_status\":9}").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_UPNP_SET, 1));
    upnp_record want = upnp;
    want.enable = 1, want.external_rtsp_port = 5554;
    EXPECT_TRUE(same_bytes(sent(REQ_UPNP_SET)[0].payload, bytes_of(want)));
    upnp_record kept;
    stored(kUpnpKind, 0, &kept);
    EXPECT_TRUE(same_bytes(bytes_of(kept), bytes_of(upnp)));  // the core service stores it
}

// The local device: an address change reaches coresim's simulated network
// and comes back in the settings, and the conflict test sees the gateway.
TEST(NetworkCoresim, AddressChangeReachesNetsimAndTheReadBack)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const char* method, const char* path, const std::string& body) {
        CgiRequest r;
        r.method = method, r.path = path;
        (r.method == "GET" ? r.query : r.body) = body;
        r.content_type = r.method == "GET" ? "" : "application/json";
        return run_cgi(root.path(), r).out;
    };
    EXPECT_EQ(run("POST", "/7041", "{\"mode\":0,\"ipAddr\":\"192.168.1.77\"}"), text_reply("OK"));
    for (int i = 0; i < 100 && root.read("/var/run/netsim").find("ip=192.168.1.77 ") == std::string::npos; i++)
        usleep(20000);
    EXPECT_EQ(root.read("/var/run/netsim").substr(0, 58),
              "eth0 mac=00:1E:5A:0A:0B:0C ip=192.168.1.77 gw=192.168.1.1 ");
    const std::string out = run("GET", "/7040", "0");
    EXPECT_EQ(value_of(out, "ipAddr") + " " + value_of(out, "macAddr") + " " + value_of(out, "ip6Addr"),
              "192.168.1.77 00:1E:5A:0A:0B:0C 2001:db8::10");
    EXPECT_EQ(run("POST", "/7070", "{\"ip\":\"192.168.1.1\"}"), text_reply("-1"));
    EXPECT_EQ(run("POST", "/7070", "{\"ip\":\"192.168.1.55\"}"), text_reply("0"));
}

}  // namespace
