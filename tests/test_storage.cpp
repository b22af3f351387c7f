// Storage module, black-box through nvrweb.cgi against the fake core service
// and a scratch database: disks, RAID, format, network disks, quotas, groups,
// overwrite mode and eSATA backup.
#include <cstdio>
#include <numeric>

#include "frontend/dispatchreq.h"
#include "frontend/modules.h"
#include "modules/storage/storage.h"
#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kDiskKind = {"disk", (int)sizeof(db_disk), 37};
const vxdb_kind kGroupKind = {"group", (int)sizeof(storage_group), 16};
const vxdb_kind kEsataKind = {"esata_auto_backup", (int)sizeof(esata_auto_backup), 1};

std::string zeros(size_t n) { return std::string(n, '\0'); }
std::string word(int w) { return int32_bytes({w}); }

std::vector<int> range(int from, int to)
{
    std::vector<int> v((size_t)(to - from + 1));
    std::iota(v.begin(), v.end(), from);
    return v;
}

std::string json_ints(const std::vector<int>& v)
{
    std::string out = "[";
    for (size_t i = 0; i < v.size(); i++)
        out += (i ? "," : "") + std::to_string(v[i]);
    return out + "]";
}

db_disk disk_record(int port, int enable, int type, const std::string& vendor = "", const std::string& address = "",
                    const std::string& directory = "", int group = 0, int property = 0, const std::string& user = "",
                    const std::string& password = "")
{
    db_disk d = zeroed<db_disk>();
    d.port = port, d.enable = enable, d.type = type, d.group = group, d.property = property;
    put(d.vendor, vendor), put(d.address, address), put(d.directory, directory);
    put(d.user_name, user), put(d.password, password);
    return d;
}

std::string nas_list(const std::vector<int>& ports)
{
    nas_port_list l = zeroed<nas_port_list>();
    for (int p : ports)
        l.ports[l.count++] = p;
    return bytes_of(l);
}

std::string raid_bytes(int id, int enable = 0, int level = 0, int count = 0, const std::vector<int>& members = {})
{
    raid_info r = zeroed<raid_info>();
    r.id = id, r.enable = enable, r.level = level, r.member_count = count;
    std::copy(members.begin(), members.end(), r.members);
    return bytes_of(r);
}

std::string nas_log(int sub_type, int port, const char* protocol, const std::string& address, const std::string& dir)
{
    nas_log_detail d = zeroed<nas_log_detail>();
    put(d.protocol, protocol), put(d.address, address), put(d.directory, dir);
    return log_record(sub_type, 0, port, &d, (int)sizeof d);
}

storage_group group_record(int i, const std::string& channels)
{
    storage_group g = zeroed<storage_group>();
    g.id = 100 + i;
    put(g.channels, channels.substr(0, 64));
    put(g.extra, "extra" + std::to_string(i));
    return g;
}
std::string group_channels(int i) { return i == 3 ? std::string(64, '1') : "c" + std::to_string(i); }

class StorageTest : public HandlerTest {
protected:
    void seed(const db_disk& d) { store(kDiskKind, d.port, &d); }
    void seed_groups()
    {
        for (int i = 0; i < 16; i++) {
            storage_group g = group_record(i, group_channels(i));
            store(kGroupKind, i, &g);
        }
    }
    std::string disk(int port)
    {
        db_disk d;
        EXPECT_EQ(stored(kDiskKind, port, &d), 0) << "no record of port " << port;
        return bytes_of(d);
    }
    // The run left exactly these log records, in order.
    ::testing::AssertionResult logged(const std::vector<std::string>& want)
    {
        std::vector<std::string> got = logs(want.size());
        return same_bytes(std::accumulate(got.begin(), got.end(), std::string()),
                          std::accumulate(want.begin(), want.end(), std::string()));
    }
    // Exactly one request of `code` reached the fake, with these bytes.
    ::testing::AssertionResult sent_once(int code, const std::string& want)
    {
        std::vector<FakeRequest> v = sent(code);
        if (v.size() != 1)
            return ::testing::AssertionFailure() << v.size() << " requests of code " << code;
        return same_bytes(v[0].payload, want);
    }
    // For runs meant to end without an answer: the CGI waits 320 ms instead
    // of 1 s, ample for the fake, which answers within milliseconds.
    CgiResult unanswered(const std::string& path, const std::string& body)
    {
        core.clear();
        CgiRequest r;
        r.method = "POST", r.path = path, r.body = body, r.content_type = "application/json";
        r.cookie = "lang=en; userName=admin; theme=dark", r.remote_addr = kAddr, r.max_steps = 8;
        CgiResult res = run_cgi(root.path(), r);
        EXPECT_EQ(res.status, 0) << path << " " << body;
        return res;
    }
};

storage_disk_info core_disk(int port, int type, const std::string& vendor, const std::string& address = "",
                            const std::string& directory = "", const std::string& user = "",
                            const std::string& password = "")
{
    storage_disk_info d = zeroed<storage_disk_info>();
    d.port = port, d.hdd_type = type;
    put(d.vendor, vendor), put(d.address, address), put(d.directory, directory);
    put(d.user_name, user), put(d.password, password);
    return d;
}

void sizes(storage_disk_info* d, uint64_t total, uint64_t used, uint64_t free_bytes, int group, int property)
{
    d->usable = 1, d->total_size = total, d->used_size = used, d->free_size = free_bytes;
    d->group = group, d->property = property;
}

// One "HDD" entry, keys in the order the browser reads them.
std::string listed(int port, const std::string& vendor, const std::string& address, const std::string& directory,
                   long long total, long long used, long long free_mib, int type, int state, int group, int property,
                   int usable, int level, int raid_state, int progress, int members, const std::string& user,
                   const std::string& password, long long mask)
{
    char buf[4096];
    snprintf(buf, sizeof buf,
             "{\"portId\":%d,\"vendorName\":\"%s\",\"address\":\"%s\",\"directory\":\"%s\",\"totalSize\":%lld,"
             "\"usedSize\":%lld,\"freeSize\":%lld,\"hddType\":%d,\"state\":%d,\"group\":%d,\"property\":%d,"
             "\"bUsable\":%d,\"raid_id\":%d,\"raid_level\":%d,\"raid_state\":%d,\"raid_progress\":%d,"
             "\"raid_sata_cnt\":%d,\"raid_task\":%d,\"userName\":\"%s\",\"password\":\"%s\",\"raid_sata_port\":%lld}",
             port, vendor.c_str(), address.c_str(), directory.c_str(), total, used, free_mib, type, state, group,
             property, usable, port, level, raid_state, progress, members, progress, user.c_str(), password.c_str(),
             mask);
    return buf;
}

std::string disk_list(const std::string& result, int esata, const std::string& hdd)
{
    return "{\"resultString\":\"" + result + "\",\"esataType\":" + std::to_string(esata) + ",\"HDD\":[" + hdd +
           "],\"maxDiskNum\":36}";
}

TEST_F(StorageTest, DiskListMergesCoreAndDatabaseDisks)
{
    set_param("esata_type", 2);
    storage_disk_info local = core_disk(1, 1, "ST1000DM003", "", "", "a b&c", "p=1");
    // 953869 MiB and a part, 5 MiB and one byte, just under 1 MiB.
    sizes(&local, 1000204886016ULL, 5242881, 1048575, 2, 1);
    storage_disk_info nfs = core_disk(2, 3, "core-nas", "core-addr", "/core", "core-user", "core-pw");
    sizes(&nfs, 100ULL << 20, 40ULL << 20, 60ULL << 20, 1, 1);
    storage_disk_info smb = core_disk(36, 10, "core-smb", "core-srv", "core-share", "core-u", "core-p");
    sizes(&smb, 200ULL << 20, 50ULL << 20, 150ULL << 20, 1, 0);
    storage_disk_info raid = core_disk(4, 4, "RAID-4");
    sizes(&raid, 4ULL << 40, 0, 4ULL << 40, 0, 0);
    raid.state = 1, raid.raid_level = 5, raid.raid_state = 2, raid.raid_progress = 37;
    raid.raid_member_count = 20;  // more than the 16 member slots
    const int members[16] = {0, 3, 31, 32, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    memcpy(raid.raid_members, members, sizeof members);
    raid.user_name[0] = 2;  // a 17th member "2" if the count were trusted
    core.reply(REQ_DISK_LIST, bytes_of(core_disk(37, 1, "drop37")) + bytes_of(raid) + bytes_of(local) +
                                  bytes_of(nfs) + bytes_of(core_disk(0, 1, "drop0")) + bytes_of(smb));

    // A local disk keeps the core service's strings.
    seed(disk_record(1, 1, 1, "db-vendor-1", "db-addr-1", "/db1", 9, 0, "dbu", "dbp"));
    // Network disks take their five strings from the database, cut.
    db_disk nas2 = disk_record(2, 1, 3, "", "10.0.0.2", "/" + std::string(126, 'd'), 7, 0, "u@2");
    memset(nas2.vendor, 'v', sizeof nas2.vendor);
    memset(nas2.password, 'p', sizeof nas2.password);
    seed(nas2);
    seed(disk_record(36, 1, 10, "smb-36", "//srv36", "share36", 0, 0, "d;u", ""));
    // In use but not reported: listed with state 2.
    seed(disk_record(10, 1, 3, "nfs-10", "10.0.0.10", "/exports/10", 3, 0, "x y", "z"));
    seed(disk_record(11, 0, 3, "unused-11", "10.0.0.11", "/exports/11", 1, 1));
    seed(disk_record(12, 1, 1, "old-disk", "", "", 1, 1));

    CgiResult r = get("/6100");
    EXPECT_TRUE(sent_once(REQ_DISK_LIST, ""));
    auto want = [](long long m) {
        const std::string hdd[] = {
            listed(1, "ST1000DM003", "", "", 953869, 5, 0, 1, 0, 2, 1, 1, 0, 0, 0, 0, "a%20b%26c", "p%3D1", 0),
            listed(2, std::string(63, 'v'), "10.0.0.2", "/" + std::string(62, 'd'), 100, 40, 60, 3, 0, 1, 1, 1, 0, 0,
                   0, 0, "u%402", std::string(32, 'p'), 0),
            listed(4, "RAID-4", "", "", 4194304, 0, 4194304, 4, 1, 0, 0, 1, 5, 2, 37, 20, "%02", "", m),
            listed(10, "nfs-10", "10.0.0.10", "/exports/10", 0, 0, 0, 3, 2, 3, 0, 0, 0, 0, 0, 0, "x%20y", "z", 0),
            listed(12, "old-disk", "", "", 0, 0, 0, 1, 2, 1, 1, 0, 0, 0, 0, 0, "", "", 0),
            listed(36, "smb-36", "//srv36", "share36", 200, 50, 150, 10, 0, 1, 0, 1, 0, 0, 0, 0, "d%3Bu", "", 0)};
        return disk_list("OK", 2, hdd[0] + "," + hdd[1] + "," + hdd[2] + "," + hdd[3] + "," + hdd[4] + "," + hdd[5]);
    };
    // Members 3, 5..16 and 31; a mask, so bit 31 prints as a positive number.
    EXPECT_TRUE(json_reply_is(r.out, want((1u << 3) | 0x1FFE0u | (1u << 31))));
}

TEST_F(StorageTest, DiskListEmptyPartialOrDatabaseOnly)
{
    const struct { std::string answer; db_disk seed; std::string reply; } cases[] = {
        // Nothing reported and nothing in use.
        {"", disk_record(3, 0, 1, "not-in-use"), disk_list("NO", 0, "")},
        // A trailing partial record is not read.
        {bytes_of(core_disk(7, 1, "whole")) + std::string(100, '\x01'), disk_record(3, 0, 1),
         disk_list("OK", 0, listed(7, "whole", "", "", 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", 0))},
        // Nothing reported, one disk in use.
        {"", disk_record(36, 1, 10, "edge", "srv", "dir", 2, 1, "me", "pw"),
         disk_list("OK", 0, listed(36, "edge", "srv", "dir", 0, 0, 0, 10, 2, 2, 1, 0, 0, 0, 0, 0, "me", "pw", 0))},
    };
    for (const auto& c : cases) {
        seed(c.seed);
        core.reply(REQ_DISK_LIST, c.answer);
        EXPECT_TRUE(json_reply_is(get("/6100").out, c.reply));
    }
}

TEST_F(StorageTest, DiskChangesStoreSendAndLog)
{
    seed(disk_record(5, 1, 1, "v5", "addr", "/dir", 4, 0, "u", "p"));
    const db_disk unchecked = disk_record(-1, 0, 0);
    // A port without a record gets one under its own port; deleting resets a
    // local disk's record; only network disks go unlogged.
    const struct { const char* path, *body; int code; std::string request; db_disk want; std::string log; } cases[] = {
        {"/6101", R"({"portId":5,"property":1,"group":3})", REQ_DISK_PROPERTY, int32_bytes({5, 1, 3, 0}),
         disk_record(5, 1, 1, "v5", "addr", "/dir", 3, 1, "u", "p"), log_record(204, 919, 5)},
        {"/6101", R"({"portId":7,"property":0,"group":2})", REQ_DISK_PROPERTY, int32_bytes({7, 0, 2, 0}),
         disk_record(7, 0, 0, "", "", "", 2, 0), log_record(204, 919, 7)},
        {"/6101", R"({"portId":35,"property":0})", REQ_DISK_PROPERTY, int32_bytes({35, 0, 0, 0}), disk_record(35, 0, 0),
         log_record(204, 919, 35)},
        {"/6101", R"({"portId":0,"property":1,"group":15})", REQ_DISK_PROPERTY, int32_bytes({0, 1, 15, 0}),
         disk_record(0, 0, 0, "", "", "", 15, 1), log_record(204, 919, 0)},
        {"/6207", R"({"port":11,"hddType":4})", REQ_RAID_REMOVE, raid_bytes(11), unchecked, log_record(224, 900, 11)},
        {"/6207", R"({"port":6,"hddType":10})", REQ_NAS_DELETE, nas_list({6}), unchecked, ""},
        {"/6207", R"({"port":5,"hddType":1})", REQ_DISK_REMOVE, word(5), disk_record(5, 0, 0, "", "", "", 0, 1),
         log_record(224, 900, 5)},
    };
    for (const auto& c : cases) {
        if (c.code != REQ_DISK_PROPERTY)
            core.reply(c.code, word(0));
        EXPECT_EQ(post(c.path, c.body).out, text_reply("OK")) << c.body;
        ASSERT_TRUE(core.wait_for(c.code, 1)) << c.body;
        EXPECT_TRUE(sent_once(c.code, c.request)) << c.body;
        if (c.want.port >= 0) {
            EXPECT_TRUE(same_bytes(disk(c.want.port), bytes_of(c.want))) << c.body;
        }
        EXPECT_TRUE(c.log.empty() ? ::testing::AssertionResult(no_logs()) : logged({c.log})) << c.body;
    }
}

TEST_F(StorageTest, FormatAnswersAndLoggedOutcome)
{
    // Response 0: no answer.
    const struct { const char* body; int port, response; std::string answer, out; int outcome; } cases[] = {
        {"36", 36, 8434, word(0), text_reply("OK"), 1},
        {"36", 36, 8434, word(1), text_reply("USING"), -1},
        {"36", 36, 8434, word(-1), text_reply("ERROR FORMAT"), -1},
        {"36", 36, 8434, word(-3), text_reply("NAS LOW CAP"), -1},
        {"36", 36, 8434, word(7), "", -1},
        {"36", 36, 8402, word(-3), text_reply("NAS LOW CAP"), -1},
        {" 3\n", 3, 8434, word(0), text_reply("OK"), 1},
        {"4", 4, 8434, zeros(2), kJsonError, -1},
        {"0", 0, 0, "", kJsonError, -1},
    };
    for (const auto& c : cases) {
        if (c.response)
            core.reply(REQ_DISK_FORMAT, c.response, c.answer);
        else
            core.silent(REQ_DISK_FORMAT);
        CgiResult r = c.out == kJsonError ? unanswered("/6102", c.body) : post("/6102", c.body);
        EXPECT_EQ(r.out, c.out) << c.body << " " << c.response;
        EXPECT_TRUE(sent_once(REQ_DISK_FORMAT, int32_bytes({c.port})));
        format_log_detail d = zeroed<format_log_detail>();
        d.port = c.port, d.outcome = c.outcome;
        EXPECT_TRUE(logged({log_record(207, 900, c.port, &d, (int)sizeof d)})) << c.body << " " << c.response;
    }
}

TEST_F(StorageTest, RaidModeIsReadAndStoredAsZeroOrOne)
{
    EXPECT_EQ(get("/6108").out, text_reply("0"));
    set_param("raidmode", 7);  // printed as stored
    EXPECT_EQ(get("/6108").out, text_reply("7"));
    const struct { const char* body; int stored; } cases[] = {
        {"1", 1}, {" 1\n", 1}, {"0", 0}, {"5", 0}, {"-1", 0}, {"abc", 0}};
    for (const auto& c : cases) {
        set_param("raidmode", c.stored ? 0 : 1);  // so that the write shows
        EXPECT_EQ(post("/6109", c.body).out, text_reply("OK")) << c.body;
        EXPECT_EQ(param("raidmode", -1), c.stored) << c.body;
        EXPECT_TRUE(sent_all().empty()) << c.body;
    }
}

TEST_F(StorageTest, NasDeleteSendsPortsAndLogsStoredDisks)
{
    seed(disk_record(7, 1, 3, "v7", "10.0.0.7", "/nfs7"));
    seed(disk_record(8, 1, 10, "v8", "//srv8", "share8"));
    // Logged on "Error" too; port 9 has no record: sent, not logged.
    core.reply(REQ_NAS_DELETE, word(1));
    EXPECT_EQ(post("/6200", R"({"num":3,"port":[7,8,9]})").out, text_reply("Error"));
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE).at(0).payload, nas_list({7, 8, 9})));
    EXPECT_TRUE(logged({nas_log(220, 7, "NFS", "10.0.0.7", "/nfs7"), nas_log(220, 8, "SMB/CIFS", "//srv8", "share8")}));
    EXPECT_FALSE(core.wait_for(REQ_OPERATION_LOG, 3, 300));

    // "num" ports, never past the array nor past 33.
    core.reply(REQ_NAS_DELETE, word(0));
    const struct { int num; std::vector<int> ports, want; } cases[] = {
        {2, {9, 8, 7}, {9, 8}}, {5, {3, 4}, {3, 4}}, {40, range(1, 40), range(1, 33)}};
    for (const auto& c : cases) {
        CgiResult r = post("/6200", "{\"num\":" + std::to_string(c.num) + ",\"port\":" + json_ints(c.ports) + "}");
        EXPECT_EQ(r.out, text_reply("OK")) << c.num;
        EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE).at(0).payload, nas_list(c.want))) << c.num;
    }
}

TEST_F(StorageTest, NasAddStoresDecodedCutRecordsOfAtMost33Disks)
{
    core.reply(REQ_NAS_ADD, word(4));
    const std::string vendor(100, 'V'), address(100, 'A'), directory(200, 'D');
    // 33 characters: cut to 32 before decoding, so the broken "%4" stays.
    const std::string password = std::string(30, 'x') + "%41";
    std::string texts;
    for (int p = 2; p <= 40; p++)
        texts += ",\"t" + std::to_string(p) + "\"";
    CgiResult r = post("/6201", "{\"num\":40,\"type\":10,\"port\":" + json_ints(range(1, 40)) + ",\"vendor\":[\"" +
                                    vendor + "\"" + texts + "],\"address\":[\"" + address + "\"" + texts +
                                    "],\"directory\":[\"" + directory + "\"" + texts + "],\"userName\":[\"%41%42%20c\"" +
                                    texts + "],\"password\":[\"" + password + "\"" + texts + "]}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":4})"));
    EXPECT_TRUE(sent_once(REQ_NAS_ADD, nas_list(range(1, 33))));
    EXPECT_TRUE(same_bytes(disk(1), bytes_of(disk_record(1, 1, 10, vendor.substr(0, 63), address.substr(0, 63),
                                                         directory.substr(0, 127), 0, 1, "AB c",
                                                         std::string(30, 'x') + "%4"))));
    std::vector<std::string> want = {nas_log(219, 1, "SMB/CIFS", address.substr(0, 63), directory.substr(0, 127))};
    for (int p = 2; p <= 33; p++) {
        const std::string t = "t" + std::to_string(p);
        EXPECT_TRUE(same_bytes(disk(p), bytes_of(disk_record(p, 1, 10, t, t, t, 0, 1, t, t)))) << p;
        want.push_back(nas_log(219, p, "SMB/CIFS", t, t));
    }
    db_disk d;
    for (int p = 34; p <= 36; p++)
        EXPECT_EQ(stored(kDiskKind, p, &d), 1) << "port " << p << " stored";
    EXPECT_TRUE(logged(want));
}

TEST_F(StorageTest, NasUpdateWritesAFreshRecordAndLogsTheProtocol)
{
    const struct { int type; const char* protocol; } cases[] = {{3, "NFS"}, {10, "SMB/CIFS"}, {7, ""}};
    for (const auto& c : cases) {
        seed(disk_record(12, 1, 1, "old", "old-addr", "/old", 5, 0, "old-u", "old-p"));
        core.reply(REQ_NAS_UPDATE, word(2));
        CgiResult r = post("/6203", "{\"port\":12,\"type\":" + std::to_string(c.type) +
                                        R"(,"vendor":"v","address":"10.1.1.1","directory":"/d","userName":"u%20x","password":"p%26"})");
        EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":2})")) << c.type;
        EXPECT_TRUE(same_bytes(disk(12), bytes_of(disk_record(12, 1, c.type, "v", "10.1.1.1", "/d", 0, 1, "u x", "p&"))))
            << c.type;
        EXPECT_TRUE(sent_once(REQ_NAS_UPDATE, word(12)));
        EXPECT_TRUE(logged({nas_log(221, 12, c.protocol, "10.1.1.1", "/d")})) << c.type;
    }
}

TEST_F(StorageTest, NasChangesWithoutAnswerKeepRecordsAndLogNothing)
{
    const struct { const char* path; std::string body; int code; db_disk want; } cases[] = {
        {"/6200", R"({"num":1,"port":[7]})", REQ_NAS_DELETE, disk_record(7, 1, 3, "v7", "10.0.0.7", "/nfs7")},
        // Without "type", a network disk is NFS.
        {"/6201", R"({"num":1,"port":[4],"vendor":["v"],"address":["a"],"directory":["d"],"userName":["u"],)"
                  R"("password":["p"]})", REQ_NAS_ADD, disk_record(4, 1, 3, "v", "a", "d", 0, 1, "u", "p")},
        {"/6203", R"({"port":9,"type":3,"vendor":"v","address":"a","directory":"d","userName":"u","password":"p"})",
         REQ_NAS_UPDATE, disk_record(9, 1, 3, "v", "a", "d", 0, 1, "u", "p")},
    };
    seed(cases[0].want);
    for (const auto& c : cases) {
        EXPECT_EQ(unanswered(c.path, c.body).out, kTextError) << c.path;
        EXPECT_EQ(sent(c.code).size(), 1u) << c.path;
        EXPECT_TRUE(same_bytes(disk(c.want.port), bytes_of(c.want))) << c.path;
        EXPECT_TRUE(no_logs()) << c.path;
    }
}

TEST_F(StorageTest, QuotaListThenGroupsDisksAndParameters)
{
    seed_groups();
    seed(disk_record(1, 1, 1, "", "", "", 2));
    seed(disk_record(5, 0, 1, "", "", "", 4));  // not in use
    seed(disk_record(36, 1, 1, "", "", "", 0));
    std::string database = "\"channel\":[";
    for (int i = 0; i < 16; i++)
        database += std::string(i ? "," : "") + "\"" + group_channels(i) + "\"";
    std::vector<int> disks(36, 0);
    disks[0] = 3, disks[35] = 1;
    database += "],\"disk\":" + json_ints(disks);
    quota_reply_entry e[2] = {{3, {}, 100, 50, 10, 5}, {255, {}, 7, 8, 9, 11}};
    const std::string first = R"({"channel":3,"video_used":10,"video_quota":100,"picture_used":5,"picture_quota":50})",
                      both = first + R"(,{"channel":255,"video_used":9,"video_quota":7,"picture_used":11,"picture_quota":8})";
    // Entries: the count, cut to those the answer holds. The first run sees
    // the defaults of the two parameters.
    const struct { int enable, count; std::string list, params; } cases[] = {
        {1, 5, both, R"("max_chan":32,"group_enable":0)"},
        {0, 1, first, R"("max_chan":16,"group_enable":2)"},
        {1, -1, "", R"("max_chan":16,"group_enable":2)"},
    };
    for (const auto& c : cases) {
        core.reply(REQ_QUOTA_GET, int32_bytes({c.enable, c.count}) + bytes_of(e));
        EXPECT_TRUE(json_reply_is(get("/6208").out, "{\"enable\":" + std::to_string(c.enable) + ",\"quota_array\":[" +
                                                        c.list + "]," + database + "," + c.params + "}"))
            << c.count;
        EXPECT_TRUE(sent_once(REQ_QUOTA_GET, ""));
        set_param("max_cameras", 16);
        set_param("group_mode", 2);
    }
}

TEST_F(StorageTest, GroupsFollowTheGroupMode)
{
    seed_groups();
    const std::string long_text(70, '1');
    std::string eighteen;
    std::vector<std::string> sixteen;
    for (int i = 0; i < 18; i++) {
        eighteen += std::string(i ? "," : "") + "\"g" + std::to_string(i) + "\"";
        if (i < 16)
            sixteen.push_back("g" + std::to_string(i));
    }
    // Enabling while off stores and sends the mode first; while on, the mode
    // stays unsent. Only the 16 stored groups change, texts cut to 64.
    // Disabling stores and sends 0, nothing else.
    const struct { int mode; std::string body; int stored; std::vector<std::string> groups; } cases[] = {
        {0, "{\"group_enable\":1,\"channel\":[\"1100\",\"0011\",\"" + long_text + "\"]}", 1, {"1100", "0011", long_text}},
        {2, "{\"group_enable\":1,\"channel\":[" + eighteen + "]}", 2, sixteen},
        {2, R"({"group_enable":0,"channel":["1"]})", 0, {}},
    };
    for (const auto& c : cases) {
        set_param("group_mode", c.mode);
        EXPECT_EQ(post("/6210", c.body).out, text_reply("OK")) << c.body;
        std::vector<std::pair<int, std::string>> want;
        if (c.stored != c.mode)
            want.push_back({REQ_GROUP_MODE, word(c.stored)});
        for (size_t i = 0; i < c.groups.size(); i++)
            want.push_back({REQ_GROUP_SET, bytes_of(group_record((int)i, c.groups[i]))});
        if (c.stored)
            want.push_back({REQ_GROUP_APPLY, ""});
        ASSERT_TRUE(core.wait_for(want.back().first, 1) && core.wait_for(REQ_GROUP_SET, c.groups.size()));
        EXPECT_FALSE(!c.stored && core.wait_for(REQ_GROUP_APPLY, 1, 300));
        EXPECT_EQ(param("group_mode", -1), c.stored);
        std::vector<FakeRequest> got = sent_all();
        ASSERT_EQ(got.size(), want.size()) << c.body;
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(got[i].code, want[i].first) << c.body << " request " << i;
            EXPECT_TRUE(same_bytes(got[i].payload, want[i].second)) << c.body << " request " << i;
        }
    }
}

esata_auto_backup backup_record(int enable, const std::string& time, int stream, int file, int recycle,
                                const std::string& channel, int device, int port)
{
    esata_auto_backup b = zeroed<esata_auto_backup>();
    b.enable = enable, b.stream_type = stream, b.file_type = file, b.recycle = recycle;
    b.device = device, b.port = port;
    put(b.backup_time, time), put(b.channel, channel);
    return b;
}

TEST_F(StorageTest, EsataBackupSettingsReadAndStored)
{
    EXPECT_TRUE(json_reply_is(get("/6220").out, R"({"enable":0,"streamType":0,"fileType":0,"recycle":0,)"
                                                R"("channel":"","backupTime":"","device":0,"port":0})"));
    esata_auto_backup old = backup_record(1, "02:30", 1, 2, 3, "1010", 4, 36), got, after;
    old.reserved = 9;
    store(kEsataKind, 0, &old);
    EXPECT_TRUE(json_reply_is(get("/6220").out, R"({"enable":1,"streamType":1,"fileType":2,"recycle":3,)"
                                                R"("channel":"1010","backupTime":"02:30","device":4,"port":36})"));
    EXPECT_TRUE(sent_all().empty());

    // stopBackup 0: a fresh record of the body alone, texts cut.
    core.reply(REQ_ESATA_BACKUP_SET, word(0));
    const std::string time(40, 't'), channel(70, '1');
    CgiResult r = post("/6221", R"({"stopBackup":0,"enable":1,"streamType":2,"fileType":1,"backupTime":")" + time +
                                    R"(","channel":")" + channel + R"(","device":5})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"result":0})"));
    ASSERT_EQ(stored(kEsataKind, 0, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(backup_record(1, time.substr(0, 31), 2, 1, 0, channel.substr(0, 64),
                                                                 5, 0))));
    EXPECT_TRUE(sent_once(REQ_ESATA_BACKUP_SET, ""));

    // stopBackup 1: the record stays, the core service is still asked.
    core.reply(REQ_ESATA_BACKUP_SET, word(3));
    r = post("/6221", R"({"stopBackup":1,"enable":0,"streamType":3,"backupTime":"09:00","channel":"1","port":1})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"result":3})"));
    ASSERT_EQ(stored(kEsataKind, 0, &after), 0);
    EXPECT_TRUE(same_bytes(bytes_of(after), bytes_of(got)));
    EXPECT_TRUE(sent_once(REQ_ESATA_BACKUP_SET, ""));
}

std::string smart_answer(size_t at, const std::string& s)
{
    smart_attr_reply a = zeroed<smart_attr_reply>();
    memcpy(reinterpret_cast<char*>(&a) + at, s.data(), s.size());
    return bytes_of(a);
}

std::string shares(int count, const std::vector<std::string>& paths)
{
    static nas_search_reply a;  // 16 KiB
    a = zeroed<nas_search_reply>();
    a.count = count;
    for (size_t i = 0; i < paths.size(); i++)
        put(a.paths[i], paths[i]);
    return bytes_of(a);
}

std::string search_request(const std::string& server)
{
    nas_search_request s = zeroed<nas_search_request>();
    s.port = 3;
    put(s.server, server.substr(0, 63));
    return bytes_of(s);
}

std::string backup_status(float percent, const std::string& last)
{
    esata_backup_status s = zeroed<esata_backup_status>();
    s.status = 2, s.percent = percent, s.capacity = -1;
    put(s.last_time, last);
    return bytes_of(s);
}

std::string export_disk(int port, int type)
{
    export_disk_info d = zeroed<export_disk_info>();
    d.port = (uint8_t)port, d.type = type;
    return bytes_of(d);
}

std::string quota_request_bytes(int enable, int entries)
{
    quota_request q = zeroed<quota_request>();
    q.enable = enable;
    for (; q.count < entries; q.count++) {
        quota_request_entry& e = q.entries[q.count];
        e.channel = (uint8_t)(q.count * 9), e.video_quota = 10 * q.count, e.picture_quota = q.count + 1;
    }
    return bytes_of(q);
}

TEST_F(StorageTest, RequestAnswerAndPrintedReply)
{
    format_info info = {1, 255, 7, {}, 2};  // percent is an unsigned byte
    const std::string longest(256, 'L');   // fills the field, no NUL
    std::vector<std::string> many;
    std::string many_json, ten;
    for (int i = 0; i < 64; i++) {
        many.push_back("/p" + std::to_string(i));
        many_json += std::string(i ? "," : "") + "{\"filePath\":\"/p" + std::to_string(i) + "\"}";
    }
    for (int i = 0; i < 10; i++)
        ten += std::string(i ? "," : "") + "{\"channel\":" + std::to_string(i * 9) + ",\"video_quota\":" +
               std::to_string(10 * i) + ",\"picture_quota\":" + std::to_string(i + 1) + "}";
    const std::string one = R"({"num":1,"port":[3]})", nas_no = R"({"resultString":"NO","NAS":[]})";
    // JSON replies compare as JSON, text ones byte for byte.
    const struct { const char* path; std::string body; int code; std::string answer, request, reply; } cases[] = {
        // The text rows: "OK" for a zero word, "Error" otherwise. Mask bits 16
        // and up are beyond the ports; "sata_cnt" goes as given.
        {"/6104", R"({"id":10,"enable":0,"level":1,"sata_cnt":2,"sata_port":6})", 3420, word(0),
         raid_bytes(10, 0, 1, 2, {1, 2}), "OK"},
        {"/6104", R"({"id":15,"enable":1,"level":5,"sata_cnt":7,"sata_port":2148630537})", 3420, word(9),
         raid_bytes(15, 1, 5, 7, {0, 3, 15}), "Error"},
        {"/6105", "12\n", 3421, word(-1), raid_bytes(12), "Error"},
        {"/6105", "10", 3421, word(0), raid_bytes(10), "OK"},
        {"/6105", "16", 3421, word(9), raid_bytes(16), "Error"},
        {"/6106", R"({"port":3,"hotflag":1})", 3423, word(-1), word(3), "Error"},
        {"/6106", R"({"port":4,"hotflag":0})", 3424, word(9), word(4), "Error"},
        {"/6107", R"({"diskport":2,"raidport":11})", 3425, word(-1), int32_bytes({2, 11}), "Error"},
        {"/6207", R"({"port":6,"hddType":3})", 3508, word(-1), nas_list({6}), "Error"},
        {"/6207", R"({"port":5,"hddType":1})", 3496, word(9), word(5), "Error"},
        // At most 8 quota entries; none without the array.
        {"/6209", R"({"enable":1,"quota_array":[{"channel":0,"video_quota":0,"picture_quota":1},)"
                  R"({"channel":9,"video_quota":10,"picture_quota":2}]})", 3530, word(0),
         quota_request_bytes(1, 2), "OK"},
        {"/6209", "{\"enable\":1,\"quota_array\":[" + ten + "]}", 3530, word(0), quota_request_bytes(1, 8), "OK"},
        {"/6209", R"({"enable":0})", 3530, word(3), quota_request_bytes(0, 0), "Error"},
        // Shares: at most 64, a full field has no NUL, the server cut to 63.
        {"/6202", R"({"port":3,"serverAddr":"192.168.1.50"})", 3440, shares(3, {"/share/a", "/share/b", longest}),
         search_request("192.168.1.50"),
         R"({"resultString":"OK","NAS":[{"filePath":"/share/a"},{"filePath":"/share/b"},{"filePath":")" + longest +
             "\"}]}"},
        {"/6202", R"({"port":3,"serverAddr":"srv"})", 3440, shares(0, {"/x"}), search_request("srv"), nas_no},
        {"/6202", R"({"port":3,"serverAddr":"srv"})", 3440, shares(-5, {"/x"}), search_request("srv"), nas_no},
        {"/6202", "{\"port\":3,\"serverAddr\":\"" + std::string(100, 's') + "\"}", 3440, shares(100, many),
         search_request(std::string(100, 's')), R"({"resultString":"OK","NAS":[)" + many_json + "]}"},
        // Overwrite mode: "OK" whatever the answer.
        {"/6204", R"({"mode":1,"esata":2})", 3475, "", int32_bytes({1, 2}), R"({"status":"OK"})"},
        {"/6204", R"({"mode":1,"esata":2})", 3475, word(5), int32_bytes({1, 2}), R"({"status":"OK"})"},
        {"/6205", "", 3431, int32_bytes({3, 1}), word(0), R"({"mode":3,"esata":1})"},
        // S.M.A.R.T.: the last of "num" ports; "PASSED" inside the text, even
        // at the very end of the record.
        {"/6206", R"({"num":2,"port":[4,9,11]})", 3403, smart_answer(12, "PASSED"), word(9),
         R"({"selfEvaluation":1})"},
        {"/6206", R"({"num":10,"port":[4,9]})", 3403, smart_answer(12, std::string(22, 'x') + "PASSED"),
         word(9), R"({"selfEvaluation":1})"},
        {"/6206", one, 3403, smart_answer(12, "FAILED"), word(3), R"({"selfEvaluation":0})"},
        {"/6206", one, 3403, smart_answer(0, "PASSED"), word(3), R"({"selfEvaluation":0})"},
        {"/6206", one, 3403, smart_answer(12, "PASSE"), word(3), R"({"selfEvaluation":0})"},
        // eSATA backup status: percent with one decimal, cut to 7 characters.
        {"/6222", "", 1317, backup_status(45.26f, "2024-01-02 03:04:05"), "",
         R"({"status":2,"percent":"45.3","last_time":"2024-01-02 03:04:05","capacity":-1})"},
        {"/6222", "", 1317, backup_status(100, std::string(32, '9')), "",
         R"({"status":2,"percent":"100.0","last_time":")" + std::string(32, '9') + R"(","capacity":-1})"},
        {"/6222", "", 1317, backup_status(123456.7f, ""), "",
         R"({"status":2,"percent":"123456.","last_time":"","capacity":-1})"},
        // Export: the first disk of type 5; a partial record is not read.
        {"/6223", "", 3457, export_disk(2, 3) + export_disk(9, 5) + export_disk(12, 5), "", R"({"port":9,"result":0})"},
        {"/6223", "", 3457, export_disk(2, 3) + export_disk(4, 1), "", R"({"result":-1})"},
        {"/6223", "", 3457, export_disk(1, 1) + export_disk(7, 5).substr(0, 160), "", R"({"result":-1})"},
        {"/6224", R"({"port":0})", 3535, word(0), word(0), R"({"result":0})"},
        {"/6224", R"({"port":36})", 3535, word(-2), word(36), R"({"result":-2})"},
        {"/6225", "", 3536, word(3), "", R"({"status":3})"},
        {"/6226", "", 3537, word(-1), "", R"({"result":-1})"},
        {"/6227", "", 3540, bytes_of(info), "", R"({"status":1,"port":7,"type":2,"percent":255})"},
    };
    for (const auto& c : cases) {
        core.reply(c.code, c.answer);
        CgiResult r = post(c.path, c.body);
        if (c.reply[0] == '{')
            EXPECT_TRUE(json_reply_is(r.out, c.reply)) << c.path << " " << c.body;
        else
            EXPECT_EQ(r.out, text_reply(c.reply)) << c.path << " " << c.body;
        EXPECT_TRUE(sent_once(c.code, c.request)) << c.path << " " << c.body;
    }
}

TEST_F(StorageTest, RefusalsAndLocalAnswersAskNothing)
{
    set_param("group_mode", 2);
    auto check = [this](const char* path, const std::string& body, const std::string& out) {
        EXPECT_EQ(post(path, body).out, out) << path << " " << body;
        EXPECT_TRUE(sent_all().empty()) << path << " " << body;
    };
    const std::string raid = R"("enable":1,"level":5,"sata_cnt":2,"sata_port":3})";
    // Refused: nothing printed, but "/6224" prints the JSON error.
    const struct { const char* path; std::string out; std::vector<std::string> bodies; } cases[] = {
        {"/6101", "", {R"({"property":1})", R"({"portId":5})", R"({"portId":36,"property":1})",
                       R"({"portId":-1,"property":1})", R"({"portId":"x","property":1})",
                       R"({"portId":5,"property":2})", R"({"portId":5,"property":-1})"}},
        {"/6102", "", {"abc", "37", "-1", "", "3x", R"({"port":3})"}},
        // "/6103" only acknowledges ports 0 to 16.
        {"/6103", "", {"17", "-1", "abc", ""}},
        {"/6103", text_reply("OK"), {"0", "16", " 7\n"}},
        {"/6104", "", {R"({"id":16,)" + raid, R"({"id":9,)" + raid, "{" + raid,
                       R"({"id":12,"level":5,"sata_cnt":2,"sata_port":3})", R"({"id":12,"enable":1,"sata_cnt":2,"sata_port":3})",
                       R"({"id":12,"enable":1,"level":5,"sata_port":3})", R"({"id":12,"enable":1,"level":5,"sata_cnt":2})",
                       R"({"id":12,"enable":1,"level":5,"sata_cnt":2,"sata_port":-1})",
                       R"({"id":12,"enable":1,"level":5,"sata_cnt":-1,"sata_port":3})",
                       R"({"id":12,"enable":1,"level":-1,"sata_cnt":2,"sata_port":3})"}},
        {"/6105", "", {"17\n", "9\n", "abc", R"({"id":12})", ""}},
        {"/6209", "", {R"({"quota_array":[]})", R"({"enable":"on"})"}},
        {"/6210", "", {R"({"channel":["1"]})", "{}", ""}},
        {"/6224", kJsonError, {R"({"port":37})", R"({"port":-1})", R"({"port":"x"})", "{}", "", "abc"}},
    };
    for (const auto& c : cases)
        for (const std::string& body : c.bodies)
            check(c.path, body, c.out);
    for (const char* path : {"/6101", "/6104", "/6106", "/6107", "/6200", "/6201", "/6202", "/6203", "/6204", "/6206",
                             "/6207", "/6209", "/6210", "/6221"})
        check(path, "not json", "");
    EXPECT_EQ(param("group_mode", -1), 2);
}

TEST_F(StorageTest, MissingOrShortAnswersPrintTheErrorBody)
{
    const std::string raid = R"({"id":12,"enable":1,"level":5,"sata_cnt":2,"sata_port":3})", none = "<none>";
    // An answer shorter than a record, or under another code, counts as none;
    // rows with no such answer to give go unanswered.
    const struct { const char* path; std::string body; int code, response; std::string answer, error; } cases[] = {
        {"/6100", "", 3433, 8432, bytes_of(core_disk(1, 1, "x")), kJsonError},
        {"/6104", raid, 3420, 8420, zeros(2), kTextError},
        {"/6105", "12\n", 3421, 8421, "", kTextError},
        {"/6106", R"({"port":3,"hotflag":1})", 3423, 8423, zeros(3), kTextError},
        {"/6106", R"({"port":3,"hotflag":0})", 3424, 0, none, kTextError},
        {"/6107", R"({"diskport":2,"raidport":11})", 3425, 8425, zeros(2), kTextError},
        {"/6200", R"({"num":1,"port":[7]})", 3508, 8508, zeros(2), kTextError},
        {"/6201", R"({"num":1,"port":[7]})", 3507, 8507, zeros(2), kTextError},
        {"/6202", R"({"port":1,"serverAddr":"srv"})", 3440, 8440, word(3), kJsonError},
        {"/6203", R"({"port":7,"type":3})", 3439, 8439, zeros(2), kTextError},
        {"/6204", R"({"mode":1,"esata":0})", 3475, 0, none, kJsonError},
        {"/6205", "", 3431, 8431, word(3), kJsonError},
        {"/6206", R"({"num":1,"port":[2]})", 3403, 8403, smart_answer(12, "PASSED").substr(0, 20), kJsonError},
        {"/6206", R"({"num":1,"port":[2]})", 3403, 8403, "", kJsonError},
        {"/6207", R"({"port":11,"hddType":4})", 3421, 0, none, kTextError},
        {"/6207", R"({"port":6,"hddType":3})", 3508, 0, none, kTextError},
        {"/6207", R"({"port":5,"hddType":1})", 3496, 8496, zeros(2), kTextError},
        {"/6208", "", 3529, 8529, word(1), kJsonError},
        {"/6209", R"({"enable":1})", 3530, 8530, zeros(2), kTextError},
        {"/6221", R"({"stopBackup":1})", 1316, 6316, zeros(2), kJsonError},
        {"/6222", "", 1317, 6317, zeros(20), kJsonError},
        {"/6223", "", 3457, 0, none, kJsonError},
        {"/6224", R"({"port":3})", 3535, 8535, zeros(2), kJsonError},
        {"/6225", "", 3536, 8536, zeros(2), kJsonError},
        {"/6226", "", 3537, 8537, "", kJsonError},
        {"/6227", "", 3540, 8540, zeros(8), kJsonError},
        {"/6227", "", 3540, 8541, zeros(12), kJsonError},
    };
    for (const auto& c : cases) {
        if (c.answer == none)
            core.silent(c.code);
        else
            core.reply(c.code, c.response, c.answer);
        EXPECT_EQ(unanswered(c.path, c.body).out, c.error) << c.path << " " << c.body;
        EXPECT_EQ(sent(c.code).size(), 1u) << c.path << " " << c.body;
    }
}

}  // namespace

namespace {

// Two answers to one request print one reply; a second request's answer
// code sent unasked prints nothing more.
TEST_F(HandlerTest, OneReplyPerRequestWhateverTheCoreSends)
{
    const std::string one = int32_bytes({0});
    core.reply(REQ_RECYCLE_GET, one + one);
    const std::string single = get("/6205").out;
    core.reply_many(REQ_RECYCLE_GET, {{8431, one + one}, {8431, int32_bytes({1, 1})}, {8433, ""}});
    EXPECT_TRUE(same_bytes(get("/6205").out, single));
}

}  // namespace
