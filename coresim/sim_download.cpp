// Simulated download: request 1173 is answered with the test clip's frames,
// looped over the requested stretch at the clip's frame rate, each frame as
// chunks of at most 614400 bytes, then the end chunk.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "coresim/clip.h"
#include "coresim/coresim.h"
#include "modules/playback/remote_backup.h"

namespace {

// CORESIM_CLIP, else the clip in the source tree this file was built from,
// else one beside the build directory of the binary.
std::string clip_path()
{
    const char* env = getenv("CORESIM_CLIP");
    if (env && *env)
        return env;
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    if (slash != std::string::npos) {
        std::string path = here.substr(0, slash) + "/data/clip.h264";
        if (access(path.c_str(), R_OK) == 0)
            return path;
    }
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('/'));
        return dir + "/../" CLIP_PATH;
    }
    return CLIP_PATH;
}

// Loaded once; the path is read at the first download.
const Clip* clip()
{
    static std::mutex mu;
    static Clip loaded;
    static bool tried = false;
    static bool ok = false;
    std::lock_guard<std::mutex> g(mu);
    if (!tried) {
        tried = true;
        std::string path = clip_path();
        ok = clip_load(path.c_str(), &loaded);
        if (!ok)
            sim_log("cannot load the download clip %s", path.c_str());
    }
    return ok ? &loaded : nullptr;
}

long long days_from_civil(long long y, long long m, long long d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// "%d-%d-%d %d:%d:%d" as seconds; the zone does not matter for a length.
bool request_seconds(const char (&field)[32], long long* out)
{
    char text[33];
    memcpy(text, field, sizeof field);
    text[32] = '\0';
    int y, mo, d, h, mi, s;
    if (sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6)
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60)
        return false;
    *out = days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

long long env_bytes(const char* name)
{
    const char* text = getenv(name);
    if (!text || !*text)
        return LLONG_MAX;
    char* end = nullptr;
    long long v = strtoll(text, &end, 10);
    return end && *end == '\0' && v >= 0 ? v : LLONG_MAX;
}

bool send_mark(SimReply& reply, int length)
{
    download_chunk_head head;
    memset(&head, 0, sizeof head);
    head.length = length;
    return reply.send(&head, sizeof head);
}

// One frame as chunks: offsets 0, 614400, ...; written as they are made (no
// lock is held here); false when the client is gone or stalled.
bool sim_download_send_frame(SimReply& reply, const frame_desc& desc, const uint8_t* data,
                             std::vector<char>* buffer)
{
    const int size = desc.size;
    int offset = 0;
    do {
        int n = size - offset < DOWNLOAD_CHUNK_DATA ? size - offset : DOWNLOAD_CHUNK_DATA;
        buffer->resize(sizeof(download_chunk_head) + (size_t)n);
        download_chunk_head head;
        memset(&head, 0, sizeof head);
        head.desc = desc;
        head.offset = offset;
        head.length = n;
        memcpy(buffer->data(), &head, sizeof head);
        if (n > 0)
            memcpy(buffer->data() + sizeof head, data + offset, (size_t)n);
        if (!reply.stream(buffer->data(), buffer->size()))
            return false;
        offset += n;
    } while (offset < size);
    return true;
}

void on_download(const SimRequest& request, SimReply& reply)
{
    download_request req;
    long long start = 0, end = 0;
    if (!request.as(&req) || !request_seconds(req.start, &start) || !request_seconds(req.end, &end)) {
        sim_log("download: bad request (%d bytes)", request.length);
        send_mark(reply, DOWNLOAD_CHUNK_INTERRUPTED);
        return;
    }
    const Clip* c = clip();
    if (!c) {
        send_mark(reply, DOWNLOAD_CHUNK_INTERRUPTED);
        return;
    }
    const long long frames = end > start ? (end - start) * CLIP_FPS : 0;
    const long long max_bytes = env_bytes("CORESIM_DOWNLOAD_MAX_BYTES");
    sim_log("download: channel %d, %lld s, %lld frames", req.channel, end > start ? end - start : 0, frames);

    // The test clip's frames are tiny; CORESIM_FRAME_BYTES pads each with a
    // filler-data unit (which decoders skip) to the size of a real camera's.
    const long long pad_to = env_bytes("CORESIM_FRAME_BYTES") == LLONG_MAX ? 0 : env_bytes("CORESIM_FRAME_BYTES");
    std::vector<uint8_t> padded;
    std::vector<char> buffer;
    long long sent = 0;
    long long i = 0;
    for (; i < frames; i++) {
        const ClipFrame& clip_frame = c->frames[(size_t)(i % (long long)c->frames.size())];
        ClipFrame f = clip_frame;
        const uint8_t* data = c->data.data() + f.offset;
        if (pad_to > (long long)f.size + 6 && pad_to <= DOWNLOAD_MAX_FRAME) {
            padded.assign(data, data + f.size);
            static const uint8_t filler_start[] = {0, 0, 0, 1, 0x0C};
            padded.insert(padded.end(), filler_start, filler_start + sizeof filler_start);
            padded.resize((size_t)pad_to - 1, 0xFF);
            padded.push_back(0x80);  // the filler's trailing bits
            data = padded.data();
            f.size = padded.size();
        }
        if (sent + (long long)f.size > max_bytes)
            break;
        frame_desc desc;
        memset(&desc, 0, sizeof desc);
        desc.frame_kind = FRAME_KIND_VIDEO;
        desc.codec = FRAME_CODEC_H264;
        desc.key_frame = f.key ? 1 : 0;
        desc.width = CLIP_WIDTH;
        desc.height = CLIP_HEIGHT;
        desc.frame_rate = CLIP_FPS;
        desc.timestamp_us = start * 1000000 + i * 1000000 / CLIP_FPS;
        desc.size = (int32_t)f.size;
        desc.sequence = (int32_t)i;
        if (!sim_download_send_frame(reply, desc, data, &buffer)) {
            sim_log("download: client gone after %lld frames", i);
            return;
        }
        sent += (long long)f.size;
    }
    send_mark(reply, DOWNLOAD_CHUNK_END);
    sim_log("download: %lld frames, %lld bytes", i, sent);
}

// Clearing the download is sent without waiting; nothing to answer.
void on_clear(const SimRequest&, SimReply&) {}

const SimEntry kDownload[] = {
    {REQ_DOWNLOAD, on_download, "download: frame chunks of the test clip, then the end chunk"},
    {REQ_DOWNLOAD_CLEAR, on_clear, "download cleared"},
};

}  // namespace

const SimEntry* sim_download_table(int* count)
{
    *count = (int)(sizeof kDownload / sizeof kDownload[0]);
    return kDownload;
}
