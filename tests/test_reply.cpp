// Replies and utilities: exact header and error bytes, cookie user, web_system, operation-log record, chip text.
#include <fcntl.h>
#include <json-c/json.h>
#include <regex>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utility>

#include "core/reply.h"
#include "core/web_utils.h"
#include "frontend/cgi_env.h"
#include "frontend/multipart.h"
#include "platform/vxfs_log.h"
#include "tests/support/capture.h"
#include "tests/support/handler_test.h"

namespace {

// The 672-byte operation-log record by raw offsets: main type, sub type (64 bits), parameter, remote,
// channel, address (46), user (64), detail size, detail (512).
std::string record(int sub, int param, int chan, const std::string& ip, const std::string& user,
                   const std::string& detail = "")
{
    std::string b(672, '\0');
    for (auto [at, v] : {std::pair<size_t, int>{0, 4}, {8, sub}, {24, param}, {28, 1}, {32, chan}, {148, (int)detail.size()}})
        memcpy(&b[at], &v, 4);
    return b.replace(36, ip.size(), ip).replace(82, user.size(), user).replace(152, detail.size(), detail);
}

TEST(Reply, BodiesAndErrorBodiesByteForByte)
{
    const std::string text = "Content-type: text/plain\r\n\r\n", json = "Content-type: application/json\r\n\r\n";
    const std::tuple<int, const char*, int, std::string> rows[] = {
        {0, "hi", 0, text + "hi"}, {1, "{\"a\":1}", 0, json + "{\"a\":1}"}, {2, "x", 0, "x"}, {-1, "x", 0, "x"},
        {0, "", 0, text}, {0, "100%d %s", 0, text + "100%d %s"}, {0, nullptr, -1, ""}, {2, nullptr, -1, ""}};
    for (const auto& [type, body, rc, want] : rows) {
        Capture out;
        EXPECT_EQ(cgi_writeback_webserver(type, body), rc);
        EXPECT_EQ(out.text(), want) << type;
    }
    for (auto [type, want] : {std::pair{0, text + "CGI ERROR"}, std::pair{1, json + "{status:\"CGI ERROR\"}"},
                              std::pair{2, std::string()}, std::pair{-1, std::string()}}) {
        Capture out;
        EXPECT_EQ(cgi_error_to_webserver(type), 0);
        EXPECT_EQ(out.text(), want) << type;
    }
    Capture out;
    json_object* o = json_object_new_object();
    json_object_object_add(o, "res", json_object_new_int(3));
    EXPECT_EQ(cgi_writeback_json(1, o), 0);  // printed and released
    EXPECT_EQ(cgi_writeback_json(1, nullptr), -1);
    EXPECT_EQ(out.text(), json + "{ \"res\": 3 }");
}

TEST(Reply, LocationAndCookieHeaders)
{
    char text[64];
    cgi_cookie_expiry(0, text, sizeof text);
    EXPECT_STREQ(text, "Thu, 01-Jan-1970 00:00:00 GMT");
    cgi_cookie_expiry(1709251199, text, sizeof text);  // a leap day, UTC
    EXPECT_STREQ(text, "Thu, 29-Feb-2024 23:59:59 GMT");
    Capture out;
    cgiHeaderLocation("/index.html");
    cgiHeaderCookieSetString("userName", "admin", 3600, "/", "10.0.0.1");
    EXPECT_TRUE(std::regex_match(out.text(), std::regex("Location: /index.html\r\n\r\nSet-Cookie: userName=admin; "
                                                        "domain=10\\.0\\.0\\.1; expires=[A-Z][a-z]{2}, \\d\\d-[A-Z][a-z]"
                                                        "{2}-\\d{4} \\d\\d:\\d\\d:\\d\\d GMT; path=/\r\n")))
        << out.text();
}

TEST(Reply, CookieUserNames)
{
    const std::string u200(200, 'u');
    const std::tuple<std::string, int, std::string> rows[] = {
        {"lang=en; userName=admin; theme=dark", 0, "admin"}, {"lang=en; userName=admin", 0, "admin"},
        {"userName2=bob", 0, "bob"}, {"userName=a=b", 0, "b"}, {"userName=", 0, ""},
        {"userName=dave; userName=erin", 0, "dave"}, {"xuserName=carl; y=1", 0, "carl"},
        {"userName=%61dmin", 0, "%61dmin"}, {"userName=" + u200, 0, u200.substr(0, 63)}, {"lang=en", -1, "untouched"},
        {"username=admin", -1, "untouched"}, {"", -1, "untouched"}};
    const char* saved = request_context().cookie;
    for (const auto& [cookie, rc, name] : rows) {
        request_context().cookie = cookie.c_str();
        char out[65] = "untouched";
        out[64] = '#';
        EXPECT_EQ(get_current_username(out), rc) << cookie;
        EXPECT_EQ(std::string(out) + out[64], name + "#") << cookie;
    }
    request_context().cookie = "userName=abcdefghij";
    char small[9];
    memset(small, '#', sizeof small);
    EXPECT_EQ(get_current_username(small, 8), 0);
    EXPECT_EQ(std::string(small, 9), std::string("abcdefg\0#", 9));
    request_context().cookie = saved;
}

TEST(Reply, WebSystemExitCodesAndNoOutput)
{
    fflush(stdout);
    FILE* sink = tmpfile();
    int saved = dup(1);
    dup2(fileno(sink), 1);  // the command's output must not reach the reply
    const std::pair<std::string, int> rows[] = {
        {"exit 0", 0}, {"exit 3", -1}, {"kill -9 $$", -1}, {"/no/such/program 2>/dev/null", -1}, {"echo leaked", 0}};
    for (const auto& [command, rc] : rows)
        EXPECT_EQ(web_system(command.c_str()), rc) << command;
    EXPECT_EQ(web_system(nullptr), -1);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    EXPECT_EQ(lseek(fileno(sink), 0, SEEK_END), 0);
    fclose(sink);
}

TEST(Reply, FileLockMacAndChipInfo)
{
    ScratchRoot root;
    root.use_in_process();
    const std::string path = root.at("/tmp/lockfile");
    auto other_can_lock = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            int f = open(path.c_str(), O_RDWR);
            _exit(f >= 0 && lockf(f, F_TEST, 0) == 0 ? 0 : 1);
        }
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_EQ(file_lock(nullptr), -1);
    int fd = file_lock(path.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(other_can_lock());
    file_unlock(fd);
    EXPECT_TRUE(other_can_lock());

    char eth0[18], eth1[18];
    EXPECT_EQ(get_mac_addr(eth0, eth1), 0);
    EXPECT_TRUE(std::regex_match(std::string(eth0) + " " + eth1, std::regex("([0-9A-F]{2}(:[0-9A-F]{2}){5} ?){2}")));

    const std::string saved_path = getenv("PATH");
    setenv("PATH", (source_dir() + "/tools:/usr/bin:/bin").c_str(), 1);  // the chip tool is found by name
    char out[128] = {0}, small[6];
    EXPECT_EQ(get_chip_info(out, sizeof out), 0);
    EXPECT_STREQ(out, "ABCDEF0123\n");
    memset(small, '#', sizeof small);
    EXPECT_EQ(get_chip_info(small, 5), 0);
    EXPECT_EQ(std::string(small, 6), std::string("ABCD\0#", 6));
    setenv("PATH", "/usr/bin:/bin", 1);
    EXPECT_EQ(get_chip_info(out, sizeof out), -1);
    EXPECT_EQ(get_chip_info(nullptr, 10), -1);
    setenv("PATH", saved_path.c_str(), 1);
    EXPECT_FALSE(root.exists("/tmp/chipinfo.txt"));
}

// Through the test entry: the record of /tlog (sub type from the query, parameter 900, object 7).
TEST(OperationLog, RecordOnTheWire)
{
    ScratchRoot root;
    const std::string addr = "fe80:0000:0000:0000:0212:34ff:fe56:7890%eth0-extra-text", user(200, 'w');
    const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
        {"204", "lang=en; userName=admin; theme=dark", kAddr, record(204, 900, 7, kAddr, "admin")},
        {"70000", "userName=" + user, addr, record(70000, 900, 7, addr.substr(0, 45), user.substr(0, 63))},
        {"-2", "", "10.0.0.9", record(-2, 900, 7, "10.0.0.9", "")}};
    for (const auto& [query, cookie, remote, want] : rows) {
        FakeCore fake(root.path());
        CgiRequest req;
        req.path = "/tlog";
        req.query = query;
        req.cookie = cookie;
        req.remote_addr = remote;
        req.test_entry = true;
        EXPECT_EQ(run_cgi(root.path(), req).out, kTextHead + "OK");
        ASSERT_TRUE(fake.wait_for(REQ_OPERATION_LOG, 1));
        EXPECT_EQ(fake.requests().size(), 1u);
        EXPECT_TRUE(same_bytes(fake.requests()[0].payload, want)) << query;
    }
}

// An explicit user in place of the cookie's; the detail block cut to its 512-byte area.
TEST(OperationLog, ExplicitUserAndDetail)
{
    ScratchRoot root;
    root.use_in_process();
    setenv("NVRWEB_IPC_MAX_SENDS", "5", 1);
    const char *saved_cookie = request_context().cookie, *saved_addr = request_context().remote_addr;
    request_context().cookie = "userName=ops";
    request_context().remote_addr = "10.1.1.1";
    std::string block(600, '\0');
    for (size_t i = 0; i < block.size(); i++)
        block[i] = (char)(i * 7 + 1);
    FakeCore fake(root.path());
    cgi_write_operation_log(206, 904, 3, 107, block.data(), 20, "carol");
    ASSERT_TRUE(fake.wait_for(REQ_OPERATION_LOG, 1));
    EXPECT_TRUE(same_bytes(fake.requests().at(0).payload, record(206, 904, 3, "10.1.1.1", "carol", block.substr(0, 20))));

    OperationLogRecord rec;
    EXPECT_EQ(cgi_init_log_info(&rec), 0);
    EXPECT_EQ(vxfs_log_pack_detail(&rec, 110, block.data(), 600), 0);
    EXPECT_TRUE(same_bytes(bytes_of(rec), record(0, 0, 0, "10.1.1.1", "ops", block.substr(0, 512))));
    EXPECT_EQ(vxfs_log_pack_detail(nullptr, 101, block.data(), 4), -1);
    EXPECT_EQ(cgi_init_log_info(nullptr), -1);
    unsetenv("NVRWEB_IPC_MAX_SENDS");
    request_context().cookie = saved_cookie;
    request_context().remote_addr = saved_addr;
}

}  // namespace
