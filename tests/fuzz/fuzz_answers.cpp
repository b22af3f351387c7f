// Answer decoders: a payload of any length handed to each registered
// response row, as the dispatcher hands it. Two bytes pick the row, so a
// module that lands later is fuzzed without a change here.
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::vector<const IpcResponse*> rows = fuzz_response_rows();
    if (size < 2 || rows.empty() || size > (1 << 20))
        return 0;
    const IpcResponse& row = *rows[(data[0] | (data[1] << 8)) % rows.size()];
    // An exact-size copy: a read past the answer is a read past the block.
    const int length = (int)(size - 2);
    char* payload = (char*)malloc(length > 0 ? (size_t)length : 1);
    memcpy(payload, data + 2, (size_t)length);
    fuzz_dispatch(row, payload, length);
    free(payload);
    fuzz_clear("/tmp");
    return 0;
}
