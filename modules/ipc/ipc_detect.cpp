// Motion detection and auto tracking of a channel's camera: parameters whose
// records carry a weekly schedule in the camera form, passed through the
// core service as rows of the camera-parameter table.
#include "modules/ipc/ipc_param_table.h"

#include <cstddef>
#include <cstring>

#include "core/channels.h"
#include "core/encodings.h"

namespace {

// ---- field tables ----------------------------------------------------------

constexpr JsonField kChannel[] = {JSON_WORD_CHECKED("chnid", IPC_CHANNELS - 1)};

// The map mask is cut to its field.
#define MOTION_FIELDS(channel_field)                                                                 \
    channel_field, JSON_FIELD(ipc_motion_detect, enable, "enable", I32),                            \
        JSON_FIELD(ipc_motion_detect, sensitivity, "sensitivity", I32),                             \
        JSON_FIELD(ipc_motion_detect, minsize, "minsize", I32),                                     \
        JSON_FIELD(ipc_motion_detect, mintime, "mintime", I32),                                     \
        JSON_FIELD(ipc_motion_detect, adaptability, "adaptability", I32),                           \
        JSON_FIELD(ipc_motion_detect, map_mask, "map_mask", TEXT)
constexpr JsonField kMotionSet[] = {MOTION_FIELDS(CHANNEL_FIELD(ipc_motion_detect, channel, "chnid"))};
constexpr JsonField kMotion[] = {MOTION_FIELDS(JSON_FIELD(ipc_motion_detect, channel, "chnid", I32))};

#define TRACKING_FIELD(member, key) JSON_FIELD(ipc_auto_tracking, member, key, I32)
constexpr JsonField kTrackingSet[] = {
    CHANNEL_FIELD(ipc_auto_tracking, channel, "chnid"),
    TRACKING_FIELD(enable, "enable"), TRACKING_FIELD(show, "show"),
    TRACKING_FIELD(human_vehicle_support, "humanVehicleSupport"), TRACKING_FIELD(tracking_object, "trackingObject"),
    TRACKING_FIELD(sensitivity, "sensitivity"), TRACKING_FIELD(time, "time"),
    TRACKING_FIELD(manual_tracking, "manual_tracking"), TRACKING_FIELD(zoom_mode, "zoom_mode"),
    TRACKING_FIELD(zoom_number, "zoom_number"), TRACKING_FIELD(area, "area"),
    TRACKING_FIELD(report_motion, "reportMotion"),
};
// In the order the page reads them.
constexpr JsonField kTracking[] = {
    TRACKING_FIELD(channel, "chnid"), TRACKING_FIELD(enable, "enable"), TRACKING_FIELD(show, "show"),
    TRACKING_FIELD(sensitivity, "sensitivity"), TRACKING_FIELD(time, "time"),
    TRACKING_FIELD(manual_tracking, "manual_tracking"), TRACKING_FIELD(zoom_mode, "zoom_mode"),
    TRACKING_FIELD(zoom_number, "zoom_number"), TRACKING_FIELD(area, "area"),
    TRACKING_FIELD(human_vehicle_support, "humanVehicleSupport"), TRACKING_FIELD(tracking_object, "trackingObject"),
    TRACKING_FIELD(report_motion, "reportMotion"),
};

// ---- rules between fields --------------------------------------------------

// The schedule in the camera form (every day sent is valid); the copy
// channels through the shared reader, whose count never walks past the list.
bool motion_prepare(json_object* body, char* payload)
{
    ipc_motion_detect* motion = (ipc_motion_detect*)payload;
    get_schedule_by_json_ipc(body, "effective", &motion->effective);
    motion->copy_channels = get_copy_flag_by_json(body, "copyChn", "copyCnt");
    return true;
}

bool tracking_prepare(json_object* body, char* payload)
{
    ipc_auto_tracking* tracking = (ipc_auto_tracking*)payload;
    get_schedule_by_json_ipc(body, "schedule", &tracking->schedule);
    json_object* list = nullptr;
    json_object_object_get_ex(body, "channels", &list);
    tracking->channels = channel_list_from_array(list, (int)json_array_size(list)).mask;
    return true;
}

void print_motion_schedule(const char* record, json_object* reply)
{
    json_object_object_add(reply, "effective",
                           get_schedule_json_object_ipc(&((const ipc_motion_detect*)record)->effective));
}

void print_tracking_schedule(const char* record, json_object* reply)
{
    json_object_object_add(reply, "schedule",
                           get_schedule_json_object_ipc(&((const ipc_auto_tracking*)record)->schedule));
}

// ---- the resources ---------------------------------------------------------

#define R(type) (int)sizeof(type)
constexpr ParamResource kMotionGet = {REQ_IPC_MOTION_DETECT_GET, 4, ParamReply::RECORD, false, FIELDS(kChannel),
    R(ipc_motion_detect), FIELDS(kMotion), nullptr, print_motion_schedule};
constexpr ParamResource kMotionSetRow = {REQ_IPC_MOTION_DETECT_SET, R(ipc_motion_detect), ParamReply::RES, false,
    FIELDS(kMotionSet), 4, NO_FIELDS, motion_prepare, nullptr};
constexpr ParamResource kTrackingGet = {REQ_IPC_AUTO_TRACKING_GET, 4, ParamReply::RECORD, false, FIELDS(kChannel),
    R(ipc_auto_tracking), FIELDS(kTracking), nullptr, print_tracking_schedule};
constexpr ParamResource kTrackingSetRow = {REQ_IPC_AUTO_TRACKING_SET, R(ipc_auto_tracking), ParamReply::RES,
    false, FIELDS(kTrackingSet), 4, NO_FIELDS, tracking_prepare, nullptr};
#undef R

// Path, handler, one line of help, its row.
#define DETECT_RESOURCES(X) \
    X("/2051", on_get_ipc_motion_detect, "motion detection of a camera", kMotionGet) \
    X("/2052", on_set_ipc_motion_detect, "set the motion detection of a camera and its copies", kMotionSetRow) \
    X("/2054", on_cgi_get_auto_tracking_status, "auto tracking of a camera", kTrackingGet) \
    X("/2055", on_cgi_set_auto_tracking_status, "set the auto tracking of a camera", kTrackingSetRow)

DETECT_RESOURCES(PARAM_HANDLER)

const WebResEntry kDetectResources[] = {DETECT_RESOURCES(PARAM_RESOURCE_ROW)};

const IpcResponse kDetectResponses[] = {DETECT_RESOURCES(PARAM_RESPONSE_ROW)};

}  // namespace

const WebModulePart ipc_detect_part = WEB_MODULE_PART("ipc", kDetectResources, kDetectResponses);
