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
    if (size < 3 || rows.empty() || size > (1 << 20))
        return 0;
    const IpcResponse& row = *rows[(data[0] | (data[1] << 8)) % rows.size()];
    // The third byte asks for up to three whole records (zeros after the
    // input's bytes), one byte short or not: records longer than the inputs
    // the fuzzer grows are reached too, and so is each record's last byte.
    const size_t record = row.record_size > 0 ? (size_t)row.record_size : 1;
    size_t length = size - 3;
    if (length < record * (data[2] & 3))
        length = record * (data[2] & 3);
    if ((data[2] & 4) && length > 0)
        length--;
    // An exact-size copy: a read past the answer is a read past the block.
    char* payload = (char*)calloc(length > 0 ? length : 1, 1);
    memcpy(payload, data + 3, length < size - 3 ? length : size - 3);
    fuzz_dispatch(row, payload, (int)length);
    free(payload);
    fuzz_clear("/tmp");
    return 0;
}
