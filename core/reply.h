// Replies to the browser: the one writer, the error bodies, header lines.
#pragma once
#include <cstddef>
#include <ctime>

struct json_object;

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

// Header lines ahead of a redirect.
int cgiHeaderCookieSetString(const char* name, const char* value, int secondsToLive,
                             const char* path, const char* domain);
int cgiHeaderLocation(const char* target);

// The cookie expiry text for a given moment (UTC), as the cookie line writes it.
void cgi_cookie_expiry(time_t when, char* out, size_t size);
