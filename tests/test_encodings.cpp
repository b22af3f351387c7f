// Shared JSON encodings: schedules, white-LED, HTTP, PTZ, alarm-out pairs, masks, request JSON helpers, file data.
#include <array>
#include <tuple>

#include "core/db.h"
#include "core/encodings.h"
#include "core/json_util.h"
#include "tests/support/handler_test.h"

namespace {

JsonPtr parse(const std::string& text)
{
    JsonPtr o(json_tokener_parse(text.c_str()));
    EXPECT_NE(o.get(), nullptr) << text;
    return o;
}
// The compact text of an object the caller hands over.
std::string text_of(json_object* o)
{
    JsonPtr owned(o);
    return canon(json_object_to_json_string(o));
}

// A block followed by guard bytes that nothing may touch; all 0xAA at first.
template <typename T>
struct Guarded {
    T value;
    unsigned char guard[4096];
    Guarded() { memset((void*)this, 0xAA, sizeof *this); }
    bool intact() const { return std::count(guard, guard + sizeof guard, 0xAA) == (long)sizeof guard; }
};
template <typename T>
::testing::AssertionResult holds(const Guarded<T>& g, const T& want)
{
    return g.intact() ? same_bytes(bytes_of(g.value), bytes_of(want)) : ::testing::AssertionFailure() << "overrun";
}

// Triple (d, i) of schedule_request.
ScheduleSlot slot(int d, int i)
{
    ScheduleSlot s = zeroed<ScheduleSlot>();
    put(s.start_time, "d" + std::to_string(d) + "s" + std::to_string(i));
    put(s.end_time, "e" + std::to_string(d * 100 + i));
    s.action_type = d * 100 + i + 1;
    return s;
}
std::string schedule_request(int days, int slots)
{
    std::string s = "{\"s\":[";
    for (int d = 0; d < days; d++)
        for (int i = 0; i < slots; i++)
            s += std::string(i ? "," : d ? "],[" : "[") + "[\"" + slot(d, i).start_time + "\",\"" + slot(d, i).end_time +
                 "\"," + std::to_string(slot(d, i).action_type) + "]";
    return s + (days ? "]]}" : "]}");
}
// Days whose bit is set in `blank` show empty slots.
std::string week_json(int blank = 0)
{
    std::string s = "[";
    for (int d = 0; d < 8; d++)
        for (int i = 0; i < 12; i++) {
            ScheduleSlot x = blank >> d & 1 ? zeroed<ScheduleSlot>() : slot(d, i);
            s += std::string(i ? "," : d ? "],[" : "[") + "{\"startTime\":\"" + x.start_time + "\",\"endTime\":\"" +
                 x.end_time + "\",\"actionType\":" + std::to_string(x.action_type) + "}";
        }
    return s + "]]";
}

// Only the scratch root and the database closing of the shared fixture are used.
using Encodings = HandlerTest;

// The first 12 triples of the first 8 days; missing elements read as empty.
TEST_F(Encodings, ScheduleFromJsonShortAndLongArrays)
{
    for (auto [days, slots] : {std::pair{8, 12}, std::pair{3, 2}, std::pair{10, 60}, std::pair{0, 0}}) {
        Schedule want = zeroed<Schedule>();
        for (int d = 0; d < std::min(days, 8); d++)
            for (int i = 0; i < std::min(slots, 12); i++)
                want.days[d].slots[i] = slot(d, i);
        JsonPtr req = parse(schedule_request(days, slots));
        Guarded<Schedule> g, ex;
        ASSERT_EQ(get_schedule_by_json(req.get(), "s", &g.value), 0);
        ASSERT_EQ(get_schedule_by_json_ex(req.get(), "s", &ex.value), 0);
        EXPECT_TRUE(holds(g, want)) << days << "x" << slots;
        EXPECT_TRUE(holds(ex, want)) << days << "x" << slots;
    }
}

TEST_F(Encodings, ScheduleToJsonPlainAndCameraForms)
{
    JsonPtr req = parse(schedule_request(8, 12));
    Schedule s;
    ASSERT_EQ(get_schedule_by_json(req.get(), "s", &s), 0);
    s.days[3].slots[20].action_type = 99;  // beyond slot 11: never written out
    EXPECT_EQ(text_of(get_schedule_json_object(&s)), week_json());
    EXPECT_EQ(text_of(get_schedule_json_object_ex(&s)), week_json());
    ASSERT_EQ(get_schedule_by_json_ipc(req.get(), "s", &s), 0);
    for (int d = 0; d < 8; d++)
        EXPECT_EQ(s.days[d].whole_day_enable, 1) << d;
    s.days[1].whole_day_enable = s.days[6].whole_day_enable = 0;
    EXPECT_EQ(text_of(get_schedule_json_object_ipc(&s)), week_json(1 << 1 | 1 << 6));
    EXPECT_EQ(text_of(get_schedule_json_object(&s)), week_json());  // the plain form ignores day-valid
}

TEST_F(Encodings, ScheduleWrongTypesLongTextsAndRefusals)
{
    const std::string l50(50, 'L');
    JsonPtr req = parse("{\"s\":[[[1,\"end\",\"abc\"],{\"startTime\":\"x\"},[\"" + l50 + "\",\"" + l50 + "\",\"7\"],"
                        "[\"a\",\"b\",2.0],[\"a\",\"b\",2.5],[\"a\"],\"text\",[]],\"not a day\",[[\"ok\",\"ok\",3]]]}");
    // An int is no text, "abc" no int, an object no triple, 2.5 no int; texts cut to 31.
    const std::tuple<int, int, std::string, std::string, int> kept[] = {
        {0, 0, "", "end", 0}, {0, 2, l50.substr(0, 31), l50.substr(0, 31), 7}, {0, 3, "a", "b", 2},
        {0, 4, "a", "b", 0},  {0, 5, "a", "", 0},                             {2, 0, "ok", "ok", 3}};
    Schedule want = zeroed<Schedule>();
    for (const auto& [d, i, start, end, action] : kept) {
        put(want.days[d].slots[i].start_time, start);
        put(want.days[d].slots[i].end_time, end);
        want.days[d].slots[i].action_type = action;
    }
    Guarded<Schedule> g;
    ASSERT_EQ(get_schedule_by_json(req.get(), "s", &g.value), 0);
    EXPECT_TRUE(holds(g, want));

    JsonPtr bad = parse("{\"s\":{\"a\":1},\"t\":\"x\"}");
    for (const char* key : {"s", "t", "missing"})
        EXPECT_EQ(get_schedule_by_json(bad.get(), key, &g.value), -1) << key;
    EXPECT_EQ(get_schedule_by_json(nullptr, "s", &g.value), -1);
    EXPECT_EQ(get_schedule_by_json(bad.get(), nullptr, &g.value), -1);
    EXPECT_TRUE(holds(g, want));  // untouched
}

TEST_F(Encodings, CopyMaskAndSmartPtzType)
{
    const std::pair<const char*, uint64_t> rows[] = {
        {"{\"list\":[0,5,64,-1],\"count\":4}", 1ULL << 0 | 1ULL << 5}, {"{\"list\":[1,2,3],\"count\":1}", 1ULL << 1},
        {"{\"list\":[1,2],\"count\":10}", 1ULL << 1 | 1ULL << 2},      {"{\"list\":[1,2],\"count\":0}", 0},
        {"{\"list\":[1,2],\"count\":-3}", 0}, {"{\"list\":[1,2]}", 0}, {"{\"list\":\"0,5\",\"count\":2}", 0},
        {"{\"list\":[63,\"7\",2.5,\"x\",null,{}],\"count\":6}", 1ULL << 63 | 1ULL << 7},
        {"{\"list\":[4],\"count\":\"1\"}", 1ULL << 4}};
    for (const auto& [json, mask] : rows)
        EXPECT_EQ(get_copy_flag_by_json(parse(json).get(), "list", "count"), mask) << json;
    EXPECT_EQ(get_copy_flag_by_json(nullptr, "list", "count"), 0u);
    for (int i = -2; i <= 10; i++)
        EXPECT_EQ(get_smart_event_ptz_type(i), i >= 0 && i <= 8 ? i + 5 : -1) << i;
}

// n PTZ elements, every third with acto_ptz_channel 0; and the list as read back (no pattern, no channel 0).
std::string ptz_json(int n, bool request)
{
    std::string s;
    for (int i = 0; i < n; i++)
        if (request || i % 3 != 2)
            s += std::string(s.empty() ? "" : ",") + "{\"acto_ptz_channel\":" + std::to_string(i % 3 == 2 ? 0 : i + 1) +
                 ",\"acto_ptz_type\":" + std::to_string(i % 4) + ",\"acto_ptz_preset\":" + std::to_string(100 + i) +
                 ",\"acto_ptz_patrol\":" + std::to_string(200 + i) +
                 (request ? ",\"acto_ptz_pattern\":" + std::to_string(300 + i) : "") + "}";
    return "[" + s + "]";
}

TEST_F(Encodings, PtzListFromJsonStoredAndReadBackWithoutPattern)
{
    JsonPtr arr = parse(ptz_json(70, true));
    PtzActionParams want = zeroed<PtzActionParams>();
    for (int i = 0; i < 64; i++)
        want.entries[i] = {3, i % 3 == 2 ? 0 : i + 1, i % 4, 100 + i, 200 + i, 300 + i, 0};
    Guarded<PtzActionParams> g;
    ASSERT_EQ(get_ptz_params_by_json(3, 2, arr.get(), &g.value), 0);  // 70 elements, 64 kept
    EXPECT_TRUE(holds(g, want));
    for (int channel : {-1, 64})
        EXPECT_EQ(get_ptz_params_by_json(channel, 2, arr.get(), &g.value), -1) << channel;
    EXPECT_EQ(get_ptz_params_by_json(1, 2, nullptr, &g.value), -1);
    EXPECT_EQ(get_ptz_params_by_json(1, 2, arr.get(), nullptr), -1);
    EXPECT_TRUE(holds(g, want));
    want = zeroed<PtzActionParams>();  // missing keys read as 0, a short array leaves the rest zero
    want.entries[0].acto_ptz_channel = 4;
    want.entries[1].acto_ptz_preset = 9;
    ASSERT_EQ(get_ptz_params_by_json(0, 2, parse("[{\"acto_ptz_channel\":4},{\"acto_ptz_preset\":\"9\"},5]").get(),
                                     &g.value), 0);
    EXPECT_TRUE(holds(g, want));

    EXPECT_EQ(set_ptz_params_by_json(3, 2, arr.get()), 1);
    EXPECT_EQ(set_ptz_params_by_json(64, 2, arr.get()), 0);
    EXPECT_EQ(set_ptz_params_by_json(1, 20, parse(ptz_json(12, true)).get()), 1);  // people counting: 8 entries
    int count = 0;
    ASSERT_EQ(read_ptz_params(VXDB_MAIN, 2, 3, &g.value, &count), 0);
    EXPECT_EQ(g.value.entries[10].acto_ptz_pattern, 310);  // stored, never written out
    const std::tuple<int, int, std::string> rows[] = {
        {2, 3, ptz_json(64, false)}, {2, 4, "[]"}, {5, 3, "[]"}, {20, 1, ptz_json(8, false)}, {2, 1, "[]"}};
    for (const auto& [type, channel, json] : rows)
        EXPECT_EQ(text_of(get_ptz_params_json_object(type, channel)), json) << type << "/" << channel;
}

TEST_F(Encodings, WhiteLedForms)
{
    const std::pair<const char*, std::vector<std::array<int, 3>>> rows[] = {  // chnid, mode, time
        {"{\"w\":[[1,2,3],[4,5,6]]}", {{1, 2, 3}, {4, 5, 6}}},
        {"{\"w\":[{\"chnid\":1,\"mode\":2,\"time\":3},{\"time\":6,\"chnid\":4,\"mode\":5}]}", {{1, 2, 3}, {4, 5, 6}}},
        {"{\"w\":[[7,8,9],{\"chnid\":1}]}", {{0, 0, 0}, {1, 0, 0}}},  // "chnid" anywhere: the object form
        {"{\"w\":[[1,\"2\",2.0],[\"x\"]]}", {{1, 2, 2}, {0, 0, 0}}},
        {"{\"w\":[[1],[2],[3],[4],[5],[6],[7],[8],[9]]}", {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}}},
        {"{\"w\":[]}", {{0, 0, 0}}},  // an empty array still marks the owner
    };
    for (int channel : {0, 7, 40, 63})
        for (const auto& [json, entries] : rows) {
            WhiteLedParams want = zeroed<WhiteLedParams>();
            for (size_t i = 0; i < entries.size(); i++)
                want.entries[(size_t)channel * 8 + i] = {channel, entries[i][0], entries[i][1], entries[i][2]};
            Guarded<WhiteLedParams> g;
            ASSERT_EQ(get_white_params_by_json(channel, &g.value, parse(json).get(), "w"), 0);
            EXPECT_TRUE(holds(g, want)) << json << " channel " << channel;
        }
    Guarded<WhiteLedParams> g;
    JsonPtr req = parse("{\"w\":[[1,2,3]]}");
    for (auto [channel, key] : {std::pair{64, "w"}, std::pair{-1, "w"}, std::pair{0, "missing"}})
        EXPECT_EQ(get_white_params_by_json(channel, &g.value, req.get(), key), -1) << channel << key;
    EXPECT_EQ(g.value.entries[0].owner, (int)0xAAAAAAAA);
}

TEST_F(Encodings, WhiteLedThroughTheDatabase)
{
    const std::string two = "[{\"chnid\":1,\"mode\":2,\"time\":3},{\"chnid\":4,\"mode\":5,\"time\":6}]";
    WhiteLedParams table;
    ASSERT_EQ(get_white_params_by_json(2, &table, parse("{\"w\":" + two + "}").get(), "w"), 0);
    ASSERT_EQ(write_whiteled_params_all(VXDB_MAIN, "motion_whiteled", 2, &table), 0);
    EXPECT_EQ(text_of(get_white_params_json_object(2, "motion_whiteled")), two);
    EXPECT_EQ(text_of(get_white_params_json_object(3, "motion_whiteled")), "[]");
    EXPECT_EQ(text_of(get_white_params_json_object(2, "smart_whiteled")), "[]");

    // People counting keeps one block of 8 per owner.
    Guarded<WhiteLedBlock> g;
    ASSERT_EQ(get_pcnt_white_params_by_json(12, g.value.entries, parse("{\"w\":[[1],[2],[3],[4],[5],[6],[7],[8],[9]]}").get(), "w"), 0);
    EXPECT_EQ(g.value.entries[7].chnid, 8);
    ASSERT_EQ(get_pcnt_white_params_by_json(12, g.value.entries, parse("{\"w\":" + two + "}").get(), "w"), 0);
    WhiteLedBlock want = zeroed<WhiteLedBlock>();
    want.entries[0] = {12, 1, 2, 3};
    want.entries[1] = {12, 4, 5, 6};
    EXPECT_TRUE(holds(g, want));
    ASSERT_EQ(write_peoplecnt_wled_params_all(VXDB_MAIN, 12, g.value.entries), 0);
    EXPECT_EQ(text_of(get_pcnt_white_params_json_object(12)), two);
}

// Cameras 8 to 63 keep their actions: stored per set and channel, read back.
TEST_F(Encodings, WhiteLedAndPtzActionsOfChannelForty)
{
    WhiteLedParams table;
    ASSERT_EQ(get_white_params_by_json(40, &table, parse("{\"w\":[[9,1,30]]}").get(), "w"), 0);
    ASSERT_EQ(write_whiteled_params_all(VXDB_MAIN, "motion_white_led_params", 40, &table), 0);
    EXPECT_EQ(text_of(get_white_params_json_object(40, "motion_white_led_params")), "[{\"chnid\":9,\"mode\":1,\"time\":30}]");
    EXPECT_EQ(text_of(get_white_params_json_object(0, "motion_white_led_params")), "[]");
    WhiteLedBlock block;
    ASSERT_EQ(stored({"motion_white_led_params", (int)sizeof block, 64}, 40, &block), 0);
    EXPECT_TRUE(same_bytes(bytes_of(block), int32_bytes({40, 9, 1, 30}) + std::string(112, '\0')));

    const std::string entry = "{\"acto_ptz_channel\":2,\"acto_ptz_type\":1,\"acto_ptz_preset\":5,\"acto_ptz_patrol\":6,"
                              "\"acto_ptz_pattern\":7}";
    ASSERT_EQ(set_ptz_params_by_json(40, 1, parse("[" + entry + "]").get()), 1);
    EXPECT_EQ(text_of(get_ptz_params_json_object(1, 40)),
              "[{\"acto_ptz_channel\":2,\"acto_ptz_type\":1,\"acto_ptz_preset\":5,\"acto_ptz_patrol\":6}]");
    // Stored at type * 64 + channel; the zero word of an entry is its last.
    PtzActionParams list;
    ASSERT_EQ(stored({"ptz_params", (int)sizeof list, 64 * 64}, 1 * 64 + 40, &list), 0);
    EXPECT_TRUE(same_bytes(bytes_of(list), int32_bytes({40, 2, 1, 5, 6, 7, 0}) + std::string(63 * 28, '\0')));
}

TEST_F(Encodings, HttpNotificationCutsAndRoundTrip)
{
    const std::string url = "http://h/p?a=%41&" + std::string(600, 'u'), user(120, 'n'), pass(100, 'p');
    const std::string cut = "\"url\":\"" + url.substr(0, 512) + "\",\"username\":\"" + user.substr(0, 96) +
                            "\",\"password\":\"" + pass.substr(0, 64) + "\"";
    Guarded<HttpNotificationParams> g;
    ASSERT_EQ(get_http_params_by_json(5, &g.value, parse("{\"http\":{\"url\":\"" + url + "\",\"username\":\"" + user +
                                                         "\",\"password\":\"" + pass + "\"}}").get(), "http"), 0);
    HttpNotificationParams want = zeroed<HttpNotificationParams>();
    want.channel = 5;
    put(want.url, url.substr(0, 512));
    put(want.username, user.substr(0, 96));
    put(want.password, pass.substr(0, 64));
    EXPECT_TRUE(holds(g, want));
    ASSERT_EQ(write_http_notification_params(VXDB_MAIN, "motion_http", &g.value), 0);
    EXPECT_EQ(text_of(get_http_params_json_object(5, "motion_http")), "{\"chnId\":5," + cut + "}");
    EXPECT_EQ(text_of(get_http_params_json_object(6, "motion_http")),
              "{\"chnId\":6,\"url\":\"\",\"username\":\"\",\"password\":\"\"}");

    JsonPtr partial = parse("{\"http\":{\"url\":\"x\"}}");  // missing fields are empty
    ASSERT_EQ(get_http_params_by_json(1, &g.value, partial.get(), "http"), 0);
    want = zeroed<HttpNotificationParams>();
    want.channel = 1;
    put(want.url, "x");
    EXPECT_TRUE(holds(g, want));
    EXPECT_EQ(get_http_params_by_json(1, &g.value, partial.get(), "nope"), -1);
}

TEST_F(Encodings, AlarmOutputPairAndAudioMask)
{
    const std::string l100(100, 'o');
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"[\"Siren\"]", {"Siren"}}, {"[\"a\",\"" + l100 + "\",\"third\"]", {"a", l100.substr(0, 64)}}};
    for (const auto& [json, names] : rows) {
        Guarded<AlarmOutTarget[2]> g;
        ASSERT_EQ(get_event_chn_alarmout_by_object(4, parse("{\"out\":" + json + "}").get(), "out", g.value), 0);
        AlarmOutTarget want[2] = {zeroed<AlarmOutTarget>(), zeroed<AlarmOutTarget>()};
        for (size_t i = 0; i < names.size(); i++) {
            want[i].owner = 4;
            want[i].index = (int)i;
            put(want[i].name, names[i]);
        }
        EXPECT_TRUE(same_bytes(bytes_of(g.value), bytes_of(want)) && g.intact()) << json;
    }
    AlarmOutTarget pair[2];
    EXPECT_EQ(get_event_chn_alarmout_by_object(0, parse("{\"out\":[]}").get(), "missing", pair), -1);
    EXPECT_EQ(text_of(get_event_chn_alarmout_object("A", nullptr)), "[\"A\",\"\"]");

    EXPECT_EQ(get_audio_file_id_mask(), 0u);
    for (int i : {0, 3, 5, 9}) {
        unsigned char rec[ALARM_AUDIO_FILE_SIZE] = {0};
        rec[4] = i == 5 ? 2 : 1;  // the "used" word: only 1 counts
        ASSERT_EQ(write_alarm_audio_file(VXDB_MAIN, rec, i), 0);
    }
    EXPECT_EQ(get_audio_file_id_mask(), 1u << 0 | 1u << 3 | 1u << 9);
}

TEST(RequestJson, ParseAndGetters)
{
    const std::pair<const char*, int> texts[] = {
        {"abc", -1}, {"{", -1}, {"", -1}, {"{\"a\":", -1}, {"nul", -1}, {" {\"a\":1}\n", json_type_object},
        {"[1,2]", json_type_array}, {"\"s\"", json_type_string}, {"123", json_type_int}};
    for (const auto& [text, type] : texts) {
        JsonPtr o(get_request_tokener_json_object(text));
        EXPECT_EQ(o ? (int)json_object_get_type(o.get()) : -1, type) << text;
    }
    EXPECT_EQ(get_request_tokener_json_object(nullptr), nullptr);

    const std::tuple<const char*, int, int> values[] = {
        {"{\"a\":5}", 0, 5},      {"{\"a\":-12,\"b\":1}", 0, -12}, {"{\"a\":\"7\"}", 0, 7}, {"{\"a\":2.0}", 0, 2},
        {"{\"a\":2.5}", -1, 99},  {"{\"a\":\"x\"}", -1, 99},        {"{\"a\":true}", -1, 99}, {"{\"a\":null}", -1, 99},
        {"{\"a\":[1]}", -1, 99}, {"{\"a\":4294967296}", -1, 99},  {"{\"b\":5}", -1, 99},   {"abc", -1, 99}};
    for (const auto& [text, rc, value] : values) {
        int v = 99;
        JsonPtr o(get_request_tokener_json_object(text));
        EXPECT_EQ(json_get_int(o.get(), "a", &v) ? 0 : -1, rc) << text;
        EXPECT_EQ(v, value) << text;
    }
    int v = 99;
    EXPECT_FALSE(json_get_int(nullptr, "i", &v));
    const char* text = nullptr;
    JsonPtr o = parse("{\"s\":\"hello\",\"n\":5}");
    EXPECT_TRUE(json_get_text(o.get(), "s", &text));
    EXPECT_STREQ(text, "hello");
    EXPECT_FALSE(json_get_text(o.get(), "n", &text));  // a number is no text
    EXPECT_FALSE(json_get_text(o.get(), "missing", &text));
}

// Words in key order, as json_get_int reads them; never past the record.
TEST(RequestJson, WordsOfARecord)
{
    struct Pair {
        int32_t first, second;
    } out[2];
    memset(out, 0x5a, sizeof out);
    EXPECT_TRUE(request_words(R"({"b":-7,"a":"12","c":9})", &out[0], {"a", "b", "c"}));
    EXPECT_EQ(out[0].first, 12);
    EXPECT_EQ(out[0].second, -7);
    EXPECT_EQ(out[1].first, 0x5a5a5a5a);  // "c" has no word in the record
    EXPECT_TRUE(request_words(R"({"a":4294967296,"b":2.5})", &out[0], {"a", "b"}));
    EXPECT_EQ(out[0].first, 0);
    EXPECT_EQ(out[0].second, 0);
    out[0].first = 3;
    EXPECT_FALSE(request_words("not json", &out[0], {"a", "b"}));
    EXPECT_EQ(out[0].first, 0);
}

TEST(RequestJson, SectionInfo)
{
    const std::tuple<const char*, const char*, int, int, const char*> rows[] = {
        {"cmd=upgrade&url=http://h/fw.bin?x=1", "url=", 64, 0, "http://h/fw.bin"}, {"name:abc", "name:", 64, 0, "abc"},
        {"name:abcdef", "name:", 4, 0, "abc"}, {"a?b", "a", 64, 0, ""}, {"xyz", "q", 64, -1, "keep"},
        {"xyz", "", 64, -1, "keep"}, {nullptr, "a", 8, -1, "keep"}, {"a", nullptr, 8, -1, "keep"}};
    for (const auto& [text, marker, size, rc, want] : rows) {
        char out[64] = "keep";
        EXPECT_EQ(get_section_info(text, marker, out, size), rc) << (text ? text : "null");
        EXPECT_STREQ(out, want);
    }
    EXPECT_EQ(get_section_info("a", "a", nullptr, 8), -1);
}

TEST(FileData, RoundTripAndMissingFile)
{
    ScratchRoot root;
    const std::string path = root.at("/tmp/blob.bin");
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (char)(i * 13 + (i >> 8));
    for (const std::string& d : {data, std::string("short")}) {  // writing again empties the file first
        ASSERT_EQ(vx_wirte_file_data(path.c_str(), d.data(), (int)d.size()), 0);
        int length = -1;
        char* got = vx_get_file_data(path.c_str(), &length);
        ASSERT_NE(got, nullptr);
        EXPECT_TRUE(same_bytes(std::string(got, (size_t)length), d));
        free(got);
    }
    int length = 7;
    EXPECT_EQ(vx_get_file_data(root.at("/tmp/none").c_str(), &length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(vx_wirte_file_data(root.at("/no/dir/file").c_str(), "x", 1), -1);
    EXPECT_EQ(vx_wirte_file_data(nullptr, "x", 1), -1);
    EXPECT_EQ(vx_wirte_file_data(path.c_str(), nullptr, 3), -1);
}

}  // namespace
