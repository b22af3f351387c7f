// Login "/1000" and the e-mail login "/1018", black-box through nvrweb.cgi
// against a fake core service and a scratch database of users; then the same
// against coresim and its seeded administrator.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/oplog.h"
#include "modules/system/system_user.h"
#include "platform/vxdb.h"
#include "platform/vxsocket.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace {

const std::string kTextHead = "Content-type: text/plain\r\n\r\n";
const char* const kAddr = "192.168.1.20";

// JSON printed compactly, keys in the order they came; a marker otherwise.
std::string canon(const std::string& text)
{
    json_tokener* tok = json_tokener_new();
    json_object* o = json_tokener_parse_ex(tok, text.c_str(), (int)text.size() + 1);
    bool ok = json_tokener_get_error(tok) == json_tokener_success;
    json_tokener_free(tok);
    if (!ok || !o) {
        json_object_put(o);
        return "<not JSON: " + text + ">";
    }
    std::string out = json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
    json_object_put(o);
    return out;
}

template <typename T>
T zeroed()
{
    T t;
    memset(&t, 0, sizeof t);
    return t;
}

template <size_t N>
void put(char (&field)[N], const std::string& text)
{
    memset(field, 0, N);
    memcpy(field, text.data(), std::min(text.size(), N));
}

const vxdb_kind kUserKind = {"user", (int)sizeof(UserRecord), 100};

// A user whose twenty rights are 1..20 in record order, so that a key
// printed from the wrong field shows.
UserRecord numbered_user(int id, const std::string& name, const std::string& password, int type)
{
    UserRecord u = zeroed<UserRecord>();
    u.id = id;
    u.enable = 1;
    put(u.name, name);
    put(u.password, password);
    u.type = type;
    put(u.localliveview, "1100");
    put(u.localplayback, "0011");
    put(u.remoteliveview, "1");
    put(u.remoteplayback, "01");
    int32_t rights[20];
    for (int i = 0; i < 20; i++)
        rights[i] = i + 1;
    // The twenty rights lie in a row from localLiveView on.
    memcpy(reinterpret_cast<char*>(&u) + offsetof(UserRecord, local_live_view), rights, sizeof rights);
    u.permission = 7;
    u.remote_permission = 9;
    return u;
}

const char* const kAliceHash = "5f4dcc3b5aa765d61d8327deb882cf99";

// The reply of a good login of numbered_user("alice", ..., type) with the
// given device fields; the session id is filled in by the caller.
std::string alice_reply(int type, const std::string& session, int failover, int same, const std::string& hw,
                        const std::string& sw, const std::string& model)
{
    char buf[4096];
    snprintf(buf, sizeof buf,
             "{\"type\":%d,\"userName\":\"alice\",\"permission\":7,\"localLiveView\":1,\"localPlayback\":2,"
             "\"localRetrieve\":3,\"localSmartAnalysis\":4,\"localEvent\":5,\"localCamera\":6,"
             "\"localStorage\":7,\"localSettings\":8,\"localStatus\":9,\"localShutdown\":10,"
             "\"localliveview\":\"1100\",\"localplayback\":\"0011\",\"remotePermisson\":9,"
             "\"remoteLiveView\":11,\"remotePlayback\":12,\"remoteRetrieve\":13,\"remoteSmartAnalysis\":14,"
             "\"remoteEvent\":15,\"remoteCamera\":16,\"remoteStorage\":17,\"remoteSettings\":18,"
             "\"remoteStatus\":19,\"remoteShutdown\":20,\"remoteliveview\":\"1\",\"remoteplayback\":\"01\","
             "\"sessionId\":\"%s\",\"failoverMode\":%d,\"sameChannel\":%d,\"hardwareVersion\":\"%s\","
             "\"softwareVersion\":\"%s\",\"model\":\"%s\"}",
             type, session.c_str(), failover, same, hw.c_str(), sw.c_str(), model.c_str());
    return canon(buf);
}

// The session id of a reply body, or "" when there is none.
std::string session_of(const std::string& body)
{
    json_object* o = json_tokener_parse(body.c_str());
    json_object* s = nullptr;
    std::string out;
    if (o && json_object_object_get_ex(o, "sessionId", &s) && json_object_is_type(s, json_type_string))
        out = json_object_get_string(s);
    json_object_put(o);
    return out;
}

std::string login_body(const std::string& name, const std::string& md5)
{
    json_object* o = json_object_new_object();
    json_object_object_add(o, "userName", json_object_new_string(name.c_str()));
    json_object_object_add(o, "md5", json_object_new_string(md5.c_str()));
    std::string out = json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN);
    json_object_put(o);
    return out;
}

std::string expected_login_log(const std::string& user)
{
    OperationLogRecord r = zeroed<OperationLogRecord>();
    r.main_type = 4;
    r.sub_type = 201;
    r.parameter = 900;
    r.remote = 1;
    strcpy(r.ip, kAddr);
    put(r.user, user);
    return bytes_of(r);
}

class LoginCgi : public ::testing::Test {
protected:
    ScratchRoot root;
    FakeCore core{root.path()};

    void SetUp() override { root.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }

    void seed(const UserRecord& u)
    {
        ASSERT_EQ(vxdb_write(VXDB_MAIN, kUserKind, u.id, &u, (int)sizeof u), 0);
        vxdb_close_all();
    }
    void param(const char* key, const char* value)
    {
        ASSERT_EQ(set_param_value(VXDB_MAIN, key, value), 0);
        vxdb_close_all();
    }
    // Alice (level 1), a level-3 user, a user without password, a free slot.
    void seed_users()
    {
        seed(numbered_user(0, "alice", kAliceHash, 1));
        seed(numbered_user(1, "carol", "0cc175b9c0f1b6a831c399e269772661", USER_LEVEL_NO_WEB));
        seed(numbered_user(2, "dave", "", 0));
        UserRecord gone = numbered_user(3, "eve", kAliceHash, 0);
        gone.enable = 0;
        seed(gone);
    }

    CgiResult run(CgiRequest r)
    {
        vxdb_close_all();
        core.clear();
        r.remote_addr = kAddr;
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << r.path << " " << r.body;
        return res;
    }
    CgiResult login(const std::string& body, const std::string& cookie = "")
    {
        CgiRequest r;
        r.method = "POST";
        r.path = "/1000";
        r.body = body;
        r.content_type = "application/json";
        r.cookie = cookie;
        return run(r);
    }
    CgiResult mail(const std::string& token, const std::string& host = "192.168.1.100:8080")
    {
        CgiRequest r;
        r.method = "POST";
        r.path = "/1018";
        r.body = token;
        r.content_type = "application/x-www-form-urlencoded";
        r.host = host;
        return run(r);
    }
    bool no_logs() const { return !core.wait_for(REQ_OPERATION_LOG, 1, 300); }
};

// ---- the login type ----------------------------------------------------------

struct TypeCase {
    const char* what;
    std::string user;
    std::string md5;
    int type;
};

TEST_F(LoginCgi, ResolvesTheLoginType)
{
    seed_users();
    const TypeCase cases[] = {
        {"right hash", "alice", kAliceHash, 1},
        {"upper-case hex matches", "alice", "5F4DCC3B5AA765D61D8327DEB882CF99", 1},
        {"only 32 characters of the hash count", "alice", std::string(kAliceHash) + "ff", 1},
        {"wrong hash", "alice", "5f4dcc3b5aa765d61d8327deb882cf98", -1},
        {"hash cut short", "alice", "5f4dcc3b5aa765d61d8327deb882cf9", -1},
        {"unknown user", "bob", kAliceHash, -1},
        {"unknown user, empty hash", "bob", "", -1},
        {"name differs in case", "Alice", kAliceHash, -1},
        {"freed slot", "eve", kAliceHash, -1},
        {"level 3, right hash", "carol", "0cc175b9c0f1b6a831c399e269772661", -2},
        {"level 3, wrong hash", "carol", "nothing", -2},
        {"no password stored, empty hash", "dave", "", -1},
    };
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.what);
        CgiResult res = login(login_body(c.user, c.md5));
        ASSERT_EQ(res.out.compare(0, kTextHead.size(), kTextHead), 0) << res.out;
        std::string body = res.out.substr(kTextHead.size());
        if (c.type < 0) {
            EXPECT_EQ(canon(body), canon("{\"type\":" + std::to_string(c.type) + "}"));
            EXPECT_TRUE(no_logs()) << "a refused login leaves no log entry";
        } else {
            std::string session = session_of(body);
            EXPECT_EQ(canon(body), alice_reply(c.type, session, 0, 0, "V1.1", "7x.7.0.9", ""));
        }
    }
}

TEST_F(LoginCgi, NameAndHashOfTheWrongTypeAreMissing)
{
    seed_users();
    for (const char* body : {"{\"userName\":5,\"md5\":\"5f4dcc3b5aa765d61d8327deb882cf99\"}",
                             "{\"userName\":\"alice\",\"md5\":12345}", "{\"md5\":\"\"}", "{}"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(login(body).out, kTextHead + "{ \"type\": -1 }");
    }
}

// ---- the reply ---------------------------------------------------------------

TEST_F(LoginCgi, ReplyKeysInOrderWithTheDeviceFields)
{
    seed_users();
    param("failover_mode", "3");
    param("same_channel_exist", "2");
    param("hardware_version", "V2.0");
    param("software_version", "9.9.9");
    param("model", "NVR-X");
    CgiResult res = login(login_body("alice", kAliceHash));
    ASSERT_EQ(res.out.compare(0, kTextHead.size(), kTextHead), 0) << res.out;
    std::string body = res.out.substr(kTextHead.size());
    EXPECT_EQ(canon(body), alice_reply(1, session_of(body), 3, 1, "V2.0", "9.9.9", "NVR-X"));
}

TEST_F(LoginCgi, SameChannelIsOneOnlyForTwo)
{
    seed_users();
    const std::pair<const char*, int> cases[] = {{"0", 0}, {"1", 0}, {"2", 1}, {"3", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        param("same_channel_exist", c.first);
        CgiResult res = login(login_body("alice", kAliceHash));
        std::string body = reply_body(res.out);
        EXPECT_EQ(canon(body), alice_reply(1, session_of(body), 0, c.second, "V1.1", "7x.7.0.9", ""));
    }
}

TEST_F(LoginCgi, DeviceTextsAreCutToTheirBuffers)
{
    seed_users();
    param("hardware_version", std::string(40, 'h').c_str());
    param("software_version", std::string(300, 's').c_str());
    param("model", std::string(300, 'm').c_str());
    CgiResult res = login(login_body("alice", kAliceHash));
    std::string body = reply_body(res.out);
    EXPECT_EQ(canon(body), alice_reply(1, session_of(body), 0, 0, std::string(31, 'h'), std::string(255, 's'),
                                       std::string(255, 'm')));
}

TEST_F(LoginCgi, NoJsonNoOutput)
{
    seed_users();
    for (const char* body : {"", "userName=alice", "{\"userName\":\"alice\"", "nonsense"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(login(body).out, "");
    }
    EXPECT_TRUE(no_logs());
    // The certificate directories are made only for a request that parsed.
    EXPECT_FALSE(root.exists("/mnt/nand/ssl"));
}

TEST_F(LoginCgi, SessionIdIs32DigitsAndNewForEveryLogin)
{
    seed_users();
    std::set<std::string> seen;
    for (int i = 0; i < 5; i++) {
        std::string session = session_of(reply_body(login(login_body("alice", kAliceHash)).out));
        EXPECT_EQ(session.size(), 32u) << "[" << session << "]";
        EXPECT_EQ(session.find_first_not_of("0123456789"), std::string::npos) << "[" << session << "]";
        seen.insert(session);
    }
    // Five logins well inside a few seconds: a clock-seeded generator would
    // repeat itself here.
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(LoginCgi, GoodLoginLogsTheRequestsUserName)
{
    seed_users();
    // A stale cookie of another user does not name the actor.
    CgiResult res = login(login_body("alice", kAliceHash), "userName=mallory");
    ASSERT_NE(reply_body(res.out).find("\"sessionId\""), std::string::npos) << res.out;
    ASSERT_TRUE(core.wait_for(REQ_OPERATION_LOG, 1));
    std::vector<FakeRequest> logs = core.requests(REQ_OPERATION_LOG);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].payload, expected_login_log("alice"));
}

TEST_F(LoginCgi, MakesTheCertificateDirectoriesWithoutTheShell)
{
    seed_users();
    CgiRequest r;
    r.method = "POST";
    r.path = "/1000";
    r.body = login_body("bob", "x");  // even a refused login prepares them
    r.content_type = "application/json";
    r.env = {{"PATH", "/nonexistent"}};  // no mkdir program to be found
    EXPECT_EQ(run(r).out, kTextHead + "{ \"type\": -1 }");
    struct stat st;
    ASSERT_EQ(stat(root.at("/mnt/nand/ssl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(stat(root.at("/mnt/nand/ssl/tmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    // Present already: left as they are, the login goes on.
    root.write("/mnt/nand/ssl/tmp/keep", "x");
    EXPECT_EQ(reply_body(login(login_body("carol", "x")).out), "{ \"type\": -2 }");
    EXPECT_EQ(root.read("/mnt/nand/ssl/tmp/keep"), "x");
}

TEST(LoginWithoutCore, ReplyDoesNotWaitForTheLog)
{
    ScratchRoot root;
    root.use_in_process();
    UserRecord u = numbered_user(0, "alice", kAliceHash, 1);
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kUserKind, 0, &u, (int)sizeof u), 0);
    vxdb_close_all();
    CgiRequest r;
    r.method = "POST";
    r.path = "/1000";
    r.body = login_body("alice", kAliceHash);
    r.content_type = "application/json";
    r.remote_addr = kAddr;
    CgiResult res = run_cgi(root.path(), r);
    EXPECT_EQ(res.status, 0);
    std::string body = reply_body(res.out);
    EXPECT_EQ(canon(body), alice_reply(1, session_of(body), 0, 0, "V1.1", "7x.7.0.9", ""));
}

// ---- the e-mail login --------------------------------------------------------

std::string token_payload(const std::string& token)
{
    std::string p(256, '\0');
    memcpy(&p[0], token.data(), std::min<size_t>(token.size(), 255));
    return p;
}

// Checks the cookie lines of a good e-mail login; `before`..`after` is when
// the CGI ran. Each line is taken apart and printed again in the cookie
// line's own form: the two must be the same text.
void expect_cookie_login(const std::string& out, const std::string& domain, time_t before, time_t after)
{
    static const char* const kCookies[][2] = {
        {"userName", "temp"}, {"userType", "2"}, {"permission", "0"}, {"sessionId", "0"}, {"language", "en-US"},
    };
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    size_t pos = 0;
    for (const auto& cookie : kCookies) {
        SCOPED_TRACE(cookie[0]);
        size_t end = out.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << out;
        const std::string text = out.substr(pos, end + 2 - pos);
        pos = end + 2;

        const std::string head = std::string("Set-Cookie: ") + cookie[0] + "=" + cookie[1] + "; domain=" + domain +
                                 "; expires=";
        ASSERT_EQ(text.compare(0, head.size(), head), 0) << "[" << text << "]";
        char day[4] = "", month[4] = "";
        int mday = 0, year = 0, hour = 0, minute = 0, second = 0;
        ASSERT_EQ(sscanf(text.c_str() + head.size(), "%3[A-Za-z], %d-%3[A-Za-z]-%d %d:%d:%d GMT", day, &mday, month,
                         &year, &hour, &minute, &second),
                  7)
            << "[" << text << "]";
        char again[256];
        snprintf(again, sizeof again, "%s%s, %02d-%s-%04d %02d:%02d:%02d GMT; path=/\r\n", head.c_str(), day, mday,
                 month, year, hour, minute, second);
        EXPECT_EQ(text, again);

        struct tm t = {};
        t.tm_mon = -1;
        for (int i = 0; i < 12; i++)
            if (strcmp(month, kMonths[i]) == 0)
                t.tm_mon = i;
        ASSERT_GE(t.tm_mon, 0) << month;
        t.tm_mday = mday;
        t.tm_year = year - 1900;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        time_t expires = timegm(&t);
        struct tm check;
        gmtime_r(&expires, &check);
        EXPECT_STREQ(day, kDays[check.tm_wday]) << "weekday of the date";
        EXPECT_GE(expires, before + 600 - 2);
        EXPECT_LE(expires, after + 600 + 2);
    }
    EXPECT_EQ(out.substr(pos), "Location: ../../html/index.html\r\n\r\n");
}

TEST_F(LoginCgi, MailLoginWithAGoodTokenSetsFiveCookiesThenRedirects)
{
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({0}));
    time_t before = time(nullptr);
    CgiResult res = mail("a1b2c3");
    time_t after = time(nullptr);
    expect_cookie_login(res.out, "192.168.1.100", before, after);
    std::vector<FakeRequest> sent = core.requests(REQ_LOGIN_FROM_MAIL);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, token_payload("a1b2c3"));

    // A host without a port is the domain as it is.
    before = time(nullptr);
    res = mail("a1b2c3", "nvr.example");
    after = time(nullptr);
    expect_cookie_login(res.out, "nvr.example", before, after);
}

TEST_F(LoginCgi, MailLoginRefusedGoesHomeWithoutCookies)
{
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({1}));
    EXPECT_EQ(mail("stale").out, "Location: ../../html/home.html\r\n\r\n");
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({-7, 0}));
    EXPECT_EQ(mail("stale").out, "Location: ../../html/home.html\r\n\r\n");
}

TEST_F(LoginCgi, MailTokenIsCutTo255Characters)
{
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({1}));
    std::string token(300, 't');
    mail(token);
    std::vector<FakeRequest> sent = core.requests(REQ_LOGIN_FROM_MAIL);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, token_payload(std::string(255, 't')));
}

TEST_F(LoginCgi, MailLoginWithoutAnAnswerPrintsTheTextError)
{
    core.silent(REQ_LOGIN_FROM_MAIL);
    EXPECT_EQ(mail("x").out, kTextHead + "CGI ERROR");
    // Two bytes are no answer word.
    core.reply(REQ_LOGIN_FROM_MAIL, std::string(2, '\0'));
    EXPECT_EQ(mail("x").out, kTextHead + "CGI ERROR");
}

TEST_F(LoginCgi, MailCookieDomainStopsAtCharactersNoHostHas)
{
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({0}));
    time_t before = time(nullptr);
    CgiResult res = mail("t", "evil.example; path=/x");
    time_t after = time(nullptr);
    expect_cookie_login(res.out, "evil.example", before, after);
}

// ---- against coresim ---------------------------------------------------------

// coresim serving a seeded root, stopped at the end.
class Coresim {
public:
    explicit Coresim(const ScratchRoot& root)
    {
        std::string seed = "'" + build_dir() + "/coresim' --seed '" + root.path() + "' >/dev/null";
        seeded_ = system(seed.c_str()) == 0;
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen("/dev/null", "w", stderr))
                _exit(126);
            execl((build_dir() + "/coresim").c_str(), "coresim", "--root", root.path().c_str(), (char*)nullptr);
            _exit(127);
        }
        const std::string socket_path = root.at("/var/run/vxsocket");
        for (int i = 0; i < 200 && !up_; i++) {
            int fd = vx_connect_unix(socket_path.c_str());
            if (fd >= 0) {
                close(fd);
                up_ = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    ~Coresim()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    bool ready() const { return seeded_ && up_; }

private:
    pid_t pid_ = -1;
    bool seeded_ = false;
    bool up_ = false;
};

std::string command_output(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

TEST(LoginCoresim, SeededAdministratorLogsInWithTheDefaultPassword)
{
    ScratchRoot root;
    Coresim sim(root);
    ASSERT_TRUE(sim.ready());

    // The stored hash is the MD5 of "admin123" as md5sum prints it.
    root.use_in_process();
    UserRecord admin;
    ASSERT_EQ(read_user(VXDB_MAIN, &admin, 0), 0);
    vxdb_close_all();
    std::string hash = command_output("printf admin123 | md5sum").substr(0, 32);
    ASSERT_EQ(hash.size(), 32u);
    EXPECT_EQ(std::string(admin.password), hash);
    EXPECT_EQ(admin.enable, 1);
    EXPECT_EQ(admin.type, 0);
    EXPECT_EQ(std::string(admin.localliveview, 64), std::string(64, '1'));
    EXPECT_EQ(admin.local_live_view_mask, 0xFFFFFFFFu);
    EXPECT_EQ(admin.remote_playback_mask, 0xFFFFFFFFu);

    CgiRequest r;
    r.method = "POST";
    r.path = "/1000";
    r.content_type = "application/json";
    for (std::string md5 : {hash, std::string("0192023A7BBD73250516F069DF18B500")}) {
        r.body = login_body("admin", md5);
        std::string body = reply_body(run_cgi(root.path(), r).out);
        json_object* o = json_tokener_parse(body.c_str());
        ASSERT_NE(o, nullptr) << body;
        json_object* v = nullptr;
        ASSERT_TRUE(json_object_object_get_ex(o, "type", &v));
        EXPECT_EQ(json_object_get_int(v), 0);
        ASSERT_TRUE(json_object_object_get_ex(o, "permission", &v));
        EXPECT_EQ(json_object_get_int(v), -1);
        ASSERT_TRUE(json_object_object_get_ex(o, "remoteShutdown", &v));
        EXPECT_EQ(json_object_get_int(v), 1);
        json_object_put(o);
    }
    r.body = login_body("admin", "admin123");
    EXPECT_EQ(reply_body(run_cgi(root.path(), r).out), "{ \"type\": -1 }");
}

TEST(LoginCoresim, AcceptsOnlyTheMailTokensItIssued)
{
    ScratchRoot root;
    Coresim sim(root);
    ASSERT_TRUE(sim.ready());
    root.write("/var/run/coresim-mail-tokens", "first-token\r\nsecond-token\n");

    CgiRequest r;
    r.method = "POST";
    r.path = "/1018";
    r.content_type = "application/x-www-form-urlencoded";
    r.host = "127.0.0.1:8080";
    for (const char* token : {"first-token", "second-token"}) {
        SCOPED_TRACE(token);
        r.body = token;
        time_t before = time(nullptr);
        std::string out = run_cgi(root.path(), r).out;
        expect_cookie_login(out, "127.0.0.1", before, time(nullptr));
    }
    for (const char* token : {"third-token", "first", "", "first-token2"}) {
        SCOPED_TRACE(token);
        r.body = token;
        EXPECT_EQ(run_cgi(root.path(), r).out, "Location: ../../html/home.html\r\n\r\n");
    }
}

}  // namespace
