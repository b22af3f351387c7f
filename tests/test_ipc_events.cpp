// People counting, POS and face events, black-box through nvrweb.cgi against
// the fake core service and a scratch database.
#include "modules/ipc/ipc_event_records.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kGroupKind = {"peoplecnt_settings", (int)sizeof(peoplecnt_settings), PEOPLECNT_GROUPS};
const vxdb_kind kPosKind = {"pos_setting", (int)sizeof(pos_setting), POS_TERMINALS};
const vxdb_kind kReportKind = {"peoplecnt_auto_backup", (int)sizeof(peoplecnt_auto_backup), REPORT_BACKUP_ENTRIES};

class IpcEventsTest : public HandlerTest {
protected:
    void store_groups()
    {
        for (int g = 0; g < PEOPLECNT_GROUPS; g++) {
            peoplecnt_settings s = zeroed<peoplecnt_settings>();
            s.groupid = g, s.enable = 1, s.stays = 10 + g;
            put(s.name, "group" + std::to_string(g));
            store(kGroupKind, g, &s);
        }
    }
    std::string group_bytes(int g)
    {
        peoplecnt_settings s;
        stored(kGroupKind, g, &s);
        return bytes_of(s);
    }
};

TEST_F(IpcEventsTest, GroupSettingsCheckedWholeBeforeStoring)
{
    store_groups();
    std::string before[PEOPLECNT_GROUPS];
    for (int g = 0; g < PEOPLECNT_GROUPS; g++)
        before[g] = group_bytes(g);
    const std::string refused[] = {
        R"({"groups":[{"groupid":7,"name":"x"}]})",
        R"({"groups":[{"groupid":1,"name":"x"},{"groupid":4,"name":"y"}]})",
        R"({"groups":[{"groupid":0},{"groupid":1},{"groupid":2},{"groupid":3},{"groupid":0}]})",
        R"({"groups":[{"name":"no id"}]})",
        R"({"groups":{"groupid":1}})",
    };
    for (const std::string& body : refused) {
        EXPECT_EQ(post("/2067", body).out, kJsonError) << body;
        for (int g = 0; g < PEOPLECNT_GROUPS; g++)
            EXPECT_TRUE(same_bytes(group_bytes(g), before[g])) << body << " group " << g;
    }
    EXPECT_TRUE(sent(REQ_PEOPLECNT_CHANGED).empty());

    core.reply(REQ_PEOPLECNT_CHANGED, int32_bytes({0}));
    const std::string name(80, 'n');
    EXPECT_TRUE(json_reply_is(post("/2067", R"({"groups":[{"groupid":2,"name":")" + name + R"(","stays":40}]})").out,
                              R"({"res":0})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PEOPLECNT_CHANGED).at(0).payload, int32_bytes({4})));
    peoplecnt_settings want;
    memcpy(&want, before[2].data(), sizeof want);
    put(want.name, name.substr(0, 63));
    want.stays = 40;
    EXPECT_TRUE(same_bytes(group_bytes(2), bytes_of(want)));
    for (int g : {0, 1, 3})
        EXPECT_TRUE(same_bytes(group_bytes(g), before[g])) << g;
}

TEST_F(IpcEventsTest, GroupListWithAndWithoutActionsAndPtzReadBack)
{
    store_groups();
    const std::string plain = canon(reply_body(post("/2066", "{}").out));
    EXPECT_EQ(plain.rfind(R"({"groups":[{"groupid":0,"enable":1,"stays":10,"liveview_auto_reset":0,"auto_day":0,)"
                          R"("liveview_font_size":0,"name":"group0","auto_day_time":"","tri_channels":"",)"
                          R"("liveview_green_tips":"","liveview_red_tips":""},{"groupid":1,)", 0), 0u)
        << plain;
    EXPECT_EQ(plain.find("dialog"), std::string::npos);

    core.reply(REQ_PEOPLECNT_ACTION_CHANGED, int32_bytes({0}));
    EXPECT_TRUE(json_reply_is(post("/2070", R"({"groupid":1,"interval":7,"triChnAlarms":["01",""],)"
                                            R"("ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":2,"acto_ptz_patrol":4}]})")
                                  .out,
                              R"({"res":0})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PEOPLECNT_ACTION_CHANGED).at(0).payload, int32_bytes({1, 0})));
    const std::string actions = canon(reply_body(post("/2069", R"({"groupid":1})").out));
    EXPECT_EQ(actions.rfind(R"({"chnid":1,"triAlarms":0,"interval":7,)", 0), 0u) << actions;
    EXPECT_NE(actions.find(R"("triChnAlarms":["01",""],"white":)"), std::string::npos) << actions;
    EXPECT_NE(actions.find(R"("ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":2,"acto_ptz_preset":0,)"
                           R"("acto_ptz_patrol":4}]})"),
              std::string::npos)
        << actions;

    const std::string with = canon(reply_body(post("/2066", R"({"action":1})").out));
    EXPECT_NE(with.find(R"("liveview_red_tips":"","dialog":{"chnid":1,"triAlarms":0,"interval":7,)"), std::string::npos)
        << with;
    EXPECT_EQ(post("/2069", R"({"groupid":4})").out, kJsonError);
    EXPECT_EQ(post("/2071", R"({"groupid":-1})").out, kJsonError);
}

TEST_F(IpcEventsTest, PosTerminalStoredAndRead)
{
    EXPECT_EQ(post("/2074", R"({"id":4,"name":"Till"})").out, kJsonError);
    pos_setting none;
    EXPECT_EQ(stored(kPosKind, 0, &none), 1);

    core.reply(REQ_POS_CHANGED, int32_bytes({0}));
    EXPECT_TRUE(json_reply_is(post("/2074", R"({"id":2,"enable":1,"name":"Till","ip":"10.1.1.5","port":9100,)"
                                            R"("privacy1":"card","action":{"triAlarms":3,"triChannels":"0101"}})")
                                  .out,
                              R"({"res":0})"));
    EXPECT_TRUE(same_bytes(sent(REQ_POS_CHANGED).at(0).payload, int32_bytes({2})));
    pos_setting want = zeroed<pos_setting>();
    want.id = 2, want.enable = 1, want.port = 9100;
    put(want.name, "Till"), put(want.ip, "10.1.1.5"), put(want.privacy1, "card");
    pos_setting got;
    stored(kPosKind, 2, &got);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));
    const std::string reply = canon(reply_body(post("/2073", R"({"id":2})").out));
    EXPECT_EQ(reply.rfind(R"({"id":2,"enable":1,"name":"Till","protocol":0,"connectionMode":0,"ip":"10.1.1.5",)"
                          R"("port":9100,)", 0), 0u) << reply;
    EXPECT_NE(reply.find(R"("privacy1":"card","privacy2":"","privacy3":"","action":{"effective":)"), std::string::npos);
    EXPECT_NE(reply.find(R"("triAlarms":3,"triChannels":"0101","triChnAlarms":["",""]}})"), std::string::npos) << reply;
}

TEST_F(IpcEventsTest, ReportBackupBoundedToFourEntries)
{
    const std::string entry = R"({"reportType":1,"enable":1,"triChannels":"11","backupTime":"02:00"})";
    const std::string five = R"({"report":[)" + entry + "," + entry + "," + entry + "," + entry + "," + entry + "]}";
    EXPECT_EQ(post("/2076", five).out, kJsonError);
    peoplecnt_auto_backup e;
    for (int i = 0; i < REPORT_BACKUP_ENTRIES; i++)
        EXPECT_EQ(stored(kReportKind, i, &e), 1) << i;
    EXPECT_TRUE(sent(REQ_REPORT_BACKUP_CHANGED).empty());

    core.reply(REQ_REPORT_BACKUP_CHANGED, int32_bytes({0}));
    EXPECT_TRUE(json_reply_is(post("/2076", R"({"email":1,"report":[)" + entry + "]}").out, R"({"res":0})"));
    const std::string reply = canon(reply_body(post("/2075", "").out));
    EXPECT_EQ(reply.rfind(R"({"report":[{"reportType":1,"enable":1,"triChannels":"11","triGroups":"",)"
                          R"("stayLengthType":0,"stayLengthValue":0,"backupDay":0,"backupTime":"02:00",)", 0), 0u)
        << reply;
    const std::string tail = R"(],"email":1})";
    EXPECT_EQ(reply.substr(reply.size() - tail.size()), tail);
}

TEST_F(IpcEventsTest, FaceConfigCutToSlotsActionsAnnouncedFirst)
{
    EXPECT_EQ(post("/2077", R"({"chnId":64,"enable":1})").out, kJsonError);
    EXPECT_TRUE(sent_all().empty());

    core.reply(REQ_FACE_CONFIG_SET, int32_bytes({0}));
    const std::string body =
        R"({"chnId":5,"enable":1,"detection_polygonX":["1","2","3","4","5"],"detection_polygonY":["6"],)"
        R"("captureModeArray":[1,2,3,4],"shield":[{"polygonX":"10","polygonY":"20"}],"httpUrl":"http://a/b",)"
        R"("action":{"interval":9}})";
    EXPECT_TRUE(json_reply_is(post("/2077", body).out, R"({"status":0})"));
    ASSERT_TRUE(core.wait_for(REQ_FACE_ACTION_CHANGED, 1));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].code, REQ_FACE_ACTION_CHANGED);
    EXPECT_TRUE(same_bytes(all[0].payload, int32_bytes({5})));
    EXPECT_EQ(all[1].code, REQ_FACE_CONFIG_SET);
    face_config want = zeroed<face_config>();
    want.channel = 5, want.enable = 1, want.region_count = 4;
    for (int i = 0; i < 4; i++)
        put(want.regions[i].x, std::to_string(i + 1));
    put(want.regions[0].y, "6");
    want.capture_mode_count = 3, want.capture_modes[0] = 1, want.capture_modes[1] = 2, want.capture_modes[2] = 3;
    want.shield_count = 1;
    put(want.shields[0].x, "10"), put(want.shields[0].y, "20");
    put(want.http_url, "http://a/b");
    EXPECT_TRUE(same_bytes(all[1].payload, bytes_of(want)));
}

// The local device: coresim answers the notices and refuses face settings
// for a channel without a camera.
TEST(IpcEventsLocalDevice, NoticesAnsweredFaceNeedsACamera)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) { return post_json(root.path(), path, body).out; };
    EXPECT_TRUE(json_reply_is(run("/2067", R"({"groups":[{"groupid":3,"enable":1}]})"), R"({"res":0})"));
    EXPECT_TRUE(json_reply_is(run("/2071", R"({"groupid":3})"), R"({"res":0})"));
    EXPECT_TRUE(json_reply_is(run("/2072", R"({"groupid":3})"), R"({"res":0})"));
    EXPECT_TRUE(json_reply_is(run("/2074", R"({"id":0,"enable":1})"), R"({"res":0})"));
    EXPECT_TRUE(json_reply_is(run("/2077", R"({"chnId":2,"enable":1})"), R"({"status":0})"));
    EXPECT_TRUE(json_reply_is(run("/2077", R"({"chnId":40,"enable":1})"), R"({"status":-1})"));
}

}  // namespace
