// Storage module, the other rows: network disks, overwrite mode, quotas,
// groups, eSATA backup, export disk and eSATA format, run black-box through
// nvrweb.cgi against a fake core service and a scratch database.
#include <gtest/gtest.h>

#include "tests/storage_test_helpers.h"

using namespace storage_test;

namespace {

// ---- delete network disks "/6200" ------------------------------------------------

using StorageNasDelete = StorageCgi;

TEST_F(StorageNasDelete, CountIsNumAndOnlyStoredDisksAreLogged)
{
    seed_disk(disk_record(7, 1, 3, "v7", "10.0.0.7", "/nfs7"));
    seed_disk(disk_record(8, 1, 10, "v8", "//srv8", "share8"));
    core.reply(REQ_NAS_DELETE, int32s({0}));
    // Port 9 has no record: listed, but not logged.
    CgiResult r = post("/6200", R"({"num":2,"port":[9,8,7]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_EQ(sent(REQ_NAS_DELETE).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE)[0].payload, nas_list_bytes({9, 8})));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    nas_log_detail d = nas_detail("SMB/CIFS", "//srv8", "share8");
    EXPECT_TRUE(same_bytes(l[0], log_record(220, 0, 8, &d, (int)sizeof d)));
    EXPECT_FALSE(core.wait_for(REQ_OPERATION_LOG, 2, 300));
}

TEST_F(StorageNasDelete, ProtocolFollowsTheStoredType)
{
    seed_disk(disk_record(7, 1, 3, "v7", "10.0.0.7", "/nfs7"));
    seed_disk(disk_record(8, 1, 10, "v8", "//srv8", "share8"));
    core.reply(REQ_NAS_DELETE, int32s({1}));
    CgiResult r = post("/6200", R"({"num":3,"port":[7,8,9]})");
    EXPECT_EQ(r.out, text_reply("Error"));
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE).at(0).payload, nas_list_bytes({7, 8, 9})));
    std::vector<std::string> l = logs(2);
    ASSERT_EQ(l.size(), 2u);
    nas_log_detail d7 = nas_detail("NFS", "10.0.0.7", "/nfs7");
    nas_log_detail d8 = nas_detail("SMB/CIFS", "//srv8", "share8");
    EXPECT_TRUE(same_bytes(l[0], log_record(220, 0, 7, &d7, (int)sizeof d7)));
    EXPECT_TRUE(same_bytes(l[1], log_record(220, 0, 8, &d8, (int)sizeof d8)));
}

TEST_F(StorageNasDelete, CountNeverExceedsThePortsListed)
{
    core.reply(REQ_NAS_DELETE, int32s({0}));
    CgiResult r = post("/6200", R"({"num":5,"port":[3,4]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE).at(0).payload, nas_list_bytes({3, 4})));

    std::string ports;
    for (int p = 1; p <= 40; p++)
        ports += (p > 1 ? "," : "") + std::to_string(p);
    r = post("/6200", "{\"num\":40,\"port\":[" + ports + "]}");
    EXPECT_EQ(r.out, text_reply("OK"));
    nas_port_list want = zeroed<nas_port_list>();
    for (int p = 1; p <= 33; p++)
        want.ports[want.count++] = p;
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_DELETE).at(0).payload, bytes_of(want)));
}

TEST_F(StorageNasDelete, NoAnswerPrintsTextErrorAndLogsNothing)
{
    seed_disk(disk_record(7, 1, 3, "v7", "10.0.0.7", "/nfs7"));
    CgiResult r = post("/6200", R"({"num":1,"port":[7]})");
    EXPECT_EQ(r.out, kTextError);
    EXPECT_EQ(sent(REQ_NAS_DELETE).size(), 1u);
    EXPECT_TRUE(no_logs());
}

// ---- add network disks "/6201" ------------------------------------------------------

using StorageNasAdd = StorageCgi;

TEST_F(StorageNasAdd, SmbDisksAreStoredSentAndLogged)
{
    core.reply(REQ_NAS_ADD, int32s({0}));
    CgiResult r = post("/6201", R"({"num":2,"type":10,"port":[20,21],"vendor":["v20","v21"],)"
                                R"("address":["10.0.0.20","10.0.0.21"],"directory":["/share20","/share21"],)"
                                R"("userName":["us%40er","bob"],"password":["p%26w","x"]})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":0})")) << r.out;

    db_disk got;
    ASSERT_EQ(stored_disk(20, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(20, 1, 10, "v20", "10.0.0.20", "/share20", 0, 1, "us@er", "p&w"))));
    ASSERT_EQ(stored_disk(21, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(21, 1, 10, "v21", "10.0.0.21", "/share21", 0, 1, "bob", "x"))));

    ASSERT_EQ(sent(REQ_NAS_ADD).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_ADD)[0].payload, nas_list_bytes({20, 21})));
    std::vector<std::string> l = logs(2);
    ASSERT_EQ(l.size(), 2u);
    nas_log_detail d20 = nas_detail("SMB/CIFS", "10.0.0.20", "/share20");
    nas_log_detail d21 = nas_detail("SMB/CIFS", "10.0.0.21", "/share21");
    EXPECT_TRUE(same_bytes(l[0], log_record(219, 0, 20, &d20, (int)sizeof d20)));
    EXPECT_TRUE(same_bytes(l[1], log_record(219, 0, 21, &d21, (int)sizeof d21)));
}

TEST_F(StorageNasAdd, WithoutTypeIsNfs)
{
    core.reply(REQ_NAS_ADD, int32s({4}));
    CgiResult r = post("/6201", R"({"num":1,"port":[3],"vendor":["v"],"address":["srv"],"directory":["/x"],)"
                                R"("userName":["u"],"password":["p"]})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":4})"));
    db_disk got;
    ASSERT_EQ(stored_disk(3, &got), 0);
    EXPECT_EQ(got.type, 3);
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    nas_log_detail d = nas_detail("NFS", "srv", "/x");
    EXPECT_TRUE(same_bytes(l[0], log_record(219, 0, 3, &d, (int)sizeof d)));
}

TEST_F(StorageNasAdd, TextsAreCutAndCredentialsCutBeforeDecoding)
{
    core.reply(REQ_NAS_ADD, int32s({0}));
    const std::string vendor(100, 'V'), address(100, 'A'), directory(200, 'D');
    // 33 characters: cut to 32 first, the broken escape "%4" then stays.
    const std::string password = std::string(30, 'x') + "%41";
    CgiResult r = post("/6201", "{\"num\":1,\"type\":10,\"port\":[30],\"vendor\":[\"" + vendor + "\"],\"address\":[\"" +
                                    address + "\"],\"directory\":[\"" + directory +
                                    "\"],\"userName\":[\"%41%42%20c\"],\"password\":[\"" + password + "\"]}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":0})"));
    db_disk want = disk_record(30, 1, 10, vendor.substr(0, 63).c_str(), address.substr(0, 63).c_str(),
                               directory.substr(0, 127).c_str(), 0, 1, "AB c", (std::string(30, 'x') + "%4").c_str());
    db_disk got;
    ASSERT_EQ(stored_disk(30, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(want)));
    std::vector<std::string> l = logs(1);
    ASSERT_EQ(l.size(), 1u);
    nas_log_detail d = nas_detail("SMB/CIFS", address.substr(0, 63).c_str(), directory.substr(0, 127).c_str());
    EXPECT_TRUE(same_bytes(l[0], log_record(219, 0, 30, &d, (int)sizeof d)));
}

TEST_F(StorageNasAdd, NumFortyHandlesThirtyThreeDisks)
{
    core.reply(REQ_NAS_ADD, int32s({0}));
    std::string ports, texts;
    for (int p = 1; p <= 40; p++) {
        ports += (p > 1 ? "," : "") + std::to_string(p);
        texts += std::string(p > 1 ? "," : "") + "\"t" + std::to_string(p) + "\"";
    }
    CgiResult r = post("/6201", "{\"num\":40,\"port\":[" + ports + "],\"vendor\":[" + texts + "],\"address\":[" + texts +
                                    "],\"directory\":[" + texts + "],\"userName\":[" + texts + "],\"password\":[" +
                                    texts + "]}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":0})"));
    nas_port_list want = zeroed<nas_port_list>();
    for (int p = 1; p <= 33; p++)
        want.ports[want.count++] = p;
    ASSERT_EQ(sent(REQ_NAS_ADD).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_ADD)[0].payload, bytes_of(want)));
    for (int p = 1; p <= 36; p++) {
        db_disk got;
        int rc = stored_disk(p, &got);
        if (p <= 33) {
            std::string t = "t" + std::to_string(p);
            EXPECT_EQ(rc, 0) << p;
            EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(p, 1, 3, t.c_str(), t.c_str(), t.c_str(), 0, 1,
                                                                        t.c_str(), t.c_str()))))
                << p;
        } else {
            EXPECT_EQ(rc, 1) << "port " << p << " stored";
        }
    }
    std::vector<std::string> l = logs(33);
    EXPECT_EQ(l.size(), 33u);
}

TEST_F(StorageNasAdd, NoAnswerKeepsRecordsPrintsTextErrorAndLogsNothing)
{
    CgiResult r = post("/6201", R"({"num":1,"type":10,"port":[4],"vendor":["v"],"address":["a"],"directory":["d"],)"
                                R"("userName":["u"],"password":["p"]})");
    EXPECT_EQ(r.out, kTextError);
    EXPECT_EQ(sent(REQ_NAS_ADD).size(), 1u);
    db_disk got;
    ASSERT_EQ(stored_disk(4, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(4, 1, 10, "v", "a", "d", 0, 1, "u", "p"))));
    EXPECT_TRUE(no_logs());
}

// ---- search shares "/6202" -----------------------------------------------------------

std::string shares(int count, std::vector<std::string> paths)
{
    static nas_search_reply a;
    memset(&a, 0, sizeof a);
    a.count = count;
    for (size_t i = 0; i < paths.size() && i < 64; i++)
        memcpy(a.paths[i], paths[i].data(), std::min(paths[i].size(), sizeof a.paths[i]));
    return bytes_of(a);
}

using StorageNasSearch = StorageCgi;

TEST_F(StorageNasSearch, ThreeShares)
{
    const std::string longest(256, 'L');  // fills the field, no NUL
    core.reply(REQ_NAS_SEARCH, shares(3, {"/share/a", "/share/b", longest}));
    CgiResult r = post("/6202", R"({"port":3,"serverAddr":"192.168.1.50"})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"resultString":"OK","NAS":[{"filePath":"/share/a"},{"filePath":"/share/b"},)"
                                     R"({"filePath":")" + longest + "\"}]}"));
    nas_search_request want = zeroed<nas_search_request>();
    want.port = 3;
    strcpy(want.server, "192.168.1.50");
    ASSERT_EQ(sent(REQ_NAS_SEARCH).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_SEARCH)[0].payload, bytes_of(want)));
}

TEST_F(StorageNasSearch, NoSharesSaysNo)
{
    for (int count : {0, -5}) {
        core.reply(REQ_NAS_SEARCH, shares(count, {"/not-listed"}));
        CgiResult r = post("/6202", R"({"port":1,"serverAddr":"srv"})");
        EXPECT_TRUE(json_reply_is(r.out, R"({"resultString":"NO","NAS":[]})")) << count;
    }
}

TEST_F(StorageNasSearch, CountIsCutToSixtyFour)
{
    std::vector<std::string> paths;
    std::string want = R"({"resultString":"OK","NAS":[)";
    for (int i = 0; i < 64; i++) {
        paths.push_back("/p" + std::to_string(i));
        want += std::string(i ? "," : "") + "{\"filePath\":\"/p" + std::to_string(i) + "\"}";
    }
    core.reply(REQ_NAS_SEARCH, shares(100, paths));
    CgiResult r = post("/6202", R"({"port":1,"serverAddr":"srv"})");
    EXPECT_TRUE(json_reply_is(r.out, want + "]}"));
}

TEST_F(StorageNasSearch, ServerAddressIsCutTo63)
{
    core.reply(REQ_NAS_SEARCH, shares(0, {}));
    const std::string server(100, 's');
    post("/6202", "{\"port\":2,\"serverAddr\":\"" + server + "\"}");
    nas_search_request want = zeroed<nas_search_request>();
    want.port = 2;
    memset(want.server, 's', 63);
    ASSERT_EQ(sent(REQ_NAS_SEARCH).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_NAS_SEARCH)[0].payload, bytes_of(want)));
}

// ---- change a network disk "/6203" -----------------------------------------------------

using StorageNasUpdate = StorageCgi;

TEST_F(StorageNasUpdate, FreshRecordRequestAndLogPerType)
{
    const struct {
        int type;
        const char* protocol;
    } cases[] = {{3, "NFS"}, {10, "SMB/CIFS"}, {7, ""}};
    for (const auto& c : cases) {
        seed_disk(disk_record(12, 1, 1, "old", "old-addr", "/old", 5, 0, "old-u", "old-p"));
        core.reply(REQ_NAS_UPDATE, int32s({2}));
        CgiResult r = post("/6203", "{\"port\":12,\"type\":" + std::to_string(c.type) +
                                        R"(,"vendor":"v","address":"10.1.1.1","directory":"/d","userName":"u%20x","password":"p%26"})");
        EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"res":2})")) << c.type;
        db_disk got;
        ASSERT_EQ(stored_disk(12, &got), 0);
        EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(12, 1, c.type, "v", "10.1.1.1", "/d", 0, 1, "u x", "p&"))))
            << c.type;
        ASSERT_EQ(sent(REQ_NAS_UPDATE).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_NAS_UPDATE)[0].payload, int32s({12})));
        std::vector<std::string> l = logs(1);
        ASSERT_EQ(l.size(), 1u);
        nas_log_detail d = nas_detail(c.protocol, "10.1.1.1", "/d");
        EXPECT_TRUE(same_bytes(l[0], log_record(221, 0, 12, &d, (int)sizeof d))) << c.type;
    }
}

TEST_F(StorageNasUpdate, NoAnswerKeepsRecordPrintsTextErrorAndLogsNothing)
{
    CgiResult r = post("/6203", R"({"port":9,"type":3,"vendor":"v","address":"a","directory":"d","userName":"u","password":"p"})");
    EXPECT_EQ(r.out, kTextError);
    db_disk got;
    ASSERT_EQ(stored_disk(9, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(disk_record(9, 1, 3, "v", "a", "d", 0, 1, "u", "p"))));
    EXPECT_TRUE(no_logs());
}

// ---- overwrite mode "/6204", "/6205" ------------------------------------------------------

using StorageRecycle = StorageCgi;

TEST_F(StorageRecycle, SetSendsModeAndEsataAndSaysOkWhateverTheAnswer)
{
    for (const std::string& answer : {std::string(), int32s({5})}) {
        core.reply(REQ_RECYCLE_SET, answer);
        CgiResult r = post("/6204", R"({"mode":1,"esata":2})");
        EXPECT_TRUE(json_reply_is(r.out, R"({"status":"OK"})")) << answer.size();
        ASSERT_EQ(sent(REQ_RECYCLE_SET).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_RECYCLE_SET)[0].payload, int32s({1, 2})));
    }
}

TEST_F(StorageRecycle, GetPrintsBothWords)
{
    core.reply(REQ_RECYCLE_GET, int32s({3, 1}));
    CgiResult r = get("/6205");
    EXPECT_TRUE(json_reply_is(r.out, R"({"mode":3,"esata":1})"));
    ASSERT_EQ(sent(REQ_RECYCLE_GET).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_RECYCLE_GET)[0].payload, int32s({0})));
}

// ---- quotas "/6208", "/6209" -------------------------------------------------------------

std::string quota_answer(int enable, int count, std::vector<quota_reply_entry> entries)
{
    quota_reply_head h = {enable, count};
    std::string out = bytes_of(h);
    for (const quota_reply_entry& e : entries)
        out += bytes_of(e);
    return out;
}

quota_reply_entry quota_entry(int channel, int video_quota, int picture_quota, int video_used, int picture_used)
{
    quota_reply_entry e = zeroed<quota_reply_entry>();
    e.channel = (uint8_t)channel;
    e.video_quota = video_quota;
    e.picture_quota = picture_quota;
    e.video_used = video_used;
    e.picture_used = picture_used;
    return e;
}

storage_group group_record(int id, const std::string& channels, const std::string& extra)
{
    storage_group g = zeroed<storage_group>();
    g.id = id;
    strncpy(g.channels, channels.c_str(), sizeof g.channels - 1);
    strncpy(g.extra, extra.c_str(), sizeof g.extra - 1);
    return g;
}

class StorageQuota : public StorageCgi {
protected:
    void seed_groups()
    {
        for (int i = 0; i < 16; i++) {
            storage_group g = group_record(100 + i, i == 3 ? std::string(64, '1') : "c" + std::to_string(i),
                                           "extra" + std::to_string(i));
            ASSERT_EQ(vxdb_write(VXDB_MAIN, kGroupKind, i, &g, (int)sizeof g), 0);
        }
        vxdb_close_all();
    }
    // The database part of the reply for seed_groups and the disks below.
    std::string database_part(int max_chan, int group_enable)
    {
        std::string channel = "[";
        for (int i = 0; i < 16; i++)
            channel += std::string(i ? "," : "") + "\"" + (i == 3 ? std::string(64, '1') : "c" + std::to_string(i)) + "\"";
        std::string disk = "[3,0,0,0,0";  // port 1: group 2 in use; port 5: not in use
        for (int p = 6; p <= 35; p++)
            disk += ",0";
        disk += ",1]";  // port 36: group 0 in use
        return "\"channel\":" + channel + "],\"disk\":" + disk + ",\"max_chan\":" + std::to_string(max_chan) +
               ",\"group_enable\":" + std::to_string(group_enable);
    }
    void seed_disks()
    {
        seed_disk(disk_record(1, 1, 1, "", "", "", 2));
        seed_disk(disk_record(5, 0, 1, "", "", "", 4));
        seed_disk(disk_record(36, 1, 1, "", "", "", 0));
    }
};

TEST_F(StorageQuota, GetPrintsQuotasThenDatabaseKeys)
{
    seed_groups();
    seed_disks();
    set_param("group_mode", 2);
    core.reply(REQ_QUOTA_GET, quota_answer(1, 2, {quota_entry(3, 100, 50, 10, 5), quota_entry(255, 7, 8, 9, 11)}));
    CgiResult r = get("/6208");
    EXPECT_TRUE(json_reply_is(
        r.out, R"({"enable":1,"quota_array":[)"
               R"({"channel":3,"video_used":10,"video_quota":100,"picture_used":5,"picture_quota":50},)"
               R"({"channel":255,"video_used":9,"video_quota":7,"picture_used":11,"picture_quota":8}],)" +
                   database_part(32, 2) + "}"));
    ASSERT_EQ(sent(REQ_QUOTA_GET).size(), 1u);
    EXPECT_EQ(sent(REQ_QUOTA_GET)[0].payload, "");
}

TEST_F(StorageQuota, EntryCountIsCutToTheEntriesHeld)
{
    seed_groups();
    seed_disks();
    set_param("max_cameras", 16);
    core.reply(REQ_QUOTA_GET, quota_answer(0, 5, {quota_entry(1, 2, 3, 4, 5), quota_entry(6, 7, 8, 9, 10)}));
    CgiResult r = get("/6208");
    EXPECT_TRUE(json_reply_is(
        r.out, R"({"enable":0,"quota_array":[)"
               R"({"channel":1,"video_used":4,"video_quota":2,"picture_used":5,"picture_quota":3},)"
               R"({"channel":6,"video_used":9,"video_quota":7,"picture_used":10,"picture_quota":8}],)" +
                   database_part(16, 0) + "}"));

    core.reply(REQ_QUOTA_GET, quota_answer(1, -1, {quota_entry(1, 2, 3, 4, 5)}));
    r = get("/6208");
    EXPECT_TRUE(json_reply_is(r.out, R"({"enable":1,"quota_array":[],)" + database_part(16, 0) + "}"));
}

std::string quota_request_bytes(int enable, std::vector<std::vector<int>> entries)
{
    quota_request q = zeroed<quota_request>();
    q.enable = enable;
    for (const std::vector<int>& e : entries) {
        quota_request_entry& w = q.entries[q.count++];
        w.channel = (uint8_t)e[0];
        w.video_quota = e[1];
        w.picture_quota = e[2];
    }
    return bytes_of(q);
}

TEST_F(StorageQuota, SetSendsEntries)
{
    core.reply(REQ_QUOTA_SET, int32s({0}));
    CgiResult r = post("/6209", R"({"enable":1,"quota_array":[{"channel":2,"video_quota":100,"picture_quota":20},)"
                                R"({"channel":63,"video_quota":5,"picture_quota":6}]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_EQ(sent(REQ_QUOTA_SET).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_QUOTA_SET)[0].payload, quota_request_bytes(1, {{2, 100, 20}, {63, 5, 6}})));
}

TEST_F(StorageQuota, TenEntriesSendEightWithCountEight)
{
    core.reply(REQ_QUOTA_SET, int32s({0}));
    std::string array;
    std::vector<std::vector<int>> want;
    for (int i = 0; i < 10; i++) {
        array += std::string(i ? "," : "") + "{\"channel\":" + std::to_string(i) + ",\"video_quota\":" +
                 std::to_string(10 * i) + ",\"picture_quota\":" + std::to_string(i + 1) + "}";
        if (i < 8)
            want.push_back({i, 10 * i, i + 1});
    }
    CgiResult r = post("/6209", "{\"enable\":1,\"quota_array\":[" + array + "]}");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_EQ(sent(REQ_QUOTA_SET).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_QUOTA_SET)[0].payload, quota_request_bytes(1, want)));
}

TEST_F(StorageQuota, SetWithoutArraySendsNoEntries)
{
    core.reply(REQ_QUOTA_SET, int32s({3}));
    CgiResult r = post("/6209", R"({"enable":0})");
    EXPECT_EQ(r.out, text_reply("Error"));
    EXPECT_TRUE(same_bytes(sent(REQ_QUOTA_SET).at(0).payload, quota_request_bytes(0, {})));
}

// ---- groups "/6210" -------------------------------------------------------------------

class StorageGroups : public StorageQuota {
protected:
    std::string changed(int i, const std::string& text)
    {
        return bytes_of(group_record(100 + i, text.substr(0, 64), "extra" + std::to_string(i)));
    }
    std::vector<int> codes_in_order()
    {
        std::vector<int> codes;
        for (const FakeRequest& r : sent_all())
            codes.push_back(r.code);
        return codes;
    }
};

TEST_F(StorageGroups, EnableWhileOffStoresModeAndSendsEachGroup)
{
    seed_groups();
    const std::string long_text(70, '1');
    CgiResult r = post("/6210", "{\"group_enable\":1,\"channel\":[\"1100\",\"0011\",\"" + long_text + "\"]}");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_APPLY, 1));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_SET, 3));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_MODE, 1));
    EXPECT_EQ(param("group_mode", -1), 1);
    EXPECT_EQ(codes_in_order(), (std::vector<int>{3442, 3436, 3436, 3436, 1307}));
    EXPECT_TRUE(same_bytes(sent(REQ_GROUP_MODE).at(0).payload, int32s({1})));
    std::vector<FakeRequest> g = sent(REQ_GROUP_SET);
    ASSERT_EQ(g.size(), 3u);
    EXPECT_TRUE(same_bytes(g[0].payload, changed(0, "1100")));
    EXPECT_TRUE(same_bytes(g[1].payload, changed(1, "0011")));
    EXPECT_TRUE(same_bytes(g[2].payload, changed(2, long_text)));
    EXPECT_EQ(sent(REQ_GROUP_APPLY).at(0).payload, "");
}

TEST_F(StorageGroups, EnableWhileOnKeepsModeAndSendsNoModeRequest)
{
    seed_groups();
    set_param("group_mode", 2);
    CgiResult r = post("/6210", R"({"group_enable":1,"channel":["1"]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_APPLY, 1));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_SET, 1));
    EXPECT_EQ(param("group_mode", -1), 2);
    EXPECT_EQ(codes_in_order(), (std::vector<int>{3436, 1307}));
    EXPECT_TRUE(same_bytes(sent(REQ_GROUP_SET).at(0).payload, changed(0, "1")));
}

TEST_F(StorageGroups, DisableStoresZeroAndSendsOnlyTheMode)
{
    seed_groups();
    set_param("group_mode", 2);
    CgiResult r = post("/6210", R"({"group_enable":0,"channel":["1"]})");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_MODE, 1));
    EXPECT_EQ(param("group_mode", -1), 0);
    EXPECT_TRUE(same_bytes(sent(REQ_GROUP_MODE).at(0).payload, int32s({0})));
    EXPECT_FALSE(core.wait_for(REQ_GROUP_APPLY, 1, 300));
    EXPECT_TRUE(sent(REQ_GROUP_SET).empty());
}

TEST_F(StorageGroups, EntriesBeyondSixteenGroupsAreNotSent)
{
    seed_groups();
    std::string array;
    for (int i = 0; i < 18; i++)
        array += std::string(i ? "," : "") + "\"g" + std::to_string(i) + "\"";
    CgiResult r = post("/6210", "{\"group_enable\":1,\"channel\":[" + array + "]}");
    EXPECT_EQ(r.out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_APPLY, 1));
    ASSERT_TRUE(core.wait_for(REQ_GROUP_SET, 16));
    std::vector<FakeRequest> g = sent(REQ_GROUP_SET);
    ASSERT_EQ(g.size(), 16u);
    for (int i = 0; i < 16; i++)
        EXPECT_TRUE(same_bytes(g[(size_t)i].payload, changed(i, "g" + std::to_string(i)))) << i;
}

TEST_F(StorageGroups, WithoutGroupEnableNothingHappens)
{
    set_param("group_mode", 2);
    for (const char* body : {R"({"channel":["1"]})", "{}", "not json", ""}) {
        CgiResult r = post("/6210", body);
        EXPECT_EQ(r.out, "") << body;
        EXPECT_TRUE(sent_all().empty()) << body;
        EXPECT_EQ(param("group_mode", -1), 2) << body;
    }
}

// ---- eSATA automatic backup "/6220", "/6221", "/6222" ----------------------------------

esata_auto_backup backup_record(int enable, const std::string& time, int stream, int file, int recycle,
                                const std::string& channel, int device, int port)
{
    esata_auto_backup b = zeroed<esata_auto_backup>();
    b.enable = enable;
    strncpy(b.backup_time, time.c_str(), sizeof b.backup_time - 1);
    b.stream_type = stream;
    b.file_type = file;
    b.recycle = recycle;
    strncpy(b.channel, channel.c_str(), sizeof b.channel - 1);
    b.device = device;
    b.port = port;
    return b;
}

class StorageEsataBackup : public StorageCgi {
protected:
    void seed(const esata_auto_backup& b)
    {
        ASSERT_EQ(write_esata_auto_backup(VXDB_MAIN, &b), 0);
        vxdb_close_all();
    }
    std::string stored()
    {
        vxdb_close_all();
        esata_auto_backup b;
        EXPECT_EQ(vxdb_read(VXDB_MAIN, kEsataKind, 0, &b), 0) << "no record stored";
        vxdb_close_all();
        return bytes_of(b);
    }
};

TEST_F(StorageEsataBackup, SettingsInDocumentedKeyOrder)
{
    esata_auto_backup b = backup_record(1, "02:30", 1, 2, 1, "1010", 3, 36);
    b.reserved = 9;
    seed(b);
    CgiResult r = get("/6220");
    EXPECT_TRUE(json_reply_is(r.out, R"({"enable":1,"streamType":1,"fileType":2,"recycle":1,"channel":"1010",)"
                                     R"("backupTime":"02:30","device":3,"port":36})"));
    EXPECT_TRUE(sent_all().empty());
}

TEST_F(StorageEsataBackup, SettingsWithoutRecordAreZero)
{
    CgiResult r = get("/6220");
    EXPECT_TRUE(json_reply_is(r.out, R"({"enable":0,"streamType":0,"fileType":0,"recycle":0,"channel":"",)"
                                     R"("backupTime":"","device":0,"port":0})"));
}

TEST_F(StorageEsataBackup, StopZeroRewritesTheRecordWithTextsCut)
{
    esata_auto_backup old = backup_record(0, "old", 9, 9, 9, "old", 9, 9);
    old.reserved = 9;
    seed(old);
    core.reply(REQ_ESATA_BACKUP_SET, int32s({0}));
    const std::string time(40, 't'), channel(70, '1');
    CgiResult r = post("/6221", "{\"stopBackup\":0,\"enable\":1,\"streamType\":2,\"fileType\":1,\"recycle\":1,"
                                "\"backupTime\":\"" + time + "\",\"channel\":\"" + channel +
                                    "\",\"device\":4,\"port\":12}");
    EXPECT_TRUE(json_reply_is(r.out, R"({"result":0})"));
    EXPECT_TRUE(same_bytes(stored(), bytes_of(backup_record(1, time.substr(0, 31), 2, 1, 1, channel.substr(0, 64), 4, 12))));
    ASSERT_EQ(sent(REQ_ESATA_BACKUP_SET).size(), 1u);
    EXPECT_EQ(sent(REQ_ESATA_BACKUP_SET)[0].payload, "");
}

TEST_F(StorageEsataBackup, StopZeroRebuildsFromTheBodyAlone)
{
    seed(backup_record(1, "01:00", 1, 1, 1, "11", 5, 6));
    core.reply(REQ_ESATA_BACKUP_SET, int32s({0}));
    CgiResult r = post("/6221", R"({"stopBackup":0,"enable":1})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"result":0})"));
    EXPECT_TRUE(same_bytes(stored(), bytes_of(backup_record(1, "", 0, 0, 0, "", 0, 0))));
}

TEST_F(StorageEsataBackup, StopOneLeavesTheRecordButStillAsks)
{
    esata_auto_backup old = backup_record(1, "01:00", 1, 2, 0, "0101", 5, 6);
    seed(old);
    core.reply(REQ_ESATA_BACKUP_SET, int32s({3}));
    CgiResult r = post("/6221", R"({"stopBackup":1,"enable":0,"streamType":2,"backupTime":"09:00","channel":"1","device":1,"port":1})");
    EXPECT_TRUE(json_reply_is(r.out, R"({"result":3})"));
    EXPECT_TRUE(same_bytes(stored(), bytes_of(old)));
    ASSERT_EQ(sent(REQ_ESATA_BACKUP_SET).size(), 1u);
    EXPECT_EQ(sent(REQ_ESATA_BACKUP_SET)[0].payload, "");
}

std::string backup_status(int status, const std::string& last, float percent, int capacity)
{
    esata_backup_status s = zeroed<esata_backup_status>();
    s.status = status;
    memcpy(s.last_time, last.data(), std::min(last.size(), sizeof s.last_time));
    s.percent = percent;
    s.capacity = capacity;
    return bytes_of(s);
}

TEST_F(StorageEsataBackup, StatusPercentHasOneDecimal)
{
    const struct {
        float percent;
        const char* text;
    } cases[] = {{45.26f, "45.3"}, {0.0f, "0.0"}, {100.0f, "100.0"}, {123456.7f, "123456."}};
    for (const auto& c : cases) {
        core.reply(REQ_ESATA_BACKUP_STATUS, backup_status(2, "2024-01-02 03:04:05", c.percent, 500));
        CgiResult r = get("/6222");
        EXPECT_TRUE(json_reply_is(r.out, std::string(R"({"status":2,"percent":")") + c.text +
                                             R"(","last_time":"2024-01-02 03:04:05","capacity":500})"))
            << c.text;
        ASSERT_EQ(sent(REQ_ESATA_BACKUP_STATUS).size(), 1u);
        EXPECT_EQ(sent(REQ_ESATA_BACKUP_STATUS)[0].payload, "");
    }
}

TEST_F(StorageEsataBackup, StatusTimeFillingItsField)
{
    const std::string last(32, '9');  // no NUL inside the record
    core.reply(REQ_ESATA_BACKUP_STATUS, backup_status(0, last, 1.0f, -1));
    CgiResult r = get("/6222");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":0,"percent":"1.0","last_time":")" + last + R"(","capacity":-1})"));
}

// ---- export disk "/6223", eSATA format "/6224", backup "/6225", "/6226" -------------------

std::string export_disks(std::vector<std::pair<int, int>> port_type)
{
    std::string out;
    for (const auto& pt : port_type) {
        export_disk_info d = zeroed<export_disk_info>();
        d.port = (uint8_t)pt.first;
        d.type = pt.second;
        out += bytes_of(d);
    }
    return out;
}

using StorageExport = StorageCgi;

TEST_F(StorageExport, FirstTypeFiveDiskIsTheAnswer)
{
    core.reply(REQ_EXPORT_DISKS, export_disks({{2, 3}, {9, 5}, {12, 5}}));
    CgiResult r = get("/6223");
    EXPECT_TRUE(json_reply_is(r.out, R"({"port":9,"result":0})"));
    ASSERT_EQ(sent(REQ_EXPORT_DISKS).size(), 1u);
    EXPECT_EQ(sent(REQ_EXPORT_DISKS)[0].payload, "");
}

TEST_F(StorageExport, NoTypeFiveDiskIsMinusOne)
{
    for (const std::string& answer : {export_disks({{2, 3}, {4, 1}}), std::string(),
                                      // a partial record is not read
                                      export_disks({{1, 1}}) + export_disks({{7, 5}}).substr(0, 160)}) {
        core.reply(REQ_EXPORT_DISKS, answer);
        CgiResult r = get("/6223");
        EXPECT_TRUE(json_reply_is(r.out, R"({"result":-1})")) << answer.size();
    }
}

using StorageEsataFormat = StorageCgi;

TEST_F(StorageEsataFormat, PortsZeroToThirtySixAreSent)
{
    const struct {
        int port;
        int word;
    } cases[] = {{0, 0}, {36, -2}, {17, 1}};
    for (const auto& c : cases) {
        core.reply(REQ_ESATA_FORMAT, int32s({c.word}));
        CgiResult r = post("/6224", "{\"port\":" + std::to_string(c.port) + "}");
        EXPECT_TRUE(json_reply_is(r.out, "{\"result\":" + std::to_string(c.word) + "}")) << c.port;
        ASSERT_EQ(sent(REQ_ESATA_FORMAT).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_ESATA_FORMAT)[0].payload, int32s({c.port})));
    }
}

TEST_F(StorageEsataFormat, BadPortOrBodyIsTheJsonErrorBody)
{
    for (const char* body : {R"({"port":37})", R"({"port":-1})", R"({"port":"x"})", "{}", "", "abc"}) {
        CgiResult r = post("/6224", body);
        EXPECT_EQ(r.out, kJsonError) << body;
        EXPECT_TRUE(sent_all().empty()) << body;
    }
    CgiResult r = get("/6224");
    EXPECT_EQ(r.out, kJsonError);
}

using StorageBackupWord = StorageCgi;

TEST_F(StorageBackupWord, StatusAndStopPrintTheirWord)
{
    core.reply(REQ_BACKUP_STATUS, int32s({3}));
    CgiResult r = get("/6225");
    EXPECT_TRUE(json_reply_is(r.out, R"({"status":3})"));
    ASSERT_EQ(sent(REQ_BACKUP_STATUS).size(), 1u);
    EXPECT_EQ(sent(REQ_BACKUP_STATUS)[0].payload, "");

    core.reply(REQ_BACKUP_STOP, int32s({-1}));
    r = post("/6226", "");
    EXPECT_TRUE(json_reply_is(r.out, R"({"result":-1})"));
    ASSERT_EQ(sent(REQ_BACKUP_STOP).size(), 1u);
    EXPECT_EQ(sent(REQ_BACKUP_STOP)[0].payload, "");
}

// ---- tables shared by several rows ----------------------------------------------------

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

class StorageNasResultWord : public StorageCgi, public ::testing::WithParamInterface<ResultWordRow> {};

TEST_P(StorageNasResultWord, ZeroIsOkOtherIsError)
{
    const ResultWordRow& row = GetParam();
    for (int word : {0, 9, -1}) {
        core.reply(row.code, int32s({word}));
        CgiResult r = post(row.path, row.body);
        EXPECT_EQ(r.out, text_reply(word ? "Error" : "OK")) << row.path << " word " << word;
        ASSERT_EQ(sent(row.code).size(), 1u) << row.path;
        EXPECT_TRUE(same_bytes(sent(row.code)[0].payload, row.request)) << row.path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageNasResultWord,
    ::testing::Values(ResultWordRow{"/6200", R"({"num":1,"port":[7]})", 3508, nas_list_bytes({7})},
                      ResultWordRow{"/6209", R"({"enable":1,"quota_array":[{"channel":1,"video_quota":2,"picture_quota":3}]})",
                                    3530, quota_request_bytes(1, {{1, 2, 3}})}));

struct RefusalRow {
    const char* path;
    const char* body;
};

void PrintTo(const RefusalRow& row, std::ostream* os)
{
    *os << row.path << " " << row.body;
}

class StorageNasRefusal : public StorageCgi, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(StorageNasRefusal, NoOutputNothingSent)
{
    const RefusalRow& row = GetParam();
    CgiResult r = post(row.path, row.body);
    EXPECT_EQ(r.out, "") << row.path << " " << row.body;
    EXPECT_TRUE(sent_all().empty()) << row.path << " " << row.body;
}

INSTANTIATE_TEST_SUITE_P(Storage, StorageNasRefusal,
                         ::testing::Values(RefusalRow{"/6200", "not json"}, RefusalRow{"/6201", "not json"},
                                           RefusalRow{"/6202", "not json"}, RefusalRow{"/6203", "not json"},
                                           RefusalRow{"/6204", "not json"}, RefusalRow{"/6209", "not json"},
                                           RefusalRow{"/6209", R"({"quota_array":[]})"},
                                           RefusalRow{"/6209", R"({"enable":"on"})"},
                                           RefusalRow{"/6221", "not json"}));

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

class StorageNasNoAnswer : public StorageCgi, public ::testing::WithParamInterface<NoAnswerRow> {};

TEST_P(StorageNasNoAnswer, PrintsTheErrorBody)
{
    const NoAnswerRow& row = GetParam();
    CgiResult r = post(row.path, row.body);
    EXPECT_EQ(r.out, row.error) << row.path << " " << row.body;
    EXPECT_EQ(sent(row.code).size(), 1u) << row.path;
}

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageNasNoAnswer,
    ::testing::Values(NoAnswerRow{"/6202", R"({"port":1,"serverAddr":"srv"})", 3440, kJsonError},
                      NoAnswerRow{"/6204", R"({"mode":1,"esata":0})", 3475, kJsonError},
                      NoAnswerRow{"/6205", "", 3431, kJsonError}, NoAnswerRow{"/6208", "", 3529, kJsonError},
                      NoAnswerRow{"/6209", R"({"enable":1})", 3530, kTextError},
                      NoAnswerRow{"/6221", R"({"stopBackup":1})", 1316, kJsonError},
                      NoAnswerRow{"/6222", "", 1317, kJsonError}, NoAnswerRow{"/6223", "", 3457, kJsonError},
                      NoAnswerRow{"/6224", R"({"port":3})", 3535, kJsonError},
                      NoAnswerRow{"/6225", "", 3536, kJsonError}, NoAnswerRow{"/6226", "", 3537, kJsonError}));

struct ShortAnswerRow {
    const char* path;
    const char* body;
    int code;
    std::string answer;
    std::string error;
};

void PrintTo(const ShortAnswerRow& row, std::ostream* os)
{
    *os << row.path << " " << row.body;
}

class StorageNasShortAnswer : public StorageCgi, public ::testing::WithParamInterface<ShortAnswerRow> {};

TEST_P(StorageNasShortAnswer, PrintsTheErrorBody)
{
    const ShortAnswerRow& row = GetParam();
    core.reply(row.code, row.answer);
    CgiResult r = post(row.path, row.body);
    EXPECT_EQ(r.out, row.error) << row.path << " " << row.answer.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Storage, StorageNasShortAnswer,
    ::testing::Values(ShortAnswerRow{"/6200", R"({"num":1,"port":[7]})", 3508, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6201", R"({"num":1,"port":[7]})", 3507, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6202", R"({"port":1,"serverAddr":"srv"})", 3440, int32s({3}), kJsonError},
                      ShortAnswerRow{"/6203", R"({"port":7,"type":3})", 3439, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6205", "", 3431, int32s({3}), kJsonError},
                      ShortAnswerRow{"/6208", "", 3529, int32s({1}), kJsonError},
                      ShortAnswerRow{"/6209", R"({"enable":1})", 3530, std::string(2, '\0'), kTextError},
                      ShortAnswerRow{"/6221", R"({"stopBackup":1})", 1316, std::string(2, '\0'), kJsonError},
                      ShortAnswerRow{"/6222", "", 1317, std::string(20, '\0'), kJsonError},
                      ShortAnswerRow{"/6224", R"({"port":3})", 3535, std::string(2, '\0'), kJsonError},
                      ShortAnswerRow{"/6225", "", 3536, std::string(2, '\0'), kJsonError},
                      ShortAnswerRow{"/6226", "", 3537, "", kJsonError}));

}  // namespace
