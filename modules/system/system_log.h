// System module, device log: the search query, the search page, the export
// answer and the export file, shared by the CGI and coresim.
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/oplog.h"
#include "platform/wire.h"
#include "core/module.h"

extern const WebModulePart system_log_part;

// Core-service requests of the log part; each is answered by code + 5000.
enum {
    REQ_LOG_DETAIL = 3488,
    REQ_LOG_EXPORT = 3494,
    REQ_LOG_SEARCH = 3495,
};

// Main types are bit values; 1 asks for every type.
enum {
    LOG_TYPE_ALL = 1,
    LOG_TYPE_EVENT = 2,
    LOG_TYPE_OPERATION = 4,
    LOG_TYPE_INFORMATION = 8,
    LOG_TYPE_EXCEPTION = 32,
    LOG_TYPE_DEBUG = 64,
    LOG_SUB_TYPE_ALL = 10,
};

enum {
    LOG_QUERY_MAX_SUB_TYPES = 100,
    LOG_PAGE_ENTRIES = 100,
    LOG_DETAIL_INTS = 128,
    LOG_EXPORT_DETAIL_SIZE = 4096,
    LOG_CHANNEL_MASK_CHARS = 64,
};

WIRE_BEGIN

// Request 3495 (search) and 3494 (export, page 1).
struct log_search_query {
    int32_t start_time;  // seconds since the epoch, from local time
    int32_t end_time;
    int32_t main_type;
    uint8_t reserved0[4];
    int64_t sub_types[LOG_QUERY_MAX_SUB_TYPES];
    int32_t sub_type_count;
    int32_t page;         // from 1
    uint64_t channel_mask;  // bit i = channel i
    int32_t no_channel;
    uint8_t reserved1[4];
};

// Answer to 3495: `num` of the records are meaningful.
struct log_search_page {
    int32_t count;  // matching entries in all pages
    int32_t num;
    OperationLogRecord records[LOG_PAGE_ENTRIES];
};

// Answer to 3494: the device path of the export file.
struct log_export_reply {
    int32_t result;
    char path[64];
};

// Export file: an int32 entry count, then per entry the record followed by
// its detail text.
struct log_export_entry {
    OperationLogRecord record;
    char detail[LOG_EXPORT_DETAIL_SIZE];
};

WIRE_END

WIRE_SIZE(log_search_query, 840);
WIRE_OFFSET(log_search_query, end_time, 4);
WIRE_OFFSET(log_search_query, main_type, 8);
WIRE_OFFSET(log_search_query, sub_types, 16);
WIRE_OFFSET(log_search_query, sub_type_count, 816);
WIRE_OFFSET(log_search_query, page, 820);
WIRE_OFFSET(log_search_query, channel_mask, 824);
WIRE_OFFSET(log_search_query, no_channel, 832);

WIRE_SIZE(log_search_page, 67208);
WIRE_OFFSET(log_search_page, num, 4);
WIRE_OFFSET(log_search_page, records, 8);

WIRE_SIZE(log_export_reply, 68);
WIRE_OFFSET(log_export_reply, path, 4);

enum { LOG_EXPORT_HEAD_SIZE = 4 };
WIRE_SIZE(log_export_entry, 672 + 4096);
WIRE_OFFSET(log_export_entry, detail, 672);

// Text index of a main type (translation code and export name), -1 for
// any other value.
inline int log_main_type_index(int main_type)
{
    switch (main_type) {
    case LOG_TYPE_ALL: return 1;
    case LOG_TYPE_EVENT: return 2;
    case LOG_TYPE_OPERATION: return 3;
    case LOG_TYPE_INFORMATION: return 4;
    case LOG_TYPE_EXCEPTION: return 5;
    case LOG_TYPE_DEBUG: return 6;
    default: return -1;
    }
}

// Main types of the catalogue, in rising order.
constexpr int kLogMainTypes[] = {LOG_TYPE_ALL,         LOG_TYPE_EVENT,     LOG_TYPE_OPERATION,
                                 LOG_TYPE_INFORMATION, LOG_TYPE_EXCEPTION, LOG_TYPE_DEBUG};

// The sub type codes of a main type that the search form offers (after
// the "all" code 10). `oem_type` 90 adds two event codes. Returns the
// number written, at most `capacity`.
int log_sub_type_codes(int main_type, int oem_type, int* out, int capacity);
