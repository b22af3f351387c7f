// Recording module: the response callback over its parts and what they share.
#include "modules/record/record.h"

#include "core/ipc.h"
#include "core/json_util.h"

void on_record_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&record_schedule_part, &record_params_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

bool record_channel_from_text(const char* request, int* channel)
{
    // Digits only: no sign, no leading space, nothing after but white space.
    int value = -1;
    if (!request || *request < '0' || *request > '9' || !parse_decimal(request, &value) || value < 0 || value >= RECORD_CHANNELS)
        return false;
    *channel = value;
    return true;
}
