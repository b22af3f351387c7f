// Packet capture: tcpdump started in the background on one interface, stopped
// by name, and its files served as a tar archive. Every request field is
// checked and passed as one argument: nothing here goes through a shell.
#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/json_util.h"
#include "core/reply.h"
#include "core/request.h"
#include "modules/state/state.h"
#include "platform/devpath.h"
#include "platform/devproc.h"
#include "platform/netconf.h"
#include "platform/netif.h"
#include "platform/vxsystem.h"

namespace {

#define CAPTURE_RESOURCES(X) \
    X("/8005", on_start_packet_capture, "start a packet capture on an interface into a directory") \
    X("/8006", on_stop_packet_capture, "stop the packet capture") \
    X("/8007", on_download_packet_capture, "download a capture's files as a tar archive")

CAPTURE_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kCaptureResources[] = {CAPTURE_RESOURCES(WEB_RESOURCE_ROW)};

const char kCapturePrefix[] = "rvpcap-";
enum {
    CAPTURE_STAMP_DIGITS = 14,  // %Y%m%d%H%M%S
    MONITOR_SECONDS = 300,      // the watchdog ends a forgotten capture
    STOP_WAIT_MS = 3000,        // a stopped capture closes its file within this
    TAR_BLOCK = 512,
};

bool all_of(const char* text, const char* extra)
{
    for (; *text; text++)
        if (!isalnum((unsigned char)*text) && !strchr(extra, *text))
            return false;
    return true;
}

// A capture directory: "/tmp" or a directory below "/mnt/" or "/tmp/", of
// plain characters, no "..", existing, reached without a link leading out.
bool capture_directory(const char* text, std::string* device, std::string* mapped)
{
    const size_t length = strlen(text);
    if (length == 0 || length > 127 || !all_of(text, "._/-"))
        return false;
    std::string path(text);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (("/" + path + "/").find("/../") != std::string::npos)
        return false;
    std::string at;
    if (path == "/tmp")
        at = device_path("/tmp");
    else if (!(path.compare(0, 5, "/mnt/") == 0 && path_below_directory("/mnt", path.c_str(), &at)) &&
             !(path.compare(0, 5, "/tmp/") == 0 && path_below_directory("/tmp", path.c_str(), &at)))
        return false;
    struct stat st;
    if (stat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    *device = path;
    *mapped = at;
    return true;
}

// "rvpcap-" and 14 digits: the only names a capture has.
bool capture_name(const char* name)
{
    const size_t prefix = sizeof kCapturePrefix - 1;
    if (strlen(name) != prefix + CAPTURE_STAMP_DIGITS || strncmp(name, kCapturePrefix, prefix) != 0)
        return false;
    for (const char* p = name + prefix; *p; p++)
        if (!isdigit((unsigned char)*p))
            return false;
    return true;
}

// An optional text key: absent or "" leaves *out empty; a present value
// must be a string (or, for numbers, an integer) of at most `limit` bytes.
bool optional_text(json_object* body, const char* key, size_t limit, std::string* out)
{
    json_object* item = nullptr;
    out->clear();
    if (!json_object_object_get_ex(body, key, &item) || json_object_is_type(item, json_type_null))
        return true;
    int64_t number = 0;
    if (json_object_is_type(item, json_type_string))
        *out = json_object_get_string(item);
    else if (json_as_int64(item, &number))
        *out = std::to_string(number);
    else
        return false;
    return out->size() <= limit;
}

struct CaptureRequest {
    std::string host, port, nic, dir, mapped_dir;
};

bool check_capture_request(json_object* body, CaptureRequest* r)
{
    if (!json_object_is_type(body, json_type_object))
        return false;
    std::string dir;
    if (!optional_text(body, "ip", 63, &r->host) || !optional_text(body, "port", 31, &r->port) ||
        !optional_text(body, "nic", 7, &r->nic) || !optional_text(body, "mntPath", 127, &dir))
        return false;
    unsigned char address[16];
    if (!r->host.empty() && inet_pton(AF_INET, r->host.c_str(), address) != 1 &&
        inet_pton(AF_INET6, r->host.c_str(), address) != 1)
        return false;
    if (!r->port.empty()) {
        int port = -1;
        if (r->port.size() > 5 || !all_of(r->port.c_str(), "") || !parse_decimal(r->port.c_str(), &port) ||
            port < 0 || port > 65535)
            return false;
    }
    if (r->nic.empty() || !all_of(r->nic.c_str(), "._-"))
        return false;
    return capture_directory(dir.c_str(), &r->dir, &r->mapped_dir);
}

// Older captures in the directory go, as the device's "rm dir/rvpcap-*" did.
void remove_old_captures(const std::string& mapped_dir)
{
    DIR* dir = opendir(mapped_dir.c_str());
    if (!dir)
        return;
    while (struct dirent* entry = readdir(dir)) {
        if (strncmp(entry->d_name, kCapturePrefix, sizeof kCapturePrefix - 1) != 0)
            continue;
        std::string path = mapped_dir + "/" + entry->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            unlink(path.c_str());
    }
    closedir(dir);
}

// The capture filter: the interface's own addresses, narrowed by the
// request's host and port.
std::string capture_filter(const CaptureRequest& r)
{
    NetConf conf;
    memset(&conf, 0, sizeof conf);
    if_get_netconf(r.nic.c_str(), &conf);
    char ip6[64] = "", prefix[16];
    if (net_get_ipv6_ifaddr(r.nic.c_str(), 0, ip6, sizeof ip6, prefix, sizeof prefix) != 0 &&
        net_get_ipv6_ifaddr(r.nic.c_str(), 1, ip6, sizeof ip6, prefix, sizeof prefix) != 0)
        ip6[0] = '\0';
    std::string filter = std::string("host ") + conf.ip;
    if (ip6[0])
        filter += std::string(" || host ") + ip6;
    if (!r.host.empty())
        filter += " && host " + r.host;
    if (!r.port.empty())
        filter += " && port " + r.port;
    return filter;
}

// The device ships its watchdog in /www; builds without it use the one on PATH.
std::string monitor_program()
{
    std::string path = device_path("/www/webmonitor");
    return access(path.c_str(), X_OK) == 0 ? path : "webmonitor";
}

void stop_tool(const char* name)
{
    device_processes_signal(name, SIGTERM);
}

HandlerStatus on_start_packet_capture(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    CaptureRequest r;
    if (!check_capture_request(body.get(), &r))
        return HANDLER_ERROR_JSON;

    char name[32];
    const time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    strftime(name, sizeof name, "rvpcap-%Y%m%d%H%M%S", &tm);
    const std::string filter = capture_filter(r);
    const std::string output = r.mapped_dir + "/" + name;

    stop_tool("tcpdump");
    stop_tool("webmonitor");
    remove_old_captures(r.mapped_dir);
    // One file of at most 10 million bytes.
    const char* const capture[] = {"tcpdump", "-i", r.nic.c_str(), "-s0", filter.c_str(), "-W", "1",
                                   "-C", "10", "-w", output.c_str(), nullptr};
    if (vx_exec_background(capture) < 0)
        cgi_log(__FILE__, __LINE__, __func__, "tcpdump did not start");
    const std::string monitor = monitor_program();
    const std::string seconds = std::to_string((int)MONITOR_SECONDS);
    const char* const watchdog[] = {monitor.c_str(), "tcpdump", seconds.c_str(), nullptr};
    vx_exec_background(watchdog);

    json_object* reply = json_object_new_object();
    json_add_text(reply, "dirPath", r.dir.c_str());
    json_add_text(reply, "fileName", name);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_stop_packet_capture(const char*)
{
    stop_tool("tcpdump");
    // The reply waits until the capture has closed its file, so that a
    // download right after it finds the whole file.
    for (int waited = 0; waited < STOP_WAIT_MS && device_processes_count("tcpdump") > 0; waited += 50)
        usleep(50 * 1000);
    // Its watchdog has nothing left to watch; the next start would end it.
    stop_tool("webmonitor");
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- tar archive -------------------------------------------------------------

void octal(char* field, size_t size, uint64_t value)
{
    // size - 1 digits and a NUL, as tar writes them; the capture's 10 MB
    // and the header's values fit with room to spare.
    field[size - 1] = '\0';
    for (size_t i = size - 1; i-- > 0; value >>= 3)
        field[i] = (char)('0' + (value & 7));
}

// One ustar header block of a regular file.
void tar_header(char (&block)[TAR_BLOCK], const char* name, uint64_t size, time_t mtime)
{
    memset(block, 0, sizeof block);
    snprintf(block, 100, "%s", name);
    octal(block + 100, 8, 0644);
    octal(block + 108, 8, 0);
    octal(block + 116, 8, 0);
    octal(block + 124, 12, size);
    octal(block + 136, 12, (uint64_t)(mtime < 0 ? 0 : mtime));
    block[156] = '0';
    memcpy(block + 257, "ustar", 6);
    memcpy(block + 263, "00", 2);
    snprintf(block + 265, 32, "root");
    snprintf(block + 297, 32, "root");
    // The checksum is taken with its own field as spaces.
    memset(block + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : block)
        sum += c;
    snprintf(block + 148, 8, "%06o", sum);
    block[155] = ' ';
}

// The file's bytes as they were when opened, padded to whole blocks; a file
// that shrank meanwhile is padded with zeros so the header stays true.
void tar_file(FILE* out, int fd, const char* name, const struct stat& st)
{
    char block[TAR_BLOCK];
    tar_header(block, name, (uint64_t)st.st_size, st.st_mtime);
    fwrite(block, 1, sizeof block, out);
    uint64_t left = (uint64_t)st.st_size;
    char buffer[4096];
    while (left > 0) {
        size_t want = left < sizeof buffer ? (size_t)left : sizeof buffer;
        ssize_t n = read(fd, buffer, want);
        if (n <= 0) {
            memset(buffer, 0, want);
            n = (ssize_t)want;
        }
        fwrite(buffer, 1, (size_t)n, out);
        left -= (uint64_t)n;
    }
    const size_t tail = (size_t)(st.st_size % TAR_BLOCK);
    if (tail) {
        memset(block, 0, sizeof block);
        fwrite(block, 1, TAR_BLOCK - tail, out);
    }
}

struct CaptureFile {
    std::string path;   // mapped
    std::string entry;  // name in the archive
};

HandlerStatus on_download_packet_capture(const char* request)
{
    if (!request || !*request)
        return HANDLER_ERROR_TEXT;
    const char* slash = strrchr(request, '/');
    if (!slash)
        return HANDLER_ERROR_TEXT;
    const std::string dir_text(request, (size_t)(slash - request));
    const char* name = slash + 1;
    std::string dir, mapped_dir;
    if (!capture_name(name) || !capture_directory(dir_text.c_str(), &dir, &mapped_dir))
        return HANDLER_ERROR_TEXT;

    // tcpdump -W 1 numbers its file: name0 (and name1 after a wrap), the
    // bare name from one that does not number. They go in as .pcap files.
    CaptureFile files[3];
    int count = 0;
    for (const char* suffix : {"0", "1", ""}) {
        const std::string file = std::string(name) + suffix;
        std::string path;
        struct stat st;
        if (path_in_directory(dir.c_str(), file.c_str(), &path) && lstat(path.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            files[count++] = {path, file + ".pcap"};
    }
    cgi_log(__FILE__, __LINE__, __func__, "real_name:%s/packet.tar", dir.c_str());

    cgi_writeback_webserver(REPLY_BODY_ONLY, "Content-Type:application/octet-stream\r\n"
                                             "Content-Disposition: attachment; filename= packet.tar\r\n\r\n");
    // The archive is built as it is sent: no file of it ever lies on disk.
    FILE* out = request_out();
    for (int i = 0; i < count; i++) {
        int fd = open(files[i].path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd < 0)
            continue;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            tar_file(out, fd, files[i].entry.c_str(), st);
        close(fd);
    }
    // The end of an archive: two zero blocks (all of an empty one).
    char zero[TAR_BLOCK * 2] = {};
    fwrite(zero, 1, sizeof zero, out);
    fflush(out);
    for (int i = 0; i < count; i++)
        unlink(files[i].path.c_str());
    return HANDLER_DONE;
}

}  // namespace

// Nothing here asks the core service.
const WebModulePart state_capture_part = {"state", kCaptureResources, WEB_RES_COUNT(kCaptureResources), nullptr, 0};
