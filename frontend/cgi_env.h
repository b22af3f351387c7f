// Process entry: the CGI request environment, request intake and debug log.
#pragma once
#include <cstdio>

#include "core/request.h"

// Request environment, filled once by cgi_startup() and only read afterwards.
// Text variables point to the environment's own strings or to "".
extern const char* cgiServerSoftware;
extern const char* cgiServerName;
extern const char* cgiGatewayInterface;
extern const char* cgiServerProtocol;
extern const char* cgiServerPort;
extern const char* cgiRequestMethod;
extern const char* cgiPathInfo;
extern const char* cgiPathTranslated;
extern const char* cgiScriptName;
extern const char* cgiQueryString;
extern const char* cgiRemoteHost;
extern const char* cgiRemoteAddr;
extern const char* cgiAuthType;
extern const char* cgiRemoteUser;
extern const char* cgiRemoteIdent;
extern const char* cgiServerAddr;   // the Host header
extern const char* cgiContentType;  // bare media type, points into cgiContentTypeData
extern int cgiContentLength;
extern const char* cgiAccept;
extern const char* cgiUserAgent;
extern const char* cgiReferrer;
extern const char* cgiCookie;
extern char cgiContentTypeData[1024];
extern const char* cgiMultipartBoundary;
extern FILE* cgiIn;
extern FILE* cgiOut;


void cgiGetEnv(const char** variable, const char* name);
int cgiStrEqNoCase(const char* a, const char* b);
int cgiStrBeginsNoCase(const char* text, const char* prefix);

// Captures the environment and takes the content type apart.
void cgi_startup();
// The whole request: start-up, routing, release. Returns main's result.
int cgi_main();

void cgiDealGet();
void cgiDealPost();
void cgiDealUpload();
// A multipart body that could not be stored (over the size limit, disk
// full): the path's handler gets its refusal, no file.
void cgiRefuseUpload();
// Whether the handler of `path` takes an uploaded file.
bool cgiTakesUpload(const char* path);
// On the device the web server stores a firmware image itself; a local run
// (NVRWEB_LOCAL_IMAGE_STORE=1, set only by its lighttpd configuration) has
// the upload intake store the "file" part of "/1010" and "/6082" instead.
bool cgiStoresImageLocally();
void cgiReleaseRequest();

// Limits of the request text.
enum {
    CGI_PATH_SIZE = 128,
    CGI_QUERY_SIZE = 256,
    CGI_POST_SIZE = 30720,
    CGI_POST_MAX_LINES = 128,
};
