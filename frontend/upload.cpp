// Upload intake: turns a parsed multipart upload into the argument string of
// the path's handler, with the uploaded file moved to its client name.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/devpath.h"
#include "frontend/cgi_env.h"
#include "frontend/dispatchreq.h"
#include "frontend/multipart.h"

enum { UPLOAD_ARG_SIZE = 1088, UPLOAD_NAME_SIZE = 128, UPLOAD_PARAM_MAX = 255 };

static bool is_signal_path(const char* path)
{
    return strcmp(path, "/1010") == 0 || strcmp(path, "/6082") == 0 || strcmp(path, "/2079") == 0;
}

// The client's name from its last '/' or '\' on.
static std::string client_base_name(const char* name)
{
    const char* base = name;
    for (const char* p = name; *p; p++)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    return std::string(base).substr(0, UPLOAD_NAME_SIZE - 1);
}

// Value of "param:" in the query string, up to the next '&'.
static std::string query_param(const char* query)
{
    const char* p = strstr(query, "param:");
    if (!p)
        return std::string();
    p += 6;
    size_t n = strcspn(p, "&");
    if (n > UPLOAD_PARAM_MAX)
        n = UPLOAD_PARAM_MAX;
    return std::string(p, n);
}

void cgiDealUpload()
{
    char path[CGI_PATH_SIZE];
    snprintf(path, sizeof path, "%s", cgiPathInfo);
    if (!path[0])
        return;

    const bool signal = is_signal_path(path);
    char client_name[UPLOAD_NAME_SIZE];
    std::string base;
    if (!signal) {
        if (cgiFormFileName("file", client_name, sizeof client_name) != cgiFormSuccess)
            return;
        base = client_base_name(client_name);
        // Such a name would leave "/tmp" or name the directory itself.
        if (base.empty() || base == "." || base == "..")
            return;
    }
    CgiFormEntry* file = cgiFormEntryFind("file");
    if (!signal && !file)
        return;

    char arg[UPLOAD_ARG_SIZE];
    if (signal) {
        snprintf(arg, sizeof arg, "%s & %s", "temp", cgiQueryString);
    } else if (strcmp(path, "/1019") == 0 || strcmp(path, "/oem") == 0) {
        snprintf(arg, sizeof arg, "%s & %s", file->tfileName, cgiQueryString);
    } else {
        // rename(2) within the root's "/tmp": the client's name never meets a shell.
        std::string target = device_path("/tmp/") + base;
        if (file->tfileName[0] && rename(file->tfileName, target.c_str()) == 0)
            file->tfileName[0] = '\0';  // moved: not ours to remove any more
        std::string param = query_param(cgiQueryString);
        if (strstr(cgiQueryString, "param:"))
            snprintf(arg, sizeof arg, "%s & %s", target.c_str(), param.c_str());
        else
            snprintf(arg, sizeof arg, "%s", target.c_str());
    }
    DispatchWebReq(path, arg);
}
