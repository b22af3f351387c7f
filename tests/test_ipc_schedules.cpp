// IP-camera module: image and exposure schedules through the core service
// and the exposure schedule in the database, black-box through nvrweb.cgi.
#include "modules/ipc/ipc.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kExposureKind = {"exposure", (int)sizeof(ipc_exposure_schedule), IPC_CHANNELS};

// A week of `days` days of `periods` periods; period i of day d runs
// "d:i" to "d:i+" with action d, then `extra` more values.
std::string week(int days, int periods, const std::string& extra = "")
{
    std::string out = "[";
    for (int d = 0; d < days; d++) {
        out += d ? ",[" : "[";
        for (int i = 0; i < periods; i++) {
            const std::string t = std::to_string(d) + ":" + std::to_string(i);
            out += (i ? ",[\"" : "[\"") + t + "\",\"" + t + "+\"," + std::to_string(d) + extra + "]";
        }
        out += "]";
    }
    return out + "]";
}

// The slot week() fills, as stored.
void fill_slot(ScheduleSlot& slot, int d, int i)
{
    const std::string t = std::to_string(d) + ":" + std::to_string(i);
    put(slot.start_time, t), put(slot.end_time, t + "+");
    slot.action_type = d;
}

class CameraSchedules : public HandlerTest {};

TEST_F(CameraSchedules, ImageSchedulesReachTheCameraWithEveryDayValid)
{
    const struct {
        const char* set;
        int set_code;
        const char* get;
        int get_code;
    } cases[] = {{"/2042", REQ_IPC_IMAGE_SCHEDULE_SET, "/2041", REQ_IPC_IMAGE_SCHEDULE_GET},
                 {"/2046", REQ_IPC_IMAGE_SCHEDULE_EX_SET, "/2045", REQ_IPC_IMAGE_SCHEDULE_EX_GET}};
    for (const auto& c : cases) {
        // Two days given, one period too many on each: the rest stays empty.
        EXPECT_EQ(post(c.set, R"({"channel":3,"schedule":)" + week(2, 13) + "}").out, text_reply("OK")) << c.set;
        ipc_image_schedule want = zeroed<ipc_image_schedule>();
        want.channel = 3;
        for (int d = 0; d < SCHEDULE_DAYS; d++)
            want.schedule.days[d].whole_day_enable = 1;
        for (int d = 0; d < 2; d++)
            for (int i = 0; i < SCHEDULE_JSON_SLOTS; i++)
                fill_slot(want.schedule.days[d].slots[i], d, i);
        ASSERT_TRUE(core.wait_for(c.set_code, 1)) << c.set;
        EXPECT_TRUE(same_bytes(sent(c.set_code).at(0).payload, bytes_of(want))) << c.set;

        // Day 1 is not valid: its periods print empty although its slot holds text.
        want.schedule.days[1].whole_day_enable = 0;
        core.reply(c.get_code, bytes_of(want));
        const std::string out = canon(reply_body(post(c.get, R"({"id":3})").out));
        EXPECT_EQ(sent(c.get_code).at(0).payload, int32_bytes({3}));
        EXPECT_EQ(out.rfind(R"({"schedule":[[{"startTime":"0:0","endTime":"0:0+","actionType":0},)", 0), 0u) << out;
        EXPECT_NE(out.find(R"(],[{"startTime":"","endTime":"","actionType":0},)"), std::string::npos) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '{'), 1 + SCHEDULE_DAYS * SCHEDULE_JSON_SLOTS) << out;

        core.reply(c.get_code, bytes_of(want).substr(0, sizeof want - 1));  // short: no answer
        EXPECT_EQ(post(c.get, R"({"id":3})").out, kJsonError) << c.get;
    }
}

TEST_F(CameraSchedules, ExposureSchedulePeriodsCarryTimeAndGain)
{
    EXPECT_EQ(post("/2044", R"({"channel":7,"schedule":)" + week(8, 12, ",40,9") + "}").out, text_reply("OK"));
    ipc_exposure_schedule want = zeroed<ipc_exposure_schedule>();
    want.channel = 7;
    for (int d = 0; d < SCHEDULE_DAYS; d++)
        for (int i = 0; i < SCHEDULE_JSON_SLOTS; i++)
            fill_slot(want.slots[d][i], d, i), want.exposure[d][i] = {40, 9};
    ASSERT_TRUE(core.wait_for(REQ_IPC_EXPOSURE_SCHEDULE_SET, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_IPC_EXPOSURE_SCHEDULE_SET).at(0).payload, bytes_of(want)));

    want.exposure[0][0] = {100, 3};
    core.reply(REQ_IPC_EXPOSURE_SCHEDULE_GET, bytes_of(want));
    const std::string out = canon(reply_body(post("/2043", R"({"id":7})").out));
    EXPECT_EQ(out.rfind(R"({"schedule":[[{"startTime":"0:0","endTime":"0:0+","actionType":0,)"
                        R"("exposureTime":100,"gainLevel":3},{"startTime":"0:1",)", 0), 0u) << out;
    EXPECT_NE(out.find(R"({"startTime":"7:11","endTime":"7:11+","actionType":7,"exposureTime":40,"gainLevel":9}]])"),
              std::string::npos) << out;
    core.reply(REQ_IPC_EXPOSURE_SCHEDULE_GET, bytes_of(want).substr(0, sizeof(ipc_image_schedule)));
    EXPECT_EQ(post("/2043", R"({"id":7})").out, kJsonError);  // an image schedule's size is no answer here
}

TEST_F(CameraSchedules, ChannelsOutsideTheTablesAreRefusedUnsent)
{
    for (const char* path : {"/2041", "/2043", "/2045", "/2042", "/2044", "/2046", "/2048", "/2049"})
        for (const char* channel : {"64", "-1"}) {
            const std::string body = std::string(R"({"id":)") + channel + R"(,"channel":)" + channel +
                                     R"(,"schedule":)" + week(1, 1) + "}";
            EXPECT_EQ(post(path, body).out, kJsonError) << path << " " << channel;
            EXPECT_TRUE(sent_all().empty()) << path << " " << channel;
        }
    ipc_exposure_schedule none;
    EXPECT_EQ(stored(kExposureKind, 0, &none), 1);  // nothing reached the database either
}

TEST_F(CameraSchedules, ExposureIsStoredCutToTheRecordAndReadBack)
{
    // Ten days of sixty periods: the record holds eight of forty-eight.
    std::string times = "[", gains = "[";
    for (int d = 0; d < 10; d++) {
        times += d ? ",[" : "[", gains += d ? ",[" : "[";
        for (int i = 0; i < 60; i++) {
            times += (i ? "," : "") + std::to_string(d * 100 + i);
            gains += (i ? "," : "") + std::to_string(i % 16);
        }
        times += "]", gains += "]";
    }
    const std::string body = R"({"channel":5,"exposure":)" + week(10, 60) + R"(,"exposureTime":)" + times + "]" +
                             R"(,"gainLevel":)" + gains + "]}";
    EXPECT_EQ(post("/2048", body).out, text_reply("OK"));
    EXPECT_TRUE(sent_all().empty());

    ipc_exposure_schedule want = zeroed<ipc_exposure_schedule>();
    want.channel = 5;
    for (int d = 0; d < IPC_SCHEDULE_DAYS; d++)
        for (int i = 0; i < IPC_SCHEDULE_SLOTS; i++)
            fill_slot(want.slots[d][i], d, i), want.exposure[d][i] = {d * 100 + i, i % 16};
    ipc_exposure_schedule got;
    ASSERT_EQ(stored(kExposureKind, 5, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));

    const std::string out = canon(reply_body(post("/2049", R"({"channel":5})").out));
    EXPECT_EQ(out.rfind(R"({"channel":5,"exposure":[[{"startTime":"0:0","endTime":"0:0+","actionType":0},)", 0), 0u)
        << out;
    EXPECT_NE(out.find(R"({"startTime":"7:47","endTime":"7:47+","actionType":7}]],"exposureTime":[[0,1,)"),
              std::string::npos) << out;
    EXPECT_NE(out.find(R"(,746,747]],"gainLevel":[[0,1,)"), std::string::npos) << out;
    const std::string tail = ",13,14,15]]}";  // day 7's gains end the reply
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
}

// The local device: the cameras coresim simulates remember their schedules.
TEST(CameraSchedulesCoresim, ReadsReturnTheLastWrite)
{
    ScratchRoot root;
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    auto call = [&](const std::string& path, const std::string& body) { return post_json_body(root.path(), path, body); };
    auto read = [&](const std::string& path, const std::string& body) { return canon(call(path, body)); };
    const std::string empty = R"({"startTime":"","endTime":"","actionType":0})";
    EXPECT_EQ(read("/2041", R"({"id":1})").find(R"({"schedule":[[)" + empty + ","), 0u);
    EXPECT_EQ(call("/2042", R"({"channel":1,"schedule":)" + week(1, 1) + "}"), "OK");
    EXPECT_EQ(call("/2044", R"({"channel":1,"schedule":)" + week(1, 1, ",5,6") + "}"), "OK");
    // Neither set is answered: the reads show that both arrived.
    EXPECT_EQ(read("/2041", R"({"id":1})").find(R"({"schedule":[[{"startTime":"0:0","endTime":"0:0+",)"), 0u);
    EXPECT_NE(read("/2043", R"({"id":1})").find(R"("actionType":0,"exposureTime":5,"gainLevel":6},)"),
              std::string::npos);
    EXPECT_EQ(read("/2045", R"({"id":1})").find(R"({"schedule":[[)" + empty + ","), 0u);  // not the one set
    EXPECT_EQ(call("/2041", R"({"id":40})"), "{status:\"CGI ERROR\"}");  // no camera bound there
}

}  // namespace
