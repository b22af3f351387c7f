// Web resource registry: the request path chooses the handler.
#pragma once

enum { MAX_WEBREQ_COUNT = 512 };

typedef int (*WebResHandler)(const char* request);

struct WebResEntry {
    char path[8];           // "/" and up to 6 characters
    WebResHandler handler;
    const char* help;       // one line for developers; never printed
};

int WebResRegister(const WebResEntry* table, int n);
int WebResUnregister(const WebResEntry* table, int n);
const WebResEntry* FindWebRes(const char* path);
void DispatchWebReq(const char* path, const char* request);

// Number of used slots.
int WebResCount();

#define WEB_RES_COUNT(table) ((int)(sizeof(table) / sizeof((table)[0])))
