// Operation-log records, sent to the core service without waiting.
#include "core/oplog.h"

#include <cstring>

#include "core/reply.h"
#include "core/web_utils.h"
#include "core/request.h"
#include "platform/vxfs_log.h"

int cgi_init_log_info(OperationLogRecord* record)
{
    if (!record)
        return -1;
    memset(record, 0, sizeof *record);
    record->main_type = LOG_MAIN_OPERATION;
    record->remote = 1;
    get_current_username(record->user, sizeof record->user);
    wire_text(record->ip, request_context().remote_addr);
    return 0;
}

void cgi_send_operation_log(const OperationLogRecord* record)
{
    cgi_notify(cgi_ignore_callback, REQ_OPERATION_LOG, record, (int)sizeof *record);
}

void cgi_write_operation_log(int sub_type, int parameter, int object, int detail_type,
                             const void* detail, int detail_length, const char* user)
{
    OperationLogRecord record;
    cgi_init_log_info(&record);
    record.sub_type = sub_type;
    record.sub_type_high = 0;
    record.parameter = parameter;
    record.chan_no = object;
    if (user)
        wire_text(record.user, user);
    if (detail_type && detail)
        vxfs_log_pack_detail(&record, detail_type, detail, detail_length);
    cgi_send_operation_log(&record);
}
