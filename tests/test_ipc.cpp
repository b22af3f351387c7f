// The core-service request client: polling grain, nowait, wait table, response tables, error bodies.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <json-c/json.h>
#include <string>
#include <thread>
#include <vector>

#include "core/ipc.h"
#include "core/reply.h"
#include "frontend/cgi_env.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace {

const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kJson = "Content-type: application/json\r\n\r\n";

std::atomic<int> g_seen_code{0};

void done_cb(void*, const int32_t* header, const char* payload)
{
    if (!payload)
        return;
    g_seen_code = header[VX_HDR_CODE];
    g_callback_done = 1;
}

// Prints the payload as text, as a module callback would.
void print_cb(void*, const int32_t* header, const char* payload)
{
    if (!payload)
        return;
    cgi_writeback_webserver(0, std::string(payload, (size_t)header[VX_HDR_LENGTH]).c_str());
    g_callback_done = 1;
}

// Standard output of the process goes to a temporary file meanwhile.
class Capture {
public:
    Capture() : saved_(cgiOut), file_(tmpfile()) { cgiOut = file_; }
    ~Capture()
    {
        cgiOut = saved_;
        fclose(file_);
    }
    std::string text()
    {
        fflush(file_);
        rewind(file_);
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, file_)) > 0)
            out.append(buf, n);
        return out;
    }

private:
    FILE* saved_;
    FILE* file_;
};

class Ipc : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_.use_in_process();
        setenv("NVRWEB_IPC_MAX_STEPS", "25", 1);
        setenv("NVRWEB_IPC_MAX_SENDS", "5", 1);
        g_seen_code = 0;
    }
    void TearDown() override
    {
        cgi_stop_ipc();
        unsetenv("NVRWEB_IPC_MAX_STEPS");
        unsetenv("NVRWEB_IPC_MAX_SENDS");
    }
    ScratchRoot root_;
};

TEST_F(Ipc, LateAnswerSeenAtTheFortyMillisecondGrain)
{
    FakeCore fake(root_.path());
    fake.script(4321, [](const FakeRequest&, FakeResponder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        r.send(9321, int32_bytes({1}));
    });
    int32_t word = 5;
    EXPECT_EQ(cgi_start_ipc(done_cb, 4321, 4, &word, 0), 0);
    EXPECT_EQ(g_callback_done, 1);
    EXPECT_EQ(g_seen_code, 9321);
    // First test after 10 ms, then at 50, 90, 130 ms: about 3 steps.
    EXPECT_GE(cgi_ipc_last_steps(), 2);
    EXPECT_LE(cgi_ipc_last_steps(), 5);
    EXPECT_EQ(fake.requests(4321).at(0).payload, int32_bytes({5}));
}

TEST_F(Ipc, ImmediateAnswerNeedsNoStep)
{
    FakeCore fake(root_.path());
    fake.reply(4000, int32_bytes({0}));
    EXPECT_EQ(cgi_start_ipc(done_cb, 4000, 0, nullptr, 0), 0);
    EXPECT_EQ(g_callback_done, 1);
    EXPECT_LE(cgi_ipc_last_steps(), 1);
}

TEST_F(Ipc, SilenceWaitsTheCappedSteps)
{
    FakeCore fake(root_.path());
    setenv("NVRWEB_IPC_MAX_STEPS", "4", 1);
    EXPECT_EQ(cgi_start_ipc(done_cb, 4001, 0, nullptr, 0), 0);
    EXPECT_EQ(g_callback_done, 0);
    EXPECT_EQ(cgi_ipc_last_steps(), 4);
    setenv("NVRWEB_IPC_MAX_STEPS", "0", 1);
    EXPECT_EQ(cgi_start_ipc(done_cb, 4001, 0, nullptr, 0), 0);
    EXPECT_EQ(cgi_ipc_last_steps(), 0);
    EXPECT_TRUE(fake.wait_for(4001, 2));
}

TEST_F(Ipc, NoCallbackSendsNothing)
{
    FakeCore fake(root_.path());
    g_callback_done = 7;
    EXPECT_EQ(cgi_start_ipc(nullptr, 4002, 4, "abcd", 0), -1);
    EXPECT_EQ(cgi_start_ipc(nullptr, 4002, 4, "abcd", 1), -1);
    EXPECT_EQ(g_callback_done, 7);
    EXPECT_FALSE(fake.wait_for(4002, 1, 300));
    EXPECT_TRUE(fake.requests().empty());
    g_callback_done = 0;
}

TEST_F(Ipc, NowaitReturnsWithoutPolling)
{
    FakeCore fake(root_.path());
    setenv("NVRWEB_IPC_MAX_STEPS", "3", 1);
    ASSERT_EQ(cgi_start_ipc(done_cb, 4003, 0, nullptr, 0), 0);
    ASSERT_EQ(cgi_ipc_last_steps(), 3);
    // A polling call would now poll 25 steps and record them.
    setenv("NVRWEB_IPC_MAX_STEPS", "25", 1);
    EXPECT_EQ(cgi_start_ipc(done_cb, 4003, 3, "now", 1), 0);
    EXPECT_EQ(g_callback_done, 0);
    EXPECT_EQ(cgi_ipc_last_steps(), 3);
    ASSERT_TRUE(fake.wait_for(4003, 2));
    EXPECT_EQ(fake.requests(4003).at(1).payload, "now");
}

TEST_F(Ipc, NotifySendsAndCloses)
{
    FakeCore fake(root_.path());
    cgi_notify(cgi_ignore_callback, 3485, "rec", 3);
    ASSERT_TRUE(fake.wait_for(3485, 1));
    EXPECT_EQ(fake.requests(3485).at(0).payload, "rec");
}

TEST_F(Ipc, WaitTableByRequestCode)
{
    struct Row {
        int code;
        int steps;
    };
    const Row rows[] = {
        {3700, 1500}, {3702, 1500},
        {1153, 3000}, {1171, 3000}, {3102, 3000}, {3104, 3000}, {3223, 3000}, {3259, 3000},
        {3263, 3000}, {3360, 3000}, {3365, 3000}, {3401, 3000}, {3535, 3000},
        {1701, 6000}, {1713, 6000}, {1716, 6000}, {3200, 6000}, {3201, 6000}, {3202, 6000},
        {3203, 6000}, {3204, 6000}, {3205, 6000}, {3227, 6000}, {3379, 6000}, {3402, 6000},
        {3409, 6000}, {3420, 6000}, {3440, 6000}, {3528, 6000},
        {3230, 15000}, {3350, 15000}, {3434, 15000}, {3494, 15000}, {3495, 15000},
        {9999, 1000}, {0, 1000}, {-1, 1000}, {3433, 1000}, {3485, 1000}, {3701, 1000},
        {3206, 1000}, {1700, 1000}, {3496, 1000},
    };
    for (const Row& row : rows)
        EXPECT_EQ(cgi_ipc_wait_steps(row.code), row.steps) << row.code;
}

// Response tables.
std::vector<std::pair<int, int>> g_rows_called;  // (count, length)

void row_handler(int count, const char*, int length)
{
    g_rows_called.push_back({count, length});
}

TEST(IpcDispatch, UnknownCodesAndShortAnswersAreIgnored)
{
    const IpcResponse table[] = {
        {8001, 4, 1, row_handler},
        {8002, 20, 0, row_handler},
        {8003, 0, 1, row_handler},
    };
    struct Row {
        int code;
        int length;
        bool handled;
        int count;
    };
    const Row rows[] = {
        {8000, 4, false, 0}, {8004, 4, false, 0},
        {8001, 0, false, 0}, {8001, 3, false, 0}, {8001, 4, true, 1}, {8001, 9, true, 2},
        {8002, 0, true, 0}, {8002, 19, true, 0}, {8002, 40, true, 2},
        {8003, 0, false, 0}, {8003, 5, true, 5},
        {8001, -4, false, 0},
    };
    const char payload[64] = {0};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.code) + "/" + std::to_string(row.length));
        g_rows_called.clear();
        int32_t header[8] = {VX_MSG_MAGIC, 2, 1, row.code, 0, row.length, 0, 0};
        EXPECT_EQ(cgi_dispatch_response(table, 3, header, payload), row.handled);
        if (row.handled)
            EXPECT_EQ(g_rows_called, (std::vector<std::pair<int, int>>{{row.count, row.length}}));
        else
            EXPECT_TRUE(g_rows_called.empty());
    }
    int32_t header[8] = {VX_MSG_MAGIC, 2, 1, 8001, 0, 4, 0, 0};
    g_rows_called.clear();
    EXPECT_FALSE(cgi_dispatch_response(table, 3, header, nullptr));
    EXPECT_FALSE(cgi_dispatch_response(table, 3, nullptr, payload));
    EXPECT_TRUE(g_rows_called.empty());
}

TEST(IpcCommon, JsonCallback)
{
    {
        Capture out;
        g_callback_done = 0;
        std::string p = int32_bytes({-3, 9});
        on_cgi_common_json_cb(2, p.data());
        EXPECT_EQ(g_callback_done, 1);
        std::string text = out.text();
        ASSERT_EQ(text.compare(0, kJson.size(), kJson), 0) << text;
        json_object* o = json_tokener_parse(text.c_str() + kJson.size());
        ASSERT_NE(o, nullptr);
        json_object* status = nullptr;
        ASSERT_TRUE(json_object_object_get_ex(o, "status", &status));
        EXPECT_EQ(json_object_get_int(status), -3);
        EXPECT_EQ(json_object_object_length(o), 1);
        json_object_put(o);
    }
    {
        Capture out;
        g_callback_done = 0;
        on_cgi_common_json_cb(0, "\0\0\0\0");
        EXPECT_EQ(g_callback_done, 0);
        EXPECT_EQ(out.text(), "");
    }
}

TEST(IpcCommon, TextCallback)
{
    struct Row {
        int status;
        const char* data;
        std::string body;
    };
    const std::string long_data(300, 'd');
    const Row rows[] = {
        {0, nullptr, "CGI OK status:[0]"},
        {5, nullptr, "CGI OK status:[5]"},
        {-1, nullptr, "CGI ERROR status:[-1]"},
        {2, "abc", "CGI OK status:[2], data:[abc]"},
        {-7, "x y", "CGI ERROR status:[-7], data:[x y]"},
        {1, long_data.c_str(), "CGI OK status:[1], data:[" + long_data.substr(0, 255) + "]"},
    };
    for (const Row& row : rows) {
        Capture out;
        g_callback_done = 0;
        on_cgi_common_text_cb(1, row.status, row.data);
        EXPECT_EQ(g_callback_done, 1);
        EXPECT_EQ(out.text(), kText + row.body);
    }
    g_callback_done = 0;
}

TEST_F(Ipc, RequestClosesTheLinkBeforeTheErrorBody)
{
    FakeCore fake(root_.path());
    fake.script(4100, [](const FakeRequest&, FakeResponder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        r.send(9100, "late");
    });
    setenv("NVRWEB_IPC_MAX_STEPS", "1", 1);
    Capture out;
    EXPECT_EQ(cgi_request(print_cb, 4100, "q", 1, 0), 0);
    // Give the late answer time to arrive; the closed link must drop it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(out.text(), kText + "CGI ERROR");
    EXPECT_EQ(g_callback_done, 0);
}

TEST_F(Ipc, RequestPrintsTheAnswerOnce)
{
    FakeCore fake(root_.path());
    fake.reply(4101, "answer");
    Capture out;
    EXPECT_EQ(cgi_request(print_cb, 4101, nullptr, 0, 1), 1);
    EXPECT_EQ(out.text(), kText + "answer");
}

TEST_F(Ipc, RequestWithoutErrorType)
{
    FakeCore fake(root_.path());
    setenv("NVRWEB_IPC_MAX_STEPS", "1", 1);
    Capture out;
    EXPECT_EQ(cgi_request(print_cb, 4102, nullptr, 0, -1), 0);
    EXPECT_EQ(out.text(), "");
}

// Through the test entry, as a separate process.
class IpcCgi : public ::testing::Test {
protected:
    CgiResult ask(const std::string& path, const std::string& query, int steps = 3)
    {
        CgiRequest r;
        r.path = path;
        r.query = query;
        r.test_entry = true;
        r.max_steps = steps;
        r.max_sends = 3;
        return run_cgi(root_.path(), r);
    }
    ScratchRoot root_;
};

TEST_F(IpcCgi, AnswerIsPrinted)
{
    FakeCore fake(root_.path());
    fake.reply(1234, "world");
    fake.reply(1235, "{\"status\":0}");
    CgiResult t = ask("/taskt", "1234 hello", 25);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out, kText + "world");
    CgiResult j = ask("/taskj", "1235 {%22a%22:1}", 25);
    EXPECT_EQ(j.out, kText + "{\"status\":0}");
    auto reqs = fake.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].code, 1234);
    EXPECT_EQ(reqs[0].payload, "hello");
    EXPECT_EQ(reqs[0].seq, 1);
    EXPECT_EQ(reqs[1].code, 1235);
    EXPECT_EQ(reqs[1].payload, "{\"a\":1}");
}

TEST_F(IpcCgi, SilentCoreGivesTheErrorBody)
{
    FakeCore fake(root_.path());
    EXPECT_EQ(ask("/taskt", "1300 x").out, kText + "CGI ERROR");
    EXPECT_EQ(ask("/taskj", "1300 x").out, kJson + "{status:\"CGI ERROR\"}");
    EXPECT_TRUE(fake.wait_for(1300, 2));
    EXPECT_EQ(fake.requests(1300).size(), 2u);
}

TEST_F(IpcCgi, NoCoreServiceGivesTheErrorBody)
{
    CgiResult t = ask("/taskt", "1301 x");
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out, kText + "CGI ERROR");
    EXPECT_EQ(ask("/taskj", "1301 x").out, kJson + "{status:\"CGI ERROR\"}");
}

TEST_F(IpcCgi, AnswerAfterTheWaitIsNotPrinted)
{
    FakeCore fake(root_.path());
    fake.script(1302, [](const FakeRequest&, FakeResponder& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        r.send(6302, "late");
    });
    EXPECT_EQ(ask("/taskt", "1302 x", 1).out, kText + "CGI ERROR");
}

}  // namespace
