// Maintenance: restart and its poll, restore, profile export and import,
// upgrade, retention and auto-reboot, diagnosis; black-box against a fake
// core service, the upgrade once end to end against coresim and mkimage.
#include <cstdlib>
#include <unistd.h>

#include "modules/system/system_maintenance.h"
#include "modules/video/video_records.h"
#include "platform/urlcode.h"
#include "tests/support/handler_test.h"

namespace {

const std::string kB = "----MaintBoundary";
const vxdb_kind kMotion = {"motion", (int)sizeof(motion), 64};
const vxdb_kind kReboot = {"autoreboot_conf", (int)sizeof(autoreboot_conf), 1};

std::string form(const std::string& filename, const std::string& data)
{
    return "--" + kB + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + filename +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n--" + kB + "--\r\n";
}

std::vector<int> codes(const std::vector<FakeRequest>& requests)
{
    std::vector<int> out;
    for (const FakeRequest& r : requests)
        out.push_back(r.code);
    return out;
}

class Maintenance : public HandlerTest {
protected:
    CgiResult upload(const std::string& path, const std::string& filename, const std::string& data,
                     const std::string& query = "")
    {
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.method = "POST";
        r.path = path;
        r.query = query;
        r.body = form(filename, data);
        r.content_type = "multipart/form-data; boundary=" + kB;
        r.cookie = "lang=en; userName=admin";
        r.remote_addr = kAddr;
        CgiResult res = run_cgi(root.path(), r);
        vxdb_close_all();
        return res;
    }
    // Keys of the profile that a test changes; the seeded rest is irrelevant.
    void seed() { set_param("max_cameras", 16); }
};

TEST_F(Maintenance, RestartRestoreAndPollOrder)
{
    // Restart: the log record goes out before the restart itself.
    EXPECT_EQ(get("/1004").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_RESTART, 1));
    EXPECT_EQ(codes(sent_all()), (std::vector<int>{REQ_OPERATION_LOG, REQ_RESTART}));
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(LOG_SUB_REMOTE_REBOOT, LOG_PARAM_NONE, 0)});

    // Restore: keep flags in order, then 3410, the log record and the restart.
    EXPECT_EQ(post("/1006", R"({"keepIp":1})").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_RESTART, 1));
    const auto all = sent_all();
    EXPECT_EQ(codes(all), (std::vector<int>{REQ_RESTORE, REQ_RESTORE_FINISH, REQ_OPERATION_LOG, REQ_RESTART}));
    EXPECT_EQ(all[0].payload, int32_bytes({1, 0}));
    EXPECT_EQ(all[2].payload, log_record(LOG_SUB_REMOTE_RESTORE, LOG_PARAM_NONE, 0));

    // The poll: "NO OK" until the liveness file is back; zero intervals of
    // the stored motion records below max_cameras become 20, nothing else.
    set_param("max_cameras", 4);
    motion zero = zeroed<motion>(), kept = zeroed<motion>(), far = zeroed<motion>(), got;
    kept.id = 1, kept.interval = 5, kept.email_interval = 7;
    far.id = 9;
    store(kMotion, 0, &zero);
    store(kMotion, 1, &kept);
    store(kMotion, 9, &far);
    EXPECT_EQ(get("/1005").out, text_reply("NO OK"));
    ASSERT_EQ(stored(kMotion, 0, &got), 0);
    EXPECT_EQ((int)got.interval, 20);
    EXPECT_EQ((int)got.email_interval, 20);
    ASSERT_EQ(stored(kMotion, 1, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(kept)));
    ASSERT_EQ(stored(kMotion, 9, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(far)));
    EXPECT_EQ(stored(kMotion, 2, &got), 1);
    root.write("/tmp/vxcore", "");
    EXPECT_EQ(get("/1005").out, text_reply("OK"));
}

// Export, download once, change a setting, import the download back.
TEST_F(Maintenance, ProfileRoundTripAndRefusedFiles)
{
    seed();
    set_param("record_days", 30);
    const std::string exported = get("/1007").out;
    ASSERT_EQ(exported.rfind(kTextHead + "OK filename=config-", 0), 0u) << exported;
    const std::string name = exported.substr(kTextHead.size() + 12, exported.size() - kTextHead.size() - 14);
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(LOG_SUB_REMOTE_CONFIG_EXPORT, LOG_PARAM_NONE, 0)});

    const std::string download = get("/1013").out;
    const std::string head = "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= " +
                             name + "\r\n\r\n";
    ASSERT_EQ(download.rfind(head, 0), 0u) << download.substr(0, 200);
    const std::string profile = download.substr(head.size());
    EXPECT_EQ(profile.compare(0, 8, "VXPROF1\n"), 0);
    EXPECT_FALSE(root.exists("/tmp/" + name));
    EXPECT_EQ(get("/1013").out, "");  // served once

    set_param("record_days", 7);
    set_param("software_version", 42);  // the device's own, not the profile's
    EXPECT_EQ(upload("/1008", "saved.cfg", profile).out, text_reply("OK"));
    EXPECT_EQ(param("record_days", 0), 30);
    EXPECT_EQ(param("software_version", 0), 42);
    EXPECT_FALSE(root.exists("/tmp/saved.cfg"));
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(LOG_SUB_REMOTE_CONFIG_IMPORT, LOG_PARAM_NONE, 0)});

    // Not a whole profile: refused, nothing changed, the upload gone. A
    // file name with "$(...)" runs nothing; a JSON body naming the
    // database is no upload.
    set_param("record_days", 9);
    const std::string pem = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
    std::string altered = profile;
    altered[altered.size() - 1] ^= 1;
    const struct {
        std::string name, data;
    } refused[] = {{"cert.pem", pem},
                   {"cut.cfg", profile.substr(0, profile.size() / 2)},
                   {"altered.cfg", altered},
                   {"$(touch pwned).cfg", pem}};
    for (const auto& r : refused) {
        EXPECT_EQ(upload("/1008", r.name, r.data).out, kTextError) << r.name;
        EXPECT_EQ(param("record_days", 0), 9) << r.name;
        EXPECT_EQ(root.list("/tmp"), "") << r.name;
        EXPECT_TRUE(no_logs()) << r.name;
    }
    EXPECT_FALSE(root.exists("/pwned"));
    EXPECT_NE(access("pwned", F_OK), 0);
    for (const char* body : {"/mnt/nand/app/vxdb.db", "/tmp/../mnt/nand/app/vxdb.db"})
        EXPECT_EQ(post("/1008", body).out, kTextError);
    EXPECT_EQ(param("record_days", 0), 9);
}

TEST_F(Maintenance, UpgradeAnswers)
{
    const struct {
        std::string query;
        int32_t flag;
        std::string answer;  // kSilent: none
        std::string reply;
        bool restarts;
    } cases[] = {
        {"reset", 1, int32_bytes({0}), "OK", true},
        {"ver=2&reset=1", 1, int32_bytes({1}), "OK", true},
        {"", 0, int32_bytes({-5}), "-5", false},
        {"", 0, kSilent, "0", false},
        {"", 0, std::string("\0\0", 2), "0", false},  // shorter than its word
    };
    for (const auto& c : cases) {
        if (c.answer == kSilent)
            core.silent(REQ_UPGRADE);
        else
            core.reply(REQ_UPGRADE, c.answer);
        EXPECT_EQ(upload("/1010", "fw.bin", "image", c.query).out, text_reply(c.reply)) << c.query;
        const auto asked = sent(REQ_UPGRADE);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].payload, int32_bytes({c.flag}));
        if (c.restarts) {
            ASSERT_TRUE(core.wait_for(REQ_RESTART, 1));
            EXPECT_EQ(logs(2), (std::vector<std::string>{log_record(LOG_SUB_REMOTE_UPGRADE, LOG_PARAM_NONE, 0),
                                                         log_record(LOG_SUB_REMOTE_REBOOT, LOG_PARAM_NONE, 0)}));
        } else {
            EXPECT_FALSE(core.wait_for(REQ_RESTART, 1, 300)) << c.query;
        }
    }
    EXPECT_EQ(get("/1011").out, text_reply("OK"));
    root.write(MAINT_UPGRADE_IMAGE, "x");
    EXPECT_EQ(get("/1011").out, text_reply("Error"));
}

TEST_F(Maintenance, RetentionAndAutoRebootRecords)
{
    const struct {
        std::string body;
        bool accepted;
    } cases[] = {
        {R"({"logRetention":12,"photoRetention":-1})", true}, {R"({"logRetention":3,"photoRetention":0})", false},
        {R"({"logRetention":14,"photoRetention":0})", false}, {R"({"logRetention":2})", false},
        {R"({"logRetention":"four","photoRetention":0})", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(post("/1017", c.body).out, c.accepted ? text_reply("OK") : "") << c.body;
        EXPECT_EQ(sent(REQ_AUTO_MAINTENANCE_CHANGED).size(), c.accepted ? 1u : 0u) << c.body;
    }
    EXPECT_TRUE(json_reply_is(get("/1016").out, R"({"logRetention":12,"photoRetention":-1})"));

    autoreboot_conf before = zeroed<autoreboot_conf>(), after;
    before.enable = 1, before.hour = 3;
    memset(before.rest, 0xA5, sizeof before.rest);
    store(kReboot, 0, &before);
    EXPECT_EQ(post("/1033", R"({"enable":1,"wday":9,"minutes":30})").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_AUTO_REBOOT_CHANGED, 1));
    ASSERT_EQ(stored(kReboot, 0, &after), 0);
    before.wday = 9, before.hour = 0, before.minutes = 30;
    EXPECT_TRUE(same_bytes(bytes_of(after), bytes_of(before)));
    EXPECT_TRUE(json_reply_is(get("/1032").out, R"({"enable":1,"wday":9,"hour":0,"minutes":30,"seconds":0})"));

    set_param("vxfs_dbup", 1);
    EXPECT_EQ(get("/1023").out, text_reply("OK"));
    EXPECT_EQ(param("vxfs_dbup", -1), 0);
}

std::string diagnosis_answer(int32_t status, const std::string& path)
{
    return int32_bytes({0, status}) + path;
}

TEST_F(Maintenance, DiagnosisServedOnceAndOnlyItself)
{
    const std::string db = root.read(VXDB_MAIN);
    const std::string package = "/tmp/diag-1.tar.gz";
    root.write(package, "package bytes");
    core.reply(REQ_DIAGNOSIS_EXPORT, diagnosis_answer(0, package + std::string(1, '\0')));
    EXPECT_EQ(get("/6310").out, text_reply("OK/%2Ftmp%2Fdiag-1.tar.gz\r\n"));
    const auto asked = sent(REQ_DIAGNOSIS_EXPORT);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].payload, std::string("/tmp") + std::string(60, '\0'));

    // Other paths, the database's among them, encoded or not, give silence.
    for (const char* other : {"%2Fmnt%2Fnand%2Fapp%2Fvxdb.db", "/tmp/../mnt/nand/app/vxdb.db",
                              "%2Ftmp%2F..%2Fmnt%2Fnand%2Fapp%2Fvxdb.db", "/tmp/diag-2.tar.gz"})
        EXPECT_EQ(post("/6311", other).out, "") << other;
    EXPECT_EQ(root.read(VXDB_MAIN), db);
    EXPECT_EQ(post("/6311", "%2Ftmp%2Fdiag-1.tar.gz").out,
              "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= "
              "diag-1.tar.gz\r\n\r\npackage bytes");
    EXPECT_FALSE(root.exists(package));
    EXPECT_EQ(post("/6311", "%2Ftmp%2Fdiag-1.tar.gz").out, "");

    // Short, failed and unbounded answers; a running export; silence.
    const std::string cases[] = {int32_bytes({0}), int32_bytes({0, 0}), diagnosis_answer(-1, "/tmp/x"),
                                 diagnosis_answer(0, std::string(1, '\0')), kSilent};
    for (const std::string& answer : cases) {
        if (answer == kSilent)
            core.silent(REQ_DIAGNOSIS_EXPORT);
        else
            core.reply(REQ_DIAGNOSIS_EXPORT, answer);
        EXPECT_EQ(get("/6310").out, text_reply("Failed")) << answer.size();
    }
    core.reply(REQ_DIAGNOSIS_EXPORT, diagnosis_answer(0, "/tmp/nul-less"));
    EXPECT_EQ(get("/6310").out, text_reply("OK/%2Ftmp%2Fnul-less\r\n"));
    root.write(MAINT_DIAGNOSIS_MARKER, "");
    EXPECT_EQ(get("/6310").out, text_reply("Failed"));
    EXPECT_TRUE(sent(REQ_DIAGNOSIS_EXPORT).empty());
}

// An image built by mkimage upgrades the simulated device; a bad one is
// refused with -2 and a missing one with -1.
TEST(MaintenanceCoresim, MkimageUpgradeAndDiagnosis)
{
    ScratchRoot root;
    // Long enough that a loaded machine still polls within the restart.
    CoresimProcess sim(root.path(), {{"CORESIM_RESTART_MS", "4000"}});
    ASSERT_TRUE(sim.running());
    EXPECT_TRUE(root.exists(MAINT_CORE_ALIVE));
    root.write("/tmp/payload", std::string(100000, 'p'));
    const std::string image = root.at(MAINT_UPGRADE_IMAGE);
    const std::string make = program_command("mkimage") + " 2.5.0-test " + root.at("/tmp/payload") + " " + image;
    CgiRequest r;
    r.method = "GET";
    r.path = "/1010";
    r.max_steps = 250;
    EXPECT_EQ(run_cgi(root.path(), r).out, text_reply("-1"));
    ASSERT_EQ(system(make.c_str()), 0);
    std::string bad = root.read(MAINT_UPGRADE_IMAGE);
    bad[60] ^= 1;
    root.write(MAINT_UPGRADE_IMAGE, bad);
    EXPECT_EQ(run_cgi(root.path(), r).out, text_reply("-2"));
    // The image as a browser uploads it, stored by the intake of a local run.
    unlink(image.c_str());
    const std::string built = root.at("/tmp/built.bin");
    ASSERT_EQ(system((program_command("mkimage") + " 2.5.0-test " + root.at("/tmp/payload") + " " + built).c_str()),
              0);
    CgiRequest up = r;
    up.method = "POST";
    up.query = "reset";
    up.body = form("fw.bin", root.read("/tmp/built.bin"));
    up.content_type = "multipart/form-data; boundary=" + kB;
    up.env.push_back({"NVRWEB_LOCAL_IMAGE_STORE", "1"});
    EXPECT_EQ(run_cgi(root.path(), up).out, text_reply("OK"));
    EXPECT_FALSE(root.exists(MAINT_UPGRADE_IMAGE));
    // The restart after the upgrade: the poll sees the device down, then up.
    CgiRequest poll;
    poll.path = "/1005";
    std::string seen;
    for (int i = 0; i < 400 && seen.find("NO OK,OK") == std::string::npos; i++) {
        const std::string body = reply_body(run_cgi(root.path(), poll).out);
        if (seen.empty() || seen.substr(seen.rfind(',') + 1) != body)
            seen += "," + body;
        usleep(50000);
    }
    EXPECT_NE(seen.find("NO OK,OK"), std::string::npos) << seen;
    root.use_in_process();
    char version[32];
    get_param_value(VXDB_MAIN, "software_version", version, sizeof version, "");
    vxdb_close_all();
    EXPECT_STREQ(version, "2.5.0-test");

    r.path = "/6310";
    const std::string out = run_cgi(root.path(), r).out;
    ASSERT_EQ(out.rfind(kTextHead + "OK/", 0), 0u) << out;
    r.method = "POST";
    r.path = "/6311";
    r.body = out.substr(kTextHead.size() + 3, out.size() - kTextHead.size() - 5);
    r.content_type = "application/x-www-form-urlencoded";
    const std::string served = reply_body(run_cgi(root.path(), r).out);
    EXPECT_EQ(served.compare(0, 2, "\x1f\x8b"), 0);  // gzip
}

}  // namespace
