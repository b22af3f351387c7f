// Files that a request, a core-service answer or a marker file names by path.
// Such a path is never used as given: it is accepted only inside the
// directory it belongs to, and only for a regular file, so that a hostile
// answer or request cannot make a handler serve, move or delete the
// database, the socket or anything else of the device's.
#pragma once
#include <string>
#include <sys/types.h>

// A file in "/tmp" named by an answer or a marker file (an export, a
// diagnosis package, a certificate request, a packet capture).
struct TmpFile {
    int fd = -1;
    std::string path;  // mapped
    dev_t dev = 0;
    ino_t ino = 0;
};

// Opens `path` (a device path) for reading when it is a regular file, not a
// symlink, below "/tmp" with no "." or ".." component. False and nothing
// opened otherwise: the caller treats that as no file at all.
bool tmp_file_open(const char* path, TmpFile* file);
// Closes the file; with `remove`, deletes it too, but only while its path
// still names the very file that was opened.
void tmp_file_close(TmpFile* file, bool remove);

// An upload named by its path in the request text: "/tmp/NAME" before an
// optional " & ", as the upload intake builds it.
struct UploadPath {
    std::string path;  // mapped
    std::string rest;  // the text after " & ", or ""
};

// Accepts the request text only when this request came through the upload
// intake, the path is "/tmp/" and a plain base name, and it names a regular
// file (not a symlink). False otherwise: the handler gives its error answer
// and moves, runs or removes nothing.
bool upload_path_from_request(const char* request, UploadPath* out);
