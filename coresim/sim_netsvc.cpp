// Simulated network services: a clock offset instead of the host clock, a
// PPPoE link in the netsim file, a DDNS state from the stored settings, and
// a real SMTP check behind the test mail.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "coresim/coresim.h"
#include "modules/network/network_records.h"
#include "platform/netif.h"
#include "platform/vxdb.h"

namespace {

enum { SMTP_TIMEOUT_MS = 5000, SMTP_GREETING_MAX = 512 };

#define PPPOE_ADDRESS "100.64.0.2"

std::mutex g_mu;
long g_clock_offset;  // seconds the simulated clock is ahead of the host

// The clock text without its quotes, as local time; false when it is none.
bool parse_clock(const char* text, time_t* out)
{
    struct tm t;
    memset(&t, 0, sizeof t);
    char sep[3][2];
    if (sscanf(text, "\"%4d%1[-/]%2d%1[-/]%2d%1[ T]%2d:%2d:%2d\"", &t.tm_year, sep[0], &t.tm_mon, sep[1], &t.tm_mday,
               sep[2], &t.tm_hour, &t.tm_min, &t.tm_sec) != 9)
        return false;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    *out = mktime(&t);
    return *out != (time_t)-1;
}

// The host clock is never set: the manual time becomes an offset, and an
// empty text (NTP) brings the simulated clock back to the host's.
void on_set_systime(const SimRequest& request, SimReply& reply)
{
    char text[SYSTIME_TEXT_SIZE + 1] = {0};
    const int n = request.length < (int)SYSTIME_TEXT_SIZE ? request.length : (int)SYSTIME_TEXT_SIZE;
    memcpy(text, request.payload, n > 0 ? (size_t)n : 0);
    time_t wanted = 0;
    long offset = 0;
    if (text[0] && parse_clock(text, &wanted))
        offset = (long)(wanted - time(nullptr));
    else if (text[0])
        sim_log("clock text not understood: %s", text);
    {
        std::lock_guard<std::mutex> lock(g_mu);
        if (!text[0] || wanted)
            g_clock_offset = offset;
    }
    sim_log("clock offset %ld s (%s)", offset, text[0] ? text : "NTP");
    reply.send_word(0);
}

void on_systime_applied(const SimRequest&, SimReply&)
{
    std::lock_guard<std::mutex> lock(g_mu);
    sim_log("clock applied: offset %ld s", g_clock_offset);
}

void on_access_filter_changed(const SimRequest&, SimReply&)
{
    access_filter_entry list[ACCESS_FILTER_MAX];
    int count = 0;
    read_access_filter(VXDB_MAIN, list, ACCESS_FILTER_MAX, &count);
    sim_log("access filter %s, type %d, %d entries",
            get_param_int(VXDB_MAIN, "access_filter_enable", 0) ? "on" : "off",
            get_param_int(VXDB_MAIN, "access_filter_type", 1), count);
}

// Off, registered when there is a name to register, failed otherwise.
void on_ddns_status(const SimRequest&, SimReply& reply)
{
    ddns_record ddns;
    int state = DDNS_STATE_FAILED;
    if (read_ddns(VXDB_MAIN, &ddns) == 0) {
        ddns.host_name[sizeof ddns.host_name - 1] = ddns.domain[sizeof ddns.domain - 1] = '\0';
        state = !ddns.enable ? DDNS_STATE_OFF
                : ddns.host_name[0] && ddns.domain[0] ? DDNS_STATE_REGISTERED
                                                      : DDNS_STATE_FAILED;
    }
    reply.send_word(state);
}

long ms_since(const struct timespec& start)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

// Waits for `events` on fd until SMTP_TIMEOUT_MS after `start`.
bool wait_fd(int fd, short events, const struct timespec& start)
{
    for (;;) {
        const long left = SMTP_TIMEOUT_MS - ms_since(start);
        if (left <= 0)
            return false;
        struct pollfd p = {fd, events, 0};
        const int rc = poll(&p, 1, (int)left);
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

// One address: connect and read the first line within what is left of the
// 5 s; true when it is a "220" greeting.
bool greets(const struct sockaddr* address, socklen_t address_size, const struct timespec& start, char* line,
            size_t size)
{
    const int fd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    bool ok = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (connect(fd, address, address_size) == 0 ||
        (errno == EINPROGRESS && wait_fd(fd, POLLOUT, start) &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)) {
        size_t n = 0;
        while (n + 1 < size && !memchr(line, '\n', n) && wait_fd(fd, POLLIN, start)) {
            const ssize_t got = recv(fd, line + n, size - 1 - n, 0);
            if (got <= 0 && !(got < 0 && (errno == EINTR || errno == EAGAIN)))
                break;
            n += got > 0 ? (size_t)got : 0;
            line[n] = '\0';
        }
        ok = n >= 3 && strncmp(line, "220", 3) == 0;
        if (ok)
            send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
    }
    close(fd);
    return ok;
}

// A real server's greeting, so that the test-mail button tells whether the
// stored server answers at all.
bool smtp_server_greets(const char* server, int port)
{
    if (!server[0] || port <= 0 || port > 65535)
        return false;
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    // A numeric IPv4 or IPv6 address only, as the device's own programs
    // take it: a name would need the C library's resolver and could wait on
    // DNS; it gets "no greeting" at once.
    struct sockaddr_in v4;
    struct sockaddr_in6 v6;
    memset(&v4, 0, sizeof v4);
    memset(&v6, 0, sizeof v6);
    const struct sockaddr* address = nullptr;
    socklen_t address_size = 0;
    if (inet_pton(AF_INET, server, &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons((uint16_t)port);
        address = (const struct sockaddr*)&v4, address_size = sizeof v4;
    } else if (inet_pton(AF_INET6, server, &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons((uint16_t)port);
        address = (const struct sockaddr*)&v6, address_size = sizeof v6;
    } else {
        sim_log("SMTP %s:%d is not a numeric address: no greeting", server, port);
        return false;
    }
    char line[SMTP_GREETING_MAX] = {0};
    const bool ok = greets(address, address_size, start, line, sizeof line);
    line[strcspn(line, "\r\n")] = '\0';
    sim_log("SMTP %s:%d %s%s", server, port, ok ? "greets: " : "gives no greeting ", line);
    return ok;
}

void on_test_email(const SimRequest& request, SimReply& reply)
{
    char text[TEST_EMAIL_TEXT_SIZE];
    if (!request.as(&text))
        return;
    text[sizeof text - 1] = '\0';
    email_record mail;
    if (strcmp(text, "testmail") != 0 || read_email(VXDB_MAIN, &mail) != 0) {
        reply.send_word(1);
        return;
    }
    mail.smtp_server[sizeof mail.smtp_server - 1] = '\0';
    reply.send_word(smtp_server_greets(mail.smtp_server, mail.smtp_port) ? 0 : 1);
}

const SimEntry kNetsvc[] = {
    {REQ_SET_SYSTIME, on_set_systime, "set the simulated clock (an offset; the host clock stays)"},
    {REQ_SYSTIME_APPLIED, on_systime_applied, "clock applied"},
    {REQ_ACCESS_FILTER_CHANGED, on_access_filter_changed, "access filter changed"},
    {REQ_DDNS_STATUS, on_ddns_status, "DDNS state from the stored settings: 0 off, 1 registered, 2 failed"},
    {REQ_TEST_EMAIL, on_test_email, "test mail: 0 when the SMTP server greets with 220 within 5 s"},
};

// The dial-up link of a stored PPPoE setting: up while it is enabled.
void apply_pppoe()
{
    pppoe_record pppoe;
    if (read_pppoe(VXDB_MAIN, &pppoe) != 0)
        return;
    netsim_interface list[NETSIM_MAX_INTERFACES];
    int count = netsim_read(list, NETSIM_MAX_INTERFACES);
    count = count < 0 ? 0 : count;
    int at = 0;
    while (at < count && strcmp(list[at].name, "ppp0") != 0)
        at++;
    if (pppoe.enable) {
        if (at == count) {
            if (count >= NETSIM_MAX_INTERFACES)
                return;
            count++;
        }
        memset(&list[at], 0, sizeof list[at]);
        wire_text(list[at].name, "ppp0");
        wire_text(list[at].ip, PPPOE_ADDRESS);
    } else if (at < count) {
        memmove(&list[at], &list[at + 1], sizeof list[0] * (size_t)(count - at - 1));
        count--;
    }
    netsim_write(list, count);
    sim_log("PPPoE %s", pppoe.enable ? "up: ppp0 " PPPOE_ADDRESS : "down");
}

}  // namespace

bool sim_netsvc_changed(const char* what)
{
    if (strcmp(what, "pppoe") == 0)
        apply_pppoe();
    else if (strcmp(what, "ddns") != 0 && strcmp(what, "mail") != 0 && strcmp(what, "snmp") != 0)
        return false;
    else
        sim_log("service %s restarted", what);
    return true;
}

// Time, e-mail and SNMP settings of a recorder out of the box.
void sim_netsvc_seed()
{
    time_record time_settings;
    memset(&time_settings, 0, sizeof time_settings);
    wire_text(time_settings.time_zone, "GMT+00:00");
    wire_text(time_settings.time_zone_name, "UTC");
    wire_text(time_settings.ntp_server, "pool.ntp.org");
    time_settings.sync_interval = 24;
    write_time(VXDB_MAIN, &time_settings);
    email_record mail;
    memset(&mail, 0, sizeof mail);
    mail.smtp_port = 25;
    mail.capture_interval = 5;
    write_email(VXDB_MAIN, &mail);
    snmp_record snmp;
    memset(&snmp, 0, sizeof snmp);
    wire_text(snmp.read_community, "public");
    wire_text(snmp.write_community, "private");
    snmp.port = 161;
    write_snmp(VXDB_MAIN, &snmp);
}

const SimEntry* sim_netsvc_table(int* count)
{
    *count = (int)(sizeof kNetsvc / sizeof kNetsvc[0]);
    return kNetsvc;
}
