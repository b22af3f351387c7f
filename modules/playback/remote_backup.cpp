// Download of recordings. The core service sends the frames as chunks; the
// delivery thread assembles them into complete frames and queues them; the
// "remote_backup" thread hands queued frames to the AVI writer, which writes
// the file to standard output.
#include "modules/playback/remote_backup.h"

#include <atomic>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "platform/devpath.h"
#include "core/ipc.h"
#include "core/json_util.h"
#include "core/oplog.h"
#include "core/reply.h"
#include "core/request.h"
#include "modules/playback/playback.h"
#include "platform/vxtask.h"

#define RB_MALLOC(size) __vx_malloc((size), "remote_backup", __LINE__)
#define RB_FREE(block) __vx_free((block), "remote_backup", __LINE__)

namespace {

const char MARKER[] = "/tmp/pbdownload";
const int POLL_MS = 40;
const int WRITER_IDLE_POLLS = 1500;
const size_t WRITER_STACK = 64 * 1024;

// A complete frame (or one being assembled); its data follows the node.
struct backup_node {
    frame_desc desc;
    backup_node* next;
};

struct frame_list {
    backup_node* head;
    backup_node* tail;
};

struct remote_backup_ctx_t {
    void* handle;
    std::atomic<int> running;
    vx_task_t thread;
    bool thread_started;
    vx_mutex_t lock;  // guards the queue and its counters
    vx_cond_t changed;  // the queue or a flag changed
    int frames;
    int bytes;
    std::atomic<int> close_requested;
    backup_node* pending;  // owned by the delivery thread until close
    int filled;
    // diagnostics
    std::atomic<int> written;
    std::atomic<int> dropped;
    std::atomic<int> waits;
};

remote_backup_ctx_t remote_backup_ctx;
frame_list backupFrameList;
bool g_lock_ready;

std::atomic<void*> g_download_handle{nullptr};
std::atomic<int> download_done{0};

char* node_data(backup_node* node)
{
    return (char*)(node + 1);
}

// Under the lock.
void free_queued()
{
    while (backupFrameList.head) {
        backup_node* node = backupFrameList.head;
        backupFrameList.head = node->next;
        RB_FREE(node);
    }
    backupFrameList.tail = nullptr;
    remote_backup_ctx.frames = 0;
    remote_backup_ctx.bytes = 0;
}

// Takes the node. While the writer runs a full queue makes the caller wait:
// the delivery thread then stops reading the socket and the core service's
// sends block, so no frame is lost. The queue never holds more than the
// limit; one frame of any allowed size fits an empty queue.
int queue_frame(backup_node* node)
{
    remote_backup_ctx_t& ctx = remote_backup_ctx;
    const int size = node->desc.size;
    node->next = nullptr;
    vx_mutex_lock(&ctx.lock);
    while (ctx.running) {
        if (ctx.frames == 0 || (long long)ctx.bytes + size <= DOWNLOAD_QUEUE_LIMIT) {
            if (backupFrameList.tail)
                backupFrameList.tail->next = node;
            else
                backupFrameList.head = node;
            backupFrameList.tail = node;
            ctx.frames++;
            ctx.bytes += size;
            vx_cond_broadcast(&ctx.changed);
            vx_mutex_unlock(&ctx.lock);
            return 0;
        }
        ctx.waits++;
        vx_cond_wait_ms(&ctx.changed, &ctx.lock, POLL_MS);
    }
    vx_mutex_unlock(&ctx.lock);
    // Nobody would ever take it.
    RB_FREE(node);
    ctx.dropped++;
    return -1;
}

// Polls every 40 ms, but a queued frame or a close request wakes it at once:
// a download must not idle between frames.
void* remote_backup(void*)
{
    vx_task_set_name("remote_backup");
    remote_backup_ctx_t& ctx = remote_backup_ctx;
    // The handler waits for this thread after the request's own wait, so a
    // silent core service costs the idle limit: the test caps shorten it too.
    const int idle_limit = cgi_ipc_env_cap("NVRWEB_IPC_MAX_STEPS", WRITER_IDLE_POLLS);
    int idle = 0;
    vx_mutex_lock(&ctx.lock);
    while (ctx.running) {
        backup_node* node = backupFrameList.head;
        if (node) {
            backupFrameList.head = node->next;
            if (!backupFrameList.head)
                backupFrameList.tail = nullptr;
            ctx.frames--;
            ctx.bytes -= node->desc.size;
            vx_cond_broadcast(&ctx.changed);  // room for a waiting producer
            vx_mutex_unlock(&ctx.lock);
            vx_avi_write_fp_ex(ctx.handle, &node->desc, (int)sizeof node->desc);
            vx_avi_write_fp_ex(ctx.handle, node_data(node), node->desc.size);
            RB_FREE(node);
            ctx.written++;
            idle = 0;
            vx_mutex_lock(&ctx.lock);
            continue;
        }
        if (ctx.close_requested)
            break;
        if (vx_cond_wait_ms(&ctx.changed, &ctx.lock, POLL_MS) != 0 && ++idle > idle_limit)
            break;
    }
    free_queued();
    ctx.running = 0;
    vx_mutex_unlock(&ctx.lock);
    return nullptr;
}

// Wakes the writer and a waiting producer to look at the flags again.
void wake_all()
{
    if (!g_lock_ready)
        return;
    vx_mutex_lock(&remote_backup_ctx.lock);
    vx_cond_broadcast(&remote_backup_ctx.changed);
    vx_mutex_unlock(&remote_backup_ctx.lock);
}

void free_pending()
{
    if (remote_backup_ctx.pending)
        RB_FREE(remote_backup_ctx.pending);
    remote_backup_ctx.pending = nullptr;
    remote_backup_ctx.filled = 0;
}

// "%Y-%m-%dT%H:%M:%SZ" cut to 31 characters, as local time. False when the
// text does not have that form.
bool parse_request_time(const char* text, struct tm* tm, time_t* seconds)
{
    char cut[32];
    snprintf(cut, sizeof cut, "%.31s", text);
    memset(tm, 0, sizeof *tm);
    const char* rest = strptime(cut, "%Y-%m-%dT%H:%M:%SZ", tm);
    if (!rest || *rest != '\0')
        return false;
    tm->tm_isdst = -1;
    *seconds = mktime(tm);
    return *seconds != (time_t)-1;
}

void time_label(char* out, size_t size, const struct tm& tm, time_t seconds)
{
    snprintf(out, size, "%d_%d_%d_%d_%d_%d_%lld", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
             tm.tm_min, tm.tm_sec, (long long)seconds);
}

template <size_t N>
void request_time(char (&field)[N], const struct tm& tm)
{
    snprintf(field, N, "%d-%d-%d %d:%d:%d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
             tm.tm_sec);
}

bool marker_present()
{
    return access(device_path(MARKER).c_str(), F_OK) == 0;
}

FILE* reply_stream()
{
    return request_out();
}

}  // namespace

int remote_backup_vxfs_open(FILE* fp, void** handle)
{
    if (!fp || !handle)
        return -1;
    void* avi = vx_avi_open_fp(fp, handle);
    if (!avi)
        return -1;
    remote_backup_ctx_t& ctx = remote_backup_ctx;
    ctx.handle = nullptr;
    ctx.running = 0;
    ctx.thread_started = false;
    ctx.frames = 0;
    ctx.bytes = 0;
    ctx.close_requested = 0;
    ctx.pending = nullptr;
    ctx.filled = 0;
    ctx.written = 0;
    ctx.dropped = 0;
    ctx.waits = 0;
    backupFrameList.head = backupFrameList.tail = nullptr;
    if (vx_mutex_init(&ctx.lock) != 0) {
        vx_avi_close_fp(avi);
        *handle = nullptr;
        return -1;
    }
    if (vx_cond_init(&ctx.changed) != 0) {
        vx_mutex_uninit(&ctx.lock);
        vx_avi_close_fp(avi);
        *handle = nullptr;
        return -1;
    }
    g_lock_ready = true;
    ctx.running = 1;
    ctx.handle = avi;
    *handle = avi;
    if (vx_task_create_join(&ctx.thread, remote_backup, nullptr, WRITER_STACK) != 0) {
        ctx.running = 0;
        ctx.handle = nullptr;
        vx_cond_uninit(&ctx.changed);
        vx_mutex_uninit(&ctx.lock);
        g_lock_ready = false;
        vx_avi_close_fp(avi);
        *handle = nullptr;
        return -1;
    }
    ctx.thread_started = true;
    return 0;
}

int remote_backup_vxfs_write(const frame_desc* desc, int offset, int length)
{
    remote_backup_ctx_t& ctx = remote_backup_ctx;
    if (!desc || length < 0 || (length > 0 && !desc->data))
        return -1;
    if (offset == 0) {
        const int size = desc->size;
        if (size <= 0 || size > DOWNLOAD_MAX_FRAME)
            return -1;  // ignored: no frame of that size is taken
        free_pending();
        backup_node* node = (backup_node*)RB_MALLOC(sizeof(backup_node) + (size_t)size);
        if (!node)
            return -1;
        node->desc = *desc;
        node->desc.data = (uint64_t)(uintptr_t)node_data(node);
        node->next = nullptr;
        ctx.pending = node;
    }
    backup_node* pending = ctx.pending;
    if (!pending)
        return 0;  // continues no frame that was started
    const int room = pending->desc.size - ctx.filled;
    const int n = length < room ? length : room;
    if (n > 0) {
        memcpy(node_data(pending) + ctx.filled, (const char*)(uintptr_t)desc->data, (size_t)n);
        ctx.filled += n;
    }
    if (ctx.filled < pending->desc.size)
        return 0;
    // Complete: the node itself goes into the queue.
    ctx.pending = nullptr;
    ctx.filled = 0;
    return queue_frame(pending);
}

int remote_backup_vxfs_interrup()
{
    remote_backup_ctx.running = 0;
    wake_all();
    return 0;
}

int remote_backup_vxfs_close(void* handle)
{
    remote_backup_ctx_t& ctx = remote_backup_ctx;
    ctx.close_requested = 1;
    wake_all();
    if (ctx.thread_started) {
        vx_task_join(ctx.thread);
        ctx.thread_started = false;
    }
    if (g_lock_ready) {
        // Frames queued after the thread ended would be lost otherwise.
        vx_mutex_lock(&ctx.lock);
        free_queued();
        vx_mutex_unlock(&ctx.lock);
        vx_cond_uninit(&ctx.changed);
        vx_mutex_uninit(&ctx.lock);
        g_lock_ready = false;
    }
    free_pending();
    ctx.running = 0;
    ctx.handle = nullptr;
    return handle ? vx_avi_close_fp(handle) : -1;
}

int remote_backup_task_run_status()
{
    return remote_backup_ctx.running;
}

int remote_backup_open(FILE*, void**)
{
    return 0;
}

int remote_backup_write(const frame_desc*, int, int)
{
    return 0;
}

int remote_backup_close(void* handle)
{
    return vx_avi_close_fp(handle);
}

int download_writer_open(FILE* out)
{
    void* old = g_download_handle.exchange(nullptr);
    if (old)
        remote_backup_vxfs_close(old);
    void* handle = nullptr;
    if (remote_backup_vxfs_open(out, &handle) != 0)
        return -1;
    g_download_handle = handle;
    download_done = 0;
    return 0;
}

void download_writer_close()
{
    void* handle = g_download_handle.exchange(nullptr);
    if (handle)
        remote_backup_vxfs_close(handle);
}

void remote_backup_get_stats(remote_backup_stats* stats)
{
    remote_backup_ctx_t& ctx = remote_backup_ctx;
    memset(stats, 0, sizeof *stats);
    if (g_lock_ready) {
        vx_mutex_lock(&ctx.lock);
        stats->queued_frames = ctx.frames;
        stats->queued_bytes = ctx.bytes;
        vx_mutex_unlock(&ctx.lock);
    }
    stats->written_frames = ctx.written;
    stats->dropped_frames = ctx.dropped;
    stats->producer_waits = ctx.waits;
    stats->download_done = download_done;
}

namespace {

void on_get_download_playtime_cb(IpcAnswer& answer)
{
    download_chunk_head head;
    // Only the last chunk ends the handler's wait (not 40 s later).
    answer.done = 0;
    if (!answer_record(answer, &head))
        return;
    if (!g_download_handle || head.length == DOWNLOAD_CHUNK_END) {
        download_done = 1;
        answer.done = 1;
        return;
    }
    if (head.length == DOWNLOAD_CHUNK_INTERRUPTED) {
        remote_backup_vxfs_interrup();
        download_done = 1;
        answer.done = 1;
        return;
    }
    if (head.length < 0)
        return;
    // Never past the bytes this message carries, nor past one record.
    int carried = answer.length - (int)sizeof head;
    if (carried > DOWNLOAD_CHUNK_DATA)
        carried = DOWNLOAD_CHUNK_DATA;
    const int chunk = head.length < carried ? head.length : carried;
    frame_desc desc = head.desc;
    desc.data = (uint64_t)(uintptr_t)(answer.payload + sizeof head);
    remote_backup_vxfs_write(&desc, head.offset, chunk);
}

HandlerStatus on_download_playback(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    static const JsonField checks[] = {JSON_CHECK("id", true, 0, 7)};
    const char* start_text = nullptr;
    const char* end_text = nullptr;
    if (!body || !json_check(body.get(), checks) || !json_get_text(body.get(), "startTime", &start_text) ||
        !json_get_text(body.get(), "endTime", &end_text))
        return HANDLER_SILENT;
    if (marker_present()) {
        cgi_writeback_webserver(REPLY_TEXT, "BUSY NOW");
        return HANDLER_DONE;
    }
    int channel = 0, stream_type = 0;
    json_get_int(body.get(), "id", &channel);
    json_get_int(body.get(), "streamType", &stream_type);

    struct tm start_tm, end_tm;
    time_t start_seconds, end_seconds;
    if (!parse_request_time(start_text, &start_tm, &start_seconds) ||
        !parse_request_time(end_text, &end_tm, &end_seconds))
        return HANDLER_SILENT;
    char start_label[96], end_label[96], file_name[256];
    time_label(start_label, sizeof start_label, start_tm, start_seconds);
    time_label(end_label, sizeof end_label, end_tm, end_seconds);
    snprintf(file_name, sizeof file_name, "%lldDDD%s-%s_%d.avi", 1LL << channel, start_label, end_label, channel);
    file_name[127] = '\0';  // the name field's limit

    cgi_write_operation_log(LOG_SUB_REMOTE_PLAYBACK, LOG_PARAM_NONE, oplog_number(channel));

    download_request req;
    memset(&req, 0, sizeof req);
    req.channel = channel;
    req.stream_type = stream_type;
    request_time(req.start, start_tm);
    request_time(req.end, end_tm);

    FILE* out = reply_stream();
    fputs("Content-Type:application/octet-stream\r\n", out);
    fprintf(out, "Content-Disposition: attachment; filename= %s\r\n\r\n", file_name);
    if (nice(19) == -1) {
        // still works at normal priority
    }

    if (download_writer_open(out) == 0) {
        cgi_start_ipc(on_stream_callback, REQ_DOWNLOAD, (int)sizeof req, &req, 0);
        // Past the request's own wait the chunks may still be coming.
        while (!download_done && remote_backup_task_run_status())
            vx_sleep_ms(POLL_MS);
        // The link first: once it is closed no chunk touches the pending
        // frame that the writer's close frees.
        cgi_stop_ipc();
        download_writer_close();
    }
    fflush(out);
    return HANDLER_DONE;
}

HandlerStatus on_get_download_ready(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    json_object* reply = json_object_new_object();
    json_add_int(reply, "isOK", marker_present() ? 0 : 1);
    cgi_writeback_json(REPLY_TEXT, reply);
    return HANDLER_DONE;
}

HandlerStatus on_clear_download(const char*)
{
    // The marker's owner is elsewhere; removing it needs no shell.
    unlink(device_path(MARKER).c_str());
    playback_tell(REQ_DOWNLOAD_CLEAR, nullptr, 0);
    cgi_writeback_webserver(REPLY_TEXT, "OK");
    return HANDLER_DONE;
}

// Response code, record size, fewest whole records, printer. Chunks keep
// coming for the one request until the last.
const IpcResponse kDownloadResponses[] = {
    // Record size 1: the count is the byte length, at least the chunk head.
    {RSP_DOWNLOAD_CHUNK, 1, 96, on_get_download_playtime_cb, REQ_DOWNLOAD, true},
};

// Path, handler, one line of help; the list also declares the handlers.
#define DOWNLOAD_RESOURCES(X) \
    X("/4013", on_download_playback, "download a stretch of recording as AVI") \
    X("/4019", on_get_download_ready, "whether a download may start") \
    X("/4027", on_clear_download, "clear the download marker")

DOWNLOAD_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kDownloadResources[] = {DOWNLOAD_RESOURCES(WEB_RESOURCE_ROW)};

}  // namespace

const WebModulePart playback_download_part = WEB_MODULE_PART("playback", kDownloadResources, kDownloadResponses);
