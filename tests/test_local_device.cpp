// End to end: coresim and lighttpd serving nvrweb.cgi, driven over real HTTP;
// and coresim's handling of malformed messages.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <json-c/json.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "modules/storage/storage.h"
#include "platform/vxsocket.h"
#include "tests/support/scratch.h"

namespace {

std::string run_command(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

bool have(const char* program)
{
    return !run_command(std::string("command -v ") + program + " 2>/dev/null").empty();
}

int free_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, (sockaddr*)&a, sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, (sockaddr*)&a, &len);
    close(fd);
    return ntohs(a.sin_port);
}

// scripts/run in the background on a scratch folder, stopped with SIGTERM.
class LocalDevice {
public:
    LocalDevice(const std::string& dir, int port) : dir_(dir), port_(port)
    {
        mkdir(dir.c_str(), 0755);
        pid_ = fork();
        if (pid_ == 0) {
            std::string p = std::to_string(port);
            std::string script = source_dir() + "/scripts/run";
            std::string log = dir + "/run.out";
            freopen(log.c_str(), "w", stdout);
            setenv("CORESIM_FORMAT_SECONDS", "2", 1);
            execl("/bin/bash", "bash", script.c_str(), "--no-deps", "--no-build", "--port", p.c_str(), "--dir",
                  dir.c_str(), "--build-dir", build_dir().c_str(), (char*)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100 && get("/6108").empty(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~LocalDevice() { stop(); }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::string get(const std::string& path) const
    {
        return run_command("curl -s --max-time 20 '" + url(path) + "'");
    }
    std::string post(const std::string& path, const std::string& body) const
    {
        return run_command("curl -s --max-time 30 -H 'Content-Type: application/json' --data-binary '" + body +
                           "' '" + url(path) + "'");
    }
    void stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    std::string dir_;
    int port_;
    pid_t pid_ = -1;
};

json_object* parse(const std::string& text)
{
    return json_tokener_parse(text.c_str());
}

int int_key(json_object* o, const char* key)
{
    json_object* v = nullptr;
    return json_object_object_get_ex(o, key, &v) ? json_object_get_int(v) : -999;
}

}  // namespace

TEST(LocalDevice, DiskListFormatProgressAndRaidModeOverHttp)
{
    if (!have("lighttpd") || !have("curl"))
        GTEST_SKIP() << "lighttpd or curl missing";
    ScratchRoot scratch;
    const std::string dir = scratch.path() + "/device";
    {
        LocalDevice device(dir, free_port());

        json_object* list = parse(device.get("/6100"));
        ASSERT_NE(list, nullptr);
        json_object* disks = nullptr;
        ASSERT_TRUE(json_object_object_get_ex(list, "HDD", &disks));
        EXPECT_EQ(json_object_array_length(disks), 4u);
        EXPECT_EQ(int_key(list, "maxDiskNum"), 36);
        json_object_put(list);

        // A format is answered when it is done; meanwhile "/6227" reports progress.
        std::string format_reply;
        std::thread format([&] { format_reply = device.post("/6102", "3"); });
        int seen_running = 0, last_percent = -1;
        bool monotonic = true;
        for (int i = 0; i < 60; i++) {
            json_object* status = parse(device.get("/6227"));
            if (status && int_key(status, "status") == 1 && int_key(status, "port") == 3) {
                int percent = int_key(status, "percent");
                monotonic = monotonic && percent >= last_percent;
                last_percent = percent;
                seen_running++;
            }
            json_object_put(status);
            if (seen_running >= 2)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        format.join();
        EXPECT_GE(seen_running, 2);
        EXPECT_TRUE(monotonic);
        EXPECT_EQ(format_reply, "OK");

        EXPECT_EQ(device.post("/6109", "1"), "OK");
        EXPECT_EQ(device.get("/6108"), "1");
        EXPECT_EQ(device.post("/6109", "7"), "OK");
        EXPECT_EQ(device.get("/6108"), "0");
    }
    // Both servers are gone with the script: no lighttpd on this folder, and
    // nothing answers on the device socket.
    EXPECT_EQ(run_command("pgrep -f '[l]ighttpd -D -f " + dir + "/' || true"), "");
    int fd = vx_connect_unix((dir + "/root/var/run/vxsocket").c_str());
    EXPECT_LT(fd, 0);
    if (fd >= 0)
        close(fd);
}

TEST(LocalDevice, CoresimClosesMalformedConnectionsAndServesOthers)
{
    ScratchRoot scratch;
    ASSERT_EQ(system(("'" + build_dir() + "/coresim' --seed '" + scratch.path() + "' >/dev/null").c_str()), 0);
    pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stderr);
        execl((build_dir() + "/coresim").c_str(), "coresim", "--root", scratch.path().c_str(), (char*)nullptr);
        _exit(127);
    }
    const std::string socket_path = scratch.at("/var/run/vxsocket");
    int good = -1;
    for (int i = 0; i < 100 && good < 0; i++) {
        good = vx_connect_unix(socket_path.c_str());
        if (good < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GE(good, 0);

    struct Bad {
        const char* what;
        int32_t magic;
        int32_t length;
    };
    const Bad cases[] = {{"wrong magic", 0x12345678, 0}, {"9 MiB payload", VX_MSG_MAGIC, 9 * 1024 * 1024}};
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.what);
        int bad = vx_connect_unix(socket_path.c_str());
        ASSERT_GE(bad, 0);
        vx_msg_header h{c.magic, VX_MSG_REQUEST, 1, REQ_DISK_LIST, 0, c.length, {0, 0}};
        ASSERT_TRUE(vx_write_full(bad, &h, sizeof h));
        char byte;
        timeval tv{5, 0};
        setsockopt(bad, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        EXPECT_EQ(read(bad, &byte, 1), 0) << "connection not closed";
        close(bad);
    }

    // The well-formed connection opened before is still served.
    ASSERT_TRUE(vx_write_msg(good, VX_MSG_REQUEST, 7, REQ_DISK_LIST, nullptr, 0));
    vx_msg_header h;
    char* payload = nullptr;
    size_t capacity = 0;
    ASSERT_TRUE(vx_read_msg(good, &h, &payload, &capacity));
    EXPECT_EQ(h.code, REQ_DISK_LIST + 5000);
    EXPECT_EQ(h.seq, 7);
    EXPECT_EQ(h.length % (int)sizeof(storage_disk_info), 0);
    EXPECT_GE(h.length, 4 * (int)sizeof(storage_disk_info));
    free(payload);
    close(good);

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
