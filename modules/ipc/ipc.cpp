// IP-camera module: the response callback over its parts and the steps they
// share.
#include "modules/ipc/ipc.h"

#include "core/json_util.h"
#include "core/reply.h"

void on_ipc_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&ipc_channels_part, &ipc_streams_part, &ipc_events_part,
                                                &ipc_params_part, &ipc_detect_part,
                                                &ipc_schedules_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

void ipc_tell(int code, const void* payload, int size)
{
    cgi_notify(on_ipc_ipc_callback, code, payload, size);
}

HandlerStatus ipc_ask(int code, const void* payload, int size, HandlerStatus silence, void* context)
{
    return cgi_ask(on_ipc_ipc_callback, code, payload, size, silence, context);
}

json_object* answer_list(const IpcAnswer& answer, int most, size_t size, const JsonField* fields, size_t n,
                         RecordExtra more)
{
    const int count = answer_count(answer, answer.count, most, 0, size);
    json_object* list = json_object_new_array();
    for (int i = 0; i < count; i++) {
        const char* record = answer.payload + (size_t)i * size;
        json_object* item = json_object_new_object();
        json_from_record(item, record, fields, n);
        if (more)
            more(record, item);
        json_object_array_add(list, item);
    }
    return list;
}
