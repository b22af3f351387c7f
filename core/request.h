// What core and the modules know of the request being served. The front end
// fills it before dispatch, so nothing below the front end reads the CGI
// environment itself.
#pragma once
#include <cstdio>

struct RequestContext {
    FILE* out = nullptr;             // replies; stdout when null
    const char* cookie = "";
    const char* remote_addr = "";
    const char* host = "";           // the Host header
    bool via_upload = false;         // came through the upload intake
    const char* session_user = nullptr;  // the user of a checked session
};

RequestContext& request_context();
FILE* request_out();

// Appends one line to the debug log "/mnt/nand/cgi_log.txt".
// Returns 0, or -1 when the file cannot be opened.
int cgi_log(const char* source, int line, const char* function, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
