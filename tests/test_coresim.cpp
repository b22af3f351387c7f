// coresim under hostile clients: one that never reads its answers, and more
// connections than it has descriptors. Others must still be served.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "coresim/coresim.h"
#include "modules/storage/storage.h"
#include "platform/vxsocket.h"
#include "tests/support/handler_test.h"

namespace {

void set_timeout(int fd, int option, int ms)
{
    const struct timeval tv = {ms / 1000, (ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// The disk list asked on a fresh connection: the number of disks answered,
// or -1 when no whole answer came within `ms`.
int disks_answered(const std::string& socket_path, int ms = 20000)
{
    int fd = vx_connect_unix(socket_path.c_str());
    if (fd < 0)
        return -1;
    set_timeout(fd, SO_RCVTIMEO, ms);
    vx_msg_header h;
    char* payload = nullptr;
    size_t capacity = 0;
    int disks = -1;
    if (vx_write_msg(fd, VX_MSG_REQUEST, 1, REQ_DISK_LIST, nullptr, 0) &&
        vx_read_msg(fd, &h, &payload, &capacity) && h.code == REQ_DISK_LIST + 5000 &&
        h.length % (int)sizeof(storage_disk_info) == 0)
        disks = h.length / (int)sizeof(storage_disk_info);
    free(payload);
    close(fd);
    return disks;
}

// True when the peer closed the connection within `ms`, unread answers or not.
bool hung_up(int fd, int ms)
{
    struct pollfd p = {fd, POLLRDHUP, 0};
    return poll(&p, 1, ms) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// Descriptors in use below `limit` (any above it were inherited).
int open_descriptors(pid_t pid, int limit)
{
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!dir)
        return -1;
    int n = 0;
    while (struct dirent* e = readdir(dir))
        n += e->d_name[0] != '.' && atoi(e->d_name) < limit;
    closedir(dir);
    return n;
}

// Found as: a client asking for the disk list and never reading blocked
// coresim's send while it held the storage lock, so every other client's
// storage request waited for ever.
// Module parts land side by side; a code answered twice would silently go
// to whichever table is listed first.
TEST(Coresim, EveryRequestCodeHasOneOwner)
{
    EXPECT_EQ(sim_duplicate_code(), 0);
}

TEST(Coresim, ClientThatNeverReadsStallsOnlyItself)
{
    ScratchRoot root;
    CoresimProcess sim(root.path(), {{"CORESIM_SEND_TIMEOUT_MS", "4000"}});
    ASSERT_TRUE(sim.running());
    const std::string socket_path = root.path() + "/var/run/vxsocket";
    ASSERT_EQ(disks_answered(socket_path), 4);

    int stalled = vx_connect_unix(socket_path.c_str());
    ASSERT_GE(stalled, 0);
    // Requests until coresim stops taking them: its answers fill the socket.
    set_timeout(stalled, SO_SNDTIMEO, 500);
    int sent = 0;
    while (sent < 20000 && vx_write_msg(stalled, VX_MSG_REQUEST, sent + 1, REQ_DISK_LIST, nullptr, 0))
        sent++;
    ASSERT_LT(sent, 20000) << "coresim never blocked on the client";

    EXPECT_EQ(disks_answered(socket_path), 4) << "the stalled client holds up the others";
    EXPECT_FALSE(hung_up(stalled, 0)) << "served only after the stalled client was dropped";
    EXPECT_TRUE(hung_up(stalled, 20000)) << "the stalled connection is never dropped";
    close(stalled);
    EXPECT_EQ(disks_answered(socket_path), 4);
    EXPECT_TRUE(sim.stop());
}

// Found as: with 64 descriptors and 200 connections, accept failed with
// EMFILE, the serve loop ended and the socket was removed for everyone.
TEST(Coresim, RunningOutOfDescriptorsStopsNoOne)
{
    ScratchRoot root;
    const int limit = 64;
    CoresimProcess sim(root.path(), {}, limit);
    ASSERT_TRUE(sim.running());
    const std::string socket_path = root.path() + "/var/run/vxsocket";

    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_path.c_str());
    // A full backlog is tried again while coresim can still accept; once
    // every descriptor is taken the next accept fails.
    std::vector<int> hogs;
    int open = 0;
    for (int i = 0, tries = 0; i < 200 && tries < 20000; tries++) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        if (connect(fd, (struct sockaddr*)&addr, sizeof addr) == 0) {
            hogs.push_back(fd);
            i++;
            continue;
        }
        close(fd);
        if ((open = open_descriptors(sim.pid(), limit)) >= limit)
            i++;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(open_descriptors(sim.pid(), limit), limit);
    ASSERT_GT((int)hogs.size(), limit);
    for (int fd : hogs)
        close(fd);

    EXPECT_EQ(disks_answered(socket_path), 4);
    EXPECT_TRUE(sim.stop());
}

}  // namespace
