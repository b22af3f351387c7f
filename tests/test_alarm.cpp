// Alarm module, black-box through nvrweb.cgi against the fake core service
// and a scratch database; one run against coresim.
#include <json-c/json.h>

#include "core/json_util.h"
#include "modules/alarm/alarm.h"
#include "core/db.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kOut = {"alarm_out", (int)sizeof(alarm_out), NVR_ALARM_OUTPUTS};
const vxdb_kind kChnIn = {"alarm_chnIn_event", (int)sizeof(alarm_chnIn_event), 256};
const vxdb_kind kChnInName = {"alarm_chnIn_event_name", (int)sizeof(alarm_chnIn_event_name), 256};
const vxdb_kind kChnOutName = {"alarm_chnOut_event_name", (int)sizeof(alarm_chnOut_event_name), 128};

// The keys of a JSON object, in order, joined by commas.

class AlarmTest : public HandlerTest {
protected:
};

camera_alarm_in_state inputs_answer(int count)
{
    camera_alarm_in_state s = zeroed<camera_alarm_in_state>();
    s.channel = 5, s.alarm_cnt = count;
    for (int i = 0; i < 4; i++)
        s.enable[i] = 1, s.type[i] = i % 2, s.status[i] = 10 + i;
    return s;
}

TEST_F(AlarmTest, CameraInputsFromTheCamera)
{
    alarm_chnIn_event_name name = zeroed<alarm_chnIn_event_name>();
    name.channel = 5, name.input = 1;
    put(name.name, "Back door");
    store(kChnInName, 1 * 64 + 5, &name);

    struct Case {
        int count;
        size_t listed;
    } cases[] = {{2, 2}, {6, 4}, {0, 0}, {-3, 0}};
    for (const Case& c : cases) {
        core.clear();
        core.reply(REQ_CAMERA_ALARM_IN_GET, bytes_of(inputs_answer(c.count)));
        const std::string out = post("/6024", R"({"chnid":5})").out;
        camera_alarm_in_state ask = zeroed<camera_alarm_in_state>();
        ask.channel = 5, ask.alarm_cnt = 4;
        EXPECT_TRUE(same_bytes(one(REQ_CAMERA_ALARM_IN_GET), bytes_of(ask)));
        JsonPtr reply(json_tokener_parse(reply_body(out).c_str()));
        ASSERT_TRUE(reply) << out;
        EXPECT_EQ(keys_of(reply.get()), "chnid,alarmCnt,alarm");
        json_object* v = nullptr;
        json_object_object_get_ex(reply.get(), "alarmCnt", &v);
        EXPECT_EQ(json_object_get_int(v), c.count) << "as the camera answers it";
        json_object_object_get_ex(reply.get(), "alarm", &v);
        ASSERT_EQ(json_object_array_length(v), c.listed) << c.count;
        if (c.listed < 2)
            continue;
        json_object* second = json_object_array_get_idx(v, 1);
        EXPECT_EQ(keys_of(second),
                  "alarmEnable,alarmType,alarmStatus,alarmName,effective,audible,interval,audioId,audioIdMask,"
                  "email,email_interval,email_pic_enable,tri_channels_pic,ptz,ptz_interval,ptzParams,"
                  "alarmout_interval,triAlarms,triChannels,triChnAlarms,white,whiteInfo,white_interval,"
                  "http_notification_interval,httpSche,httpParams");
        json_object_object_get_ex(second, "alarmName", &v);
        EXPECT_STREQ(json_object_get_string(v), "Back door");
        json_object_object_get_ex(second, "alarmStatus", &v);
        EXPECT_EQ(json_object_get_int(v), 11);
    }
    core.clear();
    core.reply(REQ_CAMERA_ALARM_IN_GET, bytes_of(inputs_answer(2)).substr(0, 55));  // short: no answer
    EXPECT_EQ(post("/6024", R"({"chnid":5})").out, kJsonError);
    core.clear();
    EXPECT_EQ(post("/6024", R"({"chnid":64})").out, kJsonError);
    EXPECT_EQ(post("/6028", R"({"chnid":-1})").out, kJsonError);
    EXPECT_TRUE(sent_all().empty());
}

TEST_F(AlarmTest, CameraInputsStoredAndCopied)
{
    const std::string long_name(80, 'n');
    const std::string body =
        R"({"chnid":1,"alarmCnt":2,"copyCnt":3,"copyChn":[2,1,70],)"
        R"("dialog":[{"alarmId":1,"triChannels":"1101","interval":5,"audioId":2},{"alarmId":9,"interval":7}],)"
        R"("alarm":[{"alarmEnable":1,"alarmType":0,"alarmName":")" + long_name + R"("},)"
        R"({"alarmEnable":0,"alarmType":1,"alarmName":"b"},{"alarmEnable":1,"alarmType":1,"alarmName":"c"}]})";
    EXPECT_EQ(post("/6025", body).out, text_reply());

    camera_alarm_in_set want = zeroed<camera_alarm_in_set>();
    want.slots[0] = {0, 1, 0, 0};
    want.slots[1] = {0, 0, 1, 1};
    want.alarm_cnt = 2;
    want.channels = (1ULL << 1) | (1ULL << 2);
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_ALARM_IN_SET), bytes_of(want)));
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_ALARM_IN_SET_CHANGED), bytes_of(want.channels)));

    for (int channel : {1, 2}) {
        alarm_chnIn_event e;
        ASSERT_EQ(stored(kChnIn, 1 * 64 + channel, &e), 0) << channel;
        EXPECT_EQ(e.channel, channel);
        EXPECT_EQ(e.input, 1);
        EXPECT_EQ(e.interval, 5);
        EXPECT_EQ(e.audio_id, 2);
        EXPECT_EQ(e.tri_channels, 0xbu);
    }
    alarm_chnIn_event none;
    EXPECT_EQ(stored(kChnIn, 1 * 64 + 6, &none), 1) << "channel 70 lands nowhere";
    alarm_chnIn_event_name name;
    ASSERT_EQ(stored(kChnInName, 0 * 64 + 1, &name), 0);
    EXPECT_EQ(std::string(name.name), std::string(63, 'n'));
    EXPECT_EQ(stored(kChnInName, 2 * 64 + 1, &name), 1) << "a third name past alarmCnt";

    // A channel turned off loses its bit.
    core.clear();
    EXPECT_EQ(post("/6025", R"({"chnid":1,"alarmCnt":0,"dialog":[{"alarmId":1,"triChannels":"0001"}]})").out,
              text_reply());
    alarm_chnIn_event e;
    stored(kChnIn, 1 * 64 + 1, &e);
    EXPECT_EQ(e.tri_channels, 0x8u);
    EXPECT_EQ(e.interval, 5) << "other actions kept";

    core.clear();
    for (const char* bad : {R"({"chnid":64,"alarmCnt":1})", R"({"chnid":1,"alarmCnt":5})",
                            R"({"chnid":1})"})
        EXPECT_EQ(post("/6025", bad).out, kJsonError) << bad;
    EXPECT_TRUE(sent_all().empty());
}

TEST_F(AlarmTest, CameraOutputs)
{
    // Three outputs would address a slot and a name record that do not exist.
    EXPECT_EQ(post("/6029", R"({"chnid":3,"alarmCnt":3,"alarm":[{},{},{"alarmName":"x"}]})").out, kJsonError);
    EXPECT_TRUE(sent_all().empty());
    alarm_chnOut_event_name name;
    for (int i = 0; i < 3; i++)
        EXPECT_NE(stored(kChnOutName, i * 64 + 3, &name), 0) << i;

    EXPECT_EQ(post("/6029", R"({"chnid":3,"alarmCnt":2,"copyCnt":1,"copyChn":[4],)"
                            R"("alarm":[{"alarmType":1,"delayTime":30,"alarmName":"Siren"},{"alarmType":0}]})")
                  .out,
              text_reply());
    camera_alarm_out_set want = zeroed<camera_alarm_out_set>();
    want.slots[0] = {0, 0, 1};
    want.slots[1] = {0, 1, 0};
    want.alarm_cnt = 2;
    want.channels = (1ULL << 3) | (1ULL << 4);
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_ALARM_OUT_SET), bytes_of(want)));
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_ALARM_OUT_SET_CHANGED), bytes_of(want.channels)));
    ASSERT_EQ(stored(kChnOutName, 0 * 64 + 4, &name), 0);
    EXPECT_EQ(name.channel, 4);
    EXPECT_EQ(name.delay_time, 30);
    EXPECT_STREQ(name.name, "Siren");

    // Always both outputs; the names from the records.
    core.clear();
    camera_alarm_out_state state = zeroed<camera_alarm_out_state>();
    state.channel = 4, state.alarm_cnt = 1, state.type[0] = 1, state.status[0] = 1;
    core.reply(REQ_CAMERA_ALARM_OUT_GET, bytes_of(state));
    JsonPtr reply(json_tokener_parse(reply_body(post("/6028", R"({"chnid":4})").out).c_str()));
    ASSERT_TRUE(reply);
    json_object* list = nullptr;
    json_object_object_get_ex(reply.get(), "alarm", &list);
    ASSERT_EQ(json_object_array_length(list), 2u);
    EXPECT_EQ(keys_of(json_object_array_get_idx(list, 0)), "alarmType,alarmStatus,alarmName,delayTime,effective");
    json_object* v = nullptr;
    json_object_object_get_ex(json_object_array_get_idx(list, 0), "alarmName", &v);
    EXPECT_STREQ(json_object_get_string(v), "Siren");

    // The switch: error 0 on text that does not parse or numbers out of range.
    core.clear();
    for (const char* bad : {"{", R"({"chnid":64,"alarmId":0,"state":1})", R"({"chnid":1,"alarmId":2,"state":1})"})
        EXPECT_EQ(post("/6033", bad).out, kTextError) << bad;
    EXPECT_TRUE(sent_all().empty());
    EXPECT_EQ(post("/6033", R"({"chnid":7,"alarmId":1,"state":1})").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_ALARM_OUT_SWITCH), int32_bytes({7, 1, 1})));
}

TEST_F(AlarmTest, NvrOutputCopiedWithoutItsName)
{
    alarm_out out = zeroed<alarm_out>();
    for (int i = 0; i < 4; i++) {
        out.id = i;
        put(out.name, "out" + std::to_string(i));
        store(kOut, i, &out);
    }
    EXPECT_EQ(post("/6022", R"({"alarmId":4,"name":"x"})").out, kTextError);
    EXPECT_TRUE(sent_all().empty());

    EXPECT_EQ(post("/6022", R"({"alarmId":0,"name":"Gate","enable":1,"type":1,"durationTime":20,)"
                            R"("copyCnt":3,"copyChn":[1,3,9]})")
                  .out,
              text_reply());
    for (int i = 0; i < 4; i++) {
        stored(kOut, i, &out);
        EXPECT_EQ(out.id, i);
        EXPECT_EQ(out.duration_time, i == 2 ? 0 : 20) << i;
        EXPECT_EQ(out.enable, i == 2 ? 0 : 1) << i;
        EXPECT_STREQ(out.name, i == 0 ? "Gate" : ("out" + std::to_string(i)).c_str()) << i;
    }
    EXPECT_TRUE(core.wait_for(REQ_ALARM_OUT_CHANGED, 3));
    std::vector<std::string> changed;
    for (const FakeRequest& r : sent(REQ_ALARM_OUT_CHANGED))
        changed.push_back(r.payload);
    EXPECT_EQ(changed, (std::vector<std::string>{int32_bytes({0}), int32_bytes({1}), int32_bytes({3})}));

    const std::string list = canon(reply_body(get("/6020").out));
    EXPECT_EQ(list.rfind(R"([{"id":0,"name":"Gate","type":1,"enable":1,"durationTime":20},{"id":1,"name":"out1")", 0), 0u)
        << list;

    core.clear();
    EXPECT_EQ(post("/6023", R"({"id":2,"enable":1})").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_OUT_SWITCH), int32_bytes({2, 1})));
}

TEST_F(AlarmTest, NvrInputCopiedAndReadBack)
{
    const vxdb_kind kIn = {"alarm_in", (int)sizeof(alarm_in), NVR_ALARM_INPUTS};
    alarm_in other = zeroed<alarm_in>();
    other.id = 5, other.type = 1;
    put(other.name, "Window");
    store(kIn, 5, &other);

    // A PTZ action of input 3 (event type 0 is the recorder's inputs).
    PtzActionParams ptz = zeroed<PtzActionParams>();
    ptz.entries[0].channel = 3;
    ptz.entries[0].acto_ptz_channel = 7;
    ASSERT_EQ(write_ptz_params_all(VXDB_MAIN, 0, 3, &ptz), 0);

    EXPECT_EQ(post("/6027", R"({"alarmId":16,"name":"x"})").out, kJsonError);
    EXPECT_TRUE(sent_all().empty());
    EXPECT_EQ(post("/6027", R"({"alarmId":3,"name":"Door","alarmType":0,"copyCnt":4,"copyChn":[2,5,16,3],)"
                            R"("dialog":{"triChannels":"11","interval":9,"triSnapshot":"01"}})")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_SET_CHANGED), bytes_of(uint64_t{(1 << 2) | (1 << 3) | (1 << 5)})));
    alarm_in in;
    for (int i : {2, 3, 5}) {
        ASSERT_EQ(stored(kIn, i, &in), 0) << i;
        EXPECT_EQ(in.id, i);
        EXPECT_EQ(in.interval, 9) << i;
        EXPECT_EQ(in.tri_channels, 3u) << i;
        EXPECT_STREQ(in.tri_snapshot, "01") << i;
    }
    for (int i : {2, 5}) {
        ASSERT_GE(read_ptz_params(VXDB_MAIN, 0, i, &ptz, nullptr), 0);
        EXPECT_EQ(ptz.entries[0].channel, i) << "a copied PTZ action names the input it went to";
        EXPECT_EQ(ptz.entries[0].acto_ptz_channel, 7);
    }
    stored(kIn, 5, &in);
    EXPECT_STREQ(in.name, "Window") << "names and types of the copies stay";
    EXPECT_EQ(in.type, 1);

    const std::string reply = canon(reply_body(post("/6026", R"({"alarmId":3})").out));
    EXPECT_EQ(reply.rfind(R"({"alarmId":3,"name":"Door","alarmType":0,"enable":0,"triAlarms":0,"interval":9,)", 0), 0u)
        << reply;
    JsonPtr object(json_tokener_parse(reply.c_str()));
    EXPECT_EQ(keys_of(object.get()),
              "alarmId,name,alarmType,enable,triAlarms,interval,email_interval,email_pic_enable,tri_channels_pic,"
              "ptz_interval,alarmout_interval,triChannels,triSnapshot,effective,audible,email,ptz,triChnAlarms,"
              "white,whiteInfo,white_interval,audioId,audioIdMask,ptzParams");
}

// The local device: coresim keeps what was set and answers it.
TEST(AlarmLocalDevice, CameraInputsRoundTrip)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) { return post_json(root.path(), path, body).out; };
    EXPECT_EQ(run("/6025", R"({"chnid":2,"alarmCnt":2,"alarm":[{"alarmEnable":1,"alarmType":1,"alarmName":"Hall"},)"
                           R"({"alarmEnable":1,"alarmType":0}]})"),
              text_reply());
    const std::string in = canon(reply_body(run("/6024", R"({"chnid":2})")));
    EXPECT_EQ(in.rfind(R"({"chnid":2,"alarmCnt":2,"alarm":[{"alarmEnable":1,"alarmType":1,"alarmStatus":0,)"
                       R"("alarmName":"Hall",)", 0), 0u)
        << in;
    EXPECT_EQ(canon(reply_body(run("/6024", R"({"chnid":3})"))), R"({"chnid":3,"alarmCnt":0,"alarm":[]})");
    const std::string out = canon(reply_body(run("/6028", R"({"chnid":3})")));
    EXPECT_EQ(out.rfind(R"({"chnid":3,"alarmCnt":0,"alarm":[{"alarmType":0,"alarmStatus":0,"alarmName":"",)", 0), 0u) << out;
}

}  // namespace
