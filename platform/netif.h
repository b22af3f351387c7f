// Interface queries (stand-in for the platform's network calls). On a laptop
// the device's interfaces do not exist and a CI machine's addresses vary, so
// when the device file "/var/run/netsim" exists every query reads it instead
// of the kernel: one line per interface, "NAME key=value ...", keys mac, ip,
// gw, ip6, prefix6, gw6 and gw6alt (IPv6 gateway selectors 0 and 1). A key
// the line lacks makes that query fail, as a kernel without it would.
#pragma once
#include <cstddef>

#define NETSIM_FILE "/var/run/netsim"

// IPv4 address text of an interface; 0 on success.
int net_get_ifaddr(const char* name, char* out, int size);
// IPv6 address and prefix of an interface; `scope` 1 asks for the
// link-local address, 0 for a global one. 0 on success.
int net_get_ipv6_ifaddr(const char* name, int scope, char* address, int address_size, char* prefix,
                        int prefix_size);
// IPv6 default gateway of an interface, the first (selector 0) or the
// second (1) the kernel knows; 0 on success.
int net_get_ipv6_gateway2(const char* name, int selector, char* out, int size);
// Hardware address "XX:XX:XX:XX:XX:XX" (18 bytes); 0 on success.
int net_get_hwaddr(const char* name, char out[18]);

// The simulated interfaces as coresim keeps them; an empty text is an
// absent key.
struct netsim_interface {
    char name[16];
    char mac[18];
    char ip[16];
    char gw[16];
    char ip6[64];
    char prefix6[16];
    char gw6[64];
    char gw6alt[64];
};
enum { NETSIM_MAX_INTERFACES = 8 };

// The interfaces of the file (at most `capacity`), or -1 when it does not exist.
int netsim_read(netsim_interface* out, int capacity);
// Replaces the file as a whole (a reader never sees half of it); 0 on success.
int netsim_write(const netsim_interface* list, int count);
