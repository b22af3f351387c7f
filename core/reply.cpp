// Replies: the one writer, the error bodies and the header lines of a redirect.
#include "core/reply.h"

#include <cstdio>
#include <ctime>
#include <json-c/json.h>

#include "core/json_util.h"
#include "core/request.h"

int cgi_writeback_webserver(int type, const char* body)
{
    if (!body)
        return -1;
    FILE* out = request_out();
    if (type == REPLY_TEXT)
        fputs("Content-type: text/plain\r\n\r\n", out);
    else if (type == REPLY_JSON)
        fputs("Content-type: application/json\r\n\r\n", out);
    fputs(body, out);
    fflush(out);
    return 0;
}

int cgi_error_to_webserver(int type)
{
    if (type == REPLY_TEXT)
        cgi_writeback_webserver(REPLY_TEXT, "CGI ERROR");
    else if (type == REPLY_JSON)
        cgi_writeback_webserver(REPLY_JSON, "{status:\"CGI ERROR\"}");
    return 0;
}

int cgi_writeback_json(int type, json_object* object)
{
    if (!object)
        return -1;
    int rc = cgi_writeback_webserver(type, json_object_to_json_string(object));
    json_object_put(object);
    return rc;
}

void reply_text(const char* text)
{
    cgi_writeback_webserver(REPLY_TEXT, text);
}

void reply_status(const char* status)
{
    json_object* reply = json_object_new_object();
    json_add_text(reply, "status", status);
    cgi_writeback_json(REPLY_JSON, reply);
}

HandlerStatus reply_records(std::initializer_list<RecordFields> parts)
{
    json_object* reply = json_object_new_object();
    for (const RecordFields& part : parts)
        json_from_record(reply, part.record, part.fields, part.n);
    cgi_writeback_json(REPLY_JSON, reply);
    return HANDLER_DONE;
}

void cgi_cookie_expiry(time_t when, char* out, size_t size)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm t;
    gmtime_r(&when, &t);
    snprintf(out, size, "%s, %02d-%s-%04d %02d:%02d:%02d GMT", days[t.tm_wday], t.tm_mday,
             months[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
}

int cgiHeaderCookieSetString(const char* name, const char* value, int secondsToLive,
                             const char* path, const char* domain)
{
    char expires[64];
    cgi_cookie_expiry(time(nullptr) + secondsToLive, expires, sizeof expires);
    return fprintf(request_out(), "Set-Cookie: %s=%s; domain=%s; expires=%s; path=%s\r\n",
                   name, value, domain, expires, path);
}

int cgiHeaderLocation(const char* target)
{
    return fprintf(request_out(), "Location: %s\r\n\r\n", target);
}

void reply_res(int value)
{
    json_object* reply = json_object_new_object();
    json_add_int(reply, "res", value);
    cgi_writeback_json(REPLY_JSON, reply);
}
