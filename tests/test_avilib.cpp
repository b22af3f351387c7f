// The AVI writer of the download and the test clip reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <json-c/json.h>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "coresim/clip.h"
#include "platform/avilib.h"
#include "tests/support/scratch.h"

namespace {

const uint32_t UNKNOWN = 0xFFFFFFFFu;

const Clip& clip()
{
    static Clip c;
    static bool tried = false;
    if (!tried) {
        tried = true;
        clip_load((source_dir() + "/" CLIP_PATH).c_str(), &c);
    }
    return c;
}

bool have_ffprobe()
{
    static const bool have = system("ffprobe -version >/dev/null 2>&1") == 0;
    return have;
}

std::string read_file(const std::string& path)
{
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

std::string run_output(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

// A reader that stops writing early must fail the write, not kill the test.
struct IgnoreSigpipe {
    IgnoreSigpipe() { old = signal(SIGPIPE, SIG_IGN); }
    ~IgnoreSigpipe() { signal(SIGPIPE, old); }
    void (*old)(int);
};

// ---- feeding the writer --------------------------------------------------

enum class Audio { None, After, Before };  // one audio frame per video frame

struct Feed {
    Audio audio = Audio::None;
    int audio_codec = FRAME_CODEC_G711A;
    int audio_bytes = 320;  // 40 ms of 8 kHz G.711
    int frame_rate = CLIP_FPS;
};

frame_desc video_desc(const ClipFrame& f, int seq, int frame_rate)
{
    frame_desc d;
    memset(&d, 0, sizeof d);
    d.frame_kind = FRAME_KIND_VIDEO;
    d.codec = FRAME_CODEC_H264;
    d.key_frame = f.key ? 1 : 0;
    d.width = CLIP_WIDTH;
    d.height = CLIP_HEIGHT;
    d.frame_rate = frame_rate;
    d.timestamp_us = (int64_t)seq * 1000000 / CLIP_FPS;
    d.size = (int32_t)f.size;
    d.sequence = seq;
    return d;
}

frame_desc audio_desc(int codec, int bytes, int seq)
{
    frame_desc d;
    memset(&d, 0, sizeof d);
    d.frame_kind = FRAME_KIND_AUDIO;
    d.codec = codec;
    d.sample_rate = 8000;
    d.channels = 1;
    d.timestamp_us = (int64_t)seq * 40000;
    d.size = bytes;
    d.sequence = seq;
    return d;
}

int put_frame(void* h, const frame_desc& d, const void* data)
{
    if (vx_avi_write_fp_ex(h, &d, (int)sizeof d) != 0)
        return -1;
    return vx_avi_write_fp_ex(h, data, d.size);
}

// Writes the whole clip; every call must succeed.
::testing::AssertionResult feed_clip(FILE* fp, const Feed& feed)
{
    const Clip& c = clip();
    if (c.frames.empty())
        return ::testing::AssertionFailure() << "clip not loaded";
    void* slot = nullptr;
    void* h = vx_avi_open_fp(fp, &slot);
    if (!h || slot != h)
        return ::testing::AssertionFailure() << "open failed";
    std::vector<uint8_t> sound((size_t)feed.audio_bytes, 0xD5);
    for (size_t i = 0; i < c.frames.size(); i++) {
        frame_desc a = audio_desc(feed.audio_codec, feed.audio_bytes, (int)i);
        if (feed.audio == Audio::Before && put_frame(h, a, sound.data()) != 0)
            return ::testing::AssertionFailure() << "audio " << i;
        frame_desc v = video_desc(c.frames[i], (int)i, feed.frame_rate);
        if (put_frame(h, v, c.data.data() + c.frames[i].offset) != 0)
            return ::testing::AssertionFailure() << "video " << i;
        if (feed.audio == Audio::After && put_frame(h, a, sound.data()) != 0)
            return ::testing::AssertionFailure() << "audio " << i;
    }
    if (vx_avi_close_fp(h) != 0)
        return ::testing::AssertionFailure() << "close failed";
    return ::testing::AssertionSuccess();
}

// Audio before the first video frame is dropped by design.
size_t expected_audio(const Feed& feed)
{
    size_t n = clip().frames.size();
    return feed.audio == Audio::None ? 0 : feed.audio == Audio::Before ? n - 1 : n;
}

// Writes into a pipe (cat saves it, as a browser saves a download).
std::string write_through_pipe(const std::string& path, const Feed& feed)
{
    IgnoreSigpipe guard;
    FILE* p = popen(("cat > '" + path + "'").c_str(), "w");
    EXPECT_TRUE(p);
    if (!p)
        return "";
    EXPECT_TRUE(feed_clip(p, feed));
    EXPECT_EQ(pclose(p), 0);
    return read_file(path);
}

std::string write_to_file(const std::string& path, const Feed& feed, const char* mode = "wb",
                          const std::string& prefix = "")
{
    FILE* f = fopen(path.c_str(), mode);
    EXPECT_TRUE(f);
    if (!f)
        return "";
    fwrite(prefix.data(), 1, prefix.size(), f);
    EXPECT_TRUE(feed_clip(f, feed));
    EXPECT_EQ(fclose(f), 0);
    return read_file(path);
}

// ---- reading AVI back as a strict reader ---------------------------------

uint32_t le32(const std::string& b, size_t at)
{
    return (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8 |
           (uint32_t)(uint8_t)b[at + 2] << 16 | (uint32_t)(uint8_t)b[at + 3] << 24;
}

uint32_t le16(const std::string& b, size_t at)
{
    return (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8;
}

struct Avi {
    uint32_t riff_size = 0;
    uint32_t movi_size = 0;
    size_t movi_fourcc = 0;
    std::vector<uint32_t> avih;  // 14 words
    struct Stream {
        std::string strh, strf;
        uint32_t word(size_t i) const { return le32(strh, 4 * i); }
        std::string type() const { return strh.substr(0, 4); }
        std::string handler() const { return strh.substr(4, 4); }
    };
    std::vector<Stream> streams;
    struct Chunk {
        std::string id;
        uint32_t size;
        size_t at;
    };
    std::vector<Chunk> chunks;
    struct Entry {
        std::string id;
        uint32_t flags, offset, size;
    };
    std::vector<Entry> index;

    size_t count(const char* id) const
    {
        size_t n = 0;
        for (const Chunk& c : chunks)
            n += c.id == id;
        return n;
    }
};

// Walks the file from `start`; returns what broke, or "".
std::string parse_avi(const std::string& b, size_t start, Avi* avi)
{
    auto has = [&](size_t at, size_t n) { return at <= b.size() && n <= b.size() - at; };
    auto tag = [&](size_t at) { return b.substr(at, 4); };
    size_t p = start;
    if (!has(p, 12) || tag(p) != "RIFF" || tag(p + 8) != "AVI ")
        return "no RIFF AVI";
    avi->riff_size = le32(b, p + 4);
    p += 12;
    if (!has(p, 12) || tag(p) != "LIST" || tag(p + 8) != "hdrl")
        return "no hdrl";
    const size_t hdrl_end = p + 8 + le32(b, p + 4);
    if (!has(p, hdrl_end - p))
        return "hdrl past the end";
    for (size_t q = p + 12; q < hdrl_end;) {
        if (!has(q, 8))
            return "hdrl chunk head";
        const uint32_t size = le32(b, q + 4);
        if (q + 8 + size > hdrl_end)
            return "hdrl chunk past hdrl";
        if (tag(q) == "avih") {
            if (size != 56)
                return "avih size";
            for (size_t i = 0; i < 14; i++)
                avi->avih.push_back(le32(b, q + 8 + 4 * i));
        } else if (tag(q) == "LIST" && tag(q + 8) == "strl") {
            Avi::Stream s;
            for (size_t r = q + 12; r < q + 8 + size;) {
                const uint32_t n = le32(b, r + 4);
                if (r + 8 + n > q + 8 + size)
                    return "strl chunk past strl";
                if (tag(r) == "strh")
                    s.strh = b.substr(r + 8, n);
                else if (tag(r) == "strf")
                    s.strf = b.substr(r + 8, n);
                r += 8 + n + (n & 1);
            }
            if (s.strh.size() != 56 || s.strf.empty())
                return "strl without strh/strf";
            avi->streams.push_back(s);
        } else {
            return "unexpected " + tag(q) + " in hdrl";
        }
        q += 8 + size + (size & 1);
    }
    p = hdrl_end;
    if (!has(p, 12) || tag(p) != "LIST" || tag(p + 8) != "movi")
        return "no movi after hdrl";
    avi->movi_size = le32(b, p + 4);
    avi->movi_fourcc = p + 8;
    const size_t movi_end = avi->movi_size == UNKNOWN ? std::string::npos : avi->movi_fourcc + avi->movi_size;
    p += 12;
    while (p < movi_end) {
        if (!has(p, 8))
            return "movi runs out";
        if (tag(p) == "idx1" && movi_end == std::string::npos)
            break;
        if (tag(p) != "00dc" && tag(p) != "01wb")
            return "unexpected " + tag(p) + " in movi";
        const uint32_t size = le32(b, p + 4);
        const size_t next = p + 8 + size + (size & 1);
        if (next > b.size())
            return "chunk past the end";
        if ((size & 1) && b[p + 8 + size] != 0)
            return "pad byte not zero";
        avi->chunks.push_back({tag(p), size, p});
        p = next;
    }
    if (movi_end != std::string::npos && p != movi_end)
        return "movi size does not end at the last chunk";
    if (!has(p, 8) || tag(p) != "idx1")
        return "no idx1 after movi";
    const uint32_t isize = le32(b, p + 4);
    if (isize % 16 != 0 || p + 8 + isize != b.size())
        return "idx1 is not the last 16n bytes";
    for (size_t q = p + 8; q < b.size(); q += 16)
        avi->index.push_back({tag(q), le32(b, q + 4), le32(b, q + 8), le32(b, q + 12)});
    if (avi->riff_size != UNKNOWN && start + 8 + avi->riff_size != b.size())
        return "RIFF size does not end at the file end";
    return "";
}

// idx1 names every chunk, in order, with its offset from 'movi', its size
// and the key flag of the clip frame.
void expect_index_matches(const Avi& avi)
{
    ASSERT_EQ(avi.index.size(), avi.chunks.size());
    size_t video = 0;
    for (size_t i = 0; i < avi.chunks.size(); i++) {
        const Avi::Chunk& c = avi.chunks[i];
        const Avi::Entry& e = avi.index[i];
        EXPECT_EQ(e.id, c.id) << i;
        EXPECT_EQ(e.offset, c.at - avi.movi_fourcc) << i;
        EXPECT_EQ(e.size, c.size) << i;
        if (c.id == "00dc") {
            ASSERT_LT(video, clip().frames.size());
            EXPECT_EQ(e.flags, clip().frames[video].key ? 0x10u : 0u) << "video frame " << video;
            video++;
        } else {
            EXPECT_EQ(e.flags, 0x10u) << i;  // every audio chunk can start playback
        }
    }
}

// ---- ffprobe -------------------------------------------------------------

const char* const PROBE =
    "ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames,codec_type "
    "-show_entries format=duration -of json";

struct Probe {
    bool ok = false;
    std::vector<std::string> codec, type;
    std::vector<long> frames;
    bool has_duration = false;
    double duration = 0;
};

Probe parse_probe(const std::string& text)
{
    Probe r;
    json_object* root = json_tokener_parse(text.c_str());
    if (!root)
        return r;
    json_object *streams, *format, *v;
    if (json_object_object_get_ex(root, "streams", &streams) && json_object_is_type(streams, json_type_array)) {
        r.ok = true;
        for (size_t i = 0; i < json_object_array_length(streams); i++) {
            json_object* s = json_object_array_get_idx(streams, i);
            r.codec.push_back(json_object_object_get_ex(s, "codec_name", &v) ? json_object_get_string(v) : "");
            r.type.push_back(json_object_object_get_ex(s, "codec_type", &v) ? json_object_get_string(v) : "");
            r.frames.push_back(json_object_object_get_ex(s, "nb_read_frames", &v) ? atol(json_object_get_string(v)) : -1);
        }
    }
    if (json_object_object_get_ex(root, "format", &format) && json_object_object_get_ex(format, "duration", &v)) {
        const char* d = json_object_get_string(v);
        if (d && strcmp(d, "N/A") != 0) {
            r.has_duration = true;
            r.duration = atof(d);
        }
    }
    json_object_put(root);
    return r;
}

// The writer feeds ffprobe's standard input directly.
Probe probe_pipe(const std::string& dir, const Feed& feed)
{
    IgnoreSigpipe guard;
    const std::string out = dir + "/probe.json";
    FILE* p = popen((std::string(PROBE) + " - > '" + out + "'").c_str(), "w");
    EXPECT_TRUE(p);
    if (!p)
        return Probe();
    EXPECT_TRUE(feed_clip(p, feed));
    EXPECT_EQ(pclose(p), 0);
    return parse_probe(read_file(out));
}

Probe probe_file(const std::string& path)
{
    return parse_probe(run_output(std::string(PROBE) + " '" + path + "' 2>&1"));
}

void expect_probe(const Probe& r, const Feed& feed, bool need_duration)
{
    ASSERT_TRUE(r.ok);
    const size_t streams = feed.audio == Audio::None ? 1 : 2;
    ASSERT_EQ(r.codec.size(), streams);
    EXPECT_EQ(r.type[0], "video");
    EXPECT_EQ(r.codec[0], "h264");
    EXPECT_EQ(r.frames[0], (long)clip().frames.size());
    if (streams == 2) {
        EXPECT_EQ(r.type[1], "audio");
        EXPECT_EQ(r.codec[1], "pcm_alaw");
        EXPECT_EQ(r.frames[1], (long)expected_audio(feed));
    }
    const double seconds = (double)clip().frames.size() / CLIP_FPS;
    if (need_duration) {
        EXPECT_TRUE(r.has_duration);
    }
    // A streamed file may leave the duration open, but must never claim a wrong one.
    if (r.has_duration) {
        EXPECT_NEAR(r.duration, seconds, 0.1);
    }
}

// ---- tests ---------------------------------------------------------------

enum class Sink { Pipe, File };

struct LayoutCase {
    const char* name;
    Sink sink;
    Audio audio;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class AviLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AviLayout, ReadsBackAsWritten)
{
    const LayoutCase& lc = GetParam();
    ASSERT_FALSE(clip().frames.empty());
    ScratchRoot dir;
    Feed feed;
    feed.audio = lc.audio;
    const std::string path = dir.path() + "/out.avi";
    const std::string bytes = lc.sink == Sink::Pipe ? write_through_pipe(path, feed) : write_to_file(path, feed);
    Avi avi;
    ASSERT_EQ(parse_avi(bytes, 0, &avi), "");

    const size_t n = clip().frames.size();
    const size_t audio = expected_audio(feed);
    const bool has_audio = lc.audio != Audio::None;
    ASSERT_EQ(avi.avih.size(), 14u);
    EXPECT_EQ(avi.avih[0], 1000000u / CLIP_FPS);
    EXPECT_EQ(avi.avih[6], has_audio ? 2u : 1u);
    EXPECT_EQ(avi.avih[8], (uint32_t)CLIP_WIDTH);
    EXPECT_EQ(avi.avih[9], (uint32_t)CLIP_HEIGHT);
    ASSERT_EQ(avi.streams.size(), has_audio ? 2u : 1u);
    EXPECT_EQ(avi.streams[0].type(), "vids");
    EXPECT_EQ(avi.streams[0].handler(), "H264");
    EXPECT_EQ(avi.streams[0].word(5), 1u);                // scale
    EXPECT_EQ(avi.streams[0].word(6), (uint32_t)CLIP_FPS);  // rate
    EXPECT_EQ(avi.streams[0].strf.substr(16, 4), "H264");
    if (has_audio) {
        EXPECT_EQ(avi.streams[1].type(), "auds");
        ASSERT_EQ(avi.streams[1].strf.size(), 18u);
        EXPECT_EQ(le16(avi.streams[1].strf, 0), 6u);  // A-law
    }
    EXPECT_EQ(avi.count("00dc"), n);
    EXPECT_EQ(avi.count("01wb"), audio);
    expect_index_matches(avi);

    uint32_t max_video = 0;
    for (const ClipFrame& f : clip().frames)
        max_video = std::max(max_video, (uint32_t)f.size);
    if (lc.sink == Sink::File) {
        EXPECT_EQ(avi.riff_size, bytes.size() - 8);
        EXPECT_EQ(avi.avih[4], n);  // total frames
        EXPECT_EQ(avi.streams[0].word(8), n);  // length
        EXPECT_EQ(avi.streams[0].word(9), max_video);
        if (has_audio) {
            EXPECT_EQ(avi.streams[1].word(8), audio * 320);  // samples
        }
    } else {
        EXPECT_EQ(avi.riff_size, UNKNOWN);
        EXPECT_EQ(avi.movi_size, UNKNOWN);
        EXPECT_EQ(avi.avih[4], 0u);
        EXPECT_EQ(avi.streams[0].word(8), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Avi, AviLayout,
    ::testing::Values(LayoutCase{"pipe_video", Sink::Pipe, Audio::None},
                      LayoutCase{"pipe_audio_after", Sink::Pipe, Audio::After},
                      LayoutCase{"pipe_audio_before", Sink::Pipe, Audio::Before},
                      LayoutCase{"file_video", Sink::File, Audio::None},
                      LayoutCase{"file_audio_after", Sink::File, Audio::After},
                      LayoutCase{"file_audio_before", Sink::File, Audio::Before}),
    [](const ::testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

enum class ProbeSink { LivePipe, SavedPipe, File };

struct ProbeCase {
    const char* name;
    ProbeSink sink;
    Audio audio;
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class AviProbe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(AviProbe, FfprobeCountsEveryFrame)
{
    if (!have_ffprobe())
        GTEST_SKIP() << "ffprobe not installed";
    const ProbeCase& pc = GetParam();
    ASSERT_FALSE(clip().frames.empty());
    ScratchRoot dir;
    Feed feed;
    feed.audio = pc.audio;
    const std::string path = dir.path() + "/out.avi";
    switch (pc.sink) {
    case ProbeSink::LivePipe:
        expect_probe(probe_pipe(dir.path(), feed), feed, false);
        break;
    case ProbeSink::SavedPipe:
        write_through_pipe(path, feed);
        expect_probe(probe_file(path), feed, false);
        break;
    case ProbeSink::File:
        write_to_file(path, feed);
        expect_probe(probe_file(path), feed, true);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Avi, AviProbe,
    ::testing::Values(ProbeCase{"live_pipe_video", ProbeSink::LivePipe, Audio::None},
                      ProbeCase{"live_pipe_audio", ProbeSink::LivePipe, Audio::After},
                      ProbeCase{"saved_pipe_video", ProbeSink::SavedPipe, Audio::None},
                      ProbeCase{"saved_pipe_audio", ProbeSink::SavedPipe, Audio::Before},
                      ProbeCase{"file_video", ProbeSink::File, Audio::None},
                      ProbeCase{"file_audio", ProbeSink::File, Audio::After}),
    [](const ::testing::TestParamInfo<ProbeCase>& i) { return std::string(i.param.name); });

// Pins the layout: a change here changes what every player sees.
TEST(AviBytes, HeaderAndFirstChunks)
{
    ASSERT_FALSE(clip().frames.empty());
    ScratchRoot dir;
    Feed feed;
    feed.audio = Audio::After;
    const std::string b = write_through_pipe(dir.path() + "/out.avi", feed);
    const unsigned char head[] = {
        'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'A', 'V', 'I', ' ',
        'L', 'I', 'S', 'T', 0x26, 0x01, 0x00, 0x00, 'h', 'd', 'r', 'l',  // 294
        'a', 'v', 'i', 'h', 0x38, 0x00, 0x00, 0x00,                      // 56
        0x40, 0x9C, 0x00, 0x00,                                          // 40000 us per frame
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x10, 0x01, 0x00, 0x00,                                          // has index, interleaved
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x02, 0x00, 0x00, 0x00,                                          // streams
    };
    ASSERT_GE(b.size(), sizeof head);
    EXPECT_EQ(b.substr(0, sizeof head), std::string((const char*)head, sizeof head));

    const size_t movi = 12 + 8 + 294;
    const uint32_t first = (uint32_t)clip().frames[0].size;
    const unsigned char movi_head[] = {
        'L', 'I', 'S', 'T', 0xFF, 0xFF, 0xFF, 0xFF, 'm', 'o', 'v', 'i',
        '0', '0', 'd', 'c', (unsigned char)first, (unsigned char)(first >> 8), (unsigned char)(first >> 16), 0,
    };
    ASSERT_GE(b.size(), movi + sizeof movi_head + first + 8);
    EXPECT_EQ(b.substr(movi, sizeof movi_head), std::string((const char*)movi_head, sizeof movi_head));
    EXPECT_EQ(b.substr(movi + sizeof movi_head, first),
              std::string((const char*)clip().data.data(), first));
    const size_t audio = movi + sizeof movi_head + first + (first & 1);
    const unsigned char audio_head[] = {'0', '1', 'w', 'b', 0x40, 0x01, 0x00, 0x00};  // 320
    EXPECT_EQ(b.substr(audio, sizeof audio_head), std::string((const char*)audio_head, sizeof audio_head));
}

// Chunks of odd size get one zero byte so the next starts on an even offset.
TEST(AviBytes, OddChunksArePadded)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    ASSERT_TRUE(h);
    const char data[] = "abc";
    ClipFrame f{0, 1, true};
    for (int size = 1; size <= 3; size++) {
        f.size = (size_t)size;
        ASSERT_EQ(put_frame(h, video_desc(f, size, 25), data), 0);
    }
    ASSERT_EQ(vx_avi_close_fp(h), 0);
    fclose(mem);
    std::string b(buf, len);
    free(buf);
    const size_t movi = 12 + 8 + 192 + 12;
    ASSERT_GE(b.size(), movi + 32);
    EXPECT_EQ(b.substr(movi, 32), std::string("00dc\1\0\0\0a\0"
                                              "00dc\2\0\0\0ab"
                                              "00dc\3\0\0\0abc\0",
                                              32));
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    ASSERT_EQ(avi.index.size(), 3u);
    EXPECT_EQ(avi.index[1].offset, 4u + 10u);
    EXPECT_EQ(avi.index[2].offset, 4u + 10u + 10u);
}

// A regular file with bytes before the AVI: the sizes are fixed relative to
// where the AVI starts. An append-mode file cannot be fixed and stays streamed.
TEST(AviLayoutSeek, PrefixAndAppend)
{
    ASSERT_FALSE(clip().frames.empty());
    ScratchRoot dir;
    Feed feed;
    feed.audio = Audio::After;
    const std::string prefix = "prefix\n";

    std::string b = write_to_file(dir.path() + "/a.avi", feed, "wb", prefix);
    ASSERT_EQ(b.substr(0, prefix.size()), prefix);
    Avi avi;
    ASSERT_EQ(parse_avi(b, prefix.size(), &avi), "");
    EXPECT_EQ(avi.riff_size, b.size() - prefix.size() - 8);
    EXPECT_EQ(avi.avih[4], clip().frames.size());

    b = write_to_file(dir.path() + "/b.avi", feed, "ab", prefix);
    Avi streamed;
    ASSERT_EQ(parse_avi(b, prefix.size(), &streamed), "");
    EXPECT_EQ(streamed.riff_size, UNKNOWN);
    EXPECT_EQ(streamed.avih[4], 0u);
    EXPECT_EQ(streamed.chunks.size(), avi.chunks.size());
}

TEST(AviFormat, FrameRateFromFirstVideoFrame)
{
    ASSERT_FALSE(clip().frames.empty());
    ScratchRoot dir;
    const struct {
        int given;
        uint32_t rate;
    } cases[] = {{0, 25}, {30, 30}, {-5, 25}, {15, 15}};
    for (const auto& c : cases) {
        Feed feed;
        feed.frame_rate = c.given;
        const std::string b = write_to_file(dir.path() + "/r.avi", feed);
        Avi avi;
        ASSERT_EQ(parse_avi(b, 0, &avi), "") << c.given;
        EXPECT_EQ(avi.streams[0].word(6), c.rate) << c.given;
        EXPECT_EQ(avi.avih[0], 1000000u / c.rate) << c.given;
    }
}

struct AudioCase {
    const char* name;
    int codec;
    int bytes;
    uint32_t format_tag, block_align, bits;
    const char* ffprobe_name;
};

void PrintTo(const AudioCase& c, std::ostream* os) { *os << c.name; }

class AviAudio : public ::testing::TestWithParam<AudioCase> {};

TEST_P(AviAudio, FormatOfEachCodec)
{
    const AudioCase& ac = GetParam();
    ASSERT_FALSE(clip().frames.empty());
    ScratchRoot dir;
    Feed feed;
    feed.audio = Audio::After;
    feed.audio_codec = ac.codec;
    feed.audio_bytes = ac.bytes;
    const std::string path = dir.path() + "/a.avi";
    const std::string b = write_to_file(path, feed);
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    ASSERT_EQ(avi.streams.size(), 2u);
    const std::string& wf = avi.streams[1].strf;
    ASSERT_EQ(wf.size(), 18u);
    EXPECT_EQ(le16(wf, 0), ac.format_tag);
    EXPECT_EQ(le16(wf, 2), 1u);                       // channels
    EXPECT_EQ(le32(wf, 4), 8000u);                    // samples per second
    EXPECT_EQ(le32(wf, 8), 8000u * ac.block_align);   // bytes per second
    EXPECT_EQ(le16(wf, 12), ac.block_align);
    EXPECT_EQ(le16(wf, 14), ac.bits);
    EXPECT_EQ(avi.streams[1].word(5), ac.block_align);  // scale
    EXPECT_EQ(avi.streams[1].word(6), 8000u * ac.block_align);
    EXPECT_EQ(avi.streams[1].word(8), clip().frames.size() * ac.bytes / ac.block_align);
    EXPECT_EQ(avi.streams[1].word(11), ac.block_align);  // sample size

    if (!have_ffprobe())
        return;
    Probe r = probe_file(path);
    ASSERT_EQ(r.codec.size(), 2u);
    EXPECT_EQ(r.codec[1], ac.ffprobe_name);
    EXPECT_EQ(r.frames[1], (long)clip().frames.size());
}

INSTANTIATE_TEST_SUITE_P(
    Avi, AviAudio,
    ::testing::Values(AudioCase{"alaw", FRAME_CODEC_G711A, 320, 6, 1, 8, "pcm_alaw"},
                      AudioCase{"mulaw", FRAME_CODEC_G711U, 320, 7, 1, 8, "pcm_mulaw"},
                      AudioCase{"pcm", FRAME_CODEC_PCM_S16LE, 640, 1, 2, 16, "pcm_s16le"}),
    [](const ::testing::TestParamInfo<AudioCase>& i) { return std::string(i.param.name); });

TEST(AviFormat, H265NamesHevc)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    frame_desc d = video_desc(ClipFrame{0, 4, true}, 0, 25);
    d.codec = FRAME_CODEC_H265;
    ASSERT_EQ(put_frame(h, d, "abcd"), 0);
    ASSERT_EQ(vx_avi_close_fp(h), 0);
    fclose(mem);
    std::string b(buf, len);
    free(buf);
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    ASSERT_EQ(avi.streams.size(), 1u);
    EXPECT_EQ(avi.streams[0].handler(), "HEVC");
    EXPECT_EQ(avi.streams[0].strf.substr(16, 4), "HEVC");
}

// One audio stream of one format: odd frames are dropped, not mixed in.
TEST(AviFormat, AudioFormatChangeIsDropped)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    const frame_desc v = video_desc(ClipFrame{0, 4, true}, 0, 25);
    const frame_desc alaw = audio_desc(FRAME_CODEC_G711A, 4, 0);
    frame_desc mulaw = audio_desc(FRAME_CODEC_G711U, 4, 1);
    frame_desc faster = alaw;
    faster.sample_rate = 16000;
    frame_desc stereo = alaw;
    stereo.channels = 2;
    ASSERT_EQ(put_frame(h, v, "vvvv"), 0);
    ASSERT_EQ(put_frame(h, alaw, "aaaa"), 0);
    EXPECT_EQ(put_frame(h, mulaw, "uuuu"), 0);
    EXPECT_EQ(put_frame(h, faster, "ffff"), 0);
    EXPECT_EQ(put_frame(h, stereo, "ssss"), 0);
    ASSERT_EQ(put_frame(h, v, "vvvv"), 0);
    ASSERT_EQ(vx_avi_close_fp(h), 0);
    fclose(mem);
    std::string b(buf, len);
    free(buf);
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    ASSERT_EQ(avi.chunks.size(), 3u);
    EXPECT_EQ(avi.chunks[1].id, "01wb");
    EXPECT_EQ(b.substr(avi.chunks[1].at + 8, 4), "aaaa");
    EXPECT_EQ(avi.chunks[2].id, "00dc");
}

// How long the writer waits to learn whether there is audio.
struct HoldCase {
    const char* name;
    size_t video_before_audio;  // video frames written before the first audio frame
    size_t first_frame_size;    // 0: the clip's own
    size_t streams;
};

void PrintTo(const HoldCase& c, std::ostream* os) { *os << c.name; }

class AviHold : public ::testing::TestWithParam<HoldCase> {};

TEST_P(AviHold, AudioStreamOnlyWhenSeenInTime)
{
    const HoldCase& hc = GetParam();
    ASSERT_FALSE(clip().frames.empty());
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    ASSERT_TRUE(h);
    const Clip& c = clip();
    const std::vector<uint8_t> big(hc.first_frame_size, 0x42);
    const std::vector<uint8_t> sound(320, 0xD5);
    size_t audio_sent = 0;
    for (size_t i = 0; i < c.frames.size(); i++) {
        frame_desc v = video_desc(c.frames[i], (int)i, 25);
        const void* data = c.data.data() + c.frames[i].offset;
        if (i == 0 && !big.empty()) {
            v.size = (int32_t)big.size();
            data = big.data();
        }
        ASSERT_EQ(put_frame(h, v, data), 0) << i;
        if (i + 1 >= hc.video_before_audio) {
            ASSERT_EQ(put_frame(h, audio_desc(FRAME_CODEC_G711A, 320, (int)i), sound.data()), 0) << i;
            audio_sent++;
        }
    }
    ASSERT_EQ(vx_avi_close_fp(h), 0);
    fclose(mem);
    std::string b(buf, len);
    free(buf);
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    ASSERT_EQ(avi.streams.size(), hc.streams);
    EXPECT_EQ(avi.count("00dc"), c.frames.size());
    EXPECT_EQ(avi.count("01wb"), hc.streams == 2 ? audio_sent : 0u);
    // The held frames come out first and in order.
    const size_t first = hc.first_frame_size ? hc.first_frame_size : c.frames[0].size;
    ASSERT_FALSE(avi.chunks.empty());
    EXPECT_EQ(avi.chunks[0].id, "00dc");
    EXPECT_EQ(avi.chunks[0].size, first);
    for (size_t i = 1; i < std::min<size_t>(hc.video_before_audio, c.frames.size()); i++)
        EXPECT_EQ(avi.chunks[i].size, c.frames[i].size) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Avi, AviHold,
    ::testing::Values(HoldCase{"right_after", 1, 0, 2},
                      HoldCase{"within_hold", AVI_HOLD_FRAMES, 0, 2},
                      HoldCase{"past_hold", AVI_HOLD_FRAMES + 1, 0, 1},
                      HoldCase{"never", 100000, 0, 1},
                      HoldCase{"big_first_frame", 1, AVI_HOLD_BYTES + 1, 1}),
    [](const ::testing::TestParamInfo<HoldCase>& i) { return std::string(i.param.name); });

// Fewer frames than the hold: close writes them.
TEST(AviHeld, CloseWritesHeldFrames)
{
    ASSERT_GE(clip().frames.size(), 3u);
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    for (int i = 0; i < 3; i++) {
        const ClipFrame& f = clip().frames[(size_t)i];
        ASSERT_EQ(put_frame(h, video_desc(f, i, 25), clip().data.data() + f.offset), 0);
    }
    fflush(mem);
    EXPECT_EQ(len, 0u);  // nothing before the header is settled
    ASSERT_EQ(vx_avi_close_fp(h), 0);
    fclose(mem);
    std::string b(buf, len);
    free(buf);
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    EXPECT_EQ(avi.count("00dc"), 3u);
    EXPECT_EQ(avi.streams.size(), 1u);
}

struct MisuseCase {
    const char* name;
    std::function<int(void* h)> call;  // returns the result of the faulty call
    size_t written = 0;                // good frames it put before the fault
};

void PrintTo(const MisuseCase& c, std::ostream* os) { *os << c.name; }

class AviMisuse : public ::testing::TestWithParam<MisuseCase> {};

TEST_P(AviMisuse, ReturnsError)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    ASSERT_TRUE(h);
    EXPECT_EQ(GetParam().call(h), -1);
    // The writer is still usable: a good frame goes through afterwards.
    const char data[] = "abcd";
    EXPECT_EQ(put_frame(h, video_desc(ClipFrame{0, 4, true}, 1, 25), data), 0);
    EXPECT_EQ(vx_avi_close_fp(h), 0);
    fclose(mem);
    std::string b(buf, len);
    free(buf);
    Avi avi;
    ASSERT_EQ(parse_avi(b, 0, &avi), "");
    EXPECT_EQ(avi.count("00dc"), GetParam().written + 1);
}

frame_desc good_video(int size) { return video_desc(ClipFrame{0, (size_t)size, true}, 0, 25); }

INSTANTIATE_TEST_SUITE_P(
    Avi, AviMisuse,
    ::testing::Values(
        MisuseCase{"data_without_descriptor",
                   [](void* h) {
                       const char data[200] = {};
                       return vx_avi_write_fp_ex(h, data, 200);
                   }},
        MisuseCase{"descriptor_too_short",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       return vx_avi_write_fp_ex(h, &d, 87);
                   }},
        MisuseCase{"descriptor_too_long",
                   [](void* h) {
                       char d[89] = {};
                       return vx_avi_write_fp_ex(h, d, 89);
                   }},
        MisuseCase{"null_data",
                   [](void* h) { return vx_avi_write_fp_ex(h, nullptr, 88); }},
        MisuseCase{"negative_length",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       return vx_avi_write_fp_ex(h, &d, -1);
                   }},
        MisuseCase{"data_shorter_than_descriptor",
                   [](void* h) {
                       frame_desc d = good_video(10);
                       if (vx_avi_write_fp_ex(h, &d, 88) != 0)
                           return 0;
                       return vx_avi_write_fp_ex(h, "123456789", 9);
                   }},
        MisuseCase{"data_longer_than_descriptor",
                   [](void* h) {
                       frame_desc d = good_video(2);
                       if (vx_avi_write_fp_ex(h, &d, 88) != 0)
                           return 0;
                       return vx_avi_write_fp_ex(h, "123", 3);
                   }},
        MisuseCase{"two_descriptors",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       if (vx_avi_write_fp_ex(h, &d, 88) != 0)
                           return 0;
                       return vx_avi_write_fp_ex(h, &d, 88);
                   }},
        MisuseCase{"unknown_kind",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       d.frame_kind = 3;
                       return vx_avi_write_fp_ex(h, &d, 88);
                   }},
        MisuseCase{"audio_codec_on_video",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       d.codec = FRAME_CODEC_G711A;
                       return vx_avi_write_fp_ex(h, &d, 88);
                   }},
        MisuseCase{"video_codec_on_audio",
                   [](void* h) {
                       frame_desc d = audio_desc(FRAME_CODEC_H264, 4, 0);
                       return vx_avi_write_fp_ex(h, &d, 88);
                   }},
        MisuseCase{"negative_size",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       d.size = -4;
                       return vx_avi_write_fp_ex(h, &d, 88);
                   }},
        MisuseCase{"null_handle",
                   [](void*) {
                       frame_desc d = good_video(4);
                       return vx_avi_write_fp_ex(nullptr, &d, 88);
                   }},
        MisuseCase{"codec_change",
                   [](void* h) {
                       frame_desc d = good_video(4);
                       if (put_frame(h, d, "abcd") != 0)
                           return 0;
                       d.codec = FRAME_CODEC_H265;
                       return put_frame(h, d, "abcd");
                   },
                   1}),
    [](const ::testing::TestParamInfo<MisuseCase>& i) { return std::string(i.param.name); });

TEST(AviApi, OpenAndClose)
{
    void* slot = &slot;
    EXPECT_EQ(vx_avi_open_fp(nullptr, &slot), nullptr);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(vx_avi_close_fp(nullptr), -1);

    // No video frame: there is no file to complete, and nothing is written.
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ASSERT_TRUE(mem);
    void* h = vx_avi_open_fp(mem, nullptr);
    ASSERT_TRUE(h);
    frame_desc a = audio_desc(FRAME_CODEC_G711A, 4, 0);
    EXPECT_EQ(put_frame(h, a, "abcd"), 0);
    EXPECT_EQ(vx_avi_close_fp(h), -1);
    fclose(mem);
    EXPECT_EQ(len, 0u);
    free(buf);
}

// A reader that goes away fails the writes instead of losing them quietly.
TEST(AviApi, ClosedPipeFailsWrites)
{
    IgnoreSigpipe guard;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    FILE* fp = fdopen(fds[1], "wb");
    ASSERT_TRUE(fp);
    setvbuf(fp, nullptr, _IONBF, 0);
    void* h = vx_avi_open_fp(fp, nullptr);
    ASSERT_TRUE(h);
    const std::vector<uint8_t> sound(320, 0xD5);
    frame_desc v = good_video(4);
    EXPECT_EQ(put_frame(h, v, "abcd"), 0);  // held
    EXPECT_EQ(put_frame(h, audio_desc(FRAME_CODEC_G711A, 320, 0), sound.data()), -1);
    EXPECT_EQ(put_frame(h, v, "abcd"), -1);
    EXPECT_EQ(vx_avi_close_fp(h), -1);
    fclose(fp);
}

// AVI 1.0 ends at 4 GiB: the writer refuses the frame that would pass it and
// everything after, and close still completes a valid file. /dev/null takes
// the bytes; the frame memory is mapped but never touched.
TEST(AviLimit, StopsBeforeFourGiB)
{
    FILE* sink = fopen("/dev/null", "wb");
    ASSERT_TRUE(sink);
    const size_t big = (1u << 30) - 1;
    void* frame = mmap(nullptr, big, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(frame, MAP_FAILED);
    void* h = vx_avi_open_fp(sink, nullptr);
    ASSERT_TRUE(h);
    frame_desc d = good_video((int)big);
    // The first frame exceeds the hold, so nothing is copied.
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(put_frame(h, d, frame), 0) << i;
    EXPECT_EQ(put_frame(h, d, frame), -1);
    EXPECT_EQ(put_frame(h, good_video(4), "abcd"), -1);
    EXPECT_EQ(vx_avi_close_fp(h), 0);
    munmap(frame, big);
    fclose(sink);

    frame_desc too_big = good_video(1 << 30);
    h = vx_avi_open_fp(stdout, nullptr);
    EXPECT_EQ(vx_avi_write_fp_ex(h, &too_big, 88), -1);  // larger than one frame may be
    EXPECT_EQ(vx_avi_close_fp(h), -1);
}

// ---- clip reader ---------------------------------------------------------

TEST(ClipLoader, MatchesFfprobe)
{
    const Clip& c = clip();
    ASSERT_FALSE(c.frames.empty());
    EXPECT_TRUE(c.frames[0].key);
    if (!have_ffprobe())
        GTEST_SKIP() << "ffprobe not installed";
    const std::string path = source_dir() + "/" CLIP_PATH;
    std::string theirs;
    json_object* root = json_tokener_parse(
        run_output("ffprobe -v error -show_entries frame=key_frame -of json '" + path + "'").c_str());
    json_object *frames, *key;
    ASSERT_TRUE(root && json_object_object_get_ex(root, "frames", &frames));
    for (size_t i = 0; i < json_object_array_length(frames); i++)
        if (json_object_object_get_ex(json_object_array_get_idx(frames, i), "key_frame", &key))
            theirs += json_object_get_int(key) ? '1' : '0';
    json_object_put(root);
    std::string ours;
    for (const ClipFrame& f : c.frames)
        ours += f.key ? '1' : '0';
    EXPECT_EQ(ours, theirs);
    const long counted = atol(run_output("ffprobe -v error -count_frames -show_entries stream=nb_read_frames "
                                         "-of csv=p=0 '" + path + "'").c_str());
    EXPECT_EQ((long)c.frames.size(), counted);
}

TEST(ClipLoader, FramesTileTheFile)
{
    const Clip& c = clip();
    ASSERT_FALSE(c.frames.empty());
    size_t at = 0;
    size_t keys = 0;
    for (size_t i = 0; i < c.frames.size(); i++) {
        const ClipFrame& f = c.frames[i];
        EXPECT_EQ(f.offset, at) << i;
        ASSERT_GE(f.size, 6u) << i;
        // Each unit opens with its delimiter: 00 00 00 01 09.
        EXPECT_EQ(memcmp(c.data.data() + f.offset, "\0\0\0\1\x09", 5), 0) << i;
        EXPECT_EQ(f.key, i % CLIP_GOP == 0) << i;
        keys += f.key;
        at = f.offset + f.size;
    }
    EXPECT_EQ(at, c.data.size());
    EXPECT_EQ(keys, (c.frames.size() + CLIP_GOP - 1) / CLIP_GOP);
}

// NAL units of an Annex-B buffer as (begin of start code, type).
std::vector<std::pair<size_t, int>> nal_units(const std::vector<uint8_t>& d)
{
    std::vector<std::pair<size_t, int>> out;
    for (size_t i = 0; i + 3 < d.size(); i++)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            size_t begin = i > 0 && d[i - 1] == 0 ? i - 1 : i;
            out.push_back({begin, d[i + 3] & 0x1F});
            i += 2;
        }
    return out;
}

// Without delimiters the first slice of each picture marks the frames.
TEST(ClipLoader, SplitsWithoutDelimiters)
{
    const Clip& c = clip();
    ASSERT_FALSE(c.frames.empty());
    std::vector<uint8_t> stripped;
    std::vector<size_t> delimiter_size;
    auto nals = nal_units(c.data);
    for (size_t i = 0; i < nals.size(); i++) {
        const size_t end = i + 1 < nals.size() ? nals[i + 1].first : c.data.size();
        if (nals[i].second == 9) {
            delimiter_size.push_back(end - nals[i].first);
            continue;
        }
        stripped.insert(stripped.end(), c.data.begin() + (long)nals[i].first, c.data.begin() + (long)end);
    }
    ASSERT_EQ(delimiter_size.size(), c.frames.size());
    std::vector<ClipFrame> frames;
    ASSERT_TRUE(clip_split(stripped.data(), stripped.size(), &frames));
    ASSERT_EQ(frames.size(), c.frames.size());
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(frames[i].key, c.frames[i].key) << i;
        EXPECT_EQ(frames[i].size + delimiter_size[i], c.frames[i].size) << i;
    }
}

// Every cut of the file: an error or fewer frames, all inside the buffer.
// The copy is exactly as long as the cut so that a read past it is caught.
TEST(ClipLoader, TruncatedStaysInBounds)
{
    const Clip& c = clip();
    ASSERT_FALSE(c.frames.empty());
    std::vector<size_t> cuts = {0, 1, 2, 3, 4, 5, 6, c.data.size() - 1, c.frames[1].offset,
                                c.frames[1].offset + 3, c.frames[1].offset + 5};
    for (size_t cut = 7; cut < c.data.size(); cut += 251)
        cuts.push_back(cut);
    for (size_t cut : cuts) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[cut ? cut : 1]);
        memcpy(copy.get(), c.data.data(), cut);
        std::vector<ClipFrame> frames;
        if (!clip_split(copy.get(), cut, &frames))
            continue;
        EXPECT_LE(frames.size(), c.frames.size()) << cut;
        for (const ClipFrame& f : frames) {
            EXPECT_LE(f.offset, cut) << cut;
            EXPECT_LE(f.size, cut - f.offset) << cut;
        }
        // Whole frames before the cut are found as they are.
        for (size_t i = 0; i + 1 < frames.size(); i++) {
            EXPECT_EQ(frames[i].offset, c.frames[i].offset) << cut;
            EXPECT_EQ(frames[i].size, c.frames[i].size) << cut;
        }
    }
}

struct GarbageCase {
    const char* name;
    std::vector<uint8_t> bytes;
};

void PrintTo(const GarbageCase& c, std::ostream* os) { *os << c.name; }

class ClipGarbage : public ::testing::TestWithParam<GarbageCase> {};

TEST_P(ClipGarbage, Rejected)
{
    const std::vector<uint8_t>& g = GetParam().bytes;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[g.size() + 1]);
    if (!g.empty())
        memcpy(copy.get(), g.data(), g.size());
    std::vector<ClipFrame> frames;
    EXPECT_FALSE(clip_split(copy.get(), g.size(), &frames));
}

std::vector<uint8_t> random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out)
        b = (uint8_t)(rng() | 1);  // no zero bytes: no start code by chance
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Clip, ClipGarbage,
    ::testing::Values(GarbageCase{"empty", {}},
                      GarbageCase{"zeros", std::vector<uint8_t>(100, 0)},
                      GarbageCase{"start_code_only", {0, 0, 0, 1}},
                      GarbageCase{"short_start_code", {0, 1, 0x65, 0x88}},
                      GarbageCase{"forbidden_bit", {0, 0, 0, 1, 0xE5, 0x88, 0x80}},
                      GarbageCase{"delimiter_only", {0, 0, 0, 1, 0x09, 0xF0}},
                      GarbageCase{"headers_without_slice", {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE}},
                      GarbageCase{"two_delimiters", {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x65, 0x88}},
                      GarbageCase{"text", {'h', 'e', 'l', 'l', 'o', '\n'}},
                      GarbageCase{"random", random_bytes(4096, 7)}),
    [](const ::testing::TestParamInfo<GarbageCase>& i) { return std::string(i.param.name); });

// Random bytes behind a real start: whatever is found stays inside.
TEST(ClipRandom, RandomTailStaysInBounds)
{
    const Clip& c = clip();
    ASSERT_GE(c.frames.size(), 2u);
    for (unsigned seed = 1; seed <= 20; seed++) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> g(c.data.begin(), c.data.begin() + (long)c.frames[1].offset);
        for (int i = 0; i < 2000; i++)
            g.push_back((uint8_t)(rng() % 4 == 0 ? 0 : rng()));  // many zeros: start codes appear
        std::unique_ptr<uint8_t[]> copy(new uint8_t[g.size()]);
        memcpy(copy.get(), g.data(), g.size());
        std::vector<ClipFrame> frames;
        if (!clip_split(copy.get(), g.size(), &frames))
            continue;
        for (const ClipFrame& f : frames) {
            EXPECT_LE(f.offset, g.size());
            EXPECT_LE(f.size, g.size() - f.offset);
        }
    }
}

TEST(ClipLoader, LoadErrors)
{
    ScratchRoot dir;
    Clip c;
    EXPECT_FALSE(clip_load((dir.path() + "/missing.h264").c_str(), &c));
    EXPECT_FALSE(clip_load(nullptr, &c));
    const std::string junk = dir.path() + "/junk.h264";
    FILE* f = fopen(junk.c_str(), "wb");
    ASSERT_TRUE(f);
    fputs("not a video\n", f);
    fclose(f);
    EXPECT_FALSE(clip_load(junk.c_str(), &c));
    EXPECT_TRUE(c.data.empty());
    EXPECT_TRUE(c.frames.empty());
}

}  // namespace
