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

// ---- Writing: one loop for each way a part writes a file or a download.
// All n bytes to fd, past short writes and interrupted calls; false on an error.
bool write_all(int fd, const void* data, size_t n);
// What is left of `in` to `out`, to its end; false when a read or a write fails.
bool copy_all(int in, int out);
// A new file of the bytes at `path` (mapped), mode 0600: whatever stood under
// the name, a planted link included, is removed first, never written through.
bool replace_file(const std::string& path, const void* data, size_t length);
// The rest of fd as a download on standard output, under the attachment
// head that names it; false, with nothing printed, when the name does not
// fit the head.
bool serve_download(int fd, const char* file_name);
// A file put in place whole: `fill` writes a temporary file beside `path`
// (mode `mode`), which is synced and renamed over it, so a reader sees the
// old file or the new one, never a part (a rename cannot cross file systems,
// hence beside). False, and the temporary removed, when any step fails.
bool write_through_temp(const std::string& path, mode_t mode, bool (*fill)(int fd, const void* context),
                        const void* context);
