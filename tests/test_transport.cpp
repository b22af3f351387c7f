// The core-service socket (vx_sock_*): framing on the wire, delivery, refusals, reconnects, shut-down.
#include <condition_variable>
#include <mutex>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "platform/vxsocket.h"
#include "tests/support/handler_test.h"

namespace {

struct Delivered {
    std::string header, payload;
};
std::mutex g_mu;
std::condition_variable g_cv;
std::vector<Delivered> g_delivered;

void record_cb(void* unused, const int32_t* header, const char* payload)
{
    EXPECT_EQ(unused, nullptr);
    EXPECT_NE(payload, nullptr);  // also for an empty answer
    std::lock_guard<std::mutex> g(g_mu);
    g_delivered.push_back({std::string((const char*)header, 32),
                           payload ? std::string(payload, (size_t)header[VX_HDR_LENGTH]) : "<null>"});
    g_cv.notify_all();
}

std::vector<Delivered> delivered(size_t n = 0, int ms = 5000)
{
    std::unique_lock<std::mutex> g(g_mu);
    EXPECT_TRUE(g_cv.wait_for(g, std::chrono::milliseconds(ms), [n] { return g_delivered.size() >= n; }))
        << "fewer than " << n << " delivered";
    return g_delivered;
}

// The 32-byte header as it must stand on the wire.
std::string header(int32_t magic, int kind, int seq, int code, int length)
{
    return int32_bytes({magic, kind, seq, code, 0, length, 0, 0});
}

std::string random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = (char)(rng() & 0xff);
    return s;
}

// A bare peer on the root's socket that speaks raw bytes; every wait ends after 5 s.
struct RawPeer {
    explicit RawPeer(const ScratchRoot& root) : listen(vx_listen_unix(root.at("/var/run/vxsocket").c_str()))
    {
        timeout(listen);
    }
    ~RawPeer() { close(conn), close(listen); }
    static bool timeout(int fd)
    {
        timeval tv{5, 0};
        return fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
    }
    bool accept_one() { return close(conn), timeout(conn = accept(listen, nullptr, nullptr)); }
    std::string read(size_t n)
    {
        std::string out(n, '\0');
        size_t got = 0;
        for (ssize_t r; got < n && (r = ::read(conn, &out[got], n - got)) > 0;)
            got += (size_t)r;
        return out.substr(0, got);
    }
    bool write(const std::string& bytes) { return vx_write_full(conn, bytes.data(), bytes.size()); }
    // True when the other side closed the connection.
    bool sees_close()
    {
        char buf[4096];
        ssize_t r;
        while ((r = ::read(conn, buf, sizeof buf)) > 0) {
        }
        return r == 0 || errno == ECONNRESET;
    }
    int listen, conn = -1;
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

TEST_F(Transport, RoundTripWithSeveralResponsesAndLargePayloads)
{
    FakeCore fake(root_.path());
    const std::string binary("\0\1\2x", 4), big = random_bytes(600 * 1024, 600), req = random_bytes(300 * 1024, 3);
    fake.reply_many(1234, {{6234, "one"}, {6234, binary}, {6299, ""}});
    fake.reply(3300, big);
    ASSERT_EQ(init(), 0);
    ASSERT_EQ(vx_sock_send_msg(1, 1234, "hello", 5, 0), 0);
    auto got = delivered(3);
    ASSERT_TRUE(fake.wait_for(1234, 1));
    const FakeRequest sent = fake.requests(1234).at(0);
    EXPECT_EQ(sent.payload, "hello");
    const std::pair<int, std::string> want[] = {{6234, "one"}, {6234, binary}, {6299, ""}};
    for (size_t i = 0; i < 3; i++) {  // a response repeats the request's number
        EXPECT_TRUE(same_bytes(got[i].header, header(VX_MSG_MAGIC, 2, sent.seq, want[i].first, (int)want[i].second.size())));
        EXPECT_EQ(got[i].payload, want[i].second);
    }
    ASSERT_EQ(vx_sock_send_msg(1, 3300, req.data(), (int)req.size(), 0), 0);
    got = delivered(4, 10000);
    EXPECT_TRUE(same_bytes(got[3].header.substr(12, 12), int32_bytes({8300, 0, 600 * 1024})));
    EXPECT_TRUE(same_bytes(got[3].payload, big));
    EXPECT_TRUE(same_bytes(fake.requests(3300).at(0).payload, req));
}

TEST_F(Transport, BytesOnTheWireAndOnlyResponsesDelivered)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    const std::string payload = random_bytes(10, 1);
    ASSERT_EQ(vx_sock_send_msg(1, 3485, payload.data(), 10, 0), 0);
    ASSERT_EQ(vx_sock_send_msg(1, 42, nullptr, 0, 0), 0);
    const std::string got = peer.read(74);
    ASSERT_EQ(got.size(), 74u);
    int seq;
    memcpy(&seq, &got[8], 4);
    EXPECT_GE(seq, 1);
    EXPECT_TRUE(same_bytes(got, header(VX_MSG_MAGIC, 1, seq, 3485, 10) + payload + header(VX_MSG_MAGIC, 1, seq + 1, 42, 0)));
    EXPECT_EQ(got.substr(0, 4), "VXSK");

    std::string burst = header(VX_MSG_MAGIC, 1, 9, 100, 2) + "no";  // a request is passed over
    for (int i = 0; i < 50; i++)
        burst += header(VX_MSG_MAGIC, 2, 7, 8000 + i, 4) + int32_bytes({-i});
    ASSERT_TRUE(peer.write(burst));
    auto delivered_now = delivered(50);
    ASSERT_EQ(delivered_now.size(), 50u);
    for (int i = 0; i < 50; i++) {
        EXPECT_TRUE(same_bytes(delivered_now[(size_t)i].header, header(VX_MSG_MAGIC, 2, 7, 8000 + i, 4)));
        EXPECT_EQ(delivered_now[(size_t)i].payload, int32_bytes({-i}));
    }
}

TEST_F(Transport, BadMagicOrLengthClosesTheLinkWithoutCallback)
{
    const struct {
        const char* what;
        std::string bytes;
        bool closed;
    } rows[] = {
        {"wrong magic", header(0x4B535857, 2, 1, 6000, 4) + "abcd", true},
        {"zero magic", header(0, 2, 1, 6000, 0), true},
        {"9 MiB length", header(VX_MSG_MAGIC, 2, 1, 6000, 9 << 20), true},
        {"8 MiB + 1 length", header(VX_MSG_MAGIC, 2, 1, 6000, (8 << 20) + 1), true},
        {"negative length", header(VX_MSG_MAGIC, 2, 1, 6000, -1), true},
        {"8 MiB length", header(VX_MSG_MAGIC, 2, 1, 6000, 8 << 20) + random_bytes(8 << 20, 8), false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        RawPeer peer(root_);
        ASSERT_EQ(init(), 0);
        ASSERT_TRUE(peer.accept_one());
        ASSERT_TRUE(peer.write(r.bytes));
        peer.write(header(VX_MSG_MAGIC, 2, 1, 6001, 2) + "ok");  // not delivered behind a bad one
        if (r.closed) {
            EXPECT_TRUE(peer.sees_close());
            vx_sock_uninit();
            EXPECT_TRUE(delivered().empty());
        } else {
            auto got = delivered(2, 10000);
            EXPECT_TRUE(got[0].payload == r.bytes.substr(32));
            EXPECT_EQ(got[1].payload, "ok");
        }
    }
}

TEST_F(Transport, FailedSendsReconnect)
{
    init();  // nobody listening yet
    EXPECT_NE(vx_sock_send_msg(1, 10, "x", 1, 0), 0);
    RawPeer peer(root_);  // the peer comes, then leaves
    EXPECT_EQ(vx_sock_send_msg(1, 10, "x", 1, 0), 0);
    ASSERT_TRUE(peer.accept_one());
    EXPECT_EQ(peer.read(33).substr(32), "x");
    close(peer.conn);
    peer.conn = -1;
    int failures = 0;  // the dead link may fail a send or two
    while (vx_sock_send_msg(1, 20, "again", 5, 0) != 0 && failures < 5)
        failures++;
    EXPECT_LT(failures, 5);
    ASSERT_TRUE(peer.accept_one());
    std::string got = peer.read(37);
    ASSERT_EQ(got.size(), 37u);
    EXPECT_EQ(got.substr(12, 4), int32_bytes({20}));
    EXPECT_EQ(got.substr(32), "again");
}

TEST_F(Transport, NoCallbackAfterUninit)
{
    RawPeer peer(root_);
    ASSERT_EQ(init(), 0);
    ASSERT_TRUE(peer.accept_one());
    ASSERT_TRUE(peer.write(header(VX_MSG_MAGIC, 2, 1, 6000, 1) + "a"));
    delivered(1);
    EXPECT_EQ(vx_sock_uninit(), 0);
    EXPECT_TRUE(peer.sees_close());
    peer.write(header(VX_MSG_MAGIC, 2, 1, 6000, 1) + "b");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(delivered().size(), 1u);
    EXPECT_NE(vx_sock_send_msg(1, 1, "x", 1, 0), 0);  // sending needs a new init
}

}  // namespace
