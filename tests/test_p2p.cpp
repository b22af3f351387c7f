// P2P cloud service: the library stand-in's framing and refusals against a
// small server of the test, the four resources black-box through nvrweb.cgi,
// and the registration against p2pregsim on the local device.
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/json_util.h"
#include "core/web_utils.h"
#include "modules/network/network_records.h"
#include "platform/p2plib.h"
#include "platform/vxsystem.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kP2pInfoKind = {"p2p_info", (int)sizeof(p2p_info), 1};

std::string u32(uint32_t v)
{
    return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)};
}

// A message as the library frames it: length word, then the padded bytes.
std::string frame(const std::string& message, uint32_t n)
{
    std::string padded = message;
    padded.resize(n, '\0');
    return u32(n) + padded;
}

const std::string kHello = "P2PK" + u32(1);
const std::string kWelcome = "P2PK" + u32(0);

// Up to n bytes, fewer when the peer closes or 3 s pass.
std::string read_n(int fd, size_t n)
{
    std::string out;
    char buf[4096];
    while (out.size() < n) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 3000) <= 0)
            break;
        const ssize_t got = read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (got <= 0)
            break;
        out.append(buf, (size_t)got);
    }
    return out;
}

void write_s(int fd, const std::string& bytes)
{
    (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// A loopback server of the test: each connection runs `script`, and what the
// script read is kept for the test.
class TestServer {
public:
    using Script = std::function<std::string(int fd)>;
    explicit TestServer(Script script) : script_(std::move(script))
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof a;
        bind(fd_, (sockaddr*)&a, sizeof a);
        listen(fd_, 4);
        getsockname(fd_, (sockaddr*)&a, &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0;) {
                std::string got = script_(c);
                close(c);
                std::lock_guard<std::mutex> lock(mu_);
                seen_.push_back(got);
            }
        });
    }
    ~TestServer() { shutdown(fd_, SHUT_RDWR), close(fd_), thread_.join(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // What the connections' scripts read, once at least one has ended.
    std::vector<std::string> seen()
    {
        for (int i = 0; i < 300; i++) {
            {
                std::lock_guard<std::mutex> lock(mu_);
                if (!seen_.empty())
                    return seen_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

private:
    Script script_;
    int fd_, port_ = 0;
    std::thread thread_;
    std::mutex mu_;
    std::vector<std::string> seen_;
};

class P2pLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("NVRWEB_P2P_MAX_MS", "300", 1); }
    void TearDown() override { unsetenv("NVRWEB_P2P_MAX_MS"), unsetenv("NVRWEB_P2P_SERVER"); }
    int connect_to(const TestServer& server)
    {
        setenv("NVRWEB_P2P_SERVER", server.address().c_str(), 1);
        char host[64];
        int port = 0;
        const int sock = socket_create();
        EXPECT_TRUE(p2p_server_address(host, sizeof host, &port));
        EXPECT_EQ(socket_connect(sock, host, port), 0);
        return sock;
    }
};

TEST_F(P2pLibraryTest, SizesAndServerAddress)
{
    const std::pair<int, int> sizes[] = {{0, 0}, {1, 256}, {40, 256}, {256, 256}, {257, 512}, {568, 768}, {-1, -1},
                                         {INT32_MAX, -1}};
    for (auto s : sizes)
        EXPECT_EQ(rsa_cal_ensize(s.first), s.second) << s.first;
    struct {
        const char* env;
        bool ok;
        std::string host;
        int port;
    } cases[] = {{nullptr, true, "127.0.0.1", 9999}, {"reg.example:1234", true, "reg.example", 1234},
                 {"host", false, "", 0},              {"host:0", false, "", 0},
                 {"host:70000", false, "", 0},        {":80", false, "", 0},
                 {"host:12x", false, "", 0}};
    for (const auto& c : cases) {
        c.env ? setenv("NVRWEB_P2P_SERVER", c.env, 1) : unsetenv("NVRWEB_P2P_SERVER");
        char host[16];
        int port = 0;
        EXPECT_EQ(p2p_server_address(host, sizeof host, &port), c.ok) << (c.env ? c.env : "default");
        if (c.ok) {
            EXPECT_EQ(std::string(host) + ":" + std::to_string(port), c.host + ":" + std::to_string(c.port));
        }
    }
    setenv("NVRWEB_P2P_SERVER", "a-host-name-longer-than-sixteen:1", 1);
    char small[16];
    int port = 0;
    EXPECT_FALSE(p2p_server_address(small, sizeof small, &port));

    // Only a numeric address is connected to: a name is refused without a
    // lookup, even one that names the listening server.
    TestServer server([](int) { return std::string(); });
    const int listening = std::stoi(server.address().substr(server.address().rfind(':') + 1));
    for (const char* host : {"localhost", "127.0.0.1"}) {
        const int sock = socket_create();
        EXPECT_EQ(socket_connect(sock, host, listening), strcmp(host, "localhost") == 0 ? -1 : 0) << host;
        socket_destroy(sock);
    }
}

TEST_F(P2pLibraryTest, FramingHandshakeAndRefusals)
{
    struct Case {
        std::string name, welcome;
        std::string answer;  // what the server writes after the client's message
        int want;            // p2p_recv's result (cap 512)
    } cases[] = {
        {"whole", kWelcome, frame("hello", 512), 512},
        {"N = 0", kWelcome, u32(0), -1},
        {"N > cap", kWelcome, frame("", 513), -1},
        {"short body", kWelcome, u32(300) + std::string(100, 'x'), -1},
        {"silence", kWelcome, "", -1},
        {"wrong magic", "P2PX" + u32(0), "", -1},
        {"word 1", "P2PK" + u32(1), "", -1},
        {"short handshake", "P2PK", "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server([&](int fd) {
            std::string got = read_n(fd, 8);
            write_s(fd, c.welcome);
            if (c.welcome == kWelcome)
                got += read_n(fd, 4 + 256), write_s(fd, c.answer);
            read_n(fd, 1);  // until the client gives up
            return got;
        });
        const int sock = connect_to(server);
        EXPECT_EQ(p2p_create_keyfile(), 0);
        const auto start = std::chrono::steady_clock::now();
        const bool keyed = p2p_cli_switch_keyfile(sock) == 0;
        ASSERT_EQ(keyed, c.welcome == kWelcome);
        char work[P2P_WORK_BUFFER], buffer[512];
        if (keyed) {
            ASSERT_EQ(p2p_send(sock, "ping", 4, work, sizeof work), 0);
            EXPECT_EQ(p2p_recv(sock, buffer, sizeof buffer), c.want);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "bounded by the cap";
        if (c.want > 0) {
            EXPECT_EQ(std::string(buffer, 5), "hello");
        }
        socket_destroy(sock);
        ASSERT_EQ(server.seen().size(), 1u);
        EXPECT_TRUE(same_bytes(server.seen()[0], keyed ? kHello + frame("ping", 256) : kHello));
    }
    // A frame that does not fit the work buffer is refused before a byte goes.
    TestServer quiet([](int fd) { return read_n(fd, 1); });
    const int sock = connect_to(quiet);
    char work[260];
    EXPECT_EQ(p2p_send(sock, "x", 1, work, 259), -1);
    EXPECT_EQ(p2p_send(sock, "x", 0, work, sizeof work), -1);
    socket_destroy(sock);
    EXPECT_EQ(quiet.seen(), std::vector<std::string>{""});
}

// ---- Resources ----

class P2pTest : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        env.push_back({"NVRWEB_P2P_MAX_MS", "500"});
    }
    void use_server(const std::string& address)
    {
        env = {{"NVRWEB_P2P_MAX_MS", "500"}, {"NVRWEB_P2P_SERVER", address}};
    }
    std::vector<FakeRequest> codes_sent(int code, size_t n)
    {
        core.wait_for(code, n, n ? 2000 : 300);
        return sent(code);
    }
};

p2p_state sample_state()
{
    p2p_state s = zeroed<p2p_state>();
    s.enable = 1, s.p2pstatus = 2;
    put(s.model, "M1"), put(s.ipc, "I1"), put(s.cloud_account, "a@b"), put(s.cloud_server, "srv");
    put(s.register_code, "REG-1"), put(s.company, "Co"), put(s.email, "e@f"), put(s.dealer, "D");
    return s;
}

TEST_F(P2pTest, StateSwitchAndUnbind)
{
    const std::string state = bytes_of(sample_state());
    struct Case {
        std::string name, path, body;
        int code;
        std::string answer;  // kSilent: no answer
        std::string out;
    } cases[] = {
        {"state", "/7060", "", REQ_P2P_STATUS, state,
         R"({"enable":1,"company":"Co","email":"e@f","p2pstatus":2,"cloudAccount":"a@b",)"
                     R"("registerCode":"REG-1","dealer":"D","model":"M1","ipc":"I1","cloudServer":"srv"})"},
        {"state of 700 bytes", "/7060", "", REQ_P2P_STATUS, state.substr(0, 700), kJsonError},
        {"state silent", "/7060", "", REQ_P2P_STATUS, kSilent, kJsonError},
        {"on 0", "/7061", R"({"enableP2P":1})", REQ_P2P_ENABLE, int32_bytes({0}), text_reply("ERR_OK")},
        {"on 3", "/7061", R"({"enableP2P":1})", REQ_P2P_ENABLE, int32_bytes({3}), text_reply("ERR_NETWORK")},
        {"on 4", "/7061", R"({"enableP2P":1})", REQ_P2P_ENABLE, int32_bytes({4}), text_reply("ERR_UNKNOWN")},
        {"on 7", "/7061", R"({"enableP2P":1})", REQ_P2P_ENABLE, int32_bytes({7}), text_reply("ERR_NO_UUID")},
        {"on 2 bytes", "/7061", R"({"enableP2P":1})", REQ_P2P_ENABLE, std::string(2, '\0'), kTextError},
        {"off 1", "/7061", R"({"enableP2P":0})", REQ_P2P_DISABLE, int32_bytes({1}), text_reply("ERR")},
        {"off 0", "/7061", R"({"enableP2P":0})", REQ_P2P_DISABLE, int32_bytes({0}), text_reply("OK")},
        {"no flag", "/7061", R"({"enable":1})", 0, kSilent, ""},
        {"flag not a number", "/7061", R"({"enableP2P":"x"})", 0, kSilent, ""},
        {"unbind failed", "/7095", "", REQ_P2P_UNBIND, int32_bytes({-1}), R"({"res":0})"},
        {"unbind empty", "/7095", "", REQ_P2P_UNBIND, "", R"({"res":0})"},
        {"unbind silent", "/7095", "", REQ_P2P_UNBIND, kSilent, kJsonError},
    };
    p2p_info stored_settings = zeroed<p2p_info>();
    stored_settings.enable = 1;
    std::memset(stored_settings.text0, 'k', sizeof stored_settings.text0);  // no NUL: sent as stored
    put(stored_settings.text3, "tail");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store(kP2pInfoKind, 0, &stored_settings);
        if (c.code)
            c.answer == kSilent ? core.silent(c.code) : core.reply(c.code, c.answer);
        const CgiResult res = c.body.empty() ? get(c.path) : post(c.path, c.body);
        if (c.out[0] == '{')
            EXPECT_TRUE(json_reply_is(res.out, c.out));
        else
            EXPECT_EQ(res.out, c.out);
        std::vector<int> codes;
        for (const FakeRequest& r : sent_all())
            codes.push_back(r.code);
        EXPECT_EQ(codes, c.code ? std::vector<int>{c.code} : std::vector<int>{});
        p2p_info after = zeroed<p2p_info>();
        stored(kP2pInfoKind, 0, &after);
        EXPECT_TRUE(same_bytes(bytes_of(after), bytes_of(stored_settings)));
        if (c.code == REQ_P2P_ENABLE) {
            p2p_info on = zeroed<p2p_info>();
            on.enable = 1;
            EXPECT_TRUE(same_bytes(sent(c.code)[0].payload, bytes_of(on)));
        } else if (c.code == REQ_P2P_DISABLE) {
            EXPECT_TRUE(same_bytes(sent(c.code)[0].payload, bytes_of(stored_settings)));
        } else if (c.code) {
            EXPECT_EQ(sent(c.code)[0].payload, "");
        }
    }
}

// A registration server of the test: handshake answer, then the header and
// body frames read, then `reply` written.
TestServer::Script registration(const std::string& welcome, const std::string& reply)
{
    return [=](int fd) {
        std::string got = read_n(fd, 8);
        write_s(fd, welcome);
        if (welcome != kWelcome || reply.empty())
            return got;
        got += read_n(fd, 4 + 256 + 4 + 768);
        write_s(fd, reply);
        read_n(fd, 1);
        return got;
    };
}

std::string answer_header(int result, uint32_t frame_size = 256, int32_t command = P2P_REG_COMMAND)
{
    p2p_reg_header h = zeroed<p2p_reg_header>();
    h.command = command, h.result = result, h.one = 1;
    return frame(bytes_of(h).substr(0, std::min<size_t>(40, frame_size)), frame_size);
}

TEST_F(P2pTest, RegistrationTest)
{
    p2p_info settings = zeroed<p2p_info>();
    put(settings.text0, "t0"), put(settings.text1, "t1"), put(settings.text2, "t2");
    std::memset(settings.text3, 'z', sizeof settings.text3);  // stored without a NUL
    store(kP2pInfoKind, 0, &settings);

    p2p_reg_header header = zeroed<p2p_reg_header>();
    header.command = 2, header.encrypted_size = 768, header.one = 1;
    p2p_reg_body body = zeroed<p2p_reg_body>();
    char mac0[18], mac1[18];
    get_mac_addr(mac0, mac1);
    put(body.mac, mac0), put(body.device_name, "Hall"), put(body.sn, "SN42");
    put(body.text0, "t0"), put(body.text1, "t1"), put(body.text2, "t2"), put(body.text3, std::string(63, 'z'));
    const std::string wire = kHello + frame(bytes_of(header), 256) + frame(bytes_of(body), 768);

    const std::string request = R"({"sn":"SN42","deviceName":"Hall"})";
    struct Case {
        std::string name, welcome, reply, out;
        std::string code;  // the 3700 payload, or kSilent for none
        bool prompt_8700 = false;
    } cases[] = {
        {"accepted", kWelcome, answer_header(0) + frame(std::string("CODE-1\0stale", 12), 256), "0", "CODE-1"},
        {"prompt 8700", kWelcome, answer_header(0) + frame("CODE-2", 256), "0", "CODE-2", true},
        // The work buffer still holds the header: only the byte received counts.
        {"1-byte text", kWelcome, answer_header(0, 256, 0x58585858) + frame("A", 1), "0", "A"},
        {"2048-byte text", kWelcome, answer_header(0) + frame(std::string(2048, 'A'), 2048), "0",
         std::string(127, 'A')},
        {"denied", kWelcome, answer_header(2), "2", kSilent},
        {"result 9", kWelcome, answer_header(9), "0", kSilent},
        {"header under 40 bytes", kWelcome, answer_header(0, 32), "3", kSilent},
        {"closed after the header", kWelcome, answer_header(0), "3", kSilent},
        {"closed after the handshake", kWelcome, "", "3", kSilent},
        {"partial answer", kWelcome, std::string(1, '\0'), "3", kSilent},
        {"wrong handshake", "P2PK" + u32(5), "", "4", kSilent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server(registration(c.welcome, c.reply));
        use_server(server.address());
        if (c.prompt_8700)
            core.reply(REQ_P2P_ENABLE, int32_bytes({0}));
        EXPECT_EQ(post("/7062", request).out, text_reply(c.out));
        const auto notices = codes_sent(REQ_P2P_ENABLE, c.code == kSilent ? 0 : 1);
        if (c.code == kSilent) {
            EXPECT_TRUE(notices.empty());
        } else {
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_TRUE(same_bytes(notices[0].payload, c.code));
        }
        ASSERT_EQ(server.seen().size(), 1u);
        const std::string seen = server.seen()[0];
        EXPECT_TRUE(same_bytes(seen, c.welcome == kWelcome && !c.reply.empty() ? wire : kHello));
    }

    {
        TestServer closed([](int) { return std::string(); });
        use_server(closed.address());
    }  // nobody listens there now
    EXPECT_EQ(post("/7062", request).out, text_reply("3"));
    EXPECT_TRUE(codes_sent(REQ_P2P_ENABLE, 0).empty());
    EXPECT_EQ(post("/7062", "not json").out, "");
    EXPECT_EQ(post("/7062", R"({"sn":5})").out, "");
}

// p2pregsim on a free port of its own.
class RegSim {
public:
    explicit RegSim(const std::string& address)
    {
        std::vector<std::string> words = program_argv("p2pregsim");
        words.push_back(address);
        std::vector<const char*> argv;
        for (const std::string& w : words)
            argv.push_back(w.c_str());
        argv.push_back(nullptr);
        pid_ = vx_exec_background(argv.data());
        char host[64];
        int port = 0;
        setenv("NVRWEB_P2P_SERVER", address.c_str(), 1);
        p2p_server_address(host, sizeof host, &port);
        for (bool up = false; !up && tries_++ < 250;) {
            const int sock = socket_create();
            up = socket_connect(sock, host, port) == 0;
            socket_destroy(sock);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        unsetenv("NVRWEB_P2P_SERVER");
    }
    ~RegSim() { kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0); }

private:
    pid_t pid_;
    int tries_ = 0;
};

std::string free_address()
{
    TestServer probe([](int) { return std::string(); });
    return probe.address();
}

TEST(P2pLocalDevice, RegistrationShowsTheCodeInTheState)
{
    ScratchRoot root;
    const std::string address = free_address();
    CoresimProcess sim(root.path(), {{"NVRWEB_P2P_SERVER", address}});
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body = "") {
        CgiRequest r;
        r.method = body.empty() ? "GET" : "POST", r.path = path, r.body = body, r.content_type = "application/json";
        r.env = {{"NVRWEB_P2P_SERVER", address}};
        r.max_steps = 200;
        return reply_body(run_cgi(root.path(), r).out);
    };
    auto state_key = [&](const char* key) {
        JsonPtr o(json_tokener_parse(run("/7060").c_str()));
        json_object* v = nullptr;
        return o && json_object_object_get_ex(o.get(), key, &v) ? std::string(json_object_get_string(v)) : "?";
    };
    EXPECT_EQ(run("/7061", R"({"enableP2P":1})"), "ERR_NETWORK");
    EXPECT_EQ(run("/7062", R"({"sn":"SN1","deviceName":"Hall"})"), "3");
    RegSim regsim(address);
    EXPECT_EQ(run("/7061", R"({"enableP2P":1})"), "ERR_OK");
    EXPECT_EQ(state_key("p2pstatus"), "1");
    EXPECT_EQ(run("/7062", R"({"sn":"DENY-7","deviceName":"Hall"})"), "2");
    EXPECT_EQ(run("/7062", R"({"sn":"","deviceName":"Hall"})"), "2");
    EXPECT_EQ(run("/7062", R"({"sn":"SN1","deviceName":"Hall"})"), "0");
    std::string code;
    for (int i = 0; i < 50 && (code = state_key("registerCode")).empty(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(code.size() == 12 && code.rfind("REG-", 0) == 0 &&
                code.find_first_not_of("0123456789ABCDEF", 4) == std::string::npos)
        << code;
    EXPECT_NE(state_key("cloudAccount"), "");
    EXPECT_EQ(canon(run("/7095")), R"({"res":0})");
    EXPECT_EQ(state_key("cloudAccount"), "");
    EXPECT_EQ(run("/7061", R"({"enableP2P":0})"), "OK");
    EXPECT_EQ(state_key("enable"), "0");
}

}  // namespace
