// UPnP port mapping: kept in the system table, over the network records.
#include "modules/system/system_upnp.h"

#include "core/json_util.h"
#include "core/reply.h"
#include "modules/network/network_records.h"
#include "modules/system/system.h"
#include "platform/vxdb.h"

namespace {

// Path, handler, one line of help; the list also declares the handlers.
#define UPNP_RESOURCES(X) \
    X("/1030", on_get_upnp_info, "UPnP mapping and its state") \
    X("/1031", on_set_upnp_info, "ask the core service to map ports by UPnP")

UPNP_RESOURCES(WEB_HANDLER_DECLARE)

const WebResEntry kUpnpResources[] = {UPNP_RESOURCES(WEB_RESOURCE_ROW)};

const JsonField kUpnpFields[] = {
    JSON_FIELD(upnp_record, enable, "enable", I32),
    JSON_FIELD(upnp_record, type, "type", I32),
    JSON_FIELD(upnp_record, external_http_port, "external_http_port", I32),
    JSON_FIELD(upnp_record, http_status, "http_status", I32),
    JSON_FIELD(upnp_record, external_rtsp_port, "external_rtsp_port", I32),
    JSON_FIELD(upnp_record, rtsp_status, "rtsp_status", I32),
};
const JsonField kUpnpRequest[] = {
    JSON_FIELD(upnp_record, enable, "enable", I32),
    JSON_FIELD(upnp_record, type, "type", I32),
    JSON_FIELD(upnp_record, external_http_port, "external_http_port", I32),
    JSON_FIELD(upnp_record, external_rtsp_port, "external_rtsp_port", I32),
};
const JsonField kPortFields[] = {
    JSON_FIELD(port_record, http, "http_port", I32),
    JSON_FIELD(port_record, rtsp, "rtsp_port", I32),
};

HandlerStatus on_get_upnp_info(const char*)
{
    upnp_record upnp;
    port_record ports;
    if (read_upnp(VXDB_MAIN, &upnp) != 0 || read_port(VXDB_MAIN, &ports) != 0)
        return HANDLER_ERROR_JSON;
    return reply_records({{&upnp, kUpnpFields}, {&ports, kPortFields}});
}

// The core service maps the ports and keeps the record itself.
HandlerStatus on_set_upnp_info(const char* request)
{
    JsonPtr body(get_request_tokener_json_object(request));
    if (!body)
        return HANDLER_SILENT;
    upnp_record upnp;
    if (read_upnp(VXDB_MAIN, &upnp) != 0)
        return HANDLER_ERROR_TEXT;
    json_to_record(body.get(), &upnp, kUpnpRequest);
    cgi_notify(on_system_ipc_callback, REQ_UPNP_SET, &upnp, (int)sizeof upnp);
    reply_text("OK");
    return HANDLER_DONE;
}

}  // namespace

const WebModulePart system_upnp_part = {"system", kUpnpResources, WEB_RES_COUNT(kUpnpResources), nullptr, 0};
