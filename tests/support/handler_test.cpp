// Shared pieces of the black-box handler tests.
#include "tests/support/handler_test.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <json-c/json.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/vxsocket.h"

const std::string kTextHead = "Content-type: text/plain\r\n\r\n";
const std::string kJsonHead = "Content-type: application/json\r\n\r\n";
const std::string kTextError = kTextHead + "CGI ERROR";
const std::string kJsonError = kJsonHead + "{status:\"CGI ERROR\"}";
const std::string kSilent = "<no answer>";
const char* const kUser = "admin";
const char* const kAddr = "192.168.1.20";

std::string canon(const std::string& text)
{
    json_tokener* tok = json_tokener_new();
    json_object* o = json_tokener_parse_ex(tok, text.c_str(), (int)text.size() + 1);
    bool ok = json_tokener_get_error(tok) == json_tokener_success;
    size_t end = json_tokener_get_parse_end(tok);
    json_tokener_free(tok);
    if (!ok || !o) {
        json_object_put(o);
        return "<not JSON: " + text + ">";
    }
    for (size_t i = end; i < text.size(); i++)
        if (!isspace((unsigned char)text[i])) {
            json_object_put(o);
            return "<text after the JSON value: " + text + ">";
        }
    std::string out = json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
    json_object_put(o);
    return out;
}

::testing::AssertionResult json_reply_is(const std::string& out, const std::string& expected)
{
    if (out.compare(0, kJsonHead.size(), kJsonHead) != 0)
        return ::testing::AssertionFailure() << "no JSON header: [" << out << "]";
    std::string got = canon(out.substr(kJsonHead.size()));
    std::string want = canon(expected);
    if (got != want)
        return ::testing::AssertionFailure() << "\n  got:  " << got << "\n  want: " << want;
    return ::testing::AssertionSuccess();
}

static std::string hex(const std::string& s, size_t from, size_t n)
{
    std::string out;
    char b[4];
    for (size_t i = from; i < s.size() && i < from + n; i++) {
        snprintf(b, sizeof b, "%02x ", (unsigned char)s[i]);
        out += b;
    }
    return out;
}

::testing::AssertionResult same_bytes(const std::string& got, const std::string& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        i++;
    return ::testing::AssertionFailure() << "sizes " << got.size() << " / " << want.size()
                                         << ", first difference at byte " << i << "\n  got:  " << hex(got, i, 16)
                                         << "\n  want: " << hex(want, i, 16);
}

std::string log_record(int sub_type, int parameter, int object, const void* detail, int length, const char* user,
                       const char* addr)
{
    OperationLogRecord r = zeroed<OperationLogRecord>();
    r.main_type = LOG_MAIN_OPERATION;
    r.sub_type = sub_type;
    r.parameter = parameter;
    r.remote = 1;
    r.chan_no = object;
    put(r.ip, addr);
    put(r.user, user);
    if (detail) {
        r.size = length;
        memcpy(r.detail, detail, (size_t)length);
    }
    return bytes_of(r);
}

CgiResult HandlerTest::run(const std::string& method, const std::string& path, const std::string& body,
                           const std::string& query, const std::string& cookie)
{
    vxdb_close_all();  // the CGI must see what the test wrote
    core.settle();     // the last run's tells belong to the last run
    core.clear();
    CgiRequest r;
    r.method = method;
    r.path = path;
    r.query = query;
    r.body = body;
    if (method == "POST")
        r.content_type = "application/json";
    r.cookie = cookie;
    r.remote_addr = addr;
    r.env = env;
    CgiResult res = run_cgi(root.path(), r);
    EXPECT_EQ(res.status, 0) << method << " " << path << " " << body;
    vxdb_close_all();
    return res;
}

static std::vector<FakeRequest> by_seq(std::vector<FakeRequest> v)
{
    std::sort(v.begin(), v.end(), [](const FakeRequest& a, const FakeRequest& b) { return a.seq < b.seq; });
    return v;
}

std::vector<FakeRequest> HandlerTest::sent(int code) const
{
    return by_seq(core.requests(code));
}

std::vector<FakeRequest> HandlerTest::sent_all() const
{
    return by_seq(core.requests());
}

std::string HandlerTest::one(int code)
{
    EXPECT_TRUE(core.wait_for(code, 1)) << code;
    std::vector<FakeRequest> v = sent(code);
    EXPECT_EQ(v.size(), 1u) << code;
    return v.empty() ? "" : v[0].payload;
}

std::string keys_of(json_object* object)
{
    std::string out;
    if (!object)
        return out;
    json_object_object_foreach(object, key, value)
    {
        (void)value;
        out += (out.empty() ? "" : ",") + std::string(key);
    }
    return out;
}

std::string keys_of(const std::string& out)
{
    JsonPtr o(json_tokener_parse(reply_body(out).c_str()));
    return keys_of(o.get());
}

std::vector<std::string> HandlerTest::logs(size_t n)
{
    EXPECT_TRUE(core.wait_for(REQ_OPERATION_LOG, n)) << "fewer than " << n << " log records";
    std::vector<std::string> out;
    for (const FakeRequest& r : sent(REQ_OPERATION_LOG))
        out.push_back(r.payload);
    return out;
}

int HandlerTest::param(const char* key, int fallback)
{
    vxdb_close_all();
    int v = get_param_int(VXDB_MAIN, key, fallback);
    vxdb_close_all();
    return v;
}

void HandlerTest::set_param(const char* key, int value)
{
    ASSERT_EQ(set_param_int(VXDB_MAIN, key, value), 0);
    vxdb_close_all();
}

int HandlerTest::stored(const vxdb_kind& kind, int idx, void* out)
{
    vxdb_close_all();
    int rc = vxdb_read(VXDB_MAIN, kind, idx, out);
    vxdb_close_all();
    return rc;
}

void HandlerTest::store(const vxdb_kind& kind, int idx, const void* record)
{
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kind, idx, record, kind.size), 0);
    vxdb_close_all();
}

CoresimProcess::CoresimProcess(const std::string& root, const std::vector<std::pair<std::string, std::string>>& env,
                               int max_files)
{
    if (system((program_command("coresim") + " --seed '" + root + "' >/dev/null").c_str()) != 0)
        return;
    std::vector<std::string> words = program_argv("coresim");
    words.insert(words.end(), {"--root", root});
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        for (const auto& kv : env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        if (!freopen("/dev/null", "w", stderr))
            _exit(126);
        const struct rlimit files = {(rlim_t)max_files, (rlim_t)max_files};
        if (max_files > 0 && setrlimit(RLIMIT_NOFILE, &files) != 0)
            _exit(125);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const std::string socket_path = root + "/var/run/vxsocket";
    for (int i = 0; i < 250 && !ready_; i++) {
        int fd = vx_connect_unix(socket_path.c_str());
        if (fd >= 0) {
            close(fd);
            ready_ = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

bool CoresimProcess::stop()
{
    if (pid_ <= 0)
        return false;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

CoresimProcess::~CoresimProcess()
{
    stop();
}
