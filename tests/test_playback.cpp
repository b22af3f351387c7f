// Playback module: the resource table, recording search, playback sessions
// and their control, transcoding and the answers only the dispatcher knows,
// run black-box through nvrweb.cgi against a fake core service.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "modules/playback/playback.h"
#include "modules/playback/remote_backup.h"
#include "tests/storage_test_helpers.h"

using namespace storage_test;

namespace {

// Runs as the storage fixture does, plus the module's own seeding and checks.
class PlaybackCgi : public StorageCgi {
protected:
    void seed_device(int channels)
    {
        db_device d = zeroed<db_device>();
        d.id = 1;
        d.max_channels = channels;
        ASSERT_EQ(db_set_device(VXDB_MAIN, &d), 0);
        vxdb_close_all();
    }
    void set_param_text(const char* key, const std::string& value)
    {
        if (check_param_key(VXDB_MAIN, key))
            ASSERT_EQ(add_param_value(VXDB_MAIN, key, value.c_str()), 0);
        else
            ASSERT_EQ(set_param_value(VXDB_MAIN, key, value.c_str()), 0);
        vxdb_close_all();
    }
    // A POST with further environment variables.
    CgiResult run_env(const std::string& path, const std::string& body,
                      std::vector<std::pair<std::string, std::string>> env)
    {
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.body = body;
        r.content_type = "application/json";
        r.cookie = "userName=admin";
        r.remote_addr = kAddr;
        r.env = std::move(env);
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << path << " " << body;
        return res;
    }
    // Nothing reached the fake, requests sent without waiting included.
    bool nothing_sent()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return core.requests().empty();
    }
};

search_section section(int channel, int sid, int lock, int type, const char* start, const char* end)
{
    search_section s = zeroed<search_section>();
    s.channel = channel;
    s.sid = sid;
    s.lock = lock;
    s.record_type = type;
    strncpy(s.start, start, sizeof s.start);
    strncpy(s.end, end, sizeof s.end);
    // Bytes the module does not read.
    memset(s.reserved0, 0x11, sizeof s.reserved0);
    memset(s.reserved1, 0x22, sizeof s.reserved1);
    return s;
}

std::string sections(std::initializer_list<search_section> list)
{
    std::string out;
    for (const search_section& s : list)
        out += bytes_of(s);
    return out;
}

std::string list_bytes(const std::vector<int>& ids, const std::vector<int>& speeds, int count)
{
    session_list l = zeroed<session_list>();
    for (size_t i = 0; i < ids.size(); i++)
        l.ids[i] = ids[i];
    for (size_t i = 0; i < speeds.size(); i++)
        l.speeds[i] = speeds[i];
    l.count = count;
    return bytes_of(l);
}

stream_info stream(int session, const char* path)
{
    stream_info s = zeroed<stream_info>();
    s.session = session;
    s.port = 554;
    s.external_port = 10554;
    s.external_http_port = 10080;
    s.ddns_port = 1554;
    s.ddns_http_port = 80;
    strncpy(s.source_path, path, sizeof s.source_path);
    return s;
}

// ---- resource table ----------------------------------------------------------

const char* const kPlaybackOrder[] = {
    "/4000", "/4001", "/4002", "/4003", "/4004", "/4005", "/4006", "/4007", "/4008", "/4009", "/4010",
    "/4011", "/3000", "/3001", "/3002", "/4012", "/4013", "/4014", "/4015", "/4016", "/4017", "/4018",
    "/4019", "/4020", "/3003", "/4022", "/4023", "/4021", "/4024", "/4027", "/4025", "/4026", "/3004",
};

TEST(PlaybackRegistry, RegistersTheThirtyThreePathsSixth)
{
    int count = 0;
    const WebResEntry* table = playback_web_resources(&count);
    ASSERT_EQ(count, 33);
    for (int i = 0; i < count; i++) {
        EXPECT_STREQ(table[i].path, kPlaybackOrder[i]) << "entry " << i;
        EXPECT_NE(table[i].handler, nullptr) << kPlaybackOrder[i];
    }
    // The download rows are the download unit's handlers.
    EXPECT_EQ(table[16].handler, on_download_playback);
    EXPECT_EQ(table[22].handler, on_get_download_ready);
    EXPECT_EQ(table[29].handler, on_clear_download);

    register_web_modules();
    // Storage is the only table registered before this one.
    int storage = 0;
    storage_web_resources(&storage);
    const WebResEntry* first = FindWebRes("/6100");
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < count; i++) {
        const WebResEntry* e = FindWebRes(kPlaybackOrder[i]);
        ASSERT_NE(e, nullptr) << kPlaybackOrder[i];
        EXPECT_EQ(e, first + storage + i) << kPlaybackOrder[i];
    }
    unregister_web_modules();
    EXPECT_EQ(FindWebRes("/4000"), nullptr);
}

// ---- search "/4000" and "/4023" -----------------------------------------------

using PlaybackSearch = PlaybackCgi;

search_request expected_search(const std::string& mask, int stream, const char* start, const char* end)
{
    search_request s = zeroed<search_request>();
    memcpy(s.channels, mask.data(), mask.size());
    s.one = 1;
    s.stream = stream;
    s.minus_one[0] = -1;
    s.minus_one[1] = -1;
    strncpy(s.start, start, 31);
    strncpy(s.end, end, 31);
    return s;
}

TEST_F(PlaybackSearch, SectionsInOrderWithoutClosingForSidMinusOne)
{
    seed_device(8);
    core.reply(REQ_PLAYBACK_SEARCH,
               sections({section(2, 41, 0, 1, "2019-05-01 00:00:00", "2019-05-01 00:59:59"),
                         section(2, 99, 1, 2, "2019-05-01 01:00:00", "2019-05-01 01:30:00"),
                         section(3, 98, 0, 4, "2019-05-01 02:00:00", "2019-05-01 02:10:00")}));
    CgiResult r = post("/4000", R"({"channelId":2,"sid":-1,"streamType":1,)"
                                R"("time":"2019-05-01 00:00:00","endTime":"2019-05-01 23:59:59"})");
    EXPECT_TRUE(json_reply_is(
        r.out, R"({"status":"OK","camId":3,"sectionNum":3,"sid":41,"section":[)"
               R"({"startTime":"2019-05-01 00:00:00","endTime":"2019-05-01 00:59:59","recordType":1,"lock":0},)"
               R"({"startTime":"2019-05-01 01:00:00","endTime":"2019-05-01 01:30:00","recordType":2,"lock":1},)"
               R"({"startTime":"2019-05-01 02:00:00","endTime":"2019-05-01 02:10:00","recordType":4,"lock":0}]})"));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].code, REQ_PLAYBACK_SEARCH);
    EXPECT_TRUE(same_bytes(all[0].payload,
                           bytes_of(expected_search("00100000", 1, "2019-05-01 00:00:00", "2019-05-01 23:59:59"))));
}

TEST_F(PlaybackSearch, OpenSearchIsClosedFirst)
{
    seed_device(4);
    core.reply(REQ_PLAYBACK_SEARCH, "");
    CgiResult r = post("/4000", R"({"channelId":0,"sid":5,"streamType":0,"time":"a","endTime":"b"})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"NO MATCHES"})"));
    ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_SEARCH, 1));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].code, REQ_PLAYBACK_SEARCH_CLOSE);
    EXPECT_TRUE(same_bytes(all[0].payload, list_bytes({5}, {}, 1)));
    EXPECT_EQ(all[1].code, REQ_PLAYBACK_CLOSE);
    EXPECT_TRUE(same_bytes(all[1].payload, int32s({5})));
    EXPECT_EQ(all[2].code, REQ_PLAYBACK_SEARCH);
    EXPECT_TRUE(same_bytes(all[2].payload, bytes_of(expected_search("1000", 0, "a", "b"))));
}

TEST_F(PlaybackSearch, NothingFoundPrintsOnlyNoMatches)
{
    core.reply(REQ_PLAYBACK_SEARCH, "");
    CgiResult r = post("/4000", R"({"channelId":0,"sid":-1,"streamType":0,"time":"a","endTime":"b"})");
    EXPECT_EQ(r.out, kJsonHead + R"({ "status": "NO MATCHES" })");
}

TEST_F(PlaybackSearch, ChannelCountComesFromTheDeviceRecordAndStaysInTheMask)
{
    struct Case {
        int device_channels;  // -1: no device record
        int max_cameras;
        int channel;
        int stream;
        std::string mask;
    } cases[] = {
        // Without a device record the count is "max_cameras".
        {-1, 16, 3, 2, "0001000000000000"},
        {100, 16, 63, 0, std::string(63, '0') + "1"},
        {64, 16, 70, 0, std::string(64, '0')},
        {8, 16, -3, 0, std::string(8, '0')},
        {-5, 16, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        if (c.device_channels != -1)
            seed_device(c.device_channels);
        set_param_text("max_cameras", std::to_string(c.max_cameras));
        core.reply(REQ_PLAYBACK_SEARCH, "");
        std::string body = "{\"channelId\":" + std::to_string(c.channel) + ",\"sid\":-1,\"streamType\":" +
                           std::to_string(c.stream) + R"(,"time":"t0","endTime":"t1"})";
        CgiResult r = post("/4000", body);
        EXPECT_TRUE(json_reply_is(r.out, R"({"status":"NO MATCHES"})"));
        ASSERT_EQ(sent(REQ_PLAYBACK_SEARCH).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SEARCH)[0].payload,
                               bytes_of(expected_search(c.mask, c.stream == 1 ? 1 : 0, "t0", "t1"))));
    }
}

TEST_F(PlaybackSearch, WithoutDeviceRecordOrMaxCamerasThirtyTwoChannels)
{
    core.reply(REQ_PLAYBACK_SEARCH, "");
    post("/4000", R"({"channelId":1,"sid":-1,"streamType":1,"time":"a","endTime":"b"})");
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SEARCH).at(0).payload,
                           bytes_of(expected_search("01" + std::string(30, '0'), 1, "a", "b"))));
}

TEST_F(PlaybackSearch, TimesAreCutAndSectionTextsStayInTheirFields)
{
    seed_device(1);
    search_section s = section(0, 7, 0, 1, "", "");
    memset(s.start, 'S', sizeof s.start);  // no NUL
    memset(s.end, 'E', sizeof s.end);
    memset(s.reserved2, 'R', sizeof s.reserved2);
    core.reply(REQ_PLAYBACK_SEARCH, bytes_of(s));
    std::string long_time(40, '9');
    CgiResult r = post("/4000", R"({"channelId":0,"sid":-1,"streamType":0,"time":")" + long_time +
                                    R"(","endTime":")" + long_time + "\"}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","camId":0,"sectionNum":1,"sid":7,"section":[)"
                                     R"({"startTime":")" + std::string(32, 'S') + R"(","endTime":")" +
                                         std::string(32, 'E') + R"(","recordType":1,"lock":0}]})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SEARCH).at(0).payload,
                           bytes_of(expected_search("1", 0, long_time.c_str(), long_time.c_str()))));
}

TEST_F(PlaybackSearch, IncompleteBodyIsIgnored)
{
    const char* bodies[] = {
        "",
        "not json",
        R"({"sid":-1,"streamType":0,"time":"a","endTime":"b"})",
        R"({"channelId":0,"streamType":0,"time":"a","endTime":"b"})",
        R"({"channelId":0,"sid":-1,"time":"a","endTime":"b"})",
        R"({"channelId":0,"sid":-1,"streamType":0,"endTime":"b"})",
        R"({"channelId":0,"sid":-1,"streamType":0,"time":"a"})",
        R"({"channelId":"x","sid":-1,"streamType":0,"time":"a","endTime":"b"})",
        R"({"channelId":0,"sid":-1,"streamType":0,"time":1,"endTime":"b"})",
    };
    for (const char* body : bodies) {
        CgiResult r = post("/4000", body);
        EXPECT_EQ(r.out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

TEST_F(PlaybackSearch, NoAnswerPrintsTheJsonErrorBody)
{
    CgiResult r = post("/4000", R"({"channelId":0,"sid":-1,"streamType":0,"time":"a","endTime":"b"})");
    EXPECT_EQ(r.out, kJsonError);
}

TEST_F(PlaybackSearch, PageAsksWithSidAndPageAndPrintsTheSections)
{
    core.reply(REQ_PLAYBACK_SEARCH_PAGE, sections({section(6, 12, 0, 1, "s1", "e1")}));
    CgiResult r = post("/4023", R"({"sid":12,"page":3})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","camId":6,"sectionNum":1,"sid":12,"section":[)"
                                     R"({"startTime":"s1","endTime":"e1","recordType":1,"lock":0}]})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SEARCH_PAGE).at(0).payload, int32s({12, 3})));

    core.reply(REQ_PLAYBACK_SEARCH_PAGE, "");
    r = post("/4023", R"({"sid":12,"page":4})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"NO MATCHES"})"));

    core.silent(REQ_PLAYBACK_SEARCH_PAGE);
    r = post("/4023", R"({"sid":12,"page":5})");
    EXPECT_EQ(r.out, kJsonError);
    r = post("/4023", "nope");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(nothing_sent());
}

// ---- start playback "/4001" -----------------------------------------------------

using PlaybackStart = PlaybackCgi;

const char* const kStartBody =
    R"({"channelId":3,"sid":21,"startTime":"2019-05-01 00:00:00","endTime":"2019-05-01 23:59:59",)"
    R"("playTime":"2019-05-01 10:00:00"})";

playback_start expected_start(int channel, int sid, const char* start, const char* end, const char* play)
{
    playback_start p = zeroed<playback_start>();
    p.channel = channel;
    p.sid = sid;
    strncpy(p.start, start, 31);
    strncpy(p.end, end, 31);
    strncpy(p.play, play, 31);
    return p;
}

TEST_F(PlaybackStart, AcceptedStartAsksForTheStreamAndLogs)
{
    core.reply(REQ_PLAYBACK_START, int32s({0}));
    core.reply(REQ_PLAYBACK_STREAM_INFO, bytes_of(stream(21, "/playback/21")));
    CgiResult r = post("/4001", kStartBody);
    EXPECT_TRUE(json_reply_is(r.out, R"({"sessionId":21,"sourcePath":"/playback/21","port":554,"status":"OK",)"
                                     R"("realPlayTime":"2019-05-01 10:00:00","external_port":10554,)"
                                     R"("external_http_port":10080,"ddns_port":1554,"ddns_http_port":80})"));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].code, REQ_PLAYBACK_START);
    EXPECT_TRUE(same_bytes(all[0].payload, bytes_of(expected_start(3, 21, "2019-05-01 00:00:00",
                                                                   "2019-05-01 23:59:59", "2019-05-01 10:00:00"))));
    EXPECT_EQ(all[1].code, REQ_PLAYBACK_STREAM_INFO);
    EXPECT_TRUE(same_bytes(all[1].payload, int32s({21})));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], log_record(209, 900, 4)));
}

TEST_F(PlaybackStart, TextsAreCutTo31AndTheStreamTextsStayInTheirFields)
{
    core.reply(REQ_PLAYBACK_START, int32s({7}));  // not negative: accepted
    stream_info s = stream(4, "");
    memset(s.source_path, 'p', sizeof s.source_path);  // no NUL
    core.reply(REQ_PLAYBACK_STREAM_INFO, bytes_of(s));
    std::string t(40, '1');
    CgiResult r = post("/4001", "{\"channelId\":0,\"sid\":4,\"startTime\":\"" + t + "\",\"endTime\":\"" + t +
                                    "\",\"playTime\":\"" + t + "\"}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"sessionId":4,"sourcePath":")" + std::string(128, 'p') +
                                         R"(","port":554,"status":"OK","realPlayTime":")" + std::string(31, '1') +
                                         R"(","external_port":10554,"external_http_port":10080,"ddns_port":1554,)"
                                         R"("ddns_http_port":80})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_START).at(0).payload,
                           bytes_of(expected_start(0, 4, t.c_str(), t.c_str(), t.c_str()))));
    logs(1);
}

TEST_F(PlaybackStart, RefusedOrUnansweredStartPrintsTheErrorAndStops)
{
    struct Case {
        const char* what;
        std::string answer;
        bool answered;
    } cases[] = {
        {"refused", int32s({-1}), true},
        {"unanswered", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.answered)
            core.reply(REQ_PLAYBACK_START, c.answer);
        else
            core.silent(REQ_PLAYBACK_START);
        core.reply(REQ_PLAYBACK_STREAM_INFO, bytes_of(stream(21, "/x")));
        CgiResult r = post("/4001", kStartBody);
        EXPECT_EQ(r.out, kJsonError);
        EXPECT_EQ(sent(REQ_PLAYBACK_START).size(), 1u);
        EXPECT_TRUE(sent(REQ_PLAYBACK_STREAM_INFO).empty());
        EXPECT_TRUE(no_logs());
    }
}

TEST_F(PlaybackStart, StreamAnswerWithoutRecordLeavesTheBodyEmpty)
{
    core.reply(REQ_PLAYBACK_START, "");  // no word: not a refusal
    core.reply(REQ_PLAYBACK_STREAM_INFO, std::string(100, '\0'));
    CgiResult r = post("/4001", kStartBody);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(sent(REQ_PLAYBACK_STREAM_INFO).size(), 1u);
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(209, 900, 4)));
}

TEST_F(PlaybackStart, UnansweredStreamRequestPrintsTheErrorBody)
{
    core.reply(REQ_PLAYBACK_START, int32s({0}));
    CgiResult r = post("/4001", kStartBody);
    EXPECT_EQ(r.out, kJsonError);
    EXPECT_EQ(sent(REQ_PLAYBACK_STREAM_INFO).size(), 1u);
}

TEST_F(PlaybackStart, InvalidBodiesGiveNoOutput)
{
    const char* bodies[] = {
        "",
        R"({"channelId":8,"sid":1,"startTime":"a","endTime":"b","playTime":"c"})",
        R"({"channelId":-1,"sid":1,"startTime":"a","endTime":"b","playTime":"c"})",
        R"({"sid":1,"startTime":"a","endTime":"b","playTime":"c"})",
        R"({"channelId":0,"startTime":"a","endTime":"b","playTime":"c"})",
        R"({"channelId":0,"sid":1,"endTime":"b","playTime":"c"})",
        R"({"channelId":0,"sid":1,"startTime":"a","playTime":"c"})",
        R"({"channelId":0,"sid":1,"startTime":"a","endTime":"b"})",
    };
    for (const char* body : bodies) {
        CgiResult r = post("/4001", body);
        EXPECT_EQ(r.out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

// ---- play time "/4002" -------------------------------------------------------------

using PlaybackTime = PlaybackCgi;

TEST_F(PlaybackTime, AnswersTheLocalTimeOfTheSeconds)
{
    core.reply(REQ_PLAYBACK_TIME, int32s({1556704800}));
    CgiResult r = post("/4002", "17");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","curPlayTime":"2019-05-01 10:00:00"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_TIME).at(0).payload, int32s({17})));

    // In the browser's zone when the device runs in one.
    core.reply(REQ_PLAYBACK_TIME, int32s({1556704800}));
    r = run_env("/4002", "0", {{"TZ", "EST5"}});
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","curPlayTime":"2019-05-01 05:00:00"})"));
}

TEST_F(PlaybackTime, NoTimeShortAnswerOrSilenceIsTheErrorBody)
{
    core.reply(REQ_PLAYBACK_TIME, int32s({0}));
    EXPECT_EQ(post("/4002", "1").out, kJsonError);
    core.reply(REQ_PLAYBACK_TIME, int32s({-5}));
    EXPECT_EQ(post("/4002", "1").out, kJsonError);
    core.reply(REQ_PLAYBACK_TIME, std::string("\x01\x02", 2));
    EXPECT_EQ(post("/4002", "1").out, kJsonError);
    core.silent(REQ_PLAYBACK_TIME);
    EXPECT_EQ(post("/4002", "1").out, kJsonError);
}

TEST_F(PlaybackTime, SessionIdMustBeANonNegativeNumber)
{
    for (const char* body : {"-1", "abc", "", "5x"}) {
        EXPECT_EQ(post("/4002", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

// ---- session lists "/4003" "/4004" "/4006" "/4007" "/3003" "/4005" ----------------------

using PlaybackSessions = PlaybackCgi;

TEST_F(PlaybackSessions, StopClosesEachIdThenStopsAndClosesTheList)
{
    CgiResult r = post("/4003", R"({"close":1,"num":3,"sid":[4,-1,9]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_SEARCH_CLOSE, 1));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].code, REQ_PLAYBACK_CLOSE);
    EXPECT_TRUE(same_bytes(all[0].payload, int32s({4})));
    EXPECT_EQ(all[1].code, REQ_PLAYBACK_CLOSE);
    EXPECT_TRUE(same_bytes(all[1].payload, int32s({9})));
    EXPECT_EQ(all[2].code, REQ_PLAYBACK_STOP);
    EXPECT_TRUE(same_bytes(all[2].payload, list_bytes({4, -1, 9}, {}, 3)));
    EXPECT_EQ(all[3].code, REQ_PLAYBACK_SEARCH_CLOSE);
    EXPECT_TRUE(same_bytes(all[3].payload, list_bytes({4, -1, 9}, {}, 3)));
}

TEST_F(PlaybackSessions, StopWithoutCloseKeepsTheSearch)
{
    CgiResult r = post("/4003", R"({"close":0,"num":1,"sid":[2]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_STOP, 1));
    EXPECT_FALSE(core.wait_for(REQ_PLAYBACK_SEARCH_CLOSE, 1, 300));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_STOP)[0].payload, list_bytes({2}, {}, 1)));
}

TEST_F(PlaybackSessions, ListsHoldTheFirstNumIdsAndNeverMoreThanSixtyFour)
{
    std::string seventy;
    std::vector<int> first64;
    for (int i = 0; i < 70; i++) {
        seventy += (i ? "," : "") + std::to_string(100 + i);
        if (i < 64)
            first64.push_back(100 + i);
    }
    struct Case {
        const char* path;
        int code;
        std::string body;
        std::string want;
    } cases[] = {
        {"/4004", REQ_PLAYBACK_PAUSE, R"({"num":2,"sid":[7,8,9]})", list_bytes({7, 8}, {}, 2)},
        {"/4004", REQ_PLAYBACK_PAUSE, R"({"num":5,"sid":[7,8]})", list_bytes({7, 8}, {}, 2)},
        {"/4004", REQ_PLAYBACK_PAUSE, R"({"num":-3,"sid":[7,8]})", list_bytes({}, {}, 0)},
        {"/4004", REQ_PLAYBACK_PAUSE, "{\"num\":70,\"sid\":[" + seventy + "]}", list_bytes(first64, {}, 64)},
        {"/4006", REQ_PLAYBACK_STEP, R"({"num":1,"sid":[3]})", list_bytes({3}, {}, 1)},
        {"/4006", REQ_PLAYBACK_STEP, "{\"num\":1000,\"sid\":[" + seventy + "]}", list_bytes(first64, {}, 64)},
        {"/4007", REQ_PLAYBACK_FAST, R"({"chind":0,"num":2,"sessionId":[3,4],"speed":[2,4]})",
         list_bytes({3, 4}, {2, 4}, 2)},
        {"/4007", REQ_PLAYBACK_FAST, R"({"chind":[1],"num":2,"sessionId":[3,4],"speed":[8]})",
         list_bytes({3, 4}, {8, 0}, 2)},
        {"/3003", REQ_PLAYBACK_STEP_BATCH, R"({"num":1,"sessionId":[5,6,7]})", list_bytes({5, 6, 7}, {}, 0)},
        {"/3003", REQ_PLAYBACK_STEP_BATCH, "{\"sessionId\":[" + seventy + "]}", list_bytes(first64, {}, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.body);
        CgiResult r = post(c.path, c.body);
        EXPECT_EQ(r.out, text_reply("OK"));
        ASSERT_TRUE(core.wait_for(c.code, 1));
        EXPECT_TRUE(same_bytes(sent(c.code)[0].payload, c.want));
    }
}

TEST_F(PlaybackSessions, ResumeSendsSidAndDirection)
{
    CgiResult r = post("/4005", R"({"sid":3,"direction":1})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_RESUME, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_RESUME)[0].payload, int32s({3, 1})));
}

TEST_F(PlaybackSessions, FastForwardNeedsANonNegativeChind)
{
    for (const char* body : {R"({"num":1,"sessionId":[3],"speed":[2]})",
                             R"({"chind":-1,"num":1,"sessionId":[3],"speed":[2]})",
                             R"({"chind":"x","num":1,"sessionId":[3],"speed":[2]})", "[]x"}) {
        EXPECT_EQ(post("/4007", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

TEST_F(PlaybackSessions, BodiesThatAreNotJsonGiveNoOutput)
{
    for (const char* path : {"/4003", "/4004", "/4005", "/4006", "/3003", "/4022"}) {
        EXPECT_EQ(post(path, "oops").out, "") << path;
        EXPECT_TRUE(nothing_sent()) << path;
    }
}

// ---- speed masks "/4022" "/4008" -------------------------------------------------------

using PlaybackSpeed = PlaybackCgi;

std::string mask_bytes(std::initializer_list<int> positions, int speed, int flag)
{
    speed_mask m = zeroed<speed_mask>();
    memset(m.mask, '0', sizeof m.mask);
    for (int p : positions)
        m.mask[p] = '1';
    m.speed = speed;
    m.flag = flag;
    return bytes_of(m);
}

TEST_F(PlaybackSpeed, SetSpeedMasksSessionIdsAndFlagsOneDoubleSpeedSession)
{
    struct Case {
        std::string body;
        std::string want;
    } cases[] = {
        {R"({"num":1,"sid":[5],"speed":2})", mask_bytes({5}, 2, 1)},
        {R"({"num":2,"sid":[5,6],"speed":2})", mask_bytes({5, 6}, 2, 0)},
        {R"({"num":1,"sid":[5],"speed":4})", mask_bytes({5}, 4, 0)},
        {R"({"num":4,"sid":[64,-1,63,1000],"speed":3})", mask_bytes({63}, 3, 0)},
        {R"({"num":1,"sid":[64],"speed":2})", mask_bytes({}, 2, 1)},
        {R"({"num":3,"sid":[0],"speed":1})", mask_bytes({0}, 1, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(post("/4022", c.body).out, text_reply("OK"));
        ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_SPEED, 1));
        EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SPEED)[0].payload, c.want));
    }
}

TEST_F(PlaybackSpeed, SlowForwardMasksChannelsInsideTheMask)
{
    struct Case {
        std::string body;
        std::string want;
    } cases[] = {
        {R"({"chind":[1,3],"num":2,"speed":3})", mask_bytes({1, 3}, 3, 0)},
        {R"({"chind":[1,3,70,-2,63],"num":5,"speed":2})", mask_bytes({1, 3, 63}, 2, 0)},
        {R"({"chind":[1,3],"num":1,"speed":2})", mask_bytes({1}, 2, 0)},
        {R"({"chind":0,"num":1,"speed":2})", mask_bytes({}, 2, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(post("/4008", c.body).out, text_reply("OK"));
        ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_SLOW, 1));
        EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SLOW)[0].payload, c.want));
    }
    for (const char* body : {R"({"num":1,"speed":2})", R"({"chind":-4,"num":1,"speed":2})"}) {
        EXPECT_EQ(post("/4008", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

// ---- jump "/4009" ------------------------------------------------------------------

using PlaybackJump = PlaybackCgi;

std::string jump_bytes(const std::vector<int>& channels, const std::vector<int>& sids, int count, const char* when)
{
    jump_request j = zeroed<jump_request>();
    for (size_t i = 0; i < channels.size(); i++)
        j.channels[i] = channels[i];
    for (size_t i = 0; i < sids.size(); i++)
        j.sids[i] = sids[i];
    j.count = count;
    strncpy(j.time, when, 63);
    return bytes_of(j);
}

TEST_F(PlaybackJump, SendsThePairsAndPrintsTheStatus)
{
    core.reply(REQ_PLAYBACK_JUMP, int32s({0}));
    CgiResult r = post("/4009", R"({"jumpTime":"2019-05-01 10:30:00","sid":[11,12,13],"chnid":[1,2,3],"num":2})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_JUMP).at(0).payload,
                           jump_bytes({1, 2}, {11, 12}, 2, "2019-05-01 10:30:00")));

    core.reply(REQ_PLAYBACK_JUMP, int32s({-3}));
    r = post("/4009", R"({"jumpTime":"x","sid":[1],"chnid":[0],"num":1})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"ERROR"})"));
}

TEST_F(PlaybackJump, ShortAnswerOrSilenceIsTheErrorBody)
{
    core.reply(REQ_PLAYBACK_JUMP, std::string("\0\0", 2));
    EXPECT_EQ(post("/4009", R"({"jumpTime":"x","sid":[1],"chnid":[0],"num":1})").out, kJsonError);
    core.silent(REQ_PLAYBACK_JUMP);
    EXPECT_EQ(post("/4009", R"({"jumpTime":"x","sid":[1],"chnid":[0],"num":1})").out, kJsonError);
}

TEST_F(PlaybackJump, CountIsCutToSixtyFourAndToThePairsGiven)
{
    std::string sids, channels;
    std::vector<int> s64, c64;
    for (int i = 0; i < 70; i++) {
        sids += (i ? "," : "") + std::to_string(200 + i);
        channels += (i ? "," : "") + std::to_string(i % 8);
        if (i < 64) {
            s64.push_back(200 + i);
            c64.push_back(i % 8);
        }
    }
    std::string long_time(80, 'j');
    core.reply(REQ_PLAYBACK_JUMP, int32s({0}));
    CgiResult r = post("/4009", "{\"jumpTime\":\"" + long_time + "\",\"sid\":[" + sids + "],\"chnid\":[" + channels +
                                    "],\"num\":70}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_JUMP).at(0).payload, jump_bytes(c64, s64, 64, long_time.c_str())));

    core.reply(REQ_PLAYBACK_JUMP, int32s({0}));
    r = post("/4009", R"({"jumpTime":"t","sid":[1,2,3],"chnid":[4],"num":3})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_JUMP).at(0).payload, jump_bytes({4}, {1}, 1, "t")));
}

TEST_F(PlaybackJump, NumBelowOneIsTheErrorBodyWithoutAsking)
{
    for (const char* body : {R"({"jumpTime":"t","sid":[1],"chnid":[0],"num":0})",
                             R"({"jumpTime":"t","sid":[1],"chnid":[0],"num":-2})",
                             R"({"jumpTime":"t","sid":[],"chnid":[],"num":1})"}) {
        EXPECT_EQ(post("/4009", body).out, kJsonError) << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

TEST_F(PlaybackJump, MissingKeysGiveNoOutput)
{
    for (const char* body : {R"({"sid":[1],"chnid":[0],"num":1})", R"({"jumpTime":"t","chnid":[0],"num":1})",
                             R"({"jumpTime":"t","sid":[1],"num":1})", R"({"jumpTime":"t","sid":[1],"chnid":[0]})",
                             "x"}) {
        EXPECT_EQ(post("/4009", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

// ---- start by mask "/4020" -------------------------------------------------------------

using PlaybackMask = PlaybackCgi;

const char* const kMaskBody =
    R"({"mask0":1,"mask1":0,"mask2":4,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":-1,)"
    R"("playTime":"2019-05-01 10:00:00"})";

std::string mask_start_bytes(int32_t seconds, const char* text, std::initializer_list<int> masks)
{
    mask_start m = zeroed<mask_start>();
    m.seconds = seconds;
    strncpy(m.play, text, 31);
    int i = 0;
    for (int v : masks)
        m.masks[i++] = v;
    return bytes_of(m);
}

std::string mask_answer(int session, const char* text, int result)
{
    mask_start_reply a = zeroed<mask_start_reply>();
    a.session = session;
    strncpy(a.play, text, sizeof a.play);
    a.result = result;
    return bytes_of(a);
}

TEST_F(PlaybackMask, StartedSessionAsksForItsStreamAndLogs)
{
    core.reply(REQ_PLAYBACK_MASK_START, RSP_PLAYBACK_MASK_START, mask_answer(77, "2019-05-01 10:00:03", 0));
    core.reply(REQ_PLAYBACK_STREAM_INFO, bytes_of(stream(77, "/playback/77")));
    CgiResult r = post("/4020", kMaskBody);
    EXPECT_TRUE(json_reply_is(r.out, R"({"sessionId":77,"sourcePath":"/playback/77","port":554,"status":"OK",)"
                                     R"("realPlayTime":"2019-05-01 10:00:03","external_port":10554,)"
                                     R"("external_http_port":10080,"ddns_port":1554,"ddns_http_port":80})"));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].code, REQ_PLAYBACK_MASK_START);
    EXPECT_TRUE(same_bytes(all[0].payload,
                           mask_start_bytes(1556704800, "2019-05-01 10:00:00", {1, 0, 4, 0, 0, 0, 0, -1})));
    EXPECT_EQ(all[1].code, REQ_PLAYBACK_STREAM_INFO);
    EXPECT_TRUE(same_bytes(all[1].payload, int32s({77})));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(209, 900, 0)));
}

TEST_F(PlaybackMask, PlayTimeOfTheAnswerIsCutTo31Characters)
{
    mask_start_reply a = zeroed<mask_start_reply>();
    a.session = 5;
    memset(a.play, 'z', sizeof a.play);  // no NUL
    core.reply(REQ_PLAYBACK_MASK_START, RSP_PLAYBACK_MASK_START, bytes_of(a));
    core.reply(REQ_PLAYBACK_STREAM_INFO, bytes_of(stream(5, "/p")));
    CgiResult r = post("/4020", kMaskBody);
    EXPECT_TRUE(json_reply_is(r.out, R"({"sessionId":5,"sourcePath":"/p","port":554,"status":"OK","realPlayTime":")" +
                                         std::string(31, 'z') +
                                         R"(","external_port":10554,"external_http_port":10080,"ddns_port":1554,)"
                                         R"("ddns_http_port":80})"));
    logs(1);
}

TEST_F(PlaybackMask, RefusedShortOrMissingAnswerIsTheErrorBody)
{
    struct Case {
        const char* what;
        bool answered;
        std::string answer;
    } cases[] = {
        {"refused", true, mask_answer(77, "2019-05-01 10:00:03", -1)},
        {"refused with 1", true, mask_answer(77, "2019-05-01 10:00:03", 1)},
        {"empty answer", true, ""},
        {"short answer", true, mask_answer(77, "2019-05-01 10:00:03", 0).substr(0, 36)},
        {"unanswered", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.answered)
            core.reply(REQ_PLAYBACK_MASK_START, RSP_PLAYBACK_MASK_START, c.answer);
        else
            core.silent(REQ_PLAYBACK_MASK_START);
        core.reply(REQ_PLAYBACK_STREAM_INFO, bytes_of(stream(77, "/x")));
        CgiResult r = post("/4020", kMaskBody);
        EXPECT_EQ(r.out, kJsonError);
        EXPECT_TRUE(sent(REQ_PLAYBACK_STREAM_INFO).empty());
        EXPECT_TRUE(no_logs());
    }
}

TEST_F(PlaybackMask, UnparsableTimesAndMissingMasksGiveNoOutput)
{
    const std::string masks = R"("mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0)";
    const std::string bodies[] = {
        "{" + masks + R"(,"playTime":"2019-13-45 99:00:00"})",
        "{" + masks + R"(,"playTime":"yesterday"})",
        "{" + masks + R"(,"playTime":""})",
        "{" + masks + R"(,"playTime":"2019-05-01"})",
        "{" + masks + R"(,"playTime":"2019-05-01 10:00:00 and more"})",
        "{" + masks + R"(,"playTime":"1960-05-01 10:00:00"})",
        "{" + masks + R"(,"playTime":"2100-05-01 10:00:00"})",
        "{" + masks + R"(,"playTime":7})",
        "{" + masks + "}",
        R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"playTime":"2019-05-01 10:00:00"})",
        "not json",
    };
    for (const std::string& body : bodies) {
        EXPECT_EQ(post("/4020", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

// ---- transcoding "/4025" "/4026" and busy "/3004" -----------------------------------------

using PlaybackTranscoding = PlaybackCgi;

std::string transcode_answer(int ch, int sid, int state)
{
    transcode_state t = zeroed<transcode_state>();
    t.channel = ch;
    t.sid = sid;
    t.state = state;
    memset(t.reserved, 0x5a, sizeof t.reserved);
    return bytes_of(t);
}

TEST_F(PlaybackTranscoding, SetSendsTheSixValuesAndPrintsTheState)
{
    core.reply(REQ_PLAYBACK_TRANSCODE, transcode_answer(2, 30, 1));
    CgiResult r = post("/4025", R"({"ch":2,"sid":30,"trancodingmode":1,"framesize":3,"bitrate":512,"framerate":15})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"ch":2,"sid":30,"state":1,"status":"OK"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_TRANSCODE).at(0).payload, int32s({2, 30, 1, 3, 512, 15})));
}

TEST_F(PlaybackTranscoding, GetAsksForChannelAndSid)
{
    core.reply(REQ_PLAYBACK_TRANSCODE_STATE, transcode_answer(2, 30, 0));
    CgiResult r = post("/4026", R"({"ch":2,"sid":30})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"ch":2,"sid":30,"state":0})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_TRANSCODE_STATE).at(0).payload, int32s({2, 30})));
}

TEST_F(PlaybackTranscoding, ShortAnswersAndBadBodiesAreTheErrorBody)
{
    for (const char* path : {"/4025", "/4026"}) {
        SCOPED_TRACE(path);
        int code = path == std::string("/4025") ? REQ_PLAYBACK_TRANSCODE : REQ_PLAYBACK_TRANSCODE_STATE;
        core.reply(code, transcode_answer(1, 2, 3).substr(0, 23));
        EXPECT_EQ(post(path, R"({"ch":1,"sid":2})").out, kJsonError);
        core.reply(code, "");
        EXPECT_EQ(post(path, R"({"ch":1,"sid":2})").out, kJsonError);
        EXPECT_EQ(post(path, "").out, kJsonError);
        EXPECT_TRUE(nothing_sent());
        EXPECT_EQ(post(path, "{{").out, kJsonError);
        EXPECT_TRUE(nothing_sent());
    }
}

using PlaybackBusy = PlaybackCgi;

TEST_F(PlaybackBusy, NonzeroWordIsBusy)
{
    struct Case {
        std::string answer;
        std::string want;
    } cases[] = {
        {int32s({1}), kJsonHead + R"({ "status": "BUSY" })"},
        {int32s({-7}), kJsonHead + R"({ "status": "BUSY" })"},
        {int32s({0}), kJsonHead + R"({ "status": "OK" })"},
        {std::string(3, '\x01'), kJsonError},  // shorter than its word: no answer
    };
    for (const Case& c : cases) {
        core.reply(REQ_PLAYBACK_BUSY, c.answer);
        CgiResult r = get("/3004");
        EXPECT_EQ(r.out, c.want);
        EXPECT_EQ(sent(REQ_PLAYBACK_BUSY).at(0).payload, "");
    }
}

// ---- answers no request of the module asks for -------------------------------------------
// The dispatcher's other rows, reached by answering "/3004"'s request with
// their codes.

using PlaybackDispatcher = PlaybackCgi;

std::string times_bytes(std::initializer_list<std::pair<int, int>> records)
{
    std::string out;
    for (const auto& r : records) {
        session_time t{r.first, r.second};
        out += bytes_of(t);
    }
    return out;
}

TEST_F(PlaybackDispatcher, StatusTimeAndJumpRows)
{
    struct Case {
        int code;
        std::string payload;
        std::string want;  // a JSON body, or the whole output when it starts with the header
    } cases[] = {
        {RSP_PLAYBACK_STATUS, int32s({-1}), R"({"status":"ERROR"})"},
        {RSP_PLAYBACK_STATUS, int32s({3}), R"({"status":"OK"})"},
        {RSP_PLAYBACK_STATUS, "", kJsonError},
        {RSP_PLAYBACK_TIME_ALT, int32s({1556668800}), R"({"status":"OK","curPlayTime":"2019-05-01 00:00:00"})"},
        {RSP_PLAYBACK_TIME_ALT, int32s({0}), kJsonError},
        {RSP_PLAYBACK_JUMP_TIME, int32s({1556704800}), R"({"status":"OK","realJumpTime":"2019-05-01 10:00:00"})"},
        {RSP_PLAYBACK_JUMP_TIME, "", kJsonError},
        {RSP_PLAYBACK_JUMP_TIMES, times_bytes({{4, 1556704800}, {9, 1556668800}}),
         R"({"status":"OK","JumpTime":[{"realJumpTime":"2019-05-01 10:00:00","sid":4},)"
         R"({"realJumpTime":"2019-05-01 00:00:00","sid":9}]})"},
        {RSP_PLAYBACK_JUMP_TIMES, "", kJsonError},
        {RSP_PLAYBACK_PLAY_TIMES, times_bytes({{3, 1556704800}}),
         R"({"status":"OK","curPlayTime":[{"PlayTime":"2019-05-01 10:00:00","sid":3}]})"},
        {RSP_PLAYBACK_PLAY_TIMES, "", R"({"status":"OK","curPlayTime":[]})"},
        {9999, int32s({0}), kJsonError},  // unknown: ignored
        // The chunk row wants at least its 96-byte head.
        {RSP_DOWNLOAD_CHUNK, std::string(95, '\0'), kJsonError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " with " + std::to_string(c.payload.size()) + " bytes");
        core.reply(REQ_PLAYBACK_BUSY, c.code, c.payload);
        CgiResult r = get("/3004");
        if (c.want.compare(0, kJsonHead.size(), kJsonHead) == 0)
            EXPECT_EQ(r.out, c.want);
        else
            EXPECT_TRUE(json_reply_is(r.out, c.want));
    }
}

TEST_F(PlaybackDispatcher, DayMapsBecomeSectionsOfEqualType)
{
    static day_map map;
    memset(&map, 0, sizeof map);
    map.channel = 5;
    for (int m = 0; m < 60; m++)
        map.types[m] = 1;
    for (int m = 600; m < 630; m++)
        map.types[m] = 2;
    for (int m = 630; m < 1440; m++)
        map.types[m] = 1;
    core.reply(REQ_PLAYBACK_BUSY, RSP_DAY_MAP, bytes_of(map));
    CgiResult r = get("/3004");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","chn":5,"section":[)"
                                     R"({"startTime":"00:00:00","endTime":"00:59:59","recordType":1},)"
                                     R"({"startTime":"10:00:00","endTime":"10:29:59","recordType":2},)"
                                     R"({"startTime":"10:30:00","endTime":"23:59:59","recordType":1}]})"));

    static day_map_short small;
    memset(&small, 0, sizeof small);
    small.channel = 1;
    small.types[1439] = 4;
    core.reply(REQ_PLAYBACK_BUSY, RSP_DAY_MAP_SHORT, bytes_of(small));
    r = get("/3004");
    EXPECT_TRUE(json_reply_is(
        r.out, R"({"status":"OK","chn":1,"section":[{"startTime":"23:59:00","endTime":"23:59:59","recordType":4}]})"));

    core.reply(REQ_PLAYBACK_BUSY, RSP_DAY_MAP_SHORT, bytes_of(small).substr(0, 1447));
    EXPECT_EQ(get("/3004").out, kJsonError);
}

}  // namespace
