// Smart events, black-box through nvrweb.cgi against the fake core service
// and a scratch database; one run against coresim.
#include "core/db.h"
#include "modules/video/video.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kSmartKind = {"smart_event", (int)sizeof(smart_event), 9 * 64};
const vxdb_kind kPtzKind = {"ptz_params", (int)sizeof(PtzActionParams), 64 * 64};

class SmartTest : public HandlerTest {
protected:
};

TEST_F(SmartTest, LineCrossingSetScalesAndStoresTheDialogFirst)
{
    core.reply(REQ_VCA_LINE_SET, int32_bytes({0}));
    const std::string body =
        R"({"chnid":1,"enable":1,"objtype":2,"copyChn":"0011","line":[)"
        R"({"position":"230;130;460;260","direction":1},{"position":"0;0;0;0","direction":2},)"
        R"({"position":"46;26"},{"position":"2147483647;-5;1;1","direction":3},{"position":"9;9;9;9"}],)"
        R"("dialog":{"chnid":1,"enable":1,"triAlarms":3,"triChannels":"0101"}})";
    ASSERT_EQ(post("/6139", body).out, text_reply());

    vca_line_event want = zeroed<vca_line_event>();
    want.channel = 1, want.enable = 1, want.objtype = 2;
    put(want.copy_channels, "0011");
    const int32_t lines[4][5] = {{960, 540, 1920, 1080, 1}, {1, 1, 1, 1, 2}, {192, 108, 1, 1, 0},
                                 // 1920 x 2147483647 is past 32 bits: cut, never wrapped
                                 {INT32_MAX, 1, 4, 4, 3}};
    for (int i = 0; i < 4; i++) {
        vca_line& l = want.lines[i];
        l.x1 = lines[i][0], l.y1 = lines[i][1], l.x2 = lines[i][2], l.y2 = lines[i][3], l.direction = lines[i][4];
    }
    EXPECT_TRUE(same_bytes(one(REQ_VCA_LINE_SET), bytes_of(want)));
    // The actions are stored and announced for the set before the camera is asked.
    const std::vector<FakeRequest> all = sent_all();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].code, REQ_SMART_EVENT_CHANGED);
    EXPECT_TRUE(same_bytes(all[0].payload, bytes_of<uint64_t>(0xE)));
    for (int c : {1, 2, 3}) {
        smart_event e;
        ASSERT_EQ(stored(kSmartKind, 4 * 64 + c, &e), 0) << c;
        EXPECT_EQ(e.id, c);
        EXPECT_EQ(e.event, 4);
        EXPECT_EQ(e.tri_alarms, 3);
        EXPECT_EQ(e.tri_channels, 0xAu);
    }

    core.reply(REQ_VCA_LINE_SET, int32_bytes({5}));
    EXPECT_EQ(post("/6139", R"({"chnid":1})").out, text_reply("FAILED"));
    core.silent(REQ_VCA_LINE_SET);
    EXPECT_EQ(post("/6139", R"({"chnid":1})").out, kTextError);
}

TEST_F(SmartTest, LineCrossingReadBackInTheBrowserFrame)
{
    vca_line_event answer = zeroed<vca_line_event>();
    answer.enable = 1, answer.width = 1920, answer.height = 1080, answer.objtype = 7;
    answer.lines[0] = {960, 540, 1920, 1080, 2, {}};
    const std::string first = R"({"direction":2,"position":"230;130;460;260"})";
    const std::string rest = R"(,{"direction":0,"position":"0;0;0;0"})";
    const std::string want = "{\"line\":[" + first + rest + rest + rest + R"(],"enable":1,"width":1920,)";
    core.reply(REQ_VCA_LINE_GET, bytes_of(answer));
    EXPECT_TRUE(json_reply_is(post("/6138", R"({"channel":3})").out, want + R"("height":1080,"objtype":7})"));
    EXPECT_TRUE(same_bytes(one(REQ_VCA_LINE_GET), int32_bytes({3})));

    answer.width = 0;
    core.reply(REQ_VCA_LINE_GET, bytes_of(answer));
    const std::string zero = R"({"direction":2,"position":"0;0;0;0"})";
    EXPECT_TRUE(json_reply_is(post("/6138", R"({"channel":3})").out,
                              "{\"line\":[" + zero + rest + rest + rest +
                                  R"(],"enable":1,"width":0,"height":1080,"objtype":7})"));
    core.reply(REQ_VCA_LINE_GET, bytes_of(answer).substr(0, 611));
    EXPECT_EQ(post("/6138", R"({"channel":3})").out, kJsonError);
}

TEST_F(SmartTest, RegionTextsCutAndRegionInfoByType)
{
    core.reply(REQ_VCA_EXIT_SET, int32_bytes({0}));
    const std::string region(310, 'r'), poly(70, 'p');
    const std::string info = R"([{"enable":1,"objType":2,"time":9,"polygons":[{"polygonX":"1,2","polygonY":"3,4"},)"
                             R"({"polygonX":"5","polygonY":"6"}]},{"enable":1}])";
    const std::string body = R"({"chnid":2,"type":1,"enable":1,"sensitivity":4,"region":")" + region +
                             R"(","polygonX":")" + poly + R"(","polygonY":"y","regionType":1,"regionScene":3,)"
                             R"("copyChn":")" + std::string(70, '1') + R"(","regionInfo":)" + info + "}";
    ASSERT_EQ(post("/6133", body).out, text_reply());
    vca_region_event want = zeroed<vca_region_event>();
    want.channel = 2, want.enable = 1, want.sensitivity = 4, want.region_type = 1, want.region_scene = 3;
    put(want.region, region.substr(0, 299));
    put(want.polygon_x, poly.substr(0, 63));
    put(want.polygon_y, "y");
    put(want.copy_channels, std::string(64, '1'));
    want.info[0].enable = 1, want.info[0].objtype = 2, want.info[0].time = 9;
    put(want.info[0].polygons[0].x, "1,2");
    put(want.info[0].polygons[0].y, "3,4");  // regionType 1: one polygon per entry
    want.info[1].enable = 1;
    EXPECT_TRUE(same_bytes(one(REQ_VCA_EXIT_SET), bytes_of(want)));

    // regionType 0 ignores the list; type 0 is the entrance request.
    core.clear();
    core.reply(REQ_VCA_ENTRANCE_SET, int32_bytes({0}));
    ASSERT_EQ(post("/6133", R"({"chnid":2,"type":0,"regionType":0,"regionInfo":)" + info + "}").out, text_reply());
    vca_region_event plain = zeroed<vca_region_event>();
    plain.channel = 2;
    EXPECT_TRUE(same_bytes(one(REQ_VCA_ENTRANCE_SET), bytes_of(plain)));

    // An answer's texts may fill their fields without a NUL.
    vca_region_event answer = zeroed<vca_region_event>();
    answer.enable = 1, answer.time = 30, answer.size = 2;
    memset(answer.region, 'a', sizeof answer.region);
    memset(answer.polygon_x, 'x', sizeof answer.polygon_x);
    core.reply(REQ_VCA_LOITERING_GET, bytes_of(answer));
    EXPECT_TRUE(json_reply_is(post("/6140", R"({"channel":5})").out,
                              R"({"region":")" + std::string(300, 'a') + R"(","enable":1,"time":30,"size":2,)" +
                                  R"("objtype":0,"polygonX":")" + std::string(64, 'x') + R"(","polygonY":""})"));
}

TEST_F(SmartTest, ActionSetOfEventSixStoredAndRead)
{
    const std::string sche = R"([[["08:00","09:00",1]]])";
    const std::string body = R"({"chnid":7,"event":6,"enable":1,"triAlarms":5,"interval":20,"email_interval":30,)"
                             R"("triChannels":"1001","audioId":2,"effective":)" + sche +
                             R"(,"ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":4}]})";
    ASSERT_EQ(post("/6149", body).out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_SMART_EVENT_CHANGED), bytes_of<uint64_t>(1ULL << 7)));
    smart_event e;
    ASSERT_EQ(stored(kSmartKind, 6 * 64 + 7, &e), 0);
    EXPECT_EQ(e.tri_channels, 0x9u);
    PtzActionParams p;
    ASSERT_EQ(stored(kPtzKind, 11 * 64 + 7, &p), 0);  // PTZ type event + 5
    EXPECT_EQ(p.entries[0].acto_ptz_preset, 4);
    Schedule s;
    ASSERT_EQ(read_smart_event_effective_schedule(VXDB_MAIN, &s, 7, 6), 0);
    EXPECT_STREQ(s.days[0].slots[0].start_time, "08:00");

    const std::string reply = canon(reply_body(post("/6148", R"({"chnid":7,"event":6})").out));
    const std::string head = R"({"action":[{"chnid":7,"event":6,"enable":1,"triAlarms":5,"interval":20,)"
                             R"("email_interval":30,"email_pic_enable":0,"tri_channels_pic":"","ptz_interval":0,)"
                             R"("alarmout_interval":0,"triChannels":"1001","effective":[[{"startTime":"08:00")";
    EXPECT_EQ(reply.substr(0, head.size()), head);
    EXPECT_NE(reply.find(R"("audioId":2,"audioIdMask":)"), std::string::npos);
    EXPECT_NE(reply.find(R"("ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":4)"),
              std::string::npos) << reply;
    EXPECT_TRUE(json_reply_is(post("/6151", R"({"channel":7,"type":6})").out,
                              R"({"chnid":7,"enable":1,"triAlarms":5,"interval":20,"email_interval":30,)"
                              R"("email_pic_enable":0,"tri_channels_pic":"","triChannels":"1001"})"));

    ASSERT_EQ(post("/6150", R"({"channel":7,"event":6,"type":1,"triChannels":"0000001"})").out, text_reply());
    stored(kSmartKind, 6 * 64 + 7, &e);
    EXPECT_EQ(e.tri_channels, 0x40u);
    EXPECT_EQ(e.tri_alarms, 5);
}

TEST_F(SmartTest, BadEventsAndChannelsSendAndStoreNothing)
{
    const struct { const char* path; std::string body, out; } cases[] = {
        {"/6133", R"({"chnid":1,"type":9,"dialog":{"chnid":1,"enable":1}})", kTextError},
        {"/6135", R"({"chnid":1,"type":-1})", kTextError},
        {"/6143", R"({"chnid":64,"type":6})", kTextError},
        {"/6139", R"({"chnid":64,"dialog":{"chnid":1,"enable":1}})", kTextError},
        {"/6147", R"({"chnid":64})", kJsonError},
        {"/6171", R"({"chnid":-1})", kJsonError},
        {"/6154", R"({"channel":64})", kTextError},
        {"/6132", R"({"channel":64})", kJsonError},
        {"/6157", "not json", kJsonError},
        {"/6148", R"({"chnid":1,"event":9})", kJsonError},
        {"/6148", R"({"chnid":64,"event":1})", kJsonError},
        {"/6149", R"({"chnid":1,"event":9,"enable":1})", kTextError},
        {"/6150", R"({"channel":1,"event":9,"type":0,"triAlarms":1})", kTextError},
        {"/6150", "{", ""},
        {"/6151", R"({"channel":1,"type":9})", kTextError},
        {"/6151", R"({"channel":64,"type":1})", kTextError},
    };
    for (const auto& c : cases) {
        const std::string out = post(c.path, c.body).out;
        EXPECT_EQ(out, c.out) << c.path << " " << c.body;
    }
    EXPECT_TRUE(sent_all().empty());
    smart_event e;
    for (int idx = 0; idx < 9 * 64; idx++)
        ASSERT_EQ(stored(kSmartKind, idx, &e), 1) << idx;

    // A dialog naming channel 64 is skipped; the camera is still told.
    core.reply(REQ_VCA_TAMPER_SET, int32_bytes({0}));
    ASSERT_EQ(post("/6137", R"({"chnid":1,"enable":1,"dialog":{"chnid":64,"enable":1}})").out, text_reply());
    EXPECT_TRUE(core.wait_for(REQ_VCA_TAMPER_SET, 1));
    EXPECT_TRUE(sent(REQ_SMART_EVENT_CHANGED).empty());
}

TEST_F(SmartTest, SupportQueryAndEmptyAnswer)
{
    const struct { std::string answer, out; } cases[] = {
        {"", kJsonHead + R"({"support":-1,"type":-1})"},
        {int32_bytes({1, 2}), kJsonHead + R"({"support":1,"type":2})"},
        {int32_bytes({1}), kJsonError},  // a short answer is no answer
        {kSilent, kJsonError},
    };
    for (const auto& c : cases) {
        if (c.answer == kSilent)
            core.silent(REQ_VCA_SUPPORT);
        else
            core.reply(REQ_VCA_SUPPORT, c.answer);
        const std::string out = post("/6157", R"({"channel":2})").out;
        if (c.out == kJsonError)
            EXPECT_EQ(out, kJsonError) << c.answer.size();
        else
            EXPECT_TRUE(json_reply_is(out, c.out.substr(kJsonHead.size()))) << out;
    }
}

// The local device: line crossing set on one camera and copied to another
// comes back in the browser's frame; only analytics cameras say so.
TEST(SmartLocalDevice, LineCopyAndSupport)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        return post_json(root.path(), path, body).out;
    };
    EXPECT_EQ(run("/6139", R"({"chnid":0,"enable":1,"copyChn":"001","line":[{"position":"230;130;460;260",)"
                           R"("direction":1}]})"),
              text_reply());
    const std::string rest = R"(,{"direction":0,"position":"0;0;0;0"})";
    EXPECT_TRUE(json_reply_is(run("/6138", R"({"channel":2})"),
                              R"({"line":[{"direction":1,"position":"230;130;460;260"})" + rest + rest + rest +
                                  R"(],"enable":1,"width":1920,"height":1080,"objtype":0})"));
    EXPECT_TRUE(json_reply_is(run("/6157", R"({"channel":0})"), R"({"support":1,"type":1})"));
    EXPECT_TRUE(json_reply_is(run("/6157", R"({"channel":10})"), R"({"support":0,"type":0})"));
    EXPECT_EQ(run("/6154", R"({"channel":1,"line":0,"resetdb":1})"), text_reply());
}

// The newer cameras' resources round-trip through the simulated cameras;
// regional counting keeps each region's actions for the copies too.
TEST(SmartLocalDevice, NewerCameraResourcesRoundTrip)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        const std::string out = post_json_body(root.path(), path, body);
        return out.empty() || out[0] != '{' ? out : canon(out);
    };
    const std::string zero = R"(,{"direction":0,"position":"0;0;0;0"})";
    const struct { const char* path; std::string body, want; } steps[] = {
        {"/6193", R"({"chnid":5,"sensitivity":3,"enable":1,"copyChn":"000001","line":[{"position":"46;26;460;260",)"
                  R"("direction":2}],"dialog":{"chnid":5,"interval":7}})", "OK"},
        {"/6192", R"({"chnid":5})", R"({"chnid":5,"width":1920,"height":1080,"sensitivity":3,"enable":1,"objtype":0,)"
                                    R"("line":[{"direction":2,"position":"46;26;460;260"})" + zero + zero + zero + "]}"},
        {"/6151", R"({"channel":5,"type":4})", R"({"chnid":5,"enable":0,"triAlarms":0,"interval":7,"email_interval":0,)"
                                               R"("email_pic_enable":0,"tri_channels_pic":"","triChannels":""})"},
        {"/6195", R"({"chnid":2,"mode":1,"width":1000,"height":500,"position":"46;26;230;130","maxWidth":9})", "OK"},
        {"/6194", R"({"channel":2})", R"({"mode":1,"installation":0,"analysis":0,"width":1000,"height":500,)"
                                      R"("minStartX":0,"minStartY":0,"minWidth":0,"minHeight":0,"maxStartX":0,)"
                                      R"("maxStartY":0,"maxWidth":9,"maxHeight":0,"position":"46;26;230;130"})"},
        {"/6131", R"({"chnid":4,"fishcorrect":2,"fishmount":1,"fishdisplay":3})", "OK"},
        {"/6130", R"({"id":4})", R"({"chnid":4,"result":0,"fishmount":1,"fishdisplay":3,"fishcorrect":2})"},
        {"/6197", R"({"ipaddr":"10.0.0.9","port":80,"transfer":1,"install":2,"display":3})", R"({"res":0})"},
        {"/6196", R"({"ipaddr":"10.0.0.9","port":80})",
         R"({"support":1,"transfer":1,"install":2,"display":3,"streamCnt":2})"},
        {"/6097", R"({"chnid":1,"sensitivity":4,"copyChn":"0001","regional":[{},{"enable":1,"polygonX":"1,2",)"
                  R"("action":{"enable":1,"triAlarms":2}}]})", R"({"res":0})"},
    };
    for (const auto& s : steps)
        EXPECT_EQ(run(s.path, s.body), s.want) << s.path;
    const std::string regional = run("/6096", R"({"chnid":3})");
    const std::string head = R"({"result":0,"chnid":3,"sensitivity":4,)";
    EXPECT_EQ(regional.substr(0, head.size()), head);
    EXPECT_NE(regional.find(R"({"enable":1,"polygonX":"1,2","polygonY":"","maxStayEnable":0)"), std::string::npos);
    EXPECT_NE(regional.find(R"("action":{"enable":1,"triAlarms":2,)"), std::string::npos) << regional;
}

}  // namespace
