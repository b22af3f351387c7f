// The core-service request client: polling grain, nowait, wait table, response tables, error bodies.
#include <thread>
#include <tuple>
#include <utility>

#include "core/ipc.h"
#include "core/reply.h"
#include "frontend/cgi_env.h"
#include "tests/support/capture.h"
#include "tests/support/handler_test.h"

namespace {

// Prints the payload as text, as a module callback would.
void print_cb(void*, const int32_t* header, const char* payload)
{
    if (payload) {
        cgi_writeback_webserver(0, std::string(payload, (size_t)header[VX_HDR_LENGTH]).c_str());
        g_callback_done = 1;
    }
}

FakeScript late(int response, int ms)
{
    return [=](const FakeRequest&, FakeResponder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        r.send(response, "late");
    };
}

class Ipc : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_.use_in_process();
        steps(25);
        setenv("NVRWEB_IPC_MAX_SENDS", "5", 1);
    }
    void TearDown() override
    {
        cgi_stop_ipc();
        unsetenv("NVRWEB_IPC_MAX_STEPS");
        unsetenv("NVRWEB_IPC_MAX_SENDS");
        g_callback_done = 0;
    }
    static void steps(int n) { setenv("NVRWEB_IPC_MAX_STEPS", std::to_string(n).c_str(), 1); }
    ScratchRoot root_;
    FakeCore fake_{root_.path()};
};

TEST_F(Ipc, LateAnswerSeenAtTheFortyMillisecondGrain)
{
    fake_.script(4321, late(9321, 100));
    int32_t word = 5;
    Capture out;
    EXPECT_EQ(cgi_start_ipc(print_cb, 4321, 4, &word, 0), 0);
    EXPECT_EQ(out.text(), kTextHead + "late");
    // Tests after 10 ms, then at 50, 90, 130 ms: about 3 steps.
    EXPECT_GE(cgi_ipc_last_steps(), 2);
    EXPECT_LE(cgi_ipc_last_steps(), 5);
    EXPECT_EQ(fake_.requests(4321).at(0).payload, int32_bytes({5}));
}

TEST_F(Ipc, SilenceWaitsTheCapNowaitDoesNotWaitNoCallbackSendsNothing)
{
    steps(4);
    EXPECT_EQ(cgi_start_ipc(print_cb, 4001, 0, nullptr, 0), 0);
    EXPECT_EQ(g_callback_done, 0);
    EXPECT_EQ(cgi_ipc_last_steps(), 4);
    steps(25);  // a polling call would record 25 steps
    EXPECT_EQ(cgi_start_ipc(print_cb, 4001, 3, "now", 1), 0);
    EXPECT_EQ(cgi_ipc_last_steps(), 4);
    steps(0);
    EXPECT_EQ(cgi_start_ipc(print_cb, 4001, 0, nullptr, 0), 0);
    EXPECT_EQ(cgi_ipc_last_steps(), 0);
    ASSERT_TRUE(fake_.wait_for(4001, 3));
    EXPECT_EQ(fake_.requests(4001).at(1).payload, "now");
    g_callback_done = 7;
    EXPECT_EQ(cgi_start_ipc(nullptr, 4002, 4, "abcd", 0), -1);
    EXPECT_EQ(cgi_start_ipc(nullptr, 4002, 4, "abcd", 1), -1);
    EXPECT_EQ(g_callback_done, 7);
    EXPECT_FALSE(fake_.wait_for(4002, 1, 300));
}

TEST_F(Ipc, WaitTableByRequestCode)
{
    const std::pair<int, int> rows[] = {
        {3700, 1500}, {3702, 1500}, {1153, 3000}, {1171, 3000}, {3102, 3000}, {3104, 3000}, {3223, 3000},
        {3259, 3000}, {3263, 3000}, {3360, 3000}, {3365, 3000}, {3401, 3000}, {3535, 3000}, {1701, 6000},
        {1713, 6000}, {1716, 6000}, {3200, 6000}, {3201, 6000}, {3202, 6000}, {3203, 6000}, {3204, 6000},
        {3205, 6000}, {3227, 6000}, {3379, 6000}, {3402, 6000}, {3409, 6000}, {3420, 6000}, {3440, 6000},
        {3528, 6000}, {3230, 15000}, {3350, 15000}, {3434, 15000}, {3494, 15000}, {3495, 15000}, {9999, 1000},
        {0, 1000}, {-1, 1000}, {3433, 1000}, {3485, 1000}, {3701, 1000}, {3206, 1000}, {1700, 1000}, {3496, 1000}};
    for (const auto& [code, steps] : rows)
        EXPECT_EQ(cgi_ipc_wait_steps(code), steps) << code;
}

// The link is closed before the caller sees the flag, so a late answer cannot
// follow the error body the dispatcher then prints.
TEST_F(Ipc, RequestGivesTheAnswerOrNothingOnce)
{
    fake_.reply(4101, "answer");
    fake_.script(4100, late(9100, 150));
    const std::tuple<int, int, std::string> rows[] = {{4101, 1, kTextHead + "answer"}, {4100, 0, ""}};
    for (const auto& [code, rc, want] : rows) {
        steps(code == 4101 ? 25 : 1);
        Capture out;
        EXPECT_EQ(cgi_request(print_cb, code, "q", 1), rc);
        if (code == 4100)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the late answer comes meanwhile
        EXPECT_EQ(out.text(), want) << code;
        EXPECT_EQ(g_callback_done, rc);
    }
}

std::vector<std::pair<int, int>> g_rows_called;  // (count, length)
void row_handler(IpcAnswer& a) { g_rows_called.push_back({a.count, a.length}); }
void stream_handler(IpcAnswer& a)
{
    g_rows_called.push_back({a.count, a.length});
    a.done = a.length == 1 ? 1 : 0;  // a one-byte chunk ends the stream
}

// Rows take only whole answers to the request in flight, once; a stream row
// takes every chunk until one ends it.
TEST(IpcDispatch, AnswersAreMatchedToTheRequestAndTakenOnce)
{
    const IpcResponse table[] = {{8001, 4, 1, row_handler},
                                 {8002, 20, 0, row_handler},
                                 {8003, 0, 1, row_handler},
                                 {8104, 4, 1, row_handler, 3001},
                                 {6173, 1, 1, stream_handler, 0, true}};
    const int n = WEB_RES_COUNT(table);
    struct Row {
        int in_flight, code, length, count;  // count: records handed over, -1 not taken
    } rows[] = {
        {3001, 8000, 4, -1}, {3001, 8004, 4, -1}, {3001, 8001, 0, -1}, {3001, 8001, 3, -1}, {3001, 8001, 4, 1},
        {3001, 8001, 9, 2},  {3002, 8002, 0, 0},  {3002, 8002, 19, 0}, {3002, 8002, 40, 2}, {3003, 8003, 0, -1},
        {3003, 8003, 5, 5},  {3001, 8001, -4, -1},
        {3002, 8001, 4, -1},  // a known code, but not the answer to the request in flight
        {3001, 8104, 4, 1},   // a row that names its request
        {3104, 8104, 4, -1},
    };
    const char payload[64] = {0};
    for (const Row& r : rows) {
        g_rows_called.clear();
        g_callback_done = 0;
        cgi_ipc_set_in_flight(r.in_flight);
        int32_t header[8] = {VX_MSG_MAGIC, 2, 1, r.code, 0, r.length, 0, 0};
        EXPECT_EQ(cgi_dispatch_response(table, n, nullptr, header, payload), r.count >= 0) << r.code << "/" << r.length;
        EXPECT_EQ(g_rows_called, (r.count < 0 ? decltype(g_rows_called)() : decltype(g_rows_called){{r.count, r.length}}));
        EXPECT_EQ(g_callback_done, r.count >= 0 ? 1 : 0);
    }
    // A second answer to the same request is not printed again.
    g_rows_called.clear();
    cgi_ipc_set_in_flight(3001);
    int32_t header[8] = {VX_MSG_MAGIC, 2, 1, 8001, 0, 4, 0, 0};
    EXPECT_TRUE(cgi_dispatch_response(table, n, nullptr, header, payload));
    EXPECT_FALSE(cgi_dispatch_response(table, n, nullptr, header, payload));
    EXPECT_EQ(g_rows_called.size(), 1u);
    // Chunks of a stream keep coming until one ends it.
    g_rows_called.clear();
    g_callback_done = 0;
    cgi_ipc_set_in_flight(1173);
    for (int length : {8, 8, 1}) {
        int32_t chunk[8] = {VX_MSG_MAGIC, 2, 1, 6173, 0, length, 0, 0};
        cgi_dispatch_response(table, n, nullptr, chunk, payload);
    }
    EXPECT_EQ(g_rows_called.size(), 3u);
    EXPECT_EQ(g_callback_done, 1);
    EXPECT_FALSE(cgi_dispatch_response(table, n, nullptr, header, nullptr));
    EXPECT_FALSE(cgi_dispatch_response(table, n, nullptr, nullptr, payload));
    g_callback_done = 0;
}

TEST(IpcCommon, JsonAndTextCallbacks)
{
    {
        Capture out;
        const std::string words = int32_bytes({-3, 9});
        IpcAnswer none = {nullptr, words.data(), 0, 0, 1};
        on_cgi_common_json_cb(none);  // no record: nothing, and not an answer
        EXPECT_EQ(none.done, 0);
        EXPECT_EQ(out.text(), "");
        IpcAnswer two = {nullptr, words.data(), 8, 2, 1};
        on_cgi_common_json_cb(two);
        EXPECT_EQ(two.done, 1);
        EXPECT_TRUE(json_reply_is(out.text(), "{\"status\":-3}"));
    }
    const std::string long_data(300, 'd');
    const std::tuple<int, const char*, std::string> rows[] = {
        {0, nullptr, "CGI OK status:[0]"}, {5, nullptr, "CGI OK status:[5]"}, {-1, nullptr, "CGI ERROR status:[-1]"},
        {2, "abc", "CGI OK status:[2], data:[abc]"}, {-7, "x y", "CGI ERROR status:[-7], data:[x y]"},
        {1, long_data.c_str(), "CGI OK status:[1], data:[" + long_data.substr(0, 255) + "]"}};
    for (const auto& [status, data, body] : rows) {
        Capture out;
        g_callback_done = 0;
        on_cgi_common_text_cb(1, status, data);
        EXPECT_EQ(g_callback_done, 1);
        EXPECT_EQ(out.text(), kTextHead + body);
    }
    g_callback_done = 0;
}

// Through the test entry, as a separate process: the answer, or the error body in well under a second.
TEST(IpcCgi, AnswerOrErrorBody)
{
    ScratchRoot root;
    auto ask = [&](const std::string& path, const std::string& query, int steps) {
        CgiRequest r;
        r.path = path;
        r.query = query;
        r.test_entry = true;
        r.max_steps = steps;
        r.max_sends = 3;
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0);
        return res.out;
    };
    {
        FakeCore fake(root.path());
        fake.reply(1234, "world");
        fake.reply(1235, "{\"status\":0}");
        fake.script(1302, late(6302, 300));
        EXPECT_EQ(ask("/taskt", "1234 hello", 25), kTextHead + "world");
        EXPECT_EQ(ask("/taskj", "1235 {%22a%22:1}", 25), kTextHead + "{\"status\":0}");
        EXPECT_EQ(ask("/taskt", "1300 x", 3), kTextError);
        EXPECT_EQ(ask("/taskj", "1300 x", 3), kJsonError);
        EXPECT_EQ(ask("/taskt", "1302 x", 1), kTextError);
        auto reqs = fake.requests();
        ASSERT_EQ(reqs.size(), 5u);
        EXPECT_EQ(reqs[0].code, 1234);
        EXPECT_EQ(reqs[0].payload, "hello");
        EXPECT_EQ(reqs[0].seq, 1);  // a fresh process counts from 1
        EXPECT_EQ(reqs[1].payload, "{\"a\":1}");
    }
    EXPECT_EQ(ask("/taskt", "1301 x", 3), kTextError);  // no core service at all
    EXPECT_EQ(ask("/taskj", "1301 x", 3), kJsonError);
}

}  // namespace
