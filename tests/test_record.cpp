// Recording module, black-box through nvrweb.cgi: holidays, schedules and
// plan modes, recording modes, recording parameters with the cameras' ANR
// and stream, and the local device's recordings following the schedule.
#include <ctime>
#include <json-c/json.h>

#include "core/json_util.h"
#include "modules/record/record.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kHolidayKind = {"holiday", (int)sizeof(db_holiday), 32};
const vxdb_kind kRecordKind = {"record", (int)sizeof(db_record), 64};
const vxdb_kind kScheduleKind = {"record_schedule", (int)sizeof(Schedule), 64};
const vxdb_kind kCameraKind = {"camera", (int)sizeof(db_camera), 64};

std::string mask_bytes(uint64_t mask) { return std::string((const char*)&mask, sizeof mask); }

class RecordTest : public HandlerTest {
protected:
    db_record record(int c)
    {
        db_record r;
        stored(kRecordKind, c, &r);
        return r;
    }
    db_camera camera(int c)
    {
        db_camera r;
        stored(kCameraKind, c, &r);
        return r;
    }
    void seed_record(int c, int mode)
    {
        db_record r = zeroed<db_record>();
        r.id = c, r.mode = mode, r.record_expiry = 30;
        store(kRecordKind, c, &r);
    }
    void seed_camera(int c, int enable, int protocol, int poe, int anr, int stream)
    {
        db_camera cam = zeroed<db_camera>();
        cam.id = c, cam.enable = enable, cam.protocol = protocol, cam.poe_channel = poe, cam.anr = anr;
        cam.record_stream = stream;
        put(cam.address, "cam" + std::to_string(c));
        store(kCameraKind, c, &cam);
    }
    // Exactly one request of `code`, with these bytes.
    void sent_once(int code, const std::string& want)
    {
        ASSERT_TRUE(core.wait_for(code, 1)) << code;
        std::vector<FakeRequest> v = sent(code);
        ASSERT_EQ(v.size(), 1u) << code;
        EXPECT_TRUE(same_bytes(v[0].payload, want)) << code;
    }
};

TEST_F(RecordTest, HolidaysStoredListedAndRefused)
{
    const std::string name(300, 'h');
    EXPECT_EQ(post("/6031", R"({"id":31,"enable":1,"type":0,"name":")" + name +
                                R"(","startYear":2024,"startMon":12,"startMDay":25,"endYear":2024,"endMon":12,"endMDay":26})")
                  .out,
              text_reply("OK"));
    sent_once(REQ_HOLIDAY_CHANGED, "");
    EXPECT_TRUE(same_bytes(logs(1)[0], log_record(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_HOLIDAY, 32)));
    db_holiday h;
    ASSERT_EQ(stored(kHolidayKind, 31, &h), 0);
    EXPECT_EQ(std::string(h.name), std::string(255, 'h'));  // cut, NUL-terminated
    EXPECT_EQ(h.end_mday, 26);
    EXPECT_TRUE(json_reply_is(get("/6030").out,
                              R"({"holidays":[{"id":31,"enable":1,"name":")" + std::string(255, 'h') +
                                  R"(","type":0,"startYear":2024,"startMon":12,"startMDay":25,"startMWeek":0,)"
                                  R"("startWDay":0,"endYear":2024,"endMon":12,"endMDay":26,"endMWeek":0,"endWDay":0}]})"));
    for (const char* bad : {R"({"id":32,"enable":1,"type":0})", R"({"id":1,"enable":1,"type":-1})",
                            R"({"id":1,"enable":2,"type":0})", R"({"id":1,"enable":1})", R"({"id":"x","enable":1,"type":0})",
                            "not json"}) {
        EXPECT_EQ(post("/6031", bad).out, "") << bad;
        EXPECT_TRUE(no_logs()) << bad;
    }
    EXPECT_EQ(stored(kHolidayKind, 1, &h), 1);
}

TEST_F(RecordTest, ScheduleOfChannelsWithMasksAndReadBack)
{
    seed_record(1, 0);
    seed_record(2, 1);
    // Day 0 whole-day, day 1 switched off (its action stays 0), day 7 (holidays)
    // with 48 plans, the last cut to 31 characters.
    std::string plans;
    for (int i = 0; i < 48; i++)
        plans += std::string(i ? "," : "") + "[\"" + std::to_string(i / 2) + (i % 2 ? ":30" : ":00") + "\",\"" +
                 (i == 47 ? std::string(40, 'e') : "x") + "\"," + std::to_string(i % 3) + "]";
    const std::string body = R"({"cnt":3,"chnid":[1,2,70,3],"recordplanmode":1,"schedule":[)"
                             R"({"wholedayEnable":1,"wholedayActionType":4},{"wholedayEnable":0,"wholedayActionType":4},)"
                             R"({},{},{},{},{},{"plans":[)" + plans + "]}]}";
    EXPECT_EQ(post("/6041", body).out, text_reply("OK"));
    sent_once(REQ_RECORD_PLAN_MODE_CHANGED, mask_bytes(1ULL << 1));  // channel 2 already had mode 1
    sent_once(REQ_RECORD_SCHEDULE_CHANGED, mask_bytes(1ULL << 1 | 1ULL << 2));
    // The last channel read, out of range or not.
    EXPECT_TRUE(same_bytes(logs(1)[0], log_record(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_RECORD_SCHEDULE, 71)));
    EXPECT_EQ(record(1).mode, 1);
    EXPECT_EQ(record(1).record_expiry, 30);  // the rest of the row kept
    Schedule s;
    EXPECT_EQ(stored(kScheduleKind, 3, &s), 1);  // beyond "cnt"
    ASSERT_EQ(stored(kScheduleKind, 2, &s), 0);
    EXPECT_EQ(s.days[0].whole_day_action, 4);
    EXPECT_EQ(s.days[1].whole_day_enable + s.days[1].whole_day_action, 0);
    EXPECT_EQ(std::string(s.days[7].slots[47].end_time), std::string(31, 'e'));

    const std::string reply = get("/6040", "2").out;
    JsonPtr o(json_tokener_parse(reply.substr(kJsonHead.size()).c_str()));
    ASSERT_TRUE(o) << reply;
    json_object *week, *plan_list;
    ASSERT_TRUE(json_object_object_get_ex(o.get(), "schedule", &week));
    ASSERT_EQ(json_object_array_length(week), 8u);
    ASSERT_TRUE(json_object_object_get_ex(json_object_array_get_idx(week, 7), "plans", &plan_list));
    ASSERT_EQ(json_object_array_length(plan_list), 48u);
    EXPECT_EQ(canon(json_object_to_json_string(json_object_array_get_idx(plan_list, 47))),
              R"({"startTime":"23:30","endTime":")" + std::string(31, 'e') + R"(","actionType":2})");
    EXPECT_EQ(canon(json_object_to_json_string(json_object_array_get_idx(week, 0))).substr(0, 47),
              R"({"wholedayEnable":1,"wholedayActionType":4,"pla)");
    EXPECT_EQ(canon(reply.substr(kJsonHead.size())).substr(0, 8), "{\"id\":2,");

    // Without a plan mode nothing is reset: silence.
    EXPECT_EQ(post("/6041", R"({"cnt":1,"chnid":[1],"schedule":[]})").out, "");
    EXPECT_EQ(post("/6041", R"({"cnt":1,"chnid":[1],"recordplanmode":3})").out, "");
    EXPECT_EQ(record(1).mode, 1);
}

TEST_F(RecordTest, RecordModesByIdAndBounds)
{
    for (int c = 0; c < 64; c++)
        seed_record(c, 0);
    EXPECT_EQ(post("/6043", R"({"records":[{"id":5,"mode":1}]})").out, text_reply("OK"));
    sent_once(REQ_RECORD_MODE_CHANGED, int32_bytes({5}));
    EXPECT_TRUE(same_bytes(logs(1)[0], log_record(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_RECORD_MODE, 0)));
    EXPECT_EQ(record(5).mode, 1);
    EXPECT_EQ(record(0).mode, 0);
    EXPECT_EQ(record(5).record_expiry, 30);

    std::string many;
    for (int i = 0; i < 65; i++)
        many += std::string(i ? "," : "") + "{\"id\":" + std::to_string(i % 64) + ",\"mode\":2}";
    for (const std::string& bad : {"{\"records\":[" + many + "]}", std::string(R"({"records":[{"id":0,"mode":2},{"id":1,"mode":3}]})"),
                                   std::string(R"({"records":[{"id":64,"mode":0}]})"), std::string("{}")}) {
        EXPECT_EQ(post("/6043", bad).out, text_reply("ERROR"));
        EXPECT_TRUE(no_logs());
    }
    EXPECT_EQ(record(0).mode, 0);

    set_param("max_cameras", 16);
    std::string want;
    for (int c = 0; c < 16; c++)
        want += std::string(c ? "," : "") + "{\"id\":" + std::to_string(c) + ",\"mode\":" + (c == 5 ? "1" : "0") + "}";
    EXPECT_TRUE(json_reply_is(get("/6042").out, "{\"records\":[" + want + "]}"));
    set_param("max_cameras", 1000);  // clamped to the 64 rows
    const std::string all = get("/6042").out;
    EXPECT_EQ(std::count(all.begin(), all.end(), '{'), 65);
}

TEST_F(RecordTest, RecordParamsRecordsCamerasAndAnswers)
{
    seed_record(2, 0);
    seed_camera(2, 1, 0, 0, 0, 0);  // takes ANR and the new stream
    seed_camera(3, 1, 0, 4, 0, 1);  // a PoE camera: ANR untouched
    core.reply(REQ_CAMERA_ANR_SET, bytes_of(zeroed<camera_anr_reply>()));
    const std::string body = R"({"cnt":3,"chnid":[2,3,2],"prevRecordOn":1,"prevRecordDuration":5,"postRecordOn":1,)"
                             R"("postRecordDuration":30,"audioEnable":1,"recordExpDate":7,"camAnr":1,"recordStreamType":1})";
    EXPECT_TRUE(json_reply_is(post("/6045", body).out, R"({"resp":0})"));
    record_channel_list list = zeroed<record_channel_list>();
    list.channels[0] = 2, list.channels[1] = 3, list.count = 2;
    sent_once(REQ_RECORD_PARAMS_CHANGED, bytes_of(list));
    camera_anr_request anr = zeroed<camera_anr_request>();
    anr.channels[0] = 2, anr.count = 1, anr.anr = 1;
    sent_once(REQ_CAMERA_ANR_SET, bytes_of(anr));
    EXPECT_TRUE(same_bytes(logs(1)[0], log_record(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_RECORD, 0)));
    db_record r = record(3);
    EXPECT_EQ(r.id, 3);
    EXPECT_EQ(r.pre_record_duration + r.post_record_duration + r.audio_enable + r.record_expiry, 5 + 30 + 1 + 7);
    EXPECT_EQ(camera(2).anr, 1);
    EXPECT_EQ(camera(3).anr, 0);
    EXPECT_EQ(camera(2).record_stream, 1);
    EXPECT_EQ(std::string(camera(3).address), "cam3");

    EXPECT_TRUE(json_reply_is(post("/6044", "3").out,
                              R"({"id":3,"prevRecordOn":1,"prevRecordDuration":5,"postRecordOn":1,"postRecordDuration":30,)"
                              R"("audioEnable":1,"recordStreamType":1,"recordExpDate":7,"cameraAnr":0,"camEnable":1,)"
                              R"("camProtocol":0,"poeChannel":4})"));
    for (const char* channel : {"64", "", "abc", "5x", "-1", " 5"}) {
        EXPECT_EQ(post("/6044", channel).out, "") << channel;
        EXPECT_EQ(post("/6046", channel).out, "") << channel;
    }

    // "cnt" of 100 naming one channel: listed once. A count of 1000 in the
    // answers is bounded by their arrays.
    camera_anr_reply failed = zeroed<camera_anr_reply>();
    failed.count = 1000, failed.anr = 1, failed.results[63] = -1;
    core.reply(REQ_CAMERA_ANR_SET, bytes_of(failed));
    std::string hundred = R"({"cnt":100,"chnid":[)";
    for (int i = 0; i < 100; i++)
        hundred += std::string(i ? "," : "") + "5";
    hundred += R"(],"prevRecordOn":0,"prevRecordDuration":0,"postRecordOn":0,"postRecordDuration":0,"audioEnable":0,"camAnr":0,"recordStreamType":0})";
    EXPECT_TRUE(json_reply_is(post("/6045", hundred).out, R"({"resp":-1})"));
    list = zeroed<record_channel_list>();
    list.channels[0] = 5, list.count = 1;
    sent_once(REQ_RECORD_PARAMS_CHANGED, bytes_of(list));
    // A missing check field: silence; no answer: the JSON error body.
    EXPECT_EQ(post("/6045", R"({"cnt":1,"chnid":[5],"camAnr":0})").out, "");
    core.silent(REQ_CAMERA_ANR_SET);
    EXPECT_EQ(post("/6045", hundred).out, kJsonError);

    record_streams_reply streams = zeroed<record_streams_reply>();
    streams.count = 1000, streams.primary[0] = 7, streams.secondary[63] = 9;
    core.reply(REQ_RECORD_STREAMS, bytes_of(streams));
    std::string primary = "[7", secondary = "[0";
    for (int i = 1; i < 64; i++)
        primary += ",0", secondary += i == 63 ? ",9" : ",0";
    EXPECT_TRUE(json_reply_is(get("/6047").out,
                              "{\"primary\":" + primary + "],\"secondary\":" + secondary + "],\"size\":64}"));
    core.reply(REQ_CAMERA_ANR_SUPPORT, int32_bytes({9, 1}));
    EXPECT_TRUE(json_reply_is(post("/6046", "9").out, R"({"chnid":9,"support":1})"));
    sent_once(REQ_CAMERA_ANR_SUPPORT, int32_bytes({9}));
    core.reply(REQ_CAMERA_ANR_SUPPORT, int32_bytes({9}));  // short: no answer
    EXPECT_EQ(post("/6046", "9").out, kJsonError);
}

// The local device records what the schedule says: a channel set to record
// 08:00-10:00 only has sections that start and end inside those hours.
TEST(RecordSimulated, CoresimRecordingsFollowTheSchedule)
{
    ScratchRoot root;
    CoresimProcess sim(root.path(), {{"TZ", "UTC"}});
    ASSERT_TRUE(sim.running());
    auto post = [&](const std::string& path, const std::string& body) {
        return post_json_body(root.path(), path, body);
    };
    std::string days;
    for (int d = 0; d < 8; d++)
        days += std::string(d ? "," : "") + R"({"wholedayEnable":0,"plans":[["08:00","10:00",1]]})";
    ASSERT_EQ(post("/6041", R"({"cnt":1,"chnid":[4],"recordplanmode":0,"schedule":[)" + days + "]}"), "OK");
    const time_t now = time(nullptr);
    const std::string search = R"({"channelId":4,"sid":-1,"streamType":0,"time":")" + utc_time_text(now - 2 * 86400) +
                               R"(","endTime":")" + utc_time_text(now) + "\"}";
    JsonPtr found(json_tokener_parse(post("/4000", search).c_str()));
    json_object* list = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(found.get(), "section", &list));
    ASSERT_GT(json_object_array_length(list), 0u);
    for (size_t i = 0; i < json_object_array_length(list); i++) {
        json_object *start, *end;
        ASSERT_TRUE(json_object_object_get_ex(json_object_array_get_idx(list, i), "startTime", &start));
        ASSERT_TRUE(json_object_object_get_ex(json_object_array_get_idx(list, i), "endTime", &end));
        const std::string s = json_object_get_string(start), e = json_object_get_string(end);
        EXPECT_TRUE(s.substr(11, 2) == "08" || s.substr(11, 2) == "09") << s;
        EXPECT_TRUE(e.substr(11, 2) == "08" || e.substr(11, 2) == "09") << e;
    }
    // Mode 2: nothing recorded at all.
    ASSERT_EQ(post("/6043", R"({"records":[{"id":4,"mode":2}]})"), "OK");
    EXPECT_EQ(canon(post("/4000", search)), R"({"status":"NO MATCHES"})");
}

}  // namespace
