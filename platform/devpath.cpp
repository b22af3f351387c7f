// Device path mapping under NVRWEB_ROOT.
#include "platform/devpath.h"

#include <cstdlib>
#include <cstring>

const char* device_root()
{
    const char* root = std::getenv("NVRWEB_ROOT");
    return root ? root : "";
}

std::string device_path(const char* path)
{
    std::string out(device_root());
    if (path)
        out += path;
    return out;
}

bool path_is_inside(const std::string& path, const char* dir)
{
    std::string prefix = device_path(dir);
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return false;
    const char* name = path.c_str() + prefix.size();
    if (std::strchr(name, '/'))
        return false;
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}
