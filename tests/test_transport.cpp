// The core-service socket (vx_sock_*): framing on the wire, delivery, refusals, reconnects, shut-down.
#include <condition_variable>
#include <mutex>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <tuple>
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

// The 32-byte header as it must stand on the wire; the magic is "VXSK".
std::string header(int kind, int seq, int code, int length, int32_t magic = 0x4B535856)
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
    // A connected link with a raw peer on the other end.
    void connect(RawPeer& peer)
    {
        ASSERT_EQ(init(), 0);
        ASSERT_TRUE(peer.accept_one());
    }
    ScratchRoot root_;
};

// Requests as bytes on the wire, then a stream of responses of every size back.
TEST_F(Transport, RoundTripOfRequestsAndManyResponses)
{
    RawPeer peer(root_);
    connect(peer);
    const std::string small = random_bytes(10, 1), large = random_bytes(300 * 1024, 3);
    std::string got;  // read meanwhile: the large request does not fit in the socket's buffer
    std::thread reader([&] { got = peer.read(3 * 32 + 10 + large.size()); });
    EXPECT_EQ(vx_sock_send_msg(1, 3485, small.data(), 10, 0), 0);
    EXPECT_EQ(vx_sock_send_msg(1, 42, nullptr, 0, 0), 0);
    EXPECT_EQ(vx_sock_send_msg(1, 3300, large.data(), (int)large.size(), 0), 0);
    reader.join();
    ASSERT_GE(got.size(), 12u);
    int seq;
    memcpy(&seq, &got[8], 4);
    EXPECT_GE(seq, 1);
    EXPECT_TRUE(same_bytes(got, header(1, seq, 3485, 10) + small + header(1, seq + 1, 42, 0) +
                                    header(1, seq + 2, 3300, (int)large.size()) + large));

    // A request from the peer is passed over; responses arrive whole and in order.
    std::vector<std::string> answers = {"one", std::string("\0\1\2x", 4), "", random_bytes(600 * 1024, 600)};
    for (int i = 0; i < 50; i++)
        answers.push_back(int32_bytes({-i}));
    std::string burst = header(1, 9, 100, 2) + "no";
    for (size_t i = 0; i < answers.size(); i++)
        burst += header(2, seq, 6000 + (int)i, (int)answers[i].size()) + answers[i];
    ASSERT_TRUE(peer.write(burst));
    const auto back = delivered(answers.size(), 10000);
    ASSERT_EQ(back.size(), answers.size());
    for (size_t i = 0; i < answers.size(); i++) {
        EXPECT_TRUE(same_bytes(back[i].header, header(2, seq, 6000 + (int)i, (int)answers[i].size()))) << i;
        EXPECT_TRUE(same_bytes(back[i].payload, answers[i])) << i;
    }
}

TEST_F(Transport, BadMagicOrLengthClosesTheLinkWithoutCallback)
{
    const std::tuple<const char*, std::string, bool> rows[] = {  // what, bytes, link closed
        {"wrong magic", header(2, 1, 6000, 4, 0x4B535857) + "abcd", true},
        {"9 MiB length", header(2, 1, 6000, 9 << 20), true},
        {"8 MiB + 1 length", header(2, 1, 6000, (8 << 20) + 1), true},
        {"negative length", header(2, 1, 6000, -1), true},
        {"8 MiB length", header(2, 1, 6000, 8 << 20) + random_bytes(8 << 20, 8), false},
    };
    for (const auto& [what, bytes, closed] : rows) {
        SCOPED_TRACE(what);
        RawPeer peer(root_);
        connect(peer);
        ASSERT_TRUE(peer.write(bytes));
        peer.write(header(2, 1, 6001, 2) + "ok");  // not delivered behind a bad one
        if (closed) {
            EXPECT_TRUE(peer.sees_close());
            vx_sock_uninit();
            EXPECT_TRUE(delivered().empty());
        } else {
            auto got = delivered(2, 10000);
            EXPECT_TRUE(got[0].payload == bytes.substr(32));
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
    connect(peer);
    ASSERT_TRUE(peer.write(header(2, 1, 6000, 1) + "a"));
    delivered(1);
    EXPECT_EQ(vx_sock_uninit(), 0);
    EXPECT_TRUE(peer.sees_close());
    peer.write(header(2, 1, 6000, 1) + "b");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(delivered().size(), 1u);
    EXPECT_NE(vx_sock_send_msg(1, 1, "x", 1, 0), 0);  // sending needs a new init
}

}  // namespace
