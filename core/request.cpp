// The request context and the developer's debug log.
#include "core/request.h"

#include <cstdarg>
#include <cstring>
#include <ctime>

#include "platform/devpath.h"

RequestContext& request_context()
{
    static RequestContext context;
    return context;
}

FILE* request_out()
{
    FILE* out = request_context().out;
    return out ? out : stdout;
}

int cgi_log(const char* source, int line, const char* function, const char* format, ...)
{
    char when[72];
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    snprintf(when, sizeof when, "%4d-%02d-%02d %02d:%02d:%02d", tmv.tm_year + 1900,
             tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);

    char message[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);

    // The line is cut to 2047 characters; the newline is kept even then so
    // that a long message never runs into the next line.
    char text[2049];
    int n = snprintf(text, 2048, "[orvel debug] %s  %s:%d in %s: %s\n", when, source ? source : "",
                     line, function ? function : "", message);
    if (n < 0)
        return -1;
    if (n > 2047) {
        n = 2047;
        text[n++] = '\n';
        text[n] = '\0';
    }

    FILE* f = fopen(device_path("/mnt/nand/cgi_log.txt").c_str(), "a+");
    if (!f)
        return -1;
    fwrite(text, 1, (size_t)n, f);
    fflush(f);
    fclose(f);
    return 0;
}
