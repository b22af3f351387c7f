// Interface configuration from SIOCGIF* queries and /proc/net/route.
#include "platform/netconf.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One query on a fresh copy of the request: a failed query then reads as
// zeros, never as what an earlier query left in the shared union.
bool query(int fd, unsigned long command, const struct ifreq& base, struct ifreq* out, const char* label)
{
    *out = base;
    if (ioctl(fd, command, out) == 0)
        return true;
    fprintf(stderr, "[%s] ioctl: %s\n", label, strerror(errno));
    memset(&out->ifr_ifru, 0, sizeof out->ifr_ifru);
    return false;
}

void address_text(const struct sockaddr& address, char (&field)[24])
{
    struct sockaddr_in in;
    memcpy(&in, &address, sizeof in);
    char text[INET_ADDRSTRLEN] = "0.0.0.0";
    if (!inet_ntop(AF_INET, &in.sin_addr, text, sizeof text))
        snprintf(text, sizeof text, "0.0.0.0");
    wire_text(field, text);
}

// The gateway of the first default route of `name`; false when none.
bool read_gateway(const char* name, const char* route_path, char (&gateway)[24])
{
    FILE* file = fopen(route_path, "r");
    if (!file) {
        fprintf(stderr, "fopen: %s\n", strerror(errno));
        return false;
    }
    char line[256];
    bool found = false, header = true;
    while (!found && fgets(line, sizeof line, file)) {
        const bool whole = strchr(line, '\n') != nullptr;
        if (!whole) {
            // A longer line is skipped to its end, so its rest is not read
            // as a line of its own.
            int c;
            while ((c = fgetc(file)) != EOF && c != '\n') {
            }
        }
        if (header) {
            header = false;
            continue;
        }
        char ifname[IFNAMSIZ];
        unsigned long destination = 1, via = 0;
        if (!whole || sscanf(line, "%15s %lX %lX", ifname, &destination, &via) != 3 || destination != 0)
            continue;
        if (strcmp(ifname, name) != 0)
            continue;
        // The file prints the address as a host-order number of its
        // network-order bytes: byte 0 in memory is the first number.
        const uint32_t v = (uint32_t)via;
        char text[24];
        snprintf(text, sizeof text, "%u.%u.%u.%u", v & 0xff, (v >> 8) & 0xff, (v >> 16) & 0xff, v >> 24);
        wire_text(gateway, text);
        found = true;
    }
    fclose(file);
    return found;
}

}  // namespace

int if_get_netconf(const char* name, NetConf* conf)
{
    return if_get_netconf_route(name, conf, "/proc/net/route");
}

int if_get_netconf_route(const char* name, NetConf* conf, const char* route_path)
{
    if (!name || !conf)
        return -1;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        fprintf(stderr, "socket: %s\n", strerror(errno));
        return -1;
    }
    struct ifreq base;
    memset(&base, 0, sizeof base);
    // A name that does not fit is unknown, not the interface its first 15
    // characters would name.
    const bool known = strlen(name) < IFNAMSIZ;
    if (known)
        memcpy(base.ifr_name, name, strlen(name));

    struct ifreq r;
    query(fd, SIOCGIFMTU, base, &r, "SIOCGIFMTU");
    conf->mtu = r.ifr_mtu;
    if (query(fd, SIOCGIFFLAGS, base, &r, "SIOCGIFFLAGS")) {
        conf->up = (r.ifr_flags & IFF_UP) ? 1 : 0;
    } else {
        conf->up = 0;
        // As the device does: the queries after a failed flags query fail too.
        memset(&base, 0, sizeof base);
    }
    query(fd, SIOCGIFADDR, base, &r, "SIOCGIFADDR");
    address_text(r.ifr_addr, conf->ip);
    query(fd, SIOCGIFHWADDR, base, &r, "SIOCGIFHWADDR");
    const unsigned char* hw = (const unsigned char*)r.ifr_hwaddr.sa_data;
    char mac[24];
    snprintf(mac, sizeof mac, "%2.2x:%2.2x:%2.2x:%2.2x:%2.2x:%2.2x", hw[0], hw[1], hw[2], hw[3], hw[4], hw[5]);
    wire_text(conf->mac, mac);
    query(fd, SIOCGIFNETMASK, base, &r, "SIOCGIFNETMASK");
    address_text(r.ifr_netmask, conf->netmask);
    query(fd, SIOCGIFBRDADDR, base, &r, "SIOCGIFBRDADDR");
    address_text(r.ifr_broadaddr, conf->broadcast);

    if (known && route_path)
        read_gateway(name, route_path, conf->gateway);
    close(fd);
    return 0;
}
