/* The least a C program does to turn the core service's log export file into
 * the CSV rows that "/1003" writes: for each whole entry read the record and
 * the first 512 bytes of its text (the rest only when the text is longer),
 * format the same fields the same way (local time, the English names of the
 * types, quoted user, address and text, a leading formula character kept as
 * text) and write them through one stdio buffer. It borrows the CGI's table
 * of English names (platform/trans_en.cpp), so it is built as C++:
 *   g++ -O2 -static -x c++ bench/minexport.c platform/trans_en.cpp -I.
 *   minexport EXPORT_FILE > rows.csv */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "platform/trans.h"

enum { RECORD = 672, DETAIL = 4096, ENTRY = RECORD + DETAIL, HEAD = 4, FIRST = RECORD + 512 };

static int32_t word(const unsigned char* p)
{
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

static const char* text_of(int code)
{
    static int n;
    static const TransEntry* table;
    if (!table)
        table = trans_english(&n);
    int lo = 0, hi = n - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (table[mid].code == code)
            return table[mid].text;
        if (table[mid].code < code)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return NULL;
}

static int formula(char c)
{
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

static void quoted(const char* s, size_t len)
{
    putchar('"');
    if (len && formula(s[0]))
        putchar('\'');
    for (size_t i = 0; i < len; i++) {
        if (s[i] == '"')
            putchar('"');
        putchar(s[i]);
    }
    fputs("\",", stdout);
}

static void name(int code)
{
    char number[16];
    const char* s = text_of(code);
    if (!s) {
        snprintf(number, sizeof number, "%d", code);
        s = number;
    }
    size_t len = strlen(s);
    if (strpbrk(s, ",\"\r\n") || (len && formula(s[0])))
        quoted(s, len);
    else
        printf("%s,", s);
}

static int main_index(int type)
{
    switch (type) {
    case 1: return 1;
    case 2: return 2;
    case 4: return 3;
    case 8: return 4;
    case 32: return 5;
    case 64: return 6;
    default: return -1;
    }
}

int main(int argc, char** argv)
{
    static unsigned char e[ENTRY];
    static char out[1 << 16];
    int fd = argc > 1 ? open(argv[1], O_RDONLY) : -1;
    off_t size = fd >= 0 ? lseek(fd, 0, SEEK_END) : -1;
    if (fd < 0 || size < HEAD || pread(fd, e, HEAD, 0) != HEAD)
        return 1;
    setvbuf(stdout, out, _IOFBF, sizeof out);
    int32_t count = word(e);
    off_t held = (size - HEAD) / ENTRY;
    for (int32_t n = 1; n <= count && n <= held; n++) {
        off_t at = HEAD + (off_t)(n - 1) * ENTRY;
        if (pread(fd, e, FIRST, at) != FIRST)
            break;
        if (!memchr(e + RECORD, 0, 512) && pread(fd, e + FIRST, ENTRY - FIRST, at + FIRST) != ENTRY - FIRST)
            break;
        char when[32], ip[47];
        time_t t = word(e + 20);
        struct tm tm;
        localtime_r(&t, &tm);
        snprintf(when, sizeof when, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                 tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        printf("%d,%s,", n, when);
        name(main_index(word(e)));
        name(word(e + 8));
        const char* parameter = text_of(word(e + 24));
        if (parameter && !*parameter)
            fputs("N/A,", stdout);
        else
            name(word(e + 24));
        quoted((const char*)e + 82, strnlen((const char*)e + 82, 64));
        memcpy(ip, e + 36, 46);
        ip[strnlen(ip, 46)] = '\0';
        const char* from = ip;
        char* scope;
        if (strncmp(ip, "::ffff:", 7) == 0 && strchr(ip, '.'))
            from = ip + 7;
        else if ((scope = strchr(ip, '%')))
            *scope = '\0';
        quoted(from, strnlen(from, 45));
        printf("%d,", word(e + 32));
        size_t detail = strnlen((const char*)e + RECORD, DETAIL);
        if (detail)
            quoted((const char*)e + RECORD, detail);
        else
            fputs("\"N/A\",", stdout);
        fputs("\r\n", stdout);
    }
    return fflush(stdout) == 0 ? 0 : 1;
}
