// AVI writer of the download.
//
// Layout: RIFF 'AVI ' { LIST hdrl { avih, strl video, [strl audio] },
// LIST movi { 00dc / 01wb chunks }, idx1 }, plain AVI 1.0.
//
// The usual target is standard output, a pipe, and the header goes out
// before any count or size is known. So it carries streamed-AVI
// placeholders: RIFF and movi sizes 0xFFFFFFFF, total frames and stream
// lengths 0. A reader clamps 0xFFFFFFFF to the end of the data and walks
// movi chunk by chunk, skipping idx1 at the end; a size of 0 would read as
// an empty list to a strict one. The saved download is read the same way:
// frames and streams are right, only the duration stays open until played.
// When the stream is a regular file (not in append mode) close seeks back
// and writes the true sizes and counts, so the file is an ordinary indexed
// AVI with a duration.
//
// The header needs the video format and whether there is audio (see
// AVI_HOLD_* in the header). Audio that comes before the first video frame
// only tells the format: AVI has no timestamps, so keeping it would put the
// sound ahead of the picture.
//
// The index costs 4 bytes per chunk (size, key flag, stream): the chunks
// are contiguous, so the offsets follow from the sizes and the 16-byte idx1
// entries are made at close.
#define _FILE_OFFSET_BITS 64  // files up to 4 GiB on 32-bit hosts

#include "platform/avilib.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

constexpr uint32_t HOLD_FRAMES = AVI_HOLD_FRAMES;
constexpr uint32_t HOLD_BYTES = AVI_HOLD_BYTES;
constexpr int32_t DEFAULT_FPS = 25;
constexpr int32_t MAX_FPS = 1000;
constexpr uint32_t MAX_FRAME = (1u << 30) - 1;  // leaves two bits of an index entry free
constexpr uint32_t ENTRY_KEY = 1u << 31;
constexpr uint32_t ENTRY_AUDIO = 1u << 30;
constexpr uint32_t PLACEHOLDER_SIZE = 0xFFFFFFFFu;
constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t AVIF_ISINTERLEAVED = 0x100;
constexpr uint32_t AVIIF_KEYFRAME = 0x10;
constexpr uint64_t RIFF_LIMIT = 0xFFFFFFFFull;

struct HeldFrame {
    void* data;
    uint32_t size;
    bool key;
};

struct AviWriter {
    FILE* fp;
    bool failed;     // write error: nothing more can be trusted
    bool full;       // the next chunk would pass the 4 GiB limit
    bool have_desc;  // a descriptor waits for its data
    frame_desc desc;

    bool header_done;
    bool seekable;
    off_t base;      // stream position of 'RIFF'
    uint64_t end;    // bytes written from base on

    bool have_video;
    int32_t video_codec, width, height, fps;
    bool have_audio;
    int32_t audio_codec, sample_rate, channels;

    HeldFrame held[HOLD_FRAMES];
    uint32_t held_count;
    uint32_t held_bytes;

    // Header fields fixed at close (offsets from base).
    uint32_t movi_pos;  // the 'movi' fourcc; idx1 offsets count from here
    uint32_t at_avih_frames, at_avih_buffer;
    uint32_t at_video_length, at_video_buffer;
    uint32_t at_audio_length, at_audio_buffer;

    uint32_t* index;
    size_t count, capacity;
    uint32_t video_frames;
    uint64_t audio_bytes;
    uint32_t max_video, max_audio;
};

void put16(uint8_t*& p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p += 2;
}

void put32(uint8_t*& p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
    p += 4;
}

void put_fcc(uint8_t*& p, const char* fcc)
{
    memcpy(p, fcc, 4);
    p += 4;
}

uint32_t audio_block_align(const AviWriter* w)
{
    uint32_t bytes = w->audio_codec == FRAME_CODEC_PCM_S16LE ? 2 : 1;
    return bytes * (uint32_t)w->channels;
}

bool valid_desc(const frame_desc& d)
{
    if (d.size < 0 || (uint32_t)d.size > MAX_FRAME)
        return false;
    if (d.frame_kind == FRAME_KIND_VIDEO)
        return d.codec == FRAME_CODEC_H264 || d.codec == FRAME_CODEC_H265;
    if (d.frame_kind == FRAME_KIND_AUDIO)
        return d.codec == FRAME_CODEC_G711A || d.codec == FRAME_CODEC_G711U ||
               d.codec == FRAME_CODEC_PCM_S16LE;
    return false;
}

bool put(AviWriter* w, const void* data, size_t n)
{
    if (n && fwrite(data, 1, n, w->fp) != n) {
        w->failed = true;
        return false;
    }
    w->end += n;
    return true;
}

// Bytes of the finished file if one more chunk of `size` bytes is added.
uint64_t total_with(const AviWriter* w, uint32_t size)
{
    uint64_t chunk = 8 + (uint64_t)size + (size & 1);
    return w->end + chunk + 8 + 16 * (uint64_t)(w->count + 1);
}

bool write_header(AviWriter* w)
{
    uint8_t buf[512];
    uint8_t* p = buf;
    const bool video_h265 = w->video_codec == FRAME_CODEC_H265;
    const char* fourcc = video_h265 ? "HEVC" : "H264";
    const uint32_t streams = w->have_audio ? 2 : 1;
    const uint32_t video_strl = 4 + 8 + 56 + 8 + 40;
    const uint32_t audio_strl = 4 + 8 + 56 + 8 + 18;
    const uint32_t hdrl = 4 + 8 + 56 + 8 + video_strl + (w->have_audio ? 8 + audio_strl : 0);

    put_fcc(p, "RIFF");
    put32(p, PLACEHOLDER_SIZE);
    put_fcc(p, "AVI ");
    put_fcc(p, "LIST");
    put32(p, hdrl);
    put_fcc(p, "hdrl");

    put_fcc(p, "avih");
    put32(p, 56);
    put32(p, 1000000u / (uint32_t)w->fps);
    put32(p, 0);  // max bytes per second: unknown
    put32(p, 0);  // padding granularity
    put32(p, AVIF_HASINDEX | AVIF_ISINTERLEAVED);
    w->at_avih_frames = (uint32_t)(p - buf);
    put32(p, 0);  // total frames
    put32(p, 0);  // initial frames
    put32(p, streams);
    w->at_avih_buffer = (uint32_t)(p - buf);
    put32(p, 0);
    put32(p, (uint32_t)w->width);
    put32(p, (uint32_t)w->height);
    for (int i = 0; i < 4; i++)
        put32(p, 0);

    put_fcc(p, "LIST");
    put32(p, video_strl);
    put_fcc(p, "strl");
    put_fcc(p, "strh");
    put32(p, 56);
    put_fcc(p, "vids");
    put_fcc(p, fourcc);
    put32(p, 0);  // flags
    put16(p, 0);  // priority
    put16(p, 0);  // language
    put32(p, 0);  // initial frames
    put32(p, 1);  // scale
    put32(p, (uint32_t)w->fps);
    put32(p, 0);  // start
    w->at_video_length = (uint32_t)(p - buf);
    put32(p, 0);
    w->at_video_buffer = (uint32_t)(p - buf);
    put32(p, 0);
    put32(p, 0xFFFFFFFFu);  // quality: default
    put32(p, 0);            // sample size: frames vary
    put16(p, 0);
    put16(p, 0);
    put16(p, (uint32_t)w->width);
    put16(p, (uint32_t)w->height);
    put_fcc(p, "strf");
    put32(p, 40);
    put32(p, 40);
    put32(p, (uint32_t)w->width);
    put32(p, (uint32_t)w->height);
    put16(p, 1);   // planes
    put16(p, 24);  // bit count
    put_fcc(p, fourcc);
    put32(p, (uint32_t)w->width * (uint32_t)w->height * 3);
    for (int i = 0; i < 4; i++)
        put32(p, 0);

    if (w->have_audio) {
        const uint32_t align = audio_block_align(w);
        const uint32_t tag = w->audio_codec == FRAME_CODEC_G711A   ? 6
                             : w->audio_codec == FRAME_CODEC_G711U ? 7
                                                                   : 1;
        put_fcc(p, "LIST");
        put32(p, audio_strl);
        put_fcc(p, "strl");
        put_fcc(p, "strh");
        put32(p, 56);
        put_fcc(p, "auds");
        put32(p, 0);  // handler
        put32(p, 0);
        put16(p, 0);
        put16(p, 0);
        put32(p, 0);
        put32(p, align);
        put32(p, (uint32_t)w->sample_rate * align);
        put32(p, 0);
        w->at_audio_length = (uint32_t)(p - buf);
        put32(p, 0);
        w->at_audio_buffer = (uint32_t)(p - buf);
        put32(p, 0);
        put32(p, 0xFFFFFFFFu);
        put32(p, align);
        for (int i = 0; i < 4; i++)
            put16(p, 0);
        put_fcc(p, "strf");
        put32(p, 18);
        put16(p, tag);
        put16(p, (uint32_t)w->channels);
        put32(p, (uint32_t)w->sample_rate);
        put32(p, (uint32_t)w->sample_rate * align);
        put16(p, align);
        put16(p, w->audio_codec == FRAME_CODEC_PCM_S16LE ? 16 : 8);
        put16(p, 0);  // no extra format bytes
    }

    put_fcc(p, "LIST");
    put32(p, PLACEHOLDER_SIZE);
    w->movi_pos = (uint32_t)(p - buf);
    put_fcc(p, "movi");

    w->seekable = false;
    struct stat st;
    int fd = fileno(w->fp);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        int fl = fcntl(fd, F_GETFL);
        w->base = ftello(w->fp);
        w->seekable = fl != -1 && !(fl & O_APPEND) && w->base >= 0;
    }
    w->end = 0;
    w->header_done = true;
    return put(w, buf, (size_t)(p - buf));
}

bool grow_index(AviWriter* w)
{
    if (w->count < w->capacity)
        return true;
    size_t cap = w->capacity ? w->capacity * 2 : 1024;
    uint32_t* grown = (uint32_t*)realloc(w->index, cap * sizeof *grown);
    if (!grown)
        return false;
    w->index = grown;
    w->capacity = cap;
    return true;
}

// 0 written, -1 error (failed or full is set, or no memory).
int write_chunk(AviWriter* w, bool audio, bool key, const void* data, uint32_t size)
{
    if (total_with(w, size) - 8 > RIFF_LIMIT) {
        w->full = true;
        return -1;
    }
    if (!grow_index(w))
        return -1;
    uint8_t head[8];
    uint8_t* p = head;
    put_fcc(p, audio ? "01wb" : "00dc");
    put32(p, size);
    static const uint8_t pad = 0;
    if (!put(w, head, sizeof head) || !put(w, data, size) || ((size & 1) && !put(w, &pad, 1)))
        return -1;
    w->index[w->count++] = size | (key ? ENTRY_KEY : 0) | (audio ? ENTRY_AUDIO : 0);
    if (audio) {
        w->audio_bytes += size;
        if (size > w->max_audio)
            w->max_audio = size;
    } else {
        w->video_frames++;
        if (size > w->max_video)
            w->max_video = size;
    }
    return 0;
}

void free_held(AviWriter* w)
{
    for (uint32_t i = 0; i < w->held_count; i++)
        free(w->held[i].data);
    w->held_count = 0;
    w->held_bytes = 0;
}

// Writes the header and the held frames.
int start_file(AviWriter* w)
{
    int rc = write_header(w) ? 0 : -1;
    for (uint32_t i = 0; rc == 0 && i < w->held_count; i++)
        rc = write_chunk(w, false, w->held[i].key, w->held[i].data, w->held[i].size);
    free_held(w);
    return rc;
}

int take_video(AviWriter* w, const frame_desc& d, const void* data)
{
    if (!w->have_video) {
        w->have_video = true;
        w->video_codec = d.codec;
        w->width = d.width > 0 ? d.width : 0;
        w->height = d.height > 0 ? d.height : 0;
        w->fps = d.frame_rate > 0 && d.frame_rate <= MAX_FPS ? d.frame_rate : DEFAULT_FPS;
    } else if (d.codec != w->video_codec) {
        return -1;  // one video stream, one codec
    }
    const bool key = d.key_frame == 1;
    const uint32_t size = (uint32_t)d.size;
    if (!w->header_done) {
        bool fits = w->held_count < HOLD_FRAMES && w->held_bytes + size <= HOLD_BYTES;
        if (!w->have_audio && fits) {
            void* copy = malloc(size ? size : 1);
            if (!copy)
                return -1;
            if (size)
                memcpy(copy, data, size);
            w->held[w->held_count++] = HeldFrame{copy, size, key};
            w->held_bytes += size;
            return 0;
        }
        if (start_file(w) != 0)
            return -1;
    }
    return write_chunk(w, false, key, data, size);
}

int take_audio(AviWriter* w, const frame_desc& d, const void* data)
{
    const int32_t rate = d.sample_rate > 0 && d.sample_rate <= 192000 ? d.sample_rate : 8000;
    const int32_t channels = d.channels > 0 && d.channels <= 8 ? d.channels : 1;
    if (!w->have_audio) {
        if (w->header_done)
            return 0;  // no audio stream in this file
        w->have_audio = true;
        w->audio_codec = d.codec;
        w->sample_rate = rate;
        w->channels = channels;
    } else if (d.codec != w->audio_codec || rate != w->sample_rate || channels != w->channels) {
        return 0;  // the stream's format cannot change; drop the odd frame
    }
    if (!w->have_video)
        return 0;  // before the picture: see the top of the file
    if (!w->header_done && start_file(w) != 0)
        return -1;
    return write_chunk(w, true, true, data, (uint32_t)d.size);  // any audio chunk can start playback
}

bool patch32(AviWriter* w, uint64_t at, uint32_t v)
{
    uint8_t b[4];
    uint8_t* p = b;
    put32(p, v);
    return fseeko(w->fp, w->base + (off_t)at, SEEK_SET) == 0 && fwrite(b, 1, 4, w->fp) == 4;
}

bool finish_file(AviWriter* w)
{
    uint8_t buf[8 + 16 * 64];
    uint8_t* p = buf;
    put_fcc(p, "idx1");
    put32(p, (uint32_t)(16 * w->count));
    uint32_t offset = 4;  // first chunk, counted from the 'movi' fourcc
    for (size_t i = 0; i < w->count; i++) {
        uint32_t e = w->index[i];
        uint32_t size = e & MAX_FRAME;
        put_fcc(p, (e & ENTRY_AUDIO) ? "01wb" : "00dc");
        put32(p, (e & ENTRY_KEY) ? AVIIF_KEYFRAME : 0);
        put32(p, offset);
        put32(p, size);
        offset += 8 + size + (size & 1);
        if ((size_t)(buf + sizeof buf - p) < 16) {
            if (!put(w, buf, (size_t)(p - buf)))
                return false;
            p = buf;
        }
    }
    if (p != buf && !put(w, buf, (size_t)(p - buf)))
        return false;
    if (fflush(w->fp) != 0)
        return false;
    if (!w->seekable)
        return true;

    const uint64_t movi_end = w->end - 8 - 16 * (uint64_t)w->count;
    bool ok = patch32(w, 4, (uint32_t)(w->end - 8)) &&
              patch32(w, w->movi_pos - 4, (uint32_t)(movi_end - w->movi_pos)) &&
              patch32(w, w->at_avih_frames, w->video_frames) &&
              patch32(w, w->at_avih_buffer, w->max_video > w->max_audio ? w->max_video : w->max_audio) &&
              patch32(w, w->at_video_length, w->video_frames) &&
              patch32(w, w->at_video_buffer, w->max_video);
    if (ok && w->have_audio)
        ok = patch32(w, w->at_audio_length, (uint32_t)(w->audio_bytes / audio_block_align(w))) &&
             patch32(w, w->at_audio_buffer, w->max_audio);
    // Leave the stream at the end of the file for whoever writes next.
    ok = fseeko(w->fp, w->base + (off_t)w->end, SEEK_SET) == 0 && ok;
    return fflush(w->fp) == 0 && ok;
}

}  // namespace

void* vx_avi_open_fp(FILE* fp, void** handle_slot)
{
    if (handle_slot)
        *handle_slot = nullptr;
    if (!fp)
        return nullptr;
    AviWriter* w = (AviWriter*)calloc(1, sizeof *w);
    if (!w)
        return nullptr;
    w->fp = fp;
    if (handle_slot)
        *handle_slot = w;
    return w;
}

int vx_avi_write_fp_ex(void* handle, const void* data, int length)
{
    AviWriter* w = (AviWriter*)handle;
    if (!w || w->failed || w->full || length < 0 || (length > 0 && !data))
        return -1;
    if (!w->have_desc) {
        if (length != (int)sizeof(frame_desc))
            return -1;
        memcpy(&w->desc, data, sizeof w->desc);
        if (!valid_desc(w->desc))
            return -1;
        w->have_desc = true;
        return 0;
    }
    // A failed data call drops its descriptor so the caller can go on
    // with the next frame.
    w->have_desc = false;
    if (length != w->desc.size)
        return -1;
    if (w->desc.frame_kind == FRAME_KIND_VIDEO)
        return take_video(w, w->desc, data);
    return take_audio(w, w->desc, data);
}

int vx_avi_close_fp(void* handle)
{
    AviWriter* w = (AviWriter*)handle;
    if (!w)
        return -1;
    int rc = -1;
    if (!w->failed) {
        bool ok = true;
        if (!w->header_done && w->have_video)
            ok = start_file(w) == 0;
        // No video, no file: nothing was written. A lost held frame still
        // gets a valid file, but the caller hears of it.
        if (w->header_done && !w->failed && finish_file(w) && ok)
            rc = 0;
    }
    free_held(w);
    free(w->index);
    free(w);
    return rc;
}
