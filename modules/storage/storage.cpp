// Storage module: the response callback over its parts and the exchanges
// they share.
#include "modules/storage/storage.h"

#include <cstring>

#include "core/json_util.h"
#include "core/reply.h"

void on_storage_ipc_callback(void* context, const int32_t* header, const char* payload)
{
    static const WebModulePart* const parts[] = {&storage_disk_part, &storage_nas_part};
    cgi_dispatch_parts(parts, WEB_RES_COUNT(parts), context, header, payload);
}

HandlerStatus storage_ask_port(int code, int32_t port, HandlerStatus silence, void* context)
{
    return cgi_ask(on_storage_ipc_callback, code, &port, (int)sizeof port, silence, context);
}

HandlerStatus storage_ask_empty(int code, HandlerStatus silence)
{
    return cgi_ask(on_storage_ipc_callback, code, nullptr, 0, silence);
}

HandlerStatus storage_remove_raid(int32_t id)
{
    raid_info raid;
    memset(&raid, 0, sizeof raid);
    raid.id = id;
    return cgi_ask(on_storage_ipc_callback, REQ_RAID_REMOVE, &raid, (int)sizeof raid, HANDLER_ERROR_TEXT);
}

void storage_reply_word(const char* key, const IpcAnswer& answer)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, key, answer_word(answer));
    cgi_writeback_json(REPLY_JSON, reply);
}

void storage_reply_result_word(const IpcAnswer& answer)
{
    reply_text(answer_word(answer) ? "Error" : "OK");
}
