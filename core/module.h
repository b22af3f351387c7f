// A handler module as the registry sees it: web resources, each a path, a
// handler and a line of help.
#pragma once

typedef int (*WebResHandler)(const char* request);

struct WebResEntry {
    char path[8];           // "/" and up to 6 characters
    WebResHandler handler;
    const char* help;       // one line for developers; never printed
};

#define WEB_RES_COUNT(table) ((int)(sizeof(table) / sizeof((table)[0])))
