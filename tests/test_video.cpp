// Video module, motion detection, black-box through nvrweb.cgi against the
// fake core service and a scratch database; one run against coresim.
#include "core/db.h"
#include "modules/video/video.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kMotionKind = {"motion", (int)sizeof(motion), 64};
// One index past the table, to see that channel 64 never lands there.
const vxdb_kind kMotionPast = {"motion", (int)sizeof(motion), 65};

// The schedule as a fixed-form reply: 8 days of 12 periods, one filled.
std::string schedule_json(int day = -1, int slot = -1, const std::string& start = "", const std::string& end = "",
                          int action = 0)
{
    std::string out = "[";
    for (int d = 0; d < 8; d++) {
        out += d ? ",[" : "[";
        for (int i = 0; i < 12; i++) {
            const bool set = d == day && i == slot;
            out += std::string(i ? "," : "") + "{\"startTime\":\"" + (set ? start : "") + "\",\"endTime\":\"" +
                   (set ? end : "") + "\",\"actionType\":" + std::to_string(set ? action : 0) + "}";
        }
        out += "]";
    }
    return out + "]";
}

// The request form: 8 days of [start, end, action], the given period filled.
std::string schedule_request(int day, int slot, const std::string& start, const std::string& end, int action)
{
    std::string out = "[";
    for (int d = 0; d < 8; d++) {
        out += d ? ",[" : "[";
        for (int i = 0; i < 12; i++) {
            const bool set = d == day && i == slot;
            out += std::string(i ? "," : "") + "[\"" + (set ? start : "") + "\",\"" + (set ? end : "") + "\"," +
                   std::to_string(set ? action : 0) + "]";
        }
        out += "]";
    }
    return out + "]";
}

class VideoTest : public HandlerTest {
protected:
    motion record(int channel)
    {
        motion m;
        stored(kMotionKind, channel, &m);
        return m;
    }
    Schedule schedule(const char* table, int channel)
    {
        Schedule s;
        stored(db_schedule_kind(table), channel, &s);
        return s;
    }
};

camera_motion_schedule full_day_schedule(int channel, std::initializer_list<int> list)
{
    camera_motion_schedule s = zeroed<camera_motion_schedule>();
    s.channel = channel;
    for (int d = 0; d < 7; d++) {
        s.days[d].day = d, s.days[d].valid = 1;
        for (auto& p : s.days[d].periods)
            p.end_hour = 24;
    }
    for (int c : list)
        s.channels[s.count++] = c;
    return s;
}

TEST_F(VideoTest, WholeMotionEventInOrder)
{
    motion m = zeroed<motion>();
    m.id = 5, m.enable = 1, m.sensitivity = 4, m.tri_alarms = 3, m.interval = 30, m.enable_ms = 1;
    m.email_enable = 1, m.email_interval = 60, m.email_pic_enable = 1, m.ptz_interval = 7;
    m.alarmout_interval = 8, m.white_interval = 9, m.audio_id = 2, m.http_notification_interval = 11;
    put(m.tri_channels_string, "0101");
    put(m.motion_table, "ffff00");
    put(m.tri_channels_pic, "11");
    memset(m.tri_chnout1_alarms, '1', sizeof m.tri_chnout1_alarms);  // no NUL: printed as 64 + 1 characters
    put(m.tri_chnout2_alarms, "001");
    store(kMotionKind, 5, &m);
    Schedule s = zeroed<Schedule>();
    put(s.days[2].slots[1].start_time, "08:00"), put(s.days[2].slots[1].end_time, "09:30");
    s.days[2].slots[1].action_type = 3;
    store(db_schedule_kind(MOTION_EMAIL_SCHEDULE), 5, &s);
    WhiteLedBlock w = zeroed<WhiteLedBlock>();
    w.entries[0] = {5, 6, 1, 15};
    store({MOTION_WHITELED_PARAMS, (int)sizeof w, 64}, 5, &w);
    HttpNotificationParams h = zeroed<HttpNotificationParams>();
    h.channel = 5, put(h.url, "http://a/b?x=%41"), put(h.username, "u"), put(h.password, "p");
    store({MOTION_HTTP_PARAMS, (int)sizeof h, 64}, 5, &h);
    PtzActionParams p = zeroed<PtzActionParams>();
    p.entries[0] = {5, 2, 1, 4, 0, 6, 0};
    store({"ptz_params", (int)sizeof p, 64 * 64}, 1 * 64 + 5, &p);
    char audio[136] = {};
    audio[4] = 1;
    store({"alarm_audio_file", 136, 10}, 3, audio);

    const std::string empty = schedule_json();
    EXPECT_TRUE(json_reply_is(
        post("/6010", R"({"chnid":5})").out,
        R"({"chnid":5,"enable":1,"sensitivity":4,"triChannels":"0101","triAlarms":3,"interval":30,"enableMS":1,)"
        R"("motionTable":"ffff00","email_enable":1,"email_interval":60,"email_pic_enable":1,"tri_channels_pic":"11",)"
        R"("ptz_interval":7,"alarmout_interval":8,"http_notification_interval":11,"effective":)" + empty +
            ",\"audible\":" + empty + ",\"email\":" + schedule_json(2, 1, "08:00", "09:30", 3) + ",\"ptz\":" + empty +
            ",\"triChnAlarms\":[\"" + std::string(65, '1') + "\",\"001\"],\"white\":" + empty +
            R"(,"whiteInfo":[{"chnid":6,"mode":1,"time":15}],"white_interval":9,"httpSche":)" + empty +
            R"(,"httpParams":{"chnId":5,"url":"http://a/b?x=%41","username":"u","password":"p"},"audioId":2,)"
            R"("audioIdMask":8,"ptzParams":[{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":4,)"
            R"("acto_ptz_patrol":0}]})"));
}

TEST_F(VideoTest, BasicsKeepOtherSettingsAndPushTheCamera)
{
    ASSERT_EQ(post("/6117", R"({"chnid":7,"email_interval":77,"ptz_interval":5,"tri_channels_pic":"1",)"
                            R"("triChnAlarms":["01","1"],"white_interval":4,"http_notification_interval":99})")
                  .out,
              text_reply());
    const std::string table = std::string(310, 'a');  // the camera takes 299 characters
    ASSERT_EQ(post("/6012", R"({"camId":7,"enable":1,"sensitivity":3,"triChannels":"1011","triAlarms":2,)"
                            R"("interval":20,"motionTable":")" + table + R"(","enableMS":1})")
                  .out,
              text_reply());
    motion want = zeroed<motion>();
    want.id = 7, want.enable = 1, want.sensitivity = 3, want.tri_alarms = 2, want.interval = 20, want.enable_ms = 1;
    want.tri_channels = 0xD, want.email_interval = 77, want.ptz_interval = 5, want.white_interval = 4;
    put(want.tri_channels_string, "1011"), put(want.motion_table, table), put(want.tri_channels_pic, "1");
    put(want.tri_chnout1_alarms, "01"), put(want.tri_chnout2_alarms, "1");
    // "http_notification_interval" belongs to the dialog of "/6112" only.
    EXPECT_TRUE(same_bytes(bytes_of(record(7)), bytes_of(want)));

    EXPECT_TRUE(same_bytes(one(REQ_MOTION_CHANGED), int32_bytes({7})));
    camera_motion_area area = zeroed<camera_motion_area>();
    put(area.motion_table, std::string(299, 'a')), area.sensitivity = 3, area.channel = 7;
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_MOTION_AREA), bytes_of(area)));
    camera_motion_switch sw = zeroed<camera_motion_switch>();
    sw.channel = 7, sw.flag = 1;
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_MOTION_SWITCH), bytes_of(sw)));
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_MOTION_SCHEDULE), bytes_of(full_day_schedule(7, {}))));
    std::vector<std::string> got = logs(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(same_bytes(got[0], log_record(204, 909, 8)));
}

TEST_F(VideoTest, EventCopiedToTheValidChannelsOfTheSet)
{
    motion source = zeroed<motion>();
    source.id = 2, source.sensitivity = 1, source.email_interval = 40;
    store(kMotionKind, 2, &source);
    PtzActionParams p = zeroed<PtzActionParams>();
    const std::string body =
        R"({"chnid":2,"sensitivity":5,"enableMS":1,"motionTable":"abc","copyCnt":4,"copyChn":[1,4,64,-1],)"
        R"("dialog":{"chnid":2,"effective":)" + schedule_request(1, 0, "00:00", "12:00", 1) +
        R"(,"interval":9,"triChannels":"011","ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":2}]}})";
    ASSERT_EQ(post("/6112", body).out, text_reply());

    EXPECT_EQ(stored(kMotionKind, 0, &source), 1);
    EXPECT_EQ(stored(kMotionKind, 3, &source), 1);
    motion src = record(2);  // the dialog only: not in its own set
    const int kept[] = {src.sensitivity, src.interval, (int)src.tri_channels};
    EXPECT_EQ(kept[0], 1);
    EXPECT_EQ(kept[1], 9);
    EXPECT_EQ(kept[2], 6);
    const Schedule effective = schedule(MOTION_EFFECTIVE_SCHEDULE, 2);
    EXPECT_STREQ(effective.days[1].slots[0].end_time, "12:00");
    for (int c : {1, 4}) {
        motion want = src;
        want.id = c, want.sensitivity = 5, want.enable_ms = 1;
        EXPECT_TRUE(same_bytes(bytes_of(record(c)), bytes_of(want))) << c;
        EXPECT_TRUE(same_bytes(bytes_of(schedule(MOTION_EFFECTIVE_SCHEDULE, c)), bytes_of(effective))) << c;
        int count = 0;
        vxdb_close_all();
        read_ptz_params(VXDB_MAIN, 1, c, &p, &count);
        const int entry[] = {p.entries[0].channel, p.entries[0].acto_ptz_channel};
        EXPECT_EQ(entry[0], c);
        EXPECT_EQ(entry[1], 3);
    }

    EXPECT_TRUE(same_bytes(one(REQ_MOTION_CHANGED), int32_bytes({2})));
    ASSERT_TRUE(core.wait_for(REQ_OPERATION_LOG_CHANNELS, 1));
    const std::string log = sent(REQ_OPERATION_LOG_CHANNELS)[0].payload;
    uint64_t set = 0x12;
    EXPECT_TRUE(same_bytes(log, log_record(204, 909, 0) + std::string((const char*)&set, 8)));
    EXPECT_TRUE(same_bytes(one(REQ_MOTION_SET_CHANGED), std::string((const char*)&set, 8)));
    cameras_motion_area area = zeroed<cameras_motion_area>();
    put(area.motion_table, "abc"), area.sensitivity = 5, area.channel = 2, area.enable_ms = 1;
    area.channels[0] = 1, area.channels[1] = 4, area.count = 2;
    EXPECT_TRUE(same_bytes(one(REQ_CAMERAS_MOTION_AREA), bytes_of(area)));
    camera_motion_switch sw = zeroed<camera_motion_switch>();
    sw.channel = 2, sw.flag = 1, sw.channels[0] = 1, sw.channels[1] = 4, sw.count = 2;
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_MOTION_SWITCH), bytes_of(sw)));
    EXPECT_TRUE(same_bytes(one(REQ_CAMERAS_MOTION_SCHEDULE), bytes_of(full_day_schedule(0, {1, 4}))));
}

TEST_F(VideoTest, FixedFormSchedulesCutTheirTimes)
{
    const std::string start(40, '1');
    const struct { const char* set, *get, *table; } cases[] = {
        {"/6013", "/6011", MOTION_AUDIBLE_SCHEDULE},
        {"/6152", "/6153", MOTION_EFFECTIVE_SCHEDULE},
        {"/6118", "/6120", MOTION_EMAIL_SCHEDULE},
        {"/6159", "/6158", MOTION_PTZ_SCHEDULE},
    };
    for (const auto& c : cases) {
        const std::string body = R"({"camId":63,"enable":1,"interval":45,"schedule":)" +
                                 schedule_request(7, 11, start, "23:59", 2) + "}";
        EXPECT_EQ(post(c.set, body).out, text_reply()) << c.set;
        EXPECT_TRUE(same_bytes(one(REQ_MOTION_CHANGED), int32_bytes({63}))) << c.set;
        EXPECT_STREQ(schedule(c.table, 63).days[7].slots[11].start_time, start.substr(0, 31).c_str()) << c.set;
        EXPECT_TRUE(json_reply_is(post(c.get, "63").out, schedule_json(7, 11, start.substr(0, 31), "23:59", 2)))
            << c.get;
    }
    const motion m = record(63);
    const int email[] = {m.email_enable, m.email_interval};
    EXPECT_EQ(email[0], 1);
    EXPECT_EQ(email[1], 45);
}

TEST_F(VideoTest, ChannelsOutsideTheTableAreRefused)
{
    const struct { const char* path; std::string body, out; } cases[] = {
        {"/6010", R"({"chnid":64})", kJsonError},
        {"/6010", R"({"chnid":"abc"})", kJsonError},
        {"/6112", R"({"chnid":64,"copyCnt":1,"copyChn":[1],"dialog":{"interval":3}})", kJsonError},
        {"/6112", R"({"chnid":"abc","copyCnt":1,"copyChn":[1],"dialog":{"interval":3}})", kJsonError},
        {"/6117", R"({"chnid":64,"interval":3})", kJsonError},
        {"/6119", R"({"camId":64,"type":2,"triAlarms":1})", kTextError},
        {"/6119", R"({"camId":"abc","type":2,"triAlarms":1})", kTextError},
        {"/6152", R"({"camId":64,"schedule":[]})", kTextError},
        {"/6118", R"({"camId":64,"interval":3,"schedule":[]})", kTextError},
        {"/6159", R"({"camId":-1,"schedule":[]})", kTextError},
        {"/6013", R"({"camId":64,"schedule":[]})", ""},
        {"/6012", R"({"camId":64,"enable":1,"sensitivity":1,"triChannels":"1","triAlarms":0,"interval":0,)"
                  R"("motionTable":"","enableMS":0})", ""},
        {"/6113", R"({"camId":64,"sensitivity":1})", ""},
        {"/6114", R"({"camId":"abc","sensitivity":1})", ""},
        {"/6011", "64", ""},
        {"/6153", "abc", ""},
        {"/6098", R"({"id":64})", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(post(c.path, c.body).out, c.out) << c.path << " " << c.body;
        EXPECT_TRUE(sent_all().empty()) << c.path << " " << c.body;
    }
    motion m;
    for (int c : {0, 1, 63, 64})
        EXPECT_EQ(stored(kMotionPast, c, &m), 1) << c;
}

TEST_F(VideoTest, MotionMapAnswers)
{
    motion_map_info map = zeroed<motion_map_info>();
    map.enable = 1, map.sensitivity = 4, map.result = 0, map.model_type = 2, map.fishinstall = 3;
    put(map.map, "0f0f");
    const std::string want = R"({"map":"0f0f","sensitivity":4,"result":0,"enable":1,"modelType":2,)"
                             R"("fishdisplay":0,"fishtransfer":0,"fishinstall":3})";
    core.reply(REQ_MOTION_MAP_GET, bytes_of(map));
    EXPECT_TRUE(json_reply_is(post("/6098", R"({"id":9})").out, want));
    EXPECT_TRUE(same_bytes(one(REQ_MOTION_MAP_GET), int32_bytes({9})));
    core.reply(REQ_MOTION_MAP_GET, bytes_of(map).substr(0, 331));  // short: no answer
    EXPECT_EQ(post("/6098", R"({"id":9})").out, kTextError);
}

// The local device: a setting made through the CGI is read back, and
// coresim shows the camera push in the motion map.
TEST(VideoLocalDevice, MotionSettingReachesTheCamera)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        return post_json(root.path(), path, body).out;
    };
    EXPECT_EQ(run("/6012", R"({"camId":3,"enable":1,"sensitivity":6,"triChannels":"1","triAlarms":0,)"
                           R"("interval":5,"motionTable":"00ff","enableMS":1})"),
              text_reply());
    EXPECT_TRUE(json_reply_is(run("/6098", R"({"id":3})"),
                              R"({"map":"00ff","sensitivity":6,"result":0,"enable":1,"modelType":0,)"
                              R"("fishdisplay":0,"fishtransfer":0,"fishinstall":0})"));
    const std::string event = canon(reply_body(run("/6010", R"({"chnid":3})")));
    EXPECT_NE(event.find(R"("chnid":3,"enable":1,"sensitivity":6,"triChannels":"1","triAlarms":0,"interval":5,)"
                         R"("enableMS":1,"motionTable":"00ff")"),
              std::string::npos)
        << event.substr(0, 200);
}

}  // namespace
