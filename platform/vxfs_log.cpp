// Detail packing of the log library stand-in.
#include "platform/vxfs_log.h"

#include <cstring>

int vxfs_log_pack_detail(OperationLogRecord* record, int, const void* data, int length)
{
    if (!record || !data || length < 0)
        return -1;
    if (length > (int)sizeof record->detail)
        length = (int)sizeof record->detail;
    memset(record->detail, 0, sizeof record->detail);
    memcpy(record->detail, data, (size_t)length);
    record->size = length;
    return 0;
}
