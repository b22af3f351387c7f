// The AVI writer of the download and the test clip reader.
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <memory>
#include <random>

#include "coresim/clip.h"
#include "platform/avilib.h"
#include "tests/support/handler_test.h"

namespace {

const uint32_t kUnknown = 0xFFFFFFFFu;

const Clip& clip()
{
    static Clip c;
    static bool loaded = clip_load((source_dir() + "/" CLIP_PATH).c_str(), &c);
    (void)loaded;
    return c;
}

std::string run_output(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    if (p)
        pclose(p);
    return out;
}

// Prints a "codec,type,frames" line per stream, then the duration line.
const std::string kProbe = "ffprobe -v error -count_frames -show_entries "
                           "stream=codec_name,codec_type,nb_read_frames:format=duration -of csv=p=0 ";

// A reader that goes away must fail the write, not kill the test.
struct IgnoreSigpipe {
    void (*old)(int) = signal(SIGPIPE, SIG_IGN);
    ~IgnoreSigpipe() { signal(SIGPIPE, old); }
};

frame_desc video_desc(size_t size, bool key = true, int frame_rate = CLIP_FPS)
{
    frame_desc d = zeroed<frame_desc>();
    d.frame_kind = FRAME_KIND_VIDEO;
    d.codec = FRAME_CODEC_H264;
    d.key_frame = key;
    d.width = CLIP_WIDTH;
    d.height = CLIP_HEIGHT;
    d.frame_rate = frame_rate;
    d.size = (int32_t)size;
    return d;
}

frame_desc audio_desc(int codec, int bytes)
{
    frame_desc d = zeroed<frame_desc>();
    d.frame_kind = FRAME_KIND_AUDIO;
    d.codec = codec;
    d.sample_rate = 8000;
    d.channels = 1;
    d.size = bytes;
    return d;
}

frame_desc changed(frame_desc d, int32_t frame_desc::*field, int32_t value)
{
    d.*field = value;
    return d;
}

int put_desc(void* h, frame_desc d, int length = (int)sizeof(frame_desc))
{
    return vx_avi_write_fp_ex(h, &d, length);
}

int put_frame(void* h, const frame_desc& d, const void* data)
{
    return put_desc(h, d) != 0 ? -1 : vx_avi_write_fp_ex(h, data, d.size);
}

struct AudioFormat {
    int codec, bytes;  // bytes per 40 ms of 8 kHz
    uint32_t tag, align, bits;
    const char* name;
};
const AudioFormat kAlaw = {FRAME_CODEC_G711A, 320, 6, 1, 8, "pcm_alaw"};
const AudioFormat kMulaw = {FRAME_CODEC_G711U, 320, 7, 1, 8, "pcm_mulaw"};
const AudioFormat kPcm = {FRAME_CODEC_PCM_S16LE, 640, 1, 2, 16, "pcm_s16le"};

enum class Audio { None, After, Before };  // one audio frame per video frame

// Writes the whole clip; every call must succeed.
::testing::AssertionResult feed_clip(FILE* fp, Audio audio = Audio::None, const AudioFormat& format = kAlaw)
{
    const Clip& c = clip();
    void* slot = nullptr;
    void* h = vx_avi_open_fp(fp, &slot);
    if (c.frames.empty() || !h || slot != h)
        return ::testing::AssertionFailure() << "no clip or open failed";
    const std::string sound((size_t)format.bytes, '\xD5');
    for (size_t i = 0; i < c.frames.size(); i++) {
        const frame_desc a = audio_desc(format.codec, format.bytes);
        const frame_desc v = video_desc(c.frames[i].size, c.frames[i].key);
        if ((audio == Audio::Before && put_frame(h, a, sound.data()) != 0) ||
            put_frame(h, v, c.data.data() + c.frames[i].offset) != 0 ||
            (audio == Audio::After && put_frame(h, a, sound.data()) != 0))
            return ::testing::AssertionFailure() << "frame " << i;
    }
    if (vx_avi_close_fp(h) != 0)
        return ::testing::AssertionFailure() << "close failed";
    return ::testing::AssertionSuccess();
}

// Through stdio as opened with `mode`, after `prefix`.
std::string write_file(const std::string& path, const std::function<::testing::AssertionResult(FILE*)>& feed,
                       const char* mode = "wb", const std::string& prefix = "")
{
    FILE* f = fopen(path.c_str(), mode);
    EXPECT_TRUE(f);
    if (!f)
        return "";
    fwrite(prefix.data(), 1, prefix.size(), f);
    EXPECT_TRUE(feed(f));
    EXPECT_EQ(fclose(f), 0);
    return run_output("cat '" + path + "'");
}

// The bytes a writer on a memory stream leaves; `close_rc` gets close's result.
std::string in_memory(const std::function<void(void*)>& body, int* close_rc = nullptr)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    void* h = vx_avi_open_fp(mem, nullptr);
    EXPECT_TRUE(h);
    body(h);
    const int rc = vx_avi_close_fp(h);
    if (close_rc)
        *close_rc = rc;
    else
        EXPECT_EQ(rc, 0);
    fclose(mem);
    std::string out(buf, len);
    free(buf);
    return out;
}

uint32_t le(const std::string& b, size_t at, int bytes = 4)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | (uint8_t)b.at(at + (size_t)i);
    return v;
}

// The file as a strict reader sees it.
struct Avi {
    std::string error;  // what broke, or ""
    uint32_t riff_size = 0, movi_size = 0;
    std::vector<uint32_t> avih;
    std::vector<std::string> strh, strf;
    struct Chunk {
        std::string id;
        uint32_t size, offset;  // offset from 'movi'
    };
    std::vector<Chunk> chunks;
    std::vector<std::vector<uint32_t>> index;  // fourcc, flags, offset, size
    size_t count(const char* id) const
    {
        return (size_t)std::count_if(chunks.begin(), chunks.end(), [&](const Chunk& c) { return c.id == id; });
    }
};

Avi parse(const std::string& b, size_t p = 0)
{
    Avi a;
    const size_t start = p;
    auto tag = [&](size_t at, const char* want) { return at + 8 <= b.size() && b.compare(at, 4, want) == 0; };
    if (!tag(p, "RIFF") || !tag(p + 8, "AVI ") || !tag(p + 12, "LIST") || !tag(p + 20, "hdrl"))
        return a.error = "no RIFF AVI hdrl", a;
    a.riff_size = le(b, p + 4);
    const size_t hdrl_end = p + 20 + le(b, p + 16);
    for (p += 24; p + 8 <= hdrl_end && hdrl_end <= b.size();) {
        const uint32_t n = le(b, p + 4);
        if (p + 8 + n > hdrl_end)
            return a.error = "hdrl chunk past hdrl", a;
        if (tag(p, "avih") && n == 56) {
            for (size_t i = 0; i < 14; i++)
                a.avih.push_back(le(b, p + 8 + 4 * i));
        } else if (tag(p, "LIST") && tag(p + 8, "strl") && tag(p + 12, "strh") && le(b, p + 16) == 56 &&
                   tag(p + 76, "strf") && p + 84 + le(b, p + 80) == p + 8 + n) {
            a.strh.push_back(b.substr(p + 20, 56));
            a.strf.push_back(b.substr(p + 84, le(b, p + 80)));
        } else {
            return a.error = "unexpected " + b.substr(p, 4) + " in hdrl", a;
        }
        p += 8 + n + (n & 1);
    }
    if (a.avih.size() != 14 || a.strh.empty() || p != hdrl_end || !tag(p, "LIST") || !tag(p + 8, "movi"))
        return a.error = "no avih, stream or movi", a;
    a.movi_size = le(b, p + 4);
    const size_t movi = p + 8;
    for (p += 12; !tag(p, "idx1") && (a.movi_size == kUnknown || p < movi + a.movi_size);) {
        const uint32_t n = p + 8 <= b.size() ? le(b, p + 4) : 0;
        if (!(tag(p, "00dc") || tag(p, "01wb")) || p + 8 + n + (n & 1) > b.size() || ((n & 1) && b[p + 8 + n]))
            return a.error = "bad movi chunk at " + std::to_string(p), a;
        a.chunks.push_back({b.substr(p, 4), n, (uint32_t)(p - movi)});
        p += 8 + n + (n & 1);
    }
    if ((a.movi_size != kUnknown && p != movi + a.movi_size) || !tag(p, "idx1"))
        return a.error = "movi does not end at idx1", a;
    if (le(b, p + 4) % 16 || p + 8 + le(b, p + 4) != b.size())
        return a.error = "idx1 is not the last 16n bytes", a;
    for (p += 8; p < b.size(); p += 16)
        a.index.push_back({le(b, p), le(b, p + 4), le(b, p + 8), le(b, p + 12)});
    if (a.riff_size != kUnknown && start + 8 + a.riff_size != b.size())
        return a.error = "RIFF size does not end at the file end", a;
    return a;
}

struct LayoutCase {
    const char* name;
    bool pipe;
    Audio audio;
    AudioFormat format;
};

void PrintTo(const LayoutCase& c, std::ostream* os)
{
    *os << c.name;
}

class AviLayout : public ::testing::TestWithParam<LayoutCase> {};

// A pipe gets placeholder sizes, a regular file the true ones; both index
// every chunk and play in ffprobe, the pipe while it is being written too.
TEST_P(AviLayout, ReadsBackAsWritten)
{
    const LayoutCase& lc = GetParam();
    const AudioFormat& af = lc.format;
    const size_t n = clip().frames.size();
    const size_t audio = lc.audio == Audio::None ? 0 : lc.audio == Audio::Before ? n - 1 : n;  // none before video
    const uint32_t streams = lc.audio == Audio::None ? 1 : 2;
    ScratchRoot dir;
    const std::string path = dir.at("/out.avi");
    std::string bytes, live;
    if (lc.pipe) {
        IgnoreSigpipe guard;
        FILE* p = popen(("tee '" + path + "' | " + kProbe + "- > '" + path + ".txt'").c_str(), "w");
        ASSERT_TRUE(p);
        EXPECT_TRUE(feed_clip(p, lc.audio, af));
        EXPECT_EQ(pclose(p), 0);
        bytes = dir.read("/out.avi");
        live = dir.read("/out.avi.txt");
    } else {
        bytes = write_file(path, [&](FILE* f) { return feed_clip(f, lc.audio, af); });
    }
    Avi avi = parse(bytes);
    ASSERT_EQ(avi.error, "");
    EXPECT_EQ(avi.avih[0], 1000000u / CLIP_FPS);
    EXPECT_EQ(avi.avih[6], streams);
    EXPECT_EQ(avi.avih[8], (uint32_t)CLIP_WIDTH);
    EXPECT_EQ(avi.avih[9], (uint32_t)CLIP_HEIGHT);
    ASSERT_EQ(avi.strh.size(), streams);
    EXPECT_EQ(avi.strh[0].substr(0, 8) + avi.strf[0].substr(16, 4), "vidsH264H264");
    EXPECT_EQ(le(avi.strh[0], 20), 1u);  // scale
    EXPECT_EQ(le(avi.strh[0], 24), (uint32_t)CLIP_FPS);
    if (streams == 2) {
        EXPECT_EQ(avi.strh[1].substr(0, 4), "auds");
        // tag, channels, rate, bytes a second, block align, bits, extra size
        EXPECT_TRUE(same_bytes(avi.strf[1], int32_bytes({int(af.tag | 1u << 16), 8000, int(8000 * af.align),
                                                         int(af.align | af.bits << 16)}) + std::string(2, '\0')));
        EXPECT_EQ(le(avi.strh[1], 20), af.align);  // scale, rate, sample size
        EXPECT_EQ(le(avi.strh[1], 24), 8000 * af.align);
        EXPECT_EQ(le(avi.strh[1], 44), af.align);
    }
    EXPECT_EQ(avi.count("00dc"), n);
    EXPECT_EQ(avi.count("01wb"), audio);
    // idx1 names every chunk in order, with its offset, size and key flag.
    ASSERT_EQ(avi.index.size(), avi.chunks.size());
    for (size_t i = 0, video = 0; i < avi.chunks.size(); i++) {
        const Avi::Chunk& c = avi.chunks[i];
        const bool key = c.id == "01wb" || clip().frames[video++].key;
        EXPECT_EQ(avi.index[i], (std::vector<uint32_t>{le(c.id, 0), key ? 0x10u : 0u, c.offset, c.size})) << i;
    }
    uint32_t max_video = 0;
    for (const ClipFrame& f : clip().frames)
        max_video = std::max(max_video, (uint32_t)f.size);
    const bool file = !lc.pipe;
    EXPECT_EQ(avi.riff_size, file ? bytes.size() - 8 : kUnknown);
    EXPECT_EQ(avi.movi_size == kUnknown, !file);
    EXPECT_EQ(avi.avih[4], file ? n : 0u);         // total frames
    EXPECT_EQ(le(avi.strh[0], 32), file ? n : 0u);  // length
    if (file) {
        EXPECT_EQ(le(avi.strh[0], 36), max_video);  // largest frame
        EXPECT_EQ(streams == 2 ? le(avi.strh[1], 32) : 0u, audio * af.bytes / af.align);  // samples
    }

    std::string want = "h264,video," + std::to_string(n) + "\n";
    if (streams == 2)
        want += std::string(af.name) + ",audio," + std::to_string(audio) + "\n";
    for (const std::string& out : lc.pipe ? std::vector<std::string>{run_output(kProbe + "'" + path + "'"), live}
                                          : std::vector<std::string>{run_output(kProbe + "'" + path + "'")}) {
        ASSERT_EQ(out.substr(0, want.size()), want);
        // A streamed file may leave the duration open but never claims a wrong one.
        if (file || out.substr(want.size()) != "N/A\n") {
            EXPECT_NEAR(atof(out.substr(want.size()).c_str()), (double)n / CLIP_FPS, 0.1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Avi, AviLayout,
                         ::testing::Values(LayoutCase{"pipe_video", true, Audio::None, kAlaw},
                                           LayoutCase{"pipe_alaw_after", true, Audio::After, kAlaw},
                                           LayoutCase{"pipe_pcm_before", true, Audio::Before, kPcm},
                                           LayoutCase{"file_video", false, Audio::None, kAlaw},
                                           LayoutCase{"file_mulaw_after", false, Audio::After, kMulaw},
                                           LayoutCase{"file_pcm_after", false, Audio::After, kPcm},
                                           LayoutCase{"file_alaw_before", false, Audio::Before, kAlaw}),
                         [](const ::testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

std::string bytes(std::initializer_list<unsigned char> list)
{
    return std::string(list.begin(), list.end());
}

// Pins the layout: a change here changes what every player sees.
TEST(AviBytes, HeaderFirstChunksAndPadding)
{
    ScratchRoot dir;
    IgnoreSigpipe guard;
    FILE* p = popen(("cat > '" + dir.at("/out.avi") + "'").c_str(), "w");
    ASSERT_TRUE(p);
    EXPECT_TRUE(feed_clip(p, Audio::After));
    EXPECT_EQ(pclose(p), 0);
    const std::string b = dir.read("/out.avi");
    const std::string head =
        "RIFF" + bytes({0xFF, 0xFF, 0xFF, 0xFF}) + "AVI LIST" + bytes({0x26, 0x01, 0, 0}) + "hdrlavih" +  // 294
        bytes({0x38, 0, 0, 0, 0x40, 0x9C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,      // 56; 40000 us per frame
               0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0});  // index, interleaved; 2 streams
    EXPECT_EQ(b.substr(0, head.size()), head);
    const uint32_t first = (uint32_t)clip().frames[0].size;
    const std::string movi = "LIST" + bytes({0xFF, 0xFF, 0xFF, 0xFF}) + "movi00dc" +
                             bytes({(unsigned char)first, (unsigned char)(first >> 8), (unsigned char)(first >> 16), 0});
    const size_t at = 12 + 8 + 294;
    EXPECT_EQ(b.substr(at, movi.size()), movi);
    EXPECT_EQ(b.substr(at + movi.size(), first), std::string((const char*)clip().data.data(), first));
    EXPECT_EQ(b.substr(at + movi.size() + first + (first & 1), 8), "01wb" + bytes({0x40, 0x01, 0, 0}));  // 320

    // Odd chunks get a zero byte so that the next starts on an even offset.
    const std::string odd = in_memory([](void* h) {
        for (int size = 1; size <= 3; size++)
            ASSERT_EQ(put_frame(h, video_desc((size_t)size), "abc"), 0);
    });
    EXPECT_EQ(odd.substr(12 + 8 + 192 + 12, 32), std::string("00dc\1\0\0\0a\0" "00dc\2\0\0\0ab" "00dc\3\0\0\0abc\0", 32));
    EXPECT_EQ(parse(odd).index.at(2)[2], 4u + 10u + 10u);
}

// Sizes are fixed relative to where the AVI starts; an append-mode file
// cannot be fixed and stays streamed.
TEST(AviBytes, PrefixAndAppend)
{
    ScratchRoot dir;
    const std::string prefix = "prefix\n";
    auto feed = [](FILE* f) { return feed_clip(f, Audio::After); };
    const std::string b = write_file(dir.at("/a.avi"), feed, "wb", prefix);
    ASSERT_EQ(b.substr(0, prefix.size()), prefix);
    Avi fixed = parse(b, prefix.size());
    ASSERT_EQ(fixed.error, "");
    EXPECT_EQ(fixed.riff_size, b.size() - prefix.size() - 8);
    EXPECT_EQ(fixed.avih[4], clip().frames.size());
    Avi streamed = parse(write_file(dir.at("/b.avi"), feed, "ab", prefix), prefix.size());
    ASSERT_EQ(streamed.error, "");
    EXPECT_EQ(streamed.riff_size, kUnknown);
    EXPECT_EQ(streamed.avih[4], 0u);
    EXPECT_EQ(streamed.chunks.size(), fixed.chunks.size());
}

TEST(AviFormat, FrameRateAndCodecComeFromTheFirstVideoFrame)
{
    const std::pair<int, uint32_t> rates[] = {{0, 25}, {30, 30}, {-5, 25}, {15, 15}};  // given, used
    for (const auto& r : rates) {
        Avi avi = parse(in_memory([&](void* h) { ASSERT_EQ(put_frame(h, video_desc(4, true, r.first), "abcd"), 0); }));
        ASSERT_EQ(avi.error, "") << r.first;
        EXPECT_EQ(le(avi.strh[0], 24), r.second) << r.first;
        EXPECT_EQ(avi.avih[0], 1000000u / r.second) << r.first;
    }
    Avi avi = parse(in_memory([](void* h) {
        ASSERT_EQ(put_frame(h, changed(video_desc(4), &frame_desc::codec, FRAME_CODEC_H265), "abcd"), 0);
    }));
    ASSERT_EQ(avi.error, "");
    EXPECT_EQ(avi.strh[0].substr(4, 4) + avi.strf[0].substr(16, 4), "HEVCHEVC");
}

// One audio format per file: later frames of another are dropped, not mixed in.
TEST(AviFormat, AudioFormatChangesAreDropped)
{
    const std::string b = in_memory([](void* h) {
        const frame_desc alaw = audio_desc(FRAME_CODEC_G711A, 4);
        ASSERT_EQ(put_frame(h, video_desc(4), "vvvv"), 0);
        ASSERT_EQ(put_frame(h, alaw, "aaaa"), 0);
        for (const frame_desc& d : {audio_desc(FRAME_CODEC_G711U, 4), changed(alaw, &frame_desc::sample_rate, 16000),
                                    changed(alaw, &frame_desc::channels, 2)})
            EXPECT_EQ(put_frame(h, d, "xxxx"), 0);
        ASSERT_EQ(put_frame(h, video_desc(4), "vvvv"), 0);
    });
    Avi avi = parse(b);
    ASSERT_EQ(avi.chunks.size(), 3u);
    EXPECT_EQ(avi.chunks[1].id + avi.chunks[2].id, "01wb00dc");
    EXPECT_EQ(b.find("xxxx"), std::string::npos);
}

// The header must tell whether there is audio: video frames are held back
// a while waiting for it, and come out first and in order.
TEST(AviFormat, AudioStreamOnlyWhenSeenInTime)
{
    struct Case {
        const char* name;
        size_t frames, video_before_audio, first_size, streams;
    } cases[] = {{"right_after", 20, 1, 10, 2},
                 {"within_hold", 20, AVI_HOLD_FRAMES, 10, 2},
                 {"past_hold", 20, AVI_HOLD_FRAMES + 1, 10, 1},
                 {"never", 20, 1000, 10, 1},
                 {"fewer_frames_than_the_hold", 3, 1000, 10, 1},
                 {"big_first_frame", 20, 1, AVI_HOLD_BYTES + 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t audio = 0;
        Avi avi = parse(in_memory([&](void* h) {
            for (size_t i = 0; i < c.frames; i++) {
                const std::string v(i ? 10 + i : c.first_size, 'v');
                ASSERT_EQ(put_frame(h, video_desc(v.size()), v.data()), 0) << i;
                if (i + 1 >= c.video_before_audio) {
                    audio++;
                    ASSERT_EQ(put_frame(h, audio_desc(FRAME_CODEC_G711A, 4), "aaaa"), 0) << i;
                }
            }
        }));
        ASSERT_EQ(avi.error, "");
        ASSERT_EQ(avi.strh.size(), c.streams);
        EXPECT_EQ(avi.count("00dc"), c.frames);
        EXPECT_EQ(avi.count("01wb"), c.streams == 2 ? audio : 0u);
        for (size_t i = 0; i < std::min(c.video_before_audio, c.frames); i++)
            EXPECT_EQ(avi.chunks[i].size, i ? 10 + i : c.first_size) << i;
    }
}

TEST(AviMisuse, FaultyCallsReturnMinusOneAndTheWriterGoesOn)
{
    const frame_desc v4 = video_desc(4);
    struct Case {
        const char* name;
        std::function<int(void*)> call;  // the faulty call's result
        size_t before = 0;               // good frames it put first
    } cases[] = {
        {"data without descriptor", [](void* h) { return vx_avi_write_fp_ex(h, "data", 4); }},
        {"descriptor too short", [&](void* h) { return put_desc(h, v4, 87); }},
        {"descriptor too long", [](void* h) { char d[89] = {}; return vx_avi_write_fp_ex(h, d, 89); }},
        {"null data", [](void* h) { return vx_avi_write_fp_ex(h, nullptr, 88); }},
        {"negative length", [&](void* h) { return put_desc(h, v4, -1); }},
        {"data shorter than its size", [](void* h) { return put_desc(h, video_desc(10)) ? 0 : vx_avi_write_fp_ex(h, "123456789", 9); }},
        {"data longer than its size", [](void* h) { return put_desc(h, video_desc(2)) ? 0 : vx_avi_write_fp_ex(h, "123", 3); }},
        {"two descriptors", [&](void* h) { return put_desc(h, v4) ? 0 : put_desc(h, v4); }},
        {"unknown kind", [&](void* h) { return put_desc(h, changed(v4, &frame_desc::frame_kind, 3)); }},
        {"audio codec on video", [&](void* h) { return put_desc(h, changed(v4, &frame_desc::codec, FRAME_CODEC_G711A)); }},
        {"video codec on audio", [](void* h) { return put_desc(h, audio_desc(FRAME_CODEC_H264, 4)); }},
        {"negative size", [&](void* h) { return put_desc(h, changed(v4, &frame_desc::size, -4)); }},
        {"null handle", [&](void*) { return put_desc(nullptr, v4); }},
        {"codec change", [&](void* h) {
             return put_frame(h, v4, "abcd") ? 0 : put_frame(h, changed(v4, &frame_desc::codec, FRAME_CODEC_H265), "abcd");
         }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Avi avi = parse(in_memory([&](void* h) {
            EXPECT_EQ(c.call(h), -1);
            EXPECT_EQ(put_frame(h, v4, "abcd"), 0);
        }));
        ASSERT_EQ(avi.error, "");
        EXPECT_EQ(avi.count("00dc"), c.before + 1);
    }
    void* slot = &slot;
    EXPECT_EQ(vx_avi_open_fp(nullptr, &slot), nullptr);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(vx_avi_close_fp(nullptr), -1);
    // No video frame: no file to complete, and nothing written.
    int rc = 0;
    EXPECT_EQ(in_memory([](void* h) { EXPECT_EQ(put_frame(h, audio_desc(FRAME_CODEC_G711A, 4), "abcd"), 0); }, &rc), "");
    EXPECT_EQ(rc, -1);

    // A reader that goes away fails the writes instead of losing them quietly.
    IgnoreSigpipe guard;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    FILE* fp = fdopen(fds[1], "wb");
    setvbuf(fp, nullptr, _IONBF, 0);
    void* h = vx_avi_open_fp(fp, nullptr);
    EXPECT_EQ(put_frame(h, v4, "abcd"), 0);  // held
    EXPECT_EQ(put_frame(h, audio_desc(FRAME_CODEC_G711A, 320), std::string(320, 'a').data()), -1);
    EXPECT_EQ(put_frame(h, v4, "abcd"), -1);
    EXPECT_EQ(vx_avi_close_fp(h), -1);
    fclose(fp);
}

// AVI 1.0 ends at 4 GiB: the frame that would pass it and all after are
// refused, and close still completes the file. The frame memory is mapped
// but never touched.
TEST(AviMisuse, StopsBeforeFourGiB)
{
    FILE* sink = fopen("/dev/null", "wb");
    const size_t big = (1u << 30) - 1;
    void* frame = mmap(nullptr, big, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(frame, MAP_FAILED);
    void* h = vx_avi_open_fp(sink, nullptr);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(put_frame(h, video_desc(big), frame), 0) << i;
    EXPECT_EQ(put_frame(h, video_desc(big), frame), -1);
    EXPECT_EQ(put_frame(h, video_desc(4), "abcd"), -1);
    EXPECT_EQ(vx_avi_close_fp(h), 0);
    munmap(frame, big);
    fclose(sink);

    h = vx_avi_open_fp(stdout, nullptr);
    EXPECT_EQ(put_desc(h, video_desc(1u << 30)), -1);  // more than one frame may hold
    EXPECT_EQ(vx_avi_close_fp(h), -1);
}

// ---- clip reader ----

TEST(ClipLoader, FramesTileTheFileAsFfprobeSeesThem)
{
    const Clip& c = clip();
    ASSERT_FALSE(c.frames.empty());
    size_t at = 0;
    std::string keys;
    std::vector<uint8_t> stripped;  // without the delimiters
    std::vector<size_t> delimiter;
    for (size_t i = 0; i < c.frames.size(); i++) {
        const ClipFrame& f = c.frames[i];
        const uint8_t* p = c.data.data() + f.offset;
        EXPECT_EQ(f.offset, at) << i;
        ASSERT_GE(f.size, 6u) << i;
        EXPECT_EQ(memcmp(p, "\0\0\0\1\x09", 5), 0) << i;
        EXPECT_EQ(f.key, i % CLIP_GOP == 0) << i;
        keys += f.key ? "1\n" : "0\n";
        at = f.offset + f.size;
        size_t d = 5;
        while (d + 3 < f.size && !(p[d] == 0 && p[d + 1] == 0 && (p[d + 2] == 1 || (p[d + 2] == 0 && p[d + 3] == 1))))
            d++;
        delimiter.push_back(d);
        stripped.insert(stripped.end(), p + d, p + f.size);
    }
    EXPECT_EQ(at, c.data.size());
    EXPECT_EQ(keys, run_output("ffprobe -v error -show_entries frame=key_frame -of default=nw=1:nk=1 '" +
                               source_dir() + "/" CLIP_PATH "'"));

    // Without delimiters the first slice of each picture marks the frames.
    std::vector<ClipFrame> frames;
    ASSERT_TRUE(clip_split(stripped.data(), stripped.size(), &frames));
    ASSERT_EQ(frames.size(), c.frames.size());
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(frames[i].key, c.frames[i].key) << i;
        EXPECT_EQ(frames[i].size + delimiter[i], c.frames[i].size) << i;
    }
}

// In a block exactly as long as the data, so that a read past it is caught.
bool split_copy(const std::vector<uint8_t>& data, size_t size, std::vector<ClipFrame>* frames)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size)
        memcpy(copy.get(), data.data(), size);
    return clip_split(copy.get(), size, frames);
}

TEST(ClipLoader, CutOrRandomStreamsStayInBounds)
{
    const Clip& c = clip();
    ASSERT_GE(c.frames.size(), 2u);
    std::vector<size_t> cuts = {0, 1, 2, 3, 4, 5, 6, c.data.size() - 1, c.frames[1].offset,
                                c.frames[1].offset + 3, c.frames[1].offset + 5};
    for (size_t cut = 7; cut < c.data.size(); cut += 251)
        cuts.push_back(cut);
    for (size_t cut : cuts) {
        std::vector<ClipFrame> frames;
        split_copy(c.data, cut, &frames);
        EXPECT_LE(frames.size(), c.frames.size()) << cut;
        for (size_t i = 0; i < frames.size(); i++) {
            EXPECT_TRUE(frames[i].offset <= cut && frames[i].size <= cut - frames[i].offset) << cut;
            if (i + 1 < frames.size()) {  // whole frames before the cut are found as they are
                EXPECT_EQ(frames[i].offset, c.frames[i].offset) << cut;
                EXPECT_EQ(frames[i].size, c.frames[i].size) << cut;
            }
        }
    }
    // Random bytes, many zeros among them, behind a real first frame.
    for (unsigned seed = 1; seed <= 20; seed++) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> g(c.data.begin(), c.data.begin() + (long)c.frames[1].offset);
        for (int i = 0; i < 2000; i++)
            g.push_back((uint8_t)(rng() % 4 == 0 ? 0 : rng()));
        std::vector<ClipFrame> frames;
        split_copy(g, g.size(), &frames);
        for (const ClipFrame& f : frames)
            EXPECT_TRUE(f.offset <= g.size() && f.size <= g.size() - f.offset) << seed;
    }
}

TEST(ClipLoader, GarbageAndMissingFilesAreRejected)
{
    std::mt19937 rng(7);
    std::vector<uint8_t> random(4096);
    for (uint8_t& b : random)
        b = (uint8_t)(rng() | 1);  // no zero bytes: no start code by chance
    const std::vector<std::vector<uint8_t>> garbage = {
        {}, std::vector<uint8_t>(100, 0), {0, 0, 0, 1}, {0, 1, 0x65, 0x88}, {0, 0, 0, 1, 0xE5, 0x88, 0x80},
        {0, 0, 0, 1, 0x09, 0xF0}, {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE},
        {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x65, 0x88}, {'h', 'e', 'l', 'l', 'o', '\n'}, random};
    for (size_t i = 0; i < garbage.size(); i++) {
        std::vector<ClipFrame> frames;
        EXPECT_FALSE(split_copy(garbage[i], garbage[i].size(), &frames)) << i;
    }
    ScratchRoot dir;
    Clip c;
    EXPECT_FALSE(clip_load(dir.at("/missing.h264").c_str(), &c));
    EXPECT_FALSE(clip_load(nullptr, &c));
    dir.write("/junk.h264", "not a video\n");
    EXPECT_FALSE(clip_load(dir.at("/junk.h264").c_str(), &c));
    EXPECT_TRUE(c.data.empty() && c.frames.empty());
}

}  // namespace
