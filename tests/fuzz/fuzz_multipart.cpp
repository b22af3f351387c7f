// The multipart reader and the upload intake, as the CGI runs them for a
// multipart POST, with no handler registered: whatever the body, no
// temporary file of the reader ("cgic...") is left once the request is
// released, and only the resources that take a file by name keep one.
// Input: the boundary up to the first '\n' (at most 70 bytes), one byte that
// picks the resource, then the body.
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "frontend/cgi_env.h"
#include "frontend/multipart.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const char* const kPaths[] = {"/1008", "/6321", "/7084", "/1019", "/oem", "/2079", "/6082", "/1010", "/3002"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_setup();
    cgi_startup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* end = (const char*)memchr(data, '\n', size < 71 ? size : 71);
    if (!end || (size_t)(end - (const char*)data) + 2 > size)
        return 0;
    static std::string boundary;
    boundary.assign((const char*)data, (size_t)(end - (const char*)data));
    const char* path = kPaths[(uint8_t)end[1] % (sizeof kPaths / sizeof kPaths[0])];
    const char* body = end + 2;
    const size_t length = size - (size_t)(body - (const char*)data);

    FILE* in = fmemopen((void*)body, length ? length : 1, "rb");
    fuzz_require(in != nullptr, "the body opens");
    cgiIn = in;
    cgiContentLength = (int)length;
    cgiMultipartBoundary = boundary.c_str();
    cgiPathInfo = path;
    cgiQueryString = "";
    // A small limit, so that the refusal of a large body is reached too.
    cgiUploadMaxBytes = 4096;

    const int parsed = cgiParseMultipartBody();
    // The reader's temporary files, and the one name the intake may keep:
    // the client's base name of the "file" part, for a resource taking it.
    std::vector<std::string> temps;
    std::string kept;
    for (CgiFormEntry* e = cgiFormEntryFirst; e; e = e->next)
        if (e->tfileName[0])
            temps.push_back(e->tfileName);
    if (CgiFormEntry* file = cgiFormEntryFind("file")) {
        const char* base = file->fileName;
        for (const char* p = file->fileName; *p; p++)
            if (*p == '/' || *p == '\\')
                base = p + 1;
        kept = std::string(base).substr(0, 127);
    }
    if (parsed == cgiParseNoRoom) {
        cgiReleaseRequest();
        cgiRefuseUpload();
    } else if (parsed != cgiParseSuccess) {
        cgiReleaseRequest();
    } else {
        cgiDealUpload();
    }
    cgiReleaseRequest();
    fclose(in);

    for (const std::string& temp : temps)
        fuzz_require(access(temp.c_str(), F_OK) != 0, "no temporary upload file is left");
    for (const std::string& name : fuzz_list("/tmp")) {
        fuzz_require(name.compare(0, 4, "cgic") != 0 || name == kept, "no temporary upload file is left");
        fuzz_require(name == kept, "only the upload under its client name is kept");
    }
    fuzz_clear("/tmp");
    fuzz_clear("/dev/shm");
    return 0;
}
