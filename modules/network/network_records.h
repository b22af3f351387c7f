// Network module: wire and database records of the interfaces, service
// ports, UPnP, multicast and push messages, shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "platform/wire.h"

// Core-service requests of the interfaces and ports; waiting ones are
// answered by code + 5000.
enum {
    REQ_POS_PORT = 1422,          // 4-byte new POS port
    REQ_NETWORK_CHANGED = 1702,   // 32-byte text: "network" or "more"
    REQ_REBOOT = 1703,            // no payload
    REQ_NETWORK_RESTART = 1712,   // 32 zero bytes
    REQ_DEFAULT_ROUTE = 1724,     // 4 bytes; answer 6724
    REQ_MULTICAST = 1729,         // the multicast record; answer 6729
    REQ_IP_CONFLICT = 3005,       // 20-byte address; answer 8005
    REQ_IP_CONFLICT_BY_DEV = 3006,  // ip_conflict_request; answer 8006
    REQ_SLAVE_CLEAR = 3023,       // 4 bytes
    REQ_PUSH_MSG_ENABLE = 3617,   // 10-byte decimal text
    REQ_CH_ACCESS = 3618,         // 4 bytes
    REQ_UPNP_SET = 3720,          // the UPnP record
    NETWORK_CHANGED_TEXT_SIZE = 32,
    IP_CONFLICT_TEXT_SIZE = 20,
    PUSH_MSG_ENABLE_TEXT_SIZE = 10,
};

// The exception log of an address conflict (operations use core/oplog_codes.h).
enum {
    LOG_MAIN_NETWORK_EXCEPTION = 32,
    LOG_SUB_IP_CONFLICT = 406,
};

enum {
    NETWORK_MODE_MULTI = 0,   // the two ports used separately
    NETWORK_MODE_BOND = 1,
    NETWORK_MODE_BOND_PRIMARY = 2,
    PUSH_MSG_CHANNELS = 64,
    PUSH_NVR_POS_CUT = 64,
};

WIRE_BEGIN

// One interface's addresses inside the network record.
struct network_block {
    int32_t enable;
    int32_t v4type;
    char ip[16];
    char mask[16];
    char gw[16];
    char dns1[16];
    char dns2[16];
    int32_t mtu;
    int32_t v6type;
    char v6addr[64];
    char v6mask[16];
    char v6gw[64];
};

struct network_record {
    int32_t mode;
    char host_name[128];
    int32_t primary_net;
    network_block bond0;
    network_block eth0;
    network_block eth1;
    int32_t default_route;
    uint8_t reserved[40];
};

struct port_record {
    int32_t enable_ssh;
    int32_t ssh;
    int32_t http;
    int32_t rtsp;
    int32_t service;
    char host_name[256];  // the e-mail settings maintain it
    int32_t enable_host_name;
    int32_t https;
    int32_t pos;
};

struct upnp_record {
    int32_t enable;
    int32_t type;
    uint8_t other[128];   // not touched by the web pages
    int32_t external_http_port;
    int32_t http_status;
    int32_t external_rtsp_port;
    int32_t rtsp_status;
};

struct multicast_record {
    int32_t enable;
    char ip[68];
};

// Push-message event types of one channel, idx = channel.
struct push_msg_event {
    int32_t channel;
    int32_t type_mask;
};

struct push_msg_nvr_event {
    char pos[65];
};

// The device's MAC as twelve hex digits; one row serves the 32-byte read of
// the network page and the 64-byte read of the log export.
struct mac_conf {
    char mac[64];
};

struct ip_conflict_request {
    char dev[16];
    char ip[16];
};

WIRE_END

WIRE_SIZE(network_block, 240);
WIRE_OFFSET(network_block, v4type, 4);
WIRE_OFFSET(network_block, ip, 8);
WIRE_OFFSET(network_block, mask, 24);
WIRE_OFFSET(network_block, gw, 40);
WIRE_OFFSET(network_block, dns1, 56);
WIRE_OFFSET(network_block, dns2, 72);
WIRE_OFFSET(network_block, mtu, 88);
WIRE_OFFSET(network_block, v6type, 92);
WIRE_OFFSET(network_block, v6addr, 96);
WIRE_OFFSET(network_block, v6mask, 160);
WIRE_OFFSET(network_block, v6gw, 176);
WIRE_SIZE(network_record, 900);
WIRE_OFFSET(network_record, host_name, 4);
WIRE_OFFSET(network_record, primary_net, 132);
WIRE_OFFSET(network_record, bond0, 136);
WIRE_OFFSET(network_record, eth0, 376);
WIRE_OFFSET(network_record, eth1, 616);
WIRE_OFFSET(network_record, default_route, 856);
WIRE_SIZE(port_record, 288);
WIRE_OFFSET(port_record, ssh, 4);
WIRE_OFFSET(port_record, http, 8);
WIRE_OFFSET(port_record, rtsp, 12);
WIRE_OFFSET(port_record, service, 16);
WIRE_OFFSET(port_record, host_name, 20);
WIRE_OFFSET(port_record, enable_host_name, 276);
WIRE_OFFSET(port_record, https, 280);
WIRE_OFFSET(port_record, pos, 284);
WIRE_SIZE(upnp_record, 152);
WIRE_OFFSET(upnp_record, external_http_port, 136);
WIRE_OFFSET(upnp_record, rtsp_status, 148);
WIRE_SIZE(multicast_record, 72);
WIRE_OFFSET(multicast_record, ip, 4);
WIRE_SIZE(push_msg_event, 8);
WIRE_SIZE(push_msg_nvr_event, 65);
WIRE_SIZE(mac_conf, 64);
WIRE_SIZE(ip_conflict_request, 32);

// Database records (network_db.cpp). 0 on success, -1 on failure; a record
// never stored reads as zeros.
int read_network(const char* db, network_record* out);
int write_network(const char* db, const network_record* record);
// Read-modify-write of the network record in one transaction; as vxdb_update.
int update_network(const char* db, bool (*change)(void* record, void* context), void* context);
int read_port(const char* db, port_record* out);
int write_port(const char* db, const port_record* record);
int update_port(const char* db, bool (*change)(void* record, void* context), void* context);
int read_upnp(const char* db, upnp_record* out);
int write_upnp(const char* db, const upnp_record* record);
int read_multicast(const char* db, multicast_record* out);
int write_multicast(const char* db, const multicast_record* record);
int update_multicast(const char* db, bool (*change)(void* record, void* context), void* context);
// Channels 0 .. count-1 (count cut to 0..64) in one transaction.
int write_push_msg_events(const char* db, const push_msg_event* list, int count);
// Fills out[0 .. count-1] (count cut to 0..64); missing channels read as zeros.
int read_push_msg_events(const char* db, push_msg_event* out, int count);
int read_push_msg_nvr_event(const char* db, push_msg_nvr_event* out);
int write_push_msg_nvr_event(const char* db, const push_msg_nvr_event* record);
// The MAC text, cut to size - 1 and NUL-terminated (size 32 or 64).
int read_mac_conf(const char* db, char* out, int size);
int write_mac_conf(const char* db, const char* mac);

// ---- Network services: time, PPPoE, DDNS, e-mail, SNMP, access filter ----

enum {
    REQ_SET_SYSTIME = 1701,          // 32-byte clock text; answer 6701
    REQ_SYSTIME_APPLIED = 1711,      // no payload, after 6701
    REQ_ACCESS_FILTER_CHANGED = 1722,  // no payload
    REQ_DDNS_STATUS = 3309,          // no payload; answer 8309, one word 0..2
    REQ_TEST_EMAIL = 3409,           // 32-byte text "testmail"; answer 8409, 0 = sent
    SYSTIME_TEXT_SIZE = 32,
    TEST_EMAIL_TEXT_SIZE = 32,
    ACCESS_FILTER_MAX = 100,
    // The quoted clock text and its NUL must fit the 32-byte payload.
    MANUAL_TIME_MAX = SYSTIME_TEXT_SIZE - 3,
    EMAIL_RECEIVERS = 3,
};

// DDNS states of 3309 as coresim tells them.
enum { DDNS_STATE_OFF = 0, DDNS_STATE_REGISTERED = 1, DDNS_STATE_FAILED = 2 };

WIRE_BEGIN

struct time_record {
    int32_t ntp_enable;
    int32_t dst_enable;
    char time_zone[32];
    char time_zone_name[32];
    char ntp_server[64];
    int32_t sync_enable;
    int32_t sync_interval;
    int32_t sync_pc;
};

struct pppoe_record {
    int32_t enable;
    int32_t auto_connect;
    char user_name[64];
    char password[64];
};

struct ddns_record {
    int32_t enable;
    char domain[64];
    char user_name[32];
    char password[32];
    char host_name[128];
    char free_dns_hash[128];
    int32_t update_freq;
    int32_t http_port;
    int32_t rtsp_port;
    char ddns_url[128];
};

struct email_receiver {
    uint8_t unused[4];
    char addr[128];
    char name[64];
};

struct email_record {
    int32_t enable;
    char user_name[64];
    char password[64];
    char smtp_server[64];
    int32_t smtp_port;
    char sender_addr[128];
    char sender_name[64];
    int32_t enable_tls;
    int32_t enable_attach;
    int32_t capture_interval;
    email_receiver receivers[EMAIL_RECEIVERS];
};

struct snmp_record {
    int32_t v1_enable;
    int32_t v2c_enable;
    char write_community[64];
    char read_community[64];
    int32_t v3_enable;
    char read_security_name[64];
    int32_t read_level_security;
    int32_t read_auth_algorithm;
    char read_auth_password[64];
    int32_t read_pri_algorithm;
    char read_pri_password[64];
    char write_security_name[64];
    int32_t write_level_security;
    int32_t write_auth_algorithm;
    char write_auth_password[64];
    int32_t write_pri_algorithm;
    char write_pri_password[64];
    int32_t port;
};

struct access_filter_entry {
    int32_t address_type;
    char address[32];
};

WIRE_END

WIRE_SIZE(time_record, 148);
WIRE_OFFSET(time_record, time_zone, 8);
WIRE_OFFSET(time_record, ntp_server, 72);
WIRE_OFFSET(time_record, sync_enable, 136);
WIRE_OFFSET(time_record, sync_pc, 144);
WIRE_SIZE(pppoe_record, 136);
WIRE_OFFSET(pppoe_record, user_name, 8);
WIRE_OFFSET(pppoe_record, password, 72);
WIRE_SIZE(ddns_record, 528);
WIRE_OFFSET(ddns_record, host_name, 132);
WIRE_OFFSET(ddns_record, update_freq, 388);
WIRE_OFFSET(ddns_record, http_port, 392);
WIRE_OFFSET(ddns_record, rtsp_port, 396);
WIRE_OFFSET(ddns_record, ddns_url, 400);
WIRE_SIZE(email_receiver, 196);
WIRE_OFFSET(email_receiver, addr, 4);
WIRE_OFFSET(email_receiver, name, 132);
WIRE_SIZE(email_record, 992);
WIRE_OFFSET(email_record, smtp_port, 196);
WIRE_OFFSET(email_record, enable_tls, 392);
WIRE_OFFSET(email_record, capture_interval, 400);
WIRE_OFFSET(email_record, receivers[0], 404);
WIRE_OFFSET(email_record, receivers[1], 600);
WIRE_OFFSET(email_record, receivers[2], 796);
WIRE_SIZE(snmp_record, 552);
WIRE_OFFSET(snmp_record, v3_enable, 136);
WIRE_OFFSET(snmp_record, read_pri_password, 280);
WIRE_OFFSET(snmp_record, write_pri_password, 484);
WIRE_OFFSET(snmp_record, port, 548);
WIRE_SIZE(access_filter_entry, 36);

// Network-service records (netsvc_db.cpp). 0 on success, -1 on failure; a
// record never stored reads as zeros.
int read_time(const char* db, time_record* out);
int write_time(const char* db, const time_record* record);
int read_pppoe(const char* db, pppoe_record* out);
int write_pppoe(const char* db, const pppoe_record* record);
int read_ddns(const char* db, ddns_record* out);
int write_ddns(const char* db, const ddns_record* record);
int read_email(const char* db, email_record* out);
int write_email(const char* db, const email_record* record);
int update_email(const char* db, bool (*change)(void* record, void* context), void* context);
int read_snmp(const char* db, snmp_record* out);
int write_snmp(const char* db, const snmp_record* record);
// Entries 0 .. *count-1 (at most `capacity`, cut to 100); *count is how many
// are stored.
int read_access_filter(const char* db, access_filter_entry* out, int capacity, int* count);
// Replaces the whole list with `count` entries (cut to 0..100) in one
// transaction.
int write_access_filter(const char* db, const access_filter_entry* list, int count);

// ---- HTTPS certificates (network_https.cpp, https_db.cpp) ----

// The certificate directory of the web server and its files (device paths).
#define SSL_DIR "/mnt/nand/ssl"
#define SSL_CERT_NAME "ssl_cert.pem"
#define SSL_CERT_SAVE_NAME "ssl_cert_save.pem"
#define SSL_CSR_NAME "ssl_cert.csr"
#define SSL_CERT_PATH SSL_DIR "/" SSL_CERT_NAME
#define SSL_CERT_SAVE_PATH SSL_DIR "/" SSL_CERT_SAVE_NAME
#define SSL_CSR_PATH SSL_DIR "/tmp/" SSL_CSR_NAME
// The key of the request, kept beside it until a signed certificate comes.
#define SSL_CSR_KEY_PATH SSL_DIR "/tmp/ssl_cert.key"
#define SSL_CA_DIR SSL_DIR "/demoCA"
#define HTTPS_ENABLE_PARAM "httpsenable"

enum {
    REQ_HTTPS_CREATE_CERT = 3316,     // ssl_params; answer 8316
    REQ_HTTPS_DELETE_CERT_REQ = 3317,  // no payload, no answer
    REQ_HTTPS_CHECK_CERT = 3318,      // no payload; answer 8318: one word, 1 good
    REQ_HTTPS_DELETE_CERT = 3320,     // no payload, no answer
    REQ_HTTPS_SET_ENABLE = 3322,      // one word 0/1, no answer
};
enum { SSL_INSTALL_SELF_SIGNED = 0 };
// read_ssl_params kinds: the installed certificate and the request.
enum { SSL_PARAMS_CERT = 0, SSL_PARAMS_REQUEST = 2 };

WIRE_BEGIN
struct ssl_params {
    int32_t install_type;
    char country[3];
    char common_name[64];
    uint8_t pad0[1];
    int32_t validity;  // days, when no start and end time are given
    char password[16];
    char province[64];
    char region[64];
    char organization[64];
    char company[64];
    char email[64];
    uint8_t reserved[256];
    char dates[192];       // validity period text, written by the core service
    char start_time[16];   // "YYYYMMDDHHMMSSZ"
    char end_time[16];
};
WIRE_END
WIRE_SIZE(ssl_params, 892);
WIRE_OFFSET(ssl_params, common_name, 7);
WIRE_OFFSET(ssl_params, validity, 72);
WIRE_OFFSET(ssl_params, password, 76);
WIRE_OFFSET(ssl_params, province, 92);
WIRE_OFFSET(ssl_params, region, 156);
WIRE_OFFSET(ssl_params, organization, 220);
WIRE_OFFSET(ssl_params, company, 284);
WIRE_OFFSET(ssl_params, email, 348);
WIRE_OFFSET(ssl_params, dates, 668);
WIRE_OFFSET(ssl_params, start_time, 860);
WIRE_OFFSET(ssl_params, end_time, 876);

// `kind` SSL_PARAMS_CERT or SSL_PARAMS_REQUEST; 0 on success, -1 on failure
// (also for another kind); a record never stored reads as zeros.
int read_ssl_params(const char* db, int kind, ssl_params* out);
int write_ssl_params(const char* db, int kind, const ssl_params* record);

// ---- P2P cloud service ----

enum {
    REQ_P2P_UNBIND = 2302,     // no payload; answer 7302
    REQ_P2P_ENABLE = 3700,     // p2p_info (switching on), or the registration code; answer 8700
    REQ_P2P_DISABLE = 3701,    // p2p_info; answer 8701
    REQ_P2P_STATUS = 3702,     // no payload; answer 8702, p2p_state
    P2P_REG_COMMAND = 2,
    P2P_REG_RESULT_DENIED = 2,
    P2P_REG_PORT = 9999,
    P2P_WORK_BUFFER = 2048,
    // The server's text as the core service takes it: 127 characters at most.
    P2P_REG_CODE_MAX = 127,
};

// Registration-test results printed by "/7062".
enum { P2P_TEST_OK = 0, P2P_TEST_DENIED = 2, P2P_TEST_NETWORK = 3, P2P_TEST_KEY = 4 };

WIRE_BEGIN

// The P2P settings record; the texts' meaning is the core service's, the
// registration test only sends them.
struct p2p_info {
    int32_t enable;
    uint8_t reserved[32];
    char text0[128];
    char text1[128];
    char text2[128];
    char text3[64];
};

// The P2P client's state, payload of answer 8702.
struct p2p_state {
    int32_t enable;
    int32_t p2pstatus;
    char model[32];
    char ipc[64];
    char cloud_account[64];
    char cloud_server[64];
    char register_code[128];
    char company[128];
    char email[128];
    char dealer[128];
};

// Header of a registration message and of its answer: ten words.
struct p2p_reg_header {
    int32_t command;
    int32_t zero;
    int32_t encrypted_size;  // rsa_cal_ensize of the body
    int32_t result;          // 0 when sent; the server's result in the answer
    int32_t one;
    int32_t reserved[5];
};

struct p2p_reg_body {
    char mac[24];
    char device_name[32];
    char sn[64];
    char text0[128];
    char text1[128];
    char text2[128];
    char text3[64];
};

WIRE_END

WIRE_SIZE(p2p_info, 484);
WIRE_OFFSET(p2p_info, text0, 36);
WIRE_OFFSET(p2p_info, text1, 164);
WIRE_OFFSET(p2p_info, text2, 292);
WIRE_OFFSET(p2p_info, text3, 420);
WIRE_SIZE(p2p_state, 744);
WIRE_OFFSET(p2p_state, model, 8);
WIRE_OFFSET(p2p_state, ipc, 40);
WIRE_OFFSET(p2p_state, cloud_account, 104);
WIRE_OFFSET(p2p_state, cloud_server, 168);
WIRE_OFFSET(p2p_state, register_code, 232);
WIRE_OFFSET(p2p_state, company, 360);
WIRE_OFFSET(p2p_state, email, 488);
WIRE_OFFSET(p2p_state, dealer, 616);
WIRE_SIZE(p2p_reg_header, 40);
WIRE_OFFSET(p2p_reg_header, result, 12);
WIRE_SIZE(p2p_reg_body, 568);
WIRE_OFFSET(p2p_reg_body, device_name, 24);
WIRE_OFFSET(p2p_reg_body, sn, 56);
WIRE_OFFSET(p2p_reg_body, text0, 120);
WIRE_OFFSET(p2p_reg_body, text3, 504);

// The P2P settings record (p2p_db.cpp): 0 on success, -1 on failure; never
// stored reads as zeros.
int read_p2p_info(const char* db, p2p_info* out);
int write_p2p_info(const char* db, const p2p_info* record);
int update_p2p_info(const char* db, bool (*change)(void* record, void* context), void* context);
