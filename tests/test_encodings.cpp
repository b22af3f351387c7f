// Shared JSON encodings: schedules, white-LED, HTTP, PTZ, alarm-out pairs, masks, request JSON helpers, file data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/db.h"
#include "core/encodings.h"
#include "core/json_util.h"
#include "tests/support/scratch.h"

namespace {

JsonPtr parse(const std::string& text)
{
    JsonPtr o(json_tokener_parse(text.c_str()));
    EXPECT_NE(o.get(), nullptr) << text;
    return o;
}

std::string to_text(json_object* o)
{
    return json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN);
}

std::vector<std::string> keys_of(json_object* o)
{
    std::vector<std::string> out;
    json_object_object_foreach(o, key, value)
    {
        (void)value;
        out.push_back(key);
    }
    return out;
}

std::string field(const char* text, size_t size)
{
    return std::string(text, strnlen(text, size));
}

// A block followed by guard bytes that nothing may touch.
template <typename T>
struct Guarded {
    T value;
    unsigned char guard[4096];
    Guarded()
    {
        memset(&value, 0xAA, sizeof value);
        memset(guard, 0x5A, sizeof guard);
    }
    bool guard_intact() const
    {
        for (unsigned char c : guard)
            if (c != 0x5A)
                return false;
        return true;
    }
};

bool all_zero(const void* p, size_t n)
{
    const unsigned char* b = (const unsigned char*)p;
    for (size_t i = 0; i < n; i++)
        if (b[i])
            return false;
    return true;
}

std::string slot_start(int d, int s)
{
    return "d" + std::to_string(d) + "s" + std::to_string(s);
}

// {"key": 8 days x `slots` triples} with distinct texts and actions.
std::string schedule_request(const char* key, int days, int slots)
{
    std::string s = std::string("{\"") + key + "\":[";
    for (int d = 0; d < days; d++) {
        s += d ? ",[" : "[";
        for (int i = 0; i < slots; i++) {
            s += i ? "," : "";
            s += "[\"" + slot_start(d, i) + "\",\"e" + std::to_string(d * 100 + i) + "\"," +
                 std::to_string(d * 100 + i + 1) + "]";
        }
        s += "]";
    }
    return s + "]}";
}

class Encodings : public ::testing::Test {
protected:
    void SetUp() override { root_.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }
    ScratchRoot root_;
};

TEST_F(Encodings, ScheduleFillsTheFirstTwelveSlots)
{
    JsonPtr req = parse(schedule_request("sched", 8, 12));
    Guarded<Schedule> g;
    ASSERT_EQ(get_schedule_by_json(req.get(), "sched", &g.value), 0);
    for (int d = 0; d < 8; d++) {
        const ScheduleDay& day = g.value.days[d];
        for (int i = 0; i < 12; i++) {
            EXPECT_EQ(field(day.slots[i].start_time, 32), slot_start(d, i));
            EXPECT_EQ(field(day.slots[i].end_time, 32), "e" + std::to_string(d * 100 + i));
            EXPECT_EQ(day.slots[i].action_type, d * 100 + i + 1);
        }
        EXPECT_TRUE(all_zero(&day.slots[12], sizeof(ScheduleSlot) * 36)) << d;
        EXPECT_EQ(day.whole_day_enable, 0);
        EXPECT_EQ(day.whole_day_action, 0);
    }
    EXPECT_TRUE(g.guard_intact());

    Schedule ex;
    ASSERT_EQ(get_schedule_by_json_ex(req.get(), "sched", &ex), 0);
    EXPECT_EQ(memcmp(&ex, &g.value, sizeof ex), 0);
}

TEST_F(Encodings, ScheduleToJsonRoundTrip)
{
    JsonPtr req = parse(schedule_request("sched", 8, 12));
    Schedule s;
    ASSERT_EQ(get_schedule_by_json(req.get(), "sched", &s), 0);
    s.days[3].slots[20].action_type = 99;  // beyond slot 11: never written out
    for (auto fn : {get_schedule_json_object, get_schedule_json_object_ex}) {
        JsonPtr week(fn(&s));
        ASSERT_EQ(json_array_size(week.get()), 8u);
        for (size_t d = 0; d < 8; d++) {
            json_object* day = json_array_at(week.get(), d);
            ASSERT_EQ(json_array_size(day), 12u);
            for (size_t i = 0; i < 12; i++) {
                json_object* o = json_array_at(day, i);
                EXPECT_EQ(keys_of(o), (std::vector<std::string>{"startTime", "endTime", "actionType"}));
                const char* text = nullptr;
                ASSERT_TRUE(json_get_text(o, "startTime", &text));
                EXPECT_EQ(std::string(text), slot_start((int)d, (int)i));
                ASSERT_TRUE(json_get_text(o, "endTime", &text));
                EXPECT_EQ(std::string(text), "e" + std::to_string(d * 100 + i));
                int action = -1;
                ASSERT_TRUE(json_get_int(o, "actionType", &action));
                EXPECT_EQ(action, (int)(d * 100 + i + 1));
            }
        }
    }
}

TEST_F(Encodings, ScheduleCameraForm)
{
    JsonPtr req = parse(schedule_request("sched", 8, 12));
    Schedule s;
    ASSERT_EQ(get_schedule_by_json_ipc(req.get(), "sched", &s), 0);
    for (int d = 0; d < 8; d++)
        EXPECT_EQ(s.days[d].whole_day_enable, 1) << d;
    EXPECT_EQ(field(s.days[2].slots[5].start_time, 32), slot_start(2, 5));

    s.days[1].whole_day_enable = 0;
    s.days[6].whole_day_enable = 0;
    JsonPtr week(get_schedule_json_object_ipc(&s));
    ASSERT_EQ(json_array_size(week.get()), 8u);
    for (size_t d = 0; d < 8; d++) {
        json_object* day = json_array_at(week.get(), d);
        ASSERT_EQ(json_array_size(day), 12u);
        for (size_t i = 0; i < 12; i++) {
            json_object* o = json_array_at(day, i);
            const char* start = nullptr;
            const char* end = nullptr;
            int action = -1;
            ASSERT_TRUE(json_get_text(o, "startTime", &start));
            ASSERT_TRUE(json_get_text(o, "endTime", &end));
            ASSERT_TRUE(json_get_int(o, "actionType", &action));
            EXPECT_EQ(keys_of(o), (std::vector<std::string>{"startTime", "endTime", "actionType"}));
            if (d == 1 || d == 6) {
                EXPECT_STREQ(start, "");
                EXPECT_STREQ(end, "");
                EXPECT_EQ(action, 0);
            } else {
                EXPECT_EQ(std::string(start), slot_start((int)d, (int)i));
                EXPECT_EQ(action, (int)(d * 100 + i + 1));
            }
        }
    }
    // The plain form ignores day-valid.
    JsonPtr plain(get_schedule_json_object(&s));
    const char* start = nullptr;
    ASSERT_TRUE(json_get_text(json_array_at(json_array_at(plain.get(), 1), 0), "startTime", &start));
    EXPECT_EQ(std::string(start), slot_start(1, 0));
}

TEST_F(Encodings, ScheduleShortAndLongArrays)
{
    {
        JsonPtr req = parse(schedule_request("s", 3, 2));
        Guarded<Schedule> g;
        ASSERT_EQ(get_schedule_by_json(req.get(), "s", &g.value), 0);
        for (int d = 0; d < 8; d++)
            for (int i = 0; i < 48; i++) {
                const ScheduleSlot& slot = g.value.days[d].slots[i];
                if (d < 3 && i < 2) {
                    EXPECT_EQ(field(slot.start_time, 32), slot_start(d, i));
                    EXPECT_EQ(slot.action_type, d * 100 + i + 1);
                } else {
                    EXPECT_TRUE(all_zero(&slot, sizeof slot)) << d << "/" << i;
                }
            }
        EXPECT_TRUE(g.guard_intact());
    }
    {
        JsonPtr req = parse(schedule_request("s", 10, 60));
        Guarded<Schedule> g;
        ASSERT_EQ(get_schedule_by_json(req.get(), "s", &g.value), 0);
        for (int d = 0; d < 8; d++) {
            EXPECT_EQ(field(g.value.days[d].slots[11].start_time, 32), slot_start(d, 11));
            EXPECT_TRUE(all_zero(&g.value.days[d].slots[12], sizeof(ScheduleSlot) * 36));
            EXPECT_EQ(g.value.days[d].whole_day_enable, 0);
        }
        EXPECT_TRUE(g.guard_intact());
    }
    {
        JsonPtr req = parse("{\"s\":[]}");
        Guarded<Schedule> g;
        ASSERT_EQ(get_schedule_by_json(req.get(), "s", &g.value), 0);
        EXPECT_TRUE(all_zero(&g.value, sizeof g.value));
    }
}

TEST_F(Encodings, ScheduleWrongTypesAndLongTexts)
{
    const std::string long_text(50, 'L');
    JsonPtr req = parse(
        "{\"s\":[[[1,\"end\",\"abc\"],{\"startTime\":\"x\"},[\"" + long_text + "\",\"" + long_text +
        "\",\"7\"],[\"a\",\"b\",2.0],[\"a\",\"b\",2.5],[\"a\"],\"text\",[]],"
        "\"not a day\",[[\"ok\",\"ok\",3]]]}");
    Schedule s;
    memset(&s, 0xAA, sizeof s);
    ASSERT_EQ(get_schedule_by_json(req.get(), "s", &s), 0);
    const ScheduleDay& d0 = s.days[0];
    EXPECT_EQ(field(d0.slots[0].start_time, 32), "");  // an int is no text
    EXPECT_EQ(field(d0.slots[0].end_time, 32), "end");
    EXPECT_EQ(d0.slots[0].action_type, 0);              // "abc" is no int
    EXPECT_TRUE(all_zero(&d0.slots[1], sizeof(ScheduleSlot)));  // an object is no triple
    EXPECT_EQ(field(d0.slots[2].start_time, 32), long_text.substr(0, 31));
    EXPECT_EQ(field(d0.slots[2].end_time, 32), long_text.substr(0, 31));
    EXPECT_EQ(d0.slots[2].start_time[31], '\0');
    EXPECT_EQ(d0.slots[2].action_type, 7);
    EXPECT_EQ(d0.slots[3].action_type, 2);
    EXPECT_EQ(d0.slots[4].action_type, 0);
    EXPECT_EQ(field(d0.slots[5].start_time, 32), "a");
    EXPECT_EQ(field(d0.slots[5].end_time, 32), "");
    EXPECT_TRUE(all_zero(&d0.slots[6], sizeof(ScheduleSlot) * 42));
    EXPECT_TRUE(all_zero(&s.days[1], sizeof(ScheduleDay)));
    EXPECT_EQ(field(s.days[2].slots[0].start_time, 32), "ok");
    EXPECT_TRUE(all_zero(&s.days[3], sizeof(ScheduleDay) * 5));

    Schedule untouched;
    memset(&untouched, 0x11, sizeof untouched);
    JsonPtr bad = parse("{\"s\":{\"a\":1},\"t\":\"x\"}");
    for (const char* key : {"s", "t", "missing"}) {
        EXPECT_EQ(get_schedule_by_json(bad.get(), key, &untouched), -1) << key;
    }
    EXPECT_EQ(get_schedule_by_json(nullptr, "s", &untouched), -1);
    EXPECT_EQ(get_schedule_by_json(bad.get(), nullptr, &untouched), -1);
    EXPECT_EQ(((unsigned char*)&untouched)[0], 0x11);
}

TEST_F(Encodings, CopyMask)
{
    struct Row {
        const char* json;
        uint64_t mask;
    };
    const Row rows[] = {
        {"{\"list\":[0,5,64,-1],\"count\":4}", (1ULL << 0) | (1ULL << 5)},
        {"{\"list\":[1,2],\"count\":10}", (1ULL << 1) | (1ULL << 2)},
        {"{\"list\":[1,2,3],\"count\":1}", 1ULL << 1},
        {"{\"list\":[1,2],\"count\":0}", 0},
        {"{\"list\":[1,2],\"count\":-3}", 0},
        {"{\"list\":[1,2]}", 0},
        {"{\"count\":2}", 0},
        {"{\"list\":[63,\"7\",2.5,\"x\",null,{}],\"count\":6}", (1ULL << 63) | (1ULL << 7)},
        {"{\"list\":[4],\"count\":\"1\"}", 1ULL << 4},
        {"{\"list\":\"0,5\",\"count\":2}", 0},
    };
    for (const Row& row : rows) {
        JsonPtr req = parse(row.json);
        EXPECT_EQ(get_copy_flag_by_json(req.get(), "list", "count"), row.mask) << row.json;
    }
    EXPECT_EQ(get_copy_flag_by_json(nullptr, "list", "count"), 0u);
}

TEST_F(Encodings, SmartEventPtzType)
{
    for (int i = 0; i <= 8; i++)
        EXPECT_EQ(get_smart_event_ptz_type(i), i + 5);
    for (int i : {9, 10, -1, -100, 1000})
        EXPECT_EQ(get_smart_event_ptz_type(i), -1) << i;
}

std::string ptz_array(int n)
{
    std::string s = "[";
    for (int i = 0; i < n; i++) {
        s += i ? "," : "";
        s += "{\"acto_ptz_channel\":" + std::to_string(i % 3 == 2 ? 0 : i + 1) +
             ",\"acto_ptz_type\":" + std::to_string(i % 4) + ",\"acto_ptz_preset\":" + std::to_string(100 + i) +
             ",\"acto_ptz_patrol\":" + std::to_string(200 + i) + ",\"acto_ptz_pattern\":" +
             std::to_string(300 + i) + "}";
    }
    return s + "]";
}

TEST_F(Encodings, PtzListFromJson)
{
    JsonPtr arr = parse(ptz_array(70));
    Guarded<PtzActionParams> g;
    ASSERT_EQ(get_ptz_params_by_json(3, 2, arr.get(), &g.value), 0);
    for (int i = 0; i < 64; i++) {
        const PtzActionEntry& e = g.value.entries[i];
        EXPECT_EQ(e.channel, 3);
        EXPECT_EQ(e.acto_ptz_channel, i % 3 == 2 ? 0 : i + 1);
        EXPECT_EQ(e.acto_ptz_type, i % 4);
        EXPECT_EQ(e.acto_ptz_preset, 100 + i);
        EXPECT_EQ(e.acto_ptz_patrol, 200 + i);
        EXPECT_EQ(e.acto_ptz_pattern, 300 + i);
        EXPECT_EQ(e.reserved, 0);
    }
    EXPECT_TRUE(g.guard_intact());

    // Missing keys read as 0; a short array leaves the rest zero.
    JsonPtr short_arr = parse("[{\"acto_ptz_channel\":4},{\"acto_ptz_preset\":\"9\"},5]");
    PtzActionParams list;
    memset(&list, 0xAA, sizeof list);
    ASSERT_EQ(get_ptz_params_by_json(0, 2, short_arr.get(), &list), 0);
    EXPECT_EQ(list.entries[0].acto_ptz_channel, 4);
    EXPECT_EQ(list.entries[0].acto_ptz_preset, 0);
    EXPECT_EQ(list.entries[1].acto_ptz_preset, 9);
    EXPECT_EQ(list.entries[2].channel, 0 + 0);
    EXPECT_EQ(list.entries[2].acto_ptz_channel, 0);
    EXPECT_TRUE(all_zero(&list.entries[3], sizeof(PtzActionEntry) * 61));

    for (int channel : {8, -1, 64}) {
        PtzActionParams untouched;
        memset(&untouched, 0x11, sizeof untouched);
        EXPECT_EQ(get_ptz_params_by_json(channel, 2, arr.get(), &untouched), -1) << channel;
        EXPECT_EQ(((unsigned char*)&untouched)[0], 0x11);
    }
    EXPECT_EQ(get_ptz_params_by_json(1, 2, nullptr, &list), -1);
    EXPECT_EQ(get_ptz_params_by_json(1, 2, arr.get(), nullptr), -1);
}

TEST_F(Encodings, PtzStoredAndReadBackWithoutPattern)
{
    JsonPtr arr = parse(ptz_array(70));
    EXPECT_EQ(set_ptz_params_by_json(3, 2, arr.get()), 1);
    EXPECT_EQ(set_ptz_params_by_json(8, 2, arr.get()), 0);

    // The database holds the pattern.
    PtzActionParams stored;
    int count = 0;
    ASSERT_EQ(read_ptz_params(VXDB_MAIN, 2, 3, &stored, &count), 0);
    EXPECT_EQ(stored.entries[10].acto_ptz_pattern, 310);

    JsonPtr out(get_ptz_params_json_object(2, 3));
    // Entries with acto_ptz_channel 0 (every third) are left out.
    std::vector<int> expected_channels;
    for (int i = 0; i < 64; i++)
        if (i % 3 != 2)
            expected_channels.push_back(i + 1);
    ASSERT_EQ(json_array_size(out.get()), expected_channels.size());
    for (size_t k = 0; k < expected_channels.size(); k++) {
        json_object* o = json_array_at(out.get(), k);
        EXPECT_EQ(keys_of(o), (std::vector<std::string>{"acto_ptz_channel", "acto_ptz_type", "acto_ptz_preset",
                                                        "acto_ptz_patrol"}));
        int v = -1;
        ASSERT_TRUE(json_get_int(o, "acto_ptz_channel", &v));
        EXPECT_EQ(v, expected_channels[k]);
        ASSERT_TRUE(json_get_int(o, "acto_ptz_preset", &v));
        EXPECT_EQ(v, 100 + expected_channels[k] - 1);
    }
    // Another event type or channel has nothing.
    JsonPtr other(get_ptz_params_json_object(2, 4));
    EXPECT_EQ(json_array_size(other.get()), 0u);
    JsonPtr other_type(get_ptz_params_json_object(5, 3));
    EXPECT_EQ(json_array_size(other_type.get()), 0u);
}

TEST_F(Encodings, PtzPeopleCountingListHasEightEntries)
{
    JsonPtr arr = parse(ptz_array(12));
    EXPECT_EQ(set_ptz_params_by_json(1, 20, arr.get()), 1);
    JsonPtr out(get_ptz_params_json_object(20, 1));
    // Entries 0..7, without those whose acto_ptz_channel is 0 (2 and 5).
    ASSERT_EQ(json_array_size(out.get()), 6u);
    int v = -1;
    ASSERT_TRUE(json_get_int(json_array_at(out.get(), 5), "acto_ptz_channel", &v));
    EXPECT_EQ(v, 8);
    // Kept apart from the event lists.
    JsonPtr plain(get_ptz_params_json_object(2, 1));
    EXPECT_EQ(json_array_size(plain.get()), 0u);
}

TEST_F(Encodings, WhiteLedForms)
{
    struct Row {
        const char* json;
        std::vector<std::vector<int>> entries;  // chnid, mode, time
    };
    const Row rows[] = {
        {"{\"w\":[[1,2,3],[4,5,6]]}", {{1, 2, 3}, {4, 5, 6}}},
        {"{\"w\":[{\"chnid\":1,\"mode\":2,\"time\":3},{\"time\":6,\"chnid\":4,\"mode\":5}]}", {{1, 2, 3}, {4, 5, 6}}},
        // "chnid" anywhere chooses the object form for every element.
        {"{\"w\":[[7,8,9],{\"chnid\":1}]}", {{0, 0, 0}, {1, 0, 0}}},
        {"{\"w\":[[1,\"2\",2.0],[\"x\"]]}", {{1, 2, 2}, {0, 0, 0}}},
        {"{\"w\":[[1],[2],[3],[4],[5],[6],[7],[8],[9],[10]]}",
         {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}, {7, 0, 0}, {8, 0, 0}}},
    };
    for (int channel : {0, 3, 7}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.json) + " channel " + std::to_string(channel));
            JsonPtr req = parse(row.json);
            Guarded<WhiteLedParams> g;
            ASSERT_EQ(get_white_params_by_json(channel, &g.value, req.get(), "w"), 0);
            for (int e = 0; e < 64; e++) {
                const WhiteLedEntry& en = g.value.entries[e];
                int i = e - channel * 8;
                if (i >= 0 && i < (int)row.entries.size()) {
                    EXPECT_EQ(en.owner, channel);
                    EXPECT_EQ(en.chnid, row.entries[(size_t)i][0]);
                    EXPECT_EQ(en.mode, row.entries[(size_t)i][1]);
                    EXPECT_EQ(en.time, row.entries[(size_t)i][2]);
                } else {
                    EXPECT_TRUE(all_zero(&en, sizeof en)) << e;
                }
            }
            EXPECT_TRUE(g.guard_intact());
        }
    }
    JsonPtr req = parse("{\"w\":[[1,2,3]]}");
    WhiteLedParams table;
    memset(&table, 0x11, sizeof table);
    EXPECT_EQ(get_white_params_by_json(8, &table, req.get(), "w"), -1);
    EXPECT_EQ(get_white_params_by_json(-1, &table, req.get(), "w"), -1);
    EXPECT_EQ(get_white_params_by_json(0, &table, req.get(), "missing"), -1);
    EXPECT_EQ(((unsigned char*)&table)[0], 0x11);

    // An empty array still marks the owner of the channel's first entry.
    JsonPtr empty = parse("{\"w\":[]}");
    ASSERT_EQ(get_white_params_by_json(5, &table, empty.get(), "w"), 0);
    EXPECT_EQ(table.entries[40].owner, 5);
    EXPECT_TRUE(all_zero(&table.entries[41], sizeof(WhiteLedEntry) * 23));
}

TEST_F(Encodings, WhiteLedRoundTripThroughTheDatabase)
{
    JsonPtr req = parse("{\"w\":[[1,2,3],[4,5,6],[7,8,9]]}");
    WhiteLedParams table;
    ASSERT_EQ(get_white_params_by_json(2, &table, req.get(), "w"), 0);
    ASSERT_EQ(write_whiteled_params_all(VXDB_MAIN, "motion_whiteled", 2, &table), 0);
    JsonPtr out(get_white_params_json_object(2, "motion_whiteled"));
    EXPECT_EQ(to_text(out.get()),
              "[{\"chnid\":1,\"mode\":2,\"time\":3},{\"chnid\":4,\"mode\":5,\"time\":6},"
              "{\"chnid\":7,\"mode\":8,\"time\":9}]");
    JsonPtr none(get_white_params_json_object(3, "motion_whiteled"));
    EXPECT_EQ(to_text(none.get()), "[]");
    JsonPtr other_set(get_white_params_json_object(2, "smart_whiteled"));
    EXPECT_EQ(to_text(other_set.get()), "[]");
}

TEST_F(Encodings, PeopleCountingWhiteLed)
{
    JsonPtr req = parse("{\"w\":[{\"chnid\":3,\"mode\":1,\"time\":30},{\"chnid\":4,\"mode\":2,\"time\":40}]}");
    Guarded<WhiteLedBlock> g;
    ASSERT_EQ(get_pcnt_white_params_by_json(12, g.value.entries, req.get(), "w"), 0);
    EXPECT_EQ(g.value.entries[0].owner, 12);
    EXPECT_EQ(g.value.entries[1].time, 40);
    EXPECT_TRUE(all_zero(&g.value.entries[2], sizeof(WhiteLedEntry) * 6));
    EXPECT_TRUE(g.guard_intact());
    ASSERT_EQ(write_peoplecnt_wled_params_all(VXDB_MAIN, 12, g.value.entries), 0);
    JsonPtr out(get_pcnt_white_params_json_object(12));
    EXPECT_EQ(to_text(out.get()), "[{\"chnid\":3,\"mode\":1,\"time\":30},{\"chnid\":4,\"mode\":2,\"time\":40}]");

    JsonPtr many = parse("{\"w\":[[1],[2],[3],[4],[5],[6],[7],[8],[9],[10],[11]]}");
    Guarded<WhiteLedBlock> g2;
    ASSERT_EQ(get_pcnt_white_params_by_json(1, g2.value.entries, many.get(), "w"), 0);
    EXPECT_EQ(g2.value.entries[7].chnid, 8);
    EXPECT_TRUE(g2.guard_intact());
}

TEST_F(Encodings, HttpNotificationCutsAndRoundTrip)
{
    const std::string url = "http://h/p?a=%41&" + std::string(600, 'u');
    const std::string user(120, 'n');
    const std::string pass(100, 'p');
    JsonPtr req = parse("{\"http\":{\"url\":\"" + url + "\",\"username\":\"" + user + "\",\"password\":\"" + pass +
                        "\"}}");
    Guarded<HttpNotificationParams> g;
    ASSERT_EQ(get_http_params_by_json(5, &g.value, req.get(), "http"), 0);
    EXPECT_EQ(g.value.channel, 5);
    EXPECT_EQ(field(g.value.url, sizeof g.value.url), url.substr(0, 512));
    EXPECT_EQ(field(g.value.username, sizeof g.value.username), user.substr(0, 96));
    EXPECT_EQ(field(g.value.password, sizeof g.value.password), pass.substr(0, 64));
    EXPECT_EQ(g.value.reserved, 0);
    EXPECT_TRUE(g.guard_intact());

    ASSERT_EQ(write_http_notification_params(VXDB_MAIN, "motion_http", &g.value), 0);
    JsonPtr out(get_http_params_json_object(5, "motion_http"));
    EXPECT_EQ(keys_of(out.get()), (std::vector<std::string>{"chnId", "url", "username", "password"}));
    const char* text = nullptr;
    ASSERT_TRUE(json_get_text(out.get(), "url", &text));
    EXPECT_EQ(std::string(text), url.substr(0, 512));  // "%41" kept as it is
    int chn = -1;
    ASSERT_TRUE(json_get_int(out.get(), "chnId", &chn));
    EXPECT_EQ(chn, 5);

    // Missing fields are empty; a missing key is refused.
    JsonPtr partial = parse("{\"http\":{\"url\":\"x\"}}");
    HttpNotificationParams rec;
    memset(&rec, 0xAA, sizeof rec);
    ASSERT_EQ(get_http_params_by_json(1, &rec, partial.get(), "http"), 0);
    EXPECT_EQ(field(rec.username, sizeof rec.username), "");
    EXPECT_TRUE(all_zero(rec.password, sizeof rec.password));
    EXPECT_EQ(get_http_params_by_json(1, &rec, partial.get(), "nope"), -1);

    JsonPtr empty(get_http_params_json_object(6, "motion_http"));
    EXPECT_EQ(to_text(empty.get()), "{\"chnId\":6,\"url\":\"\",\"username\":\"\",\"password\":\"\"}");
}

TEST_F(Encodings, AlarmOutputPair)
{
    {
        JsonPtr req = parse("{\"out\":[\"Siren\"]}");
        Guarded<AlarmOutTarget[2]> g;
        ASSERT_EQ(get_event_chn_alarmout_by_object(4, req.get(), "out", g.value), 0);
        EXPECT_EQ(g.value[0].owner, 4);
        EXPECT_EQ(g.value[0].index, 0);
        EXPECT_EQ(field(g.value[0].name, 65), "Siren");
        EXPECT_TRUE(all_zero(&g.value[1], sizeof(AlarmOutTarget)));
        EXPECT_TRUE(g.guard_intact());
    }
    {
        const std::string long_name(100, 'o');
        JsonPtr req = parse("{\"out\":[\"a\",\"" + long_name + "\",\"third\"]}");
        Guarded<AlarmOutTarget[2]> g;
        ASSERT_EQ(get_event_chn_alarmout_by_object(2, req.get(), "out", g.value), 0);
        EXPECT_EQ(g.value[1].owner, 2);
        EXPECT_EQ(g.value[1].index, 1);
        EXPECT_EQ(field(g.value[1].name, 65), long_name.substr(0, 64));
        EXPECT_EQ(g.value[1].reserved[0], 0);
        EXPECT_TRUE(g.guard_intact());
    }
    AlarmOutTarget pair[2];
    JsonPtr req = parse("{\"out\":[]}");
    EXPECT_EQ(get_event_chn_alarmout_by_object(0, req.get(), "missing", pair), -1);
    JsonPtr names(get_event_chn_alarmout_object("A", nullptr));
    EXPECT_EQ(to_text(names.get()), "[\"A\",\"\"]");
}

TEST_F(Encodings, AudioFileMask)
{
    EXPECT_EQ(get_audio_file_id_mask(), 0u);
    for (int i : {0, 3, 5, 9}) {
        unsigned char rec[ALARM_AUDIO_FILE_SIZE] = {0};
        int32_t used = i == 5 ? 2 : 1;
        memcpy(rec + 4, &used, 4);
        ASSERT_EQ(write_alarm_audio_file(VXDB_MAIN, rec, i), 0);
    }
    EXPECT_EQ(get_audio_file_id_mask(), (1u << 0) | (1u << 3) | (1u << 9));
}

TEST(RequestJson, NotJsonGivesNull)
{
    for (const char* text : {"abc", "{", "", "{\"a\":", "[1,", "nul"}) {
        json_object* o = get_request_tokener_json_object(text);
        EXPECT_EQ(o, nullptr) << text;
        json_object_put(o);
    }
    EXPECT_EQ(get_request_tokener_json_object(nullptr), nullptr);
}

TEST(RequestJson, JsonTextsParse)
{
    struct Row {
        const char* text;
        json_type type;
    };
    const Row rows[] = {
        {"{\"a\":1}", json_type_object},
        {" {\"a\":1}\n", json_type_object},
        {"[1,2]", json_type_array},
        {"\"s\"", json_type_string},
        {"123", json_type_int},
        {"true", json_type_boolean},
    };
    for (const Row& row : rows) {
        JsonPtr o(get_request_tokener_json_object(row.text));
        ASSERT_NE(o.get(), nullptr) << row.text;
        EXPECT_EQ(json_object_get_type(o.get()), row.type) << row.text;
    }
}

TEST(RequestJson, ValueByJson)
{
    struct Row {
        const char* text;
        int rc;
        int value;
    };
    const Row rows[] = {
        {"{\"a\":5}", 0, 5},
        {"{\"a\":-12,\"b\":1}", 0, -12},
        {"{\"a\":\"7\"}", 0, 7},
        {"{\"a\":2.0}", 0, 2},
        {"{\"a\":2.5}", -1, 99},
        {"{\"a\":\"x\"}", -1, 99},
        {"{\"a\":true}", -1, 99},
        {"{\"a\":null}", -1, 99},
        {"{\"a\":[1]}", -1, 99},
        {"{\"a\":4294967296}", -1, 99},
        {"{\"b\":5}", -1, 99},
        {"abc", -1, 99},
        {"", -1, 99},
    };
    for (const Row& row : rows) {
        int v = 99;
        EXPECT_EQ(on_cgi_get_value_by_json(row.text, "a", &v), row.rc) << row.text;
        EXPECT_EQ(v, row.value) << row.text;
    }
    int v = 99;
    EXPECT_EQ(on_cgi_get_value_by_json(nullptr, "a", &v), -1);
    EXPECT_EQ(on_cgi_get_value_by_json("{\"a\":1}", nullptr, &v), -1);
    EXPECT_EQ(on_cgi_get_value_by_json("{\"a\":1}", "a", nullptr), -1);
}

TEST(RequestJson, IntAndStringGetters)
{
    JsonPtr o = parse("{\"i\":3,\"s\":\"hello world\",\"n\":5}");
    int v = 0;
    EXPECT_EQ(on_cgi_get_int_from_json(o.get(), "i", &v), 0);
    EXPECT_EQ(v, 3);
    v = 42;
    EXPECT_EQ(on_cgi_get_int_from_json(o.get(), "missing", &v), -1);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(on_cgi_get_int_from_json(nullptr, "i", &v), -1);

    char out[8];
    memset(out, '#', sizeof out);
    EXPECT_EQ(on_cgi_get_string_from_json(o.get(), "s", out, 6), 0);
    EXPECT_STREQ(out, "hello");
    EXPECT_EQ(out[6], '#');
    strcpy(out, "keep");
    EXPECT_EQ(on_cgi_get_string_from_json(o.get(), "n", out, sizeof out), -1);
    EXPECT_EQ(on_cgi_get_string_from_json(o.get(), "missing", out, sizeof out), -1);
    EXPECT_STREQ(out, "keep");
}

TEST(RequestJson, SectionInfo)
{
    struct Row {
        const char* text;
        const char* marker;
        int size;
        int rc;
        const char* out;
    };
    const Row rows[] = {
        {"cmd=upgrade&url=http://h/fw.bin?x=1", "url=", 64, 0, "http://h/fw.bin"},
        {"name:abc", "name:", 64, 0, "abc"},
        {"name:abcdef", "name:", 4, 0, "abc"},
        {"a?b", "a", 64, 0, ""},
        {"xyz", "q", 64, -1, "keep"},
        {"xyz", "", 64, -1, "keep"},
    };
    for (const Row& row : rows) {
        char out[64];
        strcpy(out, "keep");
        EXPECT_EQ(get_section_info(row.text, row.marker, out, row.size), row.rc) << row.text;
        EXPECT_STREQ(out, row.out) << row.text;
    }
    char out[8];
    EXPECT_EQ(get_section_info(nullptr, "a", out, 8), -1);
    EXPECT_EQ(get_section_info("a", nullptr, out, 8), -1);
    EXPECT_EQ(get_section_info("a", "a", nullptr, 8), -1);
}

TEST(FileData, RoundTripAndMissingFile)
{
    ScratchRoot root;
    const std::string path = root.at("/tmp/blob.bin");
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (char)(i * 13 + (i >> 8));
    ASSERT_EQ(vx_wirte_file_data(path.c_str(), data.data(), (int)data.size()), 0);
    int length = -1;
    char* got = vx_get_file_data(path.c_str(), &length);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(length, (int)data.size());
    EXPECT_EQ(std::string(got, (size_t)length), data);
    free(got);

    // Writing again empties the file first.
    ASSERT_EQ(vx_wirte_file_data(path.c_str(), "short", 5), 0);
    got = vx_get_file_data(path.c_str(), &length);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got, (size_t)length), "short");
    free(got);

    length = 7;
    EXPECT_EQ(vx_get_file_data(root.at("/tmp/none").c_str(), &length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(vx_wirte_file_data(root.at("/no/dir/file").c_str(), "x", 1), -1);
    EXPECT_EQ(vx_wirte_file_data(nullptr, "x", 1), -1);
    EXPECT_EQ(vx_wirte_file_data(path.c_str(), nullptr, 3), -1);
}

}  // namespace
