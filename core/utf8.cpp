// UTF-8 check and repair, one byte of damage replaced at a time.
#include "core/utf8.h"

#include <cstring>

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid sequence at p, or 0 when its first byte starts none.
size_t sequence_length(const unsigned char* p, size_t left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    // The second byte's range rules out overlong forms (E0, F0), surrogates
    // (ED) and code points past U+10FFFF (F4).
    unsigned char low = 0x80, high = 0xBF;
    size_t n;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;  // a lone continuation byte, C0, C1 or F5 to FF
    }
    if (left < n || p[1] < low || p[1] > high)
        return 0;
    for (size_t i = 2; i < n; i++)
        if (!continuation(p[i]))
            return 0;
    return n;
}

}  // namespace

bool utf8_valid(const char* text, size_t length)
{
    const unsigned char* p = (const unsigned char*)text;
    for (size_t i = 0; i < length;) {
        if (p[i] < 0x80) {  // most texts are ASCII
            i++;
            continue;
        }
        size_t n = sequence_length(p + i, length - i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

size_t utf8_repair(const char* text, size_t length, char* out)
{
    static const char kReplacement[3] = {'\xEF', '\xBF', '\xBD'};
    const unsigned char* p = (const unsigned char*)text;
    size_t w = 0;
    for (size_t i = 0; i < length;) {
        size_t n = sequence_length(p + i, length - i);
        if (n == 0) {
            memcpy(out + w, kReplacement, sizeof kReplacement);
            w += sizeof kReplacement;
            i++;
        } else {
            memcpy(out + w, text + i, n);
            w += n;
            i += n;
        }
    }
    return w;
}
