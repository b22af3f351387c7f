// Camera parameters carried to a channel's camera through the core service:
// each resource is one row (request, payload, answer, field tables) run by
// the routines of ipc_param_table.cpp.
#include "modules/ipc/ipc_param_table.h"

#include <cstddef>
#include <cstring>

#include "core/channels.h"
#include "core/json_util.h"
#include "modules/ptz/ptz_records.h"
#include "modules/video/video_records.h"
#include "platform/vxtask.h"

namespace {

// ---- field tables ----------------------------------------------------------

constexpr JsonField kChannelId[] = {JSON_WORD_CHECKED("id", IPC_CHANNELS - 1)};
constexpr JsonField kChannelChnid[] = {JSON_WORD_CHECKED("chnid", IPC_CHANNELS - 1)};

// The texts are cut to their fields: a 200-character key reaches the camera as 127.
constexpr JsonField kParamGet[] = {
    CHANNEL_FIELD(camera_param_set, channel, "id"),
    JSON_FIELD(camera_param_set, pagename, "pagename", TEXT),
    JSON_FIELD(camera_param_set, httpname, "httpname", TEXT),
    JSON_FIELD(camera_param_set, key, "key", TEXT),
};
constexpr JsonField kParamSet[] = {
    CHANNEL_FIELD(camera_param_set, channel, "id"),
    JSON_FIELD(camera_param_set, pagename, "pagename", TEXT),
    JSON_FIELD(camera_param_set, httpname, "httpname", TEXT),
    JSON_FIELD(camera_param_set, key, "key", TEXT),
    JSON_FIELD(camera_param_set, value, "value", TEXT),
};
constexpr JsonField kParamAnswer[] = {
    JSON_FIELD(camera_param_set, channel, "id", I32),
    JSON_FIELD(camera_param_set, pagename, "pagename", TEXT),
    JSON_FIELD(camera_param_set, httpname, "httpname", TEXT),
    JSON_FIELD(camera_param_set, key, "key", TEXT),
    JSON_FIELD(camera_param_set, value, "value", TEXT),
};
constexpr JsonField kModelType[] = {JSON_WORD("type")};
constexpr JsonField kCommand[] = {JSON_FIELD_CHECKED(ipc_command, command, "cmd", TEXT, true, 0, 0)};
constexpr JsonField kCommandResult[] = {JSON_FIELD(ipc_command_result, result, "result", TEXT)};
constexpr JsonField kChipCode[] = {JSON_FIELD(ipc_chip_code, chip_code, "chip_code", TEXT)};
constexpr JsonField kRegionDeleteFields[] = {
    CHANNEL_FIELD(ipc_region_delete, channel, "chan_id"),
    JSON_FIELD(ipc_region_delete, area_id, "area_id", I32),
};
constexpr JsonField kMainSubType[] = {
    CHANNEL_FIELD(ipc_main_sub_type, channel, "chnid"),
    JSON_FIELD(ipc_main_sub_type, main_type, "mainType", I32),
    JSON_FIELD(ipc_main_sub_type, sub_type, "subType", I32),
    JSON_FIELD(ipc_main_sub_type, time, "time", TEXT),
};
constexpr JsonField kRes[] = {JSON_WORD("res")};
constexpr JsonField kIpcType[] = {
    JSON_FIELD(ipc_type_info, channel, "chnid", I32),
    JSON_FIELD(ipc_type_info, address, "ipaddr", TEXT),
    JSON_FIELD(ipc_type_info, model, "model", TEXT),
    JSON_FIELD(ipc_type_info, fw_version, "fwversion", TEXT),
};
constexpr JsonField kWatermarkSetFields[] = {
    CHANNEL_FIELD(ipc_watermark_set, channel, "chnid"),
    JSON_FIELD(ipc_watermark_set, enable, "enable", I32),
    JSON_FIELD(ipc_watermark_set, watermark, "watermark", TEXT),
    JSON_FIELD(ipc_watermark_set, copy, "copy", TEXT),
};
constexpr JsonField kWatermark[] = {
    JSON_FIELD(ipc_watermark, channel, "chnid", I32),
    JSON_FIELD(ipc_watermark, enable, "enable", I32),
    JSON_FIELD(ipc_watermark, watermark, "watermark", TEXT),
};
constexpr JsonField kEventStreamGet[] = {
    CHANNEL_FIELD(ipc_event_stream_get, channel, "chnid"),
    JSON_FIELD(ipc_event_stream_get, fisheye_type, "fisheyeType", I32),
};
constexpr JsonField kEventStreamSet[] = {
    CHANNEL_FIELD(ipc_event_stream, channel, "chnid"),
    JSON_FIELD(ipc_event_stream, enable, "enable", I32),
    JSON_FIELD(ipc_event_stream, framerate, "framerate", I32),
    JSON_FIELD(ipc_event_stream, bitrate, "bitrate", I32),
    JSON_FIELD(ipc_event_stream, iframe_interval, "iframeinterval", I32),
};
constexpr JsonField kEventStream[] = {
    JSON_FIELD(ipc_event_stream, channel, "chnid", I32),
    JSON_FIELD(ipc_event_stream, enable, "enable", I32),
    JSON_FIELD(ipc_event_stream, framerate, "framerate", I32),
    JSON_FIELD(ipc_event_stream, bitrate, "bitrate", I32),
    JSON_FIELD(ipc_event_stream, iframe_interval, "iframeinterval", I32),
};
constexpr JsonField kLprNightMode[] = {
    JSON_FIELD(ipc_lpr_night_mode, channel, "chnid", I32),
    JSON_FIELD(ipc_lpr_night_mode, night_mode, "nightMode", I32),
};
constexpr JsonField kSystemInfo[] = {
    JSON_FIELD(ipc_system_info, res, "res", I32),
    JSON_FIELD(ipc_system_info, audio_support, "audioSupport", I32),
    JSON_FIELD(ipc_system_info, audio_support_mode, "audioSupportMode", I32),
    JSON_FIELD(ipc_system_info, audio_line_input_support, "audioLineInputSupport", I32),
    JSON_FIELD(ipc_system_info, system_speaker_support, "systemSpeakerSupport", I32),
    JSON_FIELD(ipc_system_info, system_manual_speed_support, "systemManualSpeedSupport", I32),
};
constexpr JsonField kCustomParam[] = {
    CHANNEL_FIELD(ipc_custom_param, channel, "chnid"),
    JSON_FIELD(ipc_custom_param, url, "url", TEXT),
};
constexpr JsonField kCustomParamResult[] = {
    JSON_FIELD(ipc_custom_param_result, res, "res", I32),
    JSON_FIELD(ipc_custom_param_result, channel, "chnid", I32),
    JSON_FIELD(ipc_custom_param_result, data, "data", TEXT),
};

constexpr JsonField kRegionSet[] = {
    CHANNEL_FIELD(ipc_image_region_set, channel, "chnid"),
    JSON_FIELD(ipc_image_region_set, enable, "enable", I32),
};
constexpr JsonField kRegion[] = {
    JSON_FIELD(ipc_image_region, channel, "id", I32),
    JSON_FIELD(ipc_image_region, enable, "enable", I32),
    JSON_FIELD(ipc_image_region, sdk_version, "sdkversion", I32),
};
// "top" was once not read, so every region reached the camera with top 0.
constexpr JsonField kRegionArea[] = {
    JSON_FIELD(ipc_region_area, enable, "enable", I32),
    JSON_FIELD(ipc_region_area, left, "left", I32),
    JSON_FIELD(ipc_region_area, top, "top", I32),
    JSON_FIELD(ipc_region_area, right, "right", I32),
    JSON_FIELD(ipc_region_area, bottom, "bottom", I32),
};
constexpr ParamArray kRegionSetAreas = {"area", "cnt", offsetof(ipc_image_region_set, count),
    offsetof(ipc_image_region_set, areas), IPC_REGIONS, (int)sizeof(ipc_region_area), FIELDS(kRegionArea)};
constexpr ParamArray kRegionAreas = {"area", nullptr, offsetof(ipc_image_region, count), offsetof(ipc_image_region, areas),
    IPC_REGIONS, (int)sizeof(ipc_region_area), FIELDS(kRegionArea)};

#define ENHANCEMENT_FIELD(name) JSON_FIELD(ipc_image_enhancement, name, #name, I32),
#define ENHANCEMENT_SET_FIELD(name) JSON_FIELD(ipc_image_enhancement_set, name, #name, I32),
#define DISPLAY_SET_FIELD(name) JSON_FIELD(ipc_image_display_set, name, #name, I32),
#define DISPLAY_FIELD(name) JSON_FIELD(ipc_image_display, name, #name, I32),
constexpr JsonField kEnhancement[] = {
    JSON_FIELD(ipc_image_enhancement, id, "id", I32),
    IPC_ENHANCEMENT_VALUES(ENHANCEMENT_FIELD) IPC_ENHANCEMENT_READ(ENHANCEMENT_FIELD)
};
constexpr JsonField kEnhancementSet[] = {
    IPC_ENHANCEMENT_VALUES(ENHANCEMENT_SET_FIELD) IPC_ENHANCEMENT_WRITE(ENHANCEMENT_SET_FIELD)
};
constexpr JsonField kDisplaySet[] = {
    CHANNEL_FIELD(ipc_image_display_set, id, "id"),
    IPC_DISPLAY_VALUES(DISPLAY_SET_FIELD) IPC_DISPLAY_WRITE(DISPLAY_SET_FIELD)
};
// In the order the page reads them, not the record's.
constexpr JsonField kDisplay[] = {
    DISPLAY_FIELD(id) DISPLAY_FIELD(colorkiller) DISPLAY_FIELD(modestarthour) DISPLAY_FIELD(modestartminute)
    DISPLAY_FIELD(modestophour) DISPLAY_FIELD(modestopminute) DISPLAY_FIELD(exposurectrl) DISPLAY_FIELD(lighttype)
    DISPLAY_FIELD(mirctrl) DISPLAY_FIELD(localdisplay) DISPLAY_FIELD(ircutaddaytonight)
    DISPLAY_FIELD(ircutadnighttoday) DISPLAY_FIELD(corridormode) DISPLAY_FIELD(imagerotation)
    DISPLAY_FIELD(smartIRType) DISPLAY_FIELD(nearIRLevel) DISPLAY_FIELD(farIRLevel) DISPLAY_FIELD(midIRLevel)
    DISPLAY_FIELD(lencorrect) DISPLAY_FIELD(smartIrMath) DISPLAY_FIELD(smartIrLimit) DISPLAY_FIELD(chipninterface)
    DISPLAY_FIELD(nearSmartirValue) DISPLAY_FIELD(farSmartirValue) DISPLAY_FIELD(midSmartirValue)
    DISPLAY_FIELD(lenCorrectType) DISPLAY_FIELD(fovadjust) DISPLAY_FIELD(sensortype)
    JSON_FIELD(ipc_image_display, productmodel, "productmodel", TEXT),
    JSON_FIELD(ipc_image_display, softversion, "softversion", TEXT),
    DISPLAY_FIELD(smokeddomecover) DISPLAY_FIELD(smartwhitestrength) DISPLAY_FIELD(dnRefocus)
    DISPLAY_FIELD(sdkversion) DISPLAY_FIELD(structuretype) DISPLAY_FIELD(keepCorrectAspectRatio)
    DISPLAY_FIELD(dayNightSens) DISPLAY_FIELD(nightDaySens) DISPLAY_FIELD(zoomLimit)
};

#define PROFILE_FIELD(member, key) JSON_FIELD(ipc_daynight_profile, member, key, I32),
constexpr JsonField kProfile[] = {
    PROFILE_FIELD(enable, "enable") PROFILE_FIELD(start_hour, "startHour") PROFILE_FIELD(start_minute, "startMinute")
    PROFILE_FIELD(end_hour, "endHour") PROFILE_FIELD(end_minute, "endMinute")
    PROFILE_FIELD(exposure_level, "exposureLevel") PROFILE_FIELD(max_shutter, "maxShutter")
    PROFILE_FIELD(min_shutter, "minShutter") PROFILE_FIELD(gain_level, "gainLevel")
    PROFILE_FIELD(ircut_latency, "irCutLatency") PROFILE_FIELD(ircut_state, "irCutState")
    PROFILE_FIELD(irled_state, "irLedState") PROFILE_FIELD(color_mode, "colorMode")
};
constexpr JsonField kDaynight[] = {JSON_FIELD(ipc_daynight, channel, "id", I32)};
constexpr JsonField kDaynightOne[] = {CHANNEL_FIELD(ipc_daynight, channel, "channel")};
constexpr JsonField kDaynightBatch[] = {CHANNEL_FIELD(ipc_daynight, channel, "chnid")};
// "image" once filled profiles past the payload: it is cut to the record.
constexpr ParamArray kProfiles = {"image", nullptr, offsetof(ipc_daynight, count), offsetof(ipc_daynight, profiles),
    IPC_DAYNIGHT_PROFILES, (int)sizeof(ipc_daynight_profile), FIELDS(kProfile)};

#define AUDIO_SETTING_FIELDS(record) \
    JSON_FIELD(record, audio_enable, "audioEnable", I32), JSON_FIELD(record, audio_mode, "audioMode", I32), \
    JSON_FIELD(record, denoise, "denoise", I32), JSON_FIELD(record, encoding, "encoding", I32), \
    JSON_FIELD(record, sample_rate, "sampleRate", I32), JSON_FIELD(record, input_gain, "inputGain", I32), \
    JSON_FIELD(record, input_mode, "inputMode", I32), \
    JSON_FIELD(record, audio_gain_control, "audioGainControl", I32), \
    JSON_FIELD(record, output_volume, "outputVolume", I32), JSON_FIELD(record, audio_bitrate, "audioBitrate", I32)
constexpr JsonField kAudioSet[] = {CHANNEL_FIELD(ipc_audio_set, channel, "chnid"), AUDIO_SETTING_FIELDS(ipc_audio_set)};
constexpr JsonField kAudio[] = {
    JSON_FIELD(ipc_audio_info, support, "support", I32),
    JSON_FIELD(ipc_audio_info, support_mode, "supportMode", I32),
    JSON_FIELD(ipc_audio_info, support_input_mode, "supportInputMode", I32),
    JSON_FIELD(ipc_audio_info, channel, "chnid", I32),
    AUDIO_SETTING_FIELDS(ipc_audio_info),
};

// ---- rules between fields --------------------------------------------------

// The camera applies these two rate controls slowly; a setting sent right
// after the previous one is lost, so the page's sequence is spaced here.
bool wait_for_rate_control(json_object*, char* payload)
{
    const camera_param_set* param = (const camera_param_set*)payload;
    if (strcmp(param->key, "ratecontrol1") == 0 || strcmp(param->key, "ratecontrol2") == 0)
        vx_sleep_ms(2000);
    return true;
}

// A short copy string once left NULs before the channel's own "1", which
// ended the string there: pad it with "0" to a whole channel string.
bool fill_watermark_copy(json_object*, char* payload)
{
    ipc_watermark_set* set = (ipc_watermark_set*)payload;
    const size_t given = strnlen(set->copy, IPC_CHANNEL_STRING);
    memset(set->copy + given, '0', IPC_CHANNEL_STRING - given);
    set->copy[IPC_CHANNEL_STRING] = '\0';
    set->copy[set->channel] = '1';
    return true;
}

// The selected channels as a mask; channels outside 0..63 are ignored
// (they once walked past the payload's channel bytes).
bool select_channels(json_object* body, char* payload)
{
    json_object* list = nullptr;
    if (!json_object_object_get_ex(body, "channel", &list) || !json_object_is_type(list, json_type_array))
        return false;
    const ChannelList channels = channel_list_from_array(list, (int)json_array_size(list));
    ipc_image_enhancement_set* set = (ipc_image_enhancement_set*)payload;
    set->channels = channels.mask;
    return true;
}

// "/2038" carries one profile at the top level of the request.
bool one_profile(json_object* body, char* payload)
{
    ipc_daynight* daynight = (ipc_daynight*)payload;
    daynight->count = 1;
    json_to_record(body, &daynight->profiles[0], kProfile);
    return true;
}

// "channels" lists the cameras that take the same settings.
bool audio_channels(json_object* body, char* payload)
{
    json_object* list = nullptr;
    json_object_object_get_ex(body, "channels", &list);
    ipc_audio_set* set = (ipc_audio_set*)payload;
    set->channels = channel_list_from_array(list, (int)json_array_size(list)).mask;
    return true;
}

// Each table of choices as a list of its values, the count cut to the table.
void print_audio_choices(const char* record, json_object* reply)
{
    const ipc_audio_info* audio = (const ipc_audio_info*)record;
    const struct {
        const char* key;
        const ipc_audio_choices* table;
    } tables[] = {
#define AUDIO_CHOICE_TABLE(name) {#name, &audio->name},
        IPC_AUDIO_CHOICE_TABLES(AUDIO_CHOICE_TABLE)
#undef AUDIO_CHOICE_TABLE
    };
    for (const auto& t : tables) {
        ipc_audio_choices choices;
        memcpy(&choices, t.table, sizeof choices);
        const int count = choices.count < 0 ? 0 : choices.count > IPC_AUDIO_CHOICES ? IPC_AUDIO_CHOICES : choices.count;
        json_object* list = json_object_new_array();
        for (int i = 0; i < count; i++)
            json_object_array_add(list, json_object_new_int(choices.values[i]));
        json_object_object_add(reply, t.key, list);
    }
}

void print_motion_status(const char* record, json_object* reply)
{
    ipc_motion_status status;
    memcpy(&status, record, sizeof status);
    char text[IPC_CHANNELS + 1];
    for (int i = 0; i < IPC_CHANNELS; i++)
        text[i] = (status.channels >> i) & 1 ? '1' : '0';
    text[IPC_CHANNELS] = '\0';
    json_add_text(reply, "Motion", text);
}

// ---- the resources ---------------------------------------------------------

#define R(type) (int)sizeof(type)
constexpr ParamResource kEnhancementGet = {REQ_IPC_ENHANCEMENT_GET, 4, ParamReply::RECORD, true, FIELDS(kChannelId),
    R(ipc_image_enhancement), FIELDS(kEnhancement), nullptr, nullptr};
constexpr ParamResource kEnhancementSetRow = {REQ_IPC_ENHANCEMENT_SET, R(ipc_image_enhancement_set), ParamReply::SENT,
    true, FIELDS(kEnhancementSet), 4, NO_FIELDS, select_channels, nullptr};
constexpr ParamResource kDisplayGet = {REQ_IPC_DISPLAY_GET, 4, ParamReply::RECORD, true, FIELDS(kChannelId),
    R(ipc_image_display), FIELDS(kDisplay), nullptr, nullptr};
constexpr ParamResource kDisplaySetRow = {REQ_IPC_DISPLAY_SET, R(ipc_image_display_set), ParamReply::OK_ERROR, true,
    FIELDS(kDisplaySet), 4, NO_FIELDS, nullptr, nullptr};
constexpr ParamResource kDaynightGet = {REQ_IPC_DAYNIGHT_GET, 4, ParamReply::RECORD, false, FIELDS(kChannelId),
    R(ipc_daynight), FIELDS(kDaynight), nullptr, nullptr, nullptr, &kProfiles};
constexpr ParamResource kDaynightSet = {REQ_IPC_DAYNIGHT_SET, R(ipc_daynight), ParamReply::SENT, false,
    FIELDS(kDaynightOne), 4, NO_FIELDS, one_profile, nullptr};
constexpr ParamResource kDaynightBatchSet = {REQ_IPC_DAYNIGHT_SET, R(ipc_daynight), ParamReply::SENT, false,
    FIELDS(kDaynightBatch), 4, NO_FIELDS, nullptr, nullptr, &kProfiles, nullptr};
constexpr ParamResource kCommonParamGet = {REQ_IPC_PARAM_GET, R(camera_param_set), ParamReply::RECORD, true,
    FIELDS(kParamGet), R(camera_param_set), FIELDS(kParamAnswer), nullptr, nullptr};
constexpr ParamResource kCommonParamSet = {REQ_CAMERA_PARAM_SET, R(camera_param_set), ParamReply::OK_ERROR, true,
    FIELDS(kParamSet), 4, NO_FIELDS, wait_for_rate_control, nullptr};
constexpr ParamResource kModelTypeGet = {REQ_CAMERA_MODEL_TYPE, 4, ParamReply::RECORD, true,
    FIELDS(kChannelId), 4, FIELDS(kModelType), nullptr, nullptr};
constexpr ParamResource kCommandSend = {REQ_IPC_COMMAND, R(ipc_command), ParamReply::RECORD, true,
    FIELDS(kCommand), R(ipc_command_result), FIELDS(kCommandResult), nullptr, nullptr};
constexpr ParamResource kChipCodeGet = {REQ_IPC_CHIP_CODE, 0, ParamReply::RECORD, true,
    NO_FIELDS, R(ipc_chip_code), FIELDS(kChipCode), nullptr, nullptr};
constexpr ParamResource kMotionStatusGet = {REQ_IPC_MOTION_STATUS, 0, ParamReply::RECORD, true,
    NO_FIELDS, R(ipc_motion_status), NO_FIELDS, nullptr, print_motion_status};
constexpr ParamResource kRegionDelete = {REQ_IPC_REGION_DELETE, R(ipc_region_delete), ParamReply::SENT, false,
    FIELDS(kRegionDeleteFields), 4, NO_FIELDS, nullptr, nullptr};
constexpr ParamResource kMainSubTypeSet = {REQ_IPC_MAIN_SUB_TYPE, R(ipc_main_sub_type), ParamReply::RES, false,
    FIELDS(kMainSubType), 4, NO_FIELDS, nullptr, nullptr};
constexpr ParamResource kPtzSupportGet = {REQ_PTZ_SUPPORT, 4, ParamReply::RECORD, false,
    FIELDS(kChannelChnid), 4, FIELDS(kRes), nullptr, nullptr};
constexpr ParamResource kIpcTypeGet = {REQ_IPC_TYPE, 4, ParamReply::RECORD, false,
    FIELDS(kChannelChnid), R(ipc_type_info), FIELDS(kIpcType), nullptr, nullptr};
constexpr ParamResource kWatermarkGet = {REQ_IPC_WATERMARK_GET, 4, ParamReply::RECORD, false,
    FIELDS(kChannelChnid), R(ipc_watermark), FIELDS(kWatermark), nullptr, nullptr};
constexpr ParamResource kWatermarkSet = {REQ_IPC_WATERMARK_SET, R(ipc_watermark_set), ParamReply::RES, false,
    FIELDS(kWatermarkSetFields), 4, NO_FIELDS, fill_watermark_copy, nullptr};
constexpr ParamResource kEventStreamGetRow = {REQ_IPC_EVENT_STREAM_GET, R(ipc_event_stream_get), ParamReply::RECORD,
    false, FIELDS(kEventStreamGet), R(ipc_event_stream), FIELDS(kEventStream), nullptr, nullptr};
constexpr ParamResource kEventStreamSetRow = {REQ_IPC_EVENT_STREAM_SET, R(ipc_event_stream), ParamReply::RES, false,
    FIELDS(kEventStreamSet), 4, NO_FIELDS, nullptr, nullptr};
constexpr ParamResource kLprNightModeGet = {REQ_IPC_LPR_NIGHT_MODE, 4, ParamReply::RECORD, false,
    FIELDS(kChannelChnid), R(ipc_lpr_night_mode), FIELDS(kLprNightMode), nullptr, nullptr};
constexpr ParamResource kSystemInfoGet = {REQ_IPC_SYSTEM_INFO, 4, ParamReply::RECORD, false,
    FIELDS(kChannelChnid), R(ipc_system_info), FIELDS(kSystemInfo), nullptr, nullptr};
constexpr ParamResource kCustomParamGet = {REQ_IPC_CUSTOM_PARAM, R(ipc_custom_param), ParamReply::RECORD, false,
    FIELDS(kCustomParam), R(ipc_custom_param_result), FIELDS(kCustomParamResult), nullptr, nullptr};
constexpr ParamResource kRegionGetRow = {REQ_IPC_REGION_GET, 4, ParamReply::RECORD, false, FIELDS(kChannelId),
    R(ipc_image_region), FIELDS(kRegion), nullptr, nullptr, nullptr, &kRegionAreas};
constexpr ParamResource kRegionSetRow = {REQ_IPC_REGION_SET, R(ipc_image_region_set), ParamReply::SENT, false,
    FIELDS(kRegionSet), 4, NO_FIELDS, nullptr, nullptr, &kRegionSetAreas, nullptr};
constexpr ParamResource kChannelsModelGet = {REQ_IPC_CHANNELS_MODEL, 0, ParamReply::LIST, true,
    NO_FIELDS, R(ipc_type_info), FIELDS(kIpcType), nullptr, nullptr};
constexpr ParamResource kAudioGet = {REQ_IPC_AUDIO_GET, 4, ParamReply::RECORD, false,
    FIELDS(kChannelChnid), R(ipc_audio_info), FIELDS(kAudio), nullptr, print_audio_choices};
constexpr ParamResource kAudioSetRow = {REQ_IPC_AUDIO_SET, R(ipc_audio_set), ParamReply::OK_ERROR, false,
    FIELDS(kAudioSet), 4, NO_FIELDS, audio_channels, nullptr};
#undef R

// Path, handler, one line of help, its row. Adding a resource is adding a
// row here (and its record and field table above).
#define PARAM_RESOURCES(X) \
    X("/2019", on_get_ipc_image_enhancement, "image enhancement of a camera", kEnhancementGet) \
    X("/2020", on_set_ipc_image_enhancement, "image enhancement of several cameras", kEnhancementSetRow) \
    X("/2021", on_get_ipc_image_display, "image display of a camera", kDisplayGet) \
    X("/2022", on_set_ipc_image_display, "set the image display of a camera", kDisplaySetRow) \
    X("/2023", on_get_ipc_common_param, "a camera's web parameter by page, name and key", kCommonParamGet) \
    X("/2024", on_set_ipc_common_param, "set a camera's web parameter", kCommonParamSet) \
    X("/2025", on_web_get_ipc_model_type, "model type of a channel's camera", kModelTypeGet) \
    X("/2026", on_web_sendto_qt_cmd, "a command text for the core service", kCommandSend) \
    X("/2027", on_web_get_chip_code, "the recorder's chip code", kChipCodeGet) \
    X("/2028", on_web_get_motion_status, "live motion of every channel", kMotionStatusGet) \
    X("/2029", on_web_get_channels_model, "address, model and firmware of every listed camera", kChannelsModelGet) \
    X("/2037", on_get_ipc_image_daynight, "day/night image profiles of a camera", kDaynightGet) \
    X("/2038", on_set_ipc_image_daynight, "set one day/night profile", kDaynightSet) \
    X("/2047", on_set_ipc_image_daynight_batch, "set the day/night profiles of a camera", kDaynightBatchSet) \
    X("/2039", on_get_ipc_image_region, "image regions of a camera", kRegionGetRow) \
    X("/2040", on_set_ipc_image_region, "set the image regions of a camera", kRegionSetRow) \
    X("/2050", on_delete_ipc_image_region, "delete an image region of a camera", kRegionDelete) \
    X("/2053", on_cgi_set_ipc_main_sub_type, "main and sub stream type of a camera", kMainSubTypeSet) \
    X("/2056", on_cgi_get_ptz_support, "whether a channel's camera is PTZ", kPtzSupportGet) \
    X("/2057", on_cgi_get_ipc_type, "address, model and firmware of a camera", kIpcTypeGet) \
    X("/2058", on_cgi_get_watermark, "a camera's watermark", kWatermarkGet) \
    X("/2059", on_cgi_set_watermark, "set the watermark of cameras", kWatermarkSet) \
    X("/2060", on_cgi_get_ipc_event_stream, "a camera's event stream", kEventStreamGetRow) \
    X("/2061", on_cgi_set_ipc_event_stream, "set a camera's event stream", kEventStreamSetRow) \
    X("/2062", on_cgi_get_ipc_lpr_night_mode, "licence-plate night mode of a camera", kLprNightModeGet) \
    X("/2063", on_cgi_get_ipc_audio_info, "a camera's audio settings and choices", kAudioGet) \
    X("/2064", on_cgi_set_ipc_audio_info, "set a camera's audio", kAudioSetRow) \
    X("/2065", on_cgi_get_ipc_system_info, "audio and speed capabilities of a camera", kSystemInfoGet) \
    X("/2068", on_cgi_get_ipc_custom_param, "a camera's answer to a custom URL", kCustomParamGet)

PARAM_RESOURCES(PARAM_HANDLER)

const WebResEntry kParamResources[] = {PARAM_RESOURCES(PARAM_RESOURCE_ROW)};

const IpcResponse kParamResponses[] = {PARAM_RESOURCES(PARAM_RESPONSE_ROW)};

}  // namespace

const WebModulePart ipc_params_part = WEB_MODULE_PART("ipc", kParamResources, kParamResponses);
