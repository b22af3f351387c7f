// Opt-in login enforcement and the login lockout, black-box: sessions from
// "/1000", the 401/403 answers, expiry by a moved clock, logout and user
// changes ending sessions, and five wrong passwords locking a name or address.
#include <json-c/json.h>

#include <thread>

#include "core/oplog_codes.h"
#include "modules/system/system_user.h"
#include "platform/sha256.h"
#include "tests/support/handler_test.h"
#include "tests/support/users.h"

namespace {

const char* const kHash = "5f4dcc3b5aa765d61d8327deb882cf99";
const std::string kUnauthorized = "Status: 401 Unauthorized\r\nContent-type: application/json\r\n\r\n"
                                  "{\"status\":\"unauthorized\"}";
const std::string kForbidden = "Status: 403 Forbidden\r\nContent-type: application/json\r\n\r\n"
                               "{\"status\":\"forbidden\"}";

std::string login_body(const std::string& name, const std::string& md5 = kHash)
{
    return "{\"userName\":\"" + name + "\",\"md5\":\"" + md5 + "\"}";
}

std::string login_type(const std::string& out)
{
    json_object* o = json_tokener_parse(reply_body(out).c_str());
    json_object* v = nullptr;
    std::string type = json_object_object_get_ex(o, "type", &v) ? json_object_get_string(v) : "none";
    json_object_put(o);
    return type;
}

class SessionTest : public HandlerTest {
protected:
    void SetUp() override
    {
        HandlerTest::SetUp();
        for (const UserRecord& u : {user_record(0, "root", kHash, USER_LEVEL_ADMIN), user_record(1, "bob", kHash, 2)})
            store(kUserKind, u.id, &u);
    }
    // The session cookie of a fresh login, or "" when it failed.
    std::string login(const std::string& name)
    {
        const std::string out = post("/1000", login_body(name)).out;
        json_object* o = json_tokener_parse(reply_body(out).c_str());
        json_object* v = nullptr;
        std::string id = json_object_object_get_ex(o, "sessionId", &v) ? json_object_get_string(v) : "";
        json_object_put(o);
        return id.empty() ? "" : "userName=" + name + "; sessionId=" + id;
    }
    std::string as(const std::string& cookie, const std::string& path, const std::string& query = "")
    {
        return run("GET", path, "", query, cookie).out;
    }
};

TEST_F(SessionTest, OffByDefaultNothingChanges)
{
    const std::string open = as("", "/6108");
    EXPECT_NE(open, kUnauthorized);
    EXPECT_EQ(reply_head(open), "Content-type: text/plain\r\n\r\n");
    EXPECT_EQ(as("", "/logout"), text_reply("OK"));
}

TEST_F(SessionTest, EnforcedRequestsNeedALiveSessionAndAdminChanges)
{
    set_param("web_require_session", 1);
    const std::string bob = login("bob");
    const std::string root_cookie = login("root");
    ASSERT_FALSE(bob.empty());
    ASSERT_FALSE(root_cookie.empty());

    const struct {
        const char* what;
        std::string cookie, path, query;
        bool refused;
        const std::string* answer;
    } cases[] = {
        {"no cookie", "", "/6108", "", true, &kUnauthorized},
        {"forged id", "sessionId=12345678901234567890123456789012", "/6108", "", true, &kUnauthorized},
        {"empty id", "sessionId=", "/6108", "", true, &kUnauthorized},
        {"user cookie alone", "userName=root", "/6108", "", true, &kUnauthorized},
        {"unknown path", "", "/9999", "", true, &kUnauthorized},
        {"live session", bob, "/6108", "", false, nullptr},
        {"level 2 reads RAID", bob, "/6108", "", false, nullptr},
        {"level 2 changes RAID", bob, "/6109", "", true, &kForbidden},
        {"level 2 formats", bob, "/6102", "", true, &kForbidden},
        {"level 2 and the network", bob, "/7042", "", true, &kForbidden},
        {"level 2 adds a user", bob, "/6071", "", true, &kForbidden},
        {"admin changes RAID", root_cookie, "/6109", "", false, nullptr},
        {"login page is public", "", "/json", "", false, nullptr},
        {"version is public", "", "/vb.htm", "softversion", false, nullptr},
        {"other options are not", "", "/vb.htm", "setdefault=1", true, &kUnauthorized},
        {"version with more is not", "", "/vb.htm", "softversion&setdefault=1", true, &kUnauthorized},
    };
    for (const auto& c : cases) {
        const std::string out = as(c.cookie, c.path, c.query);
        if (c.refused)
            EXPECT_EQ(out, *c.answer) << c.what;
        else
            EXPECT_TRUE(out.find("Status: 40") == std::string::npos) << c.what << ": " << out;
    }
}

TEST_F(SessionTest, SessionsEndByIdleTimeLogoutAndUserChange)
{
    set_param("web_require_session", 1);
    set_param("web_session_minutes", 5);
    std::string bob = login("bob");
    env = {{"NVRWEB_CLOCK_OFFSET", "240"}};
    EXPECT_NE(as(bob, "/6108"), kUnauthorized) << "used within the idle time: refreshed";
    env = {{"NVRWEB_CLOCK_OFFSET", "480"}};
    EXPECT_NE(as(bob, "/6108"), kUnauthorized) << "the refresh moved the end";
    env = {{"NVRWEB_CLOCK_OFFSET", "900"}};
    EXPECT_EQ(as(bob, "/6108"), kUnauthorized) << "idle past the limit";
    env.clear();
    EXPECT_EQ(as(bob, "/6108"), kUnauthorized) << "an expired session stays ended";

    bob = login("bob");
    EXPECT_EQ(as(bob, "/logout"), text_reply("OK"));
    EXPECT_EQ(as(bob, "/6108"), kUnauthorized) << "after logout";

    bob = login("bob");
    const std::string root_cookie = login("root");
    EXPECT_EQ(run("POST", "/6073", "{\"id\":1,\"type\":2}", "", root_cookie).out, text_reply("OK"));
    EXPECT_EQ(as(bob, "/6108"), kUnauthorized) << "after the user was deleted";
    EXPECT_NE(as(root_cookie, "/6108"), kUnauthorized) << "other users keep theirs";
    EXPECT_EQ(run("POST", "/6072", "{\"id\":0,\"password\":\"x\"}", "", root_cookie).out, text_reply("OK"));
    EXPECT_EQ(as(root_cookie, "/6108"), kUnauthorized) << "after the user was changed";
}

TEST_F(SessionTest, MailLinkGetsARealSessionOnlyWhenRequired)
{
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({0}));
    std::string out = post("/1018", "a1b2c3").out;
    EXPECT_NE(out.find("sessionId=0;"), std::string::npos) << "off: as before";
    set_param("web_require_session", 1);
    core.reply(REQ_LOGIN_FROM_MAIL, int32_bytes({0}));
    out = post("/1018", "a1b2c3").out;
    const size_t at = out.find("sessionId=");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string id = out.substr(at + 10, out.find(';', at) - at - 10);
    EXPECT_EQ(id.size(), 32u) << out;
    const std::string cookie = "sessionId=" + id;
    EXPECT_NE(as(cookie, "/6108"), kUnauthorized);
    EXPECT_EQ(as(cookie, "/6109"), kForbidden) << "the temporary user is not an admin";
}

TEST_F(SessionTest, ConcurrentLoginsBothGetSessions)
{
    set_param("web_require_session", 1);
    vxdb_close_all();
    CgiRequest r;
    r.method = "POST";
    r.path = "/1000";
    r.content_type = "application/json";
    r.body = login_body("bob");
    CgiResult a, b;
    std::thread t([&] { a = run_cgi(root.path(), r); });
    b = run_cgi(root.path(), r);
    t.join();
    for (const CgiResult* res : {&a, &b}) {
        json_object* o = json_tokener_parse(reply_body(res->out).c_str());
        json_object* v = nullptr;
        ASSERT_TRUE(json_object_object_get_ex(o, "sessionId", &v)) << res->out;
        const std::string cookie = std::string("sessionId=") + json_object_get_string(v);
        json_object_put(o);
        EXPECT_NE(as(cookie, "/6108"), kUnauthorized);
    }
}

TEST_F(SessionTest, FiveFailuresLockANameOrAnAddressForTenMinutes)
{
    // By address: five wrong passwords for different names.
    for (const char* name : {"a", "b", "c", "d", "e"})
        EXPECT_EQ(login_type(post("/1000", login_body(name, "00")).out), "-1");
    core.clear();
    EXPECT_EQ(login_type(post("/1000", login_body("root")).out), "-1") << "address locked";
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(LOG_SUB_REMOTE_LOGIN, LOG_PARAM_LOGIN_LOCKED, 0,
                                                           nullptr, 0, "root")});
    EXPECT_EQ(login_type(post("/1000", login_body("root")).out), "-1");
    EXPECT_TRUE(no_logs()) << "a lock is logged once";
    addr = "10.0.0.9";
    EXPECT_EQ(login_type(post("/1000", login_body("root")).out), "0") << "another address may log in";

    // By name: five wrong passwords for bob from five addresses.
    for (int i = 0; i < 5; i++) {
        addr = "10.0.1." + std::to_string(i);
        EXPECT_EQ(login_type(post("/1000", login_body("bob", "00")).out), "-1");
    }
    addr = "10.0.2.1";
    EXPECT_EQ(login_type(post("/1000", login_body("bob")).out), "-1") << "name locked";
    env = {{"NVRWEB_CLOCK_OFFSET", "601"}};
    EXPECT_EQ(login_type(post("/1000", login_body("bob")).out), "2") << "released after ten minutes";
    addr = kAddr;
    EXPECT_EQ(login_type(post("/1000", login_body("root")).out), "0") << "address released too";
}

}  // namespace

namespace {

// Session ids are stored only as this digest: the standard's own vectors,
// and one longer than a block to cover the padding into a second block.
TEST(Sha256, StandardVectors)
{
    const struct {
        std::string text;
        const char* hex;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        char hex[65];
        sha256_hex(c.text.data(), c.text.size(), hex);
        EXPECT_STREQ(hex, c.hex) << c.text.size() << " bytes";
    }
}

}  // namespace
