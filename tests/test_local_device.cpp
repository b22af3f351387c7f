// End to end: coresim and lighttpd serving nvrweb.cgi over real HTTP; coresim and malformed messages.
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/json_util.h"
#include "modules/storage/storage.h"
#include "platform/vxsocket.h"
#include "tests/support/handler_test.h"
#include "tests/support/local_run.h"

namespace {

// scripts/run in the background on a scratch folder, stopped with SIGTERM.
class LocalDevice {
public:
    LocalDevice(const std::string& dir, int port) : port_(std::to_string(port))
    {
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen((dir + ".out").c_str(), "w", stdout))
                _exit(126);
            setenv("CORESIM_FORMAT_SECONDS", "2", 1);
            execl("/bin/bash", "bash", (source_dir() + "/scripts/run").c_str(), "--no-deps", "--no-build", "--port",
                  port_.c_str(), "--dir", dir.c_str(), "--build-dir", build_dir().c_str(), "--emulator",
                  emulator().c_str(), (char*)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100 && get("/6108").empty(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~LocalDevice() { kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0); }
    // A GET, or a JSON POST when a body is given.
    std::string get(const std::string& path, const std::string& body = "") const
    {
        const std::string post = body.empty() ? "" : "-H 'Content-Type: application/json' --data-binary '" + body + "' ";
        return shell("curl -s --max-time 30 " + post + "'http://127.0.0.1:" + port_ + path + "'");
    }

private:
    std::string port_;
    pid_t pid_;
};

int int_key(const std::string& json, const char* key)
{
    JsonPtr o(json_tokener_parse(json.c_str()));
    json_object* v = nullptr;
    return o && json_object_object_get_ex(o.get(), key, &v) ? json_object_get_int(v) : -999;
}

}  // namespace

TEST(LocalDevice, DiskListFormatProgressAndRaidModeOverHttp)
{
    if (shell("command -v lighttpd >/dev/null && command -v curl").empty())
        GTEST_SKIP() << "lighttpd or curl missing";
    ScratchRoot scratch;
    const std::string dir = scratch.path() + "/device";
    {
        LocalDevice device(dir, free_port());
        const std::string text = device.get("/6100");
        JsonPtr list(json_tokener_parse(text.c_str()));
        json_object* disks = nullptr;
        ASSERT_TRUE(list && json_object_object_get_ex(list.get(), "HDD", &disks)) << text;
        EXPECT_EQ(json_object_array_length(disks), 4u);
        EXPECT_EQ(int_key(text, "maxDiskNum"), 36);

        // A format is answered when it is done; meanwhile "/6227" reports rising progress.
        std::string format_reply;
        std::thread format([&] { format_reply = device.get("/6102", "3"); });
        int seen_running = 0, last_percent = -1;
        for (int i = 0; i < 60 && seen_running < 2; i++) {
            const std::string status = device.get("/6227");
            if (int_key(status, "status") != 1 || int_key(status, "port") != 3) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            EXPECT_GE(int_key(status, "percent"), last_percent);
            last_percent = int_key(status, "percent");
            seen_running++;
        }
        format.join();
        EXPECT_GE(seen_running, 2);
        EXPECT_EQ(format_reply, "OK");
        for (auto [mode, shown] : {std::pair{"1", "1"}, std::pair{"7", "0"}}) {
            EXPECT_EQ(device.get("/6109", mode), "OK");
            EXPECT_EQ(device.get("/6108"), shown);
        }
    }
    // Both servers are gone with the script.
    EXPECT_EQ(shell("pgrep -f '[l]ighttpd -D -f " + dir + "/' || true"), "");
    int fd = vx_connect_unix((dir + "/root/var/run/vxsocket").c_str());
    EXPECT_LT(fd, 0);
    close(fd);
}

TEST(LocalDevice, CoresimClosesMalformedConnectionsAndServesOthers)
{
    ScratchRoot scratch;
    CoresimProcess coresim(scratch.path());
    ASSERT_TRUE(coresim.running());
    const std::string socket_path = scratch.at("/var/run/vxsocket");
    int good = vx_connect_unix(socket_path.c_str());
    ASSERT_GE(good, 0);
    for (auto [magic, length] : {std::pair{0x12345678, 0}, std::pair{(int)VX_MSG_MAGIC, 9 << 20}}) {
        SCOPED_TRACE(length);
        int bad = vx_connect_unix(socket_path.c_str());
        vx_msg_header h{magic, VX_MSG_REQUEST, 1, REQ_DISK_LIST, 0, length, {0, 0}};
        ASSERT_TRUE(bad >= 0 && vx_write_full(bad, &h, sizeof h));
        timeval tv{5, 0};
        setsockopt(bad, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char byte;
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
    EXPECT_TRUE(coresim.stop());  // a clean exit on SIGTERM
}
