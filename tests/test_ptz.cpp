// PTZ module, black-box through nvrweb.cgi against the fake core service and
// a scratch database: moves, presets, tours, read-back, ports, basic settings.
#include <numeric>

#include "core/json_util.h"
#include "modules/ptz/ptz.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kTourKind = {"ptz_tour", (int)sizeof(db_ptz_tour), 64};
const vxdb_kind kSpeedKind = {"ptz_speed", (int)sizeof(db_ptz_speed), 64};
const vxdb_kind kPortKind = {"ptz_port", (int)sizeof(db_ptz_port), 64};

std::string word(int w) { return int32_bytes({w}); }

std::string action_bytes(int channel, int action, int preset, std::vector<int> speeds, const std::string& name = "",
                         int fisheye = 0, int stream = 0)
{
    ptz_action a = zeroed<ptz_action>();
    a.channel = channel, a.action = action, a.preset_id = preset, a.fisheye_type = fisheye, a.stream_id = stream;
    a.pan_speed = speeds[0], a.tilt_speed = speeds[1], a.zoom_speed = speeds[2], a.focus_speed = speeds[3];
    put(a.preset_name, name);
    return bytes_of(a);
}

std::string param_bytes(int channel, const char* key, const std::string& value)
{
    camera_param_set p = zeroed<camera_param_set>();
    p.channel = channel;
    put(p.httpname, "vsetting.html"), put(p.key, key), put(p.value, value);
    return bytes_of(p);
}

std::string path_json(int n, int first)
{
    std::string s = "[";
    for (int k = 0; k < n; k++)
        s += (k ? "," : "") + std::string("{\"preset\":") + std::to_string(first + k) + ",\"speed\":" +
             std::to_string(k % 7) + ",\"time\":" + std::to_string(100 + k) + "}";
    return s + "]";
}

class PtzTest : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        set_param("max_cameras", 16);
    }
    ::testing::AssertionResult logged(const std::vector<std::string>& want)
    {
        std::vector<std::string> got = logs(want.size());
        return same_bytes(std::accumulate(got.begin(), got.end(), std::string()),
                          std::accumulate(want.begin(), want.end(), std::string()));
    }
    // The payloads of `code` the last run sent, in order.
    std::vector<std::string> payloads(int code)
    {
        std::vector<std::string> out;
        for (const FakeRequest& r : sent(code))
            out.push_back(r.payload);
        return out;
    }
    // A run meant to end without an answer: a short wait.
    CgiResult unanswered(const std::string& path, const std::string& body)
    {
        core.clear();
        CgiRequest r;
        r.method = "POST", r.path = path, r.body = body, r.content_type = "application/json";
        r.cookie = "lang=en; userName=admin; theme=dark", r.remote_addr = kAddr, r.max_steps = 8;
        return run_cgi(root.path(), r);
    }
    // Nothing answered, sent, logged or stored.
    void refused(const std::string& path, const std::string& body, const std::string& out = "")
    {
        core.clear();
        EXPECT_EQ(post(path, body).out, out) << path << " " << body;
        EXPECT_TRUE(no_logs()) << path << " " << body;
        EXPECT_TRUE(sent_all().empty()) << path << " " << body;
    }
};

TEST_F(PtzTest, MoveSendsActionsThenTheCameraSpeedAndLogs)
{
    core.reply(REQ_CAMERA_PARAM_SET, word(-5));  // "OK" whatever it says
    const std::string rest = R"(,"tiltSpeed":3,"zoomSpeed":2,"focusSpeed":1,"fisheyeType":1,"streamId":4,)";
    const struct { int channel; std::string body; int pan; std::vector<int> actions; const char* value; } cases[] = {
        {2, R"({"channelId":2,"action":21,"panSpeed":5)" + rest + R"("isAutoFocus":1})",
         5, {21, 12}, "4"},
        {15, R"({"channelId":15,"action":21,"panSpeed":1)" + rest + R"("isAutoFocus":0})",
         1, {21}, "1"},
        {2, R"({"channelId":2,"action":3,"panSpeed":0)" + rest + R"("isAutoFocus":1})",
         0, {3}, "1"},
    };
    for (const auto& c : cases) {
        core.clear();
        EXPECT_EQ(post("/5000", c.body).out, text_reply("OK")) << c.body;
        const int channel = c.channel;
        std::vector<std::string> want;
        for (int a : c.actions)
            want.push_back(action_bytes(channel, a, 0, {c.pan, 3, 2, 1}, "", 1, 4));
        EXPECT_EQ(payloads(REQ_PTZ_MOVE), want) << c.body;
        EXPECT_EQ(payloads(REQ_CAMERA_PARAM_SET), std::vector<std::string>{param_bytes(channel, "ptzspeed", c.value)});
        EXPECT_TRUE(logged({log_record(206, 900, channel + 1)})) << c.body;
    }
    // No answer: the text error body, logged all the same.
    core.silent(REQ_CAMERA_PARAM_SET);
    EXPECT_EQ(unanswered("/5000", R"({"channelId":0,"action":1})").out, text_reply("CGI ERROR"));
    EXPECT_TRUE(logged({log_record(206, 900, 1)}));
    for (const char* body : {R"({"channelId":16,"action":1})", R"({"channelId":-1,"action":1})",
                             R"({"channelId":1,"action":-1})", R"({"action":1})", "not json"})
        refused("/5000", body);
}

TEST_F(PtzTest, PresetsCutTheirNameAndFisheyeNamesGoToTheCamera)
{
    core.reply(REQ_CAMERA_PARAM_SET, word(0));
    const std::string forty(40, 'n');
    const std::string speeds = R"(,"panSpeed":1,"tiltSpeed":2,"zoomSpeed":3,"focusSpeed":4)";
    const struct { int channel; std::string body; std::string action; std::vector<std::string> params; } cases[] = {
        {3, R"({"channelId":3,"action":22,"presetId":300,"name":")" + forty + "\"" + speeds + "}",
         action_bytes(3, 22, 300, {1, 2, 3, 4}, forty.substr(0, 30)), {}},
        // Other actions carry no name.
        {3, R"({"channelId":3,"action":24,"presetId":0,"name":"x")" + speeds + "}",
         action_bytes(3, 24, 0, {1, 2, 3, 4}), {}},
        {1, R"({"channelId":1,"action":22,"presetId":7,"name":"Door","fisheyeType":1,"streamId":2)" + speeds + "}",
         action_bytes(1, 22, 7, {1, 2, 3, 4}, "Door", 1, 2), {param_bytes(1, "ipncptz=setfishpreset", "2:7:Door")}},
        {1,
         R"({"channelId":1,"action":22,"presetId":8,"name":")" + forty + R"(","fisheyeType":1,"streamId":0)" + speeds +
             "}",
         action_bytes(1, 22, 8, {1, 2, 3, 4}, forty.substr(0, 30), 1, 0),
         {param_bytes(1, "ipncptz=setfishpreset", "0:8:" + forty.substr(0, 31))}},
    };
    for (const auto& c : cases) {
        core.clear();
        EXPECT_EQ(post("/5001", c.body).out, text_reply("OK")) << c.body;
        EXPECT_EQ(payloads(REQ_PTZ_PRESET), std::vector<std::string>{c.action}) << c.body;
        EXPECT_EQ(payloads(REQ_CAMERA_PARAM_SET), c.params) << c.body;
        EXPECT_TRUE(logged({log_record(206, 904, c.channel + 1)})) << c.body;
    }
    for (const std::string& body : {R"({"channelId":3,"action":22,"presetId":301)" + speeds + "}",
                                    R"({"channelId":16,"action":22,"presetId":1)" + speeds + "}",
                                    std::string(R"({"channelId":3,"action":22,"presetId":1,"panSpeed":1})")})
        refused("/5001", body);
}

TEST_F(PtzTest, ToursAreStoredShortenedAndSentWithinTheirRecords)
{
    db_ptz_tour before = zeroed<db_ptz_tour>();
    for (int k = 0; k < 4; k++)
        before.points[2][k] = {10 + k, 5 + k, 1 + k};
    before.points[0][0] = {99, 98, 97};
    store(kTourKind, 1, &before);

    // A tour of 4 points shortened to 2: the old points 3 and 4 are gone.
    const struct { std::string body; int first, count; } cases[] = {
        {R"({"chn":1,"tourid":3,"rowsize":2,"path":)" + path_json(3, 20) + "}", 20, 2},
        {R"({"chn":1,"tourid":3,"rowsize":60,"path":)" + path_json(60, 1) + "}", 1, 48},
        {R"({"chn":1,"tourid":3,"rowsize":9,"path":)" + path_json(3, 40) + "}", 40, 3},
    };
    for (const auto& c : cases) {
        core.clear();
        EXPECT_EQ(post("/6055", c.body).out, text_reply("OK"));
        const int first = c.first;
        db_ptz_tour want = before;
        ptz_tour_set set = zeroed<ptz_tour_set>();
        set.channel = 1, set.tour_id = 3, set.count = c.count;
        memset(want.points[2], 0, sizeof want.points[2]);
        for (int k = 0; k < c.count; k++)
            want.points[2][k] = set.points[k] = {first + k, 100 + k, k % 7};
        db_ptz_tour got;
        ASSERT_EQ(stored(kTourKind, 1, &got), 0);
        EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want))) << c.body;
        EXPECT_EQ(payloads(REQ_PTZ_TOUR_SET), std::vector<std::string>{bytes_of(set)});
        EXPECT_TRUE(logged({log_record(206, 904, 2)}));
        before = want;
    }
    for (const char* path : {"/6055", "/6056", "/6057"})
        for (std::string head : {"\"chn\":1,\"tourid\":0", "\"chn\":1,\"tourid\":9", "\"chn\":16,\"tourid\":1",
                                        "\"chn\":-1,\"tourid\":1", "\"tourid\":1"})
            refused(path, "{" + head + ",\"rowsize\":1,\"path\":" + path_json(1, 1) + "}");
    db_ptz_tour got;
    stored(kTourKind, 1, &got);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(before)));

    // Fisheye: only the block of the tour, nothing stored.
    core.clear();
    EXPECT_EQ(post("/6056", R"({"chn":2,"tourid":8,"streamId":3,"rowsize":2,"path":)" + path_json(2, 5) + "}").out,
              text_reply("OK"));
    fish_tour_set fish = zeroed<fish_tour_set>();
    fish.channel = 2, fish.stream_id = 3, fish.index = 7;
    fish.tours[7].preset[0] = 5, fish.tours[7].preset[1] = 6;
    fish.tours[7].dwell_time[0] = 100, fish.tours[7].dwell_time[1] = 101, fish.tours[7].speed[1] = 1;
    EXPECT_EQ(payloads(REQ_PTZ_FISH_TOUR_SET), std::vector<std::string>{bytes_of(fish)});
    EXPECT_TRUE(logged({log_record(206, 904, 3)}));
    EXPECT_EQ(stored(kTourKind, 2, &got), 1);

    // Clearing keeps dwell times and speeds.
    core.clear();
    EXPECT_EQ(post("/6057", R"({"chn":1,"tourid":3,"fisheyeType":1,"streamId":2})").out, text_reply("OK"));
    for (ptz_tour_point& p : before.points[2])
        p.preset = 0;
    stored(kTourKind, 1, &got);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(before)));
    EXPECT_EQ(payloads(REQ_PTZ_TOUR_CLEAR), std::vector<std::string>{int32_bytes({1, 3, 0, 0, 0, 0, 1, 2})});
    EXPECT_TRUE(logged({log_record(206, 904, 2)}));
}

TEST_F(PtzTest, CommandsSentWithoutWaiting)
{
    const struct { const char* path; std::string body; int code; std::string bytes; int parameter, object; } cases[] = {
        {"/5002", R"({"chn":4,"tourid":2,"fisheyeType":1,"streamId":3})", REQ_PTZ_TOUR_RUN,
         int32_bytes({4, 2, 0, 0, 0, 0, 1, 3}), 900, 5},
        {"/5003", R"({"chn":4,"tourid":2})", REQ_PTZ_TOUR_STOP, int32_bytes({4, 2, 0, 0, 0, 0, 0, 0}), 900, 5},
        {"/5004", R"({"action":4,"chn":6,"tourid":3})", REQ_PTZ_PATTERN, action_bytes(6, 40, 3, {0, 0, 0, 0}), 904, 7},
        {"/5004", R"({"action":7,"chn":6,"tourid":3})", REQ_PTZ_PATTERN, action_bytes(6, 0, 3, {0, 0, 0, 0}), 904, 7},
        {"/5006", R"({"channelId":9,"action":5})", REQ_PTZ_PRESET_CALL, int32_bytes({9, 5}), 900, 10},
        // Told as it comes; its log number wraps as 32-bit arithmetic does, without overflow.
        {"/5006", R"({"channelId":2147483647,"action":5})", REQ_PTZ_PRESET_CALL, int32_bytes({INT32_MAX, 5}), 900,
         INT32_MIN},
        {"/5007", R"({"camId":1,"Zoom":-1,"ZoomSpeed":6})", REQ_PTZ_ZOOM, int32_bytes({1, -1, 6}), 900, 2},
    };
    for (const auto& c : cases) {
        core.clear();
        EXPECT_EQ(post(c.path, c.body).out, text_reply("OK")) << c.path;
        EXPECT_EQ(payloads(c.code), std::vector<std::string>{c.bytes}) << c.path << " " << c.body;
        EXPECT_TRUE(logged({log_record(206, c.parameter, c.object)})) << c.path;
    }
    core.reply(REQ_CAMERA_PARAM_SET, "");
    core.clear();
    EXPECT_EQ(post("/5008", R"({"chn":5,"Speed":9})").out, text_reply("OK"));
    EXPECT_EQ(payloads(REQ_CAMERA_PARAM_SET), std::vector<std::string>{param_bytes(5, "ptzspeed", "8")});
    EXPECT_TRUE(logged({log_record(206, 904, 6)}));

    core.reply(REQ_PTZ_CONTROL, word(3));
    core.clear();
    EXPECT_TRUE(json_reply_is(post("/5009", R"({"chnid":5,"ptzCmd":7})").out, R"({"res":3})"));
    EXPECT_EQ(payloads(REQ_PTZ_CONTROL), std::vector<std::string>{int32_bytes({5, 7})});
    EXPECT_TRUE(logged({log_record(206, 904, 6)}));
    refused("/5009", R"({"chnid":64,"ptzCmd":7})", kJsonError);
}

TEST_F(PtzTest, SpeedsKeptInTheDatabaseByChannel)
{
    const db_ptz_speed old = {0, 1, 2, 3, 4};
    store(kSpeedKind, 7, &old);
    EXPECT_TRUE(json_reply_is(post("/6053", R"({"camId":7})").out,
                              R"({"pan_speed":1,"tilt_speed":2,"zoom_speed":3,"foucs_speed":4})"));
    EXPECT_EQ(post("/6054", R"({"camId":7,"pan_speed":9,"tilt_speed":8,"zoom_speed":7,"foucs_speed":6})").out,
              text_reply("OK"));
    db_ptz_speed got;
    stored(kSpeedKind, 7, &got);
    EXPECT_TRUE(same_bytes(bytes_of(got), int32_bytes({7, 9, 8, 7, 6})));
    EXPECT_TRUE(logged({log_record(206, 904, 8)}));
    for (const char* path : {"/6053", "/6054"})
        for (const char* body :
             {R"({"camId":16,"pan_speed":1})", R"({"camId":-1,"pan_speed":1})", R"({"pan_speed":1})"})
            refused(path, body);
    EXPECT_EQ(stored(kSpeedKind, 15, &got), 1);
}

std::string state_json(const ptz_state& s)
{
    std::string j = R"({"status":"OK","PRESET":[)";
    for (int i = 0; i < PTZ_MAX_PRESETS; i++)
        j += (i ? "," : "") + std::string("{\"enable\":") + std::to_string(s.presets[i].enable) + ",\"name\":\"" +
             std::string(s.presets[i].name, wire_strlen(s.presets[i].name)) + "\"}";
    j += "],\"TOUR\":[";
    for (int t = 0; t < PTZ_MAX_TOURS; t++) {
        j += t ? ",[" : "[";
        for (int k = 0; k < PTZ_TOUR_POINTS && s.tours[t].preset[k] >= 1; k++)
            j += (k ? "," : "") + std::string("{\"preset_id\":") + std::to_string(s.tours[t].preset[k]) +
                 ",\"speed\":" + std::to_string(s.tours[t].speed[k]) + ",\"timeout\":" +
                 std::to_string(s.tours[t].dwell_time[k]) + "}";
        j += "]";
    }
    return j + R"(],"PATTERN":[{"enable":1},{"enable":0},{"enable":0},{"enable":1}],"autoscan_status":[1,0,0,0,5],)"
               R"("tour_status":[[0,1,2,3,4,5,6,7],[8,9,10,11,12,13,14,15],[16,17,18,19,20,21,22,23],)"
               R"([24,25,26,27,28,29,30,31],[32,33,34,35,36,37,38,39]]})";
}

TEST_F(PtzTest, StateAnswerPrintedAndShortAnswersAreErrors)
{
    ptz_state s = zeroed<ptz_state>();
    s.presets[0].enable = 1;
    put(s.presets[0].name, "Gate");
    s.presets[299].enable = 1;
    memset(s.presets[299].name, 'N', 32);  // no NUL: read within its 32 bytes
    s.presets[1].enable = 2;                // the next record follows at once
    for (int k = 0; k < PTZ_TOUR_POINTS; k++)
        s.tours[7].preset[k] = k + 1, s.tours[7].speed[k] = k, s.tours[7].dwell_time[k] = 2 * k;
    s.tours[0].preset[0] = 4, s.tours[0].preset[1] = 5, s.tours[0].preset[2] = 0, s.tours[0].preset[3] = 6;
    s.tours[1].preset[0] = 0, s.tours[1].preset[1] = 3;  // a first point of 0: empty
    s.tours[2].preset[0] = -1;
    s.pattern_enable[0] = s.pattern_enable[3] = 1;
    for (int i = 0; i < 40; i++)
        s.tour_status[i / 8][i % 8] = i;
    s.autoscan_status[0] = 1, s.autoscan_status[4] = 5;
    core.reply(REQ_PTZ_STATE, bytes_of(s));
    core.reply(REQ_PTZ_FISH_STATE, bytes_of(s));
    EXPECT_TRUE(json_reply_is(post("/5005", R"({"chn":3})").out, state_json(s)));
    EXPECT_EQ(payloads(REQ_PTZ_STATE), std::vector<std::string>{word(3)});
    core.clear();
    EXPECT_TRUE(json_reply_is(post("/5005", R"({"chn":3,"fisheyeType":1,"streamId":2})").out, state_json(s)));
    EXPECT_EQ(payloads(REQ_PTZ_FISH_STATE), std::vector<std::string>{int32_bytes({3, 2})});

    for (const std::string& answer : {bytes_of(s).substr(0, 100), std::string(), bytes_of(s).substr(0, 15603)}) {
        core.reply(REQ_PTZ_STATE, answer);
        EXPECT_TRUE(json_reply_is(post("/5005", R"({"chn":3})").out, R"({"status":"Error"})")) << answer.size();
    }
    core.silent(REQ_PTZ_STATE);
    EXPECT_EQ(unanswered("/5005", R"({"chn":3})").out, kJsonError);
}

TEST_F(PtzTest, PortSettingsStoredForChannelsOfTheList)
{
    const std::string values =
        R"("connectType":1,"baudRate":9600,"dataBits":8,"stopBits":1,"parityType":2,"protocol":13,"address":5)";
    EXPECT_EQ(post("/6051", R"({"cnt":3,"chnid":[3,70,3],"camId":9,)" + values + "}").out, text_reply("OK"));
    db_ptz_port got;
    ASSERT_EQ(stored(kPortKind, 3, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), int32_bytes({3, 9600, 8, 1, 2, 13, 5, 0, 1})));
    EXPECT_EQ(payloads(REQ_PTZ_PORT_CHANGED), std::vector<std::string>{word(3)});
    EXPECT_TRUE(logged({log_record(206, 904, 4)}));
    EXPECT_TRUE(json_reply_is(post("/6050", R"({"chnid":3})").out,
                              R"({"camId":3,"connectType":1,"baudRate":9600,"dataBits":8,"stopBits":1,)"
                              R"("parityType":2,"protocol":13,"address":5})"));
    for (const char* body : {R"({"chnid":8})", R"({"chnid":-1})", "{}"})
        refused("/6050", body, kJsonError);
    for (const std::string& bad : {std::string("\"dataBits\":9"), std::string("\"protocol\":14"),
                                   std::string("\"parityType\":3"), std::string("\"connectType\":2")}) {
        std::string body = "{\"cnt\":1,\"chnid\":[4]," + values + "}";
        const std::string key = bad.substr(0, bad.find(':') + 1);
        const size_t at = body.find(key), end = body.find_first_of(",}", at);
        refused("/6051", body.replace(at, end - at, bad));
    }
    refused("/6051", "{\"cnt\":1," + values + "}");
    EXPECT_EQ(stored(kPortKind, 4, &got), 1);
}

TEST_F(PtzTest, CameraAnswersSupportLedAndBasicSettings)
{
    for (auto [answer, shown] : {std::pair{-1, "-1"}, std::pair{-2, "0"}, std::pair{1, "0"}}) {
        core.reply(REQ_PTZ_SUPPORT, word(answer));
        core.clear();
        EXPECT_EQ(post("/6052", R"({"camId":2})").out, text_reply(shown));
        EXPECT_EQ(payloads(REQ_PTZ_SUPPORT), std::vector<std::string>{word(2)});
    }
    core.reply(REQ_LED_STATUS, int32_bytes({3, 1}));
    EXPECT_TRUE(json_reply_is(post("/5010", R"({"chnid":3})").out, R"({"chnid":3,"status":1})"));
    refused("/5010", R"({"chnid":64})", kJsonError);
    core.reply(REQ_LED_STATUS, word(3));
    EXPECT_EQ(unanswered("/5010", R"({"chnid":3})").out, kJsonError);

    // The request: word 0 is 0 whatever the body says; the mask cut to 64.
    core.reply(REQ_PTZ_BASIC_SET, word(0));
    std::string body = R"({"status":9,"chnId":2,"channelMask":")" + std::string(100, '1') + "\"";
    ptz_basic want = zeroed<ptz_basic>();
    int32_t words[16];
    const char* keys[] = {"zoomStatus", "panTiltStatus", "presetStatus", "patrolStatus", "patternStatus",
                          "autoScanStatus", "presetFreezing", "presetSpeed", "manualSpeed", "patrolRecovering",
                          "patrolRecoveryTime", "focusMode", "minFocusDistance", "resumeTime", "fanWorkingMode"};
    words[0] = 2;
    for (int i = 0; i < 15; i++)
        body += ",\"" + std::string(keys[i]) + "\":" + std::to_string(10 + i), words[i + 1] = 10 + i;
    memcpy((char*)&want + offsetof(ptz_basic, channel), words, sizeof words);
    memset(want.channel_mask, '1', 64);
    EXPECT_TRUE(json_reply_is(post("/5012", body + "}").out, R"({"status":0})"));
    EXPECT_EQ(payloads(REQ_PTZ_BASIC_SET), std::vector<std::string>{bytes_of(want)});

    want.status = 7;
    core.reply(REQ_PTZ_BASIC_GET, bytes_of(want));
    std::string printed = R"({"status":7,"chnId":2)";
    for (int i = 0; i < 15; i++)
        printed += ",\"" + std::string(keys[i]) + "\":" + std::to_string(10 + i);
    EXPECT_TRUE(json_reply_is(post("/5011", R"({"chnId":2})").out, printed + "}"));
    core.reply(REQ_PTZ_BASIC_GET, bytes_of(want).substr(0, 135));
    EXPECT_EQ(unanswered("/5011", R"({"chnId":2})").out, kJsonError);
    for (const char* path : {"/5011", "/5012"})
        refused(path, "not json", kJsonError);
}

// The local device: presets and tours set through the CGI come back in "/5005".
TEST(PtzCoresim, PresetsAndToursComeBack)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto call = [&](const std::string& path, const std::string& body) { return post_json_body(root.path(), path, body); };
    EXPECT_EQ(call("/5001", R"({"channelId":1,"action":22,"presetId":5,"name":"Dock","panSpeed":1,"tiltSpeed":1,)"
                            R"("zoomSpeed":1,"focusSpeed":1})"),
              "OK");
    EXPECT_EQ(call("/6055", R"({"chn":1,"tourid":2,"rowsize":2,"path":)" + path_json(2, 5) + "}"), "OK");
    EXPECT_EQ(call("/5002", R"({"chn":1,"tourid":2,"streamId":1})"), "OK");
    EXPECT_EQ(call("/5004", R"({"action":0,"chn":1,"tourid":4})"), "OK");
    EXPECT_EQ(call("/6052", R"({"camId":1})"), "0");
    EXPECT_EQ(call("/6052", R"({"camId":9})"), "-1");
    // Requests sent without waiting may still be on their way.
    std::string state;
    for (int i = 0; i < 50 && state.find("\"Dock\"") == std::string::npos; i++)
        state = call("/5005", R"({"chn":1})");
    JsonPtr o(json_tokener_parse(state.c_str()));
    json_object *presets = nullptr, *tours = nullptr, *patterns = nullptr, *status = nullptr;
    ASSERT_TRUE(o && json_object_object_get_ex(o.get(), "PRESET", &presets) &&
                json_object_object_get_ex(o.get(), "TOUR", &tours) &&
                json_object_object_get_ex(o.get(), "PATTERN", &patterns) &&
                json_object_object_get_ex(o.get(), "tour_status", &status))
        << state;
    EXPECT_EQ(canon(json_object_to_json_string(json_array_at(presets, 4))), R"({"enable":1,"name":"Dock"})");
    EXPECT_EQ(canon(json_object_to_json_string(json_array_at(tours, 1))),
              R"([{"preset_id":5,"speed":0,"timeout":100},{"preset_id":6,"speed":1,"timeout":101}])");
    EXPECT_EQ(canon(json_object_to_json_string(json_array_at(patterns, 3))), R"({"enable":1})");
    EXPECT_EQ(canon(json_object_to_json_string(json_array_at(status, 1))), "[0,1,0,0,0,0,0,0]");
}

}  // namespace
