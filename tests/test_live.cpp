// Live view: streams, image values, channel actions, stream addresses and
// ports through nvrweb.cgi against a fake core service; then playback and
// live view end to end against coresim.
#include <chrono>
#include <json-c/json.h>
#include <memory>
#include <thread>

#include "modules/playback/playback.h"
#include "tests/support/handler_test.h"

namespace {

class Live : public HandlerTest {
protected:
    // Requests sent without waiting may arrive after the CGI ended.
    bool nothing_sent()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return core.requests().empty();
    }
    std::string first_sent(int code)
    {
        EXPECT_TRUE(core.wait_for(code, 1)) << code;
        std::vector<FakeRequest> v = sent(code);
        return v.empty() ? std::string() : v[0].payload;
    }
};

// The 976-byte answer; the filler bytes are not to be read.
std::string live_answer(int channel, int port, int direct, int result, const std::string& rtsp,
                        const std::string& path)
{
    return int32_bytes({channel, port}) + std::string(16, '3') + int32_bytes({direct, result}) + std::string(64, '4') +
           field(rtsp, 256) + field(path, 128) + std::string(496, 'x');
}

TEST_F(Live, StartPrintsTheStreamAndLogsTheAnsweredChannel)
{
    core.reply(REQ_LIVE_START, live_answer(5, 554, 1, 3, "rtsp://10.0.0.2:554/ch06/sub", "/ch06/sub"));
    CgiResult r = post("/4010", R"({"id":7,"streamType":1,"streamFrom":1})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","port":554,"direct":1,)"
                                     R"("rtspAddr":"rtsp://10.0.0.2:554/ch06/sub","resPath":"/ch06/sub"})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_START), int32_bytes({7, 1, 1})));
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(208, 900, 6)});

    core.reply(REQ_LIVE_START, live_answer(0, 554, 0, 0, std::string(256, 'r'), std::string(128, 'p')));  // no NUL
    EXPECT_TRUE(json_reply_is(post("/4010", R"({"id":0,"streamType":0,"streamFrom":0})").out,
                              R"({"status":"OK","port":554,"direct":0,"rtspAddr":")" + std::string(256, 'r') +
                                  R"(","resPath":")" + std::string(128, 'p') + "\"}"));
    logs(1);
}

TEST_F(Live, StopSendsZeroForTheSourceAndStopAllSendsNothing)
{
    EXPECT_EQ(post("/4011", R"({"id":4,"streamType":1,"streamFrom":1})").out, text_reply());
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_STOP), int32_bytes({4, 1, 0})));
    EXPECT_EQ(get("/4012").out, text_reply());
    EXPECT_EQ(first_sent(REQ_LIVE_STOP_ALL), "");
    EXPECT_TRUE(no_logs());
}

TEST_F(Live, ImageValuesGetAndReset)
{
    core.reply(REQ_LIVE_IMAGE_GET, int32_bytes({3, 10, 20, 30, 40, 50, 1, 0}));
    EXPECT_TRUE(json_reply_is(post("/3000", R"({"chnid":3})").out,
                              R"({"status":"OK","brightness":10,"contrast":20,"saturation":30,)"
                              R"("Sharpness":40,"NoiseReduction":50,"i2ddnr":1})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_IMAGE_GET), int32_bytes({3})));

    EXPECT_TRUE(json_reply_is(post("/3002", "6").out, R"({"ChannelId":6,"Brightness":128,"Contrast":128,)"
                                                      R"("Saturation":128,"Sharpness":128,"NoiseReduction":128})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_IMAGE_SET), int32_bytes({6, 128, 128, 128, 128, 128, 0})));
    EXPECT_TRUE(no_logs());
}

TEST_F(Live, ImageSetSendsTheValuesAndLogsThemScaledWithoutOverflow)
{
    struct Case {
        std::string body;
        std::string sent;  // channel and the six values
        int object;
        std::string scaled;
    } cases[] = {
        {R"({"id":2,"brightness":255,"contrast":128,"saturation":0,"Sharpness":1,"NoiseReduction":2,"i2ddnr":9})",
         int32_bytes({2, 255, 128, 0, 1, 2, 9}), 3, int32_bytes({100, 50, 0, 0, 1})},
        {R"({"id":0,"brightness":1,"contrast":2,"saturation":3,"Sharpness":2147483647,)"
         R"("NoiseReduction":-2147483648})",
         int32_bytes({0, 1, 2, 3, 2147483647, INT32_MIN, 0}), 1, int32_bytes({0, 1, 1, 842150450, -842150450})},
        {R"({"id":7,"brightness":200,"contrast":100,"saturation":50,"Sharpness":1000,"NoiseReduction":-255})",
         int32_bytes({7, 200, 100, 50, 1000, -255, 0}), 8, int32_bytes({78, 39, 20, 392, -100})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(post("/3001", c.body).out, text_reply());
        EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_IMAGE_SET), c.sent));
        EXPECT_EQ(logs(1), std::vector<std::string>{log_record(217, 900, c.object, c.scaled.data(), 20)});
    }
}

TEST_F(Live, ChannelActionsLogTheirSubType)
{
    struct Row {
        const char* path;
        int sub_type;  // 0: not logged
    } rows[] = {{"/4014", 205}, {"/4015", 0}, {"/4016", 0}, {"/4017", 218}, {"/4024", 208}};
    for (const Row& row : rows)
        for (int channel : {7, 0}) {
            SCOPED_TRACE(std::string(row.path) + " " + std::to_string(channel));
            EXPECT_EQ(post(row.path, std::to_string(channel)).out, text_reply());
            if (row.sub_type) {
                EXPECT_EQ(logs(1), std::vector<std::string>{log_record(row.sub_type, 900, channel + 1)});
            }
            else {
                EXPECT_TRUE(no_logs());
            }
        }
}

std::string nvr_stream(int base, const std::string& user, const std::string& password, const std::string& path)
{
    return int32_bytes({99, base, base + 1, base + 2, base + 3, base + 4, 0, 0}) + field(user, 32) + field(password, 32) +
           std::string(256, 'q') + field(path, 128);
}

std::string nvr_json(const char* prefix, int base, const std::string& user, const std::string& password,
                     const std::string& path)
{
    char buf[1024];
    snprintf(buf, sizeof buf,
             R"("%1$sUsername":"%2$s","%1$sPassword":"%3$s","%1$sPort":%4$d,"%1$sExternalPort":%5$d,)"
             R"("%1$sDDNSPort":%6$d,"%1$sResPath":"%7$s","%1$sExternalHttpPort":%8$d,"%1$sDDNSHttpPort":%9$d)",
             prefix, user.c_str(), password.c_str(), base, base + 1, base + 2, path.c_str(), base + 3, base + 4);
    return buf;
}

TEST_F(Live, RtspReplyListsEveryWholeRecordInOrder)
{
    const std::string a = int32_bytes({0}) + field("rtsp://cam1/main", 256) + field("rtsp://cam1/sub", 256) +
                          nvr_stream(554, "admin", "pw1", "/ch01/main") + nvr_stream(600, "viewer", "pw2", "/ch01/sub");
    // Texts filling their fields stay in them.
    const std::string b = int32_bytes({0}) + std::string(256, 'm') + field("", 256) +
                          nvr_stream(700, std::string(32, 'u'), "", std::string(128, 'p')) +
                          nvr_stream(800, "s", "t", "/x");
    core.reply(REQ_LIVE_RTSP_INFO, a + b + std::string(100, 'z'));
    EXPECT_TRUE(json_reply_is(
        get("/4018").out,
        R"({"rtspaddr":[{"ipc":{"main":"rtsp://cam1/main","sub":"rtsp://cam1/sub"},"nvr":{)" +
            nvr_json("main", 554, "admin", "pw1", "/ch01/main") + "," +
            nvr_json("sub", 600, "viewer", "pw2", "/ch01/sub") + R"(}},{"ipc":{"main":")" + std::string(256, 'm') +
            R"(","sub":""},"nvr":{)" + nvr_json("main", 700, std::string(32, 'u'), "", std::string(128, 'p')) + "," +
            nvr_json("sub", 800, "s", "t", "/x") + "}}]}"));
    EXPECT_EQ(first_sent(REQ_LIVE_RTSP_INFO), "");

    core.reply(REQ_EXTERN_PORTS, int32_bytes({10080, 8443}));
    EXPECT_TRUE(json_reply_is(get("/4021").out, R"({"upnp_extern_port":10080,"ddns_extern_port":8443})"));
    EXPECT_EQ(first_sent(REQ_EXTERN_PORTS), "");
}

// A short answer is no answer; a failed start is not logged.
TEST_F(Live, FailedShortOrMissingAnswers)
{
    const std::string start = R"({"id":1,"streamType":0,"streamFrom":0})";
    const std::string error = kJsonHead + R"({ "status": "ERROR" })";
    struct Case {
        const char* path;
        std::string body;
        int code;
        std::string answer, out;
    } cases[] = {
        {"/4010", start, REQ_LIVE_START, live_answer(1, 554, 0, -1, "a", "b"), error},
        {"/4010", start, REQ_LIVE_START, live_answer(1, 554, 0, 0, "a", "b").substr(0, 975), kJsonError},
        {"/4010", start, REQ_LIVE_START, "", kJsonError},
        {"/4010", start, REQ_LIVE_START, kSilent, kJsonError},
        {"/3000", R"({"chnid":7})", REQ_LIVE_IMAGE_GET, int32_bytes({3, 1, 2, 3, 4, 5, 6, -2}), error},
        {"/3000", R"({"chnid":0})", REQ_LIVE_IMAGE_GET, int32_bytes({3, 1, 2, 3, 4, 5, 6, 0}).substr(0, 31), kJsonError},
        {"/3000", R"({"chnid":0})", REQ_LIVE_IMAGE_GET, kSilent, kJsonError},
        {"/4018", "", REQ_LIVE_RTSP_INFO, std::string(1475, '\0'), ""},
        {"/4018", "", REQ_LIVE_RTSP_INFO, kSilent, kJsonError},
        {"/4021", "", REQ_EXTERN_PORTS, int32_bytes({10080}), kJsonError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " answered with " + std::to_string(c.answer.size()) + " bytes");
        if (c.answer == kSilent)
            core.silent(c.code);
        else
            core.reply(c.code, c.answer);
        EXPECT_EQ(run(c.body.empty() ? "GET" : "POST", c.path, c.body).out, c.out);
        if (c.code == REQ_LIVE_START) {
            EXPECT_TRUE(no_logs());
        }
    }
}

TEST_F(Live, InvalidBodiesAskNothing)
{
    const std::vector<std::string> stream = {
        "", "not json", R"({"id":8,"streamType":0,"streamFrom":0})", R"({"id":-1,"streamType":0,"streamFrom":0})",
        R"({"id":0,"streamType":2,"streamFrom":0})", R"({"id":0,"streamType":0,"streamFrom":-1})",
        R"({"id":"zero","streamType":0,"streamFrom":0})", R"({"streamType":0,"streamFrom":0})",
        R"({"id":0,"streamFrom":0})", R"({"id":0,"streamType":0})"};
    struct Case {
        const char* path;
        std::vector<std::string> bodies;
    } cases[] = {
        {"/4010", stream},
        {"/4011", stream},
        {"/3000", {R"({"chnid":8})", R"({"chnid":-1})", "{}", "x"}},
        // Each required member left out in turn, then values out of range.
        {"/3001", {R"({"brightness":0,"contrast":0,"saturation":0})", R"({"id":0,"contrast":0,"saturation":0})",
                   R"({"id":0,"brightness":0,"saturation":0})", R"({"id":0,"brightness":0,"contrast":0})"}},
        {"/3001", {R"({"id":0,"brightness":256,"contrast":0,"saturation":0})",
                   R"({"id":0,"brightness":0,"contrast":-1,"saturation":0})",
                   R"({"id":0,"brightness":0,"contrast":0,"saturation":300})",
                   R"({"id":8,"brightness":0,"contrast":0,"saturation":0})", "nope"}},
        {"/3002", {"8", "-1", "x", ""}},
        // The channel actions share one parser: every case on one, the range on all.
        {"/4014", {"8", "-1", "abc", "", "3x"}},
        {"/4015", {"8"}}, {"/4016", {"8"}}, {"/4017", {"8"}}, {"/4024", {"8"}},
    };
    for (const Case& c : cases)
        for (const std::string& body : c.bodies) {
            SCOPED_TRACE(std::string(c.path) + " " + body);
            EXPECT_EQ(post(c.path, body).out, "");
            EXPECT_TRUE(nothing_sent());
        }
}

// ---- end to end against coresim ----

using Json = std::unique_ptr<json_object, decltype(&json_object_put)>;

std::string member(json_object* o, const char* key)
{
    json_object* v = nullptr;
    return o && json_object_object_get_ex(o, key, &v) ? json_object_get_string(v) : "<absent>";
}

TEST(LiveSimulated, PlaybackAndLiveViewAgainstCoresim)
{
    ScratchRoot root;
    CoresimProcess sim(root.path(), {{"TZ", "UTC"}});  // the zone the CGI runs in
    ASSERT_TRUE(sim.running());
    auto text = [&](const std::string& path, const std::string& body) {
        return post_json_body(root.path(), path, body);
    };
    auto ask = [&](const std::string& path, const std::string& body) {
        return Json(json_tokener_parse(text(path, body).c_str()), json_object_put);
    };
    const time_t now = time(nullptr);
    const std::string from = utc_time_text(now - 2 * 86400), to = utc_time_text(now);
    Json found = ask("/4000", R"({"channelId":2,"sid":-1,"streamType":0,"time":")" + from + R"(","endTime":")" +
                                  to + "\"}");
    ASSERT_EQ(member(found.get(), "status"), "OK");
    EXPECT_EQ(member(found.get(), "camId"), "2");
    const std::string sid = member(found.get(), "sid");
    json_object* list = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(found.get(), "section", &list));
    ASSERT_GT(json_object_array_length(list), 0u);
    EXPECT_EQ(std::to_string(json_object_array_length(list)), member(found.get(), "sectionNum"));
    const std::string start = member(json_object_array_get_idx(list, 0), "startTime");
    // Two days of hourly sections do not fit one answer.
    EXPECT_EQ(member(ask("/4023", "{\"sid\":" + sid + ",\"page\":2}").get(), "status"), "OK");

    Json opened = ask("/4001", "{\"channelId\":2,\"sid\":" + sid + ",\"startTime\":\"" + from + "\",\"endTime\":\"" +
                                   to + "\",\"playTime\":\"" + start + "\"}");
    EXPECT_EQ(member(opened.get(), "status"), "OK");
    EXPECT_EQ(member(opened.get(), "sessionId"), sid);
    EXPECT_EQ(member(opened.get(), "realPlayTime"), start);
    // Paused, the play time stays where the jump put it.
    EXPECT_EQ(text("/4004", "{\"num\":1,\"sid\":[" + sid + "]}"), "OK");
    const std::string target = utc_time_text(now - 86400 - 1234);
    EXPECT_EQ(member(ask("/4009", "{\"jumpTime\":\"" + target + "\",\"sid\":[" + sid + "],\"chnid\":[2],\"num\":1}").get(),
                     "status"),
              "OK");
    EXPECT_EQ(member(ask("/4002", sid).get(), "curPlayTime"), target);
    // Nothing recorded there: refused.
    EXPECT_EQ(text("/4001", "{\"channelId\":2,\"sid\":" + sid +
                                ",\"startTime\":\"a\",\"endTime\":\"b\",\"playTime\":\"2001-01-01 00:00:00\"}"),
              "{status:\"CGI ERROR\"}");

    Json live = ask("/4010", R"({"id":1,"streamType":1,"streamFrom":0})");
    EXPECT_EQ(member(live.get(), "status"), "OK");
    EXPECT_EQ(member(live.get(), "resPath"), "/ch02/sub");
    Json rtsp = ask("/4018", "");
    json_object* addrs = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(rtsp.get(), "rtspaddr", &addrs));
    EXPECT_EQ(json_object_array_length(addrs), 16u);  // "max_cameras" of the seed

    EXPECT_EQ(canon(text("/3004", "")), R"({"status":"OK"})");
    root.write("/tmp/pbdownload", "");
    EXPECT_EQ(canon(text("/3004", "")), R"({"status":"BUSY"})");
}

}  // namespace
