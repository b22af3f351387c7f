// The AVI download: chunk assembly, the frame queue and its writer thread
// in process; the handler and its marker resources through the CGI; and
// whole downloads from coresim.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/oplog.h"
#include "coresim/clip.h"
#include "modules/playback/playback.h"
#include "modules/playback/remote_backup.h"
#include "platform/vxsocket.h"
#include "platform/vxtask.h"
#include "tests/support/cgi_runner.h"
#include "tests/support/fake_core.h"
#include "tests/support/scratch.h"

namespace {

const std::string kTextHead = "Content-type: text/plain\r\n\r\n";

frame_desc video_desc(int size, bool key = true)
{
    frame_desc d;
    memset(&d, 0, sizeof d);
    d.frame_kind = FRAME_KIND_VIDEO;
    d.codec = FRAME_CODEC_H264;
    d.key_frame = key ? 1 : 0;
    d.width = 320;
    d.height = 240;
    d.frame_rate = 25;
    d.size = size;
    return d;
}

std::string chunk_message(const frame_desc& desc, int offset, int length, const std::string& data)
{
    download_chunk_head head;
    memset(&head, 0, sizeof head);
    head.desc = desc;
    head.offset = offset;
    head.length = length;
    return bytes_of(head) + data;
}

std::string end_message(int length)
{
    return chunk_message(video_desc(0), 0, length, "");
}

// Hands a response to the chunk callback as the dispatcher does (the count
// is the byte length). The message sits in a block of its exact size, so a
// read past it is caught by the address sanitizer.
void feed(const std::string& message)
{
    std::vector<char> exact(message.begin(), message.end());
    on_get_download_playtime_cb((int)exact.size(), exact.data(), (int)exact.size());
}

// A frame's bytes, different for every frame number.
std::string frame_bytes(int size, int number)
{
    std::string s((size_t)size, '\0');
    for (int i = 0; i < size; i++)
        s[(size_t)i] = (char)((i * 7 + number * 131) & 0xFF);
    return s;
}

// Sends a whole frame as chunks of at most 614400 bytes.
void feed_frame(const std::string& data, bool key = true)
{
    const frame_desc desc = video_desc((int)data.size(), key);
    size_t offset = 0;
    do {
        size_t n = std::min(data.size() - offset, (size_t)DOWNLOAD_CHUNK_DATA);
        feed(chunk_message(desc, (int)offset, (int)n, data.substr(offset, n)));
        offset += n;
    } while (offset < data.size());
}

uint32_t le32(const std::string& s, size_t at)
{
    return (uint32_t)(uint8_t)s[at] | (uint32_t)(uint8_t)s[at + 1] << 8 | (uint32_t)(uint8_t)s[at + 2] << 16 |
           (uint32_t)(uint8_t)s[at + 3] << 24;
}

// The video chunks of an AVI's movi list, in file order.
struct MoviFrames {
    bool found = false;
    std::vector<std::string> video;
};

MoviFrames movi_frames(const std::string& avi)
{
    MoviFrames out;
    if (avi.compare(0, 4, "RIFF") != 0 || avi.compare(8, 4, "AVI ") != 0)
        return out;
    size_t at = avi.find("movi");
    if (at == std::string::npos || at < 8 || avi.compare(at - 8, 4, "LIST") != 0)
        return out;
    out.found = true;
    size_t pos = at + 4;
    while (pos + 8 <= avi.size()) {
        std::string fcc = avi.substr(pos, 4);
        uint32_t size = le32(avi, pos + 4);
        if (fcc == "idx1" || pos + 8 + size > avi.size())
            break;
        if (fcc == "00dc")
            out.video.push_back(avi.substr(pos + 8, size));
        pos += 8 + size + (size & 1);
    }
    return out;
}

std::string read_all(FILE* f)
{
    std::string out;
    rewind(f);
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    return out;
}

std::string read_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return std::string();
    std::string out = read_all(f);
    fclose(f);
    return out;
}

remote_backup_stats stats()
{
    remote_backup_stats s;
    remote_backup_get_stats(&s);
    return s;
}

// Polls a condition every 10 ms for up to `ms`.
bool eventually(const std::function<bool()>& condition, int ms = 10000)
{
    for (int waited = 0; waited < ms; waited += 10) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// A download writer on a temporary file; finish() closes it and returns the
// file's bytes.
class FileDownload {
public:
    FileDownload() : file_(tmpfile()), baseline_(vx_mem_in_use()) {}
    ~FileDownload()
    {
        download_writer_close();
        if (file_)
            fclose(file_);
    }
    bool open() { return file_ && download_writer_open(file_) == 0; }
    std::string finish()
    {
        download_writer_close();
        return read_all(file_);
    }
    size_t baseline() const { return baseline_; }

private:
    FILE* file_;
    size_t baseline_;
};

// A download writer on a pipe that the test drains when it chooses: until
// then the writer thread blocks in the AVI writer once the pipe is full.
class PipeDownload {
public:
    PipeDownload()
    {
        if (pipe(fds_) == 0)
            out_ = fdopen(fds_[1], "w");
    }
    ~PipeDownload()
    {
        drain();
        download_writer_close();
        finish_stream();
    }
    bool open() { return out_ && download_writer_open(out_) == 0; }
    void drain()
    {
        if (reader_.joinable() || fds_[0] < 0)
            return;
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
        finish_stream();
        return data_;
    }

private:
    void finish_stream()
    {
        if (out_)
            fclose(out_);
        out_ = nullptr;
        if (reader_.joinable())
            reader_.join();
        if (fds_[0] >= 0)
            close(fds_[0]);
        fds_[0] = -1;
    }

    int fds_[2] = {-1, -1};
    FILE* out_ = nullptr;
    std::thread reader_;
    std::string data_;
};

// ffprobe's answers about the first stream and the file, as key=value.
std::map<std::string, std::string> probe(const std::string& path)
{
    std::map<std::string, std::string> out;
    std::string command = "ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                          "stream=codec_name,nb_read_packets,width,height:format=nb_streams,duration "
                          "-of default=noprint_wrappers=1 '" + path + "' 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        size_t eq = s.find('=');
        if (eq != std::string::npos)
            out[s.substr(0, eq)] = s.substr(eq + 1);
    }
    pclose(p);
    return out;
}

bool have_ffprobe()
{
    static const bool have = system("ffprobe -version >/dev/null 2>&1") == 0;
    return have;
}

// coresim on a seeded scratch root, stopped with SIGTERM.
class Coresim {
public:
    Coresim(const ScratchRoot& root, const std::vector<std::pair<std::string, std::string>>& env = {})
    {
        seeded_ = system(("'" + build_dir() + "/coresim' --seed '" + root.path() + "' >/dev/null").c_str()) == 0;
        log_ = root.path() + "/coresim.log";
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen(log_.c_str(), "w", stderr))
                _exit(126);
            for (const auto& kv : env)
                setenv(kv.first.c_str(), kv.second.c_str(), 1);
            execl((build_dir() + "/coresim").c_str(), "coresim", "--root", root.path().c_str(), (char*)nullptr);
            _exit(127);
        }
        const std::string socket_path = root.at("/var/run/vxsocket");
        for (int i = 0; i < 200 && !up_; i++) {
            int fd = vx_connect_unix(socket_path.c_str());
            if (fd >= 0) {
                close(fd);
                up_ = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    ~Coresim()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status;
            waitpid(pid_, &status, 0);
        }
    }
    bool up() const { return seeded_ && up_; }
    std::string log() const { return read_file(log_); }

private:
    pid_t pid_ = -1;
    bool seeded_ = false;
    bool up_ = false;
    std::string log_;
};

CgiRequest download_request_for(const std::string& body)
{
    CgiRequest r;
    r.method = "POST";
    r.path = "/4013";
    r.content_type = "application/json";
    r.body = body;
    return r;
}

const char kHourBody[] =
    "{\"id\":3,\"streamType\":1,\"startTime\":\"2019-05-01T10:00:00Z\",\"endTime\":\"2019-05-01T11:00:00Z\"}";

}  // namespace

// ---- in process: chunk assembly, queue and writer thread ----

TEST(Download, FrameOfTwoChunksIsQueuedOnce)
{
    FileDownload dl;
    ASSERT_TRUE(dl.open());
    const std::string frame = frame_bytes(700000, 1);
    const frame_desc desc = video_desc(700000);
    feed(chunk_message(desc, 0, 614400, frame.substr(0, 614400)));
    EXPECT_EQ(stats().written_frames, 0);
    EXPECT_EQ(stats().queued_frames, 0) << "half a frame must not be queued";
    feed(chunk_message(desc, 614400, 85600, frame.substr(614400)));
    ASSERT_TRUE(eventually([] { return stats().written_frames == 1; }));
    feed(end_message(DOWNLOAD_CHUNK_END));
    EXPECT_EQ(stats().download_done, 1);

    MoviFrames movi = movi_frames(dl.finish());
    ASSERT_TRUE(movi.found);
    ASSERT_EQ(movi.video.size(), 1u);
    EXPECT_EQ(movi.video[0].size(), 700000u);
    EXPECT_TRUE(movi.video[0] == frame);
    EXPECT_EQ(vx_mem_in_use(), dl.baseline()) << "frame memory not given back";
}

TEST(Download, ChunkWithNonzeroOffsetAndNoFrameIsIgnored)
{
    FileDownload dl;
    ASSERT_TRUE(dl.open());
    feed(chunk_message(video_desc(2000), 1000, 1000, frame_bytes(1000, 9)));
    EXPECT_EQ(vx_mem_in_use(), dl.baseline()) << "nothing may be held for it";
    const std::string frame = frame_bytes(500, 2);
    feed_frame(frame);
    feed(end_message(DOWNLOAD_CHUNK_END));

    MoviFrames movi = movi_frames(dl.finish());
    ASSERT_EQ(movi.video.size(), 1u);
    EXPECT_TRUE(movi.video[0] == frame);
}

TEST(Download, ChunkLengthBeyondTheMessageIsCutToTheBytesReceived)
{
    FileDownload dl;
    ASSERT_TRUE(dl.open());
    // The length claims a full chunk; the message carries 1000 bytes.
    const std::string a = frame_bytes(2000, 3);
    const frame_desc small = video_desc(2000);
    feed(chunk_message(small, 0, DOWNLOAD_CHUNK_DATA, a.substr(0, 1000)));
    EXPECT_EQ(stats().queued_frames + stats().written_frames, 0) << "only 1000 of 2000 bytes came";
    feed(chunk_message(small, 1000, 1000, a.substr(1000)));

    // A message carrying more than one record's data: only the record counts.
    const std::string b = frame_bytes(700000, 4);
    const frame_desc big = video_desc(700000);
    feed(chunk_message(big, 0, 700000, b));
    EXPECT_EQ(stats().queued_frames + stats().written_frames, 1) << "only 614400 of 700000 bytes taken";
    feed(chunk_message(big, 614400, 85600, b.substr(614400)));
    feed(end_message(DOWNLOAD_CHUNK_END));

    MoviFrames movi = movi_frames(dl.finish());
    ASSERT_EQ(movi.video.size(), 2u);
    EXPECT_TRUE(movi.video[0] == a);
    EXPECT_TRUE(movi.video[1] == b);
}

TEST(Download, MalformedChunksAreIgnored)
{
    FileDownload dl;
    ASSERT_TRUE(dl.open());
    const std::string data = frame_bytes(100, 5);
    // Shorter than the 96-byte head.
    feed(chunk_message(video_desc(100), 0, 100, data).substr(0, 95));
    // Chunk lengths below -2.
    feed(chunk_message(video_desc(100), 0, -3, data));
    feed(chunk_message(video_desc(100), 0, -1000000, data));
    // Frame sizes of 0, below 0 and above 10 MiB.
    feed(chunk_message(video_desc(0), 0, 100, data));
    feed(chunk_message(video_desc(-5), 0, 100, data));
    feed(chunk_message(video_desc(DOWNLOAD_MAX_FRAME + 1), 0, 100, data));
    EXPECT_EQ(stats().download_done, 0) << "none of them ends the download";
    EXPECT_EQ(vx_mem_in_use(), dl.baseline()) << "nothing may be allocated for them";
    EXPECT_EQ(remote_backup_task_run_status(), 1);

    const std::string frame = frame_bytes(300, 6);
    feed_frame(frame);
    feed(end_message(DOWNLOAD_CHUNK_END));
    MoviFrames movi = movi_frames(dl.finish());
    ASSERT_EQ(movi.video.size(), 1u);
    EXPECT_TRUE(movi.video[0] == frame);
}

TEST(Download, InterruptionDiscardsQueuedFrames)
{
    PipeDownload dl;
    ASSERT_TRUE(dl.open());
    // Frames 1-5 fit what the AVI writer holds back before its header; at
    // frame 6 it writes the header and blocks on the undrained pipe.
    for (int i = 1; i <= 6; i++)
        feed_frame(frame_bytes(200000, i));
    for (int i = 7; i <= 10; i++)
        feed_frame(frame_bytes(200000, i));
    ASSERT_TRUE(eventually([] { return stats().written_frames == 5 && stats().queued_frames == 4; }))
        << "writer not blocked on frame 6";

    feed(end_message(DOWNLOAD_CHUNK_INTERRUPTED));
    EXPECT_EQ(stats().download_done, 1);
    EXPECT_EQ(remote_backup_task_run_status(), 0);
    std::string avi = dl.finish();

    MoviFrames movi = movi_frames(avi);
    ASSERT_TRUE(movi.found);
    ASSERT_EQ(movi.video.size(), 6u) << "frames 7-10 were queued, not written";
    for (int i = 1; i <= 6; i++)
        EXPECT_TRUE(movi.video[(size_t)i - 1] == frame_bytes(200000, i)) << "frame " << i;
    EXPECT_EQ(stats().queued_frames, 0);
}

TEST(Download, FullQueueMakesTheProducerWaitInsteadOfDropping)
{
    const int frame_size = 1024 * 1024;
    const int frames = 20;
    const size_t baseline = vx_mem_in_use();
    vx_mem_reset_peak();
    PipeDownload dl;
    ASSERT_TRUE(dl.open());
    std::thread producer([&] {
        for (int i = 1; i <= frames; i++)
            feed_frame(frame_bytes(frame_size, i));
        feed(end_message(DOWNLOAD_CHUNK_END));
    });
    // The writer blocks on frame 2; frames 3-12 fill the queue's 10 MiB;
    // frame 13 waits. More than 25 waits of 40 ms is where the frame used to
    // be dropped.
    bool waited = eventually([] { return stats().producer_waits > 30; }, 20000);
    remote_backup_stats during = stats();
    dl.drain();
    producer.join();
    std::string avi = dl.finish();

    ASSERT_TRUE(waited);
    EXPECT_EQ(during.queued_frames, 10);
    EXPECT_LE(during.queued_bytes, DOWNLOAD_QUEUE_LIMIT);
    EXPECT_EQ(stats().dropped_frames, 0);
    // The queue's 10 MiB, the frame waiting to go in and the one the writer
    // has in hand, plus the nodes' heads.
    EXPECT_LE(vx_mem_peak() - baseline, (size_t)DOWNLOAD_QUEUE_LIMIT + 2u * frame_size + 4096u);
    EXPECT_EQ(vx_mem_in_use(), baseline);

    MoviFrames movi = movi_frames(avi);
    ASSERT_EQ(movi.video.size(), (size_t)frames);
    for (int i = 1; i <= frames; i++)
        EXPECT_TRUE(movi.video[(size_t)i - 1] == frame_bytes(frame_size, i)) << "frame " << i;
}

TEST(Download, ChunksWithoutAnOpenWriterEndTheWait)
{
    download_writer_close();
    g_callback_done = 0;
    feed(chunk_message(video_desc(100), 0, 100, frame_bytes(100, 1)));
    EXPECT_EQ(stats().download_done, 1);
    EXPECT_EQ(g_callback_done.load(), 1);
}

TEST(Download, TaskAndAllocatorStandIns)
{
    vx_task_t task;
    std::string name;
    ASSERT_EQ(vx_task_create_join(
                  &task,
                  [](void* arg) -> void* {
                      vx_task_set_name("remote_backup_longer_name");
                      char comm[32] = {0};
                      prctl(PR_GET_NAME, (unsigned long)comm, 0, 0, 0);
                      *(std::string*)arg = comm;
                      return nullptr;
                  },
                  &name, 64 * 1024),
              0);
    EXPECT_EQ(vx_task_join(task), 0);
    EXPECT_EQ(name, "remote_backup_l");

    vx_mutex_t m;
    ASSERT_EQ(vx_mutex_init(&m), 0);
    EXPECT_EQ(vx_mutex_lock(&m), 0);
    EXPECT_EQ(vx_mutex_unlock(&m), 0);
    EXPECT_EQ(vx_mutex_uninit(&m), 0);

    const size_t before = vx_mem_in_use();
    char* a = (char*)__vx_malloc(1000, "test", __LINE__);
    int* b = (int*)__vx_calloc(10, sizeof(int), "test", __LINE__);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ((uintptr_t)a % alignof(max_align_t), 0u);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(b[i], 0);
    EXPECT_EQ(vx_mem_in_use(), before + 1000 + 10 * sizeof(int));
    EXPECT_EQ(__vx_calloc(SIZE_MAX / 2, 4, "test", __LINE__), nullptr) << "size overflow";
    __vx_free(a, "test", __LINE__);
    __vx_free(b, "test", __LINE__);
    __vx_free(nullptr, "test", __LINE__);
    EXPECT_EQ(vx_mem_in_use(), before);
}

// ---- through the CGI with a scripted core service ----

TEST(Download, FileNameHeadersRequestAndLogForAnHour)
{
    ScratchRoot root;
    FakeCore core(root.path());
    core.reply(REQ_DOWNLOAD, end_message(DOWNLOAD_CHUNK_END));
    CgiRequest req = download_request_for(kHourBody);
    req.max_steps = 1000;  // the request's real 40 s wait
    CgiResult r = run_cgi(root.path(), req);

    // TZ is UTC in the runner: the labels' seconds are the epoch times.
    EXPECT_EQ(r.out, "Content-Type:application/octet-stream\r\n"
                     "Content-Disposition: attachment; filename= "
                     "8DDD2019_5_1_10_0_0_1556704800-2019_5_1_11_0_0_1556708400_3.avi\r\n\r\n");
    // Behaviour check, not a timing one: the end chunk ends the wait, where
    // the full wait of request 1173 would take 40 s.
    EXPECT_LT(r.seconds, 20);

    auto asked = core.requests(REQ_DOWNLOAD);
    ASSERT_EQ(asked.size(), 1u);
    ASSERT_EQ(asked[0].payload.size(), sizeof(download_request));
    download_request sent;
    memcpy(&sent, asked[0].payload.data(), sizeof sent);
    EXPECT_EQ(sent.channel, 3);
    EXPECT_EQ(sent.stream_type, 1);
    EXPECT_STREQ(sent.start, "2019-5-1 10:0:0");
    EXPECT_STREQ(sent.end, "2019-5-1 11:0:0");

    auto logs = core.requests(REQ_OPERATION_LOG);
    ASSERT_EQ(logs.size(), 1u);
    OperationLogRecord log;
    ASSERT_EQ(logs[0].payload.size(), sizeof log);
    memcpy(&log, logs[0].payload.data(), sizeof log);
    EXPECT_EQ(log.main_type, 4);
    EXPECT_EQ(log.sub_type, 209);
    EXPECT_EQ(log.parameter, 900);
    EXPECT_EQ(log.chan_no, 4);
}

TEST(Download, InterruptionEndsTheWaitAtOnce)
{
    ScratchRoot root;
    FakeCore core(root.path());
    core.script(REQ_DOWNLOAD, [](const FakeRequest&, FakeResponder& out) {
        const std::string frame = frame_bytes(5000, 1);
        out.send(RSP_DOWNLOAD_CHUNK, chunk_message(video_desc(5000), 0, 5000, frame));
        out.send(RSP_DOWNLOAD_CHUNK, end_message(DOWNLOAD_CHUNK_INTERRUPTED));
    });
    CgiRequest req = download_request_for(kHourBody);
    req.max_steps = 1000;
    CgiResult r = run_cgi(root.path(), req);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Content-Type:application/octet-stream\r\n"), std::string::npos);
    // Behaviour check as above: -2 ends the 40 s wait.
    EXPECT_LT(r.seconds, 20);
}

TEST(Download, DownloadFromScriptedCoreGivesTheFrames)
{
    ScratchRoot root;
    FakeCore core(root.path());
    const std::string big = frame_bytes(700000, 1);
    const std::string small = frame_bytes(3001, 2);
    core.script(REQ_DOWNLOAD, [&](const FakeRequest&, FakeResponder& out) {
        const frame_desc d1 = video_desc(700000);
        out.send(RSP_DOWNLOAD_CHUNK, chunk_message(d1, 0, 614400, big.substr(0, 614400)));
        out.send(RSP_DOWNLOAD_CHUNK, chunk_message(d1, 614400, 85600, big.substr(614400)));
        out.send(RSP_DOWNLOAD_CHUNK, chunk_message(video_desc(3001, false), 0, 3001, small));
        out.send(RSP_DOWNLOAD_CHUNK, end_message(DOWNLOAD_CHUNK_END));
    });
    CgiRequest req = download_request_for(kHourBody);
    req.max_steps = 1000;
    CgiResult r = run_cgi(root.path(), req);
    MoviFrames movi = movi_frames(reply_body(r.out));
    ASSERT_TRUE(movi.found);
    ASSERT_EQ(movi.video.size(), 2u);
    EXPECT_TRUE(movi.video[0] == big);
    EXPECT_TRUE(movi.video[1] == small);
    EXPECT_LT(r.seconds, 20);
}

TEST(Download, BusyNowWithTheMarkerFile)
{
    ScratchRoot root;
    FakeCore core(root.path());
    root.write("/tmp/pbdownload", "");
    CgiResult r = run_cgi(root.path(), download_request_for(kHourBody));
    EXPECT_EQ(r.out, kTextHead + "BUSY NOW");
    EXPECT_TRUE(core.requests(REQ_DOWNLOAD).empty());
    EXPECT_TRUE(core.requests(REQ_OPERATION_LOG).empty());
}

TEST(Download, BadRequestsGiveNoOutput)
{
    ScratchRoot root;
    FakeCore core(root.path());
    const char* bodies[] = {
        "{\"id\":3,\"startTime\":\"yesterday\",\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"id\":3,\"startTime\":\"2019-05-01T10:00:00Z\",\"endTime\":\"2019-05-01 11:00:00\"}",
        "{\"id\":3,\"startTime\":\"2019-13-01T10:00:00Z\",\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"id\":3,\"startTime\":\"2019-05-01T10:00:00Zjunk\",\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"id\":3,\"startTime\":\"\",\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"id\":3,\"startTime\":1556704800,\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"id\":3,\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"id\":8,\"startTime\":\"2019-05-01T10:00:00Z\",\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "{\"startTime\":\"2019-05-01T10:00:00Z\",\"endTime\":\"2019-05-01T11:00:00Z\"}",
        "not json",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        CgiResult r = run_cgi(root.path(), download_request_for(body));
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 0);
    }
    EXPECT_TRUE(core.requests(REQ_DOWNLOAD).empty());
    EXPECT_TRUE(core.requests(REQ_OPERATION_LOG).empty());
}

TEST(Download, ReadyTellsWhetherTheMarkerExists)
{
    ScratchRoot root;
    CgiRequest req;
    req.method = "POST";
    req.path = "/4019";
    req.content_type = "application/json";
    req.body = "{}";
    EXPECT_EQ(run_cgi(root.path(), req).out, kTextHead + "{ \"isOK\": 1 }");
    root.write("/tmp/pbdownload", "");
    EXPECT_EQ(run_cgi(root.path(), req).out, kTextHead + "{ \"isOK\": 0 }");
    req.body = "not json";
    EXPECT_EQ(run_cgi(root.path(), req).out, "");
}

TEST(Download, ClearRemovesTheMarkerWithoutAShell)
{
    ScratchRoot root;
    FakeCore core(root.path());
    root.write("/tmp/pbdownload", "");
    CgiRequest req;
    req.method = "POST";
    req.path = "/4027";
    req.content_type = "application/json";
    req.body = "ignored";
    // No shell tool can be found: only a direct unlink removes the marker.
    req.env = {{"PATH", root.path() + "/nothing"}};
    CgiResult r = run_cgi(root.path(), req);
    EXPECT_EQ(r.out, kTextHead + "OK");
    EXPECT_FALSE(root.exists("/tmp/pbdownload"));
    ASSERT_TRUE(core.wait_for(REQ_DOWNLOAD_CLEAR, 1));
    EXPECT_EQ(core.requests(REQ_DOWNLOAD_CLEAR)[0].payload.size(), 0u);

    // Without a marker it answers the same.
    r = run_cgi(root.path(), req);
    EXPECT_EQ(r.out, kTextHead + "OK");
}

// ---- whole downloads from coresim ----

TEST(Download, CoresimSplitsLargeFramesIntoChunks)
{
    ScratchRoot root;
    // A clip of two frames: a 700000-byte IDR picture and a 1000-byte one.
    std::string big = std::string("\0\0\0\1\x09\xF0", 6) + std::string("\0\0\1\x65\x88", 5);
    big += std::string(700000 - big.size(), '\xAB');
    std::string small = std::string("\0\0\0\1\x09\xF0", 6) + std::string("\0\0\1\x41\x9A", 5);
    small += std::string(1000 - small.size(), '\xCD');
    root.write("/clip.h264", big + small);
    Coresim sim(root, {{"CORESIM_CLIP", root.at("/clip.h264")}});
    ASSERT_TRUE(sim.up());

    // Straight on the socket: the chunks as they are sent.
    int fd = vx_connect_unix(root.at("/var/run/vxsocket").c_str());
    ASSERT_GE(fd, 0);
    download_request ask;
    memset(&ask, 0, sizeof ask);
    ask.channel = 2;
    snprintf(ask.start, sizeof ask.start, "2019-5-1 10:0:0");
    snprintf(ask.end, sizeof ask.end, "2019-5-1 10:0:1");  // 25 frames
    ASSERT_TRUE(vx_write_msg(fd, VX_MSG_REQUEST, 1, REQ_DOWNLOAD, &ask, (int)sizeof ask));
    struct Seen {
        int length, offset, chunk, size, key, sequence;
    };
    std::vector<Seen> seen;
    vx_msg_header h;
    char* payload = nullptr;
    size_t capacity = 0;
    while (vx_read_msg(fd, &h, &payload, &capacity)) {
        ASSERT_EQ(h.code, RSP_DOWNLOAD_CHUNK);
        ASSERT_GE(h.length, (int)sizeof(download_chunk_head));
        download_chunk_head head;
        memcpy(&head, payload, sizeof head);
        seen.push_back({h.length, head.offset, head.length, head.desc.size, head.desc.key_frame, head.desc.sequence});
        if (head.length < 0)
            break;
    }
    free(payload);
    close(fd);
    ASSERT_EQ(seen.size(), 13u * 2 + 12 + 1);
    EXPECT_EQ(seen[0].offset, 0);
    EXPECT_EQ(seen[0].chunk, 614400);
    EXPECT_EQ(seen[0].length, 96 + 614400);
    EXPECT_EQ(seen[0].size, 700000);
    EXPECT_EQ(seen[0].key, 1);
    EXPECT_EQ(seen[1].offset, 614400);
    EXPECT_EQ(seen[1].chunk, 85600);
    EXPECT_EQ(seen[1].length, 96 + 85600);
    EXPECT_EQ(seen[2].offset, 0);
    EXPECT_EQ(seen[2].chunk, 1000);
    EXPECT_EQ(seen[2].size, 1000);
    EXPECT_EQ(seen[2].key, 0);
    EXPECT_EQ(seen[2].sequence, 1);
    EXPECT_EQ(seen.back().chunk, DOWNLOAD_CHUNK_END);

    // Through the CGI: the frames come out whole.
    CgiRequest req = download_request_for(
        "{\"id\":2,\"streamType\":0,\"startTime\":\"2019-05-01T10:00:00Z\",\"endTime\":\"2019-05-01T10:00:01Z\"}");
    req.max_steps = 1000;
    CgiResult r = run_cgi(root.path(), req);
    MoviFrames movi = movi_frames(reply_body(r.out));
    ASSERT_TRUE(movi.found);
    ASSERT_EQ(movi.video.size(), 25u);
    for (size_t i = 0; i < movi.video.size(); i++)
        EXPECT_TRUE(movi.video[i] == (i % 2 == 0 ? big : small)) << "frame " << i;
}

TEST(Download, FiftyMebibytesFromCoresimPlayInFfprobe)
{
    ScratchRoot root;
    Clip clip;
    ASSERT_TRUE(clip_load((source_dir() + "/" CLIP_PATH).c_str(), &clip));
    Coresim sim(root);
    ASSERT_TRUE(sim.up());

    // Two hours at the clip's 25 frames a second.
    const long long frames = 2LL * 3600 * CLIP_FPS;
    long long frame_bytes_total = 0;
    for (long long i = 0; i < frames; i++)
        frame_bytes_total += (long long)clip.frames[(size_t)(i % (long long)clip.frames.size())].size;
    ASSERT_GE(frame_bytes_total, 50LL * 1024 * 1024) << "the clip got smaller: ask for a longer stretch";

    CgiRequest req = download_request_for(
        "{\"id\":0,\"streamType\":0,\"startTime\":\"2019-05-01T10:00:00Z\",\"endTime\":\"2019-05-01T12:00:00Z\"}");
    req.stdout_file = root.path() + "/download.out";
    req.max_steps = 1000;  // the request's real 40 s wait
    req.timeout_seconds = 280;
    using Clock = std::chrono::steady_clock;
    CgiResult r;
    std::atomic<bool> finished{false};
    Clock::time_point cgi_end;
    std::thread runner([&] {
        r = run_cgi(root.path(), req);
        cgi_end = Clock::now();
        finished = true;
    });
    // coresim logs the byte count once its end chunk is out.
    bool end_sent = false;
    Clock::time_point end_sent_at;
    while (!finished) {
        if (!end_sent && sim.log().find(" frames, ") != std::string::npos) {
            end_sent = true;
            end_sent_at = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    runner.join();
    EXPECT_EQ(r.status, 0);
    ASSERT_TRUE(end_sent) << sim.log();
    // Behaviour check, not a timing one: the end chunk ends the wait. Were
    // the full wait of request 1173 kept, the CGI would go on 40 s past it;
    // the time the stream itself takes (the CGI runs at nice 19 and can be
    // slow on a busy machine) does not count here.
    EXPECT_LT(std::chrono::duration<double>(cgi_end - end_sent_at).count(), 20.0);

    std::string out = read_file(req.stdout_file);
    std::string head = reply_head(out);
    EXPECT_EQ(head.compare(0, 39, "Content-Type:application/octet-stream\r\n"), 0);
    const std::string avi_path = root.path() + "/download.avi";
    {
        std::string avi = out.substr(head.size());
        EXPECT_GE((long long)avi.size(), frame_bytes_total);
        MoviFrames movi = movi_frames(avi);
        ASSERT_TRUE(movi.found);
        ASSERT_EQ((long long)movi.video.size(), frames);
        for (long long i = 0; i < frames; i += 997) {
            const ClipFrame& f = clip.frames[(size_t)(i % (long long)clip.frames.size())];
            ASSERT_TRUE(movi.video[(size_t)i] == std::string((const char*)clip.data.data() + f.offset, f.size))
                << "frame " << i;
        }
        FILE* f = fopen(avi_path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(avi.data(), 1, avi.size(), f);
        fclose(f);
    }
    if (!have_ffprobe())
        GTEST_SKIP() << "ffprobe missing";
    auto p = probe(avi_path);
    EXPECT_EQ(p["codec_name"], "h264");
    EXPECT_EQ(p["width"], std::to_string(CLIP_WIDTH));
    EXPECT_EQ(p["height"], std::to_string(CLIP_HEIGHT));
    EXPECT_EQ(p["nb_read_packets"], std::to_string(frames));
    EXPECT_EQ(p["nb_streams"], "1");
    EXPECT_NEAR(atof(p["duration"].c_str()), 7200.0, 0.1);
}
