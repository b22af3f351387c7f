// AVI writer (stand-in for the device's AVI library): packs the frames of a
// download into an AVI file on a stdio stream, which may be a pipe.
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/wire.h"

enum {
    FRAME_KIND_VIDEO = 1,
    FRAME_KIND_AUDIO = 2,
};

enum {
    FRAME_CODEC_H264 = 1,
    FRAME_CODEC_H265 = 2,
    FRAME_CODEC_G711A = 10,
    FRAME_CODEC_G711U = 11,
    FRAME_CODEC_PCM_S16LE = 12,
};

// The header needs to know whether there is audio. After the first video
// frame, up to AVI_HOLD_FRAMES video frames (AVI_HOLD_BYTES at most) are
// held back waiting for an audio frame; audio that first shows up later is
// dropped. Audio before the first video frame only names the format.
enum {
    AVI_HOLD_FRAMES = 8,
    AVI_HOLD_BYTES = 1024 * 1024,
};

WIRE_BEGIN
struct frame_desc {
    int32_t frame_kind;    // FRAME_KIND_*
    int32_t codec;         // FRAME_CODEC_*
    int32_t key_frame;     // 1 = key frame
    int32_t width;
    int32_t height;
    int32_t frame_rate;    // video frames per second
    int64_t timestamp_us;
    int32_t sample_rate;   // audio
    int32_t channels;      // audio
    int32_t size;          // bytes of frame data
    int32_t sequence;
    uint8_t reserved0[24];
    uint64_t data;         // address of the frame data; 64 bits so 32- and 64-bit hosts agree
    uint8_t reserved1[8];
};
WIRE_END
WIRE_SIZE(frame_desc, 88);
WIRE_OFFSET(frame_desc, frame_kind, 0);
WIRE_OFFSET(frame_desc, codec, 4);
WIRE_OFFSET(frame_desc, key_frame, 8);
WIRE_OFFSET(frame_desc, width, 12);
WIRE_OFFSET(frame_desc, height, 16);
WIRE_OFFSET(frame_desc, frame_rate, 20);
WIRE_OFFSET(frame_desc, timestamp_us, 24);
WIRE_OFFSET(frame_desc, sample_rate, 32);
WIRE_OFFSET(frame_desc, channels, 36);
WIRE_OFFSET(frame_desc, size, 40);
WIRE_OFFSET(frame_desc, sequence, 44);
WIRE_OFFSET(frame_desc, reserved0, 48);
WIRE_OFFSET(frame_desc, data, 72);
WIRE_OFFSET(frame_desc, reserved1, 80);

// Opens a writer on fp; stores the handle in *handle_slot when given.
// Returns the handle, or nullptr.
void* vx_avi_open_fp(FILE* fp, void** handle_slot);

// Called twice per frame: first with a frame_desc (length 88), then with the
// frame's data (length == desc.size). Returns 0 or -1. Once the file would
// pass the 4 GiB limit of AVI 1.0, or a write failed, every further call
// returns -1; close still completes what was written.
int vx_avi_write_fp_ex(void* handle, const void* data, int length);

// Writes the index, fixes the header sizes when the stream can seek,
// flushes and frees the writer. Does not close fp. Returns 0 or -1.
int vx_avi_close_fp(void* handle);
