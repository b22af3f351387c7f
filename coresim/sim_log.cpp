// Device log store: the operation-log records the CGI sends, and event,
// information, exception and debug entries of the simulated device. Answers
// searches page by page, the detail text of one entry, and exports to a
// file under the device root. Bounded: the oldest entries go first.
// CORESIM_LOG_ENTRIES sets how many simulated entries the log starts with
// (default 48, spread over the two days before the first log request).
// CORESIM_EXPORT_KEEP names a path that gets a hard link to each export
// file, so that a benchmark can read the file the CGI removes.
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/devpath.h"
#include "core/oplog.h"
#include "coresim/coresim.h"
#include "modules/system/system_log.h"
#include "modules/video/video_records.h"
#include "platform/trans.h"

namespace {

enum { LOG_CAPACITY = 100000, SEED_DEFAULT = 48, SEED_SPAN_SECONDS = 2 * 24 * 3600 };

std::mutex g_mu;
std::deque<OperationLogRecord> g_log;  // oldest first
std::once_flag g_seeded;
int g_export_seq;

// Caller holds g_mu.
void keep(const OperationLogRecord& record)
{
    if (g_log.size() >= LOG_CAPACITY)
        g_log.pop_front();
    g_log.push_back(record);
}

int64_t sub_type_of(const OperationLogRecord& r)
{
    return (int64_t)(uint32_t)r.sub_type | (int64_t)r.sub_type_high << 32;
}

// ---- simulated entries -----------------------------------------------------

struct SeedKind {
    int main_type;
    int sub_type;
    int parameter;
    bool channel;  // object is a channel (else a disk, or none)
    int disk;
    const char* user;
    const char* ip;
    const char* detail;
};

const SeedKind kSeedKinds[] = {
    {LOG_TYPE_OPERATION, 101, 0, false, 0, "", "", "recorder started"},
    {LOG_TYPE_INFORMATION, 516, 0, false, 0, "", "", ""},
    {LOG_TYPE_INFORMATION, 500, 0, false, 1, "", "", "disk 1 normal, 2 TB"},
    {LOG_TYPE_INFORMATION, 504, 0, true, 0, "", "", "camera connected"},
    {LOG_TYPE_EVENT, 11, 0, true, 0, "", "", "motion in area 1"},
    {LOG_TYPE_OPERATION, 104, 900, false, 0, "admin", "", ""},
    {LOG_TYPE_EVENT, 13, 0, true, 0, "", "", "alarm input 1 closed"},
    {LOG_TYPE_INFORMATION, 502, 0, true, 0, "", "", "schedule"},
    {LOG_TYPE_EXCEPTION, 403, 0, false, 0, "", "", "eth0 link down"},
    {LOG_TYPE_EVENT, 12, 0, true, 0, "", "", "no signal"},
    {LOG_TYPE_OPERATION, 201, 900, false, 0, "admin", "192.168.1.20", ""},
    {LOG_TYPE_INFORMATION, 505, 0, true, 0, "", "", "camera not answering"},
    {LOG_TYPE_EVENT, 17, 0, true, 0, "", "", "line 1, A to B"},
    {LOG_TYPE_EXCEPTION, 401, 0, false, 2, "", "", "read error at sector 81920"},
    {LOG_TYPE_DEBUG, 600, 0, false, 0, "", "", ""},
    {LOG_TYPE_OPERATION, 206, 904, true, 0, "admin", "::ffff:192.168.1.21", ""},
};

void seed_simulation()
{
    const char* text = getenv("CORESIM_LOG_ENTRIES");
    long n = text && *text ? strtol(text, nullptr, 10) : (long)SEED_DEFAULT;
    if (n < 0 || n > LOG_CAPACITY)
        n = n < 0 ? 0 : LOG_CAPACITY;
    const int64_t now = (int64_t)time(nullptr);
    const int kinds = (int)(sizeof kSeedKinds / sizeof kSeedKinds[0]);
    uint32_t random = 12345;  // fixed: the same device log on every start
    std::lock_guard<std::mutex> lock(g_mu);
    for (long i = 0; i < n; i++) {
        const SeedKind& k = kSeedKinds[i % kinds];
        random = random * 1103515245u + 12345u;
        OperationLogRecord r;
        memset(&r, 0, sizeof r);
        r.main_type = k.main_type;
        r.sub_type = k.sub_type;
        r.time = (int32_t)(now - (int64_t)(n - i) * SEED_SPAN_SECONDS / n);
        r.parameter = k.parameter;
        r.remote = k.ip[0] ? 1 : 0;
        r.chan_no = k.channel ? (int)(random >> 16) % 4 + 1 : k.disk;
        wire_text(r.ip, k.ip);
        wire_text(r.user, k.user);
        size_t len = strlen(k.detail);
        memcpy(r.detail, k.detail, len);
        r.size = (int32_t)len;
        keep(r);
    }
}

void seed_once()
{
    std::call_once(g_seeded, seed_simulation);
}

// ---- detail text -----------------------------------------------------------

struct Text {
    char* out;
    size_t size;
    size_t n = 0;
    void add(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (n + 1 >= size)
            return;
        va_list args;
        va_start(args, format);
        int w = vsnprintf(out + n, size - n, format, args);
        va_end(args);
        if (w > 0)
            n = n + (size_t)w < size ? n + (size_t)w : size - 1;
    }
};

// Detail bytes that hold a short printable text.
bool printable_detail(const OperationLogRecord& r, size_t* len)
{
    size_t n = strnlen((const char*)r.detail, sizeof r.detail);
    if (n == 0 || n == sizeof r.detail)
        return false;
    for (size_t i = 0; i < n; i++)
        if (r.detail[i] < 0x20 || r.detail[i] > 0x7e)
            return false;
    *len = n;
    return true;
}

// The text the device keeps for an entry; entries without anything to say
// (debug entries without detail) have none.
void describe(const OperationLogRecord& r, char* out, size_t size)
{
    out[0] = '\0';
    if (r.main_type == LOG_TYPE_DEBUG && r.size == 0)
        return;
    Text t{out, size};
    char sub[128], parameter[128];
    trans_get_value((int)sub_type_of(r), sub, sizeof sub);
    trans_get_value(r.parameter, parameter, sizeof parameter);
    t.add("%s", sub);
    if (parameter[0])
        t.add(" (%s)", parameter);
    if (r.chan_no > 0)
        t.add(log_channo_is_disk(r.main_type, (int)sub_type_of(r)) ? ", disk %d" : ", channel %d", r.chan_no);
    if (r.user[0])
        t.add(", by %.*s", (int)wire_strlen(r.user), r.user);
    if (r.ip[0])
        t.add(" from %.*s", (int)wire_strlen(r.ip), r.ip);
    size_t len = 0;
    if (printable_detail(r, &len))
        t.add(": %.*s", (int)len, (const char*)r.detail);
    else if (r.size > 0)
        t.add(", %d bytes of detail", r.size);
}

// ---- search ----------------------------------------------------------------

bool matches(const OperationLogRecord& r, const log_search_query& q)
{
    if (r.time < q.start_time || r.time > q.end_time)
        return false;
    if (q.main_type != LOG_TYPE_ALL && (r.main_type & q.main_type) == 0)
        return false;
    int count = q.sub_type_count < 0 ? 0 : q.sub_type_count > LOG_QUERY_MAX_SUB_TYPES ? LOG_QUERY_MAX_SUB_TYPES
                                                                                       : q.sub_type_count;
    if (count > 0 && q.sub_types[0] != LOG_SUB_TYPE_ALL) {
        const int64_t sub = sub_type_of(r);
        bool listed = false;
        for (int i = 0; i < count && !listed; i++)
            listed = q.sub_types[i] == sub;
        if (!listed)
            return false;
    }
    // Channel entries need their bit; the others (no channel, or a disk
    // number) need the no-channel flag.
    bool channel = r.chan_no >= 1 && r.chan_no <= 64 && !log_channo_is_disk(r.main_type, (int)sub_type_of(r));
    if (channel)
        return (q.channel_mask >> (r.chan_no - 1)) & 1;
    return q.no_channel != 0;
}

void on_operation_log(const SimRequest& request, SimReply&)
{
    OperationLogRecord record;
    if (!request.as(&record))
        return;
    seed_once();
    record.time = (int32_t)time(nullptr);  // the core service stamps entries
    std::lock_guard<std::mutex> lock(g_mu);
    keep(record);
    sim_log("log: sub type %d parameter %d object %d user '%.63s' from %.45s", record.sub_type,
            record.parameter, record.chan_no, record.user, record.ip);
}

// One entry for a channel set: kept once per channel, so that a search by
// channel finds it.
void on_operation_log_channels(const SimRequest& request, SimReply&)
{
    operation_log_channels entry;
    if (!request.as(&entry))
        return;
    seed_once();
    entry.record.time = (int32_t)time(nullptr);
    std::lock_guard<std::mutex> lock(g_mu);
    for (int c = 0; c < VIDEO_CHANNELS; c++) {
        if (!(entry.channels >> c & 1))
            continue;
        entry.record.chan_no = c + 1;
        keep(entry.record);
    }
    sim_log("log: sub type %d parameter %d channels 0x%llx user '%.63s'", entry.record.sub_type,
            entry.record.parameter, (unsigned long long)entry.channels, entry.record.user);
}

void on_log_search(const SimRequest& request, SimReply& reply)
{
    log_search_query query;
    if (!request.as(&query))
        return;
    seed_once();
    static log_search_page page;  // 67 KB, one search at a time
    static std::mutex page_mu;
    std::lock_guard<std::mutex> page_lock(page_mu);
    memset(&page, 0, sizeof page);
    const int64_t first = (int64_t)(query.page < 1 ? 0 : query.page - 1) * LOG_PAGE_ENTRIES;
    int64_t seen = 0;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        for (const OperationLogRecord& r : g_log) {
            if (!matches(r, query))
                continue;
            if (seen >= first && page.num < LOG_PAGE_ENTRIES)
                page.records[page.num++] = r;
            seen++;
        }
    }
    page.count = (int32_t)seen;
    sim_log("log search: main type %d, page %d: %d of %d", query.main_type, query.page, page.num, page.count);
    reply.send(&page, sizeof page);
}

void on_log_detail(const SimRequest& request, SimReply& reply)
{
    OperationLogRecord record;
    if (!request.as(&record))
        return;
    char text[LOG_EXPORT_DETAIL_SIZE];
    describe(record, text, sizeof text);
    reply.send(text, strlen(text));
}

bool pwrite_all(int fd, const void* data, size_t size, off_t at)
{
    const char* p = (const char*)data;
    while (size > 0) {
        ssize_t n = pwrite(fd, p, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= (size_t)n;
        at += n;
    }
    return true;
}

void on_log_export(const SimRequest& request, SimReply& reply)
{
    log_search_query query;
    if (!request.as(&query))
        return;
    seed_once();
    static std::mutex export_mu;  // one export at a time: they share `entry`
    std::lock_guard<std::mutex> export_lock(export_mu);
    log_export_reply answer;
    memset(&answer, 0, sizeof answer);
    mkdir(device_path("/tmp/log").c_str(), 0755);
    char name[sizeof answer.path];
    {
        std::lock_guard<std::mutex> lock(g_mu);
        snprintf(name, sizeof name, "/tmp/log/export_%d_%d.dat", (int)getpid(), ++g_export_seq);
    }
    int fd = open(device_path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        answer.result = -1;
        reply.send(&answer, sizeof answer);
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    // Each entry is written up to the end of its text; the padding after it
    // stays a hole of the file, which reads as zeros.
    static log_export_entry entry;
    int32_t count = 0;
    bool ok = true;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        for (const OperationLogRecord& r : g_log) {
            if (!matches(r, query))
                continue;
            entry.record = r;
            describe(r, entry.detail, sizeof entry.detail);
            size_t used = sizeof entry.record + strlen(entry.detail) + 1;
            ok = ok && pwrite_all(fd, &entry, used, LOG_EXPORT_HEAD_SIZE + (off_t)count * (off_t)sizeof entry);
            count++;
        }
    }
    ok = ok && pwrite_all(fd, &count, sizeof count, 0) &&
         ftruncate(fd, LOG_EXPORT_HEAD_SIZE + (off_t)count * (off_t)sizeof entry) == 0;
    ok = close(fd) == 0 && ok;
    answer.result = ok ? 0 : -1;
    if (const char* keep = getenv("CORESIM_EXPORT_KEEP"))
        (void)!link(device_path(name).c_str(), keep);
    wire_text(answer.path, name);
    sim_log("log export: %d entries to %s in %.0f ms", count, name,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    reply.send(&answer, sizeof answer);
}

const SimEntry kLog[] = {
    {REQ_OPERATION_LOG, on_operation_log, "keep an operation-log record"},
    {REQ_OPERATION_LOG_CHANNELS, on_operation_log_channels, "keep a log record for a channel set"},
    {REQ_LOG_DETAIL, on_log_detail, "detail text of one log entry"},
    {REQ_LOG_EXPORT, on_log_export, "export a log search to a file"},
    {REQ_LOG_SEARCH, on_log_search, "one page of a log search"},
};

}  // namespace

const SimEntry* sim_log_table(int* count)
{
    *count = (int)(sizeof kLog / sizeof kLog[0]);
    return kLog;
}
