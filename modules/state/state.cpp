// Device-state module: the response callback over its parts.
#include "modules/state/state.h"

void on_state_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&state_status_part, &state_capture_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}
