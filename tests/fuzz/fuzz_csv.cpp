// The log CSV writer: an export file of any content, named by the export
// answer, printed as CSV rows; the file is removed after.
#include <cstdio>
#include <cstring>

#include "modules/system/system_log.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const IpcResponse* row = fuzz_response_row(8494);
    fuzz_require(row != nullptr, "the log export row is registered");
    FILE* f = fopen((fuzz_root() + "/tmp/logexport").c_str(), "wb");
    fuzz_require(f != nullptr, "the export file is written");
    fwrite(data, 1, size, f);
    fclose(f);
    log_export_reply reply;
    memset(&reply, 0, sizeof reply);
    snprintf(reply.path, sizeof reply.path, "/tmp/logexport");
    fuzz_dispatch(*row, (const char*)&reply, (int)sizeof reply);
    fuzz_require(fuzz_list("/tmp").empty(), "the export file is gone after the rows");
    return 0;
}
