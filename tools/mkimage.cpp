// mkimage: wraps a payload as a firmware image the device accepts.
//   mkimage VERSION PAYLOAD OUTPUT
// Head: "NVRIMG1\0", the version text in 32 bytes, the payload length and its
// CRC-32 (zlib's), little-endian; then the payload.
#include <cstdio>
#include <cstring>
#include <string>
#include <zlib.h>

#include "modules/system/system_maintenance.h"

int main(int argc, char** argv)
{
    if (argc != 4 || strlen(argv[1]) == 0 || strlen(argv[1]) >= sizeof(firmware_image_head::version)) {
        fprintf(stderr, "usage: mkimage VERSION PAYLOAD OUTPUT   (VERSION 1..31 characters)\n");
        return 2;
    }
    FILE* in = fopen(argv[2], "rb");
    if (!in) {
        perror(argv[2]);
        return 1;
    }
    std::string payload;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0)
        payload.append(buf, n);
    const bool read_ok = !ferror(in);
    fclose(in);
    if (!read_ok || payload.size() > UINT32_MAX) {
        fprintf(stderr, "mkimage: cannot read %s\n", argv[2]);
        return 1;
    }
    firmware_image_head head;
    memset(&head, 0, sizeof head);
    memcpy(head.magic, FIRMWARE_IMAGE_MAGIC, sizeof FIRMWARE_IMAGE_MAGIC);
    memcpy(head.version, argv[1], strlen(argv[1]));
    head.length = (uint32_t)payload.size();
    head.crc32 = (uint32_t)crc32(0L, (const Bytef*)payload.data(), (uInt)payload.size());
    FILE* out = fopen(argv[3], "wb");
    if (!out) {
        perror(argv[3]);
        return 1;
    }
    const bool ok = fwrite(&head, sizeof head, 1, out) == 1 &&
                    (payload.empty() || fwrite(payload.data(), payload.size(), 1, out) == 1);
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "mkimage: cannot write %s\n", argv[3]);
        remove(argv[3]);
        return 1;
    }
    return 0;
}
