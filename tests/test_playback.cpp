// Playback: the resource table, recording search, sessions and their control,
// transcoding and the dispatcher's own rows, black-box through nvrweb.cgi.
#include <chrono>
#include <numeric>
#include <thread>

#include "frontend/modules.h"
#include "modules/playback/playback.h"
#include "modules/storage/storage.h"
#include "frontend/dispatchreq.h"
#include "tests/support/handler_test.h"

namespace {

class Playback : public HandlerTest {
protected:
    void seed_device(int channels)
    {
        db_device d = zeroed<db_device>();
        d.id = 1;
        d.max_channels = channels;
        ASSERT_EQ(db_set_device(VXDB_MAIN, &d), 0);
        vxdb_close_all();
    }
    // Requests sent without waiting may arrive after the CGI ended.
    bool nothing_sent()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return core.requests().empty();
    }
};

// The body with each of its members left out in turn.
std::vector<std::string> each_missing(const std::vector<std::string>& members)
{
    std::vector<std::string> out;
    for (size_t skip = 0; skip < members.size(); skip++) {
        std::string body;
        for (size_t i = 0; i < members.size(); i++)
            if (i != skip)
                body += (body.empty() ? "" : ",") + members[i];
        out.push_back("{" + body + "}");
    }
    return out;
}

// n numbers counting up from `from`, and the same as a JSON array's inside.
std::vector<int> counting(int n, int from)
{
    std::vector<int> v((size_t)n);
    std::iota(v.begin(), v.end(), from);
    return v;
}

std::string joined(const std::vector<int>& v)
{
    std::string out;
    for (int i : v)
        out += (out.empty() ? "" : ",") + std::to_string(i);
    return out;
}

std::string search_body(int channel, int sid, int stream, const std::string& from, const std::string& to)
{
    return "{\"channelId\":" + std::to_string(channel) + ",\"sid\":" + std::to_string(sid) + ",\"streamType\":" +
           std::to_string(stream) + ",\"time\":\"" + from + "\",\"endTime\":\"" + to + "\"}";
}

// A search answer record; the 0x11 and 0x22 bytes are not to be read.
std::string section(int channel, int sid, int lock, int type, const std::string& start, const std::string& end)
{
    return int32_bytes({channel, sid, 0x11111111, lock, 0x22222222, type}) + field(start, 32) + field(end, 32) +
           std::string(16, 'R');
}

std::string search_bytes(const std::string& mask, int stream, const std::string& start, const std::string& end)
{
    return field(mask, 64) + int32_bytes({0, 1, stream, -1, -1}) + field(start.substr(0, 31), 32) +
           field(end.substr(0, 31), 32);
}

std::string list_bytes(const std::vector<int>& ids, const std::vector<int>& speeds, int count)
{
    session_list l = zeroed<session_list>();
    std::copy(ids.begin(), ids.end(), l.ids);
    std::copy(speeds.begin(), speeds.end(), l.speeds);
    l.count = count;
    return bytes_of(l);
}

std::string mask_bytes(std::initializer_list<int> positions, int speed, int flag)
{
    std::string mask(64, '0');
    for (int p : positions)
        mask[p] = '1';
    return mask + int32_bytes({0, speed, flag});
}

std::string stream(int session, const std::string& path)
{
    return int32_bytes({session, 554, 10554, 10080, 1554, 80}) + field(path, 128);
}

std::string stream_json(int session, const std::string& path, const std::string& play)
{
    return "{\"sessionId\":" + std::to_string(session) + ",\"sourcePath\":\"" + path +
           R"(","port":554,"status":"OK","realPlayTime":")" + play +
           R"(","external_port":10554,"external_http_port":10080,"ddns_port":1554,"ddns_http_port":80})";
}

std::string mask_answer(int session, const std::string& play, int result)
{
    return int32_bytes({session}) + field(play, 32) + int32_bytes({result});
}

std::string transcode_answer(int ch, int sid, int state)
{
    return int32_bytes({ch, sid, state}) + std::string(12, 'Z');
}

TEST_F(Playback, SearchPrintsSectionsInKeyOrderWithTextsCutToTheirFields)
{
    seed_device(8);
    // The last section's texts fill their fields (no NUL); the asked times overrun theirs.
    const std::string s(32, 'S'), e(32, 'E'), t(40, '9');
    core.reply(REQ_PLAYBACK_SEARCH, section(2, 41, 0, 1, "2019-05-01 00:00:00", "2019-05-01 00:59:59") +
                                        section(2, 99, 1, 2, "2019-05-01 01:00:00", "2019-05-01 01:30:00") +
                                        section(3, 98, 0, 4, s, e));
    CgiResult r = post("/4000", search_body(2, -1, 1, t, t));
    // camId is the last section's channel, sid the first's.
    EXPECT_TRUE(json_reply_is(
        r.out, R"({"status":"OK","camId":3,"sectionNum":3,"sid":41,"section":[)"
               R"({"startTime":"2019-05-01 00:00:00","endTime":"2019-05-01 00:59:59","recordType":1,"lock":0},)"
               R"({"startTime":"2019-05-01 01:00:00","endTime":"2019-05-01 01:30:00","recordType":2,"lock":1},)"
               R"({"startTime":")" + s + R"(","endTime":")" + e + R"(","recordType":4,"lock":0}]})"));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 1u);  // sid -1: nothing to close
    EXPECT_TRUE(same_bytes(all[0].payload, search_bytes("00100000", 1, t, t)));
}

TEST_F(Playback, SearchClosesTheOpenSearchFirstAndCountZeroIsNoMatches)
{
    seed_device(4);
    core.reply(REQ_PLAYBACK_SEARCH, "");
    EXPECT_TRUE(json_reply_is(post("/4000", search_body(0, 5, 0, "a", "b")).out, R"({"status":"NO MATCHES"})"));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].code, REQ_PLAYBACK_SEARCH_CLOSE);
    EXPECT_TRUE(same_bytes(all[0].payload, list_bytes({5}, {}, 1)));
    EXPECT_EQ(all[1].code, REQ_PLAYBACK_CLOSE);
    EXPECT_TRUE(same_bytes(all[1].payload, int32_bytes({5})));
    EXPECT_EQ(all[2].code, REQ_PLAYBACK_SEARCH);
    EXPECT_TRUE(same_bytes(all[2].payload, search_bytes("1000", 0, "a", "b")));
}

TEST_F(Playback, SearchMaskHasTheDeviceChannelCountCutToSixtyFour)
{
    struct Case {
        int device_channels;  // 0: no device record
        int max_cameras;      // 0: unset
        int channel, stream;
        std::string mask;
    } cases[] = {
        {0, 0, 1, 1, "01" + std::string(30, '0')},  // neither: 32
        {0, 16, 3, 2, "0001000000000000"},
        {100, 16, 63, 0, std::string(63, '0') + "1"},
        {64, 16, 70, 0, std::string(64, '0')},
        {8, 16, -3, 0, std::string(8, '0')},
        {-5, 16, 0, 0, "1"},  // at least one channel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        if (c.device_channels)
            seed_device(c.device_channels);
        if (c.max_cameras)
            set_param("max_cameras", c.max_cameras);
        core.reply(REQ_PLAYBACK_SEARCH, "");
        post("/4000", search_body(c.channel, -1, c.stream, "t0", "t1"));
        EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SEARCH).at(0).payload, search_bytes(c.mask, c.stream == 1, "t0", "t1")));
    }
}

TEST_F(Playback, SearchPageAsksBySidAndPage)
{
    core.reply(REQ_PLAYBACK_SEARCH_PAGE, section(6, 12, 0, 1, "s1", "e1"));
    EXPECT_TRUE(json_reply_is(post("/4023", R"({"sid":12,"page":3})").out,
                              R"({"status":"OK","camId":6,"sectionNum":1,"sid":12,"section":[)"
                              R"({"startTime":"s1","endTime":"e1","recordType":1,"lock":0}]})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_SEARCH_PAGE).at(0).payload, int32_bytes({12, 3})));
    core.reply(REQ_PLAYBACK_SEARCH_PAGE, "");
    EXPECT_TRUE(json_reply_is(post("/4023", R"({"sid":12,"page":4})").out, R"({"status":"NO MATCHES"})"));
}

std::string start_body(int channel, int sid, const std::string& start, const std::string& end, const std::string& play)
{
    return "{\"channelId\":" + std::to_string(channel) + ",\"sid\":" + std::to_string(sid) + ",\"startTime\":\"" +
           start + "\",\"endTime\":\"" + end + "\",\"playTime\":\"" + play + "\"}";
}

std::string start_bytes(int channel, int sid, const std::string& start, const std::string& end,
                        const std::string& play)
{
    return int32_bytes({channel, sid, 0, 0}) + field(start.substr(0, 31), 32) + field(end.substr(0, 31), 32) +
           field(play.substr(0, 31), 32);
}

const std::string kStartBody = start_body(3, 21, "2019-05-01 00:00:00", "2019-05-01 23:59:59", "2019-05-01 10:00:00");

TEST_F(Playback, StartAsksForTheStreamPrintsItAndLogs)
{
    const std::string day[] = {"2019-05-01 00:00:00", "2019-05-01 23:59:59", "2019-05-01 10:00:00"};
    const std::string t(40, '1'), path(128, 'p');  // texts overrunning or filling their fields
    struct Case {
        int channel, sid, answer;  // an answer not negative is accepted
        std::string start, end, play, path, printed_play;
    } cases[] = {
        {3, 21, 0, day[0], day[1], day[2], "/playback/21", day[2]},
        {0, 4, 7, t, t, t, path, t.substr(0, 31)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sid);
        core.reply(REQ_PLAYBACK_START, int32_bytes({c.answer}));
        core.reply(REQ_PLAYBACK_STREAM_INFO, stream(c.sid, c.path));
        EXPECT_TRUE(json_reply_is(post("/4001", start_body(c.channel, c.sid, c.start, c.end, c.play)).out,
                                  stream_json(c.sid, c.path, c.printed_play)));
        std::vector<FakeRequest> all = sent_all();
        ASSERT_GE(all.size(), 2u);
        EXPECT_EQ(all[0].code, REQ_PLAYBACK_START);
        EXPECT_TRUE(same_bytes(all[0].payload, start_bytes(c.channel, c.sid, c.start, c.end, c.play)));
        EXPECT_EQ(all[1].code, REQ_PLAYBACK_STREAM_INFO);
        EXPECT_TRUE(same_bytes(all[1].payload, int32_bytes({c.sid})));
        EXPECT_EQ(logs(1), std::vector<std::string>{log_record(209, 900, c.channel + 1)});
    }
}

TEST_F(Playback, StartWithoutAStreamRecord)
{
    core.reply(REQ_PLAYBACK_START, "");  // no word: not a refusal
    core.reply(REQ_PLAYBACK_STREAM_INFO, std::string(151, '\0'));
    EXPECT_EQ(post("/4001", kStartBody).out, "");
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(209, 900, 4)});
    core.reply(REQ_PLAYBACK_START, int32_bytes({0}));
    core.silent(REQ_PLAYBACK_STREAM_INFO);
    EXPECT_EQ(post("/4001", kStartBody).out, kJsonError);
    EXPECT_EQ(sent(REQ_PLAYBACK_STREAM_INFO).size(), 1u);
}

TEST_F(Playback, PlayTimeIsPrintedInTheDeviceZone)
{
    core.reply(REQ_PLAYBACK_TIME, int32_bytes({1556704800}));
    EXPECT_TRUE(json_reply_is(post("/4002", "17").out, R"({"status":"OK","curPlayTime":"2019-05-01 10:00:00"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_TIME).at(0).payload, int32_bytes({17})));
    CgiRequest req;
    req.method = "POST";
    req.path = "/4002";
    req.body = "0";
    req.content_type = "application/json";
    req.cookie = "userName=admin";
    req.env = {{"TZ", "EST5"}};
    EXPECT_TRUE(json_reply_is(run_cgi(root.path(), req).out, R"({"status":"OK","curPlayTime":"2019-05-01 05:00:00"})"));
}

TEST_F(Playback, StopClosesEachSessionThenTheSearchOnlyWhenAsked)
{
    EXPECT_EQ(post("/4003", R"({"close":1,"num":3,"sid":[4,-1,9]})").out, text_reply());
    ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_SEARCH_CLOSE, 1));
    std::vector<FakeRequest> all = sent_all();
    ASSERT_EQ(all.size(), 4u);
    const int codes[] = {REQ_PLAYBACK_CLOSE, REQ_PLAYBACK_CLOSE, REQ_PLAYBACK_STOP, REQ_PLAYBACK_SEARCH_CLOSE};
    const std::string list = list_bytes({4, -1, 9}, {}, 3);
    const std::string payloads[] = {int32_bytes({4}), int32_bytes({9}), list, list};
    for (size_t i = 0; i < all.size(); i++) {
        EXPECT_EQ(all[i].code, codes[i]) << i;
        EXPECT_TRUE(same_bytes(all[i].payload, payloads[i])) << i;
    }
    EXPECT_EQ(post("/4003", R"({"close":0,"num":1,"sid":[2]})").out, text_reply());
    ASSERT_TRUE(core.wait_for(REQ_PLAYBACK_STOP, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_STOP)[0].payload, list_bytes({2}, {}, 1)));
    EXPECT_FALSE(core.wait_for(REQ_PLAYBACK_SEARCH_CLOSE, 1, 300));
}

// Requests sent without waiting; every list holds at most 64 entries.
TEST_F(Playback, ControlRequestsOnTheWire)
{
    const std::string seventy = joined(counting(70, 100));
    const std::vector<int> first64 = counting(64, 100);
    struct Case {
        const char* path;
        int code;
        std::string body, want;
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
        {"/4005", REQ_PLAYBACK_RESUME, R"({"sid":3,"direction":1})", int32_bytes({3, 1})},
        // By session id; a single session at speed 2 sets the flag.
        {"/4022", REQ_PLAYBACK_SPEED, R"({"num":1,"sid":[5],"speed":2})", mask_bytes({5}, 2, 1)},
        {"/4022", REQ_PLAYBACK_SPEED, R"({"num":2,"sid":[5,6],"speed":2})", mask_bytes({5, 6}, 2, 0)},
        {"/4022", REQ_PLAYBACK_SPEED, R"({"num":1,"sid":[5],"speed":4})", mask_bytes({5}, 4, 0)},
        {"/4022", REQ_PLAYBACK_SPEED, R"({"num":4,"sid":[64,-1,63,1000],"speed":3})", mask_bytes({63}, 3, 0)},
        {"/4022", REQ_PLAYBACK_SPEED, R"({"num":1,"sid":[64],"speed":2})", mask_bytes({}, 2, 1)},
        {"/4022", REQ_PLAYBACK_SPEED, R"({"num":3,"sid":[0],"speed":1})", mask_bytes({0}, 1, 0)},
        // By channel.
        {"/4008", REQ_PLAYBACK_SLOW, R"({"chind":[1,3],"num":2,"speed":3})", mask_bytes({1, 3}, 3, 0)},
        {"/4008", REQ_PLAYBACK_SLOW, R"({"chind":[1,3,70,-2,63],"num":5,"speed":2})", mask_bytes({1, 3, 63}, 2, 0)},
        {"/4008", REQ_PLAYBACK_SLOW, R"({"chind":[1,3],"num":1,"speed":2})", mask_bytes({1}, 2, 0)},
        {"/4008", REQ_PLAYBACK_SLOW, R"({"chind":0,"num":1,"speed":2})", mask_bytes({}, 2, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.body);
        EXPECT_EQ(post(c.path, c.body).out, text_reply());
        ASSERT_TRUE(core.wait_for(c.code, 1));
        EXPECT_TRUE(same_bytes(sent(c.code)[0].payload, c.want));
    }
}

std::string jump_bytes(const std::vector<int>& channels, const std::vector<int>& sids, const std::string& when)
{
    jump_request j = zeroed<jump_request>();
    std::copy(channels.begin(), channels.end(), j.channels);
    std::copy(sids.begin(), sids.end(), j.sids);
    j.count = (int)sids.size();
    put(j.time, when.substr(0, 63));
    return bytes_of(j);
}

TEST_F(Playback, JumpSendsThePairsCutToSixtyFour)
{
    const std::string t(80, 'j');
    struct Case {
        std::string body;
        int answer;
        std::string want, reply;
    } cases[] = {
        {R"({"jumpTime":"2019-05-01 10:30:00","sid":[11,12,13],"chnid":[1,2,3],"num":2})", 0,
         jump_bytes({1, 2}, {11, 12}, "2019-05-01 10:30:00"), R"({"status":"OK"})"},
        {R"({"jumpTime":"x","sid":[1],"chnid":[0],"num":1})", -3, jump_bytes({0}, {1}, "x"), R"({"status":"ERROR"})"},
        {"{\"jumpTime\":\"" + t + "\",\"sid\":[" + joined(counting(70, 200)) + "],\"chnid\":[" +
             joined(counting(70, 0)) + "],\"num\":70}",
         0, jump_bytes(counting(64, 0), counting(64, 200), t), R"({"status":"OK"})"},
        {R"({"jumpTime":"t","sid":[1,2,3],"chnid":[4],"num":3})", 0, jump_bytes({4}, {1}, "t"), R"({"status":"OK"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 60));
        core.reply(REQ_PLAYBACK_JUMP, int32_bytes({c.answer}));
        EXPECT_TRUE(json_reply_is(post("/4009", c.body).out, c.reply));
        EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_JUMP).at(0).payload, c.want));
    }
}

const char* const kMaskBody =
    R"({"mask0":1,"mask1":0,"mask2":4,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":-1,)"
    R"("playTime":"2019-05-01 10:00:00"})";

TEST_F(Playback, MaskStartAsksForTheStreamAndLogs)
{
    // A play time filling its field is cut to 31 characters.
    const std::pair<int, std::string> answers[] = {{77, "2019-05-01 10:00:03"}, {5, std::string(32, 'z')}};
    for (const auto& a : answers) {
        SCOPED_TRACE(a.first);
        core.reply(REQ_PLAYBACK_MASK_START, RSP_PLAYBACK_MASK_START, mask_answer(a.first, a.second, 0));
        core.reply(REQ_PLAYBACK_STREAM_INFO, stream(a.first, "/p"));
        EXPECT_TRUE(json_reply_is(post("/4020", kMaskBody).out, stream_json(a.first, "/p", a.second.substr(0, 31))));
        std::vector<FakeRequest> all = sent_all();
        ASSERT_GE(all.size(), 2u);
        EXPECT_EQ(all[0].code, REQ_PLAYBACK_MASK_START);
        EXPECT_TRUE(same_bytes(all[0].payload, int32_bytes({1556704800}) + field("2019-05-01 10:00:00", 32) +
                                                   int32_bytes({1, 0, 4, 0, 0, 0, 0, -1})));
        EXPECT_EQ(all[1].code, REQ_PLAYBACK_STREAM_INFO);
        EXPECT_TRUE(same_bytes(all[1].payload, int32_bytes({a.first})));
        EXPECT_EQ(logs(1), std::vector<std::string>{log_record(209, 900, 0)});
    }
}

TEST_F(Playback, TranscodingSetAndGet)
{
    core.reply(REQ_PLAYBACK_TRANSCODE, transcode_answer(2, 30, 1));
    CgiResult r = post("/4025", R"({"ch":2,"sid":30,"trancodingmode":1,"framesize":3,"bitrate":512,"framerate":15})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"ch":2,"sid":30,"state":1,"status":"OK"})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_TRANSCODE).at(0).payload, int32_bytes({2, 30, 1, 3, 512, 15})));
    core.reply(REQ_PLAYBACK_TRANSCODE_STATE, transcode_answer(2, 30, 0));
    EXPECT_TRUE(json_reply_is(post("/4026", R"({"ch":2,"sid":30})").out, R"({"ch":2,"sid":30,"state":0})"));
    EXPECT_TRUE(same_bytes(sent(REQ_PLAYBACK_TRANSCODE_STATE).at(0).payload, int32_bytes({2, 30})));
}

// A short answer is no answer: the error body, no stream asked, no log.
TEST_F(Playback, ShortOrMissingAnswersAreTheErrorBody)
{
    const std::string tc = transcode_answer(1, 2, 3).substr(0, 23);
    struct Case {
        const char* path;
        std::string body;
        int code;
        std::vector<std::string> answers;
    } cases[] = {
        {"/4000", search_body(0, -1, 0, "a", "b"), REQ_PLAYBACK_SEARCH, {kSilent}},
        {"/4023", R"({"sid":12,"page":5})", REQ_PLAYBACK_SEARCH_PAGE, {kSilent}},
        {"/4001", kStartBody, REQ_PLAYBACK_START, {int32_bytes({-1}), kSilent}},  // -1 refuses: flag 2
        {"/4002", "1", REQ_PLAYBACK_TIME, {int32_bytes({0}), int32_bytes({-5}), std::string("\x01\x02", 2), kSilent}},
        {"/4009", R"({"jumpTime":"x","sid":[1],"chnid":[0],"num":1})", REQ_PLAYBACK_JUMP,
         {std::string("\0\0", 2), kSilent}},
        {"/4020", kMaskBody, REQ_PLAYBACK_MASK_START,
         {mask_answer(77, "t", -1), mask_answer(77, "t", 1), "", mask_answer(77, "t", 0).substr(0, 36), kSilent}},
        {"/4025", R"({"ch":1,"sid":2})", REQ_PLAYBACK_TRANSCODE, {tc, ""}},
        {"/4026", R"({"ch":1,"sid":2})", REQ_PLAYBACK_TRANSCODE_STATE, {tc, ""}},
    };
    core.reply(REQ_PLAYBACK_STREAM_INFO, (stream(77, "/x")));
    for (const Case& c : cases)
        for (const std::string& answer : c.answers) {
            SCOPED_TRACE(std::string(c.path) + " answered with " + std::to_string(answer.size()) + " bytes");
            if (answer == kSilent)
                core.silent(c.code);
            else
                core.reply(c.code, c.code == REQ_PLAYBACK_MASK_START ? RSP_PLAYBACK_MASK_START : c.code + 5000, answer);
            EXPECT_EQ(post(c.path, c.body).out, kJsonError);
            EXPECT_EQ(sent(c.code).size(), 1u);
            EXPECT_TRUE(sent(REQ_PLAYBACK_STREAM_INFO).empty());
            if (c.code == REQ_PLAYBACK_START || c.code == REQ_PLAYBACK_MASK_START) {
                EXPECT_TRUE(no_logs());
            }
        }
}

TEST_F(Playback, InvalidBodiesAskNothing)
{
    struct Case {
        const char* path;
        std::string out;
        std::vector<std::string> bodies;
    } cases[] = {
        {"/4000", "", each_missing({R"("channelId":0)", R"("sid":-1)", R"("streamType":0)", R"("time":"a")",
                                    R"("endTime":"b")"})},
        {"/4000", "", {"", "not json", R"({"channelId":"x","sid":-1,"streamType":0,"time":"a","endTime":"b"})",
                       R"({"channelId":0,"sid":-1,"streamType":0,"time":1,"endTime":"b"})"}},
        {"/4001", "", each_missing({R"("channelId":0)", R"("sid":1)", R"("startTime":"a")", R"("endTime":"b")",
                                    R"("playTime":"c")"})},
        {"/4001", "", {"", start_body(8, 1, "a", "b", "c"), start_body(-1, 1, "a", "b", "c")}},
        {"/4002", "", {"-1", "abc", "", "5x"}},
        {"/4003", "", {"oops"}}, {"/4004", "", {"oops"}}, {"/4005", "", {"oops"}},
        {"/4006", "", {"oops"}}, {"/3003", "", {"oops"}}, {"/4022", "", {"oops"}}, {"/4023", "", {"nope"}},
        {"/4007", "", {R"({"num":1,"sessionId":[3],"speed":[2]})", R"({"chind":-1,"num":1,"sessionId":[3],"speed":[2]})",
                       R"({"chind":"x","num":1,"sessionId":[3],"speed":[2]})", "[]x"}},
        {"/4008", "", {R"({"num":1,"speed":2})", R"({"chind":-4,"num":1,"speed":2})"}},
        {"/4009", kJsonError, {R"({"jumpTime":"t","sid":[1],"chnid":[0],"num":0})",
                               R"({"jumpTime":"t","sid":[1],"chnid":[0],"num":-2})",
                               R"({"jumpTime":"t","sid":[],"chnid":[],"num":1})"}},
        {"/4009", "", each_missing({R"("jumpTime":"t")", R"("sid":[1])", R"("chnid":[0])", R"("num":1)"})},
        {"/4009", "", {"x"}},
        {"/4020", "", each_missing({R"("mask0":1)", R"("mask1":0)", R"("mask2":0)", R"("mask3":0)", R"("mask4":0)",
                                    R"("mask5":0)", R"("mask6":0)", R"("mask7":0)", R"("playTime":"2019-05-01 10:00:00")"})},
        {"/4020", "", {"not json"}},
        {"/4025", kJsonError, {"", "{{"}},
        {"/4026", kJsonError, {"", "{{"}},
    };
    for (const Case& c : cases)
        for (const std::string& body : c.bodies) {
            SCOPED_TRACE(std::string(c.path) + " " + body);
            EXPECT_EQ(post(c.path, body).out, c.out);
            EXPECT_TRUE(nothing_sent());
        }
    // Unparsable play times: never an uninitialised time on the wire.
    const std::string masks = R"({"mask0":1,"mask1":0,"mask2":0,"mask3":0,"mask4":0,"mask5":0,"mask6":0,"mask7":0,)";
    for (const char* t : {R"("2019-13-45 99:00:00")", R"("yesterday")", R"("")", R"("2019-05-01")", "7",
                          R"("2019-05-01 10:00:00 and more")", R"("1960-05-01 10:00:00")", R"("2100-05-01 10:00:00")"}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(post("/4020", masks + "\"playTime\":" + t + "}").out, "");
        EXPECT_TRUE(nothing_sent());
    }
}

std::string times_bytes(std::initializer_list<session_time> records)
{
    std::string out;
    for (const session_time& t : records)
        out += bytes_of(t);
    return out;
}

// The dispatcher's rows, reached through a test resource that sends the
// request each answers (code - 5000) through the module's callback.
TEST_F(Playback, DispatcherRows)
{
    day_map map = zeroed<day_map>();
    map.channel = 5;
    std::fill(map.types, map.types + 60, 1);
    std::fill(map.types + 600, map.types + 630, 2);
    std::fill(map.types + 630, map.types + 1440, 1);
    day_map_short small = zeroed<day_map_short>();
    small.channel = 1;
    small.types[1439] = 4;
    struct Case {
        int code;
        std::string payload;
        std::string want;  // the JSON body, or kJsonError
    } cases[] = {
        {RSP_PLAYBACK_BUSY, int32_bytes({1}), R"({"status":"BUSY"})"},
        {RSP_PLAYBACK_BUSY, int32_bytes({-7}), R"({"status":"BUSY"})"},
        {RSP_PLAYBACK_BUSY, int32_bytes({0}), R"({"status":"OK"})"},
        {RSP_PLAYBACK_BUSY, std::string(3, '\x01'), kJsonError},
        {RSP_PLAYBACK_STATUS, int32_bytes({-1}), R"({"status":"ERROR"})"},
        {RSP_PLAYBACK_STATUS, int32_bytes({3}), R"({"status":"OK"})"},
        {RSP_PLAYBACK_STATUS, "", kJsonError},
        {RSP_PLAYBACK_TIME_ALT, int32_bytes({1556668800}), R"({"status":"OK","curPlayTime":"2019-05-01 00:00:00"})"},
        {RSP_PLAYBACK_TIME_ALT, int32_bytes({0}), kJsonError},
        {RSP_PLAYBACK_JUMP_TIME, int32_bytes({1556704800}), R"({"status":"OK","realJumpTime":"2019-05-01 10:00:00"})"},
        {RSP_PLAYBACK_JUMP_TIME, "", kJsonError},
        {RSP_PLAYBACK_JUMP_TIMES, times_bytes({{4, 1556704800}, {9, 1556668800}}),
         R"({"status":"OK","JumpTime":[{"realJumpTime":"2019-05-01 10:00:00","sid":4},)"
         R"({"realJumpTime":"2019-05-01 00:00:00","sid":9}]})"},
        {RSP_PLAYBACK_JUMP_TIMES, "", kJsonError},
        {RSP_PLAYBACK_PLAY_TIMES, times_bytes({{3, 1556704800}}),
         R"({"status":"OK","curPlayTime":[{"PlayTime":"2019-05-01 10:00:00","sid":3}]})"},
        {RSP_PLAYBACK_PLAY_TIMES, "", R"({"status":"OK","curPlayTime":[]})"},
        // Day maps become sections of equal type.
        {RSP_DAY_MAP, bytes_of(map), R"({"status":"OK","chn":5,"section":[)"
                                     R"({"startTime":"00:00:00","endTime":"00:59:59","recordType":1},)"
                                     R"({"startTime":"10:00:00","endTime":"10:29:59","recordType":2},)"
                                     R"({"startTime":"10:30:00","endTime":"23:59:59","recordType":1}]})"},
        {RSP_DAY_MAP_SHORT, bytes_of(small), R"({"status":"OK","chn":1,"section":[)"
                                             R"({"startTime":"23:59:00","endTime":"23:59:59","recordType":4}]})"},
        {RSP_DAY_MAP_SHORT, bytes_of(small).substr(0, sizeof small - 1), kJsonError},
        {9999, int32_bytes({0}), kJsonError},  // unknown: ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " with " + std::to_string(c.payload.size()) + " bytes");
        core.clear();
        core.reply(c.code - 5000, c.payload);
        CgiRequest r;
        r.path = "/tasks";
        r.query = std::to_string(c.code - 5000);
        r.test_entry = true;
        const std::string out = run_cgi(root.path(), r).out;
        EXPECT_TRUE(c.want == kJsonError ? same_bytes(out, c.want) : json_reply_is(out, c.want));
    }
    // An answer with a known code that is not the answer to "/3004"'s request
    // is a stray: nothing of it is printed.
    core.reply(REQ_PLAYBACK_BUSY, RSP_PLAYBACK_STATUS, int32_bytes({0}));
    EXPECT_TRUE(same_bytes(get("/3004").out, kJsonError));
}

}  // namespace
