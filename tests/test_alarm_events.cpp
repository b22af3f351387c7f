// NVR alarm-input pages, the name lists and the alarm-input schedules of the
// video table, black-box through nvrweb.cgi against the fake core service and
// a scratch database.
#include <json-c/json.h>

#include <memory>

#include "core/db.h"
#include "core/json_util.h"
#include "modules/alarm/alarm.h"
#include "modules/video/video.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kIn = {"alarm_in", (int)sizeof(alarm_in), NVR_ALARM_INPUTS};
const vxdb_kind kOut = {"alarm_out", (int)sizeof(alarm_out), NVR_ALARM_OUTPUTS};
const vxdb_kind kChnInName = {"alarm_chnIn_event_name", (int)sizeof(alarm_chnIn_event_name), 256};
const vxdb_kind kChnOutName = {"alarm_chnOut_event_name", (int)sizeof(alarm_chnOut_event_name), 128};
const vxdb_kind kPtzKind = {"ptz_params", (int)sizeof(PtzActionParams), 64 * 64};

const std::string kSche = R"([[["08:00","09:00",2]]])";
const std::string kDay0 = R"([[{"startTime":"08:00","endTime":"09:00","actionType":2})";

class AlarmEventsTest : public HandlerTest {
protected:
    alarm_in input(int i)
    {
        alarm_in in;
        stored(kIn, i, &in);
        return in;
    }
    bool has_schedule(const char* table, int i)
    {
        std::unique_ptr<Schedule> s(new Schedule);
        return stored(db_schedule_kind(table), i, s.get()) == 0;
    }
    std::string first_day(const std::string& path, const std::string& input)
    {
        return canon(reply_body(post(path, input).out)).substr(0, kDay0.size());
    }
};

TEST_F(AlarmEventsTest, NameListsOfInputsAndOutputs)
{
    alarm_out out = zeroed<alarm_out>();
    out.id = 2;
    put(out.name, std::string(256, 'o'));  // fills its field: no NUL
    store(kOut, 2, &out);
    alarm_chnOut_event_name out_name = zeroed<alarm_chnOut_event_name>();
    out_name.channel = 63, out_name.output = 1;
    put(out_name.name, "Siren");
    store(kChnOutName, 1 * 64 + 63, &out_name);
    alarm_in in = zeroed<alarm_in>();
    in.id = 15;
    put(in.name, "Gate");
    store(kIn, 15, &in);
    alarm_chnIn_event_name in_name = zeroed<alarm_chnIn_event_name>();
    in_name.channel = 7, in_name.input = 3;
    put(in_name.name, "Hall");
    store(kChnInName, 3 * 64 + 7, &in_name);

    struct Case {
        const char* path;
        size_t nvr, per_camera;
        int nvr_index;
        std::string nvr_name;
        int channel, index;
        const char* camera_name;
    } cases[] = {
        {"/6032", 4, 2, 2, std::string(256, 'o'), 63, 1, "Siren"},
        {"/6034", 16, 4, 15, "Gate", 7, 3, "Hall"},
    };
    for (const Case& c : cases) {
        JsonPtr reply(json_tokener_parse(reply_body(get(c.path).out).c_str()));
        ASSERT_TRUE(reply) << c.path;
        json_object *nvr = nullptr, *camera = nullptr;
        ASSERT_TRUE(json_object_object_get_ex(reply.get(), "nvr", &nvr));
        ASSERT_TRUE(json_object_object_get_ex(reply.get(), "camera", &camera));
        ASSERT_EQ(json_object_array_length(nvr), c.nvr) << c.path;
        EXPECT_EQ(json_object_get_string(json_object_array_get_idx(nvr, c.nvr_index)), c.nvr_name) << c.path;
        ASSERT_EQ(json_object_array_length(camera), 64u) << c.path;
        for (int ch : {0, c.channel})
            ASSERT_EQ(json_object_array_length(json_object_array_get_idx(camera, ch)), c.per_camera) << c.path;
        json_object* names = json_object_array_get_idx(camera, c.channel);
        EXPECT_STREQ(json_object_get_string(json_object_array_get_idx(names, c.index)), c.camera_name) << c.path;
    }
}

TEST_F(AlarmEventsTest, NvrInputStoredInPartsAndReadBack)
{
    // Fields other pages keep in the record survive every write here.
    alarm_in kept = zeroed<alarm_in>();
    kept.id = 4, kept.email_interval = 33;
    put(kept.tri_snapshot, "0011");
    store(kIn, 4, &kept);

    const std::string name(300, 'n');
    ASSERT_EQ(post("/6062", R"({"alarm":{"id":4,"enable":2,"name":")" + name +
                                R"(","type":1,"triChannels":"1101","triAlarms":6,"interval":15},"schedule":)" + kSche +
                                "}")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_CHANGED), int32_bytes({4})));
    EXPECT_TRUE(same_bytes(logs(1).at(0), log_record(204, 910, 5)));
    alarm_in in = input(4);
    EXPECT_EQ(std::string(in.name), name.substr(0, 255)) << "cut to its field";
    EXPECT_EQ(+in.tri_channels, 0xBu);
    EXPECT_EQ(+in.email_interval, 33);
    EXPECT_STREQ(in.tri_snapshot, "0011");

    // Actions only: the mask follows the new string, deselected channels lose their bit.
    core.clear();
    ASSERT_EQ(post("/6064", R"({"alarm":{"id":4,"name":"x","type":0,"triChannels":"0100","triAlarms":1,"interval":3}})")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_CHANGED), int32_bytes({4})));
    in = input(4);
    EXPECT_EQ(+in.tri_channels, 0x2u);
    EXPECT_EQ(+in.interval, 3);
    EXPECT_EQ(+in.type, 1) << "/6064 leaves the type";
    EXPECT_EQ(+in.enable, 2);

    ASSERT_EQ(post("/6063", R"({"alarm":{"camId":4,"name":"Porch","type":0,"enable":1}})").out, text_reply());
    const std::string want = R"({"alarm":{"id":4,"enable":1,"name":"Porch","type":0,"triChannels":"0100",)"
                             R"("triAlarms":1,"interval":3,"triSnapshot":"0011"},"schedule":)";
    const std::string reply = canon(reply_body(post("/6061", "4").out));
    EXPECT_EQ(reply.substr(0, want.size() + kDay0.size()), want + kDay0) << reply;

    const std::string list = canon(reply_body(get("/6060").out));
    EXPECT_NE(list.find(R"({"id":4,"enable":1,"name":"Porch","type":0,"triChannels":"0100","triAlarms":1},)"
                        R"({"id":5,"enable":0,"name":"","type":0,"triChannels":"","triAlarms":0})"),
              std::string::npos)
        << list;

    // Refused: silence, nothing stored or sent.
    core.clear();
    const char* refused[][2] = {
        {"/6062", R"({"alarm":{"id":16,"enable":1,"type":0,"triChannels":"1","triAlarms":0,"interval":0}})"},
        {"/6062", R"({"alarm":{"id":4,"enable":3,"type":0,"triChannels":"1","triAlarms":0,"interval":0}})"},
        {"/6062", R"({"alarm":{"id":4,"type":0,"triChannels":"1","triAlarms":0,"interval":0}})"},
        {"/6062", R"({"alarm":{"id":4,"enable":1,"type":2,"triChannels":"1","triAlarms":0,"interval":0}})"},
        {"/6062", R"({"alarm":{"id":4,"enable":1,"type":0,"triAlarms":0,"interval":0}})"},
        {"/6064", R"({"alarm":{"id":4,"type":0,"triChannels":"1","triAlarms":0,"interval":-1}})"},
        {"/6064", R"({"alarm":{"id":4,"enable":7,"type":0,"triChannels":"1","triAlarms":0,"interval":0}})"},
        {"/6063", R"({"alarm":{"camId":16,"name":"x"}})"},
        {"/6063", R"({"alarm":{"camId":4,"type":"abc"}})"},
        {"/6063", "{"},
        {"/6061", "16"},
    };
    for (const auto& r : refused)
        EXPECT_EQ(post(r[0], r[1]).out, "") << r[0] << " " << r[1];
    EXPECT_TRUE(sent_all().empty());
    EXPECT_STREQ(input(4).name, "Porch");
}

TEST_F(AlarmEventsTest, InputSetsOfTheVideoTable)
{
    alarm_in in0 = zeroed<alarm_in>();
    put(in0.name, "Door");
    store(kIn, 0, &in0);

    // Audible on inputs [0, 15, 16]: 16 is no NVR input.
    ASSERT_EQ(post("/6125", R"({"cnt":3,"chnid":[0,15,16],"enable":1,"interval":30,"schedule":)" + kSche + "}").out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_SET_CHANGED), bytes_of(uint64_t{0x8001})));
    for (const char* i : {"0", "15"})
        EXPECT_EQ(first_day("/6129", i), kDay0) << i;
    EXPECT_FALSE(has_schedule(ALARMIN_AUDIBLE_SCHEDULE, 16));
    EXPECT_EQ(post("/6129", "16").out, "");
    for (int i : {0, 15})
        EXPECT_EQ(+input(i).interval, 30) << i;
    EXPECT_STREQ(input(0).name, "Door") << "the rest of the record stays";

    // E-mail with snapshot channels cut to 64.
    core.clear();
    ASSERT_EQ(post("/6126", R"({"cnt":1,"chnid":[3],"enable":1,"interval":45,"triSnapshot":")" + std::string(80, '1') +
                                R"(","schedule":)" + kSche + "}")
                  .out,
              text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_SET_CHANGED), bytes_of(uint64_t{0x8})));
    EXPECT_EQ(+input(3).email_interval, 45);
    EXPECT_EQ(std::string(input(3).tri_snapshot), std::string(64, '1'));
    EXPECT_EQ(first_day("/6128", "3"), kDay0);

    // One action value; the effective schedule of camId goes with it.
    core.clear();
    ASSERT_EQ(post("/6170", R"({"camId":2,"schedule":)" + kSche + "}").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_CHANGED), int32_bytes({2})));
    EXPECT_EQ(first_day("/6169", "2"), kDay0);
    alarm_in masked = zeroed<alarm_in>();
    masked.id = 5, masked.tri_channels = 0xFF;
    put(masked.tri_channels_string, "11111111");
    store(kIn, 5, &masked);
    core.clear();
    ASSERT_EQ(post("/6127", R"({"camId":2,"type":1,"cnt":3,"chnid":[5,6,40],"triChannels":"01"})").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_SET_CHANGED), bytes_of(uint64_t{0x60})));
    EXPECT_TRUE(same_bytes(one(REQ_OPERATION_LOG_CHANNELS), log_record(204, 909, 0) + bytes_of(uint64_t{0x60})));
    EXPECT_EQ(+input(5).tri_channels, 0x2u) << "the mask recomputed, not kept";
    EXPECT_EQ(first_day("/6169", "6"), kDay0);
    ASSERT_EQ(post("/6127", R"({"camId":2,"type":2,"cnt":1,"chnid":[5],"triAlarms":9})").out, text_reply());
    EXPECT_EQ(+input(5).tri_alarms, 9);

    // PTZ: the entries of camId go to each listed input.
    PtzActionParams p = zeroed<PtzActionParams>();
    p.entries[0].channel = 1, p.entries[0].acto_ptz_channel = 4, p.entries[0].acto_ptz_type = 1;
    store(kPtzKind, 1, &p);
    core.clear();
    ASSERT_EQ(post("/6167", R"({"camId":1,"cnt":2,"chnid":[9,20],"schedule":)" + kSche + "}").out, text_reply());
    EXPECT_TRUE(same_bytes(one(REQ_ALARM_IN_SET_CHANGED), bytes_of(uint64_t{0x200})));
    EXPECT_EQ(first_day("/6168", "9"), kDay0);
    PtzActionParams copied;
    ASSERT_EQ(stored(kPtzKind, 9, &copied), 0);
    EXPECT_EQ(copied.entries[0].channel, 9);
    EXPECT_EQ(copied.entries[0].acto_ptz_channel, 4);

    // Inputs past 15 as the source: silence, nothing stored or sent.
    core.clear();
    const char* refused[][2] = {
        {"/6170", R"({"camId":16,"schedule":[]})"},
        {"/6167", R"({"camId":16,"cnt":1,"chnid":[1],"schedule":[]})"},
        {"/6127", R"({"camId":16,"type":2,"cnt":1,"chnid":[1],"triAlarms":1})"},
        {"/6127", R"({"camId":1,"type":3,"cnt":1,"chnid":[1],"triAlarms":1})"},
        {"/6127", R"({"camId":1,"type":1,"cnt":1,"chnid":[1],"triAlarms":1})"},
        {"/6168", "16"},
    };
    for (const auto& r : refused)
        EXPECT_EQ(post(r[0], r[1]).out, "") << r[0] << " " << r[1];
    EXPECT_TRUE(sent_all().empty());
    EXPECT_FALSE(has_schedule(ALARMIN_EFFECTIVE_SCHEDULE, 16));
}

}  // namespace
