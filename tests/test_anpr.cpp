// Licence plates and snapshots, black-box through nvrweb.cgi against the
// fake core service and a scratch database; one run against coresim.
#include <sys/stat.h>

#include "core/db.h"
#include "modules/video/video.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kAnprEventKind = {"anpr_event", (int)sizeof(anpr_event), 4 * 64};
const vxdb_kind kSnapshotKind = {"snapshot", (int)sizeof(snapshot), 64};

class AnprTest : public HandlerTest {
protected:
    // The plate's type as listed, or "-" when the plate is not listed.
    std::string plate_type(const char* plate)
    {
        vxdb_close_all();
        anpr_list entry;
        const int rc = read_anpr_list_plate(VXDB_ANPR, plate, &entry);
        vxdb_close_all();
        return rc == 0 ? std::string(entry.type) : "-";
    }
    int plates()
    {
        vxdb_close_all();
        const int n = read_anpr_list_count(VXDB_ANPR);
        vxdb_close_all();
        return n;
    }
    std::vector<std::string> payloads(int code, size_t n)
    {
        EXPECT_TRUE(core.wait_for(code, n)) << code;
        std::vector<std::string> out;
        for (const FakeRequest& r : sent(code))
            out.push_back(r.payload);
        return out;
    }
};

std::string flags(int action, std::initializer_list<int> channels)
{
    snapshot_channel_flags f = zeroed<snapshot_channel_flags>();
    f.action = action;
    for (int c : channels)
        f.flags[c] = 1;
    return bytes_of(f);
}

TEST_F(AnprTest, PlatesAddedChangedDeletedAndCounted)
{
    // Decoded after the cut; a short element skipped; a listed plate gets the new type.
    EXPECT_TRUE(json_reply_is(post("/6184", R"({"cnt":4,"plate":[["black","AB%2012%4"],)"
                                             R"(["white-list-type-too-long","CD34"],["black"],["white","AB 12%4"]]})")
                                  .out,
                              R"({"count":3})"));
    EXPECT_EQ(plate_type("AB 12%4"), "white");
    EXPECT_EQ(plate_type("CD34"), "white-list-type");
    EXPECT_EQ(plates(), 2);

    // The short triple keeps its plate; an unlisted old plate deletes nothing.
    EXPECT_EQ(post("/6185", R"({"cnt":3,"plate":[["AB 12%4","black","EF56"],["CD34"],["XX","black","CD34"]]})").out,
              text_reply());
    EXPECT_EQ(plate_type("AB 12%4"), "-");
    EXPECT_EQ(plate_type("EF56"), "black");
    EXPECT_EQ(plate_type("CD34"), "black");

    EXPECT_EQ(post("/6183", R"({"cnt":2,"plate":["EF%35%36","NOPE","CD34"]})").out, text_reply());
    EXPECT_EQ(plate_type("EF56"), "-");
    EXPECT_EQ(plates(), 1);

    const struct { const char* path; std::string body, reply; } refused[] = {
        {"/6184", R"({"cnt":10001,"plate":[["black","Q1"]]})", kJsonError},
        {"/6184", R"({"cnt":0,"plate":[]})", kJsonError},
        {"/6184", "not json", kJsonError},
        {"/6183", R"({"cnt":10001,"plate":["CD34"]})", kTextError},
        {"/6183", R"({"cnt":1,"plate":[""]})", kTextError},
        {"/6183", "{", kJsonError},
        {"/6185", R"({"cnt":10001,"plate":[["CD34","x","Q"]]})", kTextError},
        {"/6185", "[", kJsonError},
    };
    for (const auto& r : refused)
        EXPECT_EQ(post(r.path, r.body).out, r.reply) << r.path << " " << r.body.substr(0, 40);
    EXPECT_EQ(plates(), 1);
    EXPECT_EQ(plate_type("CD34"), "black");
}

// A request body holds far fewer plates (30 KB), so the full list is built
// through the records functions: the listed plate stays, the last new one finds no room.
TEST_F(AnprTest, PlateListHoldsTenThousand)
{
    std::vector<anpr_list> entries(ANPR_LIST_CAPACITY);
    for (int i = 0; i < ANPR_LIST_CAPACITY; i++) {
        entries[i] = zeroed<anpr_list>();
        put(entries[i].type, "black");
        put(entries[i].plate, "P" + std::to_string(i));
    }
    anpr_list listed = entries[5];
    put(listed.plate, "X");
    ASSERT_EQ(write_anpr_list_replace_batch(VXDB_ANPR, &listed, 1), 1);
    EXPECT_EQ(write_anpr_list_replace_batch(VXDB_ANPR, entries.data(), ANPR_LIST_CAPACITY), ANPR_LIST_CAPACITY - 1);
    EXPECT_EQ(plates(), ANPR_LIST_CAPACITY);
    EXPECT_EQ(plate_type("P9999"), "-");
    EXPECT_EQ(plate_type("X"), "black");
    ASSERT_EQ(post("/6185", R"({"cnt":1,"plate":[["X","white","P9999"]]})").out, text_reply());
    EXPECT_EQ(plate_type("P9999"), "white");
    EXPECT_EQ(plate_type("X"), "-");
}

TEST_F(AnprTest, ModeActionsStoredPerChannelAndMode)
{
    const std::string sche = R"([[["08:00","09:00",2]]])";
    ASSERT_EQ(post("/6180", R"({"chnid":5,"mode":1,"enable":1,"dialog":{"interval":7,"triChannels":"101",)"
                            R"("httpParams":{"url":"http://h/%41","username":"u","password":"p"},"effective":)" +
                                sche + "}}")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(payloads(REQ_ANPR_CHANGED, 1).at(0), int32_bytes({5, 1})));
    anpr_event e;
    ASSERT_EQ(stored(kAnprEventKind, 2 * 64 + 5, &e), 0);
    const int fields[] = {e.id, e.mode, e.enable, e.interval, (int)e.tri_channels};
    EXPECT_EQ(std::vector<int>(fields, fields + 5), std::vector<int>({5, 1, 1, 7, 5}));
    EXPECT_EQ(stored(kAnprEventKind, 1 * 64 + 5, &e), 1);  // mode 0 untouched

    const std::string reply = canon(reply_body(post("/6179", R"({"chnid":5,"mode":1})").out));
    const std::string head = R"({"chnid":5,"mode":1,"enable":1,"triAlarms":0,"interval":7,"email_interval":0,)"
                             R"("email_pic_enable":0,"tri_channels_pic":"","ptz_interval":0,"alarmout_interval":0,)"
                             R"("white_interval":0,"http_notification_interval":0,"triChannels":"101",)"
                             R"("effective":[[{"startTime":"08:00","endTime":"09:00","actionType":2})";
    EXPECT_EQ(reply.substr(0, head.size()), head);
    EXPECT_NE(reply.find(R"("httpParams":{"chnId":5,"url":"http://h/%41","username":"u","password":"p"},)"
                         R"("audioId":0,"audioIdMask":0,"ptzParams":[]})"),
              std::string::npos)
        << reply.substr(reply.size() > 200 ? reply.size() - 200 : 0);

    // Mode -1 shares the visitor tables with mode 2.
    ASSERT_EQ(post("/6180", R"({"chnid":6,"mode":-1,"dialog":{"httpParams":{"url":"http://v/"}}})").out, text_reply());
    EXPECT_NE(canon(reply_body(post("/6179", R"({"chnid":6,"mode":2})").out)).find(R"("url":"http://v/")"),
              std::string::npos);

    core.clear();
    for (const char* body : {R"({"chnid":5,"mode":3})", R"({"chnid":64,"mode":0})", R"({"chnid":-1,"mode":0})",
                             R"({"chnid":5,"mode":-2})", R"({"chnid":5})", "not json"}) {
        EXPECT_EQ(post("/6180", body).out, kJsonError) << body;
        EXPECT_EQ(post("/6179", body).out, kJsonError) << body;
    }
    EXPECT_TRUE(sent(REQ_ANPR_CHANGED).empty());
}

TEST_F(AnprTest, CameraSettingsAndPlateFormats)
{
    anpr_plate_format want = zeroed<anpr_plate_format>();
    want.channel = 3, want.filter = 1, want.enable[0] = 1, want.cr_count[0] = 7;
    put(want.format[0], "ABCDEFGHIJKLMNO");
    put(want.format[1], "x");
    const std::string wildcards =
        R"("filter":1,"wildcards":[{"enable":1,"cr_count":7,"format":"ABCDEFGHIJKLMNOPQRST"},{"format":"x"}])";
    core.reply(REQ_IPC_ANPR_FORMAT_SET, int32_bytes({0}));
    EXPECT_EQ(post("/6191", R"({"chnid":3,)" + wildcards + "}").out, text_reply());
    EXPECT_TRUE(same_bytes(payloads(REQ_IPC_ANPR_FORMAT_SET, 1).at(0), bytes_of(want)));

    // The camera's 16 characters without a NUL are shown as 15.
    anpr_plate_format answer = want;
    put(answer.format[0], "ABCDEFGHIJKLMNOP");
    core.reply(REQ_IPC_ANPR_FORMAT_GET, bytes_of(answer));
    const std::string shown = canon(reply_body(post("/6190", R"({"chnid":3})").out));
    const std::string first = R"({"chnid":3,"filter":1,"wildcards":[{"enable":1,"cr_count":7,)"
                              R"("format":"ABCDEFGHIJKLMNO"},{"enable":0,"cr_count":0,"format":"x"},)";
    EXPECT_EQ(shown.substr(0, first.size()), first);

    anpr_settings settings = zeroed<anpr_settings>();
    settings.channel = 3, settings.enable = 1, settings.cur_area = 2, settings.in_night_mode = 1;
    put(settings.post_http_url, "http://x/%41");
    put(settings.region[1].name, "gate");
    settings.region[1].end_x = 640;
    core.reply(REQ_ANPR_SETTINGS_GET, bytes_of(settings));
    const std::string got = canon(reply_body(post("/6181", R"({"chnid":3})").out));
    EXPECT_EQ(got.substr(0, 40), R"({"chnid":3,"enable":1,"resolution_width")");
    EXPECT_NE(got.find(R"("post_http_url":"http://x/%41")"), std::string::npos);
    EXPECT_NE(got.find(R"("cur_area":2,"in_night_mode":1,"region":[{"name":"","startX":0,"startY":0,"endX":0,)"
                       R"("endY":0,"preset":0},{"name":"gate","startX":0,"startY":0,"endX":640,)"),
              std::string::npos)
        << got;

    // Formats go first, then the settings; the reply is the camera's word.
    settings.in_night_mode = 0;
    core.reply(REQ_ANPR_SETTINGS_SET, int32_bytes({1}));
    EXPECT_EQ(post("/6182", R"({"chnid":3,"enable":1,"cur_area":2,"in_night_mode":1,"post_http_url":"http://x/%41",)"
                            R"("region":[{},{"name":"gate","endX":640}],"formatData":{)" + wildcards + "}}")
                  .out,
              text_reply("FAILED"));
    EXPECT_TRUE(same_bytes(payloads(REQ_IPC_ANPR_FORMAT_SET, 1).at(0), bytes_of(want)));
    EXPECT_TRUE(same_bytes(payloads(REQ_ANPR_SETTINGS_SET, 1).at(0), bytes_of(settings)));
    const std::vector<FakeRequest> order = sent_all();
    EXPECT_EQ(order.at(order.size() - 2).code, REQ_IPC_ANPR_FORMAT_SET);

    // Short, silent and refused.
    core.reply(REQ_ANPR_SETTINGS_GET, bytes_of(settings).substr(1));
    core.reply(REQ_ANPR_SUPPORT_GET, int32_bytes({3, 1}));
    core.silent(REQ_IPC_ANPR_FORMAT_GET);
    core.reply(REQ_IPC_LPR_STATE_GET, int32_bytes({3, 1, 4}));
    EXPECT_TRUE(json_reply_is(post("/6189", R"({"chnid":3})").out, R"({"chnid":3,"state":1,"zoomNumber":4})"));
    for (const char* path : {"/6181", "/6186", "/6190"})
        EXPECT_EQ(post(path, R"({"chnid":3})").out, kJsonError) << path;
    for (const char* path : {"/6181", "/6182", "/6186", "/6189", "/6190", "/6191"})
        for (const char* body : {R"({"chnid":64})", "not json"})
            EXPECT_EQ(post(path, body).out, kJsonError) << path << body;
}

TEST_F(AnprTest, SnapshotScheduleSettingsAndStartStop)
{
    ASSERT_EQ(post("/6175", R"({"cnt":1,"chnid":[9],"schedule":[[["01:00","02:00",1]]]})").out, text_reply());
    core.clear();
    ASSERT_EQ(post("/6175", R"({"cnt":3,"chnid":[2,64,5],"schedule":[[["08:00","09:00",2]]]})").out, text_reply());
    EXPECT_TRUE(same_bytes(payloads(REQ_SNAPSHOT_SCHEDULE_CHANGED, 1).at(0), flags(0, {2, 5})));
    const struct { const char* channel; const char* start; } schedules[] = {
        {"2", "08:00"}, {"5", "08:00"}, {"9", "01:00"}};
    for (const auto& s : schedules)
        EXPECT_NE(canon(reply_body(post("/6174", s.channel).out)).find(std::string("\"startTime\":\"") + s.start),
                  std::string::npos)
            << s.channel;

    ASSERT_EQ(post("/6177", R"({"resolution":1,"quality":2,"interval":3,"interval_unit":4,"expiration_date":5,)"
                            R"("cnt":3,"chnid":[0,63,64]})")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(payloads(REQ_SNAPSHOT_SETTINGS_CHANGED, 1).at(0), flags(0, {0, 63})));
    snapshot want = zeroed<snapshot>();
    want.channel = 63, want.resolution = 1, want.quality = 2, want.interval = 3, want.interval_unit = 4;
    want.expiration_date = 5;
    snapshot got;
    ASSERT_EQ(stored(kSnapshotKind, 63, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));
    for (const char* c : {"0", "63"})
        EXPECT_TRUE(json_reply_is(post("/6176", c).out, R"({"resolution":1,"quality":2,"interval":3,)"
                                                         R"("interval_unit":4,"expiration_date":5})"));
    EXPECT_EQ(stored(kSnapshotKind, 1, &got), 1);

    ASSERT_EQ(post("/6178", R"({"snapshotCnt":3,"snapshotChnId":[1,3,99],"stopCnt":1,"stopChnId":[3]})").out,
              text_reply());
    const std::vector<std::string> sent13 = payloads(REQ_SNAPSHOT_START_STOP, 2);
    ASSERT_EQ(sent13.size(), 2u);
    EXPECT_TRUE(same_bytes(sent13[0], flags(1, {1, 3})));
    EXPECT_TRUE(same_bytes(sent13[1], flags(0, {3})));
    core.clear();
    EXPECT_EQ(post("/6178", R"({"snapshotCnt":0,"stopCnt":0})").out, text_reply());
    EXPECT_FALSE(core.wait_for(REQ_SNAPSHOT_START_STOP, 1, 300));

    for (const char* path : {"/6175", "/6177", "/6178"})
        EXPECT_EQ(post(path, "not json").out, kTextError) << path;
    for (const char* path : {"/6174", "/6176"})
        for (const char* body : {"", "64", "-1", "x"})
            EXPECT_EQ(post(path, body).out, kTextError) << path << body;
}

TEST_F(AnprTest, LocalDeviceAnswersAndCreatesThePlateDatabase)
{
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        return post_json(root.path(), path, body).out;
    };
    struct stat st;
    EXPECT_NE(stat((root.path() + VXDB_ANPR).c_str(), &st), 0);
    EXPECT_TRUE(json_reply_is(run("/6184", R"({"cnt":1,"plate":[["black","Z9"]]})"), R"({"count":1})"));
    EXPECT_EQ(stat((root.path() + VXDB_ANPR).c_str(), &st), 0);

    EXPECT_EQ(run("/6191", R"({"chnid":4,"filter":2,"wildcards":[{"enable":1,"cr_count":5,"format":"AB"}]})"),
              text_reply());
    EXPECT_EQ(canon(reply_body(run("/6190", R"({"chnid":4})"))).find(
                  R"({"chnid":4,"filter":2,"wildcards":[{"enable":1,"cr_count":5,"format":"AB"},{"enable")"),
              0u);
    EXPECT_EQ(run("/6182", R"({"chnid":4,"enable":1,"confidence":80})"), text_reply());
    const std::string settings = canon(reply_body(run("/6181", R"({"chnid":4})")));
    EXPECT_NE(settings.find(R"("confidence":80)"), std::string::npos) << settings;
    EXPECT_TRUE(json_reply_is(run("/6189", R"({"chnid":4})"), R"({"chnid":4,"state":1,"zoomNumber":1})"));
    EXPECT_TRUE(json_reply_is(run("/6186", R"({"chnid":4})"), R"({"chnid":4,"vca_support":1,"vca_version":1})"));
    EXPECT_EQ(run("/6178", R"({"snapshotCnt":1,"snapshotChnId":[4]})"), text_reply());
    EXPECT_TRUE(json_reply_is(run("/6176", "15"),
                              R"({"resolution":0,"quality":1,"interval":5,"interval_unit":0,"expiration_date":7})"));
    EXPECT_TRUE(sim.stop());
}

}  // namespace
