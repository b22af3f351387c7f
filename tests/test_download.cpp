// The AVI download: chunk assembly, the frame queue and its writer thread in
// process; the handler and its marker resources through the CGI; and whole
// downloads from coresim.
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "coresim/clip.h"
#include "modules/playback/playback.h"
#include "modules/playback/remote_backup.h"
#include "platform/vxtask.h"
#include "tests/support/handler_test.h"

namespace {

frame_desc video_desc(int size, bool key = true)
{
    frame_desc d = zeroed<frame_desc>();
    d.frame_kind = FRAME_KIND_VIDEO;
    d.codec = FRAME_CODEC_H264;
    d.key_frame = key;
    d.width = 320;
    d.height = 240;
    d.frame_rate = 25;
    d.size = size;
    return d;
}

std::string chunk(const frame_desc& desc, int offset, int length, const std::string& data = "")
{
    download_chunk_head head = zeroed<download_chunk_head>();
    head.desc = desc;
    head.offset = offset;
    head.length = length;
    return bytes_of(head) + data;
}

const std::string kEnd = chunk(video_desc(0), 0, DOWNLOAD_CHUNK_END);
const std::string kInterrupted = chunk(video_desc(0), 0, DOWNLOAD_CHUNK_INTERRUPTED);

// As the dispatcher hands it over, in a block of its exact size so that the
// address sanitizer catches a read past it.
void feed(const std::string& message)
{
    std::vector<char> exact(message.begin(), message.end());
    const int32_t header[8] = {0, 0, 0, RSP_DOWNLOAD_CHUNK, 0, (int32_t)exact.size(), 0, 0};
    cgi_ipc_set_in_flight(REQ_DOWNLOAD);
    on_stream_callback(nullptr, header, exact.data());
}

// Different bytes for every frame number.
std::string frame_bytes(int size, int number)
{
    std::string s((size_t)size, '\0');
    for (int i = 0; i < size; i++)
        s[(size_t)i] = (char)((i * 7 + number * 131) & 0xFF);
    return s;
}

// A whole frame as chunks of at most 614400 bytes.
void feed_frame(const std::string& data)
{
    for (size_t at = 0; at < data.size(); at += DOWNLOAD_CHUNK_DATA) {
        size_t n = std::min(data.size() - at, (size_t)DOWNLOAD_CHUNK_DATA);
        feed(chunk(video_desc((int)data.size()), (int)at, (int)n, data.substr(at, n)));
    }
}

// The video chunks of an AVI's movi list, in file order.
std::vector<std::string> movi_frames(const std::string& avi)
{
    std::vector<std::string> out;
    size_t pos = avi.find("movi");
    if (avi.compare(0, 4, "RIFF") != 0 || pos == std::string::npos)
        return out;
    for (pos += 4; pos + 8 <= avi.size();) {
        uint32_t size;
        memcpy(&size, avi.data() + pos + 4, 4);
        if (avi.compare(pos, 4, "idx1") == 0 || pos + 8 + size > avi.size())
            break;
        if (avi.compare(pos, 4, "00dc") == 0)
            out.push_back(avi.substr(pos + 8, size));
        pos += 8 + size + (size & 1);
    }
    return out;
}

// Frame by frame, without printing megabytes on a mismatch.
::testing::AssertionResult frames_are(const std::vector<std::string>& got, const std::vector<std::string>& want)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " frames, not " << want.size();
    for (size_t i = 0; i < got.size(); i++)
        if (got[i] != want[i])
            return ::testing::AssertionFailure() << "frame " << i << " differs";
    return ::testing::AssertionSuccess();
}

remote_backup_stats stats()
{
    remote_backup_stats s;
    remote_backup_get_stats(&s);
    return s;
}

bool eventually(const std::function<bool()>& condition, int ms = 10000)
{
    for (int waited = 0; waited < ms && !condition(); waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

// A download writer on a pipe. Until the test drains it, the writer thread
// blocks in the AVI writer once the pipe is full.
class PipeDownload {
public:
    explicit PipeDownload(bool drain_now = true) : baseline_(vx_mem_in_use())
    {
        if (pipe(fds_) == 0)
            out_ = fdopen(fds_[1], "w");
        if (drain_now)
            drain();
    }
    ~PipeDownload() { finish(); }
    bool open() { return out_ && download_writer_open(out_) == 0; }
    void drain()
    {
        if (!reader_.joinable() && fds_[0] >= 0)
            reader_ = std::thread([this] {
                char buf[65536];
                ssize_t n;
                while ((n = read(fds_[0], buf, sizeof buf)) > 0)
                    data_.append(buf, (size_t)n);
            });
    }
    std::string finish()
    {
        drain();
        download_writer_close();
        if (out_)
            fclose(out_);
        out_ = nullptr;
        if (reader_.joinable())
            reader_.join();
        if (fds_[0] >= 0)
            close(fds_[0]);
        fds_[0] = -1;
        return data_;
    }
    size_t baseline() const { return baseline_; }

private:
    int fds_[2] = {-1, -1};
    FILE* out_ = nullptr;
    std::thread reader_;
    std::string data_;
    size_t baseline_;
};

TEST(DownloadQueue, FrameOfTwoChunksIsQueuedOnce)
{
    PipeDownload dl;
    ASSERT_TRUE(dl.open());
    const std::string frame = frame_bytes(700000, 1);
    feed(chunk(video_desc(700000), 0, 614400, frame.substr(0, 614400)));
    EXPECT_EQ(stats().queued_frames + stats().written_frames, 0) << "half a frame queued";
    feed(chunk(video_desc(700000), 614400, 85600, frame.substr(614400)));
    ASSERT_TRUE(eventually([] { return stats().written_frames == 1; }));
    feed(kEnd);
    EXPECT_EQ(stats().download_done, 1);
    EXPECT_TRUE(frames_are(movi_frames(dl.finish()), {frame}));
    EXPECT_EQ(vx_mem_in_use(), dl.baseline()) << "frame memory not given back";
}

TEST(DownloadQueue, StrayOverlongAndMalformedChunks)
{
    PipeDownload dl;
    ASSERT_TRUE(dl.open());
    const std::string data = frame_bytes(100, 5);
    // A nonzero offset with no frame begun.
    feed(chunk(video_desc(2000), 1000, 1000, frame_bytes(1000, 9)));
    // Shorter than the 96-byte head; lengths below -2; sizes of 0, below 0 and above 10 MiB.
    feed(chunk(video_desc(100), 0, 100, data).substr(0, 95));
    feed(chunk(video_desc(100), 0, -3, data));
    feed(chunk(video_desc(100), 0, -1000000, data));
    feed(chunk(video_desc(0), 0, 100, data));
    feed(chunk(video_desc(-5), 0, 100, data));
    feed(chunk(video_desc(DOWNLOAD_MAX_FRAME + 1), 0, 100, data));
    EXPECT_EQ(stats().download_done, 0) << "none of them ends the download";
    EXPECT_EQ(vx_mem_in_use(), dl.baseline()) << "nothing may be held for them";
    EXPECT_EQ(remote_backup_task_run_status(), 1);

    // Lengths claiming more than the message carries are cut to the bytes received.
    const std::string a = frame_bytes(2000, 3);
    feed(chunk(video_desc(2000), 0, DOWNLOAD_CHUNK_DATA, a.substr(0, 1000)));
    EXPECT_EQ(stats().queued_frames + stats().written_frames, 0) << "only 1000 of 2000 bytes came";
    feed(chunk(video_desc(2000), 1000, 1000, a.substr(1000)));
    const std::string b = frame_bytes(700000, 4);
    feed(chunk(video_desc(700000), 0, 700000, b));  // more than one chunk's data
    EXPECT_EQ(stats().queued_frames + stats().written_frames, 1) << "only 614400 of 700000 bytes taken";
    feed(chunk(video_desc(700000), 614400, 85600, b.substr(614400)));
    feed(kEnd);
    EXPECT_TRUE(frames_are(movi_frames(dl.finish()), {a, b}));
}

TEST(DownloadQueue, InterruptionDiscardsQueuedFrames)
{
    PipeDownload dl(false);
    ASSERT_TRUE(dl.open());
    // The AVI writer holds frames 1-5 back until its header is settled; at
    // frame 6 it writes and blocks on the undrained pipe, so 7-10 stay queued.
    for (int i = 1; i <= 10; i++)
        feed_frame(frame_bytes(200000, i));
    ASSERT_TRUE(eventually([] { return stats().written_frames == 5 && stats().queued_frames == 4; }));
    feed(kInterrupted);
    EXPECT_EQ(stats().download_done, 1);
    EXPECT_EQ(remote_backup_task_run_status(), 0);
    std::vector<std::string> want;
    for (int i = 1; i <= 6; i++)
        want.push_back(frame_bytes(200000, i));
    EXPECT_TRUE(frames_are(movi_frames(dl.finish()), want));
    EXPECT_EQ(stats().queued_frames, 0);
}

TEST(DownloadQueue, FullQueueMakesTheProducerWaitInsteadOfDropping)
{
    const int size = 1024 * 1024, frames = 20;
    const size_t baseline = vx_mem_in_use();
    vx_mem_reset_peak();
    PipeDownload dl(false);
    ASSERT_TRUE(dl.open());
    std::thread producer([&] {
        for (int i = 1; i <= frames; i++)
            feed_frame(frame_bytes(size, i));
        feed(kEnd);
    });
    // The writer blocks on frame 2, frames 3-12 fill the 10 MiB and frame 13
    // waits: past 25 waits is where it used to be dropped.
    bool waited = eventually([] { return stats().producer_waits > 30; }, 20000);
    remote_backup_stats during = stats();
    dl.drain();
    producer.join();
    std::vector<std::string> written = movi_frames(dl.finish());
    ASSERT_TRUE(waited);
    EXPECT_EQ(during.queued_frames, 10);
    EXPECT_LE(during.queued_bytes, DOWNLOAD_QUEUE_LIMIT);
    EXPECT_EQ(stats().dropped_frames, 0);
    // The queue, the frame waiting to go in, the one being written, and the nodes' heads.
    EXPECT_LE(vx_mem_peak() - baseline, (size_t)DOWNLOAD_QUEUE_LIMIT + 2u * size + 4096u);
    EXPECT_EQ(vx_mem_in_use(), baseline);
    std::vector<std::string> want;
    for (int i = 1; i <= frames; i++)
        want.push_back(frame_bytes(size, i));
    EXPECT_TRUE(frames_are(written, want));
}

TEST(DownloadQueue, ChunksWithoutAnOpenWriterEndTheWait)
{
    download_writer_close();
    g_callback_done = 0;
    feed(chunk(video_desc(100), 0, 100, frame_bytes(100, 1)));
    EXPECT_EQ(stats().download_done, 1);
    EXPECT_EQ(g_callback_done.load(), 1);
}

// The other tests' memory checks rest on this count.
TEST(DownloadQueue, AllocatorCountsItsBlocks)
{
    const size_t before = vx_mem_in_use();
    char* a = (char*)__vx_malloc(1000, "test", __LINE__);
    int* b = (int*)__vx_calloc(10, sizeof(int), "test", __LINE__);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::count(b, b + 10, 0), 10);
    EXPECT_EQ(vx_mem_in_use(), before + 1000 + 10 * sizeof(int));
    EXPECT_EQ(__vx_calloc(SIZE_MAX / 2, 4, "test", __LINE__), nullptr) << "size overflow";
    __vx_free(a, "test", __LINE__);
    __vx_free(b, "test", __LINE__);
    __vx_free(nullptr, "test", __LINE__);
    EXPECT_EQ(vx_mem_in_use(), before);
}

// ---- through the CGI ----

const char kHourBody[] =
    R"({"id":3,"streamType":1,"startTime":"2019-05-01T10:00:00Z","endTime":"2019-05-01T11:00:00Z"})";

// With the request's real 40 s wait, which only the end chunk may cut short.
CgiResult download(const std::string& root, const std::string& body, const std::string& stdout_file = "")
{
    CgiRequest req;
    req.method = "POST";
    req.path = "/4013";
    req.content_type = "application/json";
    req.body = body;
    req.cookie = "userName=admin";
    req.max_steps = 1000;
    req.stdout_file = stdout_file;
    req.timeout_seconds = 280;
    CgiResult r = run_cgi(root, req);
    EXPECT_EQ(r.status, 0);
    return r;
}

using Download = HandlerTest;

TEST_F(Download, FileNameRequestLogAndFramesForAnHour)
{
    const std::string big = frame_bytes(700000, 1), small = frame_bytes(3001, 2);
    core.script(REQ_DOWNLOAD, [&](const FakeRequest&, FakeResponder& out) {
        out.send(RSP_DOWNLOAD_CHUNK, chunk(video_desc(700000), 0, 614400, big.substr(0, 614400)));
        out.send(RSP_DOWNLOAD_CHUNK, chunk(video_desc(700000), 614400, 85600, big.substr(614400)));
        out.send(RSP_DOWNLOAD_CHUNK, chunk(video_desc(3001, false), 0, 3001, small));
        out.send(RSP_DOWNLOAD_CHUNK, kEnd);
    });
    CgiResult r = download(root.path(), kHourBody);
    // The runner's zone is UTC: the labels' seconds are the epoch times.
    const std::string head = "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= "
                             "8DDD2019_5_1_10_0_0_1556704800-2019_5_1_11_0_0_1556708400_3.avi\r\n\r\n";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_TRUE(frames_are(movi_frames(r.out.substr(head.size())), {big, small}));
    // A behaviour check, not a timing one: the full wait would take 40 s.
    EXPECT_LT(r.seconds, 20);

    download_request want = zeroed<download_request>();
    want.channel = 3;
    want.stream_type = 1;
    put(want.start, "2019-5-1 10:0:0");
    put(want.end, "2019-5-1 11:0:0");
    EXPECT_TRUE(same_bytes(sent(REQ_DOWNLOAD).at(0).payload, bytes_of(want)));
    EXPECT_EQ(logs(1), std::vector<std::string>{log_record(209, 900, 4)});

    // -2 ends the wait as well.
    core.script(REQ_DOWNLOAD, [](const FakeRequest&, FakeResponder& out) {
        out.send(RSP_DOWNLOAD_CHUNK, chunk(video_desc(5000), 0, 5000, frame_bytes(5000, 1)));
        out.send(RSP_DOWNLOAD_CHUNK, kInterrupted);
    });
    core.clear();
    r = download(root.path(), kHourBody);
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_LT(r.seconds, 20);
}

// Found with a silent core: the writer's own 60 s idle limit outlasted the
// capped request wait, so every such test took a minute.
TEST_F(Download, SilentCoreEndsWithinTheCaps)
{
    core.silent(REQ_DOWNLOAD);
    // Capped at 25 steps, 1 s; the bound is loose for emulated, loaded runs
    // and still far below the old minute.
    CgiResult r = post("/4013", kHourBody);
    EXPECT_LT(r.seconds, 20);
    EXPECT_EQ(reply_head(r.out).compare(0, 39, "Content-Type:application/octet-stream\r\n"), 0);
    EXPECT_EQ(reply_body(r.out), "") << "no video, no file";
    EXPECT_EQ(sent(REQ_DOWNLOAD).size(), 1u);
}

TEST_F(Download, BusyMarkerAndBadRequestsAskNothing)
{
    const char* bodies[] = {
        R"({"id":3,"startTime":"yesterday","endTime":"2019-05-01T11:00:00Z"})",
        R"({"id":3,"startTime":"2019-05-01T10:00:00Z","endTime":"2019-05-01 11:00:00"})",
        R"({"id":3,"startTime":"2019-13-01T10:00:00Z","endTime":"2019-05-01T11:00:00Z"})",
        R"({"id":3,"startTime":"2019-05-01T10:00:00Zjunk","endTime":"2019-05-01T11:00:00Z"})",
        R"({"id":3,"startTime":"","endTime":"2019-05-01T11:00:00Z"})",
        R"({"id":3,"startTime":1556704800,"endTime":"2019-05-01T11:00:00Z"})",
        R"({"id":3,"endTime":"2019-05-01T11:00:00Z"})",
        R"({"id":8,"startTime":"2019-05-01T10:00:00Z","endTime":"2019-05-01T11:00:00Z"})",
        R"({"startTime":"2019-05-01T10:00:00Z","endTime":"2019-05-01T11:00:00Z"})",
        "not json",
    };
    for (const char* body : bodies) {
        EXPECT_EQ(post("/4013", body).out, "") << body;
        EXPECT_TRUE(sent(REQ_DOWNLOAD).empty()) << body;
    }
    root.write("/tmp/pbdownload", "");
    EXPECT_EQ(post("/4013", kHourBody).out, kTextHead + "BUSY NOW");
    EXPECT_TRUE(sent(REQ_DOWNLOAD).empty());
    EXPECT_TRUE(no_logs());
}

TEST_F(Download, ReadyTellsWhetherTheMarkerExistsAndClearUnlinksIt)
{
    EXPECT_EQ(post("/4019", "{}").out, kTextHead + "{ \"isOK\": 1 }");
    root.write("/tmp/pbdownload", "");
    EXPECT_EQ(post("/4019", "{}").out, kTextHead + "{ \"isOK\": 0 }");
    EXPECT_EQ(post("/4019", "not json").out, "");

    CgiRequest req;
    req.method = "POST";
    req.path = "/4027";
    req.body = "ignored";
    req.content_type = "application/json";
    req.env = {{"PATH", root.path() + "/nothing"}};  // no shell tool to be found
    for (int i = 0; i < 2; i++) {  // the same answer without a marker
        core.clear();
        EXPECT_EQ(run_cgi(root.path(), req).out, kTextHead + "OK");
        EXPECT_FALSE(root.exists("/tmp/pbdownload"));
        ASSERT_TRUE(core.wait_for(REQ_DOWNLOAD_CLEAR, 1));
        EXPECT_EQ(sent(REQ_DOWNLOAD_CLEAR)[0].payload, "");
    }
}

// ---- whole downloads from coresim ----

// Frames above 614400 bytes go out in chunks; the end chunk ends the wait.
TEST(DownloadSimulated, CoresimSplitsLargeFramesIntoChunks)
{
    ScratchRoot root;
    std::string big("\0\0\0\1\x09\xF0\0\0\1\x65\x88", 11), small("\0\0\0\1\x09\xF0\0\0\1\x41\x9A", 11);
    big.resize(700000, '\xAB');  // an IDR picture
    small.resize(1000, '\xCD');
    root.write("/clip.h264", big + small);
    CoresimProcess sim(root.path(), {{"CORESIM_CLIP", root.at("/clip.h264")}});
    ASSERT_TRUE(sim.running());
    CgiResult r = download(root.path(), R"({"id":2,"streamType":0,)"
                                        R"("startTime":"2019-05-01T10:00:00Z","endTime":"2019-05-01T10:00:01Z"})");
    std::vector<std::string> want;
    for (int i = 0; i < 25; i++)
        want.push_back(i % 2 ? small : big);
    EXPECT_TRUE(frames_are(movi_frames(reply_body(r.out)), want));
    EXPECT_LT(r.seconds, 20);
}

TEST(DownloadSimulated, FiftyMebibytesFromCoresimOpenInFfprobe)
{
    ScratchRoot root;
    Clip clip;
    ASSERT_TRUE(clip_load((source_dir() + "/" CLIP_PATH).c_str(), &clip));
    CoresimProcess sim(root.path());
    ASSERT_TRUE(sim.running());
    // Two hours at the clip's 25 frames a second.
    const size_t frames = 2 * 3600 * CLIP_FPS;
    size_t total = 0;
    for (size_t i = 0; i < frames; i++)
        total += clip.frames[i % clip.frames.size()].size;
    ASSERT_GE(total, 50u << 20) << "the clip got smaller: ask for a longer stretch";

    download(root.path(), R"({"id":0,"streamType":0,"startTime":"2019-05-01T10:00:00Z","endTime":"2019-05-01T12:00:00Z"})",
             root.at("/download.out"));
    const std::string out = root.read("/download.out");
    const std::string head = reply_head(out);
    EXPECT_EQ(head.compare(0, 39, "Content-Type:application/octet-stream\r\n"), 0);
    const std::string avi = out.substr(head.size());
    EXPECT_GE(avi.size(), total);
    std::vector<std::string> written = movi_frames(avi);
    ASSERT_EQ(written.size(), frames);
    for (size_t i = 0; i < frames; i += 997) {
        const ClipFrame& f = clip.frames[i % clip.frames.size()];
        ASSERT_TRUE(written[i] == std::string((const char*)clip.data.data() + f.offset, f.size)) << i;
    }
    root.write("/download.avi", avi);
    FILE* p = popen(("ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=codec_name,width,height,"
                     "nb_read_packets:format=nb_streams,duration -of csv=p=0 '" + root.at("/download.avi") + "'").c_str(), "r");
    char line[2][256] = {};
    ASSERT_TRUE(p && fgets(line[0], sizeof line[0], p) && fgets(line[1], sizeof line[1], p));
    pclose(p);
    EXPECT_EQ(std::string(line[0]), "h264," + std::to_string(CLIP_WIDTH) + "," + std::to_string(CLIP_HEIGHT) + "," +
                                        std::to_string(frames) + "\n");
    EXPECT_EQ(std::string(line[1], 2), "1,");  // one stream
    EXPECT_NEAR(atof(line[1] + 2), 7200.0, 0.1);
}

}  // namespace
