// Operation log: the record a handler sends to the core service after a change.
#pragma once
#include <cstdint>

#include "core/ipc.h"
#include "core/oplog_codes.h"
#include "platform/vxfs_log.h"

enum {
    LOG_MAIN_OPERATION = 4,
    REQ_OPERATION_LOG = 3485,
};

int cgi_init_log_info(OperationLogRecord* record);

// The one way to leave an operation-log entry: fills the record (user from
// the cookie, or `user` when given), packs the optional detail block and
// sends it as request 3485 without waiting.
void cgi_write_operation_log(int sub_type, int parameter, int object, int detail_type = 0,
                             const void* detail = nullptr, int detail_length = 0,
                             const char* user = nullptr);

// A channel, input or output as the log names it, counted from 1. Wraps as
// the device's 32-bit arithmetic does for a number that came unchecked from a
// request or an answer, instead of overflowing.
inline int oplog_number(int index)
{
    return (int)((uint32_t)index + 1u);
}

// Sends a filled record.
void cgi_send_operation_log(const OperationLogRecord* record);
