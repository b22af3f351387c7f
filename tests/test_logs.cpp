// Device log: search, detail, CSV export, export-running test and the type
// catalogue, run black-box through nvrweb.cgi against a fake core service;
// one run against coresim end to end.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/json_util.h"
#include "core/reply.h"
#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "modules/system/system_log.h"
#include "platform/trans.h"
#include "tests/storage_test_helpers.h"

using storage_test::canon;
using storage_test::kJsonError;
using storage_test::kJsonHead;
using storage_test::kTextError;
using storage_test::kTextHead;
using storage_test::same_bytes;
using storage_test::zeroed;

namespace {

const char* const kMarker = "/tmp/log/log_web";
// 2024-01-02 03:04:05 and 2024-01-03 00:00:00 UTC (the runner sets TZ=UTC).
const int32_t kStart = 1704164645;
const int32_t kEnd = 1704240000;

// A search or export body; an empty value leaves its key out.
struct LogBody {
    bool is_export = false;
    std::string language = "\"en\"";
    std::string start_time;
    std::string end_time;
    std::string main_type = "2";
    std::string sub_types = "[11,12]";
    std::string page = "3";
    std::string mask;        // "chnMask" or "ch"
    std::string no_channel = "1";

    std::string text() const
    {
        std::vector<std::pair<std::string, std::string>> keys = {
            {"language", language},
            {"startTime", start_time.empty() && !is_export ? "\"2024-01-02 03:04:05\""
                          : start_time.empty()            ? "\"2024-01-02T03:04:05\""
                                                          : start_time},
            {"endTime", end_time.empty() && !is_export ? "\"2024-01-03 00:00:00\""
                        : end_time.empty()            ? "\"2024-01-03T00:00:00\""
                                                      : end_time},
            {"mainType", main_type},
            {"subTypeArr", sub_types},
            {"curPageNum", page},
            {is_export ? "ch" : "chnMask", mask.empty() ? (is_export ? "5" : "\"1010\"") : mask},
            {is_export ? "na" : "searchNoChn", no_channel},
        };
        std::string out = "{";
        for (const auto& kv : keys) {
            if (kv.second == "-")
                continue;  // left out
            if (out.size() > 1)
                out += ",";
            out += "\"" + kv.first + "\":" + kv.second;
        }
        return out + "}";
    }
};

LogBody export_body()
{
    LogBody b;
    b.is_export = true;
    return b;
}

log_search_query expected_query(int main_type, std::vector<int64_t> sub_types, int page, uint64_t mask,
                                int no_channel, int32_t start = kStart, int32_t end = kEnd)
{
    log_search_query q = zeroed<log_search_query>();
    q.start_time = start;
    q.end_time = end;
    q.main_type = main_type;
    for (size_t i = 0; i < sub_types.size(); i++)
        q.sub_types[i] = sub_types[i];
    q.sub_type_count = (int32_t)sub_types.size();
    q.page = page;
    q.channel_mask = mask;
    q.no_channel = no_channel;
    return q;
}

OperationLogRecord entry(int main_type, int sub_type, int32_t time, int parameter, int chan, const char* ip,
                         const char* user)
{
    OperationLogRecord r = zeroed<OperationLogRecord>();
    r.main_type = main_type;
    r.sub_type = sub_type;
    r.time = time;
    r.parameter = parameter;
    r.remote = 1;
    r.chan_no = chan;
    memcpy(r.ip, ip, strnlen(ip, sizeof r.ip));
    memcpy(r.user, user, strnlen(user, sizeof r.user));
    return r;
}

std::string page_bytes(int count, int num, const std::vector<OperationLogRecord>& records)
{
    log_search_page page = zeroed<log_search_page>();
    page.count = count;
    page.num = num;
    for (size_t i = 0; i < records.size() && i < LOG_PAGE_ENTRIES; i++)
        page.records[i] = records[i];
    return bytes_of(page);
}

std::string export_answer(const std::string& path)
{
    log_export_reply a = zeroed<log_export_reply>();
    memcpy(a.path, path.data(), std::min(path.size(), sizeof a.path));
    return bytes_of(a);
}

std::string export_entry(const OperationLogRecord& r, const std::string& detail)
{
    log_export_entry e = zeroed<log_export_entry>();
    e.record = r;
    memcpy(e.detail, detail.data(), std::min(detail.size(), sizeof e.detail));
    return bytes_of(e);
}

std::string int32_le(int32_t v)
{
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// The MAC part of the export file name, as the CGI reads it on this host.
std::string mac_text()
{
    char eth0[18], eth1[18];
    get_mac_addr(eth0, eth1);
    std::string out;
    for (const char* p = eth0; *p; p++)
        if (isxdigit((unsigned char)*p))
            out += *p;
    return out;
}

std::string run_command(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

class LogCgi : public ::testing::Test {
protected:
    ScratchRoot root;
    FakeCore core{root.path()};

    void SetUp() override { root.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }

    CgiResult post(const std::string& path, const std::string& body)
    {
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.body = body;
        r.content_type = "application/json";
        r.cookie = "userName=admin";
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << path << " " << body;
        return res;
    }
    std::string sent_one(int code)
    {
        std::vector<FakeRequest> v = core.requests(code);
        EXPECT_EQ(v.size(), 1u) << "requests " << code;
        return v.empty() ? std::string() : v[0].payload;
    }
    // Runs an export whose answer names a file holding `file` bytes.
    CgiResult export_file(const std::string& file, const std::string& body = export_body().text(),
                          const std::string& path = "/tmp/log/export.dat")
    {
        root.write(path, file);
        core.reply(REQ_LOG_EXPORT, export_answer(path));
        return post("/1003", body);
    }
};

const std::string kColumns = "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n";

// The CSV rows after the header block and the column row.
std::string csv_rows(const std::string& out)
{
    std::string body = reply_body(out);
    return body.compare(0, kColumns.size(), kColumns) == 0 ? body.substr(kColumns.size())
                                                          : "<no column row: " + body + ">";
}

// ---- registration ------------------------------------------------------------

TEST(LogRegistry, FiveResourcesInOrderInTheSystemModule)
{
    const char* const kPaths[] = {"/1002", "/1021", "/1003", "/1022", "/1015"};
    int count = 0;
    const WebResEntry* table = system_log_resources(&count);
    ASSERT_EQ(count, 5);
    register_web_modules();
    const WebResEntry* first = FindWebRes("/1002");
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < count; i++) {
        EXPECT_STREQ(table[i].path, kPaths[i]);
        const WebResEntry* e = FindWebRes(kPaths[i]);
        ASSERT_NE(e, nullptr) << kPaths[i];
        EXPECT_EQ(e, first + i) << kPaths[i];
        EXPECT_EQ(e->handler, table[i].handler) << kPaths[i];
    }
    unregister_web_modules();
}

// ---- validation --------------------------------------------------------------

struct Refusal {
    const char* what;
    std::string body;
};

std::vector<Refusal> refusals(bool is_export)
{
    auto with = [&](void (*change)(LogBody&)) {
        LogBody b;
        b.is_export = is_export;
        change(b);
        return b.text();
    };
    return {
        {"main type 0", with([](LogBody& b) { b.main_type = "0"; })},
        {"main type 65", with([](LogBody& b) { b.main_type = "65"; })},
        {"main type missing", with([](LogBody& b) { b.main_type = "-"; })},
        {"main type as text", with([](LogBody& b) { b.main_type = "\"x\""; })},
        {"first sub type 9", with([](LogBody& b) { b.sub_types = "[9,11]"; })},
        {"sub types empty", with([](LogBody& b) { b.sub_types = "[]"; })},
        {"sub types missing", with([](LogBody& b) { b.sub_types = "-"; })},
        {"language missing", with([](LogBody& b) { b.language = "-"; })},
        {"start time missing", with([](LogBody& b) { b.start_time = "-"; })},
        {"end time missing", with([](LogBody& b) { b.end_time = "-"; })},
        {"page missing", with([](LogBody& b) { b.page = "-"; })},
        {"not JSON", "{\"mainType\":2"},
    };
}

TEST_F(LogCgi, SearchRefusalsGiveTheJsonErrorBodyAndAskNothing)
{
    for (const Refusal& r : refusals(false)) {
        CgiResult res = post("/1002", r.body);
        EXPECT_EQ(res.out, kJsonError) << r.what;
        EXPECT_TRUE(core.requests(REQ_LOG_SEARCH).empty()) << r.what;
    }
}

TEST_F(LogCgi, ExportRefusalsPrintNothingAndLeaveNoMarker)
{
    for (const Refusal& r : refusals(true)) {
        CgiResult res = post("/1003", r.body);
        EXPECT_EQ(res.out, "") << r.what;
        EXPECT_TRUE(core.requests(REQ_LOG_EXPORT).empty()) << r.what;
        EXPECT_FALSE(root.exists(kMarker)) << r.what;
    }
}

// Main types 1 and 64 are the range's ends; sub type 10 ("all") is valid.
TEST_F(LogCgi, RangeEndsAndTheAllSubTypeAreAccepted)
{
    struct Case {
        const char* main_type;
        const char* sub_types;
        int want_main;
        std::vector<int64_t> want_subs;
    } cases[] = {
        {"1", "[10]", 1, {10}},
        {"64", "[10,600]", 64, {10, 600}},
        {"\"8\"", "[500]", 8, {500}},
    };
    for (const Case& c : cases) {
        LogBody b;
        b.main_type = c.main_type;
        b.sub_types = c.sub_types;
        post("/1002", b.text());
        EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_SEARCH),
                               bytes_of(expected_query(c.want_main, c.want_subs, 3, 0x5, 1))))
            << c.main_type;
    }
}

// ---- search ------------------------------------------------------------------

TEST_F(LogCgi, SearchQueryCarriesTimesTypesPageMaskAndFlag)
{
    LogBody b;
    b.main_type = "4";
    b.sub_types = "[201,-5,\"204\",4294967296]";
    b.page = "7";
    std::string mask(64, '0');
    mask[1] = mask[2] = mask[63] = '1';
    b.mask = "\"" + mask + "\"";
    b.no_channel = "0";
    post("/1002", b.text());
    EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_SEARCH),
                           bytes_of(expected_query(4, {201, -5, 204, 4294967296LL}, 7,
                                                   0x8000000000000006ULL, 0))));
}

// The time fields are 32 bits: later dates mean "until the end" rather than
// wrapping into the past; a time that does not read is 0.
TEST_F(LogCgi, SearchTimesBeyondThirtyTwoBitsAreClamped)
{
    struct Case {
        const char* start;
        const char* end;
        int32_t want_start;
        int32_t want_end;
    } cases[] = {
        {"\"1970-01-01 00:00:10\"", "\"2100-01-01 00:00:00\"", 10, INT32_MAX},
        {"\"1800-01-01 00:00:00\"", "\"2038-01-19 03:14:07\"", INT32_MIN, INT32_MAX},
        {"\"yesterday\"", "\"2024-01-03T00:00:00\"", 0, 0},
    };
    for (const Case& c : cases) {
        LogBody b;
        b.start_time = c.start;
        b.end_time = c.end;
        post("/1002", b.text());
        EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_SEARCH),
                               bytes_of(expected_query(2, {11, 12}, 3, 0x5, 1, c.want_start, c.want_end))))
            << c.start << " " << c.end;
    }
}

TEST_F(LogCgi, OnlyTheFirstSixtyFourMaskCharactersAndHundredSubTypesCount)
{
    LogBody b;
    b.mask = "\"" + std::string(64, '0') + "11111111\"";
    std::string subs = "[";
    for (int i = 0; i < 130; i++)
        subs += (i ? "," : "") + std::to_string(11 + i);
    b.sub_types = subs + "]";
    post("/1002", b.text());
    std::vector<int64_t> want;
    for (int i = 0; i < 100; i++)
        want.push_back(11 + i);
    EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_SEARCH), bytes_of(expected_query(2, want, 3, 0, 1))));

    b.mask = "\"" + std::string(70, '1') + "\"";
    post("/1002", b.text());
    std::string sent = sent_one(REQ_LOG_SEARCH);
    ASSERT_EQ(sent.size(), sizeof(log_search_query));
    log_search_query q;
    memcpy(&q, sent.data(), sizeof q);
    EXPECT_EQ(q.channel_mask, ~0ULL);
}

TEST_F(LogCgi, SearchWithoutAnswerGivesTheJsonErrorBody)
{
    EXPECT_EQ(post("/1002", LogBody{}.text()).out, kJsonError);
}

std::string detail2_json(const uint8_t* detail)
{
    std::string out = "[";
    for (int i = 0; i < LOG_DETAIL_INTS; i++) {
        const uint8_t* b = detail + 4 * i;
        int32_t v = (int32_t)((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]);
        out += (i ? "," : "") + std::to_string(v);
    }
    return out + "]";
}

TEST_F(LogCgi, SearchPagePrintsEachEntryWithItsKeysInOrder)
{
    OperationLogRecord a = entry(4, 204, kStart, 919, 3, "192.168.1.20", "admin");
    memcpy(a.detail, "ab", 2);
    a.size = 8;
    // A detail whose integer starts with byte 0x80 is negative.
    OperationLogRecord b = entry(2, 11, kEnd, 0, 5, "::ffff:10.1.2.3", "");
    const uint8_t negative[] = {0, 0, 0, 0, 0x80, 0, 0, 1, 0xff, 0xff, 0xff, 0xfe};
    memcpy(b.detail, negative, sizeof negative);
    b.remote = 0;
    core.reply(REQ_LOG_SEARCH, page_bytes(250, 2, {a, b}));
    CgiResult res = post("/1002", LogBody{}.text());

    std::string want =
        "{\"count\":250,\"num\":2,\"curPageNum\":3,\"log\":["
        "{\"no\":0,\"mainTypeValue\":4,\"mainType\":\"Operation\",\"subTypeValue\":204,"
        "\"subType\":\"Remote parameter change\",\"pts\":1704164645,\"ptc\":\"2024-01-02 03:04:05\","
        "\"parameterValue\":919,\"parameter\":\"Disk\",\"remote\":1,\"chanNo\":3,\"disk\":0,\"size\":8,"
        "\"detail\":\"ab\",\"detail2\":" +
        detail2_json(a.detail) +
        ",\"ip\":\"192.168.1.20\",\"user\":\"admin\"},"
        "{\"no\":1,\"mainTypeValue\":2,\"mainType\":\"Event\",\"subTypeValue\":11,"
        "\"subType\":\"Motion detection\",\"pts\":1704240000,\"ptc\":\"2024-01-03 00:00:00\","
        "\"parameterValue\":0,\"parameter\":\"\",\"remote\":0,\"chanNo\":5,\"disk\":0,\"size\":0,"
        "\"detail\":\"\",\"detail2\":" +
        detail2_json(b.detail) + ",\"ip\":\"10.1.2.3\",\"user\":\"\"}]}";
    ASSERT_EQ(res.out.compare(0, kJsonHead.size(), kJsonHead), 0) << res.out;
    EXPECT_EQ(canon(reply_body(res.out)), canon(want));
    EXPECT_NE(reply_body(res.out).find("1633812480"), std::string::npos);  // "ab\0\0"
    EXPECT_NE(reply_body(res.out).find("-2147483647"), std::string::npos);  // 80 00 00 01
    EXPECT_NE(reply_body(res.out).find("-2"), std::string::npos);           // ff ff ff fe
}

// The "ip" as shown: mapped IPv4 plain, the scope cut, anything else kept.
TEST_F(LogCgi, AddressesAreShownByTheDisplayRule)
{
    struct Case {
        const char* stored;
        const char* shown;
    } cases[] = {
        {"::ffff:192.168.1.7", "192.168.1.7"},
        {"fe80::1%eth0", "fe80::1"},
        {"::ffff:abcd:1", "::ffff:abcd:1"},
        {"2001:db8::5", "2001:db8::5"},
        {"10.0.0.1", "10.0.0.1"},
    };
    std::vector<OperationLogRecord> records;
    for (const Case& c : cases)
        records.push_back(entry(2, 11, kStart, 0, 1, c.stored, ""));
    core.reply(REQ_LOG_SEARCH, page_bytes(5, 5, records));
    CgiResult res = post("/1002", LogBody{}.text());
    json_object* reply = json_tokener_parse(reply_body(res.out).c_str());
    ASSERT_NE(reply, nullptr) << res.out;
    json_object* log = nullptr;
    json_object_object_get_ex(reply, "log", &log);
    ASSERT_EQ(json_object_array_length(log), 5u);
    for (size_t i = 0; i < 5; i++) {
        json_object* ip = nullptr;
        json_object_object_get_ex(json_object_array_get_idx(log, i), "ip", &ip);
        EXPECT_STREQ(json_object_get_string(ip), cases[i].shown) << cases[i].stored;
    }
    json_object_put(reply);
}

// A page claims its number of entries; never more than the 100 it holds.
TEST_F(LogCgi, PageEntriesAreReadOnlyAsFarAsThePageGoes)
{
    std::vector<OperationLogRecord> full;
    for (int i = 0; i < LOG_PAGE_ENTRIES; i++)
        full.push_back(entry(2, 11, kStart + i, 0, i % 64 + 1, "", ""));
    struct Case {
        int num;
        size_t listed;
    } cases[] = {{150, 100}, {100, 100}, {7, 7}, {0, 0}, {-3, 0}};
    for (const Case& c : cases) {
        core.reply(REQ_LOG_SEARCH, page_bytes(999, c.num, full));
        CgiResult res = post("/1002", LogBody{}.text());
        json_object* reply = json_tokener_parse(reply_body(res.out).c_str());
        ASSERT_NE(reply, nullptr) << res.out.substr(0, 200);
        json_object *log = nullptr, *num = nullptr;
        json_object_object_get_ex(reply, "log", &log);
        json_object_object_get_ex(reply, "num", &num);
        EXPECT_EQ(json_object_array_length(log), c.listed) << c.num;
        EXPECT_EQ(json_object_get_int(num), (int)c.listed) << c.num;
        json_object_put(reply);
    }
}

TEST_F(LogCgi, ShortPageAnswerPrintsError)
{
    for (size_t size : {sizeof(log_search_page) - 1, (size_t)8, (size_t)0}) {
        core.reply(REQ_LOG_SEARCH, page_bytes(1, 1, {entry(2, 11, kStart, 0, 1, "", "")}).substr(0, size));
        EXPECT_EQ(post("/1002", LogBody{}.text()).out, kJsonHead + "ERROR") << size;
    }
}

// A language file is picked only by a plain name; its gaps fall back to
// English, unknown codes to the code itself.
TEST_F(LogCgi, LanguageFileIsPickedOnlyByAPlainName)
{
    root.write("/www/lang/Test.txt", "# test texts\n3=Betrieb\r\n204=Parameter geaendert\nbad line\n");
    OperationLogRecord r = entry(4, 204, kStart, 919, 1, "", "");
    OperationLogRecord unknown = entry(4, 777, kStart, 999, 1, "", "");
    core.reply(REQ_LOG_SEARCH, page_bytes(2, 2, {r, unknown}));
    struct Case {
        const char* language;
        const char* main_text;
        const char* sub_text;
    } cases[] = {
        {"\"Test\"", "Betrieb", "Parameter geaendert"},
        {"\"../lang/Test\"", "Operation", "Remote parameter change"},
        {"\"Test/../Test\"", "Operation", "Remote parameter change"},
        {"\"Test_Language_16\"", "Operation", "Remote parameter change"},
        {"\"en\"", "Operation", "Remote parameter change"},
    };
    for (const Case& c : cases) {
        LogBody b;
        b.language = c.language;
        CgiResult res = post("/1002", b.text());
        json_object* reply = json_tokener_parse(reply_body(res.out).c_str());
        ASSERT_NE(reply, nullptr) << res.out;
        json_object* log = nullptr;
        json_object_object_get_ex(reply, "log", &log);
        auto text = [&](size_t i, const char* key) {
            json_object* v = nullptr;
            json_object_object_get_ex(json_object_array_get_idx(log, i), key, &v);
            return std::string(v ? json_object_get_string(v) : "<missing>");
        };
        EXPECT_EQ(text(0, "mainType"), c.main_text) << c.language;
        EXPECT_EQ(text(0, "subType"), c.sub_text) << c.language;
        EXPECT_EQ(text(0, "parameter"), "Disk") << c.language;
        EXPECT_EQ(text(1, "subType"), "777") << c.language;
        EXPECT_EQ(text(1, "parameter"), "999") << c.language;
        json_object_put(reply);
    }
}

// ---- detail ------------------------------------------------------------------

TEST_F(LogCgi, DetailRequestRebuildsTheRecord)
{
    std::string ints = "[";
    for (int i = 0; i < 200; i++)  // 128 fit; the rest has no room
        ints += (i ? "," : "") + std::to_string(i == 0 ? -2147483647 : i == 1 ? 1633812480 : i);
    ints += "]";
    std::string body = "{\"mainTypeValue\":4,\"subTypeValue\":204,\"pts\":1704164645,\"parameterValue\":919,"
                       "\"remote\":1,\"chanNo\":3,\"size\":8,\"detail2\":" +
                       ints + ",\"ip\":\"" + std::string(50, '1') + "\",\"user\":\"" + std::string(70, 'u') +
                       "\"}";
    core.reply(REQ_LOG_DETAIL, std::string("Disk 3 changed"));
    CgiResult res = post("/1021", body);
    EXPECT_EQ(res.out, kTextHead + "Disk 3 changed");

    OperationLogRecord want = entry(4, 204, kStart, 919, 3, "", "");
    memset(want.ip, '1', 45);
    memset(want.user, 'u', 63);
    want.size = 8;
    const uint8_t head[] = {0x80, 0, 0, 1, 'a', 'b', 0, 0};
    memcpy(want.detail, head, sizeof head);
    for (int i = 2; i < LOG_DETAIL_INTS; i++)
        want.detail[4 * i + 3] = (uint8_t)i;
    EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_DETAIL), bytes_of(want)));
}

TEST_F(LogCgi, DetailAnswerIsPrintedWithinItsLength)
{
    struct Case {
        std::string answer;
        std::string printed;
    } cases[] = {
        {std::string("abc\0def", 7), "abc"},
        {"line one\r\nline two", "line one\r\nline two"},
        {std::string("\0x", 2), "N/A"},
        {"", "N/A"},
    };
    for (const Case& c : cases) {
        core.reply(REQ_LOG_DETAIL, c.answer);
        EXPECT_EQ(post("/1021", "{\"mainTypeValue\":2}").out, kTextHead + c.printed);
    }
    core.silent(REQ_LOG_DETAIL);
    EXPECT_EQ(post("/1021", "{\"mainTypeValue\":2}").out, kTextError);
    EXPECT_EQ(post("/1021", "not json").out, "");
}

// ---- export: request -----------------------------------------------------------

TEST_F(LogCgi, ExportQueryReadsTheMaskUnsignedAndAsksPageOne)
{
    struct Case {
        const char* ch;
        uint64_t mask;
    } cases[] = {
        {"9223372036854775808", 1ULL << 63},
        {"\"9223372036854775808\"", 1ULL << 63},
        {"18446744073709551615", ~0ULL},
        {"\"18446744073709551615\"", ~0ULL},
        {"\"18446744073709551616\"", 0},
        {"5", 5},
        {"-", 0},
    };
    core.reply(REQ_LOG_EXPORT, export_answer(""));
    for (const Case& c : cases) {
        LogBody b;
        b.is_export = true;
        b.mask = c.ch;
        b.page = "7";
        post("/1003", b.text());
        EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_EXPORT), bytes_of(expected_query(2, {11, 12}, 1, c.mask, 1))))
            << c.ch;
    }
}

// Operation exports name sub types as three bit masks offset by 10.
TEST_F(LogCgi, OperationExportTurnsGroupMasksIntoSubTypes)
{
    struct Case {
        const char* main_type;
        const char* sub_types;
        std::vector<int64_t> sent;
    } cases[] = {
        {"4", "[11,10,10]", {101}},
        {"4", "[11]", {101}},  // absent groups ask for nothing
        {"4", "[15,12,10]", {101, 103, 132}},
        {"4", "[10,11,13]", {10, 11, 13}},  // "all" keeps the list
        {"4", "[536870922,1073741834,536870922]", {130, 229}},  // bits past 29 name nothing
        {"2", "[11,10,10]", {11, 10, 10}},
    };
    core.reply(REQ_LOG_EXPORT, export_answer(""));
    for (const Case& c : cases) {
        LogBody b;
        b.is_export = true;
        b.main_type = c.main_type;
        b.sub_types = c.sub_types;
        post("/1003", b.text());
        int main_type = atoi(c.main_type);
        EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_EXPORT), bytes_of(expected_query(main_type, c.sent, 1, 5, 1))))
            << c.sub_types;
    }
}

TEST_F(LogCgi, MarkerExistsDuringTheExportAndIsRemovedAfter)
{
    bool present = false;
    core.script(REQ_LOG_EXPORT, [&](const FakeRequest&, FakeResponder& r) {
        present = root.exists(kMarker);
        r.send(REQ_LOG_EXPORT + 5000, export_answer(""));
    });
    post("/1003", export_body().text());
    EXPECT_TRUE(present);
    EXPECT_FALSE(root.exists(kMarker));

    core.silent(REQ_LOG_EXPORT);
    EXPECT_EQ(post("/1003", export_body().text()).out, kJsonError);
    EXPECT_EQ(core.requests(REQ_LOG_EXPORT).size(), 1u);
    EXPECT_FALSE(root.exists(kMarker));

    // An answer too short to name a file is no answer.
    core.reply(REQ_LOG_EXPORT, export_answer("/tmp/log/export.dat").substr(0, 67));
    EXPECT_EQ(post("/1003", export_body().text()).out, kJsonError);
    EXPECT_FALSE(root.exists(kMarker));
}

TEST_F(LogCgi, ExportRunningTestFollowsTheMarker)
{
    EXPECT_EQ(post("/1022", "").out, kTextHead + "NO");
    root.write(kMarker, "");
    EXPECT_EQ(post("/1022", "").out, kTextHead + "OK");
}

// ---- export: file ---------------------------------------------------------------

TEST_F(LogCgi, ExportHeaderNamesTheFileByMainTypeMacAndTime)
{
    struct Case {
        const char* main_type;
        const char* name;
    } cases[] = {{"1", "All"},          {"2", "Event"},       {"4", "Operation"}, {"8", "Information"},
                 {"32", "Exception"}, {"64", "Debug"}, {"3", "All"}};
    core.reply(REQ_LOG_EXPORT, export_answer(""));
    for (const Case& c : cases) {
        LogBody b;
        b.is_export = true;
        b.main_type = c.main_type;
        b.sub_types = "[10]";
        time_t before = time(nullptr);
        CgiResult res = post("/1003", b.text());
        time_t after = time(nullptr);
        std::smatch m;
        const std::regex head("Content-Type:application/octet-stream\r\n"
                              "Content-Disposition: attachment; filename= ([A-Za-z]+)_log_([0-9A-F]*)_([0-9]{14})"
                              "\\.csv\r\n\r\n");
        ASSERT_TRUE(std::regex_search(res.out, m, head)) << res.out;
        EXPECT_EQ(m.position(0), 0);
        EXPECT_EQ(m[1].str(), c.name);
        EXPECT_EQ(m[2].str(), mac_text());
        char lo[16], hi[16];
        struct tm tm;
        strftime(lo, sizeof lo, "%Y%m%d%H%M%S", gmtime_r(&before, &tm));
        strftime(hi, sizeof hi, "%Y%m%d%H%M%S", gmtime_r(&after, &tm));
        EXPECT_GE(m[3].str(), std::string(lo));
        EXPECT_LE(m[3].str(), std::string(hi));
        // No file named: the column row alone.
        EXPECT_EQ(reply_body(res.out), kColumns);
    }
}

TEST_F(LogCgi, ExportRowsQuoteUserAddressAndDetail)
{
    OperationLogRecord a = entry(4, 204, kStart, 919, 2, "::ffff:192.168.1.7", "admin");
    OperationLogRecord b = entry(2, 11, kEnd, 0, 5, "fe80::1%eth0", "@ops \"night\"");
    OperationLogRecord c = entry(32, 401, kEnd, 900, 3, "", "");
    std::string file = int32_le(3) + export_entry(a, "disk 2: group 1, \"fast\"") + export_entry(b, "") +
                       export_entry(c, "-1 sectors");
    CgiResult res = export_file(file);
    EXPECT_EQ(csv_rows(res.out),
              "1,2024-01-02 03:04:05,Operation,Remote parameter change,Disk,\"admin\",\"192.168.1.7\",2,"
              "\"disk 2: group 1, \"\"fast\"\"\",\r\n"
              "2,2024-01-03 00:00:00,Event,Motion detection,N/A,\"'@ops \"\"night\"\"\",\"fe80::1\",5,\"N/A\",\r\n"
              "3,2024-01-03 00:00:00,Exception,Disk error,N/A,\"\",\"\",3,\"'-1 sectors\",\r\n");
    EXPECT_FALSE(root.exists("/tmp/log/export.dat"));
}

// A spreadsheet reader gets one field back, with the text it held.
TEST_F(LogCgi, CsvReaderReadsTheDetailBackAsOneField)
{
    if (run_command("command -v python3").empty())
        GTEST_SKIP() << "python3 missing";
    const std::string formula = "=HYPERLINK(\"http://x\",\"a, b\")";
    const std::string plain = "said \"stop\", then, \"go\"\nnext line";
    std::string file = int32_le(2) + export_entry(entry(4, 201, kStart, 900, 0, "10.0.0.9", "=cmd"), formula) +
                       export_entry(entry(4, 201, kStart, 900, 0, "10.0.0.9", "bob"), plain);
    CgiResult res = export_file(file);
    root.write("/csv.txt", reply_body(res.out));
    std::string out = run_command("python3 -c 'import csv,json,sys; "
                                  "print(json.dumps(list(csv.reader(open(sys.argv[1], newline=\"\")))))' " +
                                  root.at("/csv.txt"));
    json_object* rows = json_tokener_parse(out.c_str());
    ASSERT_NE(rows, nullptr) << out;
    ASSERT_EQ(json_object_array_length(rows), 3u) << out;
    auto field = [&](size_t row, size_t i) {
        json_object* r = json_object_array_get_idx(rows, row);
        return i < json_object_array_length(r) ? std::string(json_object_get_string(json_object_array_get_idx(r, i)))
                                                : std::string("<no field>");
    };
    for (size_t row = 0; row < 3; row++)
        EXPECT_EQ(json_object_array_length(json_object_array_get_idx(rows, row)), 10u) << row;
    EXPECT_EQ(field(1, 5), "'=cmd");
    EXPECT_EQ(field(1, 8), "'" + formula);  // the text, kept from running
    EXPECT_EQ(field(2, 5), "bob");
    EXPECT_EQ(field(2, 8), plain);
    json_object_put(rows);
}

TEST_F(LogCgi, ExportFileIsReadOnlyAsFarAsItGoes)
{
    const OperationLogRecord r = entry(2, 12, kStart, 0, 1, "", "");
    const std::string one = export_entry(r, "x");
    struct Case {
        const char* what;
        std::string file;
        int rows;
    } cases[] = {
        {"claims 5, holds 2 and a half", int32_le(5) + one + one + one.substr(0, 700), 2},
        {"claims 3, the third cut in its padding", int32_le(3) + one + one + one.substr(0, 2000), 2},
        {"claims 1, holds 2", int32_le(1) + one + one, 1},
        {"negative count", int32_le(-4) + one, 0},
        {"count cut short", std::string("\x02\x00", 2), 0},
        {"empty", "", 0},
    };
    for (const Case& c : cases) {
        CgiResult res = export_file(c.file);
        std::string rows = csv_rows(res.out);
        int n = 0;
        for (size_t at = 0; (at = rows.find("\r\n", at)) != std::string::npos; at += 2)
            n++;
        EXPECT_EQ(n, c.rows) << c.what;
        EXPECT_FALSE(root.exists("/tmp/log/export.dat")) << c.what;
    }
}

// Fields of the file without their NUL end at their own size.
TEST_F(LogCgi, ExportTextsStayWithinTheirFields)
{
    OperationLogRecord r = entry(2, 11, kStart, 0, 1, "", "");
    memset(r.user, 'u', sizeof r.user);
    memset(r.ip, '7', sizeof r.ip);
    memset(r.reserved2, 'X', sizeof r.reserved2);
    r.size = 0x41414141;
    std::string detail(LOG_EXPORT_DETAIL_SIZE, 'd');
    std::string next = export_entry(entry(2, 11, kStart, 0, 1, "", "NEXT"), "");
    CgiResult res = export_file(int32_le(2) + export_entry(r, detail) + next);
    std::string want = "1,2024-01-02 03:04:05,Event,Motion detection,N/A,\"" + std::string(64, 'u') + "\",\"" +
                       std::string(45, '7') + "\",1,\"" + detail + "\",\r\n" +
                       "2,2024-01-02 03:04:05,Event,Motion detection,N/A,\"NEXT\",\"\",1,\"N/A\",\r\n";
    EXPECT_EQ(csv_rows(res.out), want);
}

// The file is removed without a shell: odd names go, directories and
// paths outside the plain form stay.
TEST_F(LogCgi, ExportFileIsRemovedWithoutTheShell)
{
    const std::string file = int32_le(0);
    export_file(file, export_body().text(), "/tmp/log/two words;x");
    EXPECT_FALSE(root.exists("/tmp/log/two words;x"));

    mkdir(root.at("/tmp/log/dir").c_str(), 0755);
    root.write("/tmp/log/dir/inner", "keep");
    core.reply(REQ_LOG_EXPORT, export_answer("/tmp/log/dir"));
    post("/1003", export_body().text());
    EXPECT_EQ(root.read("/tmp/log/dir/inner"), "keep");

    root.write("/keep.dat", int32_le(1) + export_entry(entry(2, 11, kStart, 0, 1, "", "secret"), ""));
    core.reply(REQ_LOG_EXPORT, export_answer("/tmp/log/../../keep.dat"));
    CgiResult res = post("/1003", export_body().text());
    EXPECT_EQ(reply_body(res.out), kColumns);
    EXPECT_TRUE(root.exists("/keep.dat"));
}

// ---- catalogue -------------------------------------------------------------------

std::string catalogue_json(bool oem)
{
    std::vector<std::pair<int, std::vector<int>>> lists = {{1, {}}, {2, {}}, {4, {}}, {8, {}}, {32, {}}, {64, {}}};
    for (int c = 11; c <= 36; c++)
        if (c != 31 && c != 32 && (oem || (c != 15 && c != 16)))
            lists[1].second.push_back(c);
    for (int c = 38; c <= 41; c++)
        lists[1].second.push_back(c);
    for (int c = 101; c <= 143; c++)
        lists[2].second.push_back(c);
    for (int c = 200; c <= 225; c++)
        lists[2].second.push_back(c);
    for (int c = 500; c <= 519; c++)
        if (c < 507 || c > 510)
            lists[3].second.push_back(c);
    for (int c = 400; c <= 411; c++)
        if (c != 408)
            lists[4].second.push_back(c);
    for (int c = 600; c <= 603; c++)
        lists[5].second.push_back(c);
    auto name = [](int code) {
        char text[256];
        trans_get_value(code, text, sizeof text);
        return std::string(text);
    };
    const int index[] = {1, 2, 3, 4, 5, 6};
    std::string mains = "[", subs = "[";
    for (size_t i = 0; i < lists.size(); i++) {
        mains += std::string(i ? "," : "") + "{\"key\":" + std::to_string(lists[i].first) + ",\"name\":\"" +
                 name(index[i]) + "\"}";
        subs += std::string(i ? "," : "") + "[{\"key\":10,\"name\":\"All\"}";
        for (int c : lists[i].second)
            subs += ",{\"key\":" + std::to_string(c) + ",\"name\":\"" + name(c) + "\"}";
        subs += "]";
    }
    return "{\"mainType\":" + mains + "],\"subType\":" + subs + "]}";
}

TEST_F(LogCgi, CatalogueListsMainAndSubTypes)
{
    CgiResult res = post("/1015", "{\"lan\":\"en\"}");
    ASSERT_EQ(res.out.compare(0, kJsonHead.size(), kJsonHead), 0) << res.out;
    EXPECT_EQ(canon(reply_body(res.out)), canon(catalogue_json(false)));
    // A few texts spelled out, so that the table itself is seen.
    const std::string body = canon(reply_body(res.out));
    for (const char* text : {"\"name\":\"Event\"", "\"name\":\"Motion detection\"", "\"name\":\"Remote login\"",
                             "\"name\":\"Disk full\"", "\"name\":\"Debug information\""})
        EXPECT_NE(body.find(text), std::string::npos) << text;
    EXPECT_EQ(body.find("\"key\":15"), std::string::npos);

    set_param_int(VXDB_MAIN, "oem_type", 90);
    vxdb_close_all();
    res = post("/1015", "{\"lan\":\"en\"}");
    EXPECT_EQ(canon(reply_body(res.out)), canon(catalogue_json(true)));
    EXPECT_NE(canon(reply_body(res.out)).find("\"name\":\"Face detection\""), std::string::npos);
}

TEST_F(LogCgi, CatalogueRefusesAMissingOrUnparsableRequest)
{
    for (const char* body : {"", "lan=en", "{\"lan\":5}", "{}"})
        EXPECT_EQ(post("/1015", body).out, kJsonError) << body;
}

// ---- end to end with coresim -------------------------------------------------------

class Coresim {
public:
    explicit Coresim(const std::string& root) : root_(root)
    {
        std::string program = build_dir() + "/coresim";
        run_command(program + " --seed " + root + " >/dev/null");
        pid_ = fork();
        if (pid_ == 0) {
            setenv("NVRWEB_ROOT", root.c_str(), 1);
            if (!freopen((root + "/coresim.log").c_str(), "w", stderr))
                _exit(126);
            execl(program.c_str(), "coresim", (char*)nullptr);
            _exit(127);
        }
        struct stat st;
        for (int i = 0; i < 100 && stat((root + "/var/run/vxsocket").c_str(), &st) != 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Coresim()
    {
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
    }

private:
    std::string root_;
    pid_t pid_ = -1;
};

CgiResult run_post(const ScratchRoot& root, const std::string& path, const std::string& body)
{
    CgiRequest r;
    r.method = "POST";
    r.path = path;
    r.body = body;
    r.content_type = "application/json";
    r.cookie = "userName=admin";
    r.remote_addr = "192.168.1.20";
    return run_cgi(root.path(), r);
}

TEST(LogCoresim, OperationEntryIsFoundShownInDetailAndExported)
{
    ScratchRoot root;
    Coresim sim(root.path());
    // The disk property change leaves an operation entry (204, 919, port 2).
    run_post(root, "/6101", "{\"portId\":2,\"property\":1,\"group\":0}");
    const std::string search =
        "{\"language\":\"en\",\"startTime\":\"2000-01-01 00:00:00\",\"endTime\":\"2037-12-31 23:59:59\","
        "\"mainType\":4,\"subTypeArr\":[204],\"curPageNum\":1,\"chnMask\":\"1111\",\"searchNoChn\":1}";
    json_object* found = nullptr;
    json_object* reply = nullptr;
    for (int attempt = 0; attempt < 20 && !found; attempt++) {
        json_object_put(reply);
        reply = json_tokener_parse(reply_body(run_post(root, "/1002", search).out).c_str());
        json_object* log = nullptr;
        json_object_object_get_ex(reply, "log", &log);
        for (size_t i = 0; i < json_array_size(log) && !found; i++) {
            json_object* parameter = nullptr;
            json_object_object_get_ex(json_object_array_get_idx(log, i), "parameterValue", &parameter);
            if (json_object_get_int(parameter) == 919)
                found = json_object_array_get_idx(log, i);
        }
        if (!found)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(found, nullptr) << "no 204/919 entry";
    auto text = [&](const char* key) {
        json_object* v = nullptr;
        json_object_object_get_ex(found, key, &v);
        return std::string(v ? json_object_get_string(v) : "");
    };
    EXPECT_EQ(text("subType"), "Remote parameter change");
    EXPECT_EQ(text("parameter"), "Disk");
    EXPECT_EQ(text("user"), "admin");
    EXPECT_EQ(text("ip"), "192.168.1.20");
    EXPECT_EQ(text("chanNo"), "2");

    // The entry as the page sends it back for its detail.
    json_object* detail_request = json_object_new_object();
    for (const char* key : {"mainTypeValue", "subTypeValue", "pts", "parameterValue", "remote", "chanNo", "size",
                            "detail2", "ip", "user"}) {
        json_object* v = nullptr;
        json_object_object_get_ex(found, key, &v);
        json_object_object_add(detail_request, key, json_object_get(v));
    }
    std::string detail = reply_body(run_post(root, "/1021", json_object_to_json_string(detail_request)).out);
    json_object_put(detail_request);
    EXPECT_EQ(detail, "Remote parameter change (Disk), channel 2, by admin from 192.168.1.20");

    std::string export_body = search;
    export_body.replace(export_body.find("2000-01-01 "), 11, "2000-01-01T");
    export_body.replace(export_body.find("2037-12-31 "), 11, "2037-12-31T");
    export_body.replace(export_body.find("\"chnMask\":\"1111\""), 16, "\"ch\":15");
    export_body.replace(export_body.find("searchNoChn"), 11, "na");
    // An operation export reads sub types as group masks: ask for all.
    export_body.replace(export_body.find("[204]"), 5, "[10]");
    CgiResult res = run_post(root, "/1003", export_body);
    EXPECT_NE(res.out.find(",Operation,Remote parameter change,Disk,\"admin\",\"192.168.1.20\",2,"
                           "\"Remote parameter change (Disk), channel 2, by admin from 192.168.1.20\",\r\n"),
              std::string::npos)
        << res.out;
    EXPECT_EQ(root.list("/tmp/log"), "");  // export file and marker gone
    json_object_put(reply);
}

}  // namespace
