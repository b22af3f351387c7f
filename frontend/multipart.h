// Form layer: multipart/form-data bodies and form entries.
#pragma once
#include <cstddef>

struct CgiFormEntry {
    char* name;
    char* value;          // content of a text part; "" for a file part
    int valueLength;
    char* fileName;       // as the client sent it, or ""
    char* contentType;    // or ""
    char* tfileName;      // temporary file holding a file part, or ""
    CgiFormEntry* next;
};

extern CgiFormEntry* cgiFormEntryFirst;

// Body reader: a put-back ring in front of standard input that never reads
// past CONTENT_LENGTH.
enum { MP_RING_SIZE = 1024, MP_BLOCK = 65536 };

struct MpStream {
    unsigned char ring[MP_RING_SIZE];
    int readPos;
    int writePos;
    long long offset;    // bytes handed out, less those put back
    long long consumed;  // bytes taken from standard input
    // Read-ahead from standard input; room in front for the ring's bytes.
    char in[MP_RING_SIZE + MP_BLOCK];
    int inPos;
    int inLen;
};

int mpRead(MpStream* mp, char* buffer, int count);
// Returns 0, or -1 when the bytes do not fit in the ring.
int mpPutBack(MpStream* mp, const char* bytes, int count);

// cgiParseNoRoom: the body is over cgiUploadMaxBytes, or a file part could
// not be written whole (disk full); no temporary file of it is left.
enum { cgiParseSuccess = 0, cgiParseMemory = 1, cgiParseIO = 2, cgiParseNoRoom = 3 };
int cgiParseMultipartBody();

CgiFormEntry* cgiFormEntryFind(const char* name);

enum { cgiFormSuccess = 0, cgiFormTruncated = 1, cgiFormNotFound = 4, cgiFormNoFileName = 8 };
int cgiFormFileName(const char* name, char* out, int size);

// Largest text part kept in memory; a bigger one counts as out of memory.
// More parts than CGI_MAX_PARTS make a malformed body.
enum { CGI_MAX_TEXT_PART = 4 * 1024 * 1024, CGI_MAX_PARTS = 1000 };

// Largest multipart body taken; a build constant, which only the test entry
// lowers at run time.
#ifndef NVRWEB_UPLOAD_MAX_BYTES
#define NVRWEB_UPLOAD_MAX_BYTES (512LL * 1024 * 1024)
#endif
extern long long cgiUploadMaxBytes;
