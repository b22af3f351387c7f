#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frontend/modules.h"
#include "platform/vxsocket.h"

namespace {

std::string g_root;

int remove_entry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

void remove_root()
{
    if (!g_root.empty())
        nftw(g_root.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

void make_dirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

}  // namespace

void fuzz_setup()
{
    if (!g_root.empty())
        return;
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/nvrweb-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        abort();
    g_root = pattern;
    for (const char* dir : {"/tmp", "/var/run", "/mnt/nand/app", "/mnt/nand2", "/dev/shm", "/www"})
        make_dirs(g_root + dir);
    setenv("NVRWEB_ROOT", g_root.c_str(), 1);
    setenv("TZ", "UTC", 1);
    // No core service listens: a printer that asks again gives up at once.
    setenv("NVRWEB_IPC_MAX_STEPS", "1", 1);
    setenv("NVRWEB_IPC_MAX_SENDS", "1", 1);
    atexit(remove_root);
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
        dup2(null_fd, 1);
        close(null_fd);
    }
}

const std::string& fuzz_root()
{
    return g_root;
}

std::vector<std::string> fuzz_list(const char* device_dir)
{
    std::vector<std::string> names;
    DIR* d = opendir((g_root + device_dir).c_str());
    if (!d)
        return names;
    while (struct dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

void fuzz_clear(const char* device_dir)
{
    for (const std::string& name : fuzz_list(device_dir)) {
        const std::string path = g_root + device_dir + "/" + name;
        nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
}

void fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

std::vector<const IpcResponse*> fuzz_response_rows()
{
    std::vector<const IpcResponse*> rows;
    for (const WebModulePart* const* p = web_module_parts(); *p; p++)
        for (int i = 0; i < (*p)->response_count; i++)
            rows.push_back(&(*p)->responses[i]);
    return rows;
}

const IpcResponse* fuzz_response_row(int code)
{
    for (const IpcResponse* row : fuzz_response_rows())
        if (row->code == code)
            return row;
    return nullptr;
}

bool fuzz_dispatch(const IpcResponse& row, const char* payload, int length)
{
    // Larger than any handler's per-request state; 8-byte aligned.
    static uint64_t context[8192];
    memset(context, 0, sizeof context);
    g_callback_done = 0;
    cgi_ipc_set_in_flight(row.request ? row.request : row.code - 5000);
    int32_t header[8] = {};
    header[VX_HDR_CODE] = row.code;
    header[VX_HDR_LENGTH] = length;
    static const char empty[1] = {0};
    return cgi_dispatch_response(&row, 1, context, header, payload ? payload : empty);
}
