// HTTPS certificates, black-box through nvrweb.cgi: the switch, the stored
// details, the create request on the wire, the request download, the
// install from an upload and its attacks, the removal; then coresim's real
// certificates and the local run serving HTTPS with one.
#include <csignal>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "modules/network/network_records.h"
#include "tests/support/handler_test.h"
#include "tests/support/local_run.h"

namespace {

const vxdb_kind kSslKind = {"ssl_params", (int)sizeof(ssl_params), 3};
const std::string kB = "----httpsboundary";
const std::string kPem = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";

int mode_of(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (int)(st.st_mode & 07777) : -1;
}

class Https : public HandlerTest {
protected:
    CgiResult upload(const std::string& filename, const std::string& data)
    {
        vxdb_close_all();
        core.clear();
        CgiRequest r;
        r.method = "POST", r.path = "/7084", r.remote_addr = kAddr, r.env = env;
        r.body = "--" + kB + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + filename +
                 "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n--" + kB + "--\r\n";
        r.content_type = "multipart/form-data; boundary=" + kB;
        CgiResult res = run_cgi(root.path(), r);
        vxdb_close_all();
        return res;
    }
    // A profile tool that only notes its arguments, first on the CGI's PATH.
    void note_profile_tool()
    {
        mkdir(root.at("/bin").c_str(), 0755);
        root.write("/bin/vxprofile", "#!/bin/sh\necho \"$@\" >> \"$NVRWEB_ROOT/profile-args\"\n");
        chmod(root.at("/bin/vxprofile").c_str(), 0755);
        env = {{"PATH", root.at("/bin") + ":/usr/bin:/bin"}};
    }
};

TEST_F(Https, SwitchAndDetailsWithAndWithoutCertificate)
{
    set_param("httpsenable", 1);
    // The details without a certificate switch HTTPS off, showing the old value.
    EXPECT_TRUE(json_reply_is(get("/7081").out, R"({"enable":1,"checkfile":"NOFILE"})"));
    EXPECT_EQ(param("httpsenable", -1), 0);
    EXPECT_TRUE(json_reply_is(get("/7089").out, R"({"checkfile":"NOFILE"})"));
    struct Case {
        bool cert;
        std::string body, reply, wire;  // wire: the 3322 payload, or kSilent
        int stored;
    } cases[] = {
        {false, R"({"httpsenable":1})", "NOFILE", kSilent, 0},
        {false, R"({"httpsenable":0})", "OK", int32_bytes({0}), 0},
        {true, "not json", "OK", int32_bytes({0}), 0},
        {true, R"({"httpsenable":1})", "OK", int32_bytes({1}), 1},
    };
    for (const Case& c : cases) {
        if (c.cert)
            root.write(SSL_CERT_PATH, kPem);
        core.clear();
        EXPECT_EQ(post("/7086", c.body).out, text_reply(c.reply)) << c.body;
        const bool sent_any = core.wait_for(REQ_HTTPS_SET_ENABLE, 1, c.wire == kSilent ? 300 : 2000);
        EXPECT_EQ(sent_any ? sent(REQ_HTTPS_SET_ENABLE)[0].payload : kSilent, c.wire) << c.body;
        EXPECT_EQ(param("httpsenable", -1), c.stored) << c.body;
        EXPECT_TRUE(json_reply_is(get("/7087").out, "{\"enable\":" + std::to_string(c.stored) + "}"));
    }

    // Stored texts that fill their fields are cut there, not read on.
    ssl_params full;
    memset(&full, 'x', sizeof full);
    put(full.country, "USA"), put(full.common_name, std::string(64, 'c'));
    put(full.email, std::string(64, 'e')), put(full.dates, std::string(192, 'd'));
    store(kSslKind, SSL_PARAMS_CERT, &full);
    store(kSslKind, SSL_PARAMS_REQUEST, &full);
    EXPECT_TRUE(json_reply_is(get("/7081").out, R"({"enable":1,"checkfile":"OK","country":"USA","common_name":")" +
                                                    std::string(64, 'c') + R"(","email":")" + std::string(64, 'e') +
                                                    R"(","dates":")" + std::string(192, 'd') + "\"}"));
    root.write(SSL_CSR_PATH, "csr");
    EXPECT_TRUE(json_reply_is(get("/7089").out, R"({"checkfile":"OK","country_req":"USA","common_name_req":")" +
                                                    std::string(64, 'c') + R"(","email_req":")" +
                                                    std::string(64, 'e') + "\"}"));
}

TEST_F(Https, CreateSendsTheRecordAndPreparesAPrivateCaDirectory)
{
    root.write(SSL_CERT_PATH, kPem);
    chmod(root.at(SSL_CERT_PATH).c_str(), 0600);
    root.write("/outside", "keep");
    const std::string body = R"({"InstallType":%T,"Country":"USA","CommonName":"a/CN=b+O=c","Validity":30,)"
                             R"("Password":"0123456789abcdefXYZ","Province":"P","Region":"R","Organization":"O",)"
                             R"("Company":"U","Email":"e@x","startTime":"20240101000000Z-long",)"
                             R"("endTime":"20300101000000Z"})";
    ssl_params want;
    memset(&want, 0, sizeof want);
    put(want.country, "US"), put(want.common_name, "a/CN=b+O=c"), put(want.password, "0123456789abcde");
    put(want.province, "P"), put(want.region, "R"), put(want.organization, "O"), put(want.company, "U");
    put(want.email, "e@x");
    for (int type : {0, 1}) {
        // Leftovers of a former run, and a link out of the directory.
        mkdir(root.at(SSL_CA_DIR).c_str(), 0777);
        root.write(SSL_CA_DIR "/serial", "ff");
        root.write(SSL_CA_DIR "/old.pem", "old");
        symlink(root.at("/outside").c_str(), root.at(SSL_CA_DIR "/link").c_str());
        ssl_params record = want;
        record.install_type = type;
        if (type == 0)
            record.validity = 30, put(record.start_time, "20240101000000Z"), put(record.end_time, "20300101000000Z");
        core.reply(REQ_HTTPS_CREATE_CERT, "");
        std::string text = body;
        text.replace(text.find("%T"), 2, std::to_string(type));
        EXPECT_EQ(post("/7080", text).out, text_reply("OK"));
        ASSERT_EQ(sent(REQ_HTTPS_CREATE_CERT).size(), 1u);
        EXPECT_TRUE(same_bytes(sent(REQ_HTTPS_CREATE_CERT)[0].payload, bytes_of(record))) << type;
        EXPECT_EQ(root.list(SSL_CA_DIR), "index.txt newcerts serial");
        EXPECT_EQ(root.read(SSL_CA_DIR "/serial"), "01\n");
        EXPECT_EQ(root.read(SSL_CA_DIR "/index.txt"), "");
        for (const char* dir : {SSL_CA_DIR, SSL_CA_DIR "/newcerts"})
            EXPECT_EQ(mode_of(root.at(dir)), 0700) << dir;
        for (const char* file : {SSL_CA_DIR "/serial", SSL_CA_DIR "/index.txt", SSL_CERT_PATH})
            EXPECT_EQ(mode_of(root.at(file)), 0600) << file;
        EXPECT_EQ(root.read("/outside"), "keep");
        core.clear();
    }
    core.silent(REQ_HTTPS_CREATE_CERT);
    EXPECT_EQ(post("/7080", R"({"InstallType":1})").out, kTextError);
    EXPECT_EQ(post("/7080", "not json").out, "");
    EXPECT_TRUE(sent(REQ_HTTPS_CREATE_CERT).empty());
}

TEST_F(Https, RequestDownloadDeleteAndCertificateRemoval)
{
    EXPECT_EQ(get("/7082").out, text_reply("NotFile"));
    std::string csr(10000, '\0');
    for (size_t i = 0; i < csr.size(); i++)
        csr[i] = (char)(i * 7);
    root.write(SSL_CSR_PATH, csr);
    EXPECT_TRUE(same_bytes(get("/7082").out, "Content-Type:application/octet-stream\r\nContent-Disposition: "
                                             "attachment; filename= ssl_cert.csr\r\n\r\n" + csr));
    EXPECT_EQ(root.read(SSL_CSR_PATH), csr);
    EXPECT_EQ(get("/7083").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_HTTPS_DELETE_CERT_REQ, 1));
    EXPECT_EQ(sent(REQ_HTTPS_DELETE_CERT_REQ)[0].payload, "");

    set_param("httpsenable", 1);
    root.write(SSL_CERT_PATH, kPem);
    root.write(SSL_DIR "/" SSL_CSR_NAME, "old request");
    EXPECT_EQ(get("/7085").out, text_reply("OK"));
    ASSERT_TRUE(core.wait_for(REQ_HTTPS_SET_ENABLE, 1));
    EXPECT_EQ(sent(REQ_HTTPS_DELETE_CERT)[0].payload, "");
    EXPECT_EQ(sent(REQ_HTTPS_SET_ENABLE)[0].payload, int32_bytes({0}));
    EXPECT_FALSE(root.exists(SSL_CERT_PATH));
    EXPECT_FALSE(root.exists(SSL_DIR "/" SSL_CSR_NAME));
    EXPECT_EQ(root.read(SSL_CSR_PATH), csr);
    EXPECT_EQ(param("httpsenable", -1), 0);
    ssl_params cleared, got;
    memset(&cleared, 0, sizeof cleared);
    cleared.country[0] = cleared.common_name[0] = cleared.email[0] = cleared.dates[0] = ' ';
    ASSERT_EQ(stored(kSslKind, SSL_PARAMS_CERT, &got), 0);
    EXPECT_TRUE(same_bytes(bytes_of(got), bytes_of(cleared)));
}

TEST_F(Https, InstallFromUploadCheckAndAttacks)
{
    note_profile_tool();
    root.write(SSL_CERT_PATH, "old");
    const std::string fresh = kPem + "fresh\n";
    core.reply(REQ_HTTPS_CHECK_CERT, int32_bytes({1}));
    EXPECT_EQ(upload("new.pem", fresh).out, text_reply("OK"));
    EXPECT_EQ(root.read(SSL_CERT_PATH), fresh);
    EXPECT_EQ(mode_of(root.at(SSL_CERT_PATH)), 0600);
    EXPECT_EQ(root.read(SSL_CERT_SAVE_PATH), "old");
    EXPECT_EQ(root.list("/tmp"), "");
    EXPECT_EQ(root.read("/profile-args"), "-i /tmp/new.pem\n");
    EXPECT_EQ(sent(REQ_HTTPS_CHECK_CERT)[0].payload, "");
    core.reply(REQ_HTTPS_CHECK_CERT, int32_bytes({0}));
    EXPECT_EQ(upload("bad.pem", "x").out, text_reply("Error"));
    EXPECT_EQ(root.read(SSL_CERT_SAVE_PATH), fresh);  // the one that served before

    // A JSON body naming the database or a shell line, and a file name
    // with "$(...)", move, run and touch nothing.
    set_param("httpsenable", 7);
    root.write("/tmp/x.pem", kPem);
    const std::string bodies[] = {VXDB_MAIN, root.at(VXDB_MAIN), "/tmp/x.pem;touch /tmp/PWNED", "/tmp/x.pem"};
    for (const std::string& body : bodies) {
        core.clear();
        EXPECT_EQ(post("/7084", body).out, kTextError) << body;
        EXPECT_TRUE(sent(REQ_HTTPS_CHECK_CERT).empty());
    }
    EXPECT_EQ(param("httpsenable", -1), 7);  // the database stayed in place
    EXPECT_EQ(root.read(SSL_CERT_PATH), "x");
    EXPECT_EQ(root.read("/profile-args"), "-i /tmp/new.pem\n-i /tmp/bad.pem\n");
    core.reply(REQ_HTTPS_CHECK_CERT, int32_bytes({1}));
    EXPECT_EQ(upload("a$(touch PWNED)b.pem", fresh).out, text_reply("OK"));
    EXPECT_EQ(root.list("/tmp"), "x.pem");
    EXPECT_FALSE(root.exists("/PWNED") || root.exists("/tmp/PWNED") || access("PWNED", F_OK) == 0);
    core.silent(REQ_HTTPS_CHECK_CERT);
    EXPECT_EQ(upload("c.pem", fresh).out, kTextError);
}

// The local run: a self-signed certificate made through "/7080" is served
// on the HTTPS port after "/7086"; a request and its key; a bad install
// brings the saved certificate back.
TEST(HttpsLocalDevice, CertificatesMadeInstalledAndServedOverHttps)
{
    if (shell("command -v lighttpd >/dev/null && command -v curl && test -e /usr/lib/lighttpd/mod_openssl.so && echo y")
            .empty())
        GTEST_SKIP() << "lighttpd, its TLS module or curl missing";
    ScratchRoot scratch;
    const std::string dir = scratch.path() + "/device", port = std::to_string(free_port()),
                      https = std::to_string(free_port()), base = "http://127.0.0.1:" + port;
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen((dir + ".out").c_str(), "w", stdout))
            _exit(126);
        execl("/bin/bash", "bash", (source_dir() + "/scripts/run").c_str(), "--no-deps", "--no-build", "--port",
              port.c_str(), "--https-port", https.c_str(), "--dir", dir.c_str(), "--build-dir", build_dir().c_str(),
              "--emulator", emulator().c_str(), (char*)nullptr);
        _exit(127);
    }
    auto curl = [&](const std::string& path, const std::string& body = "") {
        const std::string data =
            body.empty() ? "" : "-H 'Content-Type: application/json' --data-binary '" + body + "' ";
        return shell("curl -s --max-time 60 " + data + "'" + base + path + "'");
    };
    for (int i = 0; i < 100 && curl("/7087").empty(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string ssl = dir + "/root" SSL_DIR;
    EXPECT_EQ(curl("/7080", R"({"InstallType":0,"Country":"DE","CommonName":"127.0.0.1","Organization":"a/O=b+C=x",)"
                            R"("Email":"e@x","startTime":"20240101000000Z","endTime":"20991231235959Z"})"),
              "OK");
    EXPECT_EQ(mode_of(ssl + "/" SSL_CERT_NAME), 0600);
    const std::string pem = shell("cat '" + ssl + "/" SSL_CERT_NAME "'");
    BIO* bio = BIO_new_mem_buf(pem.data(), (int)pem.size());
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_TRUE(cert);
    // "/", "+" and "=" stay inside the one organisation entry.
    X509_NAME* subject = X509_get_subject_name(cert);
    char text[64];
    EXPECT_EQ(X509_NAME_entry_count(subject), 4);
    EXPECT_GT(X509_NAME_get_text_by_NID(subject, NID_organizationName, text, sizeof text), 0);
    EXPECT_STREQ(text, "a/O=b+C=x");
    EXPECT_GT(X509_NAME_get_text_by_NID(subject, NID_countryName, text, sizeof text), 0);
    EXPECT_STREQ(text, "DE");
    EXPECT_EQ(ASN1_TIME_cmp_time_t(X509_get0_notBefore(cert), 1704067200), 0);
    X509_free(cert);
    EXPECT_NE(canon(curl("/7081")).find(R"("checkfile":"OK","country":"DE","common_name":"127.0.0.1")"),
              std::string::npos);

    // Over HTTPS once the server has restarted with the certificate.
    auto https_get = [&](const std::string& cacert, const std::string& host) {
        std::string served;
        for (int i = 0; i < 50 && served.empty(); i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            served = shell("curl -s --max-time 5 --cacert '" + cacert + "' --resolve " + host + ":" + https +
                           ":127.0.0.1 https://" + host + ":" + https + "/7087");
        }
        return canon(served);
    };
    EXPECT_EQ(curl("/7086", R"({"httpsenable":1})"), "OK");
    EXPECT_EQ(https_get(ssl + "/" SSL_CERT_NAME, "127.0.0.1"), R"({"enable":1})");

    // An install that fails the check brings the saved certificate back.
    const std::string bad = scratch.path() + "/bad.pem";
    shell("printf -- '-----BEGIN CERTIFICATE-----\\nAAAA\\n-----END CERTIFICATE-----\\n' > '" + bad + "'");
    EXPECT_EQ(shell("curl -s --max-time 60 -F 'file=@" + bad + ";filename=bad.pem' " + base + "/7084"), "Error");
    EXPECT_EQ(shell("cat '" + ssl + "/" SSL_CERT_NAME "'"), pem);

    // A request: its key private, the password as challengePassword.
    EXPECT_EQ(curl("/7080", R"({"InstallType":1,"Country":"DE","CommonName":"nvr","Password":"pw123"})"), "OK");
    EXPECT_EQ(mode_of(dir + "/root" SSL_CSR_KEY_PATH), 0600);
    const std::string csr = curl("/7082");
    EXPECT_EQ(csr.rfind("-----BEGIN CERTIFICATE REQUEST-----", 0), 0u);
    EXPECT_NE(shell("echo '" + csr + "' | openssl req -noout -text").find("challengePassword        :pw123"),
              std::string::npos);
    EXPECT_EQ(canon(curl("/7089")), R"({"checkfile":"OK","country_req":"DE","common_name_req":"nvr","email_req":""})");

    // Signed by a CA for that request, the certificate is installed without
    // a key of its own (the request's joins it) and served at once.
    shell("cd '" + scratch.path() + "' && echo '" + csr + "' > req.csr && openssl req -x509 -newkey rsa:2048 -nodes "
          "-keyout ca.key -out ca.pem -subj /CN=testca -days 2 2>/dev/null && openssl x509 -req -in req.csr "
          "-CA ca.pem -CAkey ca.key -CAcreateserial -out signed.pem -days 2 2>/dev/null");
    EXPECT_EQ(shell("curl -s --max-time 60 -F 'file=@" + scratch.path() + "/signed.pem;filename=signed.pem' " + base +
                    "/7084"),
              "OK");
    EXPECT_NE(shell("cat '" + ssl + "/" SSL_CERT_NAME "'").find("PRIVATE KEY"), std::string::npos);
    EXPECT_EQ(shell("cat '" + ssl + "/" SSL_CERT_SAVE_NAME "'"), pem);
    EXPECT_EQ(https_get(scratch.path() + "/ca.pem", "nvr"), R"({"enable":1})");
    kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
}

}  // namespace
