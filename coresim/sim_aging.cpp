// Simulated aging-test requests: the camera of a channel connected and
// disconnected as its record says, and the SSH service switched as the port
// record says.
#include <cstring>
#include <mutex>

#include "coresim/coresim.h"
#include "modules/aging/aging_records.h"
#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

struct Links {
    std::mutex mu;
    bool connected[RECORD_CHANNELS] = {};
    bool ssh = false;
} g;

void on_camera_link(const SimRequest& request, SimReply&)
{
    const int channel = request.word();
    if (request.length < 4 || channel < 0 || channel >= RECORD_CHANNELS) {
        sim_log("camera link request %d for no channel", request.code);
        return;
    }
    db_camera camera;
    if (read_camera(VXDB_MAIN, &camera, channel) != 0)
        memset(&camera, 0, sizeof camera);
    const bool up = request.code == REQ_CAMERA_CONNECT && camera.enable == 1 && camera.address[0];
    {
        std::lock_guard<std::mutex> lock(g.mu);
        g.connected[channel] = up;
    }
    camera.address[sizeof camera.address - 1] = '\0';
    sim_log("camera %d %s (%s:%d)", channel, up ? "connected" : "disconnected", camera.address, camera.manage_port);
}

}  // namespace

// The settings notice ("more") is the network part's code: it hands the SSH
// switch over here.
void sim_aging_ssh_changed()
{
    int32_t enable = 0;
    if (read_port_ssh_enable(VXDB_MAIN, &enable) != 0)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    g.ssh = enable != 0;
    sim_log("SSH service %s", g.ssh ? "started" : "stopped");
}

namespace {

const SimEntry kAging[] = {
    {REQ_CAMERA_CONNECT, on_camera_link, "connect the camera of a channel"},
    {REQ_CAMERA_DISCONNECT, on_camera_link, "disconnect the camera of a channel"},
};

}  // namespace

const SimEntry* sim_aging_table(int* count)
{
    *count = (int)(sizeof kAging / sizeof kAging[0]);
    return kAging;
}
