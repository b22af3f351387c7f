// The two routines every camera-parameter row runs: request JSON to payload,
// answer to reply (see ipc_param_table.h).
#include "modules/ipc/ipc_param_table.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/reply.h"

namespace {

int32_t record_word(const char* record, uint32_t offset)
{
    int32_t word;
    memcpy(&word, record + offset, sizeof word);
    return word;
}

// The request's list into the record: never more than the request's count
// (when it gives one), the list's length or the record's capacity; the count
// stored is the number copied.
void array_from_json(json_object* body, const ParamArray& array, char* record)
{
    json_object* list = nullptr;
    json_object_object_get_ex(body, array.key, &list);
    int64_t count = (int64_t)json_array_size(list);
    int given = 0;
    if (array.count_key && json_get_int(body, array.count_key, &given) && given < count)
        count = given < 0 ? 0 : given;
    if (count > array.capacity)
        count = array.capacity;
    for (int i = 0; i < (int)count; i++)
        json_to_record(json_array_at(list, (size_t)i), record + array.offset + (size_t)i * array.element_size,
                       array.fields, array.field_count);
    const int32_t stored = (int32_t)count;
    memcpy(record + array.count_offset, &stored, sizeof stored);
}

// The record's list as JSON: its count cut to the capacity.
void array_to_json(const char* record, const ParamArray& array, json_object* reply)
{
    int32_t count = record_word(record, array.count_offset);
    if (count < 0)
        count = 0;
    if (count > array.capacity)
        count = array.capacity;
    json_object* list = json_object_new_array();
    for (int i = 0; i < count; i++) {
        json_object* item = json_object_new_object();
        json_from_record(item, record + array.offset + (size_t)i * array.element_size, array.fields,
                         array.field_count);
        json_object_array_add(list, item);
    }
    json_object_object_add(reply, array.key, list);
}

}  // namespace

HandlerStatus pass_through(const ParamResource& row, const char* request)
{
    const HandlerStatus refused = row.older ? HANDLER_SILENT : HANDLER_ERROR_JSON;
    const HandlerStatus silence = row.older ? HANDLER_ERROR_TEXT : HANDLER_ERROR_JSON;
    char* payload = (char*)calloc(1, row.request_size > 0 ? (size_t)row.request_size : 1);
    if (!payload)
        return silence;
    HandlerStatus status = refused;
    if (row.request_count > 0) {
        JsonPtr body(get_request_tokener_json_object(request));
        if (!body || !json_read_record(body.get(), payload, row.request_fields, row.request_count) ||
            (row.prepare && !row.prepare(body.get(), payload))) {
            free(payload);
            return refused;
        }
        if (row.request_array)
            array_from_json(body.get(), *row.request_array, payload);
    }
    if (row.reply == ParamReply::SENT) {
        ipc_tell(row.request, payload, row.request_size);
        reply_text("OK");
        status = HANDLER_DONE;
    } else {
        status = ipc_ask(row.request, payload, row.request_size, silence, (void*)&row);
    }
    free(payload);
    return status;
}

void on_param_cb(IpcAnswer& answer)
{
    const ParamResource* row = (const ParamResource*)answer.context;
    if (row && row->reply == ParamReply::LIST && row->answer_size > 0) {
        cgi_writeback_json(REPLY_JSON, answer_list(answer, INT_MAX, (size_t)row->answer_size, row->answer_fields,
                                                   row->answer_count));
        return;
    }
    // Schedules make records of tens of KiB: on the heap, not the
    // delivery context's stack.
    char* record = row && row->answer_size > 0 ? (char*)malloc((size_t)row->answer_size) : nullptr;
    if (!record || answer_count(answer, 1, 1, 0, (size_t)row->answer_size) != 1) {
        free(record);
        answer.done = 0;
        return;
    }
    memcpy(record, answer.payload, (size_t)row->answer_size);
    if (row->reply == ParamReply::OK_ERROR) {
        free(record);
        reply_text(answer_word(answer) == 0 ? "OK" : "ERROR");
        return;
    }
    json_object* reply = json_object_new_object();
    if (row->reply == ParamReply::RES)
        json_add_int(reply, "res", answer_word(answer));
    json_from_record(reply, record, row->answer_fields, row->answer_count);
    if (row->answer_array)
        array_to_json(record, *row->answer_array, reply);
    if (row->print)
        row->print(record, reply);
    free(record);
    cgi_writeback_json(REPLY_JSON, reply);
}
