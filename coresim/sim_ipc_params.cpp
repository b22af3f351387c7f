// Simulated camera parameters: the camera of each bound channel remembers
// its web parameters, watermark, event stream, stream types and audio; its
// capabilities, audio choices, chip code and command results are canned. The camera of an
// unbound channel gives an empty answer.
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "coresim/coresim.h"
#include "modules/ipc/ipc_records.h"
#include "modules/ptz/ptz_records.h"
#include "modules/record/record_records.h"
#include "platform/vxdb.h"

namespace {

const size_t MAX_PARAMS = 256;  // per camera: a page cannot fill coresim's memory

struct CameraParams {
    bool touched = false;  // defaults filled
    ipc_watermark watermark;
    ipc_event_stream event_stream;
    ipc_main_sub_type types;
    ipc_image_enhancement enhancement;
    ipc_image_display display;
    ipc_image_region regions;
    ipc_daynight daynight;
    ipc_audio_info audio;
    std::vector<camera_param_set> params;
};

struct ParamStore {
    std::mutex mu;
    CameraParams cameras[IPC_CHANNELS];
};

ParamStore g;

bool bound(int channel)
{
    if (channel < 0 || channel >= IPC_CHANNELS)
        return false;
    db_camera camera;
    return read_camera(VXDB_MAIN, &camera, channel) == 0 && camera.enable == 1 && camera.address[0] != '\0';
}

void choices(ipc_audio_choices* table, std::initializer_list<int32_t> values)
{
    memset(table, 0, sizeof *table);
    for (int32_t v : values)
        table->values[table->count++] = v;
}

// A camera with a microphone and a speaker, and what its page may choose.
void default_audio(int channel, ipc_audio_info* audio)
{
    memset(audio, 0, sizeof *audio);
    audio->channel = channel;
    audio->support = 1, audio->support_mode = 1, audio->support_input_mode = 1;
    audio->encoding = 0, audio->sample_rate = 8000, audio->input_gain = 50, audio->output_volume = 50;
    audio->audio_bitrate = 64;
    choices(&audio->config, {1, 1, 1});
    choices(&audio->options, {0, 1});
    choices(&audio->encodeValue, {0, 1, 2});
    choices(&audio->sampleRateValue, {8000, 16000});
    choices(&audio->bitrateInfo, {16, 32, 64});
    choices(&audio->sampleRateInfo, {8000, 16000, 48000});
}

// The camera of a channel, with its factory settings on first use; the
// caller holds the lock.
CameraParams& camera_of(int channel)
{
    CameraParams& c = g.cameras[channel];
    if (!c.touched) {
        c.touched = true;
        memset(&c.watermark, 0, sizeof c.watermark);
        c.watermark.channel = channel;
        memset(&c.event_stream, 0, sizeof c.event_stream);
        c.event_stream.channel = channel;
        c.event_stream.framerate = 15, c.event_stream.bitrate = 512, c.event_stream.iframe_interval = 30;
        memset(&c.types, 0, sizeof c.types);
        c.types.channel = channel;
        memset(&c.enhancement, 0, sizeof c.enhancement);
        c.enhancement.id = channel;
        c.enhancement.sdkversion = 1;
        memset(&c.display, 0, sizeof c.display);
        c.display.id = channel;
        c.display.sdkversion = 1;
        strcpy(c.display.productmodel, "SIM-IPC");
        strcpy(c.display.softversion, "V1.0.0-sim");
        memset(&c.regions, 0, sizeof c.regions);
        c.regions.channel = channel;
        c.regions.sdk_version = 1;
        memset(&c.daynight, 0, sizeof c.daynight);
        c.daynight.channel = channel;
        default_audio(channel, &c.audio);
    }
    return c;
}

// The channel of a request, or -1 when its camera cannot answer (the empty
// answer has then been sent).
template <typename T>
int answering_channel(const SimRequest& request, SimReply& reply, T* record)
{
    // Every request here starts with the channel.
    if (!request.as(record) || !bound(request.word(0))) {
        reply.send(nullptr, 0);
        return -1;
    }
    return request.word(0);
}

// A read answers the record the camera keeps: the request is Request (it
// starts with the channel), the answer CameraParams::*member.
template <typename Request, typename Record, Record CameraParams::*member>
void on_kept_get(const SimRequest& request, SimReply& reply)
{
    Request asked;
    const int channel = answering_channel(request, reply, &asked);
    if (channel < 0)
        return;
    Record record;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        record = camera_of(channel).*member;
    }
    reply.send(&record, sizeof record);
}

bool same_param(const camera_param_set& a, const camera_param_set& b)
{
    return a.channel == b.channel && strncmp(a.pagename, b.pagename, sizeof a.pagename) == 0 &&
           strncmp(a.httpname, b.httpname, sizeof a.httpname) == 0 && strncmp(a.key, b.key, sizeof a.key) == 0;
}

void on_param_get(const SimRequest& request, SimReply& reply)
{
    camera_param_set param;
    const int channel = answering_channel(request, reply, &param);
    if (channel < 0)
        return;
    memset(param.value, 0, sizeof param.value);
    param.zero = 0;
    {
        std::lock_guard<std::mutex> lock(g.mu);
        for (const camera_param_set& stored : camera_of(channel).params)
            if (same_param(stored, param))
                memcpy(param.value, stored.value, sizeof param.value);
    }
    reply.send(&param, sizeof param);
}

// Applied to the bound cameras whose copy character is "1".
void on_watermark_set(const SimRequest& request, SimReply& reply)
{
    ipc_watermark_set set;
    if (answering_channel(request, reply, &set) < 0)
        return;
    set.watermark[sizeof set.watermark - 1] = '\0';
    bool targets[IPC_CHANNELS];
    for (int i = 0; i < IPC_CHANNELS; i++)
        targets[i] = set.copy[i] == '1' && bound(i);
    std::lock_guard<std::mutex> lock(g.mu);
    for (int i = 0; i < IPC_CHANNELS; i++) {
        if (!targets[i])
            continue;
        ipc_watermark& w = camera_of(i).watermark;
        w.enable = set.enable;
        memcpy(w.watermark, set.watermark, sizeof w.watermark);
    }
    reply.send_word(0);
}

void on_event_stream_set(const SimRequest& request, SimReply& reply)
{
    ipc_event_stream set;
    const int channel = answering_channel(request, reply, &set);
    if (channel < 0)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    set.zero = 0;
    camera_of(channel).event_stream = set;
    reply.send_word(0);
}

void on_main_sub_type(const SimRequest& request, SimReply& reply)
{
    ipc_main_sub_type set;
    const int channel = answering_channel(request, reply, &set);
    if (channel < 0)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    set.time[sizeof set.time - 1] = '\0';
    camera_of(channel).types = set;
    reply.send_word(0);
}

void on_lpr_night_mode(const SimRequest& request, SimReply& reply)
{
    int32_t channel_word;
    const int channel = answering_channel(request, reply, &channel_word);
    if (channel < 0)
        return;
    ipc_lpr_night_mode mode = {channel, 0};
    reply.send(&mode, sizeof mode);
}

ipc_type_info type_info(int channel)
{
    db_camera camera;
    read_camera(VXDB_MAIN, &camera, channel);
    ipc_type_info info;
    memset(&info, 0, sizeof info);
    info.channel = channel;
    memcpy(info.address, camera.address, sizeof info.address < sizeof camera.address ? sizeof info.address
                                                                                      : sizeof camera.address);
    memcpy(info.model, camera.model, sizeof info.model < sizeof camera.model ? sizeof info.model : sizeof camera.model);
    info.address[sizeof info.address - 1] = info.model[sizeof info.model - 1] = '\0';
    strcpy(info.fw_version, "V1.0.0-sim");
    return info;
}

void on_ipc_type(const SimRequest& request, SimReply& reply)
{
    int32_t channel_word;
    const int channel = answering_channel(request, reply, &channel_word);
    if (channel < 0)
        return;
    const ipc_type_info info = type_info(channel);
    reply.send(&info, sizeof info);
}

// One record per bound channel, none when no camera is bound.
void on_channels_model(const SimRequest&, SimReply& reply)
{
    std::vector<ipc_type_info> list;
    for (int i = 0; i < IPC_CHANNELS; i++)
        if (bound(i))
            list.push_back(type_info(i));
    reply.send(list.data(), list.size() * sizeof(ipc_type_info));
}

// The settings go to the channel's camera and the bound cameras of the mask.
void on_audio_set(const SimRequest& request, SimReply& reply)
{
    ipc_audio_set set;
    const int channel = answering_channel(request, reply, &set);
    if (channel < 0)
        return;
    bool targets[IPC_CHANNELS];
    for (int i = 0; i < IPC_CHANNELS; i++)
        targets[i] = i == channel || (((set.channels >> i) & 1) && bound(i));
    std::lock_guard<std::mutex> lock(g.mu);
    for (int i = 0; i < IPC_CHANNELS; i++) {
        if (!targets[i])
            continue;
        ipc_audio_info& a = camera_of(i).audio;
        a.audio_enable = set.audio_enable, a.audio_mode = set.audio_mode, a.denoise = set.denoise;
        a.encoding = set.encoding, a.sample_rate = set.sample_rate, a.input_gain = set.input_gain;
        a.input_mode = set.input_mode, a.audio_gain_control = set.audio_gain_control;
        a.output_volume = set.output_volume, a.audio_bitrate = set.audio_bitrate;
    }
    reply.send_word(0);
}

void on_system_info(const SimRequest& request, SimReply& reply)
{
    int32_t channel_word;
    if (answering_channel(request, reply, &channel_word) < 0)
        return;
    const ipc_system_info info = {0, 1, 1, 1, 1, 0};
    reply.send(&info, sizeof info);
}

void on_custom_param(const SimRequest& request, SimReply& reply)
{
    ipc_custom_param param;
    const int channel = answering_channel(request, reply, &param);
    if (channel < 0)
        return;
    ipc_custom_param_result result;
    memset(&result, 0, sizeof result);
    result.channel = channel;
    strcpy(result.data, "res=0");
    reply.send(&result, sizeof result);
}

// Live motion: each bound channel sees motion one period in four, the
// channels out of step, so the mask changes every few seconds.
void on_motion_status(const SimRequest&, SimReply& reply)
{
    const int64_t period = (int64_t)time(nullptr) / 3;
    ipc_motion_status status = {0};
    for (int i = 0; i < IPC_CHANNELS; i++)
        if ((period + i) % 4 == 0 && bound(i))
            status.channels |= (uint64_t)1 << i;
    reply.send(&status, sizeof status);
}

// The command text is only logged: nothing is ever run for it.
void on_command(const SimRequest& request, SimReply& reply)
{
    ipc_command command;
    if (!request.as(&command)) {
        reply.send(nullptr, 0);
        return;
    }
    command.command[sizeof command.command - 1] = '\0';
    sim_log("command text for the core service (not run): %s", command.command);
    ipc_command_result result;
    memset(&result, 0, sizeof result);
    strcpy(result.result, "OK");
    reply.send(&result, sizeof result);
}

void on_chip_code(const SimRequest&, SimReply& reply)
{
    ipc_chip_code code;
    memset(&code, 0, sizeof code);
    strcpy(code.chip_code, "SIM-CHIP-0001");
    reply.send(&code, sizeof code);
}

// The values go to every bound camera of the mask; nobody waits for an answer.
void on_enhancement_set(const SimRequest& request, SimReply&)
{
    ipc_image_enhancement_set set;
    if (!request.as(&set))
        return;
    bool targets[IPC_CHANNELS];
    for (int i = 0; i < IPC_CHANNELS; i++)
        targets[i] = ((set.channels >> i) & 1) && bound(i);
    std::lock_guard<std::mutex> lock(g.mu);
    for (int i = 0; i < IPC_CHANNELS; i++) {
        if (!targets[i])
            continue;
        ipc_image_enhancement& e = camera_of(i).enhancement;
#define SIM_COPY_VALUE(name) e.name = set.name;
        IPC_ENHANCEMENT_VALUES(SIM_COPY_VALUE)
        SIM_COPY_VALUE(exposetime) SIM_COPY_VALUE(exposegain) SIM_COPY_VALUE(hlclevel) SIM_COPY_VALUE(enblur)
        SIM_COPY_VALUE(deblur) SIM_COPY_VALUE(lensType) SIM_COPY_VALUE(reduceVideoStuttering)
#undef SIM_COPY_VALUE
    }
}

void on_display_set(const SimRequest& request, SimReply& reply)
{
    ipc_image_display_set set;
    const int channel = answering_channel(request, reply, &set);
    if (channel < 0)
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    ipc_image_display& d = camera_of(channel).display;
#define SIM_COPY_VALUE(name) d.name = set.name;
    IPC_DISPLAY_VALUES(SIM_COPY_VALUE)
#undef SIM_COPY_VALUE
    reply.send_word(0);
}

void on_region_set(const SimRequest& request, SimReply&)
{
    ipc_image_region_set set;
    if (!request.as(&set) || !bound(set.channel))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    ipc_image_region& r = camera_of(set.channel).regions;
    r.enable = set.enable;
    r.count = set.count < 0 ? 0 : set.count > IPC_REGIONS ? IPC_REGIONS : set.count;
    memset(r.areas, 0, sizeof r.areas);
    memcpy(r.areas, set.areas, (size_t)r.count * sizeof r.areas[0]);
}

void on_daynight_set(const SimRequest& request, SimReply&)
{
    ipc_daynight set;
    if (!request.as(&set) || !bound(set.channel))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    set.count = set.count < 0 ? 0 : set.count > IPC_DAYNIGHT_PROFILES ? IPC_DAYNIGHT_PROFILES : set.count;
    memset(set.reserved, 0, sizeof set.reserved);
    camera_of(set.channel).daynight = set;
}

// The area leaves the list; the ones after it move up.
void on_region_delete(const SimRequest& request, SimReply&)
{
    ipc_region_delete del;
    if (!request.as(&del) || !bound(del.channel))
        return;
    std::lock_guard<std::mutex> lock(g.mu);
    ipc_image_region& r = camera_of(del.channel).regions;
    if (del.area_id < 0 || del.area_id >= r.count)
        return;
    memmove(&r.areas[del.area_id], &r.areas[del.area_id + 1], (size_t)(r.count - del.area_id - 1) * sizeof r.areas[0]);
    r.count--;
    memset(&r.areas[r.count], 0, sizeof r.areas[0]);
}

const SimEntry kParams[] = {
    {REQ_IPC_PARAM_GET, on_param_get, "a camera's web parameter: the last one set"},
    {REQ_IPC_WATERMARK_GET, on_kept_get<int32_t, ipc_watermark, &CameraParams::watermark>,
     "a camera's watermark"},
    {REQ_IPC_WATERMARK_SET, on_watermark_set, "the watermark of the cameras of a copy string"},
    {REQ_IPC_EVENT_STREAM_GET, on_kept_get<ipc_event_stream_get, ipc_event_stream, &CameraParams::event_stream>,
     "a camera's event stream"},
    {REQ_IPC_EVENT_STREAM_SET, on_event_stream_set, "store a camera's event stream"},
    {REQ_IPC_LPR_NIGHT_MODE, on_lpr_night_mode, "licence-plate night mode (always 0)"},
    {REQ_IPC_TYPE, on_ipc_type, "address and model of a bound camera"},
    {REQ_IPC_ENHANCEMENT_GET, on_kept_get<int32_t, ipc_image_enhancement, &CameraParams::enhancement>,
     "a camera's image enhancement"},
    {REQ_IPC_ENHANCEMENT_SET, on_enhancement_set, "image enhancement of the cameras of a mask (no answer)"},
    {REQ_IPC_DISPLAY_GET, on_kept_get<int32_t, ipc_image_display, &CameraParams::display>,
     "a camera's image display"},
    {REQ_IPC_DISPLAY_SET, on_display_set, "store a camera's image display"},
    {REQ_IPC_DAYNIGHT_GET, on_kept_get<int32_t, ipc_daynight, &CameraParams::daynight>,
     "a camera's day/night profiles"},
    {REQ_IPC_DAYNIGHT_SET, on_daynight_set, "store a camera's day/night profiles (no answer)"},
    {REQ_IPC_REGION_GET, on_kept_get<int32_t, ipc_image_region, &CameraParams::regions>,
     "a camera's image regions"},
    {REQ_IPC_REGION_SET, on_region_set, "store a camera's image regions (no answer)"},
    {REQ_IPC_REGION_DELETE, on_region_delete, "delete an image region (no answer)"},
    {REQ_IPC_MOTION_STATUS, on_motion_status, "live motion mask of the bound channels"},
    {REQ_IPC_MAIN_SUB_TYPE, on_main_sub_type, "store a camera's stream types"},
    {REQ_IPC_SYSTEM_INFO, on_system_info, "canned capabilities of a camera"},
    {REQ_IPC_CUSTOM_PARAM, on_custom_param, "a canned answer to a custom URL"},
    {REQ_IPC_COMMAND, on_command, "a canned result; the command is never run"},
    {REQ_IPC_CHIP_CODE, on_chip_code, "the recorder's chip code"},
    {REQ_IPC_CHANNELS_MODEL, on_channels_model, "address and model of every bound camera"},
    {REQ_IPC_AUDIO_GET, on_kept_get<int32_t, ipc_audio_info, &CameraParams::audio>,
     "a camera's audio settings and canned choices"},
    {REQ_IPC_AUDIO_SET, on_audio_set, "store the audio of a camera and of its copies"},
};

}  // namespace

// 3226 belongs to the PTZ table, which hands it here so that a read returns
// the last write. It is taken for any channel, bound or not, as the PTZ
// simulation always did: its cameras need no binding.
void sim_ipc_param_set(const SimRequest& request, SimReply& reply)
{
    camera_param_set param;
    if (!request.as(&param) || param.channel < 0 || param.channel >= IPC_CHANNELS) {
        reply.send(nullptr, 0);
        return;
    }
    const int channel = param.channel;
    param.pagename[sizeof param.pagename - 1] = param.httpname[sizeof param.httpname - 1] = '\0';
    param.key[sizeof param.key - 1] = param.value[sizeof param.value - 1] = '\0';
    std::lock_guard<std::mutex> lock(g.mu);
    std::vector<camera_param_set>& params = camera_of(channel).params;
    bool found = false;
    for (camera_param_set& stored : params)
        if (same_param(stored, param))
            stored = param, found = true;
    if (!found && params.size() < MAX_PARAMS)
        params.push_back(param);
    reply.send_word(0);
}

bool sim_ipc_channel_bound(int channel)
{
    return bound(channel);
}

const SimEntry* sim_ipc_params_table(int* count)
{
    *count = (int)(sizeof kParams / sizeof kParams[0]);
    return kParams;
}
