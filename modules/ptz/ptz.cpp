// PTZ module: the response callback over its parts and the steps they share.
#include "modules/ptz/ptz.h"

#include "core/channels.h"
#include "core/oplog.h"
#include "platform/vxdb.h"

void on_ptz_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&ptz_control_part, &ptz_config_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

void ptz_tell(int code, const void* payload, int size)
{
    cgi_notify(on_ptz_ipc_callback, code, payload, size);
}

HandlerStatus ptz_ask(int code, const void* payload, int size, HandlerStatus silence)
{
    return cgi_ask(on_ptz_ipc_callback, code, payload, size, silence);
}

void ptz_log(OperationLogParameter parameter, int channel)
{
    cgi_write_operation_log(LOG_SUB_REMOTE_PTZ, parameter, oplog_number(channel));
}

int ptz_channel_limit()
{
    return get_max_cameras(VXDB_MAIN);
}
