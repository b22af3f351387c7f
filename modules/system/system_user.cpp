// Login and user accounts: the web login against the user table, the login
// through an e-mail link, and the maintenance of the 100 user slots.
#include "modules/system/system_user.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/devpath.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "core/request.h"
#include "modules/system/system.h"
#include "platform/vxdb.h"
#include "platform/websession.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define USER_RESOURCES(X) \
    X("/1000", on_user_login, "log in: user rights, session id, device fields") \
    X("/1018", on_user_login_from_mail, "log in through an e-mail link") \
    X("/6070", on_get_user_list, "enabled users with their rights") \
    X("/6071", on_add_new_user, "add a user in the lowest free slot") \
    X("/6072", on_set_user_info, "change the user of an id") \
    X("/6073", on_del_user_info, "delete the user of an id") \
    X("/6074", on_get_oem_user_list, "enabled users of the factory user file") \
    X("/6077", on_cgi_set_user_info, "tell the core service the user table changed") \
    X("/1024", on_clear_permission_update, "clear the permission-update flag")

USER_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kUserResources[] = {USER_RESOURCES(WEB_RESOURCE_ROW)};

// ---- record forms ----------------------------------------------------------

// The rights, local then remote; between the two the replies put the remote
// summary, each under its own key.
const JsonField kLocalRightsFields[] = {
    JSON_FIELD(UserRecord, local_live_view, "localLiveView", I32),
    JSON_FIELD(UserRecord, local_playback, "localPlayback", I32),
    JSON_FIELD(UserRecord, local_retrieve, "localRetrieve", I32),
    JSON_FIELD(UserRecord, local_smart_analysis, "localSmartAnalysis", I32),
    JSON_FIELD(UserRecord, local_event, "localEvent", I32),
    JSON_FIELD(UserRecord, local_camera, "localCamera", I32),
    JSON_FIELD(UserRecord, local_storage, "localStorage", I32),
    JSON_FIELD(UserRecord, local_settings, "localSettings", I32),
    JSON_FIELD(UserRecord, local_status, "localStatus", I32),
    JSON_FIELD(UserRecord, local_shutdown, "localShutdown", I32),
    JSON_FIELD(UserRecord, localliveview, "localliveview", TEXT),
    JSON_FIELD(UserRecord, localplayback, "localplayback", TEXT),
};

const JsonField kRemoteRightsFields[] = {
    JSON_FIELD(UserRecord, remote_live_view, "remoteLiveView", I32),
    JSON_FIELD(UserRecord, remote_playback, "remotePlayback", I32),
    JSON_FIELD(UserRecord, remote_retrieve, "remoteRetrieve", I32),
    JSON_FIELD(UserRecord, remote_smart_analysis, "remoteSmartAnalysis", I32),
    JSON_FIELD(UserRecord, remote_event, "remoteEvent", I32),
    JSON_FIELD(UserRecord, remote_camera, "remoteCamera", I32),
    JSON_FIELD(UserRecord, remote_storage, "remoteStorage", I32),
    JSON_FIELD(UserRecord, remote_settings, "remoteSettings", I32),
    JSON_FIELD(UserRecord, remote_status, "remoteStatus", I32),
    JSON_FIELD(UserRecord, remote_shutdown, "remoteShutdown", I32),
    JSON_FIELD(UserRecord, remoteliveview, "remoteliveview", TEXT),
    JSON_FIELD(UserRecord, remoteplayback, "remoteplayback", TEXT),
};

// The head of the list element "/6070", in its order.
const JsonField kUserListHead[] = {
    JSON_FIELD(UserRecord, id, "id", I32),
    JSON_FIELD(UserRecord, enable, "enable", I32),
    JSON_FIELD(UserRecord, name, "name", TEXT),
    JSON_FIELD(UserRecord, password, "password", TEXT),
    JSON_FIELD(UserRecord, type, "type", I32),
};

const JsonField kOemUserFields[] = {
    JSON_FIELD(OemUserRecord, id, "id", I32),
    JSON_FIELD(OemUserRecord, enable, "enable", I32),
    JSON_FIELD(OemUserRecord, name, "name", TEXT),
    JSON_FIELD(OemUserRecord, password, "password", TEXT),
    JSON_FIELD(OemUserRecord, type, "type", I32),
    JSON_FIELD(OemUserRecord, permission, "permission", I32),
    JSON_FIELD(OemUserRecord, remote_permission, "remotePermission", I32),
};

// ---- helpers -----------------------------------------------------------------

void notify_user_table(const int32_t* id)
{
    cgi_notify(on_system_ipc_callback, REQ_USER_TABLE_CHANGED, id, id ? (int)sizeof *id : 0);
}

// "permission", the local rights, the remote summary under remote_key (the
// login reply spells it as the browser pages read it), the remote rights.
void rights_to_json(json_object* o, const UserRecord& user, const char* remote_key)
{
    json_add_int(o, "permission", user.permission);
    json_from_record(o, &user, kLocalRightsFields);
    json_add_int(o, remote_key, user.remote_permission);
    json_from_record(o, &user, kRemoteRightsFields);
}

void rights_from_json(json_object* body, UserRecord* user)
{
    json_to_record(body, user, kLocalRightsFields);
    json_to_record(body, user, kRemoteRightsFields);
}

// The certificate directories that the HTTPS part fills.
int config_ssl_params()
{
    int rc = 0;
    for (const char* dir : {"/mnt/nand/ssl", "/mnt/nand/ssl/tmp"}) {
        const std::string path = device_path(dir);
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            rc = -1;
    }
    return rc;
}

// 32 decimal digits from the kernel's random source (not a device file, so
// not mapped under the device root). Bytes of 250 and above are dropped so
// that every digit is equally likely. False when the source cannot be read.
bool new_session_id(char (&out)[33])
{
    memset(out, 0, sizeof out);
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t digits = 0;
    unsigned char bytes[48];
    while (digits < 32) {
        ssize_t n = read(fd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n && digits < 32; i++)
            if (bytes[i] < 250)
                out[digits++] = (char)('0' + bytes[i] % 10);
    }
    close(fd);
    if (digits < 32) {
        memset(out, 0, sizeof out);
        return false;
    }
    return true;
}

// The login type of a user looked up by name (`found` false: no such user).
// An empty stored hash means no password was ever set: it never matches.
int login_type(bool found, const UserRecord& user, const char* md5)
{
    if (!found)
        return LOGIN_REFUSED;
    char stored[sizeof user.password + 1];
    memcpy(stored, user.password, sizeof user.password);
    stored[sizeof user.password] = '\0';
    int type = stored[0] && strcasecmp(stored, md5) == 0 ? user.type : LOGIN_REFUSED;
    if (user.type == USER_LEVEL_NO_WEB)
        type = LOGIN_NOT_ON_WEB;
    return type;
}

// The domain of the login cookies: the Host header up to the first ':'. A
// host name holds none of the characters that would end the cookie's field.
void cookie_domain(char (&out)[256])
{
    const char* host = request_context().host ? request_context().host : "";
    size_t n = strcspn(host, ":; ,\t\r\n");
    if (n > sizeof out - 1)
        n = sizeof out - 1;
    memcpy(out, host, n);
    out[n] = '\0';
}

// ---- login -------------------------------------------------------------------

// Sessions carry the stored name, so that a change of that user ends them.
void stored_name(const UserRecord& user, char (&out)[sizeof(UserRecord::name) + 1])
{
    memcpy(out, user.name, sizeof user.name);
    out[sizeof user.name] = '\0';
}

void open_session(const char* id, const UserRecord& user, const char* addr)
{
    char name[sizeof user.name + 1];
    stored_name(user, name);
    if (websession_open(VXDB_MAIN, id, name, user.type, addr) != 0)
        cgi_log(__FILE__, __LINE__, __func__, "session not stored");
}

void end_sessions_of(const UserRecord& user)
{
    char name[sizeof user.name + 1];
    stored_name(user, name);
    websession_end_user(VXDB_MAIN, name);
}

void reply_login_type(int type)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "type", type);
    cgi_writeback_json(REPLY_TEXT, reply);
}

HandlerStatus on_user_login(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    config_ssl_params();

    char user_name[256] = "";
    char md5[USER_PASSWORD_CUT + 1] = "";
    const char* text = nullptr;
    if (json_get_text(body.get(), "userName", &text))
        wire_text(user_name, text);
    if (json_get_text(body.get(), "md5", &text))
        wire_text(md5, text, USER_PASSWORD_CUT);

    const char* addr = request_context().remote_addr;
    bool log_lock = false;
    if (login_locked(VXDB_MAIN, user_name, addr, &log_lock)) {
        // Answered as a wrong password, so a lock tells a guesser nothing.
        if (log_lock) {
            char log_user[USER_NAME_CUT + 1];
            wire_text(log_user, user_name);
            cgi_write_operation_log(LOG_SUB_REMOTE_LOGIN, LOG_PARAM_LOGIN_LOCKED, 0, 0, nullptr, 0, log_user);
        }
        reply_login_type(LOGIN_REFUSED);
        return HANDLER_DONE;
    }

    UserRecord user;
    bool found = read_user_by_name(VXDB_MAIN, user_name, &user) == 0;
    const int type = login_type(found, user, md5);
    if (type == LOGIN_REFUSED)
        login_failed(VXDB_MAIN, user_name, addr);
    else if (type != LOGIN_NOT_ON_WEB)
        login_succeeded(VXDB_MAIN, user_name, addr);

    json_object* reply = json_object_new_object();
    json_add_int(reply, "type", type);
    const int failover = get_param_int(VXDB_MAIN, "failover_mode", 0);
    const int same_channel = get_param_int(VXDB_MAIN, "same_channel_exist", 0);
    char hardware[32];
    get_param_value(VXDB_MAIN, "hardware_version", hardware, sizeof hardware, "V1.1");
    if (type == LOGIN_REFUSED || type == LOGIN_NOT_ON_WEB) {
        cgi_writeback_json(REPLY_TEXT, reply);
        return HANDLER_DONE;
    }

    char session[33];
    if (!new_session_id(session))
        cgi_log(__FILE__, __LINE__, __func__, "no random source: login without session id");
    else if (get_param_int(VXDB_MAIN, "web_require_session", 0) == 1)
        open_session(session, user, addr);
    char software[256], model[256];
    get_param_value(VXDB_MAIN, "software_version", software, sizeof software, "7x.7.0.9");
    get_param_value(VXDB_MAIN, "model", model, sizeof model, "");

    json_add_field(reply, "userName", user.name, sizeof user.name);
    rights_to_json(reply, user, "remotePermisson");
    json_add_text(reply, "sessionId", session);
    json_add_int(reply, "failoverMode", failover);
    json_add_int(reply, "sameChannel", same_channel == 2 ? 1 : 0);
    json_add_text(reply, "hardwareVersion", hardware);
    json_add_text(reply, "softwareVersion", software);
    json_add_text(reply, "model", model);

    // No user cookie yet: the log names the user of the request.
    char log_user[USER_NAME_CUT + 1];
    wire_text(log_user, user_name);
    cgi_write_operation_log(LOG_SUB_REMOTE_LOGIN, LOG_PARAM_NONE, 0, 0, nullptr, 0, log_user);
    cgi_writeback_json(REPLY_TEXT, reply);
    return HANDLER_DONE;
}

HandlerStatus on_user_login_from_mail(const char* request)
{
    char token[MAIL_TOKEN_SIZE];
    wire_text(token, request);
    return cgi_ask(on_system_ipc_callback, REQ_LOGIN_FROM_MAIL, token, (int)sizeof token, HANDLER_ERROR_TEXT);
}

// ---- user accounts -----------------------------------------------------------

const JsonField kUserInfoChecks[] = {
    JSON_CHECK("type", true, 0, USER_LEVEL_MAX),
    JSON_CHECK("permission", true, -1, INT32_MAX),
    JSON_CHECK("remotePermission", true, -1, INT32_MAX),
};

bool check_user_info(json_object* request)
{
    return json_check(request, kUserInfoChecks);
}

const JsonField kUserDelChecks[] = {
    JSON_CHECK("id", true, 0, USER_MAX - 1),
    JSON_CHECK("type", true, 0, USER_LEVEL_MAX),
};

bool check_user_del_info(json_object* request)
{
    return json_check(request, kUserDelChecks);
}

// A change names a slot that exists and, when it gives a level, a valid one.
const JsonField kUserSetChecks[] = {
    JSON_CHECK("id", true, 0, USER_MAX - 1),
    JSON_CHECK("type", false, 0, USER_LEVEL_MAX),
};

bool check_user_set_info(json_object* request)
{
    return json_check(request, kUserSetChecks);
}

// The enabled rows of a user table, one object each, as the JSON array reply.
template <typename Record, typename Print>
HandlerStatus reply_enabled_users(const char* db, int (*read)(const char*, Record*, int*), int rows, Print print)
{
    Record* users = (Record*)malloc(sizeof(Record) * rows);
    if (!users)
        return HANDLER_SILENT;
    if (read(db, users, nullptr) < 0) {
        free(users);
        return HANDLER_SILENT;
    }
    json_object* list = json_object_new_array();
    for (int i = 0; i < rows; i++) {
        if (!users[i].enable)
            continue;
        json_object* o = json_object_new_object();
        print(o, users[i]);
        json_object_array_add(list, o);
    }
    free(users);
    cgi_writeback_json(REPLY_JSON, list);
    return HANDLER_DONE;
}

HandlerStatus on_get_user_list(const char*)
{
    return reply_enabled_users(VXDB_MAIN, read_users, USER_MAX, [](json_object* o, const UserRecord& user) {
        json_from_record(o, &user, kUserListHead);
        rights_to_json(o, user, "remotePermission");
    });
}

// The name of a request cut to what a record stores; lookups use the same cut,
// so that two names that would be stored alike are found as one.
void request_name(json_object* body, char (&out)[USER_NAME_CUT + 1])
{
    const char* name = "";
    json_get_text(body, "name", &name);
    wire_text(out, name);
}

// The masks stand for the channel strings: a changed string changes its mask.
void update_changed_masks(json_object* body, UserRecord* user)
{
    const char* text = nullptr;
    if (json_get_text(body, "localliveview", &text))
        user->local_live_view_mask = user_channel_mask(user->localliveview);
    if (json_get_text(body, "localplayback", &text))
        user->local_playback_mask = user_channel_mask(user->localplayback);
    if (json_get_text(body, "remoteliveview", &text))
        user->remote_live_view_mask = user_channel_mask(user->remoteliveview);
    if (json_get_text(body, "remoteplayback", &text))
        user->remote_playback_mask = user_channel_mask(user->remoteplayback);
}

void store_password(UserRecord* user, const char* text)
{
    wire_text(user->password, text, USER_PASSWORD_CUT);
}

// The fields of "/6072" that the request names, onto the stored user.
void apply_user_change(UserRecord* user, void* context)
{
    json_object* body = (json_object*)context;
    user->enable = 1;
    const char* text = nullptr;
    if (json_get_text(body, "name", &text)) {
        char name[USER_NAME_CUT + 1];
        request_name(body, name);
        wire_text(user->name, name);
    }
    if (json_get_text(body, "password", &text))
        store_password(user, text);
    json_get_int(body, "type", &user->type);
    rights_from_json(body, user);
    update_changed_masks(body, user);
}


HandlerStatus on_add_new_user(const char* request)
{
    const int users = read_user_count(VXDB_MAIN);
    if (users < 0)
        return HANDLER_SILENT;
    if (users >= USER_MAX) {
        reply_text("FAILED_FULL");
        return HANDLER_DONE;
    }
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_user_info(body.get()))
        return HANDLER_SILENT;

    char name[USER_NAME_CUT + 1];
    request_name(body.get(), name);
    UserRecord user;
    memset(&user, 0, sizeof user);
    user.enable = 1;
    wire_text(user.name, name);
    const char* password = "";
    json_get_text(body.get(), "password", &password);
    store_password(&user, password);
    json_get_int(body.get(), "type", &user.type);
    json_get_int(body.get(), "permission", &user.permission);
    json_get_int(body.get(), "remotePermission", &user.remote_permission);
    rights_from_json(body.get(), &user);
    user_update_masks(&user);
    wire_text(user.added, "0");

    // The name and the free slot are checked where the user is written, so
    // two adds of one name at once make one user.
    int rc = add_user(VXDB_MAIN, &user);
    if (rc == USER_SAME_NAME || rc == USER_TABLE_FULL) {
        reply_text(rc == USER_SAME_NAME ? "SAMEUSER" : "FAILED_FULL");
        return HANDLER_DONE;
    }
    if (rc != 0)
        return HANDLER_SILENT;
    notify_user_table(nullptr);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_USER_ADD, 0);
    char text[10];
    snprintf(text, sizeof text, "id=%d", user.id);
    reply_text(text);
    return HANDLER_DONE;
}

HandlerStatus on_set_user_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_user_set_info(body.get()))
        return HANDLER_SILENT;
    int id = 0;
    json_get_int(body.get(), "id", &id);
    // Read, changed and written in one transaction: parallel changes of
    // other fields of this user are kept, and a rename cannot race an add.
    UserRecord before;
    const bool known = read_user(VXDB_MAIN, &before, id) == 0;
    int rc = change_user(VXDB_MAIN, id, apply_user_change, body.get());
    if (rc == USER_SAME_NAME) {
        reply_text("SAMEUSER");
        return HANDLER_DONE;
    }
    if (rc != 0)
        return HANDLER_SILENT;
    // A changed password or level must be used from the next login on.
    if (known)
        end_sessions_of(before);
    int32_t changed = id;
    notify_user_table(&changed);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_del_user_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!check_user_del_info(body.get()))
        return HANDLER_SILENT;
    UserRecord user;
    memset(&user, 0, sizeof user);
    json_get_int(body.get(), "id", &user.id);
    UserRecord before;
    const bool known = read_user(VXDB_MAIN, &before, user.id) == 0;
    if (write_user(VXDB_MAIN, &user) != 0)
        return HANDLER_SILENT;
    if (known)
        end_sessions_of(before);
    int32_t deleted = user.id;
    notify_user_table(&deleted);
    cgi_write_operation_log(LOG_SUB_REMOTE_PARAMETER, LOG_PARAM_USER_DELETE, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_oem_user_list(const char*)
{
    // Opening the database would create the file: look for it first.
    struct stat st;
    if (stat(device_path(VXDB_OEM).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return HANDLER_SILENT;
    return reply_enabled_users(VXDB_OEM, read_oem_users, OEM_USER_MAX, [](json_object* o, const OemUserRecord& user) {
        json_from_record(o, &user, kOemUserFields);
    });
}

HandlerStatus on_cgi_set_user_info(const char*)
{
    notify_user_table(nullptr);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_clear_permission_update(const char*)
{
    if (set_param_int(VXDB_MAIN, "permission_update", 0) != 0)
        return HANDLER_ERROR_TEXT;
    reply_text("OK");
    return HANDLER_DONE;
}

// ---- answers -----------------------------------------------------------------

// First word 0: the link was good; the browser gets a temporary session.
void on_user_login_from_mail_cb(IpcAnswer& answer)
{
    if (answer_word(answer) != 0) {
        cgiHeaderLocation("../../html/home.html");
        return;
    }
    char domain[256];
    cookie_domain(domain);
    // With sessions required the temporary login gets a real one.
    char session[33] = "0";
    if (get_param_int(VXDB_MAIN, "web_require_session", 0) == 1 &&
        (!new_session_id(session) ||
         websession_open(VXDB_MAIN, session, "temp", MAIL_LOGIN_LEVEL, request_context().remote_addr) != 0))
        snprintf(session, sizeof session, "0");
    const char* const cookies[][2] = {
        {"userName", "temp"}, {"userType", "2"}, {"permission", "0"}, {"sessionId", session}, {"language", "en-US"},
    };
    for (const auto& cookie : cookies)
        cgiHeaderCookieSetString(cookie[0], cookie[1], 600, "/", domain);
    // The redirect closes the header block.
    cgiHeaderLocation("../../html/index.html");
}

// Response code, record size, fewest whole records, printer.
const IpcResponse kUserResponses[] = {
    {RSP_LOGIN_FROM_MAIL, 4, 1, on_user_login_from_mail_cb},
};

}  // namespace

const WebModulePart system_user_part = WEB_MODULE_PART("system", kUserResources, kUserResponses);
