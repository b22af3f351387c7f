#include "frontend/access.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "core/request.h"
#include "frontend/modules.h"
#include "platform/devpath.h"
#include "platform/vxdb.h"
#include "platform/websession.h"

namespace {

// Reachable without a session: what the login page itself needs.
const char* const kPublic[] = {"/1000", "/1018", "/json", "/logout"};

// What changes users, firmware, the whole configuration, the disks' data or
// the addresses of the device; every resource of these modules as well.
const char* const kAdminPaths[] = {
    "/6071", "/6072", "/6073", "/6077", "/1024",                    // users
    "/1010", "/1034", "/6082", "/6083", "/6084", "/6085", "/6086",  // upgrade
    "/6087", "/6088", "/6089", "/oem",
    "/1006", "/1008", "/vb.htm",                                    // restore, import
    "/6102", "/6224",                                               // formatting
    "/6104", "/6105", "/6106", "/6107", "/6109",                    // RAID
};
const char* const kAdminModules[] = {"network"};

enum { ADMIN_LEVEL = 0, SESSION_ID_SIZE = 64 };

template <size_t N>
bool listed(const char* const (&list)[N], const char* text)
{
    for (const char* item : list)
        if (strcmp(item, text) == 0)
            return true;
    return false;
}

// The page's version query is the one public use of "/vb.htm".
bool public_request(const char* path, const char* query)
{
    if (listed(kPublic, path))
        return true;
    return strcmp(path, "/vb.htm") == 0 &&
           (strcmp(query, "softversion") == 0 || strcmp(query, "softversion=1") == 0);
}

const char* module_of(const char* path)
{
    for (const WebModulePart* const* p = web_module_parts(); *p; p++)
        for (int i = 0; i < (*p)->resource_count; i++)
            if (strcmp((*p)->resources[i].path, path) == 0)
                return (*p)->module;
    return "";
}

bool needs_admin(const char* path)
{
    return listed(kAdminPaths, path) || listed(kAdminModules, module_of(path));
}

// The value of the "sessionId" cookie, cut to the size of an id.
void session_cookie(char (&out)[SESSION_ID_SIZE + 1])
{
    out[0] = '\0';
    const char* p = request_context().cookie ? request_context().cookie : "";
    while (*p) {
        p += strspn(p, " ;");
        const size_t len = strcspn(p, ";");
        if (strncmp(p, "sessionId=", 10) == 0) {
            size_t n = len - 10;
            if (n > SESSION_ID_SIZE)
                n = SESSION_ID_SIZE;
            memcpy(out, p + 10, n);
            out[n] = '\0';
            while (n > 0 && out[n - 1] == ' ')
                out[--n] = '\0';
            return;
        }
        p += len;
    }
}

// A device without its database has no setting to enforce; asking would
// create the file.
bool sessions_required()
{
    struct stat st;
    return stat(device_path(VXDB_MAIN).c_str(), &st) == 0 &&
           get_param_int(VXDB_MAIN, "web_require_session", 0) == 1;
}

void refuse(const char* status, const char* word)
{
    FILE* out = request_out();
    fprintf(out, "Status: %s\r\nContent-type: application/json\r\n\r\n{\"status\":\"%s\"}", status, word);
    fflush(out);
}

}  // namespace

bool access_check(const char* path, const char* query)
{
    char id[SESSION_ID_SIZE + 1];
    if (strcmp(path, "/logout") == 0) {
        session_cookie(id);
        if (sessions_required())
            websession_end(VXDB_MAIN, id);
        fputs("Content-type: text/plain\r\n\r\nOK", request_out());
        fflush(request_out());
        return false;
    }
    if (!sessions_required() || public_request(path, query ? query : ""))
        return true;
    session_cookie(id);
    WebSession session;
    const int idle = get_param_int(VXDB_MAIN, "web_session_minutes", 30) * 60;
    if (websession_check(VXDB_MAIN, id, idle > 0 ? idle : 30 * 60, &session) != 1) {
        refuse("401 Unauthorized", "unauthorized");
        return false;
    }
    if (session.level != ADMIN_LEVEL && needs_admin(path)) {
        refuse("403 Forbidden", "forbidden");
        return false;
    }
    RequestContext& context = request_context();
    static char user[WEB_SESSION_USER_SIZE];
    memcpy(user, session.user, sizeof user);
    context.session_user = user;
    return true;
}
