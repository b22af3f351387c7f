// The AVI writer: frames of any description and size, as the download hands
// them (a frame_desc, then desc.size data bytes), then the close.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/avilib.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* out = fopen((fuzz_root() + "/tmp/out.avi").c_str(), "w+b");
    fuzz_require(out != nullptr, "the output file opens");
    void* handle = vx_avi_open_fp(out, nullptr);
    fuzz_require(handle != nullptr, "the writer opens");
    size_t at = 0;
    for (int frames = 0; at + sizeof(frame_desc) <= size && frames < 256; frames++) {
        frame_desc desc;
        memcpy(&desc, data + at, sizeof desc);
        at += sizeof desc;
        // The writer's contract: the data call carries exactly desc.size
        // bytes; a size the input cannot carry is cut to what it holds.
        size_t left = size - at;
        if (desc.size < 0 || (size_t)desc.size > left)
            desc.size = (int32_t)left;
        char* frame = (char*)malloc(desc.size ? (size_t)desc.size : 1);
        memcpy(frame, data + at, (size_t)desc.size);
        at += (size_t)desc.size;
        if (vx_avi_write_fp_ex(handle, &desc, (int)sizeof desc) == 0)
            vx_avi_write_fp_ex(handle, frame, desc.size);
        free(frame);
    }
    vx_avi_close_fp(handle);
    fclose(out);
    fuzz_clear("/tmp");
    return 0;
}
