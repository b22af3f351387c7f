// The core-service socket (vx_sock_*): framing on the wire, delivery, refusals, reconnects, shut-down.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/vxsocket.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace {

struct Delivered {
    int32_t words[8];
    std::string payload;
    bool payload_null;
};

std::mutex g_mu;
std::condition_variable g_cv;
std::vector<Delivered> g_delivered;

void record_cb(void* unused, const int32_t* header, const char* payload)
{
    Delivered d;
    memcpy(d.words, header, sizeof d.words);
    d.payload_null = payload == nullptr;
    if (payload)
        d.payload.assign(payload, (size_t)header[VX_HDR_LENGTH]);
    EXPECT_EQ(unused, nullptr);
    std::lock_guard<std::mutex> g(g_mu);
    g_delivered.push_back(std::move(d));
    g_cv.notify_all();
}

bool wait_delivered(size_t n, int ms = 3000)
{
    std::unique_lock<std::mutex> g(g_mu);
    return g_cv.wait_for(g, std::chrono::milliseconds(ms), [n] { return g_delivered.size() >= n; });
}

std::vector<Delivered> delivered()
{
    std::lock_guard<std::mutex> g(g_mu);
    return g_delivered;
}

std::string le32(int32_t v)
{
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string header_bytes(int32_t magic, int kind, int seq, int code, int length)
{
    return le32(magic) + le32(kind) + le32(seq) + le32(code) + le32(0) + le32(length) + le32(0) + le32(0);
}

int32_t word_at(const std::string& bytes, size_t i)
{
    int32_t v;
    memcpy(&v, bytes.data() + 4 * i, 4);
    return v;
}

std::string random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = (char)(rng() & 0xff);
    return s;
}

// A bare peer on the root's socket: accepts and speaks raw bytes.
class RawPeer {
public:
    explicit RawPeer(const ScratchRoot& root) { listen_ = vx_listen_unix(root.at("/var/run/vxsocket").c_str()); }
    ~RawPeer()
    {
        if (conn_ >= 0)
            close(conn_);
        if (listen_ >= 0)
            close(listen_);
    }
    bool listening() const { return listen_ >= 0; }
    bool accept_one(int ms = 5000)
    {
        struct pollfd p = {listen_, POLLIN, 0};
        if (poll(&p, 1, ms) != 1)
            return false;
        if (conn_ >= 0)
            close(conn_);
        conn_ = accept(listen_, nullptr, nullptr);
        return conn_ >= 0;
    }
    // Exactly n bytes, or fewer when the stream ends or the time runs out.
    std::string read(size_t n, int ms = 5000)
    {
        std::string out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        char buf[65536];
        while (out.size() < n) {
            int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                           deadline - std::chrono::steady_clock::now())
                           .count();
            struct pollfd p = {conn_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) != 1)
                break;
            ssize_t r = ::read(conn_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0)
                break;
            out.append(buf, (size_t)r);
        }
        return out;
    }
    bool write(const std::string& bytes) { return vx_write_full(conn_, bytes.data(), bytes.size()); }
    // True when the other side closed the connection within the time.
    bool sees_close(int ms = 3000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        char buf[4096];
        for (;;) {
            int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                           deadline - std::chrono::steady_clock::now())
                           .count();
            struct pollfd p = {conn_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) != 1)
                return false;
            ssize_t r = ::read(conn_, buf, sizeof buf);
            if (r == 0 || (r < 0 && errno == ECONNRESET))
                return true;
            if (r < 0)
                return false;
        }
    }
    void close_conn()
    {
        if (conn_ >= 0)
            close(conn_);
        conn_ = -1;
    }

private:
    int listen_ = -1;
    int conn_ = -1;
};

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_.use_in_process();
        std::lock_guard<std::mutex> g(g_mu);
        g_delivered.clear();
    }
    void TearDown() override { vx_sock_uninit(); }
    int init() { return vx_sock_init(record_cb, 0, 3, "/var/run/vxsocket"); }

    ScratchRoot root_;
};

TEST_F(Transport, RoundTripWithSeveralResponses)
{
    FakeCore fake(root_.path());
    const std::string binary = std::string("\0\1\2x", 4);
    fake.reply_many(1234, {{6234, "one"}, {6234, binary}, {6299, ""}});
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(vx_sock_send_msg(1, 1234, "hello", 5, 0), 0);
    ASSERT_TRUE(wait_delivered(3));
    auto got = delivered();
    ASSERT_EQ(got.size(), 3u);
    auto reqs = fake.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].code, 1234);
    EXPECT_EQ(reqs[0].payload, "hello");

    const int codes[] = {6234, 6234, 6299};
    const std::string payloads[] = {"one", binary, ""};
    for (size_t i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].words[0], VX_MSG_MAGIC);
        EXPECT_EQ(got[i].words[1], VX_MSG_RESPONSE);
        EXPECT_EQ(got[i].words[2], reqs[0].seq);  // a response repeats the request's number
        EXPECT_EQ(got[i].words[VX_HDR_CODE], codes[i]);
        EXPECT_EQ(got[i].words[VX_HDR_LENGTH], (int)payloads[i].size());
        EXPECT_EQ(got[i].payload, payloads[i]);
        EXPECT_FALSE(got[i].payload_null);  // also for an empty answer
    }

    // A request without payload.
    fake.reply(55, "z");
    ASSERT_EQ(vx_sock_send_msg(1, 55, nullptr, 0, 0), 0);
    ASSERT_TRUE(wait_delivered(4));
    EXPECT_EQ(fake.requests(55).at(0).payload, "");
    EXPECT_EQ(delivered()[3].words[VX_HDR_CODE], 5055);
}

TEST_F(Transport, HeaderWordsOnTheWire)
{
    RawPeer peer(root_);
    ASSERT_TRUE(peer.listening());
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    const std::string payload = random_bytes(10, 1);
    ASSERT_EQ(vx_sock_send_msg(1, 3485, payload.data(), 10, 0), 0);
    std::string first = peer.read(32 + 10);
    ASSERT_EQ(first.size(), 42u);
    const int seq = word_at(first, 2);
    EXPECT_GE(seq, 1);
    EXPECT_EQ(first, header_bytes(VX_MSG_MAGIC, 1, seq, 3485, 10) + payload);
    EXPECT_EQ(first.substr(0, 4), "VXSK");  // the magic as bytes

    ASSERT_EQ(vx_sock_send_msg(1, 42, "", 0, 0), 0);
    EXPECT_EQ(peer.read(32), header_bytes(VX_MSG_MAGIC, 1, seq + 1, 42, 0));
}

TEST_F(Transport, AFreshProcessCountsFromOne)
{
    RawPeer peer(root_);
    ASSERT_TRUE(peer.listening());
    std::string got;
    std::thread t([&] {
        if (peer.accept_one())
            got = peer.read(32 + 3);
    });
    CgiRequest r;
    r.path = "/taskt";
    r.query = "777 abc";
    r.test_entry = true;
    r.max_steps = 2;
    CgiResult res = run_cgi(root_.path(), r);
    t.join();
    EXPECT_EQ(got, header_bytes(VX_MSG_MAGIC, 1, 1, 777, 3) + "abc");
    EXPECT_EQ(reply_body(res.out), "CGI ERROR");
}

TEST_F(Transport, OnlyResponsesReachTheCallback)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    // A request-kind message is passed over; the link stays up.
    ASSERT_TRUE(peer.write(header_bytes(VX_MSG_MAGIC, 1, 9, 100, 2) + "no"));
    ASSERT_TRUE(peer.write(header_bytes(VX_MSG_MAGIC, 2, 7, 6000, 4) + le32(-17)));
    ASSERT_TRUE(wait_delivered(1));
    auto got = delivered();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[0].words), 32),
              header_bytes(VX_MSG_MAGIC, 2, 7, 6000, 4));
    EXPECT_EQ(got[0].payload, le32(-17));
}

TEST_F(Transport, ResponsesInOneWriteAllArriveInOrder)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    std::string burst;
    for (int i = 0; i < 50; i++) {
        std::string p = std::to_string(i);
        burst += header_bytes(VX_MSG_MAGIC, 2, 1, 8000 + i, (int)p.size()) + p;
    }
    ASSERT_TRUE(peer.write(burst));
    ASSERT_TRUE(wait_delivered(50));
    auto got = delivered();
    for (int i = 0; i < 50; i++) {
        EXPECT_EQ(got[(size_t)i].words[VX_HDR_CODE], 8000 + i);
        EXPECT_EQ(got[(size_t)i].payload, std::to_string(i));
    }
}

TEST_F(Transport, MalformedHeadersCloseTheLinkWithoutCallback)
{
    struct Row {
        const char* what;
        std::string bytes;
    };
    const Row rows[] = {
        {"wrong magic", header_bytes(0x4B535857, 2, 1, 6000, 4) + "abcd"},
        {"zero magic", header_bytes(0, 2, 1, 6000, 0)},
        {"9 MiB length", header_bytes(VX_MSG_MAGIC, 2, 1, 6000, 9 * 1024 * 1024)},
        {"8 MiB + 1 length", header_bytes(VX_MSG_MAGIC, 2, 1, 6000, 8 * 1024 * 1024 + 1)},
        {"negative length", header_bytes(VX_MSG_MAGIC, 2, 1, 6000, -1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RawPeer peer(root_);
        ASSERT_EQ(init(), 0);
        ASSERT_TRUE(peer.accept_one());
        // A good response behind the bad one must not be delivered either.
        ASSERT_TRUE(peer.write(row.bytes));
        peer.write(header_bytes(VX_MSG_MAGIC, 2, 1, 6001, 2) + "ok");
        EXPECT_TRUE(peer.sees_close());
        vx_sock_uninit();
        EXPECT_TRUE(delivered().empty());
    }
}

TEST_F(Transport, EightMiBIsStillAccepted)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    const std::string payload = random_bytes(8u << 20, 8);
    ASSERT_TRUE(peer.write(header_bytes(VX_MSG_MAGIC, 2, 1, 6000, (int)payload.size()) + payload));
    ASSERT_TRUE(wait_delivered(1, 10000));
    auto got = delivered();
    EXPECT_EQ(got[0].words[VX_HDR_LENGTH], 8 << 20);
    EXPECT_TRUE(got[0].payload == payload);
}

TEST_F(Transport, LargePayloadArrivesWhole)
{
    FakeCore fake(root_.path());
    const std::string big = random_bytes(600 * 1024, 600);
    fake.reply(3300, big);
    ASSERT_EQ(init(), 0);
    const std::string req = random_bytes(300 * 1024, 300);
    ASSERT_EQ(vx_sock_send_msg(1, 3300, req.data(), (int)req.size(), 0), 0);
    ASSERT_TRUE(wait_delivered(1, 10000));
    auto got = delivered();
    EXPECT_EQ(got[0].words[VX_HDR_CODE], 8300);
    EXPECT_EQ(got[0].words[VX_HDR_LENGTH], 600 * 1024);
    EXPECT_TRUE(got[0].payload == big);
    EXPECT_TRUE(fake.requests(3300).at(0).payload == req);
}

TEST_F(Transport, SendWithNothingListeningFailsThenReconnects)
{
    init();  // nobody there yet
    EXPECT_NE(vx_sock_send_msg(1, 10, "x", 1, 0), 0);
    EXPECT_NE(vx_sock_send_msg(1, 10, "x", 1, 0), 0);
    FakeCore fake(root_.path());
    fake.reply(10, "back");
    EXPECT_EQ(vx_sock_send_msg(1, 10, "x", 1, 0), 0);
    ASSERT_TRUE(wait_delivered(1));
    EXPECT_EQ(delivered()[0].payload, "back");
}

TEST_F(Transport, SendAfterThePeerLeftIsRetried)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    peer.close_conn();
    // The first attempts may fail on the dead connection; a later one
    // connects afresh and goes out.
    int failures = 0;
    while (vx_sock_send_msg(1, 20, "again", 5, 0) != 0 && failures < 5)
        failures++;
    EXPECT_LT(failures, 5);
    ASSERT_TRUE(peer.accept_one());
    std::string got = peer.read(32 + 5);
    ASSERT_EQ(got.size(), 37u);
    EXPECT_EQ(word_at(got, 3), 20);
    EXPECT_EQ(got.substr(32), "again");
}

TEST_F(Transport, NoCallbackAfterUninit)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    ASSERT_TRUE(peer.write(header_bytes(VX_MSG_MAGIC, 2, 1, 6000, 1) + "a"));
    ASSERT_TRUE(wait_delivered(1));
    EXPECT_EQ(vx_sock_uninit(), 0);
    EXPECT_TRUE(peer.sees_close());
    peer.write(header_bytes(VX_MSG_MAGIC, 2, 1, 6000, 1) + "b");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(delivered().size(), 1u);
    // Sending needs a new init.
    EXPECT_NE(vx_sock_send_msg(1, 1, "x", 1, 0), 0);
}

}  // namespace
