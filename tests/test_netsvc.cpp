// Network services, black-box through nvrweb.cgi: time, PPPoE, DDNS, e-mail
// and the test mail, SNMP, the access filter; coresim's clock, PPPoE link and
// its real SMTP check against a listener of the test.
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/json_util.h"
#include "modules/network/network_records.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kTimeKind = {"time", (int)sizeof(time_record), 1};
const vxdb_kind kPppoeKind = {"pppoe", (int)sizeof(pppoe_record), 1};
const vxdb_kind kDdnsKind = {"ddns", (int)sizeof(ddns_record), 1};
const vxdb_kind kEmailKind = {"email", (int)sizeof(email_record), 1};
const vxdb_kind kSnmpKind = {"snmp", (int)sizeof(snmp_record), 1};
const vxdb_kind kPortKind = {"port", (int)sizeof(port_record), 1};

std::string text32(const std::string& text)
{
    return text + std::string(32 - text.size(), '\0');
}


class NetsvcTest : public HandlerTest {
protected:
    template <typename T>
    T load(const vxdb_kind& kind)
    {
        T record = zeroed<T>();
        stored(kind, 0, &record);
        return record;
    }
    // Notices go out without waiting: they may land after the CGI ended.
    std::vector<FakeRequest> notices(int code, size_t n = 1)
    {
        core.wait_for(code, n, n ? 2000 : 300);
        return sent(code);
    }
};

const std::string kTimeBody = R"({"ntpEnable":%N,"dstEnable":1,"timeZone":"GMT+08:00","timeZoneName":"Asia/Taipei",)"
                              R"("ntpServer":"time.example","syncEnable":1,"syncInterval":12,"syncPc":0,%M})";

std::string time_body(int ntp, const std::string& more)
{
    std::string b = kTimeBody;
    b.replace(b.find("%N"), 2, std::to_string(ntp));
    b.replace(b.find("%M"), 2, more);
    return b;
}

TEST_F(NetsvcTest, TimeWriteClockPayloadAnswerAndRefusedManualTimes)
{
    time_record want = zeroed<time_record>();
    want.dst_enable = 1, want.sync_enable = 1, want.sync_interval = 12;
    put(want.time_zone, "GMT+08:00"), put(want.time_zone_name, "Asia/Taipei"), put(want.ntp_server, "time.example");
    const std::string manual = R"("manualTime":"2024-05-01 10:20:30")";
    struct Case {
        std::string name, body, clock;  // clock: the 1701 payload, or kSilent for nothing sent
        bool answered;
    } cases[] = {
        {"ntp on", time_body(1, manual + R"(,"failoverMode":0)"), std::string(32, '\0'), true},
        {"silent core", time_body(1, manual), std::string(32, '\0'), false},
        {"manual", time_body(0, manual + R"(,"failoverMode":0)"), text32("\"2024-05-01 10:20:30\""), true},
        {"failover 2", time_body(0, manual + R"(,"failoverMode":2)"), std::string(32, '\0'), true},
        {"29 characters", time_body(0, R"("manualTime":"2024/05/01T10:20:30-000000000")"),
         text32("\"2024/05/01T10:20:30-000000000\""), true},
        {"injection", time_body(0, R"("manualTime":"2024-05-01\"; reboot; \"")"), kSilent, true},
        {"30 characters", time_body(0, R"("manualTime":"2024-05-01 10:20:30 0000000000")"), kSilent, true},
        {"no manual time", time_body(0, R"("failoverMode":1)"), kSilent, true},
        {"ntpEnable 2", time_body(2, manual), kSilent, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const time_record blank = zeroed<time_record>();
        store(kTimeKind, 0, &blank);
        if (c.answered)
            core.reply(REQ_SET_SYSTIME, int32_bytes({0}));
        else
            core.silent(REQ_SET_SYSTIME);
        const CgiResult res = post("/7001", c.body);
        if (c.clock == kSilent) {
            EXPECT_EQ(res.out, "");
            EXPECT_TRUE(same_bytes(bytes_of(load<time_record>(kTimeKind)), bytes_of(zeroed<time_record>())));
            EXPECT_TRUE(no_logs());
            EXPECT_TRUE(sent_all().empty());
            continue;
        }
        EXPECT_EQ(res.out, text_reply());
        time_record w = want;
        w.ntp_enable = c.body.find("\"ntpEnable\":1") != std::string::npos;
        EXPECT_TRUE(same_bytes(bytes_of(load<time_record>(kTimeKind)), bytes_of(w)));
        EXPECT_EQ(logs(1), std::vector<std::string>{log_record(225, 900, 0)});
        notices(REQ_SYSTIME_APPLIED, c.answered ? 1 : 0);
        std::vector<int> codes;
        for (const FakeRequest& r : sent_all())
            if (r.code != REQ_OPERATION_LOG)
                codes.push_back(r.code);
        // 1711 only once 6701 came, and after it.
        EXPECT_EQ(codes, (c.answered ? std::vector<int>{1701, 1711} : std::vector<int>{1701}));
        ASSERT_FALSE(sent(REQ_SET_SYSTIME).empty());
        EXPECT_TRUE(same_bytes(sent(REQ_SET_SYSTIME)[0].payload, c.clock));
        if (c.answered) {
            EXPECT_EQ(sent(REQ_SYSTIME_APPLIED)[0].payload, "");
        }
    }
    const std::string out = get("/7000").out;
    EXPECT_EQ(keys_of(out), "dateYear,dateMon,dateDay,dateHour,dateMin,dateSec,serverTime,ntpEnable,dstEnable,"
                            "timeZone,timeZoneName,ntpServer,syncEnable,syncInterval,syncPc");
}

TEST_F(NetsvcTest, PppoeAndDdnsStoredNewAndRead)
{
    EXPECT_EQ(post("/7011", R"({"enable":1,"autoConnect":1,"userName":"dial","password":"pw"})").out, text_reply());
    pppoe_record pppoe = zeroed<pppoe_record>();
    pppoe.enable = pppoe.auto_connect = 1, put(pppoe.user_name, "dial"), put(pppoe.password, "pw");
    EXPECT_TRUE(same_bytes(bytes_of(load<pppoe_record>(kPppoeKind)), bytes_of(pppoe)));
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(204, 915, 0)});
    ASSERT_EQ(notices(REQ_NETWORK_CHANGED).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NETWORK_CHANGED)[0].payload, text32("pppoe")));
    const std::string pppoe_json = R"({"enable":1,"autoConnect":1,"userName":"dial","password":"pw","pppoeipaddr":")";
    EXPECT_TRUE(json_reply_is(get("/7010").out, pppoe_json + "0.0.0.0\"}"));
    root.write("/var/run/netsim", "eth0 ip=10.0.0.5\nppp0 ip=100.64.0.9\n");
    EXPECT_TRUE(json_reply_is(get("/7010").out, pppoe_json + "100.64.0.9\"}"));

    const std::string ddns = R"({"enable":1,"domain":"dyn.example","userName":"u","password":"p","hostName":"nvr",)"
                             R"("ddnsurl":"http://u.example","freeDNSHash":"h","http":8080,"rtsp":8554,"updateFreq":)";
    EXPECT_EQ(post("/7021", ddns + "-1}").out, "");
    EXPECT_TRUE(same_bytes(bytes_of(load<ddns_record>(kDdnsKind)), bytes_of(zeroed<ddns_record>())));
    EXPECT_EQ(post("/7021", ddns + "30}").out, text_reply());
    const std::string stored_ddns = bytes_of(load<ddns_record>(kDdnsKind));
    EXPECT_EQ(stored_ddns.substr(388, 12), int32_bytes({30, 8080, 8554}));
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(204, 916, 0)});
    EXPECT_TRUE(same_bytes(notices(REQ_NETWORK_CHANGED)[0].payload, text32("ddns")));
    root.write("/var/run/netsim", "eth0 mac=02:AA:00:00:00:01 ip=10.0.0.5\n");
    EXPECT_TRUE(json_reply_is(get("/7020").out,
                              R"({"enable":1,"domain":"dyn.example","userName":"u","password":"p","hostName":"nvr",)"
                              R"("ddnsurl":"http://u.example","freeDNSHash":"h","updateFreq":30,"http_port":8080,)"
                              R"("rtsp_port":8554,"mac":"02:AA:00:00:00:01"})"));

    struct Status {
        std::string answer, out;
    } states[] = {{int32_bytes({2}), kJsonHead + "{\"status\":2}"}, {"\1\0", kJsonError}, {kSilent, kJsonError}};
    for (const Status& s : states) {
        if (s.answer == kSilent)
            core.silent(REQ_DDNS_STATUS);
        else
            core.reply(REQ_DDNS_STATUS, s.answer);
        EXPECT_TRUE(json_reply_is(get("/7094").out, reply_body(s.out))) << s.out;
    }
}

TEST_F(NetsvcTest, EmailReceiversHostNameTlsAndTestMail)
{
    email_record mail = zeroed<email_record>();
    for (int i = 0; i < 3; i++) {
        memset(mail.receivers[i].unused, 0x5A, 4);
        put(mail.receivers[i].addr, "old" + std::to_string(i) + "@x"), put(mail.receivers[i].name, "Old");
    }
    put(mail.sender_addr, "keep@x");
    store(kEmailKind, 0, &mail);
    const std::string head = R"({"enable":1,"userName":"me","smtpServer":"smtp.example","smtpPort":587,)"
                             R"("enableAttach":1,"captureInterval":5,"enableHostName":1,"hostName":"nvr-1",)"
                             R"("receivers":[{"receiverAddr":"a@x","receiverName":"A"},{"receiverAddr":"b@x"}],)";
    EXPECT_EQ(post("/7031", head + R"("enableTls":3})").out, "");
    EXPECT_TRUE(same_bytes(bytes_of(load<email_record>(kEmailKind)), bytes_of(mail)));
    EXPECT_EQ(post("/7031", head + R"("enableTls":2})").out, text_reply());
    email_record want = mail;
    want.enable = 1, want.smtp_port = 587, want.enable_tls = 2, want.enable_attach = 1, want.capture_interval = 5;
    put(want.user_name, "me"), put(want.smtp_server, "smtp.example");
    put(want.receivers[0].addr, "a@x"), put(want.receivers[0].name, "A");
    put(want.receivers[1].addr, "b@x"), put(want.receivers[1].name, "");
    put(want.receivers[2].addr, ""), put(want.receivers[2].name, "");
    EXPECT_TRUE(same_bytes(bytes_of(load<email_record>(kEmailKind)), bytes_of(want)));
    const port_record ports = load<port_record>(kPortKind);
    EXPECT_EQ(std::string(ports.host_name) + " " + std::to_string(ports.enable_host_name), "nvr-1 1");
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(204, 917, 0)});
    EXPECT_TRUE(same_bytes(notices(REQ_NETWORK_CHANGED)[0].payload, text32("mail")));
    EXPECT_EQ(keys_of(get("/7030").out), "enable,userName,password,smtpServer,smtpPort,senderAddr,senderName,"
                                         "enableTls,enableAttach,captureInterval,enableHostName,hostName,receivers");

    struct TestMail {
        std::string answer, out;
    } tests[] = {{int32_bytes({0}), text_reply("OK")},
                 {int32_bytes({1}), text_reply("ERROR")},
                 {std::string(2, '\0'), kTextError},
                 {kSilent, kTextError}};
    for (const TestMail& t : tests) {
        if (t.answer == kSilent)
            core.silent(REQ_TEST_EMAIL);
        else
            core.reply(REQ_TEST_EMAIL, t.answer);
        EXPECT_EQ(get("/7032").out, t.out);
        ASSERT_EQ(sent(REQ_TEST_EMAIL).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_TEST_EMAIL)[0].payload, text32("testmail")));
    }
}

TEST_F(NetsvcTest, SnmpPortTestsOnlyForNewPorts)
{
    set_param("max_poe_num", 8);
    root.write("/bin/netstat", "#!/bin/sh\necho 'tcp 0 0 0.0.0.0:8161 0.0.0.0:* LISTEN'\n");
    chmod(root.at("/bin/netstat").c_str(), 0755);
    auto post_snmp = [&](const std::string& body) {
        vxdb_close_all(), core.clear();
        CgiRequest r;
        r.method = "POST", r.path = "/7091", r.body = body, r.content_type = "application/json";
        r.env = {{"PATH", root.at("/bin") + ":/usr/bin:/bin"}};
        return run_cgi(root.path(), r).out;
    };
    snmp_record snmp = zeroed<snmp_record>();
    snmp.port = 23003;  // reserved for a PoE camera, but already stored
    put(snmp.read_community, "old");
    store(kSnmpKind, 0, &snmp);
    struct Case {
        std::string body, out;
        int port;  // stored afterwards
    } cases[] = {
        {R"({"port":23002,"v1_enable":1})", "POE_Port_Error", 23003},
        {R"({"port":8161})", "POE_Port_Error", 23003},
        {R"({"port":23003,"v2c_enable":1,"read_community":"pub"})", "OK", 23003},
        {R"({"port":16161,"write_pri_password":")" + std::string(70, 'w') + "\"}", "OK", 16161},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(post_snmp(c.body), text_reply(c.out));
        EXPECT_EQ(load<snmp_record>(kSnmpKind).port, c.port);
        EXPECT_EQ(notices(REQ_NETWORK_CHANGED, c.out == "OK").size(), c.out == "OK" ? 1u : 0u);
    }
    const snmp_record last = load<snmp_record>(kSnmpKind);
    EXPECT_EQ(std::string(last.write_pri_password), std::string(63, 'w'));
    EXPECT_EQ(last.read_community[0], '\0');  // absent keys are cleared
    EXPECT_EQ(last.v2c_enable, 0);
    EXPECT_TRUE(no_logs());
    EXPECT_EQ(keys_of(get("/7090").out),
              "v1_enable,v2c_enable,write_community,read_community,v3_enable,read_security_name,read_level_security,"
              "read_auth_algorithm,read_auth_password,read_pri_algorithm,read_pri_password,write_security_name,"
              "write_level_security,write_auth_algorithm,write_auth_password,write_pri_algorithm,write_pri_password,"
              "port,sshPort,httpPort,rtspPort,httpsPort");
}

TEST_F(NetsvcTest, AccessFilterKeepsHundredEntriesAndShrinks)
{
    EXPECT_TRUE(json_reply_is(get("/6300").out, R"({"filterEnable":0,"filterType":1,"filterList":[]})"));
    std::string list;
    for (int i = 0; i < 101; i++)
        list += std::string(i ? "," : "") + R"({"address_type":1,"address":")" + std::to_string(i) +
                std::string(40, '.') + "\"}";
    EXPECT_EQ(post("/6301", R"({"filterEnable":1,"filterType":0,"filterList":[)" + list + "]}").out, text_reply());
    ASSERT_EQ(notices(REQ_ACCESS_FILTER_CHANGED).size(), 1u);
    EXPECT_EQ(sent(REQ_ACCESS_FILTER_CHANGED)[0].payload, "");
    JsonPtr got(json_tokener_parse(reply_body(get("/6300").out).c_str()));
    json_object* items = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(got.get(), "filterList", &items));
    ASSERT_EQ(json_object_array_length(items), 100u);
    EXPECT_EQ(canon(json_object_to_json_string(json_object_array_get_idx(items, 99))),
              R"({"address_type":1,"address":"99)" + std::string(29, '.') + "\"}");
    EXPECT_EQ(param("access_filter_enable", -1) * 10 + param("access_filter_type", -1), 10);
    EXPECT_EQ(post("/6301", R"({"filterEnable":1,"filterType":0,"filterList":[{"address_type":0,"address":"a"}]})").out,
              text_reply());
    EXPECT_TRUE(json_reply_is(get("/6300").out,
                              R"({"filterEnable":1,"filterType":0,"filterList":[{"address_type":0,"address":"a"}]})"));
}

// A one-connection SMTP server of the test: says `greeting` (or nothing).
class SmtpListener {
public:
    explicit SmtpListener(std::string greeting) : greeting_(std::move(greeting))
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof a;
        bind(fd_, (sockaddr*)&a, sizeof a), listen(fd_, 4), getsockname(fd_, (sockaddr*)&a, &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            const int c = accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            if (!greeting_.empty())
                (void)!write(c, greeting_.data(), greeting_.size());
            char buf[64];
            while (read(c, buf, sizeof buf) > 0) {  // until QUIT and close, or the peer gives up
            }
            close(c);
        });
    }
    ~SmtpListener() { shutdown(fd_, SHUT_RDWR), close(fd_), thread_.join(); }
    int port() const { return port_; }

private:
    std::string greeting_;
    int fd_, port_ = 0;
    std::thread thread_;
};

TEST(NetsvcLocalDevice, SmtpCheckClockAndPppoeLink)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body = "") {
        CgiRequest r;
        r.method = body.empty() ? "GET" : "POST", r.path = path, r.body = body, r.content_type = "application/json";
        r.max_steps = 400;  // the SMTP check may take its whole 5 s
        return run_cgi(root.path(), r);
    };
    auto set_server = [&](int port, const std::string& server = "127.0.0.1") {
        return run("/7031", R"({"smtpServer":")" + server + R"(","smtpPort":)" + std::to_string(port) +
                                R"(,"enableTls":0,"enableAttach":0,"captureInterval":0})").out;
    };
    struct Case {
        std::string greeting, out;
    } cases[] = {{"220 mail.test ESMTP ready\r\n", "OK"}, {"554 no service\r\n", "ERROR"}, {"", "ERROR"}};
    for (const Case& c : cases) {
        SmtpListener smtp(c.greeting);
        ASSERT_EQ(set_server(smtp.port()), text_reply());
        const CgiResult res = run("/7032");
        EXPECT_EQ(res.out, text_reply(c.out)) << c.greeting;
        EXPECT_LT(res.seconds, 12.0) << "the check is bounded by 5 s";
    }
    {
        // A host name is not looked up: no greeting, though one waits there.
        SmtpListener smtp("220 mail.test ESMTP ready\r\n");
        ASSERT_EQ(set_server(smtp.port(), "localhost"), text_reply());
        EXPECT_EQ(run("/7032").out, text_reply("ERROR"));
    }
    {
        SmtpListener closed("");
        const int port = closed.port();
        ASSERT_EQ(set_server(port), text_reply());
    }  // nobody listens there now
    EXPECT_EQ(run("/7032").out, text_reply("ERROR"));

    EXPECT_EQ(run("/7001", time_body(0, R"("manualTime":"2030-01-02 03:04:05")")).out, text_reply());
    EXPECT_EQ(run("/7011", R"({"enable":1,"userName":"u","password":"p"})").out, text_reply());
    std::string ppp;
    for (int i = 0; i < 50 && ppp.find("100.64.0.2") == std::string::npos; i++, usleep(100000))
        ppp = canon(reply_body(run("/7010").out));
    EXPECT_NE(ppp.find("\"pppoeipaddr\":\"100.64.0.2\""), std::string::npos) << ppp;
}

}  // namespace
