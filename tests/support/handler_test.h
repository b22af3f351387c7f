// Shared pieces of the black-box handler tests: a fixture that runs
// build/nvrweb.cgi against a fake core service and a scratch database, reply
// and byte comparisons, the expected operation-log record, and coresim as a
// child process.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/types.h>
#include <vector>

#include "core/oplog.h"
#include "core/json_util.h"
#include "platform/vxdb.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

extern const std::string kTextHead;
extern const std::string kJsonHead;
extern const std::string kTextError;
extern const std::string kJsonError;
// Who the fixture's requests come from; every log record carries them.
extern const char* const kUser;
extern const char* const kAddr;

// A text reply; a function because the header constant lives in another
// file and may not be built yet while a test file's statics start.
inline std::string text_reply(const std::string& body = "OK")
{
    return kTextHead + body;
}
// A table case in which the core service does not answer.
extern const std::string kSilent;

// JSON text printed compactly; keys keep the order they came in. Anything
// but exactly one JSON value (white space around allowed) gives a marker.
std::string canon(const std::string& text);
// The whole output is the JSON header and exactly the expected value.
::testing::AssertionResult json_reply_is(const std::string& out, const std::string& expected);
// Byte-for-byte equality with the first difference named.
::testing::AssertionResult same_bytes(const std::string& got, const std::string& want);

template <typename T>
T zeroed()
{
    T t;
    memset(&t, 0, sizeof t);
    return t;
}

// Text into a fixed field, zero-filled, cut to the field (no NUL if it fills it).
template <size_t N>
void put(char (&field)[N], const std::string& text)
{
    memset(field, 0, N);
    memcpy(field, text.data(), std::min(text.size(), N));
}

// The keys of a JSON object, or of a reply's body, comma-separated in order.
std::string keys_of(json_object* object);
std::string keys_of(const std::string& out);

// The operation-log record a request of the fixture must produce.
std::string log_record(int sub_type, int parameter, int object, const void* detail = nullptr, int length = 0,
                       const char* user = kUser, const char* addr = kAddr);

// One black-box run per call, each against the same scratch root and fake.
class HandlerTest : public ::testing::Test {
protected:
    ScratchRoot root;
    FakeCore core{root.path()};
    // Further CGI variables and the client address of the runs.
    std::vector<std::pair<std::string, std::string>> env;
    std::string addr = kAddr;

    void SetUp() override { root.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }

    // Runs the CGI as the web server would; a crash or sanitizer report fails.
    CgiResult run(const std::string& method, const std::string& path, const std::string& body,
                  const std::string& query = "", const std::string& cookie = "lang=en; userName=admin; theme=dark");
    CgiResult post(const std::string& path, const std::string& body) { return run("POST", path, body); }
    CgiResult get(const std::string& path, const std::string& query = "") { return run("GET", path, "", query); }

    // Requests of a code (or all) in the order the CGI sent them.
    std::vector<FakeRequest> sent(int code) const;
    std::vector<FakeRequest> sent_all() const;
    // The payload of the one request of `code` (fails unless exactly one came).
    std::string one(int code);
    // The operation-log records of the last run, after waiting for n of them.
    std::vector<std::string> logs(size_t n);
    // True when no log record arrives within a short while.
    bool no_logs() const { return !core.wait_for(REQ_OPERATION_LOG, 1, 300); }

    int param(const char* key, int fallback);
    void set_param(const char* key, int value);
    // A record as stored: 0 found, 1 absent (zeros).
    int stored(const vxdb_kind& kind, int idx, void* out);
    void store(const vxdb_kind& kind, int idx, const void* record);
};

// build/coresim serving a scratch root (seeded first) until destroyed;
// `max_files` > 0 limits its open descriptors.
class CoresimProcess {
public:
    explicit CoresimProcess(const std::string& root, const std::vector<std::pair<std::string, std::string>>& env = {},
                            int max_files = 0);
    ~CoresimProcess();
    CoresimProcess(const CoresimProcess&) = delete;
    CoresimProcess& operator=(const CoresimProcess&) = delete;
    bool running() const { return ready_; }
    pid_t pid() const { return pid_; }
    // Stops it with SIGTERM; true when it exited cleanly.
    bool stop();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Text as a record's field of n bytes holds it: cut to n, zero-filled.
inline std::string field(const std::string& text, size_t n)
{
    std::string f = text.substr(0, n);
    f.resize(n, '\0');
    return f;
}
