// User accounts "/6070" to "/6074", "/6077", "/1024": black-box through
// nvrweb.cgi against a fake core service and a scratch user table.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/oplog.h"
#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "modules/system/system.h"
#include "modules/system/system_user.h"
#include "platform/vxdb.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace {

const std::string kTextHead = "Content-type: text/plain\r\n\r\n";
const std::string kJsonHead = "Content-type: application/json\r\n\r\n";
const char* const kAddr = "192.168.1.20";
const char* const kActor = "admin";

const vxdb_kind kUserKind = {"user", (int)sizeof(UserRecord), 100};
const vxdb_kind kOemKind = {"oem_user", (int)sizeof(OemUserRecord), 100};

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

template <size_t N>
std::string text_of(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// Byte-for-byte equality with the first difference named.
::testing::AssertionResult same_bytes(const std::string& got, const std::string& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        i++;
    return ::testing::AssertionFailure() << "sizes " << got.size() << " / " << want.size()
                                         << ", first difference at byte " << i;
}

// The twenty rights in record order.
void set_rights(UserRecord* u, const int (&rights)[20])
{
    memcpy(reinterpret_cast<char*>(u) + offsetof(UserRecord, local_live_view), rights, sizeof rights);
}

UserRecord user(int id, const std::string& name, int type = 1, const std::string& password = "pw")
{
    UserRecord u = zeroed<UserRecord>();
    u.id = id;
    u.enable = 1;
    put(u.name, name);
    put(u.password, password);
    u.type = type;
    return u;
}

std::string log_record(int sub_type, int parameter)
{
    OperationLogRecord r = zeroed<OperationLogRecord>();
    r.main_type = 4;
    r.sub_type = sub_type;
    r.parameter = parameter;
    r.remote = 1;
    strcpy(r.ip, kAddr);
    strcpy(r.user, kActor);
    return bytes_of(r);
}

std::string json_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string json_text(const char* format, ...)
{
    char buf[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

class UsersCgi : public ::testing::Test {
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
    // The stored slot, or a zeroed record when the slot was never written.
    UserRecord stored(int id)
    {
        vxdb_close_all();
        UserRecord u;
        vxdb_read(VXDB_MAIN, kUserKind, id, &u);
        vxdb_close_all();
        return u;
    }
    bool slot_written(int id)
    {
        vxdb_close_all();
        UserRecord u;
        int rc = vxdb_read(VXDB_MAIN, kUserKind, id, &u);
        vxdb_close_all();
        return rc == 0;
    }

    CgiResult post(const std::string& path, const std::string& body)
    {
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.body = body;
        r.content_type = "application/json";
        r.cookie = "lang=en; userName=admin";
        r.remote_addr = kAddr;
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << path << " " << body;
        vxdb_close_all();
        return res;
    }
    CgiResult get(const std::string& path)
    {
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.path = path;
        r.remote_addr = kAddr;
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << path;
        vxdb_close_all();
        return res;
    }

    // Requests in the order the CGI sent them.
    std::vector<FakeRequest> sent()
    {
        std::vector<FakeRequest> v = core.requests();
        std::sort(v.begin(), v.end(), [](const FakeRequest& a, const FakeRequest& b) { return a.seq < b.seq; });
        return v;
    }
    // Waits for n requests of a code (sent without waiting, they may land
    // after the CGI ended).
    bool arrived(int code, size_t n) { return core.wait_for(code, n); }
    bool nothing_sent() { return !core.wait_for(REQ_USER_TABLE_CHANGED, 1, 300) && core.requests().empty(); }

    std::string list_body()
    {
        CgiResult res = get("/6070");
        if (res.out.compare(0, kJsonHead.size(), kJsonHead) != 0)
            return "<no JSON header: " + res.out + ">";
        return canon(res.out.substr(kJsonHead.size()));
    }
};

// ---- resource table ----------------------------------------------------------

const char* const kUserPaths[] = {"/1000", "/1018", "/6070", "/6071", "/6072", "/6073", "/6074", "/6077", "/1024"};

TEST(UserRegistry, PartRowsInOrderFirstInTheSystemTable)
{
    int n = 0;
    const WebResEntry* part = system_user_resources(&n);
    ASSERT_EQ(n, 9);
    for (int i = 0; i < n; i++) {
        EXPECT_STREQ(part[i].path, kUserPaths[i]);
        EXPECT_NE(part[i].handler, nullptr);
    }
    int total = 0;
    const WebResEntry* system = system_web_resources(&total);
    ASSERT_GE(total, 9);
    for (int i = 0; i < 9; i++) {
        EXPECT_STREQ(system[i].path, kUserPaths[i]);
        EXPECT_EQ(system[i].handler, part[i].handler);
    }
    int answers = 0;
    const IpcResponse* responses = system_user_responses(&answers);
    ASSERT_EQ(answers, 1);
    EXPECT_EQ(responses[0].code, 8504);
    EXPECT_EQ(responses[0].record_size, 4);
    EXPECT_EQ(responses[0].min_records, 1);

    register_web_modules();
    for (int i = 0; i < 9; i++) {
        const WebResEntry* e = FindWebRes(kUserPaths[i]);
        ASSERT_NE(e, nullptr) << kUserPaths[i];
        EXPECT_EQ(e->handler, part[i].handler);
    }
    unregister_web_modules();
}

// ---- list "/6070" --------------------------------------------------------------

TEST_F(UsersCgi, ListsEnabledUsersInSlotOrderWithTheirKeys)
{
    UserRecord a = user(0, "admin", 0, "0192023a7bbd73250516f069df18b500");
    int rights[20];
    for (int i = 0; i < 20; i++)
        rights[i] = i + 1;
    set_rights(&a, rights);
    a.permission = -1;
    a.remote_permission = 5;
    put(a.localliveview, "11");
    put(a.localplayback, "10");
    put(a.remoteliveview, "01");
    put(a.remoteplayback, std::string(65, '1'));  // a full field without its NUL
    seed(a);
    UserRecord off = user(3, "gone");
    off.enable = 0;
    seed(off);
    seed(user(7, "bob", 2, "x"));

    std::string zeros = "\"localLiveView\":0,\"localPlayback\":0,\"localRetrieve\":0,\"localSmartAnalysis\":0,"
                        "\"localEvent\":0,\"localCamera\":0,\"localStorage\":0,\"localSettings\":0,"
                        "\"localStatus\":0,\"localShutdown\":0,\"localliveview\":\"\",\"localplayback\":\"\","
                        "\"remotePermission\":0,\"remoteLiveView\":0,\"remotePlayback\":0,\"remoteRetrieve\":0,"
                        "\"remoteSmartAnalysis\":0,\"remoteEvent\":0,\"remoteCamera\":0,\"remoteStorage\":0,"
                        "\"remoteSettings\":0,\"remoteStatus\":0,\"remoteShutdown\":0,\"remoteliveview\":\"\","
                        "\"remoteplayback\":\"\"";
    std::string want = json_text(
        "[{\"id\":0,\"enable\":1,\"name\":\"admin\",\"password\":\"0192023a7bbd73250516f069df18b500\",\"type\":0,"
        "\"permission\":-1,\"localLiveView\":1,\"localPlayback\":2,\"localRetrieve\":3,\"localSmartAnalysis\":4,"
        "\"localEvent\":5,\"localCamera\":6,\"localStorage\":7,\"localSettings\":8,\"localStatus\":9,"
        "\"localShutdown\":10,\"localliveview\":\"11\",\"localplayback\":\"10\",\"remotePermission\":5,"
        "\"remoteLiveView\":11,\"remotePlayback\":12,\"remoteRetrieve\":13,\"remoteSmartAnalysis\":14,"
        "\"remoteEvent\":15,\"remoteCamera\":16,\"remoteStorage\":17,\"remoteSettings\":18,\"remoteStatus\":19,"
        "\"remoteShutdown\":20,\"remoteliveview\":\"01\",\"remoteplayback\":\"%s\"},"
        "{\"id\":7,\"enable\":1,\"name\":\"bob\",\"password\":\"x\",\"type\":2,\"permission\":0,%s}]",
        std::string(65, '1').c_str(), zeros.c_str());
    EXPECT_EQ(list_body(), canon(want));
    EXPECT_TRUE(core.requests().empty());
}

TEST_F(UsersCgi, EmptyTableListsNothing)
{
    EXPECT_EQ(get("/6070").out, kJsonHead + "[ ]");
}

// ---- add "/6071" ---------------------------------------------------------------

const char* const kFullAdd =
    "{\"name\":\"carol\",\"password\":\"abc\",\"type\":2,\"permission\":-1,\"remotePermission\":4,"
    "\"localLiveView\":1,\"localPlayback\":2,\"localRetrieve\":3,\"localSmartAnalysis\":4,\"localEvent\":5,"
    "\"localCamera\":6,\"localStorage\":7,\"localSettings\":8,\"localStatus\":9,\"localShutdown\":10,"
    "\"remoteLiveView\":11,\"remotePlayback\":12,\"remoteRetrieve\":13,\"remoteSmartAnalysis\":14,"
    "\"remoteEvent\":15,\"remoteCamera\":16,\"remoteStorage\":17,\"remoteSettings\":18,\"remoteStatus\":19,"
    "\"remoteShutdown\":20,\"localliveview\":\"101\",\"localplayback\":\"011\",\"remoteliveview\":\"1\","
    "\"remoteplayback\":\"0001\"}";

TEST_F(UsersCgi, AddTakesTheLowestFreeSlotAndStoresTheWholeRecord)
{
    seed(user(0, "admin", 0));
    seed(user(1, "bob"));
    UserRecord freed = user(2, "old");
    freed.enable = 0;
    seed(freed);
    seed(user(3, "dan"));

    EXPECT_EQ(post("/6071", kFullAdd).out, kTextHead + "id=2");

    UserRecord want = user(2, "carol", 2, "abc");
    want.permission = -1;
    want.remote_permission = 4;
    int rights[20];
    for (int i = 0; i < 20; i++)
        rights[i] = i + 1;
    set_rights(&want, rights);
    put(want.localliveview, "101");
    put(want.localplayback, "011");
    put(want.remoteliveview, "1");
    put(want.remoteplayback, "0001");
    want.local_live_view_mask = 0x5;
    want.local_playback_mask = 0x6;
    want.remote_live_view_mask = 0x1;
    want.remote_playback_mask = 0x8;
    put(want.added, "0");
    EXPECT_TRUE(same_bytes(bytes_of(stored(2)), bytes_of(want)));

    // The core service hears of it, then the log entry follows.
    ASSERT_TRUE(arrived(REQ_OPERATION_LOG, 1));
    std::vector<FakeRequest> requests = sent();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].code, REQ_USER_TABLE_CHANGED);
    EXPECT_EQ(requests[0].payload, "");
    EXPECT_EQ(requests[1].code, REQ_OPERATION_LOG);
    EXPECT_EQ(requests[1].payload, log_record(204, 921));
}

TEST_F(UsersCgi, AddWithOnlyTheRequiredKeysLeavesRightsAtZero)
{
    EXPECT_EQ(post("/6071", "{\"name\":\"min\",\"type\":3,\"permission\":0,\"remotePermission\":0}").out,
              kTextHead + "id=0");
    UserRecord want = user(0, "min", 3, "");
    put(want.added, "0");
    EXPECT_TRUE(same_bytes(bytes_of(stored(0)), bytes_of(want)));
}

TEST_F(UsersCgi, AddFillsUpToTheHundredthUserThenRefusesBeforeParsing)
{
    std::vector<UserRecord> users;
    for (int i = 0; i < 99; i++)
        users.push_back(user(i, "u" + std::to_string(i)));
    ASSERT_EQ(vxdb_write_range(VXDB_MAIN, kUserKind, 0, users.data(), 99, (int)sizeof(UserRecord)), 0);
    vxdb_close_all();

    EXPECT_EQ(post("/6071", "{\"name\":\"last\",\"type\":1,\"permission\":0,\"remotePermission\":0}").out,
              kTextHead + "id=99");
    EXPECT_EQ(text_of(stored(99).name), "last");
    ASSERT_TRUE(arrived(REQ_OPERATION_LOG, 1));

    for (const char* body : {"{\"name\":\"more\",\"type\":1,\"permission\":0,\"remotePermission\":0}",
                             "not JSON at all", "{\"type\":9}"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("/6071", body).out, kTextHead + "FAILED_FULL");
        EXPECT_TRUE(nothing_sent());
    }
}

TEST_F(UsersCgi, AddValidation)
{
    struct Case {
        const char* body;
        bool accepted;
    };
    const Case cases[] = {
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
        {"", false},
    };
    int next = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        CgiResult res = post("/6071", c.body);
        if (c.accepted) {
            EXPECT_EQ(res.out, kTextHead + "id=" + std::to_string(next));
            EXPECT_TRUE(arrived(REQ_OPERATION_LOG, 1));
            next++;
        } else {
            EXPECT_EQ(res.out, "");
            EXPECT_TRUE(nothing_sent());
            EXPECT_FALSE(slot_written(next));
        }
    }
    EXPECT_EQ(stored(0).permission, -1);
    EXPECT_EQ(stored(0).remote_permission, -1);
}

TEST_F(UsersCgi, AddOfATakenNameIsSameUser)
{
    seed(user(0, "bob"));
    EXPECT_EQ(post("/6071", "{\"name\":\"bob\",\"type\":1,\"permission\":0,\"remotePermission\":0}").out,
              kTextHead + "SAMEUSER");
    EXPECT_FALSE(slot_written(1));
    EXPECT_TRUE(nothing_sent());
    // Names are told apart by case.
    EXPECT_EQ(post("/6071", "{\"name\":\"Bob\",\"type\":1,\"permission\":0,\"remotePermission\":0}").out,
              kTextHead + "id=1");
}

TEST_F(UsersCgi, AddCutsEveryTextToItsField)
{
    std::string body = json_text(
        "{\"name\":\"%s\",\"password\":\"%s\",\"type\":1,\"permission\":0,\"remotePermission\":0,"
        "\"localliveview\":\"%s\",\"localplayback\":\"%s\",\"remoteliveview\":\"%s\",\"remoteplayback\":\"%s\"}",
        std::string(100, 'n').c_str(), std::string(40, 'p').c_str(), std::string(70, '1').c_str(),
        std::string(70, '0').c_str(), std::string(65, '1').c_str(), std::string(200, '1').c_str());
    EXPECT_EQ(post("/6071", body).out, kTextHead + "id=0");
    UserRecord u = stored(0);
    EXPECT_EQ(text_of(u.name), std::string(63, 'n'));
    EXPECT_EQ(u.name[63], '\0');
    EXPECT_EQ(text_of(u.password), std::string(32, 'p'));
    EXPECT_EQ(std::string(u.password + 32, 4), std::string(4, '\0'));
    EXPECT_EQ(text_of(u.localliveview), std::string(64, '1'));
    EXPECT_EQ(text_of(u.localplayback), std::string(64, '0'));
    EXPECT_EQ(text_of(u.remoteliveview), std::string(64, '1'));
    EXPECT_EQ(text_of(u.remoteplayback), std::string(64, '1'));
    EXPECT_EQ(u.localliveview[64], '\0');
    EXPECT_EQ(u.remoteplayback[64], '\0');
    // The bytes after the texts are untouched.
    EXPECT_EQ(u.type, 1);
    EXPECT_EQ(u.local_live_view_mask, 0xFFFFFFFFu);
    EXPECT_EQ(u.local_playback_mask, 0u);
}

TEST_F(UsersCgi, ChannelCharactersPastThe32ndSetNoMaskBit)
{
    // "1" at 0, 5, 31, 32, 40 and 63; another digit at 3.
    std::string s(64, '0');
    for (int i : {0, 5, 31, 32, 40, 63})
        s[(size_t)i] = '1';
    s[3] = '2';
    std::string only_high = std::string(32, '0') + std::string(32, '1');
    std::string body = json_text(
        "{\"name\":\"m\",\"type\":1,\"permission\":0,\"remotePermission\":0,\"localliveview\":\"%s\","
        "\"localplayback\":\"%s\",\"remoteliveview\":\"11\",\"remoteplayback\":\"%s\"}",
        s.c_str(), only_high.c_str(), std::string(100, '1').c_str());
    EXPECT_EQ(post("/6071", body).out, kTextHead + "id=0");
    UserRecord u = stored(0);
    EXPECT_EQ(u.local_live_view_mask, (1u << 0) | (1u << 5) | (1u << 31));
    EXPECT_EQ(u.local_playback_mask, 0u);
    EXPECT_EQ(u.remote_live_view_mask, 3u);
    EXPECT_EQ(u.remote_playback_mask, 0xFFFFFFFFu);
}

TEST_F(UsersCgi, NamesAreComparedAsTheyAreStored)
{
    // Two names that share their first 31 characters are two users; the same
    // long name twice is one.
    std::string long_name = std::string(31, 'x') + "-first-of-two";
    seed(user(0, long_name));
    std::string body = "{\"name\":\"" + long_name + "\",\"type\":1,\"permission\":0,\"remotePermission\":0}";
    EXPECT_EQ(post("/6071", body).out, kTextHead + "SAMEUSER");
    std::string other = std::string(31, 'x') + "-second";
    body = "{\"name\":\"" + other + "\",\"type\":1,\"permission\":0,\"remotePermission\":0}";
    EXPECT_EQ(post("/6071", body).out, kTextHead + "id=1");
    EXPECT_EQ(text_of(stored(1).name), other);

    // A name past 63 characters is stored cut, and found cut.
    std::string too_long(80, 'y');
    body = "{\"name\":\"" + too_long + "\",\"type\":1,\"permission\":0,\"remotePermission\":0}";
    EXPECT_EQ(post("/6071", body).out, kTextHead + "id=2");
    EXPECT_EQ(post("/6071", body).out, kTextHead + "SAMEUSER");
    body = "{\"name\":\"" + std::string(63, 'y') + "\",\"type\":1,\"permission\":0,\"remotePermission\":0}";
    EXPECT_EQ(post("/6071", body).out, kTextHead + "SAMEUSER");
}

// ---- change "/6072" ------------------------------------------------------------

class UsersChange : public UsersCgi {
protected:
    UserRecord alice, bob;
    void SetUp() override
    {
        UsersCgi::SetUp();
        alice = user(4, "alice", 1, "old");
        alice.permission = 3;
        alice.remote_permission = 6;
        put(alice.localliveview, "1111");
        put(alice.localplayback, "0");
        // Masks as the database holds them, on purpose unlike the strings.
        alice.local_live_view_mask = 0x100;
        alice.local_playback_mask = 0x200;
        alice.remote_live_view_mask = 0x400;
        alice.remote_playback_mask = 0x800;
        put(alice.added, "0");
        alice.reserved[0] = 0xAB;
        alice.reserved[32] = 0xCD;
        seed(alice);
        bob = user(9, "bob");
        seed(bob);
    }
};

TEST_F(UsersChange, RenameToAnotherUsersNameIsSameUser)
{
    EXPECT_EQ(post("/6072", "{\"id\":4,\"name\":\"bob\",\"password\":\"new\"}").out, kTextHead + "SAMEUSER");
    EXPECT_TRUE(same_bytes(bytes_of(stored(4)), bytes_of(alice)));
    EXPECT_TRUE(nothing_sent());
}

TEST_F(UsersChange, RenameToItsOwnNameIsAccepted)
{
    EXPECT_EQ(post("/6072", "{\"id\":4,\"name\":\"alice\",\"password\":\"new\"}").out, kTextHead + "OK");
    UserRecord want = alice;
    put(want.password, "new");
    EXPECT_TRUE(same_bytes(bytes_of(stored(4)), bytes_of(want)));
    ASSERT_TRUE(arrived(REQ_USER_TABLE_CHANGED, 1));
    std::vector<FakeRequest> requests = sent();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].payload, int32_bytes({4}));
}

TEST_F(UsersChange, OverwritesWhatIsGivenButNeverThePermissionSummaries)
{
    std::string body = json_text(
        "{\"id\":4,\"name\":\"alicia\",\"type\":2,\"permission\":-1,\"remotePermission\":-1,"
        "\"localCamera\":1,\"remoteShutdown\":1,\"remoteliveview\":\"%s\",\"password\":\"%s\"}",
        std::string(70, '1').c_str(), std::string(50, 'h').c_str());
    EXPECT_EQ(post("/6072", body).out, kTextHead + "OK");
    UserRecord want = alice;
    put(want.name, "alicia");
    put(want.password, std::string(32, 'h'));
    want.type = 2;
    want.local_camera = 1;
    want.remote_shutdown = 1;
    put(want.remoteliveview, std::string(64, '1'));
    // The string given changes its own mask; the others stay as stored.
    want.remote_live_view_mask = 0xFFFFFFFFu;
    EXPECT_TRUE(same_bytes(bytes_of(stored(4)), bytes_of(want)));
}

TEST_F(UsersChange, ChangeOfAFreeSlotEnablesItInThatSlot)
{
    EXPECT_EQ(post("/6072", "{\"id\":42,\"name\":\"zed\",\"type\":2,\"localliveview\":\"0110\"}").out,
              kTextHead + "OK");
    UserRecord want = zeroed<UserRecord>();
    want.id = 42;
    want.enable = 1;
    put(want.name, "zed");
    want.type = 2;
    put(want.localliveview, "0110");
    want.local_live_view_mask = 0x6;
    EXPECT_TRUE(same_bytes(bytes_of(stored(42)), bytes_of(want)));
    EXPECT_FALSE(slot_written(0));
    ASSERT_TRUE(arrived(REQ_USER_TABLE_CHANGED, 1));
    EXPECT_EQ(sent()[0].payload, int32_bytes({42}));
    EXPECT_NE(list_body().find("\"name\":\"zed\""), std::string::npos);
}

TEST_F(UsersChange, RefusesIdsOutsideTheTableAndLevelsOutsideZeroToThree)
{
    for (const char* body : {"{\"id\":100,\"name\":\"x\"}", "{\"id\":-1,\"name\":\"x\"}", "{\"name\":\"x\"}",
                             "{\"id\":\"four\"}", "{\"id\":4,\"type\":4}", "{\"id\":4,\"type\":-1}", "[4]",
                             "nope"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("/6072", body).out, "");
        EXPECT_TRUE(nothing_sent());
    }
    EXPECT_TRUE(same_bytes(bytes_of(stored(4)), bytes_of(alice)));
}

// ---- delete "/6073" ------------------------------------------------------------

TEST_F(UsersChange, DeleteFreesTheSlotAndLogs)
{
    EXPECT_EQ(post("/6073", "{\"id\":4,\"type\":1}").out, kTextHead + "OK");
    UserRecord want = zeroed<UserRecord>();
    want.id = 4;
    EXPECT_TRUE(same_bytes(bytes_of(stored(4)), bytes_of(want)));
    ASSERT_TRUE(arrived(REQ_OPERATION_LOG, 1));
    std::vector<FakeRequest> requests = sent();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].code, REQ_USER_TABLE_CHANGED);
    EXPECT_EQ(requests[0].payload, int32_bytes({4}));
    EXPECT_EQ(requests[1].code, REQ_OPERATION_LOG);
    EXPECT_EQ(requests[1].payload, log_record(204, 922));

    std::string list = list_body();
    EXPECT_EQ(list.find("\"alice\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"bob\""), std::string::npos) << list;
    // The freed slot is the next one an add takes.
    EXPECT_EQ(post("/6071", "{\"name\":\"new\",\"type\":1,\"permission\":0,\"remotePermission\":0}").out,
              kTextHead + "id=0");
}

TEST_F(UsersChange, DeleteValidation)
{
    for (const char* body : {"{\"id\":100,\"type\":1}", "{\"id\":-1,\"type\":1}", "{\"id\":4,\"type\":4}",
                             "{\"id\":4}", "{\"type\":1}", "{\"id\":4,\"type\":-1}", "", "{\"id\":4,"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("/6073", body).out, "");
        EXPECT_TRUE(nothing_sent());
    }
    EXPECT_TRUE(same_bytes(bytes_of(stored(4)), bytes_of(alice)));
}

// ---- factory users "/6074" -----------------------------------------------------

TEST_F(UsersCgi, OemListWithoutTheFileIsNoOutputAndMakesNoFile)
{
    EXPECT_EQ(get("/6074").out, "");
    EXPECT_FALSE(root.exists("/mnt/nand2/oem.db"));
}

TEST_F(UsersCgi, OemListShowsTheEnabledFactoryUsers)
{
    auto oem = [](int id, int enable, const char* name, int type, int permission, int remote) {
        OemUserRecord r = zeroed<OemUserRecord>();
        r.id = id;
        r.enable = enable;
        put(r.name, name);
        put(r.password, std::string("hash-") + name);
        r.type = type;
        r.permission = permission;
        r.remote_permission = remote;
        return r;
    };
    const OemUserRecord records[] = {oem(0, 1, "factory", 0, -1, -1), oem(1, 0, "off", 1, 0, 0),
                                     oem(2, 1, "service", 2, 5, 6)};
    for (const OemUserRecord& r : records)
        ASSERT_EQ(vxdb_write(VXDB_OEM, kOemKind, r.id, &r, (int)sizeof r), 0);
    vxdb_close_all();
    CgiResult res = get("/6074");
    ASSERT_EQ(res.out.compare(0, kJsonHead.size(), kJsonHead), 0) << res.out;
    EXPECT_EQ(canon(res.out.substr(kJsonHead.size())),
              canon("[{\"id\":0,\"enable\":1,\"name\":\"factory\",\"password\":\"hash-factory\",\"type\":0,"
                    "\"permission\":-1,\"remotePermission\":-1},"
                    "{\"id\":2,\"enable\":1,\"name\":\"service\",\"password\":\"hash-service\",\"type\":2,"
                    "\"permission\":5,\"remotePermission\":6}]"));
}

// ---- "/6077" and "/1024" -------------------------------------------------------

TEST_F(UsersCgi, TableChangedNoticeHasNoPayload)
{
    EXPECT_EQ(post("/6077", "").out, kTextHead + "OK");
    ASSERT_TRUE(arrived(REQ_USER_TABLE_CHANGED, 1));
    std::vector<FakeRequest> requests = sent();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].payload, "");
}

TEST_F(UsersCgi, ClearPermissionUpdate)
{
    ASSERT_EQ(set_param_int(VXDB_MAIN, "permission_update", 1), 0);
    vxdb_close_all();
    EXPECT_EQ(get("/1024").out, kTextHead + "OK");
    EXPECT_EQ(get_param_int(VXDB_MAIN, "permission_update", -5), 0);
    vxdb_close_all();
    EXPECT_TRUE(core.requests().empty());
}

}  // namespace
