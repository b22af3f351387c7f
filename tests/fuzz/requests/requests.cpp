// Hostile requests: every registered resource gets bodies and queries wrong
// in type, size, nesting and encoding, while a core service answers each
// request silently, once, several times, short, oversized or malformed.
// Each run of the built CGI must exit 0 (or -1 with no output for a
// multipart body it refuses) within the caps, print at most one
// reply, leave no temporary upload file, and write nothing outside its
// scratch root.
//
// Usage: nvrweb_requests [--seed N] [--runs N | --seconds N]
// A failing run is printed with its seed and index and kept as a file.
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <random>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "frontend/cgi_env.h"
#include "core/ipc.h"
#include "frontend/modules.h"
#include "platform/vxsocket.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/scratch.h"

namespace {

enum CoreMode { SILENT, ONCE, SEVERAL, SHORT, OVERSIZED, MALFORMED, MODE_COUNT };
const char* const kModeNames[] = {"silent", "once", "several", "short", "oversized", "malformed"};

// The answers a request may get: the rows of the registered parts whose
// request it is, or its code + 5000.
struct AnswerRow {
    int code;
    int record_size;
};

std::vector<AnswerRow> answers_for(int request)
{
    std::vector<AnswerRow> out;
    for (const WebModulePart* const* p = web_module_parts(); *p; p++)
        for (int i = 0; i < (*p)->response_count; i++) {
            const IpcResponse& r = (*p)->responses[i];
            if ((r.request ? r.request : r.code - 5000) == request)
                out.push_back({r.code, r.record_size});
        }
    if (out.empty())
        out.push_back({request + 5000, 4});
    return out;
}

// The core service: one listening socket for the whole run; what it does
// with a request is the mode of the run in progress.
class HostileCore {
public:
    explicit HostileCore(const std::string& root) : path_(root + "/var/run/vxsocket")
    {
        listen_fd_ = vx_listen_unix(path_.c_str());
        if (listen_fd_ < 0) {
            fprintf(stderr, "cannot listen on %s\n", path_.c_str());
            exit(2);
        }
        acceptor_ = std::thread([this] { accept_loop(); });
    }
    ~HostileCore()
    {
        stopping_ = true;
        shutdown(listen_fd_, SHUT_RDWR);
        close(listen_fd_);
        acceptor_.join();
        std::lock_guard<std::mutex> g(mu_);
        for (std::thread& t : workers_)
            t.join();
        unlink(path_.c_str());
    }
    long requests() const { return requests_; }
    void set(CoreMode mode, uint32_t seed)
    {
        mode_ = mode;
        seed_ = seed;
    }

private:
    void accept_loop()
    {
        for (;;) {
            int fd = accept(listen_fd_, nullptr, nullptr);
            if (fd < 0 || stopping_) {
                if (fd >= 0)
                    close(fd);
                return;
            }
            std::lock_guard<std::mutex> g(mu_);
            workers_.emplace_back([this, fd] { serve(fd); });
        }
    }
    void serve(int fd)
    {
        vx_msg_header h;
        char* payload = nullptr;
        size_t capacity = 0;
        std::mt19937 rng(seed_);
        while (vx_read_msg(fd, &h, &payload, &capacity)) {
            requests_++;
            answer(fd, h, rng);
        }
        free(payload);
        close(fd);
    }
    static std::string noise(std::mt19937& rng, size_t n)
    {
        std::string s(n, '\0');
        for (char& c : s)
            c = (char)(rng() & 0xFF);
        // Mostly zeros and small words, as records are.
        if (rng() % 2)
            for (size_t i = 0; i < n; i++)
                if (rng() % 4)
                    s[i] = (char)(rng() % 3);
        return s;
    }
    void answer(int fd, const vx_msg_header& h, std::mt19937& rng)
    {
        const std::vector<AnswerRow> rows = answers_for(h.code);
        const AnswerRow& row = rows[rng() % rows.size()];
        const int record = row.record_size > 0 ? row.record_size : 1;
        switch ((CoreMode)mode_.load()) {
        case SILENT:
            return;
        case ONCE: {
            std::string p = noise(rng, (size_t)record * (1 + rng() % 3));
            vx_write_msg(fd, VX_MSG_RESPONSE, h.seq, row.code, p.data(), (int)p.size());
            return;
        }
        case SEVERAL:
            for (int i = 0; i < 4; i++) {
                std::string p = noise(rng, (size_t)record * (rng() % 3));
                vx_write_msg(fd, VX_MSG_RESPONSE, h.seq, row.code, p.data(), (int)p.size());
            }
            return;
        case SHORT: {
            std::string p = noise(rng, rng() % (size_t)record);
            vx_write_msg(fd, VX_MSG_RESPONSE, h.seq, row.code, p.data(), (int)p.size());
            return;
        }
        case OVERSIZED: {
            std::string p = noise(rng, (size_t)record * 64 + 65536 + rng() % 4096);
            vx_write_msg(fd, VX_MSG_RESPONSE, h.seq, row.code, p.data(), (int)p.size());
            return;
        }
        default: {
            // A header that lies about its length, kind or sequence, then bytes.
            int32_t head[8];
            memcpy(head, &h, sizeof head);
            head[1] = VX_MSG_RESPONSE;
            head[3] = row.code;
            head[5] = (int32_t)(rng() % 3 == 0 ? -1 - (int)(rng() % 100) : (int)(rng() % 100000000));
            if (rng() % 3 == 0)
                head[2] = (int32_t)rng();
            if (rng() % 4 == 0)
                head[0] = (int32_t)rng();
            std::string bytes((const char*)head, sizeof head);
            bytes += noise(rng, rng() % 200);
            vx_write_full(fd, bytes.data(), bytes.size());
            if (rng() % 2)
                shutdown(fd, SHUT_RDWR);
            return;
        }
        }
    }

    std::string path_;
    int listen_fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> mode_{SILENT};
    std::atomic<uint32_t> seed_{0};
    std::atomic<long> requests_{0};
    std::thread acceptor_;
    std::mutex mu_;
    std::vector<std::thread> workers_;
};

std::set<std::string> names_in(const std::string& dir);

// ---- hostile texts ---------------------------------------------------------

// The keys a handler reads, taken from the module sources at start: every
// quoted word on a line that reads JSON, by the file that registers the
// path. A module that lands later brings its keys along.
std::map<std::string, std::vector<std::string>> g_keys_by_path;
std::vector<std::string> g_all_keys;
const std::vector<std::string>* g_keys = &g_all_keys;

void learn_keys()
{
    const std::regex resource("X\\(\"(/[^\"]{1,6})\"");
    const std::regex json_line("json|JSON|channel_list");
    const std::regex word("\"([A-Za-z_][A-Za-z0-9_]{0,31})\"");
    std::set<std::string> all;
    DIR* modules = opendir((source_dir() + "/modules").c_str());
    while (modules) {
        struct dirent* m = readdir(modules);
        if (!m)
            break;
        if (m->d_name[0] == '.')
            continue;
        const std::string dir = source_dir() + "/modules/" + m->d_name;
        for (const std::string& name : names_in(dir)) {
            if (name.size() < 5 || name.compare(name.size() - 4, 4, ".cpp") != 0)
                continue;
            std::ifstream in(dir + "/" + name);
            std::string line;
            std::vector<std::string> paths;
            std::set<std::string> keys;
            while (std::getline(in, line)) {
                std::smatch m2;
                if (std::regex_search(line, m2, resource))
                    paths.push_back(m2[1]);
                if (!std::regex_search(line, json_line))
                    continue;
                for (std::sregex_iterator it(line.begin(), line.end(), word), e; it != e; ++it)
                    keys.insert((*it)[1]);
            }
            for (const std::string& p : paths)
                g_keys_by_path[p].assign(keys.begin(), keys.end());
            all.insert(keys.begin(), keys.end());
        }
    }
    if (modules)
        closedir(modules);
    g_all_keys.assign(all.begin(), all.end());
    if (g_all_keys.empty())
        g_all_keys = {"id", "chnid", "cnt", "name", "enable", "type"};
}

void use_keys_of(const char* path)
{
    auto it = g_keys_by_path.find(path);
    g_keys = it != g_keys_by_path.end() && !it->second.empty() ? &it->second : &g_all_keys;
}

std::string pick_key(std::mt19937& rng)
{
    if (rng() % 10 == 0)
        return "k" + std::to_string(rng() % 100);
    const std::vector<std::string>& keys = rng() % 8 == 0 ? g_all_keys : *g_keys;
    return keys[rng() % keys.size()];
}

std::string invalid_utf8(std::mt19937& rng)
{
    static const char* const pieces[] = {"\xC3", "\xFF\xFE", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC0\xAF", "\x80"};
    std::string s = "a";
    for (int i = 0; i < 4; i++)
        s += pieces[rng() % 6];
    return s;
}

std::string value(std::mt19937& rng, int depth);

std::string scalar(std::mt19937& rng)
{
    // Half the values are plausible, so that requests get past their checks
    // to the core service; the rest are hostile.
    if (rng() % 2) {
        switch (rng() % 4) {
        case 0: return "\"" + std::to_string(rng() % 4) + "\"";
        case 1: return "\"2024-01-02 03:04:05\"";
        default: return std::to_string(rng() % 4);
        }
    }
    switch (rng() % 22) {
    case 0: return std::to_string(INT_MIN);
    case 1: return std::to_string(INT_MAX);
    case 2: return "9223372036854775808";  // 2^63
    case 3: return "-9223372036854775809";
    case 4: return "18446744073709551616";
    case 5: return "1e308";
    case 6: return "-0.5";
    case 7: return "null";
    case 8: return "true";
    case 9: return "\"\"";
    case 10: return "\"" + std::string(30 * 1024, 'A' + (char)(rng() % 26)) + "\"";
    case 11: return "\"a\\u0000b\"";
    case 12: return "\"" + invalid_utf8(rng) + "\"";
    case 13: return "\"../../../etc/passwd\"";
    case 14: return "\"; touch /tmp/pwned; `id` $(id)\"";
    case 15: return "\"%s%s%n%x\"";
    case 16: return "\"" + std::to_string((int)(rng() % 200) - 100) + "\"";
    case 17: return "\"2024-02-30 25:61:61\"";
    default: return std::to_string((long long)(rng() % 130) - 2);
    }
}

std::string array(std::mt19937& rng, int depth)
{
    const size_t n = rng() % 4 == 0 ? 5000 : rng() % 8;
    std::string s = "[";
    for (size_t i = 0; i < n; i++) {
        if (i)
            s += ",";
        s += n > 100 ? std::to_string((long long)(rng() % 70) - 3) : value(rng, depth + 1);
    }
    return s + "]";
}

std::string object(std::mt19937& rng, int depth)
{
    const int n = (int)(rng() % 16);
    std::string s = "{";
    for (int i = 0; i < n; i++) {
        if (i)
            s += ",";
        s += "\"" + pick_key(rng) + "\":" + value(rng, depth + 1);
    }
    return s + "}";
}

std::string value(std::mt19937& rng, int depth)
{
    const unsigned r = rng() % 10;
    if (depth < 3 && r == 0)
        return array(rng, depth);
    if (depth < 3 && r == 1)
        return object(rng, depth);
    return scalar(rng);
}

std::string body(std::mt19937& rng)
{
    switch (rng() % 10) {
    case 0: return std::string(3000, '[') + std::string(3000, ']');
    case 1: return std::string(3000, '{') ;  // deep and cut
    case 2: {
        std::string s;
        for (int i = 0; i < 3000; i++)
            s += "{\"a\":";
        return s + "1" + std::string(3000, '}');
    }
    case 3: {
        std::string s = object(rng, 0);
        return s.substr(0, rng() % (s.size() + 1));  // cut anywhere
    }
    case 4: return value(rng, 0);
    case 5: {
        std::string s(rng() % 40000, '\0');
        for (char& c : s)
            c = (char)(rng() & 0xFF);
        return s;
    }
    default: return object(rng, 0);
    }
}

std::string query(std::mt19937& rng)
{
    switch (rng() % 6) {
    case 0: return "";
    case 1: return "param:" + std::string(rng() % 600, 'x');
    case 2: return std::string(rng() % 2000, '%');
    case 3: return "%22" + body(rng).substr(0, 300);
    default: return body(rng).substr(0, 255);
    }
}

std::string multipart(std::mt19937& rng, const std::string& boundary)
{
    static const char* const names[] = {"a.bin", "../../x", "pbdownload", ".export_down_file", "", ".",
                                        "..", "dir/", "x\\y.cfg", "\xFF\xFE.bin"};
    std::string s;
    const int parts = (int)(rng() % 4);
    for (int i = 0; i < parts; i++) {
        s += "--" + boundary + "\r\n";
        s += "Content-Disposition: form-data; name=\"" + std::string(rng() % 3 ? "file" : "x") + "\"";
        if (rng() % 3)
            s += "; filename=\"" + std::string(names[rng() % 10]) + "\"";
        s += "\r\nContent-Type: application/octet-stream\r\n\r\n";
        s += std::string(rng() % 3000, (char)('a' + rng() % 26));
        s += "\r\n";
    }
    if (rng() % 3)
        s += "--" + boundary + "--\r\n";
    return s;
}

CgiRequest make_request(std::mt19937& rng, const char* path)
{
    CgiRequest req;
    req.path = path;
    req.max_steps = 3;
    req.max_sends = 2;
    req.timeout_seconds = 30;
    switch (rng() % 5) {
    case 0:
        req.method = "GET";
        req.query = query(rng);
        break;
    case 1: {
        req.method = "POST";
        const std::string boundary = rng() % 5 ? "xYzZy" : std::string(rng() % 200, '-');
        req.content_type = "multipart/form-data; boundary=" + boundary;
        req.body = multipart(rng, boundary);
        if (rng() % 6 == 0)
            req.content_length = std::to_string(rng() % 2 ? (long long)req.body.size() + 100000 : -1);
        break;
    }
    default:
        req.method = "POST";
        req.content_type = rng() % 2 ? "application/json" : "application/x-www-form-urlencoded";
        req.body = body(rng);
        if (rng() % 10 == 0)
            req.query = query(rng);
    }
    return req;
}

// ---- checks ----------------------------------------------------------------

int reply_count(const std::string& out)
{
    int n = 0;
    for (size_t at = 0; at < out.size();) {
        if (strncasecmp(out.c_str() + at, "content-type:", 13) == 0)
            n++;
        size_t nl = out.find('\n', at);
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    return n;
}

std::set<std::string> names_in(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, ".."))
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

void clear_dir(const std::string& dir)
{
    for (const std::string& name : names_in(dir)) {
        const std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            clear_dir(path);
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }
}

// Names a run on the host would create if a path escaped the root.
bool device_name(const std::string& name)
{
    return name.compare(0, 4, "cgic") == 0 || name == "pbdownload" || name == "vxcore" || name == "cgilockfile" ||
           name == "updateFM.bin" || name == "updateIPCFM.bin" || name == "a.bin" || name == "log";
}

std::string excerpt(const std::string& s)
{
    std::string out;
    for (char c : s.substr(0, 160))
        out += (c >= 32 && c < 127) ? c : '.';
    return s.size() > 160 ? out + "...(" + std::to_string(s.size()) + " bytes)" : out;
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t seed = 38;
    long runs = 300;
    long seconds = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--seed") == 0)
            seed = (uint32_t)strtoul(argv[i + 1], nullptr, 10);
        else if (strcmp(argv[i], "--runs") == 0)
            runs = strtol(argv[i + 1], nullptr, 10);
        else if (strcmp(argv[i], "--seconds") == 0)
            seconds = strtol(argv[i + 1], nullptr, 10);
    }
    if (seconds > 0)
        runs = LONG_MAX;

    // Everything the CGI might write by mistake lands beside the root, in
    // its working directory, or in the host's /tmp and /dev/shm.
    char parent[] = "/tmp/nvrweb-requests-XXXXXX";
    if (!mkdtemp(parent))
        return 2;
    setenv("TMPDIR", parent, 1);
    const std::string work = std::string(parent) + "/cwd";
    mkdir(work.c_str(), 0755);
    if (chdir(work.c_str()) != 0)
        return 2;
    long passed = 0, failed = 0, replied = 0, core_requests = 0;
    size_t resources = 0;
    {
    ScratchRoot root;
    HostileCore core(root.path());
    const std::string root_name = root.path().substr(strlen(parent) + 1);

    std::vector<const char*> paths;
    for (const WebModulePart* const* p = web_module_parts(); *p; p++)
        for (int i = 0; i < (*p)->resource_count; i++)
            paths.push_back((*p)->resources[i].path);
    // A path nobody registered, and the empty one.
    paths.push_back("/9999");
    paths.push_back("");

    learn_keys();
    std::mt19937 rng(seed);
    const auto start = std::chrono::steady_clock::now();
    for (long run = 0; run < runs; run++) {
        if (seconds > 0 && std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds))
            break;
        const char* path = paths[rng() % paths.size()];
        use_keys_of(path);
        const CoreMode mode = (CoreMode)(rng() % MODE_COUNT);
        CgiRequest req = make_request(rng, path);
        core.set(mode, (uint32_t)rng());
        const std::set<std::string> shm_before = names_in("/dev/shm");
        const std::set<std::string> tmp_before = names_in("/tmp");

        const CgiResult result = run_cgi(root.path(), req);

        std::vector<std::string> faults;
        // A multipart body the reader refuses ends the process with -1 and
        // nothing printed: the one exit besides 0 that is the device's own.
        const bool refused_upload = req.content_type.compare(0, 19, "multipart/form-data") == 0 &&
                                    result.status == 255 && result.out.empty();
        if (result.status != 0 && !refused_upload)
            faults.push_back("exit status " + std::to_string(result.status));
        if (result.seconds >= req.timeout_seconds - 1)
            faults.push_back("hung past the caps");
        if (reply_count(result.out) > 1)
            faults.push_back(std::to_string(reply_count(result.out)) + " replies");
        for (const std::string& name : names_in(root.path() + "/tmp"))
            if (name.compare(0, 4, "cgic") == 0)
                faults.push_back("temporary upload file left: /tmp/" + name);
        for (const std::string& name : names_in(parent))
            if (name != "cwd" && name != root_name)
                faults.push_back("written beside the root: " + name);
        for (const std::string& name : names_in(work))
            faults.push_back("written in the working directory: " + name);
        for (const std::string& name : names_in("/dev/shm"))
            if (!shm_before.count(name) && device_name(name))
                faults.push_back("written in the host's /dev/shm: " + name);
        for (const std::string& name : names_in("/tmp"))
            if (!tmp_before.count(name) && device_name(name))
                faults.push_back("written in the host's /tmp: " + name);

        if (reply_count(result.out) == 1)
            replied++;
        if (faults.empty()) {
            passed++;
        } else {
            failed++;
            const std::string keep = std::string(parent) + "-run" + std::to_string(run) + ".body";
            if (FILE* f = fopen(keep.c_str(), "wb")) {
                fwrite(req.body.data(), 1, req.body.size(), f);
                fclose(f);
            }
            fprintf(stderr, "FAIL seed %u run %ld: %s %s?%s core %s, content type [%s], body [%s] (kept in %s)\n",
                    seed, run, req.method.c_str(), req.path.c_str(), excerpt(req.query).c_str(),
                    kModeNames[mode], req.content_type.c_str(), excerpt(req.body).c_str(), keep.c_str());
            for (const std::string& f : faults)
                fprintf(stderr, "  %s\n", f.c_str());
        }
        // Each run starts from an empty /tmp, /dev/shm and working directory.
        clear_dir(root.path() + "/tmp");
        clear_dir(root.path() + "/dev/shm");
        clear_dir(work);
        for (const std::string& name : names_in(parent))
            if (name != "cwd" && name != root_name) {
                const std::string stray = std::string(parent) + "/" + name;
                clear_dir(stray);
                rmdir(stray.c_str());
                unlink(stray.c_str());
            }
    }
    core_requests = core.requests();
    resources = paths.size() - 2;
    }
    if (chdir("/") != 0)
        return 2;
    rmdir(work.c_str());
    rmdir(parent);
    printf("seed %u: %zu resources, %ld runs with a reply, %ld requests to the core service\n", seed, resources,
           replied, core_requests);
    printf("%ld passed, %ld failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
