// Upload intake: turns a parsed multipart upload into the argument string of
// the path's handler. Only the resources whose handlers take an uploaded file
// by its path get it under its client name in "/tmp"; any other upload is
// removed before its handler runs, so a client cannot leave files behind
// under names the device itself uses.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/devpath.h"
#include "frontend/cgi_env.h"
#include "frontend/dispatchreq.h"
#include "frontend/multipart.h"

namespace {

enum { UPLOAD_ARG_SIZE = 1088, UPLOAD_NAME_SIZE = 128, UPLOAD_PARAM_MAX = 255 };

enum UploadKind {
    UPLOAD_NONE,       // takes no file: the upload is removed
    UPLOAD_SIGNAL,     // "temp" and the query; the file came by other means
    UPLOAD_TEMP_FILE,  // the temporary file's name and the query
    UPLOAD_BY_NAME,    // moved to "/tmp/" + the client's base name
};

struct UploadResource {
    const char* path;
    UploadKind kind;
    const char* help;
};

// Every resource whose handler takes an upload, including those of modules
// still to come.
const UploadResource kUploadResources[] = {
    {"/1010", UPLOAD_SIGNAL, "firmware upgrade; the core service takes the image, the body is not read"},
    {"/6082", UPLOAD_SIGNAL, "camera firmware, stored by the web server itself"},
    {"/2079", UPLOAD_SIGNAL, "an IP-camera request"},
    {"/1019", UPLOAD_TEMP_FILE, "upload signal"},
    {"/oem", UPLOAD_TEMP_FILE, "OEM customisation package"},
    {"/1008", UPLOAD_BY_NAME, "configuration import"},
    {"/6321", UPLOAD_BY_NAME, "audio file"},
    {"/7084", UPLOAD_BY_NAME, "HTTPS certificate install"},
};

// Names the device itself keeps in "/tmp": an upload under one of them would
// fake a marker (a download under way, the core service up, ...).
const char* const kDeviceTmpNames[] = {
    "pbdownload", "vxcore", "tmp_diagnostic", "cgilockfile", "chipinfo.txt", "port", "oem.zip", "log",
};

bool device_tmp_name(const std::string& name)
{
    // Dot names too: ".export_down_file" decides which file a download serves.
    if (name[0] == '.')
        return true;
    for (const char* reserved : kDeviceTmpNames)
        if (name == reserved)
            return true;
    return false;
}

UploadKind upload_kind(const char* path)
{
    for (const UploadResource& r : kUploadResources)
        if (strcmp(r.path, path) == 0)
            return r.kind;
    return UPLOAD_NONE;
}

// The client's name from its last '/' or '\' on.
std::string client_base_name(const char* name)
{
    const char* base = name;
    for (const char* p = name; *p; p++)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    return std::string(base).substr(0, UPLOAD_NAME_SIZE - 1);
}

// Value of "param:" in the query string, up to the next '&'.
std::string query_param(const char* query)
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


void drop_temp_file(CgiFormEntry* file)
{
    if (file->tfileName[0] && unlink(file->tfileName) == 0)
        file->tfileName[0] = '\0';
}

// Puts the file at `target` only when nothing is there: link(2) fails on an
// existing name, where rename(2) would replace it. Where the file system has
// no hard links, an exclusive create claims the name first.
bool move_to_free_name(CgiFormEntry* file, const std::string& target)
{
    if (link(file->tfileName, target.c_str()) == 0) {
        drop_temp_file(file);
        return true;
    }
    if (errno == EEXIST)
        return false;
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return false;
    close(fd);
    if (rename(file->tfileName, target.c_str()) != 0) {
        unlink(target.c_str());
        return false;
    }
    file->tfileName[0] = '\0';
    return true;
}

// The handler runs with an empty text and no upload: it gives its own error
// answer, and no file of this request is left.
void refuse(const char* path)
{
    request_context().via_upload = false;
    for (CgiFormEntry* e = cgiFormEntryFirst; e; e = e->next)
        drop_temp_file(e);
    DispatchWebReq(path, "");
}

// Where the web server of the device leaves a firmware image.
const char* image_store(const char* path)
{
    if (strcmp(path, "/1010") == 0)
        return "/dev/shm/updateFM.bin";
    if (strcmp(path, "/6082") == 0)
        return "/dev/shm/updateIPCFM.bin";
    return nullptr;
}

void store_image_locally(const char* path)
{
    const char* store = image_store(path);
    CgiFormEntry* file = cgiFormEntryFind("file");
    if (!store || !file || !file->tfileName[0])
        return;
    // The temporary file is in the root's "/tmp": a rename within the root.
    if (rename(file->tfileName, device_path(store).c_str()) == 0)
        file->tfileName[0] = '\0';
}

void deal_upload(bool stored)
{
    char path[CGI_PATH_SIZE];
    snprintf(path, sizeof path, "%s", cgiPathInfo);
    if (!path[0])
        return;
    request_context().via_upload = false;

    const UploadKind kind = upload_kind(path);
    char arg[UPLOAD_ARG_SIZE];
    if (kind == UPLOAD_SIGNAL) {
        if (stored && cgiStoresImageLocally())
            store_image_locally(path);
        snprintf(arg, sizeof arg, "%s & %s", "temp", cgiQueryString);
        DispatchWebReq(path, arg);
        return;
    }
    if (!stored) {
        refuse(path);
        return;
    }

    char client_name[UPLOAD_NAME_SIZE];
    if (cgiFormFileName("file", client_name, sizeof client_name) != cgiFormSuccess)
        return;
    const std::string base = client_base_name(client_name);
    // Such a name would leave "/tmp" or name the directory itself.
    if (base.empty() || base == "." || base == "..")
        return;
    CgiFormEntry* file = cgiFormEntryFind("file");
    if (!file)
        return;
    // Only the "file" field of an upload resource outlives the intake.
    for (CgiFormEntry* e = cgiFormEntryFirst; e; e = e->next)
        if (e != file || kind == UPLOAD_NONE)
            drop_temp_file(e);

    if (kind == UPLOAD_TEMP_FILE) {
        request_context().via_upload = true;
        snprintf(arg, sizeof arg, "%s & %s", device_form(file->tfileName), cgiQueryString);
        DispatchWebReq(path, arg);
        return;
    }
    if (kind == UPLOAD_BY_NAME) {
        // An existing name is never replaced. link(2) within the root's
        // "/tmp": the client's name never meets a shell.
        std::string target;
        if (device_tmp_name(base) || !path_in_directory("/tmp", base.c_str(), &target) ||
            !move_to_free_name(file, target)) {
            refuse(path);
            return;
        }
        request_context().via_upload = true;
    }
    const std::string name = "/tmp/" + base;
    if (strstr(cgiQueryString, "param:"))
        snprintf(arg, sizeof arg, "%s & %s", name.c_str(), query_param(cgiQueryString).c_str());
    else
        snprintf(arg, sizeof arg, "%s", name.c_str());
    DispatchWebReq(path, arg);
}

}  // namespace

bool cgiStoresImageLocally()
{
    const char* store = getenv("NVRWEB_LOCAL_IMAGE_STORE");
    return store && strcmp(store, "1") == 0;
}

void cgiDealUpload()
{
    deal_upload(true);
}

void cgiRefuseUpload()
{
    deal_upload(false);
}

bool cgiTakesUpload(const char* path)
{
    return upload_kind(path) != UPLOAD_NONE;
}
