// Device log store: keeps the operation-log records the CGI sends, bounded.
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>

#include "core/oplog.h"
#include "coresim/coresim.h"

namespace {

enum { LOG_CAPACITY = 100000 };

std::mutex g_mu;
std::deque<OperationLogRecord> g_log;

void on_operation_log(const SimRequest& request, SimReply&)
{
    OperationLogRecord record;
    if (!request.as(&record))
        return;
    record.time = (int32_t)time(nullptr);  // the core service stamps entries
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_log.size() >= LOG_CAPACITY)
        g_log.pop_front();
    g_log.push_back(record);
    sim_log("log: sub type %d parameter %d object %d user '%.63s' from %.45s", record.sub_type,
            record.parameter, record.chan_no, record.user, record.ip);
}

const SimEntry kLog[] = {
    {REQ_OPERATION_LOG, on_operation_log, "keep an operation-log record"},
};

}  // namespace

const SimEntry* sim_log_table(int* count)
{
    *count = (int)(sizeof kLog / sizeof kLog[0]);
    return kLog;
}
