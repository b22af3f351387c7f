// Camera parameters as table rows: what a pass-through resource is (request,
// payload, answer, field tables) and the two routines every row runs, shared
// by the parts whose resources the cameras answer (ipc_params.cpp,
// ipc_detect.cpp).
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/json_util.h"
#include "modules/ipc/ipc.h"

// How a resource replies: the answer record as JSON, {"res": first int32},
// "OK"/"ERROR" from the first int32, "OK" at once for a request nobody
// answers, or a JSON array with one object per whole answer record.
enum class ParamReply : uint8_t { RECORD, RES, OK_ERROR, SENT, LIST };

// The rules that span fields, applied to the filled payload before it is
// sent; false refuses the request.
typedef bool (*ParamPrepare)(json_object* body, char* payload);
// Keys an answer adds beyond its field table.
typedef void (*ParamPrint)(const char* record, json_object* reply);

// A list inside a record: `capacity` elements of `element_size` bytes at
// `offset`, how many are used in the int32 at `count_offset`.
struct ParamArray {
    const char* key;
    const char* count_key;  // the request's count, when it gives one
    uint32_t count_offset;
    uint32_t offset;
    int capacity;
    int element_size;
    const JsonField* fields;
    size_t field_count;
};

struct ParamResource {
    int request;
    int request_size;  // payload bytes; 0 for none
    ParamReply reply;
    bool older;        // "/2019".."/2029": silent on a bad request, text error body
    const JsonField* request_fields;
    size_t request_count;
    int answer_size;   // bytes of an answer record (the first one is used, LIST uses all)
    const JsonField* answer_fields;
    size_t answer_count;
    ParamPrepare prepare;
    ParamPrint print;
    const ParamArray* request_array = nullptr;
    const ParamArray* answer_array = nullptr;
};

#define FIELDS(table) table, sizeof(table) / sizeof(table[0])
#define NO_FIELDS nullptr, 0
#define CHANNEL_FIELD(record, member, key) JSON_FIELD_CHECKED(record, member, key, I32, true, 0, IPC_CHANNELS - 1)

// Rows of a part's X-macro list X(path, handler, help, row): its resources,
// its answers (a list may be empty, any other answer holds one record) and
// its handlers.
#define PARAM_RESOURCE_ROW(path, handler, help, row) {path, handler, help},
#define PARAM_RESPONSE_ROW(path, handler, help, row) \
    {row.request + 5000, row.answer_size, row.reply == ParamReply::LIST ? 0 : 1, on_param_cb},
#define PARAM_HANDLER(path, handler, help, row) \
    HandlerStatus handler(const char* request) { return pass_through(row, request); }

// From request JSON to payload: the request's fields checked and copied
// (texts cut), the rules between them, then the request is sent.
HandlerStatus pass_through(const ParamResource& row, const char* request);
// From answer to reply; the row came as the request's context. Rows of
// requests nobody answers are never called: no answer is in flight for them.
void on_param_cb(IpcAnswer& answer);
