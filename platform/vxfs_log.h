// Log library stand-in: the operation-log record and its detail area.
#pragma once
#include <cstdint>

#include "platform/wire.h"

WIRE_BEGIN
struct OperationLogRecord {
    int32_t main_type;      // 4 = operation
    uint8_t reserved0[4];
    int32_t sub_type;       // int64 on the wire: low word here,
    int32_t sub_type_high;  // high word zero
    uint8_t reserved1[4];
    int32_t time;           // stamped by the core service
    int32_t parameter;
    int32_t remote;         // 1: caused through the web
    int32_t chan_no;
    char ip[46];
    char user[64];
    uint8_t reserved2[2];
    int32_t size;           // detail bytes
    uint8_t detail[512];
    uint8_t reserved3[8];
};
WIRE_END
WIRE_SIZE(OperationLogRecord, 672);
WIRE_OFFSET(OperationLogRecord, sub_type, 8);
WIRE_OFFSET(OperationLogRecord, time, 20);
WIRE_OFFSET(OperationLogRecord, parameter, 24);
WIRE_OFFSET(OperationLogRecord, remote, 28);
WIRE_OFFSET(OperationLogRecord, chan_no, 32);
WIRE_OFFSET(OperationLogRecord, ip, 36);
WIRE_OFFSET(OperationLogRecord, user, 82);
WIRE_OFFSET(OperationLogRecord, size, 148);
WIRE_OFFSET(OperationLogRecord, detail, 152);

// Copies the detail block into the record's detail area (cut to its 512
// bytes) and stores its length in "size".
int vxfs_log_pack_detail(OperationLogRecord* record, int detail_type, const void* data, int length);
