// Access-unit splitting of the test clip. The clip has a delimiter before
// each frame, but the first-slice test below also splits streams without.
#include "coresim/clip.h"

#include <cstdio>

namespace {

const size_t MAX_CLIP = 64u * 1024 * 1024;  // a test clip, not a recording

// Position of the next 00 00 01 at or after `from`, or `size`.
size_t next_start_code(const uint8_t* d, size_t size, size_t from)
{
    for (size_t i = from; i + 3 <= size; i++)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1)
            return i;
    return size;
}

bool is_slice(int type) { return type >= 1 && type <= 5; }

// Types that may only open an access unit or sit before its first slice.
bool opens_unit(int type) { return type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18); }

}  // namespace

bool clip_split(const uint8_t* data, size_t size, std::vector<ClipFrame>* frames)
{
    frames->clear();
    if (!data)
        return false;
    size_t i = 0;
    while (i < size && data[i] == 0)
        i++;
    if (i < 2 || i >= size || data[i] != 1)
        return false;  // must open with a start code
    size_t sc = i - 2;

    bool open = false;      // a unit has begun
    bool has_slice = false;
    ClipFrame cur{0, 0, false};
    while (sc < size) {
        size_t nal = sc + 3;  // the NAL header byte
        if (nal >= size)
            break;            // a start code at the very end: trailing junk
        const uint8_t h = data[nal];
        if (h & 0x80)
            return false;  // forbidden_zero_bit
        const int type = h & 0x1F;
        // A slice whose first_mb_in_slice is 0 (ue(v) "1") starts a picture.
        const bool first_slice = is_slice(type) && nal + 1 < size && (data[nal + 1] & 0x80);
        // The 00 before a 00 00 01 is the zero_byte of this NAL.
        size_t begin = sc > 0 && data[sc - 1] == 0 ? sc - 1 : sc;
        if (open && (type == 9 || (has_slice && (opens_unit(type) || first_slice)))) {
            if (!has_slice)
                return false;
            cur.size = begin - cur.offset;
            frames->push_back(cur);
            open = false;
        }
        if (!open) {
            cur = ClipFrame{begin, 0, false};
            open = true;
            has_slice = false;
        }
        if (is_slice(type))
            has_slice = true;
        if (type == 5)
            cur.key = true;
        sc = next_start_code(data, size, nal + 1);
    }
    // A last unit without a slice is the cut-off head of a frame.
    if (open && has_slice) {
        cur.size = size - cur.offset;
        frames->push_back(cur);
    }
    return !frames->empty();
}

bool clip_load(const char* path, Clip* clip)
{
    clip->data.clear();
    clip->frames.clear();
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f)
        return false;
    uint8_t buf[16384];
    size_t n;
    bool ok = true;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        if (clip->data.size() + n > MAX_CLIP) {
            ok = false;
            break;
        }
        clip->data.insert(clip->data.end(), buf, buf + n);
    }
    if (ferror(f))
        ok = false;
    fclose(f);
    if (ok)
        ok = clip_split(clip->data.data(), clip->data.size(), &clip->frames);
    if (!ok) {
        clip->data.clear();
        clip->frames.clear();
    }
    return ok;
}
