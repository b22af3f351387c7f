// The test clip: a raw H.264 stream (Annex B) cut into frames, which the
// simulated core service plays out and the tests feed to the AVI writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What scripts/make_clip.sh asked ffmpeg for; the stream itself is not parsed for it.
enum {
    CLIP_WIDTH = 320,
    CLIP_HEIGHT = 240,
    CLIP_FPS = 25,
    CLIP_GOP = 25,
};

// Relative to the source tree.
#define CLIP_PATH "coresim/data/clip.h264"

// One access unit: its bytes are data[offset, offset + size), start codes
// included. key: it holds an IDR slice.
struct ClipFrame {
    size_t offset;
    size_t size;
    bool key;
};

struct Clip {
    std::vector<uint8_t> data;
    std::vector<ClipFrame> frames;
};

// Splits an Annex-B buffer into access units. False when the buffer is not
// such a stream (no leading start code, a broken NAL header, a unit without
// a slice); a stream cut short loses its tail, not its bounds.
bool clip_split(const uint8_t* data, size_t size, std::vector<ClipFrame>* frames);

// Reads a file and splits it. False on a read error or a bad stream.
bool clip_load(const char* path, Clip* clip);
