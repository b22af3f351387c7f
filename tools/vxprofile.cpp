// vxprofile: configuration export and import of the device database.
//   vxprofile -e DIR    writes DIR/config-YYYYmmddHHMMSS.cfg and names it in
//                       /tmp/.export_down_file
//   vxprofile -i FILE   replaces the database contents with FILE's
// Paths are device paths (mapped under NVRWEB_ROOT).
//
// File: "VXPROF1\n", the body length and the body's CRC-32 (zlib's; both
// uint32 little-endian), then the body: 'P', key length (u16), key, value
// length (u32), value for a parameter; 'R', kind length (u16), kind, index
// (i32), data length (u32), data for a record. The whole file is checked
// and parsed before the database is touched, and the import is one
// transaction: a file that is not a whole profile of ours changes nothing.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/wire.h"

namespace {

const char kMagic[8] = {'V', 'X', 'P', 'R', 'O', 'F', '1', '\n'};
enum : uint32_t { HEAD_SIZE = 16, MAX_PROFILE = 64u << 20 };
const char* const kExportPathFile = "/tmp/.export_down_file";
// The device's own identity: never taken from a profile, which may come
// from another unit or another firmware.
const char* const kIdentity[] = {"software_version", "hardware_version", "model", "serial"};

struct Entry {
    bool param;
    std::string name;  // key or kind
    int32_t idx;
    std::string data;
};

int fail(const char* what)
{
    fprintf(stderr, "vxprofile: %s\n", what);
    return 1;
}

void put_u16(std::string& out, uint16_t v) { out.append((const char*)&v, 2); }
void put_u32(std::string& out, uint32_t v) { out.append((const char*)&v, 4); }

bool put_entry(std::string& body, char type, const char* name, size_t name_len, const int32_t* idx,
               const void* data, size_t data_len)
{
    if (name_len > UINT16_MAX || data_len > MAX_PROFILE)
        return false;
    body += type;
    put_u16(body, (uint16_t)name_len);
    body.append(name, name_len);
    if (idx)
        body.append((const char*)idx, 4);
    put_u32(body, (uint32_t)data_len);
    body.append((const char*)data, data_len);
    return true;
}

sqlite3* open_database()
{
    sqlite3* db = nullptr;
    // vxdb creates the tables; opening through it first keeps one schema.
    check_param_key(VXDB_MAIN, "max_cameras");
    vxdb_close_all();
    if (sqlite3_open_v2(device_path(VXDB_MAIN).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    return db;
}

bool write_file(const std::string& path, const std::string& data)
{
    const std::string temp = path + ".part";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= (size_t)n;
    }
    const bool ok = left == 0 && fsync(fd) == 0;
    close(fd);
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

int export_profile(const char* dir)
{
    sqlite3* db = open_database();
    if (!db)
        return fail("cannot open the database");
    std::string body;
    bool ok = true;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT key, value FROM params ORDER BY key", -1, &st, nullptr) == SQLITE_OK)
        while (ok && sqlite3_step(st) == SQLITE_ROW)
            ok = put_entry(body, 'P', (const char*)sqlite3_column_text(st, 0), (size_t)sqlite3_column_bytes(st, 0),
                           nullptr, sqlite3_column_text(st, 1), (size_t)sqlite3_column_bytes(st, 1));
    else
        ok = false;
    sqlite3_finalize(st);
    st = nullptr;
    if (ok && sqlite3_prepare_v2(db, "SELECT kind, idx, data FROM records ORDER BY kind, idx", -1, &st, nullptr) ==
                  SQLITE_OK) {
        while (ok && sqlite3_step(st) == SQLITE_ROW) {
            const int32_t idx = sqlite3_column_int(st, 1);
            ok = put_entry(body, 'R', (const char*)sqlite3_column_text(st, 0), (size_t)sqlite3_column_bytes(st, 0),
                           &idx, sqlite3_column_blob(st, 2), (size_t)sqlite3_column_bytes(st, 2));
        }
    } else {
        ok = false;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (!ok || body.size() > MAX_PROFILE)
        return fail("cannot read the database");

    std::string file(kMagic, sizeof kMagic);
    put_u32(file, (uint32_t)body.size());
    put_u32(file, (uint32_t)crc32(0L, (const Bytef*)body.data(), (uInt)body.size()));
    file += body;

    char name[64];
    time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    strftime(name, sizeof name, "config-%Y%m%d%H%M%S.cfg", &tm);
    std::string device_file = dir;
    while (device_file.size() > 1 && device_file.back() == '/')
        device_file.pop_back();
    device_file += "/" + std::string(name);
    if (!write_file(device_path(device_file.c_str()), file))
        return fail("cannot write the profile");
    if (!write_file(device_path(kExportPathFile), device_file))
        return fail("cannot write the export path file");
    printf("%s\n", device_file.c_str());
    return 0;
}

bool read_whole(const char* path, std::string* out)
{
    int fd = open(path, O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= (off_t)MAX_PROFILE;
    if (ok) {
        out->resize((size_t)st.st_size);
        size_t got = 0;
        while (got < out->size()) {
            ssize_t n = read(fd, &(*out)[got], out->size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += (size_t)n;
        }
        ok = got == out->size();
    }
    close(fd);
    return ok;
}

// Takes n bytes from the body at *at, when it holds them.
bool take(const std::string& body, size_t* at, size_t n, std::string* out)
{
    if (n > body.size() - *at)
        return false;
    out->assign(body, *at, n);
    *at += n;
    return true;
}

template <typename T>
bool take_value(const std::string& body, size_t* at, T* out)
{
    std::string bytes;
    if (!take(body, at, sizeof(T), &bytes))
        return false;
    memcpy(out, bytes.data(), sizeof(T));
    return true;
}

bool parse_profile(const std::string& file, std::vector<Entry>* entries)
{
    uint32_t length = 0, crc = 0;
    if (file.size() < HEAD_SIZE || memcmp(file.data(), kMagic, sizeof kMagic) != 0)
        return false;
    memcpy(&length, file.data() + 8, 4);
    memcpy(&crc, file.data() + 12, 4);
    const std::string body = file.substr(HEAD_SIZE);
    if (length != body.size() || crc != (uint32_t)crc32(0L, (const Bytef*)body.data(), (uInt)body.size()))
        return false;
    size_t at = 0;
    while (at < body.size()) {
        Entry e;
        char type = body[at++];
        uint16_t name_len = 0;
        uint32_t data_len = 0;
        e.param = type == 'P';
        e.idx = 0;
        if ((type != 'P' && type != 'R') || !take_value(body, &at, &name_len) || name_len == 0 ||
            !take(body, &at, name_len, &e.name) || (!e.param && !take_value(body, &at, &e.idx)) ||
            !take_value(body, &at, &data_len) || !take(body, &at, data_len, &e.data))
            return false;
        if (e.name.find('\0') != std::string::npos || (e.param && e.data.find('\0') != std::string::npos))
            return false;
        entries->push_back(e);
    }
    return true;
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool identity_key(const std::string& key)
{
    for (const char* k : kIdentity)
        if (key == k)
            return true;
    return false;
}

bool insert(sqlite3* db, const Entry& e)
{
    sqlite3_stmt* st = nullptr;
    const char* sql = e.param ? "INSERT OR REPLACE INTO params (key, value) VALUES (?, ?)"
                              : "INSERT OR REPLACE INTO records (kind, idx, data) VALUES (?, ?, ?)";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        return false;
    sqlite3_bind_text(st, 1, e.name.data(), (int)e.name.size(), SQLITE_STATIC);
    if (e.param) {
        sqlite3_bind_text(st, 2, e.data.data(), (int)e.data.size(), SQLITE_STATIC);
    } else {
        sqlite3_bind_int(st, 2, e.idx);
        sqlite3_bind_blob(st, 3, e.data.data(), (int)e.data.size(), SQLITE_STATIC);
    }
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    return ok;
}

int import_profile(const char* device_file)
{
    std::string file;
    std::vector<Entry> entries;
    if (!read_whole(device_path(device_file).c_str(), &file) || !parse_profile(file, &entries))
        return fail("not a configuration profile of this device");
    sqlite3* db = open_database();
    if (!db)
        return fail("cannot open the database");
    bool ok = exec(db, "BEGIN IMMEDIATE");
    // The identity as it is now, kept across the import.
    std::vector<Entry> identity;
    sqlite3_stmt* st = nullptr;
    if (ok && sqlite3_prepare_v2(db, "SELECT key, value FROM params", -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            Entry e{true, (const char*)sqlite3_column_text(st, 0), 0,
                    std::string((const char*)sqlite3_column_text(st, 1), (size_t)sqlite3_column_bytes(st, 1))};
            if (identity_key(e.name))
                identity.push_back(e);
        }
    } else {
        ok = false;
    }
    sqlite3_finalize(st);
    ok = ok && exec(db, "DELETE FROM params") && exec(db, "DELETE FROM records");
    for (size_t i = 0; ok && i < entries.size(); i++)
        if (!(entries[i].param && identity_key(entries[i].name)))
            ok = insert(db, entries[i]);
    for (size_t i = 0; ok && i < identity.size(); i++)
        ok = insert(db, identity[i]);
    ok = ok && exec(db, "COMMIT");
    if (!ok)
        exec(db, "ROLLBACK");
    sqlite3_close(db);
    return ok ? 0 : fail("the database refused the profile; nothing changed");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "-e") == 0)
        return export_profile(argv[2]);
    if (argc == 3 && strcmp(argv[1], "-i") == 0)
        return import_profile(argv[2]);
    fprintf(stderr, "usage: vxprofile -e DIR | vxprofile -i FILE\n");
    return 2;
}
