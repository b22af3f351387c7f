// Simulated HTTPS certificates with a real library: a self-signed RSA-2048
// certificate or a key and a certificate request, the check of an installed
// certificate, and the local run's web server switched to HTTPS.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include "core/files.h"
#include "coresim/coresim.h"
#include "modules/network/network_records.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/wire.h"

namespace {

enum { RSA_BITS = 2048, DEFAULT_DAYS = 365, FILE_MAX = 1 << 20 };

std::mutex g_mu;  // one certificate change at a time

// A record's text, which may fill its field with no NUL.
template <size_t N>
std::string field(const char (&text)[N])
{
    return std::string(text, strnlen(text, N));
}

// The whole of `data` into `path`: a reader never sees half a file.
bool write_file(const std::string& path, const std::string& data, mode_t mode)
{
    auto write_data = [](int fd, const void* text) {
        const std::string& bytes = *(const std::string*)text;
        return write_all(fd, bytes.data(), bytes.size());
    };
    return write_through_temp(path, mode, write_data, &data);
}

bool read_file(const std::string& path, std::string* out)
{
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= FILE_MAX;
    out->clear();
    char piece[4096];
    ssize_t got;
    while (ok && (got = read(fd, piece, sizeof piece)) > 0)
        out->append(piece, (size_t)got);
    close(fd);
    return ok;
}

std::string bio_text(BIO* bio)
{
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    return n > 0 ? std::string(data, (size_t)n) : std::string();
}

std::string pem_of_key(EVP_PKEY* key)
{
    BIO* bio = BIO_new(BIO_s_mem());
    std::string text;
    if (bio && PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1)
        text = bio_text(bio);
    BIO_free(bio);
    return text;
}

std::string pem_of_cert(X509* cert)
{
    BIO* bio = BIO_new(BIO_s_mem());
    std::string text;
    if (bio && PEM_write_bio_X509(bio, cert) == 1)
        text = bio_text(bio);
    BIO_free(bio);
    return text;
}

// The subject from the record's texts, each an entry of its own: a "/",
// "+" or "=" in a text stays part of that text and adds no field.
X509_NAME* subject_of(const ssl_params& record)
{
    const struct {
        const char* name;
        std::string value;
    } entries[] = {
        {"C", field(record.country)},       {"ST", field(record.province)},
        {"L", field(record.region)},        {"O", field(record.organization)},
        {"OU", field(record.company)},      {"CN", field(record.common_name)},
        {"emailAddress", field(record.email)},
    };
    X509_NAME* name = X509_NAME_new();
    for (const auto& e : entries) {
        if (!name || e.value.empty())
            continue;
        if (X509_NAME_add_entry_by_txt(name, e.name, MBSTRING_UTF8, (const unsigned char*)e.value.c_str(), -1, -1,
                                       0) != 1)
            sim_log("https: subject entry %s refused", e.name);
    }
    return name;
}

// "notBefore - notAfter" as the certificate page shows it.
void dates_of(X509* cert, char (&out)[sizeof(ssl_params::dates)])
{
    BIO* bio = BIO_new(BIO_s_mem());
    std::string text;
    if (bio && ASN1_TIME_print(bio, X509_get0_notBefore(cert)) == 1 && BIO_puts(bio, " - ") > 0 &&
        ASN1_TIME_print(bio, X509_get0_notAfter(cert)) == 1)
        text = bio_text(bio);
    BIO_free(bio);
    wire_text(out, text.c_str());
}

// "YYYYMMDDHHMMSSZ" into a certificate time; false for any other text.
bool set_time(ASN1_TIME* time, const std::string& text)
{
    if (text.size() != 15 || text[14] != 'Z')
        return false;
    for (size_t i = 0; i < 14; i++)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return ASN1_TIME_set_string_X509(time, text.c_str()) == 1;
}

void set_validity(X509* cert, const ssl_params& record)
{
    ASN1_TIME* from = X509_getm_notBefore(cert);
    ASN1_TIME* to = X509_getm_notAfter(cert);
    if (set_time(from, field(record.start_time)) && set_time(to, field(record.end_time)) &&
        ASN1_TIME_compare(from, to) < 0)
        return;
    const long days = record.validity > 0 ? record.validity : DEFAULT_DAYS;
    X509_gmtime_adj(from, 0);
    X509_time_adj_ex(to, (int)days, 0, nullptr);
}

bool make_self_signed(ssl_params* record)
{
    EVP_PKEY* key = EVP_RSA_gen(RSA_BITS);
    X509* cert = X509_new();
    X509_NAME* name = subject_of(*record);
    unsigned char serial[8];
    bool ok = key && cert && name && RAND_bytes(serial, sizeof serial) == 1;
    if (ok) {
        serial[0] &= 0x7f;  // a positive serial number
        BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
        ok = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert)) != nullptr;
        BN_free(bn);
    }
    if (ok) {
        set_validity(cert, *record);
        ok = X509_set_version(cert, 2) == 1 && X509_set_subject_name(cert, name) == 1 &&
             X509_set_issuer_name(cert, name) == 1 && X509_set_pubkey(cert, key) == 1 &&
             X509_sign(cert, key, EVP_sha256()) > 0;
    }
    if (ok)
        ok = write_file(device_path(SSL_CERT_PATH), pem_of_cert(cert) + pem_of_key(key), 0600);
    if (ok)
        dates_of(cert, record->dates);
    X509_NAME_free(name);
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

bool make_request(const ssl_params& record)
{
    EVP_PKEY* key = EVP_RSA_gen(RSA_BITS);
    X509_REQ* req = X509_REQ_new();
    X509_NAME* name = subject_of(record);
    const std::string password = field(record.password);
    bool ok = key && req && name && X509_REQ_set_version(req, 0) == 1 && X509_REQ_set_subject_name(req, name) == 1 &&
              X509_REQ_set_pubkey(req, key) == 1;
    if (ok && !password.empty())
        ok = X509_REQ_add1_attr_by_NID(req, NID_pkcs9_challengePassword, MBSTRING_UTF8,
                                       (const unsigned char*)password.c_str(), -1) == 1;
    ok = ok && X509_REQ_sign(req, key, EVP_sha256()) > 0;
    BIO* bio = ok ? BIO_new(BIO_s_mem()) : nullptr;
    ok = bio && PEM_write_bio_X509_REQ(bio, req) == 1;
    // The key first: a request without its key could never be installed.
    ok = ok && write_file(device_path(SSL_CSR_KEY_PATH), pem_of_key(key), 0600) &&
         write_file(device_path(SSL_CSR_PATH), bio_text(bio), 0644);
    BIO_free(bio);
    X509_NAME_free(name);
    X509_REQ_free(req);
    EVP_PKEY_free(key);
    return ok;
}

void on_create_cert(const SimRequest& request, SimReply& reply)
{
    ssl_params record;
    if (!request.as(&record)) {
        sim_log("https: 3316 shorter than its record");
        return;
    }
    std::lock_guard<std::mutex> lock(g_mu);
    bool ok;
    if (record.install_type == SSL_INSTALL_SELF_SIGNED) {
        ok = make_self_signed(&record) && write_ssl_params(VXDB_MAIN, SSL_PARAMS_CERT, &record) == 0;
    } else {
        memset(record.dates, 0, sizeof record.dates);
        ok = make_request(record) && write_ssl_params(VXDB_MAIN, SSL_PARAMS_REQUEST, &record) == 0;
    }
    if (!ok) {
        sim_log("https: certificate not made");
        return;  // no answer: the page shows the error
    }
    reply.send(nullptr, 0);
}

void on_delete_cert_req(const SimRequest&, SimReply&)
{
    std::lock_guard<std::mutex> lock(g_mu);
    unlink(device_path(SSL_CSR_PATH).c_str());
    unlink(device_path(SSL_CSR_KEY_PATH).c_str());
}

void apply_web_server(bool wanted);

// The subject's text of `nid`, cut to the field.
template <size_t N>
void subject_text(X509* cert, int nid, char (&out)[N])
{
    char text[N];
    memset(text, 0, sizeof text);
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), nid, text, (int)sizeof text) < 0)
        text[0] = '\0';
    wire_text(out, text);
}

// Parses, is in date and goes with a key: the key in the file or, for a
// certificate signed for this device's request, the request's key, which
// is then added to the file so that the web server finds both.
bool check_installed(ssl_params* record)
{
    const std::string cert_path = device_path(SSL_CERT_PATH);
    std::string pem, request_key;
    if (!read_file(cert_path, &pem))
        return false;
    BIO* bio = BIO_new_mem_buf(pem.data(), (int)pem.size());
    X509* cert = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    bio = BIO_new_mem_buf(pem.data(), (int)pem.size());
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    if (!key && read_file(device_path(SSL_CSR_KEY_PATH), &request_key)) {
        bio = BIO_new_mem_buf(request_key.data(), (int)request_key.size());
        key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
        BIO_free(bio);
    }
    bool ok = cert && key && X509_cmp_current_time(X509_get0_notBefore(cert)) < 0 &&
              X509_cmp_current_time(X509_get0_notAfter(cert)) > 0 && X509_check_private_key(cert, key) == 1;
    if (ok && !request_key.empty())
        ok = write_file(cert_path, pem + (pem.back() == '\n' ? "" : "\n") + request_key, 0600);
    if (ok) {
        memset(record, 0, sizeof *record);
        subject_text(cert, NID_countryName, record->country);
        subject_text(cert, NID_commonName, record->common_name);
        subject_text(cert, NID_pkcs9_emailAddress, record->email);
        dates_of(cert, record->dates);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

void on_check_cert(const SimRequest&, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g_mu);
    ssl_params record;
    if (check_installed(&record)) {
        write_ssl_params(VXDB_MAIN, SSL_PARAMS_CERT, &record);
        // A server already on HTTPS takes the new certificate.
        if (get_param_int(VXDB_MAIN, HTTPS_ENABLE_PARAM, 0))
            apply_web_server(true);
        reply.send_word(1);
        return;
    }
    // The certificate that served before comes back; with none saved, the
    // bad one goes, so that HTTPS is never switched on with it.
    std::string saved;
    const std::string cert_path = device_path(SSL_CERT_PATH);
    if (!read_file(device_path(SSL_CERT_SAVE_PATH), &saved) || !write_file(cert_path, saved, 0600))
        unlink(cert_path.c_str());
    sim_log("https: installed certificate refused");
    reply.send_word(0);
}

void on_delete_cert(const SimRequest&, SimReply&)
{
    std::lock_guard<std::mutex> lock(g_mu);
    unlink(device_path(SSL_CERT_PATH).c_str());
    sim_log("https: certificate deleted");
}

// The local run's web server: an include file it reads on a graceful
// restart (SIGUSR1), named with its pid file by the run script. Called
// under g_mu.
void apply_web_server(bool wanted)
{
    const char* include = getenv("CORESIM_LIGHTTPD_SSL_CONF");
    const std::string cert = device_path(SSL_CERT_PATH);
    struct stat st;
    const bool on = wanted && lstat(cert.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    sim_log("https: %s", on ? "on" : "off");
    if (!include || !*include)
        return;
    if (cert.find_first_of("\"\\\n") != std::string::npos) {
        sim_log("https: the certificate path cannot be written into the include");
        return;
    }
    const char* bind = getenv("CORESIM_HTTPS_BIND");
    const char* port = getenv("CORESIM_HTTPS_PORT");
    const int port_number = port ? atoi(port) : 0;
    char socket[64];
    snprintf(socket, sizeof socket, "%s:%d", bind && *bind && strlen(bind) < 40 ? bind : "127.0.0.1",
             port_number > 0 && port_number < 65536 ? port_number : 8443);
    std::string text = "# HTTPS of the local run, written by coresim on request 3322.\n";
    if (on)
        text += std::string("server.modules += ( \"mod_openssl\" )\n$SERVER[\"socket\"] == \"") + socket +
                "\" {\n    ssl.engine = \"enable\"\n    ssl.pemfile = \"" + cert + "\"\n}\n";
    if (!write_file(include, text, 0644)) {
        sim_log("https: %s not written", include);
        return;
    }
    const char* pid_file = getenv("CORESIM_LIGHTTPD_PID");
    std::string pid_text;
    const long pid = pid_file && read_file(pid_file, &pid_text) ? strtol(pid_text.c_str(), nullptr, 10) : 0;
    if (pid > 1 && kill((pid_t)pid, SIGUSR1) != 0)
        sim_log("https: web server %ld not told", pid);
}

void on_set_enable(const SimRequest& request, SimReply&)
{
    std::lock_guard<std::mutex> lock(g_mu);
    apply_web_server(request.word() != 0);
}

const SimEntry kHttps[] = {
    {REQ_HTTPS_CREATE_CERT, on_create_cert, "self-signed certificate, or key and request"},
    {REQ_HTTPS_DELETE_CERT_REQ, on_delete_cert_req, "delete the request and its key"},
    {REQ_HTTPS_CHECK_CERT, on_check_cert, "check the installed certificate, else restore the saved one"},
    {REQ_HTTPS_DELETE_CERT, on_delete_cert, "certificate deleted"},
    {REQ_HTTPS_SET_ENABLE, on_set_enable, "HTTPS of the local web server on or off"},
};

}  // namespace

const SimEntry* sim_https_table(int* count)
{
    *count = (int)(sizeof kHttps / sizeof kHttps[0]);
    return kHttps;
}
