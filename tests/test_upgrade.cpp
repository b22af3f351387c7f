// Online upgrade, camera upgrade, the OEM package: black-box against a fake
// core service; AES and base64 against the standards' vectors; the online
// upgrade once end to end against coresim.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <zlib.h>

#include "modules/system/system_maintenance.h"
#include "modules/system/upgrade_records.h"
#include "platform/aes.h"
#include "platform/base64.h"
#include "tests/support/handler_test.h"

namespace {

std::vector<int> codes(const std::vector<FakeRequest>& requests)
{
    std::vector<int> out;
    for (const FakeRequest& r : requests)
        out.push_back(r.code);
    return out;
}

std::string hex_bytes(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += (char)strtol(hex.substr(i, 2).c_str(), nullptr, 16);
    return out;
}

// FIPS 197 appendix C: one plaintext under a 128, 192 and 256-bit key.
TEST(UpgradeCrypto, AesKnownAnswersAndBase64)
{
    const std::string plain = hex_bytes("00112233445566778899aabbccddeeff");
    const std::string key = hex_bytes("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const std::pair<size_t, const char*> rows[] = {{16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
                                                   {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
                                                   {32, "8ea2b7ca516745bfeafc49904b496089"}};
    for (const auto& [size, cipher] : rows) {
        AesDecryptKey k;
        ASSERT_EQ(aes_set_decrypt_key(&k, (const uint8_t*)key.data(), size), 0);
        uint8_t out[16];
        aes_decrypt_block(&k, (const uint8_t*)hex_bytes(cipher).data(), out);
        EXPECT_TRUE(same_bytes(std::string((char*)out, 16), plain)) << size;
    }
    AesDecryptKey k;
    EXPECT_EQ(aes_set_decrypt_key(&k, (const uint8_t*)key.data(), 20), -1);

    // RFC 4648 section 10, lines allowed; anything else in the text refused.
    const std::pair<const char*, long> texts[] = {
        {"", 0}, {"Zg==", 1}, {"Zm8=", 2}, {"Zm9vYmFy", 6}, {"Zm9v\r\nYmE=\n", 5},
        {"Zg=", -1}, {"Zg==Zg==", -1}, {"Zm 9v", -1}, {"Z", -1}, {"Zm9v!", -1}};
    for (const auto& [text, length] : texts) {
        unsigned char out[16];
        const long n = vx_base64_decode(text, strlen(text), out, sizeof out);
        EXPECT_EQ(n, length) << text;
        if (n > 0) {
            EXPECT_EQ(std::string((char*)out, (size_t)n), std::string("foobar").substr(0, (size_t)n)) << text;
        }
    }
}

online_upgrade_info info(int state, const char* version)
{
    online_upgrade_info i = zeroed<online_upgrade_info>();
    i.state = state;
    i.file_size = 4096;
    put(i.softversion, version);
    put(i.url, "http://u/v.bin");
    put(i.description, "d");
    return i;
}

std::string info_json(int state, const char* version)
{
    return std::string(R"({"state":)") + std::to_string(state) + R"(,"fileSize":4096,"softversion":")" + version +
           R"(","url":"http://u/v.bin","description":"d"})";
}

const std::string kB = "----UpgradeBoundary";

class Upgrade : public HandlerTest {
protected:
    CgiResult upload_oem(const std::string& data, const std::string& query)
    {
        vxdb_close_all();
        CgiRequest r;
        r.method = "POST";
        r.path = "/oem";
        r.query = query;
        r.body = "--" + kB + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"oem.txt\"\r\n\r\n" + data +
                 "\r\n--" + kB + "--\r\n";
        r.content_type = "multipart/form-data; boundary=" + kB;
        r.remote_addr = kAddr;
        return run_cgi(root.path(), r);
    }
};

TEST_F(Upgrade, OnlineChecks)
{
    // The recorder: a whole record, a short one, none.
    const online_upgrade_info offer = info(1, "V2.0");
    const struct {
        std::string answer;
        std::string reply;
    } nvr[] = {{bytes_of(offer), ""}, {bytes_of(offer).substr(0, 100), kJsonError}, {kSilent, kTextError}};
    for (const auto& c : nvr) {
        core.clear();
        if (c.answer == kSilent)
            core.silent(REQ_ONLINE_UPGRADE_CHECK);
        else
            core.reply(REQ_ONLINE_UPGRADE_CHECK, c.answer);
        const std::string out = get("/6087").out;
        if (c.reply.empty())
            EXPECT_TRUE(json_reply_is(out, info_json(1, "V2.0")));
        else
            EXPECT_EQ(out, c.reply) << c.answer.size();
        EXPECT_EQ(sent(REQ_ONLINE_UPGRADE_CHECK).size(), 1u);
    }

    // The cameras: the channel string's mask on the wire, all 64 records back.
    std::string all;
    for (int channel = 0; channel < 64; channel++)
        all += bytes_of(info(channel == 3, channel == 3 ? "C3" : ""));
    ASSERT_EQ(all.size(), 20992u);
    core.reply(REQ_CAMERA_ONLINE_CHECK, all);
    const std::pair<const char*, uint64_t> masks[] = {{"1101", 0xb}, {"1x1", 0x1}, {"", 0}};
    for (const auto& [ch, mask] : masks) {
        core.clear();
        const std::string out = post("/6089", std::string(R"({"ch":")") + ch + "\"}").out;
        const auto wire = sent(REQ_CAMERA_ONLINE_CHECK);
        ASSERT_EQ(wire.size(), 1u);
        EXPECT_TRUE(same_bytes(wire[0].payload, bytes_of(mask))) << ch;
        std::string list;
        for (int channel = 0; channel < 64; channel++)
            list += (channel ? "," : "") + info_json(channel == 3, channel == 3 ? "C3" : "");
        EXPECT_TRUE(json_reply_is(out, R"({"check":[)" + list + "]}")) << ch;
    }
    // One byte short of the 64 records, and no "ch": the JSON error body.
    core.reply(REQ_CAMERA_ONLINE_CHECK, all.substr(0, all.size() - 1));
    EXPECT_EQ(post("/6089", R"({"ch":"1"})").out, kJsonError);
    core.clear();
    EXPECT_EQ(post("/6089", R"({"chn":"1"})").out, kJsonError);
    EXPECT_TRUE(sent(REQ_CAMERA_ONLINE_CHECK).empty());
}

TEST_F(Upgrade, DownloadDiscardInstall)
{
    // Download: the url cut to 127 characters, the path by type.
    core.reply(REQ_ONLINE_UPGRADE_DOWNLOAD, int32_bytes({-1}));
    const std::string url(200, 'u');
    const std::pair<int, const char*> types[] = {{0, MAINT_UPGRADE_IMAGE}, {1, UPGRADE_CAMERA_IMAGE}, {2, nullptr}};
    for (const auto& [type, path] : types) {
        core.clear();
        const std::string out = post("/6085", R"({"type":)" + std::to_string(type) + R"(,"url":")" + url + "\"}").out;
        if (!path) {
            EXPECT_EQ(out, kJsonError);
            EXPECT_TRUE(sent(REQ_ONLINE_UPGRADE_DOWNLOAD).empty());
            continue;
        }
        EXPECT_TRUE(json_reply_is(out, R"({"res":-1})")) << type;
        online_download_request want = zeroed<online_download_request>();
        put(want.url, url.substr(0, 127));
        put(want.path, path);
        const auto wire = sent(REQ_ONLINE_UPGRADE_DOWNLOAD);
        ASSERT_EQ(wire.size(), 1u);
        EXPECT_TRUE(same_bytes(wire[0].payload, bytes_of(want))) << type;
    }

    // Discard: the recorder image here, there or not; the camera image by 1717.
    for (bool present : {true, false}) {
        if (present)
            root.write(MAINT_UPGRADE_IMAGE, "image");
        EXPECT_TRUE(json_reply_is(post("/6086", R"({"type":0})").out, R"({"res":0})"));
        EXPECT_FALSE(root.exists(MAINT_UPGRADE_IMAGE));
    }
    core.reply(REQ_ONLINE_UPGRADE_DISCARD, int32_bytes({7}));
    EXPECT_TRUE(json_reply_is(post("/6086", R"({"type":1})").out, R"({"res":7})"));
    core.reply(REQ_ONLINE_UPGRADE_DISCARD, "");
    EXPECT_EQ(post("/6086", R"({"type":1})").out, kJsonError);
    EXPECT_EQ(post("/6086", R"({"type":2})").out, kJsonError);

    // Install: prepare, log, install, log, restart; a refusal stops there.
    core.clear();
    core.reply(REQ_UPGRADE, int32_bytes({0}));
    EXPECT_TRUE(json_reply_is(get("/6088").out, R"({"res":0})"));
    ASSERT_TRUE(core.wait_for(REQ_RESTART, 1));
    auto all = sent_all();
    EXPECT_EQ(codes(all), (std::vector<int>{REQ_UPGRADE_PREPARE, REQ_OPERATION_LOG, REQ_UPGRADE, REQ_OPERATION_LOG,
                                            REQ_RESTART}));
    EXPECT_EQ(all[1].payload, log_record(LOG_SUB_REMOTE_UPGRADE, LOG_PARAM_NONE, 0));
    EXPECT_EQ(all[2].payload, int32_bytes({0}));
    EXPECT_EQ(all[3].payload, log_record(LOG_SUB_REMOTE_REBOOT, LOG_PARAM_NONE, 0));
    core.clear();
    core.reply(REQ_UPGRADE, int32_bytes({-2}));
    EXPECT_TRUE(json_reply_is(get("/6088").out, R"({"res":-2})"));
    EXPECT_EQ(codes(sent_all()), (std::vector<int>{REQ_UPGRADE_PREPARE, REQ_OPERATION_LOG, REQ_UPGRADE}));
}

TEST_F(Upgrade, CameraUpgradeAndPoe)
{
    EXPECT_EQ(get("/6082").out, text_reply("Error"));
    root.write(UPGRADE_CAMERA_IMAGE, "camera image");
    EXPECT_EQ(get("/6082").out, text_reply("OK"));

    core.reply(REQ_CAMERA_UPGRADE_START, int32_bytes({5, 0}));
    EXPECT_TRUE(json_reply_is(post("/6083", R"({"chnid":5,"reset":1})").out, R"({"chnid":5,"status":0})"));
    camera_upgrade_request want = zeroed<camera_upgrade_request>();
    want.chnid = 5;
    want.reset = 1;
    put(want.path, UPGRADE_CAMERA_IMAGE);
    ASSERT_EQ(sent(REQ_CAMERA_UPGRADE_START).size(), 1u);
    EXPECT_TRUE(same_bytes(sent(REQ_CAMERA_UPGRADE_START)[0].payload, bytes_of(want)));
    for (const char* body : {"chnid=5", R"({"chnid":64,"reset":0})", R"({"reset":0})"}) {
        core.clear();
        EXPECT_EQ(post("/6083", body).out, kJsonError) << body;
        EXPECT_TRUE(sent(REQ_CAMERA_UPGRADE_START).empty()) << body;
    }
    core.reply(REQ_CAMERA_UPGRADE_START, int32_bytes({5}));
    EXPECT_EQ(post("/6083", R"({"chnid":5,"reset":0})").out, kJsonError);

    core.clear();
    EXPECT_EQ(get("/6084").out, text_reply("OK"));
    EXPECT_FALSE(root.exists(UPGRADE_CAMERA_IMAGE));
    EXPECT_TRUE(core.wait_for(REQ_CAMERA_UPGRADE_STOP, 1));

    core.reply(REQ_POE_CAMERA_PASSWORD, int32_bytes({-3}));
    EXPECT_EQ(get("/6075").out, text_reply("-3"));
    core.silent(REQ_POE_CAMERA_PASSWORD);
    EXPECT_EQ(get("/6075").out, kJsonError);
    EXPECT_EQ(get("/6076").out, text_reply("OK"));
    EXPECT_TRUE(core.wait_for(REQ_POE_CAMERA_NOTIFY, 1));
}

// ---- the OEM package --------------------------------------------------------

struct ZipEntry {
    std::string name;
    std::string data;
    unsigned mode;  // 0100644 file, 0120777 symlink (data: the target), 040755 directory
};

void le(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out += (char)(value >> (8 * i));
}

// A stored (uncompressed) archive with Unix modes, names as given.
std::string make_zip(const std::vector<ZipEntry>& entries)
{
    std::string out, central;
    for (const ZipEntry& e : entries) {
        const uint32_t crc = (uint32_t)crc32(0, (const Bytef*)e.data.data(), (uInt)e.data.size());
        const uint32_t offset = (uint32_t)out.size();
        std::string common;
        le(common, 20, 2), le(common, 0, 2), le(common, 0, 2), le(common, 0, 2), le(common, 0x21, 2);
        le(common, crc, 4), le(common, (uint32_t)e.data.size(), 4), le(common, (uint32_t)e.data.size(), 4);
        le(common, (uint32_t)e.name.size(), 2), le(common, 0, 2);
        le(out, 0x04034b50, 4);
        out += common + e.name + e.data;
        le(central, 0x02014b50, 4), le(central, 3 << 8 | 20, 2);
        central += common;
        le(central, 0, 2), le(central, 0, 2), le(central, 0, 2), le(central, e.mode << 16, 4), le(central, offset, 4);
        central += e.name;
    }
    const uint32_t at = (uint32_t)out.size();
    out += central;
    le(out, 0x06054b50, 4), le(out, 0, 4), le(out, (uint32_t)entries.size(), 2), le(out, (uint32_t)entries.size(), 2);
    le(out, (uint32_t)central.size(), 4), le(out, at, 4), le(out, 0, 2);
    return out;
}

const std::string kKey = "0123456789abcdefOEMkey+/0123456";  // 31: one short of 256 bits
const std::string kKey32 = kKey + "Z";

// The upload as the packaging tool writes it: openssl's AES-256-ECB with
// PKCS#7 padding, base64 in lines ended by CR LF.
std::string encrypt_package(const ScratchRoot& root, const std::string& plain, const std::string& key)
{
    root.write("/tmp/plain", plain);
    std::string hex;
    for (unsigned char c : key) {
        char h[3];
        snprintf(h, sizeof h, "%02x", c);
        hex += h;
    }
    const std::string cmd = "openssl enc -aes-256-ecb -K " + hex + " -in " + root.at("/tmp/plain") +
                            " | openssl base64 > " + root.at("/tmp/plain.b64");
    if (system(cmd.c_str()) != 0)
        return "";
    std::string text, lines = root.read("/tmp/plain.b64");
    for (char c : lines)
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    unlink(root.at("/tmp/plain").c_str());
    unlink(root.at("/tmp/plain.b64").c_str());
    return text;
}

TEST_F(Upgrade, OemPackage)
{
    const std::string good = make_zip({{"logo.png", "PNGDATA", 0100644}, {"conf/", "", 040755},
                                       {"conf/oem.ini", "name=x\n", 0100644}});
    const std::string package = encrypt_package(root, good, kKey32);
    ASSERT_FALSE(package.empty());
    const std::string query = "aes=" + kKey32 + "&lang=en";

    // Refused before anything is unpacked: no key, a wrong key, a package
    // cut off within a block, an encrypted file that is not a zip.
    std::string cut = package.substr(0, package.size() / 2);
    cut.resize(cut.size() - cut.size() % 4);
    const std::pair<std::string, std::string> refused[] = {
        {package, "lang=en"},
        {package, "aes=" + kKey + "X&lang=en"},
        {cut, query},
        {encrypt_package(root, "plain text, not an archive", kKey32), query},
        {package, "aes=0123456789abcde"},
    };
    for (const auto& [data, q] : refused) {
        EXPECT_EQ(upload_oem(data, q).out, text_reply("ERROR")) << q;
        EXPECT_EQ(root.list("/mnt/nand2"), "") << q;
        EXPECT_FALSE(root.exists(OEM_PACKAGE_ZIP)) << q;
    }

    // Hostile archives: a ".." name, an absolute name, a symlink and an
    // entry through it. Nothing is written anywhere, no marker.
    const std::vector<ZipEntry> hostile[] = {
        {{"logo.png", "ok", 0100644}, {"../escaped", "x", 0100644}},
        {{"logo.png", "ok", 0100644}, {"/tmp/escaped", "x", 0100644}},
        {{"logo.png", "ok", 0100644}, {"up", "../../tmp", 0120777}, {"up/escaped", "x", 0100644}},
        {{"a\\..\\..\\escaped", "x", 0100644}},
    };
    for (const auto& entries : hostile) {
        EXPECT_EQ(upload_oem(encrypt_package(root, make_zip(entries), kKey32), query).out, text_reply("ERROR"))
            << entries.back().name;
        EXPECT_EQ(root.list("/mnt/nand2"), "") << entries.back().name;
        EXPECT_EQ(root.list("/mnt"), "nand nand2") << entries.back().name;
        EXPECT_FALSE(root.exists("/tmp/escaped"));
        EXPECT_FALSE(root.exists("/escaped"));
        EXPECT_FALSE(root.exists(OEM_PACKAGE_ZIP));
    }

    // The package itself: unpacked, the marker set, the zip gone.
    EXPECT_EQ(upload_oem(package, query).out, text_reply("OK"));
    EXPECT_EQ(root.read("/mnt/nand2/logo.png"), "PNGDATA");
    EXPECT_EQ(root.read("/mnt/nand2/conf/oem.ini"), "name=x\n");
    EXPECT_TRUE(root.exists(OEM_UPLOAD_MARKER));
    EXPECT_FALSE(root.exists(OEM_PACKAGE_ZIP));
    EXPECT_EQ(root.list("/tmp"), "");
}

// The local device: coresim offers V9.9.9, the download writes an image that
// the install takes, and the version changes.
TEST(UpgradeCoresim, OnlineUpgradeInstallsOffer)
{
    ScratchRoot root;
    CoresimProcess sim(root.path(), {{"CORESIM_RESTART_MS", "100"}});
    ASSERT_TRUE(sim.running());
    auto ask = [&](const std::string& path, const std::string& body) {
        CgiRequest r;
        r.method = body.empty() ? "GET" : "POST";
        r.path = path;
        r.body = body;
        r.content_type = body.empty() ? "" : "application/json";
        r.max_steps = 250;
        return reply_body(run_cgi(root.path(), r).out);
    };
    EXPECT_NE(canon(ask("/6087", "")).find(R"("softversion":"V9.9.9")"), std::string::npos);
    EXPECT_EQ(canon(ask("/6085", R"({"type":0,"url":"http://bad/"})")), R"({"res":-1})");
    EXPECT_FALSE(root.exists(MAINT_UPGRADE_IMAGE));
    EXPECT_EQ(canon(ask("/6085", R"({"type":0,"url":"http://upgrade.sim/nvr/V9.9.9.bin"})")), R"({"res":0})");
    EXPECT_EQ(canon(ask("/6088", "")), R"({"res":0})");
    EXPECT_FALSE(root.exists(MAINT_UPGRADE_IMAGE));
    root.use_in_process();
    char version[32];
    get_param_value(VXDB_MAIN, "software_version", version, sizeof version, "");
    vxdb_close_all();
    EXPECT_STREQ(version, "V9.9.9");

    // The camera image: downloaded, its upgrade started and followed, discarded.
    EXPECT_EQ(canon(ask("/6085", R"({"type":1,"url":"http://upgrade.sim/ipc/2/V2.0.0.bin"})")), R"({"res":0})");
    EXPECT_EQ(canon(ask("/6083", R"({"chnid":2,"reset":0})")), R"({"chnid":2,"status":0})");
    EXPECT_EQ(root.read(SIM_CAMERA_UPGRADE_STATE).substr(0, 2), "2 ");
    EXPECT_EQ(canon(ask("/6086", R"({"type":1})")), R"({"res":0})");
    EXPECT_FALSE(root.exists(UPGRADE_CAMERA_IMAGE));
}

}  // namespace
