// A handler module as the registry sees it: web resources, each a path, a
// handler and a line of help, and the answers the module prints.
#pragma once

struct IpcResponse;

// What a handler leaves for the dispatcher: the dispatcher prints the error
// body of the kind named, so a handler never formats one itself.
enum HandlerStatus {
    HANDLER_DONE,        // the handler printed its reply (or the one it owes)
    HANDLER_SILENT,      // no reply at all: the web server sees an empty answer
    HANDLER_ERROR_TEXT,  // "CGI ERROR"
    HANDLER_ERROR_JSON,  // {status:"CGI ERROR"}
};

typedef HandlerStatus (*WebResHandler)(const char* request);

struct WebResEntry {
    char path[8];           // "/" and up to 6 characters
    WebResHandler handler;
    const char* help;       // one line for developers; never printed
};

// One file of a module: its resources in registration order and the answers
// its handlers wait for. The front end registers parts in the device's
// module order (frontend/modules.cpp).
struct WebModulePart {
    const char* module;
    const WebResEntry* resources;
    int resource_count;
    const IpcResponse* responses;
    int response_count;
};

// A part's resources are one list, X(path, handler, help) per row, that both
// declares the handlers and fills the table.
#define WEB_HANDLER_DECLARE(path, handler, help) HandlerStatus handler(const char* request);
#define WEB_RESOURCE_ROW(path, handler, help) {path, handler, help},

#define WEB_RES_COUNT(table) ((int)(sizeof(table) / sizeof((table)[0])))
#define WEB_MODULE_PART(module, resources, responses) \
    WebModulePart { module, resources, WEB_RES_COUNT(resources), responses, WEB_RES_COUNT(responses) }
