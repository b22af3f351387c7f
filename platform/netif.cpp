// Interface queries from the simulated network file or the kernel.
#include "platform/netif.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/devpath.h"

namespace {

struct NetsimKey {
    const char* key;
    size_t offset;
    size_t size;
};
#define NETSIM_KEY(member) \
    NetsimKey { #member, offsetof(netsim_interface, member), sizeof(((netsim_interface*)nullptr)->member) }
const NetsimKey kKeys[] = {NETSIM_KEY(mac), NETSIM_KEY(ip),      NETSIM_KEY(gw),     NETSIM_KEY(ip6),
                           NETSIM_KEY(prefix6), NETSIM_KEY(gw6), NETSIM_KEY(gw6alt)};

void copy_cut(char* out, size_t size, const char* text, size_t length)
{
    if (length >= size)
        length = size - 1;
    memcpy(out, text, length);
    out[length] = '\0';
}

bool parse_line(char* line, netsim_interface* out)
{
    memset(out, 0, sizeof *out);
    char* save = nullptr;
    char* word = strtok_r(line, " \t\r\n", &save);
    if (!word || strlen(word) >= sizeof out->name)
        return false;
    copy_cut(out->name, sizeof out->name, word, strlen(word));
    while ((word = strtok_r(nullptr, " \t\r\n", &save))) {
        const char* eq = strchr(word, '=');
        if (!eq)
            continue;
        for (const NetsimKey& k : kKeys)
            if (strlen(k.key) == (size_t)(eq - word) && strncmp(word, k.key, (size_t)(eq - word)) == 0)
                copy_cut((char*)out + k.offset, k.size, eq + 1, strlen(eq + 1));
    }
    return true;
}

// -1: no simulated network; 0: the interface with its keys; 1: no such interface.
int netsim_find(const char* name, netsim_interface* out)
{
    netsim_interface list[NETSIM_MAX_INTERFACES];
    int n = netsim_read(list, NETSIM_MAX_INTERFACES);
    if (n < 0)
        return -1;
    for (int i = 0; i < n; i++)
        if (name && strcmp(list[i].name, name) == 0) {
            *out = list[i];
            return 0;
        }
    return 1;
}

// A simulated key: 0 and the text, or -1 when absent or empty.
int netsim_value(const char* text, char* out, int size)
{
    if (!*text || !out || size <= 0)
        return -1;
    copy_cut(out, (size_t)size, text, strlen(text));
    return 0;
}

bool hex_address(const char* hex, struct in6_addr* out)
{
    if (strlen(hex) != 32)
        return false;
    for (int i = 0; i < 16; i++) {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], '\0'};
        char* end = nullptr;
        out->s6_addr[i] = (unsigned char)strtoul(pair, &end, 16);
        if (*end)
            return false;
    }
    return true;
}

}  // namespace

int netsim_read(netsim_interface* out, int capacity)
{
    FILE* f = fopen(device_path(NETSIM_FILE).c_str(), "r");
    if (!f)
        return -1;
    int n = 0;
    char line[512];
    while (n < capacity && fgets(line, sizeof line, f))
        if (parse_line(line, &out[n]))
            n++;
    fclose(f);
    return n;
}

int netsim_write(const netsim_interface* list, int count)
{
    const std::string path = device_path(NETSIM_FILE);
    const std::string temp = path + ".new";
    FILE* f = fopen(temp.c_str(), "w");
    if (!f)
        return -1;
    for (int i = 0; i < count; i++) {
        fprintf(f, "%s", list[i].name);
        for (const NetsimKey& k : kKeys) {
            const char* value = (const char*)&list[i] + k.offset;
            if (*value)
                fprintf(f, " %s=%.*s", k.key, (int)strnlen(value, k.size), value);
        }
        fputc('\n', f);
    }
    bool ok = fclose(f) == 0;
    return ok && rename(temp.c_str(), path.c_str()) == 0 ? 0 : -1;
}

int net_get_hwaddr(const char* name, char out[18])
{
    netsim_interface sim;
    int found = netsim_find(name, &sim);
    if (found >= 0)
        return found == 0 ? netsim_value(sim.mac, out, 18) : -1;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        perror("create socket fail\n");
        return -1;
    }
    struct ifreq req;
    memset(&req, 0, sizeof req);
    snprintf(req.ifr_name, sizeof req.ifr_name, "%.15s", name);
    int rc = ioctl(fd, SIOCGIFHWADDR, &req);
    close(fd);
    if (rc != 0)
        return -1;
    const unsigned char* a = (const unsigned char*)req.ifr_hwaddr.sa_data;
    snprintf(out, 18, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return 0;
}

int net_get_ifaddr(const char* name, char* out, int size)
{
    if (!name || !out || size <= 0)
        return -1;
    netsim_interface sim;
    int found = netsim_find(name, &sim);
    if (found >= 0)
        return found == 0 ? netsim_value(sim.ip, out, size) : -1;
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return -1;
    struct ifreq req;
    memset(&req, 0, sizeof req);
    snprintf(req.ifr_name, sizeof req.ifr_name, "%.15s", name);
    req.ifr_addr.sa_family = AF_INET;
    int rc = ioctl(fd, SIOCGIFADDR, &req);
    close(fd);
    if (rc != 0)
        return -1;
    const struct sockaddr_in* in = (const struct sockaddr_in*)(const void*)&req.ifr_addr;
    return inet_ntop(AF_INET, &in->sin_addr, out, (socklen_t)size) ? 0 : -1;
}

int net_get_ipv6_ifaddr(const char* name, int scope, char* address, int address_size, char* prefix,
                        int prefix_size)
{
    if (!name || !address || address_size <= 0 || !prefix || prefix_size <= 0)
        return -1;
    netsim_interface sim;
    int found = netsim_find(name, &sim);
    if (found >= 0) {
        if (found != 0 || !sim.ip6[0] || !sim.prefix6[0])
            return -1;
        netsim_value(sim.ip6, address, address_size);
        return netsim_value(sim.prefix6, prefix, prefix_size);
    }
    // Kernel: "address index prefix scope flags name" per line.
    FILE* f = fopen("/proc/net/if_inet6", "r");
    if (!f)
        return -1;
    const unsigned want_scope = scope == 1 ? 0x20 : 0x00;
    char hex[40], dev[32];
    unsigned index, length, line_scope, flags;
    int rc = -1;
    while (rc != 0 && fscanf(f, "%39s %x %x %x %x %31s", hex, &index, &length, &line_scope, &flags, dev) == 6) {
        struct in6_addr a;
        char text[INET6_ADDRSTRLEN];
        if (strcmp(dev, name) != 0 || line_scope != want_scope || !hex_address(hex, &a) ||
            !inet_ntop(AF_INET6, &a, text, sizeof text))
            continue;
        copy_cut(address, (size_t)address_size, text, strlen(text));
        snprintf(prefix, (size_t)prefix_size, "%u", length);
        rc = 0;
    }
    fclose(f);
    return rc;
}

int net_get_ipv6_gateway2(const char* name, int selector, char* out, int size)
{
    if (!name || !out || size <= 0 || selector < 0 || selector > 1)
        return -1;
    netsim_interface sim;
    int found = netsim_find(name, &sim);
    if (found >= 0)
        return found == 0 ? netsim_value(selector == 0 ? sim.gw6 : sim.gw6alt, out, size) : -1;
    // Kernel: default routes (destination ::/0) of the interface, in order.
    FILE* f = fopen("/proc/net/ipv6_route", "r");
    if (!f)
        return -1;
    char dest[40], src[40], hop[40], dev[32];
    unsigned dest_len, src_len, metric, refs, use, flags;
    int seen = 0, rc = -1;
    while (rc != 0 && fscanf(f, "%39s %x %39s %x %39s %x %x %x %x %31s", dest, &dest_len, src, &src_len, hop,
                             &metric, &refs, &use, &flags, dev) == 10) {
        struct in6_addr a;
        char text[INET6_ADDRSTRLEN];
        if (strcmp(dev, name) != 0 || dest_len != 0 || strspn(dest, "0") != 32 || !hex_address(hop, &a) ||
            strspn(hop, "0") == 32 || seen++ != selector || !inet_ntop(AF_INET6, &a, text, sizeof text))
            continue;
        copy_cut(out, (size_t)size, text, strlen(text));
        rc = 0;
    }
    fclose(f);
    return rc;
}
