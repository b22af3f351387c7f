// Alarm module: the response callback over its parts.
#include "modules/alarm/alarm.h"

void on_alarm_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&alarm_output_part, &alarm_input_part, &alarm_camera_part,
                                                 &alarm_event_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}
