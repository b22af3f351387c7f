// Login "/1000" and the e-mail login "/1018", black-box against a fake core
// service and a scratch user table; then against coresim.
#include <json-c/json.h>

#include <ctime>
#include <set>
#include <sys/stat.h>

#include "modules/system/system_user.h"
#include "tests/support/handler_test.h"
#include "tests/support/users.h"

namespace {

const char* const kHash = "5f4dcc3b5aa765d61d8327deb882cf99";
const char* const kCarolHash = "0cc175b9c0f1b6a831c399e269772661";
const std::string kGoHome = "Location: ../../html/home.html\r\n\r\n";

// Rights 1..20 in record order, so that a key printed from the wrong field shows.
UserRecord numbered_user(int id, const std::string& name, const std::string& password, int type)
{
    UserRecord u = user_record(id, name, password, type);
    put(u.localliveview, "1100");
    put(u.localplayback, "0011");
    put(u.remoteliveview, "1");
    put(u.remoteplayback, "01");
    number_rights(&u);
    u.permission = 7;
    u.remote_permission = 9;
    return u;
}

// Alice's whole reply, keys in order.
std::string alice_reply(int type, const std::string& session, int failover = 0, int same = 0,
                        const std::string& hw = "V1.1", const std::string& sw = "7x.7.0.9",
                        const std::string& model = "")
{
    return canon("{\"type\":" + std::to_string(type) +
                 ",\"userName\":\"alice\",\"permission\":7,\"localLiveView\":1,\"localPlayback\":2,"
                 "\"localRetrieve\":3,\"localSmartAnalysis\":4,\"localEvent\":5,\"localCamera\":6,"
                 "\"localStorage\":7,\"localSettings\":8,\"localStatus\":9,\"localShutdown\":10,"
                 "\"localliveview\":\"1100\",\"localplayback\":\"0011\",\"remotePermisson\":9,\"remoteLiveView\":11,"
                 "\"remotePlayback\":12,\"remoteRetrieve\":13,\"remoteSmartAnalysis\":14,\"remoteEvent\":15,"
                 "\"remoteCamera\":16,\"remoteStorage\":17,\"remoteSettings\":18,\"remoteStatus\":19,"
                 "\"remoteShutdown\":20,\"remoteliveview\":\"1\",\"remoteplayback\":\"01\",\"sessionId\":\"" +
                 session + "\",\"failoverMode\":" + std::to_string(failover) + ",\"sameChannel\":" +
                 std::to_string(same) + ",\"hardwareVersion\":\"" + hw + "\",\"softwareVersion\":\"" + sw +
                 "\",\"model\":\"" + model + "\"}");
}

std::string json_field(const std::string& body, const char* key)
{
    json_object* o = json_tokener_parse(body.c_str());
    json_object* v = nullptr;
    std::string out = json_object_object_get_ex(o, key, &v) ? json_object_get_string(v) : "";
    json_object_put(o);
    return out;
}

std::string login_body(const std::string& name, const std::string& md5)
{
    return "{\"userName\":\"" + name + "\",\"md5\":\"" + md5 + "\"}";
}

CgiRequest request(const std::string& path, const std::string& body, const std::string& host = "h")
{
    CgiRequest r;
    r.method = "POST";
    r.path = path;
    r.body = body;
    r.content_type = path == "/1018" ? "application/x-www-form-urlencoded" : "application/json";
    r.host = host;
    return r;
}

// A good e-mail login: five cookies, each expiring 600 s after a second of
// the run, then the redirect.
void expect_mail_cookies(const std::string& out, const std::string& domain, time_t before, time_t after)
{
    size_t at = 0;
    for (const char* cookie : {"userName=temp", "userType=2", "permission=0", "sessionId=0", "language=en-US"}) {
        bool found = false;
        for (time_t t = before + 600; t <= after + 600 && !found; t++) {
            char date[64];
            struct tm tm;
            strftime(date, sizeof date, "%a, %d-%b-%Y %H:%M:%S GMT", gmtime_r(&t, &tm));
            const std::string line =
                std::string("Set-Cookie: ") + cookie + "; domain=" + domain + "; expires=" + date + "; path=/\r\n";
            found = out.compare(at, line.size(), line) == 0;
            at += found ? line.size() : 0;
        }
        ASSERT_TRUE(found) << cookie << " in [" << out << "]";
    }
    EXPECT_EQ(out.substr(at), "Location: ../../html/index.html\r\n\r\n");
}

class LoginTest : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        UserRecord gone = numbered_user(3, "eve", kHash, 0);
        gone.enable = 0;
        for (const UserRecord& u : {numbered_user(0, "alice", kHash, 1), gone, numbered_user(2, "dave", "", 0),
                                    numbered_user(1, "carol", kCarolHash, USER_LEVEL_NO_WEB)})
            store(kUserKind, u.id, &u);
    }
    CgiResult run_request(const CgiRequest& r)
    {
        core.clear();
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << r.path << " " << r.body;
        return res;
    }
};

TEST_F(LoginTest, ResolvesTheLoginType)
{
    const struct {
        const char* what;
        std::string body;
        int type;
    } cases[] = {
        {"right hash", login_body("alice", kHash), 1},
        {"upper-case hex matches", login_body("alice", "5F4DCC3B5AA765D61D8327DEB882CF99"), 1},
        {"only 32 characters count", login_body("alice", std::string(kHash) + "ff"), 1},
        {"wrong hash", login_body("alice", "5f4dcc3b5aa765d61d8327deb882cf98"), -1},
        {"hash cut short", login_body("alice", std::string(kHash, 31)), -1},
        {"unknown user", login_body("bob", kHash), -1},
        {"name differs in case", login_body("Alice", kHash), -1},
        {"freed slot", login_body("eve", kHash), -1},
        {"no password stored, empty hash", login_body("dave", ""), -1},
        {"name not a text", "{\"userName\":5,\"md5\":\"" + std::string(kHash) + "\"}", -1},
        {"hash not a text", "{\"userName\":\"alice\",\"md5\":12345}", -1},
        {"level 3, right hash", login_body("carol", kCarolHash), -2},
        {"level 3, wrong hash", login_body("carol", "nothing"), -2},
    };
    std::set<std::string> sessions;
    int client = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // One address per case: this is about the type, not the lockout.
        addr = "10.1.0." + std::to_string(++client);
        CgiResult res = post("/1000", c.body);
        ASSERT_EQ(res.out.compare(0, kTextHead.size(), kTextHead), 0) << res.out;
        const std::string body = res.out.substr(kTextHead.size());
        if (c.type < 0) {
            EXPECT_EQ(canon(body), canon("{\"type\":" + std::to_string(c.type) + "}"));
            EXPECT_TRUE(c.type != LOGIN_NOT_ON_WEB || no_logs()) << "a refused login leaves no log record";
            continue;
        }
        const std::string session = json_field(body, "sessionId");
        EXPECT_EQ(canon(body), alice_reply(c.type, session));
        EXPECT_EQ(session.size(), 32u) << session;
        EXPECT_EQ(session.find_first_not_of("0123456789"), std::string::npos) << session;
        sessions.insert(session);
        // The request's name, not the cookie's "admin", names the actor.
        EXPECT_EQ(logs(1), std::vector<std::string>(
                               1, log_record(LOG_SUB_REMOTE_LOGIN, LOG_PARAM_NONE, 0, nullptr, 0, "alice", addr.c_str())));
    }
    // Logins within a second: a clock-seeded generator would repeat itself.
    EXPECT_EQ(sessions.size(), 3u);
}

// "sameChannel" is 1 only for 2; the texts are cut to their buffers.
TEST_F(LoginTest, ReplyCarriesTheDeviceFields)
{
    const std::string h(40, 'h'), s(300, 's'), m(300, 'm');
    const std::vector<std::string> cases[] = {{"2", "V2.0", "9.9.9", "NVR-X"}, {"1", h, s, m}};
    for (const auto& c : cases) {
        set_param("failover_mode", 3);
        const char* keys[] = {"same_channel_exist", "hardware_version", "software_version", "model"};
        for (int i = 0; i < 4; i++)
            ASSERT_EQ(set_param_value(VXDB_MAIN, keys[i], c[(size_t)i].c_str()), 0);
        const std::string body = reply_body(post("/1000", login_body("alice", kHash)).out);
        EXPECT_EQ(canon(body), alice_reply(1, json_field(body, "sessionId"), 3, c[0] == "2", c[1].substr(0, 31),
                                           c[2].substr(0, 255), c[3].substr(0, 255)));
    }
}

// Made without the shell, and only for a request that parsed.
TEST_F(LoginTest, CertificateDirectoriesOnlyForJsonAndWithoutTheShell)
{
    for (const char* body : {"", "userName=alice", "{\"userName\":\"alice\""})
        EXPECT_EQ(post("/1000", body).out, "") << body;
    EXPECT_TRUE(no_logs());
    EXPECT_FALSE(root.exists("/mnt/nand/ssl"));
    CgiRequest r = request("/1000", login_body("bob", "x"));  // even a refused login prepares them
    r.env = {{"PATH", "/nonexistent"}};                         // no mkdir program to be found
    EXPECT_EQ(canon(reply_body(run_request(r).out)), "{\"type\":-1}");
    struct stat st;
    for (const char* dir : {"/mnt/nand/ssl", "/mnt/nand/ssl/tmp"})
        EXPECT_TRUE(stat(root.at(dir).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << dir;
    // Present already: left as they are, the login goes on.
    root.write("/mnt/nand/ssl/tmp/keep", "x");
    EXPECT_EQ(canon(reply_body(post("/1000", login_body("carol", "x")).out)), "{\"type\":-2}");
    EXPECT_EQ(root.read("/mnt/nand/ssl/tmp/keep"), "x");
}

TEST_F(LoginTest, MailLoginAnswers)
{
    const struct {
        std::string answer;  // empty: none
        std::string host;
        std::string domain;  // empty: no cookies, `out` instead
        std::string out;
    } cases[] = {
        {int32_bytes({0}), "192.168.1.100:8080", "192.168.1.100", ""},
        {int32_bytes({0}), "nvr.example", "nvr.example", ""},
        {int32_bytes({0}), "evil.example; path=/x", "evil.example", ""},
        {int32_bytes({1}), "h", "", kGoHome},
        {int32_bytes({-7, 0}), "h", "", kGoHome},
        {std::string(2, '\0'), "h", "", kTextError},  // two bytes are no answer word
        {"", "h", "", kTextError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host + " " + std::to_string(c.answer.size()));
        if (c.answer.empty())
            core.silent(REQ_LOGIN_FROM_MAIL);
        else
            core.reply(REQ_LOGIN_FROM_MAIL, c.answer);
        const time_t before = time(nullptr);
        const std::string out = run_request(request("/1018", "a1b2c3", c.host)).out;
        if (c.domain.empty())
            EXPECT_EQ(out, c.out);
        else
            expect_mail_cookies(out, c.domain, before, time(nullptr));
        EXPECT_EQ(sent(REQ_LOGIN_FROM_MAIL).at(0).payload, "a1b2c3" + std::string(250, '\0'));
    }
    // A long token is cut to 255 characters and its NUL.
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({1}));
    run_request(request("/1018", std::string(300, 't')));
    EXPECT_EQ(sent(REQ_LOGIN_FROM_MAIL).at(0).payload, std::string(255, 't') + '\0');
}

TEST(LoginCoresim, SeededAdministratorAndIssuedMailTokens)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    root.use_in_process();
    UserRecord admin;
    ASSERT_EQ(read_user(VXDB_MAIN, &admin, 0), 0);
    vxdb_close_all();
    EXPECT_EQ(admin.local_live_view_mask & admin.remote_playback_mask, 0xFFFFFFFFu);

    // The default password "admin123", hashed in either case.
    for (const char* md5 : {"0192023a7bbd73250516f069df18b500", "0192023A7BBD73250516F069DF18B500"}) {
        const std::string body = reply_body(run_cgi(root.path(), request("/1000", login_body("admin", md5))).out);
        EXPECT_EQ(json_field(body, "type"), "0") << body;
        EXPECT_EQ(json_field(body, "permission"), "-1");
        EXPECT_EQ(json_field(body, "remoteShutdown"), "1");
        EXPECT_EQ(json_field(body, "localliveview"), std::string(64, '1'));
    }
    const std::string plain = run_cgi(root.path(), request("/1000", login_body("admin", "admin123"))).out;
    EXPECT_EQ(canon(reply_body(plain)), "{\"type\":-1}");

    root.write("/var/run/coresim-mail-tokens", "first-token\r\nsecond-token\n");
    for (const char* token : {"first-token", "second-token"}) {
        const time_t before = time(nullptr);
        const std::string out = run_cgi(root.path(), request("/1018", token, "127.0.0.1:8080")).out;
        expect_mail_cookies(out, "127.0.0.1", before, time(nullptr));
    }
    for (const char* token : {"third-token", "first", "first-token2"})
        EXPECT_EQ(run_cgi(root.path(), request("/1018", token)).out, kGoHome) << token;
}

}  // namespace
