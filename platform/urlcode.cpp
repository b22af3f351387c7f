// Percent-encoding stand-in.
#include "platform/urlcode.h"

#include <cctype>

static bool unreserved(unsigned char c)
{
    return isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~';
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int get_url_encode(const char* in, char* out, int size)
{
    static const char hex[] = "0123456789ABCDEF";
    if (!in || !out || size <= 0)
        return -1;
    int n = 0;
    for (const unsigned char* p = (const unsigned char*)in; *p; p++) {
        if (unreserved(*p)) {
            if (n + 1 > size - 1)
                break;
            out[n++] = (char)*p;
        } else {
            if (n + 3 > size - 1)
                break;
            out[n++] = '%';
            out[n++] = hex[*p >> 4];
            out[n++] = hex[*p & 15];
        }
    }
    out[n] = '\0';
    return 0;
}

int get_url_decode(const char* in, char* out, int size)
{
    if (!in || !out || size <= 0)
        return -1;
    int n = 0;
    for (const char* p = in; *p && n < size - 1;) {
        int hi, lo;
        if (p[0] == '%' && (hi = hex_value(p[1])) >= 0 && (lo = hex_value(p[2])) >= 0) {
            out[n++] = (char)(hi * 16 + lo);
            p += 3;
        } else {
            out[n++] = *p++;
        }
    }
    out[n] = '\0';
    return 0;
}
