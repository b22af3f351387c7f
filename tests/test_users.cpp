// User accounts "/6070" to "/6074", "/6077", "/1024", black-box against a
// fake core service and a scratch user table.
#include <algorithm>
#include <thread>

#include "modules/system/system_user.h"
#include "tests/support/handler_test.h"
#include "tests/support/users.h"

namespace {

const vxdb_kind kOemKind = {"oem_user", (int)sizeof(OemUserRecord), 100};
const char* const kHash = "0192023a7bbd73250516f069df18b500";

UserRecord user(int id, const std::string& name, int type = 1, const std::string& password = "pw")
{
    return user_record(id, name, password, type);
}

// The ten JSON rights of one side in record order, numbered from `first`.
std::string rights_json(const char* side, int first)
{
    std::string out;
    for (const char* r : {"LiveView", "Playback", "Retrieve", "SmartAnalysis", "Event", "Camera", "Storage",
                          "Settings", "Status", "Shutdown"})
        out += std::string(",\"") + side + r + "\":" + std::to_string(first++);
    return out;
}

std::string add_body(const std::string& name, const std::string& more = "")
{
    return "{\"name\":\"" + name + "\",\"type\":1,\"permission\":0,\"remotePermission\":0" + more + "}";
}

class UsersTest : public HandlerTest {
protected:
    void seed(const UserRecord& u) { store(kUserKind, u.id, &u); }
    UserRecord at(int id)
    {
        UserRecord u;
        stored(kUserKind, id, &u);
        return u;
    }
    bool written(int id)
    {
        UserRecord u;
        return stored(kUserKind, id, &u) == 0;
    }
    // Nothing reaches the core service within a short while.
    bool nothing_sent() { return !core.wait_for(REQ_USER_TABLE_CHANGED, 1, 300) && sent_all().empty(); }
    // The core service hears of the change first, then the log record follows
    // when `parameter` names one.
    void expect_notice(const std::string& payload, int parameter = 0)
    {
        ASSERT_TRUE(core.wait_for(REQ_USER_TABLE_CHANGED, 1));
        if (parameter) {
            EXPECT_EQ(logs(1), std::vector<std::string>{log_record(LOG_SUB_REMOTE_PARAMETER, parameter, 0)});
        }
        const std::vector<FakeRequest> requests = sent_all();
        ASSERT_EQ(requests.size(), parameter ? 2u : 1u);
        EXPECT_EQ(requests[0].code, REQ_USER_TABLE_CHANGED);
        EXPECT_EQ(requests[0].payload, payload);
    }
};

TEST_F(UsersTest, ListsEnabledUsersInSlotOrderWithTheirKeys)
{
    EXPECT_EQ(get("/6070").out, kJsonHead + "[ ]");
    UserRecord a = user(0, "admin", 0, kHash);
    number_rights(&a);
    a.permission = -1;
    a.remote_permission = 5;
    put(a.localliveview, "11");
    put(a.localplayback, "10");
    put(a.remoteliveview, "01");
    put(a.remoteplayback, std::string(65, '1'));  // a full field without its NUL
    UserRecord off = user(3, "gone");
    off.enable = 0;
    UserRecord b = a;
    b.id = 7;
    put(b.name, "bob");
    for (const UserRecord& u : {a, off, b})
        seed(u);
    auto item = [](int id, const char* name) {
        return "{\"id\":" + std::to_string(id) + ",\"enable\":1,\"name\":\"" + name + "\",\"password\":\"" + kHash +
               "\",\"type\":0,\"permission\":-1" + rights_json("local", 1) +
               ",\"localliveview\":\"11\",\"localplayback\":\"10\",\"remotePermission\":5" + rights_json("remote", 11) +
               ",\"remoteliveview\":\"01\",\"remoteplayback\":\"" + std::string(65, '1') + "\"}";
    };
    EXPECT_TRUE(json_reply_is(get("/6070").out, "[" + item(0, "admin") + "," + item(7, "bob") + "]"));
    EXPECT_TRUE(sent_all().empty());
}

TEST_F(UsersTest, AddTakesTheLowestFreeSlotAndStoresTheWholeRecord)
{
    UserRecord freed = user(2, "old");
    freed.enable = 0;
    for (const UserRecord& u : {user(0, "admin", 0), user(1, "bob"), freed, user(3, "dan")})
        seed(u);
    EXPECT_EQ(post("/6071", "{\"name\":\"carol\",\"password\":\"abc\",\"type\":2,\"permission\":-1,"
                            "\"remotePermission\":4" +
                                rights_json("local", 1) + rights_json("remote", 11) +
                                ",\"localliveview\":\"101\",\"localplayback\":\"011\",\"remoteliveview\":\"1\","
                                "\"remoteplayback\":\"0001\"}")
                  .out,
              kTextHead + "id=2");
    UserRecord want = user(2, "carol", 2, "abc");
    want.permission = -1;
    want.remote_permission = 4;
    number_rights(&want);
    put(want.localliveview, "101");
    put(want.localplayback, "011");
    put(want.remoteliveview, "1");
    put(want.remoteplayback, "0001");
    want.local_live_view_mask = 0x5;
    want.local_playback_mask = 0x6;
    want.remote_live_view_mask = 0x1;
    want.remote_playback_mask = 0x8;
    put(want.added, "0");
    EXPECT_TRUE(same_bytes(bytes_of(at(2)), bytes_of(want)));
    expect_notice("", LOG_PARAM_USER_ADD);

    // Keys left out are zero, texts are cut to their fields, and only the
    // first 32 channels count for a mask.
    std::string live(64, '0');  // "1" at 0, 5, 31, 32, 40 and 63; another digit at 3
    for (int i : {0, 5, 31, 32, 40, 63})
        live[(size_t)i] = '1';
    live[3] = '2';
    const std::string high = std::string(32, '0') + std::string(32, '1');
    EXPECT_EQ(post("/6071", "{\"name\":\"" + std::string(100, 'n') + "\",\"password\":\"" + std::string(40, 'p') +
                                "\",\"type\":3,\"permission\":0,\"remotePermission\":0,\"localliveview\":\"" +
                                live + "111111\",\"localplayback\":\"" + high +
                                "\",\"remoteliveview\":\"11\",\"remoteplayback\":\"" + std::string(200, '1') + "\"}")
                  .out,
              kTextHead + "id=4");
    want = user(4, std::string(63, 'n'), 3, std::string(32, 'p'));
    put(want.localliveview, live);
    put(want.localplayback, high);
    put(want.remoteliveview, "11");
    put(want.remoteplayback, std::string(64, '1'));
    put(want.added, "0");
    want.local_live_view_mask = (1u << 0) | (1u << 5) | (1u << 31);
    want.remote_live_view_mask = 3u;
    want.remote_playback_mask = 0xFFFFFFFFu;
    EXPECT_TRUE(same_bytes(bytes_of(at(4)), bytes_of(want)));
}

TEST_F(UsersTest, AddFillsUpToTheHundredthUserThenRefusesBeforeParsing)
{
    std::vector<UserRecord> users;
    for (int i = 0; i < 99; i++)
        users.push_back(user(i, "u" + std::to_string(i)));
    ASSERT_EQ(vxdb_write_range(VXDB_MAIN, kUserKind, 0, users.data(), 99, (int)sizeof(UserRecord)), 0);
    vxdb_close_all();
    EXPECT_EQ(post("/6071", add_body("last")).out, kTextHead + "id=99");
    EXPECT_EQ(std::string(at(99).name), "last");
    for (const std::string& body : {add_body("more"), std::string("not JSON at all")}) {
        EXPECT_EQ(post("/6071", body).out, kTextHead + "FAILED_FULL") << body;
        EXPECT_TRUE(nothing_sent()) << body;
    }
}

TEST_F(UsersTest, AddChecksLevelAndPermissions)
{
    const struct {
        const char* body;
        bool accepted;
    } cases[] = {
        {"{\"name\":\"a\",\"type\":0,\"permission\":-1,\"remotePermission\":-1}", true},
        {"{\"name\":\"b\",\"type\":3,\"permission\":0,\"remotePermission\":2147483647}", true},
        {"{\"name\":\"c\",\"type\":1,\"permission\":-2,\"remotePermission\":0}", false},
        {"{\"name\":\"d\",\"type\":1,\"permission\":0,\"remotePermission\":-2}", false},
        {"{\"name\":\"e\",\"type\":4,\"permission\":0,\"remotePermission\":0}", false},
        {"{\"name\":\"f\",\"type\":-1,\"permission\":0,\"remotePermission\":0}", false},
        {"{\"name\":\"g\",\"permission\":0,\"remotePermission\":0}", false},
        {"{\"name\":\"h\",\"type\":1,\"remotePermission\":0}", false},
        {"{\"name\":\"i\",\"type\":1,\"permission\":0}", false},
        {"{\"name\":\"j\",\"type\":\"x\",\"permission\":0,\"remotePermission\":0}", false},
        {"{\"name\":\"k\",\"type\":1,\"permission\":4294967296,\"remotePermission\":0}", false},
        {"{\"name\":\"l\",\"type\":1,\"permission\":0,\"remotePermission\":0", false},
    };
    int next = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(post("/6071", c.body).out, c.accepted ? kTextHead + "id=" + std::to_string(next++) : "");
        EXPECT_FALSE(written(next));
    }
    EXPECT_EQ(at(0).permission, -1);
    EXPECT_EQ(at(0).remote_permission, -1);
    EXPECT_TRUE(nothing_sent());
}

// Names are compared as stored: cut to 63 characters, case kept.
TEST_F(UsersTest, AddRefusesANameAlreadyStored)
{
    const std::string shared(31, 'x');
    seed(user(0, "bob"));
    seed(user(1, shared + "-first-of-two"));
    const struct {
        std::string name;
        const char* reply;
        std::string stored;
    } cases[] = {
        {"bob", "SAMEUSER", ""},
        {"Bob", "id=2", "Bob"},
        {shared + "-first-of-two", "SAMEUSER", ""},
        {shared + "-second", "id=3", shared + "-second"},
        {std::string(80, 'y'), "id=4", std::string(63, 'y')},
        {std::string(80, 'y'), "SAMEUSER", ""},
        {std::string(63, 'y'), "SAMEUSER", ""},
    };
    int next = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(post("/6071", add_body(c.name)).out, kTextHead + c.reply);
        if (!c.stored.empty()) {
            EXPECT_EQ(std::string(at(next++).name), c.stored);
        }
        EXPECT_FALSE(written(next));
    }
    EXPECT_TRUE(nothing_sent());  // after the last refusal
}

class UsersChange : public UsersTest {
protected:
    UserRecord alice = user(4, "alice", 1, "old");
    void SetUp() override
    {
        UsersTest::SetUp();
        alice.permission = 3;
        alice.remote_permission = 6;
        put(alice.localliveview, "1111");
        // Masks on purpose unlike the strings, as a database may hold them.
        alice.local_live_view_mask = 0x100;
        alice.local_playback_mask = 0x200;
        alice.remote_live_view_mask = 0x400;
        alice.remote_playback_mask = 0x800;
        put(alice.added, "0");
        alice.reserved[0] = 0xAB;
        alice.reserved[32] = 0xCD;
        seed(alice);
        seed(user(9, "bob"));
    }
};

TEST_F(UsersChange, RefusalsLeaveTheRecord)
{
    const struct {
        const char* path;
        const char* body;
        std::string out;
    } cases[] = {
        {"/6072", "{\"id\":100,\"name\":\"x\"}", ""},   {"/6072", "{\"id\":-1,\"name\":\"x\"}", ""},
        {"/6072", "{\"name\":\"x\"}", ""},              {"/6072", "{\"id\":\"four\"}", ""},
        {"/6072", "{\"id\":4,\"type\":4}", ""},         {"/6072", "{\"id\":4,\"type\":-1}", ""},
        {"/6072", "[4]", ""},                           {"/6073", "{\"id\":100,\"type\":1}", ""},
        {"/6073", "{\"id\":-1,\"type\":1}", ""},        {"/6073", "{\"id\":4,\"type\":4}", ""},
        {"/6073", "{\"id\":4}", ""},                    {"/6073", "{\"type\":1}", ""},
        {"/6073", "{\"id\":4,", ""},
        {"/6072", "{\"id\":4,\"name\":\"bob\",\"password\":\"new\"}", kTextHead + "SAMEUSER"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.body);
        EXPECT_EQ(post(c.path, c.body).out, c.out);
        EXPECT_TRUE(same_bytes(bytes_of(at(4)), bytes_of(alice)));
    }
    EXPECT_TRUE(nothing_sent());  // after the last refusal
}

// Its own name is no clash; the permission summaries never change, and only
// a given channel string changes its mask.
TEST_F(UsersChange, OverwritesWhatIsGiven)
{
    EXPECT_EQ(post("/6072", "{\"id\":4,\"name\":\"alice\",\"type\":2,\"permission\":-1,\"remotePermission\":-1,"
                            "\"localCamera\":1,\"remoteShutdown\":1,\"remoteliveview\":\"" +
                                std::string(70, '1') + "\",\"password\":\"" + std::string(50, 'h') + "\"}")
                  .out,
              kTextHead + "OK");
    UserRecord want = alice;
    put(want.password, std::string(32, 'h'));
    want.type = 2;
    want.local_camera = 1;
    want.remote_shutdown = 1;
    put(want.remoteliveview, std::string(64, '1'));
    want.remote_live_view_mask = 0xFFFFFFFFu;
    EXPECT_TRUE(same_bytes(bytes_of(at(4)), bytes_of(want)));
    expect_notice(int32_bytes({4}));

    // A free slot is enabled where it is.
    EXPECT_EQ(post("/6072", "{\"id\":42,\"name\":\"zed\",\"localliveview\":\"0110\"}").out, kTextHead + "OK");
    want = user(42, "zed", 0, "");
    put(want.localliveview, "0110");
    want.local_live_view_mask = 0x6;
    EXPECT_TRUE(same_bytes(bytes_of(at(42)), bytes_of(want)));
    EXPECT_FALSE(written(0));
}

TEST_F(UsersChange, DeleteFreesTheSlotAndLogs)
{
    EXPECT_EQ(post("/6073", "{\"id\":4,\"type\":1}").out, kTextHead + "OK");
    UserRecord want = zeroed<UserRecord>();
    want.id = 4;
    EXPECT_TRUE(same_bytes(bytes_of(at(4)), bytes_of(want)));
    expect_notice(int32_bytes({4}), LOG_PARAM_USER_DELETE);
    const std::string list = get("/6070").out;
    EXPECT_EQ(list.find("\"alice\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"bob\""), std::string::npos) << list;
}

TEST_F(UsersTest, OemListShowsTheEnabledFactoryUsers)
{
    // Without the file: no output, and no file made.
    EXPECT_EQ(get("/6074").out, "");
    EXPECT_FALSE(root.exists("/mnt/nand2/oem.db"));
    for (int id = 0; id < 3; id++) {
        OemUserRecord r = zeroed<OemUserRecord>();
        r.id = id;
        r.enable = id != 1;
        put(r.name, "u" + std::to_string(id));
        put(r.password, "hash" + std::to_string(id));
        r.type = id;
        r.permission = id - 1;
        r.remote_permission = id + 4;
        ASSERT_EQ(vxdb_write(VXDB_OEM, kOemKind, id, &r, (int)sizeof r), 0);
    }
    vxdb_close_all();
    EXPECT_TRUE(json_reply_is(get("/6074").out,
                              "[{\"id\":0,\"enable\":1,\"name\":\"u0\",\"password\":\"hash0\",\"type\":0,"
                              "\"permission\":-1,\"remotePermission\":4},{\"id\":2,\"enable\":1,\"name\":\"u2\","
                              "\"password\":\"hash2\",\"type\":2,\"permission\":1,\"remotePermission\":6}]"));
}

TEST_F(UsersTest, TableNoticeAndPermissionFlag)
{
    EXPECT_EQ(post("/6077", "").out, kTextHead + "OK");
    expect_notice("");
    set_param("permission_update", 1);
    EXPECT_EQ(get("/1024").out, kTextHead + "OK");
    EXPECT_EQ(param("permission_update", -5), 0);
    EXPECT_TRUE(sent_all().empty());
}

}  // namespace

namespace {

// Eight browsers at once, as eight processes: each changes another right of
// alice, then each adds the name "carol". Every change is kept and the name
// is stored once.
TEST_F(UsersChange, ParallelChangesKeepEveryFieldAndParallelAddsOneName)
{
    const char* const rights[] = {"localLiveView", "localPlayback", "localRetrieve", "localSmartAnalysis",
                                  "localEvent", "localCamera", "localStorage", "localSettings"};
    auto in_parallel = [&](auto body_of) {
        vxdb_close_all();
        std::vector<std::thread> runs;
        std::vector<std::string> outs(8);
        for (int i = 0; i < 8; i++)
            runs.emplace_back([&, i] {
                CgiRequest r;
                r.method = "POST";
                r.path = body_of(i).first;
                r.body = body_of(i).second;
                r.content_type = "application/json";
                CgiResult res = run_cgi(root.path(), r);
                outs[(size_t)i] = res.out;
                EXPECT_EQ(res.status, 0) << r.path << " " << r.body;
            });
        for (std::thread& t : runs)
            t.join();
        return outs;
    };
    for (const std::string& out : in_parallel([&](int i) {
             return std::make_pair(std::string("/6072"),
                                   "{\"id\":4,\"" + std::string(rights[i]) + "\":" + std::to_string(10 + i) + "}");
         }))
        EXPECT_EQ(out, kTextHead + "OK");
    const UserRecord a = at(4);
    const int32_t got[] = {a.local_live_view, a.local_playback, a.local_retrieve, a.local_smart_analysis,
                           a.local_event, a.local_camera, a.local_storage, a.local_settings};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(got[i], 10 + i) << rights[i];

    const std::vector<std::string> outs =
        in_parallel([&](int) { return std::make_pair(std::string("/6071"), add_body("carol")); });
    EXPECT_EQ(std::count(outs.begin(), outs.end(), kTextHead + "SAMEUSER"), 7);
    int carols = 0;
    for (int id = 0; id < USER_MAX; id++) {
        const UserRecord u = at(id);
        carols += u.enable && std::string(u.name) == "carol";
    }
    EXPECT_EQ(carols, 1);
}

}  // namespace
