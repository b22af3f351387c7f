// Replies to the browser: the one writer, the error bodies, header lines.
#pragma once
#include <cstddef>
#include <ctime>
#include <initializer_list>

#include "core/module.h"

struct json_object;
struct JsonField;

enum { REPLY_TEXT = 0, REPLY_JSON = 1, REPLY_BODY_ONLY = 2 };

// Header for the type (text, JSON, none for other types), the body, a flush.
// Returns -1 and prints nothing when the body is missing.
int cgi_writeback_webserver(int type, const char* body);
// "CGI ERROR" as text, or {status:"CGI ERROR"} as JSON.
int cgi_error_to_webserver(int type);
// Prints the object with the header of `type` and releases it.
int cgi_writeback_json(int type, json_object* object);
// The two short forms most handlers answer with: a text body, and
// {"status": status} as JSON.
void reply_text(const char* text);
void reply_status(const char* status);
// {"res": value} as JSON: the result word many pages wait for.
void reply_res(int value);

// A record and the field table that prints it.
struct RecordFields {
    const void* record;
    const JsonField* fields;
    size_t n;
    template <size_t N>
    RecordFields(const void* r, const JsonField (&f)[N]) : record(r), fields(f), n(N)
    {
    }
};
// One JSON object of the records' fields, in the order given, as the reply.
HandlerStatus reply_records(std::initializer_list<RecordFields> parts);
template <size_t N>
HandlerStatus reply_record(const void* record, const JsonField (&fields)[N])
{
    return reply_records({RecordFields(record, fields)});
}

// Header lines ahead of a redirect.
int cgiHeaderCookieSetString(const char* name, const char* value, int secondsToLive,
                             const char* path, const char* domain);
int cgiHeaderLocation(const char* target);

// The cookie expiry text for a given moment (UTC), as the cookie line writes it.
void cgi_cookie_expiry(time_t when, char* out, size_t size);
