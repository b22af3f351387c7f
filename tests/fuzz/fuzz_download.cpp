// The download's chunk assembly: a run of chunk answers of any length and
// any head (offsets, lengths, frame sizes) into a writer that is then closed.
// Input: chunks as a 2-byte little-endian length and that many payload bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modules/playback/playback_records.h"
#include "modules/playback/remote_backup.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const IpcResponse* row = fuzz_response_row(RSP_DOWNLOAD_CHUNK);
    fuzz_require(row != nullptr, "the download chunk row is registered");
    FILE* out = fopen((fuzz_root() + "/tmp/download.avi").c_str(), "w+b");
    fuzz_require(out != nullptr, "the output file opens");
    fuzz_require(download_writer_open(out) == 0, "the writer opens");
    size_t at = 0;
    for (int chunks = 0; at + 2 <= size && chunks < 64; chunks++) {
        size_t length = (size_t)(data[at] | (data[at + 1] << 8));
        at += 2;
        if (length > size - at)
            length = size - at;
        // Short chunks are often heads alone; a long one gets its data
        // padded out to the head's claim.
        char* payload = (char*)malloc(length ? length : 1);
        memcpy(payload, data + at, length);
        at += length;
        fuzz_dispatch(*row, payload, (int)length);
        free(payload);
    }
    download_writer_close();
    fclose(out);
    fuzz_clear("/tmp");
    return 0;
}
