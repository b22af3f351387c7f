// Device information, general settings, page texts, the camera address
// batch and the "/vb.htm" option commands: black-box against a fake core
// service, and the local device once against coresim.
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "modules/network/network_records.h"
#include "modules/record/record_records.h"
#include "modules/system/system_maintenance.h"
#include "modules/system/system_records.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kDisplay = {"display", (int)sizeof(display_record), 1};
const vxdb_kind kNetwork = {"network", (int)sizeof(network_record), 1};
const vxdb_kind kCamera = {"camera", (int)sizeof(db_camera), 64};
const std::string kLangDir = "/opt/app/www/webfile/json";
const std::string kChip = "/var/vxchip.txt";

std::vector<int> codes(const std::vector<FakeRequest>& requests)
{
    std::vector<int> out;
    for (const FakeRequest& r : requests)
        out.push_back(r.code);
    return out;
}

std::string padded(const std::string& text, size_t size)
{
    std::string out = text;
    out.resize(size, '\0');
    return out;
}

// The uptime depends on the host: checked for its cut, then left out.
std::string without_uptime(const std::string& json)
{
    std::smatch m;
    EXPECT_TRUE(std::regex_search(json, m, std::regex(R"re("uptime":"([^"]*)")re")));
    EXPECT_EQ(m[1].str().find("load"), std::string::npos) << m[1];
    EXPECT_EQ(m[1].str().find("users"), std::string::npos) << m[1];
    return std::regex_replace(json, std::regex(R"("uptime":"[^"]*")"), R"("uptime":"-")");
}

class SystemInfo : public HandlerTest {};

TEST_F(SystemInfo, InformationPage)
{
    system_info info = zeroed<system_info>();
    info.device_id = 7, info.max_cameras = 16, info.max_sensor = 4, info.max_alarm = 2, info.max_audio_out = 1;
    info.display_num = 2, info.max_rs485 = 1, info.max_network_lan = 2, info.oem_version = 3, info.vxddns = 1;
    info.is_support_talk = 1;
    const std::string sn(65, 'S');  // fills its field: no NUL before the prefix
    memcpy(info.sn, sn.data(), sizeof info.sn);
    put(info.prefix, "PFX"), put(info.product, "NVR-8"), put(info.software, "5.1"), put(info.hwver, "H2");
    put(info.mac_address, "00:11:22:33:44:55");
    set_param("vxfs_dbup", 1);
    core.reply(REQ_SYSTEM_INFO, bytes_of(info));
    const CgiResult res = get("/1009");
    ASSERT_EQ(res.out.rfind(kJsonHead, 0), 0u) << res.out;
    EXPECT_EQ(without_uptime(canon(reply_body(res.out))),
              R"({"hostName":"","deviceName":"NVR-8","deviceId":7,"product":"NVR-8","hwver":"H2","software":"5.1",)"
              R"("oemversion":3,"sn":")" + sn + R"(","prefix":"PFX","pluginVersion":"1.0","mpluginVersion":"1.0",)"
              R"("macAddress":"00:11:22:33:44:55","vxddns":1,"uptime":"-","sncode":")" + sn + R"(",)"
              R"("resource":{"displayNum":2,"maxAudioOut":1,"maxNetworkLan":2,"maxSensor":4,"maxAlarm":2,)"
              R"("maxCameras":16,"masRs485":1},"vxfsDbup":1,"transProtocol":0,"streamInfo":"1.0",)"
              R"("oemonlineupdate":0,"company":"Talvokine","isSupportTalk":1})");
    EXPECT_EQ(codes(sent_all()), std::vector<int>{REQ_SYSTEM_INFO});

    core.reply(REQ_SYSTEM_INFO, bytes_of(info).substr(0, 583));
    EXPECT_EQ(get("/1020").out, kJsonError);
    core.silent(REQ_SYSTEM_INFO);
    EXPECT_EQ(get("/1009").out, kJsonError);
}

TEST_F(SystemInfo, HostNameAndDeviceNumber)
{
    const std::string host(140, 'h');
    EXPECT_EQ(post("/1012", R"({"hostName":")" + host + R"(","deviceId":255})").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_NETWORK_CHANGED, 1));
    const auto all = sent_all();
    ASSERT_EQ(codes(all), (std::vector<int>{REQ_DEVICE_ID, REQ_NETWORK_CHANGED}));
    EXPECT_EQ(all[0].payload, int32_bytes({255}));
    EXPECT_EQ(all[1].payload, padded("hostname", 32));
    network_record network;
    stored(kNetwork, 0, &network);
    EXPECT_EQ(std::string(network.host_name), host.substr(0, 127));
    EXPECT_EQ(param("deviceid", 0), 255);

    for (const char* body : {R"({"hostName":"a","deviceId":0})", R"({"hostName":"a","deviceId":256})",
                             R"({"hostName":"","deviceId":1})", R"({"deviceId":1})", R"({"hostName":"a"})",
                             R"({"hostName":"a","deviceId":"x"})", R"({"hostName":7,"deviceId":1})", "not json"}) {
        EXPECT_EQ(post("/1012", body).out, "") << body;
        EXPECT_TRUE(sent_all().empty()) << body;
    }
}

const char kGeneral[] =
    R"({"mainResolution":%d,"audioOutputOn":1,"audioVolume":%d,"hdmiAudioOn":1,"subResolution":%d,)"
    R"("audioStereo":1,"wizardEnable":1,"hostname":"Hall","deviceId":%d,"displayMode":1,"subEnable":%d,)"
    R"("hdmihotplug":0,"streamInfo":"2.0","isHomologousChanged":%d,"homologous":0})";

std::string general(int main, int volume, int sub, int device, int sub_enable, int homologous_changed)
{
    char text[512];
    snprintf(text, sizeof text, kGeneral, main, volume, sub, device, sub_enable, homologous_changed);
    return text;
}

TEST_F(SystemInfo, GeneralSettings)
{
    // An empty database: every default.
    EXPECT_TRUE(json_reply_is(get("/6080").out,
                              R"({"displayMode":0,"hdmihotplug":1,"mainResolution":0,"hdmiAudioOn":0,"homologous":1,)"
                              R"("curControl":0,"subEnable":0,"subResolution":0,"audioOutputOn":0,"audioVolume":0,)"
                              R"("deviceId":255,"hostname":"","wizardEnable":0})"));

    display_record old = zeroed<display_record>();
    old.main_resolution = 3, old.sub_resolution = 5, old.reserved4[0] = 0x5a;
    store(kDisplay, 0, &old);
    // Only the sub resolution changes: both resolutions go out, then 1015.
    EXPECT_EQ(post("/6081", general(3, 100, 6, 256, 1, 0)).out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_AUDIO_OUTPUT, 1));
    auto all = sent_all();
    EXPECT_EQ(codes(all), (std::vector<int>{REQ_SUB_OUTPUT, REQ_DEVICE_ID, REQ_NETWORK_CHANGED, REQ_DISPLAY_RESOLUTION,
                                            REQ_DISPLAY_RESOLUTION, REQ_DISPLAY_APPLY, REQ_AUDIO_OUTPUT,
                                            REQ_OPERATION_LOG}));
    EXPECT_EQ(all[0].payload, int32_bytes({1}));
    EXPECT_EQ(all[1].payload, int32_bytes({256}));
    EXPECT_EQ(all[3].payload, int32_bytes({0, 3}));
    EXPECT_EQ(all[4].payload, int32_bytes({1, 6}));
    EXPECT_EQ(all[5].payload, "");
    EXPECT_EQ(all[6].payload, int32_bytes({1, 1, 100}));
    EXPECT_EQ(all[7].payload, log_record(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_GENERAL, 0));
    display_record now;
    stored(kDisplay, 0, &now);
    EXPECT_EQ(now.sub_resolution, 6);
    EXPECT_EQ(now.sub_enable, 0);  // the core service switches it (1023)
    EXPECT_EQ(now.audio_volume, 100);
    EXPECT_EQ(now.reserved4[0], 0x5a);
    EXPECT_TRUE(json_reply_is(get("/6080").out,
                              R"({"displayMode":1,"hdmihotplug":0,"mainResolution":3,"hdmiAudioOn":1,"homologous":1,)"
                              R"("curControl":0,"subEnable":0,"subResolution":6,"audioOutputOn":1,"audioVolume":100,)"
                              R"("deviceId":256,"hostname":"Hall","wizardEnable":1})"));

    // The sub output controls: "SUB", and no 1023.
    now.cur_control = 1;
    store(kDisplay, 0, &now);
    EXPECT_EQ(post("/6081", general(3, 0, 6, 0, 1, 0)).out, text_reply("SUB"));
    ASSERT_TRUE(core.wait_for(REQ_OPERATION_LOG, 1));
    EXPECT_EQ(codes(sent_all()),
              (std::vector<int>{REQ_DEVICE_ID, REQ_NETWORK_CHANGED, REQ_AUDIO_OUTPUT, REQ_OPERATION_LOG}));

    // A homologous change: the quick screen, the record's sub output, and the restart last.
    EXPECT_EQ(post("/6081", general(3, 0, 6, 1, 0, 1)).out, text_reply("SUB"));
    ASSERT_TRUE(core.wait_for(REQ_RESTART, 1));
    EXPECT_EQ(codes(sent_all()).back(), REQ_RESTART);
    EXPECT_EQ(param("quick_screen", -1), 1);
    EXPECT_EQ(param("homologous", -1), 0);
    stored(kDisplay, 0, &now);
    EXPECT_EQ(now.sub_enable, 1);

    for (const std::string& body : {general(3, 55, 6, 1, 0, 0), general(3, -10, 6, 1, 0, 0),
                                    general(3, 110, 6, 1, 0, 0), general(3, 10, 6, 257, 0, 0),
                                    std::string(R"({"mainResolution":1})")}) {
        EXPECT_EQ(post("/6081", body).out, "") << body;
        EXPECT_TRUE(sent_all().empty()) << body;
    }
}

TEST_F(SystemInfo, PageTexts)
{
    root.write(kLangDir + "/en.json", "{//login.json\n\"a\": \"Login\",\n\"b\": 2\n}//login.json\n"
                                      "{//system=general.json\n\"c\": \"Volume\"\n}//system=general.json\n");
    root.write("/opt/app/www/secret.json", "{//login.json\n\"leak\": 1\n}//login.json\n");
    const std::pair<std::string, std::string> cases[] = {
        {"lang=en&page=login", kJsonHead + "{\n\"a\": \"Login\",\n\"b\": 2\n\n}"},
        {"page=system&lang=en&sub=general", kJsonHead + "{\n\"c\": \"Volume\"\n\n}"},
        {"lang=en&page=missing", kJsonHead},
        {"lang=en", text_reply("ERROR PAGE.")},
        {"lang=fr&page=login", text_reply("ERROR LANG.")},
        {"lang=../../secret&page=login", text_reply("ERROR LANG.")},
        {"lang=..%2Fsecret&page=login", text_reply("ERROR LANG.")},
        {"lang=&page=login", text_reply("ERROR LANG.")},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(same_bytes(get("/json", c.first).out, c.second)) << c.first;

    // The languages file: replaced by whole JSON only.
    const std::string live = kLangDir + "/languages.json";
    root.write(live, "{\"old\":1}\n");
    EXPECT_EQ(post("/1001", R"({"new":[1,2]})").out, text_reply("OK"));
    EXPECT_EQ(root.read(live), "{\"new\":[1,2]}\n");
    for (const char* garbage : {R"({"new":[1,)", "", "plain text", R"({"a":1} trailing)", "{}}"}) {
        EXPECT_EQ(post("/1001", garbage).out, "") << garbage;
        EXPECT_EQ(root.read(live), "{\"new\":[1,2]}\n") << garbage;
    }
    EXPECT_FALSE(root.exists(kLangDir + "/languages_bak.json"));
}

TEST_F(SystemInfo, CameraAddressBatch)
{
    set_param("max_cameras", 4);
    db_camera camera = zeroed<db_camera>();
    camera.id = 2, camera.manage_port = 8080;
    store(kCamera, 2, &camera);
    EXPECT_EQ(post("/ipc", R"({"startip":"10.1.2.255","chnNum":2,"chnFre":3})").out, text_reply("OK"));
    const char* const want[] = {"10.1.2.255", "10.1.2.255", "10.1.2.255", "10.1.2.0"};
    for (int slot = 0; slot < 5; slot++) {
        EXPECT_EQ(stored(kCamera, slot, &camera), slot < 4 ? 0 : 1) << slot;
        EXPECT_EQ(std::string(camera.address), slot < 4 ? want[slot] : "") << slot;
        EXPECT_EQ(camera.id, slot < 4 ? slot : 0);
    }
    stored(kCamera, 2, &camera);
    EXPECT_EQ(camera.manage_port, 8080);

    set_param("max_cameras", 64);
    for (const char* huge : {R"({"startip":"10.0.0.1","chnNum":2147483647,"chnFre":0})",
                             R"({"startip":"10.0.0.1","chnNum":2147483647,"chnFre":2147483647})"}) {
        const CgiResult res = post("/ipc", huge);
        EXPECT_EQ(res.out, text_reply("OK")) << huge;
        EXPECT_LT(res.seconds, 10.0) << huge;
    }
    EXPECT_EQ(stored(kCamera, 63, &camera), 0);
    EXPECT_EQ(std::string(camera.address), "10.0.0.1");
    for (const char* bad : {R"({"startip":"10.0.0","chnNum":1,"chnFre":1})",
                            R"({"startip":"10.0.0.1;reboot","chnNum":1,"chnFre":1})",
                            R"({"startip":"10.0.0.1","chnNum":1})", R"({"startip":5,"chnNum":1,"chnFre":1})"})
        EXPECT_EQ(post("/ipc", bad).out, "") << bad;
}

class OptionCommands : public HandlerTest {};

TEST_F(OptionCommands, TextAnswers)
{
    set_param("max_cameras", 16);
    const std::string ok = text_reply("OK");
    const std::pair<std::string, std::string> cases[] = {
        {"softversion", text_reply("7x.7.0.9")},
        {"softversion=1", text_reply("7x.7.0.9")},
        {"quill", text_reply("ERROR")},
        {"debug", text_reply("ERROR")},
        {"", text_reply("ERROR")},
        {"setdefault=1", ""},
        {"setlang=2&decode=1", ok + ok},
        {"hotplug=0&nosuch=1&decode=5", ok + text_reply("ERROR")},
        {"setlang=2&decode=" + std::string(70 - 17, '7'), text_reply("PARAM ERROR")},
        {"setlang=2&decode=" + std::string(60 - 17, '7'), ok + ok},
        {"nothing", text_reply("PARAM ERROR")},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(same_bytes(get("/vb.htm", c.first).out, c.second)) << c.first;
    char decode[64] = {0};
    vxdb_close_all();
    get_param_value(VXDB_MAIN, "decode", decode, sizeof decode, "");
    EXPECT_EQ(std::string(decode), std::string(60 - 17, '7'));  // the 60-character query ran last
    EXPECT_EQ(param("hdmihotplug", -1), 0);
    EXPECT_EQ(get("/vb.htm", "setlang=-3").out, ok);
    EXPECT_TRUE(core.wait_for(REQ_SET_LANGUAGE, 1));
    EXPECT_EQ(sent(REQ_SET_LANGUAGE)[0].payload, int32_bytes({-3}));
}

TEST_F(OptionCommands, IdentificationChip)
{
    const std::string chip = "VXN0000000000000000000000000000A";
    // Answer, chip text afterwards (unchanged when the answer is NG).
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"paratest=chipinfo", "OK chipinfo=" + chip + "\n\n", chip},
        {"paratest=other", "Param ERROR", chip},
        {"chipupdate=H12", "OK chipupdate", "VXN0000001200000000000000000000A"},
        {"chipupdate=N123456", "OK chipupdate", "VXN1234560000000000000000000000A"},
        {"chipupdate=S12345678901", "OK chipupdate", "VXN0000000000000000012345678901A"},
        {"chipupdate=VXN1", "NG chipupdate", chip},
        {"chipupdate=VXN111111111111111111", "OK chipupdate", "VXN11111111111111111100000000000"},
        {"chipupdate=N12", "NG chipupdate", chip},
        {"chipupdate=", "NG chipupdate", chip},
        {"chipupdate=X1234567", "NG chipupdate", chip},
        {"chipupdate=N12;touch${IFS}x", "NG chipupdate", chip},
        {"chipupdate=N1$(touch${IFS}y)", "NG chipupdate", chip},
        {"chipupdate=N1%3Btouch", "NG chipupdate", chip},
        {"modelupdate=E12", "OK modelupdate", "VXN000000000E120000000000000000A"},
        {"modelupdate=H12", "OK modelupdate", "VXN000000H120000000000000000000A"},
        {"modelupdate=E123456789", "NG modelupdate", chip},
        {"modelupdate=Q1", "NG modelupdate", chip},
        {"modelupdate=S1`id`", "NG modelupdate", chip},
        {"modelupdate=", "NG modelupdate", chip},
    };
    for (const auto& c : cases) {
        root.write(kChip, chip + "\n");
        EXPECT_EQ(get("/vb.htm", std::get<0>(c)).out, text_reply(std::get<1>(c))) << std::get<0>(c);
        EXPECT_EQ(root.read(kChip), std::get<2>(c) + "\n") << std::get<0>(c);
    }
    EXPECT_FALSE(root.exists("/x") || root.exists("/y") || access("x", F_OK) == 0 || access("y", F_OK) == 0);

    // A chip text too short for the field, and a chip that cannot be read.
    root.write(kChip, "SHORT\n");
    EXPECT_EQ(get("/vb.htm", "modelupdate=S1").out, text_reply("NG modelupdate"));
    EXPECT_EQ(get("/vb.htm", "chipupdate=E1234567").out, text_reply("NG chipupdate"));
    EXPECT_EQ(root.read(kChip), "SHORT\n");
    unlink(root.at(kChip).c_str());
    mkdir(root.at(kChip).c_str(), 0755);
    EXPECT_EQ(get("/vb.htm", "paratest=chipinfo").out, text_reply("ERROR"));
    EXPECT_EQ(get("/vb.htm", "chipupdate=H12").out, text_reply("NG chipupdate"));
}

TEST_F(OptionCommands, OemClean)
{
    root.write("/mnt/nand2/logo.jpg_bk", "LOGO");
    root.write("/mnt/nand2/gui.rcc_bk", "GUI");
    root.write("/mnt/nand2/oem.db", "x");
    root.write("/mnt/nand2/keep/inner", "kept");
    root.write("/opt/app/bin/logo.jpg", "custom");
    root.write("/tmp/webpages/index.html", "<html>");
    mkdir(root.at("/opt/app/www").c_str(), 0755);
    ASSERT_EQ(system(("tar -czf " + root.at("/opt/app/www/web.tar.gz") + " -C " + root.at("/tmp/webpages") +
                      " index.html").c_str()),
              0);
    set_param("oem_type", 3);
    EXPECT_EQ(get("/vb.htm", "oemclean").out, text_reply("OK"));
    EXPECT_EQ(root.read("/opt/app/bin/logo.jpg"), "LOGO");
    EXPECT_EQ(root.read("/opt/app/bin/gui.rcc"), "GUI");
    EXPECT_EQ(root.list("/mnt/nand2"), "keep");
    EXPECT_EQ(root.read("/opt/app/www/index.html"), "<html>");
    for (const char* marker : {"eraseip", "eraseuser", "eraseall"})
        EXPECT_TRUE(root.exists(std::string("/mnt/nand/app/") + marker)) << marker;
    EXPECT_EQ(param("oem_type", -1), 0);
}

// The local device: information from the seeded database, the seeded page
// texts, and the erase markers applied at a restart.
TEST(SystemInfoLocalDevice, SeededAndRestarted)
{
    ScratchRoot root;
    CoresimProcess sim(root.path(), {{"CORESIM_RESTART_MS", "200"}});
    ASSERT_TRUE(sim.running());
    auto get = [&](const std::string& path, const std::string& query) {
        CgiRequest r;
        r.method = "GET", r.path = path, r.query = query;
        return run_cgi(root.path(), r).out;
    };
    const std::string info = canon(reply_body(get("/1009", "")));
    EXPECT_NE(info.find(R"("software":"1.0.0-sim")"), std::string::npos) << info;
    EXPECT_NE(info.find(R"("macAddress":"00:1E:5A:0A:0B:0C")"), std::string::npos) << info;
    EXPECT_NE(info.find(R"("maxCameras":16)"), std::string::npos) << info;
    EXPECT_EQ(canon(reply_body(get("/json", "lang=en&page=login"))).rfind(R"({"title":"Login",)", 0), 0u);

    root.write("/mnt/nand/app/eraseuser", "");
    EXPECT_EQ(get("/1004", ""), text_reply("OK"));
    for (int i = 0; i < 100 && root.exists("/mnt/nand/app/eraseuser"); i++)
        usleep(50000);
    EXPECT_FALSE(root.exists("/mnt/nand/app/eraseuser"));
}

}  // namespace
