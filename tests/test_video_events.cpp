// Video module, video loss, PTZ action entries, camera events and
// exceptions, black-box through nvrweb.cgi against the fake core service and
// a scratch database; one run against coresim.
#include "core/db.h"
#include "modules/video/video.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kLossKind = {"video_loss", (int)sizeof(video_lost), 64};
const vxdb_kind kPtzKind = {"ptz_params", (int)sizeof(PtzActionParams), 64 * 64};
const vxdb_kind kHttpKind = {VIDEOLOSS_HTTP_PARAMS, (int)sizeof(HttpNotificationParams), 64};

class VideoEventsTest : public HandlerTest {
protected:
    video_lost loss(int channel)
    {
        video_lost v;
        stored(kLossKind, channel, &v);
        return v;
    }
    std::string ptz_info(int type, int channel)
    {
        return canon(reply_body(post("/6161", "{\"type\":" + std::to_string(type) + ",\"chn_id\":" +
                                            std::to_string(channel) + "}").out));
    }
};

TEST_F(VideoEventsTest, LossEventCopiedToTheValidOtherChannels)
{
    video_lost src = zeroed<video_lost>();
    src.id = 5, src.tri_alarms = 3, src.email_interval = 40;
    store(kLossKind, 5, &src);
    const std::string body =
        R"({"chnid":5,"copyCnt":3,"copyChn":[2,5,70],"dialog":{"interval":9,"triChnAlarms":["01","1"],)"
        R"("http_notification_interval":8,"httpParams":{"url":"http://h/x","username":"u","password":"p"},)"
        R"("ptzParams":[{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":2}]}})";
    ASSERT_EQ(post("/6095", body).out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_VIDEO_LOSS_SET_CHANGED), bytes_of<uint64_t>(0x24)));

    video_lost want = src;
    want.interval = 9, want.http_notification_interval = 8;
    put(want.tri_chnout1_alarms, "01"), put(want.tri_chnout2_alarms, "1");
    EXPECT_TRUE(same_bytes(bytes_of(loss(5)), bytes_of(want)));
    want.id = 2;
    EXPECT_TRUE(same_bytes(bytes_of(loss(2)), bytes_of(want)));
    for (int c : {0, 1, 3, 4, 6, 63})
        EXPECT_EQ(stored(kLossKind, c, &src), 1) << c;

    const std::string entry = R"([{"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":2,"acto_ptz_patrol":0}])";
    EXPECT_TRUE(json_reply_is(post("/6161", R"({"type":2,"chn_id":2})").out, "{\"ptzInfo\":" + entry + "}"));
    PtzActionParams p;
    stored(kPtzKind, 2 * 64 + 2, &p);
    EXPECT_EQ(p.entries[0].channel, 2);
    HttpNotificationParams h;
    stored(kHttpKind, 2, &h);
    EXPECT_EQ(h.channel, 2);
    EXPECT_STREQ(h.url, "http://h/x");

    const std::string reply = canon(reply_body(post("/6094", R"({"chnid":2})").out));
    const std::string head =
        R"({"chnid":2,"enable":0,"triAlarms":3,"interval":9,"email_interval":40,"ptz_interval":0,)"
        R"("alarmout_interval":0,"white_interval":0,"http_notification_interval":8,"audible":)";
    EXPECT_EQ(reply.substr(0, head.size()), head);
    EXPECT_NE(reply.find(R"("triChnAlarms":["01","1"],"white":)"), std::string::npos);
    EXPECT_NE(reply.find(R"("httpParams":{"chnId":2,"url":"http://h/x","username":"u","password":"p"},)"
                         R"("audioId":0,"audioIdMask":0,"ptzParams":)" + entry + "}"),
              std::string::npos)
        << reply.substr(reply.size() > 300 ? reply.size() - 300 : 0);
}

TEST_F(VideoEventsTest, ChannelSetFormsLogAndNotifyTheirSets)
{
    video_lost v = zeroed<video_lost>();
    v.id = 1, v.tri_alarms = 5, v.enable = 1, v.interval = 30;
    store(kLossKind, 1, &v);
    ASSERT_EQ(post("/6123", R"({"cnt":4,"chnid":[1,2,64,-3],"triAlarms":5})").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_VIDEO_LOSS_SET_CHANGED), bytes_of<uint64_t>(0x4)));
    EXPECT_TRUE(same_bytes(one(REQ_OPERATION_LOG_CHANNELS), log_record(204, 909, 0) + bytes_of<uint64_t>(0x6)));
    const int alarms[] = {loss(1).tri_alarms, loss(2).tri_alarms, loss(2).id};
    EXPECT_EQ(alarms[0], 5);
    EXPECT_EQ(alarms[1], 5);
    EXPECT_EQ(alarms[2], 2);

    // Audible: channel 1 already holds the pair, channel 3 changes; both get the schedule.
    const std::string sche = R"([[["08:00","09:00",2]]])";
    ASSERT_EQ(post("/6121", R"({"cnt":2,"chnid":[1,3],"enable":1,"interval":30,"schedule":)" + sche + "}").out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_VIDEO_LOSS_SET_CHANGED), bytes_of<uint64_t>(0xA)));
    const int pair[] = {loss(3).enable, loss(3).interval, loss(3).email_interval};
    EXPECT_EQ(pair[0], 1);
    EXPECT_EQ(pair[1], 30);
    EXPECT_EQ(pair[2], 0);
    const std::string day0 = R"([[{"startTime":"08:00","endTime":"09:00","actionType":2})";
    for (const char* c : {"1", "3"})
        EXPECT_EQ(canon(reply_body(post("/6015", c).out)).substr(0, day0.size()), day0) << c;

    ASSERT_EQ(post("/6122", R"({"cnt":1,"chnid":[3],"enable":1,"interval":45,"schedule":)" + sche + "}").out,
              text_reply());
    EXPECT_EQ(loss(3).email_interval, 45);
    EXPECT_EQ(canon(reply_body(post("/6124", "3").out)).substr(0, day0.size()), day0);

    // PTZ: the schedule and the entries of camId go to the set, each entry under its channel.
    ASSERT_EQ(post("/6160", R"({"type":2,"chn_id":1,"acto_ptz_channel":4,"acto_ptz_type":2,"acto_ptz_patrol":3})")
                  .out,
              text_reply());
    ASSERT_EQ(post("/6165", R"({"camId":1,"cnt":2,"chnid":[6,7],"schedule":)" + sche + "}").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_VIDEO_LOSS_SET_CHANGED), bytes_of<uint64_t>(0xC0)));
    EXPECT_EQ(canon(reply_body(post("/6166", "7").out)).substr(0, day0.size()), day0);
    PtzActionParams p;
    stored(kPtzKind, 2 * 64 + 7, &p);
    const int entry[] = {p.entries[0].channel, p.entries[0].acto_ptz_channel, p.entries[0].acto_ptz_patrol};
    EXPECT_EQ(entry[0], 7);
    EXPECT_EQ(entry[1], 4);
    EXPECT_EQ(entry[2], 3);

    // The basics and the fixed-form schedule writer of the audible table.
    ASSERT_EQ(post("/6016", R"({"camId":8,"enable":2,"triAlarms":6,"interval":12})").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_VIDEO_LOSS_CHANGED), int32_bytes({8})));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(204, 909, 9)));
    ASSERT_EQ(post("/6017", R"({"camId":8,"enable":1,"schedule":)" + sche + "}").out, text_reply());
    EXPECT_TRUE(json_reply_is(post("/6014", "8").out, R"({"camId":8,"enable":1,"triAlarms":6,"interval":12})"));
    EXPECT_EQ(canon(reply_body(post("/6015", "8").out)).substr(0, day0.size()), day0);
}

TEST_F(VideoEventsTest, PtzEntriesOnePerPtzChannel)
{
    const struct { const char* path; std::string body, info; } steps[] = {
        {"/6160",
         R"({"type":1,"chn_id":3,"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":7,"acto_ptz_patrol":9})",
         R"([{"acto_ptz_channel":2,"acto_ptz_type":1,"acto_ptz_preset":7,"acto_ptz_patrol":0}])"},
        {"/6160", R"({"type":1,"chn_id":3,"acto_ptz_channel":2,"acto_ptz_type":2,"acto_ptz_patrol":4})",
         R"([{"acto_ptz_channel":2,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":4}])"},
        {"/6160", R"({"type":1,"chn_id":3,"acto_ptz_channel":5,"acto_ptz_type":1,"acto_ptz_preset":1})",
         R"([{"acto_ptz_channel":2,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":4},)"
         R"({"acto_ptz_channel":5,"acto_ptz_type":1,"acto_ptz_preset":1,"acto_ptz_patrol":0}])"},
        {"/6163", R"({"type":1,"chn_id":3,"old_chn_id":5,"acto_ptz_channel":6,"acto_ptz_type":1,"acto_ptz_preset":8})",
         R"([{"acto_ptz_channel":2,"acto_ptz_type":2,"acto_ptz_preset":0,"acto_ptz_patrol":4},)"
         R"({"acto_ptz_channel":6,"acto_ptz_type":1,"acto_ptz_preset":8,"acto_ptz_patrol":0}])"},
        {"/6162", R"({"type":1,"chn_id":3,"acto_ptz_channel":2})",
         R"([{"acto_ptz_channel":6,"acto_ptz_type":1,"acto_ptz_preset":8,"acto_ptz_patrol":0}])"},
        {"/6160", R"({"type":1,"chn_id":3,"acto_ptz_channel":7,"acto_ptz_type":1})",
         R"([{"acto_ptz_channel":7,"acto_ptz_type":1,"acto_ptz_preset":0,"acto_ptz_patrol":0},)"
         R"({"acto_ptz_channel":6,"acto_ptz_type":1,"acto_ptz_preset":8,"acto_ptz_patrol":0}])"},
        {"/6164", R"({"type":1,"chn_id":3,"ptzChannel":[6,7,"x",99]})", "[]"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(post(s.path, s.body).out, text_reply()) << s.path << " " << s.body;
        EXPECT_TRUE(json_reply_is(post("/6161", R"({"type":1,"chn_id":3})").out, "{\"ptzInfo\":" + s.info + "}"))
            << s.path << " " << s.body;
    }
    EXPECT_EQ(ptz_info(2, 3), R"({"ptzInfo":[]})");  // another event's list untouched

    // A full list (PTZ channel 1 twice, as a dialog may store it) refuses a
    // new PTZ channel and still takes a listed one.
    PtzActionParams full = zeroed<PtzActionParams>();
    for (int i = 0; i < 64; i++)
        full.entries[i] = {3, i % 63 + 1, 1, i, 0, 0, 0};
    store(kPtzKind, 1 * 64 + 3, &full);
    EXPECT_EQ(post("/6160", R"({"type":1,"chn_id":3,"acto_ptz_channel":64,"acto_ptz_type":1})").out, kTextError);
    EXPECT_EQ(post("/6163", R"({"type":1,"chn_id":3,"old_chn_id":64,"acto_ptz_channel":9,"acto_ptz_type":1})").out,
              kTextError);
    PtzActionParams after;
    stored(kPtzKind, 1 * 64 + 3, &after);
    EXPECT_TRUE(same_bytes(bytes_of(after), bytes_of(full)));
    EXPECT_EQ(
        post("/6160", R"({"type":1,"chn_id":3,"acto_ptz_channel":5,"acto_ptz_type":1,"acto_ptz_preset":77})").out,
        text_reply());
    stored(kPtzKind, 1 * 64 + 3, &after);
    EXPECT_EQ(after.entries[4].acto_ptz_preset, 77);
}

TEST_F(VideoEventsTest, OutOfRangeIsRefusedAndNothingMoves)
{
    const struct { const char* path; std::string body, out; } cases[] = {
        {"/6014", "64", ""},
        {"/6014", "-1", ""},
        {"/6015", "64", ""},
        {"/6124", "64", ""},
        {"/6166", "64", ""},
        {"/6016", R"({"camId":64,"enable":1,"triAlarms":0,"interval":0})", ""},
        {"/6016", R"({"camId":1,"enable":3,"triAlarms":0,"interval":0})", ""},
        {"/6017", R"({"camId":64,"schedule":[]})", ""},
        {"/6094", R"({"chnid":64})", kJsonError},
        {"/6095", R"({"chnid":64,"copyCnt":1,"copyChn":[1],"dialog":{"interval":3}})", kJsonError},
        {"/6165", R"({"camId":64,"cnt":1,"chnid":[1],"schedule":[]})", ""},
        {"/6160", R"({"type":1,"chn_id":64,"acto_ptz_channel":1,"acto_ptz_type":1})", kTextError},
        {"/6160", R"({"type":1,"chn_id":-1,"acto_ptz_channel":1,"acto_ptz_type":1})", kTextError},
        {"/6160", R"({"type":1,"chn_id":1,"acto_ptz_channel":0,"acto_ptz_type":1})", kTextError},
        {"/6160", R"({"type":64,"chn_id":1,"acto_ptz_channel":1,"acto_ptz_type":1})", kTextError},
        {"/6161", R"({"type":1,"chn_id":64})", kTextError},
        {"/6162", R"({"type":1,"chn_id":64,"acto_ptz_channel":1})", kTextError},
        {"/6162", R"({"type":1,"chn_id":1,"acto_ptz_channel":-1})", kTextError},
        {"/6163", R"({"type":1,"chn_id":64,"old_chn_id":1,"acto_ptz_channel":1,"acto_ptz_type":1})", kTextError},
        {"/6164", R"({"type":1,"chn_id":64,"ptzChannel":[1]})", kTextError},
        {"/6090", "64", ""},
        {"/6092", "abc", ""},
        {"/6091", R"({"camId":64,"enable":1,"type":0,"triActions":1,"triChannels":"1"})", ""},
        {"/6091", R"({"camId":1,"enable":1,"type":0,"triActions":1})", ""},
        {"/6093", R"({"camId":1,"enable":1,"type":0,"volume":-1,"duration":0,"onEvent":0,"offEvent":0,)"
                  R"("ongoingEvent":0,"triActions":1,"triChannels":"1"})", ""},
        {"/6998", R"({"exception":[1,2,3,4,5,6]})", ""},
        {"/6998", R"({"exception":[1,2,3,4,5,6,"x"]})", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(post(c.path, c.body).out, c.out) << c.path << " " << c.body;
        EXPECT_TRUE(sent_all().empty()) << c.path << " " << c.body;
    }
    video_lost v;
    for (int c : {0, 1, 63})
        EXPECT_EQ(stored(kLossKind, c, &v), 1) << c;
    PtzActionParams p;
    for (int i : {1 * 64 + 1, 1 * 64 + 63, 2 * 64 + 0, 64 * 64 - 1})
        EXPECT_EQ(stored(kPtzKind, i, &p), 1) << i;
    uint8_t io[84];
    EXPECT_EQ(stored({"cameraio", 84, 64}, 1, io), 1);
}

TEST_F(VideoEventsTest, ExceptionsKeepSevenValuesAndEightEntries)
{
    ASSERT_TRUE(json_reply_is(
        post("/6998", R"({"exception":[1,2,3,4,5,6,7,8,9],"httpParams":{"diskFull":{"exceptId":0,"url":")" +
                          std::string(600, 'u') +
                          R"(","username":"a","password":"b"},"videoSignalLost":{"exceptId":7}}})")
            .out,
        R"({"status":"CGI SUCCESS"})"));
    EXPECT_TRUE(same_bytes(one(REQ_EXCEPTION_ALARMS_CHANGED), ""));
    EXPECT_TRUE(same_bytes(one(REQ_EXCEPTION_HTTP_CHANGED), ""));
    std::string http;
    const char* names[] = {"diskFull", "diskError", "noDisk", "networkDisconnected",
                           "ipAddressConflict", "illegalAccess", "recordException", "videoSignalLost"};
    for (int i = 0; i < 8; i++) {
        const std::string url = i == 0 ? std::string(512, 'u') : "";
        http += std::string(i ? "," : "") + "\"" + names[i] + "\":{\"exceptId\":" +
                std::to_string(i == 0 ? 0 : i == 7 ? 7 : -1) + ",\"url\":\"" + url + "\",\"username\":\"" +
                (i == 0 ? "a" : "") + "\",\"password\":\"" + (i == 0 ? "b" : "") + "\"}";
    }
    EXPECT_TRUE(json_reply_is(get("/6999").out, "{\"httpParams\":{" + http + "},\"exception\":[1,2,3,4,5,6,7,0]}"));
    // Without "httpParams" the entries stay.
    ASSERT_TRUE(json_reply_is(post("/6998", R"({"exception":[7,6,5,4,3,2,1]})").out, R"({"status":"CGI SUCCESS"})"));
    EXPECT_TRUE(core.wait_for(REQ_EXCEPTION_ALARMS_CHANGED, 1));
    EXPECT_FALSE(core.wait_for(REQ_EXCEPTION_HTTP_CHANGED, 1, 300));
    EXPECT_TRUE(json_reply_is(get("/6999").out, "{\"httpParams\":{" + http + "},\"exception\":[7,6,5,4,3,2,1,0]}"));
}

TEST_F(VideoEventsTest, CameraEventsAskTheCamera)
{
    ASSERT_EQ(post("/6091", R"({"camId":4,"enable":1,"type":2,"triActions":6,"triChannels":")" +
                                std::string(40, '0') + R"(1101"})")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_CAMERA_IO_SET), int32_bytes({4, 1, 2})));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(204, 923, 5)));
    cameraio io;
    stored({"cameraio", 84, 64}, 4, &io);
    EXPECT_EQ(io.tri_channels, 0u);  // the "1"s lie past channel 31
    EXPECT_EQ(io.tri_actions, 6);

    const std::string want = R"({"camId":4,"enable":0,"type":3,"triActions":6,"triChannels":")" +
                             std::string(40, '0') + R"(1101"})";
    const struct { std::string answer, out; } cases[] = {
        {kSilent, kJsonError},
        {"", kJsonError},
        {int32_bytes({4, 0}), kJsonError},
        {int32_bytes({4, 0, 3}), kJsonHead + want},
    };
    for (const auto& c : cases) {
        if (c.answer == kSilent)
            core.silent(REQ_CAMERA_IO_GET);
        else
            core.reply(REQ_CAMERA_IO_GET, c.answer);
        const std::string out = post("/6090", "4").out;
        if (c.out == kJsonError)
            EXPECT_EQ(out, kJsonError) << c.answer.size();
        else
            EXPECT_TRUE(json_reply_is(out, want)) << out;
        EXPECT_TRUE(same_bytes(one(REQ_CAMERA_IO_GET), int32_bytes({4})));
    }
    core.reply(REQ_VOLUME_DETECT_GET, int32_bytes({4, 1, 2, 3, 4, 5, 6}));  // 28 of 32 bytes
    EXPECT_EQ(post("/6092", "4").out, kJsonError);
}

// The local device: volume detection set through the CGI comes back from
// the simulated camera with what the database kept.
TEST(VideoEventsLocalDevice, VolumeDetectionRoundTrip)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        return post_json(root.path(), path, body).out;
    };
    EXPECT_EQ(run("/6093", R"({"camId":9,"enable":1,"type":1,"volume":70,"duration":5,"onEvent":1,)"
                           R"("offEvent":0,"ongoingEvent":2,"triActions":3,"triChannels":"01"})"),
              text_reply());
    EXPECT_TRUE(json_reply_is(run("/6092", "9"),
                              R"({"camId":9,"enable":1,"type":1,"volume":70,"duration":5,"onEvent":1,"offEvent":0,)"
                              R"("ongoingEvent":2,"triActions":3,"triChannels":"01"})"));
    EXPECT_TRUE(json_reply_is(run("/6014", "3"), R"({"camId":3,"enable":1,"triAlarms":0,"interval":10})"));
}

}  // namespace
