#include "platform/base64.h"

int base64_value(char c, char c62, char c63)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == c62)
        return 62;
    if (c == c63)
        return 63;
    return -1;
}

long vx_base64_decode(const char* in, size_t length, unsigned char* out, size_t size)
{
    unsigned bits = 0;
    int held = 0;     // characters of the current quantum
    int padding = 0;  // '=' seen; only more '=' may follow
    bool ended = false;
    size_t n = 0;
    for (size_t i = 0; i < length; i++) {
        const char c = in[i];
        if (c == '\r' || c == '\n')
            continue;
        const int v = c == '=' ? 0 : base64_value(c, '+', '/');
        if (v < 0 || ended || (padding > 0 && c != '=') || (c == '=' && held < 2))
            return -1;
        padding += c == '=';
        bits = bits << 6 | (unsigned)v;
        if (++held < 4)
            continue;
        const size_t put = 3 - (size_t)padding;
        if (n + put > size)
            return -1;
        for (size_t j = 0; j < put; j++)
            out[n++] = (unsigned char)(bits >> (16 - 8 * j));
        ended = padding > 0;
        bits = 0;
        held = 0;
    }
    // Unpadded text may end after 2 or 3 characters of a quantum.
    if (padding > 0 ? held != 0 : held == 1)
        return -1;
    if (held > 0) {
        bits <<= 6 * (4 - held);
        const size_t put = (size_t)held - 1;
        if (n + put > size)
            return -1;
        for (size_t j = 0; j < put; j++)
            out[n++] = (unsigned char)(bits >> (16 - 8 * j));
    }
    return (long)n;
}
