// Log library stand-in: the detail area of an operation-log record.
#pragma once

struct OperationLogRecord;

// Copies the detail block into the record's detail area (cut to its 512
// bytes) and stores its length in "size".
int vxfs_log_pack_detail(OperationLogRecord* record, int detail_type, const void* data, int length);
