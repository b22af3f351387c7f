// Registration list: module order fixes the slot order of the registry.
#include "frontend/modules.h"

#include "frontend/dispatchreq.h"
#include "modules/aging/aging.h"
#include "modules/ipc/ipc.h"
#include "modules/network/network.h"
#include "modules/alarm/alarm.h"
#include "modules/playback/playback.h"
#include "modules/ptz/ptz.h"
#include "modules/record/record.h"
#include "modules/state/state.h"
#include "modules/storage/storage.h"
#include "modules/system/system_audio.h"
#include "modules/system/system_info.h"
#include "modules/system/system_vb.h"
#include "modules/system/system_log.h"
#include "modules/system/system_upnp.h"
#include "modules/system/system_upgrade.h"
#include "modules/system/system_maintenance.h"
#include "modules/system/system_user.h"
#include "modules/video/video.h"

namespace {

// The device's module order: storage, state, video, ipc, record, playback,
// ptz, system, aging, network, alarm. A module's parts follow each other.
const WebModulePart* const kParts[] = {
    &storage_disk_part,
    &storage_nas_part,
    &state_status_part,
    &state_capture_part,
    &video_motion_part,
    &video_events_part,
    &video_osd_part,
    &video_smart_part,
    &video_smart_camera_part,
    &video_anpr_part,
    &video_snapshot_part,
    &video_alarm_part,
    &ipc_channels_part,
    &ipc_streams_part,
    &ipc_events_part,
    &ipc_params_part,
    &ipc_detect_part,
    &ipc_schedules_part,
    &record_schedule_part,
    &record_params_part,
    &playback_part,
    &playback_live_part,
    &playback_download_part,
    &ptz_control_part,
    &ptz_config_part,
    &system_user_part,
    &system_log_part,
    &system_maintenance_part,
    &system_info_part,
    &system_vb_part,
    &system_audio_part,
    &system_upnp_part,
    &system_access_filter_part,
    &system_upgrade_part,
    &aging_part,
    &network_interface_part,
    &network_port_part,
    &network_service_part,
    &network_https_part,
    &network_p2p_part,
    &alarm_output_part,
    &alarm_input_part,
    &alarm_camera_part,
    &alarm_event_part,
    nullptr,
};

}  // namespace

const WebModulePart* const* web_module_parts()
{
    return kParts;
}

void register_web_modules()
{
    for (const WebModulePart* const* p = kParts; *p; p++)
        WebResRegister((*p)->resources, (*p)->resource_count);
}

void unregister_web_modules()
{
    for (const WebModulePart* const* p = kParts; *p; p++)
        WebResUnregister((*p)->resources, (*p)->resource_count);
}
