// IP-camera module: camera parameters passed through the core service,
// black-box through nvrweb.cgi against the fake core service and coresim.
#include "modules/ipc/ipc.h"
#include "modules/ptz/ptz_records.h"
#include "tests/support/handler_test.h"

namespace {

std::string word(int w) { return int32_bytes({w}); }

class CameraParams : public HandlerTest {};

TEST_F(CameraParams, WatermarkAnswerIsReadBySizeAndSetIsCutAndPadded)
{
    ipc_watermark answer = zeroed<ipc_watermark>();
    answer.channel = 2, answer.enable = 1;
    put(answer.watermark, "Gate");
    core.reply(REQ_IPC_WATERMARK_GET, bytes_of(answer));
    EXPECT_TRUE(json_reply_is(post("/2058", R"({"chnid":2})").out, R"({"chnid":2,"enable":1,"watermark":"Gate"})"));
    EXPECT_EQ(sent(REQ_IPC_WATERMARK_GET).at(0).payload, word(2));
    core.reply(REQ_IPC_WATERMARK_GET, bytes_of(answer).substr(0, 12));  // no answer
    EXPECT_EQ(post("/2058", R"({"chnid":2})").out, kJsonError);

    core.reply(REQ_IPC_WATERMARK_SET, word(0));
    const std::string text(40, 'w');
    EXPECT_TRUE(json_reply_is(post("/2059", R"({"chnid":5,"enable":1,"watermark":")" + text + R"(","copy":"01"})").out,
                              R"({"res":0})"));
    ipc_watermark_set want = zeroed<ipc_watermark_set>();
    want.channel = 5, want.enable = 1;
    put(want.watermark, std::string(31, 'w'));
    put(want.copy, "0100010" + std::string(57, '0'));
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_WATERMARK_SET).at(0).payload, bytes_of(want)));
}

TEST_F(CameraParams, ChannelsOutsideTheTablesAreRefusedUnsent)
{
    const struct {
        const char* path;
        const char* key;
        std::string error;
    } cases[] = {
        {"/2058", "chnid", kJsonError}, {"/2061", "chnid", kJsonError}, {"/2057", "chnid", kJsonError},
        {"/2023", "id", ""},  // the older resources print nothing
    };
    for (const auto& c : cases)
        for (const char* channel : {"64", "-1", "\"x\""}) {
            const std::string body = std::string("{\"") + c.key + "\":" + channel + "}";
            EXPECT_EQ(post(c.path, body).out, c.error) << c.path << " " << body;
            EXPECT_TRUE(sent_all().empty()) << c.path << " " << body;
        }
}

TEST_F(CameraParams, RepliesFromAnswerWords)
{
    core.reply(REQ_IPC_EVENT_STREAM_SET, word(-7));
    EXPECT_TRUE(json_reply_is(
        post("/2061", R"({"chnid":1,"enable":1,"framerate":10,"bitrate":256,"iframeinterval":20})").out,
        R"({"res":-7})"));
    EXPECT_EQ(sent(REQ_IPC_EVENT_STREAM_SET).at(0).payload, int32_bytes({1, 0, 1, 10, 256, 20}));

    core.reply(REQ_IPC_MAIN_SUB_TYPE, word(3));
    EXPECT_TRUE(json_reply_is(post("/2053", R"({"chnid":4,"mainType":1,"subType":2,"time":"2026-01-02"})").out,
                              R"({"res":3})"));
    ipc_main_sub_type types = zeroed<ipc_main_sub_type>();
    types.channel = 4, types.main_type = 1, types.sub_type = 2;
    put(types.time, "2026-01-02");
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_MAIN_SUB_TYPE).at(0).payload, bytes_of(types)));

    const ipc_motion_status motion = {(1ULL << 63) | 1ULL};
    core.reply(REQ_IPC_MOTION_STATUS, bytes_of(motion));
    EXPECT_TRUE(json_reply_is(get("/2028").out, R"({"Motion":"1)" + std::string(62, '0') + R"(1"})"));
}

TEST_F(CameraParams, CommonParameterKeysAreCutAndRateControlWaits)
{
    core.reply(REQ_CAMERA_PARAM_SET, word(0));
    const std::string key(200, 'k');
    const CgiResult quick =
        post("/2024", R"({"id":3,"pagename":"p","httpname":"h","key":")" + key + R"(","value":"v"})");
    EXPECT_EQ(quick.out, text_reply("OK"));
    camera_param_set want = zeroed<camera_param_set>();
    want.channel = 3;
    put(want.pagename, "p"), put(want.httpname, "h"), put(want.key, std::string(127, 'k')), put(want.value, "v");
    EXPECT_TRUE(same_bytes(sent(REQ_CAMERA_PARAM_SET).at(0).payload, bytes_of(want)));

    core.reply(REQ_CAMERA_PARAM_SET, word(1));
    const CgiResult slow =
        post("/2024", R"({"id":3,"pagename":"p","httpname":"h","key":"ratecontrol2","value":"v"})");
    EXPECT_EQ(slow.out, text_reply("ERROR"));
    EXPECT_GE(slow.seconds, 1.8);
    EXPECT_LT(quick.seconds, 1.5);
}

TEST_F(CameraParams, RegionsCarryTheirTopAndAreCutToTheRecord)
{
    const std::string areas = R"([{"enable":1,"left":10,"top":20,"right":30,"bottom":40},{"enable":1,"top":7}])";
    const struct {
        std::string count;
        int32_t stored;
    } cases[] = {{"30", 2}, {"1", 1}, {"-4", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(post("/2040", R"({"chnid":6,"enable":1,"cnt":)" + c.count + R"(,"area":)" + areas + "}").out,
                  text_reply("OK"));
        ipc_image_region_set want = zeroed<ipc_image_region_set>();
        want.channel = 6, want.enable = 1, want.count = c.stored;
        if (c.stored > 0)
            want.areas[0] = {1, 10, 20, 30, 40};
        if (c.stored > 1)
            want.areas[1] = {1, 0, 7, 0, 0};
        ASSERT_TRUE(core.wait_for(REQ_IPC_REGION_SET, 1));
        EXPECT_TRUE(same_bytes(sent(REQ_IPC_REGION_SET).at(0).payload, bytes_of(want))) << c.count;
    }
    ipc_image_region answer = zeroed<ipc_image_region>();
    answer.channel = 6, answer.enable = 1, answer.sdk_version = 2, answer.count = 1000;
    answer.areas[0] = {1, 1, 2, 3, 4};
    core.reply(REQ_IPC_REGION_GET, bytes_of(answer));
    const std::string out = canon(reply_body(post("/2039", R"({"id":6})").out));
    EXPECT_NE(out.find(R"("area":[{"enable":1,"left":1,"top":2,"right":3,"bottom":4},)"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '{'), 1 + IPC_REGIONS) << out;  // the count cut to 28
}

TEST_F(CameraParams, DayNightProfilesAreCutToThePayload)
{
    std::string images = "[";
    for (int i = 0; i < 9; i++)
        images += std::string(i ? "," : "") + "{\"enable\":1,\"gainLevel\":" + std::to_string(i) + "}";
    EXPECT_EQ(post("/2047", R"({"chnid":3,"image":)" + images + "]}").out, text_reply("OK"));
    ipc_daynight want = zeroed<ipc_daynight>();
    want.channel = 3, want.count = IPC_DAYNIGHT_PROFILES;
    for (int i = 0; i < IPC_DAYNIGHT_PROFILES; i++)
        want.profiles[i].enable = 1, want.profiles[i].gain_level = i;
    ASSERT_TRUE(core.wait_for(REQ_IPC_DAYNIGHT_SET, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_DAYNIGHT_SET).at(0).payload, bytes_of(want)));

    EXPECT_EQ(post("/2038", R"({"channel":4,"startHour":6,"colorMode":2})").out, text_reply("OK"));
    want = zeroed<ipc_daynight>();
    want.channel = 4, want.count = 1, want.profiles[0].start_hour = 6, want.profiles[0].color_mode = 2;
    ASSERT_TRUE(core.wait_for(REQ_IPC_DAYNIGHT_SET, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_DAYNIGHT_SET).at(0).payload, bytes_of(want)));
}

TEST_F(CameraParams, ImageSettingsOfSeveralChannelsAndTheDisplayKeyOrder)
{
    EXPECT_EQ(post("/2020", R"({"channel":[1,70,63,-1,"x"],"smartir":2,"aflevel":9,"id":5})").out, text_reply("OK"));
    ipc_image_enhancement_set want = zeroed<ipc_image_enhancement_set>();
    want.channels = (1ULL << 1) | (1ULL << 63), want.smartir = 2, want.aflevel = 9;
    ASSERT_TRUE(core.wait_for(REQ_IPC_ENHANCEMENT_SET, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_ENHANCEMENT_SET).at(0).payload, bytes_of(want)));

    ipc_image_display display = zeroed<ipc_image_display>();
    display.id = 2, display.sensortype = 3, display.smokeddomecover = 1;
    put(display.productmodel, "M1"), put(display.softversion, "S1");
    core.reply(REQ_IPC_DISPLAY_GET, bytes_of(display));
    const std::string out = canon(reply_body(post("/2021", R"({"id":2})").out));
    EXPECT_EQ(out.rfind(R"({"id":2,"colorkiller":0,)", 0), 0u) << out;
    EXPECT_NE(out.find(R"("sensortype":3,"productmodel":"M1","softversion":"S1","smokeddomecover":1,)"),
              std::string::npos) << out;
}

// The local device: the cameras coresim simulates remember what is set.
TEST(CameraParamsCoresim, CamerasRememberWhatIsSet)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto call = [&](const std::string& path, const std::string& body) { return post_json_body(root.path(), path, body); };
    EXPECT_EQ(call("/2024", R"({"id":1,"pagename":"img","httpname":"a","key":"k","value":"42"})"), "OK");
    EXPECT_EQ(canon(call("/2023", R"({"id":1,"pagename":"img","httpname":"a","key":"k"})")),
              R"({"id":1,"pagename":"img","httpname":"a","key":"k","value":"42"})");
    EXPECT_EQ(canon(call("/2059", R"({"chnid":0,"enable":1,"watermark":"yard","copy":"0001"})")), R"({"res":0})");
    for (int channel : {0, 3})
        EXPECT_EQ(canon(call("/2058", "{\"chnid\":" + std::to_string(channel) + "}")),
                  "{\"chnid\":" + std::to_string(channel) + ",\"enable\":1,\"watermark\":\"yard\"}");
    EXPECT_EQ(canon(call("/2058", R"({"chnid":2})")), R"({"chnid":2,"enable":0,"watermark":""})");
    EXPECT_EQ(call("/2058", R"({"chnid":40})"), "{status:\"CGI ERROR\"}");  // no camera bound there
    EXPECT_EQ(canon(call("/2026", R"({"cmd":"reboot; rm -rf /"})")), R"({"result":"OK"})");

    EXPECT_EQ(call("/2040", R"({"chnid":2,"enable":1,"cnt":2,"area":[{"enable":1,"top":5},{"enable":1,"top":6}]})"),
              "OK");
    EXPECT_EQ(call("/2050", R"({"chan_id":2,"area_id":0})"), "OK");
    // Neither is answered: the region list read back shows that both arrived.
    EXPECT_EQ(canon(call("/2039", R"({"id":2})")),
              R"({"id":2,"enable":1,"sdkversion":1,"area":[{"enable":1,"left":0,"top":6,"right":0,"bottom":0}]})");
}

}  // namespace
