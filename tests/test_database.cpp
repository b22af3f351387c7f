// The configuration database on SQLite: parameters, records, transactions, two writers, file layout, the vxdb tool.
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/handler_test.h"

namespace {

const vxdb_kind kDisk = {"disk", 348, 16};

std::string pattern(size_t n, int seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * 31 + (size_t)seed * 17 + 5) & 0xff);
    return s;
}

class Database : public HandlerTest {
protected:
    // A statement on a separate plain SQLite connection: the first column of the first row.
    std::string sql(const char* text)
    {
        sqlite3* db = nullptr;
        sqlite3_open(root.at(VXDB_MAIN).c_str(), &db);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* st = nullptr;
        std::string out = "<none>";
        if (sqlite3_prepare_v2(db, text, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const char* blob = (const char*)sqlite3_column_blob(st, 0);
            out.assign(blob ? blob : "", (size_t)sqlite3_column_bytes(st, 0));
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }
    // A record and the read's result, "rc:bytes"; 0xAA where nothing was written.
    std::string read(const vxdb_kind& kind, int idx)
    {
        std::string out(kind.size, '\xAA');
        return std::to_string(vxdb_read(VXDB_MAIN, kind, idx, &out[0])) + ":" + out;
    }
    int write(const vxdb_kind& kind, int idx, const std::string& data)
    {
        return vxdb_write(VXDB_MAIN, kind, idx, data.data(), (int)data.size());
    }
    static std::string zeros(const vxdb_kind& kind) { return std::string(kind.size, '\0'); }
};

TEST_F(Database, FileAndTablesCreatedOnFirstUse)
{
    EXPECT_FALSE(root.exists(VXDB_MAIN));
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), 32);
    EXPECT_EQ(sql("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY name)"),
              "CREATE TABLE params (key TEXT PRIMARY KEY, value TEXT NOT NULL);CREATE TABLE records (kind TEXT NOT "
              "NULL, idx INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (kind, idx))");
    EXPECT_EQ(sql("PRAGMA journal_mode"), "wal");
}

TEST_F(Database, FileOfAnotherProgramGetsTheTablesOnFirstUse)
{
    sql("CREATE TABLE other (x)");  // the file exists, without our tables
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), 32);
    EXPECT_EQ(set_param_int(VXDB_MAIN, "max_cameras", 8), 0);
    EXPECT_EQ(sql("SELECT value FROM params WHERE key = 'max_cameras'"), "8");
    EXPECT_EQ(sql("SELECT count(*) FROM sqlite_master WHERE name IN ('params', 'records', 'other')"), "3");
}

TEST_F(Database, Parameters)
{
    char out[64];
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", -1), -1);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, sizeof out, "NVR"), -1);
    EXPECT_STREQ(out, "NVR");
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, sizeof out, nullptr), -1);
    EXPECT_STREQ(out, "");
    EXPECT_NE(check_param_key(VXDB_MAIN, "device_name"), 0);

    EXPECT_EQ(set_param_int(VXDB_MAIN, "max_cameras", -17), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), -17);
    EXPECT_EQ(sql("SELECT value || ' ' || typeof(value) FROM params WHERE key = 'max_cameras'"), "-17 text");
    EXPECT_EQ(set_param_value(VXDB_MAIN, "device_name", "front door NVR"), 0);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, sizeof out, "x"), 0);
    EXPECT_STREQ(out, "front door NVR");
    EXPECT_EQ(check_param_key(VXDB_MAIN, "device_name"), 0);
    EXPECT_EQ(add_param_value(VXDB_MAIN, "p2p_enable", "1"), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "p2p_enable", 0), 1);
    EXPECT_EQ(set_param_value(VXDB_MAIN, "n", "abc"), 0);  // ints are decimal text both ways
    EXPECT_EQ(get_param_int(VXDB_MAIN, "n", 9), 9);
    EXPECT_EQ(set_param_int(VXDB_MAIN, "n", 2147483647), 0);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "n", out, sizeof out, ""), 0);
    EXPECT_STREQ(out, "2147483647");

    memset(out, '#', sizeof out);  // cut to the room given, nothing written past it
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, 5, ""), 0);
    EXPECT_EQ(std::string(out, 6), std::string("fron\0#", 6));
    memset(out, '#', sizeof out);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "absent", out, 4, "0123456789"), -1);
    EXPECT_EQ(std::string(out, 5), std::string("012\0#", 5));
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, 0, ""), -1);

    EXPECT_EQ(set_param_int(VXDB_OEM, "max_cameras", 4), 0);  // another file keeps its own
    EXPECT_EQ(get_param_int(VXDB_OEM, "max_cameras", 32), 4);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), -17);
}

TEST_F(Database, RecordsExactBytesOrZeros)
{
    EXPECT_EQ(read(kDisk, 3), "1:" + zeros(kDisk));  // missing
    ASSERT_EQ(write(kDisk, 3, pattern(348, 1)), 0);
    ASSERT_EQ(write(kDisk, 3, pattern(348, 2)), 0);
    ASSERT_EQ(write(kDisk, 4, pattern(348, 4)), 0);
    EXPECT_EQ(read(kDisk, 3), "0:" + pattern(348, 2));
    EXPECT_EQ(sql("SELECT data FROM records WHERE kind = 'disk' AND idx = 3"), pattern(348, 2));

    // Wrong size, index or data: refused, nothing stored.
    for (auto [idx, size] : {std::pair{0, 347}, std::pair{0, 349}, std::pair{-1, 348}, std::pair{16, 348}})
        EXPECT_NE(write(kDisk, idx, pattern((size_t)size, 3)), 0) << idx << "/" << size;
    EXPECT_NE(vxdb_write(VXDB_MAIN, kDisk, 0, nullptr, 348), 0);
    EXPECT_EQ(sql("SELECT group_concat(idx) FROM records"), "3,4");
    EXPECT_EQ(read(kDisk, 16), "-1:" + zeros(kDisk));
    EXPECT_EQ(read(kDisk, -1), "-1:" + zeros(kDisk));
    sql("INSERT INTO records (kind, idx, data) VALUES ('disk', 5, x'0102')");
    EXPECT_NE(read(kDisk, 5).substr(0, 2), "0:");  // a blob of another size is not this record
    const std::string odd = read(kDisk, 5);
    EXPECT_EQ(odd.substr(odd.find(':') + 1), zeros(kDisk));

    EXPECT_EQ(vxdb_delete(VXDB_MAIN, kDisk, 4), 0);
    EXPECT_EQ(vxdb_delete(VXDB_MAIN, kDisk, 4), 0);  // already gone: fine
    EXPECT_EQ(read(kDisk, 4), "1:" + zeros(kDisk));
    EXPECT_EQ(read(kDisk, 3), "0:" + pattern(348, 2));
}

TEST_F(Database, TableReadAndRangeWrite)
{
    for (int idx : {0, 3, 15})
        ASSERT_EQ(write(kDisk, idx, pattern(348, idx)), 0);
    std::string all(16 * 348, '\x55'), four(5 * 348, '\x55');
    EXPECT_EQ(vxdb_read_table(VXDB_MAIN, kDisk, &all[0], 16), 3);
    for (int idx = 0; idx < 16; idx++)
        EXPECT_EQ(all.substr((size_t)idx * 348, 348), idx == 0 || idx == 3 || idx == 15 ? pattern(348, idx) : zeros(kDisk));
    EXPECT_EQ(vxdb_read_table(VXDB_MAIN, kDisk, &four[0], 4), 2);  // the first records only, no overrun
    EXPECT_EQ(four.substr(3 * 348), pattern(348, 3) + std::string(348, '\x55'));

    const vxdb_kind kind = {"range", 8, 10};
    ASSERT_EQ(vxdb_write_range(VXDB_MAIN, kind, 2, pattern(24, 7).data(), 3, 8), 0);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(read(kind, i), i >= 2 && i < 5 ? "0:" + pattern(24, 7).substr((size_t)(i - 2) * 8, 8) : "1:" + zeros(kind));
    // Past the end, the wrong size, or a failure inside the database: nothing written at all.
    EXPECT_NE(vxdb_write_range(VXDB_MAIN, kind, 8, pattern(32, 8).data(), 4, 8), 0);
    EXPECT_NE(vxdb_write_range(VXDB_MAIN, kind, 0, pattern(32, 8).data(), 4, 7), 0);
    sql("CREATE TRIGGER refuse BEFORE INSERT ON records WHEN NEW.idx = 8 BEGIN SELECT RAISE(ABORT, 'no'); END");
    EXPECT_NE(vxdb_write_range(VXDB_MAIN, kind, 5, pattern(40, 9).data(), 5, 8), 0);
    EXPECT_EQ(sql("SELECT count(*) FROM records WHERE kind = 'range'"), "3");
    sql("DROP TRIGGER refuse");
    EXPECT_EQ(vxdb_write_range(VXDB_MAIN, kind, 5, pattern(40, 9).data(), 5, 8), 0);
    EXPECT_EQ(sql("SELECT count(*) FROM records WHERE kind = 'range'"), "8");
}

TEST_F(Database, CopyToMaskPatchesTheChannel)
{
    const vxdb_kind kind = {"motion", 16, 64}, small = {"small", 16, 8};
    const std::string source = int32_bytes({2, 11, 22, 33});
    ASSERT_EQ(write(kind, 2, source), 0);
    ASSERT_EQ(vxdb_copy(VXDB_MAIN, kind, 2, 1ULL << 0 | 1ULL << 5 | 1ULL << 63, 0), 0);
    for (int idx = 0; idx < 64; idx++)
        EXPECT_EQ(read(kind, idx), idx == 0 || idx == 5 || idx == 63 ? "0:" + int32_bytes({idx, 11, 22, 33})
                                   : idx == 2                         ? "0:" + source : "1:" + zeros(kind));
    ASSERT_EQ(vxdb_copy(VXDB_MAIN, kind, 2, 1ULL << 7, -1), 0);  // no channel word: plain copies
    EXPECT_EQ(read(kind, 7), "0:" + source);
    EXPECT_NE(vxdb_copy(VXDB_MAIN, kind, 2, 1ULL << 8, 13), 0);  // the word must fit the record
    EXPECT_EQ(read(kind, 8), "1:" + zeros(kind));
    ASSERT_EQ(write(small, 0, source), 0);  // targets beyond the kind's count are left alone
    EXPECT_EQ(vxdb_copy(VXDB_MAIN, small, 0, 1ULL << 7 | 1ULL << 8 | 1ULL << 40, 4), 0);
    EXPECT_EQ(sql("SELECT group_concat(idx) FROM (SELECT idx FROM records WHERE kind = 'small' ORDER BY idx)"), "0,7");
}

// Two processes writing different records of one kind at once, from a file that does not exist yet.
// No fake core service here: forking while its thread holds a lock (the
// allocator's) could leave a writer hung in the child.
class DatabaseProcesses : public ::testing::Test {
protected:
    ScratchRoot root;
    void SetUp() override { root.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }
    static int write(const vxdb_kind& kind, int idx, const std::string& data)
    {
        return vxdb_write(VXDB_MAIN, kind, idx, data.data(), (int)data.size());
    }
};

TEST_F(DatabaseProcesses, TwoWritersLoseNothing)
{
    const vxdb_kind kind = {"race", 64, 1000};
    vxdb_close_all();
    pid_t pids[2];
    for (int w = 0; w < 2; w++)
        if ((pids[w] = fork()) == 0) {
            int failures = 0;
            for (int i = 0; i < 500; i++) {
                failures += write(kind, w * 500 + i, pattern(64, w * 500 + i)) != 0;
                failures += i % 50 == 0 && set_param_int(VXDB_MAIN, w ? "writer1" : "writer0", i) != 0;
            }
            vxdb_close_all();
            _exit(std::min(failures, 255));
        }
    for (pid_t pid : pids) {
        int status = 0;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "failed writes in one writer";
    }
    std::string all(1000 * 64, '\0'), want;
    for (int idx = 0; idx < 1000; idx++)
        want += pattern(64, idx);
    EXPECT_EQ(vxdb_read_table(VXDB_MAIN, kind, &all[0], 1000), 1000);
    EXPECT_TRUE(same_bytes(all, want));
    EXPECT_EQ(get_param_int(VXDB_MAIN, "writer0", -1), 450);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "writer1", -1), 450);
}

TEST_F(Database, VxdbToolDumpGetSet)
{
    ASSERT_EQ(set_param_value(VXDB_MAIN, "dump_key", "v1"), 0);
    ASSERT_EQ(write(kDisk, 3, pattern(348, 3)), 0);
    auto tool = [](const std::string& args) {  // output and exit code; NVRWEB_ROOT is inherited
        std::string out;
        FILE* p = popen((program_command("vxdb") + " " + args + " 2>/dev/null").c_str(), "r");
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        int st = pclose(p);
        return out + "exit " + std::to_string(WIFEXITED(st) ? WEXITSTATUS(st) : -1);
    };
    const std::string dump = tool("dump");
    EXPECT_NE(dump.find("param dump_key = v1\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("record disk[3] 348 bytes\n"), std::string::npos) << dump;
    EXPECT_EQ(dump.substr(dump.size() - 6), "exit 0");
    EXPECT_EQ(tool("get dump_key"), "v1\nexit 0");
    EXPECT_EQ(tool("get no_such_key"), "exit 1");
    EXPECT_EQ(tool("set tool_key 77"), "exit 0");
    EXPECT_EQ(get_param_int(VXDB_MAIN, "tool_key", 0), 77);
    EXPECT_EQ(tool("frobnicate"), "exit 2");
}

}  // namespace

namespace {

// With the database held past the busy timeout, a change is not answered as
// done: the error body, and nothing of it stored.
TEST_F(Database, WritesThatFailAreNotAnsweredOk)
{
    set_param("raidmode", 0);
    set_param("group_mode", 0);
    set_param("permission_update", 1);
    vxdb_close_all();
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(root.at(VXDB_MAIN).c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::pair<const char*, const char*> changes[] = {
        {"/6109", "1"}, {"/6101", R"({"portId":3,"property":1,"group":2})"}, {"/6210", R"({"group_enable":1})"},
        {"/1024", ""}};
    std::vector<std::thread> runs;
    std::vector<std::string> outs(4);
    for (size_t i = 0; i < 4; i++)
        runs.emplace_back([&, i] {
            CgiRequest r;
            r.method = "POST";
            r.path = changes[i].first;
            r.body = changes[i].second;
            r.content_type = "application/json";
            outs[i] = run_cgi(root.path(), r).out;
        });
    for (std::thread& t : runs)
        t.join();
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(outs[i], kTextError) << changes[i].first;
    EXPECT_EQ(param("raidmode", -1), 0);
    EXPECT_EQ(param("group_mode", -1), 0);
    EXPECT_EQ(param("permission_update", -1), 1);
    EXPECT_EQ(sql("SELECT count(*) FROM records WHERE kind = 'disk'"), "0");
}

}  // namespace
