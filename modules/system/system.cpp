// System module: one response callback over its parts.
#include "modules/system/system.h"
#include "modules/system/system_audio.h"
#include "modules/system/system_info.h"
#include "modules/system/system_log.h"
#include "modules/system/system_maintenance.h"
#include "modules/system/system_upgrade.h"
#include "modules/system/system_user.h"

void on_system_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&system_user_part, &system_log_part, &system_maintenance_part,
                                                 &system_audio_part, &system_info_part,
                                                 &system_upgrade_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}
