// IP-camera module: camera channels and streams, black-box through nvrweb.cgi against the
// fake core service and a scratch database, and against coresim's fleet.
#include <filesystem>
#include <fstream>

#include "core/db.h"
#include "core/json_util.h"
#include "modules/ipc/ipc.h"
#include "modules/record/record_records.h"
#include "modules/video/video_records.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kCameraKind = {"camera", (int)sizeof(db_camera), 64};
const vxdb_kind kOsdKind = {"osd", (int)sizeof(osd), 64};
const vxdb_kind kMaskKind = {"privacy_mask", (int)sizeof(privacy_mask), 64};

std::string word(int w) { return int32_bytes({w}); }

class CameraChannels : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        set_param("max_cameras", 16);
    }
    // Nothing sent, logged or stored; the reply is `out`.
    void refused(const std::string& path, const std::string& body, const std::string& out)
    {
        core.clear();
        EXPECT_EQ(post(path, body).out, out) << path << " " << body;
        EXPECT_TRUE(sent_all().empty()) << path << " " << body;
        EXPECT_TRUE(no_logs()) << path << " " << body;
    }
    CgiResult unanswered(const std::string& path, const std::string& body)
    {
        core.clear();
        CgiRequest r;
        r.method = "POST", r.path = path, r.body = body, r.content_type = "application/json";
        r.cookie = "lang=en; userName=admin; theme=dark", r.remote_addr = kAddr, r.max_steps = 8;
        return run_cgi(root.path(), r);
    }
};

std::string camera_detail(const char* address, int port, int channel, const char* protocol, const char* transport,
                          int sync)
{
    camera_log_detail d = zeroed<camera_log_detail>();
    d.parameter = 901, d.manage_port = port, d.channel = channel + 1, d.sync_time = sync;
    put(d.address, address), put(d.protocol, protocol), put(d.transport, transport);
    return bytes_of(d);
}

TEST_F(CameraChannels, AddingACameraStoresItsRowsAndReadsBack)
{
    const std::string body =
        R"({"id":3,"name":"Gate camera","enable":1,"camProtocol":1,"ipAddr":"10.0.0.203","managePort":80,)"
        R"("userName":"admin","password":"pw","transmitProtocol":1,"syncTime":1,"mainRtspPort":554,)"
        R"x("mainSourcePath":"/main","mainrtspurl":"rtsp://x/main","mac_addr":"(null)","poechannel":2,)x"
        R"("otherPoe":1,"ddns":"d","minorid":7})";
    EXPECT_EQ(post("/2004", body).out, text_reply("OK"));
    db_camera cam;
    ASSERT_EQ(stored(kCameraKind, 3, &cam), 0);
    db_camera want = zeroed<db_camera>();
    want.id = 3, want.enable = 1, want.protocol = 1, want.manage_port = 80, want.transmit_protocol = 1;
    want.sync_time = 1, want.main_rtsp_port = 554, want.poe_channel = 2, want.minor_id = 7;
    put(want.address, "10.0.0.203"), put(want.user_name, "admin"), put(want.password, "pw");
    put(want.main_source_path, "/main"), put(want.main_rtsp_url, "rtsp://x/main"), put(want.ddns, "d");
    EXPECT_TRUE(same_bytes(bytes_of(cam), bytes_of(want)));
    osd name;
    ASSERT_EQ(stored(kOsdKind, 3, &name), 0);
    EXPECT_STREQ(name.name, "Gate camera");
    EXPECT_EQ(sent(REQ_IPC_CAMERA_CHANGED).at(0).payload, word(3));
    EXPECT_EQ(sent(REQ_IPC_POE_CHANGED).at(0).payload, int32_bytes({3, 1}));
    const std::string detail = camera_detail("10.0.0.203", 80, 3, "RTSP", "TCP", 1);
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(210, 901, 4, detail.data(), (int)detail.size())));

    // Read back: the name first, an unknown MAC shown empty.
    want.mac_addr[0] = 0;
    put(want.mac_addr, "(null)");
    store(kCameraKind, 3, &want);
    EXPECT_TRUE(json_reply_is(post("/2000", R"({"chnid":3})").out,
        R"({"chnid":3,"name":"Gate camera","ipAddr":"10.0.0.203","managePort":80,"protocol":1,"model":"",)"
        R"("userName":"admin","password":"pw","transmitProtocol":1,"mainRtspPort":554,"mainSourcePath":"/main",)"
        R"("subRtspEnable":0,"subRtspPort":0,"subSourcePath":"","syncTime":1,"mainRtspUrl":"rtsp://x/main",)"
        R"("subRtspUrl":"","physicalport":0,"poechannel":2,"mac_addr":"","minorid":7,"ddns":"d"})"));

    // Only an RTSP camera takes the RTSP fields; ONVIF gets logged as such.
    core.clear();
    EXPECT_EQ(post("/2004", R"({"id":0,"name":"A","enable":1,"camProtocol":0,"ipAddr":"10.0.0.9","managePort":8,)"
                            R"("transmitProtocol":0,"mainRtspPort":554})").out,
              text_reply("OK"));
    ASSERT_EQ(stored(kCameraKind, 0, &cam), 0);
    EXPECT_EQ(cam.main_rtsp_port, 0);
    const std::string onvif = camera_detail("10.0.0.9", 8, 0, "ONVIF", "UDP", 0);
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(210, 901, 1, onvif.data(), (int)onvif.size())));
    EXPECT_EQ(sent(REQ_IPC_POE_CHANGED).at(0).payload, int32_bytes({0, 0}));

    // Rows 64 and beyond do not exist; bad values store nothing.
    const std::string good = R"("name":"N","enable":1,"ipAddr":"1.2.3.4","managePort":80)";
    for (const std::string& bad : std::vector<std::string>{
             R"({"id":64,"camProtocol":0,"transmitProtocol":0,)" + good + "}",
          R"({"id":-1,"camProtocol":0,"transmitProtocol":0,)" + good + "}",
          R"({"id":5,"camProtocol":8,"transmitProtocol":0,)" + good + "}",
          R"({"id":5,"camProtocol":0,"transmitProtocol":3,)" + good + "}",
          R"({"id":5,"camProtocol":0,"transmitProtocol":0,"enable":1,"ipAddr":"1.2.3.4","managePort":80})",
          "not json"})
        refused("/2004", bad, kJsonError);
    EXPECT_EQ(stored(kCameraKind, 5, &cam), 1);
    EXPECT_EQ(stored(kOsdKind, 5, &name), 1);
    for (const char* bad : {R"({"chnid":64})", R"({"chnid":-1})", "{}"})
        refused("/2000", bad, kJsonError);
}

TEST_F(CameraChannels, RemovingACameraResetsItsRows)
{
    db_camera cam = zeroed<db_camera>();
    cam.id = 2, cam.enable = 1;
    put(cam.address, "10.0.0.1");
    store(kCameraKind, 2, &cam);
    privacy_mask masks = zeroed<privacy_mask>();
    masks.id = 2, masks.areas[5].enable = 1, masks.areas[23].area_width = 9;
    store(kMaskKind, 2, &masks);
    EXPECT_EQ(post("/2005", R"({"chnid":2})").out, text_reply("OK"));
    db_camera reset = zeroed<db_camera>();
    reset.id = 2;
    ASSERT_EQ(stored(kCameraKind, 2, &cam), 0);
    EXPECT_TRUE(same_bytes(bytes_of(cam), bytes_of(reset)));
    privacy_mask cleared = zeroed<privacy_mask>();
    cleared.id = 2;
    ASSERT_EQ(stored(kMaskKind, 2, &masks), 0);
    EXPECT_TRUE(same_bytes(bytes_of(masks), bytes_of(cleared)));
    osd name;
    ASSERT_EQ(stored(kOsdKind, 2, &name), 0);
    EXPECT_STREQ(name.name, "CAM3");
    EXPECT_EQ(sent(REQ_IPC_CAMERA_REMOVED).at(0).payload, word(2));
    EXPECT_EQ(sent(REQ_IPC_POE_CHANGED).at(0).payload, int32_bytes({2, 0}));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(210, 901, 3)));
    for (const char* bad : {R"({"chnid":8})", R"({"chnid":-1})", R"({"chnid":"x"})"})
        refused("/2005", bad, kJsonError);
}

TEST_F(CameraChannels, CredentialsAndTransportChangeOnlyTheirFields)
{
    db_camera cam = zeroed<db_camera>();
    cam.id = 63, cam.enable = 1, cam.manage_port = 81, cam.protocol = 2;
    put(cam.address, "10.0.0.7");
    store(kCameraKind, 63, &cam);
    EXPECT_EQ(post("/2017", R"({"id":63,"userName":"u","password":"p"})").out, text_reply("OK"));
    EXPECT_EQ(post("/2031", R"({"id":63,"transmitProtocol":1,"syncTime":1})").out, text_reply("OK"));
    db_camera got;
    ASSERT_EQ(stored(kCameraKind, 63, &got), 0);
    put(cam.user_name, "u"), put(cam.password, "p");
    cam.transmit_protocol = 1, cam.sync_time = 1;
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(cam)));
    EXPECT_EQ(sent(REQ_IPC_CAMERA_LOGIN_CHANGED).at(0).payload, word(63));
    const std::string detail = camera_detail("10.0.0.7", 81, 63, "VXSF", "TCP", 1);
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(210, 901, 64, detail.data(), (int)detail.size())));
    refused("/2017", R"({"id":64,"userName":"u","password":"p"})", kJsonError);
    refused("/2031", R"({"id":64,"transmitProtocol":1,"syncTime":1})", kJsonError);
    refused("/2031", R"({"id":1,"transmitProtocol":3,"syncTime":1})", kJsonError);
}

TEST_F(CameraChannels, CameraTestsMapTheirResults)
{
    const std::string body = R"({"ipAddr":"10.0.0.5","managePort":80,"userName":"admin","password":"x",)"
                              R"("camProtocol":0})";
    const std::pair<int, const char*> cases[] = {{0, "OK"}, {4, "OK"}, {1, "NETWORKERROR"}, {2, "USERERROR"},
                                                 {5, "BANDWIDTHERROR"}, {9, "UNKOWNERROR"}};
    for (const auto& [result, text] : cases) {
        for (int code : {REQ_IPC_TEST, REQ_IPC_TEST_EX}) {
            core.clear();
            core.reply(code, word(result));
            EXPECT_EQ(post(code == REQ_IPC_TEST ? "/2014" : "/2015", body).out, text_reply(text)) << result;
        }
    }
    ipc_test t = zeroed<ipc_test>();
    put(t.address, "10.0.0.5"), put(t.user_name, "admin"), put(t.password, "x");
    t.manage_port = 80;
    EXPECT_EQ(sent(REQ_IPC_TEST).size(), 0u);
    core.clear();
    core.reply(REQ_IPC_TEST, word(0));
    post("/2014", body);
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_TEST).at(0).payload, bytes_of(t)));
    core.silent(REQ_IPC_TEST);
    EXPECT_EQ(unanswered("/2014", body).out, kTextError);
    refused("/2015", R"({"ipAddr":"10.0.0.5","managePort":80,"camProtocol":8})", kTextError);
}

// Credentials are cut to each payload's fields and NUL-terminated: 63
// characters in the long form, 31 in the short one.
TEST_F(CameraChannels, CameraTestsCutTheCredentialsToTheirPayload)
{
    const std::string user(70, 'u'), password(70, 'p');
    const std::string body = R"({"ipAddr":"10.0.0.5","managePort":80,"userName":")" + user + R"(","password":")" +
                             password + R"(","camProtocol":1})";
    ipc_test t = zeroed<ipc_test>();
    put(t.address, "10.0.0.5"), put(t.user_name, user.substr(0, 63)), put(t.password, password.substr(0, 63));
    t.manage_port = 80, t.protocol = 1;
    core.clear();
    core.reply(REQ_IPC_TEST, word(0));
    EXPECT_EQ(post("/2014", body).out, text_reply("OK"));
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_TEST).at(0).payload, bytes_of(t)));
    core.clear();
    core.reply(REQ_IPC_TEST_EX, word(0));
    EXPECT_EQ(post("/2015", body).out, text_reply("OK"));
    ipc_test_ex ex = zeroed<ipc_test_ex>();
    put(ex.address, "10.0.0.5"), put(ex.user_name, user.substr(0, 31)), put(ex.password, password.substr(0, 31));
    ex.manage_port = 80, ex.protocol = 1;
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_TEST_EX).at(0).payload, bytes_of(ex)));
}

TEST_F(CameraChannels, StreamSettingsAreBounded)
{
    core.reply(REQ_IPC_STREAM_SET, word(0));
    EXPECT_TRUE(json_reply_is(post("/2010", R"({"id":63,"mainResWidth":1920,"SubSmartStreamLevel":3})").out,
                              R"({"res":0})"));
    ipc_stream_set want = zeroed<ipc_stream_set>();
    want.id = 63, want.main_res_width = 1920, want.sub_smart_stream_level = 3;
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_STREAM_SET).at(0).payload, bytes_of(want)));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(204, 901, 64)));
    refused("/2010", R"({"id":64,"mainResWidth":1920})", kTextError);

    // A batch prints the first failure, one waited request per channel.
    core.clear();
    int n = 0;
    core.script(REQ_IPC_STREAM_SET, [&n](const FakeRequest&, FakeResponder& r) {
        r.send(8203, int32_bytes({n++ == 0 ? 0 : -1 - n}));
    });
    EXPECT_TRUE(json_reply_is(post("/2030", R"({"chans":[4,64,-1,7,9],"mainFramerate":25})").out,
                              R"({"res":-3})"));
    std::vector<int> ids;
    for (const FakeRequest& r : sent(REQ_IPC_STREAM_SET)) {
        ipc_stream_set set = zeroed<ipc_stream_set>();
        set.id = -99;
        if (r.payload.size() == sizeof set)
            memcpy(&set, r.payload.data(), sizeof set);
        ids.push_back(set.id);
    }
    EXPECT_EQ(ids, (std::vector<int>{4, 7, 9}));
    // A stream answer shorter than its record is no answer.
    core.reply(REQ_IPC_STREAM_GET, std::string(sizeof(ipc_stream_reply) - 1, '\0'));
    EXPECT_EQ(unanswered("/2009", R"({"chnid":1})").out, kJsonError);
    refused("/2009", R"({"chnid":8})", kJsonError);
}

TEST_F(CameraChannels, EventSchedulesOfAChannel)
{
    const std::string week = R"([[["00:00","12:00",1]],[],[],[],[],[],[],[]])";
    EXPECT_EQ(post("/2036", R"({"channel":63,"start":0,"end":0,"schedule_motion":)" + week +
                                R"(,"schedule_region_exit":)" + week + "}").out,
              text_reply("OK"));
    Schedule s;
    ASSERT_EQ(read_schedule(VXDB_MAIN, MOTION_EFFECTIVE_SCHEDULE, &s, 63), 0);
    EXPECT_STREQ(s.days[0].slots[0].end_time, "12:00");
    // Positions past "end" stay as they are.
    ASSERT_GE(read_smart_event_effective_schedule(VXDB_MAIN, &s, 63, 1), 0);
    EXPECT_EQ(s.days[0].slots[0].end_time[0], '\0');
    const std::string out = post("/2035", R"({"channel":63})").out;
    JsonPtr o(json_tokener_parse(reply_body(out).c_str()));
    ASSERT_TRUE(o) << out;
    std::vector<std::string> keys;
    json_object_object_foreach(o.get(), key, value)
    {
        (void)value;
        keys.push_back(key);
    }
    EXPECT_EQ(keys.size(), 9u);
    EXPECT_EQ(keys.front(), "schedule_motion");
    EXPECT_NE(out.find("\"12:00\""), std::string::npos);
    for (const char* bad : {R"({"channel":64,"start":0,"end":0})", R"({"channel":0,"start":0,"end":9})",
                            R"({"channel":0,"start":2,"end":1})"})
        refused("/2036", bad, kJsonError);
    refused("/2035", R"({"channel":64})", kJsonError);
}

TEST_F(CameraChannels, UpgradeMasksAndShortStatusAnswers)
{
    ipc_upgrade_started started = zeroed<ipc_upgrade_started>();
    started.channels = 9;
    put(started.channel_string, "1001");
    core.reply(REQ_IPC_UPGRADE_START, bytes_of(started));
    EXPECT_TRUE(json_reply_is(post("/2080", R"({"chnAry":[0,3,64,-1],"reset":1})").out,
                              R"({"chnid":9,"status":0,"chnMask":"1001"})"));
    ipc_upgrade_request want = zeroed<ipc_upgrade_request>();
    want.channels = 9, want.reset_channels = 9;
    put(want.path, IPC_UPGRADE_IMAGE);
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_UPGRADE_START).at(0).payload, bytes_of(want)));

    // Statuses of channels 0 and 3 of a mask, read only as far as the answer goes.
    ipc_upgrade_status status = zeroed<ipc_upgrade_status>();
    status.channels = 9, status.status[0] = 40, status.status[3] = 100;
    put(status.channel_string, "1001");
    const std::string full = bytes_of(status);
    const std::pair<size_t, std::string> cases[] = {
        {full.size(), "chnid=9\r\nstatus0=40\r\nstatus3=100\r\nchnMask=1001\r\n"},
        {8 + 4 * 2, "chnid=9\r\nstatus0=40\r\nchnMask=\r\n"},
        {offsetof(ipc_upgrade_status, channel_string) + 2, "chnid=9\r\nstatus0=40\r\nstatus3=100\r\nchnMask=10\r\n"},
    };
    for (const auto& [length, text] : cases) {
        core.clear();
        core.reply(REQ_IPC_UPGRADE_STATUS, full.substr(0, length));
        EXPECT_EQ(post("/2079", "").out, text_reply(text)) << length;
    }
    core.reply(REQ_IPC_UPGRADE_STATUS, std::string(7, '\0'));
    EXPECT_EQ(unanswered("/2079", "").out, kTextError);

    core.clear();
    core.reply(REQ_IPC_UPGRADE_SET, word(0));
    EXPECT_TRUE(json_reply_is(post("/2078", R"({"chnMask":"0110","resetMask":"0010","fileSize":77})").out,
                              R"({"res":0})"));
    want.channels = 6, want.reset_channels = 4, want.file_size = 77;
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_UPGRADE_SET).at(0).payload, bytes_of(want)));
    EXPECT_EQ(post("/2081", R"({"stop":1})").out, "");
    EXPECT_TRUE(core.wait_for(REQ_IPC_UPGRADE_STOP, 1));
    EXPECT_EQ(post("/2082", "x").out, text_reply("CGI SUCCESS"));
    EXPECT_EQ(post("/2082", "").out, kTextError);
}

TEST_F(CameraChannels, ParametersAndNames)
{
    EXPECT_EQ(get("/2016").out, text_reply("kd7305"));
    EXPECT_EQ(get("/2018").out, text_reply("0"));
    set_param("max_poe_num", 8);
    EXPECT_EQ(get("/2018").out, text_reply("8"));
    set_param("max_cameras", 3);
    osd name = zeroed<osd>();
    name.id = 1;
    put(name.name, "Door");
    store(kOsdKind, 1, &name);
    EXPECT_TRUE(json_reply_is(get("/2012").out, R"(["","Door",""])"));
    // IPv6: an address line in the kernel's list, not the list's presence.
    EXPECT_EQ(get("/2034").out, text_reply("0"));
    std::filesystem::create_directories(root.path() + "/proc/net");
    const std::pair<std::string, const char*> lists[] = {{"", "0"}, {"fe80::1 02 40 20 80 eth0\n", "1"}};
    for (const auto& [content, text] : lists) {
        std::ofstream(root.path() + "/proc/net/if_inet6") << content;
        EXPECT_EQ(get("/2034").out, text_reply(text));
    }
    set_param("max_cameras", 1000);
    EXPECT_EQ(canon(reply_body(get("/2012").out)).size(), 2u + 64 * 3 - 1 + 4);
}

TEST_F(CameraChannels, SearchAndProtocolLists)
{
    ipc_search_result found = zeroed<ipc_search_result>();
    put(found.address, "10.0.0.201"), put(found.mac_addr, "m"), put(found.sn_real, "r");
    found.manage_port = 80, found.protocol = 2, found.model_id = 7, found.active_status = 1;
    // A trailing piece of a record is not a camera.
    core.reply(REQ_IPC_SEARCH, bytes_of(found) + bytes_of(found) + "xx");
    EXPECT_TRUE(json_reply_is(post("/2006", R"({"protocol":2,"nic":0})").out,
        R"([{"ipAddr":"10.0.0.201","managePort":80,"protocol":2,"macAddr":"m","vendor":"","sn":"","fwVersion":"",)"
        R"("model":"","modelId":7,"netmask":"","dns":"","gateway":"","netif":0,"active_status":1,"name":"",)"
        R"("snReal":"r"},)"
        R"({"ipAddr":"10.0.0.201","managePort":80,"protocol":2,"macAddr":"m","vendor":"","sn":"","fwVersion":"",)"
        R"("model":"","modelId":7,"netmask":"","dns":"","gateway":"","netif":0,"active_status":1,"name":"",)"
        R"("snReal":"r"}])"));
    EXPECT_EQ(sent(REQ_IPC_SEARCH).at(0).payload, word(2));
    refused("/2006", R"({"protocol":8})", kJsonError);

    ipc_protocol p = zeroed<ipc_protocol>();
    p.id = 2, p.enable = 1, p.alarm_type = 3;
    put(p.name, "VXSF"), put(p.default_model, "M1");
    ASSERT_EQ(write_ipc_protocol(VXDB_MAIN, &p), 0);
    for (int id : {4, 1}) {
        ipc_model m = zeroed<ipc_model>();
        m.id = id, m.protocol_id = id == 4 ? 2 : 0;
        put(m.name, id == 4 ? "M1" : "other");
        ASSERT_EQ(write_ipc_model(VXDB_MAIN, &m), 0);
    }
    EXPECT_TRUE(json_reply_is(get("/2008").out,
        R"({"protocols":[{"name":"VXSF","protocolFunction":0,"enable":1,"display_model":0,"alarm_type":3,)"
        R"("default_model":"M1","models":["M1"]}]})"));
}

TEST_F(CameraChannels, AddressChangesAndStreamTime)
{
    const std::string body = R"({"macAddr":"aa","oldIpcAddr":"10.0.0.1","newIpcAddr":"10.0.0.2","netmask":"m",)"
                             R"("gateway":"g","primaryDNS":"d","port":81,"username":"u","password":"p",)"
                             R"("protocol":2,"netif":1})";
    const std::pair<int, const char*> results[] = {{0, "OK"}, {1, "ERROR"}, {2, "PROTO_NOT_SUPPORT"},
                                                   {3, "UNKNOWN_ERR"}, {4, "INVALID_USER"}, {5, "NETWORK_ERR"},
                                                   {9, "UNKNOWN_ERR"}};
    for (const auto& [result, text] : results) {
        core.clear();
        core.reply(REQ_IPC_NETWORK_SET, word(result));
        EXPECT_TRUE(json_reply_is(post("/2011", body).out, std::string(R"({"resultString":")") + text + "\"}"));
    }
    ipc_network_set set = zeroed<ipc_network_set>();
    put(set.mac_addr, "aa"), put(set.old_address, "10.0.0.1"), put(set.new_address, "10.0.0.2");
    put(set.netmask, "m"), put(set.gateway, "g"), put(set.dns, "d"), put(set.user_name, "u"), put(set.password, "p");
    set.port = 81, set.protocol = 2, set.netif = 1;
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_NETWORK_SET).at(0).payload, bytes_of(set)));

    // A count past the array sends what the array holds; one bad entry sends nothing.
    std::string entry = body;
    entry.replace(entry.find("oldIpcAddr"), 10, "oIPCAddr");
    entry.insert(entry.size() - 1, R"(,"modifynum":2,"channelId":6)");
    core.clear();
    EXPECT_EQ(post("/2032", R"({"cnt":5,"oIPCAddr":[)" + entry + "," + entry + "]}").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_IPC_NETWORK_BATCH, 2));
    ipc_network_batch batch = {set, 2, 6};
    EXPECT_EQ(sent(REQ_IPC_NETWORK_BATCH).size(), 2u);
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_NETWORK_BATCH).at(1).payload, bytes_of(batch)));
    refused("/2032", R"({"cnt":2,"oIPCAddr":[)" + entry + R"(,{"newIpcAddr":"1"}]})", kJsonError);

    ipc_network_result r = zeroed<ipc_network_result>();
    put(r.old_address, "a"), put(r.new_address, "b");
    r.channel = 6, r.result = 4;
    core.reply(REQ_IPC_NETWORK_RESULT, bytes_of(r));
    EXPECT_TRUE(json_reply_is(post("/2033", "").out,
        R"({"result":[{"channelId":6,"oIPCAddr":"a","newIpcAddr":"b","resultString":"INVALID_USER"}]})"));

    core.reply(REQ_IPC_STREAM_TIME, word(0));
    EXPECT_TRUE(json_reply_is(post("/2013", R"({"chnid":1,"streamType":1,"time":"2026-01-02 03:04:05"})").out,
                              R"({"res":0})"));
    ipc_stream_time query = zeroed<ipc_stream_time>();
    query.channel = 1, query.stream_type = 1;
    put(query.time, "2026-01-02 03:04:05");
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_STREAM_TIME).at(0).payload, bytes_of(query)));
    for (const char* bad : {R"({"chnid":1,"streamType":0,"time":"2026-01-02 03:04"})",
                            R"({"chnid":1,"streamType":0,"time":"2026-13-02 03:04:05"})",
                            R"({"chnid":64,"streamType":0,"time":"2026-01-02 03:04:05"})"})
        refused("/2013", bad, kJsonError);
}

// The local device: a camera the search finds can be bound, is then no longer
// offered, and can be removed again.
TEST(CameraFleetCoresim, FoundCameraCanBeBoundAndRemoved)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto call = [&](const std::string& path, const std::string& body) { return post_json_body(root.path(), path, body); };
    EXPECT_EQ(call("/2005", R"({"chnid":5})"), "OK");
    const std::string found = call("/2006", R"({"protocol":0,"nic":0})");
    EXPECT_NE(found.find("\"10.0.0.200\""), std::string::npos) << found;
    EXPECT_EQ(call("/2014", R"({"ipAddr":"10.0.0.200","managePort":80,"userName":"admin","password":"admin123",)"
                            R"("camProtocol":0})"),
              "OK");
    EXPECT_EQ(call("/2014", R"({"ipAddr":"10.0.0.200","managePort":80,"userName":"admin","password":"no",)"
                            R"("camProtocol":0})"),
              "USERERROR");
    EXPECT_EQ(call("/2004", R"({"id":5,"name":"Yard","enable":1,"camProtocol":0,"ipAddr":"10.0.0.200",)"
                            R"("managePort":80,"userName":"admin","password":"admin123","transmitProtocol":0})"),
              "OK");
    EXPECT_EQ(call("/2006", R"({"protocol":0})").find("\"10.0.0.200\""), std::string::npos);
    EXPECT_NE(call("/2000", R"({"chnid":5})").find("\"10.0.0.200\""), std::string::npos);
    EXPECT_EQ(call("/2010", R"({"id":5,"mainResWidth":1920,"mainResHeight":1080,"mainFramerate":99,)"
                            R"("mainBitrate":2048})"),
              R"({ "res": -1 })");
    EXPECT_EQ(call("/2005", R"({"chnid":5})"), "OK");
    EXPECT_NE(call("/2006", R"({"protocol":0})").find("\"10.0.0.200\""), std::string::npos);
    // No image: the upgrade fails at once; with one it runs until stopped.
    EXPECT_NE(call("/2080", R"({"chnAry":[1]})").find("\"status\": -1"), std::string::npos);
    std::ofstream(root.path() + IPC_UPGRADE_IMAGE) << "image";
    EXPECT_NE(call("/2080", R"({"chnAry":[1,2]})").find("\"status\": 0"), std::string::npos);
    const std::string running = call("/2079", "");
    EXPECT_EQ(running.find("chnid=6\r\nstatus1="), 0u) << running;
    EXPECT_EQ(running.find("status1=-"), std::string::npos) << running;
    call("/2081", R"({"stop":1})");
    std::string stopped;
    for (int i = 0; i < 50 && stopped.find("status2=-2") == std::string::npos; i++)
        stopped = call("/2079", "");
    EXPECT_NE(stopped.find("status1=-2\r\nstatus2=-2\r\nchnMask=0110000"), std::string::npos) << stopped;
}

}  // namespace
