// HTTPS certificates: a self-signed certificate or a request made on the
// device, the request as a download, a signed certificate installed from an
// upload, and HTTPS switched on and off. The core service does the
// cryptography; this part prepares its directories and moves files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/json_util.h"
#include "core/reply.h"
#include "modules/network/network.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/vxsystem.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define HTTPS_RESOURCES(X) \
    X("/7080", on_create_https_cert, "make a self-signed certificate or a certificate request") \
    X("/7081", on_get_cert_info, "installed certificate details") \
    X("/7082", on_download_cert_req, "the certificate request as a download") \
    X("/7083", on_delete_cert_req, "delete the certificate request") \
    X("/7084", on_install_cert, "install an uploaded signed certificate") \
    X("/7085", on_delete_cert, "delete the certificate and switch HTTPS off") \
    X("/7086", on_set_https_enable, "switch HTTPS on or off") \
    X("/7087", on_get_https_enable, "HTTPS switch") \
    X("/7089", on_get_cert_req_info, "certificate request details")

HTTPS_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kHttpsResources[] = {HTTPS_RESOURCES(WEB_RESOURCE_ROW)};

enum { CA_TREE_DEPTH = 8 };

#define SSL(member, key, type) JSON_FIELD(ssl_params, member, key, type)
// Texts are cut to their fields: the country to 2 characters, the password
// to 15, the others to 63.
const JsonField kCertRequestFields[] = {
    SSL(install_type, "InstallType", I32), SSL(country, "Country", TEXT),
    SSL(common_name, "CommonName", TEXT),  SSL(password, "Password", TEXT),
    SSL(province, "Province", TEXT),       SSL(region, "Region", TEXT),
    SSL(organization, "Organization", TEXT), SSL(company, "Company", TEXT),
    SSL(email, "Email", TEXT),
};
// Only a self-signed certificate has a validity of its own.
const JsonField kSelfSignedFields[] = {
    SSL(validity, "Validity", I32), SSL(start_time, "startTime", TEXT), SSL(end_time, "endTime", TEXT),
};
const JsonField kCertInfoFields[] = {
    SSL(country, "country", TEXT), SSL(common_name, "common_name", TEXT),
    SSL(email, "email", TEXT),     SSL(dates, "dates", TEXT),
};
const JsonField kCertRequestInfoFields[] = {
    SSL(country, "country_req", TEXT), SSL(common_name, "common_name_req", TEXT), SSL(email, "email_req", TEXT),
};

struct https_switch {
    int32_t enable;
};
const JsonField kSwitchFields[] = {JSON_FIELD(https_switch, enable, "httpsenable", I32)};

bool regular_file(const char* device_file)
{
    struct stat st;
    return lstat(device_path(device_file).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Removes a directory tree without following symlinks: a link placed in it
// loses only the link.
void remove_tree(const std::string& path, int depth)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode) || depth <= 0) {
        unlink(path.c_str());
        return;
    }
    DIR* dir = opendir(path.c_str());
    if (dir) {
        while (struct dirent* entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                remove_tree(path + "/" + entry->d_name, depth - 1);
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

bool write_new_file(const std::string& path, const char* text, mode_t mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    const size_t n = strlen(text);
    bool ok = fchmod(fd, mode) == 0 && write(fd, text, n) == (ssize_t)n;
    return close(fd) == 0 && ok;
}

// The certificate authority's working directory, made anew. Only it is
// made private (0700, its files 0600): the key beside it keeps its own
// mode, and nothing is opened to everyone.
void config_ssl_environment()
{
    const std::string ca = device_path(SSL_CA_DIR);
    remove_tree(ca, CA_TREE_DEPTH);
    for (const std::string& dir : {ca, ca + "/newcerts"})
        if (mkdir(dir.c_str(), 0700) == 0)
            chmod(dir.c_str(), 0700);  // whatever the umask took away or left
    write_new_file(ca + "/index.txt", "", 0600);
    write_new_file(ca + "/serial", "01\n", 0600);
    // The wait after the directory lines is not kept: these calls are done
    // when they return, so the core service finds everything in place.
}

// Copies a regular file to `to`, 0600, put in place whole: /tmp may be
// another file system, and a reader never sees half a certificate.
bool copy_file(const std::string& from, const std::string& to)
{
    int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    auto copy = [](int out, const void* source) { return copy_all(*(const int*)source, out); };
    const bool ok = fstat(in, &st) == 0 && S_ISREG(st.st_mode) && write_through_temp(to, 0600, copy, &in);
    close(in);
    return ok;
}

HandlerStatus on_create_https_cert(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body || !json_object_is_type(body.get(), json_type_object))
        return HANDLER_SILENT;
    ssl_params record;
    memset(&record, 0, sizeof record);
    json_to_record(body.get(), &record, kCertRequestFields);
    if (record.install_type == SSL_INSTALL_SELF_SIGNED)
        json_to_record(body.get(), &record, kSelfSignedFields);
    config_ssl_environment();
    return cgi_ask(on_network_ipc_callback, REQ_HTTPS_CREATE_CERT, &record, (int)sizeof record, HANDLER_ERROR_TEXT);
}

void on_create_https_cert_cb(IpcAnswer&)
{
    reply_text("OK");
}

HandlerStatus on_get_cert_info(const char*)
{
    const int enable = get_param_int(VXDB_MAIN, HTTPS_ENABLE_PARAM, 0);
    json_object* reply = json_object_new_object();
    json_add_int(reply, "enable", enable);
    if (!regular_file(SSL_CERT_PATH)) {
        // No certificate, no HTTPS: the stored switch follows the file.
        set_param_int(VXDB_MAIN, HTTPS_ENABLE_PARAM, 0);
        json_add_text(reply, "checkfile", "NOFILE");
    } else {
        ssl_params record;
        if (read_ssl_params(VXDB_MAIN, SSL_PARAMS_CERT, &record) != 0) {
            json_object_put(reply);
            return HANDLER_ERROR_JSON;
        }
        json_add_text(reply, "checkfile", "OK");
        json_from_record(reply, &record, kCertInfoFields);
    }
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_download_cert_req(const char*)
{
    int fd = open(device_path(SSL_CSR_PATH).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            close(fd);
        reply_text("NotFile");
        return HANDLER_DONE;
    }
    serve_download(fd, SSL_CSR_NAME);
    close(fd);
    return HANDLER_DONE;
}

HandlerStatus on_delete_cert_req(const char*)
{
    cgi_notify(on_network_ipc_callback, REQ_HTTPS_DELETE_CERT_REQ, nullptr, 0);
    reply_text("OK");
    return HANDLER_DONE;
}

// The upload is taken only by its path from the upload intake (a JSON body
// naming the database, or "/tmp/x.pem;touch y", is refused); the profile
// tool gets it as one argument and the files are copied by the calls
// above, so no request text and no blank in the root reaches a shell.
HandlerStatus on_install_cert(const char* request)
{
    UploadPath upload;
    if (!upload_path_from_request(request, &upload))
        return HANDLER_ERROR_TEXT;
    // The tool maps device paths itself: give it the device form.
    const char* const argv[] = {"vxprofile", "-i", device_form(upload.path.c_str()), nullptr};
    vx_exec(argv, nullptr);  // its result does not decide the install

    const std::string cert = device_path(SSL_CERT_PATH);
    // Without a saved copy a failed check could not bring the old one back.
    bool ok = !regular_file(SSL_CERT_PATH) || copy_file(cert, device_path(SSL_CERT_SAVE_PATH));
    ok = ok && copy_file(upload.path, cert);
    unlink(upload.path.c_str());
    if (!ok) {
        reply_text("Error");
        return HANDLER_DONE;
    }
    return cgi_ask(on_network_ipc_callback, REQ_HTTPS_CHECK_CERT, nullptr, 0, HANDLER_ERROR_TEXT);
}

void on_install_cert_cb(IpcAnswer& answer)
{
    reply_text(answer_word(answer) == 1 ? "OK" : "Error");
}

HandlerStatus on_delete_cert(const char*)
{
    if (set_param_int(VXDB_MAIN, HTTPS_ENABLE_PARAM, 0) != 0)
        return HANDLER_ERROR_TEXT;
    unlink(device_path(SSL_CERT_PATH).c_str());
    // A request file directly in the directory, as the device leaves it.
    unlink(device_path(SSL_DIR "/" SSL_CSR_NAME).c_str());
    ssl_params cleared;
    memset(&cleared, 0, sizeof cleared);
    for (char* text : {cleared.country, cleared.common_name, cleared.email, cleared.dates})
        text[0] = ' ';
    if (write_ssl_params(VXDB_MAIN, SSL_PARAMS_CERT, &cleared) != 0)
        return HANDLER_ERROR_TEXT;
    const int32_t off = 0;
    cgi_notify(on_network_ipc_callback, REQ_HTTPS_DELETE_CERT, nullptr, 0);
    cgi_notify(on_network_ipc_callback, REQ_HTTPS_SET_ENABLE, &off, (int)sizeof off);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_set_https_enable(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    https_switch wanted = {0};  // no body or no key: switching off
    if (body && json_object_is_type(body.get(), json_type_object))
        json_to_record(body.get(), &wanted, kSwitchFields);
    if (wanted.enable != 0 && !regular_file(SSL_CERT_PATH)) {
        reply_text("NOFILE");
        return HANDLER_DONE;
    }
    // Stored first: a failed write switches nothing.
    if (set_param_int(VXDB_MAIN, HTTPS_ENABLE_PARAM, wanted.enable) != 0)
        return HANDLER_ERROR_TEXT;
    cgi_notify(on_network_ipc_callback, REQ_HTTPS_SET_ENABLE, &wanted.enable, (int)sizeof wanted.enable);
    reply_text("OK");
    return HANDLER_DONE;
}

HandlerStatus on_get_https_enable(const char*)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "enable", get_param_int(VXDB_MAIN, HTTPS_ENABLE_PARAM, 0));
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

HandlerStatus on_get_cert_req_info(const char*)
{
    json_object* reply = json_object_new_object();
    if (!regular_file(SSL_CSR_PATH)) {
        json_add_text(reply, "checkfile", "NOFILE");
    } else {
        ssl_params record;
        if (read_ssl_params(VXDB_MAIN, SSL_PARAMS_REQUEST, &record) != 0) {
            json_object_put(reply);
            return HANDLER_ERROR_JSON;
        }
        json_add_text(reply, "checkfile", "OK");
        json_from_record(reply, &record, kCertRequestInfoFields);
    }
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

// 8316 carries nothing the page shows; 8318 one word.
const IpcResponse kHttpsResponses[] = {
    {REQ_HTTPS_CREATE_CERT + 5000, 0, 0, on_create_https_cert_cb},
    {REQ_HTTPS_CHECK_CERT + 5000, 4, 1, on_install_cert_cb},
};

}  // namespace

const WebModulePart network_https_part = WEB_MODULE_PART("network", kHttpsResources, kHttpsResponses);
