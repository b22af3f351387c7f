// Simulated online upgrade: an upgrade server offering one recorder version
// and camera versions, downloads that write a valid image, the camera
// upgrade with its progress, and the PoE camera requests.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

#include "coresim/coresim.h"
#include "modules/system/system_maintenance.h"
#include "modules/system/upgrade_records.h"
#include "platform/devpath.h"
#include "platform/vxtask.h"
#include "platform/wire.h"

namespace {

const char* const kOfferedVersion = "V9.9.9";
const char* const kOfferedUrl = "http://upgrade.sim/nvr/V9.9.9.bin";
const char* const kBadUrl = "http://bad/";

std::mutex g_mu;                       // the camera progress file
std::atomic<int> g_camera_upgrades{0};  // a newer start or a stop ends older progress

online_upgrade_info offer(const char* version, const char* url, const char* description)
{
    online_upgrade_info info;
    memset(&info, 0, sizeof info);
    info.state = 1;  // newer software available
    info.file_size = 4096;
    wire_text(info.softversion, version);
    wire_text(info.url, url);
    wire_text(info.description, description);
    return info;
}

void on_check_nvr(const SimRequest&, SimReply& reply)
{
    const online_upgrade_info info = offer(kOfferedVersion, kOfferedUrl, "simulated recorder release");
    reply.send(&info, sizeof info);
}

// Every selected channel has a camera with newer software; the rest are
// records of zeros, as the core service sends them.
void on_check_cameras(const SimRequest& request, SimReply& reply)
{
    uint64_t mask = 0;
    if (!request.as(&mask))
        return;
    static_assert(sizeof(online_upgrade_info) * UPGRADE_CHANNELS == CAMERA_CHECK_ANSWER_SIZE, "answer size");
    std::string answer(CAMERA_CHECK_ANSWER_SIZE, '\0');
    for (int channel = 0; channel < UPGRADE_CHANNELS; channel++) {
        if (!(mask >> channel & 1))
            continue;
        char url[128];
        snprintf(url, sizeof url, "http://upgrade.sim/ipc/%d/V2.0.0.bin", channel);
        const online_upgrade_info info = offer("V2.0.0", url, "simulated camera release");
        memcpy(&answer[(size_t)channel * sizeof info], &info, sizeof info);
    }
    reply.send(answer.data(), answer.size());
}

// An image in the format the install checks (see upgrade_from_image).
bool write_image(const std::string& path, const char* version)
{
    std::string body(4096 - sizeof(firmware_image_head), '\0');
    for (size_t i = 0; i < body.size(); i++)
        body[i] = (char)(i * 7);
    firmware_image_head head;
    memset(&head, 0, sizeof head);
    memcpy(head.magic, FIRMWARE_IMAGE_MAGIC, sizeof FIRMWARE_IMAGE_MAGIC);
    wire_text(head.version, version);
    head.length = (uint32_t)body.size();
    head.crc32 = (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)body.data(), (uInt)body.size());
    unlink(path.c_str());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    const std::string image = std::string((const char*)&head, sizeof head) + body;
    const bool ok = write(fd, image.data(), image.size()) == (ssize_t)image.size();
    return close(fd) == 0 && ok;
}

// Only the two image paths are targets: a request naming any other file
// gets -1 and nothing is written.
void on_download(const SimRequest& request, SimReply& reply)
{
    online_download_request download;
    if (!request.as(&download))
        return;
    download.url[sizeof download.url - 1] = '\0';
    download.path[sizeof download.path - 1] = '\0';
    const bool camera = strcmp(download.path, UPGRADE_CAMERA_IMAGE) == 0;
    const bool target = camera || strcmp(download.path, MAINT_UPGRADE_IMAGE) == 0;
    int32_t result = -1;
    if (target && strcmp(download.url, kBadUrl) != 0)
        result = write_image(device_path(download.path), camera ? "V2.0.0" : kOfferedVersion) ? 0 : -1;
    sim_log("online download %s -> %s: %d", download.url, download.path, result);
    reply.send_word(result);
}

void on_discard_camera_image(const SimRequest&, SimReply& reply)
{
    unlink(device_path(UPGRADE_CAMERA_IMAGE).c_str());
    reply.send_word(0);
}

void write_progress(int channel, int percent)
{
    std::lock_guard<std::mutex> lock(g_mu);
    const std::string path = device_path(SIM_CAMERA_UPGRADE_STATE);
    const std::string next = path + ".new";
    FILE* f = fopen(next.c_str(), "w");
    if (!f)
        return;
    fprintf(f, "%d %d\n", channel, percent);
    if (fclose(f) == 0)
        rename(next.c_str(), path.c_str());
}

// The camera takes the image in steps; progress goes to the state file that
// the camera channels' progress answer (3386) reads.
void on_camera_upgrade(const SimRequest& request, SimReply& reply)
{
    camera_upgrade_request upgrade;
    if (!request.as(&upgrade))
        return;
    upgrade.path[sizeof upgrade.path - 1] = '\0';
    struct stat st;
    const bool image = strcmp(upgrade.path, UPGRADE_CAMERA_IMAGE) == 0 &&
                       stat(device_path(UPGRADE_CAMERA_IMAGE).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const camera_upgrade_answer answer = {upgrade.chnid, image ? 0 : -1};
    sim_log("camera upgrade channel %d (reset %d): %s", upgrade.chnid, upgrade.reset, image ? "started" : "no image");
    reply.send(&answer, sizeof answer);
    if (!image || upgrade.chnid < 0 || upgrade.chnid >= UPGRADE_CHANNELS)
        return;
    const int generation = ++g_camera_upgrades;
    const int channel = upgrade.chnid;
    write_progress(channel, 0);
    std::thread([generation, channel] {
        for (int percent = 20; percent <= 100; percent += 20) {
            vx_sleep_ms(200);
            if (g_camera_upgrades != generation)
                return;
            write_progress(channel, percent);
        }
    }).detach();
}

void on_camera_upgrade_stop(const SimRequest&, SimReply&)
{
    ++g_camera_upgrades;
    std::lock_guard<std::mutex> lock(g_mu);
    unlink(device_path(SIM_CAMERA_UPGRADE_STATE).c_str());
    sim_log("camera upgrade stopped");
}

void on_poe_password(const SimRequest&, SimReply& reply)
{
    reply.send_word(0);
}

void on_poe_notify(const SimRequest& request, SimReply&)
{
    sim_log("PoE camera notice %d", request.code);
}

const SimEntry kUpgrade[] = {
    {REQ_ONLINE_UPGRADE_CHECK, on_check_nvr, "offer recorder software V9.9.9"},
    {REQ_ONLINE_UPGRADE_DOWNLOAD, on_download, "write a valid image to the recorder or camera path"},
    {REQ_ONLINE_UPGRADE_DISCARD, on_discard_camera_image, "delete the camera image"},
    {REQ_CAMERA_ONLINE_CHECK, on_check_cameras, "camera software offers for a channel mask"},
    {REQ_CAMERA_UPGRADE_START, on_camera_upgrade, "upgrade a camera from the camera image"},
    {REQ_CAMERA_UPGRADE_STOP, on_camera_upgrade_stop, "stop the camera upgrade"},
    {REQ_POE_CAMERA_PASSWORD, on_poe_password, "set the PoE cameras' password"},
    {REQ_POE_CAMERA_NOTIFY, on_poe_notify, "a PoE camera changed"},
};

}  // namespace

const SimEntry* sim_upgrade_table(int* count)
{
    *count = (int)(sizeof kUpgrade / sizeof kUpgrade[0]);
    return kUpgrade;
}
