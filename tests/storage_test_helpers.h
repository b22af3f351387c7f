// Shared pieces of the storage module's black-box tests: the fixture that
// runs build/nvrweb.cgi against a fake core service and a scratch database,
// expected wire records, and reply comparison.
#pragma once
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/oplog.h"
#include "core/wire.h"
#include "modules/storage/storage.h"
#include "platform/vxdb.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace storage_test {

const std::string kTextHead = "Content-type: text/plain\r\n\r\n";
const std::string kJsonHead = "Content-type: application/json\r\n\r\n";
const std::string kTextError = kTextHead + "CGI ERROR";
const std::string kJsonError = kJsonHead + "{status:\"CGI ERROR\"}";
// Who the fixture's requests come from; every log record carries them.
const char* const kUser = "admin";
const char* const kAddr = "192.168.1.20";

// The module's database records, looked at directly.
const vxdb_kind kDiskKind = {"disk", (int)sizeof(db_disk), 37};
const vxdb_kind kGroupKind = {"group", (int)sizeof(storage_group), 16};
const vxdb_kind kEsataKind = {"esata_auto_backup", (int)sizeof(esata_auto_backup), 1};

inline std::string text_reply(const std::string& body)
{
    return kTextHead + body;
}

// JSON text printed compactly; keys keep the order they came in. Anything
// but exactly one JSON value (white space around allowed) gives a marker.
inline std::string canon(const std::string& text)
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

// The whole output is the JSON header and exactly the expected object.
inline ::testing::AssertionResult json_reply_is(const std::string& out, const std::string& expected)
{
    if (out.compare(0, kJsonHead.size(), kJsonHead) != 0)
        return ::testing::AssertionFailure() << "no JSON header: [" << out << "]";
    std::string got = canon(out.substr(kJsonHead.size()));
    std::string want = canon(expected);
    if (got != want)
        return ::testing::AssertionFailure() << "\n  got:  " << got << "\n  want: " << want;
    return ::testing::AssertionSuccess();
}

inline std::string hex(const std::string& s, size_t from, size_t n)
{
    std::string out;
    char b[4];
    for (size_t i = from; i < s.size() && i < from + n; i++) {
        snprintf(b, sizeof b, "%02x ", (unsigned char)s[i]);
        out += b;
    }
    return out;
}

// Byte-for-byte equality with the first difference named.
inline ::testing::AssertionResult same_bytes(const std::string& got, const std::string& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        i++;
    return ::testing::AssertionFailure() << "sizes " << got.size() << " / " << want.size()
                                         << ", first difference at byte " << i << "\n  got:  "
                                         << hex(got, i, 16) << "\n  want: " << hex(want, i, 16);
}

template <typename T>
T zeroed()
{
    T t;
    memset(&t, 0, sizeof t);
    return t;
}

// The operation-log record the fixture's requests must produce.
inline std::string log_record(int sub_type, int parameter, int object, const void* detail = nullptr,
                              int length = 0)
{
    OperationLogRecord r = zeroed<OperationLogRecord>();
    r.main_type = 4;
    r.sub_type = sub_type;
    r.parameter = parameter;
    r.remote = 1;
    r.chan_no = object;
    strcpy(r.ip, kAddr);
    strcpy(r.user, kUser);
    if (detail) {
        r.size = length;
        memcpy(r.detail, detail, (size_t)length);
    }
    return bytes_of(r);
}

inline nas_log_detail nas_detail(const char* protocol, const char* address, const char* directory)
{
    nas_log_detail d = zeroed<nas_log_detail>();
    strncpy(d.protocol, protocol, sizeof d.protocol - 1);
    strncpy(d.address, address, sizeof d.address - 1);
    strncpy(d.directory, directory, sizeof d.directory - 1);
    return d;
}

inline db_disk disk_record(int port, int enable, int type, const char* vendor = "", const char* address = "",
                           const char* directory = "", int group = 0, int property = 0, const char* user = "",
                           const char* password = "")
{
    db_disk d = zeroed<db_disk>();
    d.port = port;
    d.enable = enable;
    d.type = type;
    d.group = group;
    d.property = property;
    strncpy(d.vendor, vendor, sizeof d.vendor - 1);
    strncpy(d.address, address, sizeof d.address - 1);
    strncpy(d.directory, directory, sizeof d.directory - 1);
    strncpy(d.user_name, user, sizeof d.user_name - 1);
    strncpy(d.password, password, sizeof d.password - 1);
    return d;
}

inline std::string int32s(std::initializer_list<int> words)
{
    return int32_bytes(words);
}

inline std::string nas_list_bytes(std::initializer_list<int> ports)
{
    nas_port_list l = zeroed<nas_port_list>();
    for (int p : ports)
        l.ports[l.count++] = p;
    return bytes_of(l);
}

inline std::string raid_bytes(int id, int enable = 0, int level = 0, int count = 0,
                              std::initializer_list<int> members = {})
{
    raid_info r = zeroed<raid_info>();
    r.id = id;
    r.enable = enable;
    r.level = level;
    r.member_count = count;
    int n = 0;
    for (int m : members)
        r.members[n++] = m;
    return bytes_of(r);
}

// One black-box run per call, each against the same scratch root and fake.
class StorageCgi : public ::testing::Test {
protected:
    ScratchRoot root;
    FakeCore core{root.path()};

    void SetUp() override { root.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }

    CgiResult run(const std::string& method, const std::string& path, const std::string& body,
                  const std::string& query = "")
    {
        vxdb_close_all();  // the CGI must see what the test wrote
        core.clear();
        CgiRequest r;
        r.method = method;
        r.path = path;
        r.query = query;
        r.body = body;
        if (method == "POST")
            r.content_type = "application/json";
        r.cookie = "lang=en; userName=admin; theme=dark";
        r.remote_addr = kAddr;
        CgiResult res = run_cgi(root.path(), r);
        // A sanitizer report or a crash in the CGI ends it with a nonzero status.
        EXPECT_EQ(res.status, 0) << method << " " << path << " " << body;
        vxdb_close_all();
        return res;
    }
    CgiResult post(const std::string& path, const std::string& body) { return run("POST", path, body); }
    CgiResult get(const std::string& path) { return run("GET", path, ""); }

    // Requests of a code in the order the CGI sent them.
    std::vector<FakeRequest> sent(int code) const
    {
        std::vector<FakeRequest> v = core.requests(code);
        std::sort(v.begin(), v.end(), [](const FakeRequest& a, const FakeRequest& b) { return a.seq < b.seq; });
        return v;
    }
    std::vector<FakeRequest> sent_all() const
    {
        std::vector<FakeRequest> v = core.requests();
        std::sort(v.begin(), v.end(), [](const FakeRequest& a, const FakeRequest& b) { return a.seq < b.seq; });
        return v;
    }
    // The operation-log records of the last run, after waiting for n of them.
    std::vector<std::string> logs(size_t n)
    {
        EXPECT_TRUE(core.wait_for(REQ_OPERATION_LOG, n)) << "fewer than " << n << " log records";
        std::vector<std::string> out;
        for (const FakeRequest& r : sent(REQ_OPERATION_LOG))
            out.push_back(r.payload);
        return out;
    }
    // True when no log record arrives within a short while.
    bool no_logs() const { return !core.wait_for(REQ_OPERATION_LOG, 1, 300); }

    void seed_disk(const db_disk& d)
    {
        ASSERT_EQ(write_disk(VXDB_MAIN, &d), 0);
        vxdb_close_all();
    }
    // 0 when stored, 1 when absent (the record then reads as zeros).
    int stored_disk(int port, db_disk* out)
    {
        vxdb_close_all();
        int rc = vxdb_read(VXDB_MAIN, kDiskKind, port, out);
        vxdb_close_all();
        return rc;
    }
    int param(const char* key, int fallback)
    {
        vxdb_close_all();
        int v = get_param_int(VXDB_MAIN, key, fallback);
        vxdb_close_all();
        return v;
    }
    void set_param(const char* key, int value)
    {
        ASSERT_EQ(set_param_int(VXDB_MAIN, key, value), 0);
        vxdb_close_all();
    }
};

}  // namespace storage_test
