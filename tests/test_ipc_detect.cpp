// IP-camera module: motion detection, auto tracking, audio and the model
// list of the cameras, black-box through nvrweb.cgi against the fake core
// service and coresim.
#include <memory>

#include "modules/ipc/ipc.h"
#include "tests/support/handler_test.h"

namespace {

std::string word(int w) { return int32_bytes({w}); }

// A request schedule: 8 days of 12 [start, end, action]; day d's first slot
// runs from "0d:00" to "1d:00".
std::string schedule_json()
{
    std::string days = "[";
    for (int d = 0; d < 8; d++) {
        days += d ? ",[" : "[";
        for (int s = 0; s < 12; s++)
            days += std::string(s ? "," : "") +
                    (s ? R"(["","",0])" : "[\"0" + std::to_string(d) + ":00\",\"1" + std::to_string(d) + ":00\",1]");
        days += "]";
    }
    return days + "]";
}

// The stored form of schedule_json(): every day valid.
void fill_schedule(Schedule& s)
{
    for (int d = 0; d < 8; d++) {
        put(s.days[d].slots[0].start_time, "0" + std::to_string(d) + ":00");
        put(s.days[d].slots[0].end_time, "1" + std::to_string(d) + ":00");
        s.days[d].slots[0].action_type = 1;
        s.days[d].whole_day_enable = 1;
    }
}

template <typename T>
std::unique_ptr<T> zeroed_big()
{
    std::unique_ptr<T> t(new T);
    memset(t.get(), 0, sizeof(T));
    return t;
}

class CameraDetection : public HandlerTest {};

TEST_F(CameraDetection, MotionDetectionCarriesItsScheduleAndCopies)
{
    const struct {
        std::string copy;
        uint64_t mask;
    } cases[] = {
        {R"("copyCnt":3,"copyChn":[0,5,64,7])", (1ULL << 0) | (1ULL << 5)},  // 7 lies past the count
        {R"("copyCnt":100,"copyChn":[1])", 1ULL << 1},                        // the count past the list
        {R"("copyCnt":-2,"copyChn":[1])", 0},
    };
    for (const auto& c : cases) {
        core.reply(REQ_IPC_MOTION_DETECT_SET, word(-3));
        const std::string body = R"({"chnid":3,"enable":1,"sensitivity":4,"minsize":2,"mintime":6,"adaptability":1,)"
                                 R"("map_mask":")" + std::string(400, '1') + R"(","effective":)" + schedule_json() +
                                 "," + c.copy + "}";
        EXPECT_TRUE(json_reply_is(post("/2052", body).out, R"({"res":-3})")) << c.copy;
        auto want = zeroed_big<ipc_motion_detect>();
        want->channel = 3, want->enable = 1, want->sensitivity = 4, want->minsize = 2, want->mintime = 6;
        want->adaptability = 1, want->copy_channels = c.mask;
        put(want->map_mask, std::string(IPC_MOTION_MAP_SIZE - 1, '1'));
        fill_schedule(want->effective);
        EXPECT_TRUE(same_bytes(sent(REQ_IPC_MOTION_DETECT_SET).back().payload, bytes_of(*want))) << c.copy;
    }

    auto answer = zeroed_big<ipc_motion_detect>();
    answer->channel = 3, answer->enable = 1, answer->sensitivity = 7, answer->copy_channels = ~0ULL;
    put(answer->map_mask, "0110");
    fill_schedule(answer->effective);
    answer->effective.days[1].whole_day_enable = 0;  // an invalid day is printed empty
    core.reply(REQ_IPC_MOTION_DETECT_GET, bytes_of(*answer));
    const std::string out = canon(reply_body(post("/2051", R"({"chnid":3})").out));
    EXPECT_EQ(out.rfind(R"({"chnid":3,"enable":1,"sensitivity":7,"minsize":0,"mintime":0,"adaptability":0,)"
                        R"("map_mask":"0110","effective":[[{"startTime":"00:00","endTime":"10:00","actionType":1},)",
                        0),
              0u) << out;
    EXPECT_NE(out.find(R"("actionType":0}],[{"startTime":"","endTime":"","actionType":0},)"), std::string::npos) << out;
    EXPECT_EQ(sent(REQ_IPC_MOTION_DETECT_GET).at(0).payload, word(3));

    core.reply(REQ_IPC_MOTION_DETECT_GET, bytes_of(*answer).substr(0, sizeof(ipc_motion_detect) - 1));
    EXPECT_EQ(post("/2051", R"({"chnid":3})").out, kJsonError);
}

TEST_F(CameraDetection, AutoTrackingAndAudio)
{
    core.reply(REQ_IPC_AUTO_TRACKING_SET, word(0));
    EXPECT_TRUE(json_reply_is(post("/2055", R"({"chnid":9,"channels":[9,2,70],"enable":1,"show":1,"area":3,)"
                                            R"("trackingObject":2,"zoom_number":4,"schedule":)" + schedule_json() + "}")
                                  .out,
                              R"({"res":0})"));
    auto want = zeroed_big<ipc_auto_tracking>();
    want->channel = 9, want->channels = (1ULL << 9) | (1ULL << 2), want->enable = 1, want->show = 1, want->area = 3;
    want->tracking_object = 2, want->zoom_number = 4;
    fill_schedule(want->schedule);
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_AUTO_TRACKING_SET).at(0).payload, bytes_of(*want)));

    want->report_motion = 1, want->human_vehicle_support = 1;
    core.reply(REQ_IPC_AUTO_TRACKING_GET, bytes_of(*want));
    const std::string out = canon(reply_body(post("/2054", R"({"chnid":9})").out));
    EXPECT_EQ(out.rfind(R"({"chnid":9,"enable":1,"show":1,"sensitivity":0,"time":0,"manual_tracking":0,)"
                        R"("zoom_mode":0,"zoom_number":4,"area":3,"humanVehicleSupport":1,"trackingObject":2,)"
                        R"("reportMotion":1,"schedule":[[{"startTime":"00:00")",
                        0),
              0u) << out;

    core.reply(REQ_IPC_AUDIO_SET, word(1));
    EXPECT_EQ(post("/2064", R"({"chnid":4,"audioEnable":1,"sampleRate":16000,"audioBitrate":32,"channels":[4,6]})").out,
              text_reply("ERROR"));
    ipc_audio_set set = zeroed<ipc_audio_set>();
    set.channel = 4, set.audio_enable = 1, set.sample_rate = 16000, set.audio_bitrate = 32;
    set.channels = (1ULL << 4) | (1ULL << 6);
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_AUDIO_SET).at(0).payload, bytes_of(set)));

    ipc_audio_info audio = zeroed<ipc_audio_info>();
    audio.channel = 4, audio.support = 1, audio.sample_rate = 8000;
    audio.encodeValue.count = 2, audio.encodeValue.values[0] = 0, audio.encodeValue.values[1] = 2;
    audio.bitrateInfo.count = 99;  // cut to the table
    core.reply(REQ_IPC_AUDIO_GET, bytes_of(audio));
    const std::string got = canon(reply_body(post("/2063", R"({"chnid":4})").out));
    EXPECT_EQ(got.rfind(R"({"support":1,"supportMode":0,"supportInputMode":0,"chnid":4,"audioEnable":0,)", 0), 0u)
        << got;
    std::string cut = "0";
    for (int i = 1; i < IPC_AUDIO_CHOICES; i++)
        cut += ",0";
    EXPECT_NE(got.find(R"("config":[],"options":[],"encodeValue":[0,2],"sampleRateValue":[],"bitrateInfo":[)" + cut +
                       R"(],"sampleRateInfo":[]})"),
              std::string::npos) << got;
}

TEST_F(CameraDetection, ModelListHasOneObjectPerWholeRecord)
{
    auto info = [](int channel) {
        ipc_type_info t = zeroed<ipc_type_info>();
        t.channel = channel;
        put(t.address, "10.0.0." + std::to_string(channel)), put(t.model, "M"), put(t.fw_version, "F");
        return bytes_of(t);
    };
    auto object = [](int channel) {
        return "{\"chnid\":" + std::to_string(channel) + ",\"ipaddr\":\"10.0.0." + std::to_string(channel) +
               "\",\"model\":\"M\",\"fwversion\":\"F\"}";
    };
    const struct {
        std::string answer;
        std::string reply;
    } cases[] = {
        {"", "[]"},
        {info(1), "[" + object(1) + "]"},
        {info(1) + info(5) + info(63), "[" + object(1) + "," + object(5) + "," + object(63) + "]"},
        {info(2) + info(3).substr(0, 100), "[" + object(2) + "]"},
    };
    for (const auto& c : cases) {
        core.reply(REQ_IPC_CHANNELS_MODEL, c.answer);
        EXPECT_TRUE(json_reply_is(get("/2029").out, c.reply)) << c.reply;
    }
    EXPECT_TRUE(sent(REQ_IPC_CHANNELS_MODEL).at(0).payload.empty());
    core.silent(REQ_IPC_CHANNELS_MODEL);
    EXPECT_EQ(get("/2029").out, kTextError);
}

TEST_F(CameraDetection, ChannelsOutsideTheCamerasAreRefusedUnsent)
{
    for (const char* path : {"/2051", "/2052", "/2054", "/2055", "/2063", "/2064"})
        for (const char* channel : {"64", "-1"}) {
            EXPECT_EQ(post(path, std::string("{\"chnid\":") + channel + ",\"enable\":1}").out, kJsonError) << path;
            EXPECT_TRUE(sent_all().empty()) << path << " " << channel;
        }
}

// The local device: coresim's cameras remember motion detection, tracking
// and audio, copies included; an unbound channel gives no answer.
TEST(CameraDetectionCoresim, CamerasRememberWhatIsSet)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto call = [&](const std::string& path, const std::string& body) { return post_json_body(root.path(), path, body); };
    EXPECT_EQ(canon(call("/2052", R"({"chnid":1,"enable":1,"map_mask":"101","effective":)" + schedule_json() +
                                R"(,"copyCnt":1,"copyChn":[2]})")),
              R"({"res":0})");
    for (int channel : {1, 2}) {
        const std::string out = canon(call("/2051", "{\"chnid\":" + std::to_string(channel) + "}"));
        EXPECT_EQ(out.rfind("{\"chnid\":" + std::to_string(channel) + ",\"enable\":1,", 0), 0u) << out;
        EXPECT_NE(out.find(R"("map_mask":"101","effective":[[{"startTime":"00:00","endTime":"10:00")"),
                  std::string::npos) << out;
    }
    EXPECT_EQ(canon(call("/2055", R"({"chnid":0,"enable":1,"zoom_mode":2,"schedule":)" + schedule_json() + "}")),
              R"({"res":0})");
    const std::string tracking = canon(call("/2054", R"({"chnid":0})"));
    EXPECT_NE(tracking.find(R"("zoom_mode":2,)"), std::string::npos) << tracking;
    EXPECT_EQ(call("/2064", R"({"chnid":3,"audioEnable":1,"outputVolume":77})"), "OK");
    const std::string audio = canon(call("/2063", R"({"chnid":3})"));
    EXPECT_NE(audio.find(R"("chnid":3,"audioEnable":1,)"), std::string::npos) << audio;
    const std::string models = canon(call("/2029", ""));
    EXPECT_NE(models.find(R"([{"chnid":0,"ipaddr":"10.0.0.100",)"), std::string::npos) << models;
    for (const char* path : {"/2051", "/2054", "/2063"})
        EXPECT_EQ(call(path, R"({"chnid":40})"), "{status:\"CGI ERROR\"}") << path;  // no camera there
}

}  // namespace
