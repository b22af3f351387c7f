// multipart/form-data reader: text parts go to memory, file parts stream to
// temporary files under "/tmp", so a large upload needs little memory.
#include "frontend/multipart.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/devpath.h"
#include "frontend/cgi_env.h"

CgiFormEntry* cgiFormEntryFirst = nullptr;
long long cgiUploadMaxBytes = NVRWEB_UPLOAD_MAX_BYTES;

static int ring_count(const MpStream* mp)
{
    return (mp->writePos - mp->readPos + MP_RING_SIZE) % MP_RING_SIZE;
}

// Fills the read-ahead after what it holds, never past CONTENT_LENGTH.
static int mp_fill(MpStream* mp)
{
    if (mp->inPos == mp->inLen)
        mp->inPos = mp->inLen = MP_RING_SIZE;
    long long left = (long long)cgiContentLength - mp->consumed;
    long long room = (long long)sizeof mp->in - mp->inLen;
    long long want = left < room ? left : room;
    if (want <= 0)
        return 0;
    size_t n = fread(mp->in + mp->inLen, 1, (size_t)want, cgiIn);
    mp->consumed += (long long)n;
    mp->inLen += (int)n;
    return (int)n;
}

static bool mp_exhausted(const MpStream* mp)
{
    return mp->readPos == mp->writePos && mp->inPos == mp->inLen &&
           mp->consumed >= (long long)cgiContentLength;
}

int mpRead(MpStream* mp, char* buffer, int count)
{
    if (count <= 0)
        return 0;
    if (mp_exhausted(mp))
        return -1;
    int got = 0;
    while (got < count && mp->readPos != mp->writePos) {
        buffer[got++] = (char)mp->ring[mp->readPos];
        mp->readPos = (mp->readPos + 1) % MP_RING_SIZE;
    }
    while (got < count) {
        if (mp->inPos == mp->inLen && mp_fill(mp) == 0)
            break;
        int n = mp->inLen - mp->inPos;
        if (n > count - got)
            n = count - got;
        memcpy(buffer + got, mp->in + mp->inPos, (size_t)n);
        mp->inPos += n;
        got += n;
    }
    mp->offset += got;
    return got;
}

// Put-back goes in front of what the ring still holds, so the bytes come
// back in their original order whatever was pushed before.
int mpPutBack(MpStream* mp, const char* bytes, int count)
{
    if (count <= 0)
        return 0;
    if (ring_count(mp) + count >= MP_RING_SIZE)
        return -1;
    for (int i = count - 1; i >= 0; i--) {
        mp->readPos = (mp->readPos + MP_RING_SIZE - 1) % MP_RING_SIZE;
        mp->ring[mp->readPos] = (unsigned char)bytes[i];
    }
    mp->offset -= count;
    return 0;
}

namespace {

enum { ATTR_SIZE = 1024 };

void copy_cut(char* out, const char* begin, size_t len);

// Reads a header line; the name ends at ':', a further ':' in the value is
// dropped with the white space after it. Returns true when the line has both.
bool read_header_line(MpStream* mp, char* name, char* value)
{
    int nlen = 0, vlen = 0;
    bool in_value = false, skip_space = false;
    char c;
    while (mpRead(mp, &c, 1) == 1) {
        if (c == '\r') {
            if (mpRead(mp, &c, 1) == 1 && c != '\n')
                mpPutBack(mp, &c, 1);
            break;
        }
        if (c == '\n')
            break;
        if (!in_value) {
            if (c == ':') {
                in_value = skip_space = true;
            } else if (!isspace((unsigned char)c) && nlen < ATTR_SIZE - 1) {
                name[nlen++] = c;
            }
        } else if (c == ':') {
            skip_space = true;
        } else if (skip_space && isspace((unsigned char)c)) {
            // white space after a ':'
        } else {
            skip_space = false;
            if (vlen < ATTR_SIZE - 1)
                value[vlen++] = c;
        }
    }
    name[nlen] = '\0';
    value[vlen] = '\0';
    return nlen > 0 && vlen > 0;
}

void copy_cut(char* out, const char* begin, size_t len)
{
    if (len > ATTR_SIZE - 1)
        len = ATTR_SIZE - 1;
    memcpy(out, begin, len);
    out[len] = '\0';
}

// Text up to ';' or a quoted text; returns the position after it.
const char* take_token(const char* p, char* out)
{
    const char* begin;
    const char* end;
    if (*p == '"') {
        begin = ++p;
        while (*p && *p != '"')
            p++;
        end = p;
        if (*p == '"')
            p++;
        while (*p && *p != ';')
            p++;
    } else {
        begin = p;
        while (*p && *p != ';')
            p++;
        end = p;
    }
    copy_cut(out, begin, (size_t)(end - begin));
    return p;
}

void parse_disposition(const char* value, char* type, char* name, char* file_name)
{
    const char* p = value;
    while (isspace((unsigned char)*p))
        p++;
    p = take_token(p, type);
    while (*p == ';') {
        p++;
        while (isspace((unsigned char)*p))
            p++;
        const char* key = p;
        while (isalnum((unsigned char)*p))
            p++;
        size_t key_len = (size_t)(p - key);
        while (isspace((unsigned char)*p))
            p++;
        if (*p != '=') {
            while (*p && *p != ';')
                p++;
            continue;
        }
        p++;
        while (isspace((unsigned char)*p))
            p++;
        char scratch[ATTR_SIZE];
        char* out = scratch;
        if (key_len == 4 && strncasecmp(key, "name", 4) == 0)
            out = name;
        else if (key_len == 8 && strncasecmp(key, "filename", 8) == 0)
            out = file_name;
        p = take_token(p, out);
    }
}

// The content of one part, going to memory or to a file.
struct PartSink {
    FILE* file = nullptr;
    bool discard = false;
    char* data = nullptr;
    size_t length = 0;
    size_t capacity = 0;

    bool put(const char* bytes, size_t n)
    {
        if (n == 0 || discard)
            return true;
        if (file)
            return fwrite(bytes, 1, n, file) == n;
        if (length + n + 1 > capacity) {
            size_t cap = capacity ? capacity : 256;
            while (cap < length + n + 1)
                cap *= 2;
            if (cap > CGI_MAX_TEXT_PART)
                return false;
            char* grown = (char*)realloc(data, cap);
            if (!grown)
                return false;
            data = grown;
            capacity = cap;
        }
        memcpy(data + length, bytes, n);
        length += n;
        return true;
    }
};

// READ_STORE: a file part could not be written whole (disk full).
enum ReadResult { READ_OK, READ_EOF, READ_MEMORY, READ_STORE };

// Moves the ring's bytes in front of the read-ahead, so that the content can
// be scanned in place.
bool mp_unring(MpStream* mp)
{
    int k = ring_count(mp);
    if (k == 0)
        return true;
    if (mp->inPos == mp->inLen)
        mp->inPos = mp->inLen = MP_RING_SIZE;
    if (mp->inPos < k) {
        if (mp->inLen - mp->inPos > MP_BLOCK)
            return false;
        memmove(mp->in + MP_RING_SIZE, mp->in + mp->inPos, (size_t)(mp->inLen - mp->inPos));
        mp->inLen = MP_RING_SIZE + (mp->inLen - mp->inPos);
        mp->inPos = MP_RING_SIZE;
    }
    for (int i = k - 1; i >= 0; i--)
        mp->in[--mp->inPos] = (char)mp->ring[(mp->readPos + i) % MP_RING_SIZE];
    mp->readPos = mp->writePos = 0;
    return true;
}

// Copies content up to the next delimiter into the sink and consumes the
// delimiter. Every position that could start the delimiter is tried, so
// overlapping delimiters are found; a partial match at the end of the
// read-ahead is kept and completed by the next read.
ReadResult read_to_delimiter(MpStream* mp, const std::string& delim, PartSink* sink)
{
    const int dlen = (int)delim.size();
    if (!mp_unring(mp))
        return READ_MEMORY;
    for (;;) {
        if (mp->inPos == mp->inLen && mp_fill(mp) == 0)
            return READ_EOF;
        const char* base = mp->in;
        int pos = mp->inPos;
        const int len = mp->inLen;
        for (;;) {
            const char* hit = (const char*)memchr(base + pos, delim[0], (size_t)(len - pos));
            if (!hit) {
                // From inPos: the bytes of mismatched candidates are content too.
                if (!sink->put(base + mp->inPos, (size_t)(len - mp->inPos)))
                    return sink->file ? READ_STORE : READ_MEMORY;
                mp->offset += len - mp->inPos;
                mp->inPos = len;
                break;
            }
            int at = (int)(hit - base);
            int avail = len - at;
            int cmp = avail < dlen ? avail : dlen;
            if (memcmp(hit, delim.data(), (size_t)cmp) != 0) {
                pos = at + 1;
                continue;
            }
            if (!sink->put(base + mp->inPos, (size_t)(at - mp->inPos)))
                return sink->file ? READ_STORE : READ_MEMORY;
            if (cmp == dlen) {
                mp->offset += at + dlen - mp->inPos;
                mp->inPos = at + dlen;
                return READ_OK;
            }
            // Keep the partial match at the front and read on behind it.
            mp->offset += at - mp->inPos;
            memmove(mp->in + MP_RING_SIZE, hit, (size_t)avail);
            mp->inPos = MP_RING_SIZE;
            mp->inLen = MP_RING_SIZE + avail;
            if (mp_fill(mp) == 0)
                return READ_EOF;
            break;
        }
    }
}

void free_entry(CgiFormEntry* e)
{
    if (!e)
        return;
    free(e->name);
    free(e->value);
    free(e->fileName);
    free(e->contentType);
    if (e->tfileName && e->tfileName[0])
        unlink(e->tfileName);
    free(e->tfileName);
    free(e);
}

}  // namespace

int cgiParseMultipartBody()
{
    if (cgiContentLength == 0)
        return cgiParseSuccess;
    // Refused before a byte is read: nothing lands in "/tmp".
    if ((long long)cgiContentLength > cgiUploadMaxBytes)
        return cgiParseNoRoom;

    // Appending at a kept tail: walking the list for every part made the
    // parse quadratic in the number of parts.
    CgiFormEntry** tail = &cgiFormEntryFirst;
    while (*tail)
        tail = &(*tail)->next;
    int part_count = 0;

    static MpStream mp;
    memset(&mp, 0, sizeof mp);
    mp.inPos = mp.inLen = MP_RING_SIZE;

    // Boundary line: the preamble before it is dropped; no boundary at all
    // is an empty form.
    std::string first = std::string("--") + cgiMultipartBoundary;
    {
        PartSink preamble;
        preamble.discard = true;
        ReadResult r = read_to_delimiter(&mp, first, &preamble);
        if (r == READ_EOF)
            return cgiParseSuccess;
        if (r == READ_MEMORY)
            return cgiParseMemory;
        char end[2];
        int got = mpRead(&mp, end, 2);
        if (got == 2 && !(end[0] == '\r' && end[1] == '\n'))
            mpPutBack(&mp, end, 2);
        else if (got == 1)
            mpPutBack(&mp, end, 1);
    }

    const std::string delim = std::string("\r\n--") + cgiMultipartBoundary;
    for (;;) {
        char two[2];
        int got = mpRead(&mp, two, 2);
        if (got < 2 || (two[0] == '-' && two[1] == '-'))
            return cgiParseSuccess;
        mpPutBack(&mp, two, 2);
        // No form of this device has so many parts; skipped parts count too.
        if (++part_count > CGI_MAX_PARTS)
            return cgiParseIO;

        static char name[ATTR_SIZE], value[ATTR_SIZE];
        static char disp[ATTR_SIZE], field[ATTR_SIZE], file_name[ATTR_SIZE], type[ATTR_SIZE];
        disp[0] = field[0] = file_name[0] = type[0] = '\0';
        while (read_header_line(&mp, name, value)) {
            if (cgiStrEqNoCase(name, "Content-Disposition"))
                parse_disposition(value, disp, field, file_name);
            else if (cgiStrEqNoCase(name, "Content-Type"))
                take_token(value, type);
        }
        if (!cgiStrEqNoCase(disp, "form-data"))
            continue;

        PartSink sink;
        std::string temp_name;
        if (file_name[0]) {
            temp_name = device_path("/tmp/cgicXXXXXX");
            int fd = mkstemp(&temp_name[0]);
            if (fd < 0)
                return cgiParseIO;
            if (fchmod(fd, 0600) != 0 || !(sink.file = fdopen(fd, "w+b"))) {
                close(fd);
                unlink(temp_name.c_str());
                return cgiParseIO;
            }
        }

        ReadResult r = read_to_delimiter(&mp, delim, &sink);
        if (sink.file && fclose(sink.file) != 0 && r == READ_OK)
            r = READ_STORE;  // the file could not be written whole
        sink.file = nullptr;
        if (r != READ_OK) {
            free(sink.data);
            if (!temp_name.empty())
                unlink(temp_name.c_str());
            return r == READ_MEMORY ? cgiParseMemory : r == READ_STORE ? cgiParseNoRoom : cgiParseIO;
        }
        char after[2];
        got = mpRead(&mp, after, 2);
        if (got == 2 && after[0] == '-')
            mpPutBack(&mp, after, 2);
        else if (got == 2 && !(after[0] == '\r' && after[1] == '\n'))
            mpPutBack(&mp, after, 2);
        else if (got == 1)
            mpPutBack(&mp, after, 1);

        CgiFormEntry* e = (CgiFormEntry*)calloc(1, sizeof *e);
        if (e) {
            e->name = strdup(field);
            e->fileName = strdup(file_name);
            e->contentType = strdup(type);
            e->tfileName = strdup(temp_name.c_str());
            if (temp_name.empty()) {
                char* text = sink.data ? (char*)realloc(sink.data, sink.length + 1) : (char*)malloc(1);
                if (text) {
                    sink.data = nullptr;
                    text[sink.length] = '\0';
                    e->value = text;
                    e->valueLength = (int)sink.length;
                }
            } else {
                e->value = strdup("");
            }
        }
        if (!e || !e->name || !e->value || !e->fileName || !e->contentType || !e->tfileName) {
            free(sink.data);
            if (e)
                free_entry(e);
            else if (!temp_name.empty())
                unlink(temp_name.c_str());
            return cgiParseMemory;
        }
        *tail = e;
        tail = &e->next;
    }
}

void cgiReleaseRequest()
{
    CgiFormEntry* e = cgiFormEntryFirst;
    while (e) {
        CgiFormEntry* next = e->next;
        free_entry(e);
        e = next;
    }
    cgiFormEntryFirst = nullptr;
}

CgiFormEntry* cgiFormEntryFind(const char* name)
{
    for (CgiFormEntry* e = cgiFormEntryFirst; e; e = e->next)
        if (strcmp(e->name, name) == 0)
            return e;
    return nullptr;
}

int cgiFormFileName(const char* name, char* out, int size)
{
    CgiFormEntry* e = cgiFormEntryFind(name);
    if (!e) {
        if (size > 0)
            out[0] = '\0';
        return cgiFormNotFound;
    }
    int len = 0;
    for (const char* p = e->fileName; *p; p++, len++)
        if (len < size - 1)
            out[len] = *p;
    if (size > 0)
        out[len < size - 1 ? len : size - 1] = '\0';
    if (len == 0)
        return cgiFormNoFileName;
    return len > size - 1 ? cgiFormTruncated : cgiFormSuccess;
}

