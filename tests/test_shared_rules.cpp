// Shared rules every module relies on: channel lists and strings, the camera
// count bound, tools without a shell, and UTF-8 in JSON replies.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <tuple>
#include <vector>

#include "core/channels.h"
#include "core/json_util.h"
#include "core/utf8.h"
#include "modules/system/system_log.h"
#include "modules/system/system_user.h"
#include "platform/vxsystem.h"
#include "tests/support/handler_test.h"

namespace {

uint64_t bits(std::initializer_list<int> channels)
{
    uint64_t m = 0;
    for (int c : channels)
        m |= 1ULL << c;
    return m;
}

TEST(ChannelList, CountArrayAndHostileElements)
{
    const std::pair<const char*, std::vector<int>> rows[] = {
        {R"({"cnt":3,"chnid":[4]})", {4}},  // never past the array: no stray channel 0
        {R"({"cnt":5,"chnid":[64,-1,63,0,4294967296]})", {63, 0}},
        {R"({"cnt":7,"chnid":[null,"x",2.5,{},[1],"7",true]})", {7}},
        {R"({"cnt":4,"chnid":[5,5,3,5]})", {5, 3}},
        {R"({"cnt":2,"chnid":[9,8,7]})", {9, 8}},
        {R"({"cnt":"2","chnid":[9,8,7]})", {9, 8}},
        {R"({"cnt":0,"chnid":[1]})", {}},
        {R"({"cnt":-1,"chnid":[1]})", {}},
        {R"({"cnt":"a","chnid":[1]})", {}},
        {R"({"chnid":[1]})", {}},
        {R"({"cnt":1,"chnid":5})", {}},
        {R"({"cnt":1})", {}},
    };
    for (const auto& [json, want] : rows) {
        JsonPtr req(json_tokener_parse(json));
        ChannelList list = channel_list_by_json(req.get(), "chnid", "cnt");
        ASSERT_EQ(list.count, (int)want.size()) << json;
        uint64_t mask = 0;
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(list.channels[i], want[i]) << json << " #" << i;
            mask |= 1ULL << want[i];
        }
        for (size_t i = want.size(); i < CHANNEL_COUNT; i++)
            EXPECT_EQ(list.channels[i], 0) << json << " #" << i;
        EXPECT_EQ(list.mask, mask) << json;
    }
    EXPECT_EQ(channel_list_by_json(nullptr, "chnid", "cnt").count, 0);

    // 100 distinct entries: all 64 channels, none twice.
    std::string many = "{\"cnt\":100,\"chnid\":[";
    for (int i = 0; i < 100; i++)
        many += (i ? "," : "") + std::to_string(99 - i);
    JsonPtr req(json_tokener_parse((many + "]}").c_str()));
    ChannelList list = channel_list_by_json(req.get(), "chnid", "cnt");
    EXPECT_EQ(list.count, 64);
    EXPECT_EQ(list.channels[0], 63);
    EXPECT_EQ(list.channels[63], 0);
    EXPECT_EQ(list.mask, ~0ULL);
}

TEST(ChannelString, MaskFromAtMostSixtyFourCharacters)
{
    const std::string hundred(100, '1');
    std::string forty(64, '0');
    forty[40] = '1';
    const std::tuple<std::string, size_t, uint64_t> rows[] = {
        {"1011", 5, bits({0, 2, 3})},
        {hundred, 101, ~0ULL},                      // characters 64 to 99 have no channel
        {hundred, 8, 0xFFULL},                      // a field of 8 bytes without its NUL
        {forty, 65, bits({40})},
        {"0210 1x1", 9, bits({2, 5, 7})},           // only '1' selects
        {std::string("11\0" "11", 5), 5, bits({0, 1})},  // the NUL ends the string
        {"", 1, 0},
    };
    for (const auto& [text, size, mask] : rows)
        EXPECT_EQ(channel_string_mask(text.data(), size), mask) << text;
    EXPECT_EQ(channel_string_mask(nullptr, 64), 0u);

    // The users' 32-bit masks keep channels 0 to 31; 40 lives in the string only.
    char field[65];
    memset(field, '1', sizeof field);  // no NUL: the mask stops at the field
    EXPECT_EQ(user_channel_mask(field), 0xFFFFFFFFu);
    memcpy(field, forty.c_str(), 65);
    EXPECT_EQ(user_channel_mask(field), 0u);
}

using MaxCameras = HandlerTest;

TEST_F(MaxCameras, ClampedToOneToSixtyFour)
{
    const std::pair<int, int> counts[] = {{INT_MIN, 1}, {-5, 1}, {0, 1}, {1, 1}, {16, 16}, {64, 64}, {65, 64}, {INT_MAX, 64}};
    for (auto [count, want] : counts)
        EXPECT_EQ(channel_count_clamp(count), want) << count;
    EXPECT_EQ(get_max_cameras(VXDB_MAIN), 32);  // absent
    for (auto [stored, want] : {std::pair{100, 64}, std::pair{0, 1}, std::pair{-3, 1}, std::pair{8, 8}}) {
        set_param("max_cameras", stored);
        EXPECT_EQ(get_max_cameras(VXDB_MAIN), want) << stored;
    }
}

// ---- tools -----------------------------------------------------------------

TEST(Tools, ArgumentsArriveVerbatimAndNothingRuns)
{
    ScratchRoot root;
    const std::string ran = root.at("/ran");
    const std::string name = "cam $(touch " + ran + ") `touch " + ran + "` ; touch " + ran + " | x & 'q\"";
    const char* const argv[] = {"printf", "%s", name.c_str(), nullptr};
    char out[512];
    size_t length = 0;
    ASSERT_EQ(vx_exec_capture(argv, out, sizeof out, &length), 0);
    EXPECT_EQ(std::string(out, length), name);
    ASSERT_EQ(vx_exec(argv, root.at("/out").c_str()), 0);
    EXPECT_EQ(root.read("/out"), name);
    EXPECT_FALSE(root.exists("/ran"));
}

TEST(Tools, CaptureFitsOrIsRefused)
{
    const std::string seven = "abcdefg";
    const char* const print[] = {"printf", "%s", seven.c_str(), nullptr};
    const char* const endless[] = {"yes", nullptr};
    const char* const fails[] = {"sh", "-c", "printf ab; exit 3", nullptr};
    const char* const missing[] = {"/nonexistent/tool", nullptr};
    struct Case {
        const char* const* argv;
        size_t size;
        int rc;
        std::string out;
    } cases[] = {
        {print, 8, 0, seven},  // exactly room for the text and its NUL
        {print, 7, -1, ""},    // one byte short: refused, not cut
        {print, 1, -1, ""},
        {endless, 64, -1, ""},  // output that never ends is stopped
        {fails, 16, -1, "ab"},
        {missing, 16, -1, ""},
    };
    for (const Case& c : cases) {
        std::vector<char> out(c.size, '#');
        size_t length = 99;
        EXPECT_EQ(vx_exec_capture(c.argv, out.data(), c.size, &length), c.rc) << c.argv[0] << " " << c.size;
        EXPECT_EQ(std::string(out.data()), c.out) << c.argv[0] << " " << c.size;
        EXPECT_EQ(length, c.rc == 0 || c.argv == fails ? c.out.size() : 0u) << c.argv[0];
    }
}

TEST(Tools, FormattedCommandFitsOrIsRefused)
{
    char out[16];
    EXPECT_EQ(vx_format(out, 13, "rm -f %s", "/tmp/a"), 0);
    EXPECT_STREQ(out, "rm -f /tmp/a");
    EXPECT_EQ(vx_format(out, 13, "rm -f %s", "/tmp/ab"), -1);  // "/tmp/a" would name another file
    EXPECT_STREQ(out, "");
    EXPECT_EQ(vx_format(out, 14, "rm -f %s", "/tmp/ab"), 0);
}

// The web server reads the CGI's output until every holder has closed it: a
// background child must not hold it, even while it keeps running, neither as
// its stdout or stderr nor as another inherited descriptor.
TEST(Tools, BackgroundChildHoldsNoOutputOfTheCaller)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const int saved_out = dup(1), saved_err = dup(2);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    const char* const argv[] = {"sleep", "30", nullptr};
    const pid_t pid = vx_exec_background(argv);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    close(fds[1]);
    ASSERT_GT(pid, 0);

    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    char c;
    EXPECT_EQ(read(fds[0], &c, 1), 0) << "the pipe has a writer left";  // end of file, not EAGAIN
    EXPECT_EQ(kill(pid, 0), 0) << "the child is still running";
    EXPECT_EQ(getsid(pid), pid) << "a session of its own";
    close(fds[0]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    const char* const none[] = {"/nonexistent/tool", nullptr};
    EXPECT_EQ(vx_exec_background(none), -1);
    EXPECT_EQ(vx_exec_background(nullptr), -1);
}

// ---- UTF-8 -----------------------------------------------------------------

const std::string R = "\xEF\xBF\xBD";  // U+FFFD

TEST(Utf8, InvalidBytesReplacedValidTextKept)
{
    const std::pair<std::string, std::string> rows[] = {
        {"plain text", "plain text"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E", "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"},  // 2, 3 and 4 bytes
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF", "\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xED\x9F\xBF"},  // edges kept
        {"\x80" "abc", R + "abc"},
        {"a\xFF" "b\xFE", "a" + R + "b" + R},
        {"\xC0\xAF", R + R},                     // overlong "/"
        {"\xC1\xBF", R + R},
        {"\xE0\x80\xAF", R + R + R},             // overlong, 3 bytes
        {"\xF0\x80\x80\xAF", R + R + R + R},     // overlong, 4 bytes
        {"\xED\xA0\x80", R + R + R},             // surrogate U+D800
        {"\xED\xBF\xBF", R + R + R},             // surrogate U+DFFF
        {"\xF4\x90\x80\x80", R + R + R + R},     // above U+10FFFF
        {"\xF5\x80\x80\x80", R + R + R + R},
        {"a\xE2\x82", "a" + R + R},              // cut at the end
        {"a\xE2\x82" "b", "a" + R + R + "b"},    // cut in the middle
        {"\xF0\x9D\x84", R + R + R},
        {"\xC3", R},
        {"\xC3\xA9\xA9", "\xC3\xA9" + R},        // a continuation byte too many
    };
    for (const auto& [in, want] : rows) {
        std::vector<char> out(3 * in.size() + 1);
        size_t n = utf8_repair(in.data(), in.size(), out.data());
        EXPECT_TRUE(same_bytes(std::string(out.data(), n), want)) << in;
        EXPECT_EQ(utf8_valid(in.data(), in.size()), in == want) << in;
    }
}

// Every text reaches JSON through the same routines, record fields included.
TEST(Utf8, TextsOfRecordsAndAnswersInJson)
{
    struct Rec {
        char name[8];
        char note[4];
    } rec;
    memcpy(rec.name, "ok\x80\0zzz", 8);
    memcpy(rec.note, "\xC3\xA9\xE2\x82", 4);  // fills the field, no NUL, cut in a sequence
    const JsonField fields[] = {JSON_FIELD(Rec, name, "name", TEXT), JSON_FIELD(Rec, note, "note", TEXT)};
    JsonPtr o(json_object_new_object());
    json_from_record(o.get(), &rec, fields);
    json_add_text(o.get(), "text", "x\xFFy");
    json_add_field(o.get(), "field", "\xED\xA0\x80q", 3);
    const std::pair<const char*, std::string> want[] = {
        {"name", "ok" + R}, {"note", "\xC3\xA9" + R + R}, {"text", "x" + R + "y"}, {"field", R + R + R}};
    for (const auto& [key, text] : want) {
        json_object* v = nullptr;
        ASSERT_TRUE(json_object_object_get_ex(o.get(), key, &v)) << key;
        EXPECT_TRUE(same_bytes(std::string(json_object_get_string(v), (size_t)json_object_get_string_len(v)), text))
            << key;
    }
}

// The device-log page with detail and user bytes that are no UTF-8: a strict
// reader (Python's) takes the reply as JSON.
using LogPage = HandlerTest;

TEST_F(LogPage, BadDetailBytesStillGiveValidJson)
{
    if (system("command -v python3 >/dev/null") != 0)
        GTEST_SKIP() << "python3 missing";
    OperationLogRecord r = zeroed<OperationLogRecord>();
    r.main_type = 4;
    r.sub_type = 204;
    const uint8_t detail[] = {0x80, 'a', 0xC3, 0xA9, 0xED, 0xA0, 0x80};
    memcpy(r.detail, detail, sizeof detail);
    put(r.user, "adm\xFF");
    put(r.ip, "10.0.0.1");
    log_search_page page;
    memset(&page, 0, sizeof page);
    page.count = page.num = 1;
    page.records[0] = r;
    core.reply(REQ_LOG_SEARCH, bytes_of(page));
    CgiResult res = post("/1002", R"({"language":"en","startTime":"2024-01-02 03:04:05",)"
                                  R"("endTime":"2024-01-03 00:00:00","mainType":4,"subTypeArr":[11],)"
                                  R"("curPageNum":1,"chnMask":"1","searchNoChn":0})");
    ASSERT_EQ(res.out.compare(0, kJsonHead.size(), kJsonHead), 0) << res.out;
    root.write("/reply.json", reply_body(res.out));
    const std::string script = "import json,sys\n"
                               "e = json.loads(open(sys.argv[1], \"rb\").read().decode(\"utf-8\"))[\"log\"][0]\n"
                               "open(sys.argv[2], \"w\").write(json.dumps([e[\"detail\"], e[\"user\"]]))\n";
    ASSERT_EQ(system(("python3 -c '" + script + "' " + root.at("/reply.json") + " " + root.at("/fields")).c_str()), 0);
    EXPECT_EQ(root.read("/fields"), R"(["\ufffda\u00e9\ufffd\ufffd\ufffd", "adm\ufffd"])");
}

}  // namespace
