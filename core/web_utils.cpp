// Small device utilities the handlers share: the cookie user, a lock file,
// the MAC addresses and the identification chip.
#include "core/web_utils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/request.h"
#include "platform/devpath.h"
#include "platform/netif.h"
#include "platform/vxsystem.h"

int web_system(const char* command)
{
    return vx_system(command);
}

int get_current_username(char* out, size_t size)
{
    // A checked session names its user; the cookie is only the browser's word.
    const char* session_user = request_context().session_user;
    if (session_user && out && size > 0) {
        snprintf(out, size, "%s", session_user);
        return 0;
    }
    const char* match = strstr(request_context().cookie ? request_context().cookie : "", "userName");
    if (!match || !out || size == 0)
        return -1;
    const char* p = match + 8;
    if (*p)
        p++;  // the character after the name, normally '='
    size_t len = strcspn(p, ";");
    const char* eq = (const char*)memchr(p, '=', len);
    if (eq) {
        len -= (size_t)(eq + 1 - p);
        p = eq + 1;
    }
    if (len > size - 1)
        len = size - 1;
    memcpy(out, p, len);
    out[len] = '\0';
    return 0;
}

int file_lock(const char* path)
{
    if (!path)
        return -1;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    while (lockf(fd, F_LOCK, 0) != 0) {
        if (errno != EINTR) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

void file_unlock(int fd)
{
    if (fd < 0)
        return;
    lockf(fd, F_ULOCK, 0);
    close(fd);
}

// The simulated network or the kernel (platform/netif.h); a fixed address
// when neither knows the interface.
static void read_mac(const char* interface, char* out, const char* fallback)
{
    if (net_get_hwaddr(interface, out) != 0)
        snprintf(out, 18, "%s", fallback);
}

int get_mac_addr(char* eth0, char* eth1)
{
    read_mac("eth0", eth0, "00:1E:5A:00:00:01");
    read_mac("eth1", eth1, "00:1E:5A:00:00:02");
    return 0;
}

int get_chip_info(char* out, int size)
{
    if (!out || size <= 0)
        return -1;
    const std::string file = device_path("/tmp/chipinfo.txt");
    const char* const argv[] = {"vxchip_update", "-r", "32", nullptr};
    vx_exec(argv, file.c_str());

    int rc = -1;
    FILE* f = fopen(file.c_str(), "r");
    if (f) {
        char line[128];
        while (fgets(line, sizeof line, f)) {
            const char* hit = strstr(line, "Read old:");
            if (hit) {
                snprintf(out, (size_t)size, "%s", line + 9);
                rc = 0;
                break;
            }
        }
        fclose(f);
    }
    unlink(file.c_str());
    return rc;
}
