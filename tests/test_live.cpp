// Playback module, live view: live streams, image values, channel actions,
// stream addresses and ports, black-box through nvrweb.cgi against a fake
// core service; and the playback rows against coresim's simulation.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "modules/playback/playback.h"
#include "platform/vxsocket.h"
#include "tests/storage_test_helpers.h"

using namespace storage_test;

namespace {

class LiveCgi : public StorageCgi {
protected:
    // Nothing reached the fake, requests sent without waiting included.
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

live_reply live_answer(int channel, int port, int direct, int result, const char* rtsp, const char* path)
{
    live_reply l = zeroed<live_reply>();
    l.channel = channel;
    l.port = port;
    l.direct = direct;
    l.result = result;
    strncpy(l.rtsp_addr, rtsp, sizeof l.rtsp_addr);
    strncpy(l.res_path, path, sizeof l.res_path);
    memset(l.reserved0, 0x33, sizeof l.reserved0);
    memset(l.reserved1, 0x44, sizeof l.reserved1);
    return l;
}

// ---- live start "/4010" and stop "/4011" "/4012" --------------------------------------

using LiveStart = LiveCgi;

TEST_F(LiveStart, StartedStreamIsPrintedAndLoggedWithTheAnsweredChannel)
{
    core.reply(REQ_LIVE_START, bytes_of(live_answer(5, 554, 1, 0, "rtsp://10.0.0.2:554/ch06/sub", "/ch06/sub")));
    CgiResult r = post("/4010", R"({"id":5,"streamType":1,"streamFrom":1})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","port":554,"direct":1,)"
                                     R"("rtspAddr":"rtsp://10.0.0.2:554/ch06/sub","resPath":"/ch06/sub"})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_START), int32s({5, 1, 1})));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], log_record(208, 900, 6)));

    // The object is the answer's channel, not the request's.
    core.reply(REQ_LIVE_START, bytes_of(live_answer(2, 8554, 0, 3, "a", "b")));
    r = post("/4010", R"({"id":7,"streamType":0,"streamFrom":0})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","port":8554,"direct":0,"rtspAddr":"a","resPath":"b"})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_START), int32s({7, 0, 0})));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(208, 900, 3)));
}

TEST_F(LiveStart, TextsOfTheAnswerStayInTheirFields)
{
    live_reply a = live_answer(0, 554, 0, 0, "", "");
    memset(a.rtsp_addr, 'r', sizeof a.rtsp_addr);  // no NUL
    memset(a.res_path, 'p', sizeof a.res_path);
    memset(a.reserved2, 'x', sizeof a.reserved2);
    core.reply(REQ_LIVE_START, bytes_of(a));
    CgiResult r = post("/4010", R"({"id":0,"streamType":0,"streamFrom":0})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","port":554,"direct":0,"rtspAddr":")" +
                                         std::string(256, 'r') + R"(","resPath":")" + std::string(128, 'p') +
                                         "\"}"));
    logs(1);
}

TEST_F(LiveStart, FailureShortAnswerOrSilenceIsNotLogged)
{
    struct Case {
        const char* what;
        bool answered;
        std::string answer;
        std::string want;
    } cases[] = {
        {"failed", true, bytes_of(live_answer(1, 554, 0, -1, "a", "b")), kJsonHead + R"({ "status": "ERROR" })"},
        {"short", true, bytes_of(live_answer(1, 554, 0, 0, "a", "b")).substr(0, 975), kJsonError},
        {"empty", true, "", kJsonError},
        {"unanswered", false, "", kJsonError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.answered)
            core.reply(REQ_LIVE_START, c.answer);
        else
            core.silent(REQ_LIVE_START);
        CgiResult r = post("/4010", R"({"id":1,"streamType":0,"streamFrom":0})");
        EXPECT_EQ(r.out, c.want);
        EXPECT_TRUE(no_logs());
    }
}

const char* const kBadLiveBodies[] = {
    "",
    "not json",
    R"({"id":8,"streamType":0,"streamFrom":0})",
    R"({"id":-1,"streamType":0,"streamFrom":0})",
    R"({"id":0,"streamType":2,"streamFrom":0})",
    R"({"id":0,"streamType":0,"streamFrom":-1})",
    R"({"streamType":0,"streamFrom":0})",
    R"({"id":0,"streamFrom":0})",
    R"({"id":0,"streamType":0})",
    R"({"id":"zero","streamType":0,"streamFrom":0})",
};

TEST_F(LiveStart, InvalidBodiesGiveNoOutput)
{
    for (const char* path : {"/4010", "/4011"})
        for (const char* body : kBadLiveBodies) {
            EXPECT_EQ(post(path, body).out, "") << path << " " << body;
            EXPECT_TRUE(nothing_sent()) << path << " " << body;
        }
}

TEST_F(LiveStart, StopSendsZeroForTheSourceAndStopAllSendsNothing)
{
    EXPECT_EQ(post("/4011", R"({"id":4,"streamType":1,"streamFrom":1})").out, text_reply("OK"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_STOP), int32s({4, 1, 0})));

    EXPECT_EQ(get("/4012").out, text_reply("OK"));
    EXPECT_EQ(first_sent(REQ_LIVE_STOP_ALL), "");
    EXPECT_TRUE(no_logs());
}

// ---- image values "/3000" "/3001" "/3002" ---------------------------------------------

using LiveImage = LiveCgi;

std::string image_answer(int channel, std::initializer_list<int> values, int result)
{
    image_reply a = zeroed<image_reply>();
    a.channel = channel;
    int32_t* v = &a.brightness;
    for (int x : values)
        *v++ = x;
    a.result = result;
    return bytes_of(a);
}

TEST_F(LiveImage, GetPrintsTheSixValuesOrError)
{
    core.reply(REQ_LIVE_IMAGE_GET, image_answer(3, {10, 20, 30, 40, 50, 1}, 0));
    CgiResult r = post("/3000", R"({"chnid":3})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK","brightness":10,"contrast":20,"saturation":30,)"
                                     R"("Sharpness":40,"NoiseReduction":50,"i2ddnr":1})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_IMAGE_GET), int32s({3})));

    core.reply(REQ_LIVE_IMAGE_GET, image_answer(3, {10, 20, 30, 40, 50, 1}, -2));
    EXPECT_EQ(post("/3000", R"({"chnid":7})").out, kJsonHead + R"({ "status": "ERROR" })");

    core.reply(REQ_LIVE_IMAGE_GET, image_answer(3, {1, 2, 3, 4, 5, 6}, 0).substr(0, 31));
    EXPECT_EQ(post("/3000", R"({"chnid":0})").out, kJsonError);
    core.silent(REQ_LIVE_IMAGE_GET);
    EXPECT_EQ(post("/3000", R"({"chnid":0})").out, kJsonError);

    for (const char* body : {R"({"chnid":8})", R"({"chnid":-1})", "{}", "x"}) {
        EXPECT_EQ(post("/3000", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

std::string image_log(int object, std::initializer_list<int> scaled)
{
    image_log_detail d = zeroed<image_log_detail>();
    int32_t* v = &d.brightness;
    for (int x : scaled)
        *v++ = x;
    return log_record(217, 900, object, &d, (int)sizeof d);
}

TEST_F(LiveImage, SetSendsTheValuesAndLogsThemScaledToAHundred)
{
    struct Case {
        std::string body;
        std::vector<int> sent;  // channel and the six values
        int object;
        std::vector<int> scaled;
    } cases[] = {
        {R"({"id":2,"brightness":255,"contrast":128,"saturation":0,"Sharpness":1,"NoiseReduction":2,"i2ddnr":9})",
         {2, 255, 128, 0, 1, 2, 9},
         3,
         {100, 50, 0, 0, 1}},
        // Unchecked values far out of range scale without overflowing.
        {R"({"id":0,"brightness":1,"contrast":2,"saturation":3,"Sharpness":2147483647,)"
         R"("NoiseReduction":-2147483648})",
         {0, 1, 2, 3, 2147483647, INT32_MIN, 0},
         1,
         {0, 1, 1, 842150450, -842150450}},
        {R"({"id":7,"brightness":200,"contrast":100,"saturation":50,"Sharpness":1000,"NoiseReduction":-255})",
         {7, 200, 100, 50, 1000, -255, 0},
         8,
         {78, 39, 20, 392, -100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(post("/3001", c.body).out, text_reply("OK"));
        std::string want;
        for (int v : c.sent)
            want += int32s({v});
        EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_IMAGE_SET), want));
        std::vector<std::string> l = logs(1);
        ASSERT_EQ(l.size(), 1u);
        std::vector<int> s = c.scaled;
        EXPECT_TRUE(same_bytes(l[0], image_log(c.object, {s[0], s[1], s[2], s[3], s[4]})));
    }
}

TEST_F(LiveImage, SetRefusesChannelsAndValuesOutOfRange)
{
    const char* bodies[] = {
        R"({"id":0,"brightness":256,"contrast":0,"saturation":0})",
        R"({"id":0,"brightness":0,"contrast":-1,"saturation":0})",
        R"({"id":0,"brightness":0,"contrast":0,"saturation":300})",
        R"({"id":8,"brightness":0,"contrast":0,"saturation":0})",
        R"({"brightness":0,"contrast":0,"saturation":0})",
        R"({"id":0,"contrast":0,"saturation":0})",
        R"({"id":0,"brightness":0,"saturation":0})",
        R"({"id":0,"brightness":0,"contrast":0})",
        "nope",
    };
    for (const char* body : bodies) {
        EXPECT_EQ(post("/3001", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

TEST_F(LiveImage, ResetSendsTheDefaultsAndPrintsThem)
{
    CgiResult r = post("/3002", "6");
    EXPECT_TRUE(json_reply_is(r.out, R"({"ChannelId":6,"Brightness":128,"Contrast":128,"Saturation":128,)"
                                     R"("Sharpness":128,"NoiseReduction":128})"));
    EXPECT_TRUE(same_bytes(first_sent(REQ_LIVE_IMAGE_SET), int32s({6, 128, 128, 128, 128, 128, 0})));
    EXPECT_TRUE(no_logs());
    for (const char* body : {"8", "-1", "x", ""}) {
        EXPECT_EQ(post("/3002", body).out, "") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

// ---- channel actions "/4014" "/4015" "/4016" "/4017" "/4024" -------------------------------

using LiveChannelActions = LiveCgi;

TEST_F(LiveChannelActions, AcceptZeroToSevenAndLogTheirSubType)
{
    struct Row {
        const char* path;
        int sub_type;  // 0: not logged
    } rows[] = {{"/4014", 205}, {"/4015", 0}, {"/4016", 0}, {"/4017", 218}, {"/4024", 208}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(post(row.path, "7").out, text_reply("OK"));
        if (row.sub_type) {
            std::vector<std::string> l = logs(1);
            ASSERT_EQ(l.size(), 1u);
            EXPECT_TRUE(same_bytes(l[0], log_record(row.sub_type, 900, 8)));
        } else {
            EXPECT_TRUE(no_logs());
        }
        EXPECT_EQ(post(row.path, "0").out, text_reply("OK"));
        if (row.sub_type) {
            EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(row.sub_type, 900, 1)));
        }
        for (const char* body : {"8", "-1", "abc", "", "3x"}) {
            EXPECT_EQ(post(row.path, body).out, "") << body;
            EXPECT_TRUE(nothing_sent()) << body;
        }
    }
}

// ---- addresses "/4018" and ports "/4021" ---------------------------------------------------

using LiveAddresses = LiveCgi;

rtsp_stream nvr_stream(int base, const char* user, const char* password, const char* path)
{
    rtsp_stream s = zeroed<rtsp_stream>();
    s.reserved0 = 99;
    s.port = base;
    s.external_port = base + 1;
    s.ddns_port = base + 2;
    s.external_http_port = base + 3;
    s.ddns_http_port = base + 4;
    strncpy(s.user, user, sizeof s.user);
    strncpy(s.password, password, sizeof s.password);
    strncpy(s.res_path, path, sizeof s.res_path);
    memset(s.reserved2, 'q', sizeof s.reserved2);
    return s;
}

std::string nvr_json(const char* prefix, int base, const char* user, const char* password, const char* path)
{
    char buf[1024];
    snprintf(buf, sizeof buf,
             R"("%1$sUsername":"%2$s","%1$sPassword":"%3$s","%1$sPort":%4$d,"%1$sExternalPort":%5$d,)"
             R"("%1$sDDNSPort":%6$d,"%1$sResPath":"%7$s","%1$sExternalHttpPort":%8$d,"%1$sDDNSHttpPort":%9$d)",
             prefix, user, password, base, base + 1, base + 2, path, base + 3, base + 4);
    return buf;
}

TEST_F(LiveAddresses, RtspReplyListsEveryChannelRecordInOrder)
{
    rtsp_info a = zeroed<rtsp_info>();
    strcpy(a.ipc_main, "rtsp://cam1/main");
    strcpy(a.ipc_sub, "rtsp://cam1/sub");
    a.main = nvr_stream(554, "admin", "pw1", "/ch01/main");
    a.sub = nvr_stream(600, "viewer", "pw2", "/ch01/sub");
    rtsp_info b = zeroed<rtsp_info>();
    memset(b.ipc_main, 'm', sizeof b.ipc_main);  // no NUL: stays in the field
    b.main = nvr_stream(700, "", "", "");
    memset(b.main.user, 'u', sizeof b.main.user);
    memset(b.main.res_path, 'p', sizeof b.main.res_path);
    b.sub = nvr_stream(800, "s", "t", "/x");
    core.reply(REQ_LIVE_RTSP_INFO, bytes_of(a) + bytes_of(b) + std::string(100, 'z'));
    CgiResult r = get("/4018");
    std::string want =
        R"({"rtspaddr":[{"ipc":{"main":"rtsp://cam1/main","sub":"rtsp://cam1/sub"},"nvr":{)" +
        nvr_json("main", 554, "admin", "pw1", "/ch01/main") + "," + nvr_json("sub", 600, "viewer", "pw2", "/ch01/sub") +
        R"(}},{"ipc":{"main":")" + std::string(256, 'm') + R"(","sub":""},"nvr":{)" +
        nvr_json("main", 700, std::string(32, 'u').c_str(), "", std::string(128, 'p').c_str()) + "," +
        nvr_json("sub", 800, "s", "t", "/x") + "}}]}";
    EXPECT_TRUE(json_reply_is(r.out, want));
    EXPECT_EQ(first_sent(REQ_LIVE_RTSP_INFO), "");
}

TEST_F(LiveAddresses, RtspAnswerWithoutRecordPrintsNothingAndSilenceIsTheErrorBody)
{
    core.reply(REQ_LIVE_RTSP_INFO, std::string(1475, '\0'));
    EXPECT_EQ(get("/4018").out, "");
    core.silent(REQ_LIVE_RTSP_INFO);
    EXPECT_EQ(get("/4018").out, kJsonError);
}

TEST_F(LiveAddresses, ExternPortsOrError)
{
    core.reply(REQ_EXTERN_PORTS, int32s({10080, 8443}));
    EXPECT_TRUE(json_reply_is(get("/4021").out, R"({"upnp_extern_port":10080,"ddns_extern_port":8443})"));
    EXPECT_EQ(first_sent(REQ_EXTERN_PORTS), "");
    core.reply(REQ_EXTERN_PORTS, int32s({10080}));
    EXPECT_EQ(get("/4021").out, kJsonError);
}

// ---- against coresim --------------------------------------------------------------------

// coresim on a seeded scratch root, in the time zone the CGI runs in.
class PlaybackSimulated : public ::testing::Test {
protected:
    ScratchRoot root;
    pid_t pid = -1;

    void SetUp() override
    {
        ASSERT_EQ(system(("'" + build_dir() + "/coresim' --seed '" + root.path() + "' >/dev/null").c_str()), 0);
        pid = fork();
        if (pid == 0) {
            freopen("/dev/null", "w", stderr);
            setenv("TZ", "UTC", 1);
            execl((build_dir() + "/coresim").c_str(), "coresim", "--root", root.path().c_str(), (char*)nullptr);
            _exit(127);
        }
        const std::string socket_path = root.at("/var/run/vxsocket");
        int fd = -1;
        for (int i = 0; i < 100 && fd < 0; i++) {
            fd = vx_connect_unix(socket_path.c_str());
            if (fd < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_GE(fd, 0);
        close(fd);
    }
    void TearDown() override
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }
    json_object* ask(const std::string& path, const std::string& body)
    {
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.body = body;
        r.content_type = "application/json";
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0);
        return json_tokener_parse(reply_body(res.out).c_str());
    }
    std::string text(const std::string& path, const std::string& body)
    {
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.body = body;
        r.content_type = "application/json";
        return reply_body(run_cgi(root.path(), r).out);
    }
};

std::string field(json_object* o, const char* key)
{
    json_object* v = nullptr;
    if (!o || !json_object_object_get_ex(o, key, &v))
        return "<absent>";
    return json_object_get_string(v);
}

std::string utc_text(time_t t)
{
    struct tm tm;
    gmtime_r(&t, &tm);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

TEST_F(PlaybackSimulated, SearchPlayPauseJumpAndLive)
{
    time_t now = time(nullptr);
    std::string from = utc_text(now - 2 * 86400), to = utc_text(now);
    json_object* found = ask("/4000", R"({"channelId":2,"sid":-1,"streamType":0,"time":")" + from +
                                          R"(","endTime":")" + to + "\"}");
    ASSERT_EQ(field(found, "status"), "OK");
    EXPECT_EQ(field(found, "camId"), "2");
    int sid = atoi(field(found, "sid").c_str());
    json_object* list = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(found, "section", &list));
    ASSERT_GT(json_object_array_length(list), 0u);
    EXPECT_EQ(std::to_string(json_object_array_length(list)), field(found, "sectionNum"));
    std::string start = field(json_object_array_get_idx(list, 0), "startTime");
    json_object_put(found);

    // Two days of hourly sections do not fit one answer: the next page has more.
    json_object* page = ask("/4023", "{\"sid\":" + std::to_string(sid) + ",\"page\":2}");
    EXPECT_EQ(field(page, "status"), "OK");
    json_object_put(page);

    json_object* opened = ask("/4001", "{\"channelId\":2,\"sid\":" + std::to_string(sid) + ",\"startTime\":\"" +
                                           from + "\",\"endTime\":\"" + to + "\",\"playTime\":\"" + start + "\"}");
    EXPECT_EQ(field(opened, "status"), "OK");
    EXPECT_EQ(field(opened, "sessionId"), std::to_string(sid));
    EXPECT_EQ(field(opened, "realPlayTime"), start);
    json_object_put(opened);

    // Paused, the play time is exactly where the jump put it.
    EXPECT_EQ(text("/4004", "{\"num\":1,\"sid\":[" + std::to_string(sid) + "]}"), "OK");
    std::string target = utc_text(now - 86400 - 1234);
    json_object* jumped = ask("/4009", "{\"jumpTime\":\"" + target + "\",\"sid\":[" + std::to_string(sid) +
                                           "],\"chnid\":[2],\"num\":1}");
    EXPECT_EQ(field(jumped, "status"), "OK");
    json_object_put(jumped);
    json_object* at = ask("/4002", std::to_string(sid));
    EXPECT_EQ(field(at, "curPlayTime"), target);
    json_object_put(at);

    // Starting where nothing was recorded is refused.
    EXPECT_EQ(text("/4001", "{\"channelId\":2,\"sid\":" + std::to_string(sid) +
                                ",\"startTime\":\"a\",\"endTime\":\"b\",\"playTime\":\"2001-01-01 00:00:00\"}"),
              "{status:\"CGI ERROR\"}");

    json_object* live = ask("/4010", R"({"id":1,"streamType":1,"streamFrom":0})");
    EXPECT_EQ(field(live, "status"), "OK");
    EXPECT_EQ(field(live, "resPath"), "/ch02/sub");
    json_object_put(live);

    EXPECT_EQ(text("/3001", R"({"id":4,"brightness":10,"contrast":20,"saturation":30,"Sharpness":40,)"
                            R"("NoiseReduction":50,"i2ddnr":1})"),
              "OK");
    // The change is sent without waiting; coresim takes it on its own connection.
    std::string image;
    for (int i = 0; i < 20 && image.find("\"brightness\": 10,") == std::string::npos; i++)
        image = text("/3000", R"({"chnid":4})");
    EXPECT_EQ(canon(image), R"({"status":"OK","brightness":10,"contrast":20,"saturation":30,"Sharpness":40,)"
                            R"("NoiseReduction":50,"i2ddnr":1})");

    json_object* rtsp = ask("/4018", "");
    json_object* addrs = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(rtsp, "rtspaddr", &addrs));
    EXPECT_EQ(json_object_array_length(addrs), 16u);  // "max_cameras" of the seed
    json_object_put(rtsp);

    json_object* tc = ask("/4025", "{\"ch\":2,\"sid\":" + std::to_string(sid) +
                                       ",\"trancodingmode\":1,\"framesize\":1,\"bitrate\":256,\"framerate\":10}");
    EXPECT_EQ(field(tc, "state"), "1");
    json_object_put(tc);
    json_object* state = ask("/4026", "{\"ch\":2,\"sid\":" + std::to_string(sid) + "}");
    EXPECT_EQ(field(state, "state"), "1");
    json_object_put(state);

    EXPECT_EQ(canon(text("/3004", "")), R"({"status":"OK"})");
    root.write("/tmp/pbdownload", "");
    EXPECT_EQ(canon(text("/3004", "")), R"({"status":"BUSY"})");
}

}  // namespace
