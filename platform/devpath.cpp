// Device path mapping under NVRWEB_ROOT, and names kept inside their directory.
#include "platform/devpath.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

const char* device_root()
{
    const char* root = std::getenv("NVRWEB_ROOT");
    return root ? root : "";
}

const char* device_form(const char* mapped)
{
    const size_t n = strlen(device_root());
    return strncmp(mapped, device_root(), n) == 0 ? mapped + n : mapped;
}

std::string device_path(const char* path)
{
    std::string out(device_root());
    if (path)
        out += path;
    return out;
}

// realpath() into a std::string; false when it does not resolve.
static bool resolved(const std::string& path, std::string* out)
{
    char buf[PATH_MAX];
    if (!realpath(path.c_str(), buf))
        return false;
    *out = buf;
    return true;
}

// `dir` here is already mapped.
static bool mapped_entry(const std::string& dir, const char* name, size_t len, std::string* out)
{
    if (len == 0 || memchr(name, '/', len) || (len == 1 && name[0] == '.') ||
        (len == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path.append(name, len);
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // A link may stay: only where it leads is judged, fully resolved.
        std::string target, base;
        if (!resolved(path, &target) || !resolved(dir, &base))
            return false;
        if (base != "/")
            base += '/';
        if (target.compare(0, base.size(), base) != 0 || target.size() == base.size())
            return false;
    }
    *out = path;
    return true;
}

bool path_in_directory(const char* dir, const char* name, std::string* out)
{
    if (!dir || !name)
        return false;
    return mapped_entry(device_path(dir), name, strlen(name), out);
}

bool path_below_directory(const char* dir, const char* path, std::string* out)
{
    if (!dir || !path)
        return false;
    const size_t dlen = strlen(dir);
    // "/tmpx/a" is not below "/tmp".
    if (dlen == 0 || strncmp(path, dir, dlen) != 0 || (dir[dlen - 1] != '/' && path[dlen] != '/'))
        return false;
    std::string at = device_path(dir);
    const char* p = path + dlen;
    if (*p == '/')
        p++;
    if (!*p)
        return false;
    for (;;) {
        size_t len = strcspn(p, "/");
        // Each step is judged inside the directory reached so far, so a link
        // in the middle cannot lead out either.
        if (!mapped_entry(at, p, len, &at))
            return false;
        if (!p[len])
            break;
        p += len + 1;
    }
    *out = at;
    return true;
}
