// Storage module, disk rows: the resource table, the disk list, property,
// format, RAID and S.M.A.R.T. resources, run black-box through nvrweb.cgi
// against a fake core service and a scratch database.
#include <gtest/gtest.h>

#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "tests/storage_test_helpers.h"

using namespace storage_test;

namespace {

// ---- resource table ----------------------------------------------------------

const char* const kDocumentedOrder[] = {
    "/6100", "/6101", "/6102", "/6103", "/6104", "/6105", "/6106", "/6107", "/6108", "/6109",
    "/6200", "/6201", "/6202", "/6203", "/6204", "/6205", "/6206", "/6207", "/6208", "/6209",
    "/6210", "/6222", "/6220", "/6221", "/6223", "/6224", "/6225", "/6226", "/6227",
};

TEST(StorageRegistry, RegistersTheTwentyNinePathsInOrder)
{
    int count = 0;
    const WebResEntry* table = storage_web_resources(&count);
    ASSERT_EQ(count, 29);
    for (int i = 0; i < count; i++) {
        EXPECT_STREQ(table[i].path, kDocumentedOrder[i]) << "entry " << i;
        EXPECT_NE(table[i].handler, nullptr) << kDocumentedOrder[i];
    }

    register_web_modules();
    const WebResEntry* first = FindWebRes("/6100");
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < 29; i++) {
        const WebResEntry* e = FindWebRes(kDocumentedOrder[i]);
        ASSERT_NE(e, nullptr) << kDocumentedOrder[i];
        EXPECT_EQ(e->handler, table[i].handler) << kDocumentedOrder[i];
        // One table fills consecutive slots in its own order.
        EXPECT_EQ(e, first + i) << kDocumentedOrder[i];
    }
    EXPECT_EQ(FindWebRes("/6110"), nullptr);
    EXPECT_EQ(FindWebRes("/6211"), nullptr);
    EXPECT_EQ(FindWebRes("/6228"), nullptr);
    unregister_web_modules();
    for (const char* path : kDocumentedOrder)
        EXPECT_EQ(FindWebRes(path), nullptr) << path;
}

// ---- disk list "/6100" -------------------------------------------------------

storage_disk_info core_disk(int port, int type, const char* vendor, const char* address = "",
                            const char* directory = "", const char* user = "", const char* password = "")
{
    storage_disk_info d = zeroed<storage_disk_info>();
    d.port = port;
    d.hdd_type = type;
    strncpy(d.vendor, vendor, sizeof d.vendor - 1);
    strncpy(d.address, address, sizeof d.address - 1);
    strncpy(d.directory, directory, sizeof d.directory - 1);
    strncpy(d.user_name, user, sizeof d.user_name - 1);
    strncpy(d.password, password, sizeof d.password - 1);
    return d;
}

struct ListedDisk {
    int port;
    std::string vendor, address, directory;
    long long total_mib, used_mib, free_mib;
    int type, state, group, property, usable, level, raid_state, progress, members;
    std::string user, password;
    unsigned mask;
};

// One "HDD" entry with the documented keys in the documented order.
std::string listed(const ListedDisk& e)
{
    char buf[4096];
    snprintf(buf, sizeof buf,
             "{\"portId\":%d,\"vendorName\":\"%s\",\"address\":\"%s\",\"directory\":\"%s\","
             "\"totalSize\":%lld,\"usedSize\":%lld,\"freeSize\":%lld,\"hddType\":%d,\"state\":%d,"
             "\"group\":%d,\"property\":%d,\"bUsable\":%d,\"raid_id\":%d,\"raid_level\":%d,"
             "\"raid_state\":%d,\"raid_progress\":%d,\"raid_sata_cnt\":%d,\"raid_task\":%d,"
             "\"userName\":\"%s\",\"password\":\"%s\",\"raid_sata_port\":%u}",
             e.port, e.vendor.c_str(), e.address.c_str(), e.directory.c_str(), e.total_mib, e.used_mib,
             e.free_mib, e.type, e.state, e.group, e.property, e.usable, e.port, e.level, e.raid_state,
             e.progress, e.members, e.progress, e.user.c_str(), e.password.c_str(), e.mask);
    return buf;
}

// The reply with each "raid_sata_port" read as an unsigned 32-bit mask (bit 31
// may print either sign); everything else as printed, keys in order.
std::string disk_list_reply(const std::string& out)
{
    if (out.compare(0, kJsonHead.size(), kJsonHead) != 0)
        return "<no JSON header: " + out + ">";
    std::string body = canon(out.substr(kJsonHead.size()));
    json_object* o = json_tokener_parse(body.c_str());
    if (!o)
        return body;
    json_object* hdd = nullptr;
    if (json_object_object_get_ex(o, "HDD", &hdd) && json_object_is_type(hdd, json_type_array))
        for (size_t i = 0; i < json_object_array_length(hdd); i++) {
            json_object* mask = nullptr;
            if (json_object_object_get_ex(json_object_array_get_idx(hdd, i), "raid_sata_port", &mask))
                json_object_set_int64(mask, (int64_t)(uint32_t)json_object_get_int64(mask));
        }
    std::string result = json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
    json_object_put(o);
    return result;
}

std::string disks_payload(const std::vector<storage_disk_info>& disks)
{
    std::string out;
    for (const storage_disk_info& d : disks)
        out += bytes_of(d);
    return out;
}

using StorageDiskList = StorageCgi;

TEST_F(StorageDiskList, MergesCoreAndDatabaseDisks)
{
    set_param("esata_type", 2);

    storage_disk_info local = core_disk(1, 1, "ST1000DM003", "", "", "a b&c", "p=1");
    local.state = 0;
    local.usable = 1;
    local.total_size = 1000204886016ULL;  // 953869 MiB and a part
    local.used_size = 5242881;             // 5 MiB and one byte
    local.free_size = 1048575;             // just under 1 MiB
    local.group = 2;
    local.property = 1;

    storage_disk_info nfs = core_disk(2, 3, "core-nas", "core-addr", "/core", "core-user", "core-pw");
    nfs.state = 0;
    nfs.usable = 1;
    nfs.total_size = 100ULL << 20;
    nfs.used_size = 40ULL << 20;
    nfs.free_size = 60ULL << 20;
    nfs.group = 1;
    nfs.property = 1;

    storage_disk_info raid = core_disk(4, 4, "RAID-4");
    raid.state = 1;
    raid.usable = 1;
    raid.total_size = 4ULL << 40;
    raid.free_size = 4ULL << 40;
    raid.raid_level = 5;
    raid.raid_state = 2;
    raid.raid_progress = 37;
    raid.raid_member_count = 20;  // more than the 16 member slots
    const int members[16] = {0, 3, 31, 32, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    memcpy(raid.raid_members, members, sizeof members);
    raid.user_name[0] = 2;  // read as a 17th member "2" if the count were trusted

    storage_disk_info smb = core_disk(5, 10, "core-smb", "core-srv", "core-share", "core-u", "core-p");
    smb.usable = 1;
    smb.total_size = 200ULL << 20;
    smb.used_size = 50ULL << 20;
    smb.free_size = 150ULL << 20;
    smb.group = 1;

    storage_disk_info port0 = core_disk(0, 1, "drop0");
    storage_disk_info port37 = core_disk(37, 1, "drop37");
    core.reply(REQ_DISK_LIST, disks_payload({port37, raid, local, nfs, port0, smb}));

    // Local disk in the database too: the core service's strings win.
    seed_disk(disk_record(1, 1, 1, "db-vendor-1", "db-addr-1", "/db1", 9, 0, "dbu", "dbp"));
    // Network disks: the five strings come from the database, cut.
    db_disk nas2 = disk_record(2, 1, 3, "", "10.0.0.2", "", 7, 0, "u@2", "");
    memset(nas2.vendor, 'v', sizeof nas2.vendor);  // no NUL: cut to 63
    nas2.directory[0] = '/';
    memset(nas2.directory + 1, 'd', 126);
    memset(nas2.password, 'p', sizeof nas2.password);  // no NUL: cut to 32
    seed_disk(nas2);
    seed_disk(disk_record(5, 1, 10, "smb-5", "//srv5", "share5", 0, 0, "d;u", ""));
    // Configured but not reported: listed with state 2.
    seed_disk(disk_record(10, 1, 3, "nfs-10", "10.0.0.10", "/exports/10", 3, 0, "x y", "z"));
    seed_disk(disk_record(11, 0, 3, "unused-11", "10.0.0.11", "/exports/11", 1, 1));
    seed_disk(disk_record(12, 1, 1, "old-disk", "", "", 1, 1));

    CgiResult r = get("/6100");

    ASSERT_EQ(sent(REQ_DISK_LIST).size(), 1u);
    EXPECT_EQ(sent(REQ_DISK_LIST)[0].payload, "");
    const unsigned raid_mask = (1u << 3) | 0x1FFE0u /* bits 5..16 */ | (1u << 31);
    std::string hdd =
        listed({1, "ST1000DM003", "", "", 953869, 5, 0, 1, 0, 2, 1, 1, 0, 0, 0, 0, "a%20b%26c", "p%3D1", 0}) + "," +
        listed({2, std::string(63, 'v'), "10.0.0.2", "/" + std::string(62, 'd'), 100, 40, 60, 3, 0, 1, 1, 1, 0, 0, 0,
                0, "u%402", std::string(32, 'p'), 0}) +
        "," + listed({4, "RAID-4", "", "", 4194304, 0, 4194304, 4, 1, 0, 0, 1, 5, 2, 37, 20, "%02", "", raid_mask}) +
        "," + listed({5, "smb-5", "//srv5", "share5", 200, 50, 150, 10, 0, 1, 0, 1, 0, 0, 0, 0, "d%3Bu", "", 0}) + "," +
        listed({10, "nfs-10", "10.0.0.10", "/exports/10", 0, 0, 0, 3, 2, 3, 0, 0, 0, 0, 0, 0, "x%20y", "z", 0}) + "," +
        listed({12, "old-disk", "", "", 0, 0, 0, 1, 2, 1, 1, 0, 0, 0, 0, 0, "", "", 0});
    EXPECT_EQ(disk_list_reply(r.out),
              canon("{\"resultString\":\"OK\",\"esataType\":2,\"HDD\":[" + hdd + "],\"maxDiskNum\":36}"));
}

TEST_F(StorageDiskList, NoDisksAnywhereSaysNo)
{
    seed_disk(disk_record(3, 0, 1, "not-in-use"));
    core.reply(REQ_DISK_LIST, "");
    CgiResult r = get("/6100");
    EXPECT_EQ(r.out, kJsonHead + "{ \"resultString\": \"NO\", \"esataType\": 0, \"HDD\": [ ], \"maxDiskNum\": 36 }");
    EXPECT_TRUE(json_reply_is(r.out, R"({"resultString":"NO","esataType":0,"HDD":[],"maxDiskNum":36})"));
}

TEST_F(StorageDiskList, DatabaseDiskAloneSaysOk)
{
    core.reply(REQ_DISK_LIST, "");
    seed_disk(disk_record(36, 1, 10, "edge", "srv", "dir", 2, 1, "me", "pw"));
    CgiResult r = get("/6100");
    EXPECT_EQ(disk_list_reply(r.out),
              canon("{\"resultString\":\"OK\",\"esataType\":0,\"HDD\":[" +
                    listed({36, "edge", "srv", "dir", 0, 0, 0, 10, 2, 2, 1, 0, 0, 0, 0, 0, "me", "pw", 0}) +
                    "],\"maxDiskNum\":36}"));
}

TEST_F(StorageDiskList, PortsOutsideOneToThirtySixAreDropped)
{
    storage_disk_info last = core_disk(36, 1, "last");
    last.state = 1;
    core.reply(REQ_DISK_LIST, disks_payload({core_disk(0, 1, "zero"), last, core_disk(37, 1, "beyond")}));
    CgiResult r = get("/6100");
    EXPECT_EQ(disk_list_reply(r.out),
              canon("{\"resultString\":\"OK\",\"esataType\":0,\"HDD\":[" +
                    listed({36, "last", "", "", 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, "", "", 0}) + "],\"maxDiskNum\":36}"));
}

TEST_F(StorageDiskList, PartialTrailingRecordIsNotRead)
{
    std::string payload = bytes_of(core_disk(7, 1, "whole")) + std::string(100, '\x01');
    core.reply(REQ_DISK_LIST, payload);
    CgiResult r = get("/6100");
    EXPECT_EQ(disk_list_reply(r.out),
              canon("{\"resultString\":\"OK\",\"esataType\":0,\"HDD\":[" +
                    listed({7, "whole", "", "", 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", 0}) + "],\"maxDiskNum\":36}"));
}

// ---- disk property "/6101" ---------------------------------------------------

using StorageDiskProperty = StorageCgi;

TEST_F(StorageDiskProperty, StoresNotifiesLogsAndSaysOk)
{
    seed_disk(disk_record(5, 1, 1, "v5", "", "", 0, 0));
    CgiResult r = post("/6101", R"({"portId":5,"property":1,"group":3})");
    EXPECT_EQ(r.out, text_reply("OK"));

    db_disk want = disk_record(5, 1, 1, "v5", "", "", 3, 1);
    db_disk got;
    ASSERT_EQ(stored_disk(5, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));

    ASSERT_TRUE(core.wait_for(REQ_DISK_PROPERTY, 1));
    ASSERT_EQ(sent(REQ_DISK_PROPERTY).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_PROPERTY)[0].payload, int32s({5, 1, 3, 0})));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], log_record(204, 919, 5)));
}

TEST_F(StorageDiskProperty, DiskWithoutRecordGetsOneUnderItsPort)
{
    CgiResult r = post("/6101", R"({"portId":7,"property":0,"group":2})");
    EXPECT_EQ(r.out, text_reply("OK"));
    db_disk got;
    ASSERT_EQ(stored_disk(7, &got), 0) << "no record stored for port 7";
    EXPECT_EQ(got.port, 7);
    EXPECT_EQ(got.group, 2);
    EXPECT_EQ(got.property, 0);
    db_disk other;
    EXPECT_EQ(stored_disk(0, &other), 1) << "a record was written under port 0";
    ASSERT_TRUE(core.wait_for(REQ_DISK_PROPERTY, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_PROPERTY)[0].payload, int32s({7, 0, 2, 0})));
}

TEST_F(StorageDiskProperty, EdgesOfTheRangesAreAccepted)
{
    CgiResult r = post("/6101", R"({"portId":35,"property":0})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_DISK_PROPERTY, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_PROPERTY)[0].payload, int32s({35, 0, 0, 0})));
    r = post("/6101", R"({"portId":0,"property":1,"group":15})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_DISK_PROPERTY, 1));
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_PROPERTY)[0].payload, int32s({0, 1, 15, 0})));
}

// ---- format "/6102", "/6103", "/6227" -----------------------------------------

struct FormatCase {
    int word;
    int response;
    const char* text;  // null: nothing printed
    int outcome;
};

// Readable parameter names in failure reports.
void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << "answer " << c.word << " as " << c.response;
}

class StorageFormat : public StorageCgi, public ::testing::WithParamInterface<FormatCase> {};

std::string format_log(int port, int outcome)
{
    format_log_detail d = zeroed<format_log_detail>();
    d.port = port;
    d.outcome = outcome;
    return log_record(207, 900, port, &d, (int)sizeof d);
}

TEST_P(StorageFormat, AnswerTextAndLoggedOutcome)
{
    const FormatCase& c = GetParam();
    core.reply(REQ_DISK_FORMAT, c.response, int32s({c.word}));
    CgiResult r = post("/6102", "36");
    EXPECT_EQ(r.out, c.text ? text_reply(c.text) : std::string());
    ASSERT_EQ(sent(REQ_DISK_FORMAT).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_FORMAT)[0].payload, int32s({36})));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], format_log(36, c.outcome)));
}

INSTANTIATE_TEST_SUITE_P(Storage, StorageFormat,
                         ::testing::Values(FormatCase{0, 8434, "OK", 1}, FormatCase{1, 8434, "USING", -1},
                                           FormatCase{-1, 8434, "ERROR FORMAT", -1},
                                           FormatCase{-3, 8434, "NAS LOW CAP", -1},
                                           FormatCase{7, 8434, nullptr, -1}, FormatCase{0, 8402, "OK", 1},
                                           FormatCase{-3, 8402, "NAS LOW CAP", -1}));

using StorageFormatDisk = StorageCgi;

TEST_F(StorageFormatDisk, NoAnswerPrintsJsonErrorAndLogsFailure)
{
    CgiResult r = post("/6102", "0");
    EXPECT_EQ(r.out, kJsonError);
    ASSERT_EQ(sent(REQ_DISK_FORMAT).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_FORMAT)[0].payload, int32s({0})));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], format_log(0, -1)));
}

TEST_F(StorageFormatDisk, ShortAnswerIsNoAnswer)
{
    core.reply(REQ_DISK_FORMAT, std::string("\0\0", 2));
    CgiResult r = post("/6102", "4");
    EXPECT_EQ(r.out, kJsonError);
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], format_log(4, -1)));
}

TEST_F(StorageFormatDisk, WhiteSpaceAroundThePortIsAccepted)
{
    core.reply(REQ_DISK_FORMAT, int32s({0}));
    CgiResult r = post("/6102", " 3\n");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_EQ(sent(REQ_DISK_FORMAT).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_FORMAT)[0].payload, int32s({3})));
}

using StorageFormatProgress = StorageCgi;

TEST_F(StorageFormatProgress, PortsZeroToSixteenSayOkAndAskNothing)
{
    for (const char* body : {"0", "16", " 7\n"}) {
        CgiResult r = post("/6103", body);
        EXPECT_EQ(r.out, text_reply("OK")) << body;
        EXPECT_TRUE(sent_all().empty()) << body;
    }
}

using StorageFormatInfo = StorageCgi;

TEST_F(StorageFormatInfo, PrintsStatusPortTypePercent)
{
    format_info info = zeroed<format_info>();
    info.status = 1;
    info.percent = 255;  // unsigned byte
    info.port = 7;
    info.type = 2;
    core.reply(REQ_FORMAT_STATUS, bytes_of(info));
    CgiResult r = post("/6227", "");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":1,"port":7,"type":2,"percent":255})"));
    ASSERT_EQ(sent(REQ_FORMAT_STATUS).size(), 1u);
    EXPECT_EQ(sent(REQ_FORMAT_STATUS)[0].payload, "");
}

// ---- RAID "/6104" .. "/6109" ----------------------------------------------------

using StorageRaid = StorageCgi;

TEST_F(StorageRaid, CreateSendsOnlyMaskBitsZeroToFifteenAndCountAsGiven)
{
    core.reply(REQ_RAID_CREATE, int32s({0}));
    // Bits 0, 3, 15 are members; 16, 20 and 31 are beyond the 16 ports.
    CgiResult r = post("/6104", R"({"id":12,"enable":1,"level":5,"sata_cnt":7,"sata_port":2148630537})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_EQ(sent(REQ_RAID_CREATE).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_RAID_CREATE)[0].payload, raid_bytes(12, 1, 5, 7, {0, 3, 15})));
}

TEST_F(StorageRaid, CreateWithAllSixteenBits)
{
    core.reply(REQ_RAID_CREATE, int32s({0}));
    CgiResult r = post("/6104", R"({"id":15,"enable":0,"level":0,"sata_cnt":2,"sata_port":65535})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_EQ(sent(REQ_RAID_CREATE).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_RAID_CREATE)[0].payload,
                           raid_bytes(15, 0, 0, 2, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})));
}

TEST_F(StorageRaid, GetModePrintsTheStoredMode)
{
    CgiResult r = get("/6108");
    EXPECT_EQ(r.out, text_reply("0"));
    set_param("raidmode", 1);
    r = get("/6108");
    EXPECT_EQ(r.out, text_reply("1"));
    set_param("raidmode", 7);  // printed as stored
    r = get("/6108");
    EXPECT_EQ(r.out, text_reply("7"));
    EXPECT_TRUE(sent_all().empty());
}

TEST_F(StorageRaid, SetModeStoresZeroOrOne)
{
    const struct {
        const char* body;
        int stored;
    } cases[] = {{"1", 1}, {"0", 0}, {" 1\n", 1}, {"5", 0}, {"-1", 0}, {"abc", 0}, {"", 0}};
    for (const auto& c : cases) {
        set_param("raidmode", c.stored ? 0 : 1);  // so that the write shows
        CgiResult r = post("/6109", c.body);
        EXPECT_EQ(r.out, text_reply("OK")) << c.body;
        EXPECT_EQ(param("raidmode", -1), c.stored) << c.body;
        EXPECT_TRUE(sent_all().empty()) << c.body;
    }
}

// ---- S.M.A.R.T. "/6206" ----------------------------------------------------------

std::string smart_answer(size_t at, const char* text)
{
    smart_attr_reply a = zeroed<smart_attr_reply>();
    memcpy(reinterpret_cast<char*>(&a) + at, text, strlen(text));
    return bytes_of(a);
}

using StorageSmart = StorageCgi;

TEST_F(StorageSmart, LastOfTheFirstNumPortsIsAsked)
{
    core.reply(REQ_SMART_ATTR, smart_answer(12, "PASSED"));
    CgiResult r = post("/6206", R"({"num":2,"port":[4,9,11]})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"selfEvaluation":1})"));
    ASSERT_EQ(sent(REQ_SMART_ATTR).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_SMART_ATTR)[0].payload, int32s({9})));
}

TEST_F(StorageSmart, NumBeyondTheArrayKeepsItsLastPort)
{
    // Inside the text, at the very end of the record, with no NUL after it.
    core.reply(REQ_SMART_ATTR, smart_answer(12, (std::string(22, 'x') + "PASSED").c_str()));
    CgiResult r = post("/6206", R"({"num":10,"port":[4,9]})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"selfEvaluation":1})"));
    ASSERT_EQ(sent(REQ_SMART_ATTR).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_SMART_ATTR)[0].payload, int32s({9})));
}

TEST_F(StorageSmart, AnythingButPassedIsZero)
{
    for (const std::string& answer : {smart_answer(12, "FAILED"), smart_answer(0, "PASSED"), smart_answer(12, "PASSE")}) {
        core.reply(REQ_SMART_ATTR, answer);
        CgiResult r = post("/6206", R"({"num":1,"port":[3]})");
        EXPECT_TRUE(json_reply_is(r.out, R"({"selfEvaluation":0})"));
    }
}

// ---- delete a disk "/6207" ----------------------------------------------------

using StorageDeleteDisk = StorageCgi;

TEST_F(StorageDeleteDisk, RaidIsRemovedAndLogged)
{
    core.reply(REQ_RAID_REMOVE, int32s({0}));
    CgiResult r = post("/6207", R"({"port":11,"hddType":4})");
    EXPECT_EQ(r.out, text_reply("OK"));
    EXPECT_TRUE(same_bytes(sent(REQ_RAID_REMOVE).at(0).payload, raid_bytes(11)));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], log_record(224, 900, 11)));
}

TEST_F(StorageDeleteDisk, NetworkDiskGoesAsPortListWithoutLog)
{
    for (int type : {3, 10}) {
        core.reply(REQ_NAS_DELETE, int32s({0}));
        CgiResult r = post("/6207", "{\"port\":6,\"hddType\":" + std::to_string(type) + "}");
        EXPECT_EQ(r.out, text_reply("OK")) << type;
        ASSERT_EQ(sent(REQ_NAS_DELETE).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE)[0].payload, nas_list_bytes({6})));
        EXPECT_TRUE(no_logs()) << type;
    }
}

TEST_F(StorageDeleteDisk, LocalDiskGetsAFreshRecordAndIsLogged)
{
    seed_disk(disk_record(5, 1, 1, "old", "addr", "/dir", 4, 0, "u", "p"));
    core.reply(REQ_DISK_REMOVE, int32s({0}));
    CgiResult r = post("/6207", R"({"port":5,"hddType":1})");
    EXPECT_EQ(r.out, text_reply("OK"));
    EXPECT_TRUE(same_bytes(sent(REQ_DISK_REMOVE).at(0).payload, int32s({5})));
    db_disk got;
    ASSERT_EQ(stored_disk(5, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(5, 0, 0, "", "", "", 0, 1))));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(same_bytes(l[0], log_record(224, 900, 5)));
}

// ---- tables shared by several rows ----------------------------------------------

// Rows that answer "OK" for a zero first word and "Error" otherwise.
struct ResultWordRow {
    const char* path;
    const char* body;
    int code;
    std::string request;
};

void PrintTo(const ResultWordRow& row, std::ostream* os)
{
    *os << row.path << " " << row.body;
}

class StorageResultWord : public StorageCgi, public ::testing::WithParamInterface<ResultWordRow> {};

TEST_P(StorageResultWord, ZeroIsOkOtherIsError)
{
    const ResultWordRow& row = GetParam();
    for (int word : {0, 9, -1}) {
        core.reply(row.code, int32s({word}));
        CgiResult r = post(row.path, row.body);
        EXPECT_EQ(r.out, text_reply(word ? "Error" : "OK")) << row.path << " " << row.body << " word " << word;
        ASSERT_EQ(sent(row.code).size(), 1u) << row.path << " " << row.body;
        EXPECT_TRUE(same_bytes(sent(row.code)[0].payload, row.request)) << row.path << " " << row.body;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageResultWord,
    ::testing::Values(
        ResultWordRow{"/6104", R"({"id":10,"enable":0,"level":1,"sata_cnt":2,"sata_port":6})", 3420,
                      raid_bytes(10, 0, 1, 2, {1, 2})},
        ResultWordRow{"/6105", "12\n", 3421, raid_bytes(12)},
        // Bare numbers, as a browser posts them, with nothing after the digits.
        ResultWordRow{"/6105", "10", 3421, raid_bytes(10)},
        ResultWordRow{"/6105", "16", 3421, raid_bytes(16)},
        ResultWordRow{"/6106", R"({"port":3,"hotflag":1})", 3423, int32s({3})},
        ResultWordRow{"/6106", R"({"port":4,"hotflag":0})", 3424, int32s({4})},
        ResultWordRow{"/6107", R"({"diskport":2,"raidport":11})", 3425, int32s({2, 11})},
        ResultWordRow{"/6207", R"({"port":11,"hddType":4})", 3421, raid_bytes(11)},
        ResultWordRow{"/6207", R"({"port":6,"hddType":3})", 3508, nas_list_bytes({6})},
        ResultWordRow{"/6207", R"({"port":7,"hddType":10})", 3508, nas_list_bytes({7})},
        ResultWordRow{"/6207", R"({"port":5,"hddType":1})", 3496, int32s({5})}));

// Requests refused by validation: no output at all, nothing asked.
struct RefusalRow {
    const char* path;
    const char* body;
};

void PrintTo(const RefusalRow& row, std::ostream* os)
{
    *os << row.path << " " << row.body;
}

class StorageRefusal : public StorageCgi, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(StorageRefusal, NoOutputNothingSent)
{
    const RefusalRow& row = GetParam();
    CgiResult r = post(row.path, row.body);
    EXPECT_EQ(r.out, "") << row.path << " " << row.body;
    EXPECT_TRUE(sent_all().empty()) << row.path << " " << row.body;
}

const char* const kRaidOk = R"({"id":12,"enable":1,"level":5,"sata_cnt":2,"sata_port":3})";

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageRefusal,
    ::testing::Values(
        RefusalRow{"/6101", "not json"}, RefusalRow{"/6101", "{}"}, RefusalRow{"/6101", R"({"property":1})"},
        RefusalRow{"/6101", R"({"portId":5})"}, RefusalRow{"/6101", R"({"portId":36,"property":1})"},
        RefusalRow{"/6101", R"({"portId":-1,"property":1})"}, RefusalRow{"/6101", R"({"portId":"x","property":1})"},
        RefusalRow{"/6101", R"({"portId":5,"property":2})"}, RefusalRow{"/6101", R"({"portId":5,"property":-1})"},
        RefusalRow{"/6102", "abc"}, RefusalRow{"/6102", "37"}, RefusalRow{"/6102", "-1"}, RefusalRow{"/6102", ""},
        RefusalRow{"/6102", "3x"}, RefusalRow{"/6102", R"({"port":3})"}, RefusalRow{"/6103", "17"},
        RefusalRow{"/6103", "-1"}, RefusalRow{"/6103", "abc"}, RefusalRow{"/6103", ""},
        RefusalRow{"/6104", "not json"}, RefusalRow{"/6104", R"({"id":16,"enable":1,"level":5,"sata_cnt":2,"sata_port":3})"},
        RefusalRow{"/6104", R"({"id":9,"enable":1,"level":5,"sata_cnt":2,"sata_port":3})"},
        RefusalRow{"/6104", R"({"enable":1,"level":5,"sata_cnt":2,"sata_port":3})"},
        RefusalRow{"/6104", R"({"id":12,"level":5,"sata_cnt":2,"sata_port":3})"},
        RefusalRow{"/6104", R"({"id":12,"enable":1,"sata_cnt":2,"sata_port":3})"},
        RefusalRow{"/6104", R"({"id":12,"enable":1,"level":5,"sata_port":3})"},
        RefusalRow{"/6104", R"({"id":12,"enable":1,"level":5,"sata_cnt":2})"},
        RefusalRow{"/6104", R"({"id":12,"enable":1,"level":5,"sata_cnt":2,"sata_port":-1})"},
        RefusalRow{"/6104", R"({"id":12,"enable":1,"level":5,"sata_cnt":-1,"sata_port":3})"},
        RefusalRow{"/6104", R"({"id":12,"enable":1,"level":-1,"sata_cnt":2,"sata_port":3})"},
        RefusalRow{"/6105", "17\n"}, RefusalRow{"/6105", "9\n"}, RefusalRow{"/6105", "abc"},
        RefusalRow{"/6105", R"({"id":12})"}, RefusalRow{"/6105", ""}, RefusalRow{"/6106", "not json"},
        RefusalRow{"/6107", "not json"}, RefusalRow{"/6206", "not json"}, RefusalRow{"/6207", "not json"}));

// A waited request without answer: the error body of the row's reply kind.
struct NoAnswerRow {
    const char* path;
    const char* body;
    int code;
    std::string error;
};

void PrintTo(const NoAnswerRow& row, std::ostream* os)
{
    *os << row.path << " " << row.body;
}

class StorageNoAnswer : public StorageCgi, public ::testing::WithParamInterface<NoAnswerRow> {};

TEST_P(StorageNoAnswer, PrintsTheErrorBody)
{
    const NoAnswerRow& row = GetParam();
    CgiResult r = post(row.path, row.body);
    EXPECT_EQ(r.out, row.error) << row.path << " " << row.body;
    EXPECT_EQ(sent(row.code).size(), 1u) << row.path << " " << row.body;
}

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageNoAnswer,
    ::testing::Values(NoAnswerRow{"/6100", "", 3433, kJsonError}, NoAnswerRow{"/6104", kRaidOk, 3420, kTextError},
                      NoAnswerRow{"/6105", "12\n", 3421, kTextError},
                      NoAnswerRow{"/6106", R"({"port":3,"hotflag":1})", 3423, kTextError},
                      NoAnswerRow{"/6106", R"({"port":3,"hotflag":0})", 3424, kTextError},
                      NoAnswerRow{"/6107", R"({"diskport":2,"raidport":11})", 3425, kTextError},
                      NoAnswerRow{"/6206", R"({"num":1,"port":[2]})", 3403, kJsonError},
                      NoAnswerRow{"/6207", R"({"port":11,"hddType":4})", 3421, kTextError},
                      NoAnswerRow{"/6207", R"({"port":6,"hddType":3})", 3508, kTextError},
                      NoAnswerRow{"/6207", R"({"port":5,"hddType":1})", 3496, kTextError},
                      NoAnswerRow{"/6227", "", 3540, kJsonError}));

// Answers shorter than one record, or with a code nobody handles, are none.
struct ShortAnswerRow {
    const char* path;
    const char* body;
    int code;
    int response;
    std::string answer;
    std::string error;
};

void PrintTo(const ShortAnswerRow& row, std::ostream* os)
{
    *os << row.path << " " << row.body;
}

class StorageShortAnswer : public StorageCgi, public ::testing::WithParamInterface<ShortAnswerRow> {};

TEST_P(StorageShortAnswer, PrintsTheErrorBody)
{
    const ShortAnswerRow& row = GetParam();
    core.reply(row.code, row.response, row.answer);
    CgiResult r = post(row.path, row.body);
    EXPECT_EQ(r.out, row.error) << row.path << " " << row.answer.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageShortAnswer,
    ::testing::Values(ShortAnswerRow{"/6104", kRaidOk, 3420, 8420, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6105", "12\n", 3421, 8421, "", kTextError},
                      ShortAnswerRow{"/6106", R"({"port":3,"hotflag":1})", 3423, 8423, std::string(3, '\0'), kTextError},
                      ShortAnswerRow{"/6107", R"({"diskport":2,"raidport":11})", 3425, 8425, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6206", R"({"num":1,"port":[2]})", 3403, 8403, smart_answer(12, "PASSED").substr(0, 20), kJsonError},
                      ShortAnswerRow{"/6206", R"({"num":1,"port":[2]})", 3403, 8403, "", kJsonError},
                      ShortAnswerRow{"/6207", R"({"port":5,"hddType":1})", 3496, 8496, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6227", "", 3540, 8540, std::string(8, '\0'), kJsonError},
                      ShortAnswerRow{"/6227", "", 3540, 8541, std::string(12, '\0'), kJsonError},
                      ShortAnswerRow{"/6100", "", 3433, 8432, bytes_of(core_disk(1, 1, "x")), kJsonError}));

}  // namespace
