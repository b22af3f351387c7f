// P2P cloud service: the client's state, switching it on and off, unbinding
// the cloud account, and the registration test in which this process talks
// to the service's registration server through the P2P client library.
#include "modules/network/network.h"

#include <cstdio>
#include <cstring>

#include "core/json_util.h"
#include "core/reply.h"
#include "core/web_utils.h"
#include "platform/p2plib.h"
#include "platform/vxdb.h"

namespace {

#define P2P_RESOURCES(X) \
    X("/7060", on_get_p2p_info, "P2P client state") \
    X("/7061", on_set_p2p_info, "switch the P2P client on or off") \
    X("/7062", on_test_p2p, "registration test against the P2P service") \
    X("/7095", on_cgi_p2p_unbind_device, "unbind the device from its cloud account")

P2P_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kP2pResources[] = {P2P_RESOURCES(WEB_RESOURCE_ROW)};

#define STATE(member, key, type) JSON_FIELD(p2p_state, member, key, type)
const JsonField kStateFields[] = {
    STATE(enable, "enable", I32),
    STATE(company, "company", TEXT),
    STATE(email, "email", TEXT),
    STATE(p2pstatus, "p2pstatus", I32),
    STATE(cloud_account, "cloudAccount", TEXT),
    STATE(register_code, "registerCode", TEXT),
    STATE(dealer, "dealer", TEXT),
    STATE(model, "model", TEXT),
    STATE(ipc, "ipc", TEXT),
    STATE(cloud_server, "cloudServer", TEXT),
};

HandlerStatus on_get_p2p_info(const char*)
{
    return cgi_ask(on_network_ipc_callback, REQ_P2P_STATUS, nullptr, 0, HANDLER_ERROR_JSON);
}

void on_p2p_status_info_cb(IpcAnswer& answer)
{
    p2p_state state;
    answer_record(answer, &state);
    reply_record(&state, kStateFields);
}

const JsonField kSwitchFields[] = {JSON_CHECK("enableP2P", true, JSON_ANY_MIN, JSON_ANY_MAX)};

HandlerStatus on_set_p2p_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    int enable = 0;
    if (!body || !json_check(body.get(), kSwitchFields) || !json_get_int(body.get(), "enableP2P", &enable))
        return HANDLER_SILENT;
    p2p_info record;
    memset(&record, 0, sizeof record);
    if (enable) {
        record.enable = enable;
        return cgi_ask(on_network_ipc_callback, REQ_P2P_ENABLE, &record, (int)sizeof record, HANDLER_ERROR_TEXT);
    }
    // The core service switches off by the stored settings it is sent, so
    // they go back to the database unchanged first.
    if (read_p2p_info(VXDB_MAIN, &record) != 0 || write_p2p_info(VXDB_MAIN, &record) != 0)
        return HANDLER_ERROR_TEXT;
    return cgi_ask(on_network_ipc_callback, REQ_P2P_DISABLE, &record, (int)sizeof record, HANDLER_ERROR_TEXT);
}

void on_enable_p2p_cb(IpcAnswer& answer)
{
    static const char* const kTexts[] = {"ERR_OK", "ERR_UNKNOWN", "ERR_NOTFOUND", "ERR_NETWORK",
                                         "ERR_UNKNOWN", "ERR_MAC_FORMAT", "ERR_AUTH_FAILED", "ERR_NO_UUID"};
    const int32_t word = answer_word(answer);
    reply_text(word >= 0 && word < (int32_t)WEB_RES_COUNT(kTexts) ? kTexts[word] : "ERR_UNKNOWN");
}

void on_disable_p2p_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer) == 0 ? "OK" : "ERR");
}

// ---- Registration test ----

const JsonField kTestFields[] = {
    JSON_FIELD_CHECKED(p2p_reg_body, sn, "sn", TEXT, false, 0, 0),
    JSON_FIELD_CHECKED(p2p_reg_body, device_name, "deviceName", TEXT, false, 0, 0),
};

// A stored text may fill its field: copy it cut and NUL-terminated.
template <size_t N, size_t M>
void copy_text(char (&to)[N], const char (&from)[M])
{
    static_assert(N >= M, "the body keeps each settings text whole");
    memcpy(to, from, M);
    to[M - 1] = '\0';
}

// The exchange on a connected socket: a result code, and the server's text in
// `code` when it accepted the device.
int register_device(int sock, const p2p_reg_body& body, char* code, size_t code_size, bool* have_code)
{
    char host[128];
    int port = 0;
    if (!p2p_server_address(host, (int)sizeof host, &port) || socket_connect(sock, host, port) != 0)
        return P2P_TEST_NETWORK;
    if (p2p_create_keyfile() != 0 || p2p_cli_switch_keyfile(sock) != 0)
        return P2P_TEST_KEY;
    p2p_reg_header header;
    memset(&header, 0, sizeof header);
    header.command = P2P_REG_COMMAND;
    header.encrypted_size = rsa_cal_ensize((int)sizeof body);
    header.one = 1;
    char work[P2P_WORK_BUFFER];
    if (p2p_send(sock, &header, (int)sizeof header, work, (int)sizeof work) != 0 ||
        p2p_send(sock, &body, (int)sizeof body, work, (int)sizeof work) != 0)
        return P2P_TEST_NETWORK;
    char buffer[P2P_WORK_BUFFER];
    const int n = p2p_recv(sock, buffer, (int)sizeof buffer);
    if (n < (int)sizeof header)
        return P2P_TEST_NETWORK;
    memcpy(&header, buffer, sizeof header);
    if (header.result == P2P_REG_RESULT_DENIED)
        return P2P_TEST_DENIED;
    if (header.result != 0)
        return P2P_TEST_OK;
    const int got = p2p_recv(sock, buffer, (int)sizeof buffer);
    if (got <= 0)
        return P2P_TEST_NETWORK;
    // Only the bytes received count, and the core service takes 127
    // characters: stale bytes of the buffer never reach it.
    size_t limit = (size_t)got < code_size - 1 ? (size_t)got : code_size - 1;
    const size_t length = strnlen(buffer, limit);
    memcpy(code, buffer, length);
    code[length] = '\0';
    *have_code = true;
    return P2P_TEST_OK;
}

HandlerStatus on_test_p2p(const char* request)
{
    p2p_reg_body body;
    if (!request_record(request, &body, kTestFields))
        return HANDLER_SILENT;
    p2p_info settings;
    if (read_p2p_info(VXDB_MAIN, &settings) != 0)
        return HANDLER_ERROR_TEXT;
    char mac0[18], mac1[18];
    get_mac_addr(mac0, mac1);
    wire_text(body.mac, mac0);
    copy_text(body.text0, settings.text0);
    copy_text(body.text1, settings.text1);
    copy_text(body.text2, settings.text2);
    copy_text(body.text3, settings.text3);

    char code[P2P_REG_CODE_MAX + 1] = {0};
    bool have_code = false;
    int result = P2P_TEST_NETWORK;
    const int sock = socket_create();
    if (sock >= 0) {
        result = register_device(sock, body, code, sizeof code, &have_code);
        socket_destroy(sock);
    }
    // Sent without its NUL: the core service tells it from the switch-on
    // record by its length. Nobody takes its answer, so a prompt 8700 can
    // never add a second reply to this one.
    if (have_code)
        cgi_notify(cgi_ignore_callback, REQ_P2P_ENABLE, code, (int)strlen(code));
    char text[16];
    snprintf(text, sizeof text, "%d", result);
    reply_text(text);
    return HANDLER_DONE;
}

// ---- Unbinding ----

HandlerStatus on_cgi_p2p_unbind_device(const char*)
{
    return cgi_ask(on_network_ipc_callback, REQ_P2P_UNBIND, nullptr, 0, HANDLER_ERROR_JSON);
}

// The page only learns that the request was answered.
void on_cgi_p2p_unbind_device_cb(IpcAnswer&)
{
    reply_res(0);
}

// A state answer shorter than its record is no answer.
const IpcResponse kP2pResponses[] = {
    {8700, 4, 1, on_enable_p2p_cb},
    {8701, 4, 1, on_disable_p2p_cb},
    {8702, (int)sizeof(p2p_state), 1, on_p2p_status_info_cb},
    {7302, 0, 0, on_cgi_p2p_unbind_device_cb},
};

}  // namespace

const WebModulePart network_p2p_part = WEB_MODULE_PART("network", kP2pResources, kP2pResponses);
