// Replies and utilities: exact header and error bytes, cookie user, web_system, operation-log record, chip text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <json-c/json.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "core/oplog.h"
#include "core/reply.h"
#include "frontend/cgi_env.h"
#include "frontend/multipart.h"
#include "platform/vxfs_log.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace {

const std::string kText = "Content-type: text/plain\r\n\r\n";
const std::string kJson = "Content-type: application/json\r\n\r\n";

class Capture {
public:
    Capture() : saved_(cgiOut), file_(tmpfile()) { cgiOut = file_; }
    ~Capture()
    {
        cgiOut = saved_;
        fclose(file_);
    }
    std::string text()
    {
        fflush(file_);
        rewind(file_);
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, file_)) > 0)
            out.append(buf, n);
        return out;
    }

private:
    FILE* saved_;
    FILE* file_;
};

TEST(Reply, HeaderBytes)
{
    EXPECT_EQ(kText.size(), 28u);
    EXPECT_EQ(kJson.size(), 34u);
    struct Row {
        int type;
        const char* body;
        std::string out;
    };
    const Row rows[] = {
        {0, "hi", kText + "hi"},
        {1, "{\"a\":1}", kJson + "{\"a\":1}"},
        {2, "x", "x"},
        {3, "x", "x"},
        {-1, "x", "x"},
        {0, "", kText},
        {0, "100%d %s", kText + "100%d %s"},  // printed unchanged
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        Capture out;
        EXPECT_EQ(cgi_writeback_webserver(row.type, row.body), 0);
        EXPECT_EQ(out.text(), row.out);
    }
    for (int type : {0, 1, 2}) {
        Capture out;
        EXPECT_EQ(cgi_writeback_webserver(type, nullptr), -1);
        EXPECT_EQ(out.text(), "");
    }
}

TEST(Reply, ErrorBodies)
{
    struct Row {
        int type;
        std::string out;
    };
    const Row rows[] = {
        {0, kText + "CGI ERROR"},
        {1, kJson + "{status:\"CGI ERROR\"}"},
        {2, ""},
        {-1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        Capture out;
        EXPECT_EQ(cgi_error_to_webserver(row.type), 0);
        EXPECT_EQ(out.text(), row.out);
    }
    EXPECT_EQ(std::string("{status:\"CGI ERROR\"}").size(), 20u);
}

TEST(Reply, JsonObjectIsPrintedAndReleased)
{
    Capture out;
    json_object* o = json_object_new_object();
    json_object_object_add(o, "res", json_object_new_int(3));
    EXPECT_EQ(cgi_writeback_json(1, o), 0);
    EXPECT_EQ(out.text(), kJson + "{ \"res\": 3 }");
    EXPECT_EQ(cgi_writeback_json(1, nullptr), -1);
}

TEST(Reply, HeaderWriters)
{
    char text[64];
    cgi_cookie_expiry(0, text, sizeof text);
    EXPECT_STREQ(text, "Thu, 01-Jan-1970 00:00:00 GMT");
    cgi_cookie_expiry(1709251199, text, sizeof text);  // a leap day, UTC
    EXPECT_STREQ(text, "Thu, 29-Feb-2024 23:59:59 GMT");

    Capture out;
    cgiHeaderLocation("/index.html");
    cgiHeaderCookieSetString("userName", "admin", 3600, "/", "10.0.0.1");
    std::string got = out.text();
    const std::string location = "Location: /index.html\r\n\r\n";
    ASSERT_EQ(got.compare(0, location.size(), location), 0) << got;
    EXPECT_TRUE(std::regex_match(
        got.substr(location.size()),
        std::regex("Set-Cookie: userName=admin; domain=10\\.0\\.0\\.1; expires=(Sun|Mon|Tue|Wed|Thu|Fri|Sat), "
                   "\\d\\d-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\\d{4} \\d\\d:\\d\\d:\\d\\d GMT; "
                   "path=/\r\n")))
        << got;
}

TEST(Reply, CookieUserNames)
{
    const std::string long_name(200, 'u');
    struct Row {
        std::string cookie;
        int rc;
        std::string name;
    };
    const Row rows[] = {
        {"lang=en; userName=admin; theme=dark", 0, "admin"},
        {"userName=admin", 0, "admin"},
        {"lang=en; userName=admin", 0, "admin"},
        {"userName2=bob", 0, "bob"},
        {"userName=a=b", 0, "b"},
        {"userName=", 0, ""},
        {"userName=dave; userName=erin", 0, "dave"},
        {"xuserName=carl; y=1", 0, "carl"},
        {"userName=%61dmin", 0, "%61dmin"},
        {"userName=" + long_name, 0, long_name.substr(0, 63)},
        {"lang=en", -1, "untouched"},
        {"username=admin", -1, "untouched"},
        {"", -1, "untouched"},
    };
    const char* saved = cgiCookie;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cookie);
        cgiCookie = row.cookie.c_str();
        char out[64];
        strcpy(out, "untouched");
        EXPECT_EQ(get_current_username(out), row.rc);
        EXPECT_EQ(std::string(out), row.name);
    }
    cgiCookie = "userName=abcdefghij";
    char small[9];
    memset(small, '#', sizeof small);
    EXPECT_EQ(get_current_username(small, 8), 0);
    EXPECT_STREQ(small, "abcdefg");
    EXPECT_EQ(small[8], '#');
    cgiCookie = saved;
}

TEST(Reply, WebSystemExitCodes)
{
    ScratchRoot root;
    struct Row {
        std::string command;
        int rc;
    };
    const Row rows[] = {
        {"exit 0", 0},
        {"true", 0},
        {"exit 1", -1},
        {"exit 3", -1},
        {"false", -1},
        {"kill -9 $$", -1},
        {"/no/such/program", -1},
        {"touch " + root.at("/tmp/ran"), 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(web_system(row.command.c_str()), row.rc) << row.command;
    EXPECT_TRUE(root.exists("/tmp/ran"));
    EXPECT_EQ(web_system(nullptr), -1);
}

TEST(Reply, WebSystemOutputGoesNowhere)
{
    fflush(stdout);
    FILE* sink = tmpfile();
    int saved = dup(1);
    dup2(fileno(sink), 1);
    int rc = web_system("echo leaked");
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    EXPECT_EQ(rc, 0);
    fseek(sink, 0, SEEK_END);
    EXPECT_EQ(ftell(sink), 0L);
    fclose(sink);
}

TEST(Reply, FileLock)
{
    ScratchRoot root;
    const std::string path = root.at("/tmp/lockfile");
    EXPECT_EQ(file_lock(nullptr), -1);
    int fd = file_lock(path.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(root.exists("/tmp/lockfile"));
    auto other_can_lock = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            int f = open(path.c_str(), O_RDWR);
            _exit(f >= 0 && lockf(f, F_TEST, 0) == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(other_can_lock());
    file_unlock(fd);
    EXPECT_TRUE(other_can_lock());
    file_unlock(-1);  // nothing happens
}

TEST(Reply, MacAddressesHaveTheirForm)
{
    char eth0[18], eth1[18];
    EXPECT_EQ(get_mac_addr(eth0, eth1), 0);
    const std::regex form("[0-9A-F]{2}(:[0-9A-F]{2}){5}");
    EXPECT_TRUE(std::regex_match(eth0, form)) << eth0;
    EXPECT_TRUE(std::regex_match(eth1, form)) << eth1;
}

class ChipInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_.use_in_process();
        const char* path = getenv("PATH");
        saved_path_ = path ? path : "";
    }
    void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }
    ScratchRoot root_;
    std::string saved_path_;
};

TEST_F(ChipInfo, ReadsTheReadOldLine)
{
    setenv("PATH", (source_dir() + "/tools:/usr/bin:/bin").c_str(), 1);
    char out[128];
    memset(out, 0, sizeof out);
    EXPECT_EQ(get_chip_info(out, sizeof out), 0);
    EXPECT_STREQ(out, "ABCDEF0123\n");
    EXPECT_FALSE(root_.exists("/tmp/chipinfo.txt"));

    char small[6];
    memset(small, '#', sizeof small);
    EXPECT_EQ(get_chip_info(small, 5), 0);
    EXPECT_STREQ(small, "ABCD");
    EXPECT_EQ(small[5], '#');
}

TEST_F(ChipInfo, MissingToolGivesMinusOne)
{
    setenv("PATH", "/usr/bin:/bin", 1);
    char out[64] = "untouched";
    EXPECT_EQ(get_chip_info(out, sizeof out), -1);
    EXPECT_FALSE(root_.exists("/tmp/chipinfo.txt"));
    EXPECT_EQ(get_chip_info(nullptr, 10), -1);
}

// Operation-log records: every byte in place.
struct RecordView {
    std::string b;
    int32_t i32(size_t off) const
    {
        int32_t v;
        memcpy(&v, b.data() + off, 4);
        return v;
    }
    std::string text(size_t off, size_t size) const
    {
        std::string field = b.substr(off, size);
        return field.substr(0, field.find('\0'));
    }
    bool zero(size_t from, size_t to) const
    {
        for (size_t i = from; i < to; i++)
            if (b[i] != '\0')
                return false;
        return true;
    }
};

void expect_record(const RecordView& r, int sub, int param, int chan, const std::string& ip,
                   const std::string& user)
{
    ASSERT_EQ(r.b.size(), 672u);
    EXPECT_EQ(r.i32(0), 4);
    EXPECT_TRUE(r.zero(4, 8));
    EXPECT_EQ(r.i32(8), sub);
    EXPECT_EQ(r.i32(12), 0);
    EXPECT_TRUE(r.zero(16, 20));
    EXPECT_EQ(r.i32(20), 0);
    EXPECT_EQ(r.i32(24), param);
    EXPECT_EQ(r.i32(28), 1);
    EXPECT_EQ(r.i32(32), chan);
    EXPECT_EQ(r.text(36, 46), ip);
    EXPECT_TRUE(r.zero(36 + ip.size(), 82));  // NUL-terminated, rest zero
    EXPECT_EQ(r.text(82, 64), user);
    EXPECT_TRUE(r.zero(82 + user.size(), 146));
    EXPECT_TRUE(r.zero(146, 148));
}

class OperationLog : public ::testing::Test {
protected:
    RecordView run(const std::string& query, const std::string& cookie, const std::string& addr)
    {
        FakeCore fake(root_.path());
        CgiRequest r;
        r.path = "/tlog";
        r.query = query;
        r.cookie = cookie;
        r.remote_addr = addr;
        r.test_entry = true;
        CgiResult res = run_cgi(root_.path(), r);
        EXPECT_EQ(res.out, kText + "OK");
        EXPECT_TRUE(fake.wait_for(3485, 1));
        auto reqs = fake.requests(3485);
        EXPECT_EQ(reqs.size(), 1u);
        return RecordView{reqs.empty() ? std::string() : reqs[0].payload};
    }
    ScratchRoot root_;
};

TEST_F(OperationLog, EveryFieldAtItsOffset)
{
    RecordView r = run("204", "lang=en; userName=admin; theme=dark", "192.168.1.20");
    expect_record(r, 204, 900, 7, "192.168.1.20", "admin");
    EXPECT_EQ(r.i32(148), 0);
    EXPECT_TRUE(r.zero(152, 672));
}

TEST_F(OperationLog, LongAddressAndUserAreCut)
{
    const std::string addr = "fe80:0000:0000:0000:0212:34ff:fe56:7890%eth0-extra-text";  // 55 characters
    const std::string user(200, 'w');
    RecordView r = run("70000", "userName=" + user, addr);
    expect_record(r, 70000, 900, 7, addr.substr(0, 45), user.substr(0, 63));
}

TEST_F(OperationLog, NoCookieGivesEmptyUser)
{
    RecordView r = run("-2", "", "10.0.0.9");
    expect_record(r, -2, 900, 7, "10.0.0.9", "");
}

TEST(OperationLogRecord, InitAndDetail)
{
    EXPECT_EQ(cgi_init_log_info(nullptr), -1);
    const char* saved_cookie = cgiCookie;
    const char* saved_addr = cgiRemoteAddr;
    cgiCookie = "userName=ops";
    cgiRemoteAddr = "172.16.0.5";
    OperationLogRecord rec;
    memset(&rec, 0xAB, sizeof rec);
    EXPECT_EQ(cgi_init_log_info(&rec), 0);
    RecordView v{std::string(reinterpret_cast<const char*>(&rec), sizeof rec)};
    expect_record(v, 0, 0, 0, "172.16.0.5", "ops");
    EXPECT_TRUE(v.zero(148, 672));

    // The detail block and its size.
    std::string block(208, '\0');
    for (size_t i = 0; i < block.size(); i++)
        block[i] = (char)(i * 7 + 1);
    EXPECT_EQ(vxfs_log_pack_detail(&rec, 101, block.data(), (int)block.size()), 0);
    v.b.assign(reinterpret_cast<const char*>(&rec), sizeof rec);
    EXPECT_EQ(v.i32(148), 208);
    EXPECT_EQ(v.b.substr(152, 208), block);
    EXPECT_TRUE(v.zero(152 + 208, 672));
    expect_record(v, 0, 0, 0, "172.16.0.5", "ops");

    // A longer block is cut to the 512-byte area.
    std::string big(600, 'Z');
    EXPECT_EQ(vxfs_log_pack_detail(&rec, 110, big.data(), (int)big.size()), 0);
    v.b.assign(reinterpret_cast<const char*>(&rec), sizeof rec);
    EXPECT_EQ(v.i32(148), 512);
    EXPECT_EQ(v.b.substr(152, 512), big.substr(0, 512));
    EXPECT_TRUE(v.zero(664, 672));
    EXPECT_EQ(vxfs_log_pack_detail(nullptr, 101, block.data(), 4), -1);
    cgiCookie = saved_cookie;
    cgiRemoteAddr = saved_addr;
}

TEST(OperationLogRecord, WriteSendsDetailAndUser)
{
    ScratchRoot root;
    root.use_in_process();
    setenv("NVRWEB_IPC_MAX_SENDS", "5", 1);
    const char* saved_cookie = cgiCookie;
    const char* saved_addr = cgiRemoteAddr;
    cgiCookie = "";
    cgiRemoteAddr = "10.1.1.1";
    FakeCore fake(root.path());
    const std::string detail(20, '\x11');
    cgi_write_operation_log(206, 904, 3, 107, detail.data(), (int)detail.size(), "carol");
    ASSERT_TRUE(fake.wait_for(3485, 1));
    RecordView v{fake.requests(3485).at(0).payload};
    expect_record(v, 206, 904, 3, "10.1.1.1", "carol");
    EXPECT_EQ(v.i32(148), 20);
    EXPECT_EQ(v.b.substr(152, 20), detail);
    EXPECT_TRUE(v.zero(172, 672));
    unsetenv("NVRWEB_IPC_MAX_SENDS");
    cgiCookie = saved_cookie;
    cgiRemoteAddr = saved_addr;
}

}  // namespace
