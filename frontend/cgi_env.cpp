// Process entry: captures the CGI environment, routes the request by method
// and content type to its intake, and owns the developer's debug log.
#include "frontend/cgi_env.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/devpath.h"
#include "frontend/access.h"
#include "frontend/dispatchreq.h"
#include "frontend/multipart.h"

const char* cgiServerSoftware = "";
const char* cgiServerName = "";
const char* cgiGatewayInterface = "";
const char* cgiServerProtocol = "";
const char* cgiServerPort = "";
const char* cgiRequestMethod = "";
const char* cgiPathInfo = "";
const char* cgiPathTranslated = "";
const char* cgiScriptName = "";
const char* cgiQueryString = "";
const char* cgiRemoteHost = "";
const char* cgiRemoteAddr = "";
const char* cgiAuthType = "";
const char* cgiRemoteUser = "";
const char* cgiRemoteIdent = "";
const char* cgiServerAddr = "";
const char* cgiContentType = "";
int cgiContentLength = 0;
const char* cgiAccept = "";
const char* cgiUserAgent = "";
const char* cgiReferrer = "";
const char* cgiCookie = "";
char cgiContentTypeData[1024];
const char* cgiMultipartBoundary = "";
FILE* cgiIn = nullptr;
FILE* cgiOut = nullptr;

void cgiGetEnv(const char** variable, const char* name)
{
    const char* value = getenv(name);
    *variable = value ? value : "";
}

int cgiStrEqNoCase(const char* a, const char* b)
{
    for (;; a++, b++) {
        int ca = isalpha((unsigned char)*a) ? tolower((unsigned char)*a) : (unsigned char)*a;
        int cb = isalpha((unsigned char)*b) ? tolower((unsigned char)*b) : (unsigned char)*b;
        if (ca != cb)
            return 0;
        if (!ca)
            return 1;
    }
}

int cgiStrBeginsNoCase(const char* text, const char* prefix)
{
    for (; *prefix; text++, prefix++) {
        int ct = isalpha((unsigned char)*text) ? tolower((unsigned char)*text) : (unsigned char)*text;
        int cp = isalpha((unsigned char)*prefix) ? tolower((unsigned char)*prefix) : (unsigned char)*prefix;
        if (ct != cp)
            return 0;
    }
    return 1;
}

static int parse_content_length(const char* text)
{
    char* end = nullptr;
    long long v = strtoll(text, &end, 10);
    if (end == text || v < 0)
        return 0;
    return v > 0x7fffffffLL ? 0x7fffffff : (int)v;
}

void cgi_startup()
{
    cgiGetEnv(&cgiServerSoftware, "SERVER_SOFTWARE");
    cgiGetEnv(&cgiServerName, "SERVER_NAME");
    cgiGetEnv(&cgiGatewayInterface, "GATEWAY_INTERFACE");
    cgiGetEnv(&cgiServerProtocol, "SERVER_PROTOCOL");
    cgiGetEnv(&cgiServerPort, "SERVER_PORT");
    cgiGetEnv(&cgiRequestMethod, "REQUEST_METHOD");
    cgiGetEnv(&cgiPathInfo, "PATH_INFO");
    cgiGetEnv(&cgiPathTranslated, "PATH_TRANSLATED");
    cgiGetEnv(&cgiScriptName, "SCRIPT_NAME");
    cgiGetEnv(&cgiQueryString, "QUERY_STRING");
    cgiGetEnv(&cgiRemoteHost, "REMOTE_HOST");
    cgiGetEnv(&cgiRemoteAddr, "REMOTE_ADDR");
    cgiGetEnv(&cgiAuthType, "AUTH_TYPE");
    cgiGetEnv(&cgiRemoteUser, "REMOTE_USER");
    cgiGetEnv(&cgiRemoteIdent, "REMOTE_IDENT");
    cgiGetEnv(&cgiServerAddr, "HTTP_HOST");

    const char* type = getenv("CONTENT_TYPE");
    snprintf(cgiContentTypeData, sizeof cgiContentTypeData, "%s", type ? type : "");
    cgiContentType = cgiContentTypeData;

    // Cut the parameters off the media type; the boundary is the only one kept.
    cgiMultipartBoundary = "";
    char* sep = strchr(cgiContentTypeData, ';');
    while (sep) {
        *sep = '\0';
        char* p = sep + 1;
        while (*p && isspace((unsigned char)*p))
            p++;
        if (cgiStrBeginsNoCase(p, "boundary=")) {
            char* boundary = p + 9;
            char* end = boundary;
            while (*end && !isspace((unsigned char)*end))
                end++;
            *end = '\0';
            cgiMultipartBoundary = boundary;
            break;
        }
        sep = strchr(p, ';');
    }

    const char* length = "";
    cgiGetEnv(&length, "CONTENT_LENGTH");
    cgiContentLength = parse_content_length(length);
    cgiGetEnv(&cgiAccept, "HTTP_ACCEPT");
    cgiGetEnv(&cgiUserAgent, "HTTP_USER_AGENT");
    cgiGetEnv(&cgiReferrer, "HTTP_REFERER");
    cgiGetEnv(&cgiCookie, "HTTP_COOKIE");

    cgiFormEntryFirst = nullptr;
    cgiIn = stdin;
    cgiOut = stdout;

    RequestContext& context = request_context();
    context.out = cgiOut;
    context.cookie = cgiCookie;
    context.remote_addr = cgiRemoteAddr;
    context.host = cgiServerAddr;
    context.via_upload = false;
}

void cgiDealGet()
{
    char path[CGI_PATH_SIZE];
    snprintf(path, sizeof path, "%s", cgiPathInfo);
    if (!path[0])
        return;

    char query[CGI_QUERY_SIZE];
    snprintf(query, sizeof query, "%s", cgiQueryString);

    // Only the quotes are unescaped: handlers taking JSON from a GET expect
    // the browser to escape nothing else.
    char text[CGI_QUERY_SIZE];
    size_t out = 0;
    for (const char* p = query; *p;) {
        if (strncmp(p, "%22", 3) == 0) {
            text[out++] = '"';
            p += 3;
        } else {
            text[out++] = *p++;
        }
    }
    text[out] = '\0';
    DispatchWebReq(path, text);
}

void cgiDealPost()
{
    char path[CGI_PATH_SIZE];
    snprintf(path, sizeof path, "%s", cgiPathInfo);
    if (!path[0])
        return;

    // Kept until the process ends: handlers may hold pointers into it.
    static char* body;
    body = (char*)calloc(1, CGI_POST_SIZE);
    if (!body)
        return;
    size_t used = 0;
    for (int lines = 0; lines < CGI_POST_MAX_LINES && CGI_POST_SIZE - used > 1; lines++) {
        if (!fgets(body + used, (int)(CGI_POST_SIZE - used), cgiIn))
            break;
        used += strlen(body + used);
    }
    DispatchWebReq(path, body);
}

int cgi_main()
{
    cgi_startup();
    // Before any body is read: a refused upload leaves no file behind.
    if (cgiPathInfo[0] && !access_check(cgiPathInfo, cgiQueryString))
        return 0;

    if (cgiStrEqNoCase(cgiRequestMethod, "post")) {
        if (cgiStrEqNoCase(cgiContentType, "application/x-www-form-urlencoded") ||
            cgiStrEqNoCase(cgiContentType, "application/json")) {
            cgiDealPost();
        } else if (cgiStrEqNoCase(cgiContentType, "multipart/form-data")) {
            // The firmware image of "/1010" is taken by the core service itself.
            const int parsed = strcmp(cgiPathInfo, "/1010") == 0 && !cgiStoresImageLocally()
                                   ? cgiParseSuccess
                                   : cgiParseMultipartBody();
            if (parsed == cgiParseNoRoom) {
                cgiReleaseRequest();
                cgiRefuseUpload();
            } else if (parsed != cgiParseSuccess) {
                // Leave no temporary file of the parts read so far behind.
                cgiReleaseRequest();
                return -1;
            } else {
                cgiDealUpload();
            }
        }
    } else if (cgiStrEqNoCase(cgiRequestMethod, "get")) {
        cgiContentLength = (int)strlen(cgiQueryString);
        cgiDealGet();
    }

    cgiReleaseRequest();
    return 0;
}
