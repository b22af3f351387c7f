// Replies to the browser and small shared utilities.
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

// Runs a fixed command line through the shell. Never give it request text:
// use vx_exec() for commands with arguments from a request.
int web_system(const char* command);

// User name from the "userName" cookie, cut to size - 1. -1 when absent.
int get_current_username(char* out, size_t size = 64);

int file_lock(const char* path);
void file_unlock(int fd);

int get_mac_addr(char* eth0, char* eth1);
int get_chip_info(char* out, int size);

// Header lines ahead of a redirect.
int cgiHeaderCookieSetString(const char* name, const char* value, int secondsToLive,
                             const char* path, const char* domain);
int cgiHeaderLocation(const char* target);

// The cookie expiry text for a given moment (UTC), as the cookie line writes it.
void cgi_cookie_expiry(time_t when, char* out, size_t size);
