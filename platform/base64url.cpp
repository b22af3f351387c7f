// URL-safe base64 without the heap: names are short and live in fixed fields.
#include "platform/base64url.h"

#include "platform/base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

}  // namespace

int base64EncodeUrl(const unsigned char* in, size_t length, char* out, size_t size)
{
    if (!out || size == 0)
        return -1;
    const size_t need = length / 3 * 4 + (length % 3 ? length % 3 + 1 : 0);
    if (need + 1 > size || (length && !in)) {
        out[0] = '\0';
        return -1;
    }
    size_t o = 0;
    for (size_t i = 0; i < length; i += 3) {
        const size_t rest = length - i;
        const unsigned v = (unsigned)in[i] << 16 | (rest > 1 ? (unsigned)in[i + 1] << 8 : 0) | (rest > 2 ? in[i + 2] : 0);
        out[o++] = kAlphabet[v >> 18 & 63];
        out[o++] = kAlphabet[v >> 12 & 63];
        if (rest > 1)
            out[o++] = kAlphabet[v >> 6 & 63];
        if (rest > 2)
            out[o++] = kAlphabet[v & 63];
    }
    out[o] = '\0';
    return (int)o;
}

int base64DecodeUrl(const char* in, size_t length, unsigned char* out, size_t size)
{
    if (!out || size == 0)
        return -1;
    out[0] = '\0';
    if (length && !in)
        return -1;
    // Padding only as the last one or two characters of a whole quantum.
    size_t data = length;
    while (data > 0 && in[data - 1] == '=')
        data--;
    if (data != length && (length % 4 != 0 || length - data > 2))
        return -1;
    if (data % 4 == 1)
        return -1;
    const size_t bytes = data / 4 * 3 + (data % 4 ? data % 4 - 1 : 0);
    if (bytes + 1 > size)
        return -1;
    size_t o = 0;
    unsigned acc = 0;
    int bits = 0;
    for (size_t i = 0; i < data; i++) {
        const int v = base64_value(in[i], '-', '_');
        if (v < 0) {
            out[0] = '\0';
            return -1;
        }
        acc = (acc << 6 | (unsigned)v) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out[o++] = (unsigned char)(acc >> bits & 0xFF);
        }
    }
    out[o] = '\0';
    return (int)o;
}
