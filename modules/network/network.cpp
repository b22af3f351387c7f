// Network module: the response callback over its parts and the notices
// they share.
#include "modules/network/network.h"

#include <cstring>

#include "core/oplog.h"
#include "platform/wire.h"

void on_network_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&network_interface_part, &network_port_part, &network_service_part,
                                                 &network_https_part, &network_p2p_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

void network_notify_changed(const char* what)
{
    char text[NETWORK_CHANGED_TEXT_SIZE];
    wire_text(text, what);
    cgi_notify(on_network_ipc_callback, REQ_NETWORK_CHANGED, text, (int)sizeof text);
}

void network_write_log(int main_type, int sub_type, int parameter)
{
    OperationLogRecord record;
    cgi_init_log_info(&record);
    record.main_type = main_type;
    record.sub_type = sub_type;
    record.parameter = parameter;
    cgi_send_operation_log(&record);
}
