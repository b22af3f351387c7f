// Simulated playback and live view: every channel recorded over the last
// three days as its recording settings say, with a few gaps; searches keep
// their sections for paging; playback sessions play on with wall time at their speed; live
// streams, image values, stream addresses and transcoding per channel.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "platform/devpath.h"
#include "coresim/coresim.h"
#include "modules/playback/playback_records.h"
#include "platform/vxdb.h"

namespace {

enum {
    SIM_DAYS = 3,
    SIM_PAGE = 32,          // sections per search answer
    SIM_MAX_SESSIONS = 16,  // more playing sessions: busy
    SIM_FIRST_MASK_SESSION = 1000,
    RTSP_PORT = 554,
    RTSP_EXTERNAL_PORT = 10554,
    HTTP_EXTERNAL_PORT = 10080,
    DDNS_HTTP_PORT = 80,
};

struct Section {
    int channel;
    int64_t start;
    int64_t end;  // last second
    int type;
    int lock;
};

// Position = base + (wall time since `since`) * rate, within [first, last].
struct Session {
    int channel = 0;
    double base = 0;
    double rate = 1;  // playing speed, signed by direction
    bool paused = false;
    int64_t first = 0;
    int64_t last = 0;
    double since = 0;
};

struct Playback {
    std::mutex mu;
    int next_search = 1;
    int next_mask_session = SIM_FIRST_MASK_SESSION;
    std::map<int, std::vector<Section>> searches;
    std::map<int, Session> sessions;
    std::map<int, image_adjust> images;
    std::map<std::pair<int, int>, int> transcoding;
    std::set<std::pair<int, int>> live;  // channel, stream type
} g;

double wall_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

int channel_count()
{
    int n = get_param_int(VXDB_MAIN, "max_cameras", 16);
    return sim_count(n, PLAYBACK_MAX_ENTRIES);
}

uint32_t mix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// The sections of hour `hour` (hours since the epoch) of a channel: what its
// recording settings record in that hour (sim_record.cpp), except that about
// one hour in nine is lost; some sections are locked.
std::vector<Section> hour_sections(int channel, int64_t hour, int64_t now)
{
    std::vector<Section> out;
    if (channel < 0 || channel >= channel_count())
        return out;
    int64_t start = hour * 3600;
    if (start > now || start + 3600 <= now - (int64_t)SIM_DAYS * 86400)
        return out;
    uint32_t h = mix((uint32_t)channel * 7919U + (uint32_t)hour);
    if (h % 9 == 0)
        return out;
    std::vector<SimRecording> plan;
    sim_record_plan(channel, start, start + 3600, h, &plan);
    for (const SimRecording& p : plan) {
        Section s;
        s.channel = channel;
        s.start = p.start;
        s.end = p.end - 1 < now ? p.end - 1 : now;
        s.type = p.type;
        s.lock = h % 13 == 0 ? 1 : 0;
        if (s.start <= s.end)
            out.push_back(s);
    }
    return out;
}

// Sections of a channel that overlap [from, to], cut to it.
std::vector<Section> sections_in(int channel, int64_t from, int64_t to)
{
    std::vector<Section> out;
    int64_t now = (int64_t)wall_now();
    if (from < now - (int64_t)SIM_DAYS * 86400)
        from = now - (int64_t)SIM_DAYS * 86400;
    if (to > now)
        to = now;
    for (int64_t hour = from / 3600; from <= to && hour <= to / 3600; hour++) {
        for (Section s : hour_sections(channel, hour, now)) {
            if (s.start < from)
                s.start = from;
            if (s.end > to)
                s.end = to;
            if (s.start <= s.end)
                out.push_back(s);
        }
    }
    return out;
}

bool recorded_at(int channel, int64_t t)
{
    for (const Section& s : hour_sections(channel, t / 3600, (int64_t)wall_now()))
        if (t >= s.start && t <= s.end)
            return true;
    return false;
}

// "Y-M-D h:m:s" (any one separator between date and time) in local time.
template <size_t N>
bool parse_time(const char (&field)[N], int64_t* out)
{
    char text[N + 1];
    memcpy(text, field, N);
    text[N] = '\0';
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    if (sscanf(text, "%d-%d-%d%*c%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
               &tm.tm_sec) != 6)
        return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    if (t == (time_t)-1)
        return false;
    *out = (int64_t)t;
    return true;
}

template <size_t N>
void format_time(int64_t seconds, char (&out)[N])
{
    time_t t = (time_t)seconds;
    struct tm tm;
    memset(out, 0, N);
    if (localtime_r(&t, &tm))
        strftime(out, N, "%Y-%m-%d %H:%M:%S", &tm);
}

double position(const Session& s, double now)
{
    double p = s.paused ? s.base : s.base + (now - s.since) * s.rate;
    return p < (double)s.first ? (double)s.first : p > (double)s.last ? (double)s.last : p;
}

// Freezes the position so that a change of speed or pause starts from it.
void rebase(Session& s, double now)
{
    s.base = position(s, now);
    s.since = now;
}

Session* find_session(int id)
{
    auto it = g.sessions.find(id);
    return it == g.sessions.end() ? nullptr : &it->second;
}

void close_id(int id)
{
    g.sessions.erase(id);
    g.searches.erase(id);
}

int list_count(const session_list& list)
{
    return sim_count(list.count, PLAYBACK_MAX_ENTRIES);
}

// Speed words: n > 1 plays n times as fast, n < 0 plays at 1/|n|, else 1.
double speed_of(int32_t word)
{
    return word > 1 ? (double)word : word < 0 ? 1.0 / -(double)word : 1.0;
}

void set_rate(Session& s, double speed, double now)
{
    rebase(s, now);
    s.rate = s.rate < 0 ? -speed : speed;
    s.paused = false;
}

void send_page(SimReply& reply, int code, const std::vector<Section>& all, int search, int page)
{
    std::vector<search_section> out;
    size_t first = (size_t)(page < 1 ? 0 : page - 1) * SIM_PAGE;
    for (size_t i = first; i < all.size() && i < first + SIM_PAGE; i++) {
        search_section r;
        memset(&r, 0, sizeof r);
        r.channel = all[i].channel;
        r.sid = search;
        r.lock = all[i].lock;
        r.record_type = all[i].type;
        format_time(all[i].start, r.start);
        format_time(all[i].end, r.end);
        out.push_back(r);
    }
    reply.send_code(code, out.data(), out.size() * sizeof(search_section));
}

// ---- requests --------------------------------------------------------------

void on_search(const SimRequest& request, SimReply& reply)
{
    search_request search;
    if (!request.as(&search))
        return;
    int channel = -1;
    for (int i = 0; i < PLAYBACK_MAX_ENTRIES && channel < 0; i++)
        if (search.channels[i] == '1')
            channel = i;
    int64_t from = 0, to = 0;
    std::vector<Section> found;
    if (channel >= 0 && parse_time(search.start, &from) && parse_time(search.end, &to))
        found = sections_in(channel, from, to);
    std::lock_guard<std::mutex> lock(g.mu);
    // Searches the browser never closed are forgotten, oldest first.
    while (g.searches.size() >= 256)
        g.searches.erase(g.searches.begin());
    int id = g.next_search++;
    g.searches[id] = found;
    send_page(reply, RSP_PLAYBACK_SEARCH, found, id, 1);
}

void on_search_page(const SimRequest& request, SimReply& reply)
{
    search_page page;
    if (!request.as(&page))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    auto it = g.searches.find(page.sid);
    send_page(reply, RSP_PLAYBACK_SEARCH_PAGE, it == g.searches.end() ? std::vector<Section>() : it->second,
              page.sid, page.page);
}

void on_close_list(const SimRequest& request, SimReply&)
{
    session_list list;
    if (!request.as(&list))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    for (int i = 0; i < list_count(list); i++)
        close_id(list.ids[i]);
}

void on_close(const SimRequest& request, SimReply&)
{
    std::lock_guard<std::mutex> lock(g.mu);
    close_id(request.word());
}

void on_start(const SimRequest& request, SimReply& reply)
{
    playback_start start;
    if (!request.as(&start)) {
        reply.send_word(-1);
        return;
    }
    int64_t play = 0, first = 0, last = 0;
    if (start.sid < 0 || !parse_time(start.play, &play) || !recorded_at(start.channel, play)) {
        reply.send_word(-1);
        return;
    }
    if (!parse_time(start.start, &first) || first > play)
        first = play;
    if (!parse_time(start.end, &last) || last < play)
        last = (int64_t)wall_now();
    std::lock_guard<std::mutex> lock(g.mu);
    Session s;
    s.channel = start.channel;
    s.base = (double)play;
    s.first = first;
    s.last = last;
    s.since = wall_now();
    g.sessions[start.sid] = s;
    reply.send_word(0);
}

void on_stream_info(const SimRequest& request, SimReply& reply)
{
    int id = request.word();
    std::lock_guard<std::mutex> lock(g.mu);
    if (!find_session(id)) {
        reply.send(nullptr, 0);
        return;
    }
    stream_info info;
    memset(&info, 0, sizeof info);
    info.session = id;
    info.port = RTSP_PORT;
    info.external_port = RTSP_EXTERNAL_PORT;
    info.external_http_port = HTTP_EXTERNAL_PORT;
    info.ddns_port = RTSP_PORT;
    info.ddns_http_port = DDNS_HTTP_PORT;
    snprintf(info.source_path, sizeof info.source_path, "/playback/%d", id);
    reply.send(&info, sizeof info);
}

void on_play_time(const SimRequest& request, SimReply& reply)
{
    std::lock_guard<std::mutex> lock(g.mu);
    Session* s = find_session(request.word());
    reply.send_word(s ? (int32_t)position(*s, wall_now()) : 0);
}

void on_stop(const SimRequest& request, SimReply& reply)
{
    on_close_list(request, reply);
}

// Runs fn(session, its speed entry, now) on each listed session that exists.
template <typename Fn>
void each_listed(const SimRequest& request, Fn fn)
{
    session_list list;
    if (!request.as(&list))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    double now = wall_now();
    for (int i = 0; i < list_count(list); i++)
        if (Session* s = find_session(list.ids[i]))
            fn(*s, list.speeds[i], now);
}

void on_pause(const SimRequest& request, SimReply&)
{
    each_listed(request, [](Session& s, int32_t, double now) {
        rebase(s, now);
        s.paused = true;
    });
}

void on_resume(const SimRequest& request, SimReply&)
{
    playback_resume resume;
    if (!request.as(&resume))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    if (Session* s = find_session(resume.sid)) {
        double now = wall_now();
        rebase(*s, now);
        double speed = s->rate < 0 ? -s->rate : s->rate;
        s->rate = resume.direction == 1 ? -speed : speed;
        s->paused = false;
    }
}

// One frame of 25 per second, then paused.
void step(Session& s, double now)
{
    rebase(s, now);
    s.paused = true;
    s.base += s.rate < 0 ? -0.04 : 0.04;
    s.base = position(s, now);
}

void on_step(const SimRequest& request, SimReply&)
{
    each_listed(request, [](Session& s, int32_t, double now) { step(s, now); });
}

void on_step_batch(const SimRequest& request, SimReply&)
{
    session_list list;
    if (!request.as(&list))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    double now = wall_now();
    std::set<int> ids(list.ids, list.ids + PLAYBACK_MAX_ENTRIES);
    for (int id : ids)
        if (Session* s = find_session(id))
            step(*s, now);
}

void on_fast(const SimRequest& request, SimReply&)
{
    each_listed(request, [](Session& s, int32_t speed, double now) { set_rate(s, speed_of(speed), now); });
}

void on_slow(const SimRequest& request, SimReply&)
{
    speed_mask slow;
    if (!request.as(&slow))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    double now = wall_now();
    double speed = slow.speed > 1 ? 1.0 / slow.speed : 1.0;
    for (auto& entry : g.sessions)
        if (entry.second.channel >= 0 && entry.second.channel < PLAYBACK_MAX_ENTRIES &&
            slow.mask[entry.second.channel] == '1')
            set_rate(entry.second, speed, now);
}

void on_speed(const SimRequest& request, SimReply&)
{
    speed_mask speed;
    if (!request.as(&speed))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    double now = wall_now();
    for (int id = 0; id < PLAYBACK_MAX_ENTRIES; id++)
        if (speed.mask[id] == '1')
            if (Session* s = find_session(id))
                set_rate(*s, speed_of(speed.speed), now);
}

void on_jump(const SimRequest& request, SimReply& reply)
{
    jump_request jump;
    int64_t when = 0;
    if (!request.as(&jump) || !parse_time(jump.time, &when)) {
        reply.send_word(-1);
        return;
    }
    std::lock_guard<std::mutex> lock(g.mu);
    int count = sim_count(jump.count, PLAYBACK_MAX_ENTRIES);
    bool all = count > 0;
    double now = wall_now();
    for (int i = 0; i < count; i++) {
        Session* s = find_session(jump.sids[i]);
        if (!s) {
            all = false;
            continue;
        }
        if (when < s->first)
            s->first = when;
        if (when > s->last)
            s->last = when;
        s->base = (double)when;
        s->since = now;
    }
    reply.send_word(all ? 0 : -1);
}

void on_mask_start(const SimRequest& request, SimReply& reply)
{
    mask_start start;
    mask_start_reply answer;
    memset(&answer, 0, sizeof answer);
    answer.result = -1;
    if (!request.as(&start)) {
        reply.send_code(RSP_PLAYBACK_MASK_START, &answer, sizeof answer);
        return;
    }
    // mask<k> nonzero selects channel k; the first recorded one plays.
    int channel = -1;
    for (int k = 0; k < 8 && channel < 0; k++)
        if (start.masks[k] != 0 && recorded_at(k, start.seconds))
            channel = k;
    std::lock_guard<std::mutex> lock(g.mu);
    if (channel >= 0) {
        Session s;
        s.channel = channel;
        s.base = start.seconds;
        s.first = start.seconds;
        s.last = (int64_t)wall_now();
        s.since = wall_now();
        answer.session = g.next_mask_session++;
        g.sessions[answer.session] = s;
        format_time(start.seconds, answer.play);
        answer.result = 0;
    }
    reply.send_code(RSP_PLAYBACK_MASK_START, &answer, sizeof answer);
}

void send_transcode_state(SimReply& reply, int32_t channel, int32_t sid, int32_t on)
{
    transcode_state state;
    memset(&state, 0, sizeof state);
    state.channel = channel;
    state.sid = sid;
    state.state = on;
    reply.send(&state, sizeof state);
}

void on_transcode(const SimRequest& request, SimReply& reply)
{
    transcode_request change;
    if (!request.as(&change))
        return;
    const int32_t on = change.mode != 0 ? 1 : 0;
    std::lock_guard<std::mutex> lock(g.mu);
    g.transcoding[{change.channel, change.sid}] = on;
    send_transcode_state(reply, change.channel, change.sid, on);
}

void on_transcode_state(const SimRequest& request, SimReply& reply)
{
    transcode_query query;
    if (!request.as(&query))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    auto it = g.transcoding.find({query.channel, query.sid});
    send_transcode_state(reply, query.channel, query.sid, it == g.transcoding.end() ? 0 : it->second);
}

void on_busy(const SimRequest&, SimReply& reply)
{
    bool downloading = access(device_path("/tmp/pbdownload").c_str(), F_OK) == 0;
    std::lock_guard<std::mutex> lock(g.mu);
    reply.send_word(downloading || g.sessions.size() >= SIM_MAX_SESSIONS ? 1 : 0);
}

// ---- live view ---------------------------------------------------------------

void stream_path(char* out, size_t size, int channel, int stream_type)
{
    snprintf(out, size, "/ch%02d/%s", channel + 1, stream_type == 1 ? "sub" : "main");
}

void on_live_start(const SimRequest& request, SimReply& reply)
{
    live_request live;
    if (!request.as(&live))
        return;
    live_reply answer;
    memset(&answer, 0, sizeof answer);
    answer.channel = live.channel;
    if (live.channel < 0 || live.channel >= channel_count()) {
        answer.result = -1;
        reply.send(&answer, sizeof answer);
        return;
    }
    answer.port = RTSP_PORT;
    answer.direct = live.stream_from;
    stream_path(answer.res_path, sizeof answer.res_path, live.channel, live.stream_type);
    snprintf(answer.rtsp_addr, sizeof answer.rtsp_addr, "rtsp://127.0.0.1:%d%s", RTSP_PORT, answer.res_path);
    std::lock_guard<std::mutex> lock(g.mu);
    g.live.insert({live.channel, live.stream_type});
    reply.send(&answer, sizeof answer);
}

void on_live_stop(const SimRequest& request, SimReply&)
{
    live_request live;
    if (!request.as(&live))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    g.live.erase({live.channel, live.stream_type});
}

void on_live_stop_all(const SimRequest&, SimReply&)
{
    std::lock_guard<std::mutex> lock(g.mu);
    g.live.clear();
}

image_adjust default_image(int channel)
{
    return image_adjust{channel, 128, 128, 128, 128, 0, 0};
}

void on_image_set(const SimRequest& request, SimReply&)
{
    image_adjust image;
    if (!request.as(&image) || image.channel < 0 || image.channel >= channel_count())
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    g.images[image.channel] = image;
}

void on_image_get(const SimRequest& request, SimReply& reply)
{
    int channel = request.word();
    image_reply answer;
    memset(&answer, 0, sizeof answer);
    answer.image.channel = channel;
    if (request.length < 4 || channel < 0 || channel >= channel_count()) {
        answer.result = -1;
        reply.send(&answer, sizeof answer);
        return;
    }
    std::lock_guard<std::mutex> lock(g.mu);
    auto it = g.images.find(channel);
    answer.image = it == g.images.end() ? default_image(channel) : it->second;
    reply.send(&answer, sizeof answer);
}

void fill_stream(rtsp_stream& s, int channel, int stream_type)
{
    s.port = RTSP_PORT;
    s.external_port = RTSP_EXTERNAL_PORT;
    s.ddns_port = RTSP_PORT;
    s.external_http_port = HTTP_EXTERNAL_PORT;
    s.ddns_http_port = DDNS_HTTP_PORT;
    snprintf(s.user, sizeof s.user, "admin");
    stream_path(s.res_path, sizeof s.res_path, channel, stream_type);
}

void on_rtsp_info(const SimRequest&, SimReply& reply)
{
    int n = channel_count();
    std::vector<rtsp_info> list((size_t)n);
    for (int ch = 0; ch < n; ch++) {
        rtsp_info& r = list[(size_t)ch];
        memset(&r, 0, sizeof r);
        snprintf(r.ipc_main, sizeof r.ipc_main, "rtsp://192.168.1.%d:554/stream1", 101 + ch);
        snprintf(r.ipc_sub, sizeof r.ipc_sub, "rtsp://192.168.1.%d:554/stream2", 101 + ch);
        fill_stream(r.main, ch, 0);
        fill_stream(r.sub, ch, 1);
    }
    reply.send(list.data(), list.size() * sizeof(rtsp_info));
}

void on_extern_ports(const SimRequest&, SimReply& reply)
{
    extern_ports ports = {HTTP_EXTERNAL_PORT, DDNS_HTTP_PORT};
    reply.send(&ports, sizeof ports);
}

const SimEntry kPlayback[] = {
    {REQ_PLAYBACK_SEARCH, on_search, "search a channel's recorded sections"},
    {REQ_PLAYBACK_SEARCH_PAGE, on_search_page, "one page of a search"},
    {REQ_PLAYBACK_SEARCH_CLOSE, on_close_list, "close searches and sessions"},
    {REQ_PLAYBACK_CLOSE, on_close, "close one search or session"},
    {REQ_PLAYBACK_START, on_start, "open a playback session"},
    {REQ_PLAYBACK_STREAM_INFO, on_stream_info, "stream of a session"},
    {REQ_PLAYBACK_TIME, on_play_time, "play time of a session"},
    {REQ_PLAYBACK_STOP, on_stop, "stop sessions"},
    {REQ_PLAYBACK_PAUSE, on_pause, "pause sessions"},
    {REQ_PLAYBACK_RESUME, on_resume, "resume a session"},
    {REQ_PLAYBACK_STEP, on_step, "step sessions"},
    {REQ_PLAYBACK_STEP_BATCH, on_step_batch, "step listed sessions"},
    {REQ_PLAYBACK_FAST, on_fast, "speed sessions up"},
    {REQ_PLAYBACK_SLOW, on_slow, "slow a channel's sessions down"},
    {REQ_PLAYBACK_SPEED, on_speed, "set the speed of sessions"},
    {REQ_PLAYBACK_JUMP, on_jump, "jump sessions to a time"},
    {REQ_PLAYBACK_MASK_START, on_mask_start, "open playback of selected channels"},
    {REQ_PLAYBACK_TRANSCODE, on_transcode, "transcode a session"},
    {REQ_PLAYBACK_TRANSCODE_STATE, on_transcode_state, "transcoding state"},
    {REQ_PLAYBACK_BUSY, on_busy, "whether playback is busy"},
    {REQ_LIVE_START, on_live_start, "start a live stream"},
    {REQ_LIVE_STOP, on_live_stop, "stop a live stream"},
    {REQ_LIVE_STOP_ALL, on_live_stop_all, "stop every live stream"},
    {REQ_LIVE_IMAGE_SET, on_image_set, "store a channel's image values"},
    {REQ_LIVE_IMAGE_GET, on_image_get, "a channel's image values"},
    {REQ_LIVE_RTSP_INFO, on_rtsp_info, "stream addresses of every channel"},
    {REQ_EXTERN_PORTS, on_extern_ports, "external ports"},
};

}  // namespace

const SimEntry* sim_playback_table(int* count)
{
    *count = (int)(sizeof kPlayback / sizeof kPlayback[0]);
    return kPlayback;
}
