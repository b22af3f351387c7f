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

// The link is closed before the error body, so a late answer cannot follow it.
TEST_F(Ipc, RequestPrintsTheAnswerOrTheErrorBodyOnce)
{
    fake_.reply(4101, "answer");
    fake_.script(4100, late(9100, 150));
    const std::tuple<int, int, int, std::string> rows[] = {
        {4101, 1, 1, kTextHead + "answer"}, {4102, -1, 0, ""}, {4100, 0, 0, kTextError}};
    for (const auto& [code, error_type, rc, want] : rows) {
        steps(code == 4101 ? 25 : 1);
        Capture out;
        EXPECT_EQ(cgi_request(print_cb, code, "q", 1, error_type), rc);
        if (code == 4100)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the late answer comes meanwhile
        EXPECT_EQ(out.text(), want) << code;
        EXPECT_EQ(g_callback_done, rc);
    }
}

std::vector<std::pair<int, int>> g_rows_called;  // (count, length)
void row_handler(int count, const char*, int length) { g_rows_called.push_back({count, length}); }

TEST(IpcDispatch, UnknownCodesAndShortAnswersAreIgnored)
{
    const IpcResponse table[] = {{8001, 4, 1, row_handler}, {8002, 20, 0, row_handler}, {8003, 0, 1, row_handler}};
    const std::tuple<int, int, int> rows[] = {  // code, length, records handed over (-1: ignored)
        {8000, 4, -1}, {8004, 4, -1}, {8001, 0, -1}, {8001, 3, -1}, {8001, 4, 1}, {8001, 9, 2}, {8002, 0, 0},
        {8002, 19, 0}, {8002, 40, 2}, {8003, 0, -1}, {8003, 5, 5}, {8001, -4, -1}};
    const char payload[64] = {0};
    for (const auto& [code, length, count] : rows) {
        g_rows_called.clear();
        int32_t header[8] = {VX_MSG_MAGIC, 2, 1, code, 0, length, 0, 0};
        EXPECT_EQ(cgi_dispatch_response(table, 3, header, payload), count >= 0) << code << "/" << length;
        EXPECT_EQ(g_rows_called, (count < 0 ? decltype(g_rows_called)() : decltype(g_rows_called){{count, length}}));
    }
    int32_t header[8] = {VX_MSG_MAGIC, 2, 1, 8001, 0, 4, 0, 0};
    g_rows_called.clear();
    EXPECT_FALSE(cgi_dispatch_response(table, 3, header, nullptr));
    EXPECT_FALSE(cgi_dispatch_response(table, 3, nullptr, payload));
    EXPECT_TRUE(g_rows_called.empty());
}

TEST(IpcCommon, JsonAndTextCallbacks)
{
    {
        Capture out;
        g_callback_done = 0;
        on_cgi_common_json_cb(0, "\0\0\0\0");  // no record: nothing
        EXPECT_EQ(g_callback_done, 0);
        on_cgi_common_json_cb(2, int32_bytes({-3, 9}).data());
        EXPECT_EQ(g_callback_done, 1);
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
