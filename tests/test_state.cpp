// Device-state module, black-box through nvrweb.cgi against the fake core
// service; the packet capture with the stand-in tools; the interface
// configuration in-process; one run against coresim.
#include <csignal>
#include <fstream>
#include <json-c/json.h>
#include <thread>

#include "core/json_util.h"
#include "modules/alarm/alarm_records.h"
#include "modules/record/record_records.h"
#include "modules/state/state.h"
#include "modules/storage/storage_records.h"
#include "modules/video/video_records.h"
#include "platform/devproc.h"
#include "platform/netconf.h"
#include "tests/support/handler_test.h"

namespace {


json_object* at(json_object* o, const char* key, int index = -1)
{
    json_object* v = nullptr;
    json_object_object_get_ex(o, key, &v);
    return index < 0 ? v : json_object_array_get_idx(v, (size_t)index);
}

class StateTest : public HandlerTest {
protected:
    void name_channel(int c, const char* name, const char* address)
    {
        osd o = zeroed<osd>();
        o.id = c;
        put(o.name, name);
        write_osd(VXDB_MAIN, &o);
        db_camera cam = zeroed<db_camera>();
        cam.id = c, cam.enable = 1;
        put(cam.address, address);
        write_camera(VXDB_MAIN, &cam);
    }
    std::string db_bytes() const { return root.read("/mnt/nand/app/vxdb.db"); }
};

TEST_F(StateTest, AlarmStatusCamerasInputsOutputs)
{
    name_channel(35, "Gate", "10.0.0.35");
    alarm_chnIn_event_name in = zeroed<alarm_chnIn_event_name>();
    in.channel = 35, in.input = 3;
    put(in.name, "Door");
    write_alarm_chnIn_event_name(VXDB_MAIN, &in);
    alarm_chnOut_event_name out = zeroed<alarm_chnOut_event_name>();
    out.channel = 35, out.output = 1, out.delay_time = 9;
    put(out.name, "Siren");
    write_alarm_chnOut_event_name(VXDB_MAIN, &out);
    set_param("alarm_in", 20);
    set_param("alarm_out", 2);

    alarm_status s = zeroed<alarm_status>();
    s.motion = 1ULL << 35;
    s.alarm_in_state = 1u << 15;
    s.alarm_out_state = 2;
    s.io[35][0] = 4, s.io[35][1] = 2;
    s.camera_in_state[3] = 1ULL << 35;
    s.camera_out_type[1] = 1ULL << 35;
    const std::string full = bytes_of(s);
    struct Case {
        int max_cameras;
        std::string answer;
        int cameras;  // -1: the JSON error body
    } cases[] = {{36, full, 36}, {100, full, 64}, {36, full.substr(0, 100), -1}, {36, "", -1}};
    for (const Case& c : cases) {
        core.clear();
        set_param("max_cameras", c.max_cameras);
        core.reply(REQ_ALARM_STATUS, c.answer);
        const std::string got = get("/8003").out;
        if (c.cameras < 0) {
            EXPECT_EQ(got, kJsonError) << c.answer.size();
            continue;
        }
        JsonPtr reply(json_tokener_parse(reply_body(got).c_str()));
        ASSERT_TRUE(reply) << got;
        EXPECT_EQ(json_object_array_length(at(reply.get(), "cameras")), (size_t)c.cameras);
        EXPECT_EQ(canon(json_object_to_json_string(at(reply.get(), "cameras", 35))),
                  R"({"id":35,"name":"Gate","ipAddr":"10.0.0.35","videolossOn":0,"motionOn":1,"ioOn":1,)"
                  R"("entrance":0,"exiting":0,"advancedMotion":0,"tampering":0,"lineCrossing":0,"loitering":0,)"
                  R"("humanDetection":0,"objectleftremove":0,"in":4,"out":2,)"
                  R"("AlarmInName0":"","AlarmInType0":0,"AlarmInState0":0,"AlarmOutName0":"","AlarmOutDelay0":0,)"
                  R"("AlarmOutType0":0,"AlarmOutState0":0,)"
                  R"("AlarmInName1":"","AlarmInType1":0,"AlarmInState1":0,"AlarmOutName1":"Siren",)"
                  R"("AlarmOutDelay1":9,"AlarmOutType1":1,"AlarmOutState1":0,)"
                  R"("AlarmInName2":"","AlarmInType2":0,"AlarmInState2":0,)"
                  R"("AlarmInName3":"Door","AlarmInType3":0,"AlarmInState3":1})");
        EXPECT_EQ(json_object_get_int(at(at(reply.get(), "cameras", 34), "motionOn")), 0);
        ASSERT_EQ(json_object_array_length(at(reply.get(), "alarmIn")), 16u);
        EXPECT_EQ(keys_of(at(reply.get(), "alarmIn", 15)), "id,name,type,state");
        EXPECT_EQ(json_object_get_int(at(at(reply.get(), "alarmIn", 15), "state")), 1);
        ASSERT_EQ(json_object_array_length(at(reply.get(), "alarmOut")), 2u);
        EXPECT_EQ(canon(json_object_to_json_string(at(reply.get(), "alarmOut", 1))),
                  R"({"id":1,"name":"","type":0,"duration":0,"state":1})");
    }
}

TEST_F(StateTest, CameraStatusBoundAndUnbound)
{
    set_param("max_cameras", 4);
    name_channel(0, "Lobby", "10.0.0.10");
    auto record = [](int channel) {
        camera_status s = zeroed<camera_status>();
        s.main_stream = {1920, 1080, 25, 4096, 1, 2};
        s.sub_stream = {704, 576, 15, 512, 1, 1};
        s.record_on = 1, s.channel = channel;
        return bytes_of(s);
    };
    const std::string bound =
        R"("recordOn":1,"alarmOn":0,"main":{"res":{"width":1920,"height":1080},"framerate":25,"bitrate":4096,)"
        R"("connection":1,"connectStatus":2},"sub":{"res":{"width":704,"height":576},"framerate":15,)"
        R"("bitrate":512,"connection":1,"connectStatus":1}})";
    const std::string unbound = R"("recordOn":"--","alarmOn":"--","main":{"res":"--","framerate":"--",)"
                                R"("bitrate":"--","connection":"--"},"sub":{"res":"--","framerate":"--",)"
                                R"("bitrate":"--","connection":"--"}})";
    struct Case {
        std::string answer;
        bool filled[4];
    } cases[] = {{record(0) + record(2), {true, false, true, false}},
                 {record(2) + record(0), {false, false, true, false}}};
    for (const Case& c : cases) {
        core.clear();
        core.reply(REQ_CAMERA_STATUS, c.answer);
        JsonPtr reply(json_tokener_parse(reply_body(get("/8002").out).c_str()));
        ASSERT_TRUE(reply);
        ASSERT_EQ(json_object_array_length(at(reply.get(), "IPC")), 4u);
        for (int ch = 0; ch < 4; ch++) {
            std::string head = ch == 0 ? R"({"id":0,"name":"Lobby","enable":1,"ipAddr":"10.0.0.10",)"
                                       : R"({"id":)" + std::to_string(ch) + R"(,"name":"","enable":0,"ipAddr":"--",)";
            EXPECT_EQ(canon(json_object_to_json_string(at(reply.get(), "IPC", ch))),
                      head + (c.filled[ch] ? bound : unbound))
                << ch;
        }
    }
}

TEST_F(StateTest, QueriesOfOneRecordOrList)
{
    channel_support support = zeroed<channel_support>();
    support.entries[0].support = 1, support.entries[5].type = 2, support.entries[6].type = 1;
    support.entries[7].support = 2, support.entries[7].type = 3;
    const std::string zeros(64, '0');
    std::string want_support = zeros, want_type = zeros;
    want_support[0] = '1', want_type[5] = '2', want_type[6] = '1';
    online_user user = zeroed<online_user>();
    put(user.user_name, "admin"), put(user.ipaddr, "192.168.1.20"), put(user.login_time, "2024-01-02 03:04:05");
    user.user_level = 3;
    netif_speed speed = zeroed<netif_speed>();
    put(speed.ifname, "eth0"), speed.rx_speed = 100, speed.tx_speed = 20, speed.id = 1;
    struct Case {
        const char* path;
        int code;
        std::string answer;
        std::string reply;  // JSON, or the error body
    } cases[] = {
        {"/8009", REQ_CHANNEL_SUPPORT, bytes_of(support),
         R"({"support":")" + want_support + R"(","type":")" + want_type + R"("})"},
        {"/8009", REQ_CHANNEL_SUPPORT, bytes_of(support).substr(0, 2815), kJsonError},
        {"/8008", REQ_USAGE_INFO, int32_bytes({500, 200, 300}), R"({"total":500,"free":200,"used":300})"},
        {"/8008", REQ_USAGE_INFO, int32_bytes({500, 200}), kJsonError},
        {"/8011", REQ_ONLINE_USERS, bytes_of(user) + bytes_of(user),
         R"([{"userName":"admin","userLevel":3,"ipaddr":"192.168.1.20","loginTime":"2024-01-02 03:04:05"},)"
             R"({"userName":"admin","userLevel":3,"ipaddr":"192.168.1.20","loginTime":"2024-01-02 03:04:05"}])"},
        {"/8011", REQ_ONLINE_USERS, "", "[]"},
        {"/8001", REQ_NETIF_SPEED, bytes_of(speed),
         R"({"netif":[{"id":1,"ifname":"eth0","RxSpeed":100,"TxSpeed":20}]})"},
    };
    for (const Case& c : cases) {
        core.clear();
        core.reply(c.code, c.answer);
        const std::string got = get(c.path).out;
        if (c.reply == kJsonError)
            EXPECT_EQ(got, kJsonError) << c.path << " " << c.answer.size();
        else
            EXPECT_TRUE(json_reply_is(got, c.reply)) << c.path;
    }
}

TEST_F(StateTest, DiskGroupsFromTheDatabase)
{
    db_disk disk = zeroed<db_disk>();
    disk.port = 3, disk.enable = 1, disk.group = 1;
    write_disk(VXDB_MAIN, &disk);
    set_param("max_cameras", 16);
    const std::string out = reply_body(get("/8010").out);
    std::string want = R"({"channel":[)";
    for (int i = 0; i < 16; i++)
        want += std::string(i ? "," : "") + "\"\"";
    want += R"(],"disk":[0,0,2)";
    for (int i = 3; i < 36; i++)
        want += ",0";
    want += R"(],"max_chan":16,"group_enable":0})";
    EXPECT_EQ(canon(out), want);
}

// ---- packet capture ---------------------------------------------------------

class CaptureTest : public StateTest {
protected:
    void SetUp() override
    {
        StateTest::SetUp();
        root.write("/mnt/usb1/keep.txt", "mine");
        root.write("/mnt/usb1/rvpcap-20230101000000.pcap", "another capture");
    }
    void TearDown() override
    {
        device_processes_signal("tcpdump", SIGTERM);
        device_processes_signal("webmonitor", SIGTERM);
        StateTest::TearDown();
    }
    // Waits up to `ms` for a condition.
    template <typename F>
    bool eventually(F f, int ms = 3000)
    {
        for (int i = 0; i < ms / 50 && !f(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return f();
    }
};

TEST_F(CaptureTest, StartedGrowsStopsAndDownloadsAsTar)
{
    root.write("/mnt/usb1/rvpcap-20200101000000", "old capture");
    const std::string started =
        reply_body(post("/8005", R"({"ip":"10.0.0.5","port":"554","nic":"lo","mntPath":"/mnt/usb1"})").out);
    JsonPtr reply(json_tokener_parse(started.c_str()));
    ASSERT_TRUE(reply) << started;
    EXPECT_EQ(keys_of(reply.get()), "dirPath,fileName");
    EXPECT_STREQ(json_object_get_string(at(reply.get(), "dirPath")), "/mnt/usb1");
    const std::string name = json_object_get_string(at(reply.get(), "fileName"));
    ASSERT_EQ(name.size(), 21u);
    const std::string file = "/mnt/usb1/" + name + "0";
    ASSERT_TRUE(eventually([&] { return root.read(file).size() >= 24; })) << root.list("/mnt/usb1");
    EXPECT_EQ(root.read(file).substr(0, 4), "\xd4\xc3\xb2\xa1");
    EXPECT_EQ(root.read("/tmp/tcpdump.argv"),
              "-i\nlo\n-s0\nhost 127.0.0.1 && host 10.0.0.5 && port 554\n-W\n1\n-C\n10\n-w\n" +
                  root.at("/mnt/usb1/" + name) + "\n");
    EXPECT_FALSE(root.exists("/mnt/usb1/rvpcap-20200101000000"));
    const size_t first = root.read(file).size();
    EXPECT_TRUE(eventually([&] { return root.read(file).size() > first; })) << "a packet a second";

    EXPECT_EQ(get("/8006").out, text_reply("OK"));
    EXPECT_EQ(device_processes_count("tcpdump"), 0);
    EXPECT_EQ(device_processes_count("webmonitor"), 0);
    const std::string pcap = root.read(file);

    const std::string out = get("/8007", "/mnt/usb1/" + name).out;
    const std::string head = "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= "
                             "packet.tar\r\n\r\n";
    ASSERT_EQ(out.substr(0, head.size()), head);
    const std::string tar = out.substr(head.size());
    const size_t padded = (pcap.size() + 511) / 512 * 512;
    ASSERT_EQ(tar.size(), 512 + padded + 1024);
    EXPECT_EQ(std::string(tar.c_str()), name + "0.pcap");
    EXPECT_EQ(strtoull(tar.substr(124, 12).c_str(), nullptr, 8), pcap.size());
    EXPECT_EQ(tar.substr(257, 6), std::string("ustar\0", 6));
    unsigned sum = 0;
    for (int i = 0; i < 512; i++)
        sum += (i >= 148 && i < 156) ? ' ' : (unsigned char)tar[i];
    EXPECT_EQ(strtoul(tar.substr(148, 8).c_str(), nullptr, 8), sum);
    EXPECT_TRUE(same_bytes(tar.substr(512, pcap.size()), pcap));
    EXPECT_EQ(tar.substr(512 + pcap.size()), std::string(padded - pcap.size() + 1024, '\0'));
    EXPECT_EQ(root.list("/mnt/usb1"), "keep.txt") << "older captures went at the start, this one after the download";

    // Nothing left: an empty but valid archive.
    EXPECT_EQ(get("/8007", "/mnt/usb1/" + name).out, head + std::string(1024, '\0'));
}

TEST_F(CaptureTest, HostileFieldsRunNothing)
{
    const std::string db = db_bytes();
    const std::string ok = R"("nic":"lo","mntPath":"/mnt/usb1")";
    struct Case {
        const char* path;
        std::string request;
        std::string reply;
    } cases[] = {
        {"/8005", R"({"ip":"1.2.3.4' && touch /tmp/owned; '",)" + ok + "}", kJsonError},
        {"/8005", R"({"nic":"lo","mntPath":"/mnt/usb1;id"})", kJsonError},
        {"/8005", R"x({"nic":"$(id)","mntPath":"/mnt/usb1"})x", kJsonError},
        {"/8005", R"({"nic":"eth0eth0","mntPath":"/mnt/usb1"})", kJsonError},
        {"/8005", R"({"nic":"lo","mntPath":"/mnt/../etc"})", kJsonError},
        {"/8005", R"({"nic":"lo","mntPath":"/etc"})", kJsonError},
        {"/8005", R"({"nic":"lo","mntPath":"/mnt/missing"})", kJsonError},
        {"/8005", R"({"port":"65536",)" + ok + "}", kJsonError},
        {"/8005", R"({"port":"80 or 1",)" + ok + "}", kJsonError},
        {"/8005", "not json", ""},
        {"/8007", "/mnt/nand/app/vxdb.db", kTextError},
        {"/8007", "/mnt/usb1/rvpcap-20230101000000.pcap", kTextError},
        {"/8007", "/mnt/usb1/rvpcap-2023010100000", kTextError},
        {"/8007", "/mnt/usb1/../nand/app/rvpcap-20240101000000", kTextError},
        {"/8007", "/mnt/usb1/keep.txt", kTextError},
        {"/8007", "rvpcap-20240101000000", kTextError},
        {"/8007", "", kTextError},
    };
    for (const Case& c : cases) {
        const bool download = std::string(c.path) == "/8007";
        const std::string out = download ? get(c.path, c.request).out : post(c.path, c.request).out;
        EXPECT_EQ(out, c.reply) << c.path << " " << c.request;
    }
    EXPECT_FALSE(root.exists("/tmp/tcpdump.argv"));
    EXPECT_FALSE(root.exists("/tmp/owned"));
    EXPECT_EQ(device_processes_count("tcpdump"), 0);
    EXPECT_TRUE(same_bytes(db_bytes(), db));
    EXPECT_EQ(root.read("/mnt/usb1/rvpcap-20230101000000.pcap"), "another capture");
    EXPECT_EQ(root.read("/mnt/usb1/keep.txt"), "mine");
}

// ---- interface configuration ------------------------------------------------

TEST(NetConf, KernelQueriesAndRouteLines)
{
    ScratchRoot root;
    const std::string routes = root.at("/route");
    {
        std::ofstream f(routes);
        f << "Iface\tDestination\tGateway \tFlags\n"
          << "lo\t0000A8C0\t0101A8C0\t0003\n"               // not a default route
          << std::string(300, 'x') << " lo 00000000 0909A8C0\n"  // a long line's tail is no line
          << "bad line\n"
          << "lo\t00000000\t0201A8C0\t0003\n"
          << "lo\t00000000\t0301A8C0\t0003\n";
    }
    NetConf conf;
    memset(&conf, 0, sizeof conf);
    ASSERT_EQ(if_get_netconf_route("lo", &conf, routes.c_str()), 0);
    EXPECT_STREQ(conf.ip, "127.0.0.1");
    EXPECT_STREQ(conf.netmask, "255.0.0.0");
    EXPECT_STREQ(conf.mac, "00:00:00:00:00:00");
    EXPECT_STREQ(conf.gateway, "192.168.1.2") << "the first default route";
    EXPECT_EQ(conf.up, 1);
    EXPECT_GT(conf.mtu, 0);

    const std::string long_name(200, 'l');
    for (const std::string& name : {std::string("nosuch9"), long_name, std::string("lo") + std::string(14, 'o')}) {
        memset(&conf, 0x55, sizeof conf);
        strcpy(conf.gateway, "kept");
        ASSERT_EQ(if_get_netconf_route(name.c_str(), &conf, routes.c_str()), 0) << name;
        EXPECT_STREQ(conf.ip, "0.0.0.0");
        EXPECT_STREQ(conf.netmask, "0.0.0.0");
        EXPECT_STREQ(conf.broadcast, "0.0.0.0");
        EXPECT_STREQ(conf.mac, "00:00:00:00:00:00");
        EXPECT_STREQ(conf.gateway, "kept");
        EXPECT_EQ(conf.up, 0);
        EXPECT_EQ(conf.mtu, 0);
    }
    EXPECT_EQ(if_get_netconf(nullptr, &conf), -1);
    EXPECT_EQ(if_get_netconf("lo", nullptr), -1);
}

// ---- the local device -------------------------------------------------------

TEST(StateLocalDevice, PagesFollowTheDatabase)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    root.use_in_process();
    set_param_int(VXDB_MAIN, "max_cameras", 4);
    // Whatever the seed bound: channel 1 only, then.
    for (int c = 0; c < 4; c++) {
        db_camera cam = zeroed<db_camera>();
        cam.id = c, cam.enable = c == 1;
        put(cam.address, c == 1 ? "10.0.0.11" : "");
        ASSERT_EQ(write_camera(VXDB_MAIN, &cam), 0);
    }
    vxdb_close_all();
    auto run = [&](const char* path) {
        CgiRequest r;
        r.path = path;
        return canon(reply_body(run_cgi(root.path(), r).out));
    };
    JsonPtr cams(json_tokener_parse(run("/8002").c_str()));
    ASSERT_TRUE(cams);
    EXPECT_EQ(json_object_array_length(at(cams.get(), "IPC")), 4u);
    EXPECT_STREQ(json_object_get_string(at(at(cams.get(), "IPC", 0), "recordOn")), "--");
    EXPECT_EQ(json_object_get_int(at(at(at(at(cams.get(), "IPC", 1), "main"), "res"), "width")), 1920);
    EXPECT_EQ(run("/8009").rfind(R"({"support":"0100000000)", 0), 0u);
    JsonPtr usage(json_tokener_parse(run("/8008").c_str()));
    ASSERT_TRUE(usage);
    EXPECT_GT(json_object_get_int(at(usage.get(), "total")), 0);
    JsonPtr alarms(json_tokener_parse(run("/8003").c_str()));
    ASSERT_TRUE(alarms);
    EXPECT_EQ(json_object_get_int(at(at(alarms.get(), "cameras", 1), "in")), 4);
    EXPECT_EQ(run("/8011").rfind(R"([{"userName":"admin")", 0), 0u) << run("/8011");
    EXPECT_EQ(run("/8001").rfind(R"({"netif":[{"id":0,)", 0), 0u);
    EXPECT_TRUE(root.exists("/mnt/usb1"));
}

}  // namespace
