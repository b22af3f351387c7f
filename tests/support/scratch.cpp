// Scratch device roots for tests.
#include "tests/support/scratch.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/vxsystem.h"

static void make_dirs(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

ScratchRoot::ScratchRoot()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/nvrweb-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        abort();
    root_ = buf.data();
    for (const char* dir : {"/tmp", "/var/run", "/mnt/nand/app", "/mnt/nand2", "/dev/shm", "/www"})
        make_dirs(root_ + dir);
}

ScratchRoot::~ScratchRoot()
{
    const char* const argv[] = {"rm", "-rf", root_.c_str(), nullptr};
    vx_exec(argv, nullptr);
}

void ScratchRoot::use_in_process() const
{
    setenv("NVRWEB_ROOT", root_.c_str(), 1);
}

bool ScratchRoot::exists(const std::string& device_path) const
{
    struct stat st;
    return lstat(at(device_path).c_str(), &st) == 0;
}

std::string ScratchRoot::read(const std::string& device_path) const
{
    std::ifstream in(at(device_path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void ScratchRoot::write(const std::string& device_path, const std::string& data) const
{
    std::string full = at(device_path);
    make_dirs(full.substr(0, full.rfind('/')));
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << data;
}

std::string ScratchRoot::list(const std::string& device_dir) const
{
    std::vector<std::string> names;
    if (DIR* d = opendir(at(device_dir).c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : " ") + n;
    return out;
}

std::string build_dir()
{
    return NVRWEB_BUILD_DIR;
}

std::string source_dir()
{
    return NVRWEB_SOURCE_DIR;
}

std::string emulator()
{
    return NVRWEB_EMULATOR;
}

std::vector<std::string> program_argv(const std::string& name)
{
    std::vector<std::string> words;
    const std::string e = emulator();
    for (size_t at = 0; at < e.size();) {
        size_t end = e.find(' ', at);
        if (end == std::string::npos)
            end = e.size();
        if (end > at)
            words.push_back(e.substr(at, end - at));
        at = end + 1;
    }
    words.push_back(build_dir() + "/" + name);
    return words;
}

std::string program_command(const std::string& name)
{
    std::string out;
    for (const std::string& w : program_argv(name))
        out += (out.empty() ? "'" : " '") + w + "'";
    return out;
}
