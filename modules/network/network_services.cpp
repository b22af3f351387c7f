// Network services: date and time with NTP, PPPoE, DDNS, e-mail with its
// test mail, SNMP, and the IP access filter of the system pages.
#include "modules/network/network.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "core/web_utils.h"
#include "platform/netif.h"
#include "platform/vxdb.h"
#include "platform/vxtask.h"

namespace {

// Path, handler, one line of help; the lists also declare the handlers.
#define SERVICE_RESOURCES(X) \
    X("/7000", on_get_time_info, "current time and time settings") \
    X("/7001", on_set_time_info, "store time settings and set the clock") \
    X("/7010", on_get_pppoe_info, "PPPoE settings and the dial-up address") \
    X("/7011", on_set_pppoe_info, "store PPPoE settings") \
    X("/7020", on_get_ddns_info, "DDNS settings") \
    X("/7021", on_set_ddns_info, "store DDNS settings") \
    X("/7094", on_get_ddns_status, "DDNS state") \
    X("/7030", on_get_email_info, "e-mail settings") \
    X("/7031", on_set_email_info, "store e-mail settings") \
    X("/7032", on_test_email, "send a test mail") \
    X("/7090", on_get_snmp_info, "SNMP settings and service ports") \
    X("/7091", on_set_snmp_info, "store SNMP settings")

#define ACCESS_FILTER_RESOURCES(X) \
    X("/6300", on_get_access_filter, "IP access filter") \
    X("/6301", on_set_access_filter, "store the IP access filter")

SERVICE_RESOURCES(WEB_HANDLER_DECLARE)
ACCESS_FILTER_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kServiceResources[] = {SERVICE_RESOURCES(WEB_RESOURCE_ROW)};
const WebResEntry kAccessFilterResources[] = {ACCESS_FILTER_RESOURCES(WEB_RESOURCE_ROW)};

// ---- Time ----

#define TIME(member, key, type) JSON_FIELD(time_record, member, key, type)
const JsonField kTimeRead[] = {
    TIME(ntp_enable, "ntpEnable", I32), TIME(dst_enable, "dstEnable", I32),
    TIME(time_zone, "timeZone", TEXT),  TIME(time_zone_name, "timeZoneName", TEXT),
    TIME(ntp_server, "ntpServer", TEXT), TIME(sync_enable, "syncEnable", I32),
    TIME(sync_interval, "syncInterval", I32), TIME(sync_pc, "syncPc", I32),
};
const JsonField kTimeWrite[] = {
    JSON_FIELD_CHECKED(time_record, ntp_enable, "ntpEnable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(time_record, dst_enable, "dstEnable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(time_record, time_zone, "timeZone", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(time_record, time_zone_name, "timeZoneName", TEXT, true, 0, 0),
    JSON_FIELD_CHECKED(time_record, sync_enable, "syncEnable", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(time_record, sync_interval, "syncInterval", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(time_record, sync_pc, "syncPc", I32, true, JSON_ANY_MIN, JSON_ANY_MAX),
    TIME(ntp_server, "ntpServer", TEXT),
};

enum { FAILOVER_NTP_ONLY = 2 };

HandlerStatus on_get_time_info(const char*)
{
    time_record record;
    if (read_time(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_JSON;
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[32];
    json_object* reply = json_object_new_object();
    const struct {
        const char* key;
        const char* format;
        int value;
    } parts[] = {{"dateYear", "%.4d", local.tm_year + 1900}, {"dateMon", "%.2d", local.tm_mon + 1},
                 {"dateDay", "%.2d", local.tm_mday},         {"dateHour", "%.2d", local.tm_hour},
                 {"dateMin", "%.2d", local.tm_min},          {"dateSec", "%.2d", local.tm_sec}};
    for (const auto& part : parts) {
        snprintf(text, sizeof text, part.format, part.value);
        json_add_text(reply, part.key, text);
    }
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    json_add_text(reply, "serverTime", text);
    json_from_record(reply, &record, kTimeRead);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// The core service puts the manual time between double quotes on its shell
// command line: only digits and the date and time separators may reach it,
// and few enough that the closing quote survives the 32-byte payload.
bool manual_time_ok(const char* text)
{
    size_t n = 0;
    for (; text[n]; n++)
        if (n >= MANUAL_TIME_MAX || !strchr("0123456789 :/T-", text[n]))
            return false;
    return n > 0;
}

void on_set_systime_cb(IpcAnswer&)
{
    // "OK" went out before the request; 1711 follows from the handler,
    // never from here (sending on the delivery thread can deadlock).
}

HandlerStatus on_set_time_info(const char* request)
{
    time_record record;
    JsonPtr body = request_record(request, &record, kTimeWrite);
    if (!body)
        return HANDLER_SILENT;
    int failover = 0;
    json_get_int(body.get(), "failoverMode", &failover);
    char clock[SYSTIME_TEXT_SIZE] = {0};
    if (record.ntp_enable == 0 && failover != FAILOVER_NTP_ONLY) {
        const char* manual = nullptr;
        if (!json_get_text(body.get(), "manualTime", &manual) || !manual_time_ok(manual))
            return HANDLER_SILENT;
        snprintf(clock, sizeof clock, "\"%s\"", manual);
    }
    if (write_time(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    if (cgi_request(on_network_ipc_callback, REQ_SET_SYSTIME, clock, (int)sizeof clock))
        cgi_notify(on_network_ipc_callback, REQ_SYSTIME_APPLIED, nullptr, 0);
    cgi_write_operation_log(LOG_SUB_REMOTE_TIME, LOG_PARAM_NONE, 0);
    return HANDLER_DONE;
}

// ---- PPPoE ----

// A service's settings stored: the service is told and the change logged.
HandlerStatus service_changed(const char* service, int log_param)
{
    network_notify_changed(service);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, log_param, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// A whole-record write of a service: checked and filled from `fields`
// (silence when the check fails), stored, then service_changed.
template <typename Record, size_t N>
HandlerStatus store_service(const char* request, const JsonField (&fields)[N],
                            int (*write)(const char*, const Record*), const char* service, int log_param)
{
    Record record;
    if (!request_record(request, &record, fields))
        return HANDLER_SILENT;
    if (write(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    return service_changed(service, log_param);
}

// A service's stored settings, and after them one text the page shows.
template <typename Record, size_t N, size_t M>
HandlerStatus reply_service(int (*read)(const char*, Record*), const JsonField (&fields)[N], const char* key,
                            const char (&text)[M])
{
    Record record;
    if (read(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_from_record(reply, &record, fields);
    json_add_field(reply, key, text, M);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

#define PPPOE(member, key, type) JSON_FIELD(pppoe_record, member, key, type)
const JsonField kPppoeFields[] = {
    JSON_FIELD_CHECKED(pppoe_record, enable, "enable", I32, true, 0, 1),
    PPPOE(auto_connect, "autoConnect", I32),
    PPPOE(user_name, "userName", TEXT),
    PPPOE(password, "password", TEXT),
};

HandlerStatus on_get_pppoe_info(const char*)
{
    char address[32];
    if (net_get_ifaddr("ppp0", address, (int)sizeof address) != 0)
        snprintf(address, sizeof address, "0.0.0.0");
    return reply_service(read_pppoe, kPppoeFields, "pppoeipaddr", address);
}

HandlerStatus on_set_pppoe_info(const char* request)
{
    return store_service<pppoe_record>(request, kPppoeFields, write_pppoe, "pppoe", LOG_PARAM_PPPOE);
}

// ---- DDNS ----

#define DDNS(member, key, type) JSON_FIELD(ddns_record, member, key, type)
const JsonField kDdnsRead[] = {
    DDNS(enable, "enable", I32),           DDNS(domain, "domain", TEXT),
    DDNS(user_name, "userName", TEXT),     DDNS(password, "password", TEXT),
    DDNS(host_name, "hostName", TEXT),     DDNS(ddns_url, "ddnsurl", TEXT),
    DDNS(free_dns_hash, "freeDNSHash", TEXT), DDNS(update_freq, "updateFreq", I32),
    DDNS(http_port, "http_port", I32),     DDNS(rtsp_port, "rtsp_port", I32),
};
// The write names the ports "http" and "rtsp".
const JsonField kDdnsWrite[] = {
    JSON_FIELD_CHECKED(ddns_record, enable, "enable", I32, true, 0, 1),
    JSON_FIELD_CHECKED(ddns_record, update_freq, "updateFreq", I32, true, 0, JSON_ANY_MAX),
    DDNS(domain, "domain", TEXT),          DDNS(user_name, "userName", TEXT),
    DDNS(password, "password", TEXT),      DDNS(host_name, "hostName", TEXT),
    DDNS(ddns_url, "ddnsurl", TEXT),       DDNS(free_dns_hash, "freeDNSHash", TEXT),
    DDNS(http_port, "http", I32),          DDNS(rtsp_port, "rtsp", I32),
};

HandlerStatus on_get_ddns_info(const char*)
{
    char mac0[18], mac1[18];
    get_mac_addr(mac0, mac1);
    return reply_service(read_ddns, kDdnsRead, "mac", mac0);
}

HandlerStatus on_set_ddns_info(const char* request)
{
    return store_service<ddns_record>(request, kDdnsWrite, write_ddns, "ddns", LOG_PARAM_DDNS);
}

HandlerStatus on_get_ddns_status(const char*)
{
    return cgi_ask(on_network_ipc_callback, REQ_DDNS_STATUS, nullptr, 0, HANDLER_ERROR_JSON);
}

// ---- E-mail ----

#define EMAIL(member, key, type) JSON_FIELD(email_record, member, key, type)
const JsonField kEmailHead[] = {
    EMAIL(enable, "enable", I32),          EMAIL(user_name, "userName", TEXT),
    EMAIL(password, "password", TEXT),     EMAIL(smtp_server, "smtpServer", TEXT),
    EMAIL(smtp_port, "smtpPort", I32),     EMAIL(sender_addr, "senderAddr", TEXT),
    EMAIL(sender_name, "senderName", TEXT), EMAIL(enable_tls, "enableTls", I32),
    EMAIL(enable_attach, "enableAttach", I32), EMAIL(capture_interval, "captureInterval", I32),
};
const JsonField kEmailWrite[] = {
    JSON_FIELD_CHECKED(email_record, smtp_port, "smtpPort", I32, true, 0, JSON_ANY_MAX),
    JSON_FIELD_CHECKED(email_record, enable_tls, "enableTls", I32, true, 0, 2),
    JSON_FIELD_CHECKED(email_record, enable_attach, "enableAttach", I32, true, 0, 1),
    JSON_FIELD_CHECKED(email_record, capture_interval, "captureInterval", I32, true, 0, JSON_ANY_MAX),
    EMAIL(enable, "enable", I32),          EMAIL(user_name, "userName", TEXT),
    EMAIL(password, "password", TEXT),     EMAIL(smtp_server, "smtpServer", TEXT),
    EMAIL(sender_name, "senderName", TEXT), EMAIL(sender_addr, "senderAddr", TEXT),
};
const JsonField kReceiverFields[] = {
    JSON_FIELD(email_receiver, addr, "receiverAddr", TEXT),
    JSON_FIELD(email_receiver, name, "receiverName", TEXT),
};
const JsonField kHostNameFields[] = {
    JSON_FIELD(port_record, enable_host_name, "enableHostName", I32),
    JSON_FIELD(port_record, host_name, "hostName", TEXT),
};

HandlerStatus on_get_email_info(const char*)
{
    email_record record;
    port_record ports;
    if (read_email(VXDB_MAIN, &record) != 0 || read_port(VXDB_MAIN, &ports) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_from_record(reply, &record, kEmailHead);
    json_from_record(reply, &ports, kHostNameFields);
    json_object* receivers = json_object_new_array();
    for (const email_receiver& receiver : record.receivers) {
        json_object* item = json_object_new_object();
        json_from_record(item, &receiver, kReceiverFields);
        json_object_array_add(receivers, item);
    }
    json_object_object_add(reply, "receivers", receivers);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// A receiver the request does not list is cleared; its unused word stays.
bool apply_email(void* data, void* context)
{
    email_record* record = (email_record*)data;
    json_object* body = (json_object*)context;
    json_to_record(body, record, kEmailWrite);
    json_object* list = nullptr;
    json_object_object_get_ex(body, "receivers", &list);
    for (int i = 0; i < EMAIL_RECEIVERS; i++) {
        email_receiver& receiver = record->receivers[i];
        memset(receiver.addr, 0, sizeof receiver.addr);
        memset(receiver.name, 0, sizeof receiver.name);
        json_object* item = json_array_at(list, (size_t)i);
        if (item && json_object_is_type(item, json_type_object))
            json_to_record(item, &receiver, kReceiverFields);
    }
    return true;
}

bool apply_host_name(void* data, void* context)
{
    json_to_record((json_object*)context, data, kHostNameFields);
    return true;
}

HandlerStatus on_set_email_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body || !json_check(body.get(), kEmailWrite))
        return HANDLER_SILENT;
    if (update_email(VXDB_MAIN, apply_email, body.get()) != 0 ||
        update_port(VXDB_MAIN, apply_host_name, body.get()) != 0)
        return HANDLER_ERROR_TEXT;
    return service_changed("mail", LOG_PARAM_EMAIL);
}

HandlerStatus on_test_email(const char*)
{
    char text[TEST_EMAIL_TEXT_SIZE];
    wire_text(text, "testmail");
    return cgi_ask(on_network_ipc_callback, REQ_TEST_EMAIL, text, (int)sizeof text, HANDLER_ERROR_TEXT);
}

void on_test_email_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer) == 0 ? "OK" : "ERROR");
}

// ---- SNMP ----

#define SNMP(member, type) JSON_FIELD(snmp_record, member, #member, type)
const JsonField kSnmpFields[] = {
    SNMP(v1_enable, I32),           SNMP(v2c_enable, I32),           SNMP(write_community, TEXT),
    SNMP(read_community, TEXT),     SNMP(v3_enable, I32),            SNMP(read_security_name, TEXT),
    SNMP(read_level_security, I32), SNMP(read_auth_algorithm, I32),  SNMP(read_auth_password, TEXT),
    SNMP(read_pri_algorithm, I32),  SNMP(read_pri_password, TEXT),   SNMP(write_security_name, TEXT),
    SNMP(write_level_security, I32), SNMP(write_auth_algorithm, I32), SNMP(write_auth_password, TEXT),
    SNMP(write_pri_algorithm, I32), SNMP(write_pri_password, TEXT),  SNMP(port, I32),
};
const JsonField kServicePorts[] = {
    JSON_FIELD(port_record, ssh, "sshPort", I32),
    JSON_FIELD(port_record, http, "httpPort", I32),
    JSON_FIELD(port_record, rtsp, "rtspPort", I32),
    JSON_FIELD(port_record, https, "httpsPort", I32),
};

HandlerStatus on_get_snmp_info(const char*)
{
    snmp_record record;
    port_record ports;
    if (read_snmp(VXDB_MAIN, &record) != 0 || read_port(VXDB_MAIN, &ports) != 0)
        return HANDLER_ERROR_JSON;
    return reply_records({{&record, kSnmpFields}, {&ports, kServicePorts}});
}

// Every field comes from the request: an absent key is 0 or an empty text.
HandlerStatus on_set_snmp_info(const char* request)
{
    snmp_record record;
    if (!request_record(request, &record, kSnmpFields))
        return HANDLER_SILENT;
    snmp_record stored;
    if (read_snmp(VXDB_MAIN, &stored) != 0)
        return HANDLER_ERROR_TEXT;
    // The port tests run only for a new port: a kept one is never refused.
    if (record.port != stored.port && (is_poe_port(record.port) || is_port_in_use(record.port))) {
        reply_text("POE_Port_Error");
        return HANDLER_DONE;
    }
    if (write_snmp(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    network_notify_changed("snmp");
    reply_text("OK");
    return HANDLER_DONE;
}

const IpcResponse kServiceResponses[] = {
    {6701, 0, 0, on_set_systime_cb},
    {8309, 4, 1, on_cgi_common_json_cb},
    {8409, 4, 1, on_test_email_cb},
};

// ---- Access filter (system pages) ----

const JsonField kFilterEntry[] = {
    JSON_FIELD(access_filter_entry, address_type, "address_type", I32),
    JSON_FIELD(access_filter_entry, address, "address", TEXT),
};

HandlerStatus on_get_access_filter(const char*)
{
    access_filter_entry list[ACCESS_FILTER_MAX];
    int count = 0;
    if (read_access_filter(VXDB_MAIN, list, ACCESS_FILTER_MAX, &count) != 0)
        return HANDLER_ERROR_JSON;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "filterEnable", get_param_int(VXDB_MAIN, "access_filter_enable", 0));
    json_add_int(reply, "filterType", get_param_int(VXDB_MAIN, "access_filter_type", 1));
    json_object* entries = json_object_new_array();
    for (int i = 0; i < count; i++) {
        json_object* item = json_object_new_object();
        json_from_record(item, &list[i], kFilterEntry);
        json_object_array_add(entries, item);
    }
    json_object_object_add(reply, "filterList", entries);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_set_access_filter(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    json_object* b = body.get();
    int value = 0;
    if (json_get_int(b, "filterEnable", &value))
        set_param_int(VXDB_MAIN, "access_filter_enable", value);
    if (json_get_int(b, "filterType", &value))
        set_param_int(VXDB_MAIN, "access_filter_type", value);
    json_object* items = nullptr;
    json_object_object_get_ex(b, "filterList", &items);
    const size_t available = json_array_size(items);
    const int count = available < ACCESS_FILTER_MAX ? (int)available : ACCESS_FILTER_MAX;
    access_filter_entry* list = (access_filter_entry*)__vx_calloc(ACCESS_FILTER_MAX, sizeof *list, __FILE__, __LINE__);
    if (!list)
        return HANDLER_SILENT;
    for (int i = 0; i < count; i++) {
        json_object* item = json_array_at(items, (size_t)i);
        if (item && json_object_is_type(item, json_type_object))
            json_to_record(item, &list[i], kFilterEntry);
    }
    const int rc = write_access_filter(VXDB_MAIN, list, count);
    __vx_free(list, __FILE__, __LINE__);
    if (rc != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(cgi_ignore_callback, REQ_ACCESS_FILTER_CHANGED, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

const WebModulePart network_service_part =
    WEB_MODULE_PART("network", kServiceResources, kServiceResponses);
const WebModulePart system_access_filter_part = {"system", kAccessFilterResources,
                                                 WEB_RES_COUNT(kAccessFilterResources), nullptr, 0};
