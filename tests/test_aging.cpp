// The aging test's resources through the built CGI: what each stores, what
// it keeps, what it tells the core service, and the requests it ignores.
#include "modules/aging/aging_records.h"
#include "modules/record/record_records.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kPort = {"port", PORT_RECORD_SIZE, 1};
const vxdb_kind kRecord = {"record", (int)sizeof(db_record), RECORD_CHANNELS};
const vxdb_kind kCamera = {"camera", (int)sizeof(db_camera), RECORD_CHANNELS};

using Aging = HandlerTest;

TEST_F(Aging, SshSwitchKeepsThePortRecord)
{
    std::string port(PORT_RECORD_SIZE, '\0');
    for (size_t i = 0; i < port.size(); i++)
        port[i] = (char)(i * 7 + 1);
    store(kPort, 0, port.data());
    EXPECT_EQ(post("/3300", R"({"sshEnable":1})").out, text_reply());
    std::string now(PORT_RECORD_SIZE, '\0');
    ASSERT_EQ(stored(kPort, 0, &now[0]), 0);
    EXPECT_TRUE(same_bytes(now, int32_bytes({1}) + port.substr(4)));
    ASSERT_TRUE(core.wait_for(REQ_SSH_CHANGED, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_SSH_CHANGED)[0].payload, "more" + std::string(28, '\0')));
}

TEST_F(Aging, SwitchesAreStoredAsParameters)
{
    const struct {
        const char *path, *body, *param;
        int value;
    } rows[] = {
        {"/3301", R"({"autoLoginEnable":1})", "local_auth_enable", 1},
        {"/3301", "{}", "local_auth_enable", 0},
        {"/3303", R"({"wizardEnable":1})", "wizard_enable", 1},
        {"/3303", R"({"wizardEnable":0})", "wizard_enable", 0},
    };
    for (const auto& row : rows) {
        set_param(row.param, 7);
        EXPECT_EQ(post(row.path, row.body).out, text_reply()) << row.body;
        EXPECT_EQ(param(row.param, -1), row.value) << row.body;
    }
}

TEST_F(Aging, RecordModeOfEveryChannelKeepsOtherSettings)
{
    db_record five = zeroed<db_record>();
    five.id = 5, five.mode = 1, five.audio_enable = 1, five.pre_record_duration = 9, five.record_expiry = 30;
    store(kRecord, 5, &five);
    EXPECT_EQ(post("/3302", R"({"recordMode":2})").out, text_reply());
    for (int c = 0; c < RECORD_CHANNELS; c++) {
        db_record want = c == 5 ? five : zeroed<db_record>(), got;
        want.id = c, want.mode = 2;
        EXPECT_EQ(stored(kRecord, c, &got), 0) << c;
        EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want))) << c;
    }
    ASSERT_TRUE(core.wait_for(REQ_RECORD_MODE_CHANGED, 64));
    const std::vector<FakeRequest> notices = sent(REQ_RECORD_MODE_CHANGED);
    ASSERT_EQ(notices.size(), 64u);
    for (int c = 0; c < RECORD_CHANNELS; c++)
        EXPECT_EQ(notices[(size_t)c].payload, int32_bytes({c}));
}

// A camera not stored yet is written under its own channel, and the core
// service is named that channel (it used to be channel 0 for both).
TEST_F(Aging, CameraBoundUnderItsOwnChannel)
{
    const std::pair<std::string, int> rows[] = {
        {R"({"id":63,"enable":1,"ipAddr":"10.1.2.3","managePort":8080,"userName":"admin","password":"pw"})",
         REQ_CAMERA_CONNECT},
        {R"({"id":63,"enable":0,"ipAddr":"10.1.2.4","managePort":0})", REQ_CAMERA_DISCONNECT},
    };
    db_camera want = zeroed<db_camera>();
    want.id = 63, want.manage_port = 8080, want.protocol = 0;
    put(want.user_name, "admin");
    put(want.password, "pw");
    for (const auto& [body, code] : rows) {
        EXPECT_EQ(post("/3304", body).out, text_reply()) << body;
        want.enable = code == REQ_CAMERA_CONNECT;
        put(want.address, want.enable ? "10.1.2.3" : "10.1.2.4");
        want.manage_port = want.enable ? 8080 : 0;
        db_camera got;
        EXPECT_EQ(stored(kCamera, 63, &got), 0);
        EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want))) << body;
        ASSERT_TRUE(core.wait_for(code, 1));
        EXPECT_EQ(sent(code)[0].payload, int32_bytes({63}));
    }
    db_camera none;
    EXPECT_EQ(stored(kCamera, 0, &none), 1);  // nothing written on channel 0
}

TEST_F(Aging, RefusedRequestsGetNoAnswer)
{
    const std::pair<const char*, const char*> rows[] = {
        {"/3304", R"({"id":65,"enable":1,"ipAddr":"x","managePort":80})"},
        {"/3304", R"({"id":-1,"enable":1,"ipAddr":"x","managePort":80})"},
        {"/3304", R"({"id":64,"enable":1,"ipAddr":"x","managePort":80})"},
        {"/3304", R"({"id":1,"enable":2,"ipAddr":"x","managePort":80})"},
        {"/3304", R"({"id":1,"enable":1,"ipAddr":"","managePort":80})"},
        {"/3304", R"({"id":1,"enable":1,"ipAddr":"x","managePort":-1})"},
        {"/3304", R"({"id":1,"ipAddr":"x","managePort":80})"},
        {"/3304", "id=1&enable=1"},
        {"/3300", "not json"},
        {"/3300", R"({"sshEnable":"on"})"},
        {"/3301", ""},
        {"/3302", R"({"recordMode":3})"},
        {"/3303", R"({"wizardEnable":2})"},
    };
    for (const auto& [path, body] : rows) {
        EXPECT_EQ(post(path, body).out, "") << path << " " << body;
        EXPECT_TRUE(sent_all().empty()) << path << " " << body;
    }
    db_camera camera;
    EXPECT_EQ(stored(kCamera, 1, &camera), 1);
    EXPECT_EQ(param("wizard_enable", -1), -1);
}

}  // namespace
