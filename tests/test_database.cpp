// The configuration database on SQLite: parameters, records, transactions, two writers, file layout, the vxdb tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/vxdb.h"
#include "tests/support/scratch.h"

namespace {

const vxdb_kind kDisk = {"disk", 348, 16};

std::string pattern(size_t n, int seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * 31 + (size_t)seed * 17 + 5) & 0xff);
    return s;
}

std::string run_command(const std::string& command, int* status)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int st = pclose(p);
    *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

class Database : public ::testing::Test {
protected:
    void SetUp() override { root_.use_in_process(); }
    void TearDown() override { vxdb_close_all(); }

    // A second, plain SQLite connection to the main file.
    sqlite3* open_plain()
    {
        sqlite3* db = nullptr;
        sqlite3_open(root_.at(VXDB_MAIN).c_str(), &db);
        sqlite3_busy_timeout(db, 5000);
        return db;
    }
    std::string scalar(const char* sql)
    {
        sqlite3* db = open_plain();
        sqlite3_stmt* st = nullptr;
        std::string out = "<none>";
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const void* blob = sqlite3_column_blob(st, 0);
            out.assign(blob ? (const char*)blob : "", (size_t)sqlite3_column_bytes(st, 0));
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }
    bool exec(const char* sql)
    {
        sqlite3* db = open_plain();
        bool ok = sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return ok;
    }

    ScratchRoot root_;
};

TEST_F(Database, FileAndTablesCreatedOnFirstUse)
{
    EXPECT_FALSE(root_.exists(VXDB_MAIN));
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), 32);
    EXPECT_TRUE(root_.exists(VXDB_MAIN));
    EXPECT_EQ(scalar("SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_master "
                     "WHERE type = 'table' ORDER BY name)"),
              "params,records");
    EXPECT_EQ(scalar("PRAGMA journal_mode"), "wal");
}

TEST_F(Database, MissingParametersGiveTheirDefaults)
{
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), 32);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", -1), -1);
    char out[16];
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, sizeof out, "NVR"), -1);
    EXPECT_STREQ(out, "NVR");
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, sizeof out, nullptr), -1);
    EXPECT_STREQ(out, "");
    EXPECT_NE(check_param_key(VXDB_MAIN, "device_name"), 0);
}

TEST_F(Database, ParametersRoundTrip)
{
    EXPECT_EQ(set_param_int(VXDB_MAIN, "max_cameras", 16), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), 16);
    EXPECT_EQ(set_param_int(VXDB_MAIN, "max_cameras", -17), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), -17);
    EXPECT_EQ(scalar("SELECT value FROM params WHERE key = 'max_cameras'"), "-17");
    EXPECT_EQ(scalar("SELECT typeof(value) FROM params WHERE key = 'max_cameras'"), "text");

    EXPECT_EQ(set_param_value(VXDB_MAIN, "device_name", "front door NVR"), 0);
    char out[64];
    EXPECT_EQ(get_param_value(VXDB_MAIN, "device_name", out, sizeof out, "x"), 0);
    EXPECT_STREQ(out, "front door NVR");
    EXPECT_EQ(check_param_key(VXDB_MAIN, "device_name"), 0);

    // Ints are decimal text both ways.
    EXPECT_EQ(set_param_value(VXDB_MAIN, "n", "42"), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "n", 0), 42);
    EXPECT_EQ(set_param_value(VXDB_MAIN, "n", "abc"), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "n", 9), 9);
    EXPECT_EQ(set_param_int(VXDB_MAIN, "n", 2147483647), 0);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "n", out, sizeof out, ""), 0);
    EXPECT_STREQ(out, "2147483647");

    // Another database file keeps its own parameters.
    EXPECT_EQ(set_param_int(VXDB_OEM, "max_cameras", 4), 0);
    EXPECT_EQ(get_param_int(VXDB_OEM, "max_cameras", 32), 4);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "max_cameras", 32), -17);
    EXPECT_TRUE(root_.exists(VXDB_OEM));
}

TEST_F(Database, AddParamAfterCheck)
{
    ASSERT_NE(check_param_key(VXDB_MAIN, "p2p_enable"), 0);
    EXPECT_EQ(add_param_value(VXDB_MAIN, "p2p_enable", "1"), 0);
    EXPECT_EQ(check_param_key(VXDB_MAIN, "p2p_enable"), 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "p2p_enable", 0), 1);
}

TEST_F(Database, ParamValueCutToSize)
{
    ASSERT_EQ(set_param_value(VXDB_MAIN, "k", "abcdefghij"), 0);
    char out[8];
    memset(out, '#', sizeof out);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "k", out, 5, ""), 0);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(out[5], '#');
    memset(out, '#', sizeof out);
    EXPECT_EQ(get_param_value(VXDB_MAIN, "absent", out, 4, "0123456789"), -1);
    EXPECT_STREQ(out, "012");
    EXPECT_EQ(out[4], '#');
    EXPECT_EQ(get_param_value(VXDB_MAIN, "k", out, 0, ""), -1);
}

TEST_F(Database, MissingRecordReadsZeros)
{
    std::string out(348, '\xAA');
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, 3, &out[0]), 1);
    EXPECT_EQ(out, std::string(348, '\0'));
}

TEST_F(Database, RecordRoundTripExactBytes)
{
    const std::string rec = pattern(348, 1);
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kDisk, 3, rec.data(), 348), 0);
    std::string out(348, '\0');
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, 3, &out[0]), 0);
    EXPECT_EQ(out, rec);
    EXPECT_EQ(scalar("SELECT data FROM records WHERE kind = 'disk' AND idx = 3"), rec);
    // Overwrite.
    const std::string rec2 = pattern(348, 2);
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kDisk, 3, rec2.data(), 348), 0);
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, 3, &out[0]), 0);
    EXPECT_EQ(out, rec2);
    EXPECT_EQ(scalar("SELECT count(*) FROM records"), "1");
}

TEST_F(Database, WrongSizeOrIndexRefused)
{
    ASSERT_EQ(get_param_int(VXDB_MAIN, "create", 0), 0);  // makes the file and tables
    const std::string big = pattern(349, 3);
    EXPECT_NE(vxdb_write(VXDB_MAIN, kDisk, 0, big.data(), 347), 0);
    EXPECT_NE(vxdb_write(VXDB_MAIN, kDisk, 0, big.data(), 349), 0);
    EXPECT_NE(vxdb_write(VXDB_MAIN, kDisk, -1, big.data(), 348), 0);
    EXPECT_NE(vxdb_write(VXDB_MAIN, kDisk, 16, big.data(), 348), 0);
    EXPECT_NE(vxdb_write(VXDB_MAIN, kDisk, 0, nullptr, 348), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM records"), "0");

    std::string out(348, '\xAA');
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, 16, &out[0]), -1);
    EXPECT_EQ(out, std::string(348, '\0'));
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, -1, &out[0]), -1);

    // A stored blob of another size is not this record.
    ASSERT_TRUE(exec("INSERT INTO records (kind, idx, data) VALUES ('disk', 5, x'0102')"));
    out.assign(348, '\xAA');
    EXPECT_NE(vxdb_read(VXDB_MAIN, kDisk, 5, &out[0]), 0);
    EXPECT_EQ(out, std::string(348, '\0'));
}

TEST_F(Database, TableRead)
{
    for (int idx : {0, 3, 15})
        ASSERT_EQ(vxdb_write(VXDB_MAIN, kDisk, idx, pattern(348, idx).data(), 348), 0);
    std::vector<char> all(16 * 348, '\x55');
    EXPECT_EQ(vxdb_read_table(VXDB_MAIN, kDisk, all.data(), 16), 3);
    for (int idx = 0; idx < 16; idx++) {
        std::string rec(all.data() + idx * 348, 348);
        if (idx == 0 || idx == 3 || idx == 15)
            EXPECT_EQ(rec, pattern(348, idx)) << idx;
        else
            EXPECT_EQ(rec, std::string(348, '\0')) << idx;
    }
    // A smaller array takes the first records only and is not overrun.
    std::vector<char> four(5 * 348, '\x55');
    EXPECT_EQ(vxdb_read_table(VXDB_MAIN, kDisk, four.data(), 4), 2);
    EXPECT_EQ(std::string(four.data() + 3 * 348, 348), pattern(348, 3));
    EXPECT_EQ(std::string(four.data() + 4 * 348, 348), std::string(348, '\x55'));
}

TEST_F(Database, WriteRange)
{
    const vxdb_kind kind = {"range", 8, 10};
    std::string three = pattern(24, 7);
    ASSERT_EQ(vxdb_write_range(VXDB_MAIN, kind, 2, three.data(), 3, 8), 0);
    std::string out(8, '\0');
    for (int i = 0; i < 10; i++) {
        int rc = vxdb_read(VXDB_MAIN, kind, i, &out[0]);
        if (i >= 2 && i < 5) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(out, three.substr((size_t)(i - 2) * 8, 8));
        } else {
            EXPECT_EQ(rc, 1) << i;
        }
    }
    // Past the end or the wrong size: nothing written at all.
    std::string four = pattern(32, 8);
    EXPECT_NE(vxdb_write_range(VXDB_MAIN, kind, 8, four.data(), 4, 8), 0);
    EXPECT_NE(vxdb_write_range(VXDB_MAIN, kind, 0, four.data(), 4, 7), 0);
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kind, 8, &out[0]), 1);
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kind, 0, &out[0]), 1);
}

TEST_F(Database, WriteRangeIsOneTransaction)
{
    const vxdb_kind kind = {"atomic", 4, 10};
    ASSERT_EQ(get_param_int(VXDB_MAIN, "create", 0), 0);  // makes the file and tables
    // The fourth insert fails inside the database.
    ASSERT_TRUE(exec("CREATE TRIGGER refuse BEFORE INSERT ON records "
                     "WHEN NEW.kind = 'atomic' AND NEW.idx = 3 BEGIN SELECT RAISE(ABORT, 'no'); END"));
    std::string five = pattern(20, 9);
    EXPECT_NE(vxdb_write_range(VXDB_MAIN, kind, 0, five.data(), 5, 4), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM records WHERE kind = 'atomic'"), "0");
    // Without the failure the same call stores all five.
    ASSERT_TRUE(exec("DROP TRIGGER refuse"));
    EXPECT_EQ(vxdb_write_range(VXDB_MAIN, kind, 0, five.data(), 5, 4), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM records WHERE kind = 'atomic'"), "5");
}

TEST_F(Database, CopyToMaskPatchesTheChannel)
{
    const vxdb_kind kind = {"motion", 16, 64};
    const int32_t source[4] = {2, 11, 22, 33};
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kind, 2, source, 16), 0);
    const uint64_t mask = (1ULL << 0) | (1ULL << 5) | (1ULL << 63);
    ASSERT_EQ(vxdb_copy(VXDB_MAIN, kind, 2, mask, 0), 0);
    for (int idx = 0; idx < 64; idx++) {
        int32_t got[4] = {-1, -1, -1, -1};
        int rc = vxdb_read(VXDB_MAIN, kind, idx, got);
        if (idx == 0 || idx == 5 || idx == 63) {
            EXPECT_EQ(rc, 0) << idx;
            EXPECT_EQ(got[0], idx);
            EXPECT_EQ(got[1], 11);
            EXPECT_EQ(got[3], 33);
        } else if (idx == 2) {
            EXPECT_EQ(got[0], 2);  // the source is unchanged
        } else {
            EXPECT_EQ(rc, 1) << idx;
        }
    }

    // No channel word: plain copies. The offset must fit the record.
    ASSERT_EQ(vxdb_copy(VXDB_MAIN, kind, 2, 1ULL << 7, -1), 0);
    int32_t got[4];
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kind, 7, got), 0);
    EXPECT_EQ(got[0], 2);
    EXPECT_NE(vxdb_copy(VXDB_MAIN, kind, 2, 1ULL << 8, 13), 0);
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kind, 8, got), 1);

    // Targets beyond the kind's count are left alone.
    const vxdb_kind small = {"small", 16, 8};
    ASSERT_EQ(vxdb_write(VXDB_MAIN, small, 0, source, 16), 0);
    EXPECT_EQ(vxdb_copy(VXDB_MAIN, small, 0, (1ULL << 7) | (1ULL << 8) | (1ULL << 40), 4), 0);
    EXPECT_EQ(scalar("SELECT group_concat(idx, ',') FROM (SELECT idx FROM records WHERE kind = 'small' "
                     "ORDER BY idx)"),
              "0,7");
}

TEST_F(Database, DeleteRecord)
{
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kDisk, 4, pattern(348, 4).data(), 348), 0);
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kDisk, 5, pattern(348, 5).data(), 348), 0);
    EXPECT_EQ(vxdb_delete(VXDB_MAIN, kDisk, 4), 0);
    std::string out(348, '\x11');
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, 4, &out[0]), 1);
    EXPECT_EQ(out, std::string(348, '\0'));
    EXPECT_EQ(vxdb_read(VXDB_MAIN, kDisk, 5, &out[0]), 0);
    EXPECT_EQ(vxdb_delete(VXDB_MAIN, kDisk, 4), 0);  // already gone: fine
}

// Two processes writing different records of one kind at once, from a
// file that does not exist yet.
TEST_F(Database, TwoWritersLoseNothing)
{
    const vxdb_kind kind = {"race", 64, 1000};
    vxdb_close_all();
    pid_t pids[2];
    for (int w = 0; w < 2; w++) {
        pids[w] = fork();
        ASSERT_GE(pids[w], 0);
        if (pids[w] == 0) {
            int failures = 0;
            for (int i = 0; i < 500; i++) {
                int idx = w * 500 + i;
                std::string rec = pattern(64, idx);
                if (vxdb_write(VXDB_MAIN, kind, idx, rec.data(), 64) != 0)
                    failures++;
                if (i % 50 == 0 && set_param_int(VXDB_MAIN, w ? "writer1" : "writer0", i) != 0)
                    failures++;
            }
            vxdb_close_all();
            _exit(failures > 255 ? 255 : failures);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed writes in one writer";
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM records WHERE kind = 'race'"), "1000");
    std::vector<char> all(1000 * 64);
    EXPECT_EQ(vxdb_read_table(VXDB_MAIN, kind, all.data(), 1000), 1000);
    int wrong = 0;
    for (int idx = 0; idx < 1000; idx++)
        if (std::string(all.data() + idx * 64, 64) != pattern(64, idx))
            wrong++;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "writer0", -1), 450);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "writer1", -1), 450);
}

TEST_F(Database, SqliteShellSeesTheTables)
{
    if (access("/usr/bin/sqlite3", X_OK) != 0)
        GTEST_SKIP() << "sqlite3 shell not installed";
    ASSERT_EQ(set_param_int(VXDB_MAIN, "max_cameras", 8), 0);
    int status = 0;
    std::string tables = run_command("/usr/bin/sqlite3 '" + root_.at(VXDB_MAIN) + "' .tables", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(tables.find("params"), std::string::npos) << tables;
    EXPECT_NE(tables.find("records"), std::string::npos) << tables;
    std::string schema = run_command("/usr/bin/sqlite3 '" + root_.at(VXDB_MAIN) + "' .schema", &status);
    EXPECT_NE(schema.find("params (key TEXT PRIMARY KEY, value TEXT NOT NULL)"), std::string::npos) << schema;
    EXPECT_NE(schema.find("records (kind TEXT NOT NULL, idx INTEGER NOT NULL, data BLOB NOT NULL, "
                          "PRIMARY KEY (kind, idx))"),
              std::string::npos)
        << schema;
    std::string value = run_command(
        "/usr/bin/sqlite3 '" + root_.at(VXDB_MAIN) + "' \"SELECT value FROM params WHERE key='max_cameras'\"",
        &status);
    EXPECT_EQ(value, "8\n");
}

TEST_F(Database, VxdbToolDumpGetSet)
{
    ASSERT_EQ(set_param_value(VXDB_MAIN, "dump_key", "v1"), 0);
    ASSERT_EQ(vxdb_write(VXDB_MAIN, kDisk, 3, pattern(348, 3).data(), 348), 0);
    const std::string tool = build_dir() + "/vxdb";
    int status = -1;
    std::string dump = run_command(tool + " dump", &status);  // NVRWEB_ROOT is inherited
    EXPECT_EQ(status, 0);
    EXPECT_NE(dump.find("param dump_key = v1\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("record disk[3] 348 bytes\n"), std::string::npos) << dump;

    EXPECT_EQ(run_command(tool + " get dump_key", &status), "v1\n");
    EXPECT_EQ(status, 0);
    run_command(tool + " get no_such_key 2>/dev/null", &status);
    EXPECT_EQ(status, 1);
    run_command(tool + " set tool_key 77", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(get_param_int(VXDB_MAIN, "tool_key", 0), 77);
    run_command(tool + " frobnicate 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
