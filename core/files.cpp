// Files named by requests, answers and marker files, kept inside "/tmp";
// the loops every part writes files and downloads with.
#include "core/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/request.h"
#include "platform/devpath.h"
#include "platform/vxsystem.h"

namespace {

const char* const kTmp = "/tmp";

// lstat: a symlink is never taken for the file it points to.
bool regular_file(const std::string& path, struct stat* st)
{
    return lstat(path.c_str(), st) == 0 && S_ISREG(st->st_mode);
}

}  // namespace

bool tmp_file_open(const char* path, TmpFile* file)
{
    std::string mapped;
    struct stat before;
    if (!path || !path_below_directory(kTmp, path, &mapped) || !regular_file(mapped, &before))
        return false;
    int fd;
    do
        fd = open(mapped.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // The name may have been swapped between the look and the open.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != before.st_dev || st.st_ino != before.st_ino) {
        close(fd);
        return false;
    }
    file->fd = fd;
    file->path = mapped;
    file->dev = st.st_dev;
    file->ino = st.st_ino;
    return true;
}

void tmp_file_close(TmpFile* file, bool remove)
{
    if (file->fd < 0)
        return;
    struct stat st;
    if (remove && lstat(file->path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == file->dev &&
        st.st_ino == file->ino)
        unlink(file->path.c_str());
    close(file->fd);
    file->fd = -1;
}

bool upload_path_from_request(const char* request, UploadPath* out)
{
    if (!request || !request_context().via_upload)
        return false;
    const char* split = strstr(request, " & ");
    const size_t len = split ? (size_t)(split - request) : strlen(request);
    const size_t tlen = strlen(kTmp);
    if (len <= tlen + 1 || strncmp(request, kTmp, tlen) != 0 || request[tlen] != '/')
        return false;
    const std::string name(request + tlen + 1, len - tlen - 1);
    std::string mapped;
    struct stat st;
    if (!path_in_directory(kTmp, name.c_str(), &mapped) || !regular_file(mapped, &st))
        return false;
    out->path = mapped;
    out->rest = split ? split + 3 : "";
    return true;
}

// ---- Writing files and downloads.

bool write_all(int fd, const void* data, size_t n)
{
    const char* p = (const char*)data;
    while (n > 0) {
        ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= (size_t)put;
    }
    return true;
}

bool copy_all(int in, int out)
{
    char piece[4096];
    for (;;) {
        ssize_t got = read(in, piece, sizeof piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        if (!write_all(out, piece, (size_t)got))
            return false;
    }
}

bool replace_file(const std::string& path, const void* data, size_t length)
{
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const bool ok = write_all(fd, data, length);
    return close(fd) == 0 && ok;
}

bool serve_download(int fd, const char* file_name)
{
    char head[512];
    if (vx_format(head, sizeof head,
                  "Content-Type:application/octet-stream\r\n"
                  "Content-Disposition: attachment; filename= %s\r\n\r\n",
                  file_name) != 0)
        return false;
    // Whatever stdio still holds goes out ahead of the raw writes.
    fflush(stdout);
    // A reader that went away ends the copy; the file still counts as served.
    if (write_all(STDOUT_FILENO, head, strlen(head)))
        copy_all(fd, STDOUT_FILENO);
    return true;
}

bool write_through_temp(const std::string& path, mode_t mode, bool (*fill)(int fd, const void* context),
                        const void* context)
{
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    bool ok = fchmod(fd, mode) == 0 && fill(fd, context);
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}
