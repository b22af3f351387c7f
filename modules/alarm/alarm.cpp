// Alarm module: the response callback over its parts.
#include "modules/alarm/alarm.h"

#include "core/channels.h"
#include "core/json_util.h"

void on_alarm_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&alarm_output_part, &alarm_input_part, &alarm_camera_part,
                                                 &alarm_event_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

bool copy_targets(json_object* body, int limit, int source, uint64_t* copies)
{
    *copies = 0;
    int count = 0;
    json_object* list = nullptr;
    if (!json_get_int(body, "copyCnt", &count) || count <= 0 || !json_object_object_get_ex(body, "copyChn", &list) ||
        !json_object_is_type(list, json_type_array))
        return false;
    *copies = channel_list_from_array(list, count).mask & ((1ULL << limit) - 1) & ~(1ULL << source);
    return true;
}
