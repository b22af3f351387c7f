// Device log: search "/1002", detail "/1021", CSV export "/1003", export
// running "/1022" and the type catalogue "/1015", black-box against a fake
// core service; then once end to end against coresim.
#include <json-c/json.h>

#include <ctime>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "core/reply.h"
#include "core/web_utils.h"
#include "modules/network/network_records.h"
#include "modules/system/system_log.h"
#include "platform/trans.h"
#include "tests/support/handler_test.h"

namespace {

const char* const kMarker = "/tmp/log/log_web";
const char* const kFile = "/tmp/log/export.dat";
// 2024-01-02 03:04:05 and 2024-01-03 00:00:00 UTC (the runner sets TZ=UTC).
const int32_t kStart = 1704164645;
const int32_t kEnd = 1704240000;
const std::string kColumns = "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n";

using Keys = std::vector<std::pair<std::string, std::string>>;

// A search or export body: the defaults with keys replaced; "-" leaves one out.
std::string log_body(bool is_export, const Keys& changes = {})
{
    const std::string sep = is_export ? "T" : " ";
    Keys keys = {{"language", "\"en\""}, {"startTime", "\"2024-01-02" + sep + "03:04:05\""},
                 {"endTime", "\"2024-01-03" + sep + "00:00:00\""}, {"mainType", "2"}, {"subTypeArr", "[11,12]"},
                 {"curPageNum", "3"}, {is_export ? "ch" : "chnMask", is_export ? "5" : "\"1010\""},
                 {is_export ? "na" : "searchNoChn", "1"}};
    std::string out;
    for (auto& k : keys) {
        for (const auto& c : changes)
            k.second = c.first == k.first ? c.second : k.second;
        if (k.second != "-")
            out += (out.empty() ? "{\"" : ",\"") + k.first + "\":" + k.second;
    }
    return out + "}";
}

std::string query(int main_type, const std::vector<int64_t>& subs, int page = 3, uint64_t mask = 5,
                  int32_t start = kStart, int32_t end = kEnd, int no_channel = 1)
{
    log_search_query q = {start, end, main_type, {}, {}, (int32_t)subs.size(), page, mask, no_channel, {}};
    std::copy(subs.begin(), subs.end(), q.sub_types);
    return bytes_of(q);
}

OperationLogRecord entry(int main_type, int sub_type, int32_t time, int parameter, int chan, const char* ip,
                         const char* user)
{
    OperationLogRecord r = {main_type, {}, sub_type, 0, {}, time, parameter, 1, chan, {}, {}, {}, 0, {}, {}};
    put(r.ip, ip);
    put(r.user, user);
    return r;
}

std::string page_bytes(int count, int num, const std::vector<OperationLogRecord>& records)
{
    log_search_page page = {count, num, {}};
    std::copy(records.begin(), records.end(), page.records);
    return bytes_of(page);
}

std::string export_answer(const std::string& path)
{
    log_export_reply a = {0, {}};
    put(a.path, path);
    return bytes_of(a);
}

std::string export_entry(const OperationLogRecord& r, const std::string& detail)
{
    log_export_entry e = {r, {}};
    put(e.detail, detail);
    return bytes_of(e);
}

size_t count_of(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// Key `key` of log entry i of a search reply.
std::string log_field(const std::string& out, size_t i, const char* key)
{
    json_object* reply = json_tokener_parse(reply_body(out).c_str());
    json_object *log = nullptr, *v = nullptr;
    if (json_object_object_get_ex(reply, "log", &log) && json_object_is_type(log, json_type_array))
        json_object_object_get_ex(json_object_array_get_idx(log, i), key, &v);
    std::string text = v ? json_object_get_string(v) : "<missing>";
    json_object_put(reply);
    return text;
}

std::string csv_rows(const std::string& out)
{
    std::string body = reply_body(out);
    return body.compare(0, kColumns.size(), kColumns) == 0 ? body.substr(kColumns.size()) : "<no columns: " + body;
}

class LogTest : public HandlerTest {
protected:
    std::string sent_one(int code)
    {
        std::vector<FakeRequest> v = sent(code);
        EXPECT_EQ(v.size(), 1u) << "requests " << code;
        return v.empty() ? std::string() : v[0].payload;
    }
    // An export whose answer names a file holding `file`.
    CgiResult export_file(const std::string& file, const std::string& path = kFile)
    {
        root.write(path, file);
        core.reply(REQ_LOG_EXPORT, export_answer(path));
        return post("/1003", log_body(true));
    }
};

TEST_F(LogTest, RefusalsAskNothing)
{
    const Keys cases[] = {{{"mainType", "0"}},     {{"mainType", "65"}},       {{"mainType", "-"}},
                          {{"mainType", "\"x\""}}, {{"subTypeArr", "[9,11]"}}, {{"subTypeArr", "[]"}},
                          {{"subTypeArr", "-"}},   {{"language", "-"}},        {{"startTime", "-"}},
                          {{"endTime", "-"}},      {{"curPageNum", "-"}}};
    for (bool is_export : {false, true}) {
        for (const Keys& c : cases) {
            const std::string body = log_body(is_export, c);
            EXPECT_EQ(post(is_export ? "/1003" : "/1002", body).out, is_export ? "" : kJsonError) << body;
            EXPECT_TRUE(sent_all().empty());
            EXPECT_FALSE(root.exists(kMarker));
        }
    }
    EXPECT_EQ(post("/1002", "{\"mainType\":2").out, kJsonError);
    EXPECT_EQ(post("/1003", "{\"mainType\":2").out, "");
}

TEST_F(LogTest, QueryOnTheWire)
{
    core.reply(REQ_LOG_SEARCH, page_bytes(0, 0, {}));
    core.reply(REQ_LOG_EXPORT, export_answer(""));
    std::string mask(64, '0'), subs = "[11";
    mask[1] = mask[2] = mask[63] = '1';
    std::vector<int64_t> first_100 = {11};
    for (int i = 12; i < 141; i++) {
        subs += "," + std::to_string(i);
        if (first_100.size() < 100)
            first_100.push_back(i);
    }
    const struct {
        bool is_export;
        Keys changes;
        std::string want;
    } cases[] = {
        // Main types 1 to 64, also as text; sub type 10 ("all") may come first.
        {false, {{"mainType", "1"}, {"subTypeArr", "[10]"}}, query(1, {10})},
        {false, {{"mainType", "64"}, {"subTypeArr", "[10,600]"}}, query(64, {10, 600})},
        {false, {{"mainType", "\"8\""}, {"subTypeArr", "[500]"}}, query(8, {500})},
        {false,
         {{"mainType", "4"}, {"subTypeArr", "[201,-5,\"204\",4294967296]"}, {"curPageNum", "7"},
          {"chnMask", "\"" + mask + "\""}, {"searchNoChn", "0"}},
         query(4, {201, -5, 204, 4294967296LL}, 7, 0x8000000000000006ULL, kStart, kEnd, 0)},
        // Only 64 mask characters and 100 sub types count.
        {false, {{"chnMask", "\"" + std::string(64, '0') + "11\""}, {"subTypeArr", subs + "]"}},
         query(2, first_100, 3, 0)},
        // 32-bit times: past 2038 means "until the end"; a time that does not read is 0.
        {false, {{"startTime", "\"1970-01-01 00:00:10\""}, {"endTime", "\"2100-01-01 00:00:00\""}},
         query(2, {11, 12}, 3, 5, 10, INT32_MAX)},
        {false, {{"startTime", "\"1800-01-01 00:00:00\""}, {"endTime", "\"2038-01-19 03:14:07\""}},
         query(2, {11, 12}, 3, 5, INT32_MIN, INT32_MAX)},
        {false, {{"startTime", "\"yesterday\""}, {"endTime", "\"2024-01-03T00:00:00\""}},
         query(2, {11, 12}, 3, 5, 0, 0)},
        // An export asks for page 1; "ch" is an unsigned 64-bit mask, as number or text.
        {true, {{"ch", "9223372036854775808"}, {"curPageNum", "7"}}, query(2, {11, 12}, 1, 1ULL << 63)},
        {true, {{"ch", "\"9223372036854775808\""}}, query(2, {11, 12}, 1, 1ULL << 63)},
        {true, {{"ch", "18446744073709551615"}}, query(2, {11, 12}, 1, ~0ULL)},
        {true, {{"ch", "\"18446744073709551616\""}}, query(2, {11, 12}, 1, 0)},
        {true, {{"ch", "-"}}, query(2, {11, 12}, 1, 0)},
        // Operation exports give three group masks offset by 10 (101, 131, 200 on).
        {true, {{"mainType", "4"}, {"subTypeArr", "[11,10,10]"}}, query(4, {101}, 1)},
        {true, {{"mainType", "4"}, {"subTypeArr", "[15,12,10]"}}, query(4, {101, 103, 132}, 1)},
        {true, {{"mainType", "4"}, {"subTypeArr", "[10,11,13]"}}, query(4, {10, 11, 13}, 1)},
        {true, {{"mainType", "4"}, {"subTypeArr", "[536870922,1073741834,536870922]"}}, query(4, {130, 229}, 1)},
        {true, {{"subTypeArr", "[11,10,10]"}}, query(2, {11, 10, 10}, 1)},
    };
    for (const auto& c : cases) {
        const std::string body = log_body(c.is_export, c.changes);
        post(c.is_export ? "/1003" : "/1002", body);
        EXPECT_TRUE(same_bytes(sent_one(c.is_export ? REQ_LOG_EXPORT : REQ_LOG_SEARCH), c.want)) << body;
    }
}

// detail2: the 512 detail bytes as 128 big-endian int32, these first.
std::string detail2(const std::vector<int64_t>& head)
{
    std::string out;
    for (size_t i = 0; i < LOG_DETAIL_INTS; i++)
        out += (i ? "," : "[") + std::to_string(i < head.size() ? head[i] : 0);
    return out + "]";
}

// Keys in order; a mapped IPv4 address shown plain, a scope cut off.
TEST_F(LogTest, SearchPagePrintsEachEntryWithItsKeysInOrder)
{
    OperationLogRecord a = entry(4, 204, kStart, 919, 3, "fe80::1%eth0", "admin");
    memcpy(a.detail, "ab", 2);
    a.size = 8;
    OperationLogRecord b = entry(32, 401, kEnd, 0, 5, "::ffff:10.1.2.3", "");
    const uint8_t detail[] = {0, 0, 0, 0, 0x80, 0, 0, 1, 0xff, 0xff, 0xff, 0xfe};
    memcpy(b.detail, detail, sizeof detail);
    b.remote = 0;
    core.reply(REQ_LOG_SEARCH, page_bytes(250, 2, {a, b}));
    EXPECT_TRUE(json_reply_is(
        post("/1002", log_body(false)).out,
        "{\"count\":250,\"num\":2,\"curPageNum\":3,\"log\":[{\"no\":0,\"mainTypeValue\":4,\"mainType\":\"Operation\","
        "\"subTypeValue\":204,\"subType\":\"Remote parameter change\",\"pts\":1704164645,"
        "\"ptc\":\"2024-01-02 03:04:05\",\"parameterValue\":919,\"parameter\":\"Disk\",\"remote\":1,\"chanNo\":3,"
        "\"disk\":0,\"size\":8,\"detail\":\"ab\",\"detail2\":" +
            detail2({1633812480}) +
            ",\"ip\":\"fe80::1\",\"user\":\"admin\"},{\"no\":1,\"mainTypeValue\":32,\"mainType\":\"Exception\","
            "\"subTypeValue\":401,\"subType\":\"Disk error\",\"pts\":1704240000,\"ptc\":\"2024-01-03 00:00:00\","
            "\"parameterValue\":0,\"parameter\":\"\",\"remote\":0,\"chanNo\":5,\"disk\":1,\"size\":0,"
            "\"detail\":\"\",\"detail2\":" +
            detail2({0, -2147483647, -2}) + ",\"ip\":\"10.1.2.3\",\"user\":\"\"}]}"));
}

TEST_F(LogTest, PageIsReadOnlyAsFarAsItGoes)
{
    const std::vector<OperationLogRecord> full(LOG_PAGE_ENTRIES, entry(2, 11, kStart, 0, 1, "", ""));
    const std::pair<std::string, int> cases[] = {  // -1: the error text
        {page_bytes(999, 150, full), 100},
        {page_bytes(999, 7, full), 7},
        {page_bytes(999, -3, full), 0},
        {page_bytes(1, 1, full).substr(0, sizeof(log_search_page) - 1), -1},
        {"", -1}};
    for (const auto& c : cases) {
        core.reply(REQ_LOG_SEARCH, c.first);
        const std::string out = post("/1002", log_body(false)).out;
        const std::string body = canon(reply_body(out));
        const bool listed = count_of(body, "{\"no\":") == (size_t)c.second &&
                            count_of(body, ",\"num\":" + std::to_string(c.second) + ",") == 1;
        EXPECT_TRUE(c.second < 0 ? out == kJsonHead + "ERROR" : listed) << c.second << " " << out.substr(0, 80);
    }
    core.silent(REQ_LOG_SEARCH);
    EXPECT_EQ(post("/1002", log_body(false)).out, kJsonError);
}

// Only a plain name of at most 15 characters picks a file; its gaps fall
// back to English, unknown codes to the code itself.
TEST_F(LogTest, LanguageFileIsPickedOnlyByAPlainName)
{
    for (const char* name : {"Test", "Lang_Fifteen-15", "Lang_Sixteen--16"})
        root.write(std::string("/www/lang/") + name + ".txt", "# texts\n3=Betrieb\r\n204=Geaendert\nbad line\n");
    core.reply(REQ_LOG_SEARCH,
               page_bytes(2, 2, {entry(4, 204, kStart, 919, 1, "", ""), entry(4, 777, kStart, 999, 1, "", "")}));
    for (const auto& c : {std::make_pair("Test", true), std::make_pair("Lang_Fifteen-15", true),
                          std::make_pair("Lang_Sixteen--16", false), std::make_pair("../lang/Test", false)}) {
        SCOPED_TRACE(c.first);
        const std::string out = post("/1002", log_body(false, {{"language", std::string("\"") + c.first + "\""}})).out;
        EXPECT_EQ(log_field(out, 0, "mainType"), c.second ? "Betrieb" : "Operation");
        EXPECT_EQ(log_field(out, 0, "subType"), c.second ? "Geaendert" : "Remote parameter change");
        EXPECT_EQ(log_field(out, 0, "parameter") + log_field(out, 1, "subType") + log_field(out, 1, "parameter"),
                  "Disk777999");
    }
}

// The entry rebuilt from the page's keys, 128 integers at most; the answer
// printed as far as its length and its NUL go.
TEST_F(LogTest, DetailRequestAndAnswer)
{
    std::string ints = "[-2147483647,1633812480";
    for (int i = 2; i < 200; i++)
        ints += "," + std::to_string(i);
    const std::string body = "{\"mainTypeValue\":4,\"subTypeValue\":204,\"pts\":1704164645,\"parameterValue\":919,"
                             "\"remote\":1,\"chanNo\":3,\"size\":8,\"detail2\":" + ints + "],\"ip\":\"" +
                             std::string(50, '1') + "\",\"user\":\"" + std::string(70, 'u') + "\"}";
    const std::pair<std::string, std::string> cases[] = {
        {"Disk 3 changed", "Disk 3 changed"}, {std::string("abc\0def", 7), "abc"},
        {"one\r\ntwo", "one\r\ntwo"},         {std::string("\0x", 2), "N/A"}, {"", "N/A"}};
    for (const auto& c : cases) {
        core.reply(REQ_LOG_DETAIL, c.first);
        EXPECT_EQ(post("/1021", body).out, kTextHead + c.second);
    }
    OperationLogRecord want = entry(4, 204, kStart, 919, 3, std::string(45, '1').c_str(), std::string(63, 'u').c_str());
    want.size = 8;
    const uint8_t head[] = {0x80, 0, 0, 1, 'a', 'b', 0, 0};
    memcpy(want.detail, head, sizeof head);
    for (int i = 2; i < LOG_DETAIL_INTS; i++)
        want.detail[4 * i + 3] = (uint8_t)i;
    EXPECT_TRUE(same_bytes(sent_one(REQ_LOG_DETAIL), bytes_of(want)));
    core.silent(REQ_LOG_DETAIL);
    EXPECT_EQ(post("/1021", "{\"mainTypeValue\":2}").out, kTextError);
    EXPECT_EQ(post("/1021", "not json").out, "");
}

TEST_F(LogTest, MarkerExistsDuringTheExportAndIsRemovedAfter)
{
    bool present = false;
    core.script(REQ_LOG_EXPORT, [&](const FakeRequest&, FakeResponder& r) {
        present = root.exists(kMarker);
        r.send(REQ_LOG_EXPORT + 5000, export_answer(""));
    });
    post("/1003", log_body(true));
    EXPECT_TRUE(present);
    EXPECT_EQ(post("/1022", "").out, kTextHead + "NO");
    // No answer, or one too short to name a file: the error, and the marker gone.
    for (const std::string& answer : {std::string(), export_answer(kFile).substr(0, 67)}) {
        if (answer.empty())
            core.silent(REQ_LOG_EXPORT);
        else
            core.reply(REQ_LOG_EXPORT, answer);
        EXPECT_EQ(post("/1003", log_body(true)).out, kJsonError);
        EXPECT_EQ(sent(REQ_LOG_EXPORT).size(), 1u);
        EXPECT_FALSE(root.exists(kMarker));
    }
    root.write(kMarker, "");
    EXPECT_EQ(post("/1022", "").out, kTextHead + "OK");
}

TEST_F(LogTest, ExportHeaderNamesTheFileByMainTypeMacAndTime)
{
    // The stored MAC text names the file; a byte that is no hex digit never
    // reaches the header line.
    ASSERT_EQ(write_mac_conf(VXDB_MAIN, "00:1e:5A:\r\nX-Q: 0b0C0D"), 0);
    const std::string mac = "001e5A0b0C0D";
    const std::regex head("Content-Type:application/octet-stream\r\nContent-Disposition: attachment; "
                          "filename= ([A-Za-z]+)_log_([0-9A-Fa-f]*)_([0-9]{14})\\.csv\r\n\r\n([\\s\\S]*)");
    auto stamp = [](time_t t) {
        char text[16];
        struct tm tm;
        strftime(text, sizeof text, "%Y%m%d%H%M%S", gmtime_r(&t, &tm));
        return std::string(text);
    };
    core.reply(REQ_LOG_EXPORT, export_answer(""));
    for (const auto& c : std::vector<std::pair<const char*, const char*>>{
             {"1", "All"}, {"2", "Event"}, {"4", "Operation"}, {"8", "Information"}, {"32", "Exception"},
             {"64", "Debug"}, {"3", "All"}}) {
        const std::string before = stamp(time(nullptr));
        const std::string out = post("/1003", log_body(true, {{"mainType", c.first}, {"subTypeArr", "[10]"}})).out;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(out, m, head)) << out;
        EXPECT_EQ(m[1].str() + " " + m[2].str(), c.second + (" " + mac));
        EXPECT_TRUE(m[3].str() >= before && m[3].str() <= stamp(time(nullptr))) << m[3].str();
        EXPECT_EQ(m[4].str(), kColumns);  // no file named: the column row alone
    }
}

// User, address and detail as quoted fields, a formula start kept as text,
// texts without their NUL ending at their fields; a CSV reader gets each
// field back whole.
TEST_F(LogTest, ExportRowsKeepEachFieldWhole)
{
    OperationLogRecord full = entry(2, 11, kStart, 0, 1, "", "");
    memset(full.user, 'u', sizeof full.user);
    memset(full.ip, '7', sizeof full.ip);
    memset(full.reserved2, 'X', sizeof full.reserved2);
    full.size = 0x41414141;
    const std::string formula = "=HYPERLINK(\"http://x\",\"a, b\")";
    const std::string said = "-1 said \"stop\", then\nnext line";
    const std::string d(LOG_EXPORT_DETAIL_SIZE, 'd');
    const std::string out =
        export_file(int32_bytes({4}) +
                    export_entry(entry(4, 204, kStart, 919, 2, "::ffff:192.168.1.7", "admin"), formula) +
                    export_entry(entry(2, 11, kEnd, 0, 5, "fe80::1%eth0", "@ops \"night\""), "") +
                    export_entry(full, d) + export_entry(entry(32, 401, kEnd, 900, 3, "::ffff:abcd:1", ""), said))
            .out;
    EXPECT_EQ(csv_rows(out),
              "1,2024-01-02 03:04:05,Operation,Remote parameter change,Disk,\"admin\",\"192.168.1.7\",2,"
              "\"'=HYPERLINK(\"\"http://x\"\",\"\"a, b\"\")\",\r\n"
              "2,2024-01-03 00:00:00,Event,Motion detection,N/A,\"'@ops \"\"night\"\"\",\"fe80::1\",5,\"N/A\",\r\n"
              "3,2024-01-02 03:04:05,Event,Motion detection,N/A,\"" +
                  std::string(64, 'u') + "\",\"" + std::string(45, '7') + "\",1,\"" + d + "\",\r\n" +
                  "4,2024-01-03 00:00:00,Exception,Disk error,N/A,\"\",\"::ffff:abcd:1\",3,"
                  "\"'-1 said \"\"stop\"\", then\nnext line\",\r\n");
    EXPECT_FALSE(root.exists(kFile));

    // Python's reader gives each row's field count, user and detail.
    if (system("command -v python3 >/dev/null") != 0)
        GTEST_SKIP() << "python3 missing";
    root.write("/csv.txt", reply_body(out));
    const std::string script = "import csv,sys\n"
                               "rows = list(csv.reader(open(sys.argv[1], newline=\"\")))[1:]\n"
                               "open(sys.argv[2], \"w\").write(\"\\0\".join(\"%d\\0%s\\0%s\" % (len(r), r[5], r[8]) "
                               "for r in rows))\n";
    const std::string command = "python3 -c '" + script + "' " + root.at("/csv.txt") + " " + root.at("/fields");
    ASSERT_EQ(system(command.c_str()), 0);
    std::string want;
    for (const auto& row : std::vector<std::pair<std::string, std::string>>{
             {"admin", "'" + formula}, {"'@ops \"night\"", "N/A"}, {std::string(64, 'u'), d}, {"", "'" + said}})
        want += (want.empty() ? "" : std::string(1, '\0')) + "10" + '\0' + row.first + '\0' + row.second;
    EXPECT_TRUE(same_bytes(root.read("/fields"), want));
}

TEST_F(LogTest, ExportFileIsReadOnlyAsFarAsItGoes)
{
    const std::string one = export_entry(entry(2, 12, kStart, 0, 1, "", ""), "x");
    const std::pair<std::string, size_t> cases[] = {
        {int32_bytes({5}) + one + one + one.substr(0, 700), 2},   // cut in its record
        {int32_bytes({3}) + one + one + one.substr(0, 2000), 2},  // cut in its detail's padding
        {int32_bytes({1}) + one + one, 1},
        {int32_bytes({-4}) + one, 0},
        {std::string("\x02\x00", 2), 0},
        {"", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(count_of(csv_rows(export_file(c.first).out), "\r\n"), c.second) << c.first.size();
        EXPECT_FALSE(root.exists(kFile));
    }
}

// The answer names the file: a regular file below /tmp is printed and removed
// (an odd name without the shell); anything else prints no row and stays,
// the database and the socket first of all.
TEST_F(LogTest, ExportAnswerNamingAnythingElseIsNoExport)
{
    set_param("log_export_probe", 7);
    const std::string db = "/mnt/nand/app/vxdb.db", db_bytes = root.read(db);
    const std::string secret = int32_bytes({1}) + export_entry(entry(2, 11, kStart, 0, 1, "", "secret"), "");
    root.write("/keep.dat", secret);
    root.write("/tmpx/keep.dat", secret);
    root.write("/tmp/log/dir/inner", "keep");
    ASSERT_EQ(symlink(root.at("/keep.dat").c_str(), root.at("/tmp/log/link").c_str()), 0);
    ASSERT_EQ(symlink(root.at(db).c_str(), root.at("/tmp/db").c_str()), 0);
    const std::pair<const char*, const char*> rows[] = {
        {"/mnt/nand/app/vxdb.db", "/mnt/nand/app/vxdb.db"}, {"/var/run/vxsocket", "/var/run/vxsocket"},
        {"/tmp/../keep.dat", "/keep.dat"}, {"/tmp/log/../../keep.dat", "/keep.dat"},
        {"/tmp/../mnt/nand/app/vxdb.db", "/mnt/nand/app/vxdb.db"}, {"/tmp/log/link", "/tmp/log/link"},
        {"/tmp/db", "/tmp/db"}, {"/tmp/log/dir", "/tmp/log/dir/inner"}, {"/tmpx/keep.dat", "/tmpx/keep.dat"},
        {"tmp/log/dir/inner", "/tmp/log/dir/inner"},
    };
    for (const auto& [named, kept] : rows) {
        core.reply(REQ_LOG_EXPORT, export_answer(named));
        EXPECT_EQ(reply_body(post("/1003", log_body(true)).out), kColumns) << named;
        EXPECT_TRUE(root.exists(kept)) << named;
    }
    EXPECT_EQ(root.read(db), db_bytes);
    EXPECT_EQ(param("log_export_probe", 0), 7);
    EXPECT_EQ(root.read("/keep.dat"), secret);

    EXPECT_EQ(count_of(csv_rows(export_file(secret, "/tmp/log/two words;x").out), "\r\n"), 1u);
    EXPECT_FALSE(root.exists("/tmp/log/two words;x"));
}

// The catalogue from its code ranges; a code without an English text shows.
std::string catalogue_json(bool oem)
{
    auto codes = [](int first, int last, std::set<int> skip, std::vector<int> v) {
        for (int c = first; c <= last; c++)
            if (!skip.count(c))
                v.push_back(c);
        return v;
    };
    const std::vector<std::vector<int>> subs = {
        {10},
        codes(38, 41, {}, codes(11, 36, oem ? std::set<int>{31, 32} : std::set<int>{15, 16, 31, 32}, {10})),
        codes(200, 225, {}, codes(101, 143, {}, {10})),
        codes(500, 519, {507, 508, 509, 510}, {10}),
        codes(400, 411, {408}, {10}),
        codes(600, 603, {}, {10})};
    auto item = [](int key, int code) {
        char text[256];
        trans_get_value(code, text, sizeof text);
        const std::string name = std::to_string(code) == text ? "<no text for " + std::to_string(code) + ">" : text;
        return "{\"key\":" + std::to_string(key) + ",\"name\":\"" + name + "\"}";
    };
    const int mains[] = {1, 2, 4, 8, 32, 64};
    std::string main_list, sub_lists;
    for (size_t i = 0; i < 6; i++) {
        main_list += (i ? "," : "") + item(mains[i], (int)i + 1);
        for (size_t k = 0; k < subs[i].size(); k++)
            sub_lists += (k ? "," : i ? "],[" : "[") + item(subs[i][k], subs[i][k]);
    }
    return "{\"mainType\":[" + main_list + "],\"subType\":[" + sub_lists + "]]}";
}

TEST_F(LogTest, CatalogueListsMainAndSubTypes)
{
    const std::string out = post("/1015", "{\"lan\":\"en\"}").out;
    EXPECT_TRUE(json_reply_is(out, catalogue_json(false)));
    for (const char* text : {"\"name\":\"Event\"", "\"name\":\"Motion detection\"", "\"name\":\"Remote login\"",
                             "\"name\":\"Disk full\"", "\"name\":\"Debug information\""})
        EXPECT_NE(canon(reply_body(out)).find(text), std::string::npos) << text;
    set_param("oem_type", 90);
    EXPECT_TRUE(json_reply_is(post("/1015", "{\"lan\":\"en\"}").out, catalogue_json(true)));
    for (const char* body : {"", "lan=en", "{\"lan\":5}", "{}"})
        EXPECT_EQ(post("/1015", body).out, kJsonError) << body;
}

TEST(LogCoresim, OperationEntryIsFoundShownInDetailAndExported)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto run = [&](const std::string& path, const std::string& body) {
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.body = body;
        r.content_type = "application/json";
        r.cookie = "userName=admin";
        return run_cgi(root.path(), r).out;
    };
    // A disk property change leaves an operation record (204, 919, port 2).
    run("/6101", "{\"portId\":2,\"property\":1,\"group\":0}");
    auto keys = [](const std::string& sep, const char* subs, const char* mask_key, const char* mask) {
        return Keys{{"startTime", "\"2000-01-01" + sep + "00:00:00\""}, {"endTime", "\"2037-12-31" + sep + "23:59:59\""},
                    {"mainType", "4"}, {"curPageNum", "1"}, {"subTypeArr", subs}, {mask_key, mask}};
    };
    std::string out;
    for (int attempt = 0; attempt < 20 && log_field(out, 0, "parameterValue") != "919"; attempt++) {
        usleep(attempt ? 100 * 1000 : 0);
        out = run("/1002", log_body(false, keys(" ", "[204]", "chnMask", "\"1111\"")));
    }
    std::string shown;
    for (const char* key : {"parameterValue", "subType", "parameter", "user", "ip", "chanNo"})
        shown += log_field(out, 0, key) + "|";
    EXPECT_EQ(shown, "919|Remote parameter change|Disk|admin|192.168.1.20|2|") << out;

    // The entry as the page sends it back for its detail.
    std::string detail = "{";
    for (const char* key : {"mainTypeValue", "subTypeValue", "pts", "parameterValue", "remote", "chanNo", "size"})
        detail += std::string("\"") + key + "\":" + log_field(out, 0, key) + ",";
    detail += "\"detail2\":" + log_field(out, 0, "detail2") + ",\"ip\":\"192.168.1.20\",\"user\":\"admin\"}";
    const std::string text = "Remote parameter change (Disk), channel 2, by admin from 192.168.1.20";
    EXPECT_EQ(reply_body(run("/1021", detail)), text);

    // An operation export reads sub types as group masks: 10 asks for all.
    const std::string csv = run("/1003", log_body(true, keys("T", "[10]", "ch", "15")));
    EXPECT_EQ(count_of(csv, ",Operation,Remote parameter change,Disk,\"admin\",\"192.168.1.20\",2,\"" + text + "\",\r\n"),
              1u)
        << csv;
    EXPECT_EQ(root.list("/tmp/log"), "");  // export file and marker gone
}

}  // namespace
